#include "core/link/converter.h"

#include "core/link/driver.h"
#include "core/link/link_memory.h"

namespace gelvar {
namespace {

constexpr std::uint8_t kQueueFull = 0x80;
constexpr std::uint8_t kSlotFresh = 0x3F;
constexpr std::uint8_t kSlotLifetime = 20;
constexpr std::uint8_t kFrameTimeLimit = 32;
constexpr std::uint8_t kTimeoutValue = 100;
constexpr std::uint8_t kMaxTries = 4;
constexpr std::uint8_t kErrorClass = 3;

std::uint8_t openMask;
std::uint32_t timerAccumulator;
LinkError lastError;

ConverterRecord& Conv() { return linkMemory.converter; }
DriverRecord& Drv() { return linkMemory.driver; }

bool QueueFull() { return (Conv().retry & kQueueFull) != 0; }
bool QueueEmpty() { return Conv().head == Conv().tail && !QueueFull(); }
std::uint8_t Tries() { return Conv().retry & 0x0F; }

std::uint8_t Other(std::uint8_t index) { return index == 0 ? 1 : 0; }

std::uint8_t SlotLife(int slot) { return Conv().slotStatus[slot] & 0x3F; }
bool SlotFetchable(int slot) { return SlotLife(slot) != 0 && SlotLife(slot) != kSlotFresh; }

void RetireTail() {
  Drv().control &= static_cast<std::uint8_t>(~kFrameReady);
  Conv().tail = Other(Conv().tail);
  Conv().retry = 0;
}

void FailedTry() {
  ++Conv().retry;
  if (Tries() >= kMaxTries) {
    RetireTail();
    ++Conv().dropped;
  }
}

// Pause before a frame that waited through a reception or a recovery goes out: 1..16 timer steps,
// taken from the object ID and the failed tries.
std::uint8_t BackoffSteps() {
  const std::uint32_t id = Conv().queueId[Conv().tail];
  return static_cast<std::uint8_t>(((id >> Tries()) & 0x0F) + 1);
}

void Send() {
  drv_start_tx(0);
  Conv().timer = kFrameTimeLimit;
  Conv().state = kConvSending;
}

void Receive() {
  Conv().timer = kFrameTimeLimit;
  Conv().state = kConvReceiving;
}

// After a reception or a recovery: wait the back-off when a frame is ready, else go idle.
void BackoffOrIdle() {
  if (Drv().control & kFrameReady) {
    Conv().timer = BackoffSteps();
    Conv().state = kConvBackoff;
  } else {
    Conv().state = kConvIdle;
  }
}

void StepIdle(std::uint8_t driverState) {
  switch (driverState) {
    case kDriverIdle:
      Conv().timeoutValue = kTimeoutValue;
      if (Drv().control & kFrameReady) Send();
      return;
    case kDriverSending: Conv().state = kConvRecover; return;
    case kDriverReceiving: Receive(); return;
    default: link_error(kErrorClass, 20); return;
  }
}

void StepSending(std::uint8_t driverState) {
  const bool stillSending = (Drv().control & kSendingBit) != 0;
  switch (driverState) {
    case kDriverIdle:
      if (stillSending) {
        FailedTry();
        Conv().state = kConvRecover;
      } else {
        RetireTail();
        Conv().state = kConvIdle;
      }
      return;
    case kDriverSending:
      if (Conv().timer == 0) {
        FailedTry();
        Conv().state = kConvRecover;
      }
      return;
    case kDriverReceiving:
      if (stillSending) {
        FailedTry();
      } else {
        RetireTail();
      }
      Receive();
      return;
    default: link_error(kErrorClass, 21); return;
  }
}

void StepReceiving(std::uint8_t driverState) {
  switch (driverState) {
    case kDriverIdle: BackoffOrIdle(); return;
    case kDriverSending: Conv().state = kConvRecover; return;
    case kDriverReceiving:
      if (Conv().timer == 0) {
        ++Conv().rxTimeouts;
        Conv().state = kConvRecover;
      }
      return;
    default: link_error(kErrorClass, 22); return;
  }
}

void StepBackoff(std::uint8_t driverState) {
  switch (driverState) {
    case kDriverIdle:
    case kDriverSending:
      if (Conv().timer == 0) Send();
      return;
    case kDriverReceiving: Receive(); return;
    default: link_error(kErrorClass, 23); return;
  }
}

void StepRecover(std::uint8_t driverState) {
  switch (driverState) {
    case kDriverIdle: BackoffOrIdle(); return;
    case kDriverSending:
    case kDriverReceiving: drv_abort(0); return;
    default: link_error(kErrorClass, 24); return;
  }
}

}  // namespace

void link_reset() {
  openMask = 0;
  timerAccumulator = 0;
  Conv() = ConverterRecord{};
}

std::uint8_t link_open(std::uint8_t channel) {
  if (channel != 0) return kLinkNotOpen;
  openMask |= 1;
  drv_open(channel);
  return kLinkOk;
}

bool link_is_open(std::uint8_t channel) { return channel < 8 && ((openMask >> channel) & 1) != 0; }

std::uint8_t link_post(ObjectRequest* request) {
  if (!link_is_open(request->channel)) return kLinkNotOpen;
  ConverterRecord& conv = Conv();
  const std::uint8_t n = std::uint8_t(request->count & 0x0F) > 4 ? 4 : (request->count & 0x0F);
  if (QueueFull()) {
    ++conv.queueOverflows;
    return kLinkRefused;
  }
  conv.queueId[conv.head] = request->objectId & 0x3FFF;
  conv.queueCount[conv.head] = n;
  for (int i = 0; i < n; ++i) conv.queueData[conv.head][i] = request->data[i];
  conv.head = Other(conv.head);
  if (conv.head == conv.tail) conv.retry |= kQueueFull;
  request->count = 0;
  return kLinkOk;
}

int link_fetch(ObjectRequest* request) {
  if (!link_is_open(request->channel)) return -2;
  ConverterRecord& conv = Conv();
  const std::uint8_t wantHigh = static_cast<std::uint8_t>(request->objectId >> 8);
  const std::uint8_t wantLow = static_cast<std::uint8_t>(request->objectId);
  const std::uint8_t ignore = request->mask;
  for (int slot = 0; slot < 3; ++slot) {
    if (!SlotFetchable(slot) || conv.slotIdHigh[slot] != wantHigh ||
        (conv.slotIdLow[slot] & ~ignore) != (wantLow & ~ignore)) {
      continue;
    }
    const int n = (conv.slotStatus[slot] >> 5) & 6;
    request->count = static_cast<std::uint8_t>(n);
    for (int i = 0; i < 4; ++i) request->data[i] = i < n ? conv.slotData[slot][i] : 0;
    // Replies of the 0x0380..0x03FF block may be read by several askers within their lifetime.
    const bool shared = conv.slotIdHigh[slot] == 3 && (conv.slotIdLow[slot] & 0x80) != 0;
    if (!shared) conv.slotStatus[slot] = 0;
    return conv.slotIdHigh[slot] * 256 + conv.slotIdLow[slot];
  }
  return 0;
}

void link_step() {
  if (!link_is_open(0)) return;
  const std::uint8_t driverState = Drv().state;
  switch (Conv().state) {
    case kConvStart:
      Conv().state = kConvIdle;
      Conv().timeoutValue = kTimeoutValue;
      return;
    case kConvIdle: StepIdle(driverState); return;
    case kConvSending: StepSending(driverState); return;
    case kConvReceiving: StepReceiving(driverState); return;
    case kConvBackoff: StepBackoff(driverState); return;
    case kConvRecover: StepRecover(driverState); return;
    default:
      link_error(kErrorClass, 1);
      Conv().state = kConvStart;
      return;
  }
}

void link_build_frame() {
  if (!link_is_open(0)) return;
  DriverRecord& drv = Drv();
  if ((drv.control & kFrameReady) || QueueEmpty()) return;
  const ConverterRecord& conv = Conv();
  const std::uint8_t tail = conv.tail;
  const std::uint8_t n = conv.queueCount[tail];
  const std::uint16_t word = EncodeIdWord(conv.queueId[tail]);
  drv.txBuffer[0] = static_cast<std::uint8_t>(0x54 + n / 2);
  drv.txBuffer[1] = static_cast<std::uint8_t>(word >> 8);
  drv.txBuffer[2] = static_cast<std::uint8_t>(word);
  for (int i = 0; i < n; ++i) drv.txBuffer[3 + i] = conv.queueData[tail][i];
  drv.control |= kFrameReady;
}

void link_check_slots() {
  if (!link_is_open(0)) return;
  ConverterRecord& conv = Conv();
  for (int slot = 0; slot < 3; ++slot) {
    if (SlotLife(slot) != kSlotFresh) continue;
    const std::uint16_t word = static_cast<std::uint16_t>(conv.slotIdHigh[slot] * 256 + conv.slotIdLow[slot]);
    if (!IdWordParityOk(word)) {
      conv.slotStatus[slot] = 0;
      ++conv.badFrames;
      continue;
    }
    const std::uint16_t id = static_cast<std::uint16_t>(word >> 2);
    conv.slotIdHigh[slot] = static_cast<std::uint8_t>(id >> 8);
    conv.slotIdLow[slot] = static_cast<std::uint8_t>(id);
    conv.slotStatus[slot] = static_cast<std::uint8_t>((conv.slotStatus[slot] & 0xC0) | kSlotLifetime);
  }
}

void link_timer(std::uint32_t elapsedMs) {
  timerAccumulator += elapsedMs;
  if (timerAccumulator < 10) return;
  // The excess is dropped: with ticks of 10 ms or more there is exactly one timer step per tick.
  timerAccumulator = 0;
  if (!link_is_open(0)) return;
  ConverterRecord& conv = Conv();
  if (conv.timer != 0) --conv.timer;
  for (int slot = 0; slot < 3; ++slot) {
    if (SlotLife(slot) == 0) {
      conv.slotStatus[slot] = 0;
    } else if (SlotLife(slot) != kSlotFresh) {
      --conv.slotStatus[slot];
    }
  }
}

void link_stats(std::uint8_t channel, std::uint8_t out[5]) {
  if (channel != 0) return;
  const ConverterRecord& conv = Conv();
  out[0] = conv.queueOverflows;
  out[1] = conv.dropped;
  out[2] = conv.slotOverflows;
  out[3] = conv.badFrames;
  out[4] = conv.rxTimeouts;
}

void link_status(std::uint8_t channel, std::uint8_t out[4]) {
  if (channel != 0) return;
  const ConverterRecord& conv = Conv();
  out[0] = conv.state;
  out[1] = conv.timeoutValue;
  out[2] = QueueFull() ? 2 : (conv.head != conv.tail ? 1 : 0);
  out[3] = 0;
  for (int slot = 0; slot < 3; ++slot) {
    if (conv.slotStatus[slot] != 0) ++out[3];
  }
}

void link_error(std::uint8_t errorClass, std::uint8_t code) { lastError = LinkError{errorClass, code}; }

LinkError link_last_error() { return lastError; }

}  // namespace gelvar
