#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "link/test_support.h"
#include "support/virtual_scheduler.h"
#include "tick/ticker.h"

namespace gelvar::testing {
namespace {

// Every ten seconds of the monotonic clock the period becomes 10000 ms over the ticks counted, the tick
// that ends the interval included; the division truncates, but not below 1 ms. A tick more than a
// second after the one before starts the interval afresh. The protocol window's timer keeps its period.
TEST(Ticker, PeriodIsRemeasuredEveryTenSeconds) {
  const struct {
    std::int64_t actualUs;  // the timer's real period
    std::int64_t frozenMs;  // the process stopped this long, five seconds after the start
    std::int32_t measured;
    std::int64_t atMs;
  } cases[] = {{10000, 0, 10, 10000},     {15625, 0, 15, 10000}, {9000, 0, 8, 10008},
               {1000000, 0, 1000, 10000}, {500, 0, 1, 10000},    {10000, 11000, 10, 26000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.actualUs) + " us, frozen " + std::to_string(c.frozenMs) + " ms");
    ResetLinkStateForTests();
    VirtualScheduler scheduler;
    Ticker ticker(scheduler);
    std::vector<std::pair<std::int32_t, std::int64_t>> told;  // (period, when) per re-measurement
    ticker.SetMeasurementObserver(
        [&](std::int32_t period, std::int32_t) { told.emplace_back(period, scheduler.NowMs()); });
    ticker.Start(10);
    scheduler.SetActualPeriodUs(ticker.Timer(), c.actualUs);
    if (c.frozenMs > 0) {
      scheduler.AdvanceBy(5000);
      scheduler.Freeze(c.frozenMs);
    }
    scheduler.RunUntil([&] { return !told.empty(); }, 30000);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], std::make_pair(c.measured, c.atMs));
    EXPECT_EQ(tickPeriod, c.measured);
    EXPECT_EQ(windowTimerPeriod, 10);
  }
  ResetLinkStateForTests();
}

}  // namespace
}  // namespace gelvar::testing
