#include "core/monitor/parameter_report.h"

#include "core/monitor/value_format.h"

namespace gelvar {
namespace {

constexpr const char* kLineEnd = "\r\n";

struct ReportLine {
  const char* text;  // a section title, or a value's 25-character label
  int controlId;     // 0 for a section title
  int lineEnds;
};

constexpr ReportLine kLines[] = {
    {"Administration:", 0, 1},
    {" Mode System:            ", kFieldModeSystem, 1},
    {" Language:               ", kFieldLanguage, 1},
    {" Temp. Unit:             ", kFieldTempUnit, 1},
    {" Alarm Mode:             ", kFieldAlarmMode, 2},
    {" SW Version/Build:       ", kFieldVersion, 2},
    {"Heating System:", 0, 1},
    {" Mode Heating:           ", kFieldModeHeating, 1},
    {" Min. Heating Time:      ", kFieldMinHeatingTime, 1},
    {" High Temp. Limit:       ", kFieldHighTempLimit, 1},
    {" Low Temp. Limit:        ", kFieldLowTempLimit, 1},
    {" Idle Temp. Set Point:   ", kFieldIdleTemp, 1},
    {" Moisture Limit:         ", kFieldHeatingMoistLimit, 1},
    {" Operation Hours:        ", kFieldOpHours, 1},
    {" Operation Hours XWK:    ", kFieldOpHoursXWK, 2},
    {"Sensor 1:", 0, 1},
    {" Type Sensor:            ", SensorField(kFieldSensorType, 0), 1},
    {" Mode Sensor:            ", SensorField(kFieldSensorMode, 0), 1},
    {" Moisture Limit:         ", SensorField(kFieldSensorMoistLimit, 0), 2},
    {"Sensor 2:", 0, 1},
    {" Type Sensor:            ", SensorField(kFieldSensorType, 1), 1},
    {" Mode Sensor:            ", SensorField(kFieldSensorMode, 1), 1},
    {" Moisture Limit:         ", SensorField(kFieldSensorMoistLimit, 1), 2},
};

}  // namespace

std::string ParameterReport(const DisplayFields& fields, std::time_t when) {
  std::string report = "Parameter Gelvar recorded " + DateText(when) + " at " + TimeText(when) + kLineEnd;
  report += std::string("Monitor V1.0") + kLineEnd + kLineEnd;
  for (const ReportLine& line : kLines) {
    report += line.text;
    if (line.controlId != 0) report += fields.Text(line.controlId);
    for (int i = 0; i < line.lineEnds; ++i) report += kLineEnd;
  }
  report += std::string("End Parameter +++") + kLineEnd + kLineEnd + kLineEnd;
  return report;
}

}  // namespace gelvar
