// Reading numbers as C writes them, whatever the locale.
#include "core/common/c_number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <system_error>

#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

constexpr double kUntouched = 12345.0;

struct NumberRow {
  const char* name;
  std::string text;
  int consumed;  // characters taken
  std::errc error;
  double value;  // kUntouched where the value is to be left alone
};

class DoubleFromCharsRows : public ::testing::TestWithParam<NumberRow> {};

TEST_P(DoubleFromCharsRows, TakesWhatStdFromCharsTakes) {
  const NumberRow& row = GetParam();
  double value = kUntouched;
  const std::from_chars_result result = DoubleFromChars(row.text.data(), row.text.data() + row.text.size(), value);
  EXPECT_EQ(result.ptr - row.text.data(), row.consumed);
  EXPECT_EQ(result.ec, row.error);
  EXPECT_EQ(value, row.value);
}

constexpr std::errc kOk{};
constexpr std::errc kNoNumber = std::errc::invalid_argument;
constexpr std::errc kOutOfRange = std::errc::result_out_of_range;

INSTANTIATE_TEST_SUITE_P(
    Texts, DoubleFromCharsRows,
    ::testing::Values(
        NumberRow{"Integer", "42", 2, kOk, 42.0}, NumberRow{"Negative", "-2.5", 4, kOk, -2.5},
        NumberRow{"PointFirst", ".25", 3, kOk, 0.25}, NumberRow{"PointLast", "7.", 2, kOk, 7.0},
        NumberRow{"Exponent", "1.5E+3", 6, kOk, 1500.0}, NumberRow{"NegativeExponent", "25e-2", 5, kOk, 0.25},
        NumberRow{"ExponentWithoutDigits", "3e+", 1, kOk, 3.0}, NumberRow{"StopsAtComma", "12,5", 2, kOk, 12.0},
        NumberRow{"StopsAtSecondPoint", "1.2.3", 3, kOk, 1.2}, NumberRow{"HexIsZeroOnly", "0x10", 1, kOk, 0.0},
        NumberRow{"NearestDouble", "0.1", 3, kOk, 0.1}, NumberRow{"Subnormal", "4.9e-324", 8, kOk, 4.9e-324},
        NumberRow{"ZeroWithHugeExponent", "0e99999", 7, kOk, 0.0},
        NumberRow{"Infinity", "-Infinity", 9, kOk, -HUGE_VAL}, NumberRow{"InfShort", "infinit", 3, kOk, HUGE_VAL},
        NumberRow{"Empty", "", 0, kNoNumber, kUntouched}, NumberRow{"SignOnly", "-", 0, kNoNumber, kUntouched},
        NumberRow{"PlusSign", "+1", 0, kNoNumber, kUntouched},
        NumberRow{"LeadingBlank", " 1", 0, kNoNumber, kUntouched},
        NumberRow{"PointOnly", ".", 0, kNoNumber, kUntouched},
        NumberRow{"Overflow", "1.7976931348623159e308", 22, kOutOfRange, kUntouched},
        NumberRow{"Underflow", "2e-324", 6, kOutOfRange, kUntouched}),
    [](const ::testing::TestParamInfo<NumberRow>& info) { return std::string(info.param.name); });

TEST(DoubleFromChars, ReadsNanWithItsCharactersInParentheses) {
  const std::string text = "NaN(x_1)z";
  double value = kUntouched;
  const std::from_chars_result result = DoubleFromChars(text.data(), text.data() + text.size(), value);
  EXPECT_EQ(result.ptr - text.data(), 8);
  EXPECT_TRUE(std::isnan(value));
}

TEST(DoubleFromChars, ReadsAPointUnderALocaleWithADecimalComma) {
  struct CLocaleAtEnd {
    ~CLocaleAtEnd() { std::setlocale(LC_ALL, "C"); }
  } restore;
  if (!UseGermanLocale()) GTEST_SKIP() << "no German locale is installed";
  const std::string text = "2.5";
  double value = kUntouched;
  EXPECT_EQ(DoubleFromChars(text.data(), text.data() + text.size(), value).ptr - text.data(), 3);
  EXPECT_EQ(value, 2.5);
}

}  // namespace
}  // namespace gelvar::testing
