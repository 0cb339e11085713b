// Logging by the console program in virtual time, where a real line would take minutes: the count,
// the duration, and a record that could not be written.
#include "cli/console_program.h"

#include <gtest/gtest.h>

#include <sstream>

#include "link/test_support.h"
#include "support/monitor_fakes.h"
#include "support/virtual_scheduler.h"
#include "unitsim/simulated_line.h"

namespace gelvar::testing {
namespace {

constexpr std::int64_t kMinuteMs = 60'000;

TEST(ConsoleLog, EndsAfterItsRecordsOrItsTimeAndGoesOnPastAFailedWrite) {
  const struct {
    std::vector<std::string> options;
    int failAfter;  // file writes that succeed; 0: all
    int status;
    int records;
    std::int64_t endMs;  // at most ten seconds later
    const char* outEnd;
  } cases[] = {
      {{"--interval", "2", "--records", "3"}, 0, kExitDone, 3, 4 * kMinuteMs, "records: 3\nunwritten records: 0\n"},
      {{"--interval", "1", "--for", "3m"}, 0, kExitDone, 3, 3 * kMinuteMs, "records: 3\nunwritten records: 0\n"},
      {{"--interval", "1", "--records", "3"}, 2, kExitFile, 1, 2 * kMinuteMs, "records: 3\nunwritten records: 2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.back());
    ResetLinkStateForTests();
    std::vector<std::string> args = {"log", "--file", "/g.log"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    CliOptions options;
    std::string error;
    ASSERT_TRUE(ParseCliOptions(args, options, error)) << error;
    VirtualScheduler scheduler;
    unitsim::UnitModel unit;
    unitsim::SimulatedLine line{unit, [&] { return scheduler.NowMs(); }};
    MemoryFiles files;
    files.failAfter = c.failAfter;
    std::ostringstream out;
    std::ostringstream err;
    Console console{out, err, false};
    ConsoleProgram program(options, scheduler, line, files, console, [] { return 0; });
    program.Start(nullptr);
    ASSERT_TRUE(scheduler.RunUntil([&] { return program.Finished(); }, 10 * kMinuteMs));

    EXPECT_EQ(program.ExitStatus(), c.status);
    EXPECT_GE(scheduler.NowMs(), c.endMs);
    EXPECT_LT(scheduler.NowMs(), c.endMs + 10'000);
    EXPECT_TRUE(out.str().ends_with(c.outEnd)) << out.str();
    const std::string& log = files.files["/g.log"];
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2 + c.records) << log;
    EXPECT_NE(log.find("\r\n0000" + std::to_string(c.records) + "; "), std::string::npos) << log;
  }
}

}  // namespace
}  // namespace gelvar::testing
