// The windows' views for a console: the sensor test's log pane is handed on entry by entry, and the
// byte pump's and the serial port's boxes become lines on standard error.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "core/line/byte_pump.h"
#include "core/sensorcheck/sensor_sequence.h"
#include "core/serial/serial_port.h"

namespace gelvar {

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
