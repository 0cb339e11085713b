// The bytes of the parameter report and of the variable log.
#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "monitor/device_model.h"
#include "monitor/parameter_report.h"
#include "monitor/value_format.h"
#include "monitor/variable_log.h"

namespace gelvar {
namespace {

// Local 03/07/26 13:05:09. The German locale's decimal comma is shown end to end in the monitor's run.
std::time_t When() {
  std::tm local{};
  std::istringstream("03/07/26 13:05:09") >> std::get_time(&local, "%m/%d/%y %H:%M:%S");
  local.tm_isdst = -1;
  return std::mktime(&local);
}

TEST(ReportAndLog, UnreadParametersGiveACompleteReportOfUndef) {
  const std::string expected =
      "Parameter Gelvar recorded 03/07/26 at 13:05:09\r\nMonitor V1.0\r\n\r\n"
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
  EXPECT_EQ(ParameterReport(DisplayFields(), When()), expected);
}

TEST(ReportAndLog, LogHeaderAndRecordWithTheirWidthsAndDecimalCommas) {
  EXPECT_EQ(LogHeader(When(), 0),
            "Logfile Gelvar started 03/07/26 at 13:05:09, Temperature Unit: \260C\r\n"
            "Set#;Date;Time;AdmErrFlg;AdmIntStat;HtgState;HtgErrFlg;HtgTempFlg;HtgMoisFlg;HtgSlGuTemp;"
            "HtgOutTemp;HtgRemHtime;HtgOffOn;HtgOpHours;HtgOpHoursXWK;S1State;S1Error;S1Flags;S1SenTemp;"
            "S1AmbTemp;S1LastMoist;S1ItimMois;S1ItimTemp;S1Volt;S1CharVal;S2State;S2Error;S2Flags;"
            "S2SenTemp;S2AmbTemp;S2LastMoist;S2ItimMois;S2ItimTemp;S2Volt;S2CharVal;\r\n");
  EXPECT_NE(LogHeader(When(), 1).find(", Temperature Unit: \260F\r\n"), std::string::npos);
  EXPECT_NE(LogHeader(When(), 9).find(", Temperature Unit: unknown\r\n"), std::string::npos);

  VariableSnapshot v;
  v.AdmErrFlg = 1;
  v.HtgMoisFlg = 6;
  v.HtgSlGuTemp = 12.5f;
  v.HtgOutTemp = -999.0f;
  v.sensor[0].Volt = 12.34f;
  EXPECT_EQ(LogRecord(7, When(), v),
            "00007; 03/07/26; 13:05:09;  1; -1; -1; -1; -1;  6;   12,5; -999,0;  -1;-1;   -1;   -1"
            "; -1; -1; -1;   -1,0;   -1,0; -1; -1; -1; 12,34;  -2"
            "; -1; -1; -1;   -1,0;   -1,0; -1; -1; -1; -1,00;  -2\r\n");
}

}  // namespace
}  // namespace gelvar
