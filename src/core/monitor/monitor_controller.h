// The behaviour of the main window without the window: communication mode, menu commands, message
// pane, read cycle, step handlers, parameter report and variable log.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/common/file_appender.h"
#include "core/line/line_port.h"
#include "core/monitor/device_model.h"
#include "core/monitor/message_pane.h"
#include "core/monitor/monitor_view.h"
#include "core/monitor/read_cycle.h"
#include "core/timing/timer_host.h"

namespace gelvar {

enum CommandId : int {
  kCmdOpenLogFile = 32772,
  kCmdOpenComPort = 32775,
  kCmdCloseComPort = 32776,
  kCmdAbout = 32778,
  kCmdExit = 32779,
  kCmdUpdate = 32782,
  kCmdTestMonitor = 32783,
  kCmdShowProtocolWindow = 32784,
  kCmdUnused1 = 32795,
  kCmdUnused2 = 32796,
  kCmdStartMinHeatTime = 32798,
  kCmdStopMinHeatTime = 32799,
  kCmdStartCycleSensor1 = 32800,
  kCmdStartCycleSensor2 = 32801,
  kCmdFactorySettings = 32802,
  kCmdReadParameters = 32803,
  kCmdStartLogging = 32804,
  kCmdStopLogging = 32805,
  kCmdStartReadingVariables = 32806,
  kCmdStopReadingVariables = 32807,
  kCmdSaveParameters = 32808,
  kCmdTestCommunication = 32809,
  kCmdSetComPort = 32810,
  kCmdSetLogInterval = 32811,
  kCmdShowReadMe = 32812,
  kCmdProgramUpdate = 32813,
  kCmdChooseSerialDevice = 32814,
  // Carried out by the trend windows, not by the controller.
  kCmdShowTrend = 32815,
  kCmdPlotLogFile = 32816,
};

// Control IDs of the four progress bars and the two status texts.
enum MonitorControlId : int {
  kProgressParameters = 1077,
  kProgressVariables = 1078,
  kProgressPause = 1081,
  kProgressLogging = 1084,
  kStatusComPort = 1079,
  kStatusLogging = 1080,
};

// What a status text tells at a glance: the window colours it by this, never by its words.
enum class StatusKind { kPlain, kGood, kFault };

struct StatusText {
  const char* text;
  StatusKind kind;
};

inline constexpr int kDefaultComPort = 1;

// Upper ends of the progress bars (all start at 0).
struct ProgressRanges {
  int parameters;
  int variables;
  int pause;
  int logging;
};

// Follows the port's device through the byte pump (LineObserver): status text 1079 shows a lost
// device. The communication mode stays as it is, so reading and a running log go on by themselves
// once the device is back; while it is gone their steps find no reply.
class MonitorController : public LineObserver, private StepHost, private ReadCycleHost {
 public:
  MonitorController(Link& link, MonitorView& view, TimerHost& timers, FileAppender& files);
  ~MonitorController() override;
  MonitorController(const MonitorController&) = delete;
  MonitorController& operator=(const MonitorController&) = delete;

  // The window opens: starts the window timer at the current tick period, mode 0.
  void Open();
  // One menu command; false when no command has this number.
  bool Command(int commandId);
  // One window timer message (the timer started by Open calls it).
  void OnTimer();

  void SetListener(MonitorListener* listener) { listener_ = listener; }
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
  std::string ComStatusText() const { return comStatus_.text; }
  std::string LogStatusText() const { return logStatus_.text; }
  StatusKind ComStatusKind() const { return comStatus_.kind; }
  StatusKind LogStatusKind() const { return logStatus_.kind; }
  const ProgressValues& Progress() const { return cycle_.Progress(); }
  ProgressRanges ProgressRange() const;
  const std::string& ReportFileName() const { return reportFileName_; }
  const std::string& LogFileName() const { return logFileName_; }
  bool LogFileChosen() const { return logFileChosen_; }

 private:
  // Per mode 0..5: 0 carries the command out, any other value is the message that refuses it.
  using ModeRule = std::array<int, 6>;
  bool Allowed(const ModeRule& rule);

  void SetComPort();
  void OpenComPort();
  void CloseComPort();
  void BeginCommandStep(StepHandler handler, int argument);
  void FactorySettings();
  void ReadParameters();
  void SaveParameters();
  void StartReadingVariables();
  void StopReadingVariables();
  void SetLogInterval();
  void OpenLogFile();
  void StartLogging();
  void StopLogging();
  struct FileChoice {
    FileDialogKind kind;
    const char* defaultName;
    const char* defaultExtension;
    const char* openError;
  };
  // Asks for a file, keeps its path in name and appends bytes() to it. False when the user
  // cancelled, or when the file could not be written (after its box).
  bool AppendToChosenFile(const FileChoice& choice, std::string& name, const std::function<std::string()>& bytes);
  void AskAndRun(const ModeRule& rule, const char* question, BoxIcon icon, void (MonitorView::*run)());
  void Exit();

  // StepHost and ReadCycleHost.
  int BeginStep(StepHandler handler, std::uint32_t objectId) override;
  ObjectRequest& StepRequest() override { return cycle_.StepRequest(); }
  // Ends mode 2 only: a reader started while the command ran keeps its mode.
  void CommandReplied() override;
  void AddMessage(int code) override;
  void Refresh() override;
  void WriteLogRecord(int setNumber) override;
  void ParametersRead() override;
  void VariablePassEnded() override;
  void StepEnded(std::uint32_t objectId, StepOutcome outcome) override;

  const Link& link_;
  MonitorView& view_;
  TimerHost& timers_;
  FileAppender& files_;
  MonitorListener* listener_ = nullptr;
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
