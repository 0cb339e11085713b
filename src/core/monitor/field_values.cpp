#include "core/monitor/field_values.h"

#include "core/monitor/value_format.h"

namespace gelvar {
namespace {

using TextOf = std::string (*)(const FieldValue&);

template <std::string (*Name)(unsigned)>
std::string ByCode(const FieldValue& v) {
  return Name(static_cast<unsigned>(v.raw));
}

template <std::string (*Format)(int)>
std::string ByNumber(const FieldValue& v) {
  return Format(v.raw);
}

std::string WholeDegrees(const FieldValue& v) { return TemperatureText(v.raw, false, v.unitCode); }
std::string Degrees(const FieldValue& v) { return TemperatureText(v.raw, true, v.unitCode); }
std::string InternalState(const FieldValue& v) { return InternalStateText(v.raw >> 8, v.raw & 0xFF); }

// The reply's four bytes as they came, byte 0 lowest.
std::string Version(const FieldValue& v) {
  const auto byte = [&](int index) { return (v.raw >> (8 * index)) & 0xFF; };
  return VersionText(byte(0), byte(1), byte(3), byte(2));
}

struct FieldInfo {
  Field field;
  const char* name;
  FieldKind kind;
  TextOf text;
};

using K = FieldKind;
using F = Field;

constexpr FieldInfo kFields[] = {
    {F::kModeSystem, "AdmModeSys", K::kState, ByCode<OnOffName>},
    {F::kLanguage, "AdmLanguage", K::kState, ByCode<LanguageName>},
    {F::kTempUnit, "AdmTempUnit", K::kState, ByCode<TempUnitName>},
    {F::kAlarmMode, "AdmAlarmMode", K::kState, ByCode<AlarmModeName>},
    {F::kVersion, "AdmVersion", K::kText, Version},
    {F::kModeHeating, "HtgMode", K::kState, ByCode<HeatingModeName>},
    {F::kMinHeatingTime, "HtgMinHtime", K::kMinutes, ByNumber<MinutesText>},
    {F::kHighTempLimit, "HtgHighTemp", K::kTemperature, WholeDegrees},
    {F::kLowTempLimit, "HtgLowTemp", K::kTemperature, WholeDegrees},
    {F::kIdleTemp, "HtgIdleTemp", K::kTemperature, WholeDegrees},
    {F::kHeatingMoistLimit, "HtgMoisLimit", K::kNumber, ByNumber<TwoDigitsText>},
    {F::kS1Type, "S1Type", K::kState, ByCode<SensorTypeName>},
    {F::kS2Type, "S2Type", K::kState, ByCode<SensorTypeName>},
    {F::kS1Mode, "S1Mode", K::kState, ByCode<SensorModeName>},
    {F::kS2Mode, "S2Mode", K::kState, ByCode<SensorModeName>},
    {F::kS1MoistLimit, "S1MoisLimit", K::kNumber, ByNumber<SensorMoistLimitText>},
    {F::kS2MoistLimit, "S2MoisLimit", K::kNumber, ByNumber<SensorMoistLimitText>},
    {F::kOpHours, "HtgOpHours", K::kHours, ByNumber<HoursText>},
    {F::kOpHoursXWK, "HtgOpHoursXWK", K::kHours, ByNumber<HoursText>},
    {F::kAdmErrorFlags, "AdmErrFlg", K::kFlags, ByNumber<HexText>},
    {F::kInternalState, "AdmIntStat", K::kNumber, InternalState},
    {F::kHeatingState, "HtgState", K::kState, ByCode<HeatingStateName>},
    {F::kHeatingErrorFlags, "HtgErrFlg", K::kFlags, ByCode<HeatingErrorFlags>},
    {F::kHeatingTempFlags, "HtgTempFlg", K::kFlags, ByCode<HeatingTempFlags>},
    {F::kHeatingMoistFlags, "HtgMoisFlg", K::kFlags, ByCode<HeatingMoistureFlags>},
    {F::kSlabTemp, "HtgSlGuTemp", K::kTemperature, Degrees},
    {F::kOutdoorTemp, "HtgOutTemp", K::kTemperature, Degrees},
    {F::kRemHeatTime, "HtgRemHtime", K::kMinutes, ByNumber<MinutesText>},
    {F::kHeatingRelay, "HtgOffOn", K::kState, ByCode<OnOffName>},
    {F::kS1State, "S1State", K::kState, ByCode<SensorStateName>},
    {F::kS2State, "S2State", K::kState, ByCode<SensorStateName>},
    {F::kS1ErrorFlags, "S1Error", K::kFlags, ByCode<SensorErrorFlags>},
    {F::kS2ErrorFlags, "S2Error", K::kFlags, ByCode<SensorErrorFlags>},
    {F::kS1Flags, "S1Flags", K::kFlags, ByCode<SensorFlags>},
    {F::kS2Flags, "S2Flags", K::kFlags, ByCode<SensorFlags>},
    {F::kS1Temp, "S1SenTemp", K::kTemperature, Degrees},
    {F::kS2Temp, "S2SenTemp", K::kTemperature, Degrees},
    {F::kS1AmbientTemp, "S1AmbTemp", K::kTemperature, Degrees},
    {F::kS2AmbientTemp, "S2AmbTemp", K::kTemperature, Degrees},
    {F::kS1LastMoisture, "S1LastMoist", K::kNumber, ByNumber<LastMoistureText>},
    {F::kS2LastMoisture, "S2LastMoist", K::kNumber, ByNumber<LastMoistureText>},
    {F::kS1InhibitMoist, "S1ItimMois", K::kMinutes, ByNumber<MinutesText>},
    {F::kS2InhibitMoist, "S2ItimMois", K::kMinutes, ByNumber<MinutesText>},
    {F::kS1InhibitTemp, "S1ItimTemp", K::kMinutes, ByNumber<MinutesText>},
    {F::kS2InhibitTemp, "S2ItimTemp", K::kMinutes, ByNumber<MinutesText>},
    {F::kS1Voltage, "S1Volt", K::kVolts, ByNumber<VoltsText>},
    {F::kS2Voltage, "S2Volt", K::kVolts, ByNumber<VoltsText>},
    {F::kS1CharValue, "S1CharVal", K::kNumber, ByNumber<DecimalText>},
    {F::kS2CharValue, "S2CharVal", K::kNumber, ByNumber<DecimalText>},
};

constexpr bool InEnumOrder() {
  for (std::size_t i = 0; i < std::size(kFields); ++i) {
    if (static_cast<std::size_t>(kFields[i].field) != i) return false;
  }
  return std::size(kFields) == kFieldCount;
}
static_assert(InEnumOrder());

const FieldInfo& Info(Field field) { return kFields[static_cast<std::size_t>(field)]; }

constexpr int kTempLogMissing = 0x7F00;
constexpr float kTempLogMissingValue = -999.0f;

std::int32_t LogNumber(const DisplayFields& fields, Field field, std::int32_t unread = -1) {
  return fields.IsRead(field) ? fields.Value(field).raw : unread;
}

float LogTemperature(const DisplayFields& fields, Field field) {
  const FieldValue& v = fields.Value(field);
  return fields.IsRead(field) ? TempLogValue(v.raw, v.unitCode) : -1.0f;
}

float LogVolts(const DisplayFields& fields, Field field) {
  return fields.IsRead(field) ? static_cast<float>(fields.Value(field).raw * 0.01) : -1.0f;
}

SensorLogValues SensorLog(const DisplayFields& f, int s) {
  const auto field = [s](Field sensor1Field) { return SensorField(sensor1Field, s); };
  return {
      LogNumber(f, field(F::kS1State)),
      LogNumber(f, field(F::kS1ErrorFlags)),
      LogNumber(f, field(F::kS1Flags)),
      LogTemperature(f, field(F::kS1Temp)),
      LogTemperature(f, field(F::kS1AmbientTemp)),
      LogNumber(f, field(F::kS1LastMoisture)),
      LogNumber(f, field(F::kS1InhibitMoist)),
      LogNumber(f, field(F::kS1InhibitTemp)),
      LogVolts(f, field(F::kS1Voltage)),
      LogNumber(f, field(F::kS1CharValue), -2),
  };
}

}  // namespace

std::span<const Field> AllFields() {
  static const std::array<Field, kFieldCount> kAll = [] {
    std::array<Field, kFieldCount> all{};
    for (std::size_t i = 0; i < kFieldCount; ++i) all[i] = static_cast<Field>(i);
    return all;
  }();
  return kAll;
}

FieldKind KindOf(Field field) { return Info(field).kind; }

const char* FieldName(Field field) { return Info(field).name; }

std::string ReadText(Field field, const FieldValue& value) { return Info(field).text(value); }

bool IsMissingTemperature(int code) { return code >= kTempLogMissing; }

std::string DisplayFields::Text(Field field) const {
  return IsRead(field) ? ReadText(field, Value(field)) : kUndefined;
}

void DisplayFields::SetRead(Field field, std::int32_t raw, int unitCode) {
  values_[static_cast<std::size_t>(field)] = {raw, unitCode, ReadState::kRead};
  stale_.reset(static_cast<std::size_t>(field));
}

VariableSnapshot LogValues(const DisplayFields& f) {
  return {
      LogNumber(f, F::kAdmErrorFlags),     LogNumber(f, F::kInternalState),    LogNumber(f, F::kHeatingState),
      LogNumber(f, F::kHeatingErrorFlags), LogNumber(f, F::kHeatingTempFlags), LogNumber(f, F::kHeatingMoistFlags),
      LogTemperature(f, F::kSlabTemp),     LogTemperature(f, F::kOutdoorTemp), LogNumber(f, F::kRemHeatTime),
      LogNumber(f, F::kHeatingRelay),      LogNumber(f, F::kOpHours),          LogNumber(f, F::kOpHoursXWK),
      {SensorLog(f, 0), SensorLog(f, 1)},
  };
}

float TempLogValue(int code, int unitCode) {
  if (IsMissingTemperature(code)) return kTempLogMissingValue;
  return static_cast<float>(TempTenths(code, unitCode) * 0.1);
}

}  // namespace gelvar
