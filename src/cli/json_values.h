// gelvar-cli's JSON values, also the MQTT state's: numbers and booleans as JSON has them, keyed by the
// log's column names, units kept apart from the values.
#pragma once

#include <string>
#include <vector>

#include "cli/console_text.h"
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

// {"status":N,"messages":[...]}: why a run failed, its exit status and what it said on standard error,
// one line each.
std::string ErrorJson(int status, const std::vector<std::string>& messages);

// The numbers in a sensor test's entry lines: the temperature read, the samples of a measuring
// cycle. The recorded data come whole from the sequence instead.
class SensorLineNumbers {
 public:
  void Take(const std::string& line);
  // "temperature" or "cycle", and their "units"; nothing while no line held a number.
  void AddTo(JsonObject& object) const;

 private:
  std::string temperature_;
  std::vector<std::string> cycle_;
};

}  // namespace gelvar
