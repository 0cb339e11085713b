// Texts for the terminal and for JSON, and the console views that stand in for the windows.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/console_text.h"
#include "cli/console_view.h"
#include "cli/mqtt_payloads.h"
#include "cli/port_list.h"
#include "support/monitor_fakes.h"
#include "support/virtual_scheduler.h"
#include "unitsim/simulated_line.h"

namespace gelvar {
namespace {

TEST(TerminalText, IsUtf8FromWindows1252UnlessAlreadyUtf8) {
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
  for (const auto& [in, terminal] : cases) {
    EXPECT_EQ(TerminalText(in), terminal);
    EXPECT_TRUE(IsValidUtf8(TerminalText(in))) << in;
  }
}

TEST(Json, EscapesWhatJsonMustAndKeepsOrder) {
  EXPECT_EQ(JsonString("a\"b\\c\r\n\t\x01\xC2\xB0"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\xC2\xB0\"");
  JsonObject object;
  object.String("z", "1").Number("a", -2).Raw("m", JsonArray({"1", JsonString("x")}));
  EXPECT_EQ(object.Text(), "{\"z\":\"1\",\"a\":-2,\"m\":[1,\"x\"]}");

  const std::vector<SerialDeviceEntry> ports = {{"/dev/ttyACM0", "Uno \"R3\""}, {"/dev/ttyS0", "built-in"}};
  EXPECT_EQ(PortListLines(ports, false),
            (std::vector<std::string>{"/dev/ttyACM0  Uno \"R3\"", "/dev/ttyS0  built-in"}));
  EXPECT_EQ(PortListLines(ports, true),
            std::vector<std::string>{"[{\"path\":\"/dev/ttyACM0\",\"description\":\"Uno \\\"R3\\\"\"},"
                                     "{\"path\":\"/dev/ttyS0\",\"description\":\"built-in\"}]"});
  EXPECT_EQ(PortListLines({}, true), std::vector<std::string>{"[]"});
}

// Each answer from the command line is given once; each new entry of the sensor test's pane is handed
// on once, without its CR LF.
TEST(ConsoleView, AnswersOnceAndHandsOnNewEntriesOnce) {
  std::ostringstream out, err;
  Console console(out, err, false);
  unitsim::UnitModel unit;
  unitsim::SimulatedLine line(unit, [] { return std::int64_t{0}; });
  ConsolePumpMessages messages(console);
  BytePump pump(line, messages);
  ConsoleView view(console, pump, false);
  int number = 0;
  view.AnswerNumber(7);
  EXPECT_TRUE(view.AskNumber("", number));
  EXPECT_EQ(number, 7);
  EXPECT_FALSE(view.AskNumber("", number));

  testing::VirtualScheduler timers;
  testing::MemoryFiles files;
  SensorTest test(timers, files);
  ConsoleSensorView sensorView(console, test);
  test.logText = "a\r\n";
  sensorView.Refresh();  // before anyone takes the entries
  std::vector<std::string> entries;
  sensorView.onEntry = [&](const std::string& entry) { entries.push_back(entry); };
  for (const char* pane : {"b\r\na\r\n", "b\r\na\r\n", "x"}) {
    test.logText = pane;
    sensorView.Refresh();
  }
  EXPECT_EQ(entries, std::vector<std::string>{"b"});

  std::string path;
  sensorView.AnswerFile("r.dat");
  EXPECT_TRUE(sensorView.ChooseSaveFile("", "", path));
  EXPECT_EQ(path, "r.dat");
  EXPECT_FALSE(sensorView.ChooseSaveFile("", "", path));
}

// Not read is null; so is a temperature the log writes as -999.0, but not a true -1.0.
TEST(MqttState, NullForWhatHasNoValue) {
  DisplayFields fields;
  VariableSnapshot values;
  fields.Set(kFieldSlabTemp, "- v -");
  values.HtgSlGuTemp = -999.0f;
  fields.Set(kFieldOutdoorTemp, " -1.0 \260F");
  values.HtgOutTemp = -1.0f;
  const std::string json = StateJson(fields, values, 1, 0);
  EXPECT_TRUE(json.starts_with(
      "{\"time\":\"1970-01-01T00:00:00Z\",\"unit\":\"\302\260F\",\"AdmErrFlg\":{\"text\":\"undef.\",\"value\":null},"))
      << json;
  EXPECT_NE(json.find("\"HtgSlGuTemp\":{\"text\":\"- v -\",\"value\":null}"), std::string::npos);
  EXPECT_NE(json.find("\"HtgOutTemp\":{\"text\":\" -1.0 \302\260F\",\"value\":-1.0}"), std::string::npos);
}

}  // namespace
}  // namespace gelvar
