// The monitor without its window: communication mode, the operations a user can ask of the unit,
// message pane, read cycle, step handlers, parameter report and variable log. Every operation is a
// named call with its inputs; what happens later comes as events.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/common/file_appender.h"
#include "core/common/operation.h"
#include "core/common/tone_pair.h"
#include "core/line/line_port.h"
#include "core/monitor/device_model.h"
#include "core/monitor/message_pane.h"
#include "core/monitor/read_cycle.h"
#include "core/timing/timer_host.h"

namespace gelvar {

class BytePump;

// What a status text tells at a glance: the window colours it by this, never by its words.
enum class StatusKind { kPlain, kGood, kFault };

struct StatusText {
  const char* text;
  StatusKind kind;
};

inline constexpr int kDefaultComPort = 1;

// The questions the front ends put before an operation that cannot be undone.
inline constexpr const char* kFactorySettingsQuestion = "Are you shure to reset all parameters to default values?";
inline constexpr const char* kSensorTestQuestion =
    "The test monitor for moisture sensors should be used only by experienced engineers. Start it?";
inline constexpr const char* kUpdateQuestion =
    "Are you shure you really want to update the software of the detector unit?";

// Upper ends of the progress bars (all start at 0).
struct ProgressRanges {
  int parameters;
  int variables;
  int pause;
  int logging;
};

// What the monitor tells its front ends. Every method has an empty default.
class MonitorEvents {
 public:
  virtual ~MonitorEvents() = default;
  // A new line at the top of the message pane, and the tones that go with it; code 0 for a line of
  // the program's own.
  virtual void MessageAdded(int /*code*/, const std::string& /*line*/, TonePair /*tones*/) {}
  virtual void FieldsChanged() {}
  virtual void ProgressChanged() {}
  // COM port number, log interval, the status texts.
  virtual void StatusChanged() {}
  virtual void PortLost() {}
  virtual void PortBack() {}
  virtual void StepEnded(std::uint32_t /*objectId*/, StepOutcome /*outcome*/) {}
  virtual void ParametersRead() {}
  virtual void VariableReadingStarted() {}
  virtual void VariablePassEnded() {}
  virtual void LogRecordWritten(int /*setNumber*/, bool /*written*/) {}
};

// The line to the unit, which the monitor opens and closes.
class UnitLine {
 public:
  virtual ~UnitLine() = default;
  // False when the port could not be opened (the port has told the user why).
  virtual bool Open(int comPort) = 0;
  virtual void Close() = 0;
};

// The unit's line as channel 0 of a byte pump.
class PumpUnitLine : public UnitLine {
 public:
  explicit PumpUnitLine(BytePump& pump) : pump_(pump) {}
  bool Open(int comPort) override;
  void Close() override;

 private:
  BytePump& pump_;
};

// Follows the port's device through the byte pump (LineObserver): a lost device shows in the COM
// status and the message pane, and the values shown go stale until read again. The communication mode stays as it is,
// so reading and a running log go on by themselves once the device is back; while it is gone their steps find no reply.
class Monitor : public LineObserver, private StepHost, private ReadCycleHost {
 public:
  Monitor(Link& link, UnitLine& line, TimerHost& timers, FileAppender& files);
  ~Monitor() override;
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  void AddListener(MonitorEvents& listener);
  void RemoveListener(MonitorEvents& listener);

  // The window opens: starts the monitor's timer at the current tick period, mode 0.
  void Start();
  // One timer message (the timer Start starts calls it).
  void OnTimer();

  Result SetComPort(const Answer<int>& number);
  // The device behind the COM number changes only while the port is closed, like the number.
  Result MayChooseSerialDevice();
  Result OpenPort();
  Result ClosePort();
  Result TestCommunication();
  Result StartMinHeatTime();
  Result StopMinHeatTime();
  Result StartMoistureCycle(int sensor);  // 0 or 1
  Result FactorySettings(const Confirm& confirm);
  Result ReadParameters();
  Result SaveParameters(const Answer<std::string>& path);
  Result StartReadingVariables();
  Result StopReadingVariables();
  Result SetLogInterval(const Answer<int>& minutes);
  Result OpenLogFile(const Answer<std::string>& path);
  Result StartLogging();
  Result StopLogging();
  // Done: allowed and confirmed, the front end opens its sensor test or update.
  Result SensorTest(const Confirm& confirm);
  Result Update(const Confirm& confirm);
  // Closes the port; the program ends.
  void Exit();

  // A line of the program's own on top of the message pane, with its tones.
  void AddLine(const std::string& line);

  void LineLost(int portNumber) override;
  void LineBack(int portNumber) override;

  int Mode() const { return mode_; }
  const DisplayFields& Fields() const { return model_.Fields(); }
  const VariableSnapshot& Snapshot() const { return model_.Snapshot(); }
  int TemperatureUnitCode() const { return model_.TemperatureUnitCode(); }
  const std::string& MessageText() const { return pane_.Text(); }
  int ComPortNumber() const { return comPortNumber_; }
  int LogMinutes() const { return cycle_.LogMinutes(); }
  int LogSetCounter() const { return cycle_.LogSetCounter(); }
  StatusText ComStatus() const { return comStatus_; }
  StatusText LogStatus() const { return logStatus_; }
  const ProgressValues& Progress() const { return cycle_.Progress(); }
  ProgressRanges ProgressRange() const;
  const std::string& ReportFileName() const { return reportFileName_; }
  const std::string& LogFileName() const { return logFileName_; }
  bool LogFileChosen() const { return logFileChosen_; }

 private:
  // Per mode 0..5: 0 carries the operation out, any other value is the message that refuses it.
  using ModeRule = std::array<int, 6>;
  // Empty when the rule allows the operation in the current mode; else the refusal, its message added.
  std::optional<Result> Refusal(const ModeRule& rule);

  Result CommandStep(const ModeRule& rule, StepHandler handler, int argument);
  Result BeginCommandStep(StepHandler handler, int argument);
  Result AskFirst(const ModeRule& rule, const Confirm& confirm);
  // Appends bytes() to the file the answer names, kept in name. The error text names the file.
  Result AppendToChosenFile(const Answer<std::string>& path, const char* openError, std::string& name,
                            const std::function<std::string()>& bytes);
  void SetComStatus(StatusText status);
  void MarkFieldsStale();

  template <typename Method, typename... Args>
  void Tell(Method method, const Args&... args) {
    for (MonitorEvents* listener : std::vector<MonitorEvents*>(listeners_)) (listener->*method)(args...);
  }

  // StepHost and ReadCycleHost.
  int BeginStep(StepHandler handler, std::uint32_t objectId) override;
  ObjectRequest& StepRequest() override { return cycle_.StepRequest(); }
  // Ends mode 2 only: a reader started while the command ran keeps its mode.
  void CommandReplied() override;
  void AddMessage(int code) override;
  void Refresh() override { Tell(&MonitorEvents::FieldsChanged); }
  void WriteLogRecord(int setNumber) override;
  void ParametersRead() override;
  void VariablePassEnded() override { Tell(&MonitorEvents::VariablePassEnded); }
  void StepEnded(std::uint32_t objectId, StepOutcome outcome) override {
    Tell(&MonitorEvents::StepEnded, objectId, outcome);
  }

  const Link& link_;
  UnitLine& line_;
  TimerHost& timers_;
  FileAppender& files_;
  std::vector<MonitorEvents*> listeners_;
  DeviceModel model_;
  ReadCycle cycle_;
  MessagePane pane_;
  TimerId timer_ = -1;

  int mode_ = kPortClosed;
  int comPortNumber_ = kDefaultComPort;
  StatusText comStatus_;
  StatusText logStatus_;
  std::string reportFileName_;
  std::string logFileName_;
  bool logFileChosen_ = false;
};

}  // namespace gelvar
