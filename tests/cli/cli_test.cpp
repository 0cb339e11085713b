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
#include <tuple>

#include "cli/cli_options.h"
#include "cli/console_program.h"
#include "cli/console_text.h"
#include "cli/field_table.h"
#include "cli/json_values.h"
#include "cli/mqtt_payloads.h"
#include "cli/port_list.h"
#include "core/common/temp_folder.h"
#include "core/monitor/parameter_report.h"
#include "core/monitor/variable_log.h"
#include "support/monitor_fakes.h"
#include "support/virtual_scheduler.h"
#include "unitsim/simulated_line.h"

namespace gelvar::testing {
namespace {

using Args = std::vector<std::string>;

CliOptions Parsed(const Args& args) {
  CliOptions options;
  std::string error;
  EXPECT_TRUE(ParseCliOptions(args, options, error)) << error;
  return options;
}

auto Parts(const MqttTarget& t) { return std::make_tuple(t.tls, t.user, t.host, t.port, t.prefix); }

TEST(CliOptions, GlobalOptionsGoAnywhereCommandsTakeTheirOwnAndThePasswordIsItsFilesFirstLine) {
  const CliOptions log =
      Parsed({"log", "--json", "--file=x.log", "--com", "7", "--interval", "2", "--for", "1d12h30m45s"});
  EXPECT_EQ(std::tie(log.command, log.json, log.comPort, log.logFile, log.logMinutes, log.forSeconds),
            std::make_tuple(CliCommand::kLog, true, 7, std::string("x.log"), 2, 36 * 3600 + 30 * 60 + 45));

  const CliOptions cycle = Parsed({"sensor-test", "start-cycle", "2", "--ta", "1000", "--yes"});
  EXPECT_EQ(std::tie(cycle.command, cycle.sensor, cycle.ta), std::make_tuple(CliCommand::kSensorStartCycle, 1, 1000));
  EXPECT_EQ(Parsed({"command", "stop-min-heat"}).deviceCommand, DeviceCommand::kStopMinHeatTime);
  EXPECT_EQ(Parsed({"ports", "--device=/dev/ttyUSB0"}).device, "/dev/ttyUSB0");
  EXPECT_TRUE(Parsed({"read-variables", "--passes", "x", "-h"}).help);

  const std::pair<const char*, MqttTarget> urls[] = {
      {"mqtt://h", {false, "", "h", 1883, "gelvar"}},
      {"mqtts://ops@broker.example/site-42/unit", {true, "ops", "broker.example", 8883, "site-42/unit"}},
      {"mqtt://[::1]:1/p", {false, "", "::1", 1, "p"}},
      {"mqtt://h/m\xC3\xBCll/\xE2\x82\xAC", {false, "", "h", 1883, "m\xC3\xBCll/\xE2\x82\xAC"}},
      {"mqtt://h/a$b", {false, "", "h", 1883, "a$b"}},
  };
  for (const auto& [url, target] : urls) EXPECT_EQ(Parts(Parsed({"watch", "--mqtt", url}).mqtt), Parts(target)) << url;

  // The longest prefix leaves room for the longest topic under it.
  const std::string longest(65279, 'p');
  EXPECT_EQ(Parsed({"watch", "--mqtt", "mqtt://h/" + longest}).mqtt.prefix, longest);
  for (const MqttMessage& config : DiscoveryConfigs(longest, 0)) EXPECT_LE(config.topic.size(), 65535u);

  // The password is the file's first line, whatever its line end.
  const TempFolder dir;
  const std::string path = (dir / "password").string();
  const std::string fifo = (dir / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string kLongest(65535, 'x');
  // The user, the file (empty: path), its bytes (none: no file), the password read and a part of the
  // error.
  const std::tuple<std::string, std::string, std::optional<std::string>, std::string, std::string> cases[] = {
      {"ops", "", "secret\r\nsecond\n", "secret", ""},
      {"ops", "", kLongest + "\r\n", kLongest, ""},
      {"ops", "", "", "", "' has no password on its first line"},
      {"ops", "", "\r\nsecret\n", "", "' has no password on its first line"},
      {"ops", "", kLongest + "x", "", "the password (--mqtt-password-file) is longer than 65535 bytes"},
      {"", "", "secret\n", "", "a password (--mqtt-password-file) needs a user"},
      {"ops", "", std::nullopt, "", "--mqtt-password-file: cannot read '"},
      // Endless, or never answering.
      {"ops", "/dev/zero", std::nullopt, "", "--mqtt-password-file: '/dev/zero' is not a regular file"},
      {"ops", fifo, std::nullopt, "", "' is not a regular file"},
      {"ops", (dir / ".").string(), std::nullopt, "", "' is not a regular file"},
  };
  for (const auto& [user, file, bytes, expected, errorPart] : cases) {
    if (bytes) std::ofstream(path, std::ios::binary) << *bytes;
    std::string password, error;
    const bool read = ReadMqttPassword({false, user, "h", 1883, "p"}, file.empty() ? path : file, password, error);
    std::filesystem::remove(path);
    EXPECT_EQ(std::make_pair(read, password), std::make_pair(errorPart.empty(), expected)) << error;
    EXPECT_NE(error.find(errorPart), std::string::npos) << error;
  }
}

TEST(CliOptions, RefusedUsageNamesWhatIsWrong) {
  const std::pair<Args, std::string> cases[] = {
      {{}, "no command given"},
      {{"tset"}, "unknown command 'tset'"},
      {{"test", "now"}, "unexpected argument 'now'"},
      {{"--verbose", "test"}, "unknown option '--verbose'"},
      {{"--com", "256", "test"}, "--com: '256' is not a COM port number from 1 to 255"},
      {{"test", "--com"}, "--com needs a COM port number"},
      {{"log"}, "log needs --file FILE"},
      {{"log", "--file", ""}, "--file: '' is not a file name"},
      {{"log", "--file", "l", "--records", "2", "--for", "1h"}, "not both"},
      {{"log", "--file", "l", "--for", "3651d"}, "--for: '3651d' is not a duration"},
      {{"log", "--file", "l", "--for", "99999999999999999999s"}, "is not a duration"},
      {{"command", "factory-settings"}, "Add --yes to confirm."},
      {{"sensor-test", "temperature", "1"}, "Add --yes to confirm."},
      {{"--yes", "sensor-test", "temperature"}, "needs the sensor number, 1 or 2"},
      {{"--yes", "sensor-test", "temperature", "3"}, "needs the sensor number, 1 or 2"},
      {{"--yes", "sensor-test", "read-recorded"}, "needs --type I or --type II"},
      {{"watch"}, "watch needs --mqtt URL"},
      {{"watch", "--mqtt", "http://h/p"}, "--mqtt: unknown scheme 'http' (mqtt or mqtts)"},
      {{"watch", "--mqtt", "h:1883/p"}, "is not a URL like mqtt://[USER@]HOST[:PORT]/PREFIX"},
      {{"watch", "--mqtt", "mqtt://h:65536/p"}, "port '65536' is not from 1 to 65535"},
      {{"watch", "--mqtt", "mqtt://u:pw@h/p"}, "no password in the URL"},
      // Topics the library or the broker would drop without a word.
      {{"watch", "--mqtt", "mqtt://h/tab\tx"}, "--mqtt: prefix 'tab\\x09x' has U+0009, a control character"},
      {{"watch", "--mqtt", "mqtt://h/a\xC2\x9B"}, "prefix 'a\\xC2\\x9B' has U+009B, a control character"},
      {{"watch", "--mqtt", "mqtt://h/a\xEF\xBF\xBF"}, "prefix 'a\xEF\xBF\xBF' has U+FFFF, a noncharacter"},
      {{"watch", "--mqtt", "mqtt://h/a\xFF"}, "prefix 'a\\xFF' is not UTF-8"},
      {{"watch", "--mqtt", "mqtt://h/" + std::string(65280, 'x')},
       "' has 65280 bytes: topics under it would pass MQTT's limit of 65535 (65279 at most for the prefix)"},
      {{"watch", "--mqtt", "mqtt://h/$SYS/x"}, "prefix '$SYS/x' starts with '$', which the broker keeps for itself"},
      {{"watch", "--mqtt", "mqtt://u\x01@h/p"}, "the user name has U+0001, a control character"},
      {{"watch", "--mqtt", "mqtt://h\n/p"}, "host 'h\\x0A' has U+000A, a control character"},
      {{"watch", "--mqtt", "mqtt://" + std::string(254, 'h') + "/p"}, "' has 254 bytes, more than 253"},
      {{"watch", "--mqtt", "mqtt://::1/x"}, "'::1' is an IPv6 address without brackets: write '[::1]'"},
      // What is quoted back is short, escaped, and without what comes before an '@'.
      {{"watch", "--mqtt", "mqtt:/ops:S3cr3t@h/x"}, "--mqtt: '***@h/x' is not a URL like"},
      {{"watch", "--mqtt", "ops:S3cr3t@mqtt://h/x"}, "unknown scheme '***@mqtt' (mqtt or mqtts)"},
      {{"watch", "--mqtt", "\x1B[2J" + std::string(100, 'y')},
       "--mqtt: '\\x1B[2J" + std::string(56, 'y') + "...' is not a URL like"},
  };
  for (const auto& [args, message] : cases) {
    CliOptions options;
    std::string error;
    EXPECT_FALSE(ParseCliOptions(args, options, error)) << message;
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_LT(error.size(), 200u) << error;
    EXPECT_EQ(error.find("S3cr3t"), std::string::npos) << error;
  }
}

TEST(ConsoleText, TerminalIsUtf8FromWindows1252UnlessAlreadyUtf8AndJsonIsEscapedWithNullForNoValue) {
  const std::pair<std::string, std::string> cases[] = {
      {"  3 \260C", "  3 \302\260C"},                      // the core's degree sign
      {"Fehler \326ffnen: x", "Fehler \303\226ffnen: x"},  // the pump's message
      {"\x80\x81\x9F", "\xE2\x82\xAC\xC2\x81\xC5\xB8"},    // euro, free code, Y umlaut
      // A path the user typed in UTF-8 stays as it is.
      {"' /tmp/m\xC3\xBCll.log '", "' /tmp/m\xC3\xBCll.log '"},
      {"\xE0\xA0\x80 \xE2\x80\x99", "\xE0\xA0\x80 \xE2\x80\x99"},  // the lowest three-byte form, a quote
      // Anything not well-formed UTF-8 is taken as Windows-1252 as a whole.
      {"\xC3\xBC \xB0", "\xC3\x83\xC2\xBC \xC2\xB0"},
      {"\xE0\x80\x80", "\xC3\xA0\xE2\x82\xAC\xE2\x82\xAC"},  // overlong
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},      // surrogate
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},
  };
  for (const auto& [in, terminal] : cases) EXPECT_EQ(TerminalText(in), terminal) << in;

  // For scripts: JSON escapes what it must, and the ports are one JSON array (each a line otherwise).
  EXPECT_EQ(JsonString("a\"b\\c\r\n\t\x01\xC2\xB0"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\xC2\xB0\"");

  const std::vector<SerialDeviceEntry> ports = {{"/dev/ttyACM0", "Uno \"R3\""}, {"/dev/ttyS0", "built-in"}};
  EXPECT_EQ(PortListLines(ports, false),
            (std::vector<std::string>{"/dev/ttyACM0  Uno \"R3\"", "/dev/ttyS0  built-in"}));
  EXPECT_EQ(PortListLines(ports, true),
            std::vector<std::string>{"[{\"path\":\"/dev/ttyACM0\",\"description\":\"Uno \\\"R3\\\"\"},"
                                     "{\"path\":\"/dev/ttyS0\",\"description\":\"built-in\"}]"});
  EXPECT_EQ(PortListLines({}, true), std::vector<std::string>{"[]"});
}

constexpr auto kRead = ReadState::kRead;

struct ValueRow {
  const char* name;
  Field field;
  FieldValue value;
  const char* json;
};

void PrintTo(const ValueRow& row, std::ostream* out) { *out << row.name; }

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

// One run of the command line args (words split at spaces); meanwhile(second) runs before each
// simulated second and may raise a stop signal. A run without meanwhile has no signal source at all.
struct VirtualCli {
  using Meanwhile = std::function<void(VirtualCli&, int)>;

  explicit VirtualCli(const std::string& args, const Meanwhile& meanwhile = nullptr) {
    std::istringstream words(args);
    ConsoleProgram program(Parsed({std::istream_iterator<std::string>(words), {}}), scheduler, line, files, console,
                           meanwhile ? std::function<int()>([this] { return signal; }) : nullptr);
    program.Start({});
    for (int second = 0; second < 600 && !program.Finished(); ++second) {
      if (meanwhile) meanwhile(*this, second);
      scheduler.RunUntil([&] { return program.Finished(); }, 1000);
    }
    status = program.Finished() ? program.ExitStatus() : -1;
    fields = program.Core().Fields();
  }

  VirtualScheduler scheduler;
  unitsim::UnitModel unit;
  unitsim::SimulatedLine line{unit, [this] { return scheduler.NowMs(); }};
  MemoryFiles files;
  std::ostringstream out, err;
  Console console{out, err, true};
  int signal = 0, status = -1;
  DisplayFields fields;
};

std::string FullPath(const std::string& name) { return (std::filesystem::current_path() / name).string(); }

const VirtualCli::Meanwhile kSilent = [](VirtualCli& cli, int) { cli.unit.Faults().silent = true; };
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

TEST(ConsoleProgram, PrintsWritesAndEndsAsEachCommandDid) {
  // Values go to standard output in window order, the report is the core's.
  const VirtualCli report("read-parameters --report r.par");
  std::string lines;
  for (const std::string& line : FieldLines(report.fields, ParameterLabels())) lines += line + "\n";
  EXPECT_EQ(report.out.str(), lines + "report: " + FullPath("r.par") + "\n");
  EXPECT_EQ(report.files.files.at(FullPath("r.par")), ParameterReport(report.fields, report.scheduler.CalendarTime()));
  const std::string progress = ProgressText("Reading parameters", kParameterCount, kParameterCount);
  EXPECT_NE(report.err.str().find(progress), std::string::npos);

  const std::string logged = "file: " + FullPath("u.log") + "\nrecords: 1\nunwritten records: 0\n";
  const char* kStopped = "I> Reading variables stopped\n";
  // The log's file is the core's: its header in the unit's temperature unit, then the record.
  const std::string kFahrenheitLog = LogHeader(VirtualScheduler().CalendarTime(), 1) + "00001; ";
  const struct {
    std::string args;
    VirtualCli::Meanwhile meanwhile;
    int status;
    std::string outPart, errPart;
    std::string file = "", fileStart = "";  // written at its full path, starting with fileStart
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
      {"log --file u.log --records 1", kFahrenheit, kExitDone, logged, kStopped, "u.log", kFahrenheitLog},
      {"log --file u.log", kSignalAt30, kExitDone, logged, "I> Log stored in file ' " + FullPath("u.log")},
      {"log --file u.log --records 1", kLogLost, kExitFile, "unwritten records: 1\n", "could not be written to "},
      {"watch --mqtt mqtt://h/p", kSignalAt30, kExitDone, "", "I> Reading variables started\n"},
      {"read-parameters --report r.par", kUnwritable, kExitFile, "", "cannot write " + FullPath("r.par")},
      {"read-variables --passes 3", kLostAWhile, kExitDone, "pass: 3", "E> COM Port Lost\nI> COM Port Reopened\n"},
      {"--yes sensor-test start-cycle 1 --ta 1", nullptr, kExitDone,
       "Uv: 12.15 V,  Rs: 2350 Ohm\nRecording sensor 1 completed!\n", "waiting: 1 s left\n"},
      {"--json --yes sensor-test start-cycle 2 --ta 25", nullptr, kExitDone, "\"lines\":[\"Record sensor 2 started!\"",
       "waiting: 25 s left\nwaiting: 20 s left\n"},
      {"--json --yes sensor-test temperature 2", nullptr, kExitDone, "\"lines\":[\"Temperature sensor 2:", ""},
      {"--yes sensor-test temperature 1", kSilent, kExitUnit, "", ""},
      {"--yes sensor-test start-cycle 2", [](VirtualCli& cli, int) { cli.unit.Faults().refuseCommands = true; },
       kExitUnit, "Error 3 start sensor 2 !\n", ""},
      // More samples than the unit keeps: the progress counts to the sets read.
      {"--yes sensor-test read-recorded --type II --report s.dat", kManySets, kExitDone, "report: " + FullPath("s.dat"),
       "256/256 [", "s.dat", "t[s]; Uv[V];"},
  };
  for (const auto& c : cases) {
    const VirtualCli cli(c.args, c.meanwhile);
    SCOPED_TRACE(c.args);
    EXPECT_EQ(cli.status, c.status) << cli.err.str();
    // Lines come once; the progress line is drawn again below each message line.
    for (const auto& [text, part] : {std::pair{cli.out.str(), c.outPart}, std::pair{cli.err.str(), c.errPart}}) {
      const std::size_t at = text.find(part);
      EXPECT_NE(at, std::string::npos) << text;
      EXPECT_TRUE(!part.ends_with('\n') || text.find(part, at + 1) == std::string::npos) << "twice: " << text;
    }
    EXPECT_TRUE(c.file.empty() || cli.files.files.at(FullPath(c.file)).starts_with(c.fileStart));
  }
}

}  // namespace
}  // namespace gelvar::testing
