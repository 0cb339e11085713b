// gelvar-cli without a process: the command line, the texts for the terminal and for JSON, and the
// program over the simulated unit in virtual time (what each command prints, writes and ends with).
// The values themselves, the message lines and the files' bytes are the core's and tested there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/console_program.h"
#include "cli/console_text.h"
#include "cli/json_values.h"
#include "cli/mqtt_payloads.h"
#include "cli/port_list.h"
#include "core/common/temp_folder.h"
#include "support/monitor_fakes.h"
#include "support/row_name.h"
#include "support/virtual_scheduler.h"
#include "unitsim/simulated_line.h"

namespace gelvar::testing {
namespace {

using Args = std::vector<std::string>;

// The words of line between single spaces, empty ones too; a word may hold a tab or a line end.
Args Words(const std::string& line) {
  if (line.empty()) return {};
  Args words{""};
  for (const char c : line) c == ' ' ? words.emplace_back() : words.back() += c;
  return words;
}

CliOptions Parsed(const std::string& line) {
  CliOptions options;
  std::string error;
  EXPECT_TRUE(ParseCliOptions(Words(line), options, error)) << line << ": " << error;
  return options;
}

struct UsageRow {
  const char* name;
  std::string line;
  std::string error;                    // a part of the message; empty: the line is taken
  std::optional<MqttTarget> mqtt = {};  // of a line taken, the broker URL taken apart
};

void PrintTo(const UsageRow& row, std::ostream* out) { *out << "gelvar-cli " << row.line; }

class CommandLine : public ::testing::TestWithParam<UsageRow> {};

TEST_P(CommandLine, IsTakenOrRefusedWithItsMessage) {
  CliOptions options;
  std::string error;
  EXPECT_EQ(ParseCliOptions(Words(GetParam().line), options, error), GetParam().error.empty()) << error;
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
  const MqttTarget& got = options.mqtt;
  const MqttTarget want = GetParam().mqtt.value_or(got);
  EXPECT_EQ(std::tie(got.tls, got.user, got.host, got.port, got.prefix),
            std::tie(want.tls, want.user, want.host, want.port, want.prefix));
}

const std::string kNoUrl = "is not a URL like mqtt://[USER@]HOST[:PORT]/PREFIX";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Usage, CommandLine, ::testing::Values(
    UsageRow{"ComLowest", "--com 1 test", ""},
    UsageRow{"ComHighestAfterTheCommand", "test --com 255", ""},
    UsageRow{"PassesHighest", "read-variables --passes 1000000000", ""},
    UsageRow{"IntervalLowest", "log --file l --interval 1", ""},
    UsageRow{"IntervalHighest", "log --file l --interval 60", ""},
    UsageRow{"RecordsLowest", "log --file l --records 1", ""},
    UsageRow{"RecordsHighest", "log --file l --records 99999", ""},
    UsageRow{"TaLowest", "--yes sensor-test start-cycle 1 --ta 1", ""},
    UsageRow{"TaHighest", "--yes sensor-test start-cycle 1 --ta 1000", ""},
    UsageRow{"ForTenYears", "log --file l --for 3650d", ""},
    UsageRow{"BrokerOptionsWithABroker", "log --file l --mqtt mqtts://h --ha-discovery --mqtt-cafile ca", ""},
    UsageRow{"UrlWithDefaultPortAndPrefix", "watch --mqtt mqtt://h", "", {{false, "", "h", 1883, "gelvar"}}},
    UsageRow{"UrlWithTlsUserAndLevels", "watch --mqtt mqtts://ops@broker.example/site-42/unit", "", {{true, "ops", "broker.example", 8883, "site-42/unit"}}},
    UsageRow{"UrlWithBracketedIpv6AndLowestPort", "watch --mqtt mqtt://[::1]:1/p", "", {{false, "", "::1", 1, "p"}}},
    UsageRow{"UrlWithHighestPort", "watch --mqtt mqtt://h:65535/p", "", {{false, "", "h", 65535, "p"}}},
    UsageRow{"UrlWithUtf8Prefix", "watch --mqtt mqtt://h/m\xC3\xBCll/\xE2\x82\xAC", "", {{false, "", "h", 1883, "m\xC3\xBCll/\xE2\x82\xAC"}}},
    // The longest prefix leaves room for the longest topic under it.
    UsageRow{"UrlWithLongestPrefix", "watch --mqtt mqtt://h/" + std::string(65279, 'p'), "", {{false, "", "h", 1883, std::string(65279, 'p')}}},
    UsageRow{"CycleNeedsNoConfirmation", "command cycle-sensor1", ""},
    UsageRow{"NoCommand", "", "no command given"},
    UsageRow{"UnknownCommand", "tset", "unknown command 'tset'"},
    UsageRow{"MissingSubcommand", "command", "'command' needs one of: start-min-heat | stop-min-heat | "
                                             "cycle-sensor1 | cycle-sensor2 | factory-settings"},
    UsageRow{"ExtraArgument", "test now", "unexpected argument 'now'"},
    UsageRow{"UnknownOption", "--verbose test", "unknown option '--verbose'"},
    UsageRow{"FlagWithAValue", "--yes=1 test", "--yes takes no value"},
    UsageRow{"ComZero", "--com 0 test", "--com: '0' is not a COM port number from 1 to 255"},
    UsageRow{"ComAboveTheHighest", "--com 256 test", "--com: '256' is not a COM port number from 1 to 255"},
    UsageRow{"ComEmpty", "--com= test", "--com: '' is not a COM port number"},
    UsageRow{"ComWithoutItsValue", "test --com", "--com needs a COM port number from 1 to 255"},
    UsageRow{"PassesZero", "read-variables --passes 0", "--passes: '0' is not a number of passes from 1"},
    UsageRow{"PassesAboveTheHighest", "read-variables --passes 1000000001", "--passes: '1000000001' is not"},
    UsageRow{"IntervalZero", "log --file l --interval 0", "--interval: '0' is not minutes from 1 to 60"},
    UsageRow{"IntervalAboveTheHighest", "log --file l --interval 61", "--interval: '61' is not"},
    UsageRow{"RecordsZero", "log --file l --records 0", "--records: '0' is not a number of records from 1 to 99999"},
    UsageRow{"RecordsAboveTheHighest", "log --file l --records 100000", "--records: '100000' is not"},
    UsageRow{"TaZero", "--yes sensor-test start-cycle 1 --ta 0", "--ta: '0' is not seconds from 1 to 1000"},
    UsageRow{"TaAboveTheHighest", "--yes sensor-test start-cycle 1 --ta 1001", "--ta: '1001' is not"},
    UsageRow{"TypeThree", "--yes sensor-test read-recorded --type III", "--type: 'III' is not I or II"},
    UsageRow{"LogWithoutAFile", "log", "log needs --file FILE"},
    UsageRow{"EmptyFileName", "log --file ", "--file: '' is not a file name"},
    UsageRow{"RecordsAndFor", "log --file l --records 2 --for 1h", "log takes --records or --for, not both"},
    UsageRow{"ForZero", "log --file l --for 0s", "--for: '0s' is not a duration such as 7d, 36h, 90m or 1d12h"},
    UsageRow{"ForPastTenYears", "log --file l --for 3650d1s", "--for: '3650d1s' is not a duration"},
    UsageRow{"ForUnknownUnit", "log --file l --for 5w", "--for: '5w' is not a duration"},
    UsageRow{"ForOverflowing", "log --file l --for 99999999999999999999s", "is not a duration"},
    UsageRow{"FactorySettingsUnconfirmed", "command factory-settings", "'command factory-settings' resets every "
             "parameter of the unit to its default value; the window asks before it does so.\nAdd --yes to confirm."},
    UsageRow{"SensorTestUnconfirmed", "sensor-test temperature 1", "'sensor-test temperature' runs the sensor test "
             "monitor, which is meant for experienced engineers only; the window asks before it does so.\nAdd --yes"},
    UsageRow{"SensorZero", "--yes sensor-test temperature 0", "sensor-test temperature needs the sensor number, 1 or 2"},
    UsageRow{"SensorThree", "--yes sensor-test temperature 3", "needs the sensor number, 1 or 2"},
    UsageRow{"ReadRecordedWithoutType", "--yes sensor-test read-recorded", "read-recorded needs --type I or --type II"},
    UsageRow{"WatchWithoutBroker", "watch", "watch needs --mqtt URL"},
    UsageRow{"BrokerOptionWithoutBroker", "log --file l --ha-discovery", "--ha-discovery needs --mqtt URL"},
    UsageRow{"CaFileWithoutTls", "watch --mqtt mqtt://h --mqtt-cafile ca", "--mqtt-cafile needs an mqtts:// URL"},
    UsageRow{"UnknownScheme", "watch --mqtt http://h/p", "--mqtt: unknown scheme 'http' (mqtt or mqtts)"},
    UsageRow{"NoScheme", "watch --mqtt h:1883/p", kNoUrl},
    UsageRow{"PortZero", "watch --mqtt mqtt://h:0/p", "port '0' is not from 1 to 65535"},
    UsageRow{"PortAboveTheHighest", "watch --mqtt mqtt://h:65536/p", "port '65536' is not from 1 to 65535"},
    UsageRow{"PasswordInTheUrl", "watch --mqtt mqtt://u:pw@h/p", "no password in the URL"},
    UsageRow{"WildcardInThePrefix", "watch --mqtt mqtt://h/a/#", "--mqtt: prefix 'a/#'"},
    // Topics the library or the broker would drop without a word.
    UsageRow{"TabInThePrefix", "watch --mqtt mqtt://h/tab\tx", "prefix 'tab\\x09x' has U+0009, a control character"},
    UsageRow{"C1ControlInThePrefix", "watch --mqtt mqtt://h/a\xC2\x9B", "'a\\xC2\\x9B' has U+009B, a control character"},
    UsageRow{"LastC1ControlInThePrefix", "watch --mqtt mqtt://h/a\xC2\x9F", "has U+009F, a control character"},
    UsageRow{"NoncharacterInThePrefix", "watch --mqtt mqtt://h/a\xEF\xBF\xBF", "'a\xEF\xBF\xBF' has U+FFFF, a noncharacter"},
    UsageRow{"LastNoncharacterOfTheBlock", "watch --mqtt mqtt://h/a\xEF\xB7\xAF", "has U+FDEF, a noncharacter"},
    UsageRow{"SupplementaryNoncharacter", "watch --mqtt mqtt://h/a\xF0\x9F\xBF\xBE", "has U+1FFFE, a noncharacter"},
    UsageRow{"PrefixNotUtf8", "watch --mqtt mqtt://h/a\xFF", "prefix 'a\\xFF' is not UTF-8"},
    UsageRow{"PrefixTooLong", "watch --mqtt mqtt://h/" + std::string(65280, 'x'), "' has 65280 bytes: topics under it "
             "would pass MQTT's limit of 65535 (65279 at most for the prefix)"},
    UsageRow{"PrefixOfTheBroker", "watch --mqtt mqtt://h/$SYS/x", "'$SYS/x' starts with '$', which the broker keeps"},
    UsageRow{"ControlInTheUser", "watch --mqtt mqtt://u\x01@h/p", "the user name has U+0001, a control character"},
    UsageRow{"ControlInTheHost", "watch --mqtt mqtt://h\n/p", "host 'h\\x0A' has U+000A, a control character"},
    UsageRow{"HostTooLong", "watch --mqtt mqtt://" + std::string(254, 'h') + "/p", "' has 254 bytes, more than 253"},
    UsageRow{"Ipv6WithoutBrackets", "watch --mqtt mqtt://::1/x", "'::1' is an IPv6 address without brackets: write '[::1]'"},
    // What is quoted back is short, escaped, and without what comes before an '@'.
    UsageRow{"SecretBeforeTheAtHidden", "watch --mqtt mqtt:/ops:S3cr3t@h/x", "--mqtt: '***@h/x' " + kNoUrl},
    UsageRow{"SecretInTheSchemeHidden", "watch --mqtt ops:S3cr3t@mqtt://h/x", "unknown scheme '***@mqtt' (mqtt or mqtts)"},
    UsageRow{"LongUrlCutShort", "watch --mqtt \x1B[2J" + std::string(100, 'y'), "--mqtt: '\\x1B[2J" +
             std::string(56, 'y') + "...' " + kNoUrl},
    // A cut goes back at most three bytes: a character is never longer than four.
    UsageRow{"LongUrlCutInStrayBytes", "watch --mqtt " + std::string(56, 'y') + std::string(6, '\x80'),
             "--mqtt: '" + std::string(56, 'y') + "\\x80...' " + kNoUrl}),
    kByName);
// clang-format on

TEST(CliOptions, HelpWinsOverAnythingWrong) { EXPECT_TRUE(Parsed("read-variables --passes x -h").help); }

TEST(CliOptions, ForAddsUpItsUnits) { EXPECT_EQ(Parsed("log --file l --for 1d12h30m45s").forSeconds, 131445); }

// The password is the file's first line, whatever its line end. A path not starting with '/' is one in a
// folder of the test's own, "fifo" a FIFO that nobody writes to (and that must not be waited for).
struct PasswordRow {
  const char* name;
  const char* user;
  std::string path;
  std::optional<std::string> bytes;  // none: no file
  std::string password, error;       // error: a part of it; empty when read
};

class PasswordFile : public ::testing::TestWithParam<PasswordRow> {};

TEST_P(PasswordFile, GivesItsFirstLineOrWhyNot) {
  const TempFolder dir;
  const std::string path = GetParam().path.starts_with('/') ? GetParam().path : (dir / "p").string() + GetParam().path;
  if (GetParam().bytes) std::ofstream(path, std::ios::binary) << *GetParam().bytes;
  ASSERT_TRUE(GetParam().path != "fifo" || ::mkfifo(path.c_str(), 0600) == 0);
  std::string password, error;
  const bool fromEnvironment = GetParam().path == "$GELVAR_MQTT_PASSWORD";
  if (fromEnvironment) ::setenv("GELVAR_MQTT_PASSWORD", GetParam().bytes->c_str(), 1);
  const bool read =
      ReadMqttPassword({false, GetParam().user, "h", 1883, "p"}, fromEnvironment ? "" : path, password, error);
  EXPECT_EQ(read, GetParam().error.empty()) << error;
  EXPECT_EQ(password, GetParam().password);
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

const std::string kLongest(65535, 'x');

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, PasswordFile, ::testing::Values(
    PasswordRow{"CrLfEnded", "ops", "", "secret\r\nsecond\n", "secret", ""},
    // Without a file, the password is the environment's.
    PasswordRow{"FromTheEnvironment", "ops", "$GELVAR_MQTT_PASSWORD", "secret", "secret", ""},
    PasswordRow{"Longest", "ops", "", kLongest + "\n", kLongest, ""},
    PasswordRow{"Empty", "ops", "", "", "", "' has no password on its first line"},
    PasswordRow{"EmptyFirstLine", "ops", "", "\r\nsecret\n", "", "' has no password on its first line"},
    PasswordRow{"TooLong", "ops", "", kLongest + "x", "", "the password (--mqtt-password-file) is longer than 65535 bytes"},
    PasswordRow{"WithoutUser", "", "", "secret\n", "", "a password (--mqtt-password-file) needs a user"},
    PasswordRow{"Missing", "ops", "", std::nullopt, "", "--mqtt-password-file: cannot read '"},
    PasswordRow{"EndlessDevice", "ops", "/dev/zero", std::nullopt, "", "'/dev/zero' is not a regular file"},
    // Not "fifo'": a long temporary folder has the quoted path cut short.
    PasswordRow{"FifoThatNeverAnswers", "ops", "fifo", std::nullopt, "", "' is not a regular file"}),
    kByName);
// clang-format on

struct TextRow {
  const char* name;
  const char* text;
  const char* terminal;
};

class TerminalTextOf : public ::testing::TestWithParam<TextRow> {};

TEST_P(TerminalTextOf, IsUtf8) { EXPECT_EQ(TerminalText(GetParam().text), GetParam().terminal); }

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, TerminalTextOf, ::testing::Values(
    TextRow{"DegreeSignOfTheCore", "  3 \260C", "  3 \302\260C"},
    TextRow{"EuroUnusedAndYUmlaut", "\x80\x81\x9F", "\xE2\x82\xAC\xC2\x81\xC5\xB8"},
    TextRow{"Utf8AtTheEndKept", "a \xC3\xBC", "a \xC3\xBC"},
    TextRow{"LowestThreeByteFormKept", "\xE0\xA0\x80 \xE2\x80\x99", "\xE0\xA0\x80 \xE2\x80\x99"},
    // Anything not well-formed UTF-8 is taken as Windows-1252 as a whole.
    TextRow{"MixedIsWindows1252", "\xC3\xBC \xB0", "\xC3\x83\xC2\xBC \xC2\xB0"},
    TextRow{"CutShortAtTheEnd", "a \xC3", "a \xC3\x83"}),
    kByName);
// clang-format on

TEST(ConsoleText, JsonStringEscapesQuotesBackslashesAndControlsOnly) {
  EXPECT_EQ(JsonString("a\"b\\c\r\n\t\x01\xC2\xB0"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\xC2\xB0\"");
}

const std::vector<SerialDeviceEntry> kPorts = {{"/dev/ttyACM0", "Uno \"R3\""}, {"/dev/ttyS0", "built-in"}};

TEST(PortList, IsALinePerPort) {
  EXPECT_EQ(PortListLines(kPorts, false), (Args{"/dev/ttyACM0  Uno \"R3\"", "/dev/ttyS0  built-in"}));
}

TEST(PortList, InJsonIsOneArray) {
  EXPECT_EQ(PortListLines(kPorts, true), Args{"[{\"path\":\"/dev/ttyACM0\",\"description\":\"Uno \\\"R3\\\"\"},"
                                              "{\"path\":\"/dev/ttyS0\",\"description\":\"built-in\"}]"});
}

TEST(ConsoleOutput, ProgressLineIsDrawnAgainBelowAMessage) {
  std::ostringstream out, err;
  Console console(out, err, true);
  console.Progress("Reading");
  console.Err("I> message");
  EXPECT_EQ(err.str(), "Reading\r\x1B[KI> message\nReading");
}

TEST(JsonValues, ErrorHoldsTheStatusAndEachMessageLine) {
  EXPECT_EQ(ErrorJson(3, {"Error 1: Error open COM1:\n  \"x\"", "I> COM Port Lost"}),
            "{\"status\":3,\"messages\":[\"Error 1: Error open COM1:\",\"  \\\"x\\\"\",\"I> COM Port Lost\"]}");
}

// Values nothing read, failed, out of range or unknown, and a temperature in the scale it was read in.
TEST(MqttPayloads, StateIsTheTimeTheUnitsOfTheValuesReadAndEachValueOrNull) {
  DisplayFields fields;
  fields.SetRead(Field::kHeatingState, 4);
  fields.SetRead(Field::kHeatingRelay, 2);
  fields.SetRead(Field::kSlabTemp, 5600, 1);
  fields.SetRead(Field::kS1Temp, 0x7F00);
  fields.SetRead(Field::kS1Voltage, 1215);
  fields.SetState(Field::kS1Voltage, ReadState::kFailed);
  EXPECT_EQ(
      StateJson(fields, 0),
      R"({"time":"1970-01-01T00:00:00Z","units":{"HtgSlGuTemp":"°F","S1SenTemp":"°C"},"AdmErrFlg":null,"AdmIntSta)"
      R"(t":null,"HtgState":{"text":"Active","code":4},"HtgErrFlg":null,"HtgTempFlg":null,"HtgMoisFlg":null,"HtgS)"
      R"(lGuTemp":-3.9,"HtgOutTemp":null,"HtgRemHtime":null,"HtgOffOn":{"text":"unknown","code":2},"HtgOpHours":n)"
      R"(ull,"HtgOpHoursXWK":null,"S1State":null,"S1Error":null,"S1Flags":null,"S1SenTemp":null,"S1AmbTemp":null,)"
      R"("S1LastMoist":null,"S1ItimMois":null,"S1ItimTemp":null,"S1Volt":null,"S1CharVal":null,"S2State":null,"S2)"
      R"(Error":null,"S2Flags":null,"S2SenTemp":null,"S2AmbTemp":null,"S2LastMoist":null,"S2ItimMois":null,"S2Iti)"
      R"(mTemp":null,"S2Volt":null,"S2CharVal":null})");
}

TEST(MqttPayloads, DiscoveryTopicsFitUnderTheLongestPrefix) {
  for (const MqttMessage& config : DiscoveryConfigs(std::string(65279, 'p'), 0)) {
    EXPECT_LE(config.topic.size(), 65535u) << config.topic.substr(65279);
  }
}

// One run of the command line; meanwhile(second) runs before each simulated second and may raise a
// stop signal. A run without meanwhile has no signal source at all.
struct VirtualCli {
  using Meanwhile = std::function<void(VirtualCli&, int)>;

  explicit VirtualCli(const std::string& args, const Meanwhile& meanwhile = nullptr) {
    ConsoleProgram program(Parsed(args), scheduler, line, files, console,
                           meanwhile ? std::function<int()>([this] { return signal; }) : nullptr);
    program.Start({});
    for (int second = 0; second < 600 && !program.Finished(); ++second) {
      if (meanwhile) meanwhile(*this, second);
      scheduler.RunUntil([&] { return program.Finished(); }, 1000);
    }
    status = program.Finished() ? program.ExitStatus() : -1;
    timersLeft = scheduler.RunningTimers();
  }

  VirtualScheduler scheduler;
  unitsim::UnitModel unit;
  unitsim::SimulatedLine line{unit, [this] { return scheduler.NowMs(); }};
  MemoryFiles files;
  std::ostringstream out, err;
  Console console{out, err, true};
  int signal = 0, status = -1;
  std::size_t timersLeft = 0;  // when the program had finished
};

const VirtualCli::Meanwhile kSilent = [](VirtualCli& cli, int) { cli.unit.Faults().silent = true; };
const VirtualCli::Meanwhile kRefusing = [](VirtualCli& cli, int) { cli.unit.Faults().refuseCommands = true; };
const VirtualCli::Meanwhile kUnplugged = [](VirtualCli& cli, int) { cli.line.Unplug(); };
const VirtualCli::Meanwhile kSignalled = [](VirtualCli& cli, int) { cli.signal = SIGTERM; };
const VirtualCli::Meanwhile kFahrenheit = [](VirtualCli& cli, int) { cli.unit.SetObject(0x3003, {0x10, 0x00}); };
// The log's file goes read-only once its header is written.
const VirtualCli::Meanwhile kLogLost = [](VirtualCli& cli, int second) {
  if (second == 1) cli.files.unwritable.insert("/u.log");
};
const VirtualCli::Meanwhile kSignalAt30 = [](VirtualCli& cli, int second) { cli.signal = second >= 30 ? SIGTERM : 0; };
const VirtualCli::Meanwhile kLostAWhile = [](VirtualCli& cli, int second) {
  if (second == 1) cli.line.Unplug();
  if (second == 4) cli.line.PlugIn();
};
const VirtualCli::Meanwhile kManySets = [](VirtualCli& cli, int) {
  cli.unit.SetObject(0x0D05, {0x2B, 0x01, 0x01, 0x00});  // Ti 299 s, Tm 1 s: N = 300
  cli.unit.SetRecordedSets(std::vector(300, std::vector<std::uint8_t>{0, 5, 0, 2}),
                           std::vector(300, std::vector<std::uint8_t>{0x70, 0x17}));
};

// What a command prints on standard output, whole (none: too long to be of use), and a part of what it
// adds on standard error.
struct RunRow {
  const char* name;
  const char* args;
  VirtualCli::Meanwhile meanwhile;
  int status;
  std::optional<std::string> out;
  std::string errPart;
};

void PrintTo(const RunRow& row, std::ostream* out) { *out << "gelvar-cli " << row.args; }

class ProgramRun : public ::testing::TestWithParam<RunRow> {};

TEST_P(ProgramRun, EndsWithItsStatusAndPrintsItsOutput) {
  const VirtualCli cli(GetParam().args, GetParam().meanwhile);
  EXPECT_EQ(cli.status, GetParam().status) << cli.err.str();
  EXPECT_EQ(cli.out.str(), GetParam().out.value_or(cli.out.str()));
  EXPECT_NE(cli.err.str().find(GetParam().errPart), std::string::npos) << cli.err.str();
  // The schema test runs these rows with a folder named, and holds what --json printed against the schema.
  const char* folder = std::getenv("GELVAR_JSON_SAMPLES");
  if (folder != nullptr && std::string_view(GetParam().args).starts_with("--json"))
    std::ofstream(std::string(folder) + "/" + GetParam().name + ".json", std::ios::binary) << cli.out.str();
}

const std::string kParametersJson =
    R"({"command":"read-parameters","parameters":{"AdmModeSys":{"text":"On","code":1},"AdmLanguage":{"text":"EN)"
    R"(","code":1},"AdmTempUnit":{"text":"°C","code":0},"AdmVersion":"1.04 B0316","AdmAlarmMode":{"text":"norma)"
    R"(l","code":0},"HtgMode":{"text":"Active","code":1},"HtgMinHtime":60,"HtgHighTemp":3.0,"HtgLowTemp":-15.0,)"
    R"("HtgMoisLimit":50,"HtgIdleTemp":-3.0,"S1Type":{"text":"K720/21","code":3},"S1Mode":{"text":"Temp.+Moist.)"
    R"(","code":3},"S1MoisLimit":40,"S2Type":{"text":"K720/21","code":3},"S2Mode":{"text":"Temp.+Moist.","code")"
    R"(:3},"S2MoisLimit":40,"HtgOpHours":1234,"HtgOpHoursXWK":5678},"units":{"HtgMinHtime":"min","HtgHighTemp":)"
    R"("°C","HtgLowTemp":"°C","HtgIdleTemp":"°C","HtgOpHours":"h","HtgOpHoursXWK":"h"},"report":"/r.par"})"
    "\n";
const std::string kVariablesJson =
    R"({"command":"read-variables","passes":[{"AdmErrFlg":0,"AdmIntStat":768,"HtgState":{"text":"Active","code")"
    R"(:4},"HtgErrFlg":0,"HtgTempFlg":0,"HtgMoisFlg":0,"HtgSlGuTemp":33.8,"HtgOutTemp":29.3,"HtgRemHtime":0,"Ht)"
    R"(gOffOn":{"text":"Off","code":0},"HtgOpHours":1234,"HtgOpHoursXWK":5678,"S1State":{"text":"On Moist.+Temp)"
    R"(.","code":8},"S1Error":0,"S1Flags":0,"S1SenTemp":32.9,"S1AmbTemp":30.2,"S1LastMoist":35,"S1ItimMois":5,")"
    R"(S1ItimTemp":10,"S1Volt":12.15,"S1CharVal":2350,"S2State":{"text":"On Moist.+Temp.","code":8},"S2Error":0)"
    R"(,"S2Flags":0,"S2SenTemp":33.4,"S2AmbTemp":29.8,"S2LastMoist":35,"S2ItimMois":5,"S2ItimTemp":10,"S2Volt":)"
    R"(12.08,"S2CharVal":2390}],"units":{"HtgSlGuTemp":"°F","HtgOutTemp":"°F","HtgRemHtime":"min","HtgOpHours":)"
    R"("h","HtgOpHoursXWK":"h","S1SenTemp":"°F","S1AmbTemp":"°F","S1ItimMois":"min","S1ItimTemp":"min","S1Volt")"
    R"(:"V","S2SenTemp":"°F","S2AmbTemp":"°F","S2ItimMois":"min","S2ItimTemp":"min","S2Volt":"V"}})"
    "\n";
const std::string kCycleJson =
    R"({"command":"sensor-test start-cycle","lines":["Record sensor 2 started!","Sensor 2 - Uv: 12.08 V,  Rs: 2)"
    R"(390 Ohm","Recording sensor 2 completed!"],"cycle":[{"Uv":12.08,"Rs":2390}],"units":{"Uv":"V","Rs":"Ohm"})"
    R"(})"
    "\n";
const std::string kRecordedJson =
    R"({"command":"sensor-test read-recorded","report":"/s.dat","lines":["Start values - Uo: 11.80 V, To:  0.5 )"
    R"(°C","Start values - Uso:  4.80 V","Timing - Ti:  59 s, Tm:  10 s, N:   6","N: 000, Uv: 12.00 V, Us: 04.5)"
    R"(0 V, Ts: 00.5 °C","N: 001, Uv: 11.85 V, Us: 04.70 V, Ts: 00.7 °C","N: 002, Uv: 11.70 V, Us: 04.90 V, Ts:)"
    R"( 00.9 °C","N: 003, Uv: 11.55 V, Us: 05.10 V, Ts: 01.1 °C","N: 004, Uv: 11.40 V, Us: 05.30 V, Ts: 01.3 °C)"
    R"(","N: 005, Uv: 11.25 V, Us: 05.50 V, Ts: 01.5 °C","max. dER/dt,max: -1.250","tK: 42.500 s","max. f(x):  )"
    R"( 0.87","Kf:   1.52","Resistance Shunt - Rsh: 100.00 Ohm"],"recorded":{"timing":{"Ti":59,"Tm":10,"N":6},")"
    R"(samples":[{"t":10,"Uv":12.00,"Us":4.50,"Ts":0.50},{"t":20,"Uv":11.85,"Us":4.70,"Ts":0.70},{"t":30,"Uv":1)"
    R"(1.70,"Us":4.90,"Ts":0.90},{"t":40,"Uv":11.55,"Us":5.10,"Ts":1.10},{"t":50,"Uv":11.40,"Us":5.30,"Ts":1.30)"
    R"(},{"t":60,"Uv":11.25,"Us":5.50,"Ts":1.50}],"results":{"Uo":11.800,"Uso":4.800,"To":0.500,"dERdt":-1.250,)"
    R"("tK":42.500,"fx":0.870,"K":1.520,"Rsh":100.000},"units":{"t":"s","Uv":"V","Us":"V","Ts":"°C","Uo":"V","U)"
    R"(so":"V","To":"°C","Tv":"s","Ti":"s","Tm":"s","Rm":"Ohm","Rs":"Ohm","tK":"s","Rsh":"Ohm"}}})"
    "\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Commands, ProgramRun, ::testing::Values(
    RunRow{"Test", "test", nullptr, kExitDone, "result: accepted\n", "I> COM Port Opened\nI> Communication OK\n"},
    RunRow{"TestInJson", "--json test", nullptr, kExitDone, R"({"command":"test","result":"accepted"})" "\n", ""},
    RunRow{"TestWithoutReply", "test", kSilent, kExitUnit, "result: no reply\n", "E> No reply from detector unit\n"},
    RunRow{"PortGoneInJson", "--json test", kUnplugged, kExitPort, R"({"command":"test","error":{"status":3,"messages":[]}})" "\n", ""},
    RunRow{"StopSignalInJson", "--json test", kSignalled, 143, R"({"command":"test","error":{"status":143,"messages":[]}})" "\n", ""},
    RunRow{"ReadParametersInJson", "--json read-parameters --report /r.par", nullptr, kExitDone, kParametersJson, "Reading parameters  18/18 [####################]"},
    RunRow{"LogFileUnwritable", "log --file /u.log --records 1", [](VirtualCli& cli, int) { cli.files.unwritable.insert("/u.log"); }, kExitFile, "", "gelvar-cli: cannot write /u.log\n"},
    RunRow{"ReportUnwritable", "read-parameters --report /r.par", [](VirtualCli& cli, int) { cli.files.unwritable.insert("/r.par"); }, kExitFile, std::nullopt, "gelvar-cli: cannot write /r.par\n"},
    RunRow{"ReadVariablesInFahrenheitInJson", "--json read-variables", kFahrenheit, kExitDone, kVariablesJson, "I> Reading variables stopped\n"},
    RunRow{"ReadVariablesThroughALoss", "read-variables --passes 3", kLostAWhile, kExitDone, std::nullopt, "E> COM Port Lost\nI> COM Port Reopened\n"},
    RunRow{"Log", "log --file /u.log --records 1", nullptr, kExitDone, "file: /u.log\nrecords: 1\nunwritten records: 0\n", "Logging: 1 record\r"},
    RunRow{"LogInJson", "--json log --file /u.log --records 1", nullptr, kExitDone, R"({"command":"log","file":"/u.log","records":1,"unwritten records":0})" "\n", ""},
    RunRow{"LogFileLost", "log --file /u.log --records 1", kLogLost, kExitFile, "file: /u.log\nrecords: 1\nunwritten records: 1\n", "could not be written to "},
    RunRow{"WatchInJson", "--json watch --mqtt mqtt://h/p", kSignalAt30, kExitDone, "{\"command\":\"watch\"}\n", "I> Reading variables started\n"},
    RunRow{"StartMinHeat", "command start-min-heat", nullptr, kExitDone, "result: accepted\n", "I> Minimum Heat Time started"},
    RunRow{"StopMinHeatInJson", "--json command stop-min-heat", nullptr, kExitDone, R"({"command":"command stop-min-heat","result":"accepted"})" "\n", "I> Minimum Heat Time stopped"},
    RunRow{"SensorTemperatureInJson", "--json --yes sensor-test temperature 2", nullptr, kExitDone, R"({"command":"sensor-test temperature","lines":["Temperature sensor 2:  0.8 °C"],"temperature":0.8,"units":{"temperature":"°C"}})" "\n", ""},
    RunRow{"SensorTemperatureWithoutReply", "--yes sensor-test temperature 1", kSilent, kExitUnit, "", "gelvar-cli: Error at sensor temperature\n"},
    RunRow{"Cycle", "--yes sensor-test start-cycle 1 --ta 1", nullptr, kExitDone, "Record sensor 1 started!\nSensor 1 - Uv: 12.15 V,  Rs: 2350 Ohm\nRecording sensor 1 completed!\n", "waiting: 1 s left\n"},
    RunRow{"CycleInJson", "--json --yes sensor-test start-cycle 2 --ta 1", nullptr, kExitDone, kCycleJson, ""},
    RunRow{"CycleCountsDownInFives", "--yes sensor-test start-cycle 2 --ta 25", nullptr, kExitDone, std::nullopt, "waiting: 25 s left\nwaiting: 20 s left\n"},
    RunRow{"CycleRefused", "--yes sensor-test start-cycle 2", kRefusing, kExitUnit, "Error 3 start sensor 2 !\n", ""},
    RunRow{"ReadRecordedInJson", "--json --yes sensor-test read-recorded --type II --report /s.dat", nullptr, kExitDone, kRecordedJson, ""},
    // More samples than the unit keeps: the progress counts to the sets read.
    RunRow{"ReadRecordedCountsTheSetsRead", "--yes sensor-test read-recorded --type II", kManySets, kExitDone, std::nullopt, "256/256 ["}),
    kByName);
// clang-format on

// Until it is destroyed, a finished program keeps the timers of its tick, line pump and monitor.
TEST(ProgramEnd, SensorTestStopsItsTimerWhenTheProgramFinishes) {
  EXPECT_EQ(VirtualCli("--yes sensor-test temperature 1").timersLeft, 3u);
}

TEST(ProgramOutput, LogHeaderIsInTheUnitsTemperatureScale) {
  const std::string log = VirtualCli("log --file /u.log --records 1", kFahrenheit).files.files.at("/u.log");
  EXPECT_NE(log.find(", Temperature Unit: \xB0"
                     "F\r\nSet#;Date;Time;AdmErrFlg;AdmIntStat;"),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace gelvar::testing
