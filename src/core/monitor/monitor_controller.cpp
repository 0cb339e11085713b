#include "core/monitor/monitor_controller.h"

#include "core/link/link.h"
#include "core/monitor/parameter_report.h"
#include "core/monitor/variable_log.h"

namespace gelvar {
namespace {

constexpr int kAct = 0;
constexpr int kMinComPort = 1;
constexpr int kMaxComPort = 255;
constexpr int kMinLogMinutes = 1;
constexpr int kMaxLogMinutes = 60;

constexpr StatusText kComPortOpen{"COM Port Open", StatusKind::kGood};
constexpr StatusText kComPortClosed{"COM Port Closed", StatusKind::kPlain};
constexpr StatusText kComPortLost{"COM Port Lost", StatusKind::kFault};
constexpr StatusText kNoLogging{"No Logging", StatusKind::kPlain};
constexpr StatusText kLoggingActive{"Logging Activ", StatusKind::kGood};
constexpr StatusText kLastRecordFailed{"Last record failed", StatusKind::kFault};

// What each command does in modes 0 (port closed) to 5 (logging).
constexpr std::array<int, 6> kNeedsClosedPort = {kAct, 28, 28, 28, 28, 28};
constexpr std::array<int, 6> kCloseRule = {kAct, kAct, 20, 20, 20, 20};
constexpr std::array<int, 6> kNeedsIdleLink = {15, kAct, 20, 20, 20, 20};
constexpr std::array<int, 6> kDeviceCommand = {15, kAct, 24, 20, 20, 20};
constexpr std::array<int, 6> kReadParametersRule = {15, kAct, 20, 5, 20, 20};
constexpr std::array<int, 6> kSaveParametersRule = {kAct, kAct, kAct, 5, kAct, kAct};
constexpr std::array<int, 6> kStartVariablesRule = {15, kAct, 20, 20, 8, 20};
constexpr std::array<int, 6> kStopVariablesRule = {23, 23, 23, 23, kAct, 22};
constexpr std::array<int, 6> kOpenLogFileRule = {kAct, kAct, kAct, kAct, kAct, 22};
constexpr std::array<int, 6> kStartLoggingRule = {15, 23, 23, 23, kAct, 22};
constexpr std::array<int, 6> kStopLoggingRule = {26, 26, 26, 26, 26, kAct};

constexpr const char* kFactoryQuestion = "Are you shure to reset all parameters to default values?";
constexpr const char* kTestMonitorQuestion =
    "The test monitor for moisture sensors should be used only by experienced engineers. Start it?";
constexpr const char* kUpdateQuestion = "Are you shure you really want to update the software of the detector unit?";

}  // namespace

MonitorController::MonitorController(Link& link, MonitorView& view, TimerHost& timers, FileAppender& files)
    : link_(link),
      view_(view),
      timers_(timers),
      files_(files),
      model_(*this),
      cycle_(link, model_, *this),
      comStatus_(kComPortClosed),
      logStatus_(kNoLogging) {}

MonitorController::~MonitorController() {
  if (timer_ >= 0) timers_.StopTimer(timer_);
}

void MonitorController::Open() {
  if (timer_ < 0) timer_ = timers_.StartTimer(link_.periods.tick, [this] { OnTimer(); });
  mode_ = kPortClosed;
  view_.Refresh();
}

ProgressRanges MonitorController::ProgressRange() const {
  return {static_cast<int>(kParameterCount) - 1, static_cast<int>(kVariableCount) - 1, kVariablePauseMs,
          60 * cycle_.LogMinutes()};
}

void MonitorController::OnTimer() {
  const ProgressValues before = cycle_.Progress();
  cycle_.OnTimer();
  // A command refused while another step ran waits for that step to end, however it ends.
  if (mode_ == kCommandRunning && cycle_.StepIdle()) mode_ = kPortOpen;
  if (!(cycle_.Progress() == before)) view_.ProgressChanged();
}

bool MonitorController::Allowed(const ModeRule& rule) {
  const int code = rule[static_cast<std::size_t>(mode_)];
  if (code == kAct) return true;
  AddMessage(code);
  return false;
}

bool MonitorController::Command(int commandId) {
  switch (commandId) {
    case kCmdSetComPort: SetComPort(); break;
    case kCmdChooseSerialDevice:
      // Like the COM number, the device behind it changes only while the port is closed.
      if (Allowed(kNeedsClosedPort)) view_.ChooseSerialDevice(comPortNumber_);
      view_.Refresh();
      break;
    case kCmdOpenComPort: OpenComPort(); break;
    case kCmdCloseComPort: CloseComPort(); break;
    case kCmdTestCommunication:
      if (Allowed(kNeedsIdleLink)) BeginCommandStep(&DeviceModel::CmdTestCommunication, 0);
      break;
    case kCmdShowProtocolWindow: view_.ShowProtocolWindow(); break;
    case kCmdExit: Exit(); break;
    case kCmdStartMinHeatTime:
    case kCmdStopMinHeatTime:
      if (Allowed(kDeviceCommand)) {
        BeginCommandStep(&DeviceModel::CmdMinHeatTime, commandId == kCmdStartMinHeatTime);
      }
      break;
    case kCmdStartCycleSensor1:
    case kCmdStartCycleSensor2:
      if (Allowed(kDeviceCommand)) {
        BeginCommandStep(&DeviceModel::CmdMoistureCycle, commandId == kCmdStartCycleSensor2);
      }
      break;
    case kCmdFactorySettings: FactorySettings(); break;
    case kCmdReadParameters: ReadParameters(); break;
    case kCmdSaveParameters: SaveParameters(); break;
    case kCmdStartReadingVariables: StartReadingVariables(); break;
    case kCmdStopReadingVariables: StopReadingVariables(); break;
    case kCmdSetLogInterval: SetLogInterval(); break;
    case kCmdOpenLogFile: OpenLogFile(); break;
    case kCmdStartLogging: StartLogging(); break;
    case kCmdStopLogging: StopLogging(); break;
    case kCmdTestMonitor:
      AskAndRun(kNeedsIdleLink, kTestMonitorQuestion, BoxIcon::kExclamation, &MonitorView::RunSensorTest);
      break;
    case kCmdUpdate:
    case kCmdProgramUpdate:
      AskAndRun(kNeedsIdleLink, kUpdateQuestion, BoxIcon::kStop, &MonitorView::RunUpdateDialog);
      break;
    case kCmdUnused1:
    case kCmdUnused2: break;
    case kCmdShowReadMe: view_.ShowReadMe(); break;
    case kCmdAbout: view_.ShowAbout(); break;
    default: return false;
  }
  return true;
}

void MonitorController::SetComPort() {
  if (!Allowed(kNeedsClosedPort)) return;
  int value = comPortNumber_;
  if (!view_.AskNumber("Set COM Port (1..255):", value) || value < kMinComPort || value > kMaxComPort) return;
  comPortNumber_ = value;
  view_.Refresh();
}

void MonitorController::OpenComPort() {
  // The port is opened only from mode 0; reopening it would pull it from under a running reader.
  if (!Allowed(kNeedsClosedPort)) return;
  if (view_.OpenChannel(0, comPortNumber_) != 0) {
    mode_ = kPortOpen;
    comStatus_ = kComPortOpen;
    AddMessage(kMsgPortOpened);
  }
  view_.Refresh();
}

void MonitorController::CloseComPort() {
  if (!Allowed(kCloseRule)) return;
  if (mode_ == kPortOpen) {
    view_.CloseChannel(0);
    mode_ = kPortClosed;
  }
  comStatus_ = kComPortClosed;
  AddMessage(kMsgPortClosed);
  view_.Refresh();
}

void MonitorController::LineLost(int /*portNumber*/) {
  comStatus_ = kComPortLost;
  view_.Refresh();
}

void MonitorController::LineBack(int /*portNumber*/) {
  comStatus_ = kComPortOpen;
  view_.Refresh();
}

void MonitorController::BeginCommandStep(StepHandler handler, int argument) {
  if ((model_.*handler)(1, argument) != kStepRefused) return;
  AddMessage(kMsgTransferError);
  mode_ = kCommandRunning;
}

void MonitorController::FactorySettings() {
  if (!Allowed(kDeviceCommand)) return;
  if (!view_.AskOkCancel(kFactoryQuestion, BoxIcon::kQuestion, DefaultButton::kOk)) return;
  BeginCommandStep(&DeviceModel::CmdFactorySettings, 0);
}

void MonitorController::ReadParameters() {
  if (!Allowed(kReadParametersRule)) return;
  cycle_.StartParameterReading();
  mode_ = kReadingParameters;
}

void MonitorController::SaveParameters() {
  if (!Allowed(kSaveParametersRule)) return;
  const FileChoice report{FileDialogKind::kSave, kReportDefaultName, kReportDefaultExtension, kReportOpenError};
  if (!AppendToChosenFile(report, reportFileName_,
                          [&] { return ParameterReport(model_.Fields(), timers_.CalendarTime()); })) {
    return;
  }
  AddMessage(kMsgParametersStored);
}

void MonitorController::StartReadingVariables() {
  if (!Allowed(kStartVariablesRule)) return;
  cycle_.StartVariableReading();
  mode_ = kReadingVariables;
  if (listener_ != nullptr) listener_->VariableReadingStarted();
  AddMessage(kMsgVariablesStarted);
}

void MonitorController::StopReadingVariables() {
  if (!Allowed(kStopVariablesRule)) return;
  cycle_.StopVariableReading();
  mode_ = kPortOpen;
  AddMessage(kMsgVariablesStopped);
}

void MonitorController::SetLogInterval() {
  int value = cycle_.LogMinutes();
  if (!view_.AskNumber("Set Log Intervall (1..60 min):", value) || value < kMinLogMinutes || value > kMaxLogMinutes) {
    return;
  }
  cycle_.SetLogMinutes(value);
  view_.Refresh();
}

void MonitorController::OpenLogFile() {
  if (!Allowed(kOpenLogFileRule)) return;
  if (logFileChosen_) {
    AddMessage(kMsgLogfileAlreadyOpened);
    return;
  }
  const FileChoice log{FileDialogKind::kOpen, kLogDefaultName, kLogDefaultExtension, kLogOpenError};
  logFileChosen_ = AppendToChosenFile(log, logFileName_,
                                      [&] { return LogHeader(timers_.CalendarTime(), model_.TemperatureUnitCode()); });
}

bool MonitorController::AppendToChosenFile(const FileChoice& choice, std::string& name,
                                           const std::function<std::string()>& bytes) {
  std::string path;
  if (!view_.ChooseFile(choice.kind, choice.defaultName, choice.defaultExtension, path)) return false;
  name = path;
  const AppendResult result = files_.Append(path, bytes(), IfMissing::kCreate);
  if (result.Written()) return true;
  view_.Alert(FileErrorText(choice.openError, path, result.reason), BoxIcon::kQuestion);
  return false;
}

void MonitorController::StartLogging() {
  if (!Allowed(kStartLoggingRule)) return;
  if (!logFileChosen_) {
    AddMessage(kMsgLogfileNotOpened);
    return;
  }
  cycle_.StartLogging();
  mode_ = kLoggingVariables;
  logStatus_ = kLoggingActive;
  AddMessage(kMsgLoggingStarted);
}

void MonitorController::StopLogging() {
  if (!Allowed(kStopLoggingRule)) return;
  logFileChosen_ = false;
  cycle_.StopLogging();
  mode_ = kReadingVariables;
  logStatus_ = kNoLogging;
  AddMessage(kMsgLogStored);
}

void MonitorController::AskAndRun(const ModeRule& rule, const char* question, BoxIcon icon,
                                  void (MonitorView::*run)()) {
  if (!Allowed(rule)) return;
  if (view_.AskOkCancel(question, icon, DefaultButton::kCancel)) (view_.*run)();
}

void MonitorController::Exit() {
  view_.CloseChannel(0);
  view_.EndDialog();
}

int MonitorController::BeginStep(StepHandler handler, std::uint32_t objectId) {
  return cycle_.BeginStep(handler, objectId);
}

void MonitorController::CommandReplied() {
  if (mode_ == kCommandRunning) mode_ = kPortOpen;
}

void MonitorController::AddMessage(int code) {
  const MessageContext context{cycle_.CurrentObjectId(), cycle_.CurrentHandler() == &DeviceModel::CmdTestCommunication,
                               reportFileName_, logFileName_};
  const std::string line = MessageLine(code, context);
  if (!line.empty()) AddLine(line);
}

void MonitorController::AddLine(const std::string& line) {
  pane_.Add(line);
  if (listener_ != nullptr) listener_->MessageAdded(line);
  const TonePair tones = MessageTones(line);
  view_.PlayTones(tones.frequency1, tones.milliseconds1, tones.frequency2, tones.milliseconds2);
  view_.Refresh();
}

void MonitorController::Refresh() { view_.Refresh(); }

void MonitorController::WriteLogRecord(int setNumber) {
  const std::time_t now = timers_.CalendarTime();
  // The first record of a run can come mid-pass: the step awaiting its reply has set its values to
  // not read, but the record takes them as the pass before left them.
  const VariableSnapshot& values = cycle_.StepAwaitingReply() ? model_.SnapshotBeforeStep() : model_.Snapshot();
  const std::string record = LogRecord(setNumber, now, values);
  AppendResult result{AppendStatus::kFailed, {}};
  if (!record.empty()) result = files_.Append(logFileName_, record, IfMissing::kReport);
  // A file moved or deleted while logging: the new one starts with its header lines, so that it reads
  // like any other log, and the user learns that the records before are elsewhere.
  const bool restarted = result.status == AppendStatus::kMissing;
  if (restarted) {
    result = files_.Append(logFileName_, LogHeader(now, model_.TemperatureUnitCode()) + record, IfMissing::kCreate);
  }
  // The set number of a lost record stays unused, and the status says so until a record gets through.
  logStatus_ = result.Written() ? kLoggingActive : kLastRecordFailed;
  if (restarted && result.Written()) AddMessage(kMsgLogfileMissing);
  if (listener_ != nullptr) listener_->LogRecordWritten(setNumber, result.Written());
}

void MonitorController::ParametersRead() {
  mode_ = kPortOpen;
  if (listener_ != nullptr) listener_->ParametersRead();
}

void MonitorController::VariablePassEnded() {
  if (listener_ != nullptr) listener_->VariablePassEnded();
}

void MonitorController::StepEnded(std::uint32_t objectId, StepOutcome outcome) {
  if (listener_ != nullptr) listener_->StepEnded(objectId, outcome);
}

}  // namespace gelvar
