// The trend: where its axes put their ticks and how they label them, and its window as the user sees
// it. Local time is Central European for the whole test program (set in main, app_test.cpp).
#include <gtest/gtest.h>

#include <QtCharts/QChartView>
#include <QtTest>
#include <QtWidgets>
#include <cmath>
#include <ctime>
#include <functional>

#include "gui/trend/trend_axes.h"
#include "gui/trend/trend_window.h"
#include "gui/ui/widget_support.h"
#include "support/row_name.h"

namespace gelvar {
namespace {

using Axis = std::function<std::string()>;

// A value axis for at most maxSteps steps from low to high.
Axis Values(double low, double high, int maxSteps) {
  return [=] {
    const ValueTicks ticks = RoundValueTicks(low, high, maxSteps);
    return QString::asprintf("%g to %g by %g, %d decimals", ticks.low, ticks.high, ticks.step, ticks.decimals)
        .toStdString();
  };
}

// The labels of a time axis from `from` to `to`, local times in 2026, in steps of `step` seconds.
Axis Times(const char* from, const char* to, double step) {
  return [=] {
    const auto at = [](const char* text) {
      std::tm local{};
      strptime(("2026-" + std::string(text)).c_str(), "%Y-%m-%d %H:%M:%S", &local);
      local.tm_isdst = -1;
      return static_cast<double>(std::mktime(&local));
    };
    const char* format = TimeLabelFormat(at(from), at(to), step);
    std::string labels;
    for (const double tick : TimeTicks(at(from), at(to), step)) labels += TimeLabel(tick, format) + ", ";
    return labels;
  };
}

struct AxisRow {
  const char* name;
  Axis axis;
  const char* ticks;
};

class AxisTest : public ::testing::TestWithParam<AxisRow> {};

// Round values; round instants of local time, labelled with seconds and the date only where needed.
TEST_P(AxisTest, TicksAndLabels) { EXPECT_EQ(GetParam().axis(), GetParam().ticks); }

// clang-format off
INSTANTIATE_TEST_SUITE_P(Ranges, AxisTest, ::testing::Values(
    AxisRow{"Temperatures", Values(-6.5, 10.5, 10), "-8 to 12 by 2, 0 decimals"},
    AxisRow{"Voltages", Values(11.95, 12.45, 5), "11.8 to 12.6 by 0.2, 1 decimals"},
    AxisRow{"AlreadyRound", Values(0, 100, 5), "0 to 100 by 20, 0 decimals"},
    AxisRow{"Hundredths", Values(0.01, 0.04, 4), "0.01 to 0.04 by 0.01, 2 decimals"},
    AxisRow{"OneValue", Values(5, 5, 4), "4.5 to 5.5 by 0.5, 1 decimals"},
    AxisRow{"BelowZero", Values(-25.3, -24.1, 6), "-25.5 to -24 by 0.5, 1 decimals"},
    AxisRow{"RoomForOneStep", Values(0, 7, 1), "0 to 10 by 10, 0 decimals"},
    AxisRow{"TenMinutes", Times("12-04 05:57:13", "12-04 06:30:00", 600), "06:00, 06:10, 06:20, 06:30, "},
    AxisRow{"HalfMinutes", Times("12-04 06:00:30", "12-04 06:01:30", 30), "06:00:30, 06:01:00, 06:01:30, "},
    AxisRow{"SixHoursOverMidnight", Times("12-04 05:47:13", "12-05 11:00:00", 21600),
            "2026-12-04 06:00, 2026-12-04 12:00, 2026-12-04 18:00, 2026-12-05 00:00, 2026-12-05 06:00, "},
    AxisRow{"TwoSecondsOverMidnight", Times("12-04 23:59:55", "12-05 00:00:02", 2),
            "2026-12-04 23:59:56, 2026-12-04 23:59:58, 2026-12-05 00:00:00, 2026-12-05 00:00:02, "},
    AxisRow{"Days", Times("12-01 00:00:00", "12-03 00:00:00", 86400), "2026-12-01, 2026-12-02, 2026-12-03, "},
    AxisRow{"WeeksFromMonday", Times("12-01 12:00:00", "12-20 00:00:00", 604800), "2026-12-07, 2026-12-14, "},
    AxisRow{"HalfHoursOverTheEndOfSummerTime", Times("10-25 01:45:00", "10-25 03:15:00", 1800),
            "02:00, 02:30, 02:00, 02:30, 03:00, "},
    AxisRow{"TwelveHoursOverTheEndOfSummerTime", Times("10-24 22:00:00", "10-26 02:00:00", 43200),
            "2026-10-25 00:00, 2026-10-25 12:00, 2026-10-26 00:00, "}), testing::kByName);
// clang-format on

constexpr double kStart = 1796342400;  // 2026-12-04 00:00:00 UTC

// A day of passes, one a minute: temperatures from -20 to 30, moisture, voltages and the relay.
TrendData Day() {
  TrendData day;
  for (int minute = 0; minute < 1440; ++minute) {
    const auto t = static_cast<float>(25 * std::sin(minute / 300.0) + 5);
    day.Append(kStart + 43200 + minute * 60.0,
               {t, t - 1, t + 1, t - 2, t + 2, t - 3, 40, 45, 12.25f, 12.5f, static_cast<float>(minute / 60 % 2)});
  }
  return day;
}

class TrendWindowTest : public ::testing::Test {
 protected:
  void Show(TrendData data, QSize size = {1000, 600}) {
    window.Plot(std::move(data), QStringLiteral("test.log"));
    window.resize(size);
    window.show();
    QApplication::processEvents();
  }

  TrendWindow window{QStringLiteral("Trend")};
};

// One time axis for all charts: a time stands at the same x in each of them, in a small window too.
TEST_F(TrendWindowTest, PlotAreasShareTheirLeftAndRightEdgesToThePixel) {
  Show(Day(), {760, 560});
  QList<std::pair<long, long>> edges;  // of each chart's plot area in the window
  for (const QChartView* view : window.findChildren<QChartView*>()) {
    const QRectF area = view->chart()->plotArea().translated(view->mapTo(&window, QPoint()));
    edges << std::pair{std::lround(area.left()), std::lround(area.right())};
  }
  ASSERT_EQ(edges.size(), 3);
  EXPECT_GT(edges[0].second - edges[0].first, 380);
  EXPECT_EQ(edges, decltype(edges)(3, edges[0]));
}

TEST_F(TrendWindowTest, DrawsAPassWithNoNeighbourAsAMark) {
  TrendData data;  // the first minute of a logging run
  data.Append(kStart, {2.5f, 2, 3, 4, 5, 6, 40, 41, 12.25f, 12.5f, 1});
  Show(std::move(data));
  EXPECT_EQ(window.ShownMarks(kTrendSlabTemp) + window.ShownMarks(kTrendHeatingRelay), 2u);
}

TEST_F(TrendWindowTest, CursorReadsThePassNearestTheMouseForEverySeriesTicked) {
  TrendData data;
  data.Append(kStart + 21600, {1.25f, 2, 3, 4, 5, 6, 40, 41, 12.25f, 12.5f, 0});
  data.Append(kStart + 21660, {-3.5f, NAN, 3, 4, 5, 6, 42, 43, 12.31f, 12.5f, 1});  // the outdoor sensor not read
  Show(std::move(data));
  for (const int series : {kTrendS1SenTemp, kTrendS1AmbTemp, kTrendS2SenTemp, kTrendS2AmbTemp, kTrendS2Moisture}) {
    FindControl<QCheckBox>(&window, TrendSeriesBox(series))->click();
  }
  window.ShowCursor(kStart + 21640);
  EXPECT_EQ((QStringList{window.CursorReadout(0), window.CursorReadout(1), window.CursorReadout(2)}.join(u'|')),
            u"2026-12-04 07:01:00\nSlab/Gutt. Temp.: -3.5 °C\nOutdoor Temp.: not read|"
            u"Last Moisture 1: 42\nInternal Voltage 1: 12.31 V\nInternal Voltage 2: 12.50 V|Heating Relay: On"_qs);
}

// A 1366 x 768 laptop screen less a panel and a title bar.
TEST_F(TrendWindowTest, FitsALaptopScreen) {
  window.Plot(Day(), QStringLiteral("test.log"));
  window.show();
  const QSize needed = window.size().expandedTo(window.minimumSizeHint());
  EXPECT_TRUE(needed.width() <= 1366 && needed.height() <= 706) << needed.width() << " x " << needed.height();
}

TEST_F(TrendWindowTest, ClosesOnEscape) {
  Show(Day());
  QTest::keyClick(FindControl<QCheckBox>(&window, TrendSeriesBox(kTrendSlabTemp)), Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace gelvar
