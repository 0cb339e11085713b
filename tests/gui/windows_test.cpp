// The program's windows on a simulated unit in virtual time, the tick and every window timer on a
// VirtualScheduler. Tests use the windows as the user does: menu commands and controls by number,
// modal dialogs answered through ModalAnswers. What the commands do is the controller's; these show
// the windows wired to it, and what only a window has (its menu and layout, the input box, the device
// list, file dialogs, the sensor test, protocol and trend windows).
#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <algorithm>
#include <cmath>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <unistd.h>

#include "link/test_support.h"
#include "monitor/device_chooser_dialog.h"
#include "monitor/input_dialog.h"
#include "monitor/monitor_dialog.h"
#include "monitor/variable_log.h"
#include "sensortest/sensor_test_dialog.h"
#include "serial/serial_discovery_qt.h"
#include "support/monitor_fakes.h"
#include "support/virtual_scheduler.h"
#include "tick/ticker.h"
#include "tools/link_inside_window.h"
#include "tools/protocol_window.h"
#include "trend/trend_windows.h"
#include "ui/tone_player.h"
#include "ui/widget_support.h"
#include "unitsim/simulated_line.h"
#include "unitsim/unit_model.h"
#include "update/update_dialog.h"

namespace gelvar::testing {
namespace {

// One queued action per modal dialog, in the order the dialogs come up. A dialog with no action
// queued, or left open by its action, fails the test and is closed: no test hangs in a modal loop.
class ModalAnswers : public QObject {
 public:
  using Action = std::function<void(QWidget*)>;

  ModalAnswers() { PollSoon(); }
  ~ModalAnswers() override { EXPECT_TRUE(actions_.empty()) << actions_.size() << " dialog(s) never came up"; }

  void Then(Action action) { actions_.push_back(std::move(action)); }
  // A message box: its text goes to *text, if given, then `button` is clicked.
  void ThenBox(QMessageBox::StandardButton button, QString* text = nullptr) {
    Then([=](QWidget* widget) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      ASSERT_NE(box, nullptr) << "expected a message box, got " << widget->windowTitle().toStdString();
      if (text != nullptr) *text = box->text();
      box->button(button)->click();
    });
  }

 private:
  // A fresh single-shot each time: a repeating timer would not fire again inside the nested loop of
  // a dialog that its own action opened.
  void PollSoon() {
    QTimer::singleShot(2, this, [this] { Poll(); });
  }

  void Poll() {
    PollSoon();
    const QPointer<QDialog> dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible() || std::ranges::count(running_, dialog.data()) != 0) return;
    if (!actions_.empty()) {
      const Action action = std::move(actions_.front());
      actions_.pop_front();
      running_.push_back(dialog);
      action(dialog);
      running_.pop_back();
    }
    if (dialog != nullptr && dialog->isVisible()) {
      ADD_FAILURE() << "dialog left open: " << dialog->windowTitle().toStdString();
      dialog->reject();
    }
  }

  std::deque<Action> actions_;
  std::vector<QDialog*> running_;  // whose actions have not returned yet
};

struct FakeDiscovery : SerialDiscovery {
  std::vector<SerialDeviceEntry> Devices() override { return devices; }
  std::vector<SerialDeviceEntry> devices;
};

struct SilentOutput : SoundOutput {
  void Play(const std::vector<std::int16_t>&, int) override {}
};

// The tick, the link and the main window run from the start, the port closed.
class MonitorWindowTest : public ::testing::Test {
 protected:
  MonitorWindowTest() {
    ResetLinkStateForTests();
    tickPeriod = windowTimerPeriod = kStartTickPeriodMs;
    protocol.Create();
    window.SetListener(&trends.Recorder());
    window.SetOtherCommands([this](int command) { trends.Command(command, &window); });
    ticker.Start();
    StartLink();
    window.Open();
  }
  ~MonitorWindowTest() override {
    window.hide();
    ResetLinkStateForTests();
  }

  void OpenPort() {
    Command(kCmdOpenComPort);
    ASSERT_EQ(window.Controller().Mode(), kPortOpen);
  }
  void Command(int command) {
    for (QAction* action : window.findChildren<QAction*>()) {
      if (action->data().toInt() == command) return action->trigger();
    }
    FAIL() << "no menu command " << command;
  }
  template <typename Control = QWidget>
  static Control* In(const QWidget* parent, int controlId) {
    Control* control = FindControl<Control>(parent, controlId);
    EXPECT_NE(control, nullptr) << controlId;
    return control;
  }
  static QString Text(const QWidget* parent, int controlId) {
    if (auto* edit = qobject_cast<QPlainTextEdit*>(In(parent, controlId))) return edit->toPlainText();
    if (auto* line = qobject_cast<QLineEdit*>(In(parent, controlId))) return line->text();
    return In<QLabel>(parent, controlId)->text();
  }
  QString Field(int controlId) const { return Text(&window, controlId); }
  // Every value field and status text shows what the controller holds; returns how many fields are
  // "undef.".
  int Undefined() const {
    EXPECT_EQ(Field(kStatusComPort), FromWindowsText(window.Controller().ComStatusText()));
    EXPECT_EQ(Field(kStatusLogging), FromWindowsText(window.Controller().LogStatusText()));
    int undefined = 0;
    for (const int id : DisplayFields::ControlIds()) {
      EXPECT_EQ(Field(id), FromWindowsText(window.Controller().Fields().Text(id))) << id;
      undefined += Field(id) == u"undef."_qs;
    }
    return undefined;
  }
  // The highest value each progress bar showed until `done`.
  std::map<int, int> BarPeaks(const std::function<bool()>& done, std::int64_t limitMs) {
    std::map<int, int> peaks;
    scheduler.RunUntil(
        [&] {
          for (const int id : {1077, 1078, 1081})
            peaks[id] = std::max(peaks[id], In<QProgressBar>(&window, id)->value());
          return done();
        },
        limitMs);
    return peaks;
  }
  // Answers OK to the command's question, works the window it brings up, then closes it.
  void RunWindowAfterOk(int command, const std::function<void(QWidget*)>& drive) {
    answers.ThenBox(QMessageBox::Ok);
    answers.Then([&](QWidget* dialog) {
      drive(dialog);
      In<QPushButton>(dialog, 2)->click();
    });
    Command(command);
  }
  // Answers a file dialog with folder/name after showing /proc, whose kmsg blocks any reader: a dialog
  // that reads files to tell their type freezes there, and the alarm then ends the test run.
  void ChooseFile(QWidget* dialog, const QString& folder, const QString& name) {
    auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
    ASSERT_NE(fileDialog, nullptr);
    fileDialogStarts << fileDialog->directory().absolutePath();
    fileDialog->selectFile(name);  // while the name field has no focus yet
    ::alarm(60);
    fileDialog->setDirectory(u"/proc"_qs);
    QTest::qWait(300);
    ::alarm(0);
    fileDialog->setDirectory(folder);
    static_cast<QDialog*>(fileDialog)->accept();
  }

  ModalAnswers answers;
  VirtualScheduler scheduler;
  unitsim::UnitModel unit;
  unitsim::SimulatedLine line{unit, [this] { return scheduler.NowMs(); }};
  LinkInsideWindow inside{scheduler};
  ProtocolWindow protocol{scheduler, line, inside};
  Ticker ticker{scheduler};
  MemoryFiles files;
  FolderMemoryFiles folderMemory{files};  // as the program composes them
  SensorTest sensorTest{scheduler, folderMemory};
  SensorTestDialog sensorDialog{sensorTest};
  UpdateDialog update;
  InputDialog input;
  TonePlayer tones{std::make_unique<SilentOutput>()};
  QTemporaryDir folder;  // the test's files, the chosen devices' settings file among them
  QtComMappingStore comMappings{folder.filePath(QStringLiteral("gelvar/gelvar-monitor.conf"))};
  ComDeviceMap comDevices{&comMappings};
  FakeDiscovery discovery;
  DeviceChooserDialog chooser{scheduler, discovery, comDevices};
  MonitorDialog window{
      scheduler, folderMemory, tones, {protocol, [this] { sensorDialog.Run(); }, update, input, chooser}};
  TrendWindows trends{window.Controller(), scheduler};
  QStringList fileDialogStarts;  // the folder each file dialog opened in
};

TEST_F(MonitorWindowTest, ClosedPortMenuLayoutAndTheWindowsOwnDialogs) {
  EXPECT_EQ(Field(1074), u"5"_qs);  // the log interval
  // On a screen too small for every field (offscreen: 800 x 600) the window fits it and scrolls.
  const QWidget* content = window.findChild<QScrollArea*>()->widget();
  EXPECT_TRUE(window.screen()->availableGeometry().contains(QRect(QPoint(), window.size())));
  EXPECT_GE(content->width(), content->minimumSizeHint().width());
  EXPECT_GT(content->width(), window.width());
  // "-" stands for a separator.
  const QStringList menus = {
      u"&Communication: &Set COM Port=32810 Choose Serial &Device...=32814 &Open COM-Port=32775 "
      u"&Close COM-Port=32776 - &Test Communication=32809 Show &Protocol Window=32784 - E&xit=32779"_qs,
      u"Co&mmands: &Start min. Heat Time=32798 S&top min. Heat Time=32799 - Start Cycle Sensor &1=32800 "
      u"Start Cycle Sensor &2=32801 - &Factory Settings=32802"_qs,
      u"&Parameters: &Read Parameters=32803 - &Save Parameters=32808"_qs,
      u"&Variables: &Start Reading Variables=32806 S&top Reading Variables=32807 - Show &Trend=32815"_qs,
      u"&Logs: Set Log &Interval=32811 &Open Log File=32772 - &Start Logging Variables=32804 "
      u"S&top Logging Variables=32805 - &Plot Log File...=32816"_qs,
      u"&Tools: Test &Monitor=32783 Program &Update=32813"_qs,
      u"&Help: Show &ReadMe=32812 &About ...=32778"_qs,
  };
  QStringList shown;
  for (const QAction* menu : window.findChild<QMenuBar*>()->actions()) {
    QString items = menu->text() + u':';
    for (const QAction* item : menu->menu()->actions()) {
      items += u' ' + (item->isSeparator() ? u"-"_qs : item->text() + u'=' + item->data().toString());
    }
    shown << items;
  }
  EXPECT_EQ(shown, menus);

  // The device list follows the plugs, and the choice reaches the COM port field and the next run.
  discovery.devices = {{"/dev/ttyS0", "built-in serial port"}};
  const std::string adapter = LocalPath(folder.filePath(u"usb-FTDI_FT232R_A50285BI"_qs));
  QFile(QString::fromStdString(adapter)).open(QIODevice::WriteOnly);
  answers.Then([&](QWidget* dialog) {
    auto* list = In<QTreeWidget>(dialog, 1120);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    discovery.devices.push_back({adapter, "FTDI FT232R USB UART, serial A50285BI"});
    scheduler.AdvanceBy(1000);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    list->setCurrentItem(list->topLevelItem(1));
    In<QPushButton>(dialog, 1)->click();
  });
  Command(kCmdChooseSerialDevice);
  EXPECT_TRUE(In(&window, 1073)->toolTip().startsWith(QString::fromStdString("COM 1 is " + adapter + " (chosen")));
  ComDeviceMap nextRun(&comMappings);
  EXPECT_EQ(nextRun.Load(), "");
  EXPECT_EQ(nextRun.Chosen(1), adapter);
  // The list says when the variable wins; choosing the default device forgets the choice.
  qputenv("GELVAR_COM1", "/dev/ttyV1");
  QString note;
  answers.Then([&](QWidget* dialog) {
    note = Text(dialog, 1121);
    In<QTreeWidget>(dialog, 1120)->setCurrentItem(In<QTreeWidget>(dialog, 1120)->topLevelItem(0));
    In<QPushButton>(dialog, 1)->click();
  });
  Command(kCmdChooseSerialDevice);
  qunsetenv("GELVAR_COM1");
  EXPECT_EQ(note, u"GELVAR_COM1 is set to /dev/ttyV1 and wins over the choice made here."_qs);
  nextRun.Load();
  EXPECT_EQ(nextRun.Chosen(1), "");
  // A folder in the settings file's place is neither read nor written.
  QtComMappingStore folderStore(folder.path());
  std::string reason;
  EXPECT_EQ(ComDeviceMap(&folderStore).Load(),
            "E> Serial device settings " + LocalPath(folder.path()) + ": is not a file");
  EXPECT_FALSE(folderStore.Write("COM1", adapter, reason));

  // A file dialog starts in the folder of the last file written, not of the last one chosen.
  QTemporaryDir failed;
  files.unwritable.insert(LocalPath(failed.filePath(u"Gelvar.par"_qs)));
  QString box;
  for (const QString& saveIn : {failed.path(), folder.path(), folder.path()}) {
    answers.Then([&](QWidget* dialog) { ChooseFile(dialog, saveIn, u"Gelvar.par"_qs); });
    if (saveIn == failed.path()) answers.ThenBox(QMessageBox::Ok, &box);
    Command(kCmdSaveParameters);
  }
  const QString first = fileDialogStarts.value(0);
  EXPECT_EQ(fileDialogStarts, (QStringList{first, first, folder.path()}));
  EXPECT_TRUE(box.endsWith(u"Gelvar.par: Read-only file system"_qs)) << box.toStdString();

  // The input box refuses anything but a whole number and stays open; the ranges are the controller's.
  QString refusal;
  answers.Then([&](QWidget* box) {
    auto* edit = In<QLineEdit>(box, 1087);
    for (const QString& typed : {u"abc"_qs, u" 255 "_qs}) {
      edit->selectAll();
      QTest::keyClicks(edit, typed);
      In<QPushButton>(box, 1)->click();  // after "abc" the refusal box comes up and is answered in here
    }
  });
  answers.ThenBox(QMessageBox::Ok, &refusal);
  Command(kCmdSetComPort);
  EXPECT_EQ(refusal, u"Geben Sie bitte eine ganze Zahl ein."_qs);
  EXPECT_EQ(Field(1073), u"255"_qs);
  Command(kCmdOpenComPort);
  Command(kCmdChooseSerialDevice);
  EXPECT_TRUE(Field(1082).startsWith(u"E> COM Port already open\n"_qs)) << "the newest message is on top";
}

TEST_F(MonitorWindowTest, OpenPortGoesOnOnlyAfterOkAndFillsTheFieldsAndBars) {
  OpenPort();
  const std::size_t requestsBefore = unit.Requests().size();
  QString question;
  answers.ThenBox(QMessageBox::Cancel, &question);
  Command(kCmdFactorySettings);
  scheduler.AdvanceBy(2000);
  EXPECT_EQ(question, u"Are you shure to reset all parameters to default values?"_qs);
  EXPECT_EQ(unit.Requests().size(), requestsBefore);
  RunWindowAfterOk(kCmdProgramUpdate,
                   [](QWidget* dialog) { EXPECT_EQ(dialog->windowTitle(), u"Gelvar Software-Update"_qs); });

  Command(kCmdReadParameters);
  EXPECT_EQ(BarPeaks([&] { return window.Controller().Mode() == kPortOpen; }, 20000).at(1077), 17);
  EXPECT_EQ(Field(1040), u"°C"_qs);
  EXPECT_EQ(Undefined(), 52 - 19);  // the parameters and the operating hours
  Command(kCmdStartReadingVariables);
  const std::map<int, int> peaks = BarPeaks([] { return false; }, 8000);
  EXPECT_EQ(peaks.at(1078), 14);
  EXPECT_GT(peaks.at(1081), 1000);
  EXPECT_EQ(Undefined(), 3);  // the hidden ones
}

// Reached through its question. The ta field is checked as it is typed, the description kept in
// Windows-1252; the refreshes of a running step neither check ta again nor touch the field that has
// the focus. The buttons write the log, and Exit keeps it.
TEST_F(MonitorWindowTest, SensorTestWindowTakesTypedFieldsAsTypedAndKeepsItsLog) {
  OpenPort();
  // Each button writes the log; the first was pressed while the description was typed.
  const QString rsh = u"\n\nResistance Shunt - Rsh: "_qs;
  const std::pair<int, QString> buttons[] = {
      {1016, u"Temperature sensor 2: "_qs},
      {1010, u"Record sensor 1 started!"_qs},
      {1009, rsh},
  };
  QString rangeMessage;
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) {
    auto* ta = In<QLineEdit>(dialog, 1014);
    ta->selectAll();
    answers.ThenBox(QMessageBox::Ok, &rangeMessage);
    QTest::keyClicks(ta, u"0"_qs);
    auto* description = In<QLineEdit>(dialog, 1012);
    QApplication::setActiveWindow(dialog);
    description->setFocus();
    ASSERT_TRUE(description->hasFocus());
    In<QAbstractButton>(dialog, 1016)->click();
    QTest::sendKeyEvent(QTest::Click, description, Qt::Key_unknown, u"\u20AC\u03A9"_qs, Qt::NoModifier);
    scheduler.AdvanceBy(1000);
    EXPECT_EQ(sensorTest.description, "\x80?");
    EXPECT_EQ(description->text(), u"\u20AC\u03A9"_qs);
    ta->selectAll();
    QTest::keyClicks(ta, u"1000"_qs);  // 1, 10, 100, 1000: all in range
    EXPECT_EQ(sensorTest.Ta(1), 1000);
    for (const auto& [button, logStart] : buttons) {
      if (button != 1016) In<QAbstractButton>(dialog, button)->click();
      EXPECT_TRUE(scheduler.RunUntil([&] { return Text(dialog, 1008).startsWith(logStart); }, 400000)) << button;
    }
  });
  EXPECT_EQ(rangeMessage, u"Error: Allowed range 1...1000 s"_qs);
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) { EXPECT_TRUE(Text(dialog, 1008).startsWith(rsh)); });
}

TEST_F(MonitorWindowTest, ProtocolPanesClearOneAtATimeAndAHiddenWindowCatchesUpWhenShown) {
  inside.show();
  OpenPort();
  protocol.show();
  Command(kCmdTestCommunication);
  ASSERT_TRUE(scheduler.RunUntil([&] { return Text(&protocol, 1020).endsWith(u']'); }, 20000));
  scheduler.AdvanceBy(1000);  // the test is over
  QTest::mouseClick(In<QAbstractButton>(&protocol, 1077), Qt::LeftButton);
  EXPECT_TRUE(Text(&protocol, 1019).isEmpty());
  EXPECT_FALSE(Text(&protocol, 1020).isEmpty());

  QTest::keyClick(&protocol, Qt::Key_Escape);
  EXPECT_FALSE(protocol.isVisible());
  unit.Faults().badChecksumRate = 1.0;
  Command(kCmdTestCommunication);
  EXPECT_TRUE(scheduler.RunUntil([&] { return Text(&inside, 1047) == u"1"_qs; }, 700));  // "Rf Error"
  EXPECT_FALSE(Text(&protocol, 1020).contains(u"0004-0["_qs)) << "a hidden window's panes wait until it is shown";
  protocol.show();
  EXPECT_TRUE(Text(&protocol, 1020).contains(u"\n0004-0["_qs));
}

TEST_F(MonitorWindowTest, TrendCollectsFromTheFirstPassAndFollowsTheNewestUntilZoomed) {
  unit.Faults().silentObjects.insert(0x0C94);  // sensor 2's temperatures
  OpenPort();
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
  const auto zoomed = trend.VisibleRange();
  ASSERT_TRUE(passes(4));
  EXPECT_EQ(trend.VisibleRange(), zoomed);
  In<QPushButton>(&trend, kTrendFollow)->click();
  EXPECT_EQ(trend.VisibleRange().second, data.Time(3));
}

std::string TwoRecordLog() {
  VariableSnapshot values;
  values.HtgSlGuTemp = 2.5f;
  return LogHeader(1796630400, 0) + LogRecord(1, 1796630400, values) + LogRecord(2, 1796630460, values);
}

TEST_F(MonitorWindowTest, PlotLogFileDrawsALogAndNamesTheLineOfAnythingElse) {
  QString box;
  for (const std::string& bytes : {std::string("Name;Value\r\n"), TwoRecordLog()}) {
    std::ofstream(LocalPath(folder.filePath(u"plot.log"_qs)), std::ios::binary) << bytes;
    answers.Then([&](QWidget* dialog) { ChooseFile(dialog, folder.path(), u"plot.log"_qs); });
    if (box.isEmpty()) answers.ThenBox(QMessageBox::Ok, &box);  // only the first file is refused
    Command(kCmdPlotLogFile);
  }
  EXPECT_EQ(box,
            u"plot.log is not a log file that can be plotted.\n\nLine 1 should start a logging run "
            u"with \"Logfile Gelvar started ...\"."_qs);
  EXPECT_TRUE(trends.LogPlot().isVisible());
  EXPECT_EQ(trends.LogPlot().ShownPoints(kTrendSlabTemp), 2u);
}

TEST(PlotLogCommand, DrawsWithoutADisplayAndTellsWhatWentWrong) {
  QTemporaryDir folder;
  const QString log = folder.filePath(u"run.log"_qs);
  const QString png = folder.filePath(u"run.png"_qs);
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
