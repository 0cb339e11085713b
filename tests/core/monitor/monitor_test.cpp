// The main window's core with time standing still: the unit's replies as display texts, the temperature
// texts, the parameter report's bytes, and what each command does in each communication mode with the
// dialogs around them and the message pane. Virtual time never moves here, so no step reaches the unit.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>
#include <tuple>

#include "core/common/c_format.h"
#include "core/monitor/device_model.h"
#include "core/monitor/monitor_controller.h"
#include "core/monitor/parameter_report.h"
#include "core/monitor/read_cycle.h"
#include "core/monitor/value_format.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

// The model's steps with their replies played in by hand; a step begins unless told to refuse.
class DeviceModelTest : public ::testing::Test, public StepHost {
 protected:
  int BeginStep(StepHandler, std::uint32_t) override { return refuse ? kStepRefused : kStepBegun; }
  ObjectRequest& StepRequest() override { return request; }
  void CommandReplied() override {}
  void AddMessage(int) override {}

  // Begins the handler's step and answers it with the given bytes; returns the phase 2 result.
  int Exchange(StepHandler handler, int argument, const std::vector<std::uint8_t>& reply) {
    EXPECT_EQ((model.*handler)(1, argument), kStepBegun);
    request = ObjectRequest{};
    request.count = static_cast<std::uint8_t>(reply.size());
    std::copy(reply.begin(), reply.end(), request.data);
    return (model.*handler)(2, static_cast<int>(reply.size()));
  }

  bool refuse = false;
  ObjectRequest request{};
  DeviceModel model{*this};
};

TEST_F(DeviceModelTest, RepliesBecomeDisplayTextsAndARefusedBeginLeavesTheStepInProgressAlone) {
  const std::tuple<StepHandler, int, std::vector<std::uint8_t>, std::map<Field, std::string>> cases[] = {
      {&DeviceModel::ReadLowTempLimit, 0, {0xE0, 0x15}, {{Field::kLowTempLimit, "  -20 \260C"}}},
      {&DeviceModel::ReadIdleTemp, 0, {0xA2, 0x17}, {{Field::kIdleTemp, "    3 \260C"}}},
      {&DeviceModel::ReadHeatingMoistLimit, 0, {0, 0}, {{Field::kHeatingMoistLimit, "00"}}},
      {&DeviceModel::ReadOpHours, 1, {0xFF, 0xFF}, {{Field::kOpHours, "65535 h"}}},
      {&DeviceModel::ReadSensorType, 1, {0, 0}, {{Field::kS2Type, "kein F\374hler"}}},
      {&DeviceModel::ReadSensorMoistLimit, 1, {0, 0}, {{Field::kS2MoistLimit, "- x -"}}},
      {&DeviceModel::ReadAdmErrFlags, 0, {0, 0, 0xA1, 0x00}, {{Field::kAdmErrorFlags, "00A1"}}},
      {&DeviceModel::ReadAdmIntState, 0, {3, 7}, {{Field::kInternalState, "M3 - E7"}}},
      // The heating state's four texts from one reply, in two rows to keep each on a line.
      {&DeviceModel::ReadHeatingState,
       0,
       {8, 0x01, 0x02, 0x05},
       {{Field::kHeatingState, "Heating(Idel)"}, {Field::kHeatingTempFlags, " Ta"}}},
      {&DeviceModel::ReadHeatingState,
       0,
       {8, 0x01, 0x02, 0x05},
       {{Field::kHeatingMoistFlags, " S2"}, {Field::kHeatingErrorFlags, " Ta Mx"}}},
      {&DeviceModel::ReadHeatingTemps,
       0,
       {0xFE, 0x7F, 0x10, 0x7F},
       {{Field::kSlabTemp, "- v -"}, {Field::kOutdoorTemp, "1326.4 \260C"}}},
      {&DeviceModel::ReadHeatingRelay,
       0,
       {1, 0, 45, 0},
       {{Field::kHeatingRelay, "On"}, {Field::kRemHeatTime, "45 min"}}},
      {&DeviceModel::ReadSensorState,
       1,
       {11, 0x01, 0x03, 0},
       {{Field::kS2State, "Moist.Det."}, {Field::kS2ErrorFlags, " Ts Mb"}, {Field::kS2Flags, " M!"}}},
      {&DeviceModel::ReadSensorTemps,
       0,
       {0x6A, 0x18, 0x68, 0x17},
       {{Field::kS1Temp, " 12.5 \260C"}, {Field::kS1AmbientTemp, " -0.4 \260C"}}},
      {&DeviceModel::ReadSensorMoisture,
       1,
       {0, 9, 12, 3},
       {{Field::kS2LastMoisture, "- ? -"}, {Field::kS2InhibitMoist, "12 min"}, {Field::kS2InhibitTemp, "3 min"}}},
      {&DeviceModel::ReadSensorElectric,
       0,
       {0x05, 0x00, 0x39, 0x30},
       {{Field::kS1Voltage, " 0.05 V"}, {Field::kS1CharValue, "12345"}}},
      // The unit byte switches later temperatures to Fahrenheit; texts already made keep their unit.
      {&DeviceModel::ReadLanguageUnit, 0, {0x12, 0}, {{Field::kTempUnit, "\260F"}, {Field::kS1Temp, " 12.5 \260C"}}},
      {&DeviceModel::ReadHighTempLimit, 0, {0x00, 0x19}, {{Field::kHighTempLimit, "   68 \260F"}}},
      {&DeviceModel::ReadSensorTemps, 0, {0x70, 0x17, 0x00, 0x00}, {{Field::kS1Temp, " 32.0 \260F"}}},
      {&DeviceModel::ReadLanguageUnit,
       0,
       {0x0A, 0},
       {{Field::kTempUnit, "\260C"}, {Field::kLanguage, "unknown"}}},  // unit: the high nibble
      {&DeviceModel::ReadSensorTemps, 0, {0x70, 0x17, 0x00, 0x00}, {{Field::kS1Temp, "  0.0 \260C"}}},
  };
  for (Field field : AllFields()) EXPECT_EQ(model.Fields().Text(field), "undef.") << FieldName(field);
  for (const auto& [handler, argument, reply, texts] : cases) {
    EXPECT_EQ(Exchange(handler, argument, reply), kReplyAccepted);
    for (const auto& [field, text] : texts) EXPECT_EQ(model.Fields().Text(field), text) << FieldName(field);
  }

  // A refused begin leaves the step in progress alone.
  request = ObjectRequest{};
  ASSERT_EQ(model.ReadSensorTemps(1, 0), kStepBegun);
  refuse = true;
  EXPECT_EQ(model.ReadSensorTemps(1, 1), kStepRefused);
  EXPECT_EQ(model.CmdMinHeatTime(1, 1), kStepRefused);
  EXPECT_EQ(request.count, 0);  // no command bytes slipped into the reading's request
  request = ObjectRequest{0, 4, 0x0C84, 0, {0x6A, 0x18, 0x6A, 0x18}};
  EXPECT_EQ(model.ReadSensorTemps(2, 4), kReplyAccepted);
  EXPECT_EQ(model.Fields().Text(Field::kS1Temp), " 12.5 \260C");  // sensor 1's field, the step in progress
  EXPECT_EQ(model.Fields().Text(Field::kS2Temp), "undef.");       // sensor 2's was only marked by the refused begin
}

// A reply of the wrong size leaves the step's fields failed: the window shows "undef.", the log -1,
// whatever they held before.
TEST_F(DeviceModelTest, AWrongSizedReplyLeavesTheStepsFieldsFailed) {
  ASSERT_EQ(Exchange(&DeviceModel::ReadHeatingRelay, 0, {1, 0, 45, 0}), kReplyAccepted);
  EXPECT_EQ(Exchange(&DeviceModel::ReadHeatingRelay, 0, {1, 0}), kReplyWrongFormat);
  for (const Field field : {Field::kHeatingRelay, Field::kRemHeatTime}) {
    EXPECT_EQ(model.Fields().Value(field).state, ReadState::kFailed) << FieldName(field);
    EXPECT_EQ(model.Fields().Text(field), "undef.") << FieldName(field);
  }
  EXPECT_EQ(model.Snapshot().HtgOffOn, -1);
  EXPECT_EQ(model.Snapshot().HtgRemHtime, -1);
}

// Any unit code but 0 is Fahrenheit. Whole degrees round halves away from zero; -0.2 keeps its sign as
// printf shows it.
TEST(ValueFormat, TemperatureTexts) {
  const std::pair<std::string, const char*> cases[] = {
      {TemperatureText(6000, true, 0), "  0.0 \260C"},  {TemperatureText(0, true, 0), "-300.0 \260C"},
      {TemperatureText(5600, true, 1), " -3.9 \260F"},  {TemperatureText(0x7FFC, true, 0), "- ! -"},
      {TemperatureText(0x7FFD, false, 1), "- ^ -"},     {TemperatureText(2, true, 2), "-507.7 \260F"},
      {TemperatureText(6050, false, 0), "    3 \260C"}, {TemperatureText(6070, false, 0), "    4 \260C"},
      {TemperatureText(5990, false, 0), "   -1 \260C"}, {TemperatureText(6010, false, 0), "    1 \260C"},
      {TemperatureText(5996, false, 0), "   -0 \260C"}, {TemperatureText(5650, false, 1), "    1 \260F"},
      {TemperatureText(5672, false, 1), "    3 \260F"}, {TemperatureText(5683, false, 1), "    4 \260F"},
      {TemperatureText(5638, false, 1), "   -1 \260F"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
}

TEST(ParameterReport, UnreadParametersGiveACompleteReportOfUndef) {
  std::tm local{};  // 03/07/26 13:05:09 in local time
  local.tm_sec = 9;
  local.tm_min = 5;
  local.tm_hour = 13;
  local.tm_mday = 7;
  local.tm_mon = 2;
  local.tm_year = 126;
  local.tm_isdst = -1;
  // Each section: its title, then its labels padded to 25 characters; "" is an empty line.
  const std::vector<std::vector<const char*>> sections = {
      {"Administration:", "Mode System:", "Language:", "Temp. Unit:", "Alarm Mode:", "", "SW Version/Build:"},
      {"Heating System:", "Mode Heating:", "Min. Heating Time:", "High Temp. Limit:", "Low Temp. Limit:",
       "Idle Temp. Set Point:", "Moisture Limit:", "Operation Hours:", "Operation Hours XWK:"},
      {"Sensor 1:", "Type Sensor:", "Mode Sensor:", "Moisture Limit:"},
      {"Sensor 2:", "Type Sensor:", "Mode Sensor:", "Moisture Limit:"}};
  std::string expected = "Parameter Gelvar recorded 03/07/26 at 13:05:09\r\nMonitor V1.0\r\n\r\n";
  for (const auto& section : sections) {
    expected += std::string(section[0]) + "\r\n";
    for (std::size_t i = 1; i < section.size(); ++i)
      expected += *section[i] ? CFormat(" %-24sundef.\r\n", section[i]) : "\r\n";
    expected += "\r\n";
  }
  EXPECT_EQ(ParameterReport(DisplayFields(), std::mktime(&local)), expected + "End Parameter +++\r\n\r\n\r\n");
}

// The commands that lead from the start to each mode.
const std::vector<int> kWayToMode[] = {
    {},
    {kCmdOpenComPort},
    {kCmdOpenComPort, kCmdTestCommunication, kCmdTestCommunication},  // the second is refused: still in progress
    {kCmdOpenComPort, kCmdReadParameters},
    {kCmdOpenComPort, kCmdStartReadingVariables},
    {kCmdOpenComPort, kCmdStartReadingVariables, kCmdOpenLogFile, kCmdStartLogging},
};

constexpr std::array<const char*, 6> InEveryMode(const char* cell) { return {cell, cell, cell, cell, cell, cell}; }

// A cell lists what the commands do in that mode: message codes (as lines added to the pane,
// in order), the view's calls by name, and "=N" for the mode it leaves; otherwise the mode stays.
const std::pair<std::vector<int>, std::array<const char*, 6>> kModeTable[] = {
    {{kCmdSetComPort}, {"ask-number", "28", "28", "28", "28", "28"}},
    {{kCmdOpenComPort}, {"open-channel 13 =1", "28", "28", "28", "28", "28"}},
    {{kCmdCloseComPort}, {"14", "close-channel 14 =0", "20", "20", "20", "20"}},
    {{kCmdTestCommunication}, {"15", "", "20", "20", "20", "20"}},
    {{kCmdShowProtocolWindow}, InEveryMode("protocol")},
    {{kCmdExit}, InEveryMode("close-channel end")},
    {{kCmdStartMinHeatTime, kCmdStopMinHeatTime, kCmdStartCycleSensor1, kCmdStartCycleSensor2},
     {"15", "", "24", "20", "20", "20"}},
    {{kCmdFactorySettings}, {"15", "ask-ok", "24", "20", "20", "20"}},
    {{kCmdReadParameters}, {"15", "=3", "20", "5", "20", "20"}},
    {{kCmdSaveParameters}, {"choose-save 7", "choose-save 7", "choose-save 7", "5", "choose-save 7", "choose-save 7"}},
    {{kCmdStartReadingVariables}, {"15", "9 =4", "20", "20", "8", "20"}},
    {{kCmdStopReadingVariables}, {"23", "23", "23", "23", "10 =1", "22"}},
    {{kCmdSetLogInterval}, InEveryMode("ask-number")},
    {{kCmdOpenLogFile}, {"choose-open", "choose-open", "choose-open", "choose-open", "choose-open", "22"}},
    {{kCmdStartLogging}, {"15", "23", "23", "23", "21", "22"}},
    {{kCmdStopLogging}, {"26", "26", "26", "26", "26", "11 =4"}},
    {{kCmdTestMonitor}, {"15", "ask-ok sensor-test", "20", "20", "20", "20"}},
    {{kCmdUpdate, kCmdProgramUpdate}, {"15", "ask-ok update", "20", "20", "20", "20"}},
    {{kCmdUnused1, kCmdUnused2}, InEveryMode("")},
    {{kCmdShowReadMe}, InEveryMode("readme")},
    {{kCmdAbout}, InEveryMode("about")},
};

// Each command from the main window as the program starts it, the port still closed, led into each mode.
TEST(MonitorController, EveryCommandInEveryMode) {
  for (const auto& [commands, cells] : kModeTable) {
    for (int mode = kPortClosed; mode <= kLoggingVariables; ++mode) {
      for (const int command : commands) {
        const std::string where = "command " + std::to_string(command) + " in mode " + std::to_string(mode);
        MonitorRig rig(nullptr, false);
        for (const int step : kWayToMode[mode]) rig.controller.Command(step);
        EXPECT_EQ(rig.controller.Mode(), mode);
        rig.view.calls.clear();
        const std::size_t before = rig.controller.MessageText().size();

        const MessageContext context{.reportFileName = rig.view.reportPath, .logFileName = rig.view.logPath};
        std::vector<std::string> lines;
        std::string calls;
        int modeAfter = mode;
        std::istringstream cell(cells[static_cast<std::size_t>(mode)]);
        for (std::string token; cell >> token;) {
          const unsigned char first = token[0];
          if (first == '=') modeAfter = std::stoi(token.substr(1));
          if (std::isdigit(first)) lines.insert(lines.begin(), MessageLine(std::stoi(token), context));
          if (std::isalpha(first)) calls += (calls.empty() ? "" : " ") + token;
        }

        EXPECT_TRUE(rig.controller.Command(command)) << where;
        const std::string& pane = rig.controller.MessageText();
        EXPECT_EQ(FileLines(pane.substr(0, pane.size() - before)), lines) << where;  // the new lines
        EXPECT_EQ(rig.view.calls, calls) << where;
        EXPECT_EQ(rig.controller.Mode(), modeAfter) << where;
      }
    }
  }
  EXPECT_FALSE(MonitorRig().controller.Command(32777)) << "not a menu command";
}

// The port rows start from port 9, so that a refused answer cannot look like the default port 1.
TEST(MonitorController, InputBoxesKeepTheirRangesAndOpenUsesTheChosenPort) {
  const std::tuple<int, bool, int, int> cases[] = {
      {kCmdSetComPort, true, 1, 1},      {kCmdSetComPort, true, 255, 255}, {kCmdSetComPort, true, 256, 9},
      {kCmdSetComPort, true, 0, 9},      {kCmdSetComPort, false, 7, 9},    {kCmdSetLogInterval, true, 60, 60},
      {kCmdSetLogInterval, true, 61, 5}, {kCmdSetLogInterval, true, 0, 5}, {kCmdSetLogInterval, true, 1, 1},
  };
  for (const auto& [command, ok, answer, expected] : cases) {
    MonitorRig rig(nullptr, false);
    rig.view.numberAnswer = 9;
    rig.controller.Command(kCmdSetComPort);
    rig.view.answerOk = ok;
    rig.view.numberAnswer = answer;
    rig.controller.Command(command);
    const bool port = command == kCmdSetComPort;
    EXPECT_EQ(port ? rig.controller.ComPortNumber() : rig.controller.LogMinutes(), expected) << answer;
    EXPECT_EQ(rig.view.questions.back(), port ? "Set COM Port (1..255):" : "Set Log Intervall (1..60 min):");
    EXPECT_EQ(rig.controller.ProgressRange().logging, 60 * rig.controller.LogMinutes());
    rig.link.Line().Unplug();
    rig.controller.Command(kCmdOpenComPort);
    EXPECT_EQ(rig.view.openedPorts, std::vector<int>{rig.controller.ComPortNumber()});
    EXPECT_EQ(rig.controller.ComStatusText(), "COM Port Closed") << "a failed open changes nothing";
    EXPECT_EQ(rig.controller.MessageText(), "");
  }
}

// Cancelled, they begin nothing: the next command begins its own step without refusal. A cancelled
// file dialog writes nothing; a report that cannot be written gives its box and no pane line. The pane
// shows the newest line on top, each with its tones: falling for an error, rising otherwise, and
// keeps the newest 1024 characters.
TEST(MonitorController, CancelledQuestionsAndDialogsDoNothing) {
  MonitorRig rig(nullptr, false);
  rig.controller.Command(kCmdTestCommunication);  // E> COM Port NOT Open
  rig.controller.Command(kCmdOpenComPort);        // I> COM Port Opened
  rig.view.answerOk = false;
  for (int command : {kCmdFactorySettings, kCmdTestMonitor, kCmdUpdate, kCmdProgramUpdate, kCmdSaveParameters,
                      kCmdOpenLogFile, kCmdTestCommunication})
    rig.controller.Command(command);
  const std::string update = "Are you shure you really want to update the software of the detector unit?";
  EXPECT_EQ(rig.view.questions,
            (std::vector<std::string>{
                "Are you shure to reset all parameters to default values?",
                "The test monitor for moisture sensors should be used only by experienced engineers. Start it?", update,
                update}));
  EXPECT_EQ(rig.controller.Mode(), kPortOpen);
  EXPECT_TRUE(rig.memoryFiles.files.empty());
  EXPECT_FALSE(rig.controller.LogFileChosen());

  rig.view.answerOk = true;
  rig.memoryFiles.unwritable = {rig.view.reportPath};
  rig.controller.Command(kCmdSaveParameters);
  EXPECT_EQ(rig.view.alerts, std::vector<std::string>{"Error open parameter file: DateiParName\n" +
                                                      rig.view.reportPath + ": Read-only file system"});
  EXPECT_EQ(rig.controller.MessageText(), "I> COM Port Opened\r\nE> COM Port NOT Open\r\n");
  EXPECT_EQ(rig.view.tones, (std::vector<std::vector<int>>{{2000, 120, 1000, 80}, {1000, 120, 2000, 80}}));
  for (int i = 0; i < 100; ++i) rig.controller.Command(kCmdOpenComPort);  // E> COM Port already open
  EXPECT_EQ(rig.controller.MessageText().size(), kMessagePaneLimit);
  EXPECT_EQ(rig.controller.MessageText().find("Opened"), std::string::npos) << "the oldest lines are cut";
}

}  // namespace
}  // namespace gelvar::testing
