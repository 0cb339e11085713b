#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "monitor/device_model.h"
#include "monitor/file_appender.h"
#include "monitor/parameter_report.h"
#include "monitor/value_format.h"
#include "monitor/variable_log.h"

namespace gelvar {
namespace {

constexpr std::time_t kWhen = 1780000000;

std::string Stamp() { return DateText(kWhen) + " at " + TimeText(kWhen); }

TEST(ParameterReport, UnreadParametersGiveACompleteReportOfUndef) {
  const std::string expected =
      "Parameter Gelvar recorded " + Stamp() +
      "\r\n"
      "Monitor V1.0\r\n"
      "\r\n"
      "Administration:\r\n"
      " Mode System:            undef.\r\n"
      " Language:               undef.\r\n"
      " Temp. Unit:             undef.\r\n"
      " Alarm Mode:             undef.\r\n"
      "\r\n"
      " SW Version/Build:       undef.\r\n"
      "\r\n"
      "Heating System:\r\n"
      " Mode Heating:           undef.\r\n"
      " Min. Heating Time:      undef.\r\n"
      " High Temp. Limit:       undef.\r\n"
      " Low Temp. Limit:        undef.\r\n"
      " Idle Temp. Set Point:   undef.\r\n"
      " Moisture Limit:         undef.\r\n"
      " Operation Hours:        undef.\r\n"
      " Operation Hours XWK:    undef.\r\n"
      "\r\n"
      "Sensor 1:\r\n"
      " Type Sensor:            undef.\r\n"
      " Mode Sensor:            undef.\r\n"
      " Moisture Limit:         undef.\r\n"
      "\r\n"
      "Sensor 2:\r\n"
      " Type Sensor:            undef.\r\n"
      " Mode Sensor:            undef.\r\n"
      " Moisture Limit:         undef.\r\n"
      "\r\n"
      "End Parameter +++\r\n"
      "\r\n"
      "\r\n";
  EXPECT_EQ(ParameterReport(DisplayFields(), kWhen), expected);
}

TEST(ParameterReport, ValuesFollowTheirLabelsAndSensorsKeepTheirColumns) {
  DisplayFields fields;
  fields.Set(kFieldHighTempLimit, "   68 \xB0" "F");
  fields.Set(SensorField(kFieldSensorType, 1), "kein F\xFC" "hler");
  fields.Set(SensorField(kFieldSensorMoistLimit, 0), "- x -");
  fields.Set(kFieldSlabTemp, " 12.5 \xB0" "C");  // a variable: not in the report
  const std::string report = ParameterReport(fields, kWhen);
  EXPECT_NE(report.find("\r\n High Temp. Limit:          68 \xB0" "F\r\n"), std::string::npos);
  EXPECT_NE(report.find("Sensor 1:\r\n Type Sensor:            undef.\r\n Mode Sensor:            undef.\r\n"
                        " Moisture Limit:         - x -\r\n"),
            std::string::npos);
  EXPECT_NE(report.find("Sensor 2:\r\n Type Sensor:            kein F\xFC" "hler\r\n"), std::string::npos);
  EXPECT_EQ(report.find("12.5"), std::string::npos);
}

TEST(VariableLog, HeaderNamesTheUnitAndTheColumns) {
  EXPECT_EQ(LogHeader(kWhen, 0),
            "Logfile Gelvar started " + Stamp() +
                ", Temperature Unit: \xB0" "C\r\n"
                "Set#;Date;Time;AdmErrFlg;AdmIntStat;HtgState;HtgErrFlg;HtgTempFlg;HtgMoisFlg;HtgSlGuTemp;"
                "HtgOutTemp;HtgRemHtime;HtgOffOn;HtgOpHours;HtgOpHoursXWK;S1State;S1Error;S1Flags;S1SenTemp;"
                "S1AmbTemp;S1LastMoist;S1ItimMois;S1ItimTemp;S1Volt;S1CharVal;S2State;S2Error;S2Flags;"
                "S2SenTemp;S2AmbTemp;S2LastMoist;S2ItimMois;S2ItimTemp;S2Volt;S2CharVal;\r\n");
  EXPECT_NE(LogHeader(kWhen, 1).find(", Temperature Unit: \xB0" "F\r\n"), std::string::npos);
  EXPECT_NE(LogHeader(kWhen, 9).find(", Temperature Unit: unknown\r\n"), std::string::npos);
}

VariableSnapshot SomeValues() {
  VariableSnapshot v;
  v.AdmErrFlg = 1;
  v.AdmIntStat = 2;
  v.HtgState = 3;
  v.HtgErrFlg = 4;
  v.HtgTempFlg = 5;
  v.HtgMoisFlg = 6;
  v.HtgSlGuTemp = 12.5f;
  v.HtgOutTemp = -3.0f;
  return v;
}

const std::string kSomeValuesTail =
    ";  1;  2;  3;  4;  5;  6;   12,5;   -3,0;  -1;-1;   -1;   -1"
    "; -1; -1; -1;   -1,0;   -1,0; -1; -1; -1; -1,00;  -2"
    "; -1; -1; -1;   -1,0;   -1,0; -1; -1; -1; -1,00;  -2\r\n";

TEST(VariableLog, RecordHasItsWidthsAndDecimalCommas) {
  EXPECT_EQ(LogRecord(7, kWhen, SomeValues()),
            "00007; " + DateText(kWhen) + "; " + TimeText(kWhen) + kSomeValuesTail);

  VariableSnapshot full = SomeValues();
  full.HtgRemHtime = 120;
  full.HtgOffOn = 1;
  full.HtgOpHours = 65535;
  full.HtgOpHoursXWK = 12;
  full.sensor[1] = {11, 3, 1, -999.0f, 1326.4f, 42, 15, 255, 12.34f, 65535};
  const std::string record = LogRecord(123456, kWhen, full);
  EXPECT_EQ(record.substr(0, 8), "123456; ");
  EXPECT_NE(record.find("; 120; 1;65535;   12;"), std::string::npos) << record;
  EXPECT_NE(record.find("; 11;  3;  1; -999,0; 1326,4; 42; 15;255; 12,34;65535\r\n"), std::string::npos)
      << record;
}

TEST(VariableLog, RecordBytesDoNotDependOnTheLocale) {
  const std::string inC = LogRecord(7, kWhen, SomeValues()) + LogHeader(kWhen, 1);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 is not installed";
  const std::string inGerman = LogRecord(7, kWhen, SomeValues()) + LogHeader(kWhen, 1);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(inGerman, inC);
}

TEST(StdioFileAppender, AppendsBytesUnchangedAndReportsFailures) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "gelvar_appender_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "a.log").string();
  StdioFileAppender files;
  EXPECT_TRUE(files.Append(path, "one\r\n"));
  EXPECT_TRUE(files.Append(path, "\xB0" "two\n"));
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "one\r\n\xB0" "two\n");
  EXPECT_FALSE(files.Append((dir / "missing" / "b.log").string(), "x"));
  EXPECT_FALSE(files.Append(dir.string(), "x"));  // a directory
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace gelvar
