#include "core/monitor/monitor.h"

#include <algorithm>

#include "core/line/byte_pump.h"
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

// What each operation does in modes 0 (port closed) to 5 (logging).
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

// The answer, when there is one and it lies in [low, high].
std::optional<int> InRange(const Answer<int>& answer, int low, int high) {
  const std::optional<int> value = answer();
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

}  // namespace

bool PumpUnitLine::Open(int comPort) { return pump_.OpenChannel(0, comPort) != 0; }

void PumpUnitLine::Close() { pump_.CloseChannel(0); }

Monitor::Monitor(Link& link, UnitLine& line, TimerHost& timers, FileAppender& files)
    : link_(link),
      line_(line),
      timers_(timers),
      files_(files),
      model_(*this),
      cycle_(link, model_, *this),
      comStatus_(kComPortClosed),
      logStatus_(kNoLogging) {}

Monitor::~Monitor() {
  if (timer_ >= 0) timers_.StopTimer(timer_);
}

void Monitor::AddListener(MonitorEvents& listener) { listeners_.push_back(&listener); }

void Monitor::RemoveListener(MonitorEvents& listener) { std::erase(listeners_, &listener); }

void Monitor::Start() {
  if (timer_ < 0) timer_ = timers_.StartTimer(link_.periods.tick, [this] { OnTimer(); });
  mode_ = kPortClosed;
  Tell(&MonitorEvents::StatusChanged);
}

ProgressRanges Monitor::ProgressRange() const {
  return {static_cast<int>(kParameterCount) - 1, static_cast<int>(kVariableCount) - 1, kVariablePauseMs,
          60 * cycle_.LogMinutes()};
}

void Monitor::OnTimer() {
  const ProgressValues before = cycle_.Progress();
  cycle_.OnTimer();
  // An operation refused while another step ran waits for that step to end, however it ends.
  if (mode_ == kCommandRunning && cycle_.StepIdle()) mode_ = kPortOpen;
  if (!(cycle_.Progress() == before)) Tell(&MonitorEvents::ProgressChanged);
}

std::optional<Result> Monitor::Refusal(const ModeRule& rule) {
  const int code = rule[static_cast<std::size_t>(mode_)];
  if (code == kAct) return std::nullopt;
  AddMessage(code);
  return Result::Refused(code);
}

Result Monitor::SetComPort(const Answer<int>& number) {
  if (auto refused = Refusal(kNeedsClosedPort)) return *refused;
  const std::optional<int> value = InRange(number, kMinComPort, kMaxComPort);
  if (!value) return Result::Cancelled();
  comPortNumber_ = *value;
  Tell(&MonitorEvents::StatusChanged);
  return Result::Done();
}

Result Monitor::MayChooseSerialDevice() { return Refusal(kNeedsClosedPort).value_or(Result::Done()); }

Result Monitor::OpenPort() {
  // The port is opened only from mode 0; reopening it would pull it from under a running reader.
  if (auto refused = Refusal(kNeedsClosedPort)) return *refused;
  if (!line_.Open(comPortNumber_)) return Result::Failed({});
  mode_ = kPortOpen;
  comStatus_ = kComPortOpen;
  AddMessage(kMsgPortOpened);
  Tell(&MonitorEvents::StatusChanged);
  return Result::Done();
}

Result Monitor::ClosePort() {
  if (auto refused = Refusal(kCloseRule)) return *refused;
  if (mode_ == kPortOpen) {
    line_.Close();
    mode_ = kPortClosed;
  }
  comStatus_ = kComPortClosed;
  MarkFieldsStale();
  AddMessage(kMsgPortClosed);
  Tell(&MonitorEvents::StatusChanged);
  return Result::Done();
}

void Monitor::LineLost(int /*portNumber*/) {
  SetComStatus(kComPortLost);
  MarkFieldsStale();
  AddMessage(kMsgPortLost);
  Tell(&MonitorEvents::PortLost);
}

void Monitor::LineBack(int /*portNumber*/) {
  SetComStatus(kComPortOpen);
  AddMessage(kMsgPortReopened);
  Tell(&MonitorEvents::PortBack);
}

// Until read again, the values shown are from before the port went.
void Monitor::MarkFieldsStale() {
  model_.MarkFieldsStale();
  Tell(&MonitorEvents::FieldsChanged);
}

void Monitor::SetComStatus(StatusText status) {
  comStatus_ = status;
  Tell(&MonitorEvents::StatusChanged);
}

Result Monitor::TestCommunication() { return CommandStep(kNeedsIdleLink, &DeviceModel::CmdTestCommunication, 0); }

Result Monitor::StartMinHeatTime() { return CommandStep(kDeviceCommand, &DeviceModel::CmdMinHeatTime, 1); }

Result Monitor::StopMinHeatTime() { return CommandStep(kDeviceCommand, &DeviceModel::CmdMinHeatTime, 0); }

Result Monitor::StartMoistureCycle(int sensor) {
  return CommandStep(kDeviceCommand, &DeviceModel::CmdMoistureCycle, sensor);
}

Result Monitor::FactorySettings(const Confirm& confirm) {
  if (auto refused = Refusal(kDeviceCommand)) return *refused;
  // The question may run an event loop; the step begins as the mode then stands, asked no more.
  if (!confirm()) return Result::Cancelled();
  return BeginCommandStep(&DeviceModel::CmdFactorySettings, 0);
}

Result Monitor::CommandStep(const ModeRule& rule, StepHandler handler, int argument) {
  if (auto refused = Refusal(rule)) return *refused;
  return BeginCommandStep(handler, argument);
}

Result Monitor::BeginCommandStep(StepHandler handler, int argument) {
  if ((model_.*handler)(1, argument) != kStepRefused) return Result::Started();
  AddMessage(kMsgTransferError);
  mode_ = kCommandRunning;
  return Result::Refused(kMsgTransferError);
}

Result Monitor::ReadParameters() {
  if (auto refused = Refusal(kReadParametersRule)) return *refused;
  cycle_.StartParameterReading();
  mode_ = kReadingParameters;
  return Result::Started();
}

Result Monitor::SaveParameters(const Answer<std::string>& path) {
  if (auto refused = Refusal(kSaveParametersRule)) return *refused;
  Result result = AppendToChosenFile(path, kReportOpenError, reportFileName_,
                                     [&] { return ParameterReport(model_.Fields(), timers_.CalendarTime()); });
  if (result.status == Status::kDone) AddMessage(kMsgParametersStored);
  return result;
}

Result Monitor::StartReadingVariables() {
  if (auto refused = Refusal(kStartVariablesRule)) return *refused;
  cycle_.StartVariableReading();
  mode_ = kReadingVariables;
  Tell(&MonitorEvents::VariableReadingStarted);
  AddMessage(kMsgVariablesStarted);
  return Result::Started();
}

Result Monitor::StopReadingVariables() {
  if (auto refused = Refusal(kStopVariablesRule)) return *refused;
  cycle_.StopVariableReading();
  mode_ = kPortOpen;
  AddMessage(kMsgVariablesStopped);
  return Result::Done();
}

Result Monitor::SetLogInterval(const Answer<int>& minutes) {
  const std::optional<int> value = InRange(minutes, kMinLogMinutes, kMaxLogMinutes);
  if (!value) return Result::Cancelled();
  cycle_.SetLogMinutes(*value);
  Tell(&MonitorEvents::StatusChanged);
  return Result::Done();
}

Result Monitor::OpenLogFile(const Answer<std::string>& path) {
  if (auto refused = Refusal(kOpenLogFileRule)) return *refused;
  if (logFileChosen_) {
    AddMessage(kMsgLogfileAlreadyOpened);
    return Result::Refused(kMsgLogfileAlreadyOpened);
  }
  Result result = AppendToChosenFile(path, kLogOpenError, logFileName_,
                                     [&] { return LogHeader(timers_.CalendarTime(), model_.TemperatureUnitCode()); });
  logFileChosen_ = result.status == Status::kDone;
  return result;
}

Result Monitor::AppendToChosenFile(const Answer<std::string>& path, const char* openError, std::string& name,
                                   const std::function<std::string()>& bytes) {
  const std::optional<std::string> chosen = path();
  if (!chosen) return Result::Cancelled();
  name = *chosen;
  const AppendResult result = files_.Append(name, bytes(), IfMissing::kCreate);
  if (result.Written()) return Result::Done();
  return Result::Failed(FileErrorText(openError, name, result.reason));
}

Result Monitor::StartLogging() {
  if (auto refused = Refusal(kStartLoggingRule)) return *refused;
  if (!logFileChosen_) {
    AddMessage(kMsgLogfileNotOpened);
    return Result::Refused(kMsgLogfileNotOpened);
  }
  cycle_.StartLogging();
  mode_ = kLoggingVariables;
  logStatus_ = kLoggingActive;
  AddMessage(kMsgLoggingStarted);
  return Result::Started();
}

Result Monitor::StopLogging() {
  if (auto refused = Refusal(kStopLoggingRule)) return *refused;
  logFileChosen_ = false;
  cycle_.StopLogging();
  mode_ = kReadingVariables;
  logStatus_ = kNoLogging;
  AddMessage(kMsgLogStored);
  return Result::Done();
}

Result Monitor::SensorTest(const Confirm& confirm) { return AskFirst(kNeedsIdleLink, confirm); }

Result Monitor::Update(const Confirm& confirm) { return AskFirst(kNeedsIdleLink, confirm); }

Result Monitor::AskFirst(const ModeRule& rule, const Confirm& confirm) {
  if (auto refused = Refusal(rule)) return *refused;
  return confirm() ? Result::Done() : Result::Cancelled();
}

void Monitor::Exit() { line_.Close(); }

int Monitor::BeginStep(StepHandler handler, std::uint32_t objectId) { return cycle_.BeginStep(handler, objectId); }

void Monitor::CommandReplied() {
  if (mode_ == kCommandRunning) mode_ = kPortOpen;
}

void Monitor::AddMessage(int code) {
  const MessageContext context{cycle_.CurrentObjectId(), cycle_.CurrentHandler() == &DeviceModel::CmdTestCommunication,
                               reportFileName_, logFileName_};
  const std::string line = MessageLine(code, context);
  if (line.empty()) return;
  pane_.Add(line);
  Tell(&MonitorEvents::MessageAdded, code, line, MessageTones(line));
}

void Monitor::AddLine(const std::string& line) {
  pane_.Add(line);
  Tell(&MonitorEvents::MessageAdded, 0, line, MessageTones(line));
}

void Monitor::WriteLogRecord(int setNumber) {
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
  Tell(&MonitorEvents::LogRecordWritten, setNumber, result.Written());
}

void Monitor::ParametersRead() {
  mode_ = kPortOpen;
  Tell(&MonitorEvents::ParametersRead);
}

}  // namespace gelvar
