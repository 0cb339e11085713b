#include "timing/coalesced_timer_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <utility>

#include "support/virtual_scheduler.h"

namespace gelvar::testing {
namespace {

// Timers of one period run together, in the order they were started, whatever a callback stops or
// starts meanwhile: A at 0 ms, B and C at 3 ms (all 10 ms), D at 3 ms (20 ms); the actor does its
// deed at its first run, and the log names each run with its virtual time up to 23 ms.
TEST(CoalescedTimerHost, EqualPeriodsRunInOneWakeUpInStartOrder) {
  using Timers = std::map<char, TimerId>;
  const struct {
    char actor;
    const char* stops;
    bool startsE;
    const char* log;
  } cases[] = {
      {' ', "", false, "A10 B10 C10 A20 B20 C20 D23 "},    {'A', "A", false, "A10 B10 C10 B20 C20 D23 "},
      {'A', "C", false, "A10 B10 A20 B20 D23 "},           {'B', "ABC", false, "A10 B10 D23 "},
      {'A', "", true, "A10 B10 C10 A20 B20 C20 E20 D23 "}, {'C', "ABC", true, "A10 B10 C10 E20 D23 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.actor) + " stops '" + c.stops + "'" + (c.startsE ? ", starts E" : ""));
    VirtualScheduler scheduler;
    CoalescedTimerHost host(scheduler);
    Timers timers;
    std::string log;
    std::function<void(char, std::int32_t)> start = [&](char name, std::int32_t periodMs) {
      timers[name] = host.StartTimer(periodMs, [&, name, acted = false]() mutable {
        log += name + std::to_string(scheduler.NowMs()) + " ";
        if (name != c.actor || std::exchange(acted, true)) return;
        for (const char* s = c.stops; *s != '\0'; ++s) host.StopTimer(timers[*s]);
        if (c.startsE) start('E', 10);
      });
    };
    start('A', 10);
    scheduler.AdvanceBy(3);
    start('B', 10);
    start('C', 10);
    start('D', 20);
    scheduler.AdvanceBy(20);
    EXPECT_EQ(log, c.log);
  }
}

}  // namespace
}  // namespace gelvar::testing
