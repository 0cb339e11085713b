// One fault of the unit or of the line per row, in virtual time: what the user sees while it lasts,
// that the program keeps running, and that reading and logging come back by themselves once the
// unit is healthy again. The same run prints the table that docs/reliability.md shows.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/c_format.h"
#include "support/log_records.h"
#include "support/monitor_rig.h"
#include "support/report_table.h"

namespace gelvar::testing {
namespace {

// Reading and logging under the fault; it ends between two due records.
constexpr std::int64_t kFaultMs = 5 * 60'000 + 30'000;
constexpr std::int64_t kRecoveryLimitMs = 3 * 60'000;
constexpr std::int64_t kStepLimitMs = 200'000;  // a whole parameter reading without replies
constexpr std::size_t kPassSteps = 15;

// An error line of the pane without its object ID: "E> No reply", "E> Wrong format response".
std::string Kind(const std::string& line) { return line.substr(0, line.find(" at ID:")); }

const std::string kNoReply = "E> No reply";
const std::string kNoReplyTest = "E> No reply from detector unit";
const std::string kWrongFormat = "E> Wrong format response";
const std::string kWrongCommand = "E> Wrong command response";

struct FaultCase {
  const char* name;
  std::function<void(MonitorRig&)> inject;
  std::set<std::string> allowed;   // error lines the pane may show under the fault
  std::set<std::string> required;  // error lines it must show
  const char* comStatus;           // status text 1079 while the fault lasts
};

// What one row measured.
struct FaultRun {
  std::map<std::string, int> errorLines;  // by kind, under the fault
  int steps = 0;
  int accepted = 0;
  int records = 0;
  int unreadRecords = 0;
  std::set<std::string> comStatuses;
  std::int64_t readingBackMs = -1;  // from healing to the end of the first pass with every step read
  std::int64_t loggingBackMs = -1;  // ... to the first record after it, every value read
  std::string commandAfter;         // the pane's line for a command once healthy
  std::string comStatusAfter;
  int mode = -1;                    // at the end of the fault
};

void Unplug(MonitorRig& rig) { rig.link.Line().Unplug(); }

std::vector<FaultCase> Cases() {
  const auto faults = [](auto set) { return [set](MonitorRig& rig) { set(rig.Unit().Faults()); }; };
  using F = unitsim::UnitFaults;
  const std::set<std::string> none;
  const std::set<std::string> noReply = {kNoReply, kNoReplyTest};
  return {
      {"unit silent", faults([](F& f) { f.silent = true; }), noReply, noReply, "COM Port Open"},
      {"one object silent (0C84)", faults([](F& f) { f.silentObjects = {0x0C84}; }), {kNoReply}, {kNoReply},
       "COM Port Open"},
      {"bad checksum 1 %", faults([](F& f) { f.badChecksumRate = 0.01; }), none, none, "COM Port Open"},
      {"bad checksum 10 %", faults([](F& f) { f.badChecksumRate = 0.1; }), none, none, "COM Port Open"},
      {"bad checksum 50 %", faults([](F& f) { f.badChecksumRate = 0.5; }), noReply, none, "COM Port Open"},
      {"bad parity 1 %", faults([](F& f) { f.badParityRate = 0.01; }), none, none, "COM Port Open"},
      {"bad parity 10 %", faults([](F& f) { f.badParityRate = 0.1; }), none, none, "COM Port Open"},
      {"bad parity 50 %", faults([](F& f) { f.badParityRate = 0.5; }), noReply, none, "COM Port Open"},
      {"wrong data count 10 %", faults([](F& f) { f.wrongCountRate = 0.1; }), {kWrongFormat}, {kWrongFormat},
       "COM Port Open"},
      {"commands refused", faults([](F& f) { f.refuseCommands = true; }), {kWrongCommand}, {kWrongCommand},
       "COM Port Open"},
      {"reply after 700 ms", faults([](F& f) { f.latencyMs = 700; }), none, none, "COM Port Open"},
      {"reply after 800 ms", faults([](F& f) { f.latencyMs = 800; }), none, none, "COM Port Open"},
      {"noise bursts 10 %", faults([](F& f) {
         f.noiseRate = 0.1;
         f.noiseMayHoldTypeLetters = true;
       }),
       none, none, "COM Port Open"},
      {"frames cut half-way 10 %", faults([](F& f) { f.cutFrameRate = 0.1; }), none, none, "COM Port Open"},
      {"unit unplugged with its adapter", Unplug, noReply, noReply, "COM Port Lost"},
  };
}

// The k-th record event belongs to the k-th record line: memory files take every record.
std::int64_t FirstCleanRecordMs(const MonitorRig& rig, std::int64_t afterMs) {
  const std::vector<std::string> records = RecordLines(rig.memoryFiles.files.at(rig.view.logPath));
  std::size_t index = 0;
  for (const Event& e : rig.log.events) {
    if (e.kind != 'L') continue;
    if (e.ms > afterMs && index < records.size() && !HoldsUnreadValues(records[index])) return e.ms;
    ++index;
  }
  return -1;
}

// The end of the first pass after fromMs whose steps were all read.
std::int64_t FirstCleanPassMs(const MonitorRig& rig, std::int64_t fromMs) {
  std::size_t acceptedInPass = 0;
  bool failedInPass = false;
  for (const Event& e : rig.log.events) {
    if (e.kind == 'S') {
      acceptedInPass += e.outcome == StepOutcome::kAccepted;
      failedInPass |= e.outcome != StepOutcome::kAccepted;
    } else if (e.kind == 'P') {
      if (e.ms > fromMs && !failedInPass && acceptedInPass == kPassSteps) return e.ms;
      acceptedInPass = 0;
      failedInPass = false;
    }
  }
  return -1;
}

// Lets a step that has just ended settle before the next command.
void RunCommand(MonitorRig& rig, int command) {
  const int before = rig.log.Count('S');
  rig.controller.Command(command);
  rig.RunUntilEvents('S', before + 1, kStepLimitMs);
  rig.link.RunFor(50);
}

FaultRun RunFault(const FaultCase& c) {
  MonitorRig rig;
  rig.PinTemperatures();
  FaultRun run;
  c.inject(rig);
  // Under the fault: two commands, the parameters, then reading and logging for a while.
  RunCommand(rig, kCmdTestCommunication);
  RunCommand(rig, kCmdStartCycleSensor1);
  rig.controller.Command(kCmdReadParameters);
  rig.RunUntilEvents('R', 1, kStepLimitMs);
  rig.controller.Command(kCmdStartReadingVariables);
  rig.RunUntilEvents('P', 1, kStepLimitMs);
  rig.LogEveryMinute();
  const auto watchStatus = [&] {
    run.comStatuses.insert(rig.controller.ComStatusText());
    return false;
  };
  rig.link.RunUntil(watchStatus, kFaultMs);
  run.mode = rig.controller.Mode();
  for (const std::string& line : rig.view.paneLines) {
    if (line.rfind("E> ", 0) == 0) ++run.errorLines[Kind(line)];
  }
  for (const Event& e : rig.log.events) {
    run.steps += e.kind == 'S';
    run.accepted += e.kind == 'S' && e.outcome == StepOutcome::kAccepted;
  }
  for (const std::string& record : RecordLines(rig.memoryFiles.files[rig.view.logPath])) {
    ++run.records;
    run.unreadRecords += HoldsUnreadValues(record);
  }

  // Healthy again: nothing but time is needed for reading and logging to come back.
  const std::int64_t healedMs = rig.link.Scheduler().NowMs();
  rig.Unit().Faults() = {};
  rig.link.Line().PlugIn();
  std::size_t eventsSeen = 0;
  rig.link.RunUntil(
      [&] {
        if (rig.log.events.size() == eventsSeen) return false;  // nothing new to look at
        eventsSeen = rig.log.events.size();
        const std::int64_t pass = FirstCleanPassMs(rig, healedMs);
        return pass >= 0 && FirstCleanRecordMs(rig, pass) >= 0;
      },
      kRecoveryLimitMs);
  const std::int64_t pass = FirstCleanPassMs(rig, healedMs);
  if (pass >= 0) run.readingBackMs = pass - healedMs;
  if (const std::int64_t record = pass >= 0 ? FirstCleanRecordMs(rig, pass) : -1; record >= 0) {
    run.loggingBackMs = record - healedMs;
  }
  run.comStatusAfter = rig.controller.ComStatusText();
  rig.controller.Command(kCmdStopLogging);
  rig.controller.Command(kCmdStopReadingVariables);
  rig.link.RunUntil([&] { return rig.controller.Mode() == kPortOpen && rig.log.events.back().kind != 'S'; },
                    10'000);
  rig.link.RunFor(50);
  RunCommand(rig, kCmdStartCycleSensor2);
  run.commandAfter = rig.TopLine();
  return run;
}

std::string Seconds(std::int64_t ms) { return ms < 0 ? "never" : CFormat("%.1f s", ms / 1000.0); }

std::string ErrorLines(const FaultRun& run) {
  std::string text;
  for (const auto& [kind, count] : run.errorLines) {
    text += (text.empty() ? "" : "<br>") + kind + CFormat(" (%d)", count);
  }
  return text.empty() ? "none" : text;
}

std::string Statuses(const FaultRun& run) {
  std::string text;
  for (const std::string& status : run.comStatuses) text += (text.empty() ? "" : ", ") + status;
  return text;
}

TEST(FaultMatrix, EachFaultIsShownSurvivedAndHealedByItself) {
  ReportTable table({"Fault", "Error lines in the pane under the fault", "Steps read", "Records (with unread values)",
                     "Status 1079", "Reading back after", "Logging back after"});
  for (const FaultCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const FaultRun run = RunFault(c);
    for (const auto& [kind, count] : run.errorLines) EXPECT_TRUE(c.allowed.contains(kind)) << kind;
    for (const std::string& kind : c.required) EXPECT_TRUE(run.errorLines.contains(kind)) << kind;
    EXPECT_EQ(run.comStatuses, std::set<std::string>{c.comStatus});
    EXPECT_EQ(run.mode, kLoggingVariables);
    // One record a minute, or at each pass end when passes take longer than that.
    EXPECT_GE(run.records, 3);
    EXPECT_GE(run.readingBackMs, 0);
    EXPECT_GE(run.loggingBackMs, 0);
    EXPECT_EQ(run.comStatusAfter, "COM Port Open");
    EXPECT_EQ(run.commandAfter, "I> Moisture cycle started");
    table.AddRow({c.name, ErrorLines(run), CFormat("%d of %d", run.accepted, run.steps),
                  CFormat("%d (%d)", run.records, run.unreadRecords), Statuses(run), Seconds(run.readingBackMs),
                  Seconds(run.loggingBackMs)});
  }
  table.Publish("fault_matrix.md");
}

}  // namespace
}  // namespace gelvar::testing
