// The whole link path in virtual time: transaction, converter, driver, byte pump, simulated line and
// simulated unit, tick for tick.
#include <gtest/gtest.h>

#include <random>

#include "link/converter.h"
#include "link/driver.h"
#include "link/link_memory.h"
#include "link/transaction.h"
#include "support/virtual_link.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Outcome {
  int result = kPollBusy;
  ObjectRequest reply{};
  std::int64_t ms = 0;  // from Start; at 10 ms a tenth of it counts the ticks
};

// Polls the running transaction at every tick until it ends, as a window timer would.
Outcome Finish(VirtualLink& link, std::int64_t startMs) {
  Outcome out;
  link.RunUntil(
      [&] {
        out.result = linkTransaction.Poll(&out.reply, nullptr, nullptr, nullptr);
        return out.result != kPollBusy;
      },
      20000);
  out.ms = link.Scheduler().NowMs() - startMs;
  return out;
}

Outcome Transact(VirtualLink& link, std::uint32_t id, const ObjectRequest* request = nullptr) {
  const std::int64_t startMs = link.Scheduler().NowMs();
  EXPECT_EQ(linkTransaction.Start(id, request), 1);
  return Finish(link, startMs);
}

std::uint8_t Stat(int index) {
  std::uint8_t stats[5] = {};
  link_stats(0, stats);
  return stats[index];
}
constexpr int kSlotOverflows = 2;
constexpr int kBadFrames = 3;
constexpr int kAborted = 4;

TEST(LinkEndToEnd, EveryObjectReadReturnsTheUnitsDataInAFewTicks) {
  // Every object the monitor and the sensor test read.
  const std::uint32_t ids[] = {0x3003, 0x3000, 0x3001, 0x3002, 0x3008, 0x0C00, 0x0C01, 0x0C02, 0x0C03, 0x0C04,
                               0x0C05, 0x0C06, 0x0C07, 0x0C08, 0x0C0B, 0x0C0C, 0x0C80, 0x0C81, 0x0C82, 0x0C83,
                               0x0C84, 0x0C85, 0x0C86, 0x0C90, 0x0C91, 0x0C92, 0x0C93, 0x0C94, 0x0C95, 0x0C96,
                               0x0D00, 0x0D01, 0x0D04, 0x0D05, 0x0D06, 0x0D07, 0x0D08};
  VirtualLink link;
  for (const std::uint32_t id : ids) {
    const Outcome out = Transact(link, id);
    const Bytes expected = link.Unit().Object(id);
    ASSERT_EQ(out.result, static_cast<int>(expected.size())) << std::hex << id;
    EXPECT_EQ(Bytes(out.reply.data, out.reply.data + out.result), expected) << std::hex << id;
    // Step posts, build frames, step sends, the pump carries frame and reply, check slots, Step fetches.
    EXPECT_LE(out.ms, 50) << std::hex << id;
  }
  EXPECT_EQ(link.Unit().Requests().size(), std::size(ids)) << "one frame per read";
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Stat(i), 0) << "counter " << i;
}

TEST(LinkEndToEnd, SilentUnitFailsAfterEightWindows) {
  for (const std::int32_t period : {10, 50}) {
    VirtualLink link(period);
    link.Unit().Faults().silent = true;
    const Outcome out = Transact(link, 0x0C01);
    EXPECT_EQ(out.result, kPollFailed);
    EXPECT_EQ(link.Unit().Requests().size(), 8u) << "one request per reply window";
    EXPECT_NEAR(static_cast<double>(out.ms), 8 * (750 + period), 2 * period) << "period " << period;
  }
}

TEST(LinkEndToEnd, DamagedReplyIsCountedAndTheNextWindowRecovers) {
  using F = unitsim::UnitFaults;
  for (double F::*rate : {&F::badChecksumRate, &F::badParityRate}) {
    VirtualLink link;
    link.Unit().Faults().*rate = 1.0;
    ASSERT_EQ(linkTransaction.Start(0x3002, nullptr), 1);
    ASSERT_TRUE(link.RunUntil([] { return Stat(kBadFrames) == 1; }, 1000));
    link.Unit().Faults().*rate = 0.0;
    const Outcome out = Finish(link, 0);
    EXPECT_EQ(out.result, 4);
    EXPECT_LT(out.ms, 2 * 760) << "answered in the second window";
    EXPECT_EQ(Stat(kBadFrames), 1);
    EXPECT_EQ(link.Unit().Requests().size(), 2u);
  }
}

TEST(LinkEndToEnd, FrameCutHalfWayIsAbortedAndTheNextTransactionSucceeds) {
  VirtualLink link;
  link.Unit().Faults().cutFrameRate = 1.0;
  ASSERT_EQ(linkTransaction.Start(0x0C07, nullptr), 1);
  ASSERT_TRUE(link.RunUntil([] { return linkMemory.driver.state == kDriverReceiving; }, 1000));
  link.Unit().Faults().cutFrameRate = 0.0;
  const std::int64_t cutMs = link.Scheduler().NowMs();
  ASSERT_TRUE(link.RunUntil([] { return Stat(kAborted) == 1; }, 2000));
  const std::int64_t ticks = (link.Scheduler().NowMs() - cutMs) / 10;
  EXPECT_GE(ticks, 31);
  EXPECT_LE(ticks, 34);
  EXPECT_EQ(Finish(link, 0).result, 4) << "the repost after the window is answered";
  EXPECT_EQ(Transact(link, 0x0C07).result, 4);
}

// Replies that nobody fetches fill the three reply slots; the fourth is counted and thrown away, and
// the three stay as they came.
TEST(LinkEndToEnd, FourthReplyNobodyFetchesOverflowsTheSlots) {
  VirtualLink link;
  const std::uint32_t ids[] = {0x0C84, 0x0C94, 0x0C07, 0x3002};
  for (const std::uint32_t id : ids) {
    ObjectRequest request{};
    request.objectId = id;
    ASSERT_TRUE(link.RunUntil([&] { return link_post(&request) == kLinkOk; }, 1000));
  }
  ASSERT_TRUE(link.RunUntil([] { return Stat(kSlotOverflows) == 1; }, 1000));
  for (const std::uint32_t id : {ids[0], ids[1], ids[2]}) {
    ObjectRequest reply{};
    reply.objectId = id;
    EXPECT_EQ(link_fetch(&reply), static_cast<int>(id));
    EXPECT_EQ(Bytes(reply.data, reply.data + reply.count), link.Unit().Object(id)) << std::hex << id;
  }
}

// Garbage on the line: a few hundred thousand random bytes with ticks between them must leave the
// stack able to complete a normal transaction.
TEST(LinkEndToEnd, RandomBytesNeverBreakTheStack) {
  VirtualLink link;
  std::mt19937 random(20261206);
  long fed = 0;
  long badFrames = 0;  // every bad frame, counted from the 8-bit counter's steps
  while (fed < 300000) {
    const std::uint8_t counterBefore = Stat(kBadFrames);
    for (unsigned n = random() % 41; n > 0; --n, ++fed) {
      linkMemory.rxRegister = static_cast<int>(random() % 256);
      drv_rx_byte(0);
    }
    link.RunFor(10);
    badFrames += static_cast<std::uint8_t>(Stat(kBadFrames) - counterBefore);
  }
  EXPECT_GT(badFrames, 1000);
  EXPECT_EQ(Stat(kBadFrames), badFrames % 256) << "the counter wraps";
  link.RunFor(2000);
  EXPECT_EQ(Transact(link, 0x3003).result, 2);
}

}  // namespace
}  // namespace gelvar::testing
