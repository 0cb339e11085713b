// The command line: what each accepted form sets, and the message of each refused one.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "common/temp_folder.h"
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
  const CliOptions log =
      Parsed({"log", "--json", "--file=x.log", "--com", "7", "--interval", "2", "--for", "1d12h30m45s"});
  EXPECT_EQ(std::tie(log.command, log.json, log.comPort, log.logFile, log.logMinutes, log.forSeconds),
            std::make_tuple(CliCommand::kLog, true, 7, std::string("x.log"), 2, 36 * 3600 + 30 * 60 + 45));

  const CliOptions cycle = Parsed({"sensor-test", "start-cycle", "2", "--ta", "1000", "--yes"});
  EXPECT_EQ(std::tie(cycle.command, cycle.sensor, cycle.ta), std::make_tuple(CliCommand::kSensorStartCycle, 1, 1000));
  EXPECT_EQ(Parsed({"command", "stop-min-heat"}).deviceCommand, kCmdStopMinHeatTime);
  EXPECT_EQ(Parsed({"ports", "--device=/dev/ttyUSB0"}).device, "/dev/ttyUSB0");
  EXPECT_TRUE(Parsed({"read-variables", "--passes", "x", "-h"}).help);

  const std::pair<const char*, MqttTarget> urls[] = {
      {"mqtt://h", {false, "", "h", 1883, "gelvar"}},
      {"mqtts://ops@broker.example/site-42/unit", {true, "ops", "broker.example", 8883, "site-42/unit"}},
      {"mqtt://[::1]:1/p", {false, "", "::1", 1, "p"}},
  };
  for (const auto& [url, target] : urls) {
    const MqttTarget parsed = Parsed({"watch", "--mqtt", url}).mqtt;
    EXPECT_EQ(std::tie(parsed.tls, parsed.user, parsed.host, parsed.port, parsed.prefix),
              std::tie(target.tls, target.user, target.host, target.port, target.prefix))
        << url;
  }
}

TEST(CliOptions, RefusedUsageNamesWhatIsWrong) {
  const std::pair<Args, const char*> cases[] = {
      {{}, "no command given"},
      {{"tset"}, "unknown command 'tset'"},
      {{"test", "now"}, "unexpected argument 'now'"},
      {{"--verbose", "test"}, "unknown option '--verbose'"},
      {{"--com", "0", "test"}, "--com: '0' is not a COM port number from 1 to 255"},
      {{"--com", "256", "test"}, "--com: '256' is not a COM port number from 1 to 255"},
      {{"test", "--com"}, "--com needs a COM port number"},
      {{"--yes=1", "test"}, "--yes takes no value"},
      {{"test", "--report", "r.par"}, "--report does not go with 'test'"},
      {{"read-variables", "--passes", "0"}, "--passes: '0'"},
      {{"log"}, "log needs --file FILE"},
      {{"log", "--file", ""}, "--file: '' is not a file name"},
      {{"log", "--file", "l", "--interval", "61"}, "minutes from 1 to 60"},
      {{"log", "--file", "l", "--records", "2", "--for", "1h"}, "not both"},
      {{"log", "--file", "l", "--for", "5"}, "--for: '5' is not a duration"},
      {{"log", "--file", "l", "--for", "3651d"}, "--for: '3651d' is not a duration"},
      {{"log", "--file", "l", "--for", "99999999999999999999s"}, "is not a duration"},
      {{"command"}, "'command' needs one of: start-min-heat | stop-min-heat"},
      {{"command", "factory-settings"}, "Add --yes to confirm."},
      {{"sensor-test", "temperature", "1"}, "Add --yes to confirm."},
      {{"--yes", "sensor-test", "temperature"}, "needs the sensor number, 1 or 2"},
      {{"--yes", "sensor-test", "temperature", "3"}, "needs the sensor number, 1 or 2"},
      {{"--yes", "sensor-test", "start-cycle", "1", "--ta", "1001"}, "from 1 to 1000"},
      {{"--yes", "sensor-test", "read-recorded"}, "needs --type I or --type II"},
      {{"--yes", "sensor-test", "read-recorded", "--type", "III"}, "is not I or II"},
      {{"watch"}, "watch needs --mqtt URL"},
      {{"log", "--file", "l", "--ha-discovery"}, "--ha-discovery needs --mqtt URL"},
      {{"watch", "--mqtt", "http://h/p"}, "--mqtt: unknown scheme 'http' (mqtt or mqtts)"},
      {{"watch", "--mqtt", "h:1883/p"}, "is not a URL like mqtt://[USER@]HOST[:PORT]/PREFIX"},
      {{"watch", "--mqtt", "mqtt://h:65536/p"}, "port '65536' is not from 1 to 65535"},
      {{"watch", "--mqtt", "mqtt://u:pw@h/p"}, "no password in the URL"},
      {{"watch", "--mqtt", "mqtt://:1883/p"}, "no broker host"},
      {{"watch", "--mqtt", "mqtt://h/a/#"}, "prefix 'a/#' is not topic levels"},
      {{"watch", "--mqtt", "mqtt://h/p", "--mqtt-cafile", "ca.pem"}, "--mqtt-cafile needs an mqtts:// URL"},
  };
  for (const auto& [args, message] : cases) {
    CliOptions options;
    std::string error;
    EXPECT_FALSE(ParseCliOptions(args, options, error)) << message;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

// The password is the file's first line, whatever its line end.
TEST(CliOptions, MqttPasswordFromItsFile) {
  const testing::TempFolder dir;
  const std::string path = (dir / "password").string();
  const struct {
    std::string user;
    const char* bytes;  // nullptr: no file
    std::string password;
    const char* errorPart;
  } cases[] = {
      {"ops", "secret\r\nsecond\n", "secret", ""},
      {"ops", "", "", ""},
      {"", "secret\n", "secret", "a password (--mqtt-password-file) needs a user"},
      {"ops", nullptr, "", "--mqtt-password-file: cannot read '"},
  };
  for (const auto& c : cases) {
    if (c.bytes != nullptr) std::ofstream(path, std::ios::binary) << c.bytes;
    std::string password, error;
    const bool read = ReadMqttPassword({false, c.user, "h", 1883, "p"}, path, password, error);
    std::filesystem::remove(path);
    EXPECT_EQ(read, *c.errorPart == '\0') << error;
    EXPECT_EQ(password, c.password);
    EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace gelvar
