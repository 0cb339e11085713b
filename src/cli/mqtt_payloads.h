// What gelvar-cli publishes, as topics and UTF-8 payloads: the state of a variable pass and the Home
// Assistant discovery configs.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "core/monitor/device_model.h"

namespace gelvar {

struct MqttMessage {
  std::string topic;
  std::string payload;
};

// {"time":"2026-12-07T01:02:03Z","unit":"°C","AdmErrFlg":{"text":"0000","value":0},...}: every log
// column with its display text and log value, temperatures in unit (code, 0 Celsius). A value not
// read, or a temperature the log writes as -999.0, is null.
std::string StateJson(const DisplayFields& fields, const VariableSnapshot& values, int unitCode, std::time_t time);

// Retained configs under homeassistant/ that make the unit at prefix one device with its measured
// temperatures, moisture, voltages and heating relay, all read from prefix/state.
std::vector<MqttMessage> DiscoveryConfigs(const std::string& prefix, int unitCode);

}  // namespace gelvar
