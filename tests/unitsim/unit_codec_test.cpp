#include "unitsim/unit_codec.h"

#include <gtest/gtest.h>

#include "unitsim/simulated_line.h"

namespace gelvar::unitsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(UnitCodecTest, WorkedFramesAndIdWords) {
  const struct {
    std::uint32_t objectId;
    Bytes data, frame;
  } frames[] = {
      {0x1234, {}, {0x54, 0x48, 0xD1, 0x91}},
      {0x0001, {0x12, 0x34}, {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}},
      {0x0380, {1, 2, 3, 4}, {0x56, 0x0E, 0x01, 0x01, 0x02, 0x03, 0x04, 0x90}},
  };
  for (const auto& f : frames) {
    EXPECT_EQ(EncodeFrame(f.objectId, f.data), f.frame);
    FrameDecoder decoder;
    for (std::size_t i = 0; i + 1 < f.frame.size(); ++i) EXPECT_FALSE(decoder.Feed(f.frame[i], 0));
    const auto decoded = decoder.Feed(f.frame.back(), 0);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->objectId, f.objectId);
    EXPECT_EQ(decoded->data, f.data);
  }
  for (const auto& [objectId, idWord] : {std::pair{0x0001U, 0x0005}, {0x1234U, 0x48D1}, {0x3FFFU, 0xFFFF}}) {
    EXPECT_EQ(EncodeIdWord(objectId), idWord);
    for (int bit = 0; bit < 16; ++bit) EXPECT_FALSE(IdWordParityOk(idWord ^ (1 << bit))) << bit;
  }
}

TEST(UnitCodecTest, DecoderTakesOnlySoundTimelyFrames) {
  const struct {
    Bytes stream;
    std::int64_t gapMs;  // before the last byte
    bool taken;
  } streams[] = {
      {{0x00, 0xFF, 0x53, 0x57, 0x91, 0x54, 0x48, 0xD1, 0x91}, 0, true},  // leading bytes skipped
      {{0x54, 0x48, 0xD1, 0x90}, 0, false},                              // checksum
      {{0x54, 0x48, 0xD0, 0x92}, 0, false},                              // parity
      {{0x54, 0x48, 0xD1, 0x91}, FrameDecoder::kStallMs, true},
      {{0x54, 0x48, 0xD1, 0x91}, FrameDecoder::kStallMs + 1, false},
      {{0x55, 0x48, 0x54, 0x48, 0xD1, 0x91}, 0, false},  // a stalled "U" swallows the "T"
  };
  for (const auto& s : streams) {
    FrameDecoder decoder;
    for (std::size_t i = 0; i + 1 < s.stream.size(); ++i) decoder.Feed(s.stream[i], 1000);
    EXPECT_EQ(decoder.Feed(s.stream.back(), 1000 + s.gapMs).has_value(), s.taken) << int{s.stream.back()};
  }
}

TEST(SimulatedLineTest, MovesBytesOnlyWhileOpenAndDue) {
  UnitModel unit;
  std::int64_t nowMs = 100;
  SimulatedLine line(unit, [&nowMs] { return nowMs; });
  const Bytes request = EncodeFrame(0x3002, {});
  Bytes buffer(16);
  auto read = [&](int maxCount) { return line.Read(buffer.data(), maxCount); };

  EXPECT_EQ(line.Write(request.data(), 4), 0);
  line.FailNextOpen(true);
  EXPECT_EQ(line.Open(1, 19200, 8, 0, 0), 0);
  EXPECT_EQ(line.Open(1, 19200, 8, 0, 0), 1);
  unit.Faults().latencyMs = 20;
  EXPECT_EQ(line.Write(request.data(), 4), 4);
  EXPECT_EQ(line.Written(), request);
  EXPECT_EQ(unit.Requests().at(0).atMs, 100);
  nowMs = 119;
  EXPECT_EQ(read(16), 0);
  nowMs = 120;
  EXPECT_EQ(read(3), 3);
  EXPECT_EQ(read(16), 5);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), (Bytes{1, 4, 16, 3})) << "data, then checksum";

  line.Write(request.data(), 4);
  EXPECT_EQ(line.Close(), 1);
  EXPECT_EQ(read(16), 0);
  nowMs = 500;
  line.Open(1, 19200, 8, 0, 0);
  EXPECT_EQ(read(16), 0) << "sent while the port was closed";
}

}  // namespace
}  // namespace gelvar::unitsim
