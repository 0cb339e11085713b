// The program's windows on a simulated unit in virtual time, the tick and every window timer on a
// VirtualScheduler. Tests use the windows as the user does: menu commands and controls by number,
// modal dialogs answered through ModalAnswers.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "link/test_support.h"
#include "monitor/device_chooser_dialog.h"
#include "monitor/input_dialog.h"
#include "monitor/monitor_dialog.h"
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

// One queued action per modal dialog, in the order the dialogs come up. A dialog with no action
// queued fails the test and is closed, so that no test hangs in a modal loop.
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
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || std::ranges::count(running_, modal) != 0) return;
    const QPointer<QDialog> dialog = qobject_cast<QDialog*>(modal);
    if (actions_.empty()) {
      ADD_FAILURE() << "unexpected dialog: " << modal->windowTitle().toStdString();
      if (dialog != nullptr) dialog->reject();
      return;
    }
    const Action action = std::move(actions_.front());
    actions_.pop_front();
    running_.push_back(modal);
    action(modal);
    running_.pop_back();
    // An action that stopped at a failed assertion leaves its dialog up: close it, or the test hangs.
    if (::testing::Test::HasFatalFailure() && dialog != nullptr && dialog->isVisible()) dialog->reject();
  }

  std::deque<Action> actions_;
  std::vector<QWidget*> running_;  // whose actions have not returned yet
};

struct FakeDiscovery : SerialDiscovery {
  std::vector<SerialDeviceEntry> Devices() override { return devices; }
  std::vector<SerialDeviceEntry> devices;
};

struct SilentOutput : SoundOutput {
  void Play(const std::vector<std::int16_t>&, int) override {}
};

// Nothing runs until Start(): the tick, the link and the main window with its port closed.
class WindowTest : public ::testing::Test {
 protected:
  WindowTest() {
    ResetLinkStateForTests();
    tickPeriod = windowTimerPeriod = kStartTickPeriodMs;
    protocol.Create();
    window.SetListener(&trends.Recorder());
    window.SetOtherCommands([this](int command) { trends.Command(command, &window); });
  }
  ~WindowTest() override {
    window.hide();
    ResetLinkStateForTests();
  }

  void Start() {
    ticker.Start();
    StartLink();
    window.Open();
  }
  void StartWithPortOpen() {
    Start();
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
  QTemporaryDir settingsFolder;  // the chosen devices are kept here
  QtComMappingStore comMappings{settingsFolder.filePath(QStringLiteral("gelvar-monitor.conf"))};
  ComDeviceMap comDevices{&comMappings};
  FakeDiscovery discovery;
  DeviceChooserDialog chooser{scheduler, discovery, comDevices};
  MonitorDialog window{
      scheduler, folderMemory, tones, {protocol, [this] { sensorDialog.Run(); }, update, input, chooser}};
  TrendWindows trends{window.Controller(), scheduler};
};

}  // namespace gelvar::testing
