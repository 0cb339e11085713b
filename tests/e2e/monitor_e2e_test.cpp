// The main window's logic against the simulated unit in virtual time: readers, log, commands and
// their frames on the line, faults of the unit and of the files.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>

#include "common/c_format.h"
#include "monitor/monitor_controller.h"
#include "monitor/value_format.h"
#include "support/monitor_rig.h"
#include "support/virtual_link.h"

namespace gelvar::testing {
namespace {

const std::vector<std::uint32_t> kParameterIds = {0x3003, 0x0C01, 0x0C81, 0x3000, 0x0C02, 0x0C91,
                                                  0x3002, 0x0C03, 0x0C82, 0x0C04, 0x0C92, 0x0C05,
                                                  0x0C83, 0x0C06, 0x0C93, 0x3008, 0x0C0B, 0x0C0C};

std::vector<std::uint8_t> Words(int word0, int word2) {
  return {static_cast<std::uint8_t>(word0), static_cast<std::uint8_t>(word0 >> 8),
          static_cast<std::uint8_t>(word2), static_cast<std::uint8_t>(word2 >> 8)};
}

TEST(MonitorEndToEnd, ReadParametersFillsEveryParameterField) {
  MonitorRig rig;
  const std::int64_t startMs = rig.link.Scheduler().NowMs();
  rig.controller.Command(kCmdReadParameters);
  EXPECT_EQ(rig.controller.Mode(), kReadingParameters);
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 10000));
  const std::int64_t messages = (rig.link.Scheduler().NowMs() - startMs) / 10;

  const std::pair<int, const char*> expected[] = {
      {1039, "EN"},      {1040, "\xB0" "C"}, {1026, "Active"},        {1032, "K720/21"},
      {1038, "On"},      {1027, "60 min"},   {1033, "K720/21"},       {1044, "1.04 B0316"},
      {1028, "    3 \xB0" "C"},              {1034, "Temp.+Moist."}, {1029, "  -15 \xB0" "C"},
      {1035, "Temp.+Moist."},                {1030, "   -3 \xB0" "C"}, {1036, "40"},
      {1031, "50"},      {1037, "40"},       {1102, "normal"},        {1100, "1234 h"},
      {1101, "5678 h"},
  };
  for (const auto& [id, text] : expected) EXPECT_EQ(rig.Field(id), text) << id;
  EXPECT_EQ(rig.Field(1083), "undef.");
  EXPECT_EQ(rig.Field(1049), "undef.");  // a variable
  EXPECT_EQ(rig.TopLine(), "I> Reading parameters OK");
  EXPECT_EQ(rig.Lines().size(), 2u);
  EXPECT_EQ(rig.controller.Mode(), kPortOpen);
  EXPECT_EQ(rig.controller.Snapshot().HtgOpHours, 1234);

  std::vector<std::uint32_t> sent;
  for (const auto& request : rig.Unit().Requests()) {
    sent.push_back(request.objectId);
    EXPECT_TRUE(request.data.empty());
  }
  EXPECT_EQ(sent, kParameterIds);
  EXPECT_EQ(rig.controller.Progress().parameters, 17);
  rig.link.RunFor(10);
  EXPECT_EQ(rig.controller.Progress().parameters, 0);
  std::cout << "[ figure ] Read Parameters to \"I> Reading parameters OK\" at a 10 ms tick: " << messages
            << " timer messages (" << messages / 18.0 << " per entry)\n";
}

TEST(MonitorEndToEnd, SilentUnitGivesOneNoReplyLinePerParameterInListOrder) {
  MonitorRig rig;
  rig.Unit().Faults().silent = true;
  rig.controller.Command(kCmdReadParameters);
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 200000));
  std::vector<std::string> expected = {"I> Reading parameters OK"};
  for (auto id = kParameterIds.rbegin(); id != kParameterIds.rend(); ++id) {
    expected.push_back(CFormat("E> No reply at ID: %04X", static_cast<unsigned>(*id)));
  }
  expected.push_back("I> COM Port Opened");
  EXPECT_EQ(rig.Lines(), expected);
  for (int id : DisplayFields::ControlIds()) EXPECT_EQ(rig.Field(id), "undef.") << id;
  EXPECT_EQ(rig.controller.Mode(), kPortOpen);
  EXPECT_EQ(rig.log.Count('S'), 18);
}

TEST(MonitorEndToEnd, VariablePassesArePausedFor2000Ms) {
  MonitorRig rig;
  rig.controller.Command(kCmdStartReadingVariables);
  const std::int64_t startMs = rig.link.Scheduler().NowMs();
  ASSERT_TRUE(rig.RunUntilEvents('P', 1, 10000));
  const std::int64_t firstPassEndMs = rig.log.events.back().ms;
  std::vector<std::uint32_t> sent;
  for (const auto& request : rig.Unit().Requests()) sent.push_back(request.objectId);
  EXPECT_EQ(sent, (std::vector<std::uint32_t>{0x3000, 0x0C84, 0x3001, 0x0C85, 0x0C00, 0x0C86, 0x0C07, 0x0C90,
                                              0x0C08, 0x0C94, 0x0C0B, 0x0C95, 0x0C0C, 0x0C96, 0x0C80}));

  EXPECT_EQ(rig.controller.Progress().variables, 14);
  rig.link.RunFor(10);  // the first message of the pause
  int highestPause = 0;
  rig.link.RunUntil(
      [&] {
        EXPECT_EQ(rig.controller.Progress().variables, 0);
        highestPause = std::max(highestPause, rig.controller.Progress().pause);
        return rig.Unit().Requests().size() > 15;
      },
      5000);
  const std::int64_t nextRequestMs = rig.Unit().Requests()[15].atMs;
  // 201 messages count the pause down below zero, the next one begins entry 0.
  EXPECT_GE(nextRequestMs - firstPassEndMs, 2020);
  EXPECT_LE(nextRequestMs - firstPassEndMs, 2060);
  EXPECT_EQ(highestPause, 2000);
  ASSERT_TRUE(rig.RunUntilEvents('P', 2, 10000));
  std::cout << "[ figure ] one variable pass at a 10 ms tick: " << (firstPassEndMs - startMs) / 10
            << " timer messages from Start Reading Variables to the pass end, then "
            << (rig.log.events.back().ms - firstPassEndMs) / 10 << " messages from pass end to pass end\n";
}

// Pins every variable so that a record's bytes are known.
void PinVariables(unitsim::UnitModel& unit) {
  unit.SetObject(0x3000, {1, 0, 0xA1, 0});
  unit.SetObject(0x3001, {3, 7});
  unit.SetObject(0x0C00, {4, 1, 2, 5});
  unit.SetObject(0x0C07, Words(6250, 5940));
  unit.SetObject(0x0C08, {1, 0, 45, 0});
  unit.SetObject(0x0C80, {8, 1, 2, 0});
  unit.SetObject(0x0C84, Words(6010, 5800));
  unit.SetObject(0x0C85, {35, 0, 5, 10});
  unit.SetObject(0x0C86, Words(1215, 2350));
  unit.SetObject(0x0C90, {3, 0, 0, 0});
  unit.SetObject(0x0C94, Words(0x7FFE, 0x7F10));
  unit.SetObject(0x0C95, {0, 0, 0, 0});
  unit.SetObject(0x0C96, Words(5, 65535));
}

const char* const kPinnedRecordTail =
    ";161;775;  4;  5;  1;  2;   12,5;   -3,0;  45; 1; 1234; 5678"
    ";  8;  2;  1;    0,5;  -10,0; 35;  5; 10; 12,15;2350"
    ";  3;  0;  0; -999,0; -999,0;  0;  0;  0;  0,05;65535\r\n";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// One pass, then a log file and one record, written through the real file functions.
std::string LogOneRecord(const std::filesystem::path& path, std::time_t& recordTime) {
  StdioFileAppender files;
  MonitorRig rig(&files);
  PinVariables(rig.Unit());
  rig.view.logPath = path.string();
  rig.controller.Command(kCmdStartReadingVariables);
  EXPECT_TRUE(rig.RunUntilEvents('P', 1, 10000));
  rig.controller.Command(kCmdOpenLogFile);
  rig.controller.Command(kCmdStartLogging);
  EXPECT_TRUE(rig.RunUntilEvents('L', 1, 1000));
  recordTime = rig.log.recordTimes.at(0);
  return ReadFile(path);
}

class MonitorFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir_ = std::filesystem::temp_directory_path() / ("gelvar_monitor_e2e_" + test);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
};

TEST_F(MonitorFiles, LogRecordBytesAreTheSameUnderAGermanLocale) {
  std::time_t whenC = 0;
  const std::string inC = LogOneRecord(dir_ / "c.log", whenC);
  const std::string header = "Logfile Gelvar started " + DateText(whenC) + " at " + TimeText(whenC) +
                             ", Temperature Unit: \xB0" "C\r\nSet#;Date;Time;";
  EXPECT_EQ(inC.rfind(header, 0), 0u) << inC;
  const std::string record = "00001; " + DateText(whenC) + "; " + TimeText(whenC) + kPinnedRecordTail;
  ASSERT_GE(inC.size(), record.size());
  EXPECT_EQ(inC.substr(inC.size() - record.size()), record);

  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 is not installed";
  std::time_t whenGerman = 0;
  const std::string inGerman = LogOneRecord(dir_ / "de.log", whenGerman);
  EXPECT_EQ(whenGerman, whenC);
  EXPECT_EQ(inGerman, inC);
}

TEST(MonitorEndToEnd, LoggingWritesAtOnceThenOnlyAtPassEnds) {
  MonitorRig rig;
  rig.controller.Command(kCmdStartReadingVariables);
  rig.link.RunFor(500);  // the reader is walking its list
  rig.LogEveryMinute();
  EXPECT_EQ(rig.TopLine(), "I> Logging started");
  EXPECT_EQ(rig.controller.LogStatusText(), "Logging Activ");
  const std::int64_t startMs = rig.link.Scheduler().NowMs();
  ASSERT_TRUE(rig.RunUntilEvents('L', 4, 300000));

  std::vector<std::int64_t> recordMs;
  for (std::size_t i = 0; i < rig.log.events.size(); ++i) {
    const Event& e = rig.log.events[i];
    if (e.kind != 'L') continue;
    recordMs.push_back(e.ms);
    if (recordMs.size() == 1) continue;
    // Every later record follows a pass end with no step in between.
    ASSERT_GT(i, 0u);
    EXPECT_EQ(rig.log.events[i - 1].kind, 'P') << "record " << recordMs.size();
  }
  EXPECT_EQ(recordMs[0] - startMs, 10) << "the first record at the first timer message";
  // Due every minute from the first record on; a record waits for a pass end, at most one pass.
  for (std::size_t i = 1; i < recordMs.size(); ++i) {
    const std::int64_t dueMs = recordMs[0] + static_cast<std::int64_t>(i) * 60000;
    EXPECT_GE(recordMs[i], dueMs);
    EXPECT_LT(recordMs[i], dueMs + 2000 + 1000);
  }
  EXPECT_EQ(rig.controller.LogSetCounter(), 4);
  const std::string& file = rig.memoryFiles.files[rig.view.logPath];
  EXPECT_NE(file.find("\r\n00004; "), std::string::npos);
  rig.controller.Command(kCmdStopLogging);
  EXPECT_EQ(rig.TopLine(), "I> Log stored in file ' variables.log '");
  EXPECT_EQ(rig.controller.LogSetCounter(), 4);
  rig.link.RunFor(10);
  EXPECT_EQ(rig.controller.LogSetCounter(), 0);
  EXPECT_EQ(rig.controller.Mode(), kReadingVariables);
}

// Two runs into one file; the second record of the first run cannot be written.
TEST(MonitorEndToEnd, TwoLoggingRunsAndALostRecord) {
  MonitorRig rig;
  rig.controller.Command(kCmdStartReadingVariables);
  rig.LogEveryMinute();
  ASSERT_TRUE(rig.RunUntilEvents('L', 1, 1000));
  rig.memoryFiles.unwritable.insert(rig.view.logPath);
  ASSERT_TRUE(rig.RunUntilEvents('L', 2, 100000));
  EXPECT_FALSE(rig.log.events.back().written);
  EXPECT_EQ(rig.controller.LogStatusText(), "Last record failed");
  rig.memoryFiles.unwritable.clear();
  ASSERT_TRUE(rig.RunUntilEvents('L', 3, 100000));
  EXPECT_EQ(rig.controller.LogStatusText(), "Logging Activ");
  rig.controller.Command(kCmdStopLogging);
  EXPECT_EQ(rig.controller.LogStatusText(), "No Logging");
  rig.controller.Command(kCmdStartLogging);
  EXPECT_EQ(rig.TopLine(), "E> Logfile not opened");
  rig.controller.Command(kCmdOpenLogFile);
  rig.controller.Command(kCmdStartLogging);
  ASSERT_TRUE(rig.RunUntilEvents('L', 4, 1000));

  std::vector<std::string> starts;
  std::string file = rig.memoryFiles.files[rig.view.logPath];
  for (std::size_t end; (end = file.find("\r\n")) != std::string::npos; file.erase(0, end + 2)) {
    starts.push_back(file.substr(0, 6));
  }
  EXPECT_EQ(starts, (std::vector<std::string>{"Logfil", "Set#;D", "00001;", "00003;", "Logfil", "Set#;D",
                                               "00001;"}));
  EXPECT_TRUE(file.empty()) << "the file ends with a line end";
}

TEST_F(MonitorFiles, UnwritablePathsGiveTheirBoxesAndKeepWhatWasWritten) {
  StdioFileAppender files;
  MonitorRig rig(&files);
  rig.view.reportPath = (dir_ / "Gelvar.par").string();
  rig.view.logPath = (dir_ / "Gelvar.log").string();
  rig.controller.Command(kCmdSaveParameters);
  rig.controller.Command(kCmdOpenLogFile);
  const std::string report = ReadFile(rig.view.reportPath);
  const std::string log = ReadFile(rig.view.logPath);
  ASSERT_FALSE(report.empty());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(rig.TopLine(), "I> Parameters stored in file ' " + rig.view.reportPath + " '");

  MonitorRig second(&files);
  second.view.reportPath = dir_.string();  // a directory
  second.view.logPath = (dir_ / "missing" / "Gelvar.log").string();
  second.controller.Command(kCmdSaveParameters);
  second.controller.Command(kCmdOpenLogFile);
  EXPECT_EQ(second.view.alerts, (std::vector<std::string>{"Error open parameter file: DateiParName",
                                                          "Error open log file: DateiLogName"}));
  EXPECT_EQ(second.view.fileDefaults, (std::vector<std::string>{"Gelvar.par|par", "Gelvar.log|log"}));
  EXPECT_FALSE(second.controller.LogFileChosen());
  EXPECT_EQ(second.TopLine(), "I> COM Port Opened");
  EXPECT_EQ(ReadFile(rig.view.reportPath), report);
  EXPECT_EQ(ReadFile(rig.view.logPath), log);
}

enum class UnitBehaviour { kAnswers, kWrongSize, kRefuses, kSilent };

struct CommandCase {
  int command;
  std::uint32_t objectId;
  std::vector<std::uint8_t> data;
  UnitBehaviour unit;
  StepOutcome outcome;
  const char* line;
};

TEST(MonitorEndToEnd, CommandsSendTheirFramesAndReportTheOutcome) {
  using enum UnitBehaviour;
  const CommandCase cases[] = {
      {kCmdTestCommunication, 0x3003, {}, kAnswers, StepOutcome::kAccepted, "I> Communication OK"},
      {kCmdStartMinHeatTime, 0x0C09, {1, 0}, kAnswers, StepOutcome::kAccepted, "I> Minimum Heat Time started"},
      {kCmdStopMinHeatTime, 0x0C09, {0, 0}, kAnswers, StepOutcome::kAccepted, "I> Minimum Heat Time stopped"},
      {kCmdStartCycleSensor1, 0x0C87, {1, 0}, kAnswers, StepOutcome::kAccepted, "I> Moisture cycle started"},
      {kCmdStartCycleSensor2, 0x0C97, {1, 0}, kAnswers, StepOutcome::kAccepted, "I> Moisture cycle started"},
      {kCmdFactorySettings, 0x3004, {1, 0}, kAnswers, StepOutcome::kAccepted, "I> Factory settings OK"},
      {kCmdTestCommunication, 0x3003, {}, kWrongSize, StepOutcome::kWrongFormat,
       "E> Wrong format response at ID: 3003"},
      {kCmdStartCycleSensor2, 0x0C97, {1, 0}, kWrongSize, StepOutcome::kWrongFormat,
       "E> Wrong format response at ID: 0C97"},
      {kCmdFactorySettings, 0x3004, {1, 0}, kRefuses, StepOutcome::kWrongCommand,
       "E> Wrong command response at ID: 3004"},
      {kCmdStartCycleSensor1, 0x0C87, {1, 0}, kRefuses, StepOutcome::kWrongCommand,
       "E> Wrong command response at ID: 0C87"},
      {kCmdTestCommunication, 0x3003, {}, kSilent, StepOutcome::kNoReply, "E> No reply from detector unit"},
      {kCmdStopMinHeatTime, 0x0C09, {0, 0}, kSilent, StepOutcome::kNoReply, "E> No reply at ID: 0C09"},
  };
  for (const CommandCase& c : cases) {
    MonitorRig rig;
    rig.Unit().Faults().wrongCountRate = c.unit == kWrongSize ? 1.0 : 0.0;
    rig.Unit().Faults().silent = c.unit == kSilent;
    rig.Unit().Faults().refuseCommands = c.unit == kRefuses;
    rig.controller.Command(c.command);
    ASSERT_TRUE(rig.RunUntilEvents('S', 1, 10000)) << c.line;
    ASSERT_FALSE(rig.Unit().Requests().empty()) << c.line;
    EXPECT_EQ(rig.Unit().Requests()[0].objectId, c.objectId) << c.line;
    EXPECT_EQ(rig.Unit().Requests()[0].data, c.data) << c.line;
    EXPECT_EQ(rig.log.events.back().outcome, c.outcome) << c.line;
    EXPECT_EQ(rig.TopLine(), c.line);
    EXPECT_EQ(rig.controller.Mode(), kPortOpen) << c.line;
  }
}

TEST(MonitorEndToEnd, Mode2EndsWhenTheStepInProgressEndsHoweverItEnds) {
  struct Case {
    const char* what;
    bool silent;
    bool stopReading;  // the step in progress is a variable reading left over by Stop Reading
  };
  for (const Case& c : {Case{"reply", false, false}, Case{"no reply", true, false},
                        Case{"leftover reading", false, true}, Case{"leftover without reply", true, true}}) {
    MonitorRig rig;
    rig.Unit().Faults().silent = c.silent;
    if (c.stopReading) {
      rig.controller.Command(kCmdStartReadingVariables);
      rig.link.RunFor(30);
      rig.controller.Command(kCmdStopReadingVariables);
    } else {
      rig.controller.Command(kCmdTestCommunication);
    }
    rig.controller.Command(kCmdStartMinHeatTime);
    EXPECT_EQ(rig.TopLine(), "E> Error initiating transfer") << c.what;
    ASSERT_EQ(rig.controller.Mode(), kCommandRunning) << c.what;
    rig.controller.Command(kCmdStartMinHeatTime);
    EXPECT_EQ(rig.TopLine(), "E> Command in progress") << c.what;
    ASSERT_TRUE(rig.link.RunUntil([&] { return rig.controller.Mode() == kPortOpen; }, 10000)) << c.what;
    rig.Unit().Faults().silent = false;
    rig.link.RunFor(20);
    rig.Unit().ClearRequests();
    rig.controller.Command(kCmdStartMinHeatTime);
    ASSERT_TRUE(rig.link.RunUntil([&] { return rig.TopLine() == "I> Minimum Heat Time started"; }, 10000))
        << c.what;
    EXPECT_EQ(rig.Unit().Requests().back().objectId, 0x0C09u) << c.what;
  }
}

// A unit that garbles, drops, delays and mis-sizes its replies and holds out-of-table values: the
// readers and the log keep going and nothing breaks.
TEST(MonitorEndToEnd, MisbehavingUnitBreaksNothing) {
  MonitorRig rig;
  unitsim::UnitFaults& faults = rig.Unit().Faults();
  faults.dropRate = 0.1;
  faults.badChecksumRate = 0.1;
  faults.badParityRate = 0.1;
  faults.wrongCountRate = 0.2;
  faults.cutFrameRate = 0.1;
  faults.noiseRate = 0.2;
  faults.noiseMayHoldTypeLetters = true;
  faults.latencyMs = 30;
  rig.Unit().SetObject(0x3003, {0xFF, 0xFF});
  rig.Unit().SetObject(0x0C00, {0xFF, 0xFF, 0xFF, 0xFF});
  rig.Unit().SetObject(0x0C80, {0xFF, 0xFF, 0xFF, 0xFF});
  rig.Unit().SetObject(0x0C07, Words(0xFFFF, 0));
  rig.Unit().SetObject(0x0C01, {});
  rig.controller.Command(kCmdReadParameters);
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 300000));
  rig.controller.Command(kCmdStartReadingVariables);
  rig.LogEveryMinute();
  std::mt19937 random(7);
  for (int minute = 0; minute < 10; ++minute) {
    rig.link.RunFor(60000);
    // Menu commands at random moments on top.
    const int commands[] = {kCmdTestCommunication, kCmdStartCycleSensor1, kCmdSaveParameters,
                            kCmdReadParameters};
    rig.controller.Command(commands[random() % 4]);
  }
  EXPECT_GT(rig.log.Count('P'), 50);
  EXPECT_GE(rig.log.Count('L'), 8);
  EXPECT_LE(rig.controller.MessageText().size(), kMessagePaneLimit);
  EXPECT_EQ(rig.controller.Mode(), kLoggingVariables);
  EXPECT_EQ(rig.memoryFiles.files[rig.view.logPath].find("Logfile Gelvar started "), 0u);
}

// A command whose first frame is lost is asked again with its data: success is reported only once
// the start reached the unit, never for a read of the command object.
TEST(MonitorEndToEnd, RepeatedCommandStillCarriesItsStartByte) {
  MonitorRig rig;
  rig.Unit().Faults().dropFirstRequests = 1;
  rig.controller.Command(kCmdStartMinHeatTime);
  ASSERT_TRUE(rig.RunUntilEvents('S', 1, 10000));
  EXPECT_EQ(rig.TopLine(), "I> Minimum Heat Time started");
  const auto& requests = rig.Unit().Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) EXPECT_EQ(request.data, (std::vector<std::uint8_t>{1, 0}));
  EXPECT_EQ(rig.Unit().Object(0x0C00).at(0), 6) << "the unit runs the minimum heat time";
}

}  // namespace
}  // namespace gelvar::testing
