#include "cli/mqtt_payloads.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "cli/console_text.h"
#include "cli/field_table.h"
#include "core/common/c_format.h"
#include "core/monitor/value_format.h"
#include "core/monitor/variable_log.h"

namespace gelvar {
namespace {

constexpr float kNoTemperature = -999.0f;

enum class Kind { kCount, kTemperature, kVolts };

struct Column {
  std::string name;  // as in the log's header
  int field;
  double value;
  Kind kind;
};

Column Count(int field, std::int32_t value) { return {{}, field, static_cast<double>(value), Kind::kCount}; }
Column Temperature(int field, float value) { return {{}, field, value, Kind::kTemperature}; }
Column Volts(int field, float value) { return {{}, field, value, Kind::kVolts}; }

// Names the columns as the log's header does, in its order (Set#, Date and Time are not values).
void NameAsTheLog(std::vector<Column>& columns) {
  const std::string_view header = kLogColumns;
  std::size_t start = 0;
  for (int skipped = 0; skipped < 3; ++skipped) start = header.find(';', start) + 1;
  for (Column& column : columns) {
    const std::size_t end = header.find(';', start);
    column.name = header.substr(start, end - start);
    start = end + 1;
  }
}

std::vector<Column> Columns(const VariableSnapshot& v) {
  std::vector<Column> columns = {
      Count(kFieldAdmErrorFlags, v.AdmErrFlg),     Count(kFieldInternalState, v.AdmIntStat),
      Count(kFieldHeatingState, v.HtgState),       Count(kFieldHeatingErrorFlags, v.HtgErrFlg),
      Count(kFieldHeatingTempFlags, v.HtgTempFlg), Count(kFieldHeatingMoistFlags, v.HtgMoisFlg),
      Temperature(kFieldSlabTemp, v.HtgSlGuTemp),  Temperature(kFieldOutdoorTemp, v.HtgOutTemp),
      Count(kFieldRemHeatTime, v.HtgRemHtime),     Count(kFieldHeatingRelay, v.HtgOffOn),
      Count(kFieldOpHours, v.HtgOpHours),          Count(kFieldOpHoursXWK, v.HtgOpHoursXWK),
  };
  for (int s = 0; s < 2; ++s) {
    const SensorLogValues& x = v.sensor[s];
    const auto field = [s](FieldId sensor1Field) { return SensorField(sensor1Field, s); };
    columns.insert(columns.end(), {
                                      Count(field(kFieldSensorState), x.State),
                                      Count(field(kFieldSensorErrorFlags), x.Error),
                                      Count(field(kFieldSensorFlags), x.Flags),
                                      Temperature(field(kFieldSensorTemp), x.SenTemp),
                                      Temperature(field(kFieldSensorAmbientTemp), x.AmbTemp),
                                      Count(field(kFieldSensorLastMoisture), x.LastMoist),
                                      Count(field(kFieldSensorInhibitMoist), x.ItimMois),
                                      Count(field(kFieldSensorInhibitTemp), x.ItimTemp),
                                      Volts(field(kFieldSensorVoltage), x.Volt),
                                      Count(field(kFieldSensorCharValue), x.CharVal),
                                  });
  }
  NameAsTheLog(columns);
  return columns;
}

std::string ValueJson(const Column& column, const std::string& text) {
  if (text == kUndefined) return "null";
  switch (column.kind) {
    case Kind::kTemperature: return column.value <= kNoTemperature ? "null" : CFormat("%.1f", column.value);
    case Kind::kVolts: return CFormat("%.2f", column.value);
    case Kind::kCount: break;
  }
  return CFormat("%.0f", column.value);
}

// The values are in Fahrenheit whenever the code is not 0, also where the unit's name is "unknown".
std::string UnitText(int unitCode) { return Cp1252ToUtf8(TempUnitName(unitCode == 0 ? 0 : 1)); }

std::string IsoTime(std::time_t time) {
  std::tm utc{};
  gmtime_r(&time, &utc);
  return CFormat("%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                 utc.tm_min, utc.tm_sec);
}

struct Entity {
  const char* column;
  const char* component;    // sensor or binary_sensor
  const char* deviceClass;  // "": none
};

constexpr Entity kEntities[] = {
    {"HtgSlGuTemp", "sensor", "temperature"},
    {"HtgOutTemp", "sensor", "temperature"},
    {"S1SenTemp", "sensor", "temperature"},
    {"S1AmbTemp", "sensor", "temperature"},
    {"S2SenTemp", "sensor", "temperature"},
    {"S2AmbTemp", "sensor", "temperature"},
    {"S1LastMoist", "sensor", ""},
    {"S2LastMoist", "sensor", ""},
    {"S1Volt", "sensor", "voltage"},
    {"S2Volt", "sensor", "voltage"},
    {"HtgOffOn", "binary_sensor", ""},
};

// The window's label of a log column's field.
std::string Label(const std::string& column) {
  const std::vector<Column> columns = Columns(VariableSnapshot{});
  const auto found = std::find_if(columns.begin(), columns.end(), [&](const Column& c) { return c.name == column; });
  const auto label = std::find_if(VariableLabels().begin(), VariableLabels().end(),
                                  [&](const FieldLabel& l) { return l.controlId == found->field; });
  return label->label;
}

std::string NodeId(const std::string& prefix) {
  std::string id = "gelvar_";
  for (char c : prefix) id += std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' ? c : '_';
  return id;
}

std::string Config(const Entity& entity, const std::string& prefix, const std::string& node, int unitCode) {
  JsonObject device;
  device.Raw("identifiers", JsonArray({JsonString(node)}))
      .String("name", "Gelvar " + prefix)
      .String("model", "detector unit");
  JsonObject config;
  config.String("name", Label(entity.column))
      .String("unique_id", node + "_" + entity.column)
      .String("state_topic", prefix + "/state")
      .String("value_template", std::string("{{ value_json.") + entity.column + ".value }}")
      .String("availability_topic", prefix + "/status")
      .Raw("device", device.Text());
  const std::string_view deviceClass = entity.deviceClass;
  if (std::string_view(entity.component) == "binary_sensor") {
    config.String("payload_on", "1").String("payload_off", "0");
  } else {
    config.String("state_class", "measurement");
  }
  if (deviceClass.empty()) return config.Text();
  config.String("device_class", entity.deviceClass)
      .String("unit_of_measurement", deviceClass == "temperature" ? UnitText(unitCode) : "V");
  return config.Text();
}

}  // namespace

std::string StateJson(const DisplayFields& fields, const VariableSnapshot& values, int unitCode, std::time_t time) {
  JsonObject state;
  state.String("time", IsoTime(time)).String("unit", UnitText(unitCode));
  for (const Column& column : Columns(values)) {
    const std::string& text = fields.Text(column.field);
    JsonObject variable;
    variable.String("text", Cp1252ToUtf8(text)).Raw("value", ValueJson(column, text));
    state.Raw(column.name, variable.Text());
  }
  return state.Text();
}

std::vector<MqttMessage> DiscoveryConfigs(const std::string& prefix, int unitCode) {
  const std::string node = NodeId(prefix);
  std::vector<MqttMessage> configs;
  for (const Entity& entity : kEntities) {
    configs.push_back({std::string("homeassistant/") + entity.component + "/" + node + "/" + entity.column + "/config",
                       Config(entity, prefix, node, unitCode)});
  }
  return configs;
}

}  // namespace gelvar
