#include <gtest/gtest.h>

#include "sensortest/sensor_test_fakes.h"

namespace gelvar::testing {
namespace {

using Ids = std::vector<std::uint32_t>;
using Lines = std::vector<std::string>;

struct TemperatureCase {
  int sensor;
  int code;
  std::uint32_t objectId;
  const char* line;
};

class TemperatureLine : public SensorTestFixture, public ::testing::WithParamInterface<TemperatureCase> {};

TEST_P(TemperatureLine, ShowsDegreesCelsiusTruncatedTowardZero) {
  const TemperatureCase& c = GetParam();
  link.SetObject(c.objectId, Words(c.code, 0));
  test.OnTemperature(c.sensor);
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(link.StartedIds(), Ids{c.objectId});
  EXPECT_EQ(test.logText, std::string(c.line) + "\r\n");
  EXPECT_TRUE(view.alerts.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, TemperatureLine,
    ::testing::Values(TemperatureCase{0, 6000, 0x0C84, "Temperature sensor 1:  0.0 \xB0" "C"},
                      TemperatureCase{0, 5800, 0x0C84, "Temperature sensor 1: -10.0 \xB0" "C"},
                      TemperatureCase{1, 5999, 0x0C94, "Temperature sensor 2:  0.0 \xB0" "C"},
                      TemperatureCase{1, 6250, 0x0C94, "Temperature sensor 2: 12.5 \xB0" "C"}));

class StartCycle : public SensorTestFixture, public ::testing::WithParamInterface<int> {};

TEST_P(StartCycle, FollowsTheRecordingEveryThreeSecondsUntilItEnds) {
  const int sensor = GetParam();
  const std::uint32_t offset = sensor == 0 ? 0 : 0x10;
  link.SetObject(0x0C87 + offset, {2, 0});
  link.SetObject(0x0C86 + offset, Words(1234, 567));
  link.queued[0x0C80 + offset] = {{4, {11, 0, 0, 0}}, {4, {11, 0, 0, 0}}};
  link.SetObject(0x0C80 + offset, {0, 0, 0, 0});

  test.OnStartCycle(sensor);
  ASSERT_TRUE(RunToIdle());

  const std::uint32_t start = 0x0C87 + offset, data = 0x0C86 + offset, state = 0x0C80 + offset;
  EXPECT_EQ(link.StartedIds(), (Ids{start, data, state, data, state, data, state}));
  EXPECT_EQ(link.started[0].data, (std::vector<std::uint8_t>{1, 0, 0xFA, 0x00}));
  for (std::size_t i = 1; i < link.started.size(); i += 2) {
    // One timer message collects the previous reply, then 300 messages of 10 ms pass.
    EXPECT_EQ(link.started[i].atMs - link.started[i - 1].atMs, 3010) << i;
  }
  const std::string n = std::to_string(sensor + 1);
  const std::string dataLine = "Sensor " + n + " - Uv: 12.34,  Rs:  567 Ohm";
  EXPECT_EQ(LogLines(test.logText), (Lines{"Recording sensor " + n + " completed!", dataLine, dataLine,
                                           dataLine, "Record sensor " + n + " started!"}));
  EXPECT_TRUE(view.alerts.empty());
}

INSTANTIATE_TEST_SUITE_P(Sensors, StartCycle, ::testing::Values(0, 1));

TEST_F(SensorTestFixture, CycleStartRefusedByTheUnitEndsWithALogLine) {
  link.SetObject(0x0C97, {3, 0});
  test.OnStartCycle(1);
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(link.StartedIds(), Ids{0x0C97});
  EXPECT_EQ(test.logText, "Error 3 start sensor 2 !\r\n");
  EXPECT_TRUE(view.alerts.empty());
}

TEST_F(SensorTestFixture, CycleWaitEndsWhenTheTickPeriodGrowsPastTheRemainder) {
  link.SetObject(0x0C87, {2, 0});
  link.SetObject(0x0C86, Words(100, 100));
  test.OnStartCycle(0);
  // Start at 10 ms, reply at 20 ms, then 299 messages leave 10 ms of the 3000.
  scheduler.AdvanceBy(3010);
  ASSERT_EQ(link.StartedIds(), Ids{0x0C87});
  tickPeriod = 16;
  scheduler.AdvanceBy(10);
  EXPECT_EQ(link.StartedIds(), (Ids{0x0C87, 0x0C86}));
}

TEST_F(SensorTestFixture, ReadsATypeIRecording) {
  LoadRecording(link, 0);
  test.OnTypeChanged(0);
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle());

  EXPECT_EQ(link.StartedIds(), (Ids{0x0D00, 0x0D01, 0x0D05, 0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D04}));
  EXPECT_EQ(link.started[5].data, (std::vector<std::uint8_t>{1, 0}));
  EXPECT_EQ(LogLines(test.logText),
            (Lines{"", "", "Resistance - Ri = 100.00 R: Rs =  47.00 R",
                   "N: 001, Uv: 09.00 V, Us: 00.00 V, Ts: -5.0 \xB0" "C",
                   "N: 000, Uv: 10.00 V, Us: 08.00 V, Ts: 05.0 \xB0" "C",
                   "Timing - Tv: 300 s, Ti:   9 s, Tm:   5 s, N:   2", "Start values - Uso: 12.00 V",
                   "Start values - Uo: 12.34 V, To:  12.5 \xB0" "C"}));
  EXPECT_EQ(test.dataSetShown, 2);
  EXPECT_TRUE(view.alerts.empty());
}

TEST_F(SensorTestFixture, ReadsATypeIIRecording) {
  LoadRecording(link, 1);
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle());

  EXPECT_EQ(link.StartedIds(), (Ids{0x0D00, 0x0D01, 0x0D05, 0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D04,
                                    0x0D07, 0x0D06, 0x0D08}));
  EXPECT_EQ(LogLines(test.logText),
            (Lines{"", "", "Resistance Shunt - Rsh: 0.47 Ohm", "Kf:   0.01", "max. f(x):   2.50",
                   "max. dER/dt,max: -1.234", "tK:  5.670 s",
                   "N: 001, Uv: 09.00 V, Us: 03.00 V, Ts: -5.0 \xB0" "C",
                   "N: 000, Uv: 10.00 V, Us: 08.00 V, Ts: 05.0 \xB0" "C", "Timing - Ti:  19 s, Tm:  10 s, N:   2",
                   "Start values - Uso: 12.00 V", "Start values - Uo: 12.34 V, To:  12.5 \xB0" "C"}));
  EXPECT_TRUE(view.alerts.empty());
}

struct DataSetCountCase {
  std::vector<std::uint8_t> timing;  // Type II: Ti word, Tm byte
  int expectedTotal;
  int setsRead;
};

class DataSetCount : public SensorTestFixture, public ::testing::WithParamInterface<DataSetCountCase> {};

TEST_P(DataSetCount, ReadsAtLeastOneAndAtMost256Sets) {
  const DataSetCountCase& c = GetParam();
  LoadRecording(link, 1);
  link.SetObject(0x0D05, c.timing);
  for (int set = 0; set < kRecordedSetLimit; ++set) {
    link.SetDataSet(0x0D02, set, Words(500, 400));
    link.SetDataSet(0x0D03, set, Word(6000 + set));
  }
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle(600000));

  const Ids ids = link.StartedIds();
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 0x0D02u), c.setsRead);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 0x0D03u), c.setsRead);
  EXPECT_EQ(ids.back(), 0x0D08u);
  EXPECT_EQ(test.Values().dataSetTotal, c.expectedTotal);
  EXPECT_EQ(test.DataSetIndex(), c.setsRead);
  EXPECT_TRUE(view.alerts.empty());
}

INSTANTIATE_TEST_SUITE_P(Timings, DataSetCount,
                         ::testing::Values(DataSetCountCase{{59, 0, 10, 0}, 6, 6},
                                           DataSetCountCase{{5, 0, 10, 0}, 0, 1},
                                           DataSetCountCase{{5, 0, 0, 0}, 0, 1},  // Tm 0
                                           DataSetCountCase{{0xE7, 0x03, 1, 0}, 1000, 256}));

TEST_F(SensorTestFixture, MissingTemperatureOfASetEndsTheSetsAndReadsTheResults) {
  LoadRecording(link, 1);
  link.dataSets.erase({0x0D03, 1});
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle());

  EXPECT_EQ(link.StartedIds(), (Ids{0x0D00, 0x0D01, 0x0D05, 0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D04,
                                    0x0D07, 0x0D06, 0x0D08}));
  EXPECT_EQ(test.DataSetIndex(), 1);
  const Lines lines = LogLines(test.logText);
  EXPECT_EQ(lines.at(7), "no temperature received");
  EXPECT_EQ(test.Values().Uv[1], 9.0f);
}

TEST_F(SensorTestFixture, MissingVoltagesOfASetLeaveZerosAndGoOnWithItsTemperature) {
  LoadRecording(link, 1);
  link.dataSets.erase({0x0D02, 0});
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle());

  const Lines lines = LogLines(test.logText);
  EXPECT_EQ(lines.at(8), "N: 000, Uv: 00.00 V, Us: 00.00 V, Ts: 05.0 \xB0" "C");
  EXPECT_EQ(lines.at(9), "no voltages received");
  EXPECT_EQ(test.DataSetIndex(), 2);
}

struct StepErrorCase {
  enum Button { kTemperature, kStartCycle, kReadRecorded } button;
  std::uint32_t objectId;
  TableTransaction::Outcome outcome;
  const char* text;
};

class StepError : public SensorTestFixture, public ::testing::WithParamInterface<StepErrorCase> {};

TEST_P(StepError, ShowsTheStepsBoxOnceAndEndsTheSequence) {
  const StepErrorCase& c = GetParam();
  LoadRecording(link, 1);
  link.SetObject(0x0C84, Words(6000, 6000));
  link.SetObject(0x0C87, {2, 0});
  link.SetObject(0x0C86, Words(100, 100));
  link.SetObject(0x0C80, {11, 0, 0, 0});
  link.objects[c.objectId] = c.outcome;
  link.dataSets[{c.objectId, 0}] = c.outcome;
  // The message box runs its own loop, in which timer messages keep coming.
  view.whileAlertShown = [this] {
    for (int i = 0; i < 5; ++i) test.OnTimer();
  };

  switch (c.button) {
    case StepErrorCase::kTemperature: test.OnTemperature(0); break;
    case StepErrorCase::kStartCycle: test.OnStartCycle(0); break;
    case StepErrorCase::kReadRecorded: test.OnReadRecordedData(); break;
  }
  ASSERT_TRUE(RunToIdle());

  ASSERT_EQ(view.alerts.size(), 1u);
  EXPECT_EQ(view.alerts[0].first, c.text);
  EXPECT_EQ(view.alerts[0].second, AlertIcon::kExclamation);
  const Ids ids = link.StartedIds();
  EXPECT_EQ(ids.back(), c.objectId);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), c.objectId), 1);
  scheduler.AdvanceBy(5000);
  EXPECT_EQ(link.StartedIds().size(), ids.size());
}

using E = StepErrorCase;
const TableTransaction::Outcome kFailed{kPollFailed, {}};
const TableTransaction::Outcome kIdle{kPollIdle, {}};
const TableTransaction::Outcome kTwoBytes{2, {1, 2}};
const TableTransaction::Outcome kFourBytes{4, {1, 2, 3, 4}};
const TableTransaction::Outcome kNoBytes{0, {}};

INSTANTIATE_TEST_SUITE_P(
    Steps, StepError,
    ::testing::Values(E{E::kTemperature, 0x0C84, kFailed, "Error at sensor temperature"},
                      E{E::kTemperature, 0x0C84, kTwoBytes, "Error at sensor temperature"},
                      E{E::kStartCycle, 0x0C87, kFourBytes, "Error at sensor start"},
                      E{E::kStartCycle, 0x0C86, kIdle, "Error at sensor data"},
                      E{E::kStartCycle, 0x0C80, kTwoBytes, "Error at sensor state"},
                      E{E::kReadRecorded, 0x0D00, kFailed, "Error at start values 1"},
                      E{E::kReadRecorded, 0x0D01, kFourBytes, "Error at start values 2"},
                      E{E::kReadRecorded, 0x0D05, kNoBytes, "Error at timing values"},
                      E{E::kReadRecorded, 0x0D02, kTwoBytes, "Error at elektric values"},
                      E{E::kReadRecorded, 0x0D03, kFailed, "Error at temperature values"},
                      E{E::kReadRecorded, 0x0D04, kTwoBytes, "Error at result values"},
                      E{E::kReadRecorded, 0x0D07, kFailed, "Error at function value"},
                      E{E::kReadRecorded, 0x0D06, kFourBytes, "Error at characteristic value"},
                      E{E::kReadRecorded, 0x0D08, kFailed, "Error at resistance values"}));

TEST_F(SensorTestFixture, ButtonDuringARunningTransactionWaitsForItAndDropsItsReply) {
  link.SetObject(0x0C84, Words(6000, 0));
  link.SetObject(0x0C94, Words(5800, 0));
  link.busyPolls = 20;
  test.OnTemperature(0);
  scheduler.AdvanceBy(50);
  ASSERT_TRUE(link.Running());
  test.OnTemperature(1);
  ASSERT_TRUE(RunToIdle());

  EXPECT_EQ(link.StartedIds(), (Ids{0x0C84, 0x0C94}));
  EXPECT_EQ(link.refusedStarts, 0);
  EXPECT_EQ(test.logText, "Temperature sensor 2: -10.0 \xB0" "C\r\n");
  EXPECT_TRUE(view.alerts.empty());
}

TEST_F(SensorTestFixture, AnotherCallersTransactionIsLeftToItsOwner) {
  link.SetObject(0x0C84, Words(6000, 0));
  link.foreignStarts = 5;
  test.OnTemperature(0);
  ASSERT_TRUE(RunToIdle());

  EXPECT_EQ(link.StartedIds(), Ids{0x0C84});
  EXPECT_EQ(link.polls, 1);
  EXPECT_EQ(test.logText, "Temperature sensor 1:  0.0 \xB0" "C\r\n");
}

TEST_F(SensorTestFixture, ClosingStopsTheTimerAndReopeningGoesOnWhereItWas) {
  link.SetObject(0x0C84, Words(6000, 0));
  link.busyPolls = 10;
  test.OnTemperature(0);
  scheduler.AdvanceBy(50);
  test.Close();
  const int refreshes = view.refreshes;
  scheduler.AdvanceBy(10000);
  EXPECT_EQ(view.refreshes, refreshes);
  EXPECT_EQ(test.TestStep(), 1);

  FakeSensorTestView reopened;
  test.Open(reopened);
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(test.logText, "Temperature sensor 1:  0.0 \xB0" "C\r\n");
  EXPECT_GT(reopened.refreshes, 0);
  EXPECT_EQ(link.StartedIds(), Ids{0x0C84});
}

TEST_F(SensorTestFixture, ReadRecordedDataStartsAfreshWithAnEmptyLogAndZeroedSets) {
  LoadRecording(link, 1);
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle());
  link.dataSets.clear();
  test.OnReadRecordedData();
  EXPECT_EQ(test.logText, "");
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(test.Values().Uv[0], 0.0f);
  EXPECT_EQ(test.Values().Ts[0], 0.0f);
  EXPECT_EQ(test.DataSetIndex(), 0);
}

}  // namespace
}  // namespace gelvar::testing
