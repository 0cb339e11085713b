// The variable log: two header lines per logging run and one semicolon-separated record per log
// interval, for a spreadsheet. Records write decimal commas.
#pragma once

#include <ctime>
#include <string>

#include "core/monitor/device_model.h"

namespace gelvar {

inline constexpr const char* kLogDefaultName = "Gelvar.log";
inline constexpr const char* kLogDefaultExtension = "log";
inline constexpr const char* kLogOpenError = "Error open log file: DateiLogName";
// The second header line: the 35 column names, each followed by a semicolon.
inline constexpr const char* kLogColumns =
    "Set#;Date;Time;AdmErrFlg;AdmIntStat;HtgState;HtgErrFlg;HtgTempFlg;HtgMoisFlg;HtgSlGuTemp;HtgOutTemp;"
    "HtgRemHtime;HtgOffOn;HtgOpHours;HtgOpHoursXWK;S1State;S1Error;S1Flags;S1SenTemp;S1AmbTemp;S1LastMoist;"
    "S1ItimMois;S1ItimTemp;S1Volt;S1CharVal;S2State;S2Error;S2Flags;S2SenTemp;S2AmbTemp;S2LastMoist;"
    "S2ItimMois;S2ItimTemp;S2Volt;S2CharVal;";
inline constexpr int kLogColumnCount = 35;
inline constexpr const char* kLogHeaderStart = "Logfile Gelvar started ";
inline constexpr const char* kLogUnitLead = ", Temperature Unit: ";
// Longest record, its line end counted as one character.
inline constexpr std::size_t kLogRecordLimit = 1023;

// The two header lines, CR LF ends included.
std::string LogHeader(std::time_t when, int temperatureUnitCode);
// One record with its CR LF; empty when it would not fit the record limit.
std::string LogRecord(int setNumber, std::time_t when, const VariableSnapshot& values);

}  // namespace gelvar
