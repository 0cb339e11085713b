// The monitor on the whole virtual link, with a listener that notes what it told when and answers
// that note when they are asked for. Also the readers of the variable log and the tables the
// reliability runs publish.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/monitor/monitor.h"
#include "support/monitor_fakes.h"
#include "support/row_name.h"
#include "support/virtual_link.h"

namespace gelvar::testing {

using Bytes = std::vector<std::uint8_t>;

// Words as the unit sends them, low byte first.
inline std::vector<std::uint8_t> Word(int word) {
  return {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8)};
}
inline std::vector<std::uint8_t> Words(int word0, int word2) {
  return {Word(word0)[0], Word(word0)[1], Word(word2)[0], Word(word2)[1]};
}

struct Event {
  char kind;  // S step ended, P pass ended, R parameters read, L log record, - port lost, + port back
  StepOutcome outcome = StepOutcome::kAccepted;
  bool written = true;
  int set = 0;  // of a record
  std::int64_t ms = 0;
};

class EventLog : public MonitorEvents {
 public:
  explicit EventLog(VirtualScheduler& scheduler) : scheduler_(scheduler) {}
  void StepEnded(std::uint32_t, StepOutcome outcome) override { Add({'S', outcome}); }
  void ParametersRead() override { Add({'R'}); }
  void VariablePassEnded() override { Add({'P'}); }
  void LogRecordWritten(int set, bool written) override { Add({'L', StepOutcome::kAccepted, written, set}); }
  void PortLost() override { Add({'-'}); }
  void PortBack() override { Add({'+'}); }
  void MessageAdded(int, const std::string& line, TonePair pair) override {
    messages.push_back(line);
    tones.push_back({pair.frequency1, pair.milliseconds1, pair.frequency2, pair.milliseconds2});
  }

  // Kept by kind as they come: runs ask after every timer message.
  int Count(char kind) { return static_cast<int>(byKind_[kind].size()); }
  const std::vector<Event>& Of(char kind) { return byKind_[kind]; }
  std::vector<std::string> messages;  // every line the message pane got, however long ago it scrolled out
  std::vector<std::vector<int>> tones;

 private:
  void Add(Event event) {
    event.ms = scheduler_.NowMs();
    byKind_[event.kind].push_back(event);
  }
  VirtualScheduler& scheduler_;
  std::map<char, std::vector<Event>> byKind_;
};

// The program's pieces as they start: pump timer, tick, then the monitor with its own timer.
struct MonitorRig {
  explicit MonitorRig(FileAppender* files = nullptr, bool openPort = true)
      : monitor(link.LinkState(), line, link.Scheduler(), files != nullptr ? *files : memoryFiles) {
    monitor.AddListener(log);
    link.Pump().SetLineObserver(&monitor);
    monitor.Start();
    if (openPort) monitor.OpenPort();
  }

  // An answer (an optional) or a confirmation (a bool) that notes "ask" in calls when it is asked.
  template <class T>
  auto Asked(T value) {
    return [this, value] {
      RecordingLine::Note(calls, "ask");
      return value;
    };
  }
  Result OpenLogFile() {
    Result result = monitor.OpenLogFile(Given(logPath));
    if (result.status == Status::kFailed) fileErrors.push_back(result.error);
    return result;
  }
  Result SaveParameters() { return monitor.SaveParameters(Given(reportPath)); }

  bool RunUntilEvents(char kind, int count, std::int64_t limitMs) {
    return link.RunUntil([&] { return log.Count(kind) >= count; }, limitMs);
  }
  // The newest line of the message pane.
  std::string TopLine() const { return monitor.MessageText().substr(0, monitor.MessageText().find("\r\n")); }
  void LogEveryMinute() {
    monitor.SetLogInterval(Given(1));
    OpenLogFile();
    monitor.StartLogging();
  }
  // Reads variables until the first pass has ended (or 200 s have passed, time enough even for a unit
  // that never replies), then logs once a minute.
  void StartLogging() {
    monitor.StartReadingVariables();
    RunUntilEvents('P', 1, 200'000);
    LogEveryMinute();
  }
  unitsim::UnitModel& Unit() { return link.Unit(); }
  // Holds every temperature clear of -1.0, the log's mark for a value not read.
  void PinTemperatures() {
    for (const std::uint32_t id : {0x0C07u, 0x0C84u, 0x0C94u}) Unit().SetObject(id, Words(6200, 5900));  // 10, -5
  }

  std::string reportPath = "report.par";
  std::string logPath = "variables.log";
  std::string calls;                    // the line's and the answers', one word each
  std::vector<std::string> fileErrors;  // the boxes of the log files that could not be opened
  VirtualLink link{10, false};
  RecordingLine line{link.Pump(), calls};
  MemoryFiles memoryFiles;
  EventLog log{link.Scheduler()};
  Monitor monitor;
};

// The operations by name, answered as the rig answers, for tables of them.
using Operation = Result (*)(MonitorRig&);
namespace op {
inline Result OpenPort(MonitorRig& r) { return r.monitor.OpenPort(); }
inline Result ClosePort(MonitorRig& r) { return r.monitor.ClosePort(); }
inline Result TestCommunication(MonitorRig& r) { return r.monitor.TestCommunication(); }
inline Result StartMinHeatTime(MonitorRig& r) { return r.monitor.StartMinHeatTime(); }
inline Result StopMinHeatTime(MonitorRig& r) { return r.monitor.StopMinHeatTime(); }
inline Result StartCycleSensor1(MonitorRig& r) { return r.monitor.StartMoistureCycle(0); }
inline Result StartCycleSensor2(MonitorRig& r) { return r.monitor.StartMoistureCycle(1); }
inline Result FactorySettings(MonitorRig& r) { return r.monitor.FactorySettings(Yes()); }
inline Result ReadParameters(MonitorRig& r) { return r.monitor.ReadParameters(); }
inline Result StartReadingVariables(MonitorRig& r) { return r.monitor.StartReadingVariables(); }
inline Result StopReadingVariables(MonitorRig& r) { return r.monitor.StopReadingVariables(); }
inline Result OpenLogFile(MonitorRig& r) { return r.OpenLogFile(); }
inline Result StartLogging(MonitorRig& r) { return r.monitor.StartLogging(); }
inline Result StopLogging(MonitorRig& r) { return r.monitor.StopLogging(); }
}  // namespace op

std::string ReadFile(const std::string& path);

// Null on Linux; elsewhere why a test of Linux's own files (/proc) is skipped there.
const char* WhyNotLinux();

// Sets a German desktop locale (decimal comma) by the system's name for it; false where none is installed.
bool UseGermanLocale();

// A full disk on the real file system: while the object lives, a write that would make a file longer
// than `bytes` stops there and fails with EFBIG, the file size signal ignored as the programs do.
// Where the system has no such limit (Windows), Available is false and the test is skipped.
class FileSizeLimit {
 public:
  static constexpr const char* kUnavailable = "Windows has no file size limit to stand in for a full disk";
  static bool Available();
  explicit FileSizeLimit(std::uintmax_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
};

// The text's lines without their CR LF ends; a last line without an end is kept as it is.
std::vector<std::string> FileLines(const std::string& text);
// The lines that start like a record (five digits and a semicolon).
std::vector<std::string> RecordLines(const std::string& text);
// True when the line has exactly the record's shape: "%05d; " set number, date MM/DD/YY, "; ", time
// HH:MM:SS, then the 32 values, each after a semicolon, right-aligned at its column's width with its
// column's number of decimals, written with a decimal comma; no semicolon at the end.
bool IsWellFormedRecord(const std::string& line);
inline int RecordSetNumber(const std::string& line) { return std::atoi(line.c_str()); }
// True when a value is -1 (-1,0 or -1,00): one that could not be read. A temperature can be -1.0
// too; tests that ask keep the unit's temperatures elsewhere (PinTemperatures).
bool HoldsUnreadValues(const std::string& line);

}  // namespace gelvar::testing
