// gelvar-cli's program over the simulated unit in virtual time: what each command prints, writes and
// ends with.
#include "cli/console_program.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "cli/field_table.h"
#include "link/test_support.h"
#include "monitor/parameter_report.h"
#include "monitor/variable_log.h"
#include "support/monitor_fakes.h"
#include "support/virtual_scheduler.h"
#include "unitsim/simulated_line.h"

namespace gelvar::testing {
namespace {

struct VirtualCli;
using Meanwhile = std::function<void(VirtualCli&, int)>;

// One run of the command line args (words split at spaces); meanwhile(second) runs before each
// simulated second and may raise a stop signal. A run without meanwhile has no signal source at all.
struct VirtualCli {
  explicit VirtualCli(const std::string& args, const Meanwhile& meanwhile = nullptr) {
    ResetLinkStateForTests();
    CliOptions options;
    std::string error;
    std::istringstream words(args);
    EXPECT_TRUE(ParseCliOptions({std::istream_iterator<std::string>(words), {}}, options, error)) << error;
    std::function<int()> pendingSignal;
    if (meanwhile) pendingSignal = [this] { return signal; };
    ConsoleProgram program(options, scheduler, line, files, console, pendingSignal);
    program.Start({});
    for (int second = 0; second < 600 && !program.Finished(); ++second) {
      if (meanwhile) meanwhile(*this, second);
      scheduler.RunUntil([&] { return program.Finished(); }, 1000);
    }
    status = program.Finished() ? program.ExitStatus() : -1;
    fields = program.Controller().Fields();
  }

  VirtualScheduler scheduler;
  unitsim::UnitModel unit;
  unitsim::SimulatedLine line{unit, [this] { return scheduler.NowMs(); }};
  MemoryFiles files;
  std::ostringstream out, err;
  Console console{out, err, true};
  int signal = 0;
  int status = -1;
  DisplayFields fields;
};

std::string FullPath(const std::string& name) { return (std::filesystem::current_path() / name).string(); }

const Meanwhile kSilent = [](VirtualCli& cli, int) { cli.unit.Faults().silent = true; };
const Meanwhile kFahrenheit = [](VirtualCli& cli, int) { cli.unit.SetObject(0x3003, {0x10, 0x00}); };
const Meanwhile kUnwritable = [](VirtualCli& cli, int) { cli.files.unwritable.insert(FullPath("r.par")); };
// The log's file goes read-only once its header is written.
const Meanwhile kLogLost = [](VirtualCli& cli, int second) {
  if (second == 1) cli.files.unwritable.insert(FullPath("u.log"));
};
const Meanwhile kSignalAt30 = [](VirtualCli& cli, int second) { cli.signal = second >= 30 ? SIGTERM : 0; };
const Meanwhile kLostAWhile = [](VirtualCli& cli, int second) {
  if (second == 1) cli.line.Unplug();
  if (second == 4) cli.line.PlugIn();
};
const Meanwhile kManySets = [](VirtualCli& cli, int) {
  cli.unit.SetObject(0x0D05, {0x2B, 0x01, 0x01, 0x00});  // Ti 299 s, Tm 1 s: N = 300
  cli.unit.SetRecordedSets(std::vector(300, std::vector<std::uint8_t>{0, 5, 0, 2}),
                           std::vector(300, std::vector<std::uint8_t>{0x70, 0x17}));
};

TEST(ConsoleProgram, PrintsAndEndsAsEachCommandDid) {
  const std::string logged = "file: " + FullPath("u.log") + "\nrecords: 1\nunwritten records: 0\n";
  const char* kStopped = "I> Reading variables stopped\n";
  const struct {
    std::string args;
    Meanwhile meanwhile;
    int status;
    std::string outPart;
    std::string errPart;
  } cases[] = {
      {"test", nullptr, kExitDone, "result: accepted\n", "I> COM Port Opened\nI> Communication OK\n"},
      {"--json test", nullptr, kExitDone, "{\"command\":\"test\",\"result\":\"accepted\"}\n", ""},
      {"command start-min-heat", nullptr, kExitDone, "result: accepted\n", "I> Minimum Heat Time started"},
      {"--json command stop-min-heat", nullptr, kExitDone, "{\"command\":\"command stop-min-heat\",",
       "I> Minimum Heat Time stopped"},
      {"test", kSilent, kExitUnit, "result: no reply\n", "I> COM Port Opened\nE> No reply from detector unit\n"},
      {"test", [](VirtualCli& cli, int) { cli.line.Unplug(); }, kExitPort, "", ""},
      {"test", [](VirtualCli& cli, int) { cli.signal = SIGTERM; }, 128 + SIGTERM, "", ""},
      {"read-variables --passes 2", nullptr, kExitDone, "\npass: 2\n", kStopped},
      {"read-variables", kFahrenheit, kExitDone, "\302\260F", ""},
      {"log --file u.log --records 1", nullptr, kExitDone, logged, kStopped},
      {"log --file u.log", kSignalAt30, kExitDone, logged, "I> Log stored in file ' " + FullPath("u.log")},
      {"log --file u.log --records 1", kLogLost, kExitFile, "unwritten records: 1\n", "could not be written to "},
      {"watch --mqtt mqtt://h/p", kSignalAt30, kExitDone, "", "I> Reading variables started\n"},
      {"read-parameters --report r.par", kUnwritable, kExitFile, "", "cannot write " + FullPath("r.par")},
      {"read-variables --passes 3", kLostAWhile, kExitDone, "pass: 3", "E> COM Port Lost\nI> COM Port Reopened\n"},
      {"--yes sensor-test start-cycle 1 --ta 1", nullptr, kExitDone, "Rs: 2350 Ohm\nRecording sensor 1 completed!\n",
       ""},
      {"--json --yes sensor-test temperature 2", nullptr, kExitDone, "\"lines\":[\"Temperature sensor 2:", ""},
      {"--yes sensor-test temperature 1", kSilent, kExitUnit, "", ""},
      // More samples than the unit keeps: the progress counts to the sets read.
      {"--yes sensor-test read-recorded --type II", kManySets, kExitDone, "", "256/256 ["},
  };
  for (const auto& c : cases) {
    const VirtualCli cli(c.args, c.meanwhile);
    SCOPED_TRACE(c.args);
    EXPECT_EQ(cli.status, c.status) << cli.err.str();
    // Lines come once; the progress line is drawn again below each message line.
    for (const auto& [text, part] : {std::pair{cli.out.str(), c.outPart}, std::pair{cli.err.str(), c.errPart}}) {
      const std::size_t at = text.find(part);
      EXPECT_NE(at, std::string::npos) << text;
      if (part.ends_with('\n')) {
        EXPECT_EQ(text.find(part, at + 1), std::string::npos) << "twice";
      }
    }
  }
}

// The files are the core's, at the full paths of the names given.
TEST(ConsoleProgram, WritesTheCoresFiles) {
  const VirtualCli parameters("read-parameters --report r.par");
  std::string lines;
  for (const std::string& line : FieldLines(parameters.fields, ParameterLabels())) lines += line + "\n";
  EXPECT_EQ(parameters.out.str(), lines + "report: " + FullPath("r.par") + "\n");
  EXPECT_EQ(parameters.files.files.at(FullPath("r.par")),
            ParameterReport(parameters.fields, parameters.scheduler.CalendarTime()));
  EXPECT_NE(parameters.err.str().find(ProgressText("Reading parameters", kParameterCount, kParameterCount)),
            std::string::npos);

  const VirtualCli log("log --file u.log --records 1", kFahrenheit);
  const std::string bytes = log.files.files.at(FullPath("u.log"));
  EXPECT_TRUE(bytes.starts_with(LogHeader(VirtualScheduler().CalendarTime(), 1) + "00001; ")) << bytes;

  const VirtualCli recorded("--yes sensor-test read-recorded --type II --report s.dat");
  EXPECT_NE(recorded.out.str().find("report: " + FullPath("s.dat")), std::string::npos);
  EXPECT_TRUE(recorded.files.files.at(FullPath("s.dat")).starts_with("t[s]; Uv[V];"));
}

}  // namespace
}  // namespace gelvar::testing
