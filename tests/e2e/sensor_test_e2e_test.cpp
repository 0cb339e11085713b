// The sensor test's sequences on the real link stack against the simulated unit, in virtual time.
#include <gtest/gtest.h>

#include "link/transaction.h"
#include "sensortest/sensor_test_fixture.h"

namespace gelvar::testing {
namespace {

TEST_F(SensorTestOnUnit, TemperatureLineShowsDegreesCelsiusTruncatedTowardZero) {
  const struct {
    int sensor;
    int code;
    const char* line;
  } cases[] = {{0, 6000, "Temperature sensor 1:  0.0 \xB0" "C"},
               {0, 5800, "Temperature sensor 1: -10.0 \xB0" "C"},
               {1, 5999, "Temperature sensor 2:  0.0 \xB0" "C"}};
  for (const auto& c : cases) {
    const std::uint32_t id = c.sensor == 0 ? 0x0C84 : 0x0C94;
    link.Unit().SetObject(id, Words(c.code, 0));
    test.OnTemperature(c.sensor);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(RequestedIds().back(), id);
    EXPECT_EQ(LogLines(test.logText).front(), c.line);
  }
}

// The unit stays in state 11 (recording) for a while; the cycle is followed every three seconds.
TEST_F(SensorTestOnUnit, CycleIsFollowedEveryThreeSecondsUntilTheRecordingEnds) {
  link.Unit().SetObject(0x0C96, Words(1215, 2350));
  test.ta2Text = "10";
  test.OnTaChanged(1);
  test.OnStartCycle(1);
  ASSERT_TRUE(RunToIdle());

  const auto& requests = link.Unit().Requests();
  EXPECT_EQ(RequestedIds(), (Ids{0x0C97, 0x0C96, 0x0C90, 0x0C96, 0x0C90, 0x0C96, 0x0C90, 0x0C96, 0x0C90}));
  EXPECT_EQ(requests[0].data, (Bytes{1, 0, 10, 0}));
  for (std::size_t i = 1; i < requests.size(); i += 2) {
    EXPECT_GE(requests[i].atMs - requests[i - 1].atMs, 3000) << i;
    EXPECT_LE(requests[i].atMs - requests[i - 1].atMs, 3100) << i;
  }
  const std::string data = "Sensor 2 - Uv: 12.15,  Rs: 2350 Ohm";
  EXPECT_EQ(LogLines(test.logText),
            (Strings{"Recording sensor 2 completed!", data, data, data, data, "Record sensor 2 started!"}));
}

struct RecordingCase {
  int sensorType;
  Bytes timing;  // Ti and Tm
  int setsAsked;
  int total;
  Strings newestLines;
};

class RecordedData : public SensorTestOnUnit, public ::testing::WithParamInterface<RecordingCase> {};

TEST_P(RecordedData, ReadsTheSetsTheTimingCallsFor) {
  const RecordingCase& c = GetParam();
  LoadRecording();
  // Six sets of voltages; past 256 sets the temperatures go on.
  link.Unit().SetRecordedSets(std::vector<Bytes>(6, Words(1170, 490)),
                              std::vector<Bytes>(c.total > 256 ? 300 : 6, Word(6018)));
  link.Unit().SetObject(0x0D05, c.timing);
  test.OnTypeChanged(c.sensorType);
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle(120000));

  Ids expected = {0x0D00, 0x0D01, 0x0D05};
  for (int set = 0; set < c.setsAsked; ++set) expected.insert(expected.end(), {0x0D02, 0x0D03});
  expected.push_back(0x0D04);
  if (c.sensorType == 1) expected.insert(expected.end(), {0x0D07, 0x0D06, 0x0D08});
  EXPECT_EQ(RequestedIds(), expected);
  EXPECT_EQ(link.Unit().Requests()[2 + 2 * static_cast<std::size_t>(c.setsAsked)].data,
            (Bytes{static_cast<std::uint8_t>(c.setsAsked - 1), 0}));
  EXPECT_EQ(test.Values().dataSetTotal, c.total);
  const std::string report = SensorTestReport(test.Values(), c.sensorType);
  const int headerLines = c.sensorType == 0 ? 10 : 12;
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), headerLines + std::min(c.total, 256));

  const Strings lines = LogLines(test.logText);
  EXPECT_EQ(Strings(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(c.newestLines.size())),
            c.newestLines);
  EXPECT_EQ(lines.back(), "Start values - Uo: 12.34 V, To:  12.5 \xB0" "C");
  EXPECT_TRUE(view.alerts.empty());
}

Strings TypeIIThen(const Strings& more) {
  Strings lines = {"", "", "Resistance Shunt - Rsh: 0.47 Ohm", "Kf:   0.01", "max. f(x):   2.50",
                   "max. dER/dt,max: -1.234", "tK:  5.670 s"};
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

const char* const kSet0 = "N: 000, Uv: 11.70 V, Us: 04.90 V, Ts: 00.9 \xB0" "C";

INSTANTIATE_TEST_SUITE_P(
    Timings, RecordedData,
    ::testing::Values(
        RecordingCase{0, {0x2C, 0x01, 29, 10}, 3, 3,
                      {"", "", "Resistance - Ri =   5.67 R: Rs =  12.34 R",
                       "N: 002, Uv: 11.70 V, Us: 04.90 V, Ts: 00.9 \xB0" "C",
                       "N: 001, Uv: 11.70 V, Us: 04.90 V, Ts: 00.9 \xB0" "C", kSet0,
                       "Timing - Tv: 300 s, Ti:  29 s, Tm:  10 s, N:   3"}},
        RecordingCase{1, {5, 0, 0, 0}, 1, 0, TypeIIThen({kSet0})},  // Tm = 0
        RecordingCase{1, {0xE7, 0x03, 1, 0}, 256, 1000,
                      TypeIIThen({"N: 255, Uv: 00.00 V, Us: 00.00 V, Ts: 00.9 \xB0" "C",
                                  "no voltages received"})}));

struct StepErrorCase {
  void (*press)(SensorTest&);
  std::uint32_t objectId;
  const char* text;
};

void PressTemperature(SensorTest& t) { t.OnTemperature(0); }
void PressStartCycle(SensorTest& t) { t.OnStartCycle(0); }
void PressReadRecorded(SensorTest& t) { t.OnReadRecordedData(); }

class StepError : public SensorTestOnUnit, public ::testing::WithParamInterface<StepErrorCase> {};

// Timer messages that come while the box is up do not run the step again.
TEST_P(StepError, ShowsTheStepsBoxOnceAndEndsTheSequence) {
  LoadRecording();
  link.Unit().Faults().silentObjects = {GetParam().objectId};
  view.whileAlertShown = [this] {
    for (int i = 0; i < 5; ++i) test.OnTimer();
  };
  GetParam().press(test);
  ASSERT_TRUE(RunToIdle());
  link.RunFor(5000);

  EXPECT_EQ(view.alerts, Strings{GetParam().text});
  const Ids ids = RequestedIds();
  EXPECT_EQ(ids.back(), GetParam().objectId);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), GetParam().objectId), 8);  // one transaction's posts
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StepError,
    ::testing::Values(StepErrorCase{PressTemperature, 0x0C84, "Error at sensor temperature"},
                      StepErrorCase{PressStartCycle, 0x0C87, "Error at sensor start"},
                      StepErrorCase{PressStartCycle, 0x0C86, "Error at sensor data"},
                      StepErrorCase{PressStartCycle, 0x0C80, "Error at sensor state"},
                      StepErrorCase{PressReadRecorded, 0x0D00, "Error at start values 1"},
                      StepErrorCase{PressReadRecorded, 0x0D01, "Error at start values 2"},
                      StepErrorCase{PressReadRecorded, 0x0D05, "Error at timing values"},
                      StepErrorCase{PressReadRecorded, 0x0D02, "Error at elektric values"},
                      StepErrorCase{PressReadRecorded, 0x0D03, "Error at temperature values"},
                      StepErrorCase{PressReadRecorded, 0x0D04, "Error at result values"},
                      StepErrorCase{PressReadRecorded, 0x0D07, "Error at function value"},
                      StepErrorCase{PressReadRecorded, 0x0D06, "Error at characteristic value"},
                      StepErrorCase{PressReadRecorded, 0x0D08, "Error at resistance values"}));

// A step takes only the reply of a transaction it started: an earlier step's is let end and dropped,
// and one that the main window started while the dialog was closed is left to it.
TEST_F(SensorTestOnUnit, StepTakesOnlyItsOwnTransactionsReply) {
  link.Unit().SetObject(0x0C84, Words(6000, 0));
  link.Unit().SetObject(0x0C94, Words(5800, 0));
  link.Unit().Faults().latencyMs = 300;
  const struct {
    bool reopened;
    Ids asked;
    const char* line;
  } cases[] = {{false, {0x0C84, 0x0C94}, "Temperature sensor 2: -10.0 \xB0" "C"},
               {true, {0x0C84, 0x3003, 0x0C84}, "Temperature sensor 1:  0.0 \xB0" "C"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    link.Unit().ClearRequests();
    test.logText.clear();
    test.OnTemperature(0);
    link.RunFor(50);
    if (c.reopened) {
      test.Close();
      link.RunFor(3000);  // its outcome is held 2 s, then lost
      ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
      test.Open(view);
      ASSERT_TRUE(link.RunUntil([] { return linkTransaction.State() == kTrDone; }, 2000));
      ObjectRequest reply{};
      EXPECT_EQ(linkTransaction.Poll(&reply, nullptr, nullptr, nullptr), 2) << "the reply stays its owner's";
    } else {
      test.OnTemperature(1);
    }
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(RequestedIds(), c.asked);
    EXPECT_EQ(test.logText, std::string(c.line) + "\r\n");
    EXPECT_TRUE(view.alerts.empty());
  }
}

// Requests lost on the line are asked again with their data set number, so a unit that drops some of
// them yields exactly the report of a healthy one.
TEST(SensorTestRetries, DroppedRequestsGiveTheSameReport) {
  std::string reports[2];
  for (const double dropRate : {0.0, 0.3}) {
    VirtualLink link;
    FakeSensorTestView view;
    MemoryFiles files;
    SensorTest test{link.Scheduler(), files};
    test.Open(view);
    link.Unit().Faults().dropRate = dropRate;
    test.OnReadRecordedData();
    ASSERT_TRUE(link.RunUntil([&] { return test.TestStep() == 0; }, 600000));
    EXPECT_TRUE(view.alerts.empty()) << dropRate;
    reports[dropRate > 0 ? 1 : 0] = SensorTestReport(test.Values(), test.sensorType);
    if (dropRate > 0) {
      EXPECT_GT(link.Unit().Requests().size(), 3u + 2 * 6 + 4) << "some requests were asked again";
    }
  }
  EXPECT_EQ(reports[1], reports[0]);
}

}  // namespace
}  // namespace gelvar::testing
