// The trend windows: the variables of this run, collected before the window is opened, and a log file
// drawn in the window or, without one, into a picture.
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <fstream>

#include "gui/window_fixture.h"
#include "monitor/variable_log.h"
#include "trend/trend_window.h"

namespace gelvar::testing {
namespace {

TEST_F(WindowTest, TrendCollectsFromTheFirstPassAndFollowsTheNewestUntilZoomed) {
  unit.Faults().silentObjects.insert(0x0C94);  // sensor 2's temperatures
  StartWithPortOpen();
  Command(kCmdStartReadingVariables);
  const TrendData& data = trends.Data();
  const auto passes = [&](std::size_t count) {
    return scheduler.RunUntil([&] { return data.Size() == count; }, 120000);
  };
  ASSERT_TRUE(passes(2));
  EXPECT_FALSE(std::isnan(data.Value(kTrendSlabTemp, 1)));
  EXPECT_TRUE(std::isnan(data.Value(kTrendS2SenTemp, 1)));

  TrendWindow& trend = trends.Live();
  Command(kCmdShowTrend);
  ASSERT_TRUE(trend.isVisible());
  EXPECT_EQ(trend.ShownPoints(kTrendSlabTemp), 2u);
  In<QCheckBox>(&trend, TrendSeriesBox(kTrendHeatingRelay))->click();
  ASSERT_TRUE(passes(3));
  EXPECT_EQ(trend.ShownPoints(kTrendSlabTemp), 3u);
  EXPECT_EQ(trend.ShownPoints(kTrendHeatingRelay), 0u);

  In<QPushButton>(&trend, kTrendZoomIn)->click();
  EXPECT_FALSE(trend.Following());
  const auto zoomed = trend.VisibleRange();
  ASSERT_TRUE(passes(4));
  EXPECT_EQ(trend.VisibleRange(), zoomed);
  In<QPushButton>(&trend, kTrendFollow)->click();
  EXPECT_TRUE(trend.Following());
  EXPECT_EQ(trend.VisibleRange().second, data.Time(3));
}

std::string TwoRecordLog() {
  VariableSnapshot values;
  values.HtgSlGuTemp = 2.5f;
  return LogHeader(1796630400, 0) + LogRecord(1, 1796630400, values) + LogRecord(2, 1796630460, values);
}

TEST_F(WindowTest, PlotLogFileDrawsALogAndNamesTheLineOfAnythingElse) {
  Start();
  QTemporaryDir folder;
  const struct {
    std::string bytes;
    QString box;
  } cases[] = {
      {"Name;Value\r\n",
       u"plot.log is not a log file that can be plotted.\n\nLine 1 should start a logging run "
       u"with \"Logfile Gelvar started ...\"."_qs},
      {TwoRecordLog(), {}},
  };
  for (const auto& c : cases) {
    std::ofstream(LocalPath(QDir(folder.path()).filePath(u"plot.log"_qs)), std::ios::binary) << c.bytes;
    answers.Then([&](QWidget* dialog) {
      auto* files = qobject_cast<QFileDialog*>(dialog);
      ASSERT_NE(files, nullptr);
      files->setDirectory(folder.path());
      files->selectFile(u"plot.log"_qs);
      static_cast<QDialog*>(files)->accept();
    });
    QString box;
    if (!c.box.isEmpty()) answers.ThenBox(QMessageBox::Ok, &box);
    Command(kCmdPlotLogFile);
    EXPECT_EQ(box, c.box);
    EXPECT_EQ(trends.LogPlot().isVisible(), c.box.isEmpty());
  }
  EXPECT_EQ(trends.LogPlot().ShownPoints(kTrendSlabTemp), 2u);
}

TEST(PlotLogCommand, DrawsWithoutADisplayAndTellsWhatWentWrong) {
  QTemporaryDir folder;
  const QString log = QDir(folder.path()).filePath(u"run.log"_qs);
  const QString png = QDir(folder.path()).filePath(u"run.png"_qs);
  const struct {
    std::string bytes;
    QString png;
    int exitCode;
    const char* error;
  } cases[] = {
      {TwoRecordLog() + "00003; 12/07/26; 10:02:00\r\n", png, 1, "Line 5 has 3 columns; a record has 35."},
      {TwoRecordLog(), folder.path() + u"/missing/run.png"_qs, 4, "could not be written"},
      {TwoRecordLog(), png, 0, ""},
  };
  for (const auto& c : cases) {
    std::ofstream(LocalPath(log), std::ios::binary) << c.bytes;
    QProcess monitor;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) environment.remove(name);
    monitor.setProcessEnvironment(environment);
    monitor.start(GELVAR_MONITOR, {u"--plot-log"_qs, log, u"--png"_qs, c.png});
    ASSERT_TRUE(monitor.waitForFinished(30000));
    EXPECT_EQ(monitor.exitCode(), c.exitCode) << c.error;
    EXPECT_TRUE(monitor.readAllStandardError().contains(c.error));
    EXPECT_EQ(QFileInfo(c.png).size() > 0, c.exitCode == 0);
  }
}

}  // namespace
}  // namespace gelvar::testing
