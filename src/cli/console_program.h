// gelvar-cli's program: the window program's pieces (byte pump, tick, monitor, sensor test), driven
// through the monitor's operations by a short script per command line. Free of Qt: the program
// supplies the timers and the port.
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
#include "core/monitor/monitor.h"
#include "core/sensorcheck/sensor_sequence.h"
#include "core/tick/ticker.h"

namespace gelvar {

class ConsoleProgram : private MonitorEvents, private SensorSequenceEvents {
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
  const Monitor& Core() const { return monitor_; }
  // Another listener to the monitor, such as the MQTT publisher.
  void AddListener(MonitorEvents& listener) { monitor_.AddListener(listener); }
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
  // The --json document: what the command gathered, and why it failed if it did.
  std::string JsonDocument();
  void AddSensorTestJson();

  void BuildScript();
  void OpenPort();
  void RunCommandStep(std::function<Result()> begin);
  void AwaitCommandStep(std::function<Result()> begin);
  Result BeginDeviceCommand();
  // Answers the window's OK/Cancel question with --yes, and says so on standard error.
  Confirm Question(const char* text);
  void ReadTemperatureUnit();
  void ReadParameters();
  void SaveParameterReport();
  void ReadVariables();
  void Log();
  void Watch();
  void OpenLogFile();
  void RunSensorTest();
  void TriggerSensorTest();
  // Says why, when the sensor test refused or failed; the unit has then failed.
  void SensorFailure(const Result& result);
  void SaveSensorReport();
  // The time left of a started cycle on standard error, every ten seconds.
  void ShowCycleWait();
  // The question was declined, or the link was busy: the command started nothing that could end.
  void NothingStarted(const Result& result);
  // False, after saying so, when the file named by path could not be written.
  bool FileWritten(const Result& result, const std::string& path);
  void FileFailed(const std::string& path);
  void WindDown();

  // A value for standard output: "label: text", or a member of the JSON object.
  void Value(const std::string& label, const std::string& utf8);
  void Value(const std::string& label, long long number);
  std::string FullPath(const std::string& path) const;

  // MonitorEvents. Message lines, among them the port's comings and goings, go to standard error.
  void StepEnded(std::uint32_t objectId, StepOutcome outcome) override;
  void ParametersRead() override;
  void VariablePassEnded() override;
  void LogRecordWritten(int setNumber, bool written) override;
  void MessageAdded(int code, const std::string& line, TonePair tones) override;

  // SensorSequenceEvents: the entries, line by line, on standard output or into the JSON object.
  void EntryAdded(const std::string& entry) override;
  void StepFailed(const std::string& text) override;

  const CliOptions options_;
  TimerHost& timers_;
  Console& console_;
  std::function<int()> pendingSignal_;
  std::function<void()> onFinished_;

  ConsolePumpMessages pumpMessages_;
  Link link_;
  BytePump pump_;
  Ticker ticker_;
  PumpUnitLine unitLine_;
  Monitor monitor_;
  SensorSequence sensorTest_;
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
  bool sensorFailed_ = false;
  int cycleWaitShown_ = -1;  // the tens of seconds last shown
  std::vector<std::string> sensorLines_;
};

}  // namespace gelvar
