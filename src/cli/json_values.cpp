#include "cli/json_values.h"

#include <algorithm>
#include <cstdio>

#include "cli/console_text.h"
#include "core/common/c_format.h"
#include "core/monitor/value_format.h"

namespace gelvar {
namespace {

// CFormat takes no "*" precision.
std::string Fixed(double value, int decimals) {
  static constexpr const char* kFormats[] = {"%.0f", "%.1f", "%.2f", "%.3f"};
  return CFormat(kFormats[decimals], value);
}

std::string TemperatureJson(const FieldValue& v) {
  if (IsMissingTemperature(v.raw)) return "null";
  return Fixed(TempTenths(v.raw, v.unitCode) * 0.1, 1);
}

std::string StateJson(Field field, const FieldValue& v) {
  return JsonObject().String("text", Cp1252ToUtf8(ReadText(field, v))).Number("code", v.raw).Text();
}

// Temperatures in Fahrenheit whenever the code is not 0, also where the unit's name is "unknown".
std::string TemperatureUnit(int unitCode) { return Cp1252ToUtf8(TempUnitName(unitCode == 0 ? 0 : 1)); }

std::string SamplesJson(const SensorTestValues& v, int count) {
  std::vector<std::string> samples;
  for (int i = 0; i < count; ++i) {
    const auto k = static_cast<std::size_t>(i);
    samples.push_back(JsonObject()
                          .Number("t", (i + 1) * v.Tm)
                          .Raw("Uv", Fixed(v.Uv[k], 2))
                          .Raw("Us", Fixed(v.Us[k], 2))
                          .Raw("Ts", Fixed(v.Ts[k], 2))
                          .Text());
  }
  return JsonArray(samples);
}

std::string ResultsJson(const SensorTestValues& v, int sensorType) {
  JsonObject results;
  results.Raw("Uo", Fixed(v.Uo, 3)).Raw("Uso", Fixed(v.Uso, 3)).Raw("To", Fixed(v.To, 3));
  if (sensorType == 0) return results.Raw("Rm", Fixed(v.Rm, 3)).Raw("Rs", Fixed(v.Rs, 3)).Text();
  return results.Raw("dERdt", Fixed(v.dERdt, 3))
      .Raw("tK", Fixed(v.tK, 3))
      .Raw("fx", Fixed(v.fx, 3))
      .Raw("K", Fixed(v.Kf, 3))
      .Raw("Rsh", Fixed(v.Rm, 3))
      .Text();
}

std::string RecordedUnitsJson() {
  const std::string volts = "V", celsius = TemperatureUnit(0), seconds = "s", ohms = "Ohm";
  return JsonObject()
      .String("t", seconds)
      .String("Uv", volts)
      .String("Us", volts)
      .String("Ts", celsius)
      .String("Uo", volts)
      .String("Uso", volts)
      .String("To", celsius)
      .String("Tv", seconds)
      .String("Ti", seconds)
      .String("Tm", seconds)
      .String("Rm", ohms)
      .String("Rs", ohms)
      .String("tK", seconds)
      .String("Rsh", ohms)
      .Text();
}

}  // namespace

std::string ValueJson(Field field, const FieldValue& value) {
  if (value.state != ReadState::kRead) return "null";
  switch (KindOf(field)) {
    case FieldKind::kState: return StateJson(field, value);
    case FieldKind::kTemperature: return TemperatureJson(value);
    case FieldKind::kVolts: return Fixed(value.raw * 0.01, 2);
    case FieldKind::kText: return JsonString(Cp1252ToUtf8(ReadText(field, value)));
    case FieldKind::kFlags:
    case FieldKind::kNumber:
    case FieldKind::kMinutes:
    case FieldKind::kHours: break;
  }
  return std::to_string(value.raw);
}

std::string UnitText(Field field, const FieldValue& value) {
  switch (KindOf(field)) {
    case FieldKind::kTemperature: return TemperatureUnit(value.unitCode);
    case FieldKind::kMinutes: return "min";
    case FieldKind::kHours: return "h";
    case FieldKind::kVolts: return "V";
    case FieldKind::kState:
    case FieldKind::kFlags:
    case FieldKind::kNumber:
    case FieldKind::kText: break;
  }
  return {};
}

std::string RecordedDataJson(const SensorTestValues& values, int setsRead, int sensorType) {
  const int count = std::clamp(setsRead, 0, kRecordedSetLimit);
  JsonObject timing;
  if (sensorType == 0) timing.Number("Tv", values.Tv);
  timing.Number("Ti", values.Ti).Number("Tm", values.Tm).Number("N", values.dataSetTotal);
  return JsonObject()
      .Raw("timing", timing.Text())
      .Raw("samples", SamplesJson(values, count))
      .Raw("results", ResultsJson(values, sensorType))
      .Raw("units", RecordedUnitsJson())
      .Text();
}

std::string ErrorJson(int status, const std::vector<std::string>& messages) {
  std::vector<std::string> lines;
  for (const std::string& message : messages) {
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
      end = message.find('\n', start);
      lines.push_back(JsonString(message.substr(start, end - start)));
    }
  }
  return JsonObject().Number("status", status).Raw("messages", JsonArray(lines)).Text();
}

// The sequence keeps neither number; its entry texts are fixed, and hold them at full precision.
void SensorLineNumbers::Take(const std::string& line) {
  int sensor = 0, rs = 0;
  float value = 0.0f;
  if (std::sscanf(line.c_str(), "Temperature sensor %d: %f", &sensor, &value) == 2) {
    temperature_ = Fixed(value, 1);
  } else if (std::sscanf(line.c_str(), "Sensor %d - Uv: %f V, Rs: %d Ohm", &sensor, &value, &rs) == 3) {
    cycle_.push_back(JsonObject().Raw("Uv", Fixed(value, 2)).Number("Rs", rs).Text());
  }
}

void SensorLineNumbers::AddTo(JsonObject& object) const {
  JsonObject units;
  if (!temperature_.empty()) {
    object.Raw("temperature", temperature_);
    units.String("temperature", TemperatureUnit(0));
  }
  if (!cycle_.empty()) {
    object.Raw("cycle", JsonArray(cycle_));
    units.String("Uv", "V").String("Rs", "Ohm");
  }
  if (!units.Empty()) object.Raw("units", units.Text());
}

}  // namespace gelvar
