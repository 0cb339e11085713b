// The trend window as the user sees it: charts that share one time axis to the pixel, a pass with
// no neighbour still shown, the cursor's readout, the size and the Escape key.
#include <gtest/gtest.h>

#include <QtCharts/QChartView>
#include <QtTest>
#include <QtWidgets>
#include <cmath>
#include <string>

#include "core/monitor/variable_log.h"
#include "core/trend/log_reader.h"
#include "gui/trend/trend_window.h"
#include "gui/ui/widget_support.h"
#include "scoped_zone.h"

namespace gelvar {
namespace {

constexpr double kStart = 1796342400;  // 2026-12-04 00:00:00 UTC

// Temperatures from -20 to 30, moisture, voltages and the relay, one pass a minute.
TrendValues Pass(int minute) {
  const auto t = static_cast<float>(25 * std::sin(minute / 300.0) + 5);
  return {t, t - 1, t + 1, t - 2, t + 2, t - 3, 40, 45, 12.25f, 12.5f, static_cast<float>(minute / 60 % 2)};
}

TrendData Day() {
  TrendData data;
  for (int minute = 0; minute < 1440; ++minute) data.Append(kStart + 43200 + minute * 60.0, Pass(minute));
  return data;
}

void Show(TrendWindow& window, QSize size) {
  window.resize(size);
  window.show();
  QApplication::processEvents();
}

struct SizeRow {
  const char* name;
  QSize size;
};

class TrendWindowSizes : public ::testing::TestWithParam<SizeRow> {};

// One time axis for all charts: a time stands at the same x in each of them.
TEST_P(TrendWindowSizes, PlotAreasShareTheirLeftAndRightEdgesToThePixel) {
  TrendWindow window(QStringLiteral("Trend"));
  window.Plot(Day(), QStringLiteral("day.log"));
  Show(window, GetParam().size);
  const QList<QChartView*> views = window.findChildren<QChartView*>();
  ASSERT_EQ(views.size(), 3);
  const auto edges = [&](const QChartView* view) {
    const QRectF area = view->chart()->plotArea();
    const int x = view->mapTo(&window, QPoint()).x();
    return std::pair{std::lround(x + area.left()), std::lround(x + area.right())};
  };
  EXPECT_GT(views[0]->chart()->plotArea().width(), GetParam().size.width() / 2);
  EXPECT_EQ(edges(views[1]), edges(views[0]));
  EXPECT_EQ(edges(views[2]), edges(views[0]));
}

INSTANTIATE_TEST_SUITE_P(Sizes, TrendWindowSizes,
                         ::testing::Values(SizeRow{"Laptop", QSize(1280, 680)}, SizeRow{"Small", QSize(760, 560)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TrendWindow, DrawsAPassWithNoNeighbourAsAMark) {
  // The first minutes of a logging run.
  VariableSnapshot values;
  values.HtgSlGuTemp = 2.5f;
  values.HtgOffOn = 1;
  TrendData data;
  ASSERT_TRUE(ReadLog(LogHeader(1796630400, 0) + LogRecord(1, 1796630400, values), data).ok);
  TrendWindow window(QStringLiteral("Trend"));
  window.Plot(std::move(data), QStringLiteral("one.log"));
  Show(window, QSize(1000, 600));
  EXPECT_EQ(window.ShownMarks(kTrendSlabTemp), 1u);
  EXPECT_EQ(window.ShownMarks(kTrendHeatingRelay), 1u);
}

// Readouts written in UTC.
class TrendCursor : public ::testing::Test {
  ScopedZone utc_{"UTC0"};
};

TEST_F(TrendCursor, ReadsThePassNearestTheMouseForEverySeriesTicked) {
  TrendData data;
  const float gap = NAN;
  data.Append(kStart + 21600, {1.25f, 2, 3, 4, 5, 6, 40, 41, 12.25f, 12.5f, 0});
  data.Append(kStart + 21660, {-3.5f, gap, 3, 4, 5, 6, 42, 43, 12.31f, 12.5f, 1});
  TrendWindow window(QStringLiteral("Trend"));
  window.Plot(std::move(data), QStringLiteral("two.log"));
  Show(window, QSize(1000, 600));
  for (const int series : {kTrendS1SenTemp, kTrendS1AmbTemp, kTrendS2SenTemp, kTrendS2AmbTemp, kTrendS2Moisture}) {
    FindControl<QCheckBox>(&window, TrendSeriesBox(series))->click();
  }
  window.ShowCursor(kStart + 21640);
  EXPECT_EQ(window.CursorReadout(0).toStdString(),
            "2026-12-04 06:01:00\nSlab/Gutt. Temp.: -3.5 °C\nOutdoor Temp.: not read");
  EXPECT_EQ(window.CursorReadout(1).toStdString(),
            "Last Moisture 1: 42\nInternal Voltage 1: 12.31 V\nInternal Voltage 2: 12.50 V");
  EXPECT_EQ(window.CursorReadout(2).toStdString(), "Heating Relay: On");
}

// A 1366 x 768 laptop screen less a panel and a title bar.
TEST(TrendWindow, FitsALaptopScreen) {
  TrendWindow window(QStringLiteral("Trend"));
  window.Plot(Day(), QStringLiteral("day.log"));
  window.show();
  EXPECT_LE(window.minimumSizeHint().width(), 1366);
  EXPECT_LE(window.minimumSizeHint().height(), 706);
  EXPECT_LE(window.width(), 1366);
  EXPECT_LE(window.height(), 706);
}

TEST(TrendWindow, ClosesOnEscape) {
  TrendWindow window(QStringLiteral("Trend"));
  window.Plot(Day(), QStringLiteral("day.log"));
  Show(window, QSize(1000, 600));
  QTest::keyClick(FindControl<QCheckBox>(&window, TrendSeriesBox(kTrendSlabTemp)), Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace gelvar
