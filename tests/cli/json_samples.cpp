// Writes the JSON documents no run of gelvar-cli in the tests shows (every field read, none read, type II
// data) into the folder given, one file each, for validate_json.py to hold against the schema.
#include <fstream>
#include <iostream>
#include <string>

#include "cli/field_table.h"
#include "cli/json_values.h"

namespace gelvar {
namespace {

DisplayFields AllRead(int unitCode) {
  DisplayFields fields;
  for (const Field field : AllFields()) {
    switch (KindOf(field)) {
      case FieldKind::kTemperature: fields.SetRead(field, 6250, unitCode); break;
      case FieldKind::kText: fields.SetRead(field, 0x03100401); break;
      default: fields.SetRead(field, 1); break;
    }
  }
  fields.SetRead(Field::kOutdoorTemp, 0x7FFE, unitCode);  // a marker: null
  return fields;
}

std::string Values(const std::string& command, const std::string& member, const std::string& values,
                   const std::string& units) {
  return JsonObject().String("command", command).Raw(member, values).Raw("units", units).Text();
}

SensorTestValues Recorded() {
  SensorTestValues values;
  values.Tv = 30;
  values.Ti = 9;
  values.Tm = 5;
  values.dataSetTotal = 2;
  for (std::size_t i = 0; i < 2; ++i) {
    values.Uv[i] = 12.15f;
    values.Us[i] = 3.5f;
    values.Ts[i] = -1.25f;
  }
  return values;
}

}  // namespace
}  // namespace gelvar

int main(int argc, char** argv) {
  using namespace gelvar;
  if (argc != 2) {
    std::cerr << "usage: json_samples FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  const DisplayFields none;
  const DisplayFields all = AllRead(1);
  const std::pair<const char*, std::string> samples[] = {
      {"read-parameters-unread",
       Values("read-parameters", "parameters", FieldJson(none, ParameterLabels()), UnitsJson(none, ParameterLabels()))},
      {"read-parameters",
       Values("read-parameters", "parameters", FieldJson(all, ParameterLabels()), UnitsJson(all, ParameterLabels()))},
      {"read-variables", Values("read-variables", "passes",
                                JsonArray({FieldJson(all, VariableLabels()), FieldJson(none, VariableLabels())}),
                                UnitsJson(all, VariableLabels()))},
      {"sensor-test-type-2", JsonObject()
                                 .String("command", "sensor-test read-recorded")
                                 .Raw("lines", JsonArray({}))
                                 .Raw("recorded", RecordedDataJson(Recorded(), 2, 1))
                                 .Text()},
  };
  for (const auto& [name, json] : samples) {
    std::ofstream out(folder + "/" + name + ".json", std::ios::binary);
    out << json << '\n';
    if (!out) {
      std::cerr << "json_samples: cannot write " << folder << "/" << name << ".json\n";
      return 1;
    }
  }
  return 0;
}
