// Writes the JSON documents no run of the simulated unit shows (every field read, none read, type II
// data, the port list) into the folder $GELVAR_JSON_SAMPLES, one file each, for validate_json.py to hold
// against the schema.
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "cli/field_table.h"
#include "cli/json_values.h"
#include "cli/port_list.h"

int main() {
  using namespace gelvar;
  const char* folder = std::getenv("GELVAR_JSON_SAMPLES");
  if (folder == nullptr) return std::cerr << "json_samples: GELVAR_JSON_SAMPLES names no folder\n", 2;
  const DisplayFields none;
  DisplayFields all;
  for (const Field field : AllFields()) {
    const int unitCode = KindOf(field) == FieldKind::kTemperature ? 1 : 0;
    all.SetRead(field, unitCode == 1 ? 6250 : KindOf(field) == FieldKind::kText ? 0x03100401 : 1, unitCode);
  }
  all.SetRead(Field::kOutdoorTemp, 0x7FFE, 1);  // a marker: null
  SensorTestValues recorded;
  recorded.Tv = 30, recorded.Ti = 9, recorded.Tm = 5, recorded.dataSetTotal = 2;
  recorded.Uv = {12.15f, 12.15f}, recorded.Us = {3.5f, 3.5f}, recorded.Ts = {-1.25f, -1.25f};
  const auto document = [](const char* command, const char* member, const std::string& values,
                           const std::string& units) {
    return JsonObject().String("command", command).Raw(member, values).Raw("units", units).Text();
  };
  const std::pair<const char*, std::string> samples[] = {
      {"read-variables", document("read-variables", "passes",
                                  JsonArray({FieldJson(all, VariableLabels()), FieldJson(none, VariableLabels())}),
                                  UnitsJson(all, VariableLabels()))},
      {"ports", PortListLines({{"/dev/ttyACM0", "Uno \"R3\""}, {"/dev/ttyS0", "built-in"}}, true).front()},
      {"sensor-test-type-2", JsonObject()
                                 .String("command", "sensor-test read-recorded")
                                 .Raw("lines", JsonArray({}))
                                 .Raw("recorded", RecordedDataJson(recorded, 2, 1))
                                 .Text()},
  };
  for (const auto& [name, json] : samples) {
    std::ofstream out(std::string(folder) + "/" + name + ".json", std::ios::binary);
    if (!(out << json << '\n')) return std::cerr << "json_samples: cannot write " << name << "\n", 1;
  }
  return 0;
}
