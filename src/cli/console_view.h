// The window's views for a console: the main window's questions are answered from the command line,
// its message pane goes to standard error line by line, and the sensor test's log pane is handed on
// entry by entry.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "core/monitor/monitor_controller.h"
#include "core/sensorcheck/sensor_sequence.h"
#include "core/serial/serial_port.h"
#include "core/line/byte_pump.h"

namespace gelvar {

class ConsoleView : public MonitorView {
 public:
  // confirm answers the window's OK/Cancel questions.
  ConsoleView(Console& console, BytePump& pump, bool confirm) : console_(console), pump_(pump), confirm_(confirm) {}

  // The controller whose message pane this view shows.
  void Attach(const MonitorController& controller) { controller_ = &controller; }
  // What the input box and the file dialogs answer next; without an answer they are cancelled.
  void AnswerNumber(int value) { number_ = value; }
  void AnswerFile(const std::string& path) { file_ = path; }

  int AlertCount() const { return alerts_; }
  bool Declined() const { return declined_; }
  // Runs where the window would open the sensor test dialog.
  std::function<void()> onRunSensorTest;

  void Refresh() override {}
  void ProgressChanged() override {}
  bool AskOkCancel(const std::string& text, BoxIcon icon, DefaultButton defaultButton) override;
  bool AskNumber(const std::string& prompt, int& value) override;
  bool ChooseFile(FileDialogKind kind, const std::string& defaultName, const std::string& defaultExtension,
                  std::string& path) override;
  void Alert(const std::string& text, BoxIcon icon) override;
  // The console has no speaker: its signal for a new message is the message's line.
  void PlayTones(int frequency1, int milliseconds1, int frequency2, int milliseconds2) override;
  int OpenChannel(int channel, int portNumber) override { return pump_.OpenChannel(channel, portNumber); }
  void CloseChannel(int channel) override { pump_.CloseChannel(channel); }
  void ShowProtocolWindow() override {}
  void RunSensorTest() override;
  void RunUpdateDialog() override {}
  void ShowAbout() override {}
  void ShowReadMe() override {}
  void EndDialog() override {}

 private:
  Console& console_;
  BytePump& pump_;
  bool confirm_;
  const MonitorController* controller_ = nullptr;
  std::optional<int> number_;
  std::optional<std::string> file_;
  int alerts_ = 0;
  bool declined_ = false;
};

class ConsoleSensorView : public SensorTestView {
 public:
  ConsoleSensorView(Console& console, const SensorTest& test) : console_(console), test_(test) {}

  void AnswerFile(const std::string& path) { file_ = path; }
  // Alerts with the question-mark icon: the report's file could not be written.
  int FileAlertCount() const { return fileAlerts_; }
  int AlertCount() const { return alerts_; }
  // Each new entry of the log pane, as the dialog puts it on top (Windows-1252, CR LF inside).
  std::function<void(const std::string&)> onEntry;

  void Refresh() override;
  void Alert(const std::string& text, AlertIcon icon) override;
  bool ChooseSaveFile(const std::string& defaultName, const std::string& extension, std::string& path) override;

 private:
  Console& console_;
  const SensorTest& test_;
  std::string shown_;  // the log pane as last refreshed
  std::optional<std::string> file_;
  int alerts_ = 0;
  int fileAlerts_ = 0;
};

class ConsolePumpMessages : public PumpMessages {
 public:
  explicit ConsolePumpMessages(Console& console) : console_(console) {}
  void ShowMessage(const std::string& text) override;

 private:
  Console& console_;
};

// The serial port's error boxes as lines: caption, then the box's text.
class ConsoleSerialMessages : public SerialMessages {
 public:
  explicit ConsoleSerialMessages(Console& console) : console_(console) {}
  void ShowError(const std::string& caption, const std::string& text, bool warning) override;

 private:
  Console& console_;
};

}  // namespace gelvar
