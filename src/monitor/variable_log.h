// The variable log: two header lines per logging run and one semicolon-separated record per log
// interval, for a spreadsheet. Records write decimal commas.
#pragma once

#include <ctime>
#include <string>

#include "monitor/device_model.h"

namespace gelvar {

inline constexpr const char* kLogDefaultName = "Gelvar.log";
inline constexpr const char* kLogDefaultExtension = "log";
inline constexpr const char* kLogOpenError = "Error open log file: DateiLogName";
// Longest record, its line end counted as one character.
inline constexpr std::size_t kLogRecordLimit = 1023;

// The two header lines, CR LF ends included.
std::string LogHeader(std::time_t when, int temperatureUnitCode);
// One record with its CR LF; empty when it would not fit the record limit.
std::string LogRecord(int setNumber, std::time_t when, const VariableSnapshot& values);

}  // namespace gelvar
