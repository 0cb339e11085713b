#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "sensortest/sensor_test_fixture.h"

namespace gelvar::testing {
namespace {

namespace fs = std::filesystem;

class TaField : public SensorTestOnUnit, public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(TaField, AcceptsOneToThousandSeconds) {
  const auto [text, ta] = GetParam();
  test.ta2Text = text;
  test.OnTaChanged(1);
  test.OnStartCycle(1);
  EXPECT_EQ(test.Ta(1), ta);
  EXPECT_EQ(test.Ta(0), 250);
  EXPECT_EQ(test.TestStep(), ta == 0 ? 0 : 2);
  const Strings refused = {"Error: Allowed range 1...1000 s", "Error: Time setting"};
  EXPECT_EQ(view.alerts, ta == 0 ? refused : Strings{});
}

INSTANTIATE_TEST_SUITE_P(Texts, TaField,
                         ::testing::Values(std::pair{"1000", 1000}, std::pair{" 42s", 42}, std::pair{"1001", 0},
                                           std::pair{"0", 0}, std::pair{"", 0}, std::pair{"abc", 0},
                                           std::pair{"4294967546", 0}));

TEST(SensorTestReport, TypeIWithDecimalCommasEverywhere) {
  SensorTestValues v;
  v.dataSetTotal = 1;
  v.Tm = 5;
  v.Uv[0] = 10.0f;
  v.Us[0] = 8.0f;
  v.Ts[0] = -5.0f;
  v.Uo = 12.34f;
  v.Uso = 12.0f;
  v.To = -0.5f;
  v.Tv = 300;
  v.Ti = 9;
  v.Rm = 100.0f;
  v.Rs = 47.0f;
  EXPECT_EQ(SensorTestReport(v, 0),
            "t[s]; Uv[V]; Ush[V];  Ts[\xB0" "C]; Rs[Ohm]\r\n"
            "   5; 10,00;   8,00;   -5,00;   25,00\r\n"
            "\r\n"
            "Uo; 12,340;V\r\n"
            "Uso; 12,000;V\r\n"
            "To; -0,500;\xB0" "C\r\n"
            "tv;300,000;s\r\n"
            "ti;  9,000;s\r\n"
            "Rm;100,000;Ohm\r\n"
            "Rs; 47,000; Ohm\r\n"
            "\r\n");
}

// A Type II recording read from the unit, saved twice into one file; on a full disk the box names
// the reason and the file keeps exactly what it had; a cancelled dialog does nothing.
TEST_F(SensorTestOnUnit, SavingTwiceAppendsTwoTypeIIReports) {
  const fs::path dir = fs::temp_directory_path() / "gelvar_sensor_report";
  fs::remove_all(dir);
  fs::create_directories(dir);
  LoadRecording();
  test.OnReadRecordedData();
  ASSERT_TRUE(RunToIdle());
  view.chosenPath = (dir / "report.dat").string();
  test.SaveReport();
  test.SaveReport();
  const std::string report =
      "t[s]; Uv[V]; Ush[V];  Ts[\xB0" "C]; Rs[Ohm]\r\n"
      "  10; 10,00;   8,00;   +5,00;    0,12\r\n"
      "  20;  9,00;   0,00;   -5,00;    0,00\r\n"
      "\r\n"
      "Uo; 12,340;V\r\n"
      "Uso; 12,000;V\r\n"
      "To;+12,500;\xB0" "C\r\n"
      "ti; 19,000;s\r\n"
      "dERdt; -1,234;\r\n"
      "tK;  5,670;s\r\n"
      "f(x);  2,500;\r\n"
      "K;  0,010;\r\n"
      "Rsh;  0,470;Ohm\r\n"
      "\r\n";
  std::ifstream in(dir / "report.dat", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), report + report);
  EXPECT_EQ(view.asked, "report.dat dat");
  EXPECT_EQ(view.alerts, Strings(2, "Report saved in file " + view.chosenPath));
  EXPECT_EQ(test.ReportFileName(), view.chosenPath);

  view.alerts.clear();
  {
    const FileSizeLimit full(fs::file_size(dir / "report.dat") + 100);
    test.SaveReport();
  }
  view.chosenPath.clear();
  test.SaveReport();
  EXPECT_EQ(view.alerts, Strings{"(?) Error open file: DateiDatName\n" + (dir / "report.dat").string() +
                                 ": File too large"});
  EXPECT_EQ(ReadFile((dir / "report.dat").string()), report + report);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace gelvar::testing
