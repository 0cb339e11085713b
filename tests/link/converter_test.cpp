#include <gtest/gtest.h>

#include "support/link_fixture.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ConverterTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    drv_clear();
    link_reset();
    link_open(0);
    linkMemory.txRegister = -1;  // as the pump leaves it when it opens the line
  }
  static ObjectRequest Request(std::uint32_t id, Bytes data = {}, std::uint8_t mask = 0) {
    ObjectRequest r{};
    r.objectId = id;
    r.mask = mask;
    r.count = static_cast<std::uint8_t>(data.size());
    for (std::size_t i = 0; i < data.size() && i < 4; ++i) r.data[i] = data[i];
    return r;
  }
  // Runs ticks with the line as the pump would serve it: frames leave completely.
  Bytes TicksWithLine(int ticks) {
    Bytes wire;
    for (int i = 0; i < ticks; ++i) {
      ConverterTick();
      const Bytes sent = DrainTx();
      wire.insert(wire.end(), sent.begin(), sent.end());
    }
    return wire;
  }
  // Deposits a reply and lets the converter check it.
  void Reply(std::uint32_t id, const Bytes& data) {
    FeedBytes(MakeFrame(id, data));
    link_check_slots();
  }
  std::uint8_t Stat(int index) {
    std::uint8_t stats[5] = {};
    link_stats(0, stats);
    return stats[index];
  }
  std::uint8_t Status(int index) {
    std::uint8_t status[4] = {};
    link_status(0, status);
    return status[index];
  }
};

TEST_F(ConverterTest, OnlyChannelZeroOpens) {
  EXPECT_EQ(link_open(1), kLinkNotOpen);
  EXPECT_TRUE(link_is_open(0));
  EXPECT_FALSE(link_is_open(1));
  ObjectRequest r = Request(0x3003);
  r.channel = 1;
  EXPECT_EQ(link_post(&r), kLinkNotOpen);
  EXPECT_EQ(link_fetch(&r), -2);
}

TEST_F(ConverterTest, QueueHoldsTwoRequests) {
  ObjectRequest a = Request(0x3003, {1, 2});
  ObjectRequest b = Request(0x3002);
  ObjectRequest c = Request(0x3001);
  EXPECT_EQ(link_post(&a), kLinkOk);
  EXPECT_EQ(a.count, 0) << "a posted record is handed back without its data count";
  EXPECT_EQ(link_post(&b), kLinkOk);
  EXPECT_EQ(link_post(&c), kLinkRefused);
  EXPECT_EQ(c.objectId, 0x3001u);
  EXPECT_EQ(Stat(0), 1);
  EXPECT_EQ(Status(2), 2);
}

TEST_F(ConverterTest, FramesCarryTypeIdAndDataOfEachCount) {
  const struct {
    Bytes data;
    Bytes wire;
  } cases[] = {
      {{}, MakeFrame(0x1234, {})},
      {{0x12}, MakeFrame(0x1234, {})},  // an odd count leaves its last byte behind
      {{0x12, 0x34}, MakeFrame(0x1234, {0x12, 0x34})},
      {{1, 2, 3}, MakeFrame(0x1234, {1, 2})},
      {{1, 2, 3, 4}, MakeFrame(0x1234, {1, 2, 3, 4})},
  };
  for (const auto& c : cases) {
    ObjectRequest r = Request(0x1234, c.data);
    ASSERT_EQ(link_post(&r), kLinkOk);
    EXPECT_EQ(TicksWithLine(4), c.wire);
    EXPECT_EQ(Status(2), 0) << "a request whose frame left is retired";
  }
}

TEST_F(ConverterTest, SendWithoutLineIsTriedFourTimesThenDropped) {
  ObjectRequest first = Request(0x1234);
  ObjectRequest second = Request(0x3003);
  ASSERT_EQ(link_post(&first), kLinkOk);
  ASSERT_EQ(link_post(&second), kLinkOk);
  int starts = 0;
  std::uint32_t lastFrame = 0;
  for (int tick = 0; tick < 1000 && Stat(1) == 0; ++tick) {
    ConverterTick();
    if (static_cast<std::uint32_t>(frameNumber) != lastFrame) {
      lastFrame = static_cast<std::uint32_t>(frameNumber);
      ++starts;
    }
  }
  EXPECT_EQ(starts, 4);
  EXPECT_EQ(Stat(1), 1);
  // The line comes back (opening an output empties the tx register): the next request goes out.
  linkMemory.txRegister = -1;
  EXPECT_EQ(TicksWithLine(40), MakeFrame(0x3003, {}));
}

TEST_F(ConverterTest, BackoffLengthFollowsIdAndTries) {
  const struct {
    std::uint32_t id;
    std::uint8_t tries;
    int steps;
  } cases[] = {{0x1234, 0, 5}, {0x1234, 1, 11}, {0x0000, 0, 1}, {0x000F, 0, 16}, {0x00F0, 3, 15}};
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

TEST_F(ConverterTest, RepliesAreFetchableOnlyAfterTheParityCheck) {
  FeedBytes(MakeFrame(0x3003, {0x12, 0x00}));
  ObjectRequest r = Request(0x3003);
  EXPECT_EQ(link_fetch(&r), 0) << "fresh slot";
  link_check_slots();
  EXPECT_EQ(link_fetch(&r), 0x3003);
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.data[0], 0x12);
  EXPECT_EQ(r.data[2], 0);
  EXPECT_EQ(link_fetch(&r), 0) << "taken once";

  Bytes badParity = MakeFrame(0x3003, {});
  badParity[2] ^= 0x01;
  badParity[3] = static_cast<std::uint8_t>(badParity[3] - 1);  // checksum still right
  FeedBytes(badParity);
  EXPECT_EQ(linkMemory.converter.badFrames, 0);
  link_check_slots();
  EXPECT_EQ(linkMemory.converter.badFrames, 1);
  EXPECT_EQ(Status(3), 0);
}

TEST_F(ConverterTest, SharedBlockRepliesStayForTheirLifetime) {
  const struct {
    std::uint32_t id;
    int fetches;
  } cases[] = {{0x0381, 20}, {0x0301, 1}, {0x03FF, 20}, {0x0380, 20}, {0x0400, 1}};
  for (const auto& c : cases) {
    SetUp();
    Reply(c.id, {1, 2});
    ObjectRequest r = Request(c.id);
    int found = 0;
    for (int step = 0; step < 25; ++step) {
      if (link_fetch(&r) == static_cast<int>(c.id)) ++found;
      link_timer(10);
    }
    EXPECT_EQ(found, c.fetches) << std::hex << c.id;
    EXPECT_EQ(Status(3), 0) << "slot free after its lifetime";
  }
}

TEST_F(ConverterTest, MaskIgnoresLowIdBits) {
  Reply(0x0C85, {});
  ObjectRequest exact = Request(0x0C80);
  EXPECT_EQ(link_fetch(&exact), 0);
  ObjectRequest masked = Request(0x0C80, {}, 0x0F);
  EXPECT_EQ(link_fetch(&masked), 0x0C85);
  Reply(0x0C95, {});
  EXPECT_EQ(link_fetch(&masked), 0) << "bit 4 is not masked";
}

TEST_F(ConverterTest, TimerStepsNeedTenMilliseconds) {
  Reply(0x3003, {});
  for (int i = 0; i < 4; ++i) link_timer(5);  // 2 steps
  link_timer(25);                             // 1 step: the excess is dropped
  EXPECT_EQ(linkMemory.converter.slotStatus[0] & 0x3F, 17);
}

TEST_F(ConverterTest, StalledReceptionTimesOutAndRecovers) {
  FeedBytes({0x56, 0x0E});
  int ticks = 0;
  while (Stat(4) == 0 && ticks < 100) {
    ConverterTick();
    ++ticks;
  }
  EXPECT_EQ(Stat(4), 1);
  EXPECT_EQ(ticks, 34);  // Idle -> Receiving, 32 steps, then the timeout is seen
  ConverterTick();
  EXPECT_EQ(linkMemory.driver.state, kDriverIdle);
  FeedBytes(MakeFrame(0x3003, {}));
  link_check_slots();
  ObjectRequest r = Request(0x3003);
  EXPECT_EQ(link_fetch(&r), 0x3003);
}

TEST_F(ConverterTest, UnknownStateIsReportedAndRestarted) {
  linkMemory.converter.state = 9;
  link_step();
  EXPECT_EQ(linkMemory.converter.state, kConvStart);
  EXPECT_EQ(link_last_error().errorClass, 3);
  EXPECT_EQ(link_last_error().code, 1);
  linkMemory.converter.state = kConvIdle;
  drv_clear();
  link_step();
  EXPECT_EQ(link_last_error().code, 20);
}

TEST_F(ConverterTest, CountersWrapAt255) {
  ObjectRequest r = Request(0x3003);
  link_post(&r);
  link_post(&r);
  for (int i = 0; i < 256; ++i) link_post(&r);
  EXPECT_EQ(Stat(0), 0);
}

}  // namespace
}  // namespace gelvar::testing
