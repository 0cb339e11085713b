// The whole link path in virtual time: transaction, converter, driver, byte pump, simulated line and
// simulated unit, tick for tick.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "link/link_memory.h"
#include "link/transaction.h"
#include "support/link_fixture.h"
#include "support/virtual_link.h"

namespace gelvar::testing {
namespace {

struct Outcome {
  int result = kPollBusy;
  ObjectRequest reply{};
  std::int64_t ms = 0;
  std::uint64_t ticks = 0;
};

// Starts one transaction and polls it at every tick until it ends, as a window timer would.
Outcome Transact(VirtualLink& link, std::uint32_t id, const ObjectRequest* request = nullptr,
                 std::int64_t limitMs = 20000) {
  Outcome out;
  const std::int64_t startMs = link.Scheduler().NowMs();
  const std::uint64_t startTicks = link.Scheduler().FiredCount(link.TickTimer());
  EXPECT_EQ(linkTransaction.Start(id, request), 1);
  link.RunUntil(
      [&] {
        out.result = linkTransaction.Poll(&out.reply, nullptr, nullptr, nullptr);
        return out.result != kPollBusy;
      },
      limitMs);
  out.ms = link.Scheduler().NowMs() - startMs;
  out.ticks = link.Scheduler().FiredCount(link.TickTimer()) - startTicks;
  return out;
}

std::uint8_t Stat(int index) {
  std::uint8_t stats[5] = {};
  link_stats(0, stats);
  return stats[index];
}

// Every object the monitor and the sensor test read, with the data count the unit answers.
const struct {
  std::uint32_t id;
  int count;
} kReadObjects[] = {
    {0x3000, 4}, {0x3001, 2}, {0x3002, 4}, {0x3003, 2}, {0x3008, 2}, {0x0C00, 4}, {0x0C01, 2},
    {0x0C02, 2}, {0x0C03, 2}, {0x0C04, 2}, {0x0C05, 2}, {0x0C06, 2}, {0x0C07, 4}, {0x0C08, 4},
    {0x0C0B, 2}, {0x0C0C, 2}, {0x0C80, 4}, {0x0C81, 2}, {0x0C82, 2}, {0x0C83, 2}, {0x0C84, 4},
    {0x0C85, 4}, {0x0C86, 4}, {0x0C90, 4}, {0x0C91, 2}, {0x0C92, 2}, {0x0C93, 2}, {0x0C94, 4},
    {0x0C95, 4}, {0x0C96, 4}, {0x0D00, 4}, {0x0D01, 2}, {0x0D04, 4}, {0x0D05, 4}, {0x0D06, 2},
    {0x0D07, 2}, {0x0D08, 2},
};

TEST(LinkEndToEnd, EveryObjectReadReturnsTheUnitsData) {
  VirtualLink link;
  for (const auto& object : kReadObjects) {
    const Outcome out = Transact(link, object.id);
    ASSERT_EQ(out.result, object.count) << std::hex << object.id;
    const std::vector<std::uint8_t> expected = link.Unit().Object(object.id);
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(object.count)) << std::hex << object.id;
    for (int i = 0; i < object.count; ++i) EXPECT_EQ(out.reply.data[i], expected[i]) << std::hex << object.id;
  }
  EXPECT_EQ(link.Unit().Requests().size(), std::size(kReadObjects)) << "one frame per read";
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Stat(i), 0) << "counter " << i;
}

TEST(LinkEndToEnd, ImmediateReplyTakesAFewTicks) {
  VirtualLink link;
  const Outcome out = Transact(link, 0x3003);
  ASSERT_EQ(out.result, 2);
  // Step posts, build frames, step sends, the pump carries frame and reply, check slots, Step fetches.
  EXPECT_LE(out.ticks, 5u);
  std::cout << "[ figure ] ticks from Start to a successful Poll at 10 ms: " << out.ticks << " (" << out.ms
            << " ms virtual)\n";
}

TEST(LinkEndToEnd, SilentUnitFailsAfterEightWindows) {
  for (std::int32_t period : {10, 50}) {
    VirtualLink link(period);
    link.Unit().Faults().silent = true;
    const Outcome out = Transact(link, 0x0C01);
    EXPECT_EQ(out.result, kPollFailed);
    EXPECT_EQ(link.Unit().Requests().size(), 8u) << "one request per reply window";
    EXPECT_NEAR(static_cast<double>(out.ms), 8 * (750 + period), 2 * period) << "period " << period;
  }
}

TEST(LinkEndToEnd, DamagedReplyIsCountedAndTheNextWindowRecovers) {
  const struct {
    const char* what;
    double unitsim::UnitFaults::*rate;
  } cases[] = {{"checksum", &unitsim::UnitFaults::badChecksumRate}, {"parity", &unitsim::UnitFaults::badParityRate}};
  for (const auto& c : cases) {
    VirtualLink link;
    link.Unit().Faults().*c.rate = 1.0;
    ASSERT_EQ(linkTransaction.Start(0x3002, nullptr), 1);
    link.RunUntil([&] { return Stat(3) == 1; }, 1000);
    link.Unit().Faults().*c.rate = 0.0;
    ObjectRequest reply{};
    int cycles = 0;
    int result = kPollBusy;
    link.RunUntil(
        [&] {
          int tries = 0, ms = 0, seen = 0;
          result = linkTransaction.Poll(&reply, &tries, &seen, &ms);
          if (result == kPollBusy) cycles = seen;
          return result != kPollBusy;
        },
        5000);
    EXPECT_EQ(result, 4) << c.what;
    EXPECT_EQ(cycles, 1) << c.what;
    EXPECT_EQ(Stat(3), 1) << c.what;
    EXPECT_EQ(link.Unit().Requests().size(), 2u) << c.what;
  }
}

TEST(LinkEndToEnd, NoiseBetweenFramesDoesNotDisturbThem) {
  VirtualLink link;
  link.Unit().Faults().noiseRate = 1.0;
  link.Unit().Faults().noiseBurstLength = 20;
  for (int i = 0; i < 20; ++i) {
    const Outcome out = Transact(link, 0x0C84);
    ASSERT_EQ(out.result, 4);
  }
  EXPECT_EQ(link.Unit().Requests().size(), 20u);
  EXPECT_EQ(Stat(3), 0);
}

TEST(LinkEndToEnd, FrameCutHalfWayIsAbortedAndTheNextTransactionSucceeds) {
  VirtualLink link;
  link.Unit().Faults().cutFrameRate = 1.0;
  ASSERT_EQ(linkTransaction.Start(0x0C07, nullptr), 1);
  link.RunUntil([] { return linkMemory.driver.state == kDriverReceiving; }, 1000);
  link.Unit().Faults().cutFrameRate = 0.0;
  const std::uint64_t cutAt = link.Scheduler().FiredCount(link.TickTimer());
  link.RunUntil([] { return Stat(4) == 1; }, 2000);
  const std::uint64_t abortedAfter = link.Scheduler().FiredCount(link.TickTimer()) - cutAt;
  EXPECT_GE(abortedAfter, 32u);
  EXPECT_LE(abortedAfter, 35u);
  ObjectRequest reply{};
  int result = kPollBusy;
  link.RunUntil(
      [&] {
        result = linkTransaction.Poll(&reply, nullptr, nullptr, nullptr);
        return result != kPollBusy;
      },
      8000);
  EXPECT_EQ(result, 4) << "the repost after the window is answered";
  EXPECT_EQ(Transact(link, 0x0C07).result, 4);
}

TEST(LinkEndToEnd, RepostedCommandCarriesItsData) {
  VirtualLink link;
  link.Unit().Faults().dropFirstRequests = 2;
  ObjectRequest request{};
  request.count = 2;
  request.data[0] = 1;
  const Outcome out = Transact(link, 0x0C09, &request);
  ASSERT_EQ(out.result, 2);
  const auto& seen = link.Unit().Requests();
  ASSERT_EQ(seen.size(), 3u);
  for (const auto& r : seen) EXPECT_EQ(r.data, (std::vector<std::uint8_t>{1, 0})) << r.atMs;
}

// Garbage on the line: a few hundred thousand random bytes with ticks between them must leave the
// stack able to complete a normal transaction.
TEST(LinkEndToEnd, RandomBytesNeverBreakTheStack) {
  VirtualLink link;
  std::mt19937 random(20261206);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> burst(0, 40);
  const auto started = std::chrono::steady_clock::now();
  long fed = 0;
  long badFrames = 0;  // every bad frame, counted from the 8-bit counter's steps
  std::uint8_t lastCounter = Stat(3);
  while (fed < 300000) {
    const int n = burst(random);
    for (int i = 0; i < n; ++i) {
      linkMemory.rxRegister = byte(random);
      drv_rx_byte(0);
    }
    fed += n;
    link.RunFor(10);
    badFrames += static_cast<std::uint8_t>(Stat(3) - lastCounter);
    lastCounter = Stat(3);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << "[ figure ] " << fed << " random bytes with ticks between in " << seconds << " s\n";
  EXPECT_GT(badFrames, 1000);
  EXPECT_EQ(Stat(3), badFrames % 256) << "the counter wraps";
  link.RunFor(2000);
  const Outcome out = Transact(link, 0x3003);
  EXPECT_EQ(out.result, 2);
}

}  // namespace
}  // namespace gelvar::testing
