#include "cli/mqtt_payloads.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "cli/console_text.h"
#include "cli/field_table.h"
#include "cli/json_values.h"
#include "core/common/c_format.h"
#include "core/common/calendar_time.h"

namespace gelvar {
namespace {

std::string IsoTime(std::time_t time) {
  std::tm utc{};
  UtcCalendarTime(time, utc);
  return CFormat("%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                 utc.tm_min, utc.tm_sec);
}

struct Entity {
  Field field;
  const char* component;    // sensor or binary_sensor
  const char* deviceClass;  // "": none
};

constexpr Entity kEntities[] = {
    {Field::kSlabTemp, "sensor", "temperature"}, {Field::kOutdoorTemp, "sensor", "temperature"},
    {Field::kS1Temp, "sensor", "temperature"},   {Field::kS1AmbientTemp, "sensor", "temperature"},
    {Field::kS2Temp, "sensor", "temperature"},   {Field::kS2AmbientTemp, "sensor", "temperature"},
    {Field::kS1LastMoisture, "sensor", ""},      {Field::kS2LastMoisture, "sensor", ""},
    {Field::kS1Voltage, "sensor", "voltage"},    {Field::kS2Voltage, "sensor", "voltage"},
    {Field::kHeatingRelay, "binary_sensor", ""},
};

// The window's label of a field.
std::string Label(Field field) {
  const auto label = std::find_if(VariableLabels().begin(), VariableLabels().end(),
                                  [&](const FieldLabel& l) { return l.field == field; });
  return label->label;
}

// A state is published with its text and code; Home Assistant takes the code.
std::string ValueTemplate(Field field) {
  const std::string value = std::string("value_json.") + FieldName(field);
  return "{{ " + value + (KindOf(field) == FieldKind::kState ? ".code" : "") + " }}";
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
  config.String("name", Label(entity.field))
      .String("unique_id", node + "_" + FieldName(entity.field))
      .String("state_topic", prefix + "/state")
      .String("value_template", ValueTemplate(entity.field))
      .String("availability_topic", prefix + "/status")
      .Raw("device", device.Text());
  if (std::string_view(entity.component) == "binary_sensor") {
    config.String("payload_on", "1").String("payload_off", "0");
  } else {
    config.String("state_class", "measurement");
  }
  if (std::string_view(entity.deviceClass).empty()) return config.Text();
  FieldValue inUnitScale;
  inUnitScale.unitCode = unitCode;
  config.String("device_class", entity.deviceClass).String("unit_of_measurement", UnitText(entity.field, inUnitScale));
  return config.Text();
}

}  // namespace

std::string StateJson(const DisplayFields& fields, std::time_t time) {
  JsonObject state;
  state.String("time", IsoTime(time)).Raw("units", UnitsJson(fields, VariableLabels()));
  AddFieldValues(state, fields, VariableLabels());
  return state.Text();
}

std::vector<MqttMessage> DiscoveryConfigs(const std::string& prefix, int unitCode) {
  const std::string node = NodeId(prefix);
  std::vector<MqttMessage> configs;
  for (const Entity& entity : kEntities) {
    configs.push_back(
        {std::string("homeassistant/") + entity.component + "/" + node + "/" + FieldName(entity.field) + "/config",
         Config(entity, prefix, node, unitCode)});
  }
  return configs;
}

}  // namespace gelvar
