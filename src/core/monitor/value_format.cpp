#include "core/monitor/value_format.h"

#include <array>
#include <cmath>
#include <initializer_list>

#include "core/common/c_format.h"
#include "core/common/calendar_time.h"

namespace gelvar {
namespace {

std::string Lookup(std::initializer_list<const char*> names, unsigned index, const char* beyond = "unknown") {
  return index < names.size() ? names.begin()[index] : beyond;
}

// Letters of the set bits 0..3, each with its leading blank; " -" when none of them is set.
std::string FlagLetters(std::initializer_list<const char*> letters, unsigned flags) {
  std::string text;
  unsigned bit = 0;
  for (const char* letter : letters) {
    if (flags & (1u << bit)) text += letter;
    ++bit;
  }
  return text.empty() ? " -" : text;
}

std::string MarkerText(int code) {
  static constexpr std::array<const char*, 4> kMarkers = {"- ! -", "- ^ -", "- v -", "- x -"};
  return kMarkers[static_cast<std::size_t>(code - kTempMarkerFirst)];
}

}  // namespace

std::string OnOffName(unsigned index) { return Lookup({"Off", "On"}, index); }

std::string LanguageName(unsigned index) { return Lookup({"DE", "EN", "FR", "IT"}, index); }

// \260 (octal, as a C or F after a hex escape would join it) is Windows-1252's degree sign.
std::string TempUnitName(unsigned index) { return Lookup({"\260C", "\260F"}, index); }

std::string AlarmModeName(unsigned index) { return Lookup({"normal", "inverted"}, index, "error"); }

std::string HeatingModeName(unsigned index) { return Lookup({"Off", "Active", "Active+Idle"}, index); }

std::string HeatingStateName(unsigned index) {
  return Lookup({"Reset", "Inactive", "Off", "Ready", "Active", "Active+Idle", "Heating min.Time", "Heating",
                 "Heating(Idel)", "Error"},
                index);
}

std::string SensorModeName(unsigned index) { return Lookup({"Off", "Temperature", "Moisture", "Temp.+Moist."}, index); }

std::string SensorTypeName(unsigned index) {
  return Lookup({"kein F\374hler", "K7xx", "K710", "K720/21", "K730", "K740", "K750", "K790"}, index);
}

std::string SensorStateName(unsigned index) {
  return Lookup({"Reset", "Inactive", "Off", "On Temp.", "Err Temp.", "On Moist.", "Err Moist.", "Err Moist.(Temp.)",
                 "On Moist.+Temp.", "Error Moist./Temp.ok", "Error Moist.(Temp.)", "Moist.Det."},
                index);
}

std::string HeatingErrorFlags(unsigned flags) { return FlagLetters({" Ta", " To", " Mx", " Cf"}, flags); }

std::string HeatingTempFlags(unsigned flags) { return FlagLetters({" Ta", " To"}, flags); }

std::string HeatingMoistureFlags(unsigned flags) { return FlagLetters({" S1", " S2"}, flags); }

std::string SensorErrorFlags(unsigned flags) { return FlagLetters({" Ts", " Mb", " Mm", " Mi"}, flags); }

std::string SensorFlags(unsigned flags) { return FlagLetters({" M!"}, flags); }

std::string VersionText(int byte0, int byte1, int byte3, int byte2) {
  return CFormat("%01d.%02d B%02d%02d", byte0, byte1, byte3, byte2);
}

std::string HexText(int word) { return CFormat("%04X", word); }

std::string InternalStateText(int byte0, int byte1) { return CFormat("M%d - E%d", byte0, byte1); }

std::string MinutesText(int minutes) { return CFormat("%d min", minutes); }

std::string HoursText(int hours) { return CFormat("%d h", hours); }

std::string TwoDigitsText(int value) { return CFormat("%02d", value); }

std::string VoltsText(int hundredths) { return CFormat("%5.2f V", hundredths * 0.01); }

std::string DecimalText(int value) { return CFormat("%d", value); }

std::string SensorMoistLimitText(int value) { return value == 0 ? "- x -" : TwoDigitsText(value); }

std::string LastMoistureText(int value) { return value == 0 ? "- ? -" : TwoDigitsText(value); }

int TempTenthsC(int code) { return (code - 6000) / 2; }

int TempTenthsF(int code) { return (code - 5644) * 90 / 100; }

int TempTenths(int code, int unitCode) { return unitCode != 0 ? TempTenthsF(code) : TempTenthsC(code); }

std::string TemperatureText(int code, bool withDecimal, int unitCode) {
  if (code >= kTempMarkerFirst && code <= kTempMarkerLast) return MarkerText(code);
  const double degrees = TempTenths(code, unitCode) * 0.1;
  const char* unit = unitCode != 0 ? "\260F" : "\260C";
  if (withDecimal) return CFormat("%5.1f %s", degrees, unit);
  // Whole degrees round halves away from zero (2.5 -> 3, -0.5 -> -1); printf alone would round
  // them to even. std::round keeps the sign of -0.1..-0.4, which then shows as "-0".
  return CFormat("%5.0f %s", std::round(degrees), unit);
}

namespace {

// Only numeric conversions are used, so the result is the same in every locale.
std::string LocalTimeText(std::time_t when, const char* format) {
  std::tm local{};
  if (!LocalCalendarTime(when, local)) return {};
  char buffer[16];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

}  // namespace

std::string DateText(std::time_t when) { return LocalTimeText(when, "%m/%d/%y"); }

std::string TimeText(std::time_t when) { return LocalTimeText(when, "%H:%M:%S"); }

}  // namespace gelvar
