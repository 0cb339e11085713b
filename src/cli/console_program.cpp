#include "cli/console_program.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "cli/field_table.h"

namespace gelvar {
namespace {

constexpr int kSignalExitBase = 128;

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
      view_(console, pump_, options.yes),
      controller_(link_, view_, timers, files),
      sensorTest_(link_, timers, files),
      sensorView_(console, sensorTest_) {
  view_.Attach(controller_);
  view_.onRunSensorTest = [this] {
    sensorTest_.Open(sensorView_);
    sensorTestOpen_ = true;
  };
  sensorView_.onEntry = [this](const std::string& entry) {
    for (const std::string& line : EntryLines(entry)) {
      sensorLines_.push_back(line);
      if (options_.json) {
        sensorLinesJson_.push_back(JsonString(line));
      } else {
        console_.Out(line);
      }
    }
  };
  controller_.SetListener(this);
  pump_.SetLineObserver(this);
  json_.String("command", options_.commandName);
}

ConsoleProgram::~ConsoleProgram() {
  pump_.SetLineObserver(nullptr);
  controller_.SetListener(nullptr);
  if (scriptTimer_ >= 0) timers_.StopTimer(scriptTimer_);
}

void ConsoleProgram::Start(std::function<void()> onFinished) {
  onFinished_ = std::move(onFinished);
  // As the window program starts: the tick, the protocol window's pump, the link, the main window.
  ticker_.Start(kStartTickPeriodMs);
  pump_.Run(timers_, {});
  StartLink(link_);
  controller_.Open();
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
  if (options_.json) {
    // What was collected as it came, also when the command was stopped half-way.
    if (options_.command == CliCommand::kReadVariables) json_.Raw("passes", JsonArray(passesJson_));
    if (IsSensorTest(options_.command)) json_.Raw("lines", JsonArray(sensorLinesJson_));
    console_.Out(json_.Text());
  }
  finished_ = true;
  timers_.StopTimer(scriptTimer_);
  scriptTimer_ = -1;
  if (onFinished_) onFinished_();
}

void ConsoleProgram::BuildScript() {
  Do([this] { OpenPort(); });
  switch (options_.command) {
    case CliCommand::kTest: RunCommandStep(kCmdTestCommunication); break;
    case CliCommand::kDeviceCommand: RunCommandStep(options_.deviceCommand); break;
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
  if (options_.comPort != kDefaultComPort) {
    view_.AnswerNumber(options_.comPort);
    controller_.Command(kCmdSetComPort);
  }
  controller_.Command(kCmdOpenComPort);
  if (controller_.Mode() != kPortOpen) {
    portFailed_ = true;
    Stop();
  }
}

void ConsoleProgram::RunCommandStep(int commandId) {
  AwaitCommandStep(commandId);
  Do([this] { Value("result", OutcomeText(lastOutcome_)); });
}

void ConsoleProgram::AwaitCommandStep(int commandId) {
  Do([this, commandId] {
    stepsAwaited_ = stepsEnded_ + 1;
    controller_.Command(commandId);
    if (view_.Declined() || controller_.Mode() == kCommandRunning) NothingStarted();
  });
  WaitFor([this] { return stepsEnded_ >= stepsAwaited_; });
}

// Test Communication stores the unit's temperature unit, as the window learns it before the user
// reads variables; without it they would be shown and logged in Celsius whatever the unit is set to.
void ConsoleProgram::ReadTemperatureUnit() {
  AwaitCommandStep(kCmdTestCommunication);
  Do([this] {
    if (lastOutcome_ != StepOutcome::kAccepted) Stop();
  });
}

void ConsoleProgram::ReadParameters() {
  Do([this] {
    stepsAwaited_ = stepsEnded_ + static_cast<int>(kParameterCount);
    readingParameters_ = true;
    console_.Progress(ProgressText("Reading parameters", 0, static_cast<int>(kParameterCount)));
    controller_.Command(kCmdReadParameters);
  });
  WaitFor([this] { return parametersRead_; });
  Do([this] {
    readingParameters_ = false;
    console_.Progress("");
    if (options_.json) {
      json_.Raw("parameters", FieldJson(controller_.Fields(), ParameterLabels()));
    } else {
      for (const std::string& line : FieldLines(controller_.Fields(), ParameterLabels())) console_.Out(line);
    }
    if (!options_.reportFile.empty()) SaveParameterReport();
  });
}

void ConsoleProgram::SaveParameterReport() {
  const std::string path = FullPath(options_.reportFile);
  const int alerts = view_.AlertCount();
  view_.AnswerFile(path);
  controller_.Command(kCmdSaveParameters);
  if (view_.AlertCount() != alerts) {
    FileFailed(path);
  } else {
    Value("report", TerminalText(path));
  }
}

void ConsoleProgram::ReadVariables() {
  Do([this] { controller_.Command(kCmdStartReadingVariables); });
  WaitFor([this] { return passes_ >= options_.passes; });
}

void ConsoleProgram::Watch() {
  Do([this] { controller_.Command(kCmdStartReadingVariables); });
  WaitFor([] { return false; });
}

void ConsoleProgram::PublishingFailed() {
  publishingFailed_ = true;
  Stop();
}

void ConsoleProgram::Log() {
  if (options_.logMinutes != 0) {
    Do([this] {
      view_.AnswerNumber(options_.logMinutes);
      controller_.Command(kCmdSetLogInterval);
    });
  }
  Do([this] { OpenLogFile(); });
  // The first record holds a whole pass.
  WaitFor([this] { return passes_ >= 1; });
  Do([this] {
    controller_.Command(kCmdStartLogging);
    if (options_.forSeconds != 0) logDeadline_ = timers_.CalendarTime() + static_cast<std::time_t>(options_.forSeconds);
  });
  WaitFor([this] {
    return (options_.records != 0 && records_ >= options_.records) ||
           (logDeadline_ != 0 && timers_.CalendarTime() >= logDeadline_);
  });
}

void ConsoleProgram::OpenLogFile() {
  logPath_ = FullPath(options_.logFile);
  view_.AnswerFile(logPath_);
  controller_.Command(kCmdOpenLogFile);
  if (!controller_.LogFileChosen()) {
    FileFailed(logPath_);
    Stop();
    return;
  }
  logFileOpened_ = true;
  Value("file", TerminalText(logPath_));
  controller_.Command(kCmdStartReadingVariables);
}

void ConsoleProgram::RunSensorTest() {
  Do([this] {
    controller_.Command(kCmdTestMonitor);
    if (!sensorTestOpen_) NothingStarted();
  });
  Do([this] { TriggerSensorTest(); });
  WaitFor([this] {
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
    if (sensorView_.AlertCount() != sensorAlertsBefore_ || rejected) unitFailed_ = true;
    if (!options_.reportFile.empty()) SaveSensorReport();
  });
}

void ConsoleProgram::TriggerSensorTest() {
  sensorAlertsBefore_ = sensorView_.AlertCount();
  const int sensor = options_.sensor;
  switch (options_.command) {
    case CliCommand::kSensorTemperature: sensorTest_.OnTemperature(sensor); break;
    case CliCommand::kSensorStartCycle:
      if (options_.ta != 0) {
        (sensor == 0 ? sensorTest_.ta1Text : sensorTest_.ta2Text) = std::to_string(options_.ta);
        sensorTest_.OnTaChanged(sensor);
      }
      sensorTest_.OnStartCycle(sensor);
      break;
    default:
      sensorTest_.OnTypeChanged(options_.sensorType);
      sensorTest_.OnReadRecordedData();
      break;
  }
}

void ConsoleProgram::SaveSensorReport() {
  const std::string path = FullPath(options_.reportFile);
  const int fileAlerts = sensorView_.FileAlertCount();
  sensorView_.AnswerFile(path);
  sensorTest_.SaveReport();
  if (sensorView_.FileAlertCount() != fileAlerts) {
    FileFailed(path);
  } else {
    Value("report", TerminalText(path));
  }
}

void ConsoleProgram::NothingStarted() {
  declined_ = view_.Declined();
  unitFailed_ = !declined_;
  Stop();
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
  if (controller_.Mode() == kLoggingVariables) controller_.Command(kCmdStopLogging);
  if (controller_.Mode() == kReadingVariables) controller_.Command(kCmdStopReadingVariables);
  if (logFileOpened_) {
    Value("records", records_);
    Value("unwritten records", unwrittenRecords_);
  }
  controller_.Command(kCmdExit);
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

void ConsoleProgram::StepEnded(std::uint32_t objectId, StepOutcome outcome) {
  if (alsoTell_ != nullptr) alsoTell_->StepEnded(objectId, outcome);
  ++stepsEnded_;
  lastOutcome_ = outcome;
  if (outcome != StepOutcome::kAccepted) unitFailed_ = true;
  if (readingParameters_) {
    const int done = static_cast<int>(kParameterCount) - (stepsAwaited_ - stepsEnded_);
    console_.Progress(ProgressText("Reading parameters", done, static_cast<int>(kParameterCount)));
  }
}

void ConsoleProgram::ParametersRead() {
  if (alsoTell_ != nullptr) alsoTell_->ParametersRead();
  parametersRead_ = true;
}

void ConsoleProgram::VariablePassEnded() {
  if (alsoTell_ != nullptr) alsoTell_->VariablePassEnded();
  ++passes_;
  if (options_.command != CliCommand::kReadVariables || passes_ > options_.passes) return;
  if (options_.json) {
    passesJson_.push_back(FieldJson(controller_.Fields(), VariableLabels()));
    return;
  }
  if (passes_ > 1) console_.Out("");
  Value("pass", passes_);
  for (const std::string& line : FieldLines(controller_.Fields(), VariableLabels())) console_.Out(line);
}

void ConsoleProgram::LogRecordWritten(int setNumber, bool written) {
  if (alsoTell_ != nullptr) alsoTell_->LogRecordWritten(setNumber, written);
  ++records_;
  if (!written) {
    ++unwrittenRecords_;
    fileFailed_ = true;
    console_.Err("gelvar-cli: record " + std::to_string(setNumber) + " could not be written to " +
                 TerminalText(logPath_));
  }
  console_.Progress("Logging: " + std::to_string(records_) + (records_ == 1 ? " record" : " records"));
}

void ConsoleProgram::LineLost(int portNumber) {
  controller_.LineLost(portNumber);
  console_.Err("E> COM Port Lost");
}

void ConsoleProgram::LineBack(int portNumber) {
  controller_.LineBack(portNumber);
  console_.Err("I> COM Port Reopened");
}

void ConsoleProgram::MessageAdded(const std::string& line) {
  if (alsoTell_ != nullptr) alsoTell_->MessageAdded(line);
}

}  // namespace gelvar
