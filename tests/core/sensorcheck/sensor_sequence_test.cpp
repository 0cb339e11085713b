// The sensor test open with a listener that records its entries and failed steps, on the whole link
// path to a simulated unit in virtual time.
#include "core/sensorcheck/sensor_sequence.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "core/common/c_format.h"
#include "core/link/transaction.h"
#include "support/monitor_fakes.h"
#include "support/monitor_rig.h"
#include "support/virtual_link.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Ids = std::vector<std::uint32_t>;
using Strings = std::vector<std::string>;

// The fixture is the dialog: it records the entries and the failures it would show in boxes.
struct SensorTestOnUnit : ::testing::Test, SensorSequenceEvents {
  void SetUp() override { test.Open(*this); }
  void EntryAdded(const std::string& entry) override { entries.push_back(entry); }
  void StepFailed(const std::string& text) override {
    alerts.push_back(text);
    if (whileAlertShown) whileAlertShown();
  }
  // Notes a failed operation's text with the step failures.
  void Note(const Result& result) {
    if (result.status == Status::kFailed) alerts.push_back(result.error);
  }

  bool RunToIdle(std::int64_t limitMs = 60000) {
    return link.RunUntil([this] { return test.TestStep() == 0; }, limitMs);
  }
  Ids RequestedIds() {
    Ids ids;
    for (const auto& request : link.Unit().Requests()) ids.push_back(request.objectId);
    return ids;
  }
  // A Type II recording: Ti 19 s and Tm 10 s give N = 2; both data sets are there.
  void LoadRecording() {
    const std::map<std::uint32_t, Bytes> objects = {
        {0x0D00, Words(1234, 6250)}, {0x0D01, Word(1200)}, {0x0D05, {19, 0, 10, 0}}, {0x0D04, Words(1234, 567)},
        {0x0D07, Word(250)},         {0x0D06, Word(1)},    {0x0D08, Word(47)}};
    for (const auto& [id, data] : objects) link.Unit().SetObject(id, data);
    link.Unit().SetRecordedSets({Words(1000, 800), Words(900, 0)}, {Word(6100), Word(5900)});
  }

  Strings entries;
  Strings alerts;
  std::function<void()> whileAlertShown;  // the message box's own event loop
  VirtualLink link;
  MemoryFiles files;
  SensorSequence test{link.LinkState(), link.Scheduler(), files};
};

// Ta takes 1 to 1000 s. The unit then stays in state 11 (recording) for a while; the cycle is followed
// every three seconds.
TEST_F(SensorTestOnUnit, TaAcceptsOneToThousandSecondsAndTheCycleIsFollowedEveryThreeSeconds) {
  link.Unit().SetObject(0x0C96, Words(1215, 2350));
  // The text typed and the ta taken (0: refused); the last one's cycle is followed.
  const std::tuple<const char*, int> cases[] = {{"1001", 0},       {"0", 0},       {"", 0},     {"abc", 0},
                                                {"4294967546", 0}, {"1000", 1000}, {" 10s", 10}};
  for (const auto& [text, ta] : cases) {
    SCOPED_TRACE(text);
    alerts.clear();
    test.ReadTemperature(0);  // back to a known step
    Note(test.SetTa(1, text));
    Note(test.StartCycle(1));
    EXPECT_EQ(test.Ta(1), ta);
    EXPECT_EQ(test.TestStep(), ta == 0 ? 1 : 2);
    EXPECT_EQ(alerts, (ta == 0 ? Strings{"Error: Allowed range 1...1000 s", "Error: Time setting"} : Strings{}));
  }
  // The countdown runs from the unit's start of the cycle, and ends with the sequence.
  EXPECT_FALSE(test.Countdown().has_value());
  ASSERT_TRUE(link.RunUntil([this] { return test.TestStep() == 3; }, 1000));
  EXPECT_EQ(test.Countdown()->seconds, 10);
  EXPECT_EQ(test.Countdown()->left, 10);
  link.RunFor(4000);
  EXPECT_EQ(test.Countdown()->left, 6);
  link.RunFor(7000);
  EXPECT_EQ(test.Countdown()->left, 0);
  ASSERT_TRUE(RunToIdle());
  EXPECT_FALSE(test.Countdown().has_value());

  const auto& requests = link.Unit().Requests();
  ASSERT_EQ(RequestedIds(), (Ids{0x0C97, 0x0C96, 0x0C90, 0x0C96, 0x0C90, 0x0C96, 0x0C90, 0x0C96, 0x0C90}));
  EXPECT_EQ(requests[0].data, (Bytes{1, 0, 10, 0}));
  for (std::size_t i = 1; i < requests.size(); i += 2)
    EXPECT_NEAR(requests[i].atMs - requests[i - 1].atMs, 3050, 50) << i;
  const std::string data = "Sensor 2 - Uv: 12.15 V,  Rs: 2350 Ohm";
  EXPECT_EQ(FileLines(test.LogText()),
            (Strings{"Recording sensor 2 completed!", data, data, data, data, "Record sensor 2 started!"}));
  EXPECT_EQ(entries, (Strings{"Record sensor 2 started!", data, data, data, data, "Recording sensor 2 completed!"}))
      << "each entry told once, as it comes";
}

// Tm = 0 gives N = 0 and still reads set 0; N above 256 reads 256 sets. The recorded data are the
// unit's, whichever sensor was chosen last.
TEST_F(SensorTestOnUnit, RecordedDataReadsTheSetsTheTimingCallsFor) {
  // clang-format off
  const Strings typeII = {"", "", "Resistance Shunt - Rsh: 0.47 Ohm", "Kf:   0.01", "max. f(x):   2.50",
                          "max. dER/dt,max: -1.234", "tK:  5.670 s"};
  const auto set = [](int n) { return CFormat("N: %03d, Uv: 11.70 V, Us: 04.90 V, Ts: 00.9 \260C", n); };
  // Type, timing (Tv for Type I only, Ti, Tm), N, and the newest log lines (Type II: below its own).
  const std::tuple<int, Bytes, int, Strings> cases[] = {
      {0, {0x2C, 0x01, 29, 10}, 3, {"", "", "Resistance - Ri =   5.67 R: Rs =  12.34 R", set(2), set(1), set(0),
                                    "Timing - Tv: 300 s, Ti:  29 s, Tm:  10 s, N:   3"}},
      {1, {5, 0, 0, 0}, 0, {set(0)}},
      {1, {0xE7, 0x03, 1, 0}, 1000, {"N: 255, Uv: 00.00 V, Us: 00.00 V, Ts: 00.9 \260C", "no voltages received"}},
  };
  // clang-format on
  LoadRecording();
  // Six sets of voltages; the temperatures go on past 256 sets.
  link.Unit().SetRecordedSets(std::vector<Bytes>(6, Words(1170, 490)), std::vector<Bytes>(300, Word(6018)));
  test.ReadTemperature(1);
  for (const auto& [sensorType, timing, total, newestLines] : cases) {
    SCOPED_TRACE(total);
    link.Unit().ClearRequests();
    link.Unit().SetObject(0x0D05, timing);
    test.SetSensorType(sensorType);
    test.ReadRecordedData();
    ASSERT_TRUE(RunToIdle(120000));

    Ids expected = {0x0D00, 0x0D01, 0x0D05};
    for (int i = 0; i < std::clamp(total, 1, 256); ++i) expected.insert(expected.end(), {0x0D02, 0x0D03});
    expected.push_back(0x0D04);
    if (sensorType == 1) expected.insert(expected.end(), {0x0D07, 0x0D06, 0x0D08});
    ASSERT_EQ(RequestedIds(), expected);
    const std::string report = SensorTestReport(test.Values(), sensorType);
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), (sensorType == 0 ? 10 : 12) + std::min(total, 256));

    Strings newest = sensorType == 0 ? Strings{} : typeII;
    newest.insert(newest.end(), newestLines.begin(), newestLines.end());
    const Strings lines = FileLines(test.LogText());
    ASSERT_GE(lines.size(), newest.size());
    EXPECT_EQ(Strings(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(newest.size())), newest);
    EXPECT_EQ(lines.back(), "Start values - Uo: 12.34 V, To:  12.5 \260C");
  }
}

Result PressTemperature(SensorSequence& t) { return t.ReadTemperature(0); }
Result PressStartCycle(SensorSequence& t) { return t.StartCycle(0); }
Result PressReadRecorded(SensorSequence& t) { return t.ReadRecordedData(); }

// A step without reply shows its box once and ends the sequence: timer messages that come while the
// box is up do not run the step again.
TEST_F(SensorTestOnUnit, AStepWithoutReplyShowsItsBoxOnce) {
  // The button, the object that gets no reply, and the box.
  const std::tuple<Result (*)(SensorSequence&), std::uint32_t, const char*> cases[] = {
      {PressTemperature, 0x0C84, "Error at sensor temperature"},
      {PressStartCycle, 0x0C87, "Error at sensor start"},
      {PressStartCycle, 0x0C86, "Error at sensor data"},
      {PressStartCycle, 0x0C80, "Error at sensor state"},
      {PressReadRecorded, 0x0D00, "Error at start values 1"},
      {PressReadRecorded, 0x0D01, "Error at start values 2"},
      {PressReadRecorded, 0x0D05, "Error at timing values"},
      {PressReadRecorded, 0x0D02, "Error at elektric values"},
      {PressReadRecorded, 0x0D03, "Error at temperature values"},
      {PressReadRecorded, 0x0D04, "Error at result values"},
      {PressReadRecorded, 0x0D07, "Error at function value"},
      {PressReadRecorded, 0x0D06, "Error at characteristic value"},
      {PressReadRecorded, 0x0D08, "Error at resistance values"},
  };
  LoadRecording();
  whileAlertShown = [this] {
    for (int i = 0; i < 5; ++i) test.OnTimer();
  };
  for (const auto& [press, objectId, text] : cases) {
    SCOPED_TRACE(text);
    link.Unit().ClearRequests();
    link.Unit().Faults().silentObjects = {objectId};
    alerts.clear();
    EXPECT_EQ(press(test), Result::Started());
    ASSERT_TRUE(RunToIdle());
    link.RunFor(5000);
    EXPECT_EQ(alerts, Strings{text});
    // From its first request on, only the eight posts of its one transaction.
    const Ids ids = RequestedIds();
    EXPECT_EQ(Ids(std::find(ids.begin(), ids.end(), objectId), ids.end()), Ids(8, objectId));
  }
}

// A step takes only the reply of a transaction it started: an earlier step's is let end and dropped
// at once, and one that the main window started while the dialog was closed is left to it. The
// temperature is in tenths of a degree, cut toward zero.
TEST_F(SensorTestOnUnit, StepTakesOnlyItsOwnTransactionsReply) {
  link.Unit().SetObject(0x0C84, Words(5999, 0));
  link.Unit().SetObject(0x0C94, Words(5800, 0));
  link.Unit().Faults().latencyMs = 300;
  test.ReadTemperature(0);
  link.RunFor(50);
  test.ReadTemperature(1);
  ASSERT_TRUE(RunToIdle(1000));
  test.ReadTemperature(0);
  link.RunFor(50);
  test.Close();
  link.RunFor(3000);  // its outcome is held 2 s, then lost
  LinkTransaction mainWindow(link.LinkState());
  ASSERT_EQ(mainWindow.Start(0x3003, nullptr), 1);
  test.Open(*this);
  ASSERT_TRUE(link.RunUntil([&] { return mainWindow.State() == kTrDone; }, 2000));
  ObjectRequest reply{};
  EXPECT_EQ(mainWindow.Poll(&reply, nullptr, nullptr, nullptr), 2) << "the reply stays its owner's";
  ASSERT_TRUE(RunToIdle(1000));
  EXPECT_EQ(RequestedIds(), (Ids{0x0C84, 0x0C94, 0x0C84, 0x3003, 0x0C84}));
  EXPECT_EQ(FileLines(test.LogText()),
            (Strings{"Temperature sensor 1:  0.0 \260C", "Temperature sensor 2: -10.0 \260C"}));
}

// Requests lost on the line are asked again with their data set number, so a unit that drops some of
// them yields exactly the report of a healthy one; the numbers have decimal commas. Each save appends
// one report; a write that fails names the path and the reason and leaves the file as it was; a
// cancelled dialog does nothing.
TEST_F(SensorTestOnUnit, ReportIsTheSameWhenRequestsAreDroppedAndEachSaveAppendsOne) {
  const std::string head = "t[s]; Uv[V]; Ush[V];  Ts[\260C]; Rs[Ohm]\r\n";
  const std::string startValues =
      "\r\nUo; 12,340;V\r\n"
      "Uso; 12,000;V\r\n"
      "To;+12,500;\260C\r\n";
  const std::string typeII = head +
                             "  10; 10,00;   8,00;   +5,00;    0,12\r\n"
                             "  20;  9,00;   0,00;   -5,00;    0,00\r\n" +
                             startValues +
                             "ti; 19,000;s\r\n"
                             "dERdt; -1,234;\r\n"
                             "tK;  5,670;s\r\n"
                             "f(x);  2,500;\r\n"
                             "K;  0,010;\r\n"
                             "Rsh;  0,470;Ohm\r\n"
                             "\r\n";
  const std::string typeI = head + startValues +
                            "tv; 19,000;s\r\n"
                            "ti; 10,000;s\r\n"
                            "Rm;  5,670;Ohm\r\n"
                            "Rs; 12,340; Ohm\r\n"
                            "\r\n";
  // Type, share of requests dropped, the report.
  const std::tuple<int, double, std::string> cases[] = {{1, 0.0, typeII}, {1, 0.3, typeII}, {0, 0.0, typeI}};
  LoadRecording();
  for (const auto& [sensorType, dropRate, report] : cases) {
    SCOPED_TRACE(dropRate);
    link.Unit().ClearRequests();
    link.Unit().Faults().dropRate = dropRate;
    test.SetSensorType(sensorType);
    test.ReadRecordedData();
    ASSERT_TRUE(RunToIdle(600000));
    EXPECT_EQ(SensorTestReport(test.Values(), sensorType), report);
    EXPECT_EQ(link.Unit().Requests().size() > 11, dropRate > 0) << "dropped requests are asked again";
  }
  EXPECT_EQ(test.SaveReport(Given(std::string("report.dat"))), Result::Done());
  EXPECT_EQ(test.SaveReport(Given(std::string("report.dat"))), Result::Done());
  files.unwritable.insert("report.dat");
  EXPECT_EQ(test.SaveReport(Given(std::string("report.dat"))),
            Result::Failed("Error open file: DateiDatName\nreport.dat: Read-only file system"));
  EXPECT_EQ(test.SaveReport([] { return std::optional<std::string>(); }), Result::Cancelled());
  EXPECT_EQ(files.files, (std::map<std::string, std::string>{{"report.dat", typeI + typeI}}));
}

}  // namespace
}  // namespace gelvar::testing
