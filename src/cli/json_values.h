// gelvar-cli's JSON values, also the MQTT state's: numbers and booleans as JSON has them, keyed by the
// log's column names, units kept apart from the values.
#pragma once

#include <string>
#include <vector>

#include "core/monitor/field_values.h"
#include "core/sensorcheck/sensor_sequence.h"

namespace gelvar {

// A number (temperatures in their scale, volts, minutes, hours, flag bits, counts), the version's
// text, or a state as {"text":"Active","code":4}; null when not read or the reply was wrong. A
// temperature code without a temperature, which the window shows as a marker, is null as well.
std::string ValueJson(Field field, const FieldValue& value);
// "°C", "°F", "min", "h", "V", or "" for a value without a unit.
std::string UnitText(Field field, const FieldValue& value);

// The recorded data of a sensor test: its timing, the first setsRead samples and the results, in
// the units of "units". sensorType 0 is Type I, anything else Type II.
std::string RecordedDataJson(const SensorTestValues& values, int setsRead, int sensorType);

// {"command":...,"error":{"status":N,"messages":[...]}}: a run that failed, with what it said on
// standard error.
std::string ErrorJson(const std::string& command, int status, const std::vector<std::string>& messages);

}  // namespace gelvar
