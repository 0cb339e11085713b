// The program's windows on a simulated unit in virtual time: the main window with the dialogs it
// opens, the protocol window pumping bytes to a UnitModel, the tick and every window timer on a
// VirtualScheduler. Tests use the windows as the user does: menu commands by number, controls by
// number, modal dialogs answered through ModalAnswers.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QProgressBar>

#include <memory>

#include "app/tone_player.h"
#include "gui/modal_answers.h"
#include "gui/window_fixture.h"
#include "monitor/input_dialog.h"
#include "monitor/monitor_dialog.h"
#include "sensortest/sensor_test_dialog.h"
#include "support/monitor_fakes.h"
#include "update/update_dialog.h"

namespace gelvar::testing {

class SilentOutput : public SoundOutput {
 public:
  void Play(const std::vector<std::int16_t>&, int) override {}
};

// The tool windows' rig with the main window and its dialogs on top; the port starts closed.
class MonitorWindowTest : public ToolWindowTest {
 protected:
  MonitorWindowTest() {
    ticker.Start();
    StartLink();
    window.Open();
  }
  ~MonitorWindowTest() override { window.hide(); }

  void Command(int command) {
    for (QAction* action : window.findChildren<QAction*>()) {
      if (action->data().toInt() == command) return action->trigger();
    }
    FAIL() << "no menu command " << command;
  }
  QString Field(int controlId) const { return FindControl<QLineEdit>(&window, controlId)->text(); }
  QProgressBar* Bar(int controlId) const { return FindControl<QProgressBar>(&window, controlId); }
  QString Pane() const { return FindControl<QPlainTextEdit>(&window, 1082)->toPlainText(); }
  QString NewestMessage() const { return Pane().section(QLatin1Char('\n'), 0, 0); }
  int Mode() const { return window.Controller().Mode(); }
  // Runs virtual time until the pane's newest line is `line`.
  bool RunUntilMessage(const QString& line, std::int64_t limitMs = 20000) {
    return scheduler.RunUntil([&] { return NewestMessage() == line; }, limitMs);
  }
  void OpenPort() {
    Command(kCmdOpenComPort);
    ASSERT_EQ(Mode(), kPortOpen);
  }
  bool UnitWasAskedFor(std::uint32_t objectId) const {
    for (const auto& request : unit.Requests()) {
      if (request.objectId == objectId) return true;
    }
    return false;
  }

  ModalAnswers answers;
  SensorTest sensorTest{scheduler};
  SensorTestDialog sensorDialog{sensorTest};
  UpdateDialog update;
  InputDialog input;
  MemoryFiles files;
  TonePlayer tones{std::make_unique<SilentOutput>()};
  MonitorDialog window{scheduler, files, tones, {protocol, sensorDialog, update, input}};
};

}  // namespace gelvar::testing
