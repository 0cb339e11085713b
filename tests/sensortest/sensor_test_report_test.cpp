#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sensortest/sensor_test_fakes.h"

namespace gelvar::testing {
namespace {

namespace fs = std::filesystem;

const std::string kStartValues =
    "Uo; 12,340;V\r\n"
    "Uso; 12,000;V\r\n"
    "To;+12,500;\xB0" "C\r\n";

const std::string kTypeIReport =
    "t[s]; Uv[V]; Ush[V];  Ts[\xB0" "C]; Rs[Ohm]\r\n"
    "   5; 10,00;   8,00;   +5,00;   25,00\r\n"
    "  10;  9,00;   0,00;   -5,00;    0,00\r\n"
    "\r\n" + kStartValues +
    "tv;300,000;s\r\n"
    "ti;  9,000;s\r\n"
    "Rm;100,000;Ohm\r\n"
    "Rs; 47,000; Ohm\r\n"
    "\r\n";

const std::string kTypeIIReport =
    "t[s]; Uv[V]; Ush[V];  Ts[\xB0" "C]; Rs[Ohm]\r\n"
    "  10; 10,00;   8,00;   +5,00;    0,12\r\n"
    "  20;  9,00;   3,00;   -5,00;    0,94\r\n"
    "\r\n" + kStartValues +
    "ti; 19,000;s\r\n"
    "dERdt; -1,234;\r\n"
    "tK;  5,670;s\r\n"
    "f(x);  2,500;\r\n"
    "K;  0,010;\r\n"
    "Rsh;  0,470;Ohm\r\n"
    "\r\n";

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SensorTestReportFile : public SensorTestFixture {
 protected:
  void SetUp() override {
    SensorTestFixture::SetUp();
    dir = fs::temp_directory_path() /
          ("gelvar_report_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    path = dir / "report.dat";
    view.chosenPath = path.string();
  }
  void TearDown() override { fs::remove_all(dir); }

  void ReadRecording(int sensorType) {
    LoadRecording(link, sensorType);
    test.OnTypeChanged(sensorType);
    test.OnReadRecordedData();
    ASSERT_TRUE(RunToIdle());
  }

  fs::path dir;
  fs::path path;
};

TEST_F(SensorTestReportFile, TypeIReportBytes) {
  ReadRecording(0);
  test.SaveReport();
  EXPECT_EQ(FileBytes(path), kTypeIReport);
  EXPECT_EQ(view.askedDefault, "report.dat");
  EXPECT_EQ(view.askedExtension, "dat");
  EXPECT_EQ(test.ReportFileName(), path.string());
  ASSERT_EQ(view.alerts.size(), 1u);
  EXPECT_EQ(view.alerts[0].first, "Report saved in file " + path.string());
  EXPECT_EQ(view.alerts[0].second, AlertIcon::kExclamation);
}

TEST_F(SensorTestReportFile, TypeIIReportBytes) {
  ReadRecording(1);
  test.SaveReport();
  EXPECT_EQ(FileBytes(path), kTypeIIReport);
}

TEST_F(SensorTestReportFile, TypeBlockFollowsTheRadioButtonsWhenSaving) {
  ReadRecording(1);
  test.OnTypeChanged(0);
  test.SaveReport();
  const std::string bytes = FileBytes(path);
  EXPECT_NE(bytes.find("tv;  0,000;s\r\nti; 19,000;s\r\nRm;  0,470;Ohm\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find("dERdt"), std::string::npos);
}

TEST_F(SensorTestReportFile, SavingTwiceAppendsASecondReport) {
  ReadRecording(1);
  test.SaveReport();
  test.SaveReport();
  EXPECT_EQ(FileBytes(path), kTypeIIReport + kTypeIIReport);
  EXPECT_EQ(view.alerts.size(), 2u);
}

TEST_F(SensorTestReportFile, CancelWritesNothing) {
  view.chosenPath.reset();
  test.SaveReport();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(view.alerts.empty());
}

TEST_F(SensorTestReportFile, UnwritablePathShowsTheBoxAndWritesNothing) {
  for (const fs::path& bad : {dir / "missing" / "report.dat", dir}) {
    view.alerts.clear();
    view.chosenPath = bad.string();
    test.SaveReport();
    ASSERT_EQ(view.alerts.size(), 1u) << bad;
    EXPECT_EQ(view.alerts[0].first, "Error open file: DateiDatName");
    EXPECT_EQ(view.alerts[0].second, AlertIcon::kQuestion);
  }
  EXPECT_FALSE(fs::exists(dir / "missing"));
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST(SensorTestReport, RowsStopAtTheRecordedSetsAndResistanceNeedsAVoltage) {
  SensorTestValues values;
  values.dataSetTotal = 1000;
  values.Tm = 2;
  values.Uv[0] = 5.0f;
  values.Us[0] = 0.0099f;
  values.Rm = 100.0f;
  values.Uv[255] = 2.0f;
  values.Us[255] = 0.01f;
  const std::string report = SensorTestReport(values, 1);
  // Header, 256 rows, blank, three start values, six Type II lines, blank.
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 268);
  EXPECT_NE(report.find("\r\n   2;  5,00;   0,01;   +0,00;    0,00\r\n"), std::string::npos);
  EXPECT_NE(report.find("\r\n 512;  2,00;   0,01;   +0,00;19900,00\r\n\r\nUo;"), std::string::npos);
  EXPECT_EQ(report.find(" 514;"), std::string::npos);
}

struct TaCase {
  const char* text;
  int ta;
  bool alert;
};

class TaField : public SensorTestFixture, public ::testing::WithParamInterface<TaCase> {};

TEST_P(TaField, AcceptsOneToThousandSecondsOnly) {
  const TaCase& c = GetParam();
  test.ta2Text = c.text;
  test.OnTaChanged(1);
  EXPECT_EQ(test.Ta(1), c.ta);
  if (c.alert) {
    ASSERT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(view.alerts[0].first, "Error: Allowed range 1...1000 s");
    EXPECT_EQ(view.alerts[0].second, AlertIcon::kExclamation);
  } else {
    EXPECT_TRUE(view.alerts.empty());
  }
  EXPECT_EQ(test.Ta(0), 250);
}

INSTANTIATE_TEST_SUITE_P(Texts, TaField,
                         ::testing::Values(TaCase{"1000", 1000, false}, TaCase{"1", 1, false},
                                           TaCase{" 42s", 42, false}, TaCase{"+7", 7, false},
                                           TaCase{"1001", 0, true}, TaCase{"0", 0, true},
                                           TaCase{"", 0, true}, TaCase{"abc", 0, true},
                                           TaCase{"-5", 0, true},
                                           TaCase{"99999999999999999999999", 0, true},
                                           TaCase{"4294967546", 0, true}));

TEST_F(SensorTestFixture, StartCycleWithAnInvalidTaShowsTheTimeSettingBox) {
  test.ta1Text = "1001";
  test.OnTaChanged(0);
  view.alerts.clear();
  test.OnStartCycle(0);
  ASSERT_EQ(view.alerts.size(), 1u);
  EXPECT_EQ(view.alerts[0].first, "Error: Time setting");
  EXPECT_EQ(test.TestStep(), 0);
  scheduler.AdvanceBy(1000);
  EXPECT_TRUE(link.started.empty());
}

TEST(SensorTestOpen, ValidatesBothTaFieldsAndTimesAtTheTickPeriod) {
  struct RestoreTick {
    ~RestoreTick() { tickPeriod = 10; }
  } restore;
  tickPeriod = 50;
  VirtualScheduler scheduler;
  TableTransaction link{[&scheduler] { return scheduler.NowMs(); }};
  SensorTest test(scheduler, link);
  FakeSensorTestView view;
  test.ta1Text = "";
  test.Open(view);
  EXPECT_EQ(test.Ta(0), 0);
  EXPECT_EQ(test.Ta(1), 250);
  ASSERT_EQ(view.alerts.size(), 1u);
  EXPECT_EQ(test.sensorType, 1);
  EXPECT_GT(view.refreshes, 0);

  link.SetObject(0x0C84, Words(6000, 0));
  test.OnTemperature(0);
  scheduler.AdvanceBy(49);
  EXPECT_TRUE(link.started.empty());
  scheduler.AdvanceBy(1);
  EXPECT_EQ(link.started.size(), 1u);
}

}  // namespace
}  // namespace gelvar::testing
