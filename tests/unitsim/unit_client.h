// Talks to a UnitModel the way the program does, one request at a time in virtual time, and hands
// back the raw reply bytes or the decoded reply.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "unitsim/unit_codec.h"
#include "unitsim/unit_model.h"

namespace gelvar::unitsim {

// The last sound frame in bytes, if any.
inline std::optional<DecodedFrame> DecodeLastFrame(const std::vector<std::uint8_t>& bytes) {
  FrameDecoder decoder;
  std::optional<DecodedFrame> last;
  for (const std::uint8_t byte : bytes) {
    if (auto frame = decoder.Feed(byte, 0)) last = frame;
  }
  return last;
}

class UnitClient {
 public:
  static constexpr std::int64_t kReplyWaitMs = 500;

  explicit UnitClient(std::uint32_t seed = 1) : unit(seed) {}

  void Send(const std::vector<std::uint8_t>& bytes) {
    for (const std::uint8_t byte : bytes) unit.Receive(byte, nowMs);
  }
  // Every byte the unit has sent by now.
  std::vector<std::uint8_t> Collect() {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[16];
    while (const int count = unit.Transmit(chunk, 16, nowMs)) bytes.insert(bytes.end(), chunk, chunk + count);
    return bytes;
  }
  std::vector<std::uint8_t> Raw(std::uint32_t objectId, const std::vector<std::uint8_t>& data = {}) {
    Send(EncodeFrame(objectId, data));
    Wait(kReplyWaitMs);
    return Collect();
  }
  std::optional<DecodedFrame> Ask(std::uint32_t objectId, const std::vector<std::uint8_t>& data = {}) {
    return DecodeLastFrame(Raw(objectId, data));
  }
  // Data of the reply; a missing reply reads as {0xEE} so that it never equals a real answer.
  std::vector<std::uint8_t> Data(std::uint32_t objectId, const std::vector<std::uint8_t>& data = {}) {
    const auto reply = Ask(objectId, data);
    return reply ? reply->data : std::vector<std::uint8_t>{0xEE};
  }
  void Wait(std::int64_t ms) {
    nowMs += ms;
    unit.Advance(nowMs);
  }

  UnitModel unit;
  std::int64_t nowMs = 0;
};

}  // namespace gelvar::unitsim
