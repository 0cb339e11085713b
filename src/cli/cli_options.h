// Command line of gelvar-cli: one monitor command per run, with the answers the window would ask for.
#pragma once

#include <string>
#include <vector>

#include "cli/mqtt_target.h"

namespace gelvar {

enum class CliCommand {
  kNone,
  kTest,
  kReadParameters,
  kReadVariables,
  kLog,
  kDeviceCommand,
  kSensorTemperature,
  kSensorStartCycle,
  kSensorReadRecorded,
  kListPorts,
  kWatch,
};

enum CliExitStatus : int {
  kExitDone = 0,
  kExitUnit = 1,  // the unit did not answer, or a reply was rejected
  kExitUsage = 2,
  kExitPort = 3,  // the port could not be opened
  kExitFile = 4,  // a file could not be written
};

// The result of `log` is its file and that of `watch` the broker: standard output going away neither
// stops them nor fails them.
inline bool OutputIsResult(CliCommand command) { return command != CliCommand::kLog && command != CliCommand::kWatch; }

// What `command` asks of the unit.
enum class DeviceCommand {
  kStartMinHeatTime,
  kStopMinHeatTime,
  kStartCycleSensor1,
  kStartCycleSensor2,
  kFactorySettings,
};

struct CliOptions {
  int comPort = 1;
  std::string device;  // opened whatever the COM number; empty: the COM number's device
  bool yes = false;
  bool json = false;
  bool help = false;

  CliCommand command = CliCommand::kNone;
  std::string commandName;  // the command words as typed, e.g. "sensor-test temperature"
  DeviceCommand deviceCommand = DeviceCommand::kStartMinHeatTime;  // of a `command` run

  std::string reportFile;  // empty: no report
  std::string logFile;
  int passes = 1;
  int logMinutes = 0;        // 0: the window's default interval
  int records = 0;           // 0: no limit
  long long forSeconds = 0;  // 0: no limit
  int sensor = 0;            // 0 sensor 1, 1 sensor 2
  int ta = 0;                // seconds; 0: the dialog's start value
  int sensorType = 1;        // 0 Type I, 1 Type II

  std::string mqttUrl;  // empty: no publishing
  MqttTarget mqtt;      // the URL taken apart
  std::string mqttPasswordFile;
  std::string mqttCaFile;  // empty: the system's CA store
  bool haDiscovery = false;
};

// Fills options from the arguments after the program name. On bad usage, returns false with a
// message in error (one or two lines, no program name).
bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// "7d", "36h", "90m", "45s" or sums like "1d12h"; false for anything else or nothing.
bool ParseDuration(const std::string& text, long long& seconds);

const char* CliUsage();

}  // namespace gelvar
