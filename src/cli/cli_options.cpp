#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <string_view>

namespace gelvar {
namespace {

constexpr long long kLongestRunSeconds = 3650LL * 24 * 3600;  // ten years: no counter overflows
constexpr int kMostPasses = 1'000'000'000;
constexpr int kMostRecords = 99'999;  // the log's set number has five digits

template <typename T>
bool NumberIn(std::string_view text, T low, T high, T& value) {
  T parsed{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return false;
  if (parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool FileName(std::string_view text, std::string& path) {
  if (text.empty()) return false;
  path = text;
  return true;
}

struct OptionSpec {
  const char* name;
  const char* valueMeaning;  // nullptr for a flag
  bool (*apply)(std::string_view value, CliOptions& options);
};

// The global options come first, then those that belong to a command. --help is taken before.
constexpr std::size_t kGlobalOptions = 4;
const OptionSpec kOptions[] = {
    {"--yes", nullptr, [](std::string_view, CliOptions& o) { return o.yes = true; }},
    {"--json", nullptr, [](std::string_view, CliOptions& o) { return o.json = true; }},
    {"--com", "a COM port number from 1 to 255",
     [](std::string_view v, CliOptions& o) { return NumberIn(v, 1, 255, o.comPort); }},
    {"--device", "a device path", [](std::string_view v, CliOptions& o) { return FileName(v, o.device); }},
    {"--report", "a file name", [](std::string_view v, CliOptions& o) { return FileName(v, o.reportFile); }},
    {"--file", "a file name", [](std::string_view v, CliOptions& o) { return FileName(v, o.logFile); }},
    {"--passes", "a number of passes from 1",
     [](std::string_view v, CliOptions& o) { return NumberIn(v, 1, kMostPasses, o.passes); }},
    {"--interval", "minutes from 1 to 60",
     [](std::string_view v, CliOptions& o) { return NumberIn(v, 1, 60, o.logMinutes); }},
    {"--records", "a number of records from 1 to 99999",
     [](std::string_view v, CliOptions& o) { return NumberIn(v, 1, kMostRecords, o.records); }},
    {"--for", "a duration such as 7d, 36h, 90m or 1d12h",
     [](std::string_view v, CliOptions& o) { return ParseDuration(std::string(v), o.forSeconds); }},
    {"--ta", "seconds from 1 to 1000", [](std::string_view v, CliOptions& o) { return NumberIn(v, 1, 1000, o.ta); }},
    {"--type", "I or II",
     [](std::string_view v, CliOptions& o) {
       if (v != "I" && v != "II") return false;
       o.sensorType = v == "I" ? 0 : 1;
       return true;
     }},
    {"--mqtt", "a broker URL", [](std::string_view v, CliOptions& o) { return FileName(v, o.mqttUrl); }},
    {"--mqtt-password-file", "a file name",
     [](std::string_view v, CliOptions& o) { return FileName(v, o.mqttPasswordFile); }},
    {"--mqtt-cafile", "a file name", [](std::string_view v, CliOptions& o) { return FileName(v, o.mqttCaFile); }},
    {"--ha-discovery", nullptr, [](std::string_view, CliOptions& o) { return o.haDiscovery = true; }},
};

const OptionSpec* FindOption(std::string_view name) {
  const auto* found =
      std::find_if(std::begin(kOptions), std::end(kOptions), [&](const OptionSpec& o) { return name == o.name; });
  return found == std::end(kOptions) ? nullptr : found;
}

bool IsGlobal(const OptionSpec* option) {
  return static_cast<std::size_t>(option - std::begin(kOptions)) < kGlobalOptions;
}

struct CommandEntry {
  const char* word;
  const char* subcommand;  // or nullptr
  CliCommand command;
  DeviceCommand deviceCommand;
  bool takesSensor;
  std::vector<std::string_view> options;
  const char* confirmation;  // why --yes is needed, or nullptr
};

constexpr const char* kFactoryConfirmation = "resets every parameter of the unit to its default value";
constexpr const char* kSensorTestConfirmation =
    "runs the sensor test monitor, which is meant for experienced engineers only";

const std::vector<CommandEntry>& Commands() {
  static const std::vector<CommandEntry> kCommands = {
      {"ports", nullptr, CliCommand::kListPorts, {}, false, {}, nullptr},
      {"test", nullptr, CliCommand::kTest, {}, false, {}, nullptr},
      {"read-parameters", nullptr, CliCommand::kReadParameters, {}, false, {"--report"}, nullptr},
      {"read-variables", nullptr, CliCommand::kReadVariables, {}, false, {"--passes"}, nullptr},
      {"log",
       nullptr,
       CliCommand::kLog,
       {},
       false,
       {"--file", "--interval", "--records", "--for", "--mqtt", "--mqtt-password-file", "--mqtt-cafile",
        "--ha-discovery"},
       nullptr},
      {"watch",
       nullptr,
       CliCommand::kWatch,
       {},
       false,
       {"--mqtt", "--mqtt-password-file", "--mqtt-cafile", "--ha-discovery"},
       nullptr},
      {"command", "start-min-heat", CliCommand::kDeviceCommand, DeviceCommand::kStartMinHeatTime, false, {}, nullptr},
      {"command", "stop-min-heat", CliCommand::kDeviceCommand, DeviceCommand::kStopMinHeatTime, false, {}, nullptr},
      {"command", "cycle-sensor1", CliCommand::kDeviceCommand, DeviceCommand::kStartCycleSensor1, false, {}, nullptr},
      {"command", "cycle-sensor2", CliCommand::kDeviceCommand, DeviceCommand::kStartCycleSensor2, false, {}, nullptr},
      {"command",
       "factory-settings",
       CliCommand::kDeviceCommand,
       DeviceCommand::kFactorySettings,
       false,
       {},
       kFactoryConfirmation},
      {"sensor-test", "temperature", CliCommand::kSensorTemperature, {}, true, {}, kSensorTestConfirmation},
      {"sensor-test", "start-cycle", CliCommand::kSensorStartCycle, {}, true, {"--ta"}, kSensorTestConfirmation},
      {"sensor-test",
       "read-recorded",
       CliCommand::kSensorReadRecorded,
       {},
       false,
       {"--type", "--report"},
       kSensorTestConfirmation},
  };
  return kCommands;
}

// The subcommands of word, for messages: "a | b | c".
std::string SubcommandsOf(std::string_view word) {
  std::string list;
  for (const CommandEntry& entry : Commands()) {
    if (word == entry.word) list += (list.empty() ? "" : " | ") + std::string(entry.subcommand);
  }
  return list;
}

bool Fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

// The command named by the operands; the operands it used are removed.
const CommandEntry* FindCommand(std::vector<std::string>& operands, std::string& error) {
  if (operands.empty()) {
    Fail(error, "no command given");
    return nullptr;
  }
  const std::string word = operands.front();
  const auto isWord = [&](const CommandEntry& entry) { return word == entry.word; };
  if (std::none_of(Commands().begin(), Commands().end(), isWord)) {
    Fail(error, "unknown command '" + word + "'");
    return nullptr;
  }
  operands.erase(operands.begin());
  for (const CommandEntry& entry : Commands()) {
    if (!isWord(entry)) continue;
    if (entry.subcommand == nullptr) return &entry;
    if (!operands.empty() && operands.front() == entry.subcommand) {
      operands.erase(operands.begin());
      return &entry;
    }
  }
  Fail(error, "'" + word + "' needs one of: " + SubcommandsOf(word));
  return nullptr;
}

bool TakeSensor(const CommandEntry& entry, std::vector<std::string>& operands, CliOptions& options,
                std::string& error) {
  if (!entry.takesSensor) return true;
  int sensor = 0;
  if (operands.empty() || !NumberIn(std::string_view(operands.front()), 1, 2, sensor)) {
    return Fail(error, options.commandName + " needs the sensor number, 1 or 2");
  }
  options.sensor = sensor - 1;
  operands.erase(operands.begin());
  return true;
}

bool CheckPublishing(const std::set<std::string>& given, CliOptions& options, std::string& error) {
  if (options.mqttUrl.empty()) {
    if (options.command == CliCommand::kWatch) return Fail(error, "watch needs --mqtt URL");
    for (const char* name : {"--mqtt-password-file", "--mqtt-cafile", "--ha-discovery"}) {
      if (given.count(name) != 0) return Fail(error, std::string(name) + " needs --mqtt URL");
    }
    return true;
  }
  std::string why;
  if (!ParseMqttUrl(options.mqttUrl, options.mqtt, why)) return Fail(error, "--mqtt: " + why);
  if (!options.mqttCaFile.empty() && !options.mqtt.tls) return Fail(error, "--mqtt-cafile needs an mqtts:// URL");
  return true;
}

bool CheckCommandOptions(const CommandEntry& entry, const std::set<std::string>& given, CliOptions& options,
                         std::string& error) {
  for (const std::string& name : given) {
    if (std::find(entry.options.begin(), entry.options.end(), name) == entry.options.end()) {
      return Fail(error, name + " does not go with '" + options.commandName + "'");
    }
  }
  if (entry.command == CliCommand::kLog) {
    if (options.logFile.empty()) return Fail(error, "log needs --file FILE");
    if (given.count("--records") != 0 && given.count("--for") != 0) {
      return Fail(error, "log takes --records or --for, not both");
    }
  }
  if (entry.command == CliCommand::kSensorReadRecorded && given.count("--type") == 0) {
    return Fail(error, "sensor-test read-recorded needs --type I or --type II");
  }
  if (!CheckPublishing(given, options, error)) return false;
  if (entry.confirmation != nullptr && !options.yes) {
    return Fail(error, "'" + options.commandName + "' " + entry.confirmation +
                           "; the window asks before it does so.\nAdd --yes to confirm.");
  }
  return true;
}

}  // namespace

bool ParseDuration(const std::string& text, long long& seconds) {
  constexpr std::string_view kUnits = "smhd";
  constexpr long long kUnitSeconds[] = {1, 60, 3600, 86400};
  long long total = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    long long count = 0;
    const auto [end, ec] = std::from_chars(text.data() + at, text.data() + text.size(), count);
    if (ec != std::errc{} || end == text.data() + text.size()) return false;
    const std::size_t unit = kUnits.find(*end);
    if (unit == std::string_view::npos || count < 0 || count > kLongestRunSeconds) return false;
    total += count * kUnitSeconds[unit];
    if (total > kLongestRunSeconds) return false;
    at = static_cast<std::size_t>(end - text.data()) + 1;
  }
  if (total <= 0) return false;
  seconds = total;
  return true;
}

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
  // Whoever asks for help gets it, whatever else the line holds.
  if (std::find_if(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; }) !=
      args.end()) {
    options.help = true;
    return true;
  }
  std::vector<std::string> operands;
  std::set<std::string> commandOptions;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    if (!name.starts_with("-") || name == "-") {
      operands.push_back(args[i]);
      continue;
    }
    std::string_view value;
    const bool inlineValue = name.starts_with("--") && name.find('=') != std::string_view::npos;
    if (inlineValue) {
      value = name.substr(name.find('=') + 1);
      name = name.substr(0, name.find('='));
    }
    const OptionSpec* option = FindOption(name);
    if (option == nullptr) return Fail(error, "unknown option '" + std::string(name) + "'");
    if (option->valueMeaning == nullptr && inlineValue)
      return Fail(error, std::string(option->name) + " takes no value");
    if (option->valueMeaning != nullptr && !inlineValue) {
      if (i + 1 == args.size()) return Fail(error, std::string(option->name) + " needs " + option->valueMeaning);
      value = args[++i];
    }
    if (!option->apply(value, options)) {
      return Fail(error, std::string(option->name) + ": '" + std::string(value) + "' is not " + option->valueMeaning);
    }
    if (!IsGlobal(option)) commandOptions.insert(option->name);
  }
  const std::string typed = operands.size() >= 2 ? operands[0] + " " + operands[1] : "";
  const CommandEntry* entry = FindCommand(operands, error);
  if (entry == nullptr) return false;
  options.command = entry->command;
  options.commandName = entry->subcommand == nullptr ? entry->word : typed;
  options.deviceCommand = entry->deviceCommand;
  if (!TakeSensor(*entry, operands, options, error)) return false;
  if (!operands.empty()) return Fail(error, "unexpected argument '" + operands.front() + "'");
  return CheckCommandOptions(*entry, commandOptions, options, error);
}

const char* CliUsage() {
  return "Usage: gelvar-cli [--com N | --device PATH] [--yes] [--json] COMMAND [ARGS]\n"
         "Gelvar Monitor without a window: runs one command against the detector unit on a COM port\n"
         "and ends. The unit sees the same requests, and the report and log files get the same bytes,\n"
         "as from the window program.\n"
         "\n"
         "Commands:\n"
         "  ports                               list the serial devices present, one per line: path,\n"
         "                                      description (with --json: one array)\n"
         "  test                                Test Communication\n"
         "  read-parameters [--report FILE]     read all parameters and print them; with --report,\n"
         "                                      append the parameter report to FILE\n"
         "  read-variables [--passes N]         read the variables N times (default 1) and print them\n"
         "                                      after each pass\n"
         "  log --file FILE [--interval MIN] [--records N | --for DURATION]\n"
         "                                      write the log header to FILE, read the variables and\n"
         "                                      append a record every MIN minutes (1 to 60, default 5)\n"
         "                                      until N records are due (one that cannot be written\n"
         "                                      counts too), DURATION has passed\n"
         "                                      (7d, 36h, 90m, 45s, 1d12h), or Ctrl-C or SIGTERM\n"
         "                                      arrives; the first record follows the first pass\n"
         "                                      (with --mqtt, every pass is published as well)\n"
         "  watch --mqtt URL                    read the variables without end and only publish them,\n"
         "                                      until Ctrl-C or SIGTERM arrives\n"
         "  command start-min-heat | stop-min-heat | cycle-sensor1 | cycle-sensor2 | factory-settings\n"
         "                                      start a command on the unit (factory-settings needs\n"
         "                                      --yes)\n"
         "  sensor-test temperature S           the sensor test monitor (needs --yes), S = sensor 1 or\n"
         "                                      2: read the sensor's temperature\n"
         "  sensor-test start-cycle S [--ta SEC]\n"
         "                                      start a measuring cycle of SEC seconds (1 to 1000,\n"
         "                                      default 250) and follow it until it ends\n"
         "  sensor-test read-recorded --type I|II [--report FILE]\n"
         "                                      read back what the unit recorded during the last\n"
         "                                      cycle, for a sensor of Type I or II; with --report,\n"
         "                                      append the test report to FILE\n"
         "\n"
         "Options:\n"
         "  --com N     COM port number, 1 to 255 (default 1)\n"
         "  --device PATH\n"
         "              open this device, whatever the COM number\n"
         "  --yes       answer OK to the questions the window asks (factory-settings, sensor-test)\n"
         "  --json      print the values as one JSON object, when the command ends, instead of\n"
         "              'label: text' lines as they come\n"
         "  -h, --help  show this text and exit\n"
         "Options with a value also take the form --option=VALUE.\n"
         "\n"
         "Publishing to an MQTT broker (log and watch):\n"
         "  --mqtt URL  mqtt://[USER@]HOST[:PORT]/PREFIX, or mqtts://... for TLS (ports 1883 and\n"
         "              8883, PREFIX gelvar by default). PREFIX/state gets each variable pass as\n"
         "              JSON (retained), PREFIX/status \"online\", or \"offline\" as the last will\n"
         "              (retained), PREFIX/messages each message line. A broker that is away never\n"
         "              holds up the log: gelvar-cli tries again, waiting up to a minute, and keeps\n"
         "              only the newest pass for it.\n"
         "  --mqtt-password-file FILE\n"
         "              the password is FILE's first line; without it, GELVAR_MQTT_PASSWORD\n"
         "  --mqtt-cafile FILE\n"
         "              CA certificates for mqtts (default: the system's CA store)\n"
         "  --ha-discovery\n"
         "              also publish Home Assistant discovery configs (retained): one device per\n"
         "              PREFIX with its temperatures, moisture, voltages and the heating relay\n"
         "\n"
         "COM N is the device named by the environment variable GELVAR_COMN (e.g.\n"
         "GELVAR_COM1=/dev/ttyUSB0), else the device chosen for COM N in the window program's\n"
         "device list (Communication > Choose Serial Device...), else /dev/ttyS(N-1).\n"
         "\n"
         "Output: the monitor's messages (\"I> ...\", \"E> ...\") go to standard error as they happen,\n"
         "oldest first; the values go to standard output. On a terminal, long readings show their\n"
         "progress on standard error. Files are written as the window program writes them\n"
         "(Windows-1252, CR LF); texts on the terminal are UTF-8. A device that goes away is told\n"
         "once (\"E> COM Port Lost\"), and once when it is back (\"I> COM Port Reopened\").\n"
         "\n"
         "read-variables and log run Test Communication first: the values and the log are in the\n"
         "unit's own temperature unit (Celsius or Fahrenheit), as in the window.\n"
         "\n"
         "Exit status:\n"
         "  0  done, and the unit accepted every request\n"
         "  1  the unit did not answer, or a reply was rejected\n"
         "  2  bad usage (a bad URL or password file too), or a question not confirmed with --yes\n"
         "  3  the COM port could not be opened, or watch cannot publish to the broker\n"
         "  4  a file could not be written (a report, the log, a log record), or standard output\n"
         "     (not for log, whose result is its file)\n"
         "  128+n  stopped by signal n (not for log and watch, which Ctrl-C and SIGTERM end normally)\n"
         "When several apply, the first of 3, 4, 128+n and 1 in this order is returned.\n";
}

}  // namespace gelvar
