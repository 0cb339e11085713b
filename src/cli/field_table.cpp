#include "cli/field_table.h"

#include "cli/console_text.h"
#include "cli/json_values.h"

namespace gelvar {
namespace {

const FieldLabel kOpHours{Field::kOpHours, "Operating Hours erasable"};
const FieldLabel kOpHoursXWK{Field::kOpHoursXWK, "Operating Hours non-erasable"};

// The window shows the two sensors side by side; here sensor 1's column comes first.
void AddSensorColumns(std::vector<FieldLabel>& labels, const std::vector<FieldLabel>& sensor1Fields) {
  for (int sensor = 0; sensor < 2; ++sensor) {
    for (const FieldLabel& field : sensor1Fields) {
      labels.push_back({SensorField(field.field, sensor), "Sensor " + std::to_string(sensor + 1) + " " + field.label});
    }
  }
}

std::vector<FieldLabel> BuildParameterLabels() {
  std::vector<FieldLabel> labels = {
      {Field::kModeSystem, "Mode System"},
      {Field::kLanguage, "Language"},
      {Field::kTempUnit, "Temp. Unit"},
      {Field::kVersion, "Version/Build"},
      {Field::kAlarmMode, "Alarm Mode"},
      {Field::kModeHeating, "Mode Heating"},
      {Field::kMinHeatingTime, "Min. Heating Time"},
      {Field::kHighTempLimit, "High Temp. Limit"},
      {Field::kLowTempLimit, "Low Temp. Limit"},
      {Field::kHeatingMoistLimit, "Heating Moisture Limit"},
      {Field::kIdleTemp, "Idle Temperature"},
  };
  AddSensorColumns(labels,
                   {{Field::kS1Type, "Type"}, {Field::kS1Mode, "Mode"}, {Field::kS1MoistLimit, "Moisture Limit"}});
  labels.push_back(kOpHours);
  labels.push_back(kOpHoursXWK);
  return labels;
}

std::vector<FieldLabel> BuildVariableLabels() {
  std::vector<FieldLabel> labels = {
      {Field::kAdmErrorFlags, "Administration Error Flags"},
      {Field::kInternalState, "Internal State"},
      {Field::kHeatingState, "State Heating"},
      {Field::kHeatingErrorFlags, "Heating Error Flags"},
      {Field::kHeatingTempFlags, "Temp. Flags"},
      {Field::kHeatingMoistFlags, "Moisture Flags"},
      {Field::kSlabTemp, "Slab/Gutt. Temp."},
      {Field::kOutdoorTemp, "Outdoor Temp."},
      {Field::kRemHeatTime, "Rem. Heat. Time"},
      {Field::kHeatingRelay, "Heating Relay"},
      kOpHours,
      kOpHoursXWK,
  };
  AddSensorColumns(labels, {{Field::kS1State, "State"},
                            {Field::kS1ErrorFlags, "Error Flags"},
                            {Field::kS1Flags, "Flags"},
                            {Field::kS1Temp, "Temp."},
                            {Field::kS1AmbientTemp, "Ambient Temp."},
                            {Field::kS1LastMoisture, "Last Moisture"},
                            {Field::kS1InhibitMoist, "Inhibit Time Moist."},
                            {Field::kS1InhibitTemp, "Inhibit Time Temp."},
                            {Field::kS1Voltage, "Internal Voltage"},
                            {Field::kS1CharValue, "Charact. Value"}});
  return labels;
}

}  // namespace

const std::vector<FieldLabel>& ParameterLabels() {
  static const std::vector<FieldLabel> kLabels = BuildParameterLabels();
  return kLabels;
}

const std::vector<FieldLabel>& VariableLabels() {
  static const std::vector<FieldLabel> kLabels = BuildVariableLabels();
  return kLabels;
}

std::vector<std::string> FieldLines(const DisplayFields& fields, const std::vector<FieldLabel>& labels) {
  std::vector<std::string> lines;
  for (const FieldLabel& field : labels) lines.push_back(field.label + ": " + TerminalText(fields.Text(field.field)));
  return lines;
}

void AddFieldValues(JsonObject& object, const DisplayFields& fields, const std::vector<FieldLabel>& labels) {
  for (const FieldLabel& label : labels) {
    object.Raw(FieldName(label.field), ValueJson(label.field, fields.Value(label.field)));
  }
}

std::string FieldJson(const DisplayFields& fields, const std::vector<FieldLabel>& labels) {
  JsonObject object;
  AddFieldValues(object, fields, labels);
  return object.Text();
}

std::string UnitsJson(const DisplayFields& fields, const std::vector<FieldLabel>& labels) {
  JsonObject units;
  for (const FieldLabel& label : labels) {
    const FieldValue& value = fields.Value(label.field);
    const std::string unit = UnitText(label.field, value);
    if (!unit.empty() && value.state == ReadState::kRead) units.String(FieldName(label.field), unit);
  }
  return units.Text();
}

}  // namespace gelvar
