#include <gtest/gtest.h>

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
      scheduler.AdvanceBy(1 + c.actualUs / 1000 + 1);
    }
    EXPECT_EQ(tickPeriod, c.measured) << c.actualUs << " us, " << c.ticksBefore << " ticks";
    EXPECT_EQ(windowTimerPeriod, 10);
  }
  ResetLinkStateForTests();
}

}  // namespace
}  // namespace gelvar::testing
