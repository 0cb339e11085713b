#include "unitsim/simulated_line.h"

#include <gtest/gtest.h>

#include "unitsim/unit_codec.h"

namespace gelvar::unitsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

class SimulatedLineTest : public ::testing::Test {
 protected:
  int Open() { return line.Open(1, 19200, 8, 0, 0); }
  int Write(const Bytes& bytes) { return line.Write(bytes.data(), static_cast<int>(bytes.size())); }
  Bytes Read(int maxCount = 64) {
    Bytes buffer(64);
    buffer.resize(static_cast<std::size_t>(line.Read(buffer.data(), maxCount)));
    return buffer;
  }

  UnitModel unit;
  std::int64_t nowMs = 0;
  SimulatedLine line{unit, [this] { return nowMs; }};
};

TEST_F(SimulatedLineTest, ClosedLineMovesNothing) {
  EXPECT_EQ(Write(EncodeFrame(0x3003, {})), 0);
  EXPECT_TRUE(Read().empty());
  EXPECT_TRUE(line.Written().empty());
  EXPECT_TRUE(unit.Requests().empty());
}

TEST_F(SimulatedLineTest, FailNextOpenFailsOnce) {
  line.FailNextOpen(true);
  EXPECT_EQ(Open(), 0);
  EXPECT_FALSE(line.IsOpen());
  EXPECT_EQ(Open(), 1);
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.Close(), 1);
  EXPECT_FALSE(line.IsOpen());
}

TEST_F(SimulatedLineTest, RepliesAreReadInPiecesOnceDue) {
  unit.Faults().latencyMs = 20;
  ASSERT_EQ(Open(), 1);
  nowMs = 100;
  const Bytes request = EncodeFrame(0x3002, {});
  EXPECT_EQ(Write(request), 4);
  EXPECT_EQ(line.Written(), request);
  EXPECT_EQ(unit.Requests().at(0).atMs, 100);

  nowMs = 119;
  EXPECT_TRUE(Read().empty());
  nowMs = 120;
  Bytes reply = Read(3);
  EXPECT_EQ(reply.size(), 3U);
  const Bytes rest = Read();
  reply.insert(reply.end(), rest.begin(), rest.end());
  EXPECT_EQ(reply, EncodeFrame(0x3002, {1, 4, 16, 3}));
}

TEST_F(SimulatedLineTest, ReplySentWhileClosedIsLost) {
  ASSERT_EQ(Open(), 1);
  Write(EncodeFrame(0x3003, {}));
  line.Close();
  nowMs = 500;
  ASSERT_EQ(Open(), 1);
  EXPECT_TRUE(Read().empty());
}

}  // namespace
}  // namespace gelvar::unitsim
