// The command line: what each accepted form sets, and the message of each refused one.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include "monitor/monitor_controller.h"

namespace gelvar {
namespace {

using Args = std::vector<std::string>;

CliOptions Parsed(const Args& args) {
  CliOptions options;
  std::string error;
  EXPECT_TRUE(ParseCliOptions(args, options, error)) << error;
  return options;
}

TEST(CliOptions, GlobalOptionsGoAnywhereAndCommandsTakeTheirOwn) {
  const CliOptions log = Parsed({"log", "--json", "--file=x.log", "--com", "7", "--interval", "1", "--for", "1d12h"});
  EXPECT_EQ(log.command, CliCommand::kLog);
  EXPECT_EQ(log.commandName, "log");
  EXPECT_TRUE(log.json);
  EXPECT_EQ(log.comPort, 7);
  EXPECT_EQ(log.logFile, "x.log");
  EXPECT_EQ(log.logMinutes, 1);
  EXPECT_EQ(log.forSeconds, 36 * 3600);
  EXPECT_EQ(log.records, 0);

  const CliOptions heat = Parsed({"command", "stop-min-heat"});
  EXPECT_EQ(heat.command, CliCommand::kDeviceCommand);
  EXPECT_EQ(heat.deviceCommand, kCmdStopMinHeatTime);
  EXPECT_EQ(heat.commandName, "command stop-min-heat");

  const CliOptions cycle = Parsed({"--yes", "sensor-test", "start-cycle", "2", "--ta", "1000"});
  EXPECT_EQ(cycle.command, CliCommand::kSensorStartCycle);
  EXPECT_EQ(cycle.sensor, 1);
  EXPECT_EQ(cycle.ta, 1000);

  const CliOptions recorded = Parsed({"sensor-test", "read-recorded", "--type", "I", "--report", "r.dat", "--yes"});
  EXPECT_EQ(recorded.sensorType, 0);
  EXPECT_EQ(recorded.reportFile, "r.dat");

  EXPECT_EQ(Parsed({"read-variables"}).passes, 1);
  EXPECT_TRUE(Parsed({"read-variables", "--passes", "x", "-h"}).help);
}

struct RefusedCase {
  Args args;
  const char* message;  // part of the error
};

class RefusedUsage : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedUsage, NamesWhatIsWrong) {
  CliOptions options;
  std::string error;
  EXPECT_FALSE(ParseCliOptions(GetParam().args, options, error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedUsage,
    ::testing::Values(RefusedCase{{}, "no command given"},
                      RefusedCase{{"tset"}, "unknown command 'tset'"},
                      RefusedCase{{"test", "now"}, "unexpected argument 'now'"},
                      RefusedCase{{"--verbose", "test"}, "unknown option '--verbose'"},
                      RefusedCase{{"--com", "0", "test"}, "--com: '0' is not a COM port number from 1 to 255"},
                      RefusedCase{{"--com", "256", "test"}, "from 1 to 255"},
                      RefusedCase{{"test", "--com"}, "--com needs a COM port number"},
                      RefusedCase{{"--yes=1", "test"}, "--yes takes no value"},
                      RefusedCase{{"test", "--report", "r.par"}, "--report does not go with 'test'"},
                      RefusedCase{{"read-variables", "--passes", "0"}, "--passes: '0'"},
                      RefusedCase{{"log"}, "log needs --file FILE"},
                      RefusedCase{{"log", "--file", ""}, "--file: '' is not a file name"},
                      RefusedCase{{"log", "--file", "l", "--interval", "61"}, "minutes from 1 to 60"},
                      RefusedCase{{"log", "--file", "l", "--records", "2", "--for", "1h"}, "not both"},
                      RefusedCase{{"log", "--file", "l", "--for", "5"}, "--for: '5' is not a duration"},
                      RefusedCase{{"command"}, "'command' needs one of: start-min-heat | stop-min-heat"},
                      RefusedCase{{"command", "reboot"}, "'command' needs one of"},
                      RefusedCase{{"command", "factory-settings"}, "Add --yes to confirm."},
                      RefusedCase{{"sensor-test", "temperature", "1"}, "Add --yes to confirm."},
                      RefusedCase{{"--yes", "sensor-test", "temperature"}, "needs the sensor number, 1 or 2"},
                      RefusedCase{{"--yes", "sensor-test", "temperature", "3"}, "sensor number"},
                      RefusedCase{{"--yes", "sensor-test", "start-cycle", "1", "--ta", "1001"}, "from 1 to 1000"},
                      RefusedCase{{"--yes", "sensor-test", "read-recorded"}, "needs --type I or --type II"},
                      RefusedCase{{"--yes", "sensor-test", "read-recorded", "--type", "III"}, "is not I or II"},
                      RefusedCase{{"--yes", "sensor-test", "temperature", "1", "--ta", "5"}, "does not go with"}));

struct DurationCase {
  const char* text;
  long long seconds;  // 0: refused
};

class Durations : public ::testing::TestWithParam<DurationCase> {};

TEST_P(Durations, AreSumsOfUnits) {
  long long seconds = 0;
  EXPECT_EQ(ParseDuration(GetParam().text, seconds), GetParam().seconds != 0);
  if (GetParam().seconds != 0) {
    EXPECT_EQ(seconds, GetParam().seconds);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Durations,
                         ::testing::Values(DurationCase{"7d", 7 * 86400}, DurationCase{"36h", 36 * 3600},
                                           DurationCase{"90m", 5400}, DurationCase{"45s", 45},
                                           DurationCase{"1d12h30m", 86400 + 12 * 3600 + 1800},
                                           DurationCase{"", 0}, DurationCase{"0s", 0}, DurationCase{"12", 0},
                                           DurationCase{"h", 0}, DurationCase{"3w", 0}, DurationCase{"-1h", 0},
                                           DurationCase{"3651d", 0},
                                           DurationCase{"99999999999999999999s", 0}));

TEST(CliOptions, HelpNamesEveryCommandAndExitStatus) {
  const std::string help = CliUsage();
  for (const char* word : {"test", "read-parameters", "read-variables", "log", "start-min-heat", "stop-min-heat",
                           "cycle-sensor1", "cycle-sensor2", "factory-settings", "temperature", "start-cycle",
                           "read-recorded", "GELVAR_COM", "Exit status", "128+n"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace gelvar
