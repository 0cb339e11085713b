#include "unitsim/simulated_line.h"

#include <utility>

namespace gelvar::unitsim {

SimulatedLine::SimulatedLine(UnitModel& unit, std::function<std::int64_t()> nowMs)
    : unit_(unit), nowMs_(std::move(nowMs)) {}

int SimulatedLine::Open(int /*portNumber*/, int /*baudRate*/, int /*byteSize*/, int /*stopBits*/, int /*parity*/) {
  if (unplugged_) return 0;
  // What the unit sent while the port was closed is lost, as on a real line.
  if (!open_) unit_.DiscardSent(nowMs_());
  open_ = true;
  return 1;
}

int SimulatedLine::Reopen() {
  if (!open_ || unplugged_) return 0;
  unit_.DiscardSent(nowMs_());
  return 1;
}

int SimulatedLine::Close() {
  open_ = false;
  return 1;
}

int SimulatedLine::Write(const std::uint8_t* bytes, int count) {
  if (!open_ || unplugged_ || bytes == nullptr || count <= 0) return 0;
  const std::int64_t now = nowMs_();
  for (int i = 0; i < count; ++i) unit_.Receive(bytes[i], now);
  return count;
}

int SimulatedLine::Read(std::uint8_t* buffer, int maxCount) {
  if (!open_ || unplugged_ || buffer == nullptr || maxCount <= 0) return 0;
  const std::int64_t now = nowMs_();
  unit_.Advance(now);
  return unit_.Transmit(buffer, maxCount, now);
}

}  // namespace gelvar::unitsim
