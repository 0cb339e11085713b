// The main window's logic against the simulated unit in virtual time: readers, log, commands and
// their frames on the line, faults of the unit and of the files.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <ranges>
#include <tuple>
#include <utility>

#include "core/common/c_format.h"
#include "core/monitor/value_format.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

const std::vector<std::uint32_t> kParameterIds = {0x3003, 0x0C01, 0x0C81, 0x3000, 0x0C02, 0x0C91,
                                                  0x3002, 0x0C03, 0x0C82, 0x0C04, 0x0C92, 0x0C05,
                                                  0x0C83, 0x0C06, 0x0C93, 0x3008, 0x0C0B, 0x0C0C};

using Bytes = std::vector<std::uint8_t>;

TEST(MonitorEndToEnd, ReadParametersFillsTheFieldsOrGivesOneNoReplyLinePerParameterInListOrder) {
  const std::pair<Field, const char*> expected[] = {
      {Field::kLanguage, "EN"},
      {Field::kTempUnit, "\260C"},
      {Field::kModeHeating, "Active"},
      {Field::kS1Type, "K720/21"},
      {Field::kModeSystem, "On"},
      {Field::kMinHeatingTime, "60 min"},
      {Field::kS2Type, "K720/21"},
      {Field::kVersion, "1.04 B0316"},
      {Field::kHighTempLimit, "    3 \260C"},
      {Field::kS1Mode, "Temp.+Moist."},
      {Field::kLowTempLimit, "  -15 \260C"},
      {Field::kS2Mode, "Temp.+Moist."},
      {Field::kIdleTemp, "   -3 \260C"},
      {Field::kS1MoistLimit, "40"},
      {Field::kHeatingMoistLimit, "50"},
      {Field::kS2MoistLimit, "40"},
      {Field::kAlarmMode, "normal"},
      {Field::kOpHours, "1234 h"},
      {Field::kOpHoursXWK, "5678 h"},
      {Field::kSlabTemp, "undef."},
  };
  for (const bool silent : {false, true}) {
    MonitorRig rig;
    rig.Unit().Faults().silent = silent;
    rig.monitor.ReadParameters();
    ASSERT_TRUE(rig.RunUntilEvents('R', 1, 200000));
    EXPECT_EQ(rig.monitor.Mode(), kPortOpen);
    std::vector<std::string> lines = {"I> Reading parameters OK"};
    for (auto id = kParameterIds.rbegin(); silent && id != kParameterIds.rend(); ++id)
      lines.push_back(CFormat("E> No reply at ID: %04X", static_cast<unsigned>(*id)));
    lines.push_back("I> COM Port Opened");
    EXPECT_EQ(FileLines(rig.monitor.MessageText()), lines);
    for (const auto& [field, text] : expected)
      EXPECT_EQ(rig.monitor.Fields().Text(field), silent ? "undef." : text) << FieldName(field);
  }
}

// Passes are paused for 2000 ms: 201 messages count the pause down below zero, the next one begins
// entry 0. Logging started while a step waits for its reply: the first record holds what the pass
// before read for that step's values, unless that reading failed. Then the program stopped for 11 s, or
// the calendar clock set back or forward, just after the tick's period was measured: for five minutes
// on, passes follow each other as usual and read every value, no request goes out twice, and the
// records stay a log interval apart in the time the program ran.
TEST(MonitorEndToEnd, PauseOrClockStepChangesNeitherReadingNorLogging) {
  // Frozen for, clock set by, and whether the last reading of the step in progress when logging starts failed.
  const std::tuple<std::int64_t, std::time_t, bool> cases[] = {{11000, 0, false}, {0, -200, true}, {0, 3600, false}};
  for (const auto& [frozenMs, calendarStepS, lastReadFailed] : cases) {
    SCOPED_TRACE(::testing::Message() << "frozen " << frozenMs << " ms, clock set by " << calendarStepS << " s");
    MonitorRig rig;
    VirtualScheduler& scheduler = rig.link.Scheduler();
    rig.PinTemperatures();
    rig.Unit().Faults().latencyMs = 100;
    if (lastReadFailed) rig.Unit().Faults().silentObjects = {0x0C84};
    rig.monitor.StartReadingVariables();
    ASSERT_TRUE(rig.RunUntilEvents('P', 1, 60000));
    const std::int64_t passEndMs = scheduler.NowMs();
    ASSERT_TRUE(rig.link.RunUntil([&] { return rig.Unit().Requests().back().atMs > passEndMs; }, 5000));
    EXPECT_NEAR(rig.Unit().Requests().back().atMs - passEndMs, 2040, 20);
    EXPECT_EQ(rig.Unit().Requests().back().objectId, 0x3000u);
    ASSERT_TRUE(rig.link.RunUntil([&] { return rig.Unit().Requests().back().objectId == 0x0C84; }, 60000));
    rig.LogEveryMinute();
    ASSERT_TRUE(rig.RunUntilEvents('L', 1, 100));
    const std::vector<std::string> records = RecordLines(rig.memoryFiles.files[rig.logPath]);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(HoldsUnreadValues(records[0]), lastReadFailed) << records[0];
    EXPECT_EQ(rig.monitor.Fields().Text(Field::kS1Temp), "undef.") << "the display shows the step in progress";
    rig.Unit().Faults().silentObjects.clear();
    ASSERT_TRUE(rig.link.RunUntil([&] { return rig.log.Count('L') == 2 && scheduler.NowMs() % 10000 == 50; }, 80000));
    scheduler.Freeze(frozenMs);
    scheduler.SetCalendarBy(calendarStepS);
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
      if (e.kind != 'P') continue;
      EXPECT_LT(e.ms - std::exchange(passStartMs, e.ms), 6000) << "a pass and its pause";
    }
    const std::vector<Event> written = rig.log.Of('L');
    for (std::size_t k = 2; k < written.size(); ++k)
      EXPECT_NEAR(written[k].ms - written[k - 1].ms - (k == 2 ? frozenMs : 0), 60000, 5000) << "record " << k + 1;
  }
}

// One pass of a unit whose every variable is pinned, then two logging runs of one record each into
// one file: the file, every field's text, and the runs' start times. Temperature codes from 0x7F00 up
// log as -999,0.
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

TEST(MonitorEndToEnd, TwoLoggingRunsInOneFileAndTheSameTextsUnderAGermanLocale) {
  struct CLocaleAtEnd {
    ~CLocaleAtEnd() { std::setlocale(LC_ALL, "C"); }
  } restore;
  const auto inC = LogTwoRuns();
  const auto& [file, fields, when] = inC;
  EXPECT_NE(fields.find("| 12.5 \260C|"), std::string::npos) << fields;  // a decimal point
  std::string expected;
  for (const std::time_t at : when) {
    const std::string date = DateText(at), time = TimeText(at);
    expected += "Logfile Gelvar started " + date + " at " + time + ", Temperature Unit: \260C\r\n" +
                "Set#;Date;Time;AdmErrFlg;AdmIntStat;HtgState;HtgErrFlg;HtgTempFlg;HtgMoisFlg;HtgSlGuTemp;HtgOutTemp;"
                "HtgRemHtime;HtgOffOn;HtgOpHours;HtgOpHoursXWK;S1State;S1Error;S1Flags;S1SenTemp;S1AmbTemp;S1LastMoist;"
                "S1ItimMois;S1ItimTemp;S1Volt;S1CharVal;S2State;S2Error;S2Flags;S2SenTemp;S2AmbTemp;S2LastMoist;"
                "S2ItimMois;S2ItimTemp;S2Volt;S2CharVal;\r\n" +
                "00001; " + date + "; " + time +
                ";161;775;  4;  5;  1;  2;   12,5;   -3,0;  45; 1; 1234; 5678"
                ";  8;  2;  1;    0,5;  -10,0; 35;  5; 10; 12,15;2350"
                ";  3;  0;  0; -999,0; -999,0;  0;  0;  0;  0,05;65535\r\n";
  }
  EXPECT_EQ(file, expected);

  ASSERT_TRUE(UseGermanLocale()) << "no German locale is installed";
  EXPECT_EQ(LogTwoRuns(), inC);
}

// Each operation, while its step is on the line, makes the next one refused; that command leaves the step as
// it was. The mode ends with the step however it ends (a reading left over by Stop Reading Variables
// included), and once the unit is healthy the next command goes through.
TEST(MonitorEndToEnd, CommandsSendTheirFramesAndReportTheOutcome) {
  using F = unitsim::UnitFaults;
  const auto healthy = [](F&) {};
  const auto refusing = [](F& f) { f.refuseCommands = true; };
  const auto silent = [](F& f) { f.silent = true; };
  // Each command, the object and data its frames carry, the unit's faults, the line at the end.
  const std::tuple<Operation, std::uint32_t, Bytes, void (*)(F&), const char*> cases[] = {
      {op::TestCommunication, 0x3003, {}, healthy, "I> Communication OK"},
      {op::StartMinHeatTime, 0x0C09, {1, 0}, healthy, "I> Minimum Heat Time started"},
      {op::StopMinHeatTime, 0x0C09, {0, 0}, healthy, "I> Minimum Heat Time stopped"},
      // Asked again with its data: success only once the start reached the unit.
      {op::StartMinHeatTime, 0x0C09, {1, 0}, [](F& f) { f.dropFirstRequests = 1; }, "I> Minimum Heat Time started"},
      {op::StartCycleSensor1, 0x0C87, {1, 0}, healthy, "I> Moisture cycle started"},
      {op::FactorySettings, 0x3004, {1, 0}, healthy, "I> Factory settings OK"},
      {op::TestCommunication, 0x3003, {}, [](F& f) { f.wrongCountRate = 1.0; }, "E> Wrong format response at ID: 3003"},
      {op::FactorySettings, 0x3004, {1, 0}, refusing, "E> Wrong command response at ID: 3004"},
      {op::TestCommunication, 0x3003, {}, silent, "E> No reply from detector unit"},
      {op::StartMinHeatTime, 0x0C09, {1, 0}, silent, "E> No reply at ID: 0C09"},
      {op::StartReadingVariables, 0x3000, {}, healthy, "E> Command in progress"},
      {op::StartReadingVariables, 0x3000, {}, silent, "E> No reply at ID: 3000"},
  };
  for (const auto& [operation, objectId, data, faults, line] : cases) {
    SCOPED_TRACE(line);
    MonitorRig rig;
    faults(rig.Unit().Faults());
    operation(rig);
    if (operation == op::StartReadingVariables) {
      rig.link.RunFor(30);
      rig.monitor.StopReadingVariables();
    }
    rig.monitor.StopMinHeatTime();
    EXPECT_EQ(rig.TopLine(), "E> Error initiating transfer");
    ASSERT_EQ(rig.monitor.Mode(), kCommandRunning);
    rig.monitor.StopMinHeatTime();
    EXPECT_EQ(rig.TopLine(), "E> Command in progress");
    ASSERT_TRUE(rig.link.RunUntil([&] { return rig.monitor.Mode() == kPortOpen; }, 10000));
    ASSERT_EQ(rig.Unit().Requests().size() == 2, rig.Unit().Faults().dropFirstRequests == 1);
    for (const auto& request : rig.Unit().Requests())
      EXPECT_EQ(std::tie(request.objectId, request.data), std::tie(objectId, data));
    EXPECT_EQ(rig.TopLine(), line);
    rig.Unit().Faults() = {};
    rig.link.RunFor(20);
    rig.monitor.StopMinHeatTime();
    ASSERT_TRUE(rig.link.RunUntil([&] { return rig.TopLine() == "I> Minimum Heat Time stopped"; }, 10000));
  }
}

// Readers and logging started while a command waits for a slow unit keep their mode when its reply
// comes, and are stopped as usual; reading parameters keeps the variables out until it ends.
TEST(MonitorEndToEnd, CommandReplyLeavesWhatStartedMeanwhileRunning) {
  // The commands before the reply, the reply and the mode it leaves; then commands, each with the line
  // it adds, and the mode twenty seconds on.
  // clang-format off
  const std::tuple<std::vector<Operation>, const char*, int, std::vector<std::pair<Operation, const char*>>, int> cases[] = {
      {{op::TestCommunication, op::ReadParameters}, "I> Communication OK", kReadingParameters,
       {{op::StartReadingVariables, "E> Communication in use"}}, kPortOpen},
      {{op::StartMinHeatTime, op::StartReadingVariables}, "I> Minimum Heat Time started", kReadingVariables,
       {{op::StopReadingVariables, "I> Reading variables stopped"}, {op::ClosePort, "I> COM Port Closed"}},
       kPortClosed},
      {{op::FactorySettings, op::StartReadingVariables, op::OpenLogFile, op::StartLogging}, "I> Factory settings OK",
       kLoggingVariables, {{op::StopLogging, "I> Log stored in file ' variables.log '"}}, kReadingVariables},
  };
  // clang-format on
  for (const auto& [beforeReply, reply, modeAtReply, afterReply, modeAtEnd] : cases) {
    SCOPED_TRACE(reply);
    MonitorRig rig;
    rig.Unit().Faults().latencyMs = 500;
    for (const Operation operation : beforeReply) {
      operation(rig);
      rig.link.RunFor(50);
    }
    ASSERT_TRUE(rig.link.RunUntil([&] { return std::ranges::count(rig.log.messages, reply) == 1; }, 5000));
    EXPECT_EQ(rig.monitor.Mode(), modeAtReply);
    for (const auto& [operation, line] : afterReply) {
      operation(rig);
      EXPECT_EQ(rig.TopLine(), line);
    }
    rig.link.RunFor(20000);
    EXPECT_EQ(rig.monitor.Mode(), modeAtEnd);
    EXPECT_EQ(std::ranges::count(rig.log.messages, "E> Error initiating transfer"), 0);
  }
}

}  // namespace
}  // namespace gelvar::testing
