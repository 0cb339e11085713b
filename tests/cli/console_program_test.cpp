// The console program against the simulated unit in virtual time: what takes minutes on a real line
// (log intervals, durations) and what needs faults the simulator program cannot show on demand
// (failing record writes, replies of the wrong size, signals at a chosen moment).
#include "cli/console_program.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "link/test_support.h"
#include "support/monitor_fakes.h"
#include "support/virtual_scheduler.h"
#include "unitsim/simulated_line.h"

namespace gelvar::testing {
namespace {

using Strings = std::vector<std::string>;

Strings Lines(const std::string& text, const char* separator = "\n") {
  Strings lines;
  const std::string sep = separator;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(sep, start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + sep.size();
  }
  return lines;
}

class ProgramRig {
 public:
  explicit ProgramRig(const Strings& args) {
    ResetLinkStateForTests();
    std::string error;
    EXPECT_TRUE(ParseCliOptions(args, options_, error)) << error;
  }

  void Start() {
    program_ = std::make_unique<ConsoleProgram>(options_, scheduler, line_, files, console_, [this] { return signal; });
    program_->Start(nullptr);
  }
  // Starts the program; false when it has not ended within limitMs of virtual time.
  bool Run(std::int64_t limitMs) {
    Start();
    return RunOn(limitMs);
  }
  bool RunOn(std::int64_t limitMs) {
    return scheduler.RunUntil([this] { return program_->Finished(); }, limitMs);
  }
  bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs) { return scheduler.RunUntil(done, limitMs); }

  int ExitStatus() const { return program_->ExitStatus(); }
  Strings OutLines() const { return Lines(out_.str()); }
  Strings ErrLines() const { return Lines(err_.str()); }
  // The log records (header lines left out) of the one file written.
  Strings Records() const {
    if (files.files.size() != 1) return {};
    Strings lines = Lines(files.files.begin()->second, "\r\n");
    return Strings(lines.begin() + std::min<std::ptrdiff_t>(2, static_cast<std::ptrdiff_t>(lines.size())), lines.end());
  }

  VirtualScheduler scheduler;
  unitsim::UnitModel unit;
  MemoryFiles files;
  int signal = 0;

 private:
  CliOptions options_;
  unitsim::SimulatedLine line_{unit, [this] { return scheduler.NowMs(); }};
  std::ostringstream out_;
  std::ostringstream err_;
  Console console_{out_, err_, false};
  std::unique_ptr<ConsoleProgram> program_;  // first to go
};

constexpr std::int64_t kMinuteMs = 60'000;

TEST(ConsoleLog, WritesARecordAfterEachIntervalUntilTheCount) {
  ProgramRig rig({"log", "--file", "/data/g.log", "--interval", "2", "--records", "3"});
  ASSERT_TRUE(rig.Run(10 * kMinuteMs));
  EXPECT_EQ(rig.ExitStatus(), kExitDone);

  const Strings records = rig.Records();
  ASSERT_EQ(records.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(records[static_cast<std::size_t>(i)].substr(0, 7), "0000" + std::to_string(i + 1) + "; ");
  // Record 1 follows the first pass, the others come two minutes apart at the end of a pass.
  EXPECT_GE(rig.scheduler.NowMs(), 4 * kMinuteMs);
  EXPECT_LT(rig.scheduler.NowMs(), 4 * kMinuteMs + 10'000);
  EXPECT_EQ(rig.ErrLines(), (Strings{"I> COM Port Opened", "I> Reading variables started", "I> Logging started",
                                     "I> Log stored in file ' /data/g.log '", "I> Reading variables stopped"}));
  EXPECT_EQ(rig.OutLines(), (Strings{"file: /data/g.log", "records: 3", "unwritten records: 0"}));
}

TEST(ConsoleLog, EndsWhenTheDurationHasPassed) {
  ProgramRig rig({"log", "--file", "/data/g.log", "--interval", "1", "--for", "3m"});
  ASSERT_TRUE(rig.Run(10 * kMinuteMs));
  EXPECT_EQ(rig.ExitStatus(), kExitDone);
  EXPECT_GE(rig.scheduler.NowMs(), 3 * kMinuteMs);
  EXPECT_LT(rig.scheduler.NowMs(), 3 * kMinuteMs + 5'000);
  EXPECT_GE(rig.Records().size(), 3u);
  EXPECT_LE(rig.Records().size(), 4u);
}

TEST(ConsoleLog, KeepsLoggingPastARecordThatCouldNotBeWritten) {
  ProgramRig rig({"log", "--file", "/data/g.log", "--interval", "1", "--records", "3"});
  rig.files.failAfter = 2;  // the header and the first record
  ASSERT_TRUE(rig.Run(10 * kMinuteMs));
  EXPECT_EQ(rig.ExitStatus(), kExitFile);
  EXPECT_EQ(rig.Records().size(), 1u);
  const Strings err = rig.ErrLines();
  EXPECT_NE(std::find(err.begin(), err.end(), "gelvar-cli: record 3 could not be written to /data/g.log"), err.end());
  EXPECT_EQ(rig.OutLines().back(), "unwritten records: 2");
}

struct StopCase {
  Strings args;
  int signal;
  int exitStatus;
  Strings lastMessages;
};

class StopSignal : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopSignal, WindsTheCommandDown) {
  ProgramRig rig(GetParam().args);
  ASSERT_FALSE(rig.Run(20'000));  // one record written (log) or one pass read
  rig.signal = GetParam().signal;
  ASSERT_TRUE(rig.RunOn(100));
  EXPECT_EQ(rig.ExitStatus(), GetParam().exitStatus);
  const Strings err = rig.ErrLines();
  const Strings& last = GetParam().lastMessages;
  ASSERT_GE(err.size(), last.size());
  EXPECT_EQ(Strings(err.end() - static_cast<std::ptrdiff_t>(last.size()), err.end()), last);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopSignal,
    ::testing::Values(StopCase{{"log", "--file", "/data/g.log"}, 2, kExitDone,
                               {"I> Log stored in file ' /data/g.log '", "I> Reading variables stopped"}},
                      StopCase{{"read-variables", "--passes", "100"}, 2, 130, {"I> Reading variables stopped"}},
                      StopCase{{"--yes", "sensor-test", "start-cycle", "1"}, 15, 143, {}}));

TEST(ConsoleLog, StopSignalKeepsEveryRecordWritten) {
  ProgramRig rig({"log", "--file", "/data/g.log", "--interval", "1"});
  rig.Start();
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Records().size() == 2; }, 3 * kMinuteMs));
  rig.signal = 15;
  ASSERT_TRUE(rig.RunOn(100));
  EXPECT_EQ(rig.ExitStatus(), kExitDone);
  const Strings records = rig.Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].substr(0, 7), "00002; ");
  EXPECT_EQ(rig.OutLines(), (Strings{"file: /data/g.log", "records: 2", "unwritten records: 0"}));
}

struct UnitFaultCase {
  Strings args;
  unitsim::UnitFaults faults;
  Strings outLines;
  const char* message;
};

class UnitFault : public ::testing::TestWithParam<UnitFaultCase> {};

TEST_P(UnitFault, EndsWithStatusOne) {
  ProgramRig rig(GetParam().args);
  rig.unit.Faults() = GetParam().faults;
  ASSERT_TRUE(rig.Run(5 * kMinuteMs));
  EXPECT_EQ(rig.ExitStatus(), kExitUnit);
  EXPECT_EQ(rig.OutLines(), GetParam().outLines);
  const Strings err = rig.ErrLines();
  EXPECT_NE(std::find(err.begin(), err.end(), GetParam().message), err.end()) << rig.ErrLines().size();
}

unitsim::UnitFaults WrongCounts() {
  unitsim::UnitFaults faults;
  faults.wrongCountRate = 1.0;
  return faults;
}

unitsim::UnitFaults SilentOn(std::uint32_t objectId) {
  unitsim::UnitFaults faults;
  faults.silentObjects.insert(objectId);
  return faults;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnitFault,
    ::testing::Values(
        UnitFaultCase{{"test"}, WrongCounts(), {"result: wrong format"}, "E> Wrong format response at ID: 3003"},
        UnitFaultCase{{"command", "cycle-sensor2"}, SilentOn(0x0C97), {"result: no reply"}, "E> No reply at ID: 0C97"},
        UnitFaultCase{{"--yes", "sensor-test", "temperature", "2"}, SilentOn(0x0C94), {},
                      "gelvar-cli: Error at sensor temperature"}));

}  // namespace
}  // namespace gelvar::testing
