// The sensor test open, with a listener that notes its boxes, on the whole link path to a
// simulated unit in virtual time (one timer message every 10 ms).
#include "core/sensorcheck/sensor_sequence.h"

#include <gtest/gtest.h>

#include <map>

#include "core/common/c_format.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

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
  // The IDs asked, a pair asked again and again written once with its count: "0D00 (0D02 0D03)x6 0D04".
  std::string Asked() {
    std::vector<std::string> ids;
    for (const auto& request : link.Unit().Requests()) ids.push_back(CFormat("%04X", request.objectId));
    std::string text;
    for (std::size_t i = 0; i < ids.size();) {
      std::size_t n = 1;  // how often the pair at i comes in a row
      while (i + 2 * n + 1 < ids.size() && ids[i + 2 * n] == ids[i] && ids[i + 2 * n + 1] == ids[i + 1]) ++n;
      text += (text.empty() ? "" : " ") + (n > 1 ? "(" + ids[i] + " " + ids[i + 1] + ")x" + std::to_string(n) : ids[i]);
      i += n > 1 ? 2 * n : 1;
    }
    return text;
  }
  // A recording whose timing gives Ti 19 s and Tm 10 s (Type II): N = 2, both data sets there.
  void LoadRecording() {
    const std::map<std::uint32_t, Bytes> objects = {
        {0x0D00, Words(1234, 6250)}, {0x0D01, Word(1200)}, {0x0D05, {19, 0, 10, 0}}, {0x0D04, Words(1234, 567)},
        {0x0D07, Word(250)},         {0x0D06, Word(1)},    {0x0D08, Word(47)}};
    for (const auto& [id, data] : objects) link.Unit().SetObject(id, data);
    link.Unit().SetRecordedSets({Words(1000, 800), Words(900, 0)}, {Word(6100), Word(5900)});
  }
  void ReadRecorded(const Bytes& timing, int sensorType = 1) {
    link.Unit().SetObject(0x0D05, timing);
    test.SetSensorType(sensorType);
    test.ReadRecordedData();
    EXPECT_TRUE(RunToIdle(120'000));
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

// 0 stands for a ta refused with its box, after which a cycle does not start.
TEST_P(TypedTa, IsTakenWithinOneToThousandSeconds) {
  const std::string box = test.SetTa(1, GetParam().typed).error;
  EXPECT_EQ(std::tuple(test.Ta(1), box, test.StartCycle(1).error),
            GetParam().ta == 0
                ? std::tuple(0, std::string("Error: Allowed range 1...1000 s"), std::string("Error: Time setting"))
                : std::tuple(GetParam().ta, std::string(), std::string()));
}

// clang-format off
const TaRow kTas[] = {
    {"Zero", "0", 0}, {"One", "1", 1}, {"Thousand", "1000", 1000}, {"ThousandAndOne", "1001", 0},
    {"Letters", "abc", 0}, {"BlankThenDigitsThenLetters", " 10s", 10}, {"PastTheIntRange", "4294967546", 0},
    {"PlusTen", "+10", 10}, {"MinusTen", "-10", 0},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(SensorTest, TypedTa, ::testing::ValuesIn(kTas), kByName);

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
  EXPECT_EQ(Asked(), "0C97 (0C96 0C90)x4");
}

// Recording state 1, then ta as a little-endian word.
TEST_F(CycleOf10Seconds, StartsTheRecordingWithTaInItsRequest) {
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(link.Unit().Requests()[0].data, (Bytes{1, 0, 10, 0}));
}

// 300 timer messages count the 3000 ms down; the reply's and the request's way on the line add 40 ms.
TEST_F(CycleOf10Seconds, AsksTheSensorDataThreeSecondsAfterTheStart) {
  ASSERT_TRUE(RunToIdle());
  const auto& requests = link.Unit().Requests();
  EXPECT_EQ(requests[1].atMs - requests[0].atMs, 3040);
}

TEST_F(CycleOf10Seconds, CountsDownTheSecondsOfTaAndStopsAt0) {
  ASSERT_TRUE(link.RunUntil([this] { return test.TestStep() == 3; }, 1'000));
  link.RunFor(4'000);
  const int after4s = test.Countdown()->left;
  link.RunFor(7'000);
  EXPECT_EQ(std::tuple(after4s, test.Countdown()->seconds, test.Countdown()->left), std::tuple(6, 10, 0));
}

struct TimingRow {
  const char* name;
  Bytes timing;  // Ti and Tm for type II; Tv, Ti and Tm for type I
  int sensorType;
  std::size_t voltageSets, temperatureSets;
  const char* asked;
};

class RecordedTiming : public SensorTestOnUnit, public ::testing::WithParamInterface<TimingRow> {};

TEST_P(RecordedTiming, DecidesTheDataSetsRead) {
  const TimingRow& row = GetParam();
  LoadRecording();
  link.Unit().SetRecordedSets(std::vector<Bytes>(row.voltageSets, Words(1170, 490)),
                              std::vector<Bytes>(row.temperatureSets, Word(6018)));
  ReadRecorded(row.timing, row.sensorType);
  EXPECT_EQ(Asked(), row.asked);
}

// N = (Ti + 1) / Tm data sets, at most 256; type I ends with the resistances, type II with three more values.
// clang-format off
const TimingRow kTimings[] = {
    {"TypeIITi59Tm10ReadsSix", {59, 0, 10, 0}, 1, 8, 8, "0D00 0D01 0D05 (0D02 0D03)x6 0D04 0D07 0D06 0D08"},
    {"TypeITv300Ti29Tm10ReadsThreeOfWhichTwoCame", {0x2C, 0x01, 29, 10}, 0, 2, 2, "0D00 0D01 0D05 (0D02 0D03)x3 0D04"},
    {"TiBelowTmStillReadsDataSet0", {5, 0, 10, 0}, 1, 2, 2, "0D00 0D01 0D05 0D02 0D03 0D04 0D07 0D06 0D08"},
    {"Tm0ReadsDataSet0", {5, 0, 0, 0}, 1, 2, 2, "0D00 0D01 0D05 0D02 0D03 0D04 0D07 0D06 0D08"},
    {"NAbove256Reads256", {0xE7, 0x03, 1, 0}, 1, 300, 300, "0D00 0D01 0D05 (0D02 0D03)x256 0D04 0D07 0D06 0D08"},
    {"EmptyVoltageSetStillReadsTemperature", {5, 0, 10, 0}, 1, 0, 1, "0D00 0D01 0D05 0D02 0D03 0D04 0D07 0D06 0D08"},
    {"ATemperatureSetWithoutDataEndsThem", {59, 0, 10, 0}, 1, 6, 1, "0D00 0D01 0D05 (0D02 0D03)x2 0D04 0D07 0D06 0D08"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(SensorTest, RecordedTiming, ::testing::ValuesIn(kTimings), kByName);

// What the log held before is gone.
TEST_F(SensorTestOnUnit, TypeIILogsTimingSetsAndResultsNewestOnTop) {
  test.ReadTemperature(0);
  ASSERT_TRUE(RunToIdle());
  LoadRecording();
  ReadRecorded({19, 0, 10, 0});
  EXPECT_EQ(test.LogText(),
            "\r\n\r\nResistance Shunt - Rsh: 0.47 Ohm\r\nKf:   0.01\r\nmax. f(x):   2.50\r\n"
            "max. dER/dt,max: -1.234\r\ntK:  5.670 s\r\n"
            "N: 001, Uv: 09.00 V, Us: 00.00 V, Ts: -5.0 \260C\r\nN: 000, Uv: 10.00 V, Us: 08.00 V, Ts: 05.0 \260C\r\n"
            "Timing - Ti:  19 s, Tm:  10 s, N:   2\r\n"
            "Start values - Uso: 12.00 V\r\nStart values - Uo: 12.34 V, To:  12.5 \260C\r\n");
}

// A save that fails leaves the reports saved before.
TEST_F(SensorTestOnUnit, ReportIsTheSameWhenRequestsAreDroppedAndEachSaveAppendsOne) {
  LoadRecording();
  link.Unit().Faults().dropRate = 0.3;
  ReadRecorded({19, 0, 10, 0});
  test.SaveReport(Given(std::string("report.dat")));
  test.SaveReport(Given(std::string("report.dat")));
  // The second data set's Us is below 0.01 V: no resistance.
  const std::string report =
      "t[s]; Uv[V]; Ush[V];  Ts[\260C]; Rs[Ohm]\r\n  10; 10,00;   8,00;   +5,00;    0,12\r\n"
      "  20;  9,00;   0,00;   -5,00;    0,00\r\n\r\nUo; 12,340;V\r\nUso; 12,000;V\r\nTo;+12,500;\260C\r\n"
      "ti; 19,000;s\r\ndERdt; -1,234;\r\ntK;  5,670;s\r\nf(x);  2,500;\r\nK;  0,010;\r\nRsh;  0,470;Ohm\r\n\r\n";
  files.unwritable.insert("report.dat");
  EXPECT_EQ(
      std::tuple(test.SaveReport(Given(std::string("report.dat"))), files.files["report.dat"]),
      std::tuple(Result::Failed("Error open file: DateiDatName\nreport.dat: Read-only file system"), report + report));
}

TEST(SensorTestReport, NAbove256WritesAt256Rows) {
  SensorTestValues values;
  values.dataSetTotal = 300;
  const std::string report = SensorTestReport(values, 1);
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 268);
}

struct FailingStepRow {
  const char* name;
  Result (*press)(SensorSequence&);
  std::uint32_t objectId;
  std::optional<Bytes> reply;  // of the wrong size, or none at all
  const char* box;
};

class FailingStep : public SensorTestOnUnit, public ::testing::WithParamInterface<FailingStepRow> {};

// Once, although timer messages come while the box is up; the sequence ends there.
TEST_P(FailingStep, ShowsItsBoxOnceAndEndsTheSequence) {
  const FailingStepRow& row = GetParam();
  LoadRecording();
  if (row.reply) link.Unit().SetObject(row.objectId, *row.reply);
  if (!row.reply) link.Unit().Faults().silentObjects = {row.objectId};
  row.press(test);
  ASSERT_TRUE(RunToIdle());
  link.RunFor(5'000);
  EXPECT_EQ(std::tuple(boxes, link.Unit().Requests().back().objectId), std::tuple(Strings{row.box}, row.objectId));
}

Result PressTemperature(SensorSequence& t) { return t.ReadTemperature(0); }
Result PressStartCycle(SensorSequence& t) { return t.StartCycle(0); }
Result PressReadRecorded(SensorSequence& t) { return t.ReadRecordedData(); }

// Every step silent, and a reply of the wrong size to a step of each kind.
// clang-format off
const FailingStepRow kFailingSteps[] = {
    {"TemperatureSilent", PressTemperature, 0x0C84, {}, "Error at sensor temperature"},
    {"CycleStartSilent", PressStartCycle, 0x0C87, {}, "Error at sensor start"},
    {"SensorDataSilent", PressStartCycle, 0x0C86, {}, "Error at sensor data"},
    {"SensorStateSilent", PressStartCycle, 0x0C80, {}, "Error at sensor state"},
    {"StartValues1Silent", PressReadRecorded, 0x0D00, {}, "Error at start values 1"},
    {"StartValues2Silent", PressReadRecorded, 0x0D01, {}, "Error at start values 2"},
    {"TimingSilent", PressReadRecorded, 0x0D05, {}, "Error at timing values"},
    {"TimingOf2Bytes", PressReadRecorded, 0x0D05, Bytes{19, 0}, "Error at timing values"},
    {"VoltagesSilent", PressReadRecorded, 0x0D02, {}, "Error at elektric values"},
    {"TemperatureSetSilent", PressReadRecorded, 0x0D03, {}, "Error at temperature values"},
    {"ResultsSilent", PressReadRecorded, 0x0D04, {}, "Error at result values"},
    {"FunctionValueSilent", PressReadRecorded, 0x0D07, {}, "Error at function value"},
    {"CharacteristicValueSilent", PressReadRecorded, 0x0D06, {}, "Error at characteristic value"},
    // Only the data set steps take a reply without data bytes.
    {"CharacteristicValueEmpty", PressReadRecorded, 0x0D06, Bytes{}, "Error at characteristic value"},
    {"ShuntSilent", PressReadRecorded, 0x0D08, {}, "Error at resistance values"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(SensorTest, FailingStep, ::testing::ValuesIn(kFailingSteps), kByName);

// The recording is the unit's: after sensor 2 was asked, its objects are still asked as they are.
TEST_F(SensorTestOnUnit, RecordedDataIsReadUnderTheSameIdsWhicheverSensorWasAsked) {
  LoadRecording();
  test.ReadTemperature(1);
  ASSERT_TRUE(RunToIdle());
  test.ReadRecordedData();
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(Asked(), "0C94 0D00 0D01 0D05 (0D02 0D03)x2 0D04 0D07 0D06 0D08");
}

// The earlier step's transaction is let end and its reply dropped, without waiting for it to expire.
TEST_F(SensorTestOnUnit, AStepStartedWhileAnEarlierOneRunsTakesOnlyItsOwnReply) {
  link.Unit().SetObject(0x0C84, Words(5999, 0));
  link.Unit().SetObject(0x0C94, Words(5800, 0));
  link.Unit().Faults().latencyMs = 300;
  test.ReadTemperature(0);
  link.RunFor(50);
  test.ReadTemperature(1);
  ASSERT_TRUE(RunToIdle(1'000));
  EXPECT_EQ(std::tuple(Asked(), FileLines(test.LogText())),
            std::tuple("0C84 0C94", Strings{"Temperature sensor 2: -10.0 \260C"}));
}

// Its outcome is held 2 s after the dialog closed, then lost.
TEST_F(SensorTestOnUnit, AStepWhoseReplyWasLostWhileClosedAsksAgain) {
  link.Unit().Faults().latencyMs = 300;
  test.ReadTemperature(0);
  link.RunFor(50);
  test.Close();
  link.RunFor(3'000);
  test.Open(*this);
  ASSERT_TRUE(RunToIdle(1'000));
  EXPECT_EQ(std::tuple(Asked(), boxes), std::tuple("0C84 0C84", Strings{}));
}

}  // namespace
}  // namespace gelvar::testing
