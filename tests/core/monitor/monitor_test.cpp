// The monitor's operations as a user starts them: what each does in each communication mode, the
// ranges of the answers it asks for, the message pane, and the listeners. Time stands still unless a
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
const Cell kNotOpen{Status::kRefused, "E> COM Port NOT Open"};
const Cell kInUse{Status::kRefused, "E> Communication in use"};
const Cell kCommandInProgress{Status::kRefused, "E> Command in progress"};
const Cell kAlreadyOpen{Status::kRefused, "E> COM Port already open"};
const Cell kStillReading{Status::kRefused, "E> Reading still in progress"};
const Cell kNotReading{Status::kRefused, "E> Reading variables not active"};
const Cell kStillLogging{Status::kRefused, "E> Logging still active"};
const Cell kNotLogging{Status::kRefused, "E> Logging not active"};
const Cell kStarts{Status::kStarted};
const Cell kAsksAndDoes{Status::kDone, "", "ask"};
const Cell kCloses{Status::kDone, "", "close"};
const Cell kSaves{Status::kDone, "I> Parameters stored in file ' report.par '", "ask"};

struct OperationRow {
  const char* name;
  Result (*run)(MonitorRig&);
  std::array<Cell, 6> inMode;  // kPortClosed to kLoggingVariables
};

// The answers are all yes, the COM port 7 and the log interval 7 minutes.
// clang-format off
const OperationRow kOperations[] = {
    {"SetComPort", [](MonitorRig& r) { return r.monitor.SetComPort(r.Asked(std::optional(7))); },
     {kAsksAndDoes, kAlreadyOpen, kAlreadyOpen, kAlreadyOpen, kAlreadyOpen, kAlreadyOpen}},
    {"ChooseSerialDevice", [](MonitorRig& r) { return r.monitor.MayChooseSerialDevice(); },
     {Cell{Status::kDone}, kAlreadyOpen, kAlreadyOpen, kAlreadyOpen, kAlreadyOpen, kAlreadyOpen}},
    {"OpenPort", op::OpenPort,
     {Cell{Status::kDone, "I> COM Port Opened", "open", kPortOpen}, kAlreadyOpen, kAlreadyOpen, kAlreadyOpen,
      kAlreadyOpen, kAlreadyOpen}},
    {"ClosePort", op::ClosePort,
     {Cell{Status::kDone, "I> COM Port Closed"}, Cell{Status::kDone, "I> COM Port Closed", "close", kPortClosed},
      kInUse, kInUse, kInUse, kInUse}},
    {"TestCommunication", op::TestCommunication, {kNotOpen, kStarts, kInUse, kInUse, kInUse, kInUse}},
    {"StartMinHeatTime", op::StartMinHeatTime, {kNotOpen, kStarts, kCommandInProgress, kInUse, kInUse, kInUse}},
    {"StopMinHeatTime", op::StopMinHeatTime, {kNotOpen, kStarts, kCommandInProgress, kInUse, kInUse, kInUse}},
    {"StartCycleSensor1", op::StartCycleSensor1, {kNotOpen, kStarts, kCommandInProgress, kInUse, kInUse, kInUse}},
    {"FactorySettings", [](MonitorRig& r) { return r.monitor.FactorySettings(r.Asked(true)); },
     {kNotOpen, Cell{Status::kStarted, "", "ask"}, kCommandInProgress, kInUse, kInUse, kInUse}},
    {"ReadParameters", op::ReadParameters,
     {kNotOpen, Cell{Status::kStarted, "", "", kReadingParameters}, kInUse, kStillReading, kInUse, kInUse}},
    {"SaveParameters", [](MonitorRig& r) { return r.monitor.SaveParameters(r.Asked(std::optional(r.reportPath))); },
     {kSaves, kSaves, kSaves, kStillReading, kSaves, kSaves}},
    {"StartReadingVariables", op::StartReadingVariables,
     {kNotOpen, Cell{Status::kStarted, "I> Reading variables started", "", kReadingVariables}, kInUse, kInUse,
      Cell{Status::kRefused, "E> Reading variables already started"}, kInUse}},
    {"StopReadingVariables", op::StopReadingVariables,
     {kNotReading, kNotReading, kNotReading, kNotReading,
      Cell{Status::kDone, "I> Reading variables stopped", "", kPortOpen}, kStillLogging}},
    {"SetLogInterval", [](MonitorRig& r) { return r.monitor.SetLogInterval(r.Asked(std::optional(7))); },
     {kAsksAndDoes, kAsksAndDoes, kAsksAndDoes, kAsksAndDoes, kAsksAndDoes, kAsksAndDoes}},
    {"OpenLogFile", [](MonitorRig& r) { return r.monitor.OpenLogFile(r.Asked(std::optional(r.logPath))); },
     {kAsksAndDoes, kAsksAndDoes, kAsksAndDoes, kAsksAndDoes, kAsksAndDoes, kStillLogging}},
    {"StartLogging", op::StartLogging,
     {kNotOpen, kNotReading, kNotReading, kNotReading, Cell{Status::kRefused, "E> Logfile not opened"}, kStillLogging}},
    {"StopLogging", op::StopLogging,
     {kNotLogging, kNotLogging, kNotLogging, kNotLogging, kNotLogging,
      Cell{Status::kDone, "I> Log stored in file ' variables.log '", "", kReadingVariables}}},
    {"SensorTest", [](MonitorRig& r) { return r.monitor.SensorTest(r.Asked(true)); },
     {kNotOpen, kAsksAndDoes, kInUse, kInUse, kInUse, kInUse}},
    {"Update", [](MonitorRig& r) { return r.monitor.Update(r.Asked(true)); },
     {kNotOpen, kAsksAndDoes, kInUse, kInUse, kInUse, kInUse}},
    {"Exit", [](MonitorRig& r) { r.monitor.Exit(); return Result::Done(); },
     {kCloses, kCloses, kCloses, kCloses, kCloses, kCloses}},
};
// clang-format on

const char* const kModeNames[] = {"PortClosed",        "PortOpen",         "CommandRunning",
                                  "ReadingParameters", "ReadingVariables", "LoggingVariables"};

// The operations that lead from the start to each mode; in CommandRunning the second Test
// Communication found the first still in progress.
const std::vector<Operation> kWayToMode[] = {
    {},
    {op::OpenPort},
    {op::OpenPort, op::TestCommunication, op::TestCommunication},
    {op::OpenPort, op::ReadParameters},
    {op::OpenPort, op::StartReadingVariables},
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

INSTANTIATE_TEST_SUITE_P(Monitor, OperationInMode,
                         ::testing::Combine(::testing::Range<std::size_t>(0, std::size(kOperations)),
                                            ::testing::Range(0, 6)),
                         [](const auto& info) {
                           return std::string(kOperations[std::get<0>(info.param)].name) + "_In" +
                                  kModeNames[std::get<1>(info.param)];
                         });

TEST(Monitor, StartLoggingWithALogFileChosenStartsLogging) {
  MonitorRig rig;
  rig.monitor.StartReadingVariables();
  rig.OpenLogFile();
  EXPECT_EQ(rig.monitor.StartLogging().status, Status::kStarted);
  EXPECT_EQ(rig.TopLine(), "I> Logging started");
}

TEST(Monitor, AChosenLogFileRefusesAnotherWithLogfileAlreadyOpened) {
  MonitorRig rig;
  rig.OpenLogFile();
  EXPECT_EQ(rig.OpenLogFile().status, Status::kRefused);
  EXPECT_EQ(rig.TopLine(), "E> Logfile already opened");
}

TEST(Monitor, AfterStopLoggingANewLogFileIsNeeded) {
  MonitorRig rig;
  rig.monitor.StartReadingVariables();
  rig.OpenLogFile();
  rig.monitor.StartLogging();
  rig.monitor.StopLogging();
  EXPECT_EQ(rig.monitor.StartLogging().status, Status::kRefused);
  EXPECT_EQ(rig.TopLine(), "E> Logfile not opened");
}

struct AnswerRow {
  const char* name;
  Result (Monitor::*set)(const Answer<int>&);
  int (Monitor::*get)() const;
  std::optional<int> answer;
  int kept;  // the setting afterwards; the rig starts from 9 (port) and 7 (minutes)
};

class NumberAnswer : public ::testing::TestWithParam<AnswerRow> {};

TEST_P(NumberAnswer, IsTakenOnlyWithinItsRange) {
  const AnswerRow& row = GetParam();
  MonitorRig rig(nullptr, false);
  rig.monitor.SetComPort(Given(9));
  rig.monitor.SetLogInterval(Given(7));
  (rig.monitor.*row.set)([&] { return row.answer; });
  EXPECT_EQ((rig.monitor.*row.get)(), row.kept);
}

const AnswerRow kAnswers[] = {
    {"ComPort0IsRefused", &Monitor::SetComPort, &Monitor::ComPortNumber, 0, 9},
    {"ComPort1IsTaken", &Monitor::SetComPort, &Monitor::ComPortNumber, 1, 1},
    {"ComPort255IsTaken", &Monitor::SetComPort, &Monitor::ComPortNumber, 255, 255},
    {"ComPort256IsRefused", &Monitor::SetComPort, &Monitor::ComPortNumber, 256, 9},
    {"ComPortCancelledKeepsThePort", &Monitor::SetComPort, &Monitor::ComPortNumber, std::nullopt, 9},
    {"LogInterval0IsRefused", &Monitor::SetLogInterval, &Monitor::LogMinutes, 0, 7},
    {"LogInterval1IsTaken", &Monitor::SetLogInterval, &Monitor::LogMinutes, 1, 1},
    {"LogInterval60IsTaken", &Monitor::SetLogInterval, &Monitor::LogMinutes, 60, 60},
    {"LogInterval61IsRefused", &Monitor::SetLogInterval, &Monitor::LogMinutes, 61, 7},
};
INSTANTIATE_TEST_SUITE_P(Monitor, NumberAnswer, ::testing::ValuesIn(kAnswers), kByName);

TEST(Monitor, StartsWithPort1AndFiveMinutes) {
  MonitorRig rig(nullptr, false);
  EXPECT_EQ(std::tuple(rig.monitor.ComPortNumber(), rig.monitor.LogMinutes()), std::tuple(1, 5));
}

TEST(Monitor, ALogIntervalOf60MinutesMakesTheLoggingBar3600Seconds) {
  MonitorRig rig(nullptr, false);
  rig.monitor.SetLogInterval(Given(60));
  EXPECT_EQ(rig.monitor.ProgressRange().logging, 3600);
}

TEST(Monitor, OpenPortOpensTheChosenComPort) {
  MonitorRig rig(nullptr, false);
  rig.monitor.SetComPort(Given(7));
  rig.monitor.OpenPort();
  EXPECT_EQ(rig.line.openedPorts, std::vector<int>{7});
}

TEST(Monitor, AFailedOpenLeavesThePortClosedWithoutALine) {
  MonitorRig rig(nullptr, false);
  rig.link.Line().Unplug();
  EXPECT_EQ(rig.monitor.OpenPort().status, Status::kFailed);
  EXPECT_EQ(std::tuple(rig.monitor.Mode(), std::string(rig.monitor.ComStatus().text), rig.monitor.MessageText()),
            std::tuple(kPortClosed, std::string("COM Port Closed"), std::string()));
}

struct CancelRow {
  const char* name;
  Result (*run)(MonitorRig&);
};

class CancelledAnswer : public ::testing::TestWithParam<CancelRow> {};

// Then the next command begins its own step without refusal, and no file was written.
TEST_P(CancelledAnswer, DoesNothing) {
  MonitorRig rig;
  EXPECT_EQ(GetParam().run(rig).status, Status::kCancelled);
  EXPECT_EQ(rig.monitor.TestCommunication().status, Status::kStarted);
  EXPECT_EQ(rig.monitor.MessageText(), "I> COM Port Opened\r\n");
  EXPECT_TRUE(rig.memoryFiles.files.empty());
}

const Confirm kNo = [] { return false; };
const Answer<std::string> kNoFile = [] { return std::optional<std::string>(); };
const CancelRow kCancels[] = {
    {"FactorySettings", [](MonitorRig& r) { return r.monitor.FactorySettings(kNo); }},
    {"SensorTest", [](MonitorRig& r) { return r.monitor.SensorTest(kNo); }},
    {"Update", [](MonitorRig& r) { return r.monitor.Update(kNo); }},
    {"SaveParameters", [](MonitorRig& r) { return r.monitor.SaveParameters(kNoFile); }},
    {"OpenLogFile", [](MonitorRig& r) { return r.monitor.OpenLogFile(kNoFile); }},
};
INSTANTIATE_TEST_SUITE_P(Monitor, CancelledAnswer, ::testing::ValuesIn(kCancels), kByName);

TEST(Monitor, AReportThatCannotBeWrittenFailsWithItsBoxAndNoLine) {
  MonitorRig rig;
  rig.memoryFiles.unwritable = {rig.reportPath};
  EXPECT_EQ(rig.SaveParameters(),
            Result::Failed("Error open parameter file: DateiParName\nreport.par: Read-only file system"));
  EXPECT_EQ(rig.monitor.MessageText(), "I> COM Port Opened\r\n");
}

// 39 lines of 26 characters and ten of the fortieth.
TEST(MessagePane, KeepsTheNewest1024Characters) {
  MonitorRig rig;
  for (int i = 0; i < 40; ++i) rig.monitor.OpenPort();
  EXPECT_EQ(rig.monitor.MessageText().size(), 1024u);
  EXPECT_EQ(rig.monitor.MessageText().substr(1014), "E> COM Por");
}

TEST(MessagePane, ErrorLinesSoundAFallingPair) {
  MonitorRig rig(nullptr, false);
  rig.monitor.TestCommunication();
  EXPECT_EQ(rig.log.tones, (std::vector<std::vector<int>>{{2000, 120, 1000, 80}}));
}

TEST(MessagePane, InformationLinesSoundARisingPair) {
  MonitorRig rig;
  EXPECT_EQ(rig.log.tones, (std::vector<std::vector<int>>{{1000, 120, 2000, 80}}));
}

TEST(MessagePane, CodesOutsideTheTableGiveNoLine) {
  EXPECT_EQ(MessageLine(0, {}) + MessageLine(kLastMessageCode + 1, {}), "");
}

TEST(Monitor, AListenerRemovedHearsNoMore) {
  MonitorRig rig;
  EventLog second(rig.link.Scheduler());
  rig.monitor.AddListener(second);
  rig.monitor.OpenPort();
  rig.monitor.RemoveListener(second);
  rig.monitor.ClosePort();
  EXPECT_EQ(second.messages, std::vector<std::string>{"E> COM Port already open"});
}

TEST(Monitor, ALostPortShowsInTheStatusAndThePane) {
  MonitorRig rig;
  rig.monitor.LineLost(1);
  EXPECT_EQ(std::tuple(std::string(rig.monitor.ComStatus().text), rig.TopLine(), rig.log.Count('-')),
            std::tuple(std::string("COM Port Lost"), std::string("E> COM Port Lost"), 1));
}

TEST(Monitor, APortBackShowsInTheStatusAndThePane) {
  MonitorRig rig;
  rig.monitor.LineLost(1);
  rig.monitor.LineBack(1);
  EXPECT_EQ(std::tuple(std::string(rig.monitor.ComStatus().text), rig.TopLine(), rig.log.Count('+')),
            std::tuple(std::string("COM Port Open"), std::string("I> COM Port Reopened"), 1));
}

TEST(Monitor, ClosingThePortMakesTheValuesShownStale) {
  MonitorRig rig;
  rig.monitor.ClosePort();
  EXPECT_TRUE(rig.monitor.Fields().IsStale(Field::kLanguage));
}

TEST(Monitor, AValueReadAgainIsNoLongerStale) {
  MonitorRig rig;
  rig.monitor.LineLost(1);
  rig.monitor.StartReadingVariables();
  ASSERT_TRUE(rig.RunUntilEvents('P', 1, 10'000));
  EXPECT_EQ(std::pair(rig.monitor.Fields().IsStale(Field::kSlabTemp), rig.monitor.Fields().IsStale(Field::kLanguage)),
            std::pair(false, true));
}

}  // namespace
}  // namespace gelvar::testing
