#include "core/monitor/variable_log.h"

#include <algorithm>

#include "core/common/c_format.h"
#include "core/monitor/value_format.h"

namespace gelvar {
namespace {

std::string SensorColumns(const SensorLogValues& s) {
  return CFormat(";%3d;%3d;%3d;%7.1f;%7.1f;%3d;%3d;%3d;%6.2f;%4d", s.State, s.Error, s.Flags,
                 static_cast<double>(s.SenTemp), static_cast<double>(s.AmbTemp), s.LastMoist, s.ItimMois, s.ItimTemp,
                 static_cast<double>(s.Volt), s.CharVal);
}

}  // namespace

std::string LogHeader(std::time_t when, int temperatureUnitCode) {
  const std::string unit = TempUnitName(static_cast<unsigned>(temperatureUnitCode));
  return kLogHeaderStart + DateText(when) + " at " + TimeText(when) + kLogUnitLead + unit + "\r\n" + kLogColumns +
         "\r\n";
}

std::string LogRecord(int setNumber, std::time_t when, const VariableSnapshot& v) {
  std::string record = CFormat("%05d; ", setNumber) + DateText(when) + "; " + TimeText(when);
  record += CFormat(";%3d;%3d", v.AdmErrFlg, v.AdmIntStat);
  record += CFormat(";%3d;%3d;%3d;%3d;%7.1f;%7.1f;%4d;%2d;%5d;%5d", v.HtgState, v.HtgErrFlg, v.HtgTempFlg, v.HtgMoisFlg,
                    static_cast<double>(v.HtgSlGuTemp), static_cast<double>(v.HtgOutTemp), v.HtgRemHtime, v.HtgOffOn,
                    v.HtgOpHours, v.HtgOpHoursXWK);
  record += SensorColumns(v.sensor[0]) + SensorColumns(v.sensor[1]);
  if (record.size() + 1 > kLogRecordLimit) return {};
  std::replace(record.begin(), record.end(), '.', ',');
  return record + "\r\n";
}

}  // namespace gelvar
