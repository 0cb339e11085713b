// The trend window as the user sees it: charts that share one time axis to the pixel, a pass with
// no neighbour still shown, the cursor's readout, the size and the Escape key; and a log without a
// record refused by --plot-log.
#include <gtest/gtest.h>

#include <QtCharts/QChartView>
#include <QtTest>
#include <QtWidgets>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/monitor/variable_log.h"
#include "core/trend/log_reader.h"
#include "gui/trend/trend_window.h"
#include "gui/ui/widget_support.h"

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

class TrendWindowSizes : public ::testing::TestWithParam<QSize> {};

TEST_P(TrendWindowSizes, PlotAreasShareTheirLeftAndRightEdgesToThePixel) {
  TrendWindow window(QStringLiteral("Trend"));
  window.Plot(Day(), QStringLiteral("day.log"));
  Show(window, GetParam());
  const QList<QChartView*> views = window.findChildren<QChartView*>();
  ASSERT_EQ(views.size(), 3);
  const auto edges = [&](const QChartView* view) {
    const QRectF area = view->chart()->plotArea();
    const int x = view->mapTo(&window, QPoint()).x();
    return std::pair{std::lround(x + area.left()), std::lround(x + area.right())};
  };
  EXPECT_GT(views[0]->chart()->plotArea().width(), GetParam().width() / 2);
  EXPECT_EQ(edges(views[1]), edges(views[0]));
  EXPECT_EQ(edges(views[2]), edges(views[0]));
}

INSTANTIATE_TEST_SUITE_P(Sizes, TrendWindowSizes, ::testing::Values(QSize(1280, 680), QSize(760, 560)));

TEST(TrendWindow, APassWithNoNeighbourIsDrawnAsAMark) {
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
 protected:
  TrendCursor() {
    if (const char* zone = std::getenv("TZ")) saved_ = zone;
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  ~TrendCursor() override {
    saved_.empty() ? unsetenv("TZ") : setenv("TZ", saved_.c_str(), 1);
    tzset();
  }

 private:
  std::string saved_;
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

TEST_F(TrendCursor, GoesWhenTheMouseLeaves) {
  TrendWindow window(QStringLiteral("Trend"));
  window.Plot(Day(), QStringLiteral("day.log"));
  Show(window, QSize(1000, 600));
  window.ShowCursor(kStart + 50000);
  ASSERT_FALSE(window.CursorReadout(0).isEmpty());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(window.findChildren<QChartView*>().at(1), &leave);
  EXPECT_TRUE(window.CursorReadout(0).isEmpty());
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

TEST(TrendWindow, EscapeClosesIt) {
  TrendWindow window(QStringLiteral("Trend"));
  window.Plot(Day(), QStringLiteral("day.log"));
  Show(window, QSize(1000, 600));
  QTest::keyClick(FindControl<QCheckBox>(&window, TrendSeriesBox(kTrendSlabTemp)), Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
}

TEST(PlotLog, RefusesAFileWithAHeaderButNoRecord) {
  const QTemporaryDir folder;
  const QString log = folder.filePath(u"empty.log"_qs);
  std::ofstream(LocalPath(log), std::ios::binary) << LogHeader(1796630400, 0);
  QProcess monitor;
  monitor.start(GELVAR_MONITOR, {u"--plot-log"_qs, log, u"--png"_qs, folder.filePath(u"empty.png"_qs)});
  ASSERT_TRUE(monitor.waitForFinished(30000));
  EXPECT_EQ(monitor.exitCode(), 1);
  EXPECT_TRUE(monitor.readAllStandardError().contains("no records"));
}

}  // namespace
}  // namespace gelvar
