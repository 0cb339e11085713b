// gelvar-cli itself against gelvar-unit-sim on a pseudo-terminal and a broker of its own: what only a
// process shows (exit statuses, standard streams that go away, signals, the network).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <thread>
#include <tuple>

#include "cli/cli_options.h"
#include "core/common/temp_folder.h"

namespace gelvar::testing {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

const std::string kCli = GELVAR_CLI_PATH;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at) ++found;
  return found;
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A program with "NAME=value" entries added to its environment, its output going to files.
class Child {
 public:
  Child(const std::string& program, const Strings& args, const Strings& env = {}) {
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
  }
  std::string Out() const { return FileBytes(out_); }
  std::string Err() const { return FileBytes(err_); }
  void Signal(int signal) const { ::kill(pid_, signal); }
  // The exit status; -1: killed, or still running after a minute.
  int Wait() {
    int status = -1;
    for (int i = 0; pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) {
      if (i == 6000) ::kill(pid_, SIGKILL);
      std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  const TempFolder files_;
  const std::string out_ = files_ / "out", err_ = files_ / "err";
};

// Polls for up to ten seconds.
bool Eventually(const auto& condition) {
  for (int i = 0; i < 1000 && !condition(); ++i) std::this_thread::sleep_for(10ms);
  return condition();
}

// A socket listening on a free loopback port; the kernel takes connections, nobody answers them.
class SilentListener {
 public:
  SilentListener() {
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t size = sizeof address;
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(socket_, 8);
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
  }
  ~SilentListener() { ::close(socket_); }

  const int socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int port = 0;
};

// A mosquitto of the test's own, its files in dir: on free loopback ports a listener for anyone and
// one for the user "ops" with the password "secret"; a third port has no listener, a fourth one
// takes connections and never answers.
class Broker {
 public:
  explicit Broker(const TempFolder& dir) : config_(dir / "broker.conf") {
    {
      const SilentListener probes[3];  // held together, so that the ports differ
      for (int i = 0; i < 3; ++i) ports_[i] = probes[i].port;
    }
    const std::string passwords = dir / "passwords";
    Child("/usr/bin/mosquitto_passwd", {"-b", "-c", passwords, "ops", "secret"}).Wait();
    // Started as root, mosquitto would become the user "mosquitto", who cannot read the test's folder.
    std::ofstream(config_) << "user " << ::getpwuid(::getuid())->pw_name << "\nper_listener_settings true\n"
                           << "listener " << ports_[0] << " 127.0.0.1\nallow_anonymous true\n"
                           << "listener " << ports_[1] << " 127.0.0.1\npassword_file " << passwords << "\n";
    Start();
  }
  void Start() {
    process_.emplace("/usr/sbin/mosquitto", Strings{"-c", config_});
    EXPECT_TRUE(Eventually([&] { return process_->Err().find(" running\n") != std::string::npos; }));
  }
  void Stop() { process_.reset(); }
  // mqtt://[user@]127.0.0.1:PORT/prefix on listener 0 (anyone), 1 (ops), 2 (none) or 3 (silent).
  std::string Url(int listener, const std::string& prefix, const std::string& user = "") const {
    const int port = listener == 3 ? silent_.port : ports_[listener];
    return "mqtt://" + user + "127.0.0.1:" + std::to_string(port) + "/" + prefix;
  }
  // The first count messages of topic, retained ones first, as "topic payload" lines.
  std::string Read(const std::string& topic, int count) const {
    Child subscriber("/usr/bin/mosquitto_sub",
                     {"-p", std::to_string(ports_[0]), "-t", topic, "-v", "-C", std::to_string(count), "-W", "20"});
    subscriber.Wait();
    return subscriber.Out();
  }

 private:
  std::string config_;
  int ports_[3] = {};
  const SilentListener silent_;
  std::optional<Child> process_;
};

// A bash line, its exit status and a part of its standard error.
using ShellCase = std::tuple<std::string, int, std::string>;

class CliProgram : public ::testing::Test {
 protected:
  // A simulated unit on a new pseudo-terminal with simOptions, and a folder for the test's files.
  // Numbers and dates must not follow the locale.
  explicit CliProgram(Strings simOptions = {}) : sim(GELVAR_SIM_PATH, Path(std::move(simOptions))) {}
  static Strings Path(Strings simOptions) {
    simOptions.push_back("--print-path-only");
    return simOptions;
  }
  void SetUp() override {
    ASSERT_TRUE(Eventually([&] { return sim.Out().ends_with('\n'); }));
    env = {"GELVAR_COM1=" + sim.Out().substr(0, sim.Out().find('\n')), "LC_ALL=de_DE.UTF-8"};
  }
  // Runs the bash line, "$0" gelvar-cli, "$1" the test's folder and "$2" url; the status is the first
  // command's.
  Child Run(const std::string& line, const std::string& url = "") {
    return Child("/bin/bash", {"-c", line + "\nexit ${PIPESTATUS[0]}", kCli, (dir / "").parent_path().string(), url},
                 env);
  }
  // Returns the line's standard error.
  std::string Shell(const ShellCase& c) {
    const auto& [line, status, errorPart] = c;
    Child run = Run(line);
    EXPECT_EQ(run.Wait(), status) << line << "\n" << run.Err();
    EXPECT_NE(run.Err().find(errorPart), std::string::npos) << line << "\n" << run.Err();
    return run.Err();
  }

  Child sim;
  Strings env;
  const TempFolder dir;
};

// Exit statuses, standard output that goes away, and a stop signal.
TEST_F(CliProgram, JsonOutputAndExitStatuses) {
  const std::string kOutputLost = "gelvar-cli: cannot write standard output\n";
  const ShellCase cases[] = {
      {"GELVAR_COM7=$GELVAR_COM1 GELVAR_COM1= \"$0\" --com 7 test", kExitDone,
       "I> COM Port Opened\nI> Communication OK\n"},
      {"GELVAR_COM1=$1/none \"$0\" --device $GELVAR_COM1 test", kExitDone, "I> Communication OK"},
      {"\"$0\" read-parameters --passes 2", kExitUsage, "--passes does not go with 'read-parameters'\nTry"},
      {"\"$0\" --json read-parameters >/dev/full", kExitFile, kOutputLost},
      {"\"$0\" --json ports >&-", kExitFile, kOutputLost},
      // A password file that never answers is refused before anything is opened.
      {"mkfifo $1/fifo; \"$0\" watch --mqtt mqtt://ops@127.0.0.1/x --mqtt-password-file $1/fifo", kExitUsage,
       "' is not a regular file\n"},
      // The log's result is its file; a reader that goes away stops nothing.
      {"\"$0\" log --file $1/p.log --records 1 >/dev/full", kExitDone, "I> Log stored in file"},
      {"\"$0\" log --file $1/p.log --records 1 2>&1 | head -c1", kExitDone, ""},
      // A stop signal ends the log cleanly once it has written a record.
      {"\"$0\" log --file $1/s.log & for i in {1..300}; do grep -qs '^00001; ' $1/s.log && break; sleep .1; done\n"
       "kill -TERM $!; wait $!",
       kExitDone, "I> Log stored in file ' " + (dir / "s.log").string() + " '\nI> Reading variables stopped\n"},
  };
  for (const ShellCase& c : cases) Shell(c);
}

// A command line with --json, the status it ends with and a part of its document. "$2" in the line is
// the URL of a broker of the run's own.
struct JsonRun {
  std::string name;
  std::string line;
  int status;
  std::string part;
  Strings simOptions = {};
};

void PrintTo(const JsonRun& run, std::ostream* out) { *out << run.line; }

class CliJson : public CliProgram, public ::testing::WithParamInterface<JsonRun> {
 protected:
  CliJson() : CliProgram(GetParam().simOptions) {}
};

TEST_P(CliJson, PrintsOneDocumentTheSchemaAccepts) {
  const JsonRun& c = GetParam();
  std::optional<Broker> broker;
  if (c.line.find("$2") != std::string::npos) broker.emplace(dir);
  Child run = Run(c.line, broker ? broker->Url(0, "j") : "");
  EXPECT_EQ(run.Wait(), c.status) << run.Err();
  const std::string document = run.Out();
  EXPECT_NE(document.find(c.part), std::string::npos) << document;
  std::ofstream(dir / "out.json") << document;
  Child validation(GELVAR_PYTHON, {GELVAR_VALIDATE_JSON, GELVAR_SCHEMA, dir / "out.json"});
  EXPECT_EQ(validation.Wait(), 0) << validation.Err() << document;
}

const std::string kRecordedTypeOne =
    R"("recorded":{"timing":{"Tv":59,"Ti":10,"Tm":0,"N":0},"samples":[{"t":0,"Uv":12.00,"Us":4.50,"Ts":0.50}],)"
    R"("results":{"Uo":11.800,"Uso":4.800,"To":0.500,"Rm":42.500,"Rs":12.500},)";

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, CliJson,
    ::testing::Values(
        JsonRun{"Ports", R"("$0" --json ports)", kExitDone, "["},
        JsonRun{"Test", R"("$0" --json test)", kExitDone, R"({"command":"test","result":"accepted"})"},
        JsonRun{"ReadParameters", R"("$0" --json read-parameters)", kExitDone,
                R"("HtgHighTemp":3.0,"HtgLowTemp":-15.0,)"},
        JsonRun{"ReadParametersReport", R"("$0" --json read-parameters --report "$1/u.par")", kExitDone,
                R"("HtgOpHoursXWK":"h"},"report":")"},
        JsonRun{"ReadVariables", R"("$0" --json read-variables --passes 2)", kExitDone,
                R"("S1Volt":12.15,"S1CharVal":2350,)"},
        JsonRun{"Log", R"("$0" --json log --file "$1/u.log" --records 1)", kExitDone,
                R"("records":1,"unwritten records":0})"},
        JsonRun{"Watch", "\"$0\" --json watch --mqtt \"$2\" & sleep 1; kill -TERM $!; wait $!", kExitDone,
                R"({"command":"watch"})"},
        JsonRun{"CommandStartMinHeat", R"("$0" --json command start-min-heat)", kExitDone,
                R"({"command":"command start-min-heat","result":"accepted"})"},
        JsonRun{"SensorTemperature", R"("$0" --json --yes sensor-test temperature 1)", kExitDone,
                R"(,"units":{"temperature":"°C"}})"},
        JsonRun{"SensorStartCycle", R"("$0" --json --yes sensor-test start-cycle 1 --ta 1)", kExitDone,
                R"("cycle":[{"Uv":12.15,"Rs":2350}],"units":{"Uv":"V","Rs":"Ohm"}})"},
        JsonRun{"SensorReadRecorded", R"("$0" --json --yes sensor-test read-recorded --type I --report "$1/u.dat")",
                kExitDone, kRecordedTypeOne},
        JsonRun{"MissingDevice", R"(GELVAR_COM1="$1/none" "$0" --json test)", kExitPort,
                R"({"command":"test","error":{"status":3,"messages":["Error 1: Error open COM1:","  )"},
        JsonRun{"SilentUnit",
                R"("$0" --json test)",
                kExitUnit,
                R"("result":"no reply","error":{"status":1,"messages":["I> COM Port Opened","E> No reply from)",
                {"--silent"}},
        JsonRun{"UnwritableReport", R"("$0" --json read-parameters --report "$1/none/u.par")", kExitFile,
                R"("error":{"status":4,"messages":[)"},
        JsonRun{"UnwritableLog", R"("$0" --json log --file "$1/none/u.log")", kExitFile,
                R"({"command":"log","error":{"status":4,)"},
        JsonRun{"DeclinedQuestion", R"("$0" --json sensor-test temperature 1)", kExitUsage,
                R"({"command":"sensor-test temperature","error":{"status":2,"messages":["gelvar-cli: 'sensor-test )"},
        JsonRun{"UnreachableBroker", R"("$0" --json watch --mqtt mqtt://127.0.0.1:1/x)", kExitPort,
                R"("E> MQTT broker 127.0.0.1:1 not reachable: )"},
        JsonRun{"StoppedBySignal", "\"$0\" --json read-variables --passes 1000 & sleep 1; kill -TERM $!; wait $!",
                128 + SIGTERM, R"("error":{"status":143,)"}),
    [](const ::testing::TestParamInfo<JsonRun>& info) { return info.param.name; });

// log --mqtt through a broker that goes away and comes back, the last will of a killed watch, and
// the refusals.
TEST_F(CliProgram, PublishesToABrokerThatComesAndGoes) {
  Broker broker(dir);
  const std::string log = dir / "unit.log";
  Child logging(kCli, {"log", "--file", log, "--mqtt", broker.Url(0, "site-42/unit"), "--ha-discovery"}, env);
  EXPECT_EQ(broker.Read("site-42/unit/status", 1), "site-42/unit/status online\n");
  EXPECT_EQ(Count(broker.Read("homeassistant/#", 11), "\n"), 11u);
  // The first record falls due while the broker is away.
  broker.Stop();
  EXPECT_TRUE(Eventually([&] { return Count(FileBytes(log), "\r\n") == 3; }));
  broker.Start();
  ASSERT_TRUE(Eventually([&] { return logging.Err().find(" back\n") != std::string::npos; })) << logging.Err();
  EXPECT_TRUE(broker.Read("site-42/unit/state", 1).starts_with("site-42/unit/state {"));
  logging.Signal(SIGTERM);
  EXPECT_EQ(logging.Wait(), 0);
  EXPECT_EQ(Count(logging.Err(), " connected\n"), 1u);
  EXPECT_EQ(Count(logging.Err(), " lost: "), 1u) << logging.Err();
  EXPECT_EQ(broker.Read("site-42/unit/status", 1), "site-42/unit/status offline\n");

  Child watching(kCli, {"watch", "--mqtt", broker.Url(0, "site-43")}, env);
  EXPECT_EQ(broker.Read("site-43/status", 1), "site-43/status online\n");
  watching.Signal(SIGKILL);
  EXPECT_TRUE(Eventually([&] { return broker.Read("site-43/status", 1) == "site-43/status offline\n"; }));

  const std::string kRefused = ": Connection Refused: not authorised; trying again once a minute\n";
  const std::string locked = " --mqtt " + broker.Url(1, "x", "ops@");
  const std::string closed = " --mqtt " + broker.Url(2, "x");
  const ShellCase cases[] = {
      {"GELVAR_MQTT_PASSWORD=wrong \"$0\" watch" + locked, kExitPort, kRefused},
      {"\"$0\" log --file $1/r.log --records 1" + closed, kExitDone, "; logging goes on, publishing once it is back\n"},
      {"\"$0\" watch --mqtt " + broker.Url(3, "x"), kExitPort, " not reachable: no answer to CONNECT within 30 s\n"},
  };
  for (const ShellCase& c : cases) EXPECT_EQ(Count(Shell(c), "E> MQTT"), 1u) << std::get<0>(c);
}

}  // namespace
}  // namespace gelvar::testing
