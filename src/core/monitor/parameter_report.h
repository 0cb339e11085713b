// The parameter report: the parameter texts of the main window as a plain-text record, several of
// which can follow one another in one file.
#pragma once

#include <ctime>
#include <string>

#include "core/monitor/device_model.h"

namespace gelvar {

inline constexpr const char* kReportDefaultName = "Gelvar.par";
inline constexpr const char* kReportDefaultExtension = "par";
inline constexpr const char* kReportOpenError = "Error open parameter file: DateiParName";

// One complete report of the given texts, stamped with the local time of when, CR LF line ends.
std::string ParameterReport(const DisplayFields& fields, std::time_t when);

}  // namespace gelvar
