// gelvar-cli itself against gelvar-unit-sim on a pseudo-terminal: every command, the files' bytes
// against what the core writes for the same unit, the JSON output, and the exit statuses. What a
// pseudo-terminal cannot stage runs in virtual time against the unit model.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include "cli/cli_options.h"
#include "cli/console_program.h"
#include "cli/field_table.h"
#include "link/test_support.h"
#include "monitor/parameter_report.h"
#include "monitor/variable_log.h"
#include "sensortest/sensor_test.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

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

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at) ++found;
  return found;
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// status -1: killed, or still running after a minute.
struct Outcome {
  int status;
  std::string out, err;
};

// A program with "NAME=value" entries added to its environment, its output going to files.
class Child {
 public:
  Child(const std::string& program, const Strings& args, const Strings& env = {}) {
    static int children = 0;
    const std::string base = fs::temp_directory_path() / ("gelvar-cli-test-" + std::to_string(::getpid()) + "-" +
                                                          std::to_string(++children));
    out_ = base + ".out";
    err_ = base + ".err";
    pid_ = ::fork();
    if (pid_ != 0) return;
    ::dup2(::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
    ::dup2(::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
    for (const std::string& entry : env) ::putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ~Child() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    Wait();
    fs::remove(out_);
    fs::remove(err_);
  }
  std::string Out() const { return FileBytes(out_); }
  std::string Err() const { return FileBytes(err_); }
  void Signal(int signal) const { ::kill(pid_, signal); }
  Outcome Wait() {
    int status = 0;
    for (int i = 0; pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) {
      if (i == 6000) ::kill(pid_, SIGKILL);
      std::this_thread::sleep_for(10ms);
    }
    if (std::exchange(pid_, -1) < 0) status = -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Out(), FileBytes(err_)};
  }

 private:
  pid_t pid_ = -1;
  std::string out_;
  std::string err_;
};

// A simulated unit on a new pseudo-terminal, stopped at the end of the test.
class Simulator {
 public:
  explicit Simulator(bool silent = false)
      : child_(kSim, silent ? Strings{"--print-path-only", "--silent"} : Strings{"--print-path-only"}) {
    for (int i = 0; i < 1000 && !child_.Out().ends_with('\n'); ++i) std::this_thread::sleep_for(10ms);
    com1_ = "GELVAR_COM1=" + Lines(child_.Out()).at(0);
  }
  const std::string& Com1() const { return com1_; }

 private:
  Child child_;
  std::string com1_;
};

// Loopback ports nothing listens on, all different.
std::vector<int> FreePorts(std::size_t count) {
  std::vector<int> sockets;
  std::vector<int> ports;
  for (std::size_t i = 0; i < count; ++i) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    sockets.push_back(::socket(AF_INET, SOCK_STREAM, 0));
    ::bind(sockets.back(), reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(sockets.back(), reinterpret_cast<sockaddr*>(&address), &size);
    ports.push_back(ntohs(address.sin_port));
  }
  for (int socket : sockets) ::close(socket);
  return ports;
}

bool Accepts(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  const bool accepted = ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(socket);
  return accepted;
}

// Polls for up to ten seconds.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

// A mosquitto of the test's own, its files in dir: a listener for anyone and one for the user "ops"
// with the password "secret", on free loopback ports.
class Broker {
 public:
  explicit Broker(const fs::path& dir) : config_(dir / "broker.conf") {
    const std::vector<int> ports = FreePorts(3);
    open_ = ports[0];
    locked_ = ports[1];
    closed_ = ports[2];
    const std::string passwords = (dir / "passwords").string();
    Child("/usr/bin/mosquitto_passwd", {"-b", "-c", passwords, "ops", "secret"}).Wait();
    // Started as root, mosquitto would become the user "mosquitto", who cannot read the test's folder.
    std::ofstream(config_) << "user " << ::getpwuid(::getuid())->pw_name << "\nper_listener_settings true\n"
                           << "listener " << open_ << " 127.0.0.1\nallow_anonymous true\n"
                           << "listener " << locked_ << " 127.0.0.1\npassword_file " << passwords << "\n";
    Start();
  }
  void Start() {
    process_.emplace("/usr/sbin/mosquitto", Strings{"-c", config_.string()});
    EXPECT_TRUE(Eventually([&] { return Accepts(open_); }));
  }
  void Stop() { process_.reset(); }
  // mqtt://127.0.0.1:PORT/prefix for the open listener, the locked one, or a port nothing listens on.
  std::string Url(const std::string& prefix, const std::string& user = "") const {
    return "mqtt://" + user + "127.0.0.1:" + std::to_string(user.empty() ? open_ : locked_) + "/" + prefix;
  }
  std::string ClosedUrl() const { return "mqtt://127.0.0.1:" + std::to_string(closed_) + "/x"; }
  // The first count messages of topic, retained ones first, as "topic payload".
  Strings Read(const std::string& topic, int count) const {
    const Outcome sub = Child("/usr/bin/mosquitto_sub", {"-p", std::to_string(open_), "-t", topic, "-v", "-C",
                                                         std::to_string(count), "-W", "20"}).Wait();
    Strings lines = Lines(sub.out);
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
  }

 private:
  fs::path config_;
  int open_ = 0;
  int locked_ = 0;
  int closed_ = 0;
  std::optional<Child> process_;
};

// Runs python3 with the JSON documents of jsonLines, one a line, and a check per line (d is the
// document): 0 when every check holds, 127 without python3.
int CheckJson(const fs::path& jsonLines, const std::string& checks) {
  const std::string parse =
      "import json, sys\n"
      "lines = open(sys.argv[1], encoding='utf-8').read().splitlines()\n"
      "checks = sys.argv[2].splitlines()\n"
      "assert len(lines) == len(checks), lines\n"
      "for line, check in zip(lines, checks):\n"
      "  d = json.loads(line)\n"
      "  assert eval(check), line\n";
  const Outcome parsed = Child("/usr/bin/env", {"python3", "-c", parse, jsonLines.string(), checks}).Wait();
  EXPECT_TRUE(parsed.status == 0 || parsed.status == 127) << parsed.err;
  return parsed.status;
}

// --- What the core writes for the simulated unit, in virtual time. ---

struct CoreView {
  DisplayFields fields;
  VariableSnapshot values;
};

// After a parameter reading, or after the first pass of a variable reading.
CoreView CoreRead(int command) {
  MonitorRig rig;
  rig.controller.Command(command);
  EXPECT_TRUE(rig.link.RunUntil(
      [&] { return rig.controller.Mode() == kPortOpen || rig.controller.Progress().pause > 0; }, 60'000));
  return {rig.controller.Fields(), rig.controller.Snapshot()};
}

class SilentSensorView : public SensorTestView {
 public:
  void Refresh() override {}
  void Alert(const std::string&, AlertIcon) override {}
  bool ChooseSaveFile(const std::string&, const std::string&, std::string&) override { return false; }
};

// Whether some second of a run, whose local time files are stamped with, gives the expected bytes.
template <typename Make>
bool SomeSecondMatches(std::time_t first, const std::string& actual, Make make) {
  for (std::time_t t = first - 1; t <= std::time(nullptr) + 1; ++t) {
    if (make(t) == actual) return true;
  }
  return false;
}

class CliProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "gelvar-cli-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  // Numbers and dates must not follow the locale. env entries go last, so that they can replace these.
  Strings Env(const Strings& env = {}) const {
    Strings all = {sim.Com1(), "LC_ALL=de_DE.UTF-8"};
    all.insert(all.end(), env.begin(), env.end());
    return all;
  }
  Outcome Cli(const Strings& args, const Strings& env = {}) { return Child(kCli, args, Env(env)).Wait(); }

  Simulator sim;
  fs::path dir;
};

TEST_F(CliProgram, CommandsShowAndWriteWhatTheCoreDoes) {
  const Outcome test = Cli({"--com", "7", "test"}, {"GELVAR_COM7=" + sim.Com1().substr(12), "GELVAR_COM1="});
  EXPECT_EQ(test.status, 0) << test.err;
  EXPECT_EQ(test.out, "result: accepted\n");
  EXPECT_EQ(test.err, "I> COM Port Opened\nI> Communication OK\n");

  const fs::path report = dir / "unit.par";
  std::time_t start = std::time(nullptr);
  const Outcome parameters = Cli({"read-parameters", "--report", report.string()});
  ASSERT_EQ(parameters.status, 0) << parameters.err;
  const DisplayFields fields = CoreRead(kCmdReadParameters).fields;
  Strings expectedOut = FieldLines(fields, ParameterLabels());
  expectedOut.push_back("report: " + report.string());
  EXPECT_EQ(Lines(parameters.out), expectedOut);
  EXPECT_EQ(Lines(parameters.err).back(), "I> Parameters stored in file ' " + report.string() + " '");
  EXPECT_TRUE(SomeSecondMatches(start, FileBytes(report), [&](std::time_t t) { return ParameterReport(fields, t); }));

  const fs::path log = dir / "unit.log";
  start = std::time(nullptr);
  const Outcome logged = Cli({"log", "--file", log.string(), "--records", "1"});
  ASSERT_EQ(logged.status, 0) << logged.err;
  EXPECT_EQ(Lines(logged.out), (Strings{"file: " + log.string(), "records: 1", "unwritten records: 0"}));
  const Strings lines = Lines(FileBytes(log), "\r\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(SomeSecondMatches(start, lines[0] + "\r\n" + lines[1] + "\r\n",
                                [](std::time_t t) { return LogHeader(t, 0); }));
  // The record is the core's for the same values: the drifting temperatures are taken from it.
  VariableSnapshot values = CoreRead(kCmdStartReadingVariables).values;
  const Strings columns = Lines(lines[2], ";");
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
  EXPECT_TRUE(SomeSecondMatches(start, lines[2] + "\r\n", [&](std::time_t t) { return LogRecord(1, t, values); }))
      << lines[2];

  const std::pair<Strings, const char*> commands[] = {
      {{"command", "start-min-heat"}, "I> Minimum Heat Time started"},
      {{"command", "stop-min-heat"}, "I> Minimum Heat Time stopped"},
      {{"command", "cycle-sensor1"}, "I> Moisture cycle started"},
      {{"command", "cycle-sensor2"}, "I> Moisture cycle started"},
      {{"--yes", "command", "factory-settings"}, "I> Factory settings OK"},
  };
  for (const auto& [args, message] : commands) {
    const Outcome run = Cli(args);
    EXPECT_EQ(run.status, 0) << message << run.err;
    EXPECT_EQ(run.out, "result: accepted\n") << message;
    EXPECT_EQ(Lines(run.err).back(), message);
  }

  const Outcome cycle = Cli({"--yes", "sensor-test", "start-cycle", "1", "--ta", "1"});
  EXPECT_EQ(cycle.status, 0) << cycle.err;
  EXPECT_EQ(Lines(cycle.out), (Strings{"Record sensor 1 started!", "Sensor 1 - Uv: 12.15,  Rs: 2350 Ohm",
                                       "Recording sensor 1 completed!"}));
  const fs::path sensorReport = dir / "sensor.dat";
  const Outcome recorded =
      Cli({"--yes", "sensor-test", "read-recorded", "--type", "II", "--report", sensorReport.string()});
  EXPECT_EQ(recorded.status, 0) << recorded.err;
  VirtualLink link;
  SilentSensorView view;
  MemoryFiles files;
  SensorTest core(link.Scheduler(), files);
  core.Open(view);
  core.OnTypeChanged(1);
  core.OnReadRecordedData();
  EXPECT_TRUE(link.RunUntil([&] { return core.TestStep() == 0; }, 60'000));
  EXPECT_EQ(FileBytes(sensorReport), SensorTestReport(core.Values(), 1));
  EXPECT_TRUE(recorded.out.starts_with("Start values - Uo: 11.80 V, To:  0.5 \xC2\xB0" "C\n")) << recorded.out;
}

// A silent unit, a stop signal during log, and refusals, while the JSON of the runs must parse.
TEST_F(CliProgram, JsonOutputAndExitStatuses) {
  Simulator silentUnit(true);
  Child unanswered(kCli, {"test"}, {silentUnit.Com1()});

  const fs::path log = dir / "unit.log";
  Child logging(kCli, {"--json", "log", "--file", log.string()}, Env());
  for (int i = 0; i < 3000 && Lines(FileBytes(log), "\r\n").size() < 3; ++i) std::this_thread::sleep_for(10ms);
  logging.Signal(SIGTERM);
  const Outcome stopped = logging.Wait();
  EXPECT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_TRUE(stopped.err.ends_with("I> Log stored in file ' " + log.string() + " '\n" +
                                    "I> Reading variables stopped\n")) << stopped.err;
  const std::string bytes = FileBytes(log);
  EXPECT_TRUE(bytes.ends_with("\r\n"));
  const Strings lines = Lines(bytes, "\r\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].substr(0, 7), "00001; ");
  EXPECT_EQ(Lines(lines[2], ";").size(), 35u);

  const std::pair<Strings, const char*> jsonCases[] = {
      {{"test"}, "d == {'command': 'test', 'result': 'accepted'}"},
      {{"read-variables"}, "len(d['passes']) == 1 and len(d['passes'][0]) == 32 and "
                           "d['passes'][0]['Heating Relay'] == 'Off'"},
      {{"command", "stop-min-heat"}, "d['command'] == 'command stop-min-heat' and d['result'] == 'accepted'"},
      {{"--yes", "sensor-test", "temperature", "2"},
       "d['lines'][0].startswith('Temperature sensor 2:') and d['lines'][0].endswith(' \u00b0C')"},
  };
  std::string checks = "d['records'] == 1 and d['unwritten records'] == 0 and d['file'].endswith('unit.log')\n";
  std::ofstream json(dir / "out.json", std::ios::binary);
  json << stopped.out;
  for (const auto& [args, check] : jsonCases) {
    Strings withJson = args;
    withJson.insert(withJson.begin(), "--json");
    const Outcome run = Cli(withJson);
    EXPECT_EQ(run.status, 0) << check << run.err;
    json << run.out;
    checks += check + std::string("\n");
  }
  json.close();

  const std::string unwritable = (dir / "no-such-dir" / "x").string();
  const std::string piped = (dir / "piped.log").string();
  const char* kOutputLost = "gelvar-cli: cannot write standard output\n";
  const struct {
    Strings args;
    Strings env;
    int status;
    const char* errorPart;
    const char* redirect;  // of the shell line that runs the program
  } cases[] = {
      {{"test"}, {"GELVAR_COM1=" + (dir / "no-such-tty").string()}, kExitPort, "Error 1: Error open COM1:\n  ", ""},
      {{"read-parameters", "--report", unwritable}, {}, kExitFile, "Error open parameter file: DateiParName", ""},
      {{"read-parameters", "--passes", "2"}, {}, kExitUsage, "--passes does not go with 'read-parameters'\nTry", ""},
      {{"--json", "read-parameters"}, {}, kExitFile, kOutputLost, ">/dev/full"},
      {{"test"}, {}, kExitFile, kOutputLost, ">&-"},
      // The log's result is its file; a reader that goes away stops nothing.
      {{"log", "--file", piped, "--records", "1"}, {}, kExitDone, "I> Log stored in file", ">/dev/full"},
      {{"log", "--file", piped, "--records", "1"}, {}, kExitDone, "", "2>&1 | head -c1"},
      {{"--device", sim.Com1().substr(12), "test"}, {"GELVAR_COM1=" + (dir / "no-such-tty").string()}, kExitDone,
       "I> Communication OK", ""},
  };
  for (const auto& c : cases) {
    Strings shell = {"-c", "\"$0\" \"$@\" " + std::string(c.redirect) + "\nexit ${PIPESTATUS[0]}", kCli};
    shell.insert(shell.end(), c.args.begin(), c.args.end());
    const Outcome run = Child("/bin/bash", shell, Env(c.env)).Wait();
    EXPECT_EQ(run.status, c.status) << c.errorPart << c.redirect << "\n" << run.err;
    EXPECT_NE(run.err.find(c.errorPart), std::string::npos) << run.err;
  }

  const Outcome silent = unanswered.Wait();
  EXPECT_EQ(silent.status, kExitUnit);
  EXPECT_EQ(silent.out, "result: no reply\n");
  EXPECT_EQ(silent.err, "I> COM Port Opened\nE> No reply from detector unit\n");

  if (CheckJson(dir / "out.json", checks) == 127) GTEST_SKIP() << "no python3 to parse the JSON with";
}

// log --mqtt through a broker that goes away and comes back, the last will of a killed watch, and
// the refusals.
TEST_F(CliProgram, PublishesToABrokerThatComesAndGoes) {
  Broker broker(dir);
  const fs::path log = dir / "unit.log";
  Child logging(kCli, {"log", "--file", log.string(), "--mqtt", broker.Url("site-42/unit"), "--ha-discovery"}, Env());
  EXPECT_EQ(broker.Read("site-42/unit/status", 1), Strings{"site-42/unit/status online"});
  EXPECT_EQ(broker.Read("homeassistant/#", 11).size(), 11u);
  // The first record falls due while the broker is away.
  broker.Stop();
  EXPECT_TRUE(Eventually([&] { return Lines(FileBytes(log), "\r\n").size() == 3; }));
  broker.Start();
  ASSERT_TRUE(Eventually([&] { return logging.Err().find(" back\n") != std::string::npos; })) << logging.Err();
  const Strings state = broker.Read("site-42/unit/state", 1);
  logging.Signal(SIGTERM);
  const Outcome logged = logging.Wait();
  EXPECT_EQ(logged.status, 0);
  EXPECT_EQ(Lines(logged.out), (Strings{"file: " + log.string(), "records: 1", "unwritten records: 0"}));
  EXPECT_EQ(Count(logged.err, " connected\n"), 1u);
  EXPECT_EQ(Count(logged.err, " lost: "), 1u) << logged.err;
  EXPECT_EQ(Count(logged.err, " back\n"), 1u);
  EXPECT_EQ(broker.Read("site-42/unit/status", 1), Strings{"site-42/unit/status offline"});

  Child watching(kCli, {"watch", "--mqtt", broker.Url("site-43")}, Env());
  EXPECT_EQ(broker.Read("site-43/status", 1), Strings{"site-43/status online"});
  watching.Signal(SIGKILL);
  EXPECT_TRUE(Eventually([&] { return broker.Read("site-43/status", 1) == Strings{"site-43/status offline"}; }));

  const struct {
    Strings args;
    std::string env;
    int status;
    std::string errorPart;
  } cases[] = {
      {{"watch", "--mqtt", broker.Url("x", "ops@")}, "GELVAR_MQTT_PASSWORD=wrong", kExitPort,
       ": Connection Refused: not authorised; trying again once a minute\n"},
      {{"log", "--file", log.string(), "--records", "1", "--mqtt", broker.Url("x", "ops@")},
       "GELVAR_MQTT_PASSWORD=wrong", kExitDone, ": Connection Refused: not authorised; trying again once a minute\n"},
      {{"watch", "--mqtt", broker.ClosedUrl()}, "", kExitPort, " not reachable: "},
      {{"log", "--file", log.string(), "--records", "1", "--mqtt", broker.ClosedUrl()}, "", kExitDone,
       "; logging goes on, publishing once it is back\n"},
      {{"watch", "--mqtt", broker.Url("x", "ops@"), "--mqtt-password-file", (dir / "none").string()}, "",
       kExitUsage, "gelvar-cli: --mqtt-password-file: cannot read '"},
  };
  for (const auto& c : cases) {
    const Outcome run = Cli(c.args, {c.env});
    EXPECT_EQ(run.status, c.status) << c.errorPart << "\n" << run.err;
    EXPECT_NE(run.err.find(c.errorPart), std::string::npos) << run.err;
    EXPECT_LE(Count(run.err, "E> MQTT"), 1u) << run.err;
  }

  ASSERT_EQ(state.size(), 1u);
  std::ofstream(dir / "state.json") << state[0].substr(state[0].find(' ') + 1) << "\n";
  const std::string check =
      "len(d) == 34 and d['time'].endswith('Z') and d['unit'] == '\u00b0C' and "
      "d['HtgOffOn'] == {'text': 'Off', 'value': 0} and d['AdmIntStat'] == {'text': 'M3 - E0', 'value': 768} and "
      "d['S1Volt'] == {'text': '12.15 V', 'value': 12.15} and d['S2CharVal']['value'] == 2390 and "
      "d['S1LastMoist']['value'] == 35 and d['HtgOpHoursXWK']['value'] == 5678 and "
      "all(float(d[k]['text'].split()[0]) == d[k]['value'] for k in d if k.endswith('Temp') and 'Itim' not in k)";
  CheckJson(dir / "state.json", check);
}

// gelvar-cli's program in virtual time; meanwhile(second) runs before each simulated second.
struct VirtualCli {
  explicit VirtualCli(const Strings& args, const std::function<void(VirtualCli&, int)>& meanwhile) {
    ResetLinkStateForTests();
    CliOptions options;
    std::string error;
    EXPECT_TRUE(ParseCliOptions(args, options, error)) << error;
    ConsoleProgram program(options, scheduler, line, files, console, [] { return 0; });
    program.Start({});
    for (int second = 0; second < 600 && !program.Finished(); ++second) {
      meanwhile(*this, second);
      scheduler.RunUntil([&] { return program.Finished(); }, 1000);
    }
    status = program.ExitStatus();
  }
  std::size_t Count(const std::string& part) const {
    std::size_t count = 0;
    for (std::size_t at = err.str().find(part); at != std::string::npos; at = err.str().find(part, at + 1)) ++count;
    return count;
  }

  VirtualScheduler scheduler;
  unitsim::UnitModel unit;
  unitsim::SimulatedLine line{unit, [this] { return scheduler.NowMs(); }};
  MemoryFiles files;
  std::ostringstream out, err;
  Console console{out, err, true};
  int status = -1;
};

TEST(CliInVirtualTime, UnitSettingsLostDeviceAndRecordedSets) {
  const auto fahrenheit = [](VirtualCli& cli, int) { cli.unit.SetObject(0x3003, {0x10, 0x00}); };
  const auto inFahrenheit = [](const std::string& text, const char* degree) {
    EXPECT_NE(text.find(degree + std::string("F")), std::string::npos) << text;
    EXPECT_EQ(text.find(degree + std::string("C")), std::string::npos);
  };
  const struct {
    Strings args;
    std::function<void(VirtualCli&, int)> meanwhile;
    std::function<void(const VirtualCli&)> check;
  } cases[] = {
      {{"read-variables"}, fahrenheit, [&](const VirtualCli& cli) { inFahrenheit(cli.out.str(), "\xC2\xB0"); }},
      {{"log", "--file", "u.log", "--records", "1"}, fahrenheit,
       [&](const VirtualCli& cli) {
         ASSERT_EQ(cli.files.files.size(), 1u);
         inFahrenheit(cli.files.files.begin()->second, "\xB0");
       }},
      {{"read-variables"}, [](VirtualCli& cli, int) { cli.unit.Faults().silent = true; },
       [](const VirtualCli& cli) {
         EXPECT_EQ(cli.status, kExitUnit);
         EXPECT_EQ(cli.Count("Reading variables started"), 0u) << cli.err.str();
       }},
      {{"read-variables", "--passes", "3"},
       [](VirtualCli& cli, int second) {
         if (second == 1) cli.line.Unplug();
         if (second == 4) cli.line.PlugIn();
       },
       [](const VirtualCli& cli) {
         EXPECT_EQ(cli.Count("E> COM Port Lost\n"), 1u) << cli.err.str();
         EXPECT_EQ(cli.Count("I> COM Port Reopened\n"), 1u);
       }},
      // More samples than the unit keeps: the progress counts to the sets read.
      {{"--yes", "sensor-test", "read-recorded", "--type", "II"},
       [](VirtualCli& cli, int) {
         cli.unit.SetObject(0x0D05, {0x2B, 0x01, 0x01, 0x00});  // Ti 299 s, Tm 1 s: N = 300
         cli.unit.SetRecordedSets(std::vector(300, std::vector<std::uint8_t>{0, 5, 0, 2}),
                                  std::vector(300, std::vector<std::uint8_t>{0x70, 0x17}));
       },
       [](const VirtualCli& cli) { EXPECT_NE(cli.Count("256/256 ["), 0u) << cli.err.str(); }},
  };
  for (const auto& c : cases) {
    const VirtualCli cli(c.args, c.meanwhile);
    SCOPED_TRACE(c.args.front());
    c.check(cli);
  }
}

}  // namespace
}  // namespace gelvar::testing
