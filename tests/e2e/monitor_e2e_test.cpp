// The main window's logic against the simulated unit in virtual time: readers, log, commands and
// their frames on the line, and what a paused process or a calendar clock set by hand does to them.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <ranges>
#include <utility>

#include "core/monitor/value_format.h"
#include "core/monitor/variable_log.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

TEST(MonitorEndToEnd, ReadParametersFillsEveryParameterField) {
  // clang-format off
  const std::pair<Field, const char*> expected[] = {
      {Field::kLanguage, "EN"}, {Field::kTempUnit, "\260C"}, {Field::kModeHeating, "Active"},
      {Field::kS1Type, "K720/21"}, {Field::kModeSystem, "On"}, {Field::kMinHeatingTime, "60 min"},
      {Field::kS2Type, "K720/21"}, {Field::kVersion, "1.04 B0316"}, {Field::kHighTempLimit, "    3 \260C"},
      {Field::kS1Mode, "Temp.+Moist."}, {Field::kLowTempLimit, "  -15 \260C"}, {Field::kS2Mode, "Temp.+Moist."},
      {Field::kIdleTemp, "   -3 \260C"}, {Field::kS1MoistLimit, "40"}, {Field::kHeatingMoistLimit, "50"},
      {Field::kS2MoistLimit, "40"}, {Field::kAlarmMode, "normal"}, {Field::kOpHours, "1234 h"},
      {Field::kOpHoursXWK, "5678 h"}, {Field::kSlabTemp, "undef."},
  };
  // clang-format on
  MonitorRig rig;
  rig.monitor.ReadParameters();
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 10'000));
  for (const auto& [field, text] : expected) EXPECT_EQ(rig.monitor.Fields().Text(field), text) << FieldName(field);
}

TEST(MonitorEndToEnd, ASilentUnitGivesOneNoReplyLinePerParameterThenReadingParametersOK) {
  MonitorRig rig;
  rig.Unit().Faults().silent = true;
  rig.monitor.ReadParameters();
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 200'000));
  std::vector<std::string> expected = {"I> Reading parameters OK"};
  for (const char* id : {"0C0C", "0C0B", "3008", "0C93", "0C06", "0C83", "0C05", "0C92", "0C04", "0C82", "0C03", "3002",
                         "0C91", "0C02", "3000", "0C81", "0C01", "3003"})
    expected.push_back(std::string("E> No reply at ID: ") + id);
  expected.push_back("I> COM Port Opened");
  EXPECT_EQ(FileLines(rig.monitor.MessageText()), expected);
}

TEST(MonitorEndToEnd, ASilentUnitLeavesTheParametersUndefined) {
  MonitorRig rig;
  rig.monitor.ReadParameters();
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 10'000));
  rig.Unit().Faults().silent = true;
  rig.monitor.ReadParameters();
  ASSERT_TRUE(rig.RunUntilEvents('R', 2, 200'000));
  EXPECT_EQ(rig.monitor.Fields().Text(Field::kVersion), "undef.");
}

// Logging starts while the step of 0C84 waits for its reply (latency 100 ms): the window shows that
// step in progress, the record what the pass before read.
void StartLoggingWhile0C84Waits(MonitorRig& rig) {
  rig.PinTemperatures();
  rig.Unit().Faults().latencyMs = 100;
  rig.monitor.StartReadingVariables();
  ASSERT_TRUE(rig.RunUntilEvents('P', 1, 60'000));
  ASSERT_TRUE(rig.link.RunUntil([&] { return rig.Unit().Requests().back().objectId == 0x0C84; }, 60'000));
  rig.LogEveryMinute();
  ASSERT_TRUE(rig.RunUntilEvents('L', 1, 100));
}

TEST(MonitorEndToEnd, TheFirstRecordHoldsWhatThePassBeforeReadForTheStepInProgress) {
  MonitorRig rig;
  StartLoggingWhile0C84Waits(rig);
  EXPECT_EQ(std::tuple(HoldsUnreadValues(RecordLines(rig.memoryFiles.files[rig.logPath]).at(0)),
                       rig.monitor.Fields().Text(Field::kS1Temp)),
            std::tuple(false, std::string("undef.")));
}

TEST(MonitorEndToEnd, TheFirstRecordLogsAFailedReadingAsUnread) {
  MonitorRig rig;
  rig.Unit().Faults().silentObjects = {0x0C84};
  StartLoggingWhile0C84Waits(rig);
  EXPECT_TRUE(HoldsUnreadValues(RecordLines(rig.memoryFiles.files[rig.logPath]).at(0)));
}

struct TimeJumpRow {
  const char* name;
  std::int64_t frozenMs;
  std::time_t calendarStepS;
};

class PauseOrClockStep : public ::testing::TestWithParam<TimeJumpRow> {};

// Just after the tick's period was measured. For five minutes on, passes follow each other as usual
// and read every value, no request goes out twice, and the records stay a log interval apart in the
// time the program ran.
TEST_P(PauseOrClockStep, ChangesNeitherReadingNorLogging) {
  MonitorRig rig;
  VirtualScheduler& scheduler = rig.link.Scheduler();
  StartLoggingWhile0C84Waits(rig);
  ASSERT_TRUE(rig.link.RunUntil([&] { return rig.log.Count('L') == 2 && scheduler.NowMs() % 10000 == 50; }, 80000));
  scheduler.Freeze(GetParam().frozenMs);
  scheduler.SetCalendarBy(GetParam().calendarStepS);
  std::int64_t passStartMs = scheduler.NowMs();
  const std::size_t requestsBefore = rig.Unit().Requests().size();
  const std::size_t eventsBefore = rig.log.events.size();
  ASSERT_TRUE(rig.RunUntilEvents('L', 7, 6 * 60000));

  const auto& requests = rig.Unit().Requests();
  EXPECT_EQ(std::adjacent_find(requests.begin() + requestsBefore - 1, requests.end(),
                               [](const auto& a, const auto& b) { return a.objectId == b.objectId; }),
            requests.end());
  for (const Event& e : rig.log.events | std::views::drop(eventsBefore)) {
    EXPECT_EQ(e.outcome, StepOutcome::kAccepted) << e.ms;
    if (e.kind == 'P') {
      EXPECT_LT(e.ms - std::exchange(passStartMs, e.ms), 6000) << "a pass and its pause";
    }
  }
  const std::vector<Event> written = rig.log.Of('L');
  for (std::size_t k = 2; k < written.size(); ++k) {
    EXPECT_NEAR(written[k].ms - written[k - 1].ms - (k == 2 ? GetParam().frozenMs : 0), 60000, 5000)
        << "record " << k + 1;
  }
}

const TimeJumpRow kTimeJumps[] = {
    {"ProcessStoppedFor11s", 11'000, 0},
    {"ClockSetBack200s", 0, -200},
    {"ClockSetForwardAnHour", 0, 3600},
};
INSTANTIATE_TEST_SUITE_P(, PauseOrClockStep, ::testing::ValuesIn(kTimeJumps), kByName);

// One pass of a unit whose every variable is pinned, then two logging runs of one record each into
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
  struct CLocaleAtEnd {
    ~CLocaleAtEnd() { std::setlocale(LC_ALL, "C"); }
  } restore;
  const auto inC = LogTwoRuns();
  ASSERT_NE(std::get<1>(inC).find("| 12.5 \260C|"), std::string::npos) << "a decimal point on screen";
  ASSERT_TRUE(UseGermanLocale()) << "no German locale is installed";
  EXPECT_EQ(LogTwoRuns(), inC);
}

struct CommandRow {
  const char* name;
  Operation operation;
  std::uint32_t objectId;
  Bytes data;
  void (*faults)(unitsim::UnitFaults&);
  const char* line;  // on top once the command has ended
};

class Command : public ::testing::TestWithParam<CommandRow> {};

// A lost request is asked again with its data; the reply, or its lack, ends the command.
TEST_P(Command, SendsItsFrameAndShowsTheOutcome) {
  const CommandRow& row = GetParam();
  MonitorRig rig;
  row.faults(rig.Unit().Faults());
  row.operation(rig);
  ASSERT_TRUE(rig.RunUntilEvents('S', 1, 10'000));
  for (const auto& request : rig.Unit().Requests())
    EXPECT_EQ(std::tie(request.objectId, request.data), std::tie(row.objectId, row.data));
  EXPECT_EQ(rig.TopLine(), row.line);
}

using F = unitsim::UnitFaults;
void Silent(F& f) { f.silent = true; }
// The healthy replies' lines show in StartedWhileACommandRuns.
// clang-format off
const CommandRow kCommands[] = {
    {"StartMinHeatTimeAskedAgain", op::StartMinHeatTime, 0x0C09, {1, 0}, [](F& f) { f.dropFirstRequests = 1; },
     "I> Minimum Heat Time started"},
    {"TestCommunicationWrongSize", op::TestCommunication, 0x3003, {}, [](F& f) { f.wrongCountRate = 1.0; },
     "E> Wrong format response at ID: 3003"},
    {"FactorySettingsRefused", op::FactorySettings, 0x3004, {1, 0}, [](F& f) { f.refuseCommands = true; },
     "E> Wrong command response at ID: 3004"},
    {"TestCommunicationSilent", op::TestCommunication, 0x3003, {}, Silent, "E> No reply from detector unit"},
    {"StartMinHeatTimeSilent", op::StartMinHeatTime, 0x0C09, {1, 0}, Silent, "E> No reply at ID: 0C09"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(MonitorEndToEnd, Command, ::testing::ValuesIn(kCommands), kByName);

TEST(MonitorEndToEnd, ACommandWhileAStepRunsIsRefusedAndSetsCommandRunning) {
  MonitorRig rig;
  rig.monitor.TestCommunication();
  rig.monitor.StopMinHeatTime();
  EXPECT_EQ(std::tuple(rig.TopLine(), rig.monitor.Mode()),
            std::tuple(std::string("E> Error initiating transfer"), kCommandRunning));
}

TEST(MonitorEndToEnd, TheRefusedCommandSendsNothing) {
  MonitorRig rig;
  rig.monitor.TestCommunication();
  rig.monitor.StopMinHeatTime();
  ASSERT_TRUE(rig.RunUntilEvents('S', 1, 10'000));
  rig.link.RunFor(1'000);
  EXPECT_EQ(rig.Unit().Requests().size(), 1u);
}

// The step in progress may be a reading that Stop Reading Variables left, and may get no reply.
class CommandRunningEnds : public ::testing::TestWithParam<bool> {};

TEST_P(CommandRunningEnds, WithTheStepInProgress) {
  MonitorRig rig;
  rig.Unit().Faults().silent = GetParam();
  rig.monitor.StartReadingVariables();
  rig.link.RunFor(30);
  rig.monitor.StopReadingVariables();
  rig.monitor.StopMinHeatTime();
  ASSERT_EQ(rig.monitor.Mode(), kCommandRunning);
  ASSERT_TRUE(rig.RunUntilEvents('S', 1, 10'000));
  rig.link.RunFor(20);
  EXPECT_EQ(rig.monitor.Mode(), kPortOpen);
}

INSTANTIATE_TEST_SUITE_P(MonitorEndToEnd, CommandRunningEnds, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "NoReply" : "Reply"); });

TEST(MonitorEndToEnd, AfterCommandRunningTheNextCommandGoesThrough) {
  MonitorRig rig;
  rig.monitor.TestCommunication();
  rig.monitor.StopMinHeatTime();
  ASSERT_TRUE(rig.link.RunUntil([&] { return rig.monitor.Mode() == kPortOpen; }, 10'000));
  rig.link.RunFor(20);
  rig.monitor.StopMinHeatTime();
  ASSERT_TRUE(rig.RunUntilEvents('S', 2, 10'000));
  EXPECT_EQ(rig.TopLine(), "I> Minimum Heat Time stopped");
}

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
    {"ReadingVariables", {op::StartMinHeatTime, op::StartReadingVariables}, "I> Minimum Heat Time started",
     kReadingVariables},
    {"Logging", {op::FactorySettings, op::StartReadingVariables, op::OpenLogFile, op::StartLogging},
     "I> Factory settings OK", kLoggingVariables},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(MonitorEndToEnd, StartedWhileACommandRuns, ::testing::ValuesIn(kMeanwhile), kByName);

}  // namespace
}  // namespace gelvar::testing
