// The program's windows on a simulated unit in virtual time, the tick and every window timer on a
// VirtualScheduler. Tests use the windows as the user does: menu commands and controls by number,
// modal dialogs answered through ModalAnswers. What the commands do is the monitor's; these show
// the windows wired to it, and what only a window has (its menu and layout, the input box, the device
// list, file dialogs, the sensor test, protocol and trend windows).
#include <gtest/gtest.h>

#include <QChartView>
#include <QValueAxis>
#include <QtTest>
#include <QtWidgets>
#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <latch>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/link/link.h"
#include "core/monitor/variable_log.h"
#include "core/tick/ticker.h"
#include "gui/monitor/device_chooser_dialog.h"
#include "gui/monitor/field_controls.h"
#include "gui/monitor/input_dialog.h"
#include "gui/monitor/monitor_dialog.h"
#include "gui/monitor/monitor_ids.h"
#include "gui/sensorcheck/sensor_test_dialog.h"
#include "gui/serial/serial_messages_qt.h"
#include "gui/tools/link_inside_window.h"
#include "gui/tools/protocol_window.h"
#include "gui/trend/trend_windows.h"
#include "gui/ui/tone_player.h"
#include "gui/ui/widget_support.h"
#include "gui/update/update_dialog.h"
#include "qt/serial_discovery_qt.h"
#include "support/monitor_fakes.h"
#include "support/virtual_scheduler.h"
#include "unitsim/simulated_line.h"
#include "unitsim/unit_model.h"

namespace gelvar::testing {
namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// One queued action per modal dialog, in the order the dialogs come up; each runs inside its dialog's
// own loop. A dialog with no action queued, or left open by its action, fails the test and is closed:
// no test hangs in a modal loop.
class ModalAnswers : public QObject {
 public:
  using Action = std::function<void(QWidget*)>;

  ModalAnswers() { QApplication::instance()->installEventFilter(this); }
  ~ModalAnswers() override { EXPECT_TRUE(actions_.empty()) << actions_.size() << " dialog(s) never came up"; }

  void Then(Action action) { actions_.push_back(std::move(action)); }
  // A message box: its text goes to boxes, then `button` is clicked.
  void ThenBox(QMessageBox::StandardButton button) {
    Then([=, this](QWidget* widget) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      ASSERT_NE(box, nullptr) << "expected a message box, got " << widget->windowTitle().toStdString();
      boxes.push_back(box->text().toStdString());
      box->button(button)->click();
    });
  }

  std::vector<std::string> boxes;  // the texts of the message boxes answered, in order

 private:
  bool eventFilter(QObject* object, QEvent* event) override {
    auto* dialog = event->type() == QEvent::Show ? qobject_cast<QDialog*>(object) : nullptr;
    if (dialog != nullptr && dialog->isModal()) QTimer::singleShot(0, dialog, [this, dialog] { Answer(dialog); });
    return false;
  }
  void Answer(const QPointer<QDialog>& dialog) {
    if (!actions_.empty()) {
      const Action action = std::move(actions_.front());
      actions_.pop_front();
      action(dialog);
    }
    if (dialog != nullptr && dialog->isVisible()) {
      ADD_FAILURE() << "dialog left open: " << dialog->windowTitle().toStdString();
      dialog->reject();
    }
  }

  std::deque<Action> actions_;
};

// Sounds until the test ends: the player returns at once, so the windows go on while a pair sounds.
struct EndlessOutput : SoundOutput {
  explicit EndlessOutput(std::latch& testEnd) : testEnd(testEnd) {}
  void Play(const std::vector<std::int16_t>&, int) override { testEnd.wait(); }
  std::latch& testEnd;
};

// The tick, the link and the main window run from the start, the port closed. The device list finds
// what `plugged` holds.
class MonitorWindowTest : public ::testing::Test, public SerialDiscovery {
 protected:
  MonitorWindowTest() {
    protocol.Create();
    window.AddListener(trends.Recorder());
    window.SetOtherCommands([this](int command) { trends.Command(command, &window); });
    ticker.Start();
    StartLink(link);
    window.Open();
  }
  ~MonitorWindowTest() override { testEnd.count_down(); }
  std::vector<SerialDeviceEntry> Devices() override { return plugged; }

  void Command(int command) { TriggerMenuCommand(window, command); }
  template <typename Control = QWidget>
  static Control* In(const QWidget* parent, int controlId) {
    Control* control = FindControl<Control>(parent, controlId);
    EXPECT_NE(control, nullptr) << controlId;
    return control;
  }
  static QString Text(const QWidget* parent, int controlId) {
    const QWidget* control = In(parent, controlId);
    return control->property(control->inherits("QPlainTextEdit") ? "plainText" : "text").toString();
  }
  // Every value field and status text shows what the monitor holds; returns how many fields are
  // "undef.".
  int Undefined() const {
    EXPECT_EQ(Text(&window, kStatusComPort), FromWindowsText(window.Core().ComStatus().text));
    EXPECT_EQ(Text(&window, kStatusLogging), FromWindowsText(window.Core().LogStatus().text));
    int undefined = 0;
    for (const FieldControl& control : FieldControls()) {
      const int id = control.controlId;
      EXPECT_EQ(Text(&window, id), FromWindowsText(ControlText(window.Core().Fields(), id))) << id;
      undefined += Text(&window, id) == u"undef."_qs;
    }
    return undefined;
  }
  // How many value fields show their text greyed, as values not current.
  int Greyed() const {
    int greyed = 0;
    for (const FieldControl& control : FieldControls()) {
      const QPalette& palette = In(&window, control.controlId)->palette();
      greyed += palette.color(QPalette::Text) == palette.color(QPalette::Disabled, QPalette::Text);
    }
    return greyed;
  }
  // The highest value each progress bar showed until `done`.
  std::map<int, int> BarPeaks(const std::function<bool()>& done, std::int64_t limitMs) {
    std::map<int, int> peaks;
    const auto watch = [&] {
      for (const int id : {1077, 1078, 1081}) peaks[id] = std::max(peaks[id], In<QProgressBar>(&window, id)->value());
      return done();
    };
    scheduler.RunUntil(watch, limitMs);
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
  Link link;
  LinkInsideWindow inside{link, scheduler};
  ProtocolWindow protocol{link, scheduler, line, inside};
  Ticker ticker{link, scheduler};
  MemoryFiles files;
  FolderMemoryFiles folderMemory{files};  // as the program composes them
  SensorSequence sensorTest{link, scheduler, folderMemory};
  SensorTestDialog sensorDialog{sensorTest};
  UpdateDialog update;
  InputDialog input;
  std::latch testEnd{1};
  TonePlayer tones{std::make_unique<EndlessOutput>(testEnd)};
  QTemporaryDir folder;  // the test's files, the chosen devices' settings file among them
  QtComMappingStore comMappings{folder.filePath(QStringLiteral("gelvar/gelvar-monitor.conf"))};
  ComDeviceMap comDevices{&comMappings};
  std::vector<SerialDeviceEntry> plugged;
  DeviceChooserDialog chooser{scheduler, *this, comDevices};
  MonitorDialog window{
      link, scheduler, folderMemory, tones, {protocol, [this] { sensorDialog.Run(); }, update, input, chooser}};
  TrendWindows trends{window.Core(), scheduler};
  QStringList fileDialogStarts;  // the folder each file dialog opened in
};

TEST_F(MonitorWindowTest, ClosedPortMenuLayoutTheWindowsOwnDialogsAndPlottingALog) {
  EXPECT_EQ(Text(&window, 1073) + u'/' + Text(&window, 1074), u"1/5"_qs);  // the COM port and the log interval
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
      u"&Variables: &Start Reading Variables=32806 S&top Reading Variables=32807 - Show T&rend=32815"_qs,
      u"&Logs: Set Log &Interval=32811 &Open Log File=32772 - &Start Logging Variables=32804 "
      u"S&top Logging Variables=32805 - &Plot Log File...=32816"_qs,
      u"&Tools: Test &Monitor=32783 Program &Update=32813"_qs,
      u"&Help: Show &ReadMe=32812 &About ...=32778"_qs,
  };
  QStringList shown;
  for (const QAction* menu : window.findChild<QMenuBar*>()->actions()) {
    shown << menu->text() + u':';
    for (const QAction* item : menu->menu()->actions())
      shown.back() += u' ' + (item->isSeparator() ? u"-"_qs : item->text() + u'=' + item->data().toString());
  }
  EXPECT_EQ(shown, menus);

  // The device list follows the plugs, and the choice reaches the COM port field and the next run.
  plugged = {{"/dev/ttyS0", "built-in serial port"}};
  const std::string adapter = LocalPath(folder.filePath(u"usb-FTDI_FT232R_A50285BI"_qs));
  QFile(QString::fromStdString(adapter)).open(QIODevice::WriteOnly);
  answers.Then([&](QWidget* dialog) {
    auto* list = In<QTreeWidget>(dialog, 1120);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_TRUE(list->topLevelItem(0)->isSelected()) << "the device of COM 1 now";
    plugged.push_back({adapter, "FTDI FT232R USB UART, serial A50285BI"});
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
  answers.Then([&](QWidget* dialog) {
    EXPECT_EQ(Text(dialog, 1121), u"GELVAR_COM1 is set to /dev/ttyV1 and wins over the choice made here."_qs);
    In<QTreeWidget>(dialog, 1120)->setCurrentItem(In<QTreeWidget>(dialog, 1120)->topLevelItem(0));
    In<QPushButton>(dialog, 1)->click();
  });
  Command(kCmdChooseSerialDevice);
  qunsetenv("GELVAR_COM1");
  nextRun.Load();
  EXPECT_EQ(nextRun.Chosen(1), "");
  // A file that would not read back the same is left as it is, and the box says why and where.
  const std::string settings = comMappings.Location();
  std::ofstream(settings) << "[SerialDevices]\n# my comment\n";
  answers.Then([&](QWidget* dialog) {
    In<QTreeWidget>(dialog, 1120)->setCurrentItem(In<QTreeWidget>(dialog, 1120)->topLevelItem(1));
    In<QPushButton>(dialog, 1)->click();
  });
  answers.ThenBox(QMessageBox::Ok);
  Command(kCmdChooseSerialDevice);
  EXPECT_EQ(answers.boxes, std::vector<std::string>{"The device for COM 1 could not be remembered: " + settings +
                                                    ": line 2 (a comment: # my comment) would be lost; the file is "
                                                    "left as it is"});
  answers.boxes.clear();
  EXPECT_EQ(FileBytes(settings), "[SerialDevices]\n# my comment\n");

  // A file dialog starts in the folder of the last file written, not of the last one chosen.
  QTemporaryDir failed;
  const std::string unwritable = LocalPath(failed.filePath(u"Gelvar.par"_qs));
  files.unwritable.insert(unwritable);
  for (const QString& saveIn : {failed.path(), folder.path(), folder.path()}) {
    answers.Then([&](QWidget* dialog) { ChooseFile(dialog, saveIn, u"Gelvar.par"_qs); });
    if (saveIn == failed.path()) answers.ThenBox(QMessageBox::Ok);
    Command(kCmdSaveParameters);
  }
  EXPECT_EQ(fileDialogStarts, (QStringList{fileDialogStarts.value(0), fileDialogStarts.value(0), folder.path()}));

  // Plot Log File... and --plot-log without a display read the same files: a log is drawn, anything
  // else is refused with its line named or the system's reason. The picture is a regular file or a
  // new name, never the log.
  VariableSnapshot values;
  values.HtgSlGuTemp = 2.5f;
  const std::string log =
      LogHeader(1796630400, 0) + LogRecord(1, 1796630400, values) + LogRecord(2, 1796630460, values);
  std::string infinite = log + LogRecord(3, 1796630520, values);
  infinite.replace(infinite.rfind("    2,5"), 7, "    inf");
  const QString path = folder.filePath(u"plot.log"_qs);
  const QString png = folder.filePath(u"plot.png"_qs);
  const QString pipe = folder.filePath(u"pipe.png"_qs);
  ASSERT_EQ(::mkfifo(LocalPath(pipe).c_str(), 0600), 0);
  const QString memory = folder.filePath(u"mem.log"_qs);  // a file that looks regular and fails when read
  ASSERT_TRUE(QFile::link(u"/proc/self/mem"_qs, memory));
  // The file plotted (plot.log holds the bytes), the picture's path, the exit status, what stderr says.
  const std::tuple<QString, std::string, QString, int, std::string> cases[] = {
      {path, "Name;Value\r\n", png, 1, "Line 1 should start a logging run with \"Logfile Gelvar started ...\"."},
      {memory, log, png, 1, "The file could not be read: Input/output error."},
      {path, infinite, png, 1, "Line 5, column 10 (HtgSlGuTemp): \"    inf\" is no number."},
      {path, log, folder.path() + u"/missing/plot.png"_qs, 4, "could not be written: No such file or directory"},
      {path, log, path, 4, "could not be written: It is the log file"},
      {path, log, pipe, 4, "could not be written: Not a regular file"},
      {path, log, png, 0, ""},
  };
  QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) noDisplay.remove(name);
  for (const auto& [plotted, bytes, picture, exitCode, error] : cases) {
    std::ofstream(LocalPath(path), std::ios::binary) << bytes;
    QProcess monitor;
    monitor.setProcessEnvironment(noDisplay);
    monitor.start(GELVAR_MONITOR, {u"--plot-log"_qs, plotted, u"--png"_qs, picture});
    ASSERT_TRUE(monitor.waitForFinished(30000));
    EXPECT_EQ(monitor.exitCode(), exitCode) << error;
    EXPECT_TRUE(monitor.readAllStandardError().contains(error.c_str())) << error;
    EXPECT_EQ(QFileInfo(picture).isFile() && QImageReader(picture).format() == "png", exitCode == 0) << error;
    answers.Then(
        [&](QWidget* dialog) { ChooseFile(dialog, QFileInfo(plotted).path(), QFileInfo(plotted).fileName()); });
    if (exitCode == 1) answers.ThenBox(QMessageBox::Ok);
    Command(kCmdPlotLogFile);
  }
  EXPECT_TRUE(trends.LogPlot().isVisible());
  EXPECT_EQ(trends.LogPlot().ShownPoints(kTrendSlabTemp), 2u);
  // A temperature that only leaves float's range when an older run is converted to the newest run's
  // unit is a gap; the axis still fits the other values.
  values.HtgSlGuTemp = 3e38f;
  std::ofstream(LocalPath(path), std::ios::binary) << log + LogHeader(1796630520, 0) +
                                                          LogRecord(1, 1796630520, values) + LogHeader(1796630580, 1) +
                                                          LogRecord(1, 1796630580, {});
  answers.Then([&](QWidget* dialog) { ChooseFile(dialog, folder.path(), u"plot.log"_qs); });
  Command(kCmdPlotLogFile);
  const auto* temperatures =
      qobject_cast<QValueAxis*>(trends.LogPlot().findChildren<QChartView*>().at(0)->chart()->axes(Qt::Vertical).at(0));
  EXPECT_LT(temperatures->min(), 36.5) << "2.5 degrees Celsius";
  EXPECT_GT(temperatures->max(), 36.5);
  EXPECT_LE(temperatures->max() - temperatures->min(), 10.0) << "round ticks of a few degrees, not float's range";

  // The input box refuses anything but a whole number and stays open; the ranges are the monitor's.
  answers.Then([&](QWidget* box) {
    auto* edit = In<QLineEdit>(box, 1087);
    for (const QString& typed : {u"abc"_qs, u" 255 "_qs}) {
      edit->selectAll();
      QTest::keyClicks(edit, typed);
      In<QPushButton>(box, 1)->click();  // after "abc" the refusal box comes up and is answered in here
    }
  });
  answers.ThenBox(QMessageBox::Ok);
  Command(kCmdSetComPort);
  EXPECT_EQ(Text(&window, 1073), u"255"_qs);
  EXPECT_EQ(answers.boxes, (std::vector<std::string>{
                               "Error open parameter file: DateiParName\n" + unwritable + ": Read-only file system",
                               "plot.log is not a log file that can be plotted.\n\n" + std::get<4>(cases[0]),
                               "mem.log is not a log file that can be plotted.\n\n" + std::get<4>(cases[1]),
                               "plot.log is not a log file that can be plotted.\n\n" + std::get<4>(cases[2]),
                               "Geben Sie bitte eine ganze Zahl ein."}));
}

// On an open port the questions go on only after OK. The protocol panes clear one at a time, and a
// hidden window catches up when shown. The sensor test window's ta field is checked as it is typed,
// the description kept in Windows-1252; the refreshes of a running step neither check ta again nor
// touch the field that has the focus; its buttons write the log, and Exit keeps it. Read Parameters
// and reading variables fill the fields and run the bars; the trend collects from the first pass,
// window open or not, leaves a gap for a value not read, and follows the newest point until zoomed.
TEST_F(MonitorWindowTest, OpenPortAsksBeforeItActsRunsTheToolWindowsAndFillsTheFieldsTheBarsAndTheTrend) {
  inside.show();
  Command(kCmdOpenComPort);
  ASSERT_EQ(window.Core().Mode(), kPortOpen);
  Command(kCmdChooseSerialDevice);
  EXPECT_TRUE(Text(&window, 1082).startsWith(u"E> COM Port already open\n"_qs)) << "the newest message is on top";
  const std::size_t requestsBefore = unit.Requests().size();
  answers.ThenBox(QMessageBox::Cancel);
  Command(kCmdFactorySettings);
  scheduler.AdvanceBy(2000);
  EXPECT_EQ(unit.Requests().size(), requestsBefore);
  RunWindowAfterOk(kCmdProgramUpdate,
                   [](QWidget* dialog) { EXPECT_EQ(dialog->windowTitle(), u"Gelvar Software-Update"_qs); });

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
  unit.Faults().badChecksumRate = 0.0;

  // Each button writes the log; the first was pressed while the description was typed.
  const QString rsh = u"\n\nResistance Shunt - Rsh: "_qs;
  const std::pair<int, QString> buttons[] = {
      {1016, u"Temperature sensor 2: "_qs},
      {1010, u"Record sensor 1 started!"_qs},
      {1009, rsh},
  };
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) {
    auto* ta = In<QLineEdit>(dialog, 1014);
    ta->selectAll();
    answers.ThenBox(QMessageBox::Ok);
    QTest::keyClicks(ta, u"0"_qs);
    auto* description = In<QLineEdit>(dialog, 1012);
    QApplication::setActiveWindow(dialog);
    description->setFocus();
    ASSERT_TRUE(description->hasFocus());
    In<QAbstractButton>(dialog, 1016)->click();
    QTest::sendKeyEvent(QTest::Click, description, Qt::Key_unknown, u"\u20AC\u03A9"_qs, Qt::NoModifier);
    scheduler.AdvanceBy(1000);
    EXPECT_EQ(sensorTest.Description(), "\x80?");
    EXPECT_EQ(description->text(), u"\u20AC\u03A9"_qs);
    ta->selectAll();
    QTest::keyClicks(ta, u"1000"_qs);  // 1, 10, 100, 1000: all in range
    EXPECT_EQ(sensorTest.Ta(1), 1000);
    for (const auto& [button, logStart] : buttons) {
      if (button != 1016) In<QAbstractButton>(dialog, button)->click();
      EXPECT_TRUE(scheduler.RunUntil([&] { return Text(dialog, 1008).startsWith(logStart); }, 400000)) << button;
      if (button == 1010) {
        EXPECT_EQ(In<QProgressBar>(dialog, 1017)->text(), u"250 s left"_qs);
      }
    }
  });
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) { EXPECT_TRUE(Text(dialog, 1008).startsWith(rsh)); });
  const std::string question =
      "The test monitor for moisture sensors should be used only by experienced engineers. Start it?";
  EXPECT_EQ(answers.boxes,
            (std::vector<std::string>{"Are you shure to reset all parameters to default values?",
                                      "Are you shure you really want to update the software of the detector unit?",
                                      question, "Error: Allowed range 1...1000 s", question}));

  unit.Faults().silentObjects.insert(0x0C94);  // sensor 2's temperatures
  Command(kCmdReadParameters);
  const auto read = [&] { return window.Core().Mode() == kPortOpen; };
  EXPECT_EQ(BarPeaks(read, 20000), (std::map<int, int>{{1077, 17}, {1078, 0}, {1081, 0}}));
  EXPECT_EQ(Text(&window, 1040), u"°C"_qs);
  // Each control shows its own field.
  const std::pair<int, QString> parameters[] = {
      {1039, u"EN"_qs},           {1026, u"Active"_qs},   {1032, u"K720/21"_qs},      {1038, u"On"_qs},
      {1027, u"60 min"_qs},       {1033, u"K720/21"_qs},  {1044, u"1.04 B0316"_qs},   {1028, u"    3 °C"_qs},
      {1034, u"Temp.+Moist."_qs}, {1029, u"  -15 °C"_qs}, {1035, u"Temp.+Moist."_qs}, {1030, u"   -3 °C"_qs},
      {1036, u"40"_qs},           {1031, u"50"_qs},       {1037, u"40"_qs},           {1102, u"normal"_qs},
      {1100, u"1234 h"_qs},       {1101, u"5678 h"_qs},
  };
  for (const auto& [id, text] : parameters) EXPECT_EQ(Text(&window, id), text) << id;
  EXPECT_EQ(Undefined(), 52 - 19);  // the parameters and the operating hours
  Command(kCmdStartReadingVariables);
  const TrendData& data = trends.Data();
  const auto passes = [&](std::size_t count) { return [&data, count] { return data.Size() == count; }; };
  EXPECT_EQ(BarPeaks(passes(2), 120000), (std::map<int, int>{{1077, 17}, {1078, 14}, {1081, 2000}}));
  EXPECT_EQ(Undefined(), 3 + 2);  // the hidden ones and sensor 2's temperatures
  for (const int id : {1041, 1076, 1083, 1064, 1066}) EXPECT_EQ(Text(&window, id), u"undef."_qs) << id;
  ASSERT_EQ(data.Size(), 2u);
  EXPECT_FALSE(std::isnan(data.Value(kTrendSlabTemp, 1)));
  EXPECT_TRUE(std::isnan(data.Value(kTrendS2SenTemp, 1)));

  TrendWindow& trend = trends.Live();
  Command(kCmdShowTrend);
  ASSERT_TRUE(trend.isVisible());
  EXPECT_EQ(trend.ShownPoints(kTrendSlabTemp), 2u);
  In<QCheckBox>(&trend, TrendSeriesBox(kTrendHeatingRelay))->click();
  ASSERT_TRUE(scheduler.RunUntil(passes(3), 120000));
  EXPECT_EQ(trend.ShownPoints(kTrendSlabTemp), 3u);
  EXPECT_EQ(trend.ShownPoints(kTrendHeatingRelay), 0u);

  In<QPushButton>(&trend, kTrendZoomIn)->click();
  const auto zoomed = trend.VisibleRange();
  ASSERT_TRUE(scheduler.RunUntil(passes(4), 120000));
  EXPECT_EQ(trend.VisibleRange(), zoomed);
  In<QPushButton>(&trend, kTrendFollow)->click();
  EXPECT_EQ(trend.VisibleRange().second, data.Time(3));

  // The port lost: the pane says so, and every value is greyed until read again once it is back.
  EXPECT_EQ(Greyed(), 0);
  line.Unplug();
  ASSERT_TRUE(scheduler.RunUntil([&] { return window.Core().ComStatus().kind == StatusKind::kFault; }, 10000));
  EXPECT_TRUE(Text(&window, 1082).startsWith(u"E> COM Port Lost\n"_qs));
  EXPECT_EQ(Greyed(), 52 - 3);  // all but the hidden ones
  line.PlugIn();
  ASSERT_TRUE(scheduler.RunUntil(passes(6), 120000));
  EXPECT_TRUE(Text(&window, 1082).contains(u"I> COM Port Reopened\n"_qs));
  EXPECT_EQ(Greyed(), 17 + 2);  // the parameters and sensor 2's temperatures, not read since
}

// Once its box is closed, a serial port error is left in Messages as one error line.
TEST_F(MonitorWindowTest, ASerialPortErrorBoxLeavesItsLineInMessages) {
  QtSerialMessages messages;
  messages.KeepErrorsIn(window, [&](const std::string& line) { window.AddLine(line); });
  answers.ThenBox(QMessageBox::Ok);
  messages.ShowError("Error 1", "Error open COM1:\n/dev/ttyS0: No such file or directory", false);
  EXPECT_EQ(answers.boxes, std::vector<std::string>{"Error open COM1:\n/dev/ttyS0: No such file or directory"});
  EXPECT_EQ(Text(&window, 1082), u"E> Error open COM1: /dev/ttyS0: No such file or directory\n"_qs);
}

// Alt and a letter reach one item: within each menu no two items share a mnemonic, and each has one.
TEST_F(MonitorWindowTest, EveryMenuItemHasAMnemonicOfItsOwn) {
  for (const QAction* menu : window.findChild<QMenuBar*>()->actions()) {
    QString letters;
    for (const QAction* item : menu->menu()->actions()) {
      if (item->isSeparator()) continue;
      const QString text = item->text();
      const qsizetype amp = text.indexOf(u'&');
      ASSERT_TRUE(amp >= 0 && amp + 1 < text.size()) << text.toStdString();
      letters += text[amp + 1].toLower();
    }
    for (const QChar letter : letters)
      EXPECT_EQ(letters.count(letter), 1) << menu->text().toStdString() << ": " << QString(letter).toStdString();
  }
}

// What stands in the settings file's place and why it is neither read nor written: the "E> " line at
// the start and the reason a choice gives both name the file, which stays as it was.
TEST(QtComMappingStore, WhatIsNotAFileOfItsOwnIsNeitherReadNorWritten) {
  namespace fs = std::filesystem;
  const QTemporaryDir folder;
  const std::string file = LocalPath(folder.filePath(u"gelvar-monitor.conf"_qs));
  // How the file's place is filled, the reason, what is there afterwards.
  const std::tuple<std::function<void()>, std::string, fs::file_type> cases[] = {
      {[&] { fs::create_directory(file); }, "is not a regular file", fs::file_type::directory},
      {[&] { ::mkfifo(file.c_str(), 0600); }, "is not a regular file", fs::file_type::fifo},
      {[&] { fs::create_symlink(file + ".gone", file); }, "is a symbolic link to a file that is not there",
       fs::file_type::symlink},
      {[&] { fs::create_symlink(file, file); }, "cannot be read: Too many levels of symbolic links",
       fs::file_type::symlink},
      {[&] { std::ofstream(file) << std::string(64 * 1024 + 1, '\n'); },
       "is larger than 64 KiB (not a settings file of this program)", fs::file_type::regular},
  };
  ::alarm(60);  // a pipe opened to be read waits for a writer for good, and the alarm ends the test run
  for (const auto& [put, refused, type] : cases) {
    fs::remove_all(file);
    put();
    QtComMappingStore store(QString::fromStdString(file));
    ComDeviceMap devices(&store);
    EXPECT_EQ(devices.Load(), "E> Serial device settings " + file + ": " + refused);
    std::string reason;
    EXPECT_FALSE(devices.Choose(1, "/dev/null", reason));
    EXPECT_EQ(reason, file + ": " + refused);
    EXPECT_EQ(fs::symlink_status(file).type(), type) << refused;
  }
  ::alarm(0);
  EXPECT_EQ(fs::file_size(file), 64u * 1024 + 1);

  // A missing folder is made; a symbolic link stays one, and the file it names is written.
  const std::string target = LocalPath(folder.filePath(u"kept.conf"_qs));
  const std::string link = LocalPath(folder.filePath(u"new/gelvar/gelvar-monitor.conf"_qs));
  std::ofstream(target) << "[SerialDevices]\nCOM1=/dev/null\n";
  QtComMappingStore store(QString::fromStdString(link));
  std::string reason;
  ASSERT_TRUE(ComDeviceMap(&store).Choose(2, "/dev/zero", reason)) << reason;
  EXPECT_EQ(FileBytes(link), "[SerialDevices]\nCOM2=/dev/zero\n");
  fs::remove(link);
  fs::create_symlink(target, link);
  ASSERT_TRUE(ComDeviceMap(&store).Choose(2, "/dev/zero", reason)) << reason;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(FileBytes(target), "[SerialDevices]\nCOM1=/dev/null\nCOM2=/dev/zero\n");
}

}  // namespace
}  // namespace gelvar::testing
