// The monitor's operations as a user starts them: what each does in each communication mode, the
// ranges of the answers it asks for, and the message pane. Time stands still unless a
// test runs the link.
#include <gtest/gtest.h>

#include <array>

#include "core/monitor/message_pane.h"
#include "core/monitor/monitor.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

constexpr int kSameMode = -1;

// What one operation does in one mode: its result, the line it adds on top of the pane, what it asks
// and does on the line ("ask", "open", "close"), and the mode it leaves.
struct Cell {
  Status status;
  const char* line = "";
  const char* calls = "";
  int modeAfter = kSameMode;
};
constexpr Status kRefused = Status::kRefused;
const Cell kNotOpen{kRefused, "E> COM Port NOT Open"}, kInUse{kRefused, "E> Communication in use"};
const Cell kCmdRuns{kRefused, "E> Command in progress"}, kOpenAlready{kRefused, "E> COM Port already open"};
const Cell kStillReading{kRefused, "E> Reading still in progress"}, kStillLogging{kRefused, "E> Logging still active"};
const Cell kNotReading{kRefused, "E> Reading variables not active"}, kNotLogging{kRefused, "E> Logging not active"};
const Cell kNoLogFile{kRefused, "E> Logfile not opened"}, kLogFileAlready{kRefused, "E> Logfile already opened"};
const Cell kReadingAlready{kRefused, "E> Reading variables already started"};
const Cell kStarts{Status::kStarted}, kAsksAndStarts{Status::kStarted, "", "ask"};
const Cell kDoes{Status::kDone}, kAsks{Status::kDone, "", "ask"}, kCloses{Status::kDone, "", "close"};
const Cell kOpens{Status::kDone, "I> COM Port Opened", "open", kPortOpen};
const Cell kClosedAlready{Status::kDone, "I> COM Port Closed"};
const Cell kClosesPort{Status::kDone, "I> COM Port Closed", "close", kPortClosed};
const Cell kSaves{Status::kDone, "I> Parameters stored in file ' report.par '", "ask"};
const Cell kReadsParameters{Status::kStarted, "", "", kReadingParameters};
const Cell kStartsReading{Status::kStarted, "I> Reading variables started", "", kReadingVariables};
const Cell kStopsReading{Status::kDone, "I> Reading variables stopped", "", kPortOpen};
const Cell kStopsLogging{Status::kDone, "I> Log stored in file ' variables.log '", "", kReadingVariables};

// The operations that ask, answered all yes, the COM port 7 and the log interval 7 minutes.
Result SetComPort7(MonitorRig& r) { return r.monitor.SetComPort(r.Asked(std::optional(7))); }
Result ChooseDevice(MonitorRig& r) { return r.monitor.MayChooseSerialDevice(); }
Result FactorySettings(MonitorRig& r) { return r.monitor.FactorySettings(r.Asked(true)); }
Result SaveParameters(MonitorRig& r) { return r.monitor.SaveParameters(r.Asked(std::optional(r.reportPath))); }
Result SetLogInterval7(MonitorRig& r) { return r.monitor.SetLogInterval(r.Asked(std::optional(7))); }
Result OpenLogFile(MonitorRig& r) { return r.monitor.OpenLogFile(r.Asked(std::optional(r.logPath))); }
Result SensorTest(MonitorRig& r) { return r.monitor.SensorTest(r.Asked(true)); }
Result Update(MonitorRig& r) { return r.monitor.Update(r.Asked(true)); }
Result Exit(MonitorRig& r) { return r.monitor.Exit(), Result::Done(); }

struct OperationRow {
  const char* name;
  Operation run;
  std::array<Cell, 6> inMode;  // kPortClosed to kLoggingVariables
};

// clang-format off
const OperationRow kOperations[] = {
    {"SetComPort", SetComPort7, {kAsks, kOpenAlready, kOpenAlready, kOpenAlready, kOpenAlready, kOpenAlready}},
    {"ChooseSerialDevice", ChooseDevice, {kDoes, kOpenAlready, kOpenAlready, kOpenAlready, kOpenAlready, kOpenAlready}},
    {"OpenPort", op::OpenPort, {kOpens, kOpenAlready, kOpenAlready, kOpenAlready, kOpenAlready, kOpenAlready}},
    {"ClosePort", op::ClosePort, {kClosedAlready, kClosesPort, kInUse, kInUse, kInUse, kInUse}},
    {"TestCommunication", op::TestCommunication, {kNotOpen, kStarts, kInUse, kInUse, kInUse, kInUse}},
    {"StartMinHeatTime", op::StartMinHeatTime, {kNotOpen, kStarts, kCmdRuns, kInUse, kInUse, kInUse}},
    {"StopMinHeatTime", op::StopMinHeatTime, {kNotOpen, kStarts, kCmdRuns, kInUse, kInUse, kInUse}},
    {"StartCycleSensor1", op::StartCycleSensor1, {kNotOpen, kStarts, kCmdRuns, kInUse, kInUse, kInUse}},
    {"FactorySettings", FactorySettings, {kNotOpen, kAsksAndStarts, kCmdRuns, kInUse, kInUse, kInUse}},
    {"ReadParameters", op::ReadParameters, {kNotOpen, kReadsParameters, kInUse, kStillReading, kInUse, kInUse}},
    {"SaveParameters", SaveParameters, {kSaves, kSaves, kSaves, kStillReading, kSaves, kSaves}},
    {"StartReadingVariables", op::StartReadingVariables,
     {kNotOpen, kStartsReading, kInUse, kInUse, kReadingAlready, kInUse}},
    {"StopReadingVariables", op::StopReadingVariables,
     {kNotReading, kNotReading, kNotReading, kNotReading, kStopsReading, kStillLogging}},
    {"SetLogInterval", SetLogInterval7, {kAsks, kAsks, kAsks, kAsks, kAsks, kAsks}},
    {"OpenLogFile", OpenLogFile, {kAsks, kLogFileAlready, kAsks, kAsks, kAsks, kStillLogging}},
    {"StartLogging", op::StartLogging, {kNotOpen, kNotReading, kNotReading, kNotReading, kNoLogFile, kStillLogging}},
    {"StopLogging", op::StopLogging,
     {kNotLogging, kNotLogging, kNotLogging, kNotLogging, kNotLogging, kStopsLogging}},
    {"SensorTest", SensorTest, {kNotOpen, kAsks, kInUse, kInUse, kInUse, kInUse}},
    {"Update", Update, {kNotOpen, kAsks, kInUse, kInUse, kInUse, kInUse}},
    {"Exit", Exit, {kCloses, kCloses, kCloses, kCloses, kCloses, kCloses}},
};
// clang-format on

const char* const kModeNames[] = {"PortClosed",        "PortOpen",         "CommandRunning",
                                  "ReadingParameters", "ReadingVariables", "LoggingVariables"};

// The operations that lead from the start to each mode. In PortOpen a log file has been chosen; in
// CommandRunning the second Test Communication found the first still in progress; in ReadingVariables
// logging has stopped, which used the chosen log file up.
const std::vector<Operation> kWayToMode[] = {
    {},
    {op::OpenPort, op::OpenLogFile},
    {op::OpenPort, op::TestCommunication, op::TestCommunication},
    {op::OpenPort, op::ReadParameters},
    {op::OpenPort, op::StartReadingVariables, op::OpenLogFile, op::StartLogging, op::StopLogging},
    {op::OpenPort, op::StartReadingVariables, op::OpenLogFile, op::StartLogging},
};

class OperationInMode : public ::testing::TestWithParam<std::tuple<std::size_t, int>> {};

TEST_P(OperationInMode, ActsOrRefusesAsTheModeAllows) {
  const auto [row, mode] = GetParam();
  MonitorRig rig(nullptr, false);
  for (const Operation step : kWayToMode[mode]) step(rig);
  ASSERT_EQ(rig.monitor.Mode(), mode) << "the way into the mode";
  rig.calls.clear();
  const std::size_t before = rig.monitor.MessageText().size();
  const Cell& cell = kOperations[row].inMode[static_cast<std::size_t>(mode)];

  EXPECT_EQ(kOperations[row].run(rig).status, cell.status);
  const std::string& pane = rig.monitor.MessageText();
  EXPECT_EQ(pane.substr(0, pane.size() - before), cell.line + std::string(*cell.line ? "\r\n" : ""));
  EXPECT_EQ(rig.calls, cell.calls);
  EXPECT_EQ(rig.monitor.Mode(), cell.modeAfter == kSameMode ? mode : cell.modeAfter);
}

std::string OperationAndMode(const ::testing::TestParamInfo<std::tuple<std::size_t, int>>& info) {
  return std::string(kOperations[std::get<0>(info.param)].name) + "_In" + kModeNames[std::get<1>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Monitor, OperationInMode,
                         ::testing::Combine(::testing::Range<std::size_t>(0, std::size(kOperations)),
                                            ::testing::Range(0, 6)),
                         OperationAndMode);

struct AnswerRow {
  const char* name;
  Result (Monitor::*set)(const Answer<int>&);
  int (Monitor::*get)() const;
  std::optional<int> answer;
  int kept;  // the setting afterwards; the rig starts from 9 (port) and 7 (minutes)
};

class NumberAnswer : public ::testing::TestWithParam<AnswerRow> {};

TEST_P(NumberAnswer, IsTakenOnlyWithinItsRange) {
  MonitorRig rig(nullptr, false);
  rig.monitor.SetComPort(Given(9));
  rig.monitor.SetLogInterval(Given(7));
  (rig.monitor.*GetParam().set)([this] { return GetParam().answer; });
  EXPECT_EQ((rig.monitor.*GetParam().get)(), GetParam().kept);
}

const AnswerRow kAnswers[] = {
    {"ComPort0IsRefused", &Monitor::SetComPort, &Monitor::ComPortNumber, 0, 9},
    {"ComPort1IsTaken", &Monitor::SetComPort, &Monitor::ComPortNumber, 1, 1},
    {"ComPort255IsTaken", &Monitor::SetComPort, &Monitor::ComPortNumber, 255, 255},
    {"ComPort256IsRefused", &Monitor::SetComPort, &Monitor::ComPortNumber, 256, 9},
    {"LogInterval0IsRefused", &Monitor::SetLogInterval, &Monitor::LogMinutes, 0, 7},
    {"LogInterval1IsTaken", &Monitor::SetLogInterval, &Monitor::LogMinutes, 1, 1},
    {"LogInterval60IsTaken", &Monitor::SetLogInterval, &Monitor::LogMinutes, 60, 60},
    {"LogInterval61IsRefused", &Monitor::SetLogInterval, &Monitor::LogMinutes, 61, 7},
};
INSTANTIATE_TEST_SUITE_P(Monitor, NumberAnswer, ::testing::ValuesIn(kAnswers), kByName);

TEST(Monitor, AFailedOpenLeavesThePortClosedWithoutALine) {
  MonitorRig rig(nullptr, false);
  rig.link.Line().Unplug();
  const Status status = rig.monitor.OpenPort().status;
  EXPECT_EQ(
      std::tuple(status, rig.monitor.Mode(), std::string(rig.monitor.ComStatus().text), rig.monitor.MessageText()),
      std::tuple(Status::kFailed, kPortClosed, std::string("COM Port Closed"), std::string()));
}

struct CancelRow {
  const char* name;
  Result (*run)(MonitorRig&);
};

class CancelledAnswer : public ::testing::TestWithParam<CancelRow> {};

// Then the next command begins its own step without refusal, and no file was written.
TEST_P(CancelledAnswer, DoesNothing) {
  MonitorRig rig;
  const Status status = GetParam().run(rig).status;
  const Status next = rig.monitor.TestCommunication().status;
  EXPECT_EQ(std::tuple(status, next, rig.monitor.MessageText(), rig.memoryFiles.files.size()),
            std::tuple(Status::kCancelled, Status::kStarted, "I> COM Port Opened\r\n", 0u));
}

const Confirm kNo = [] { return false; };
const Answer<std::string> kNoFile = [] { return std::optional<std::string>(); };
const CancelRow kCancels[] = {
    {"FactorySettings", [](MonitorRig& r) { return r.monitor.FactorySettings(kNo); }},
    {"Update", [](MonitorRig& r) { return r.monitor.Update(kNo); }},
    {"SaveParameters", [](MonitorRig& r) { return r.monitor.SaveParameters(kNoFile); }},
    {"OpenLogFile", [](MonitorRig& r) { return r.monitor.OpenLogFile(kNoFile); }},
};
INSTANTIATE_TEST_SUITE_P(Monitor, CancelledAnswer, ::testing::ValuesIn(kCancels), kByName);

// 39 lines of 26 characters and ten of the fortieth.
TEST(MessagePane, KeepsTheNewest1024Characters) {
  MonitorRig rig;
  for (int i = 0; i < 40; ++i) rig.monitor.OpenPort();
  EXPECT_EQ(std::pair(rig.monitor.MessageText().size(), rig.monitor.MessageText().substr(1014)),
            std::pair(std::size_t{1024}, std::string("E> COM Por")));
}

TEST(MessagePane, InformationLinesSoundARisingPairAndErrorLinesAFallingOne) {
  MonitorRig rig;
  rig.monitor.OpenPort();
  EXPECT_EQ(rig.log.tones, (std::vector<std::vector<int>>{{1000, 120, 2000, 80}, {2000, 120, 1000, 80}}));
}

TEST(MessagePane, CodesOutsideTheTableGiveNoLine) {
  EXPECT_EQ(MessageLine(0, {}) + MessageLine(kLastMessageCode + 1, {}), "");
}

}  // namespace
}  // namespace gelvar::testing
