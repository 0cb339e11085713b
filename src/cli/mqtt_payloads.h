// What gelvar-cli publishes, as topics and UTF-8 payloads: the state of a variable pass and the Home
// Assistant discovery configs.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "core/monitor/field_values.h"

namespace gelvar {

struct MqttMessage {
  std::string topic;
  std::string payload;
};

// {"time":"2026-12-07T01:02:03Z","units":{"HtgSlGuTemp":"°C",...},"AdmErrFlg":0,...}: the values of
// every log column as gelvar-cli --json read-variables gives a pass.
std::string StateJson(const DisplayFields& fields, std::time_t time);

// Retained configs under homeassistant/ that make the unit at prefix one device with its measured
// temperatures, moisture, voltages and heating relay, all read from prefix/state.
std::vector<MqttMessage> DiscoveryConfigs(const std::string& prefix, int unitCode);

}  // namespace gelvar
