// The driver and the converter over a line served by hand: requests out as frames, frames back into
// the reply slots, and the counters of what went wrong.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/ticker.h"
#include "support/link_fixture.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

ObjectRequest Request(std::uint32_t id, const Bytes& data = {}, std::uint8_t mask = 0) {
  ObjectRequest r{};
  r.objectId = id;
  r.mask = mask;
  r.count = static_cast<std::uint8_t>(data.size());
  std::copy_n(data.begin(), std::min<std::size_t>(data.size(), 4), r.data);
  return r;
}

// queue overflows, dropped, slot overflows, bad frames, receive timeouts
std::uint8_t Stat(int index) {
  std::uint8_t stats[5] = {};
  link_stats(0, stats);
  return stats[index];
}

class Converter : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    StartLink();
    linkMemory.txRegister = -1;  // as the pump leaves it when it opens the line
  }
  // Ticks with the line served as the pump serves it; returns what went out.
  static Bytes TicksWithLine(int ticks) {
    Bytes wire;
    for (int i = 0; i < ticks; ++i) {
      ConverterTick();
      const Bytes sent = DrainTx();
      wire.insert(wire.end(), sent.begin(), sent.end());
    }
    return wire;
  }
  static void Reply(std::uint32_t id, const Bytes& data = {}) {
    FeedBytes(MakeFrame(id, data));
    link_check_slots();
  }
};

TEST(IdWord, CarriesTwoParityBitsThatCatchEverySingleBitFlip) {
  const struct {
    std::uint32_t id;
    std::uint16_t word;
  } cases[] = {{0x0001, 0x0005}, {0x1234, 0x48D1}, {0x3FFF, 0xFFFF}};
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeIdWord(c.id), c.word) << std::hex << c.id;
    EXPECT_TRUE(IdWordParityOk(c.word));
    for (int bit = 0; bit < 16; ++bit) EXPECT_FALSE(IdWordParityOk(static_cast<std::uint16_t>(c.word ^ (1u << bit))));
  }
}

// Out as posted, back in as the unit would send it; a wrong sum or wrong parity is counted, not kept.
TEST_F(Converter, WorkedFramesGoOutAndComeBack) {
  const struct {
    std::uint32_t id;
    Bytes data;
    Bytes wire;
  } cases[] = {
      {0x1234, {}, {0x54, 0x48, 0xD1, 0x91}},
      {0x0001, {0x12, 0x34, 0x56}, {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}},  // an odd count drops its last byte
      {0x0380, {1, 2, 3, 4}, {0x56, 0x0E, 0x01, 0x01, 0x02, 0x03, 0x04, 0x90}},
  };
  int bad = 0;
  for (const auto& c : cases) {
    ObjectRequest r = Request(c.id, c.data);
    ASSERT_EQ(link_post(&r), kLinkOk);
    EXPECT_EQ(TicksWithLine(4), c.wire);

    Bytes wrongSum = c.wire;
    wrongSum.back() ^= 1;
    Bytes wrongParity = c.wire;
    wrongParity[2] ^= 0x01;
    wrongParity.back() = static_cast<std::uint8_t>(wrongParity.back() - 1);  // the sum still fits
    for (const Bytes& frame : {wrongSum, wrongParity, c.wire}) FeedBytes(frame);
    ObjectRequest fresh = Request(c.id);
    EXPECT_EQ(link_fetch(&fresh), 0) << "not before the parity check";
    link_check_slots();
    EXPECT_EQ(Stat(3), bad += 2);
    EXPECT_EQ(link_fetch(&fresh), static_cast<int>(c.id));
    EXPECT_EQ(Bytes(fresh.data, fresh.data + fresh.count), Bytes(c.wire.begin() + 3, c.wire.end() - 1));
  }
}

TEST_F(Converter, QueueOfTwoCountsWhatItRefusesUpTo255) {
  ObjectRequest r = Request(0x3003, {1, 2});
  EXPECT_EQ(link_post(&r), kLinkOk);
  EXPECT_EQ(r.count, 0) << "a posted record is handed back without its data count";
  EXPECT_EQ(link_post(&r), kLinkOk);
  EXPECT_EQ(link_post(&r), kLinkRefused);
  EXPECT_EQ(Stat(0), 1);
  for (int i = 0; i < 255; ++i) link_post(&r);
  EXPECT_EQ(Stat(0), 0);
}

TEST_F(Converter, SendWithoutLineIsTriedFourTimesThenDropped) {
  ObjectRequest first = Request(0x1234);
  ObjectRequest second = Request(0x3003);
  ASSERT_EQ(link_post(&first), kLinkOk);
  ASSERT_EQ(link_post(&second), kLinkOk);
  int starts = 0;
  for (int tick = 0, lastFrame = 0; tick < 1000 && Stat(1) == 0; ++tick) {
    ConverterTick();
    starts += frameNumber != lastFrame;
    lastFrame = frameNumber;
  }
  EXPECT_EQ(starts, 4);
  EXPECT_EQ(Stat(1), 1);
  linkMemory.txRegister = -1;  // the line is back: the next request goes out
  EXPECT_EQ(TicksWithLine(40), MakeFrame(0x3003, {}));
}

TEST_F(Converter, BackoffLengthFollowsIdAndTries) {
  const struct {
    std::uint32_t id;
    std::uint8_t tries;
    int steps;
  } cases[] = {{0x1234, 0, 5}, {0x1234, 1, 11}, {0x000F, 0, 16}, {0x00F0, 3, 15}};
  for (const auto& c : cases) {
    SetUp();
    ObjectRequest r = Request(c.id);
    ASSERT_EQ(link_post(&r), kLinkOk);
    linkMemory.converter.retry = c.tries;
    link_build_frame();
    linkMemory.converter.state = kConvRecover;
    link_step();
    ASSERT_EQ(linkMemory.converter.state, kConvBackoff);
    EXPECT_EQ(linkMemory.converter.timer, c.steps) << std::hex << c.id;
  }
}

// A reply lives 20 steps of 10 ms; one from 0x0380-0x03FF may be fetched again until then.
TEST_F(Converter, RepliesLiveTwentyStepsAndSharedOnesAreFetchedAgain) {
  const struct {
    std::uint32_t id;
    int fetches;
  } cases[] = {{0x0380, 20}, {0x03FF, 20}, {0x037F, 1}, {0x0400, 1}};
  for (const auto& c : cases) {
    SetUp();
    Reply(c.id);
    ObjectRequest r = Request(c.id);
    int found = 0;
    for (int step = 0; step < 25; ++step) {
      found += link_fetch(&r) == static_cast<int>(c.id);
      link_timer(10);
    }
    EXPECT_EQ(found, c.fetches) << std::hex << c.id;
    EXPECT_EQ(linkMemory.converter.slotStatus[0], 0) << "slot free after its lifetime";
  }
  Reply(0x3003);
  for (int i = 0; i < 4; ++i) link_timer(5);  // 2 steps
  link_timer(25);                             // 1 step: the excess is dropped
  EXPECT_EQ(linkMemory.converter.slotStatus[0] & 0x3F, 17);
}

TEST_F(Converter, MaskIgnoresLowIdBits) {
  Reply(0x0C85);
  ObjectRequest exact = Request(0x0C80);
  EXPECT_EQ(link_fetch(&exact), 0);
  ObjectRequest masked = Request(0x0C80, {}, 0x0F);
  EXPECT_EQ(link_fetch(&masked), 0x0C85);
  Reply(0x0C95);
  EXPECT_EQ(link_fetch(&masked), 0) << "bit 4 is not masked";
}

TEST_F(Converter, FrameNumbersRunOneTo100000AndTheTraceRingWraps) {
  frameNumber = 99999;
  FeedBytes(Bytes{0x54, 0x48, 0xD1, 0x91, 0x54, 0x48, 0xD1, 0x91});
  EXPECT_EQ(linkMemory.rxTrace[0], -100000);
  EXPECT_EQ(linkMemory.rxTrace[6], -1);
  FeedBytes(Bytes(kTraceSize - 12, 0x00));
  EXPECT_EQ(linkMemory.rxTraceWrite, 0) << "a ring written full circle looks unread";
  FeedBytes({0x01});
  EXPECT_EQ(linkMemory.rxTraceWrite, 1);
}

}  // namespace
}  // namespace gelvar::testing
