// gelvar_line_timing: the program's real timers against a unit on a serial device (gelvar-unit-sim on a
// pseudo-terminal, or a real unit): wall time of single reads, of Read Parameters and of one variable
// pass against the floor the tick schedule sets and the wire time at 19200 baud, and the tick period
// as re-measured while the variables are read and logged.
//
//   gelvar_line_timing DEVICE [--reads N] [--minutes M] [--log FILE]
#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "cli/console_text.h"
#include "cli/console_view.h"
#include "core/common/file_appender.h"
#include "core/line/byte_pump.h"
#include "core/link/link.h"
#include "core/monitor/monitor.h"
#include "core/serial/serial_port.h"
#include "core/tick/ticker.h"
#include "qt/qt_timer_host.h"

namespace gelvar {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kReadObject = 0x3003;
// Timer messages from the command to its last step with a unit that answers at once, as counted in
// virtual time: one to begin, seven per step.
constexpr int kParameterFloorMessages = 127;
constexpr int kPassFloorMessages = 106;
constexpr int kVirtualReadMs = 40;  // Start to a successful Poll: four ticks
constexpr double kBitsPerByte = 10.0;
constexpr double kBaud = 19200.0;
constexpr double kPhaseLimitMs = 120000.0;  // a phase without its end: the unit does not answer
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The serial port with a count of the bytes that crossed it each way.
class CountingPort : public LinePort {
 public:
  explicit CountingPort(LinePort& port) : port_(port) {}
  int Open(int portNumber, int baudRate, int byteSize, int stopBits, int parity) override {
    return port_.Open(portNumber, baudRate, byteSize, stopBits, parity);
  }
  int Close() override { return port_.Close(); }
  int Write(const std::uint8_t* bytes, int count) override { return Count(sent, port_.Write(bytes, count)); }
  int Read(std::uint8_t* buffer, int maxCount) override { return Count(received, port_.Read(buffer, maxCount)); }
  bool Lost() const override { return port_.Lost(); }
  int Reopen() override { return port_.Reopen(); }
  std::intptr_t ArrivalHandle() const override { return port_.ArrivalHandle(); }

  long long sent = 0;
  long long received = 0;

 private:
  static int Count(long long& total, int moved) {
    total += moved;
    return moved;
  }
  LinePort& port_;
};

struct Options {
  std::string device;
  int reads = 100;
  int minutes = 0;
  std::string logFile;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--reads" && hasValue) {
      options.reads = std::atoi(argv[++i]);
    } else if (arg == "--minutes" && hasValue) {
      options.minutes = std::atoi(argv[++i]);
    } else if (arg == "--log" && hasValue) {
      options.logFile = argv[++i];
    } else if (options.device.empty() && !arg.starts_with("-")) {
      options.device = arg;
    } else {
      return false;
    }
  }
  return !options.device.empty() && options.reads > 0 && options.minutes >= 0;
}

class LineTiming : private MonitorEvents {
 public:
  LineTiming(const Options& options, TimerHost& timers, LinePort& port, Console& console)
      : options_(options),
        timers_(timers),
        port_(port),
        pumpMessages_(console),
        pump_(link_, port_, pumpMessages_),
        ticker_(link_, timers),
        console_(console),
        unitLine_(pump_),
        monitor_(link_, unitLine_, timers, files_) {
    monitor_.AddListener(*this);
    ticker_.SetMeasurementObserver([this](std::int32_t period, std::int32_t ticks) { Measured(period, ticks); });
  }
  ~LineTiming() override {
    monitor_.RemoveListener(*this);
    if (stepTimer_ >= 0) timers_.StopTimer(stepTimer_);
  }

  // Runs everything and quits the event loop; the exit status is then in Status().
  void Start() {
    ticker_.Start(kStartTickPeriodMs);
    pump_.Run(timers_, {});
    lastMeasurement_ = Clock::now();
    StartLink(link_);
    monitor_.Start();
    if (monitor_.OpenPort().status != gelvar::Status::kDone) return Fail("the port did not open");
    stepTimer_ = timers_.StartTimer(link_.periods.windowTimer, [this] { Step(); });
    Enter(&LineTiming::Reads);
  }
  int Status() const { return status_; }

 private:
  using Phase = void (LineTiming::*)();

  void Enter(Phase phase) {
    phase_ = phase;
    phaseStart_ = Clock::now();
  }
  void Step() {
    if (phase_ == nullptr) return;
    if (phase_ != &LineTiming::Logging && MsSince(phaseStart_) > kPhaseLimitMs)
      return Fail("no progress; is the unit there?");
    (this->*phase_)();
  }
  void Fail(const std::string& why) {
    std::cerr << "gelvar_line_timing: " << why << '\n';
    status_ = kExitFailure;
    Quit();
  }
  void Quit() {
    phase_ = nullptr;
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
  }

  // (a) One read of the object at a time, started and polled at window timer messages.
  void Reads() {
    if (!readRunning_) {
      if (transaction_.Start(kReadObject, nullptr) != 1) return Fail("the link refused a read");
      readRunning_ = true;
      readStart_ = Clock::now();
      return;
    }
    ObjectRequest reply{};
    const std::int32_t result = transaction_.Poll(&reply, nullptr, nullptr, nullptr);
    if (result == kPollBusy) return;
    readRunning_ = false;
    if (result < 0) ++failedReads_;
    readMs_.push_back(MsSince(readStart_));
    if (static_cast<int>(readMs_.size()) < options_.reads) return;
    PrintReads();
    BeginParameters();
  }

  // (b) Read Parameters, then one variable pass, each from its call to its last step.
  void BeginParameters() {
    BeginRun();
    monitor_.ReadParameters();
    Enter(&LineTiming::Parameters);
  }
  void Parameters() {
    if (!parametersRead_) return;
    EndRun("Read Parameters", kParameterFloorMessages);
    monitor_.SetLogInterval(Given(1));
    if (monitor_.OpenLogFile(Given(LogPath())).status != gelvar::Status::kDone) {
      return Fail("cannot write the log file " + LogPath());
    }
    BeginRun();
    monitor_.StartReadingVariables();
    Enter(&LineTiming::FirstPass);
  }
  void FirstPass() {
    if (passes_ == 0) return;
    EndRun("One variable pass", kPassFloorMessages);
    PrintRuns();
    if (options_.minutes == 0) return Finish();
    monitor_.StartLogging();
    logStart_ = Clock::now();
    measurements_.clear();
    std::cout << "\n(c) Tick re-measurements while reading variables and logging once a minute, " << options_.minutes
              << " min\n\n| after s | tick period ms | real mean ms | ticks |\n|---|---|---|---|\n";
    Enter(&LineTiming::Logging);
  }
  void Logging() {
    if (MsSince(logStart_) < options_.minutes * 60000.0) return;
    monitor_.StopLogging();
    PrintMeasurements();
    Finish();
  }
  void Finish() {
    monitor_.StopReadingVariables();
    Quit();
  }

  void BeginRun() {
    runStart_ = Clock::now();
    sentBefore_ = port_.sent;
    receivedBefore_ = port_.received;
    failedSteps_ = 0;
  }
  void EndRun(const char* name, int floorMessages) {
    const double wallMs = MsSince(runStart_);
    const double floorMs = floorMessages * static_cast<double>(link_.periods.windowTimer);
    const long long sent = port_.sent - sentBefore_;
    const long long received = port_.received - receivedBefore_;
    const double wireMs = static_cast<double>(sent + received) * kBitsPerByte / kBaud * 1000.0;
    runs_.push_back("| " + std::string(name) + " | " + Format("%.0f", wallMs) + " | " + Format("%.0f", floorMs) +
                    " | " + Format("%+.1f %%", (wallMs / floorMs - 1.0) * 100.0) + " | " + std::to_string(sent) +
                    " | " + std::to_string(received) + " | " + Format("%.0f", wireMs) + " | " +
                    std::to_string(failedSteps_) + " |");
  }

  void Measured(std::int32_t period, std::int32_t ticks) {
    const Clock::time_point now = Clock::now();
    const double realMs = std::chrono::duration<double, std::milli>(now - lastMeasurement_).count() / ticks;
    lastMeasurement_ = now;
    if (phase_ != &LineTiming::Logging) return;
    measurements_.push_back({period, realMs});
    std::cout << "| " << Format("%.0f", MsSince(logStart_) / 1000.0) << " | " << period << " | "
              << Format("%.3f", realMs) << " | " << ticks << " |" << std::endl;
  }

  void PrintReads() const {
    const double total = [&] {
      double sum = 0;
      for (double ms : readMs_) sum += ms;
      return sum;
    }();
    const auto [min, max] = std::minmax_element(readMs_.begin(), readMs_.end());
    std::cout << "(a) " << readMs_.size() << " sequential reads of 0x3003, started and polled every "
              << link_.periods.windowTimer
              << " ms\n\n| reads | total s | mean ms | min ms | max ms | virtual ms | failed |\n"
              << "|---|---|---|---|---|---|---|\n| " << readMs_.size() << " | " << Format("%.2f", total / 1000.0)
              << " | " << Format("%.1f", total / static_cast<double>(readMs_.size())) << " | " << Format("%.1f", *min)
              << " | " << Format("%.1f", *max) << " | " << kVirtualReadMs << " | " << failedReads_ << " |\n";
  }
  void PrintRuns() const {
    std::cout
        << "\n(b) Menu command to its last step, against the tick schedule's floor and the wire time at "
           "19200 baud\n\n| run | wall ms | floor ms | over floor | bytes out | bytes in | wire ms | failed steps |\n"
           "|---|---|---|---|---|---|---|---|\n";
    for (const std::string& row : runs_) std::cout << row << '\n';
  }
  void PrintMeasurements() const {
    if (measurements_.empty()) {
      std::cout << "(no re-measurement)\n";
      return;
    }
    double periodSum = 0;
    double realSum = 0;
    std::int32_t worst = measurements_.front().period;
    for (const Measurement& m : measurements_) {
      periodSum += m.period;
      realSum += m.realMs;
      if (std::abs(m.period - kStartTickPeriodMs) > std::abs(worst - kStartTickPeriodMs)) worst = m.period;
    }
    const double count = static_cast<double>(measurements_.size());
    std::cout << "\n| re-measurements | mean period ms | worst period ms | worst deviation ms | real mean ms | "
                 "log records |\n|---|---|---|---|---|---|\n| "
              << measurements_.size() << " | " << Format("%.2f", periodSum / count) << " | " << worst << " | "
              << (worst - kStartTickPeriodMs) << " | " << Format("%.3f", realSum / count) << " | " << records_
              << " |\n";
  }

  std::string LogPath() const {
    if (!options_.logFile.empty()) return options_.logFile;
    return (std::filesystem::temp_directory_path() / "gelvar_line_timing.log").string();
  }

  // MonitorEvents. The message lines go to standard error, as gelvar-cli shows them.
  void MessageAdded(int, const std::string& line, TonePair) override { console_.Err(TerminalText(line)); }
  void StepEnded(std::uint32_t, StepOutcome outcome) override {
    if (outcome != StepOutcome::kAccepted) ++failedSteps_;
  }
  void ParametersRead() override { parametersRead_ = true; }
  void VariablePassEnded() override { ++passes_; }
  void LogRecordWritten(int, bool) override { ++records_; }

  struct Measurement {
    std::int32_t period;
    double realMs;
  };

  const Options options_;
  TimerHost& timers_;
  CountingPort port_;
  ConsolePumpMessages pumpMessages_;
  Link link_;
  LinkTransaction transaction_{link_};
  BytePump pump_;
  Ticker ticker_;
  DiskFileAppender files_;
  Console& console_;
  PumpUnitLine unitLine_;
  Monitor monitor_;
  TimerId stepTimer_ = -1;
  Phase phase_ = nullptr;
  Clock::time_point phaseStart_;
  int status_ = 0;

  bool readRunning_ = false;
  Clock::time_point readStart_;
  std::vector<double> readMs_;
  int failedReads_ = 0;

  Clock::time_point runStart_;
  long long sentBefore_ = 0;
  long long receivedBefore_ = 0;
  int failedSteps_ = 0;
  bool parametersRead_ = false;
  int passes_ = 0;
  std::vector<std::string> runs_;

  Clock::time_point logStart_;
  Clock::time_point lastMeasurement_;
  std::vector<Measurement> measurements_;
  int records_ = 0;
};

}  // namespace
}  // namespace gelvar

int main(int argc, char* argv[]) {
  gelvar::Options options;
  if (!gelvar::ParseOptions(argc, argv, options)) {
    std::cerr << "Usage: gelvar_line_timing DEVICE [--reads N] [--minutes M] [--log FILE]\n";
    return gelvar::kExitUsage;
  }
  ::setenv(gelvar::ComVariableName(gelvar::kDefaultComPort).c_str(), options.device.c_str(), 1);
  QCoreApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  std::setlocale(LC_TIME, "C");

  gelvar::Console console(std::cout, std::cerr, false);
  gelvar::QtTimerHost timers;
  gelvar::ConsoleSerialMessages serialMessages(console);
  gelvar::SerialPort serial(serialMessages);
  gelvar::LineTiming timing(options, timers, serial, console);
  timing.Start();
  if (timing.Status() == 0) app.exec();
  return timing.Status();
}
