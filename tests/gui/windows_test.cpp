// The program's windows on a simulated unit in virtual time, the tick and every window timer on a
// VirtualScheduler. Tests use the windows as the user does: menu commands and controls by number,
// modal dialogs answered through ModalAnswers. What the commands do is the monitor's; these show the
// windows wired to it, and what only a window has.
#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <latch>
#include <map>
#include <memory>
#include <vector>

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

// Control numbers that the windows keep to themselves.
enum : int {
  kOk = 1,
  kCancel = 2,
  kComPortField = 1073,
  kLogMinutesField = 1074,
  kMessagePane = 1082,
  kDeviceList = 1120,
  kInputValue = 1087,
  kTxPane = 1019,
  kRxPane = 1020,
  kClearTx = 1077,
  kRfErrors = 1047,  // in the link inside window
  kSensorLog = 1008,
  kReadRecorded = 1009,
  kStartCycle1 = 1010,
  kDescription = 1012,
  kTa2 = 1014,
  kTemperature2 = 1016,
};

using Boxes = std::vector<std::string>;

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
  void ThenBox(QMessageBox::StandardButton button = QMessageBox::Ok) {
    Then([=, this](QWidget* widget) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      ASSERT_NE(box, nullptr) << "expected a message box, got " << widget->windowTitle().toStdString();
      boxes.push_back(box->text().toStdString());
      box->button(button)->click();
    });
  }

  Boxes boxes;  // the texts of the message boxes answered, in order

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
    EXPECT_NE(control, nullptr) << "no control " << controlId << " in " << parent->windowTitle().toStdString();
    return control;
  }
  static QString Text(const QWidget* parent, int controlId) {
    const QWidget* control = In(parent, controlId);
    return control->property(control->inherits("QPlainTextEdit") ? "plainText" : "text").toString();
  }
  // The value fields that show `text`, by control number.
  std::vector<int> FieldsShowing(const QString& text) const {
    std::vector<int> showing;
    for (const FieldControl& control : FieldControls()) {
      if (Text(&window, control.controlId) == text) showing.push_back(control.controlId);
    }
    return showing;
  }
  // How many value fields show their text greyed, as values not current.
  int GreyedFields() const {
    int greyed = 0;
    for (const FieldControl& control : FieldControls()) {
      const QPalette& palette = In(&window, control.controlId)->palette();
      greyed += palette.color(QPalette::Text) == palette.color(QPalette::Disabled, QPalette::Text);
    }
    return greyed;
  }
  // The highest value each progress bar showed until `done`.
  std::map<int, int> BarPeaks(const std::function<bool()>& done) {
    std::map<int, int> peaks;
    scheduler.RunUntil(
        [&] {
          for (const int id : {kProgressParameters, kProgressVariables, kProgressPause}) {
            peaks[id] = std::max(peaks[id], In<QProgressBar>(&window, id)->value());
          }
          return done();
        },
        120000);
    return peaks;
  }
  bool ReadingDone() const { return window.Core().Mode() == kPortOpen; }
  std::function<bool()> Passes(std::size_t count) const {
    return [this, count] { return trends.Data().Size() == count; };
  }
  // Answers OK to the command's question, works the window it brings up, then closes it.
  void RunWindowAfterOk(int command, const std::function<void(QWidget*)>& drive) {
    answers.ThenBox(QMessageBox::Ok);
    answers.Then([&](QWidget* dialog) {
      drive(dialog);
      In<QPushButton>(dialog, kCancel)->click();
    });
    Command(command);
  }
  // Answers a file dialog with folder/name after showing /proc, whose kmsg blocks any reader: a dialog
  // that reads files to tell their type freezes there, and the alarm then ends the test run.
  void ChooseFile(const QString& folder, const QString& name) {
    answers.Then([=, this](QWidget* dialog) {
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
    });
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

TEST_F(MonitorWindowTest, StartsWithComPort1AndALogIntervalOf5Minutes) {
  EXPECT_EQ(Text(&window, kComPortField), u"1"_qs);
  EXPECT_EQ(Text(&window, kLogMinutesField), u"5"_qs);
}

TEST_F(MonitorWindowTest, StartsWithEveryValueFieldUndefined) {
  EXPECT_EQ(FieldsShowing(u"undef."_qs).size(), 52u);  // every field, the three hidden ones too
}

// The offscreen screen (800 x 600) is too small for every field.
TEST_F(MonitorWindowTest, FitsASmallScreenAndScrollsItsFields) {
  const QWidget* content = window.findChild<QScrollArea*>()->widget();
  EXPECT_TRUE(window.screen()->availableGeometry().contains(QRect(QPoint(), window.size())));
  EXPECT_GE(content->width(), content->minimumSizeHint().width()) << "fields cut off";
  EXPECT_GT(content->width(), window.width());
}

TEST_F(MonitorWindowTest, MenuBarHasTheSevenMenusInOrder) {
  QStringList titles;
  for (const QAction* menu : window.findChild<QMenuBar*>()->actions()) titles << menu->text();
  EXPECT_EQ(titles.join(u' '), u"&Communication Co&mmands &Parameters &Variables &Logs &Tools &Help"_qs);
}

struct MenuRow {
  const char* name;
  std::vector<std::string> items;  // "-" a separator
  std::vector<int> commands;       // 0 for a separator
};

class MenuTest : public MonitorWindowTest, public ::testing::WithParamInterface<MenuRow> {
 protected:
  QList<QAction*> Items() const {
    for (const QAction* menu : window.findChild<QMenuBar*>()->actions()) {
      if (menu->text().remove(u'&') == QString::fromLatin1(GetParam().name)) return menu->menu()->actions();
    }
    ADD_FAILURE() << "no menu " << GetParam().name;
    return {};
  }
};

TEST_P(MenuTest, ListsItsItemsInOrder) {
  std::vector<std::string> shown;
  for (const QAction* item : Items()) shown.push_back(item->isSeparator() ? "-" : item->text().toStdString());
  EXPECT_EQ(shown, GetParam().items);
}

TEST_P(MenuTest, GivesEachItemItsCommand) {
  std::vector<int> commands;
  for (const QAction* item : Items()) commands.push_back(item->data().toInt());
  EXPECT_EQ(commands, GetParam().commands);
}

// Alt and a letter reach one item.
TEST_P(MenuTest, GivesEachItemAMnemonicOfItsOwn) {
  QString letters;
  for (const QAction* item : Items()) {
    if (item->isSeparator()) continue;
    const qsizetype amp = item->text().indexOf(u'&');
    EXPECT_TRUE(amp >= 0 && amp + 1 < item->text().size()) << "no mnemonic: " << item->text().toStdString();
    letters += item->text().mid(amp + 1, 1).toLower();
  }
  for (const QChar letter : letters) EXPECT_EQ(letters.count(letter), 1) << "shared: " << QString(letter).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Menus, MenuTest,
    ::testing::Values(
        MenuRow{"Communication",
                {"&Set COM Port", "Choose Serial &Device...", "&Open COM-Port", "&Close COM-Port", "-",
                 "&Test Communication", "Show &Protocol Window", "-", "E&xit"},
                {kCmdSetComPort, kCmdChooseSerialDevice, kCmdOpenComPort, kCmdCloseComPort, 0, kCmdTestCommunication,
                 kCmdShowProtocolWindow, 0, kCmdExit}},
        MenuRow{"Commands",
                {"&Start min. Heat Time", "S&top min. Heat Time", "-", "Start Cycle Sensor &1", "Start Cycle Sensor &2",
                 "-", "&Factory Settings"},
                {kCmdStartMinHeatTime, kCmdStopMinHeatTime, 0, kCmdStartCycleSensor1, kCmdStartCycleSensor2, 0,
                 kCmdFactorySettings}},
        MenuRow{
            "Parameters", {"&Read Parameters", "-", "&Save Parameters"}, {kCmdReadParameters, 0, kCmdSaveParameters}},
        MenuRow{"Variables",
                {"&Start Reading Variables", "S&top Reading Variables", "-", "Show T&rend"},
                {kCmdStartReadingVariables, kCmdStopReadingVariables, 0, kCmdShowTrend}},
        MenuRow{"Logs",
                {"Set Log &Interval", "&Open Log File", "-", "&Start Logging Variables", "S&top Logging Variables", "-",
                 "&Plot Log File..."},
                {kCmdSetLogInterval, kCmdOpenLogFile, 0, kCmdStartLogging, kCmdStopLogging, 0, kCmdPlotLogFile}},
        MenuRow{"Tools", {"Test &Monitor", "Program &Update"}, {kCmdTestMonitor, kCmdProgramUpdate}},
        MenuRow{"Help", {"Show &ReadMe", "&About ..."}, {kCmdShowReadMe, kCmdAbout}}),
    [](const auto& info) { return std::string(info.param.name); });

// The built-in port and a USB adapter are plugged in.
class DeviceChooserTest : public MonitorWindowTest {
 protected:
  DeviceChooserTest() {
    QFile(QString::fromStdString(adapter)).open(QIODevice::WriteOnly);
    plugged = {{"/dev/ttyS0", "built-in serial port"}, {adapter, "FTDI FT232R USB UART, serial A50285BI"}};
  }
  // Queues the choice of the device in that row of the list for COM 1.
  void AnswerChooser(int row) {
    answers.Then([row](QWidget* dialog) {
      auto* list = In<QTreeWidget>(dialog, kDeviceList);
      list->setCurrentItem(list->topLevelItem(row));
      In<QPushButton>(dialog, kOk)->click();
    });
  }
  std::string ChosenNextRun() {
    ComDeviceMap nextRun(&comMappings);
    nextRun.Load();
    return nextRun.Chosen(1);
  }

  const std::string adapter = LocalPath(folder.filePath(u"usb-FTDI_FT232R_A50285BI"_qs));
};

TEST_F(DeviceChooserTest, ChoiceIsRememberedForTheNextRun) {
  AnswerChooser(1);
  Command(kCmdChooseSerialDevice);
  EXPECT_EQ(ChosenNextRun(), adapter);
}

TEST_F(DeviceChooserTest, SettingsFileThatWouldLoseACommentIsLeftAsItIs) {
  const std::string settings = comMappings.Location();
  std::filesystem::create_directories(std::filesystem::path(settings).parent_path());
  std::ofstream(settings) << "[SerialDevices]\n# my comment\n";
  AnswerChooser(1);
  answers.ThenBox();
  Command(kCmdChooseSerialDevice);
  EXPECT_EQ(answers.boxes, Boxes{"The device for COM 1 could not be remembered: " + settings +
                                 ": line 2 (a comment: # my comment) would be lost; the file is left as it is"});
  EXPECT_EQ(FileBytes(settings), "[SerialDevices]\n# my comment\n");
}

TEST_F(MonitorWindowTest, FileDialogStartsInTheFolderOfTheLastFileWritten) {
  ChooseFile(folder.path(), u"Gelvar.par"_qs);
  Command(kCmdSaveParameters);
  ChooseFile(folder.path(), u"Gelvar.par"_qs);
  Command(kCmdSaveParameters);
  EXPECT_EQ(fileDialogStarts.value(1), folder.path());
}

TEST_F(MonitorWindowTest, SaveParametersIntoAReadOnlyFolderSaysWhyInABox) {
  const std::string unwritable = LocalPath(folder.filePath(u"Gelvar.par"_qs));
  files.unwritable.insert(unwritable);
  ChooseFile(folder.path(), u"Gelvar.par"_qs);
  answers.ThenBox();
  Command(kCmdSaveParameters);
  EXPECT_EQ(answers.boxes, Boxes{"Error open parameter file: DateiParName\n" + unwritable + ": Read-only file system"});
}

TEST_F(MonitorWindowTest, PlotLogFileSaysWhyAFileIsNoLog) {
  std::ofstream(LocalPath(folder.filePath(u"plot.log"_qs))) << "Name;Value\r\n";
  ChooseFile(folder.path(), u"plot.log"_qs);
  answers.ThenBox();
  Command(kCmdPlotLogFile);
  EXPECT_EQ(answers.boxes, Boxes{"plot.log is not a log file that can be plotted.\n\nLine 1 should start a logging run "
                                 "with \"Logfile Gelvar started ...\"."});
}

TEST_F(MonitorWindowTest, InputBoxRefusesLettersAndStaysOpen) {
  answers.Then([&](QWidget* box) {
    QTest::keyClicks(In<QLineEdit>(box, kInputValue), u"abc"_qs);
    answers.ThenBox();
    In<QPushButton>(box, kOk)->click();
    EXPECT_EQ(answers.boxes, Boxes{"Geben Sie bitte eine ganze Zahl ein."});
    EXPECT_TRUE(box->isVisible());
    In<QPushButton>(box, kCancel)->click();
  });
  Command(kCmdSetComPort);
  EXPECT_EQ(Text(&window, kComPortField), u"1"_qs);
}

TEST_F(MonitorWindowTest, SerialPortErrorBoxLeavesItsLineInMessages) {
  QtSerialMessages messages;
  messages.KeepErrorsIn(window, [&](const std::string& line) { window.AddLine(line); });
  answers.ThenBox();
  messages.ShowError("Error 1", "Error open COM1:\n/dev/ttyS0: No such file or directory", false);
  EXPECT_EQ(answers.boxes, Boxes{"Error open COM1:\n/dev/ttyS0: No such file or directory"});
  EXPECT_EQ(Text(&window, kMessagePane), u"E> Error open COM1: /dev/ttyS0: No such file or directory\n"_qs);
}

class OpenPortTest : public MonitorWindowTest {
 protected:
  OpenPortTest() { Command(kCmdOpenComPort); }
  void SetUp() override { ASSERT_EQ(window.Core().Mode(), kPortOpen); }
  // Reads the parameters, then the variables for `passes` passes; sensor 2's temperatures go unanswered.
  void ReadAll(std::size_t passes) {
    unit.Faults().silentObjects.insert(0x0C94);
    Command(kCmdReadParameters);
    ASSERT_TRUE(scheduler.RunUntil([this] { return ReadingDone(); }, 20000));
    Command(kCmdStartReadingVariables);
    ASSERT_TRUE(scheduler.RunUntil(Passes(passes), 120000));
  }
  void LosePort() {
    line.Unplug();
    ASSERT_TRUE(scheduler.RunUntil([&] { return window.Core().ComStatus().kind == StatusKind::kFault; }, 10000));
  }
};

TEST_F(OpenPortTest, ChoosingADeviceIsRefusedOnTopOfMessages) {
  Command(kCmdChooseSerialDevice);
  EXPECT_TRUE(Text(&window, kMessagePane).startsWith(u"E> COM Port already open\n"_qs));
}

struct QuestionRow {
  const char* name;
  int command;
  const char* question;
};

class QuestionTest : public OpenPortTest, public ::testing::WithParamInterface<QuestionRow> {};

TEST_P(QuestionTest, AsksBeforeItActs) {
  answers.ThenBox(QMessageBox::Cancel);
  Command(GetParam().command);
  EXPECT_EQ(answers.boxes, Boxes{GetParam().question});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, QuestionTest,
    ::testing::Values(
        QuestionRow{"FactorySettings", kCmdFactorySettings, "Are you shure to reset all parameters to default values?"},
        QuestionRow{"ProgramUpdate", kCmdProgramUpdate,
                    "Are you shure you really want to update the software of the detector unit?"},
        QuestionRow{"TestMonitor", kCmdTestMonitor,
                    "The test monitor for moisture sensors should be used only by experienced engineers. Start it?"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenPortTest, FactorySettingsCancelledSendsNothing) {
  const std::size_t requestsBefore = unit.Requests().size();
  answers.ThenBox(QMessageBox::Cancel);
  Command(kCmdFactorySettings);
  scheduler.AdvanceBy(2000);
  EXPECT_EQ(unit.Requests().size(), requestsBefore);
}

TEST_F(OpenPortTest, ProtocolClearEmptiesOnlyItsOwnPane) {
  protocol.show();
  Command(kCmdTestCommunication);
  scheduler.AdvanceBy(3000);  // the test is over
  QTest::mouseClick(In<QAbstractButton>(&protocol, kClearTx), Qt::LeftButton);
  EXPECT_EQ(Text(&protocol, kTxPane), u""_qs);
  EXPECT_TRUE(Text(&protocol, kRxPane).endsWith(u']')) << "the reply's frame";
}

TEST_F(OpenPortTest, ProtocolWindowHidesOnEscape) {
  protocol.show();
  QTest::keyClick(&protocol, Qt::Key_Escape);
  EXPECT_FALSE(protocol.isVisible());
}

TEST_F(OpenPortTest, HiddenProtocolWindowCatchesUpWhenShown) {
  Command(kCmdTestCommunication);
  scheduler.AdvanceBy(3000);
  EXPECT_EQ(Text(&protocol, kRxPane), u""_qs) << "the panes of a hidden window wait";
  protocol.show();
  EXPECT_TRUE(Text(&protocol, kRxPane).startsWith(u"0002-0["_qs)) << "the reply, frame 2";
}

TEST_F(OpenPortTest, LinkInsideCountsAReplyWithABadChecksumAsAnRfError) {
  inside.show();
  unit.Faults().badChecksumRate = 1.0;
  Command(kCmdTestCommunication);
  EXPECT_TRUE(scheduler.RunUntil([&] { return Text(&inside, kRfErrors) == u"1"_qs; }, 700));
}

TEST_F(OpenPortTest, SensorTestRefusesATaOutOfRangeAsItIsTyped) {
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) {
    auto* ta = In<QLineEdit>(dialog, kTa2);
    ta->selectAll();
    answers.ThenBox();
    QTest::keyClicks(ta, u"0"_qs);
    EXPECT_EQ(answers.boxes.back(), "Error: Allowed range 1...1000 s");
  });
}

TEST_F(OpenPortTest, SensorTestKeepsTheDescriptionInWindows1252) {
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) {
    QTest::sendKeyEvent(QTest::Click, In<QLineEdit>(dialog, kDescription), Qt::Key_unknown, u"\u20AC\u03A9"_qs,
                        Qt::NoModifier);
    EXPECT_EQ(sensorTest.Description(), "\x80?");  // the code page has no Omega
  });
}

TEST_F(OpenPortTest, SensorTestRefreshesLeaveTheFieldBeingTypedIn) {
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) {
    auto* description = In<QLineEdit>(dialog, kDescription);
    QApplication::setActiveWindow(dialog);
    description->setFocus();
    In<QAbstractButton>(dialog, kTemperature2)->click();
    QTest::sendKeyEvent(QTest::Click, description, Qt::Key_unknown, u"\u20AC\u03A9"_qs, Qt::NoModifier);
    scheduler.AdvanceBy(1000);
    EXPECT_EQ(description->text(), u"\u20AC\u03A9"_qs);
  });
}

struct SensorButtonRow {
  const char* name;
  int button;
  const char* logStart;
};

class SensorTestButton : public OpenPortTest, public ::testing::WithParamInterface<SensorButtonRow> {};

TEST_P(SensorTestButton, WritesTheLog) {
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) {
    In<QAbstractButton>(dialog, GetParam().button)->click();
    const QString start = QString::fromUtf8(GetParam().logStart);
    EXPECT_TRUE(scheduler.RunUntil([&] { return Text(dialog, kSensorLog).startsWith(start); }, 400000));
  });
}

INSTANTIATE_TEST_SUITE_P(Buttons, SensorTestButton,
                         ::testing::Values(SensorButtonRow{"Temperature2", kTemperature2, "Temperature sensor 2: "},
                                           SensorButtonRow{"StartCycle1", kStartCycle1, "Record sensor 1 started!"},
                                           SensorButtonRow{"ReadRecorded", kReadRecorded,
                                                           "\n\nResistance Shunt - Rsh: "}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenPortTest, SensorTestKeepsItsLogAfterExit) {
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) {
    In<QAbstractButton>(dialog, kTemperature2)->click();
    scheduler.RunUntil([&] { return !Text(dialog, kSensorLog).isEmpty(); }, 10000);
  });
  RunWindowAfterOk(kCmdTestMonitor, [&](QWidget* dialog) {
    EXPECT_TRUE(Text(dialog, kSensorLog).startsWith(u"Temperature sensor 2: "_qs));
  });
}

TEST_F(OpenPortTest, ReadParametersRunsOnlyTheParametersBarToItsEnd) {
  Command(kCmdReadParameters);
  // 17: one step for each entry of the parameter list.
  EXPECT_EQ(BarPeaks([this] { return ReadingDone(); }),
            (std::map<int, int>{{kProgressParameters, 17}, {kProgressVariables, 0}, {kProgressPause, 0}}));
}

TEST_F(OpenPortTest, ReadingVariablesRunsTheVariablesAndThePauseBars) {
  Command(kCmdStartReadingVariables);
  // 14 entries in the variable list; a pause of 2000 ms between passes.
  EXPECT_EQ(BarPeaks(Passes(2)),
            (std::map<int, int>{{kProgressParameters, 0}, {kProgressVariables, 14}, {kProgressPause, 2000}}));
}

TEST_F(OpenPortTest, ReadParametersFillsEachParameterField) {
  Command(kCmdReadParameters);
  ASSERT_TRUE(scheduler.RunUntil([this] { return ReadingDone(); }, 20000));
  const std::pair<int, const char*> parameters[] = {
      {kFieldLanguage, "EN"},
      {kFieldModeHeating, "Active"},
      {kFieldSensorType, "K720/21"},
      {kFieldSensorType + 1, "K720/21"},
      {kFieldModeSystem, "On"},
      {kFieldMinHeatingTime, "60 min"},
      {kFieldVersion, "1.04 B0316"},
      {kFieldHighTempLimit, "    3 °C"},
      {kFieldLowTempLimit, "  -15 °C"},
      {kFieldIdleTemp, "   -3 °C"},
      {kFieldTempUnit, "°C"},
      {kFieldSensorMode, "Temp.+Moist."},
      {kFieldSensorMode + 1, "Temp.+Moist."},
      {kFieldSensorMoistLimit, "40"},
      {kFieldSensorMoistLimit + 1, "40"},
      {kFieldHeatingMoistLimit, "50"},
      {kFieldAlarmMode, "normal"},
      {kFieldOpHours, "1234 h"},
      {kFieldOpHoursXWK, "5678 h"},
  };
  for (const auto& [id, text] : parameters) EXPECT_EQ(Text(&window, id), QString::fromUtf8(text)) << "field " << id;
}

TEST_F(OpenPortTest, ReadingVariablesLeavesOnlyTheValuesNotReadUndefined) {
  ReadAll(2);
  EXPECT_EQ(FieldsShowing(u"undef."_qs),
            (std::vector<int>{kFieldStateControl, kFieldSensorAmbientTemp + 1, kFieldSensorTemp + 1, kFieldStateDisplay,
                              kFieldIdleLowTempLimit}));
}

TEST_F(OpenPortTest, TrendCollectsFromTheFirstPassWhileItsWindowIsClosed) {
  ReadAll(2);
  Command(kCmdShowTrend);
  ASSERT_TRUE(trends.Live().isVisible());
  EXPECT_EQ(trends.Live().ShownPoints(kTrendSlabTemp), 2u);
}

TEST_F(OpenPortTest, LostPortIsToldOnTopOfMessages) {
  LosePort();
  EXPECT_TRUE(Text(&window, kMessagePane).startsWith(u"E> COM Port Lost\n"_qs));
}

TEST_F(OpenPortTest, LostPortGreysEveryValueShown) {
  ReadAll(2);
  ASSERT_EQ(GreyedFields(), 0);
  LosePort();
  EXPECT_EQ(GreyedFields(), 49);  // all 52 but the three hidden fields
}

TEST_F(OpenPortTest, ReopenedPortGreysOnlyTheValuesNotReadSince) {
  ReadAll(2);
  LosePort();
  line.PlugIn();
  ASSERT_TRUE(scheduler.RunUntil(Passes(4), 120000));
  EXPECT_TRUE(Text(&window, kMessagePane).contains(u"I> COM Port Reopened\n"_qs));
  EXPECT_EQ(GreyedFields(), 19);  // the 17 parameter fields and sensor 2's two temperatures
}

}  // namespace
}  // namespace gelvar::testing
