// gelvar-cli itself against gelvar-unit-sim on a pseudo-terminal: every command, the files' bytes
// against what the core writes for the same unit, the JSON output, and the exit statuses.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "cli/cli_options.h"
#include "cli/field_table.h"
#include "monitor/monitor_controller.h"
#include "monitor/parameter_report.h"
#include "monitor/value_format.h"
#include "monitor/variable_log.h"
#include "process.h"
#include "sensortest/sensor_test.h"
#include "support/monitor_fakes.h"
#include "support/virtual_link.h"

namespace gelvar::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kCli = GELVAR_CLI_PATH;
const std::string kSim = GELVAR_SIM_PATH;

Strings Lines(const std::string& text, const std::string& separator = "\n") {
  Strings lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(separator, start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + separator.size();
  }
  return lines;
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// --- What the core writes for the simulated unit, in virtual time. ---

class LinkedView : public FakeMonitorView {
 public:
  explicit LinkedView(BytePump& pump) : pump_(pump) {}
  int OpenChannel(int channel, int portNumber) override { return pump_.OpenChannel(channel, portNumber); }

 private:
  BytePump& pump_;
};

struct CoreRun {
  CoreRun() : view(link.Pump()), controller(view, link.Scheduler(), files) {
    controller.Open();
    controller.Command(kCmdOpenComPort);
  }
  VirtualLink link{10, false};
  LinkedView view;
  MemoryFiles files;
  MonitorController controller;
};

DisplayFields CoreParameterFields() {
  CoreRun run;
  run.controller.Command(kCmdReadParameters);
  EXPECT_TRUE(run.link.RunUntil([&] { return run.controller.Mode() == kPortOpen; }, 60'000));
  return run.controller.Fields();
}

struct CoreVariables {
  DisplayFields fields;
  VariableSnapshot snapshot;
};

CoreVariables CoreFirstPass() {
  CoreRun run;
  run.controller.Command(kCmdStartReadingVariables);
  EXPECT_TRUE(run.link.RunUntil([&] { return run.controller.Progress().pause > 0; }, 60'000));
  return {run.controller.Fields(), run.controller.Snapshot()};
}

class SilentSensorView : public SensorTestView {
 public:
  void Refresh() override {}
  void Alert(const std::string&, AlertIcon) override {}
  bool ChooseSaveFile(const std::string&, const std::string&, std::string&) override { return false; }
};

std::string CoreSensorReport(int sensorType) {
  VirtualLink link;
  SilentSensorView view;
  SensorTest test(link.Scheduler());
  test.Open(view);
  test.OnTypeChanged(sensorType);
  test.OnReadRecordedData();
  EXPECT_TRUE(link.RunUntil([&] { return test.TestStep() == 0; }, 60'000));
  return SensorTestReport(test.Values(), sensorType);
}

// Fields whose unit values drift in the simulator while it runs.
bool Drifts(int controlId) {
  for (int sensor = 0; sensor < 2; ++sensor) {
    if (controlId == SensorField(kFieldSensorTemp, sensor) || controlId == SensorField(kFieldSensorAmbientTemp, sensor)) {
      return true;
    }
  }
  return controlId == kFieldSlabTemp || controlId == kFieldOutdoorTemp;
}

// --- The simulator and the program. ---

// A simulated unit on a new pseudo-terminal, stopped at the end of the test.
class Simulator {
 public:
  explicit Simulator(Strings options = {}) : child_(kSim, Prepend("--print-path-only", options)) {
    path_ = child_.ReadLine(10s);
    EXPECT_FALSE(path_.empty()) << "gelvar-unit-sim did not start";
  }
  ~Simulator() {
    child_.Signal(SIGTERM);
    child_.Wait(10s);
  }
  std::string Com1() const { return "GELVAR_COM1=" + path_; }

 private:
  static Strings Prepend(const std::string& first, Strings rest) {
    rest.insert(rest.begin(), first);
    return rest;
  }
  Child child_;
  std::string path_;
};

class CliProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "gelvar-cli-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  // env entries go after the simulator's, so that they can replace it.
  Outcome Cli(const Strings& args, const Strings& env = {}) {
    Strings all = {sim.Com1(), "LC_ALL=de_DE.UTF-8"};  // numbers and dates must not follow the locale
    all.insert(all.end(), env.begin(), env.end());
    return RunProgram(kCli, args, all);
  }

  Simulator sim;
  fs::path dir;
};

// The time window of a run, for files stamped with the local time.
struct Window {
  std::time_t first = std::time(nullptr) - 1;
  std::time_t last = 0;
  void Close() { last = std::time(nullptr) + 1; }
  template <typename Make>
  bool AnyMatches(const std::string& actual, Make make) const {
    for (std::time_t t = first; t <= last; ++t) {
      if (make(t) == actual) return true;
    }
    return false;
  }
};

TEST_F(CliProgram, TestCommunicationOnComSeven) {
  const Outcome run = Cli({"--com", "7", "test"}, {"GELVAR_COM7=" + sim.Com1().substr(12), "GELVAR_COM1="});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "result: accepted\n");
  EXPECT_EQ(run.err, "I> COM Port Opened\nI> Communication OK\n");
}

TEST_F(CliProgram, ReadParametersPrintsTheFieldsAndAppendsTheCoresReport) {
  const fs::path report = dir / "unit.par";
  Window window;
  const Outcome first = Cli({"read-parameters", "--report", report.string()});
  const Outcome second = Cli({"read-parameters", "--report", report.string()});
  window.Close();
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_EQ(second.status, 0) << second.err;

  const DisplayFields core = CoreParameterFields();
  Strings expectedOut = FieldLines(core, ParameterLabels());
  expectedOut.push_back("report: " + report.string());
  EXPECT_EQ(Lines(first.out), expectedOut);
  EXPECT_EQ(Lines(first.err), (Strings{"I> COM Port Opened", "I> Reading parameters OK",
                                       "I> Parameters stored in file ' " + report.string() + " '"}));

  // Two reports one after the other, each the core's bytes for its moment.
  const std::string bytes = FileBytes(report);
  const std::size_t half = bytes.size() / 2;
  ASSERT_EQ(bytes.size() % 2, 0u);
  for (const std::string& one : {bytes.substr(0, half), bytes.substr(half)}) {
    EXPECT_TRUE(window.AnyMatches(one, [&](std::time_t t) { return ParameterReport(core, t); })) << one;
  }
}

TEST_F(CliProgram, ReadVariablesPrintsEachPassInWindowOrder) {
  const Outcome run = Cli({"read-variables", "--passes", "2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.err), (Strings{"I> COM Port Opened", "I> Reading variables started",
                                     "I> Reading variables stopped"}));

  const CoreVariables core = CoreFirstPass();
  Strings expected;
  for (int pass = 1; pass <= 2; ++pass) {
    if (pass == 2) expected.push_back("");
    expected.push_back("pass: " + std::to_string(pass));
    for (const std::string& line : FieldLines(core.fields, VariableLabels())) expected.push_back(line);
  }
  const Strings lines = Lines(run.out);
  ASSERT_EQ(lines.size(), expected.size());
  const auto& labels = VariableLabels();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t field = i < labels.size() + 1 ? i - 1 : i - labels.size() - 3;
    if (lines[i].starts_with("pass") || lines[i].empty() || !Drifts(labels[field].controlId)) {
      EXPECT_EQ(lines[i], expected[i]);
    } else {
      // A drifting temperature: the same label and form, "  -1.5 °C".
      EXPECT_EQ(lines[i].substr(0, lines[i].find(':') + 2), expected[i].substr(0, expected[i].find(':') + 2));
      EXPECT_EQ(lines[i].size(), expected[i].size()) << lines[i];
      EXPECT_TRUE(lines[i].ends_with(" \xC2\xB0" "C")) << lines[i];
    }
  }
}

TEST_F(CliProgram, LogWritesTheCoresHeaderAndRecord) {
  const fs::path log = dir / "unit.log";
  Window window;
  const Outcome run = Cli({"log", "--file", log.string(), "--records", "1"});
  window.Close();
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.out), (Strings{"file: " + log.string(), "records: 1", "unwritten records: 0"}));
  EXPECT_EQ(Lines(run.err), (Strings{"I> COM Port Opened", "I> Reading variables started", "I> Logging started",
                                     "I> Log stored in file ' " + log.string() + " '",
                                     "I> Reading variables stopped"}));

  const Strings lines = Lines(FileBytes(log), "\r\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(window.AnyMatches(lines[0] + "\r\n" + lines[1] + "\r\n", [](std::time_t t) { return LogHeader(t, 0); }));

  // The record is the core's for the same values: the drifting temperatures are taken from it.
  VariableSnapshot values = CoreFirstPass().snapshot;
  Strings columns = Lines(lines[2], ";");
  ASSERT_EQ(columns.size(), 35u);
  const auto temperature = [&](std::size_t column) {
    std::string text = columns[column];
    std::replace(text.begin(), text.end(), ',', '.');
    return std::stof(text);
  };
  values.HtgSlGuTemp = temperature(9);
  values.HtgOutTemp = temperature(10);
  for (std::size_t s = 0; s < 2; ++s) {
    values.sensor[s].SenTemp = temperature(18 + 10 * s);
    values.sensor[s].AmbTemp = temperature(19 + 10 * s);
  }
  EXPECT_TRUE(window.AnyMatches(lines[2] + "\r\n", [&](std::time_t t) { return LogRecord(1, t, values); }))
      << lines[2];
}

TEST_F(CliProgram, TermDuringLogStopsLoggingAndKeepsTheRecords) {
  const fs::path log = dir / "unit.log";
  Child cli(kCli, {"log", "--file", log.string()}, {sim.Com1()});
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (Lines(FileBytes(log), "\r\n").size() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  cli.Signal(SIGTERM);
  const Outcome run = cli.Wait(30s);
  EXPECT_EQ(run.status, 0) << run.err;
  const Strings err = Lines(run.err);
  ASSERT_GE(err.size(), 2u);
  EXPECT_EQ(err[err.size() - 2], "I> Log stored in file ' " + log.string() + " '");
  EXPECT_EQ(err.back(), "I> Reading variables stopped");

  const std::string bytes = FileBytes(log);
  ASSERT_TRUE(bytes.ends_with("\r\n"));
  const Strings lines = Lines(bytes, "\r\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].substr(0, 7), "00001; ");
  EXPECT_EQ(Lines(lines[2], ";").size(), 35u);
  EXPECT_EQ(Lines(run.out).back(), "unwritten records: 0");
}

struct DeviceCommandCase {
  Strings args;
  const char* message;
};

TEST_F(CliProgram, DeviceCommandsReportTheirMessage) {
  const DeviceCommandCase cases[] = {
      {{"command", "start-min-heat"}, "I> Minimum Heat Time started"},
      {{"command", "stop-min-heat"}, "I> Minimum Heat Time stopped"},
      {{"command", "cycle-sensor1"}, "I> Moisture cycle started"},
      {{"command", "cycle-sensor2"}, "I> Moisture cycle started"},
      {{"--yes", "command", "factory-settings"}, "I> Factory settings OK"},
  };
  for (const DeviceCommandCase& c : cases) {
    const Outcome run = Cli(c.args);
    EXPECT_EQ(run.status, 0) << c.message << run.err;
    EXPECT_EQ(run.out, "result: accepted\n") << c.message;
    EXPECT_EQ(Lines(run.err).back(), c.message);
  }
}

TEST_F(CliProgram, SensorTestSequences) {
  const Outcome temperature = Cli({"--yes", "sensor-test", "temperature", "2"});
  EXPECT_EQ(temperature.status, 0) << temperature.err;
  ASSERT_EQ(Lines(temperature.out).size(), 1u);
  EXPECT_TRUE(temperature.out.starts_with("Temperature sensor 2: ")) << temperature.out;
  EXPECT_TRUE(temperature.out.ends_with(" \xC2\xB0" "C\n")) << temperature.out;

  const Outcome cycle = Cli({"--yes", "sensor-test", "start-cycle", "1", "--ta", "1"});
  EXPECT_EQ(cycle.status, 0) << cycle.err;
  EXPECT_EQ(Lines(cycle.out), (Strings{"Record sensor 1 started!", "Sensor 1 - Uv: 12.15,  Rs: 2350 Ohm",
                                       "Recording sensor 1 completed!"}));

  const fs::path report = dir / "sensor.dat";
  const Outcome recorded = Cli({"--yes", "sensor-test", "read-recorded", "--type", "II", "--report", report.string()});
  EXPECT_EQ(recorded.status, 0) << recorded.err;
  EXPECT_EQ(FileBytes(report), CoreSensorReport(1));
  const Strings lines = Lines(recorded.out);
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[0], "Start values - Uo: 11.80 V, To:  0.5 \xC2\xB0" "C");
  EXPECT_EQ(lines.back(), "report: " + report.string());
  EXPECT_EQ(Lines(recorded.err).back(), "gelvar-cli: Report saved in file " + report.string());
}

struct JsonCase {
  Strings args;
  const char* check;  // a Python expression over the parsed object d
};

TEST_F(CliProgram, JsonOutputParses) {
  if (RunProgram("/usr/bin/env", {"python3", "-c", "pass"}).status != 0) GTEST_SKIP() << "no python3";
  const std::string report = (dir / "r.par").string();
  const JsonCase cases[] = {
      {{"test"}, "d == {'command': 'test', 'result': 'accepted'}"},
      {{"read-parameters", "--report", report},
       "len(d['parameters']) == 19 and d['parameters']['Temp. Unit'] == '\u00b0C' and d['report'].endswith('r.par')"},
      {{"read-variables"}, "len(d['passes']) == 1 and len(d['passes'][0]) == 32 and d['passes'][0]['Heating Relay'] == 'Off'"},
      {{"log", "--file", (dir / "l.log").string(), "--records", "1"},
       "d['records'] == 1 and d['unwritten records'] == 0 and d['file'].endswith('l.log')"},
      {{"command", "stop-min-heat"}, "d['command'] == 'command stop-min-heat' and d['result'] == 'accepted'"},
      {{"--yes", "sensor-test", "temperature", "1"}, "d['lines'][0].startswith('Temperature sensor 1:')"},
  };
  const std::string parse =
      "import json, sys\n"
      "d = json.load(open(sys.argv[1], encoding='utf-8'))\n"
      "sys.exit(0 if eval(sys.argv[2]) else 1)\n";
  for (const JsonCase& c : cases) {
    Strings args = c.args;
    args.insert(args.begin(), "--json");
    const Outcome run = Cli(args);
    EXPECT_EQ(run.status, 0) << c.check << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    const fs::path json = dir / "out.json";
    std::ofstream(json, std::ios::binary) << run.out;
    const Outcome check = RunProgram("/usr/bin/env", {"python3", "-c", parse, json.string(), c.check});
    EXPECT_EQ(check.status, 0) << c.check << "\n" << run.out << check.err;
  }
}

struct StatusCase {
  Strings args;
  Strings env;
  int status;
  const char* errorPart;
};

TEST_F(CliProgram, ExitStatuses) {
  const std::string unwritable = (dir / "no-such-dir" / "x").string();
  const StatusCase cases[] = {
      {{"test"}, {"GELVAR_COM1=" + (dir / "no-such-tty").string()}, kExitPort, "Error 1: Error open COM1:\n  "},
      {{"read-parameters", "--report", unwritable}, {}, kExitFile, "Error open parameter file: DateiParName"},
      {{"log", "--file", unwritable, "--records", "1"}, {}, kExitFile, "Error open log file: DateiLogName"},
      {{"--yes", "sensor-test", "read-recorded", "--type", "I", "--report", unwritable}, {}, kExitFile,
       "Error open file: DateiDatName"},
      {{"read-parameters", "--passes", "2"}, {}, kExitUsage, "--passes does not go with 'read-parameters'\nTry"},
      // Refused before the port is opened: the missing device is never tried.
      {{"command", "factory-settings"}, {"GELVAR_COM1=/nonexistent"}, kExitUsage, "Add --yes to confirm."},
      {{"sensor-test", "temperature", "1"}, {"GELVAR_COM1=/nonexistent"}, kExitUsage, "Add --yes to confirm."},
  };
  for (const StatusCase& c : cases) {
    const Outcome run = Cli(c.args, c.env);
    EXPECT_EQ(run.status, c.status) << c.errorPart << "\n" << run.err;
    EXPECT_NE(run.err.find(c.errorPart), std::string::npos) << run.err;
  }
}

TEST(CliProgramSilentUnit, TestCommunicationEndsWithStatusOne) {
  Simulator silent({"--silent"});
  const Outcome run = RunProgram(kCli, {"test"}, {silent.Com1()});
  EXPECT_EQ(run.status, kExitUnit);
  EXPECT_EQ(run.out, "result: no reply\n");
  EXPECT_EQ(run.err, "I> COM Port Opened\nE> No reply from detector unit\n");
}

TEST(CliProgramHelp, DocumentsEveryCommand) {
  const Outcome help = RunProgram(kCli, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("sensor-test read-recorded --type I|II [--report FILE]"), std::string::npos);
  const Outcome bad = RunProgram(kCli, {"frobnicate"});
  EXPECT_EQ(bad.status, kExitUsage);
  EXPECT_EQ(bad.err, "gelvar-cli: unknown command 'frobnicate'\nTry 'gelvar-cli --help'.\n");
}

}  // namespace
}  // namespace gelvar::testing
