// The texts the main window shows for the unit's values: name tables, flag letters, number formats,
// temperatures and time stamps. All texts are Windows-1252 bytes; numbers and dates never follow the
// user's locale.
#pragma once

#include <ctime>
#include <string>

namespace gelvar {

inline constexpr const char* kUndefined = "undef.";

// Temperature codes that carry a marker instead of a temperature.
inline constexpr int kTempMarkerFirst = 0x7FFC;
inline constexpr int kTempMarkerLast = 0x7FFF;

std::string OnOffName(unsigned index);
std::string LanguageName(unsigned index);
std::string TempUnitName(unsigned index);
std::string AlarmModeName(unsigned index);
std::string HeatingModeName(unsigned index);
std::string HeatingStateName(unsigned index);
std::string SensorModeName(unsigned index);
std::string SensorTypeName(unsigned index);
std::string SensorStateName(unsigned index);

std::string HeatingErrorFlags(unsigned flags);
std::string HeatingTempFlags(unsigned flags);
std::string HeatingMoistureFlags(unsigned flags);
std::string SensorErrorFlags(unsigned flags);
std::string SensorFlags(unsigned flags);

std::string VersionText(int byte0, int byte1, int byte3, int byte2);
std::string HexText(int word);
std::string InternalStateText(int byte0, int byte1);
std::string MinutesText(int minutes);
std::string HoursText(int hours);
std::string TwoDigitsText(int value);
std::string VoltsText(int hundredths);
std::string DecimalText(int value);
// Moisture readings where 0 means "no value": the sensor's limit ("- x -") and its last reading ("- ? -").
std::string SensorMoistLimitText(int value);
std::string LastMoistureText(int value);

// Tenths of a degree, truncated toward zero; unitCode 0 is Celsius, anything else Fahrenheit.
int TempTenthsC(int code);
int TempTenthsF(int code);
int TempTenths(int code, int unitCode);
std::string TemperatureText(int code, bool withDecimal, int unitCode);

// MM/DD/YY and HH:MM:SS of the local time.
std::string DateText(std::time_t when);
std::string TimeText(std::time_t when);

}  // namespace gelvar
