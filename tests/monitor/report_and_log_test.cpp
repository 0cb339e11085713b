#include <gtest/gtest.h>

#include <clocale>

#include "monitor/device_model.h"
#include "monitor/parameter_report.h"
#include "monitor/value_format.h"
#include "monitor/variable_log.h"

namespace gelvar {
namespace {

constexpr std::time_t kWhen = 1780000000;

std::string Stamp() { return DateText(kWhen) + " at " + TimeText(kWhen); }

TEST(ParameterReport, UnreadParametersGiveACompleteReportOfUndef) {
  const std::string expected =
      "Parameter Gelvar recorded " + Stamp() + "\r\nMonitor V1.0\r\n\r\n"
      "Administration:\r\n"
      " Mode System:            undef.\r\n Language:               undef.\r\n"
      " Temp. Unit:             undef.\r\n Alarm Mode:             undef.\r\n\r\n"
      " SW Version/Build:       undef.\r\n\r\n"
      "Heating System:\r\n"
      " Mode Heating:           undef.\r\n Min. Heating Time:      undef.\r\n"
      " High Temp. Limit:       undef.\r\n Low Temp. Limit:        undef.\r\n"
      " Idle Temp. Set Point:   undef.\r\n Moisture Limit:         undef.\r\n"
      " Operation Hours:        undef.\r\n Operation Hours XWK:    undef.\r\n\r\n"
      "Sensor 1:\r\n"
      " Type Sensor:            undef.\r\n Mode Sensor:            undef.\r\n"
      " Moisture Limit:         undef.\r\n\r\n"
      "Sensor 2:\r\n"
      " Type Sensor:            undef.\r\n Mode Sensor:            undef.\r\n"
      " Moisture Limit:         undef.\r\n\r\n"
      "End Parameter +++\r\n\r\n\r\n";
  EXPECT_EQ(ParameterReport(DisplayFields(), kWhen), expected);
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
}

}  // namespace
}  // namespace gelvar
