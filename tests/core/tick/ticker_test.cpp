// The ticker that re-measures its period, and the host that lets timers of one period share a wake-up.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "core/tick/ticker.h"
#include "core/timing/coalesced_timer_host.h"
#include "support/link_fixture.h"
#include "support/virtual_scheduler.h"

namespace gelvar::testing {
namespace {

struct TickerTest : ::testing::Test {
  Link link;
  VirtualScheduler clock;
  Ticker ticker{link, clock};
};

TEST_F(TickerTest, StoppedTickerCountsNoTicks) {
  ticker.Start(10);
  ticker.Stop();
  clock.AdvanceBy(100);
  EXPECT_EQ(ticker.TickCount(), 0);
}

// clang-format off
// The timer's real period, how long the process stopped five seconds in; the period measured and when.
struct MeasureRow { const char* name; std::int64_t actualUs, frozenMs; std::int32_t period; std::int64_t atMs; };
// 1112 ticks of 9 ms end the interval at 10008 ms: 8.99 truncated. After a stop the interval starts
// afresh with the first tick, at 16000 ms. A gap of exactly one second is still a tick, not a stopped process.
const MeasureRow kMeasureRows[] = {
    {"SlowTicks", 15625, 0, 15, 10000},
    {"DivisionTruncates", 9000, 0, 8, 10008},
    {"NeverBelowOneMs", 500, 0, 1, 10000},
    {"TicksOneSecondApart", 1000000, 0, 1000, 10000},
    {"StoppedProcessStartsTheIntervalAfresh", 10000, 11000, 10, 26000},
};
// clang-format on

class Measurement : public TickerTest, public ::testing::WithParamInterface<MeasureRow> {
 protected:
  void SetUp() override {
    ticker.SetMeasurementObserver([&](std::int32_t period, std::int32_t) { told.emplace_back(period, clock.NowMs()); });
    ticker.Start(10);
    clock.SetActualPeriodUs(ticker.Timer(), GetParam().actualUs);
    clock.AdvanceBy(5000);
    clock.Freeze(GetParam().frozenMs);
    clock.RunUntil([&] { return !told.empty(); }, 30000);
  }
  std::vector<std::pair<std::int32_t, std::int64_t>> told;  // (period, when) per re-measurement
};

TEST_P(Measurement, Is10000MsOverTheTicksCounted) {
  EXPECT_EQ(told, (std::vector{std::pair(GetParam().period, GetParam().atMs)}));
  EXPECT_EQ(link.periods.tick, GetParam().period);
}

TEST_P(Measurement, LeavesTheWindowTimerPeriod) { EXPECT_EQ(link.periods.windowTimer, 10); }

INSTANTIATE_TEST_SUITE_P(Ticks, Measurement, ::testing::ValuesIn(kMeasureRows), kByName);

// Numbers its timers from 0, as a host may.
struct ZeroBasedScheduler : VirtualScheduler {
  TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) override {
    return VirtualScheduler::StartTimer(periodMs, std::move(onTimeout)) - 1;
  }
  void StopTimer(TimerId id) override { VirtualScheduler::StopTimer(id + 1); }
};

struct TimerHost : ::testing::Test {
  ZeroBasedScheduler scheduler;
  CoalescedTimerHost host{scheduler};
  int runs = 0;
};

// clang-format off
// The timer that does its deed at its first run, the timers it stops, whether it starts E (of 10 ms);
// each run with its virtual time, up to 23 ms.
struct CoalesceRow { const char* name; char actor; const char* stops; bool startsE; const char* log; };
const CoalesceRow kCoalesceRows[] = {
    {"Undisturbed", ' ', "", false, "A10 B10 C10 A20 B20 C20 D23 "},
    {"StopsItself", 'A', "A", false, "A10 B10 C10 B20 C20 D23 "},
    {"StopsALaterOne", 'A', "C", false, "A10 B10 A20 B20 D23 "},
    {"StopsThePeriodsAll", 'B', "ABC", false, "A10 B10 D23 "},
    {"StartsOneThatWaitsForTheNextTimeout", 'A', "", true, "A10 B10 C10 A20 B20 C20 E20 D23 "},
    {"StopsAllAndStartsOne", 'C', "ABC", true, "A10 B10 C10 E20 D23 "},
};
// clang-format on

class CoalescedTimers : public TimerHost, public ::testing::WithParamInterface<CoalesceRow> {};

// A at 0 ms, B and C at 3 ms (all 10 ms), D at 3 ms (20 ms).
TEST_P(CoalescedTimers, RunInOneWakeUpInStartOrder) {
  const CoalesceRow& row = GetParam();
  std::map<char, TimerId> timers;
  std::string log;
  std::function<void(char, std::int32_t)> start = [&](char name, std::int32_t periodMs) {
    timers[name] = host.StartTimer(periodMs, [&, name, acted = false]() mutable {
      log += name + std::to_string(scheduler.NowMs()) + " ";
      if (name != row.actor || std::exchange(acted, true)) return;
      for (const char* s = row.stops; *s != '\0'; ++s) host.StopTimer(timers[*s]);
      if (row.startsE) start('E', 10);
    });
  };
  start('A', 10);
  scheduler.AdvanceBy(3);
  for (const char name : {'B', 'C'}) start(name, 10);
  start('D', 20);
  scheduler.AdvanceBy(20);
  EXPECT_EQ(log, row.log);
}

INSTANTIATE_TEST_SUITE_P(Deeds, CoalescedTimers, ::testing::ValuesIn(kCoalesceRows), kByName);

TEST_F(TimerHost, RunsOneHostTimerPerPeriodWhileItHasTimers) {
  const TimerId first = host.StartTimer(10, [] {});
  host.StartTimer(10, [] {});
  host.StartTimer(-5, [] {});  // runs as a period of 0
  host.StartTimer(0, [] {});
  host.StopTimer(first);
  host.StopTimer(999);  // none such
  EXPECT_EQ(scheduler.RunningTimers(), 2u);
}

TEST_F(TimerHost, StopsTheHostTimerWithItsPeriodsLastTimer) {
  const TimerId timer = host.StartTimer(10, [] {});
  scheduler.AdvanceBy(10);
  host.StopTimer(timer);
  EXPECT_EQ(scheduler.RunningTimers(), 0u);
}

enum class Other { kAfter, kBefore, kBetween };
const char* const kOtherNames[] = {"OtherAfter", "OtherBefore", "OtherBetween"};
class StoppedTwice : public TimerHost, public ::testing::WithParamInterface<Other> {};

// Another timer of the period runs on while the first is stopped twice: started before the stops,
// between them (where the first was) or after them.
TEST_P(StoppedTwice, TimerLeavesTheHostUsable) {
  const TimerId timer = host.StartTimer(10, [] {});
  const auto startOther = [&](Other when) {
    if (GetParam() == when) host.StartTimer(10, [&] { ++runs; });
  };
  startOther(Other::kBefore);
  host.StopTimer(timer);
  startOther(Other::kBetween);
  host.StopTimer(timer);
  startOther(Other::kAfter);
  scheduler.AdvanceBy(10);
  EXPECT_EQ(runs, 1);
}
INSTANTIATE_TEST_SUITE_P(TimerHost, StoppedTwice, ::testing::Values(Other::kAfter, Other::kBefore, Other::kBetween),
                         [](const auto& info) { return kOtherNames[static_cast<int>(info.param)]; });

}  // namespace
}  // namespace gelvar::testing
