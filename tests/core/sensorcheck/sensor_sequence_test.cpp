// The sensor test open, with a listener that notes its boxes, on the whole link path to a
// simulated unit in virtual time (one timer message every 10 ms).
#include "core/sensorcheck/sensor_sequence.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "core/link/transaction.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

using Ids = std::vector<std::uint32_t>;
using Strings = std::vector<std::string>;

// The fixture is the dialog: it notes the boxes it would show.
struct SensorTestOnUnit : ::testing::Test, SensorSequenceEvents {
  void SetUp() override { test.Open(*this); }
  void StepFailed(const std::string& text) override {
    boxes.push_back(text);
    // The box's own event loop keeps the timer messages coming.
    for (int i = 0; i < 5; ++i) test.OnTimer();
  }

  bool RunToIdle(std::int64_t limitMs = 60'000) {
    return link.RunUntil([this] { return test.TestStep() == 0; }, limitMs);
  }
  Ids RequestedIds() {
    Ids ids;
    for (const auto& request : link.Unit().Requests()) ids.push_back(request.objectId);
    return ids;
  }
  // A recording whose timing gives Ti 19 s and Tm 10 s (Type II): N = 2, both data sets there.
  void LoadRecording() {
    const std::map<std::uint32_t, Bytes> objects = {
        {0x0D00, Words(1234, 6250)}, {0x0D01, Word(1200)}, {0x0D05, {19, 0, 10, 0}}, {0x0D04, Words(1234, 567)},
        {0x0D07, Word(250)},         {0x0D06, Word(1)},    {0x0D08, Word(47)}};
    for (const auto& [id, data] : objects) link.Unit().SetObject(id, data);
    link.Unit().SetRecordedSets({Words(1000, 800), Words(900, 0)}, {Word(6100), Word(5900)});
  }
  Ids ReadRecorded(const Bytes& timing, int sensorType = 1) {
    link.Unit().SetObject(0x0D05, timing);
    test.SetSensorType(sensorType);
    test.ReadRecordedData();
    EXPECT_TRUE(RunToIdle(120'000));
    return RequestedIds();
  }

  Strings boxes;
  VirtualLink link;
  MemoryFiles files;
  SensorSequence test{link.LinkState(), link.Scheduler(), files};
};

struct TaRow {
  const char* name;
  const char* typed;
  int ta;
};

class TypedTa : public SensorTestOnUnit, public ::testing::WithParamInterface<TaRow> {};

// 0 stands for a ta refused with its box.
TEST_P(TypedTa, IsTakenWithinOneToThousandSeconds) {
  const Result result = test.SetTa(1, GetParam().typed);
  EXPECT_EQ(std::tuple(test.Ta(1), result.error),
            std::tuple(GetParam().ta, std::string(GetParam().ta == 0 ? "Error: Allowed range 1...1000 s" : "")));
}

// clang-format off
const TaRow kTas[] = {
    {"Zero", "0", 0}, {"One", "1", 1}, {"Thousand", "1000", 1000}, {"ThousandAndOne", "1001", 0},
    {"Letters", "abc", 0}, {"BlankThenDigitsThenLetters", " 10s", 10}, {"PastTheIntRange", "4294967546", 0},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(SensorTest, TypedTa, ::testing::ValuesIn(kTas), kByName);

TEST_F(SensorTestOnUnit, StartCycleWithARefusedTaShowsTimeSettingAndStartsNothing) {
  test.SetTa(0, "0");
  EXPECT_EQ(test.StartCycle(0), Result::Failed("Error: Time setting"));
  EXPECT_EQ(test.TestStep(), 0);
}

TEST_F(SensorTestOnUnit, StartCycleSendsStartAndTaAsAWordToTheSensor) {
  test.StartCycle(1);
  ASSERT_TRUE(link.RunUntil([this] { return !link.Unit().Requests().empty(); }, 1'000));
  EXPECT_EQ(std::tuple(link.Unit().Requests()[0].objectId, link.Unit().Requests()[0].data),
            std::tuple(0x0C97u, Bytes{1, 0, 0xFA, 0}));
}

// The unit records for ta = 10 s; its state is asked every three seconds until it has ended.
class CycleOf10Seconds : public SensorTestOnUnit {
 protected:
  void SetUp() override {
    SensorTestOnUnit::SetUp();
    link.Unit().SetObject(0x0C96, Words(1215, 2350));
    test.SetTa(1, "10");
    test.StartCycle(1);
  }
};

TEST_F(CycleOf10Seconds, AsksDataAndStateInTurnUntilRecordingEnds) {
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(RequestedIds(), (Ids{0x0C97, 0x0C96, 0x0C90, 0x0C96, 0x0C90, 0x0C96, 0x0C90, 0x0C96, 0x0C90}));
}

// 300 timer messages count the 3000 ms down; the reply's and the request's way on the line add 40 ms.
TEST_F(CycleOf10Seconds, AsksTheSensorDataThreeSecondsAfterTheStart) {
  ASSERT_TRUE(RunToIdle());
  const auto& requests = link.Unit().Requests();
  EXPECT_EQ(requests[1].atMs - requests[0].atMs, 3040);
}

TEST_F(CycleOf10Seconds, LogsEachSensorDataNewestOnTop) {
  ASSERT_TRUE(RunToIdle());
  const std::string data = "Sensor 2 - Uv: 12.15 V,  Rs: 2350 Ohm";
  EXPECT_EQ(FileLines(test.LogText()),
            (Strings{"Recording sensor 2 completed!", data, data, data, data, "Record sensor 2 started!"}));
}

TEST_F(CycleOf10Seconds, CountsDownTheSecondsOfTa) {
  ASSERT_TRUE(link.RunUntil([this] { return test.TestStep() == 3; }, 1'000));
  link.RunFor(4'000);
  EXPECT_EQ(test.Countdown()->left, 6);
}

TEST_F(CycleOf10Seconds, TheCountdownStopsAt0) {
  ASSERT_TRUE(link.RunUntil([this] { return test.TestStep() == 3; }, 1'000));
  link.RunFor(11'000);
  EXPECT_EQ(std::tuple(test.Countdown()->seconds, test.Countdown()->left), std::tuple(10, 0));
}

TEST_F(CycleOf10Seconds, TheCountdownEndsWithTheSequence) {
  ASSERT_TRUE(RunToIdle());
  EXPECT_FALSE(test.Countdown().has_value());
}

TEST_F(SensorTestOnUnit, AStartTheUnitRefusesLogsError3AndEnds) {
  link.Unit().Faults().refuseCommands = true;
  test.StartCycle(0);
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(std::tuple(test.LogText(), RequestedIds()),
            std::tuple(std::string("Error 3 start sensor 1 !\r\n"), Ids{0x0C87}));
}

struct TimingRow {
  const char* name;
  Bytes timing;  // Ti and Tm for type II; Tv, Ti and Tm for type I
  int sensorType;
  std::size_t voltageSets, temperatureSets;
  Ids ids;
};

class RecordedTiming : public SensorTestOnUnit, public ::testing::WithParamInterface<TimingRow> {};

TEST_P(RecordedTiming, DecidesTheDataSetsRead) {
  const TimingRow& row = GetParam();
  LoadRecording();
  link.Unit().SetRecordedSets(std::vector<Bytes>(row.voltageSets, Words(1170, 490)),
                              std::vector<Bytes>(row.temperatureSets, Word(6018)));
  EXPECT_EQ(ReadRecorded(row.timing, row.sensorType), row.ids);
}

// clang-format off
const TimingRow kTimings[] = {
    {"TypeIIWithTi59AndTm10ReadsSixThenTheResults", {59, 0, 10, 0}, 1, 8, 8, {0x0D00, 0x0D01, 0x0D05, 0x0D02, 0x0D03,
     0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D04, 0x0D07, 0x0D06, 0x0D08}},
    // Tv 300 s, Ti 29 s, Tm 10 s: N = 3, of which the unit recorded two.
    {"TypeIEndsWithTheResistances", {0x2C, 0x01, 29, 10}, 0, 2, 2,
     {0x0D00, 0x0D01, 0x0D05, 0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D04}},
    {"TiBelowTmStillReadsDataSet0", {5, 0, 10, 0}, 1, 2, 2,
     {0x0D00, 0x0D01, 0x0D05, 0x0D02, 0x0D03, 0x0D04, 0x0D07, 0x0D06, 0x0D08}},
    {"Tm0ReadsDataSet0", {5, 0, 0, 0}, 1, 2, 2,
     {0x0D00, 0x0D01, 0x0D05, 0x0D02, 0x0D03, 0x0D04, 0x0D07, 0x0D06, 0x0D08}},
    {"ATemperatureSetWithoutDataEndsTheDataSets", {59, 0, 10, 0}, 1, 6, 1,
     {0x0D00, 0x0D01, 0x0D05, 0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D04, 0x0D07, 0x0D06, 0x0D08}},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(SensorTest, RecordedTiming, ::testing::ValuesIn(kTimings), kByName);

TEST_F(SensorTestOnUnit, NAbove256Reads256DataSets) {
  LoadRecording();
  link.Unit().SetRecordedSets(std::vector<Bytes>(300, Words(1170, 490)), std::vector<Bytes>(300, Word(6018)));
  const Ids ids = ReadRecorded({0xE7, 0x03, 1, 0});
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 0x0D03u), 256);
}

TEST_F(SensorTestOnUnit, AVoltageSetWithoutDataIsLoggedAndItsTemperatureStillRead) {
  LoadRecording();
  link.Unit().SetRecordedSets({}, {Word(6018)});
  ReadRecorded({5, 0, 10, 0});
  EXPECT_NE(test.LogText().find("N: 000, Uv: 00.00 V, Us: 00.00 V, Ts: 00.9 \260C\r\nno voltages received\r\n"),
            std::string::npos);
}

TEST_F(SensorTestOnUnit, TheDataSetFieldShowsTheSetsRead) {
  LoadRecording();
  ReadRecorded({19, 0, 10, 0});
  EXPECT_EQ(test.DataSetShown(), 2);
}

TEST_F(SensorTestOnUnit, ReadRecordedDataStartsWithAnEmptyLog) {
  test.ReadTemperature(0);
  ASSERT_TRUE(RunToIdle());
  LoadRecording();
  ReadRecorded({19, 0, 10, 0});
  EXPECT_EQ(test.LogText().find("Temperature sensor"), std::string::npos);
}

TEST_F(SensorTestOnUnit, TypeIILogsTimingSetsAndResultsNewestOnTop) {
  LoadRecording();
  ReadRecorded({19, 0, 10, 0});
  EXPECT_EQ(test.LogText(),
            "\r\n\r\nResistance Shunt - Rsh: 0.47 Ohm\r\n"
            "Kf:   0.01\r\n"
            "max. f(x):   2.50\r\n"
            "max. dER/dt,max: -1.234\r\ntK:  5.670 s\r\n"
            "N: 001, Uv: 09.00 V, Us: 00.00 V, Ts: -5.0 \260C\r\n"
            "N: 000, Uv: 10.00 V, Us: 08.00 V, Ts: 05.0 \260C\r\n"
            "Timing - Ti:  19 s, Tm:  10 s, N:   2\r\n"
            "Start values - Uso: 12.00 V\r\n"
            "Start values - Uo: 12.34 V, To:  12.5 \260C\r\n");
}

TEST_F(SensorTestOnUnit, TypeILogsTheTimingWithTvAndTheResistances) {
  LoadRecording();
  ReadRecorded({0x2C, 0x01, 29, 10}, 0);
  EXPECT_TRUE(test.LogText().starts_with("\r\n\r\nResistance - Ri =   5.67 R: Rs =  12.34 R\r\n"));
  EXPECT_NE(test.LogText().find("Timing - Tv: 300 s, Ti:  29 s, Tm:  10 s, N:   3\r\n"), std::string::npos);
}

const std::string kHead = "t[s]; Uv[V]; Ush[V];  Ts[\260C]; Rs[Ohm]\r\n";
const std::string kStartValues = "\r\nUo; 12,340;V\r\nUso; 12,000;V\r\nTo;+12,500;\260C\r\n";
// The second data set's Us is below 0.01 V: no resistance.
const std::string kTypeIIReport = kHead +
                                  "  10; 10,00;   8,00;   +5,00;    0,12\r\n"
                                  "  20;  9,00;   0,00;   -5,00;    0,00\r\n" +
                                  kStartValues +
                                  "ti; 19,000;s\r\ndERdt; -1,234;\r\ntK;  5,670;s\r\nf(x);  2,500;\r\nK;  0,010;\r\n"
                                  "Rsh;  0,470;Ohm\r\n\r\n";

TEST_F(SensorTestOnUnit, TypeIIReportHasTheDataSetsAndResultsWithDecimalCommas) {
  LoadRecording();
  ReadRecorded({19, 0, 10, 0});
  EXPECT_EQ(SensorTestReport(test.Values(), 1), kTypeIIReport);
}

TEST_F(SensorTestOnUnit, ReportIsTheSameWhenRequestsAreLostOnTheLine) {
  LoadRecording();
  link.Unit().Faults().dropRate = 0.3;
  ReadRecorded({19, 0, 10, 0});
  EXPECT_EQ(SensorTestReport(test.Values(), 1), kTypeIIReport);
}

// Type I reads Tm from byte 3: 0, so no data set rows.
TEST_F(SensorTestOnUnit, TypeIReportWritesTvTiAndTheResistances) {
  LoadRecording();
  ReadRecorded({19, 0, 10, 0}, 0);
  test.SaveReport(Given(std::string("report.dat")));
  EXPECT_EQ(files.files["report.dat"],
            kHead + kStartValues + "tv; 19,000;s\r\nti; 10,000;s\r\nRm;  5,670;Ohm\r\nRs; 12,340; Ohm\r\n\r\n");
}

TEST(SensorTestReport, NAbove256WritesAt256Rows) {
  SensorTestValues values;
  values.dataSetTotal = 300;
  const std::string report = SensorTestReport(values, 1);
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 268);
}

TEST_F(SensorTestOnUnit, EachSaveAppendsOneReport) {
  test.SaveReport(Given(std::string("report.dat")));
  test.SaveReport(Given(std::string("report.dat")));
  EXPECT_EQ(files.files["report.dat"], SensorTestReport(test.Values(), 1) + SensorTestReport(test.Values(), 1));
}

TEST_F(SensorTestOnUnit, AReportThatCannotBeWrittenFailsWithItsBox) {
  files.unwritable.insert("report.dat");
  EXPECT_EQ(test.SaveReport(Given(std::string("report.dat"))),
            Result::Failed("Error open file: DateiDatName\nreport.dat: Read-only file system"));
}

TEST_F(SensorTestOnUnit, ACancelledSaveWritesNothing) {
  EXPECT_EQ(test.SaveReport([] { return std::optional<std::string>(); }), Result::Cancelled());
  EXPECT_TRUE(files.files.empty());
}

struct FailingStepRow {
  const char* name;
  Result (*press)(SensorSequence&);
  std::uint32_t objectId;
  Bytes reply;  // of the wrong size; none: no reply at all
  const char* box;
};

class FailingStep : public SensorTestOnUnit, public ::testing::WithParamInterface<FailingStepRow> {};

// Once, although timer messages come while the box is up; the sequence ends there.
TEST_P(FailingStep, ShowsItsBoxOnceAndEndsTheSequence) {
  const FailingStepRow& row = GetParam();
  LoadRecording();
  if (row.reply.empty()) link.Unit().Faults().silentObjects = {row.objectId};
  if (row.objectId == 0x0D02 || row.objectId == 0x0D03) {
    link.Unit().SetRecordedSets({row.objectId == 0x0D02 ? row.reply : Words(1, 1)}, {row.reply});
  } else if (!row.reply.empty()) {
    link.Unit().SetObject(row.objectId, row.reply);
  }
  row.press(test);
  ASSERT_TRUE(RunToIdle());
  link.RunFor(5'000);
  EXPECT_EQ(std::tuple(boxes, RequestedIds().back()), std::tuple(Strings{row.box}, row.objectId));
}

Result PressTemperature(SensorSequence& t) { return t.ReadTemperature(0); }
Result PressStartCycle(SensorSequence& t) { return t.StartCycle(0); }
Result PressReadRecorded(SensorSequence& t) { return t.ReadRecordedData(); }

// Every step silent, and a reply of the wrong size to a step of two of the buttons.
// clang-format off
const FailingStepRow kFailingSteps[] = {
    {"TemperatureSilent", PressTemperature, 0x0C84, {}, "Error at sensor temperature"},
    {"TemperatureOf2Bytes", PressTemperature, 0x0C84, {1, 2}, "Error at sensor temperature"},
    {"CycleStartSilent", PressStartCycle, 0x0C87, {}, "Error at sensor start"},
    {"SensorDataSilent", PressStartCycle, 0x0C86, {}, "Error at sensor data"},
    {"SensorStateSilent", PressStartCycle, 0x0C80, {}, "Error at sensor state"},
    {"StartValues1Silent", PressReadRecorded, 0x0D00, {}, "Error at start values 1"},
    {"StartValues2Silent", PressReadRecorded, 0x0D01, {}, "Error at start values 2"},
    {"TimingSilent", PressReadRecorded, 0x0D05, {}, "Error at timing values"},
    {"TimingOf2Bytes", PressReadRecorded, 0x0D05, {19, 0}, "Error at timing values"},
    {"VoltagesSilent", PressReadRecorded, 0x0D02, {}, "Error at elektric values"},
    {"TemperatureSetSilent", PressReadRecorded, 0x0D03, {}, "Error at temperature values"},
    {"ResultsSilent", PressReadRecorded, 0x0D04, {}, "Error at result values"},
    {"FunctionValueSilent", PressReadRecorded, 0x0D07, {}, "Error at function value"},
    {"CharacteristicValueSilent", PressReadRecorded, 0x0D06, {}, "Error at characteristic value"},
    {"ShuntSilent", PressReadRecorded, 0x0D08, {}, "Error at resistance values"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(SensorTest, FailingStep, ::testing::ValuesIn(kFailingSteps), kByName);

TEST_F(SensorTestOnUnit, AfterAFailedStepTheNextButtonRunsItsSequence) {
  link.Unit().SetObject(0x0C94, Words(6100, 0));
  link.Unit().Faults().silent = true;
  test.ReadTemperature(0);
  ASSERT_TRUE(RunToIdle());
  link.Unit().Faults().silent = false;
  test.ReadTemperature(1);
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(FileLines(test.LogText()).at(0), "Temperature sensor 2:  5.0 \260C");
}

// Only the data set steps take a reply without data bytes.
TEST_F(SensorTestOnUnit, AReplyWithoutDataToTheCharacteristicValueShowsItsBox) {
  LoadRecording();
  link.Unit().SetObject(0x0D06, {});
  test.ReadRecordedData();
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(boxes, Strings{"Error at characteristic value"});
}

// An earlier step's reply is let end and dropped; one that the main window started while the dialog
// was closed is left to it.
TEST_F(SensorTestOnUnit, AStepTakesOnlyTheReplyOfItsOwnTransaction) {
  link.Unit().SetObject(0x0C84, Words(5999, 0));
  link.Unit().SetObject(0x0C94, Words(5800, 0));
  link.Unit().Faults().latencyMs = 300;
  test.ReadTemperature(0);
  link.RunFor(50);
  test.ReadTemperature(1);
  ASSERT_TRUE(RunToIdle(1'000));
  test.ReadTemperature(0);
  link.RunFor(50);
  test.Close();
  link.RunFor(3'000);  // its outcome is held 2 s, then lost
  LinkTransaction mainWindow(link.LinkState());
  ASSERT_EQ(mainWindow.Start(0x3003, nullptr), 1);
  test.Open(*this);
  ASSERT_TRUE(link.RunUntil([&] { return mainWindow.State() == kTrDone; }, 2'000));
  ObjectRequest reply{};
  ASSERT_EQ(mainWindow.Poll(&reply, nullptr, nullptr, nullptr), 2) << "the reply stays its owner's";
  ASSERT_TRUE(RunToIdle(1'000));
  EXPECT_EQ(std::tuple(RequestedIds(), FileLines(test.LogText())),
            std::tuple(Ids{0x0C84, 0x0C94, 0x0C84, 0x3003, 0x0C84},
                       Strings{"Temperature sensor 1:  0.0 \260C", "Temperature sensor 2: -10.0 \260C"}));
}

}  // namespace
}  // namespace gelvar::testing
