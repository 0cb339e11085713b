#include "cli/field_table.h"

#include "cli/console_text.h"

namespace gelvar {
namespace {

const FieldLabel kOpHours{kFieldOpHours, "Operating Hours erasable"};
const FieldLabel kOpHoursXWK{kFieldOpHoursXWK, "Operating Hours non-erasable"};

// The window shows the two sensors side by side; here sensor 1's column comes first.
void AddSensorColumns(std::vector<FieldLabel>& labels, const std::vector<FieldLabel>& sensor1Fields) {
  for (int sensor = 0; sensor < 2; ++sensor) {
    for (const FieldLabel& field : sensor1Fields) {
      labels.push_back({SensorField(static_cast<FieldId>(field.controlId), sensor),
                        "Sensor " + std::to_string(sensor + 1) + " " + field.label});
    }
  }
}

std::vector<FieldLabel> BuildParameterLabels() {
  std::vector<FieldLabel> labels = {
      {kFieldModeSystem, "Mode System"},
      {kFieldLanguage, "Language"},
      {kFieldTempUnit, "Temp. Unit"},
      {kFieldVersion, "Version/Build"},
      {kFieldAlarmMode, "Alarm Mode"},
      {kFieldModeHeating, "Mode Heating"},
      {kFieldMinHeatingTime, "Min. Heating Time"},
      {kFieldHighTempLimit, "High Temp. Limit"},
      {kFieldLowTempLimit, "Low Temp. Limit"},
      {kFieldHeatingMoistLimit, "Heating Moisture Limit"},
      {kFieldIdleTemp, "Idle Temperature"},
  };
  AddSensorColumns(
      labels, {{kFieldSensorType, "Type"}, {kFieldSensorMode, "Mode"}, {kFieldSensorMoistLimit, "Moisture Limit"}});
  labels.push_back(kOpHours);
  labels.push_back(kOpHoursXWK);
  return labels;
}

std::vector<FieldLabel> BuildVariableLabels() {
  std::vector<FieldLabel> labels = {
      {kFieldAdmErrorFlags, "Administration Error Flags"},
      {kFieldInternalState, "Internal State"},
      {kFieldHeatingState, "State Heating"},
      {kFieldHeatingErrorFlags, "Heating Error Flags"},
      {kFieldHeatingTempFlags, "Temp. Flags"},
      {kFieldHeatingMoistFlags, "Moisture Flags"},
      {kFieldSlabTemp, "Slab/Gutt. Temp."},
      {kFieldOutdoorTemp, "Outdoor Temp."},
      {kFieldRemHeatTime, "Rem. Heat. Time"},
      {kFieldHeatingRelay, "Heating Relay"},
      kOpHours,
      kOpHoursXWK,
  };
  AddSensorColumns(labels, {{kFieldSensorState, "State"},
                            {kFieldSensorErrorFlags, "Error Flags"},
                            {kFieldSensorFlags, "Flags"},
                            {kFieldSensorTemp, "Temp."},
                            {kFieldSensorAmbientTemp, "Ambient Temp."},
                            {kFieldSensorLastMoisture, "Last Moisture"},
                            {kFieldSensorInhibitMoist, "Inhibit Time Moist."},
                            {kFieldSensorInhibitTemp, "Inhibit Time Temp."},
                            {kFieldSensorVoltage, "Internal Voltage"},
                            {kFieldSensorCharValue, "Charact. Value"}});
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
  for (const FieldLabel& field : labels)
    lines.push_back(field.label + ": " + TerminalText(fields.Text(field.controlId)));
  return lines;
}

std::string FieldJson(const DisplayFields& fields, const std::vector<FieldLabel>& labels) {
  JsonObject object;
  for (const FieldLabel& field : labels) object.String(field.label, TerminalText(fields.Text(field.controlId)));
  return object.Text();
}

}  // namespace gelvar
