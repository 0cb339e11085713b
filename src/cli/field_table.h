// The main window's value fields as lines of text: which fields a command shows, under which label,
// in the order the window lays them out.
#pragma once

#include <string>
#include <vector>

#include "cli/console_text.h"
#include "core/monitor/field_values.h"

namespace gelvar {

struct FieldLabel {
  Field field;
  std::string label;  // unique among all fields
};

// The fields the parameter reader fills (the operating hours among them), and those of the variable
// reader.
const std::vector<FieldLabel>& ParameterLabels();
const std::vector<FieldLabel>& VariableLabels();

// "label: text" per field, UTF-8.
std::vector<std::string> FieldLines(const DisplayFields& fields, const std::vector<FieldLabel>& labels);
// {"AdmErrFlg":161,...}: each field's JSON value under its log column name (see ValueJson).
void AddFieldValues(JsonObject& object, const DisplayFields& fields, const std::vector<FieldLabel>& labels);
std::string FieldJson(const DisplayFields& fields, const std::vector<FieldLabel>& labels);
// {"HtgSlGuTemp":"°C","HtgRemHtime":"min",...}: the unit of each field that has one and was read.
std::string UnitsJson(const DisplayFields& fields, const std::vector<FieldLabel>& labels);

}  // namespace gelvar
