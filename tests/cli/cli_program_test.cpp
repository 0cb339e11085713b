// gelvar-cli itself against gelvar-unit-sim on a pseudo-terminal: what only a process shows (its
// standard streams, exit statuses, signals, devices and a real broker). What each command prints is
// tested in process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "cli/cli_options.h"
#include "core/common/temp_folder.h"
#include "support/row_name.h"

namespace gelvar::testing {
namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A bash line, its exit status, its standard output and a part of its standard error. The line has
// "$CLI" for gelvar-cli, "$D" for a folder of the run's own and GELVAR_COM1 naming the pseudo-terminal
// of a simulated unit; numbers and dates must not follow the locale.
struct ShellRow {
  const char* name;
  const char* line;
  int status;
  std::string out, errPart;
};

void PrintTo(const ShellRow& row, std::ostream* out) { *out << row.line; }

class CliProgram : public ::testing::TestWithParam<ShellRow> {};

TEST_P(CliProgram, EndsWithItsStatusAndWritesEachStream) {
  const TempFolder dir;
  const std::string d = (dir / "").parent_path().string();
  std::ofstream(d + "/run") << "\"$SIM\" --print-path-only >\"$D/sim\" & sim=$!; trap 'kill $sim' EXIT\n"
                            << "until [ -s \"$D/sim\" ]; do sleep .05; done\n"
                            << "export GELVAR_COM1=$(head -1 \"$D/sim\") LC_ALL=de_DE.UTF-8\n"
                            << GetParam().line << "\n";
  const int result = std::system(
      ("SIM=" GELVAR_SIM_PATH " CLI=" GELVAR_CLI_PATH " D=" + d + " bash " + d + "/run >" + d + "/out 2>" + d + "/err")
          .c_str());
  const std::string err = FileBytes(d + "/err");
  EXPECT_EQ(WIFEXITED(result) ? WEXITSTATUS(result) : -1, GetParam().status) << err;
  EXPECT_EQ(FileBytes(d + "/out"), GetParam().out);
  EXPECT_NE(err.find(GetParam().errPart), std::string::npos) << err;
}

const char* const kStoppedLog =
    "\"$CLI\" log --file \"$D/s.log\" >/dev/null &\n"
    "for i in {1..300}; do grep -qs '^00001; ' \"$D/s.log\" && break; sleep .1; done\n"
    "kill -TERM $!; wait $!; status=$?; tail -c2 \"$D/s.log\" | od -An -tx1; exit $status";

// A broker of the run's own on a free loopback port, and a subscriber to site/# that is listening
// before the line goes on; wait_for waits up to ten seconds for a text in what it has received.
const std::string kBroker =
    "for try in 1 2 3 4 5; do port=$((20000 + RANDOM % 20000))\n"
    "  printf 'listener %s 127.0.0.1\\nallow_anonymous true\\n' $port >\"$D/broker.conf\"\n"
    "  /usr/sbin/mosquitto -c \"$D/broker.conf\" >/dev/null 2>&1 & broker=$!\n"
    "  timeout 5 bash -c \"until mosquitto_pub -h 127.0.0.1 -p $port -t probe -n; do sleep .05; done\" && break\n"
    "done 2>/dev/null\n"
    "stdbuf -oL mosquitto_sub -d -h 127.0.0.1 -p $port -t 'site/#' -v >\"$D/sub\" & sub=$!\n"
    "trap 'kill $sim $sub $broker' EXIT\n"
    "wait_for() { timeout 10 bash -c \"until grep -qs '$1' '$D/sub'; do sleep .05; done\"; }; wait_for SUBACK\n";
const std::string kPublished =
    kBroker +
    "\"$CLI\" log --file \"$D/m.log\" --records 1 --mqtt mqtt://127.0.0.1:$port/site >/dev/null; status=$?\n" +
    "wait_for 'status offline'; grep '^site/' \"$D/sub\" | sed \"s|^site/state .*|site/state {...}|; s|$D|D|\"\n" +
    "exit $status";
const std::string kWillOfAKilledRun =
    kBroker + "\"$CLI\" watch --mqtt mqtt://127.0.0.1:$port/site & wait_for site/state; kill -KILL $!\n" +
    "wait_for 'status offline'; grep '^site/status' \"$D/sub\"";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Runs, CliProgram, ::testing::Values(
    ShellRow{"ResultOnOutputMessagesOnError", R"("$CLI" test)", kExitDone, "result: accepted\n", "I> COM Port Opened\nI> Communication OK\n"},
    ShellRow{"ComNumberNamesTheDevice", R"(GELVAR_COM7=$GELVAR_COM1 GELVAR_COM1= "$CLI" --com 7 test)", kExitDone, "result: accepted\n", ""},
    ShellRow{"DeviceIsOpenedWhateverTheCom", R"(GELVAR_COM1=$D/none "$CLI" --device $GELVAR_COM1 test)", kExitDone, "result: accepted\n", ""},
    ShellRow{"MissingPort", R"(GELVAR_COM1=$D/none "$CLI" test)", kExitPort, "", "Error 1: Error open COM1:"},
    ShellRow{"UsageRefusedInJson", R"("$CLI" --json read-parameters --passes 2)", kExitUsage,
             R"({"command":"read-parameters","error":{"status":2,"messages":["gelvar-cli: --passes does not go with )"
             R"('read-parameters'","Try 'gelvar-cli --help'."]}})" "\n", ""},
    ShellRow{"OutputThatCannotBeWrittenFails", R"("$CLI" --json read-parameters >/dev/full)", kExitFile, "", "gelvar-cli: cannot write standard output\n"},
    // The log's result is its file: a reader that goes away stops nothing.
    ShellRow{"LogWithoutItsOutput", R"("$CLI" log --file "$D/p.log" --records 1 >/dev/full)", kExitDone, "", "I> Log stored in file"},
    // A stop signal ends the log cleanly, its last record whole.
    ShellRow{"LogStoppedBySignal", kStoppedLog, kExitDone, " 0d 0a\n", "'\nI> Reading variables stopped\n"},
    // Status, state and message lines under the prefix; the will (retained) tells a run that was killed.
    ShellRow{"LogPublishedToABroker", kPublished.c_str(), kExitDone,
             "site/status online\nsite/messages I> COM Port Opened\nsite/messages I> Communication OK\n"
             "site/messages I> Reading variables started\nsite/state {...}\nsite/messages I> Logging started\n"
             "site/messages I> Log stored in file ' D/m.log '\nsite/messages I> Reading variables stopped\n"
             "site/status offline\n", "I> MQTT broker 127.0.0.1:"},
    ShellRow{"KilledRunLeavesItsWill", kWillOfAKilledRun.c_str(), 0, "site/status online\nsite/status offline\n", ""}), kByName);
// clang-format on

}  // namespace
}  // namespace gelvar::testing
