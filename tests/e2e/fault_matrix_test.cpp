// One fault of the unit or of the line per row, in virtual time: what the user sees while it lasts,
// that the program keeps running and the log keeps its set numbers, and that reading and logging come
// back by themselves once the unit is healthy again (a lost adapter is found at the next try). The
// same run prints the table that docs/reliability.md shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "common/c_format.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

// Reading and logging under the fault; it ends between two due records.
constexpr std::int64_t kFaultMs = 5 * 60'000 + 30'000;
constexpr std::int64_t kRecoveryMs = 3 * 60'000;
constexpr std::int64_t kStepLimitMs = 200'000;  // a whole parameter reading without replies
constexpr int kPassSteps = 15;

const std::string kNoReply = "E> No reply";
const std::string kNoReplyTest = "E> No reply from detector unit";

struct FaultCase {
  const char* name;
  std::function<void(MonitorRig&)> inject;
  std::set<std::string> allowed;            // error lines the pane may show under the fault, without the ID
  std::set<std::string> required;           // error lines it must show
  const char* comStatus = "COM Port Open";  // status text 1079 while the fault lasts
};

std::vector<FaultCase> Cases() {
  using F = unitsim::UnitFaults;
  // Noise may hold the frame type letters; that matters only in a row with noise.
  const auto faults = [](std::function<void(F&)> set) {
    return [set](MonitorRig& rig) {
      rig.Unit().Faults().noiseMayHoldTypeLetters = true;
      set(rig.Unit().Faults());
    };
  };
  const auto rate = [&](double F::*field, double value) { return faults([=](F& f) { f.*field = value; }); };
  const std::set<std::string> noReply = {kNoReply, kNoReplyTest};
  const std::set<std::string> wrongFormat = {"E> Wrong format response"};
  const std::set<std::string> wrongCommand = {"E> Wrong command response"};
  return {
      {"unit silent", faults([](F& f) { f.silent = true; }), noReply, noReply},
      {"one object silent (0C84)", faults([](F& f) { f.silentObjects = {0x0C84}; }), {kNoReply}, {kNoReply}},
      {"bad checksum 1 %", rate(&F::badChecksumRate, 0.01), {}, {}},
      {"bad checksum 10 %", rate(&F::badChecksumRate, 0.1), {}, {}},
      {"bad checksum 50 %", rate(&F::badChecksumRate, 0.5), noReply, {}},
      {"bad parity 1 %", rate(&F::badParityRate, 0.01), {}, {}},
      {"bad parity 10 %", rate(&F::badParityRate, 0.1), {}, {}},
      {"bad parity 50 %", rate(&F::badParityRate, 0.5), noReply, {}},
      {"wrong data count 10 %", rate(&F::wrongCountRate, 0.1), wrongFormat, wrongFormat},
      {"commands refused", faults([](F& f) { f.refuseCommands = true; }), wrongCommand, wrongCommand},
      {"reply after 700 ms", faults([](F& f) { f.latencyMs = 700; }), {}, {}},
      {"reply after 800 ms", faults([](F& f) { f.latencyMs = 800; }), {}, {}},
      {"noise bursts 10 %", rate(&F::noiseRate, 0.1), {}, {}},
      {"frames cut half-way 10 %", rate(&F::cutFrameRate, 0.1), {}, {}},
      {"unit unplugged with its adapter", [](MonitorRig& rig) { rig.link.Line().Unplug(); }, noReply, noReply,
       "COM Port Lost"},
      {"all faults at once, out-of-table values",
       [=](MonitorRig& rig) {
         rate(&F::noiseRate, 0.2)(rig);
         F& f = rig.Unit().Faults();
         f.dropRate = f.badChecksumRate = f.badParityRate = f.cutFrameRate = 0.1;
         f.wrongCountRate = 0.2;
         f.latencyMs = 30;
         for (const std::uint32_t id : {0x3003u, 0x0C00u, 0x0C80u, 0x0C07u}) {
           rig.Unit().SetObject(id, std::vector<std::uint8_t>(rig.Unit().Object(id).size(), 0xFF));
         }
         rig.Unit().SetObject(0x0C01, {});
       },
       {kNoReply, kNoReplyTest, "E> Wrong format response"},
       {}},
  };
}

// The end of the first pass after fromMs whose steps were all read; -1 when there is none.
std::int64_t FirstCleanPassMs(const MonitorRig& rig, std::int64_t fromMs) {
  int accepted = 0;
  bool failed = false;
  for (const Event& e : rig.log.events) {
    if (e.kind == 'S') {
      accepted += e.outcome == StepOutcome::kAccepted;
      failed |= e.outcome != StepOutcome::kAccepted;
    } else if (e.kind == 'P') {
      if (e.ms > fromMs && !failed && accepted == kPassSteps) return e.ms;
      accepted = 0;
      failed = false;
    }
  }
  return -1;
}

// The first record after afterMs with every value read; the k-th record event is the k-th record line,
// as memory files take every record.
std::int64_t FirstCleanRecordMs(const MonitorRig& rig, std::int64_t afterMs) {
  const std::vector<std::string> records = RecordLines(rig.memoryFiles.files.at(rig.view.logPath));
  const std::vector<Event> written = rig.log.Of('L');
  for (std::size_t k = 0; k < written.size() && k < records.size(); ++k) {
    if (written[k].ms > afterMs && !HoldsUnreadValues(records[k])) return written[k].ms;
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

// The protocol window's panes keep only their latest text: a note there must be told once.
bool NotedOnce(MonitorRig& rig, const std::string& note) {
  const std::string& text = rig.link.Pump().Tx().Text();
  return text.find(note) != std::string::npos && text.find(note) == text.rfind(note);
}

// The time from fromMs to atMs, when there is such a time.
std::string Seconds(std::int64_t atMs, std::int64_t fromMs) {
  return atMs < 0 ? "never" : CFormat("%.1f s", (atMs - fromMs) / 1000.0);
}

TEST(FaultMatrix, EachFaultIsShownSurvivedAndHealedByItself) {
  std::vector<std::vector<std::string>> table = {{"Fault", "Error lines in the pane under the fault", "Steps read",
                                                  "Records (with unread values)", "Status 1079", "Reading back after",
                                                  "Logging back after"}};
  for (const FaultCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    MonitorRig rig;
    rig.PinTemperatures();
    c.inject(rig);
    // Under the fault: two commands, the parameters, then reading and logging for a while.
    const bool unplugged = c.comStatus != std::string("COM Port Open");
    RunCommand(rig, kCmdTestCommunication);
    EXPECT_EQ(NotedOnce(rig, "\r\n*** COM1 lost"), unplugged);
    RunCommand(rig, kCmdStartCycleSensor1);
    rig.controller.Command(kCmdReadParameters);
    rig.RunUntilEvents('R', 1, kStepLimitMs);
    rig.StartLogging(kStepLimitMs);
    std::set<std::pair<std::string, int>> states;  // status 1079 and mode
    const auto watchStates = [&] {
      states.emplace(rig.controller.ComStatusText(), rig.controller.Mode());
      return false;
    };
    rig.link.RunUntil(watchStates, kFaultMs);
    EXPECT_EQ(states, (std::set<std::pair<std::string, int>>{{c.comStatus, kLoggingVariables}}));

    std::map<std::string, int> errorLines;  // by kind, without the object ID
    for (const std::string& line : rig.view.paneLines) {
      if (line.starts_with("E> ")) ++errorLines[line.substr(0, line.find(" at ID:"))];
    }
    std::string errorTexts;
    for (const auto& [kind, count] : errorLines) {
      EXPECT_TRUE(c.allowed.contains(kind)) << kind;
      errorTexts += (errorTexts.empty() ? "" : "<br>") + kind + CFormat(" (%d)", count);
    }
    for (const std::string& kind : c.required) EXPECT_TRUE(errorLines.contains(kind)) << kind;
    const std::vector<std::string> records = RecordLines(rig.memoryFiles.files[rig.view.logPath]);
    // One record a minute, or at each pass end when passes take longer than that.
    EXPECT_GE(records.size(), 3u);
    for (std::size_t k = 0; k < records.size(); ++k) {
      EXPECT_EQ(RecordSetNumber(records[k]), static_cast<int>(k) + 1);
      EXPECT_TRUE(IsWellFormedRecord(records[k])) << records[k];
    }
    const auto unread = std::count_if(records.begin(), records.end(), HoldsUnreadValues);
    if (c.required.contains(kNoReplyTest)) {
      EXPECT_EQ(unread, std::ssize(records)) << "no value read while the unit is away";
    }

    // Healthy again: nothing but time is needed for reading and logging to come back.
    const std::int64_t healedMs = rig.link.Scheduler().NowMs();
    rig.Unit().Faults() = {};
    rig.link.Line().PlugIn();
    rig.link.RunFor(kReopenIntervalMs + 10);
    EXPECT_EQ(rig.controller.ComStatusText(), "COM Port Open");
    EXPECT_EQ(NotedOnce(rig, "\r\n*** COM1 reopened"), unplugged);
    rig.link.RunFor(kRecoveryMs - kReopenIntervalMs - 10);
    const std::int64_t readingBackMs = FirstCleanPassMs(rig, healedMs);
    const std::int64_t loggingBackMs = readingBackMs < 0 ? -1 : FirstCleanRecordMs(rig, readingBackMs);
    EXPECT_GE(readingBackMs, 0);
    EXPECT_GE(loggingBackMs, 0);
    rig.controller.Command(kCmdStopLogging);
    rig.controller.Command(kCmdStopReadingVariables);
    rig.link.RunUntil([&] { return rig.controller.Mode() == kPortOpen && rig.log.events.back().kind != 'S'; }, 10'000);
    rig.link.RunFor(50);
    RunCommand(rig, kCmdStartCycleSensor2);
    EXPECT_EQ(rig.TopLine(), "I> Moisture cycle started");

    table.push_back({c.name, errorTexts.empty() ? "none" : errorTexts,
                     CFormat("%d of %d", rig.log.accepted, rig.log.Count('S')),
                     CFormat("%d (%d)", static_cast<int>(records.size()), static_cast<int>(unread)), c.comStatus,
                     Seconds(readingBackMs, healedMs), Seconds(loggingBackMs, healedMs)});
  }
  PublishTable("fault_matrix.md", table);
}

}  // namespace
}  // namespace gelvar::testing
