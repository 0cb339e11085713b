#include "core/monitor/parameter_report.h"

#include <optional>

#include "core/monitor/value_format.h"

namespace gelvar {
namespace {

constexpr const char* kLineEnd = "\r\n";

struct ReportLine {
  const char* text;            // a section title, or a value's 25-character label
  std::optional<Field> field;  // none for a section title
  int lineEnds;
};

constexpr ReportLine kLines[] = {
    {"Administration:", std::nullopt, 1},
    {" Mode System:            ", Field::kModeSystem, 1},
    {" Language:               ", Field::kLanguage, 1},
    {" Temp. Unit:             ", Field::kTempUnit, 1},
    {" Alarm Mode:             ", Field::kAlarmMode, 2},
    {" SW Version/Build:       ", Field::kVersion, 2},
    {"Heating System:", std::nullopt, 1},
    {" Mode Heating:           ", Field::kModeHeating, 1},
    {" Min. Heating Time:      ", Field::kMinHeatingTime, 1},
    {" High Temp. Limit:       ", Field::kHighTempLimit, 1},
    {" Low Temp. Limit:        ", Field::kLowTempLimit, 1},
    {" Idle Temp. Set Point:   ", Field::kIdleTemp, 1},
    {" Moisture Limit:         ", Field::kHeatingMoistLimit, 1},
    {" Operation Hours:        ", Field::kOpHours, 1},
    {" Operation Hours XWK:    ", Field::kOpHoursXWK, 2},
    {"Sensor 1:", std::nullopt, 1},
    {" Type Sensor:            ", Field::kS1Type, 1},
    {" Mode Sensor:            ", Field::kS1Mode, 1},
    {" Moisture Limit:         ", Field::kS1MoistLimit, 2},
    {"Sensor 2:", std::nullopt, 1},
    {" Type Sensor:            ", Field::kS2Type, 1},
    {" Mode Sensor:            ", Field::kS2Mode, 1},
    {" Moisture Limit:         ", Field::kS2MoistLimit, 2},
};

}  // namespace

std::string ParameterReport(const DisplayFields& fields, std::time_t when) {
  std::string report = "Parameter Gelvar recorded " + DateText(when) + " at " + TimeText(when) + kLineEnd;
  report += std::string("Monitor V1.0") + kLineEnd + kLineEnd;
  for (const ReportLine& line : kLines) {
    report += line.text;
    if (line.field) report += fields.Text(*line.field);
    for (int i = 0; i < line.lineEnds; ++i) report += kLineEnd;
  }
  report += std::string("End Parameter +++") + kLineEnd + kLineEnd + kLineEnd;
  return report;
}

}  // namespace gelvar
