// The sensor test on the real link stack against the simulated unit, in virtual time.
#include <gtest/gtest.h>

#include "sensortest/sensor_test_fakes.h"
#include "support/virtual_link.h"

namespace gelvar::testing {
namespace {

using Request = unitsim::UnitModel::Request;

class SensorTestEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { test.Open(view); }
  void TearDown() override { test.Close(); }

  bool RunToIdle(std::int64_t limitMs) {
    return link.RunUntil([this] { return test.TestStep() == 0; }, limitMs);
  }
  std::vector<std::uint32_t> RequestedIds() {
    std::vector<std::uint32_t> ids;
    for (const Request& r : link.Unit().Requests()) ids.push_back(r.objectId);
    return ids;
  }

  VirtualLink link;
  FakeSensorTestView view;
  SensorTest test{link.Scheduler()};
};

TEST_F(SensorTestEndToEnd, TemperatureOfSensor2) {
  link.Unit().SetObject(0x0C94, Words(5800, 6000));
  test.OnTemperature(1);
  ASSERT_TRUE(RunToIdle(2000));
  EXPECT_EQ(test.logText, "Temperature sensor 2: -10.0 \xB0" "C\r\n");
  EXPECT_EQ(RequestedIds(), std::vector<std::uint32_t>{0x0C94});
}

TEST_F(SensorTestEndToEnd, CycleRunsUntilTheUnitEndsTheRecording) {
  link.Unit().SetObject(0x0C86, Words(1215, 2350));
  test.OnStartCycle(0);
  ASSERT_TRUE(RunToIdle(300000));

  const auto& requests = link.Unit().Requests();
  ASSERT_GT(requests.size(), 2u);
  EXPECT_EQ(requests[0].objectId, 0x0C87u);
  EXPECT_EQ(requests[0].data, (Bytes{1, 0, 0xFA, 0x00}));
  const Strings lines = LogLines(test.logText);
  EXPECT_EQ(lines.front(), "Recording sensor 1 completed!");
  EXPECT_EQ(lines.back(), "Record sensor 1 started!");
  EXPECT_EQ(lines.at(1), "Sensor 1 - Uv: 12.15,  Rs: 2350 Ohm");
  // 250 s of recording, one look every 3 s and a little.
  EXPECT_GE(link.Scheduler().NowMs() - requests[0].atMs, 250000);
  EXPECT_NEAR(static_cast<double>(lines.size()), 2 + 250 / 3.04, 2);
  EXPECT_TRUE(view.alerts.empty());
}

struct RecordingCase {
  int sensorType;
  Bytes timing;
  int setsAsked;
  Strings newestLines;
};

class RecordedData : public SensorTestEndToEnd, public ::testing::WithParamInterface<RecordingCase> {};

TEST_P(RecordedData, ReadsTheSetsTheTimingCallsFor) {
  const RecordingCase& c = GetParam();
  link.Unit().SetObject(0x0D05, c.timing);
  test.OnTypeChanged(c.sensorType);
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle(30000));

  std::vector<std::uint32_t> expected = {0x0D00, 0x0D01, 0x0D05};
  for (int set = 0; set < c.setsAsked; ++set) expected.insert(expected.end(), {0x0D02, 0x0D03});
  expected.push_back(0x0D04);
  if (c.sensorType == 1) expected.insert(expected.end(), {0x0D07, 0x0D06, 0x0D08});
  EXPECT_EQ(RequestedIds(), expected);
  const auto& last = link.Unit().Requests()[3 + 2 * static_cast<std::size_t>(c.setsAsked) - 1];
  EXPECT_EQ(last.data, (Bytes{static_cast<std::uint8_t>(c.setsAsked - 1), 0}));

  const Strings lines = LogLines(test.logText);
  ASSERT_GE(lines.size(), c.newestLines.size());
  EXPECT_EQ(Strings(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(c.newestLines.size())),
            c.newestLines);
  EXPECT_EQ(lines.back(), "Start values - Uo: 11.80 V, To:  0.5 \xB0" "C");
  EXPECT_TRUE(view.alerts.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Types, RecordedData,
    ::testing::Values(
        RecordingCase{0, {0x2C, 0x01, 29, 10}, 3,
                      {"", "", "Resistance - Ri =  42.50 R: Rs =  12.50 R",
                       "N: 002, Uv: 11.70 V, Us: 04.90 V, Ts: 00.9 \xB0" "C"}},
        RecordingCase{1, {59, 0, 10, 0}, 6,
                      {"", "", "Resistance Shunt - Rsh: 100.00 Ohm", "Kf:   1.52", "max. f(x):   0.87",
                       "max. dER/dt,max: -1.250", "tK: 42.500 s",
                       "N: 005, Uv: 11.25 V, Us: 05.50 V, Ts: 01.5 \xB0" "C"}},
        // The unit holds six sets: the seventh comes back empty and ends the sets.
        RecordingCase{1, {99, 0, 10, 0}, 7,
                      {"", "", "Resistance Shunt - Rsh: 100.00 Ohm", "Kf:   1.52", "max. f(x):   0.87",
                       "max. dER/dt,max: -1.250", "tK: 42.500 s", "no temperature received",
                       "no voltages received"}}));

TEST_F(SensorTestEndToEnd, SilentUnitEndsTheStepWithItsBox) {
  link.Unit().Faults().silent = true;
  test.OnTemperature(0);
  ASSERT_TRUE(RunToIdle(10000));
  EXPECT_EQ(view.alerts, Strings{"Error at sensor temperature"});
  EXPECT_GT(link.Scheduler().NowMs(), 6000);
}

}  // namespace
}  // namespace gelvar::testing
