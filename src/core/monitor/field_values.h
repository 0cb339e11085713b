// The unit's values as the main window reads them: per field the raw value, its kind and whether it
// was read. The window's texts, the log's numbers and the JSON values are all made from these.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <span>
#include <string>

namespace gelvar {

// A sensor-2 field is its sensor-1 field + 1.
enum class Field : std::uint8_t {
  // Parameters.
  kModeSystem,
  kLanguage,
  kTempUnit,
  kAlarmMode,
  kVersion,
  kModeHeating,
  kMinHeatingTime,
  kHighTempLimit,
  kLowTempLimit,
  kIdleTemp,
  kHeatingMoistLimit,
  kS1Type,
  kS2Type,
  kS1Mode,
  kS2Mode,
  kS1MoistLimit,
  kS2MoistLimit,
  kOpHours,
  kOpHoursXWK,
  // Variables.
  kAdmErrorFlags,
  kInternalState,
  kHeatingState,
  kHeatingErrorFlags,
  kHeatingTempFlags,
  kHeatingMoistFlags,
  kSlabTemp,
  kOutdoorTemp,
  kRemHeatTime,
  kHeatingRelay,
  kS1State,
  kS2State,
  kS1ErrorFlags,
  kS2ErrorFlags,
  kS1Flags,
  kS2Flags,
  kS1Temp,
  kS2Temp,
  kS1AmbientTemp,
  kS2AmbientTemp,
  kS1LastMoisture,
  kS2LastMoisture,
  kS1InhibitMoist,
  kS2InhibitMoist,
  kS1InhibitTemp,
  kS2InhibitTemp,
  kS1Voltage,
  kS2Voltage,
  kS1CharValue,
  kS2CharValue,
};
inline constexpr std::size_t kFieldCount = static_cast<std::size_t>(Field::kS2CharValue) + 1;

constexpr Field SensorField(Field sensor1Field, int sensor) {
  return static_cast<Field>(static_cast<int>(sensor1Field) + sensor);
}

// Every field, in the order of the enum.
std::span<const Field> AllFields();

enum class FieldKind : std::uint8_t {
  kState,        // a code the window shows by its name
  kFlags,        // bits the window shows as letters
  kNumber,       // a count without a unit
  kTemperature,  // a temperature code, shown in the unit's scale of when it was read
  kMinutes,
  kHours,
  kVolts,  // hundredths of a volt
  kText,   // the version, whose text is its value
};

enum class ReadState : std::uint8_t {
  kNotRead,  // never, its step is under way, or no reply came (only the read cycle sees that)
  kRead,
  kFailed,  // the reply had the wrong format
};

struct FieldValue {
  std::int32_t raw = 0;
  int unitCode = 0;  // temperatures: the unit's scale when it was read, 0 Celsius, else Fahrenheit
  ReadState state = ReadState::kNotRead;
};

FieldKind KindOf(Field field);
// Its name in the log's header; the parameters, which the log does not hold, are named in its style.
const char* FieldName(Field field);
// The window's text of a value that was read.
std::string ReadText(Field field, const FieldValue& value);
// A temperature code without a temperature, which the log writes as -999.0.
bool IsMissingTemperature(int code);

// Every field's value as the last step for it left it.
class DisplayFields {
 public:
  const FieldValue& Value(Field field) const { return values_[static_cast<std::size_t>(field)]; }
  bool IsRead(Field field) const { return Value(field).state == ReadState::kRead; }
  // What the window shows: "undef." unless read.
  std::string Text(Field field) const;
  // Shown from before the port was last lost or closed, and not read since.
  bool IsStale(Field field) const { return stale_.test(static_cast<std::size_t>(field)); }

  void SetRead(Field field, std::int32_t raw, int unitCode = 0);
  void SetState(Field field, ReadState state) { values_[static_cast<std::size_t>(field)].state = state; }
  void MarkAllStale() { stale_.set(); }

 private:
  std::array<FieldValue, kFieldCount> values_{};
  std::bitset<kFieldCount> stale_;
};

// The numbers of one variable pass as the log writes them; the defaults mean "not read".
struct SensorLogValues {
  std::int32_t State = -1;
  std::int32_t Error = -1;
  std::int32_t Flags = -1;
  float SenTemp = -1.0f;
  float AmbTemp = -1.0f;
  std::int32_t LastMoist = -1;
  std::int32_t ItimMois = -1;
  std::int32_t ItimTemp = -1;
  float Volt = -1.0f;
  std::int32_t CharVal = -2;
};

struct VariableSnapshot {
  std::int32_t AdmErrFlg = -1;
  std::int32_t AdmIntStat = -1;
  std::int32_t HtgState = -1;
  std::int32_t HtgErrFlg = -1;
  std::int32_t HtgTempFlg = -1;
  std::int32_t HtgMoisFlg = -1;
  float HtgSlGuTemp = -1.0f;
  float HtgOutTemp = -1.0f;
  std::int32_t HtgRemHtime = -1;
  std::int32_t HtgOffOn = -1;
  std::int32_t HtgOpHours = -1;
  std::int32_t HtgOpHoursXWK = -1;
  SensorLogValues sensor[2];
};

VariableSnapshot LogValues(const DisplayFields& fields);

// Codes from 0x7F00 up have no plausible temperature; the log shows them as -999.0.
float TempLogValue(int code, int unitCode);

}  // namespace gelvar
