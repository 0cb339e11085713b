// The monitor with time standing still: the unit's replies as display texts, the temperature texts,
// the parameter report's bytes, and what each operation does in each communication mode with the
// answers it asks for and the message pane. Virtual time never moves here, so no step reaches the unit.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>
#include <tuple>

#include "core/common/c_format.h"
#include "core/monitor/device_model.h"
#include "core/monitor/monitor.h"
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

// The operations that lead from the start to each mode.
const std::vector<Operation> kWayToMode[] = {
    {},
    {op::OpenPort},
    {op::OpenPort, op::TestCommunication, op::TestCommunication},  // the second is refused: still in progress
    {op::OpenPort, op::ReadParameters},
    {op::OpenPort, op::StartReadingVariables},
    {op::OpenPort, op::StartReadingVariables, op::OpenLogFile, op::StartLogging},
};

constexpr std::array<const char*, 6> InEveryMode(const char* cell) { return {cell, cell, cell, cell, cell, cell}; }

struct ModeRow {
  const char* name;
  std::function<Result(MonitorRig&)> run;
  std::array<const char*, 6> cells;
};

// A cell: the result's status, then the line's calls and the questions asked ("ask") in order,
// message codes as the lines added to the pane in order (a refusal's code is its result's too), and
// "=N" for the mode it leaves; otherwise the mode stays. The answers are all yes.
const ModeRow kModeTable[] = {
    {"SetComPort",
     [](MonitorRig& r) { return r.monitor.SetComPort(r.Asked(std::optional(7))); },
     {"done ask", "refused 28", "refused 28", "refused 28", "refused 28", "refused 28"}},
    {"MayChooseSerialDevice",
     [](MonitorRig& r) { return r.monitor.MayChooseSerialDevice(); },
     {"done", "refused 28", "refused 28", "refused 28", "refused 28", "refused 28"}},
    {"OpenPort",
     op::OpenPort,
     {"done open 13 =1", "refused 28", "refused 28", "refused 28", "refused 28", "refused 28"}},
    {"ClosePort",
     op::ClosePort,
     {"done 14", "done close 14 =0", "refused 20", "refused 20", "refused 20", "refused 20"}},
    {"TestCommunication",
     op::TestCommunication,
     {"refused 15", "started", "refused 20", "refused 20", "refused 20", "refused 20"}},
    {"StartMinHeatTime",
     op::StartMinHeatTime,
     {"refused 15", "started", "refused 24", "refused 20", "refused 20", "refused 20"}},
    {"StopMinHeatTime",
     op::StopMinHeatTime,
     {"refused 15", "started", "refused 24", "refused 20", "refused 20", "refused 20"}},
    {"StartCycleSensor2",
     op::StartCycleSensor2,
     {"refused 15", "started", "refused 24", "refused 20", "refused 20", "refused 20"}},
    {"FactorySettings",
     [](MonitorRig& r) { return r.monitor.FactorySettings(r.Asked(true)); },
     {"refused 15", "started ask", "refused 24", "refused 20", "refused 20", "refused 20"}},
    {"ReadParameters",
     op::ReadParameters,
     {"refused 15", "started =3", "refused 20", "refused 5", "refused 20", "refused 20"}},
    {"SaveParameters",
     [](MonitorRig& r) { return r.monitor.SaveParameters(r.Asked(std::optional(r.reportPath))); },
     {"done ask 7", "done ask 7", "done ask 7", "refused 5", "done ask 7", "done ask 7"}},
    {"StartReadingVariables",
     op::StartReadingVariables,
     {"refused 15", "started 9 =4", "refused 20", "refused 20", "refused 8", "refused 20"}},
    {"StopReadingVariables",
     op::StopReadingVariables,
     {"refused 23", "refused 23", "refused 23", "refused 23", "done 10 =1", "refused 22"}},
    {"SetLogInterval", [](MonitorRig& r) { return r.monitor.SetLogInterval(r.Asked(std::optional(7))); },
     InEveryMode("done ask")},
    {"OpenLogFile",
     [](MonitorRig& r) { return r.monitor.OpenLogFile(r.Asked(std::optional(r.logPath))); },
     {"done ask", "done ask", "done ask", "done ask", "done ask", "refused 22"}},
    {"StartLogging",
     op::StartLogging,
     {"refused 15", "refused 23", "refused 23", "refused 23", "refused 21", "refused 22"}},
    {"StopLogging",
     op::StopLogging,
     {"refused 26", "refused 26", "refused 26", "refused 26", "refused 26", "done 11 =4"}},
    {"SensorTest",
     [](MonitorRig& r) { return r.monitor.SensorTest(r.Asked(true)); },
     {"refused 15", "done ask", "refused 20", "refused 20", "refused 20", "refused 20"}},
    {"Update",
     [](MonitorRig& r) { return r.monitor.Update(r.Asked(true)); },
     {"refused 15", "done ask", "refused 20", "refused 20", "refused 20", "refused 20"}},
    {"Exit",
     [](MonitorRig& r) {
       r.monitor.Exit();
       return Result::Done();
     },
     InEveryMode("done close")},
};

const std::map<std::string, Status> kStatusWords = {
    {"done", Status::kDone}, {"started", Status::kStarted}, {"refused", Status::kRefused}};

class EveryOperationInEveryMode : public ::testing::TestWithParam<ModeRow> {};

// Each operation as the program starts it, the port still closed, led into each mode.
TEST_P(EveryOperationInEveryMode, RefusesOrActsAsItsModeSays) {
  const ModeRow& row = GetParam();
  for (int mode = kPortClosed; mode <= kLoggingVariables; ++mode) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    MonitorRig rig(nullptr, false);
    for (const Operation step : kWayToMode[mode]) step(rig);
    ASSERT_EQ(rig.monitor.Mode(), mode);
    rig.calls.clear();
    const std::size_t before = rig.monitor.MessageText().size();

    const MessageContext context{.reportFileName = rig.reportPath, .logFileName = rig.logPath};
    std::vector<std::string> lines;
    std::string calls;
    Result expected = Result::Done();
    int modeAfter = mode;
    std::istringstream cell(row.cells[static_cast<std::size_t>(mode)]);
    std::string status;
    cell >> status;
    expected.status = kStatusWords.at(status);
    for (std::string token; cell >> token;) {
      const unsigned char first = token[0];
      if (first == '=') modeAfter = std::stoi(token.substr(1));
      if (std::isdigit(first)) lines.insert(lines.begin(), MessageLine(std::stoi(token), context));
      if (std::isdigit(first) && expected.status == Status::kRefused) expected.code = std::stoi(token);
      if (std::isalpha(first)) calls += (calls.empty() ? "" : " ") + token;
    }

    EXPECT_EQ(row.run(rig), expected);
    const std::string& pane = rig.monitor.MessageText();
    EXPECT_EQ(FileLines(pane.substr(0, pane.size() - before)), lines);  // the new lines
    EXPECT_EQ(rig.calls, calls);
    EXPECT_EQ(rig.monitor.Mode(), modeAfter);
  }
}

INSTANTIATE_TEST_SUITE_P(Monitor, EveryOperationInEveryMode, ::testing::ValuesIn(kModeTable),
                         [](const auto& info) { return std::string(info.param.name); });

// The port rows start from port 9, so that a refused answer cannot look like the default port 1.
TEST(Monitor, NumberAnswersKeepTheirRangesAndOpenUsesTheChosenPort) {
  struct Case {
    bool port;
    std::optional<int> answer;
    int expected;
  };
  const Case cases[] = {
      {true, 1, 1},    {true, 255, 255}, {true, 256, 9}, {true, 0, 9},  {true, std::nullopt, 9},
      {false, 60, 60}, {false, 61, 5},   {false, 0, 5},  {false, 1, 1},
  };
  for (const auto& [port, answer, expected] : cases) {
    SCOPED_TRACE(answer.value_or(-1));
    MonitorRig rig(nullptr, false);
    rig.monitor.SetComPort(Given(9));
    const Answer<int> given = [answer] { return answer; };
    const Result result = port ? rig.monitor.SetComPort(given) : rig.monitor.SetLogInterval(given);
    EXPECT_EQ(result.status, answer == expected ? Status::kDone : Status::kCancelled);
    EXPECT_EQ(port ? rig.monitor.ComPortNumber() : rig.monitor.LogMinutes(), expected);
    EXPECT_EQ(rig.monitor.ProgressRange().logging, 60 * rig.monitor.LogMinutes());
    rig.link.Line().Unplug();
    EXPECT_EQ(rig.monitor.OpenPort(), Result::Failed({}));
    EXPECT_EQ(rig.line.openedPorts, std::vector<int>{rig.monitor.ComPortNumber()});
    EXPECT_EQ(std::string(rig.monitor.ComStatus().text), "COM Port Closed") << "a failed open changes nothing";
    EXPECT_EQ(rig.monitor.MessageText(), "");
  }
}

// Answered no, they begin nothing: the next operation begins its own step without refusal. A file
// not chosen writes nothing; a report that cannot be written fails with its box's text and adds no
// pane line.
TEST(Monitor, CancelledAnswersDoNothingAndAnUnwritableFileFailsWithItsBox) {
  MonitorRig rig;
  EXPECT_EQ(rig.monitor.FactorySettings([] { return false; }), Result::Cancelled());
  EXPECT_EQ(rig.monitor.SensorTest([] { return false; }), Result::Cancelled());
  EXPECT_EQ(rig.monitor.Update([] { return false; }), Result::Cancelled());
  EXPECT_EQ(rig.monitor.SaveParameters([] { return std::optional<std::string>(); }), Result::Cancelled());
  EXPECT_EQ(rig.monitor.OpenLogFile([] { return std::optional<std::string>(); }), Result::Cancelled());
  EXPECT_EQ(rig.monitor.TestCommunication(), Result::Started());
  EXPECT_TRUE(rig.memoryFiles.files.empty());
  EXPECT_FALSE(rig.monitor.LogFileChosen());

  rig.memoryFiles.unwritable = {rig.reportPath};
  EXPECT_EQ(rig.SaveParameters(),
            Result::Failed("Error open parameter file: DateiParName\nreport.par: Read-only file system"));
  EXPECT_EQ(rig.monitor.MessageText(), "I> COM Port Opened\r\n");
}

// The pane shows the newest line on top, each with its tones: falling for an error, rising otherwise,
// and keeps the newest 1024 characters.
TEST(Monitor, MessagesGoOnTopWithTheirTonesAndThePaneKeepsItsLimit) {
  MonitorRig rig(nullptr, false);
  rig.monitor.TestCommunication();  // E> COM Port NOT Open
  rig.monitor.OpenPort();           // I> COM Port Opened
  EXPECT_EQ(rig.monitor.MessageText(), "I> COM Port Opened\r\nE> COM Port NOT Open\r\n");
  EXPECT_EQ(rig.log.tones, (std::vector<std::vector<int>>{{2000, 120, 1000, 80}, {1000, 120, 2000, 80}}));
  for (int i = 0; i < 100; ++i) rig.monitor.OpenPort();  // E> COM Port already open
  EXPECT_EQ(rig.monitor.MessageText().size(), kMessagePaneLimit);
  EXPECT_EQ(rig.monitor.MessageText().find("Opened"), std::string::npos) << "the oldest lines are cut";
}

// Every listener hears every event until it is removed. The port's device going and coming back are
// events besides the COM status and a pane line each, and change nothing else.
TEST(Monitor, EveryListenerIsToldUntilRemoved) {
  MonitorRig rig;
  EventLog second(rig.link.Scheduler());
  rig.monitor.AddListener(second);
  rig.monitor.LineLost(1);
  EXPECT_EQ(std::string(rig.monitor.ComStatus().text), "COM Port Lost");
  EXPECT_EQ(rig.monitor.ComStatus().kind, StatusKind::kFault);
  rig.monitor.LineBack(1);
  EXPECT_EQ(std::string(rig.monitor.ComStatus().text), "COM Port Open");
  rig.monitor.OpenPort();
  rig.monitor.RemoveListener(second);
  rig.monitor.ClosePort();

  EXPECT_EQ(second.Count('-'), 1);
  EXPECT_EQ(second.Count('+'), 1);
  EXPECT_EQ(second.messages,
            (std::vector<std::string>{"E> COM Port Lost", "I> COM Port Reopened", "E> COM Port already open"}));
  EXPECT_EQ(second.tones[0], (std::vector<int>{2000, 120, 1000, 80}));
  EXPECT_EQ(second.tones[1], (std::vector<int>{1000, 120, 2000, 80}));
  EXPECT_EQ(rig.log.messages,
            (std::vector<std::string>{"I> COM Port Opened", "E> COM Port Lost", "I> COM Port Reopened",
                                      "E> COM Port already open", "I> COM Port Closed"}));
  EXPECT_EQ(rig.monitor.Mode(), kPortClosed);
}

// A value shown from before the port was lost or closed is stale, also once the port is back, until its
// own step reads it again: the variables read afterwards are current, the parameters not.
TEST(Monitor, ValuesGoStaleWhenThePortIsLostOrClosedUntilReadAgain) {
  for (const bool lost : {true, false}) {
    SCOPED_TRACE(lost ? "lost" : "closed");
    MonitorRig rig;
    rig.monitor.ReadParameters();
    ASSERT_TRUE(rig.RunUntilEvents('R', 1, 200'000));
    EXPECT_FALSE(rig.monitor.Fields().IsStale(Field::kLanguage));
    if (lost) {
      rig.link.Line().Unplug();
      rig.monitor.TestCommunication();
      ASSERT_TRUE(rig.RunUntilEvents('-', 1, 10'000));
    } else {
      rig.monitor.ClosePort();
    }
    EXPECT_TRUE(rig.monitor.Fields().IsStale(Field::kLanguage));
    EXPECT_EQ(rig.monitor.Fields().Text(Field::kLanguage), "EN");
    if (lost) {
      rig.link.Line().PlugIn();
      ASSERT_TRUE(rig.RunUntilEvents('+', 1, 10'000));
      rig.link.RunUntil([&] { return rig.monitor.Mode() == kPortOpen; }, 10'000);
    } else {
      rig.monitor.OpenPort();
    }
    rig.monitor.StartReadingVariables();
    ASSERT_TRUE(rig.RunUntilEvents('P', 1, 200'000));
    EXPECT_FALSE(rig.monitor.Fields().IsStale(Field::kSlabTemp));
    EXPECT_TRUE(rig.monitor.Fields().IsStale(Field::kLanguage));
  }
}

}  // namespace
}  // namespace gelvar::testing
