// Where the trend's axes put their ticks and how the time axis labels them.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "gui/trend/trend_axes.h"
#include "scoped_zone.h"

namespace gelvar {
namespace {

// Central European time: a day of 25 hours on 2026-10-25.
constexpr char kZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";

// Local times in kZone for the duration of a test.
class InZone : public ::testing::Test {
 protected:
  // "2026-12-04 05:47:13" in local time.
  static double At(const char* text) {
    std::tm local{};
    strptime(text, "%Y-%m-%d %H:%M:%S", &local);
    local.tm_isdst = -1;
    return static_cast<double>(std::mktime(&local));
  }

 private:
  ScopedZone zone_{kZone};
};

struct ValueRow {
  const char* name;
  double low, high;
  int maxSteps;
  double tickLow, tickHigh, step;
  int decimals;
};

class RoundValueTicksTest : public ::testing::TestWithParam<ValueRow> {};

TEST_P(RoundValueTicksTest, WidenToTheSmallestRoundStepThatFits) {
  const ValueRow& row = GetParam();
  const ValueTicks ticks = RoundValueTicks(row.low, row.high, row.maxSteps);
  EXPECT_NEAR(ticks.low, row.tickLow, 1e-9);
  EXPECT_NEAR(ticks.high, row.tickHigh, 1e-9);
  EXPECT_NEAR(ticks.step, row.step, 1e-12);
  EXPECT_EQ(ticks.decimals, row.decimals);
}

INSTANTIATE_TEST_SUITE_P(Ranges, RoundValueTicksTest,
                         ::testing::Values(ValueRow{"Temperatures", -6.5, 10.5, 10, -8, 12, 2, 0},
                                           ValueRow{"Voltages", 11.95, 12.45, 5, 11.8, 12.6, 0.2, 1},
                                           ValueRow{"AlreadyRound", 0, 100, 5, 0, 100, 20, 0},
                                           ValueRow{"Hundredths", 0.01, 0.04, 4, 0.01, 0.04, 0.01, 2},
                                           ValueRow{"OneValue", 5, 5, 4, 4.5, 5.5, 0.5, 1},
                                           ValueRow{"BelowZero", -25.3, -24.1, 6, -25.5, -24, 0.5, 1},
                                           ValueRow{"RoomForOneStep", 0, 7, 1, 0, 10, 10, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct TicksRow {
  const char* name;
  const char* from;
  const char* to;
  double step;
  const char* ticks;  // local times
};

class TimeTicksTest : public InZone, public ::testing::WithParamInterface<TicksRow> {};

TEST_P(TimeTicksTest, FallOnRoundInstantsOfLocalTime) {
  const TicksRow& row = GetParam();
  std::string ticks;
  for (const double tick : TimeTicks(At(row.from), At(row.to), row.step)) {
    ticks += (ticks.empty() ? "" : ", ") + TimeLabel(tick, "%Y-%m-%d %H:%M:%S");
  }
  EXPECT_EQ(ticks, row.ticks);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, TimeTicksTest,
    ::testing::Values(TicksRow{"SixHours", "2026-12-04 05:47:13", "2026-12-05 11:00:00", 21600,
                               "2026-12-04 06:00:00, 2026-12-04 12:00:00, 2026-12-04 18:00:00, 2026-12-05 00:00:00, "
                               "2026-12-05 06:00:00"},
                      TicksRow{"TwoSecondsOverMidnight", "2026-12-04 23:59:55", "2026-12-05 00:00:02", 2,
                               "2026-12-04 23:59:56, 2026-12-04 23:59:58, 2026-12-05 00:00:00, 2026-12-05 00:00:02"},
                      TicksRow{"WeeksFromMonday", "2026-12-01 12:00:00", "2026-12-20 00:00:00", 604800,
                               "2026-12-07 00:00:00, 2026-12-14 00:00:00"},
                      TicksRow{"HalfHoursOverTheEndOfSummerTime", "2026-10-25 01:45:00", "2026-10-25 03:15:00", 1800,
                               "2026-10-25 02:00:00, 2026-10-25 02:30:00, 2026-10-25 02:00:00, 2026-10-25 02:30:00, "
                               "2026-10-25 03:00:00"},
                      TicksRow{"TwelveHoursOverTheEndOfSummerTime", "2026-10-24 22:00:00", "2026-10-26 02:00:00", 43200,
                               "2026-10-25 00:00:00, 2026-10-25 12:00:00, 2026-10-26 00:00:00"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FormatRow {
  const char* name;
  const char* from;
  const char* to;
  double step;
  const char* format;
  const char* label;  // the label of `from`
};

class TimeLabelTest : public InZone, public ::testing::WithParamInterface<FormatRow> {};

TEST_P(TimeLabelTest, IsIsoWithSecondsAndDateOnlyWhereTheRangeNeedsThem) {
  const FormatRow& row = GetParam();
  const char* format = TimeLabelFormat(At(row.from), At(row.to), row.step);
  EXPECT_STREQ(format, row.format);
  EXPECT_EQ(TimeLabel(At(row.from), format), row.label);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, TimeLabelTest,
    ::testing::Values(FormatRow{"Minutes", "2026-12-04 06:00:00", "2026-12-04 18:00:00", 600, "%H:%M", "06:00"},
                      FormatRow{"Seconds", "2026-12-04 06:00:30", "2026-12-04 06:05:00", 30, "%H:%M:%S", "06:00:30"},
                      FormatRow{"MinutesOverMidnight", "2026-12-04 06:00:00", "2026-12-05 11:00:00", 21600,
                                "%Y-%m-%d %H:%M", "2026-12-04 06:00"},
                      FormatRow{"SecondsOverMidnight", "2026-12-04 23:59:58", "2026-12-05 00:00:02", 2,
                                "%Y-%m-%d %H:%M:%S", "2026-12-04 23:59:58"},
                      FormatRow{"Days", "2026-12-01 00:00:00", "2026-12-08 00:00:00", 86400, "%Y-%m-%d", "2026-12-01"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace gelvar
