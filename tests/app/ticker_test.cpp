#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/ticker.h"
#include "link/test_support.h"
#include "support/virtual_scheduler.h"

namespace gelvar::testing {
namespace {

// Every ten calendar seconds the period becomes 10000 ms over the ticks counted, the tick that ends the
// interval included; the division truncates. The protocol window's timer keeps its period.
TEST(Ticker, PeriodIsRemeasuredEveryTenSeconds) {
  const struct {
    std::int64_t actualUs;  // the timer's real period, or 0: ticks by hand
    int ticksBefore;
    std::int32_t measured;
  } cases[] = {{10000, 0, 10}, {15625, 0, 15}, {9000, 0, 8}, {0, 639, 15}, {0, 0, 10000}};
  for (const auto& c : cases) {
    ResetLinkStateForTests();
    VirtualScheduler scheduler;
    Ticker ticker(scheduler);
    std::vector<std::pair<std::int32_t, std::int32_t>> told;  // (period, ticks) per re-measurement
    ticker.SetMeasurementObserver([&](std::int32_t period, std::int32_t ticks) { told.emplace_back(period, ticks); });
    ticker.Start(10);
    if (c.actualUs == 0) {
      ticker.Stop();
      for (int i = 0; i < c.ticksBefore; ++i) ticker.Tick();
      scheduler.AdvanceBy(10000);
      ticker.Tick();
    } else {
      scheduler.SetActualPeriodUs(ticker.Timer(), c.actualUs);
      scheduler.AdvanceBy(9999);
      EXPECT_EQ(tickPeriod, 10);
      EXPECT_TRUE(told.empty());
      scheduler.AdvanceBy(1 + c.actualUs / 1000 + 1);
    }
    EXPECT_EQ(tickPeriod, c.measured) << c.actualUs << " us, " << c.ticksBefore << " ticks";
    EXPECT_EQ(windowTimerPeriod, 10);
    ASSERT_EQ(told.size(), 1u) << c.actualUs << " us, " << c.ticksBefore << " ticks";
    EXPECT_EQ(told[0].first, c.measured);
    EXPECT_EQ(10000 / told[0].second, c.measured) << "the ticks that gave the period";
  }
  ResetLinkStateForTests();
}

}  // namespace
}  // namespace gelvar::testing
