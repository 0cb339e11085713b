#include "gui/monitor/field_controls.h"

#include <algorithm>
#include <array>

#include "core/monitor/value_format.h"

namespace gelvar {
namespace {

const std::array<FieldControl, 52> kControls = {{
    {1026, Field::kModeHeating},
    {1027, Field::kMinHeatingTime},
    {1028, Field::kHighTempLimit},
    {1029, Field::kLowTempLimit},
    {1030, Field::kIdleTemp},
    {1031, Field::kHeatingMoistLimit},
    {1032, Field::kS1Type},
    {1033, Field::kS2Type},
    {1034, Field::kS1Mode},
    {1035, Field::kS2Mode},
    {1036, Field::kS1MoistLimit},
    {1037, Field::kS2MoistLimit},
    {1038, Field::kModeSystem},
    {1039, Field::kLanguage},
    {1040, Field::kTempUnit},
    {1041, std::nullopt},
    {1042, Field::kAdmErrorFlags},
    {1043, Field::kInternalState},
    {1044, Field::kVersion},
    {1045, Field::kHeatingState},
    {1046, Field::kHeatingErrorFlags},
    {1047, Field::kHeatingTempFlags},
    {1048, Field::kHeatingMoistFlags},
    {1049, Field::kSlabTemp},
    {1050, Field::kOutdoorTemp},
    {1051, Field::kRemHeatTime},
    {1052, Field::kHeatingRelay},
    {1053, Field::kS1InhibitTemp},
    {1054, Field::kS2InhibitTemp},
    {1055, Field::kS1Voltage},
    {1056, Field::kS2Voltage},
    {1057, Field::kS1CharValue},
    {1058, Field::kS2CharValue},
    {1059, Field::kS1InhibitMoist},
    {1060, Field::kS2InhibitMoist},
    {1061, Field::kS1LastMoisture},
    {1062, Field::kS2LastMoisture},
    {1063, Field::kS1AmbientTemp},
    {1064, Field::kS2AmbientTemp},
    {1065, Field::kS1Temp},
    {1066, Field::kS2Temp},
    {1067, Field::kS1Flags},
    {1068, Field::kS2Flags},
    {1069, Field::kS1ErrorFlags},
    {1070, Field::kS2ErrorFlags},
    {1071, Field::kS1State},
    {1072, Field::kS2State},
    {1076, std::nullopt},
    {1083, std::nullopt},
    {1100, Field::kOpHours},
    {1101, Field::kOpHoursXWK},
    {1102, Field::kAlarmMode},
}};

const FieldControl* FieldControlOf(int controlId) {
  const auto* control = std::find_if(kControls.begin(), kControls.end(),
                                     [controlId](const FieldControl& c) { return c.controlId == controlId; });
  return control == kControls.end() ? nullptr : control;
}

}  // namespace

std::span<const FieldControl> FieldControls() { return kControls; }

std::string ControlText(const DisplayFields& fields, int controlId) {
  const FieldControl* control = FieldControlOf(controlId);
  if (control == nullptr) return {};
  return control->field ? fields.Text(*control->field) : kUndefined;
}

bool ControlStale(const DisplayFields& fields, int controlId) {
  const FieldControl* control = FieldControlOf(controlId);
  return control != nullptr && control->field && fields.IsStale(*control->field);
}

}  // namespace gelvar
