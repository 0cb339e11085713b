// The program's windows on a simulated unit in virtual time, the tick and every window timer on a
// VirtualScheduler. What the commands do, what the fields and the message pane say, is the monitor's
// and tested with it; these test what only a window has: menus, boxes, dialogs and greyed values.
#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <deque>
#include <fstream>

#include <unistd.h>

#include "core/link/link.h"
#include "core/tick/ticker.h"
#include "gui/monitor/device_chooser_dialog.h"
#include "gui/monitor/field_controls.h"
#include "gui/monitor/input_dialog.h"
#include "gui/monitor/monitor_dialog.h"
#include "gui/monitor/monitor_ids.h"
#include "gui/sensorcheck/sensor_test_dialog.h"
#include "gui/sensorcheck/sensor_test_ids.h"
#include "gui/tools/link_inside_window.h"
#include "gui/tools/protocol_ids.h"
#include "gui/tools/protocol_window.h"
#include "gui/trend/trend_windows.h"
#include "gui/ui/tone_player.h"
#include "gui/update/update_dialog.h"
#include "qt/serial_discovery_qt.h"
#include "support/monitor_fakes.h"
#include "support/row_name.h"
#include "support/virtual_scheduler.h"
#include "unitsim/simulated_line.h"

namespace gelvar::testing {
namespace {

using Boxes = std::vector<std::string>;

struct Silence : SoundOutput {
  void Play(const std::vector<std::int16_t>&, int) override {}
};

// The tick, the link and the main window run from the start, the port closed. The device list finds
// what `plugged` holds. Modal dialogs are answered by the actions queued for them (Then), in the order
// they come up, each inside its dialog's own loop; a dialog with no action, or left open by its action,
// fails the test and is closed, so that no test hangs in a modal loop.
class MonitorWindowTest : public ::testing::Test, public SerialDiscovery, public QObject {
 protected:
  MonitorWindowTest() {
    QApplication::instance()->installEventFilter(this);
    protocol.Create();
    window.AddListener(trends.Recorder());
    window.SetOtherCommands([this](int command) { trends.Command(command, &window); });
    ticker.Start();
    StartLink(link);
    window.Open();
  }
  ~MonitorWindowTest() override { EXPECT_TRUE(actions.empty()) << actions.size() << " dialog(s) never came up"; }
  std::vector<SerialDeviceEntry> Devices() override { return plugged; }
  bool eventFilter(QObject* object, QEvent* event) override {
    auto* dialog = event->type() == QEvent::Show ? qobject_cast<QDialog*>(object) : nullptr;
    if (dialog != nullptr && dialog->isModal()) QTimer::singleShot(0, dialog, [this, dialog] { Answer(dialog); });
    return false;
  }
  void Answer(const QPointer<QDialog>& dialog) {
    if (!actions.empty()) {
      const auto action = std::move(actions.front());
      actions.pop_front();
      action(dialog);
    }
    if (dialog == nullptr || !dialog->isVisible()) return;
    ADD_FAILURE() << "dialog left open: " << dialog->windowTitle().toStdString();
    dialog->reject();
  }

  void Then(std::function<void(QWidget*)> action) { actions.push_back(std::move(action)); }
  // A message box: its text goes to boxes, then `button` is clicked.
  void ThenBox(QMessageBox::StandardButton button = QMessageBox::Ok) {
    Then([=, this](QWidget* widget) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      ASSERT_NE(box, nullptr) << "not a message box: " << widget->windowTitle().toStdString();
      boxes.push_back(box->text().toStdString());
      box->button(button)->click();
    });
  }
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
  // How many value fields meet `is`.
  int Fields(const std::function<bool(const QWidget*)>& is) const {
    int count = 0;
    for (const FieldControl& field : FieldControls()) count += is(In(&window, field.controlId));
    return count;
  }
  static bool Greyed(const QWidget* field) {
    return field->palette().color(QPalette::Text) == field->palette().color(QPalette::Disabled, QPalette::Text);
  }

  std::deque<std::function<void(QWidget*)>> actions;
  Boxes boxes;  // the texts of the message boxes answered, in order
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
  TonePlayer tones{std::make_unique<Silence>()};
  QTemporaryDir folder;  // the test's files, the chosen devices' settings file among them
  QtComMappingStore comMappings{folder.filePath(QStringLiteral("gelvar/gelvar-monitor.conf"))};
  ComDeviceMap comDevices{&comMappings};
  std::vector<SerialDeviceEntry> plugged;
  DeviceChooserDialog chooser{scheduler, *this, comDevices};
  MonitorDialog window{
      link, scheduler, folderMemory, tones, {protocol, [this] { sensorDialog.Run(); }, update, input, chooser}};
  TrendWindows trends{window.Core(), scheduler};
};

TEST_F(MonitorWindowTest, StartsOnCom1WithA5MinuteLogAndEveryValueUndefined) {
  EXPECT_EQ(Text(&window, kComPortNumber) + u'/' + Text(&window, kLogMinutes), u"1/5"_qs);
  EXPECT_EQ(Fields([](const QWidget* field) { return field->property("text") == u"undef."_qs; }), 52);
}

// The offscreen screen (800 x 600) is too small for every field.
TEST_F(MonitorWindowTest, FitsASmallScreenAndScrollsItsFields) {
  const QWidget* content = window.findChild<QScrollArea*>()->widget();
  EXPECT_TRUE(window.screen()->availableGeometry().contains(QRect(QPoint(), window.size())));
  EXPECT_GE(content->width(), content->minimumSizeHint().width()) << "fields cut off";
  EXPECT_GT(content->width(), window.width());
}

class MenuTest : public MonitorWindowTest, public ::testing::WithParamInterface<std::pair<int, const char*>> {};

// Each menu's place, title and items: the texts hold the mnemonics, one letter for each item.
TEST_P(MenuTest, ListsItsItemsInOrder) {
  const QAction* menu = window.findChild<QMenuBar*>()->actions().value(GetParam().first);
  QStringList shown{menu->text()};
  for (const QAction* item : menu->menu()->actions()) shown << (item->isSeparator() ? u"-"_qs : item->text());
  EXPECT_EQ(shown.join(u'|').toStdString(), GetParam().second);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Menus, MenuTest, ::testing::Values(
    std::pair{0, "&Communication|&Set COM Port|Choose Serial &Device...|&Open COM-Port|&Close COM-Port|-|"
                 "&Test Communication|Show &Protocol Window|-|E&xit"},
    std::pair{1, "Co&mmands|&Start min. Heat Time|S&top min. Heat Time|-|Start Cycle Sensor &1|"
                 "Start Cycle Sensor &2|-|&Factory Settings"},
    std::pair{2, "&Parameters|&Read Parameters|-|&Save Parameters"},
    std::pair{3, "&Variables|&Start Reading Variables|S&top Reading Variables|-|Show T&rend"},
    std::pair{4, "&Logs|Set Log &Interval|&Open Log File|-|&Start Logging Variables|S&top Logging Variables|-|"
                 "&Plot Log File..."},
    std::pair{5, "&Tools|Test &Monitor|Program &Update"},
    std::pair{6, "&Help|Show &ReadMe|&About ..."}),
    [](const auto& info) { return QString::fromLatin1(info.param.second).section(u'|', 0, 0).remove(u'&').toStdString(); });
// clang-format on

// The built-in port and a USB adapter are plugged in; the adapter is chosen for COM 1.
class DeviceChooserTest : public MonitorWindowTest {
 protected:
  DeviceChooserTest() {
    QFile(QString::fromStdString(adapter)).open(QIODevice::WriteOnly);
    plugged = {{"/dev/ttyS0", "built-in serial port"}, {adapter, "FTDI FT232R USB UART, serial A50285BI"}};
    Then([](QWidget* dialog) {
      auto* list = In<QTreeWidget>(dialog, chooser_ids::kIdList);
      list->setCurrentItem(list->topLevelItem(1));
      In<QPushButton>(dialog, chooser_ids::kIdOk)->click();
    });
  }

  const std::string adapter = LocalPath(folder.filePath(u"usb-FTDI_FT232R_A50285BI"_qs));
};

TEST_F(DeviceChooserTest, ChoiceIsRememberedForTheNextRun) {
  Command(kCmdChooseSerialDevice);
  std::ifstream kept(comMappings.Location(), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "[SerialDevices]\nCOM1=" + adapter + "\n");
}

TEST_F(DeviceChooserTest, SettingsFileThatWouldLoseACommentIsLeftAsItIs) {
  const std::string settings = comMappings.Location();
  QDir().mkpath(folder.filePath(u"gelvar"_qs));
  std::ofstream(settings) << "[SerialDevices]\n# my comment\n";
  ThenBox();
  Command(kCmdChooseSerialDevice);
  EXPECT_EQ(boxes, Boxes{"The device for COM 1 could not be remembered: " + settings +
                         ": line 2 (a comment: # my comment) would be lost; the file is left as it is"});
  std::ifstream kept(settings, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "[SerialDevices]\n# my comment\n");
}

// The file dialog shows /proc first, whose kmsg blocks any reader: a dialog that read files to tell
// their type would freeze there, and the alarm would end the test run.
TEST_F(MonitorWindowTest, SaveParametersFileIntoAReadOnlyFolderSaysWhyInABox) {
  const std::string file = LocalPath(folder.filePath(u"Gelvar.par"_qs));
  files.unwritable.insert(file);
  Then([&](QWidget* dialog) {
    auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
    ::alarm(60);
    fileDialog->setDirectory(u"/proc"_qs);
    QTest::qWait(300);
    ::alarm(0);
    fileDialog->selectFile(QString::fromStdString(file));
    static_cast<QDialog*>(fileDialog)->accept();
  });
  ThenBox();
  Command(kCmdSaveParameters);
  EXPECT_EQ(boxes, Boxes{"Error open parameter file: DateiParName\n" + file + ": Read-only file system"});
}

TEST_F(MonitorWindowTest, InputBoxRefusesLettersAndStaysOpen) {
  Then([&](QWidget* box) {
    QTest::keyClicks(In<QLineEdit>(box, input_ids::kIdValue), u"abc"_qs);
    ThenBox();
    In<QPushButton>(box, input_ids::kIdOk)->click();
    EXPECT_EQ(boxes, Boxes{"Geben Sie bitte eine ganze Zahl ein."});
    EXPECT_TRUE(box->isVisible());
    In<QPushButton>(box, input_ids::kIdCancel)->click();
  });
  Command(kCmdSetComPort);
  EXPECT_EQ(Text(&window, kComPortNumber), u"1"_qs);
}

class OpenPortTest : public MonitorWindowTest {
 protected:
  OpenPortTest() { Command(kCmdOpenComPort); }
  void SetUp() override { ASSERT_EQ(window.Core().Mode(), kPortOpen); }
  // Reads the parameters, then the variables for two passes; sensor 2's temperatures go unanswered.
  void ReadAll() {
    unit.Faults().silentObjects.insert(0x0C94);
    Command(kCmdReadParameters);
    ASSERT_TRUE(scheduler.RunUntil([this] { return window.Core().Mode() == kPortOpen; }, 20000));
    Command(kCmdStartReadingVariables);
    ASSERT_TRUE(scheduler.RunUntil([&] { return trends.Data().Size() == 2; }, 120000));
  }
  bool PortLost() const { return window.Core().ComStatus().kind == StatusKind::kFault; }
};

struct QuestionRow {
  const char* name;
  int command;
  const char* question;
};

class QuestionTest : public OpenPortTest, public ::testing::WithParamInterface<QuestionRow> {};

// And Cancel sends nothing.
TEST_P(QuestionTest, IsAskedBeforeTheCommandActs) {
  const std::size_t requestsBefore = unit.Requests().size();
  ThenBox(QMessageBox::Cancel);
  Command(GetParam().command);
  scheduler.AdvanceBy(2000);
  EXPECT_EQ(boxes, Boxes{GetParam().question});
  EXPECT_EQ(unit.Requests().size(), requestsBefore);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Commands, QuestionTest, ::testing::Values(
    QuestionRow{"FactorySettings", kCmdFactorySettings, "Are you shure to reset all parameters to default values?"},
    QuestionRow{"ProgramUpdate", kCmdProgramUpdate,
                "Are you shure you really want to update the software of the detector unit?"},
    QuestionRow{"TestMonitor", kCmdTestMonitor,
                "The test monitor for moisture sensors should be used only by experienced engineers. Start it?"}), kByName);
// clang-format on

TEST_F(OpenPortTest, ProtocolClearEmptiesOnlyItsOwnPane) {
  protocol.show();
  Command(kCmdTestCommunication);
  scheduler.AdvanceBy(3000);  // the test is over
  QTest::mouseClick(In<QAbstractButton>(&protocol, protocol_ids::kIdClearTx), Qt::LeftButton);
  EXPECT_EQ(Text(&protocol, protocol_ids::kIdTxPane), u""_qs);
  EXPECT_TRUE(Text(&protocol, protocol_ids::kIdRxPane).endsWith(u']')) << "the reply's frame";
}

TEST_F(OpenPortTest, HiddenProtocolWindowCatchesUpWhenShown) {
  Command(kCmdTestCommunication);
  scheduler.AdvanceBy(3000);
  EXPECT_EQ(Text(&protocol, protocol_ids::kIdRxPane), u""_qs) << "the panes of a hidden window wait";
  protocol.show();
  EXPECT_TRUE(Text(&protocol, protocol_ids::kIdRxPane).startsWith(u"0002-0["_qs)) << "the reply, frame 2";
}

// Typed text that the code page cannot hold stays as typed, too.
TEST_F(OpenPortTest, SensorTestRefreshesLeaveTheFieldBeingTypedIn) {
  Then([&](QWidget* dialog) {
    auto* description = In<QLineEdit>(dialog, sensor_test_ids::kIdDescription);
    QApplication::setActiveWindow(dialog);
    description->setFocus();
    In<QAbstractButton>(dialog, sensor_test_ids::kIdTemperature2)->click();  // refreshes the window as it runs
    QTest::sendKeyEvent(QTest::Click, description, Qt::Key_unknown, u"\u20AC\u03A9"_qs, Qt::NoModifier);
    scheduler.AdvanceBy(1000);
    EXPECT_EQ(description->text(), u"\u20AC\u03A9"_qs);
    In<QPushButton>(dialog, sensor_test_ids::kIdCancel)->click();
  });
  sensorDialog.Run();
}

TEST_F(OpenPortTest, LostPortGreysEveryValueShown) {
  ReadAll();
  ASSERT_EQ(Fields(Greyed), 0);
  line.Unplug();
  ASSERT_TRUE(scheduler.RunUntil([&] { return PortLost(); }, 10000));
  EXPECT_EQ(Fields(Greyed), 49);  // all 52 but the three hidden fields
}

TEST_F(OpenPortTest, ReopenedPortGreysOnlyTheValuesNotReadSince) {
  ReadAll();
  line.Unplug();
  ASSERT_TRUE(scheduler.RunUntil([&] { return PortLost(); }, 10000));
  line.PlugIn();
  ASSERT_TRUE(scheduler.RunUntil([&] { return trends.Data().Size() == 4; }, 120000));
  EXPECT_EQ(Fields(Greyed), 19);  // the 17 parameter fields and sensor 2's two temperatures
}

}  // namespace
}  // namespace gelvar::testing
