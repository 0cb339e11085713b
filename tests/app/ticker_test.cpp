#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/ticker.h"
#include "link/link_memory.h"
#include "link/test_support.h"
#include "support/virtual_scheduler.h"

namespace gelvar::testing {
namespace {

class TickerTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLinkStateForTests(); }
  VirtualScheduler scheduler;
  Ticker ticker{scheduler};
};

TEST_F(TickerTest, PeriodIsRemeasuredEveryTenSeconds) {
  // Real tick length (us) -> the period measured after the first ten seconds; the division by the
  // ticks counted truncates, so a fractional real period reads low.
  const struct {
    std::int64_t actualUs;
    std::int32_t measured;
  } cases[] = {{10000, 10}, {15625, 15}, {16000, 16}, {50000, 50}, {9000, 8}, {20000, 20}};
  for (const auto& c : cases) {
    VirtualScheduler host;
    Ticker t(host);
    std::vector<std::pair<std::int32_t, std::int32_t>> told;  // (period, ticks) per re-measurement
    t.SetMeasurementObserver([&](std::int32_t period, std::int32_t ticks) { told.emplace_back(period, ticks); });
    t.Start(10);
    host.SetActualPeriodUs(t.Timer(), c.actualUs);
    host.AdvanceBy(9999);
    EXPECT_EQ(tickPeriod, 10);
    EXPECT_TRUE(told.empty());
    host.AdvanceBy(1 + c.actualUs / 1000 + 1);
    EXPECT_EQ(tickPeriod, c.measured) << c.actualUs;
    EXPECT_EQ(windowTimerPeriod, 10);
    ASSERT_EQ(told.size(), 1u) << c.actualUs;
    EXPECT_EQ(told[0].first, c.measured);
    EXPECT_EQ(10000 / told[0].second, c.measured) << "the ticks that gave the period";
  }
}

TEST_F(TickerTest, SixHundredFortyTicksInTenSecondsGiveFifteen) {
  ticker.Start(10);
  ticker.Stop();
  for (int i = 0; i < 639; ++i) ticker.Tick();
  scheduler.AdvanceBy(10000);
  ticker.Tick();
  EXPECT_EQ(tickPeriod, 15);
  EXPECT_EQ(ticker.TickCount(), 0);
}

TEST_F(TickerTest, HeldThreadMakesTheNextPeriodTooLong) {
  ticker.Start(10);
  ticker.Stop();
  scheduler.AdvanceBy(10000);
  for (int i = 0; i < 100; ++i) ticker.Tick();
  // The first tick after ten seconds ends the interval with one tick counted.
  EXPECT_EQ(tickPeriod, 10000);
}

TEST_F(TickerTest, EachTickRunsTheLink) {
  StartLink();
  ticker.Start(10);
  scheduler.AdvanceBy(10);
  EXPECT_EQ(linkMemory.converter.state, 1) << "converter left Start at the first tick";
}

}  // namespace
}  // namespace gelvar::testing
