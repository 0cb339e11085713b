// The main window's value fields as lines of text: which fields a command shows, under which label,
// in the order the window lays them out.
#pragma once

#include <string>
#include <vector>

#include "core/monitor/device_model.h"

namespace gelvar {

struct FieldLabel {
  int controlId;
  std::string label;  // unique among all fields
};

// The fields the parameter reader fills (the operating hours among them), and those of the variable
// reader.
const std::vector<FieldLabel>& ParameterLabels();
const std::vector<FieldLabel>& VariableLabels();

// "label: text" per field, UTF-8.
std::vector<std::string> FieldLines(const DisplayFields& fields, const std::vector<FieldLabel>& labels);
// {"label":"text",...}
std::string FieldJson(const DisplayFields& fields, const std::vector<FieldLabel>& labels);

}  // namespace gelvar
