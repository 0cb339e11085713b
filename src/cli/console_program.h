// gelvar-cli's program: the window program's pieces (byte pump, tick, main window controller,
// sensor test) with console views, driven through the controller's menu commands by a short script
// per command line. Free of Qt: the program supplies the timers and the port.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/console_text.h"
#include "cli/console_view.h"
#include "core/common/file_appender.h"
#include "core/line/byte_pump.h"
#include "core/link/link.h"
#include "core/monitor/monitor_controller.h"
#include "core/sensorcheck/sensor_sequence.h"
#include "core/tick/ticker.h"

namespace gelvar {

class ConsoleProgram : private MonitorListener, private LineObserver {
 public:
  // port is channel 0's line; pendingSignal returns a stop signal that has arrived, or 0.
  ConsoleProgram(const CliOptions& options, TimerHost& timers, LinePort& port, FileAppender& files, Console& console,
                 std::function<int()> pendingSignal);
  ~ConsoleProgram() override;
  ConsoleProgram(const ConsoleProgram&) = delete;
  ConsoleProgram& operator=(const ConsoleProgram&) = delete;

  // Starts the link as the window program does and the command at the next timer message;
  // onFinished runs once the command has ended.
  void Start(std::function<void()> onFinished);
  bool Finished() const { return finished_; }
  int ExitStatus() const;
  const MonitorController& Controller() const { return controller_; }
  // A second listener, told everything the program is told.
  void AlsoTell(MonitorListener* listener) { alsoTell_ = listener; }
  // watch cannot publish, which is all it is for: it ends as if the port could not be opened.
  void PublishingFailed();

 private:
  using Step = std::function<bool()>;  // true once the step is done

  void Do(std::function<void()> action);
  void WaitFor(Step condition) { script_.push_back(std::move(condition)); }
  void Advance();
  // Ends the command: the remaining steps give way to the wind-down.
  void Stop() { stopRequested_ = true; }
  void Finish();

  void BuildScript();
  void OpenPort();
  void RunCommandStep(int commandId);
  void AwaitCommandStep(int commandId);
  void ReadTemperatureUnit();
  void ReadParameters();
  void SaveParameterReport();
  void ReadVariables();
  void Log();
  void Watch();
  void OpenLogFile();
  void RunSensorTest();
  void TriggerSensorTest();
  void SaveSensorReport();
  // The question was declined, or the link was busy: the command started nothing that could end.
  void NothingStarted();
  void FileFailed(const std::string& path);
  void WindDown();

  // A value for standard output: "label: text", or a member of the JSON object.
  void Value(const std::string& label, const std::string& utf8);
  void Value(const std::string& label, long long number);
  std::string FullPath(const std::string& path) const;

  // MonitorListener.
  void StepEnded(std::uint32_t objectId, StepOutcome outcome) override;
  void ParametersRead() override;
  void VariablePassEnded() override;
  void LogRecordWritten(int setNumber, bool written) override;
  void MessageAdded(const std::string& line) override;

  // LineObserver: the controller's status, and a line each on standard error.
  void LineLost(int portNumber) override;
  void LineBack(int portNumber) override;

  const CliOptions options_;
  TimerHost& timers_;
  Console& console_;
  std::function<int()> pendingSignal_;
  std::function<void()> onFinished_;
  MonitorListener* alsoTell_ = nullptr;

  ConsolePumpMessages pumpMessages_;
  Link link_;
  BytePump pump_;
  Ticker ticker_;
  ConsoleView view_;
  MonitorController controller_;
  SensorTest sensorTest_;
  ConsoleSensorView sensorView_;
  TimerId scriptTimer_ = -1;

  std::vector<Step> script_;
  std::size_t next_ = 0;
  bool stopRequested_ = false;
  bool windingDown_ = false;
  bool finished_ = false;
  JsonObject json_;

  int stopSignal_ = 0;
  bool portFailed_ = false;
  bool publishingFailed_ = false;
  bool fileFailed_ = false;
  bool unitFailed_ = false;
  bool declined_ = false;

  int stepsEnded_ = 0;
  int stepsAwaited_ = 0;
  StepOutcome lastOutcome_ = StepOutcome::kAccepted;
  bool readingParameters_ = false;
  bool parametersRead_ = false;
  int passes_ = 0;
  std::vector<std::string> passesJson_;
  std::string logPath_;
  bool logFileOpened_ = false;
  int records_ = 0;
  int unwrittenRecords_ = 0;
  std::time_t logDeadline_ = 0;
  bool sensorTestOpen_ = false;
  int sensorAlertsBefore_ = 0;
  std::vector<std::string> sensorLines_;
  std::vector<std::string> sensorLinesJson_;
};

}  // namespace gelvar
