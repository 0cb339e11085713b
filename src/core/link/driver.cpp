#include "core/link/driver.h"

#include "core/link/link.h"

namespace gelvar {
namespace {

constexpr std::uint8_t kTypeNoData = 0x54;
constexpr std::uint8_t kTypeTwoBytes = 0x55;
constexpr std::uint8_t kTypeFourBytes = 0x56;

bool IsTypeLetter(std::uint8_t b) { return b >= kTypeNoData && b <= kTypeFourBytes; }

// One's-complement addition: a carry out of the byte comes back in at the bottom.
std::int32_t FoldAdd(std::int32_t sum, std::uint8_t b) {
  sum += b;
  if (sum > 255) sum -= 255;
  return sum;
}

void TraceWrite(Link& link, std::int32_t* ring, std::uint8_t& writeIndex, std::int32_t value) {
  ring[writeIndex] = value;
  writeIndex = static_cast<std::uint8_t>(writeIndex >= kTraceSize - 1 ? 0 : writeIndex + 1);
  if (link.frameNumber > 99999) link.frameNumber = 0;
}

void TraceFrameStart(Link& link, std::int32_t* ring, std::uint8_t& writeIndex) {
  ++link.frameNumber;
  TraceWrite(link, ring, writeIndex, -link.frameNumber);
}

void TraceTx(Link& link, std::int32_t value) { TraceWrite(link, link.memory.txTrace, link.memory.txTraceWrite, value); }
void TraceRx(Link& link, std::int32_t value) { TraceWrite(link, link.memory.rxTrace, link.memory.rxTraceWrite, value); }

std::uint8_t LowNibble(std::uint8_t control) { return control & 0x0F; }
void SetLowNibble(std::uint8_t& control, int n) { control = static_cast<std::uint8_t>((control & 0xF0) | (n & 0x0F)); }

// A good frame goes into the first free reply slot, ID word still carrying its parity bits.
void DepositFrame(LinkMemory& memory) {
  const DriverRecord& drv = memory.driver;
  ConverterRecord& conv = memory.converter;
  int slot = 0;
  while (slot < 3 && conv.slotStatus[slot] != 0) ++slot;
  if (slot == 3) {
    ++conv.slotOverflows;
    return;
  }
  const int n = 2 * (drv.rxBuffer[0] - kTypeNoData);
  conv.slotIdHigh[slot] = drv.rxBuffer[1];
  conv.slotIdLow[slot] = drv.rxBuffer[2];
  for (int i = 0; i < n; ++i) conv.slotData[slot][i] = drv.rxBuffer[3 + i];
  conv.slotStatus[slot] = static_cast<std::uint8_t>(n * 32 + 0x3F);
}

void ReceiveInFrame(Link& link, std::uint8_t b) {
  DriverRecord& drv = link.memory.driver;
  TraceRx(link, b);
  drv.checksum = FoldAdd(drv.checksum, b);
  const int left = LowNibble(drv.control) - 1;
  SetLowNibble(drv.control, left);
  if (left != 0) {
    if (drv.rxIndex < sizeof drv.rxBuffer) drv.rxBuffer[drv.rxIndex] = b;
    ++drv.rxIndex;
    return;
  }
  if (drv.checksum == 255) {
    DepositFrame(link.memory);
  } else {
    ++link.memory.converter.badFrames;
  }
  drv.state = kDriverIdle;
  TraceRx(link, kTraceEndOfFrame);
}

}  // namespace

std::uint16_t EncodeIdWord(std::uint32_t objectId) {
  const std::uint32_t id = objectId & 0x3FFF;
  std::uint32_t odd = 0;
  std::uint32_t even = 0;
  for (int bit = 0; bit < 14; ++bit) {
    ((bit & 1) ? odd : even) ^= (id >> bit) & 1u;
  }
  return static_cast<std::uint16_t>((id << 2) | (odd << 1) | even);
}

bool IdWordParityOk(std::uint16_t word) {
  std::uint32_t odd = 0;
  std::uint32_t even = 0;
  for (int bit = 0; bit < 16; ++bit) {
    ((bit & 1) ? odd : even) ^= (word >> bit) & 1u;
  }
  return odd == 0 && even == 0;
}

void drv_clear(Link& link) { link.memory.driver = DriverRecord{}; }

void drv_open(Link& link, std::uint8_t channel) {
  if (channel != 0) return;
  DriverRecord& drv = link.memory.driver;
  drv.state = kDriverIdle;
  drv.txIndex = 0;
  drv.rxIndex = 0;
  link.frameNumber = 0;
}

std::uint8_t drv_start_tx(Link& link, std::uint8_t channel) {
  DriverRecord& drv = link.memory.driver;
  if (channel != 0 || drv.state != kDriverIdle) return kLinkRefused;
  drv.state = kDriverSending;
  drv.control = static_cast<std::uint8_t>((drv.control & 0xF0) | kSendingBit);
  switch (drv.txBuffer[0]) {
    case kTypeNoData: SetLowNibble(drv.control, 4); break;
    case kTypeTwoBytes: SetLowNibble(drv.control, 6); break;
    case kTypeFourBytes: SetLowNibble(drv.control, 8); break;
    default: drv.state = kDriverIdle; return kLinkRefused;
  }
  drv.checksum = 0;
  drv.txIndex = 0;
  TraceFrameStart(link, link.memory.txTrace, link.memory.txTraceWrite);
  drv_tx_next(link, channel);
  return kLinkOk;
}

void drv_tx_next(Link& link, std::uint8_t channel) {
  DriverRecord& drv = link.memory.driver;
  if (channel != 0 || drv.state != kDriverSending) return;
  const int left = LowNibble(drv.control);
  if (left == 0) {
    drv.control &= static_cast<std::uint8_t>(~(kFrameReady | kSendingBit));
    drv.state = kDriverIdle;
    TraceTx(link, kTraceEndOfFrame);
    return;
  }
  SetLowNibble(drv.control, left - 1);
  std::uint8_t b;
  if (left == 1) {
    b = static_cast<std::uint8_t>(255 - drv.checksum);
  } else {
    b = drv.txIndex < sizeof drv.txBuffer ? drv.txBuffer[drv.txIndex] : 0xFF;
    ++drv.txIndex;
    drv.checksum = FoldAdd(drv.checksum, b);
  }
  link.memory.txByte = b;
  link.memory.txRegister = b;
  TraceTx(link, b);
}

void drv_rx_byte(Link& link, std::uint8_t channel, std::uint8_t b) {
  if (channel != 0) return;
  DriverRecord& drv = link.memory.driver;
  link.memory.rxByte = b;
  switch (drv.state) {
    case kDriverIdle:
      if (!IsTypeLetter(b)) {
        TraceRx(link, b);
        return;
      }
      SetLowNibble(drv.control, 2 * (b - kTypeNoData) + 3);
      drv.rxBuffer[0] = b;
      drv.rxIndex = 1;
      drv.checksum = b;
      drv.state = kDriverReceiving;
      TraceFrameStart(link, link.memory.rxTrace, link.memory.rxTraceWrite);
      TraceRx(link, b);
      return;
    case kDriverSending: TraceRx(link, b); return;
    case kDriverReceiving: ReceiveInFrame(link, b); return;
    default: return;
  }
}

std::uint8_t drv_abort(Link& link, std::uint8_t channel) {
  DriverRecord& drv = link.memory.driver;
  if (channel != 0 || drv.state == kDriverOff) return kLinkNotOpen;
  drv.control = 0;
  drv.state = kDriverIdle;
  return kLinkOk;
}

}  // namespace gelvar
