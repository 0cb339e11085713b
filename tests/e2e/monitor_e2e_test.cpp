// The main window's logic against the simulated unit in virtual time: parameters, log, commands and
// their frames on the line, and what a paused process or a calendar clock set by hand does to them.
#include <gtest/gtest.h>

#include <clocale>

#include "core/monitor/value_format.h"
#include "core/monitor/variable_log.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

TEST(MonitorEndToEnd, ASilentUnitGivesOneNoReplyLinePerParameterThenReadingParametersOK) {
  MonitorRig rig;
  rig.Unit().Faults().silent = true;
  rig.monitor.ReadParameters();
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 200'000));
  EXPECT_EQ(
      rig.monitor.MessageText(),
      "I> Reading parameters OK\r\nE> No reply at ID: 0C0C\r\nE> No reply at ID: 0C0B\r\nE> No reply at ID: 3008\r\n"
      "E> No reply at ID: 0C93\r\nE> No reply at ID: 0C06\r\nE> No reply at ID: 0C83\r\nE> No reply at ID: 0C05\r\n"
      "E> No reply at ID: 0C92\r\nE> No reply at ID: 0C04\r\nE> No reply at ID: 0C82\r\nE> No reply at ID: 0C03\r\n"
      "E> No reply at ID: 3002\r\nE> No reply at ID: 0C91\r\nE> No reply at ID: 0C02\r\nE> No reply at ID: 3000\r\n"
      "E> No reply at ID: 0C81\r\nE> No reply at ID: 0C01\r\nE> No reply at ID: 3003\r\nI> COM Port Opened\r\n");
}

struct TimeJumpRow {
  const char* name;
  std::int64_t frozenMs;
  std::time_t calendarStepS;
};
class PauseOrClockStep : public ::testing::TestWithParam<TimeJumpRow> {};

// Reading and logging once a minute against a unit that answers after 100 ms, 50 ms after the tick's
// period was measured (where a calendar-clock measurement went most wrong). For five minutes on, the
// records stay a log interval apart in the time the program ran.
TEST_P(PauseOrClockStep, ChangesNeitherReadingNorLogging) {
  MonitorRig rig;
  VirtualScheduler& scheduler = rig.link.Scheduler();
  rig.Unit().Faults().latencyMs = 100;
  rig.StartLogging();
  ASSERT_TRUE(rig.link.RunUntil([&] { return rig.log.Count('L') == 2 && scheduler.NowMs() % 10000 == 50; }, 80000));
  scheduler.Freeze(GetParam().frozenMs);
  scheduler.SetCalendarBy(GetParam().calendarStepS);
  ASSERT_TRUE(rig.RunUntilEvents('L', 7, 6 * 60000));
  const std::vector<Event> written = rig.log.Of('L');
  for (std::size_t k = 2; k < written.size(); ++k)
    EXPECT_NEAR(written[k].ms - written[k - 1].ms - (k == 2 ? GetParam().frozenMs : 0), 60000, 5000) << "record " << k;
}

const TimeJumpRow kTimeJumps[] = {
    {"ProcessStoppedFor11s", 11'000, 0}, {"ClockSetBack200s", 0, -200}, {"ClockSetForwardAnHour", 0, 3600}};
INSTANTIATE_TEST_SUITE_P(, PauseOrClockStep, ::testing::ValuesIn(kTimeJumps), kByName);

// The parameters and one pass of a unit whose every variable is pinned, then two logging runs of one record each into
// one file: the file, every field's text, and the runs' start times.
std::tuple<std::string, std::string, std::vector<std::time_t>> LogTwoRuns() {
  MonitorRig rig;
  std::string fields;
  std::vector<std::time_t> when;
  const std::pair<std::uint32_t, Bytes> objects[] = {
      {0x3000, {1, 0, 0xA1, 0}},   {0x3001, {3, 7}},       {0x0C00, {4, 1, 2, 5}},          {0x0C07, Words(6250, 5940)},
      {0x0C08, {1, 0, 45, 0}},     {0x0C80, {8, 1, 2, 0}}, {0x0C84, Words(6010, 5800)},     {0x0C85, {35, 0, 5, 10}},
      {0x0C86, Words(1215, 2350)}, {0x0C90, {3, 0, 0, 0}}, {0x0C94, Words(0x7FFE, 0x7F00)}, {0x0C95, {0, 0, 0, 0}},
      {0x0C96, Words(5, 65535)}};
  for (const auto& [id, data] : objects) rig.Unit().SetObject(id, data);
  rig.monitor.ReadParameters();
  EXPECT_TRUE(rig.RunUntilEvents('R', 1, 10000));
  rig.monitor.StartReadingVariables();
  EXPECT_TRUE(rig.RunUntilEvents('P', 1, 10000));
  for (const int run : {1, 2}) {
    if (run == 2) rig.monitor.StopLogging();
    rig.LogEveryMinute();
    EXPECT_TRUE(rig.RunUntilEvents('L', run, 1000));
    when.push_back(rig.link.Scheduler().CalendarTime());
  }
  for (const Field field : AllFields()) fields += rig.monitor.Fields().Text(field) + "|";
  return {rig.memoryFiles.files[rig.logPath], fields, when};
}

// Each run starts with both header lines and its set numbers at 00001; temperature codes from 0x7F00
// up log as -999,0.
TEST(MonitorEndToEnd, TwoLoggingRunsWriteTheirHeadersAndRecordsIntoOneFile) {
  const auto& [file, fields, when] = LogTwoRuns();
  std::string expected;
  for (const std::time_t at : when) {
    const std::string date = DateText(at), time = TimeText(at);
    expected += "Logfile Gelvar started " + date + " at " + time + ", Temperature Unit: \260C\r\n" + kLogColumns +
                "\r\n00001; " + date + "; " + time +
                ";161;775;  4;  5;  1;  2;   12,5;   -3,0;  45; 1; 1234; 5678"
                ";  8;  2;  1;    0,5;  -10,0; 35;  5; 10; 12,15;2350"
                ";  3;  0;  0; -999,0; -999,0;  0;  0;  0;  0,05;65535\r\n";
  }
  EXPECT_EQ(file, expected);
}

TEST(MonitorEndToEnd, AGermanLocaleChangesNoByteAndNoText) {
  const auto inC = LogTwoRuns();
  ASSERT_NE(std::get<1>(inC).find("| 12.5 \260C|"), std::string::npos) << "a decimal point on screen";
  ASSERT_TRUE(UseGermanLocale()) << "no German locale is installed";
  EXPECT_EQ(LogTwoRuns(), inC);
  std::setlocale(LC_ALL, "C");
}

struct CommandRow {
  const char* name;
  void (*faults)(unitsim::UnitFaults&);
  std::vector<Operation> operations;  // started one right after the other
  std::uint32_t objectId;             // of every request sent
  Bytes data;
  const char* pane;  // once every step has ended, above the line of the opened port
};
class Command : public ::testing::TestWithParam<CommandRow> {};

// A lost request is asked again with its data; the reply, or its lack, ends the command. A command
// started while another's step runs is refused, sends nothing, and leaves the monitor in
// CommandRunning until that step has ended.
TEST_P(Command, SendsItsFrameAndShowsTheOutcome) {
  MonitorRig rig;
  GetParam().faults(rig.Unit().Faults());
  for (const Operation operation : GetParam().operations) operation(rig);
  rig.link.RunFor(10'000);
  for (const auto& request : rig.Unit().Requests())
    EXPECT_EQ(std::tie(request.objectId, request.data), std::tie(GetParam().objectId, GetParam().data));
  EXPECT_EQ(std::tuple(rig.monitor.MessageText(), rig.monitor.Mode()),
            std::tuple(GetParam().pane + std::string("\r\nI> COM Port Opened\r\n"), kPortOpen));
}

void Silent(unitsim::UnitFaults& f) { f.silent = true; }
// clang-format off
const CommandRow kCommands[] = {
    {"StartMinHeatTimeAskedAgain", [](auto& f) { f.dropFirstRequests = 1; }, {op::StartMinHeatTime}, 0x0C09, {1, 0}, "I> Minimum Heat Time started"},
    {"TestCommunicationWrongSize", [](auto& f) { f.wrongCountRate = 1.0; }, {op::TestCommunication}, 0x3003, {}, "E> Wrong format response at ID: 3003"},
    {"FactorySettingsRefused", [](auto& f) { f.refuseCommands = true; }, {op::FactorySettings}, 0x3004, {1, 0}, "E> Wrong command response at ID: 3004"},
    {"TestCommunicationSilent", Silent, {op::TestCommunication}, 0x3003, {}, "E> No reply from detector unit"},
    {"StartMinHeatTimeSilent", Silent, {op::StartMinHeatTime}, 0x0C09, {1, 0}, "E> No reply at ID: 0C09"},
    {"WhileAStepRunsIsRefused", [](auto&) {}, {op::TestCommunication, op::StopMinHeatTime}, 0x3003, {}, "I> Communication OK\r\nE> Error initiating transfer"},
    {"WhileAStepWithoutReplyRunsIsRefused", Silent, {op::TestCommunication, op::StopMinHeatTime}, 0x3003, {}, "E> No reply from detector unit\r\nE> Error initiating transfer"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(MonitorEndToEnd, Command, ::testing::ValuesIn(kCommands), kByName);

struct MeanwhileRow {
  const char* name;
  std::vector<Operation> beforeReply;
  const char* reply;
  int modeAtReply;
};
class StartedWhileACommandRuns : public ::testing::TestWithParam<MeanwhileRow> {};

// A slow unit: what the user started before the command's reply keeps its mode when the reply comes.
TEST_P(StartedWhileACommandRuns, KeepsItsModeWhenTheReplyComes) {
  MonitorRig rig;
  rig.Unit().Faults().latencyMs = 500;
  for (const Operation operation : GetParam().beforeReply) {
    operation(rig);
    rig.link.RunFor(50);
  }
  ASSERT_TRUE(rig.link.RunUntil([&] { return rig.TopLine() == GetParam().reply; }, 5'000));
  EXPECT_EQ(rig.monitor.Mode(), GetParam().modeAtReply);
}

// clang-format off
const MeanwhileRow kMeanwhile[] = {
    {"ReadParameters", {op::TestCommunication, op::ReadParameters}, "I> Communication OK", kReadingParameters},
    {"ReadingVariables", {op::StartMinHeatTime, op::StartReadingVariables}, "I> Minimum Heat Time started", kReadingVariables},
    {"Logging", {op::FactorySettings, op::StartReadingVariables, op::OpenLogFile, op::StartLogging}, "I> Factory settings OK", kLoggingVariables},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(MonitorEndToEnd, StartedWhileACommandRuns, ::testing::ValuesIn(kMeanwhile), kByName);

}  // namespace
}  // namespace gelvar::testing
