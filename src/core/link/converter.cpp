#include "core/link/converter.h"

#include "core/link/driver.h"
#include "core/link/link.h"

namespace gelvar {
namespace {

constexpr std::uint8_t kQueueFull = 0x80;
constexpr std::uint8_t kSlotFresh = 0x3F;
constexpr std::uint8_t kSlotLifetime = 20;
constexpr std::uint8_t kFrameTimeLimit = 32;
constexpr std::uint8_t kTimeoutValue = 100;
constexpr std::uint8_t kMaxTries = 4;
constexpr std::uint8_t kErrorClass = 3;

bool QueueFull(const ConverterRecord& conv) { return (conv.retry & kQueueFull) != 0; }
bool QueueEmpty(const ConverterRecord& conv) { return conv.head == conv.tail && !QueueFull(conv); }
std::uint8_t Tries(const ConverterRecord& conv) { return conv.retry & 0x0F; }

std::uint8_t Other(std::uint8_t index) { return index == 0 ? 1 : 0; }

std::uint8_t SlotLife(const ConverterRecord& conv, int slot) { return conv.slotStatus[slot] & 0x3F; }
bool SlotFetchable(const ConverterRecord& conv, int slot) {
  return SlotLife(conv, slot) != 0 && SlotLife(conv, slot) != kSlotFresh;
}

void RetireTail(LinkMemory& memory) {
  memory.driver.control &= static_cast<std::uint8_t>(~kFrameReady);
  memory.converter.tail = Other(memory.converter.tail);
  memory.converter.retry = 0;
}

void FailedTry(LinkMemory& memory) {
  ++memory.converter.retry;
  if (Tries(memory.converter) >= kMaxTries) {
    RetireTail(memory);
    ++memory.converter.dropped;
  }
}

// Pause before a frame that waited through a reception or a recovery goes out: 1..16 timer steps,
// taken from the object ID and the failed tries.
std::uint8_t BackoffSteps(const ConverterRecord& conv) {
  const std::uint32_t id = conv.queueId[conv.tail];
  return static_cast<std::uint8_t>(((id >> Tries(conv)) & 0x0F) + 1);
}

void Send(Link& link) {
  drv_start_tx(link, 0);
  link.memory.converter.timer = kFrameTimeLimit;
  link.memory.converter.state = kConvSending;
}

void Receive(ConverterRecord& conv) {
  conv.timer = kFrameTimeLimit;
  conv.state = kConvReceiving;
}

// After a reception or a recovery: wait the back-off when a frame is ready, else go idle.
void BackoffOrIdle(LinkMemory& memory) {
  ConverterRecord& conv = memory.converter;
  if (memory.driver.control & kFrameReady) {
    conv.timer = BackoffSteps(conv);
    conv.state = kConvBackoff;
  } else {
    conv.state = kConvIdle;
  }
}

void StepIdle(Link& link, std::uint8_t driverState) {
  ConverterRecord& conv = link.memory.converter;
  switch (driverState) {
    case kDriverIdle:
      conv.timeoutValue = kTimeoutValue;
      if (link.memory.driver.control & kFrameReady) Send(link);
      return;
    case kDriverSending: conv.state = kConvRecover; return;
    case kDriverReceiving: Receive(conv); return;
    default: link_error(link, kErrorClass, 20); return;
  }
}

void StepSending(Link& link, std::uint8_t driverState) {
  LinkMemory& memory = link.memory;
  ConverterRecord& conv = memory.converter;
  const bool stillSending = (memory.driver.control & kSendingBit) != 0;
  switch (driverState) {
    case kDriverIdle:
      if (stillSending) {
        FailedTry(memory);
        conv.state = kConvRecover;
      } else {
        RetireTail(memory);
        conv.state = kConvIdle;
      }
      return;
    case kDriverSending:
      if (conv.timer == 0) {
        FailedTry(memory);
        conv.state = kConvRecover;
      }
      return;
    case kDriverReceiving:
      if (stillSending) {
        FailedTry(memory);
      } else {
        RetireTail(memory);
      }
      Receive(conv);
      return;
    default: link_error(link, kErrorClass, 21); return;
  }
}

void StepReceiving(Link& link, std::uint8_t driverState) {
  ConverterRecord& conv = link.memory.converter;
  switch (driverState) {
    case kDriverIdle: BackoffOrIdle(link.memory); return;
    case kDriverSending: conv.state = kConvRecover; return;
    case kDriverReceiving:
      if (conv.timer == 0) {
        ++conv.rxTimeouts;
        conv.state = kConvRecover;
      }
      return;
    default: link_error(link, kErrorClass, 22); return;
  }
}

void StepBackoff(Link& link, std::uint8_t driverState) {
  switch (driverState) {
    case kDriverIdle:
    case kDriverSending:
      if (link.memory.converter.timer == 0) Send(link);
      return;
    case kDriverReceiving: Receive(link.memory.converter); return;
    default: link_error(link, kErrorClass, 23); return;
  }
}

void StepRecover(Link& link, std::uint8_t driverState) {
  switch (driverState) {
    case kDriverIdle: BackoffOrIdle(link.memory); return;
    case kDriverSending:
    case kDriverReceiving: drv_abort(link, 0); return;
    default: link_error(link, kErrorClass, 24); return;
  }
}

}  // namespace

void link_reset(Link& link) {
  link.openMask = 0;
  link.timerAccumulator = 0;
  link.memory.converter = ConverterRecord{};
}

std::uint8_t link_open(Link& link, std::uint8_t channel) {
  if (channel != 0) return kLinkNotOpen;
  link.openMask |= 1;
  drv_open(link, channel);
  return kLinkOk;
}

bool link_is_open(const Link& link, std::uint8_t channel) {
  return channel < 8 && ((link.openMask >> channel) & 1) != 0;
}

std::uint8_t link_post(Link& link, ObjectRequest* request) {
  if (!link_is_open(link, request->channel)) return kLinkNotOpen;
  ConverterRecord& conv = link.memory.converter;
  const std::uint8_t n = std::uint8_t(request->count & 0x0F) > 4 ? 4 : (request->count & 0x0F);
  if (QueueFull(conv)) {
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

int link_fetch(Link& link, ObjectRequest* request) {
  if (!link_is_open(link, request->channel)) return -2;
  ConverterRecord& conv = link.memory.converter;
  const std::uint8_t wantHigh = static_cast<std::uint8_t>(request->objectId >> 8);
  const std::uint8_t wantLow = static_cast<std::uint8_t>(request->objectId);
  const std::uint8_t ignore = request->mask;
  for (int slot = 0; slot < 3; ++slot) {
    if (!SlotFetchable(conv, slot) || conv.slotIdHigh[slot] != wantHigh ||
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

void link_step(Link& link) {
  if (!link_is_open(link, 0)) return;
  const std::uint8_t driverState = link.memory.driver.state;
  ConverterRecord& conv = link.memory.converter;
  switch (conv.state) {
    case kConvStart:
      conv.state = kConvIdle;
      conv.timeoutValue = kTimeoutValue;
      return;
    case kConvIdle: StepIdle(link, driverState); return;
    case kConvSending: StepSending(link, driverState); return;
    case kConvReceiving: StepReceiving(link, driverState); return;
    case kConvBackoff: StepBackoff(link, driverState); return;
    case kConvRecover: StepRecover(link, driverState); return;
    default:
      link_error(link, kErrorClass, 1);
      conv.state = kConvStart;
      return;
  }
}

void link_build_frame(Link& link) {
  if (!link_is_open(link, 0)) return;
  DriverRecord& drv = link.memory.driver;
  const ConverterRecord& conv = link.memory.converter;
  if ((drv.control & kFrameReady) || QueueEmpty(conv)) return;
  const std::uint8_t tail = conv.tail;
  const std::uint8_t n = conv.queueCount[tail];
  const std::uint16_t word = EncodeIdWord(conv.queueId[tail]);
  drv.txBuffer[0] = static_cast<std::uint8_t>(0x54 + n / 2);
  drv.txBuffer[1] = static_cast<std::uint8_t>(word >> 8);
  drv.txBuffer[2] = static_cast<std::uint8_t>(word);
  for (int i = 0; i < n; ++i) drv.txBuffer[3 + i] = conv.queueData[tail][i];
  drv.control |= kFrameReady;
}

void link_check_slots(Link& link) {
  if (!link_is_open(link, 0)) return;
  ConverterRecord& conv = link.memory.converter;
  for (int slot = 0; slot < 3; ++slot) {
    if (SlotLife(conv, slot) != kSlotFresh) continue;
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

void link_timer(Link& link, std::uint32_t elapsedMs) {
  link.timerAccumulator += elapsedMs;
  if (link.timerAccumulator < 10) return;
  // The excess is dropped: with ticks of 10 ms or more there is exactly one timer step per tick.
  link.timerAccumulator = 0;
  if (!link_is_open(link, 0)) return;
  ConverterRecord& conv = link.memory.converter;
  if (conv.timer != 0) --conv.timer;
  for (int slot = 0; slot < 3; ++slot) {
    if (SlotLife(conv, slot) == 0) {
      conv.slotStatus[slot] = 0;
    } else if (SlotLife(conv, slot) != kSlotFresh) {
      --conv.slotStatus[slot];
    }
  }
}

void link_stats(const Link& link, std::uint8_t channel, std::uint8_t out[5]) {
  if (channel != 0) return;
  const ConverterRecord& conv = link.memory.converter;
  out[0] = conv.queueOverflows;
  out[1] = conv.dropped;
  out[2] = conv.slotOverflows;
  out[3] = conv.badFrames;
  out[4] = conv.rxTimeouts;
}

void link_status(const Link& link, std::uint8_t channel, std::uint8_t out[4]) {
  if (channel != 0) return;
  const ConverterRecord& conv = link.memory.converter;
  out[0] = conv.state;
  out[1] = conv.timeoutValue;
  out[2] = QueueFull(conv) ? 2 : (conv.head != conv.tail ? 1 : 0);
  out[3] = 0;
  for (int slot = 0; slot < 3; ++slot) {
    if (conv.slotStatus[slot] != 0) ++out[3];
  }
}

void link_error(Link& link, std::uint8_t errorClass, std::uint8_t code) {
  link.lastError = LinkError{errorClass, code};
}

LinkError link_last_error(const Link& link) { return link.lastError; }

}  // namespace gelvar
