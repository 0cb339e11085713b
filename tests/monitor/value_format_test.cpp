#include "monitor/value_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <string>

namespace gelvar {
namespace {

struct NameCase {
  std::function<std::string(unsigned)> name;
  unsigned index;
  const char* text;
};

TEST(ValueFormat, NameTablesGiveTheirTextsAndUnknownBeyondTheEnd) {
  const NameCase cases[] = {
      {OnOffName, 1, "On"},                       {OnOffName, 2, "unknown"},
      {LanguageName, 3, "IT"},                    {LanguageName, 4, "unknown"},
      {TempUnitName, 0, "\xB0" "C"},             {TempUnitName, 1, "\xB0" "F"},
      {TempUnitName, 2, "unknown"},               {AlarmModeName, 1, "inverted"},
      {AlarmModeName, 2, "error"},                {HeatingModeName, 2, "Active+Idle"},
      {HeatingModeName, 3, "unknown"},            {HeatingStateName, 6, "Heating min.Time"},
      {HeatingStateName, 8, "Heating(Idel)"},     {HeatingStateName, 10, "unknown"},
      {SensorModeName, 3, "Temp.+Moist."},        {SensorModeName, 4, "unknown"},
      {SensorTypeName, 0, "kein F\xFC" "hler"},  {SensorTypeName, 7, "K790"},
      {SensorTypeName, 8, "unknown"},             {SensorStateName, 9, "Error Moist./Temp.ok"},
      {SensorStateName, 11, "Moist.Det."},        {SensorStateName, 12, "unknown"},
  };
  for (const NameCase& c : cases) EXPECT_EQ(c.name(c.index), c.text) << c.index;
}

struct FlagCase {
  std::function<std::string(unsigned)> flags;
  unsigned value;
  const char* text;
};

TEST(ValueFormat, FlagLettersInBitOrderOrADash) {
  const FlagCase cases[] = {
      {HeatingErrorFlags, 0x05, " Ta Mx"},      {HeatingErrorFlags, 0x0F, " Ta To Mx Cf"},
      {HeatingErrorFlags, 0x00, " -"},          {HeatingErrorFlags, 0xF0, " -"},
      {HeatingTempFlags, 0x06, " To"},          {HeatingMoistureFlags, 0x03, " S1 S2"},
      {SensorErrorFlags, 0x0A, " Mb Mi"},       {SensorFlags, 0x02, " -"},
      {SensorFlags, 0xFF, " M!"},
  };
  for (const FlagCase& c : cases) EXPECT_EQ(c.flags(c.value), c.text) << c.value;
}

TEST(ValueFormat, NumberFormats) {
  EXPECT_EQ(VersionText(1, 4, 3, 16), "1.04 B0316");
  EXPECT_EQ(HexText(0x00A1), "00A1");
  EXPECT_EQ(InternalStateText(3, 7), "M3 - E7");
  EXPECT_EQ(MinutesText(0), "0 min");
  EXPECT_EQ(HoursText(65535), "65535 h");
  EXPECT_EQ(TwoDigitsText(0), "00");
  EXPECT_EQ(VoltsText(1234), "12.34 V");
  EXPECT_EQ(VoltsText(5), " 0.05 V");
  EXPECT_EQ(SensorMoistLimitText(0), "- x -");
  EXPECT_EQ(SensorMoistLimitText(7), "07");
  EXPECT_EQ(LastMoistureText(0), "- ? -");
  EXPECT_EQ(LastMoistureText(42), "42");
}

struct TemperatureCase {
  int code;
  bool withDecimal;
  int unit;
  const char* text;
};

TEST(ValueFormat, TemperatureTexts) {
  const TemperatureCase cases[] = {
      {6000, true, 0, "  0.0 \xB0" "C"},    {6000, true, 1, " 32.0 \xB0" "F"},
      {5600, false, 0, "  -20 \xB0" "C"},   {5999, true, 0, "  0.0 \xB0" "C"},
      {5998, true, 0, " -0.1 \xB0" "C"},    {0, true, 0, "-300.0 \xB0" "C"},
      {5600, true, 1, " -3.9 \xB0" "F"},    {6400, false, 1, "   68 \xB0" "F"},
      {0x7F10, true, 0, "1326.4 \xB0" "C"}, {0x7FFB, true, 0, "1338.1 \xB0" "C"},
      {0x7FFC, true, 0, "- ! -"},            {0x7FFD, false, 1, "- ^ -"},
      {0x7FFE, true, 1, "- v -"},            {0x7FFF, false, 0, "- x -"},
      {2, true, 2, "-507.7 \xB0" "F"},  // any unit code but 0 is Fahrenheit
      // Whole degrees round halves away from zero; -0.2 keeps its sign as printf shows it.
      {6050, false, 0, "    3 \xB0" "C"},   {6070, false, 0, "    4 \xB0" "C"},
      {5990, false, 0, "   -1 \xB0" "C"},   {6010, false, 0, "    1 \xB0" "C"},
      {5950, false, 0, "   -3 \xB0" "C"},   {5996, false, 0, "   -0 \xB0" "C"},
      {6008, false, 0, "    0 \xB0" "C"},   {6050, true, 0, "  2.5 \xB0" "C"},
      {5650, false, 1, "    1 \xB0" "F"},   {5672, false, 1, "    3 \xB0" "F"},
      {5683, false, 1, "    4 \xB0" "F"},   {5638, false, 1, "   -1 \xB0" "F"},
      {5616, false, 1, "   -3 \xB0" "F"},
  };
  for (const TemperatureCase& c : cases) {
    EXPECT_EQ(TemperatureText(c.code, c.withDecimal, c.unit), c.text) << c.code << " unit " << c.unit;
  }
}

TEST(ValueFormat, DateAndTimeAreMonthDayYearAnd24HourWhateverTheLocale) {
  std::tm local{};  // 13:05:09 on 2026-03-07, local time
  local.tm_year = 126;
  local.tm_mon = 2;
  local.tm_mday = 7;
  local.tm_hour = 13;
  local.tm_min = 5;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  const std::time_t when = std::mktime(&local);
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "locale " << locale << " is not installed";
    EXPECT_EQ(DateText(when), "03/07/26") << locale;
    EXPECT_EQ(TimeText(when), "13:05:09") << locale;
  }
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace gelvar
