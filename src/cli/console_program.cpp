#include "cli/console_program.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "cli/field_table.h"
#include "cli/json_values.h"

namespace gelvar {
namespace {

constexpr int kSignalExitBase = 128;
constexpr const char* kProgram = "gelvar-cli: ";

const char* OutcomeText(StepOutcome outcome) {
  switch (outcome) {
    case StepOutcome::kAccepted: return "accepted";
    case StepOutcome::kWrongFormat: return "wrong format";
    case StepOutcome::kWrongCommand: return "wrong command";
    case StepOutcome::kNoReply: return "no reply";
    case StepOutcome::kNothingRunning: return "lost";
  }
  return "";
}

bool IsSensorTest(CliCommand command) {
  return command == CliCommand::kSensorTemperature || command == CliCommand::kSensorStartCycle ||
         command == CliCommand::kSensorReadRecorded;
}

// A sensor test entry split into its lines, blank ones left out.
std::vector<std::string> EntryLines(const std::string& entry) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; start <= entry.size(); start = end + 2) {
    end = entry.find("\r\n", start);
    if (end == std::string::npos) end = entry.size();
    if (end > start) lines.push_back(TerminalText(entry.substr(start, end - start)));
  }
  return lines;
}

}  // namespace

ConsoleProgram::ConsoleProgram(const CliOptions& options, TimerHost& timers, LinePort& port, FileAppender& files,
                               Console& console, std::function<int()> pendingSignal)
    : options_(options),
      timers_(timers),
      console_(console),
      pendingSignal_(std::move(pendingSignal)),
      pumpMessages_(console),
      pump_(link_, port, pumpMessages_),
      ticker_(link_, timers),
      unitLine_(pump_),
      monitor_(link_, unitLine_, timers, files),
      sensorTest_(link_, timers, files) {
  monitor_.AddListener(*this);
  pump_.SetLineObserver(&monitor_);
  json_.String("command", options_.commandName);
  if (options_.json) console_.KeepErrLines();
}

ConsoleProgram::~ConsoleProgram() {
  pump_.SetLineObserver(nullptr);
  monitor_.RemoveListener(*this);
  if (scriptTimer_ >= 0) timers_.StopTimer(scriptTimer_);
}

void ConsoleProgram::Start(std::function<void()> onFinished) {
  onFinished_ = std::move(onFinished);
  // As the window program starts: the tick, the protocol window's pump, the link, the main window.
  ticker_.Start(kStartTickPeriodMs);
  pump_.Run(timers_, {});
  StartLink(link_);
  monitor_.Start();
  BuildScript();
  scriptTimer_ = timers_.StartTimer(link_.periods.tick, [this] { Advance(); });
}

int ConsoleProgram::ExitStatus() const {
  if (portFailed_ || publishingFailed_) return kExitPort;
  if (fileFailed_) return kExitFile;
  if (declined_) return kExitUsage;
  const bool endsBySignal = options_.command == CliCommand::kLog || options_.command == CliCommand::kWatch;
  if (stopSignal_ != 0 && !endsBySignal) return kSignalExitBase + stopSignal_;
  if (unitFailed_) return kExitUnit;
  return kExitDone;
}

void ConsoleProgram::Do(std::function<void()> action) {
  script_.push_back([action = std::move(action)] {
    action();
    return true;
  });
}

void ConsoleProgram::Advance() {
  if (finished_) return;
  if (stopSignal_ == 0 && pendingSignal_) {
    stopSignal_ = pendingSignal_();
    if (stopSignal_ != 0) Stop();
  }
  // Nobody reads what a command prints any more; a log goes on, its result is the file.
  if (OutputIsResult(options_.command) && console_.OutLost()) Stop();
  for (;;) {
    if (stopRequested_ && !windingDown_) {
      windingDown_ = true;
      script_.erase(script_.begin() + static_cast<std::ptrdiff_t>(next_), script_.end());
      Do([this] { WindDown(); });
    }
    if (next_ == script_.size()) break;
    if (!script_[next_]()) return;
    ++next_;
  }
  Finish();
}

void ConsoleProgram::Finish() {
  console_.Progress("");
  if (options_.json) console_.Out(JsonDocument());
  finished_ = true;
  timers_.StopTimer(scriptTimer_);
  scriptTimer_ = -1;
  if (onFinished_) onFinished_();
}

std::string ConsoleProgram::JsonDocument() {
  // What was collected as it came, also when the command was stopped half-way.
  if (options_.command == CliCommand::kReadVariables) {
    json_.Raw("passes", JsonArray(passesJson_)).Raw("units", UnitsJson(monitor_.Fields(), VariableLabels()));
  }
  if (IsSensorTest(options_.command)) AddSensorTestJson();
  if (const int status = ExitStatus(); status != kExitDone) {
    json_.Raw("error", ErrorJson(status, console_.ErrLines()));
  }
  return json_.Text();
}

void ConsoleProgram::AddSensorTestJson() {
  std::vector<std::string> lines;
  SensorLineNumbers numbers;
  for (const std::string& line : sensorLines_) {
    lines.push_back(JsonString(line));
    numbers.Take(line);
  }
  json_.Raw("lines", JsonArray(lines));
  numbers.AddTo(json_);
  // Without a single entry the unit sent nothing of the recording.
  if (options_.command == CliCommand::kSensorReadRecorded && !sensorLines_.empty()) {
    json_.Raw("recorded", RecordedDataJson(sensorTest_.Values(), sensorTest_.DataSetIndex(), options_.sensorType));
  }
}

void ConsoleProgram::BuildScript() {
  Do([this] { OpenPort(); });
  switch (options_.command) {
    case CliCommand::kTest: RunCommandStep([this] { return monitor_.TestCommunication(); }); break;
    case CliCommand::kDeviceCommand: RunCommandStep([this] { return BeginDeviceCommand(); }); break;
    case CliCommand::kReadParameters: ReadParameters(); break;
    case CliCommand::kReadVariables:
      ReadTemperatureUnit();
      ReadVariables();
      break;
    case CliCommand::kLog:
      ReadTemperatureUnit();
      Log();
      break;
    case CliCommand::kWatch:
      ReadTemperatureUnit();
      Watch();
      break;
    default:
      if (IsSensorTest(options_.command)) RunSensorTest();
      break;
  }
  Do([this] { WindDown(); });
}

void ConsoleProgram::OpenPort() {
  if (options_.comPort != kDefaultComPort) monitor_.SetComPort(Given(options_.comPort));
  if (monitor_.OpenPort().status != Status::kDone) {
    portFailed_ = true;
    Stop();
  }
}

void ConsoleProgram::RunCommandStep(std::function<Result()> begin) {
  AwaitCommandStep(std::move(begin));
  Do([this] { Value("result", OutcomeText(lastOutcome_)); });
}

void ConsoleProgram::AwaitCommandStep(std::function<Result()> begin) {
  Do([this, begin = std::move(begin)] {
    stepsAwaited_ = stepsEnded_ + 1;
    const Result result = begin();
    if (result.status != Status::kStarted) NothingStarted(result);
  });
  WaitFor([this] { return stepsEnded_ >= stepsAwaited_; });
}

Result ConsoleProgram::BeginDeviceCommand() {
  switch (options_.deviceCommand) {
    case DeviceCommand::kStartMinHeatTime: return monitor_.StartMinHeatTime();
    case DeviceCommand::kStopMinHeatTime: return monitor_.StopMinHeatTime();
    case DeviceCommand::kStartCycleSensor1: return monitor_.StartMoistureCycle(0);
    case DeviceCommand::kStartCycleSensor2: return monitor_.StartMoistureCycle(1);
    case DeviceCommand::kFactorySettings: return monitor_.FactorySettings(Question(kFactorySettingsQuestion));
  }
  return Result::Cancelled();
}

Confirm ConsoleProgram::Question(const char* text) {
  return [this, text] {
    console_.Err(kProgram + TerminalText(text) + (options_.yes ? " OK (--yes)" : " Cancelled (no --yes)"));
    return options_.yes;
  };
}

// Test Communication stores the unit's temperature unit, as the window learns it before the user
// reads variables; without it they would be shown and logged in Celsius whatever the unit is set to.
void ConsoleProgram::ReadTemperatureUnit() {
  AwaitCommandStep([this] { return monitor_.TestCommunication(); });
  Do([this] {
    if (lastOutcome_ != StepOutcome::kAccepted) Stop();
  });
}

void ConsoleProgram::ReadParameters() {
  Do([this] {
    stepsAwaited_ = stepsEnded_ + static_cast<int>(kParameterCount);
    readingParameters_ = true;
    console_.Progress(ProgressText("Reading parameters", 0, static_cast<int>(kParameterCount)));
    monitor_.ReadParameters();
  });
  WaitFor([this] { return parametersRead_; });
  Do([this] {
    readingParameters_ = false;
    console_.Progress("");
    if (options_.json) {
      json_.Raw("parameters", FieldJson(monitor_.Fields(), ParameterLabels()))
          .Raw("units", UnitsJson(monitor_.Fields(), ParameterLabels()));
    } else {
      for (const std::string& line : FieldLines(monitor_.Fields(), ParameterLabels())) console_.Out(line);
    }
    if (!options_.reportFile.empty()) SaveParameterReport();
  });
}

void ConsoleProgram::SaveParameterReport() {
  const std::string path = FullPath(options_.reportFile);
  if (FileWritten(monitor_.SaveParameters(Given(path)), path)) Value("report", TerminalText(path));
}

void ConsoleProgram::ReadVariables() {
  Do([this] { monitor_.StartReadingVariables(); });
  WaitFor([this] { return passes_ >= options_.passes; });
}

void ConsoleProgram::Watch() {
  Do([this] { monitor_.StartReadingVariables(); });
  WaitFor([] { return false; });
}

void ConsoleProgram::PublishingFailed() {
  publishingFailed_ = true;
  Stop();
}

void ConsoleProgram::Log() {
  if (options_.logMinutes != 0) {
    Do([this] { monitor_.SetLogInterval(Given(options_.logMinutes)); });
  }
  Do([this] { OpenLogFile(); });
  // The first record holds a whole pass.
  WaitFor([this] { return passes_ >= 1; });
  Do([this] {
    monitor_.StartLogging();
    if (options_.forSeconds != 0) logDeadline_ = timers_.CalendarTime() + static_cast<std::time_t>(options_.forSeconds);
  });
  WaitFor([this] {
    return (options_.records != 0 && records_ >= options_.records) ||
           (logDeadline_ != 0 && timers_.CalendarTime() >= logDeadline_);
  });
}

void ConsoleProgram::OpenLogFile() {
  logPath_ = FullPath(options_.logFile);
  if (!FileWritten(monitor_.OpenLogFile(Given(logPath_)), logPath_)) {
    Stop();
    return;
  }
  logFileOpened_ = true;
  Value("file", TerminalText(logPath_));
  monitor_.StartReadingVariables();
}

void ConsoleProgram::RunSensorTest() {
  Do([this] {
    const Result result = monitor_.SensorTest(Question(kSensorTestQuestion));
    if (result.status != Status::kDone) return NothingStarted(result);
    sensorTest_.Open(*this);
    sensorTestOpen_ = true;
  });
  Do([this] { TriggerSensorTest(); });
  WaitFor([this] {
    if (options_.command == CliCommand::kSensorStartCycle) ShowCycleWait();
    if (options_.command == CliCommand::kSensorReadRecorded) {
      console_.Progress(ProgressText("Reading recorded data", sensorTest_.DataSetIndex(),
                                     std::min(sensorTest_.Values().dataSetTotal, kRecordedSetLimit)));
    }
    return sensorTest_.TestStep() == 0;
  });
  Do([this] {
    console_.Progress("");
    const bool rejected = std::any_of(sensorLines_.begin(), sensorLines_.end(),
                                      [](const std::string& line) { return line.starts_with("Error"); });
    if (sensorFailed_ || rejected) unitFailed_ = true;
    if (!options_.reportFile.empty()) SaveSensorReport();
  });
}

void ConsoleProgram::TriggerSensorTest() {
  const int sensor = options_.sensor;
  switch (options_.command) {
    case CliCommand::kSensorTemperature: sensorTest_.ReadTemperature(sensor); break;
    case CliCommand::kSensorStartCycle:
      if (options_.ta != 0) SensorFailure(sensorTest_.SetTa(sensor, std::to_string(options_.ta)));
      SensorFailure(sensorTest_.StartCycle(sensor));
      break;
    default:
      sensorTest_.SetSensorType(options_.sensorType);
      sensorTest_.ReadRecordedData();
      break;
  }
}

void ConsoleProgram::ShowCycleWait() {
  const std::optional<CycleCountdown> countdown = sensorTest_.Countdown();
  if (!countdown || countdown->left == 0) return;
  const int tens = (countdown->left + 9) / 10;
  if (tens == std::exchange(cycleWaitShown_, tens)) return;
  console_.Err("waiting: " + std::to_string(countdown->left) + " s left");
}

void ConsoleProgram::SensorFailure(const Result& result) {
  if (result.status == Status::kFailed) StepFailed(result.error);
}

void ConsoleProgram::SaveSensorReport() {
  const std::string path = FullPath(options_.reportFile);
  if (!FileWritten(sensorTest_.SaveReport(Given(path)), path)) return;
  console_.Err(kProgram + TerminalText(kSensorReportSaved + path));
  Value("report", TerminalText(path));
}

void ConsoleProgram::NothingStarted(const Result& result) {
  declined_ = result.status == Status::kCancelled;
  unitFailed_ = !declined_;
  Stop();
}

bool ConsoleProgram::FileWritten(const Result& result, const std::string& path) {
  if (result.status == Status::kDone) return true;
  console_.Err(kProgram + TerminalText(result.error));
  FileFailed(path);
  return false;
}

void ConsoleProgram::FileFailed(const std::string& path) {
  console_.Err("gelvar-cli: cannot write " + TerminalText(path));
  fileFailed_ = true;
}

void ConsoleProgram::WindDown() {
  if (sensorTestOpen_) {
    sensorTest_.Close();
    sensorTestOpen_ = false;
  }
  if (monitor_.Mode() == kLoggingVariables) monitor_.StopLogging();
  if (monitor_.Mode() == kReadingVariables) monitor_.StopReadingVariables();
  if (logFileOpened_) {
    Value("records", records_);
    Value("unwritten records", unwrittenRecords_);
  }
  monitor_.Exit();
}

void ConsoleProgram::Value(const std::string& label, const std::string& utf8) {
  if (options_.json) {
    json_.String(label, utf8);
  } else {
    console_.Out(label + ": " + utf8);
  }
}

void ConsoleProgram::Value(const std::string& label, long long number) {
  if (options_.json) {
    json_.Number(label, number);
  } else {
    console_.Out(label + ": " + std::to_string(number));
  }
}

std::string ConsoleProgram::FullPath(const std::string& path) const {
  // The window's file dialogs hand over full paths, and the messages show them.
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? path : full.string();
}

void ConsoleProgram::StepEnded(std::uint32_t /*objectId*/, StepOutcome outcome) {
  ++stepsEnded_;
  lastOutcome_ = outcome;
  if (outcome != StepOutcome::kAccepted) unitFailed_ = true;
  if (readingParameters_) {
    const int done = static_cast<int>(kParameterCount) - (stepsAwaited_ - stepsEnded_);
    console_.Progress(ProgressText("Reading parameters", done, static_cast<int>(kParameterCount)));
  }
}

void ConsoleProgram::ParametersRead() { parametersRead_ = true; }

void ConsoleProgram::VariablePassEnded() {
  ++passes_;
  if (options_.command != CliCommand::kReadVariables || passes_ > options_.passes) return;
  if (options_.json) {
    passesJson_.push_back(FieldJson(monitor_.Fields(), VariableLabels()));
    return;
  }
  if (passes_ > 1) console_.Out("");
  Value("pass", passes_);
  for (const std::string& line : FieldLines(monitor_.Fields(), VariableLabels())) console_.Out(line);
}

void ConsoleProgram::LogRecordWritten(int setNumber, bool written) {
  ++records_;
  if (!written) {
    ++unwrittenRecords_;
    fileFailed_ = true;
    console_.Err("gelvar-cli: record " + std::to_string(setNumber) + " could not be written to " +
                 TerminalText(logPath_));
  }
  console_.Progress("Logging: " + std::to_string(records_) + (records_ == 1 ? " record" : " records"));
}

void ConsoleProgram::EntryAdded(const std::string& entry) {
  for (const std::string& line : EntryLines(entry)) {
    sensorLines_.push_back(line);
    if (!options_.json) console_.Out(line);
  }
}

void ConsoleProgram::StepFailed(const std::string& text) {
  sensorFailed_ = true;
  console_.Err(kProgram + TerminalText(text));
}

// The console has no speaker: its signal for a new message is the message's line.
void ConsoleProgram::MessageAdded(int /*code*/, const std::string& line, TonePair /*tones*/) {
  console_.Err(TerminalText(line.substr(0, line.find("\r\n"))));
}

}  // namespace gelvar
