#include "monitor/value_format.h"

#include <gtest/gtest.h>

namespace gelvar {
namespace {

TEST(ValueFormat, NameTablesAndFlagLettersInBitOrder) {
  const struct {
    std::string (*text)(unsigned);
    unsigned value;
    const char* expected;
  } cases[] = {
      {OnOffName, 2, "unknown"},          {LanguageName, 3, "IT"},          {LanguageName, 4, "unknown"},
      {TempUnitName, 2, "unknown"},       {AlarmModeName, 2, "error"},      {HeatingModeName, 3, "unknown"},
      {HeatingStateName, 10, "unknown"},  {SensorModeName, 4, "unknown"},   {SensorTypeName, 7, "K790"},
      {SensorTypeName, 8, "unknown"},     {SensorStateName, 12, "unknown"}, {HeatingErrorFlags, 0x0F, " Ta To Mx Cf"},
      {HeatingErrorFlags, 0xF0, " -"},    {HeatingTempFlags, 0x06, " To"},  {HeatingMoistureFlags, 0x03, " S1 S2"},
      {SensorErrorFlags, 0x0A, " Mb Mi"}, {SensorFlags, 0xFF, " M!"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text(c.value), c.expected) << c.value;
}

TEST(ValueFormat, TemperatureTexts) {
  const struct {
    int code;
    bool withDecimal;
    int unit;
    const char* text;
  } cases[] = {
      {6000, true, 0, "  0.0 \260C"},
      {6000, true, 1, " 32.0 \260F"},
      {5998, true, 0, " -0.1 \260C"},
      {0, true, 0, "-300.0 \260C"},
      {5600, true, 1, " -3.9 \260F"},
      {0x7FFB, true, 0, "1338.1 \260C"},
      {0x7FFC, true, 0, "- ! -"},
      {0x7FFD, false, 1, "- ^ -"},
      {0x7FFE, true, 1, "- v -"},
      {0x7FFF, false, 0, "- x -"},
      {2, true, 2, "-507.7 \260F"},  // any unit code but 0 is Fahrenheit
      // Whole degrees round halves away from zero; -0.2 keeps its sign as printf shows it.
      {6050, false, 0, "    3 \260C"},
      {6070, false, 0, "    4 \260C"},
      {5990, false, 0, "   -1 \260C"},
      {6010, false, 0, "    1 \260C"},
      {5996, false, 0, "   -0 \260C"},
      {6050, true, 0, "  2.5 \260C"},
      {5650, false, 1, "    1 \260F"},
      {5672, false, 1, "    3 \260F"},
      {5683, false, 1, "    4 \260F"},
      {5638, false, 1, "   -1 \260F"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TemperatureText(c.code, c.withDecimal, c.unit), c.text) << c.code << " unit " << c.unit;
  }
}

}  // namespace
}  // namespace gelvar
