// gelvar-cli without a process: the command line, the texts for the terminal and for JSON, and the
// program over the simulated unit in virtual time (what each command prints, writes and ends with).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/console_program.h"
#include "cli/console_text.h"
#include "cli/field_table.h"
#include "cli/json_values.h"
#include "cli/mqtt_payloads.h"
#include "cli/port_list.h"
#include "core/common/temp_folder.h"
#include "core/monitor/variable_log.h"
#include "support/monitor_fakes.h"
#include "support/virtual_scheduler.h"
#include "unitsim/simulated_line.h"

namespace gelvar::testing {
namespace {

using Args = std::vector<std::string>;

Args Words(const std::string& line) {
  std::istringstream words(line);
  return {std::istream_iterator<std::string>(words), {}};
}

CliOptions Parsed(const std::string& line) {
  CliOptions options;
  std::string error;
  EXPECT_TRUE(ParseCliOptions(Words(line), options, error)) << line << ": " << error;
  return options;
}

const auto kRowName = [](const auto& row) { return std::string(row.param.name); };

// A row shows in a failure by its name.
template <typename Row>
requires requires(Row row) { row.name; }
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

struct NumberRow {
  const char* name;
  const char* line;
  int CliOptions::*member;
  int value;
};

class AcceptedNumber : public ::testing::TestWithParam<NumberRow> {};

TEST_P(AcceptedNumber, IsTaken) { EXPECT_EQ(Parsed(GetParam().line).*GetParam().member, GetParam().value); }

INSTANTIATE_TEST_SUITE_P(
    Bounds, AcceptedNumber,
    ::testing::Values(NumberRow{"ComLowest", "--com 1 test", &CliOptions::comPort, 1},
                      NumberRow{"ComHighestAfterTheCommand", "test --com 255", &CliOptions::comPort, 255},
                      NumberRow{"ComInline", "--com=7 test", &CliOptions::comPort, 7},
                      NumberRow{"PassesHighest", "read-variables --passes 1000000000", &CliOptions::passes, 1000000000},
                      NumberRow{"IntervalLowest", "log --file l --interval 1", &CliOptions::logMinutes, 1},
                      NumberRow{"IntervalHighest", "log --file l --interval 60", &CliOptions::logMinutes, 60},
                      NumberRow{"RecordsLowest", "log --file l --records 1", &CliOptions::records, 1},
                      NumberRow{"RecordsHighest", "log --file l --records 99999", &CliOptions::records, 99999},
                      NumberRow{"TaLowest", "--yes sensor-test start-cycle 1 --ta 1", &CliOptions::ta, 1},
                      NumberRow{"TaHighest", "--yes sensor-test start-cycle 1 --ta 1000", &CliOptions::ta, 1000},
                      NumberRow{"SensorTwoIsIndexOne", "--yes sensor-test temperature 2", &CliOptions::sensor, 1},
                      NumberRow{"TypeOneIsZero", "--yes sensor-test read-recorded --type I", &CliOptions::sensorType,
                                0}),
    kRowName);

struct CommandRow {
  const char* name;
  const char* line;
  CliCommand command;
  const char* commandName;
};

class AcceptedCommand : public ::testing::TestWithParam<CommandRow> {};

TEST_P(AcceptedCommand, IsTakenWithItsWords) {
  const CliOptions options = Parsed(GetParam().line);
  EXPECT_EQ(options.command, GetParam().command);
  EXPECT_EQ(options.commandName, GetParam().commandName);
}

INSTANTIATE_TEST_SUITE_P(Commands, AcceptedCommand,
                         ::testing::Values(CommandRow{"Ports", "ports", CliCommand::kListPorts, "ports"},
                                           CommandRow{"ReadParameters", "read-parameters --report r",
                                                      CliCommand::kReadParameters, "read-parameters"},
                                           CommandRow{"Watch", "watch --mqtt mqtt://h", CliCommand::kWatch, "watch"},
                                           CommandRow{"SensorTemperature", "sensor-test temperature 1 --yes",
                                                      CliCommand::kSensorTemperature, "sensor-test temperature"},
                                           CommandRow{"DeviceCommand", "command cycle-sensor1",
                                                      CliCommand::kDeviceCommand, "command cycle-sensor1"}),
                         kRowName);

TEST(CliOptions, DeviceCommandIsTheOneNamed) {
  EXPECT_EQ(Parsed("command cycle-sensor2").deviceCommand, DeviceCommand::kStartCycleSensor2);
}

TEST(CliOptions, GlobalFlagsAreSet) {
  const CliOptions options = Parsed("--json --yes command factory-settings");
  EXPECT_TRUE(options.json);
  EXPECT_TRUE(options.yes);
}

TEST(CliOptions, HelpWinsOverAnythingWrong) { EXPECT_TRUE(Parsed("read-variables --passes x -h").help); }

TEST(CliOptions, DeviceIsTakenAsGiven) { EXPECT_EQ(Parsed("ports --device=/dev/ttyUSB0").device, "/dev/ttyUSB0"); }

TEST(CliOptions, ForAddsUpItsUnits) { EXPECT_EQ(Parsed("log --file l --for 1d12h30m45s").forSeconds, 131445); }

TEST(CliOptions, ForTakesTenYearsAtMost) { EXPECT_EQ(Parsed("log --file l --for 3650d").forSeconds, 315360000); }

TEST(CliOptions, HaDiscoveryIsSetWithABroker) {
  EXPECT_TRUE(Parsed("watch --mqtt mqtt://h --ha-discovery").haDiscovery);
}

struct UrlRow {
  const char* name;
  std::string url;
  MqttTarget target;
};

class MqttUrl : public ::testing::TestWithParam<UrlRow> {};

TEST_P(MqttUrl, IsTakenApart) {
  const MqttTarget parsed = Parsed("watch --mqtt " + GetParam().url).mqtt;
  const MqttTarget& want = GetParam().target;
  EXPECT_EQ(std::tie(parsed.tls, parsed.user, parsed.host, parsed.port, parsed.prefix),
            std::tie(want.tls, want.user, want.host, want.port, want.prefix));
}

INSTANTIATE_TEST_SUITE_P(
    Urls, MqttUrl,
    ::testing::Values(
        UrlRow{"DefaultPortAndPrefix", "mqtt://h", {false, "", "h", 1883, "gelvar"}},
        UrlRow{"TlsWithUserAndLevels",
               "mqtts://ops@broker.example/site-42/unit",
               {true, "ops", "broker.example", 8883, "site-42/unit"}},
        UrlRow{"BracketedIpv6AndLowestPort", "mqtt://[::1]:1/p", {false, "", "::1", 1, "p"}},
        UrlRow{"HighestPort", "mqtt://h:65535/p", {false, "", "h", 65535, "p"}},
        UrlRow{"Utf8Prefix", "mqtt://h/m\xC3\xBCll/\xE2\x82\xAC", {false, "", "h", 1883, "m\xC3\xBCll/\xE2\x82\xAC"}},
        UrlRow{"DollarAfterTheStart", "mqtt://h/a$b", {false, "", "h", 1883, "a$b"}},
        // The longest prefix leaves room for the longest topic under it.
        UrlRow{
            "LongestPrefix", "mqtt://h/" + std::string(65279, 'p'), {false, "", "h", 1883, std::string(65279, 'p')}}),
    kRowName);

struct RefusedRow {
  const char* name;
  Args args;
  std::string message;  // a part of it
};

class RefusedUsage : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedUsage, NamesWhatIsWrong) {
  CliOptions options;
  std::string error;
  EXPECT_FALSE(ParseCliOptions(GetParam().args, options, error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Usage, RefusedUsage,
    ::testing::Values(
        RefusedRow{"NoCommand", {}, "no command given"},
        RefusedRow{"UnknownCommand", {"tset"}, "unknown command 'tset'"},
        RefusedRow{"MissingSubcommand",
                   {"command"},
                   "'command' needs one of: start-min-heat | stop-min-heat | "
                   "cycle-sensor1 | cycle-sensor2 | factory-settings"},
        RefusedRow{"ExtraArgument", {"test", "now"}, "unexpected argument 'now'"},
        RefusedRow{"UnknownOption", {"--verbose", "test"}, "unknown option '--verbose'"},
        RefusedRow{"FlagWithAValue", {"--yes=1", "test"}, "--yes takes no value"},
        RefusedRow{"OptionOfAnotherCommand",
                   {"read-parameters", "--passes", "2"},
                   "--passes does not go with 'read-parameters'"},
        RefusedRow{"ComZero", {"--com", "0", "test"}, "--com: '0' is not a COM port number from 1 to 255"},
        RefusedRow{
            "ComAboveTheHighest", {"--com", "256", "test"}, "--com: '256' is not a COM port number from 1 to 255"},
        RefusedRow{"ComNotANumber", {"--com", "7x", "test"}, "--com: '7x' is not a COM port number"},
        RefusedRow{"ComEmpty", {"--com=", "test"}, "--com: '' is not a COM port number"},
        RefusedRow{"ComWithoutItsValue", {"test", "--com"}, "--com needs a COM port number from 1 to 255"},
        RefusedRow{"PassesZero", {"read-variables", "--passes", "0"}, "--passes: '0' is not a number of passes from 1"},
        RefusedRow{
            "PassesAboveTheHighest", {"read-variables", "--passes", "1000000001"}, "--passes: '1000000001' is not"},
        RefusedRow{
            "IntervalZero", {"log", "--file", "l", "--interval", "0"}, "--interval: '0' is not minutes from 1 to 60"},
        RefusedRow{"IntervalAboveTheHighest", {"log", "--file", "l", "--interval", "61"}, "--interval: '61' is not"},
        RefusedRow{"RecordsZero",
                   {"log", "--file", "l", "--records", "0"},
                   "--records: '0' is not a number of records from 1 to 99999"},
        RefusedRow{
            "RecordsAboveTheHighest", {"log", "--file", "l", "--records", "100000"}, "--records: '100000' is not"},
        RefusedRow{"TaZero",
                   {"--yes", "sensor-test", "start-cycle", "1", "--ta", "0"},
                   "--ta: '0' is not seconds from 1 to 1000"},
        RefusedRow{
            "TaAboveTheHighest", {"--yes", "sensor-test", "start-cycle", "1", "--ta", "1001"}, "--ta: '1001' is not"},
        RefusedRow{
            "TypeThree", {"--yes", "sensor-test", "read-recorded", "--type", "III"}, "--type: 'III' is not I or II"},
        RefusedRow{"LogWithoutAFile", {"log"}, "log needs --file FILE"},
        RefusedRow{"EmptyFileName", {"log", "--file", ""}, "--file: '' is not a file name"},
        RefusedRow{"RecordsAndFor",
                   {"log", "--file", "l", "--records", "2", "--for", "1h"},
                   "log takes --records or --for, not both"},
        RefusedRow{"ForZero",
                   {"log", "--file", "l", "--for", "0s"},
                   "--for: '0s' is not a duration such as 7d, 36h, 90m or 1d12h"},
        RefusedRow{"ForPastTenYears", {"log", "--file", "l", "--for", "3650d1s"}, "--for: '3650d1s' is not a duration"},
        RefusedRow{"ForWithoutUnit", {"log", "--file", "l", "--for", "5"}, "--for: '5' is not a duration"},
        RefusedRow{"ForUnknownUnit", {"log", "--file", "l", "--for", "5w"}, "--for: '5w' is not a duration"},
        RefusedRow{"ForOverflowing", {"log", "--file", "l", "--for", "99999999999999999999s"}, "is not a duration"},
        RefusedRow{"FactorySettingsUnconfirmed",
                   {"command", "factory-settings"},
                   "'command factory-settings' resets every parameter of the unit to its default value; the window "
                   "asks before it does so.\nAdd --yes to confirm."},
        RefusedRow{"SensorTestUnconfirmed",
                   {"sensor-test", "temperature", "1"},
                   "'sensor-test temperature' runs the sensor test monitor, which is meant for experienced engineers "
                   "only; the window asks before it does so.\nAdd --yes to confirm."},
        RefusedRow{"SensorMissing",
                   {"--yes", "sensor-test", "temperature"},
                   "sensor-test temperature needs the sensor number, 1 or 2"},
        RefusedRow{"SensorZero", {"--yes", "sensor-test", "temperature", "0"}, "needs the sensor number, 1 or 2"},
        RefusedRow{"SensorThree", {"--yes", "sensor-test", "temperature", "3"}, "needs the sensor number, 1 or 2"},
        RefusedRow{"ReadRecordedWithoutType",
                   {"--yes", "sensor-test", "read-recorded"},
                   "sensor-test read-recorded needs --type I or --type II"},
        RefusedRow{"WatchWithoutBroker", {"watch"}, "watch needs --mqtt URL"},
        RefusedRow{
            "BrokerOptionWithoutBroker", {"log", "--file", "l", "--ha-discovery"}, "--ha-discovery needs --mqtt URL"},
        RefusedRow{"CaFileWithoutTls",
                   {"watch", "--mqtt", "mqtt://h", "--mqtt-cafile", "ca"},
                   "--mqtt-cafile needs an mqtts:// URL"}),
    kRowName);

// A broker URL that watch --mqtt refuses, and a part of the message.
struct RefusedUrlRow {
  const char* name;
  std::string url;
  std::string message;
};

class RefusedUrl : public ::testing::TestWithParam<RefusedUrlRow> {};

TEST_P(RefusedUrl, NamesWhatIsWrong) {
  CliOptions options;
  std::string error;
  EXPECT_FALSE(ParseCliOptions({"watch", "--mqtt", GetParam().url}, options, error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Urls, RefusedUrl,
    ::testing::Values(
        RefusedUrlRow{"UnknownScheme", "http://h/p", "--mqtt: unknown scheme 'http' (mqtt or mqtts)"},
        RefusedUrlRow{"NoScheme", "h:1883/p", "is not a URL like mqtt://[USER@]HOST[:PORT]/PREFIX"},
        RefusedUrlRow{"PortZero", "mqtt://h:0/p", "port '0' is not from 1 to 65535"},
        RefusedUrlRow{"PortAboveTheHighest", "mqtt://h:65536/p", "port '65536' is not from 1 to 65535"},
        RefusedUrlRow{"PasswordInTheUrl", "mqtt://u:pw@h/p", "no password in the URL"},
        RefusedUrlRow{"WildcardInThePrefix", "mqtt://h/a/#", "--mqtt: prefix 'a/#'"},
        // Topics the library or the broker would drop without a word.
        RefusedUrlRow{"TabInThePrefix", "mqtt://h/tab\tx",
                      "--mqtt: prefix 'tab\\x09x' has U+0009, a control character"},
        RefusedUrlRow{"C1ControlInThePrefix", "mqtt://h/a\xC2\x9B",
                      "prefix 'a\\xC2\\x9B' has U+009B, a control character"},
        RefusedUrlRow{"LastC1ControlInThePrefix", "mqtt://h/a\xC2\x9F", "has U+009F, a control character"},
        RefusedUrlRow{"NoncharacterInThePrefix", "mqtt://h/a\xEF\xBF\xBF",
                      "prefix 'a\xEF\xBF\xBF' has U+FFFF, a noncharacter"},
        RefusedUrlRow{"LastNoncharacterOfTheBlock", "mqtt://h/a\xEF\xB7\xAF", "has U+FDEF, a noncharacter"},
        RefusedUrlRow{"SupplementaryNoncharacter", "mqtt://h/a\xF0\x9F\xBF\xBE", "has U+1FFFE, a noncharacter"},
        RefusedUrlRow{"PrefixNotUtf8", "mqtt://h/a\xFF", "prefix 'a\\xFF' is not UTF-8"},
        RefusedUrlRow{
            "PrefixTooLong", "mqtt://h/" + std::string(65280, 'x'),
            "' has 65280 bytes: topics under it would pass MQTT's limit of 65535 (65279 at most for the prefix)"},
        RefusedUrlRow{"PrefixOfTheBroker", "mqtt://h/$SYS/x",
                      "prefix '$SYS/x' starts with '$', which the broker keeps for itself"},
        RefusedUrlRow{"ControlInTheUser", "mqtt://u\x01@h/p", "the user name has U+0001, a control character"},
        RefusedUrlRow{"ControlInTheHost", "mqtt://h\n/p", "host 'h\\x0A' has U+000A, a control character"},
        RefusedUrlRow{"HostTooLong", "mqtt://" + std::string(254, 'h') + "/p", "' has 254 bytes, more than 253"},
        RefusedUrlRow{"Ipv6WithoutBrackets", "mqtt://::1/x",
                      "'::1' is an IPv6 address without brackets: write '[::1]'"},
        // What is quoted back is short, escaped, and without what comes before an '@'.
        RefusedUrlRow{"SecretBeforeTheAtHidden", "mqtt:/ops:S3cr3t@h/x", "--mqtt: '***@h/x' is not a URL like"},
        RefusedUrlRow{"SecretInTheSchemeHidden", "ops:S3cr3t@mqtt://h/x", "unknown scheme '***@mqtt' (mqtt or mqtts)"},
        RefusedUrlRow{"LongUrlCutShort", "\x1B[2J" + std::string(100, 'y'),
                      "--mqtt: '\\x1B[2J" + std::string(56, 'y') + "...' is not a URL like"}),
    kRowName);

// The password is the file's first line, whatever its line end.
struct PasswordRow {
  const char* name;
  const char* user;
  std::optional<std::string> bytes;  // none: no file
  const char* password;
  const char* error;  // a part of it; empty when read
};

class PasswordFile : public ::testing::TestWithParam<PasswordRow> {};

TEST_P(PasswordFile, GivesItsFirstLineOrWhyNot) {
  const TempFolder dir;
  const std::string path = dir / "password";
  if (GetParam().bytes) std::ofstream(path, std::ios::binary) << *GetParam().bytes;
  std::string password, error;
  const bool read = ReadMqttPassword({false, GetParam().user, "h", 1883, "p"}, path, password, error);
  EXPECT_EQ(read, *GetParam().error == 0) << error;
  EXPECT_EQ(password, GetParam().password);
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

const std::string kLongestPassword(65535, 'x');

INSTANTIATE_TEST_SUITE_P(
    Files, PasswordFile,
    ::testing::Values(PasswordRow{"CrLfEnded", "ops", "secret\r\nsecond\n", "secret", ""},
                      PasswordRow{"Longest", "ops", kLongestPassword + "\n", kLongestPassword.c_str(), ""},
                      PasswordRow{"Empty", "ops", "", "", "' has no password on its first line"},
                      PasswordRow{"EmptyFirstLine", "ops", "\r\nsecret\n", "", "' has no password on its first line"},
                      PasswordRow{"TooLong", "ops", kLongestPassword + "x", "",
                                  "the password (--mqtt-password-file) is longer than 65535 bytes"},
                      PasswordRow{"WithoutUser", "", "secret\n", "", "a password (--mqtt-password-file) needs a user"},
                      PasswordRow{"Missing", "ops", std::nullopt, "", "--mqtt-password-file: cannot read '"}),
    kRowName);

std::string PasswordError(const std::string& path) {
  std::string password, error;
  EXPECT_FALSE(ReadMqttPassword({false, "ops", "h", 1883, "p"}, path, password, error));
  return error;
}

TEST(PasswordFile, EndlessDeviceIsRefused) {
  EXPECT_EQ(PasswordError("/dev/zero"), "--mqtt-password-file: '/dev/zero' is not a regular file");
}

TEST(PasswordFile, FifoThatNeverAnswersIsRefused) {
  const TempFolder dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  // Not "fifo'": a long temporary folder has the quoted path cut short.
  EXPECT_NE(PasswordError(dir / "fifo").find("' is not a regular file"), std::string::npos);
}

TEST(PasswordFile, FolderIsRefused) {
  const TempFolder dir;
  EXPECT_NE(PasswordError(dir / ".").find("' is not a regular file"), std::string::npos);
}

TEST(MqttPayloads, DiscoveryTopicsFitUnderTheLongestPrefix) {
  for (const MqttMessage& config : DiscoveryConfigs(std::string(65279, 'p'), 0)) {
    EXPECT_LE(config.topic.size(), 65535u) << config.topic.substr(65279);
  }
}

struct TextRow {
  const char* name;
  const char* text;
  const char* terminal;
};

class TerminalTextOf : public ::testing::TestWithParam<TextRow> {};

TEST_P(TerminalTextOf, IsUtf8) { EXPECT_EQ(TerminalText(GetParam().text), GetParam().terminal); }

INSTANTIATE_TEST_SUITE_P(
    Texts, TerminalTextOf,
    ::testing::Values(TextRow{"DegreeSignOfTheCore", "  3 \260C", "  3 \302\260C"},
                      TextRow{"UmlautOfThePump", "Fehler \326ffnen: x", "Fehler \303\226ffnen: x"},
                      TextRow{"EuroUnusedAndYUmlaut", "\x80\x81\x9F", "\xE2\x82\xAC\xC2\x81\xC5\xB8"},
                      // A path the user typed in UTF-8 stays as it is.
                      TextRow{"Utf8PathKept", "' /tmp/m\xC3\xBCll.log '", "' /tmp/m\xC3\xBCll.log '"},
                      TextRow{"Utf8AtTheEndKept", "a \xC3\xBC", "a \xC3\xBC"},
                      TextRow{"LowestThreeByteFormKept", "\xE0\xA0\x80 \xE2\x80\x99", "\xE0\xA0\x80 \xE2\x80\x99"},
                      TextRow{"FourByteFormKept", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
                      // Anything not well-formed UTF-8 is taken as Windows-1252 as a whole.
                      TextRow{"MixedIsWindows1252", "\xC3\xBC \xB0", "\xC3\x83\xC2\xBC \xC2\xB0"},
                      TextRow{"CutShortAtTheEnd", "a \xC3", "a \xC3\x83"},
                      TextRow{"Overlong", "\xE0\x80\x80", "\xC3\xA0\xE2\x82\xAC\xE2\x82\xAC"},
                      TextRow{"Surrogate", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
                      TextRow{"PastTheLastCodePoint", "\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"}),
    kRowName);

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

TEST(PortList, NoneInJsonIsAnEmptyArray) { EXPECT_EQ(PortListLines({}, true), Args{"[]"}); }

TEST(ConsoleOutput, ProgressLineIsDrawnAgainBelowAMessage) {
  std::ostringstream out, err;
  Console console(out, err, true);
  console.Progress("Reading");
  console.Err("I> message");
  EXPECT_EQ(err.str(), "Reading\r\x1B[KI> message\nReading");
}

TEST(ConsoleOutput, ProgressTextCountsTheDoneOfTheTotal) {
  EXPECT_EQ(ProgressText("Reading parameters", 5, 20), "Reading parameters  5/20 [#####---------------]");
}

constexpr auto kRead = ReadState::kRead;

struct ValueRow {
  const char* name;
  Field field;
  FieldValue value;
  const char* json;
};

class ValueJsonTest : public ::testing::TestWithParam<ValueRow> {};

TEST_P(ValueJsonTest, IsTheValueOfItsKind) {
  EXPECT_EQ(ValueJson(GetParam().field, GetParam().value), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ValueJsonTest,
    ::testing::Values(
        ValueRow{"NotReadIsNull", Field::kOpHours, {1234, 0, ReadState::kNotRead}, "null"},
        ValueRow{"FailedIsNull", Field::kHeatingRelay, {1, 0, ReadState::kFailed}, "null"},
        ValueRow{"TemperatureInTheScaleItWasReadIn", Field::kOutdoorTemp, {5600, 1, kRead}, "-3.9"},
        ValueRow{"WholeDegreeParameterKeepsItsTenths", Field::kHighTempLimit, {6050, 0, kRead}, "2.5"},
        ValueRow{"TemperatureMarkerIsNull", Field::kSlabTemp, {0x7FFE, 0, kRead}, "null"},
        ValueRow{"TemperatureBelowTheMarkersIsNull", Field::kS2Temp, {0x7F00, 0, kRead}, "null"},
        ValueRow{
            "StateHasUtf8TextAndCode", Field::kS1Type, {0, 0, kRead}, "{\"text\":\"kein F\303\274hler\",\"code\":0}"},
        ValueRow{"UnknownStateKeepsItsCode", Field::kHeatingRelay, {2, 0, kRead}, "{\"text\":\"unknown\",\"code\":2}"},
        ValueRow{"VoltsFromHundredths", Field::kS2Voltage, {5, 0, kRead}, "0.05"},
        ValueRow{"FlagsAreTheirBits", Field::kAdmErrorFlags, {0xA1, 0, kRead}, "161"},
        ValueRow{"MoistureWithoutAReadingIsZero", Field::kS1LastMoisture, {0, 0, kRead}, "0"},
        ValueRow{"VersionIsItsText", Field::kVersion, {0x03100401, 0, kRead}, "\"1.04 B0316\""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(JsonValues, PassKeysAreTheLogColumnsInTheirOrder) {
  std::string keys;
  for (const FieldLabel& label : VariableLabels()) keys += std::string(FieldName(label.field)) + ";";
  EXPECT_EQ(keys,
            "AdmErrFlg;AdmIntStat;HtgState;HtgErrFlg;HtgTempFlg;HtgMoisFlg;HtgSlGuTemp;HtgOutTemp;"
            "HtgRemHtime;HtgOffOn;HtgOpHours;HtgOpHoursXWK;S1State;S1Error;S1Flags;S1SenTemp;S1AmbTemp;S1LastMoist;"
            "S1ItimMois;S1ItimTemp;S1Volt;S1CharVal;S2State;S2Error;S2Flags;S2SenTemp;S2AmbTemp;S2LastMoist;"
            "S2ItimMois;S2ItimTemp;S2Volt;S2CharVal;");
}

TEST(JsonValues, UnitsAreThoseOfTheValuesReadTemperaturesInTheirScale) {
  DisplayFields fields;
  fields.SetRead(Field::kSlabTemp, 6250, 1);
  fields.SetRead(Field::kRemHeatTime, 45);
  fields.SetRead(Field::kS1Voltage, 1215);
  fields.SetRead(Field::kOpHours, 1234);
  fields.SetRead(Field::kHeatingState, 4);
  fields.SetState(Field::kS1Voltage, ReadState::kFailed);
  EXPECT_EQ(UnitsJson(fields, VariableLabels()),
            "{\"HtgSlGuTemp\":\"\302\260F\",\"HtgRemHtime\":\"min\",\"HtgOpHours\":\"h\"}");
}

TEST(JsonValues, MqttStateIsTheTimeTheUnitsAndThePassValues) {
  DisplayFields fields;
  fields.SetRead(Field::kHeatingState, 4);
  fields.SetRead(Field::kSlabTemp, 6250);
  const std::string json = StateJson(fields, 0);
  EXPECT_TRUE(
      json.starts_with("{\"time\":\"1970-01-01T00:00:00Z\",\"units\":{\"HtgSlGuTemp\":\"\302\260C\"},"
                       "\"AdmErrFlg\":null,\"AdmIntStat\":null,\"HtgState\":{\"text\":\"Active\",\"code\":4},"))
      << json;
  EXPECT_NE(json.find(",\"HtgSlGuTemp\":12.5,"), std::string::npos) << json;
  EXPECT_TRUE(json.ends_with(",\"S2Volt\":null,\"S2CharVal\":null}")) << json;
}

TEST(JsonValues, DiscoveryTakesANumberAsItIsAndAStateByItsCode) {
  std::map<std::string, std::string> configs;
  for (const MqttMessage& m : DiscoveryConfigs("site/unit", 1)) configs[m.topic] = m.payload;
  const std::string relay = configs["homeassistant/binary_sensor/gelvar_site_unit/HtgOffOn/config"];
  const std::string slab = configs["homeassistant/sensor/gelvar_site_unit/HtgSlGuTemp/config"];
  EXPECT_NE(relay.find("\"value_template\":\"{{ value_json.HtgOffOn.code }}\""), std::string::npos) << relay;
  EXPECT_NE(slab.find("\"value_template\":\"{{ value_json.HtgSlGuTemp }}\""), std::string::npos) << slab;
  EXPECT_NE(slab.find("\"unit_of_measurement\":\"\302\260F\""), std::string::npos) << slab;
}

TEST(JsonValues, RecordedDataGivesTimingSamplesAndResultsAsNumbers) {
  SensorTestValues values;
  values.Tv = 30;
  values.Ti = 9;
  values.Tm = 5;
  values.dataSetTotal = 2;
  values.Uv[0] = 12.15f;
  values.Us[0] = 3.5f;
  values.Ts[0] = -1.25f;
  values.Rm = 100.0f;
  EXPECT_EQ(RecordedDataJson(values, 1, 0),
            "{\"timing\":{\"Tv\":30,\"Ti\":9,\"Tm\":5,\"N\":2},"
            "\"samples\":[{\"t\":5,\"Uv\":12.15,\"Us\":3.50,\"Ts\":-1.25}],"
            "\"results\":{\"Uo\":0.000,\"Uso\":0.000,\"To\":0.000,\"Rm\":100.000,\"Rs\":0.000},"
            "\"units\":{\"t\":\"s\",\"Uv\":\"V\",\"Us\":\"V\",\"Ts\":\"\302\260C\",\"Uo\":\"V\",\"Uso\":\"V\","
            "\"To\":\"\302\260C\",\"Tv\":\"s\",\"Ti\":\"s\",\"Tm\":\"s\",\"Rm\":\"Ohm\",\"Rs\":\"Ohm\","
            "\"tK\":\"s\",\"Rsh\":\"Ohm\"}}");
}

TEST(JsonValues, RecordedDataOfTypeTwoHasNoTvAndItsOwnResults) {
  SensorTestValues values;
  values.Tv = 30;
  values.Ti = 9;
  values.Tm = 5;
  values.dERdt = -0.125f;
  values.tK = 1.5f;
  values.Kf = 2.25f;
  values.Rm = 100.0f;
  const std::string json = RecordedDataJson(values, 0, 1);
  EXPECT_TRUE(
      json.starts_with("{\"timing\":{\"Ti\":9,\"Tm\":5,\"N\":0},\"samples\":[],"
                       "\"results\":{\"Uo\":0.000,\"Uso\":0.000,\"To\":0.000,\"dERdt\":-0.125,"
                       "\"tK\":1.500,\"fx\":0.000,\"K\":2.250,\"Rsh\":100.000},"))
      << json;
}

TEST(JsonValues, ErrorHoldsTheStatusAndEachMessageLine) {
  EXPECT_EQ(ErrorJson(3, {"Error 1: Error open COM1:\n  \"x\"", "I> COM Port Lost"}),
            "{\"status\":3,\"messages\":[\"Error 1: Error open COM1:\",\"  \\\"x\\\"\",\"I> COM Port Lost\"]}");
}

TEST(JsonValues, SensorLinesGiveTheirNumbersWithUnits) {
  SensorLineNumbers numbers;
  for (const char* line :
       {"Record sensor 2 started!", "Sensor 2 - Uv:  1.25 V,  Rs:   42 Ohm", "Sensor 2 - Uv: -0.50 V,  Rs: 1234 Ohm",
        "Temperature sensor 2: -12.5 \xC2\xB0"
        "C"}) {
    numbers.Take(line);
  }
  JsonObject object;
  numbers.AddTo(object);
  EXPECT_EQ(object.Text(),
            "{\"temperature\":-12.5,\"cycle\":[{\"Uv\":1.25,\"Rs\":42},{\"Uv\":-0.50,\"Rs\":1234}],"
            "\"units\":{\"temperature\":\"\xC2\xB0"
            "C\",\"Uv\":\"V\",\"Rs\":\"Ohm\"}}");
}

// One run of the command line (words split at spaces); meanwhile(second) runs before each simulated
// second and may raise a stop signal. A run without meanwhile has no signal source at all.
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
  }
  std::string File(const std::string& name) const {
    const auto file = files.files.find((std::filesystem::current_path() / name).string());
    return file == files.files.end() ? "(none)" : file->second;
  }

  VirtualScheduler scheduler;
  unitsim::UnitModel unit;
  unitsim::SimulatedLine line{unit, [this] { return scheduler.NowMs(); }};
  MemoryFiles files;
  std::ostringstream out, err;
  Console console{out, err, true};
  int signal = 0, status = -1;
};

std::string FullPath(const std::string& name) { return (std::filesystem::current_path() / name).string(); }

const VirtualCli::Meanwhile kSilent = [](VirtualCli& cli, int) { cli.unit.Faults().silent = true; };
const VirtualCli::Meanwhile kRefusing = [](VirtualCli& cli, int) { cli.unit.Faults().refuseCommands = true; };
const VirtualCli::Meanwhile kUnplugged = [](VirtualCli& cli, int) { cli.line.Unplug(); };
const VirtualCli::Meanwhile kSignalled = [](VirtualCli& cli, int) { cli.signal = SIGTERM; };
const VirtualCli::Meanwhile kFahrenheit = [](VirtualCli& cli, int) { cli.unit.SetObject(0x3003, {0x10, 0x00}); };
const VirtualCli::Meanwhile kUnwritable = [](VirtualCli& cli, int) { cli.files.unwritable.insert(FullPath("r.par")); };
// The log's file goes read-only once its header is written.
const VirtualCli::Meanwhile kLogLost = [](VirtualCli& cli, int second) {
  if (second == 1) cli.files.unwritable.insert(FullPath("u.log"));
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

struct RunRow {
  const char* name;
  const char* args;
  VirtualCli::Meanwhile meanwhile;
  int status;
  std::string outPart, errPart;
};

class ProgramRun : public ::testing::TestWithParam<RunRow> {};

TEST_P(ProgramRun, EndsWithItsStatusAndPrintsItsLines) {
  const VirtualCli cli(GetParam().args, GetParam().meanwhile);
  EXPECT_EQ(cli.status, GetParam().status) << cli.err.str();
  EXPECT_NE(cli.out.str().find(GetParam().outPart), std::string::npos) << cli.out.str();
  EXPECT_NE(cli.err.str().find(GetParam().errPart), std::string::npos) << cli.err.str();
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ProgramRun,
    ::testing::Values(
        RunRow{"TestAccepted", "test", nullptr, kExitDone, "result: accepted\n",
               "I> COM Port Opened\nI> Communication OK\n"},
        RunRow{"TestInJson", "--json test", nullptr, kExitDone, "{\"command\":\"test\",\"result\":\"accepted\"}\n", ""},
        RunRow{"TestWithoutReply", "test", kSilent, kExitUnit, "result: no reply\n",
               "I> COM Port Opened\nE> No reply from detector unit\n"},
        RunRow{"StartMinHeat", "command start-min-heat", nullptr, kExitDone, "result: accepted\n",
               "I> Minimum Heat Time started"},
        RunRow{"StopMinHeatInJson", "--json command stop-min-heat", nullptr, kExitDone,
               "{\"command\":\"command stop-min-heat\",", "I> Minimum Heat Time stopped"},
        RunRow{"ReadVariablesPasses", "read-variables --passes 2", nullptr, kExitDone, "\npass: 2\n",
               "I> Reading variables stopped\n"},
        RunRow{"ReadVariablesInFahrenheit", "read-variables", kFahrenheit, kExitDone, "\302\260F", ""},
        RunRow{"ReadVariablesThroughALoss", "read-variables --passes 3", kLostAWhile, kExitDone, "pass: 3",
               "E> COM Port Lost\nI> COM Port Reopened\n"},
        RunRow{"LogRecords", "log --file u.log --records 1", nullptr, kExitDone, "records: 1\nunwritten records: 0\n",
               "Logging: 1 record"},
        RunRow{"LogUntilSignalled", "log --file u.log", kSignalAt30, kExitDone, "file: ", "I> Log stored in file ' "},
        RunRow{"LogFileLost", "log --file u.log --records 1", kLogLost, kExitFile, "unwritten records: 1\n",
               "could not be written to "},
        RunRow{"WatchUntilSignalled", "watch --mqtt mqtt://h/p", kSignalAt30, kExitDone, "",
               "I> Reading variables started\n"},
        RunRow{"ReportUnwritable", "read-parameters --report r.par", kUnwritable, kExitFile, "", "cannot write "},
        RunRow{"CycleCountsDown", "--yes sensor-test start-cycle 1 --ta 1", nullptr, kExitDone,
               "Uv: 12.15 V,  Rs: 2350 Ohm\nRecording sensor 1 completed!\n", "waiting: 1 s left\n"},
        RunRow{"CycleCountsDownInFives", "--json --yes sensor-test start-cycle 2 --ta 25", nullptr, kExitDone,
               "\"lines\":[\"Record sensor 2 started!\"", "waiting: 25 s left\nwaiting: 20 s left\n"},
        RunRow{"SensorTemperature", "--json --yes sensor-test temperature 2", nullptr, kExitDone,
               "\"lines\":[\"Temperature sensor 2:", ""},
        RunRow{"SensorTemperatureWithoutReply", "--yes sensor-test temperature 1", kSilent, kExitUnit, "",
               "gelvar-cli: Error at sensor temperature\n"},
        RunRow{"CycleRefused", "--yes sensor-test start-cycle 2", kRefusing, kExitUnit, "Error 3 start sensor 2 !\n",
               ""},
        // More samples than the unit keeps: the progress counts to the sets read.
        RunRow{"ReadRecordedCountsTheSetsRead", "--yes sensor-test read-recorded --type II --report s.dat", kManySets,
               kExitDone, "report: ", "256/256 ["}),
    kRowName);

TEST(ProgramStatus, PortThatIsGoneEndsWithThePortStatus) {
  EXPECT_EQ(VirtualCli("test", kUnplugged).status, kExitPort);
}

TEST(ProgramStatus, StopSignalEndsWithItsNumberAbove128) { EXPECT_EQ(VirtualCli("test", kSignalled).status, 143); }

TEST(ProgramOutput, ParametersArePrintedInWindowOrder) {
  const VirtualCli cli("read-parameters");
  EXPECT_TRUE(
      cli.out.str().starts_with("Mode System: On\nLanguage: EN\nTemp. Unit: \302\260C\nVersion/Build: 1.04 B0316\n"))
      << cli.out.str();
}

TEST(ProgramOutput, ReportPathIsPrintedLast) {
  const VirtualCli cli("read-parameters --report r.par");
  EXPECT_TRUE(cli.out.str().ends_with("\nreport: " + FullPath("r.par") + "\n")) << cli.out.str();
}

TEST(ProgramOutput, ParameterReportIsWritten) {
  const std::string report = VirtualCli("read-parameters --report r.par").File("r.par");
  EXPECT_NE(report.find("\r\nMonitor V1.0\r\n\r\nAdministration:\r\n Mode System:            On\r\n"),
            std::string::npos)
      << report;
}

TEST(ProgramOutput, LogHeaderIsInTheUnitsTemperatureScale) {
  const std::string log = VirtualCli("log --file u.log --records 1", kFahrenheit).File("u.log");
  EXPECT_NE(log.find(", Temperature Unit: \xB0"
                     "F\r\nSet#;Date;Time;AdmErrFlg;AdmIntStat;"),
            std::string::npos)
      << log;
}

TEST(ProgramOutput, LogHoldsTheRecord) {
  const std::string log = VirtualCli("log --file u.log --records 1").File("u.log");
  EXPECT_NE(log.find("\r\n00001; "), std::string::npos) << log;
}

TEST(ProgramOutput, RecordedReportIsWritten) {
  const VirtualCli cli("--yes sensor-test read-recorded --type II --report s.dat", kManySets);
  EXPECT_TRUE(
      cli.File("s.dat").starts_with("t[s]; Uv[V]; Ush[V];  Ts[\xB0"
                                    "C]; Rs[Ohm]\r\n   1; 12,80;   5,12; "))
      << cli.File("s.dat");
}

TEST(ProgramOutput, ProgressCountsTheParametersRead) {
  EXPECT_NE(VirtualCli("read-parameters").err.str().find("Reading parameters  18/18 [####################]"),
            std::string::npos);
}

TEST(ProgramOutput, MessageLinesComeOnce) {
  const VirtualCli cli("read-variables --passes 3", kLostAWhile);
  const std::string err = cli.err.str();
  EXPECT_EQ(err.find("E> COM Port Lost\n"), err.rfind("E> COM Port Lost\n")) << err;
}

}  // namespace
}  // namespace gelvar::testing
