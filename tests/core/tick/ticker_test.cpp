// The ticker that re-measures its period, and the host that lets timers of one period share a wake-up.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/link/link.h"
#include "core/tick/ticker.h"
#include "core/timing/coalesced_timer_host.h"
#include "support/virtual_scheduler.h"

namespace gelvar::testing {
namespace {

// Every ten seconds of the monotonic clock the period becomes 10000 ms over the ticks counted, the tick
// that ends the interval included; the division truncates, but not below 1 ms. A tick more than a
// second after the one before starts the interval afresh. The protocol window's timer keeps its period.
TEST(Ticker, PeriodIsRemeasuredEveryTenSeconds) {
  // The timer's real period, a stop of the process five seconds in, the period measured and when.
  const std::tuple<std::int64_t, std::int64_t, std::int32_t, std::int64_t> cases[] = {
      {10000, 0, 10, 10000},     {15625, 0, 15, 10000}, {9000, 0, 8, 10008},
      {1000000, 0, 1000, 10000}, {500, 0, 1, 10000},    {10000, 11000, 10, 26000}};
  for (const auto& [actualUs, frozenMs, measured, atMs] : cases) {
    SCOPED_TRACE(std::to_string(actualUs) + " us, frozen " + std::to_string(frozenMs) + " ms");
    Link link;
    VirtualScheduler scheduler;
    Ticker ticker(link, scheduler);
    std::vector<std::pair<std::int32_t, std::int64_t>> told;  // (period, when) per re-measurement
    ticker.SetMeasurementObserver(
        [&](std::int32_t period, std::int32_t) { told.emplace_back(period, scheduler.NowMs()); });
    ticker.Start(10);
    scheduler.SetActualPeriodUs(ticker.Timer(), actualUs);
    scheduler.AdvanceBy(5000);
    scheduler.Freeze(frozenMs);
    scheduler.RunUntil([&] { return !told.empty(); }, 30000);
    EXPECT_EQ(told, (std::vector{std::pair(measured, atMs)}));
    EXPECT_EQ(std::pair(link.periods.tick, link.periods.windowTimer), std::pair(measured, 10));
  }
}

// Timers of one period run together, in the order they were started, whatever a callback stops or
// starts meanwhile: A at 0 ms, B and C at 3 ms (all 10 ms), D at 3 ms (20 ms); the actor does its
// deed at its first run, and the log names each run with its virtual time up to 23 ms.
TEST(CoalescedTimerHost, EqualPeriodsRunInOneWakeUpInStartOrder) {
  // Who acts, the timers it stops, whether it starts E, and the log.
  const std::tuple<char, const char*, bool, const char*> cases[] = {
      {' ', "", false, "A10 B10 C10 A20 B20 C20 D23 "},    {'A', "A", false, "A10 B10 C10 B20 C20 D23 "},
      {'A', "C", false, "A10 B10 A20 B20 D23 "},           {'B', "ABC", false, "A10 B10 D23 "},
      {'A', "", true, "A10 B10 C10 A20 B20 C20 E20 D23 "}, {'C', "ABC", true, "A10 B10 C10 E20 D23 "},
  };
  for (const auto& [actor, stops, startsE, expected] : cases) {
    SCOPED_TRACE(std::string(1, actor) + " stops '" + stops + "'" + (startsE ? ", starts E" : ""));
    VirtualScheduler scheduler;
    CoalescedTimerHost host(scheduler);
    std::map<char, TimerId> timers;
    std::string log;
    std::function<void(char, std::int32_t)> start = [&](char name, std::int32_t periodMs) {
      timers[name] = host.StartTimer(periodMs, [&, name, acted = false]() mutable {
        log += name + std::to_string(scheduler.NowMs()) + " ";
        if (name != actor || std::exchange(acted, true)) return;
        for (const char* s = stops; *s != '\0'; ++s) host.StopTimer(timers[*s]);
        if (startsE) start('E', 10);
      });
    };
    start('A', 10);
    scheduler.AdvanceBy(3);
    start('B', 10);
    start('C', 10);
    start('D', 20);
    scheduler.AdvanceBy(20);
    EXPECT_EQ(log, expected);
  }
}

}  // namespace
}  // namespace gelvar::testing
