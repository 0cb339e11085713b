#include <gtest/gtest.h>

#include "sensortest/sensor_test_fakes.h"

namespace gelvar::testing {
namespace {

using Ids = std::vector<std::uint32_t>;

struct TemperatureCase {
  int sensor;
  int code;
  const char* line;
};

class TemperatureLine : public SensorTestFixture, public ::testing::WithParamInterface<TemperatureCase> {};

TEST_P(TemperatureLine, ShowsDegreesCelsiusTruncatedTowardZero) {
  const TemperatureCase& c = GetParam();
  const std::uint32_t id = c.sensor == 0 ? 0x0C84 : 0x0C94;
  link.Reply(id, Words(c.code, 0));
  test.OnTemperature(c.sensor);
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(link.started, Ids{id});
  EXPECT_EQ(test.logText, std::string(c.line) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Codes, TemperatureLine,
                         ::testing::Values(TemperatureCase{0, 6000, "Temperature sensor 1:  0.0 \xB0" "C"},
                                           TemperatureCase{0, 5800, "Temperature sensor 1: -10.0 \xB0" "C"},
                                           TemperatureCase{1, 5999, "Temperature sensor 2:  0.0 \xB0" "C"},
                                           TemperatureCase{1, 6250, "Temperature sensor 2: 12.5 \xB0" "C"}));

TEST_F(SensorTestFixture, CycleIsFollowedEveryThreeSecondsWhileTheSensorRecords) {
  link.Reply(0x0C97, {2, 0});
  link.Reply(0x0C96, Words(1234, 567));
  link.replies[{0x0C90, -1}] = {{4, {11, 0, 0, 0}}, {4, {11, 0, 0, 0}}, {4, {0, 0, 0, 0}}};
  test.OnStartCycle(1);
  ASSERT_TRUE(RunToIdle());

  EXPECT_EQ(link.started, (Ids{0x0C97, 0x0C96, 0x0C90, 0x0C96, 0x0C90, 0x0C96, 0x0C90}));
  for (std::size_t i = 1; i < link.started.size(); i += 2) {
    // One timer message takes the previous reply, then 300 messages of 10 ms pass.
    EXPECT_EQ(link.startedAtMs[i] - link.startedAtMs[i - 1], 3010) << i;
  }
  const std::string data = "Sensor 2 - Uv: 12.34,  Rs:  567 Ohm";
  EXPECT_EQ(LogLines(test.logText),
            (Strings{"Recording sensor 2 completed!", data, data, data, "Record sensor 2 started!"}));
}

TEST_F(SensorTestFixture, CycleStartRefusedByTheUnitEndsWithALogLine) {
  link.Reply(0x0C87, {3, 0});
  test.OnStartCycle(0);
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(link.started, Ids{0x0C87});
  EXPECT_EQ(test.logText, "Error 3 start sensor 1 !\r\n");
}

TEST_F(SensorTestFixture, CycleWaitEndsWhenTheTickPeriodGrowsPastTheRemainder) {
  link.Reply(0x0C87, {2, 0});
  test.OnStartCycle(0);
  scheduler.AdvanceBy(3010);  // start, reply, then 299 messages leave 10 of the 3000 ms
  ASSERT_EQ(link.started, Ids{0x0C87});
  tickPeriod = 16;
  scheduler.AdvanceBy(10);
  EXPECT_EQ(link.started, (Ids{0x0C87, 0x0C86}));
}

struct DataSetCountCase {
  Bytes timing;  // Type II: Ti word, Tm byte
  int total;
  int setsRead;
};

class DataSetCount : public SensorTestFixture, public ::testing::WithParamInterface<DataSetCountCase> {};

TEST_P(DataSetCount, ReadsAtLeastOneSetAndReportsAtMost256) {
  const DataSetCountCase& c = GetParam();
  LoadRecording();
  link.Reply(0x0D05, c.timing);
  for (int set = 0; set < kRecordedSetLimit; ++set) link.Reply(0x0D03, {0x70, 0x17}, set);
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle(600000));

  EXPECT_EQ(std::count(link.started.begin(), link.started.end(), 0x0D03u), c.setsRead);
  EXPECT_EQ(link.started.back(), 0x0D08u);
  EXPECT_EQ(test.Values().dataSetTotal, c.total);
  EXPECT_EQ(test.dataSetShown, c.setsRead);
  const std::string report = SensorTestReport(test.Values(), 1);
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 12 + std::min(c.total, 256));
}

INSTANTIATE_TEST_SUITE_P(Timings, DataSetCount,
                         ::testing::Values(DataSetCountCase{{59, 0, 10, 0}, 6, 6},
                                           DataSetCountCase{{5, 0, 10, 0}, 0, 1},
                                           DataSetCountCase{{5, 0, 0, 0}, 0, 1},  // Tm 0
                                           DataSetCountCase{{0xE7, 0x03, 1, 0}, 1000, 256}));

TEST_F(SensorTestFixture, MissingTemperatureOfASetGoesOnWithTheResults) {
  LoadRecording();
  link.replies.erase({0x0D03, 1});
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(link.started, (Ids{0x0D00, 0x0D01, 0x0D05, 0x0D02, 0x0D03, 0x0D02, 0x0D03, 0x0D04, 0x0D07,
                               0x0D06, 0x0D08}));
  EXPECT_EQ(LogLines(test.logText).at(7), "no temperature received");
  EXPECT_EQ(test.DataSetIndex(), 1);
}

struct StepErrorCase {
  int button;  // 0 Temperature, 1 Start Cycle, 2 Read Recorded Data
  std::uint32_t objectId;
  int result;
  const char* text;
};

class StepError : public SensorTestFixture, public ::testing::WithParamInterface<StepErrorCase> {};

TEST_P(StepError, ShowsTheStepsBoxOnceAndEndsTheSequence) {
  const StepErrorCase& c = GetParam();
  LoadRecording();
  link.Reply(0x0C87, {2, 0});
  link.Reply(0x0C86, Words(100, 100));
  link.Reply(0x0C80, {11, 0, 0, 0});
  link.replies[{c.objectId, c.objectId == 0x0D02 || c.objectId == 0x0D03 ? 0 : -1}] = {
      {c.result, Bytes(static_cast<std::size_t>(std::max(c.result, 0)), 1)}};
  view.whileAlertShown = [this] {
    for (int i = 0; i < 5; ++i) test.OnTimer();
  };
  const std::function<void()> buttons[] = {[this] { test.OnTemperature(0); },
                                           [this] { test.OnStartCycle(0); },
                                           [this] { test.OnReadRecordedData(); }};
  buttons[c.button]();
  ASSERT_TRUE(RunToIdle());
  scheduler.AdvanceBy(5000);

  EXPECT_EQ(view.alerts, Strings{c.text});
  EXPECT_EQ(link.started.back(), c.objectId);
  EXPECT_EQ(std::count(link.started.begin(), link.started.end(), c.objectId), 1);
}

INSTANTIATE_TEST_SUITE_P(Steps, StepError,
                         ::testing::Values(StepErrorCase{0, 0x0C84, kPollFailed, "Error at sensor temperature"},
                                           StepErrorCase{1, 0x0C87, 4, "Error at sensor start"},
                                           StepErrorCase{1, 0x0C86, kPollIdle, "Error at sensor data"},
                                           StepErrorCase{1, 0x0C80, 2, "Error at sensor state"},
                                           StepErrorCase{2, 0x0D00, 2, "Error at start values 1"},
                                           StepErrorCase{2, 0x0D01, 4, "Error at start values 2"},
                                           StepErrorCase{2, 0x0D05, 0, "Error at timing values"},
                                           StepErrorCase{2, 0x0D02, 2, "Error at elektric values"},
                                           StepErrorCase{2, 0x0D03, kPollFailed, "Error at temperature values"},
                                           StepErrorCase{2, 0x0D04, 2, "Error at result values"},
                                           StepErrorCase{2, 0x0D07, 4, "Error at function value"},
                                           StepErrorCase{2, 0x0D06, 0, "Error at characteristic value"},
                                           StepErrorCase{2, 0x0D08, kPollFailed, "Error at resistance values"}));

TEST_F(SensorTestFixture, ButtonDuringARunningTransactionWaitsForItAndDropsItsReply) {
  link.Reply(0x0C84, Words(6000, 0));
  link.Reply(0x0C94, Words(5800, 0));
  link.busyPolls = 20;
  test.OnTemperature(0);
  scheduler.AdvanceBy(50);
  ASSERT_TRUE(link.Running());
  test.OnTemperature(1);
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(link.started, (Ids{0x0C84, 0x0C94}));
  EXPECT_EQ(link.refusedStarts, 0);
  EXPECT_EQ(test.logText, "Temperature sensor 2: -10.0 \xB0" "C\r\n");
}

TEST_F(SensorTestFixture, AnotherCallersTransactionIsLeftToItsOwner) {
  link.Reply(0x0C84, Words(6000, 0));
  link.foreignStarts = 5;
  test.OnTemperature(0);
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(link.started, Ids{0x0C84});
  EXPECT_EQ(link.polls, 1);
}

TEST_F(SensorTestFixture, ClosingStopsTheTimerAndReopeningGoesOnWhereItWas) {
  link.Reply(0x0C84, Words(6000, 0));
  link.busyPolls = 10;
  test.OnTemperature(0);
  scheduler.AdvanceBy(50);
  test.Close();
  const int refreshes = view.refreshes;
  scheduler.AdvanceBy(10000);
  EXPECT_EQ(view.refreshes, refreshes);

  FakeSensorTestView reopened;
  test.Open(reopened);
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(test.logText, "Temperature sensor 1:  0.0 \xB0" "C\r\n");
  EXPECT_EQ(link.started, Ids{0x0C84});
}

}  // namespace
}  // namespace gelvar::testing
