// The main window's logic on the whole virtual link: the controller with the scripted window, whose
// channel operations reach the byte pump, and a listener that notes what the sequencer did when. Also
// the readers of the variable log and the tables the reliability runs publish.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/monitor/monitor_controller.h"
#include "support/monitor_fakes.h"
#include "support/virtual_link.h"

namespace gelvar::testing {

// Words as the unit sends them, low byte first.
inline std::vector<std::uint8_t> Word(int word) {
  return {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8)};
}
inline std::vector<std::uint8_t> Words(int word0, int word2) {
  return {Word(word0)[0], Word(word0)[1], Word(word2)[0], Word(word2)[1]};
}

struct Event {
  char kind;  // S step ended, P pass ended, R parameters read, L log record
  StepOutcome outcome = StepOutcome::kAccepted;
  bool written = true;
  int set = 0;  // of a record
  std::int64_t ms = 0;
};

class EventLog : public MonitorListener {
 public:
  explicit EventLog(VirtualScheduler& scheduler) : scheduler_(scheduler) {}
  void StepEnded(std::uint32_t, StepOutcome outcome) override { Add({'S', outcome}); }
  void ParametersRead() override { Add({'R'}); }
  void VariablePassEnded() override { Add({'P'}); }
  void LogRecordWritten(int set, bool written) override { Add({'L', StepOutcome::kAccepted, written, set}); }
  void MessageAdded(const std::string& line) override { messages.push_back(line); }

  // Kept by kind as they come: runs ask after every timer message.
  int Count(char kind) { return static_cast<int>(byKind_[kind].size()); }
  const std::vector<Event>& Of(char kind) { return byKind_[kind]; }
  int Accepted() { return static_cast<int>(std::ranges::count(Of('S'), StepOutcome::kAccepted, &Event::outcome)); }
  std::vector<Event> events;
  std::vector<std::string> messages;  // every line the message pane got, however long ago it scrolled out

 private:
  void Add(Event event) {
    event.ms = scheduler_.NowMs();
    events.push_back(event);
    byKind_[event.kind].push_back(event);
  }
  VirtualScheduler& scheduler_;
  std::map<char, std::vector<Event>> byKind_;
};

// The program's pieces as they start: pump timer, tick, then the main window with its own timer.
struct MonitorRig {
  explicit MonitorRig(FileAppender* files = nullptr, bool openPort = true)
      : controller(view, link.Scheduler(), files != nullptr ? *files : memoryFiles) {
    view.pump = &link.Pump();
    controller.SetListener(&log);
    link.Pump().SetLineObserver(&controller);
    controller.Open();
    if (openPort) controller.Command(kCmdOpenComPort);
  }

  bool RunUntilEvents(char kind, int count, std::int64_t limitMs) {
    return link.RunUntil([&] { return log.Count(kind) >= count; }, limitMs);
  }
  // The newest line of the message pane.
  std::string TopLine() const { return controller.MessageText().substr(0, controller.MessageText().find("\r\n")); }
  void LogEveryMinute() {
    view.numberAnswer = 1;
    controller.Command(kCmdSetLogInterval);
    controller.Command(kCmdOpenLogFile);
    controller.Command(kCmdStartLogging);
  }
  // Reads variables until the first pass has ended (or 200 s have passed, time enough even for a unit
  // that never replies), then logs once a minute.
  void StartLogging() {
    controller.Command(kCmdStartReadingVariables);
    RunUntilEvents('P', 1, 200'000);
    LogEveryMinute();
  }
  unitsim::UnitModel& Unit() { return link.Unit(); }
  // Holds every temperature clear of -1.0, the log's mark for a value not read.
  void PinTemperatures() {
    for (const std::uint32_t id : {0x0C07u, 0x0C84u, 0x0C94u}) Unit().SetObject(id, Words(6200, 5900));  // 10, -5
  }

  VirtualLink link{10, false};
  FakeMonitorView view;
  MemoryFiles memoryFiles;
  EventLog log{link.Scheduler()};
  MonitorController controller;
};

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

// A Markdown table (the first row is the header) of figures a test measured: printed with the test's
// output, and written to $GELVAR_REPORT_DIR/<name> when that variable is set, from where
// scripts/reliability-report puts it into docs/reliability.md.
void PublishTable(const std::string& name, const std::vector<std::vector<std::string>>& rows);

}  // namespace gelvar::testing
