// The main window's value fields by control ID, and the unit's field each one shows.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "core/monitor/field_values.h"

namespace gelvar {

// A sensor-2 field's control is its sensor-1 field's + 1.
enum FieldId : int {
  kFieldModeHeating = 1026,
  kFieldMinHeatingTime = 1027,
  kFieldHighTempLimit = 1028,
  kFieldLowTempLimit = 1029,
  kFieldIdleTemp = 1030,
  kFieldHeatingMoistLimit = 1031,
  kFieldSensorType = 1032,
  kFieldSensorMode = 1034,
  kFieldSensorMoistLimit = 1036,
  kFieldModeSystem = 1038,
  kFieldLanguage = 1039,
  kFieldTempUnit = 1040,
  kFieldStateControl = 1041,  // hidden, never read
  kFieldAdmErrorFlags = 1042,
  kFieldInternalState = 1043,
  kFieldVersion = 1044,
  kFieldHeatingState = 1045,
  kFieldHeatingErrorFlags = 1046,
  kFieldHeatingTempFlags = 1047,
  kFieldHeatingMoistFlags = 1048,
  kFieldSlabTemp = 1049,
  kFieldOutdoorTemp = 1050,
  kFieldRemHeatTime = 1051,
  kFieldHeatingRelay = 1052,
  kFieldSensorInhibitTemp = 1053,
  kFieldSensorVoltage = 1055,
  kFieldSensorCharValue = 1057,
  kFieldSensorInhibitMoist = 1059,
  kFieldSensorLastMoisture = 1061,
  kFieldSensorAmbientTemp = 1063,
  kFieldSensorTemp = 1065,
  kFieldSensorFlags = 1067,
  kFieldSensorErrorFlags = 1069,
  kFieldSensorState = 1071,
  kFieldStateDisplay = 1076,      // hidden, never read
  kFieldIdleLowTempLimit = 1083,  // hidden, never read
  kFieldOpHours = 1100,
  kFieldOpHoursXWK = 1101,
  kFieldAlarmMode = 1102,
};

struct FieldControl {
  int controlId;
  std::optional<Field> field;  // none for the hidden controls nothing fills
};

// All of them, by control ID.
std::span<const FieldControl> FieldControls();
// The control's text; "undef." for a hidden one, empty for a control that is not a value field.
std::string ControlText(const DisplayFields& fields, int controlId);
// Whether the control shows a value from before the port was lost or closed.
bool ControlStale(const DisplayFields& fields, int controlId);

}  // namespace gelvar
