// Numbers read and written as C writes them, whatever the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <system_error>

#include "core/common/c_format.h"
#include "core/common/c_number.h"
#include "support/link_fixture.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

constexpr double kUntouched = 12345.0;
constexpr std::errc kOk{}, kNoNumber = std::errc::invalid_argument, kOutOfRange = std::errc::result_out_of_range;

// clang-format off
// The text; the characters taken, the error and the value read (kUntouched: left alone).
struct NumberRow { const char* name; std::string text; int consumed; std::errc error; double value; };
const NumberRow kNumberRows[] = {
    {"Integer", "42", 2, kOk, 42.0},
    {"Negative", "-2.5", 4, kOk, -2.5},
    {"PointFirst", ".25", 3, kOk, 0.25},
    {"PointLast", "7.", 2, kOk, 7.0},
    {"Exponent", "1.5E+3", 6, kOk, 1500.0},
    {"NegativeExponent", "25e-2", 5, kOk, 0.25},
    {"ExponentWithoutDigits", "3e+", 1, kOk, 3.0},
    {"StopsAtComma", "12,5", 2, kOk, 12.0},
    {"StopsAtSecondPoint", "1.2.3", 3, kOk, 1.2},
    {"HexIsZeroOnly", "0x10", 1, kOk, 0.0},
    {"NearestDouble", "0.1", 3, kOk, 0.1},
    {"Subnormal", "4.9e-324", 8, kOk, 4.9e-324},
    {"ZeroWithHugeExponent", "0e99999", 7, kOk, 0.0},
    {"Infinity", "-Infinity", 9, kOk, -HUGE_VAL},
    {"InfShort", "infinit", 3, kOk, HUGE_VAL},
    {"NanWithItsCharactersInParentheses", "NaN(x_1)z", 8, kOk, NAN},
    {"Empty", "", 0, kNoNumber, kUntouched},
    {"SignOnly", "-", 0, kNoNumber, kUntouched},
    {"PlusSign", "+1", 0, kNoNumber, kUntouched},
    {"LeadingBlank", " 1", 0, kNoNumber, kUntouched},
    {"PointOnly", ".", 0, kNoNumber, kUntouched},
    {"Overflow", "1.7976931348623159e308", 22, kOutOfRange, kUntouched},
    {"Underflow", "2e-324", 6, kOutOfRange, kUntouched},
};
// clang-format on
class DoubleFromCharsRows : public ::testing::TestWithParam<NumberRow> {};

TEST_P(DoubleFromCharsRows, TakesWhatStdFromCharsTakes) {
  const NumberRow& row = GetParam();
  double value = kUntouched;
  const std::from_chars_result result = DoubleFromChars(row.text.data(), row.text.data() + row.text.size(), value);
  EXPECT_EQ(result.ptr - row.text.data(), row.consumed);
  EXPECT_EQ(result.ec, row.error);
  EXPECT_EQ(std::isnan(value), std::isnan(row.value));
  if (!std::isnan(row.value)) {
    EXPECT_EQ(value, row.value);
  }
}
INSTANTIATE_TEST_SUITE_P(Texts, DoubleFromCharsRows, ::testing::ValuesIn(kNumberRows), kByName);

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

// clang-format off
// Every length modifier, and a result longer than the first buffer.
struct FormatRow { const char* name; std::string formatted, expected; };
const FormatRow kFormatRows[] = {
    {"LengthModifiers", CFormat("%ld %lld %hd %c", 1L << 30, 1LL << 40, 70000, 'c'), "1073741824 1099511627776 4464 c"},
    {"ShortOfANegativeNumber", CFormat("%hd", -5), "-5"},
    {"LongerThanTheFirstBuffer", CFormat("%s.", std::string(600, 'x').c_str()), std::string(600, 'x') + "."},
    {"FlagsWidthsAndPrecision", CFormat("%04d%%%-3s|%.2f", 7, "ab", 2.5), "0007%ab |2.50"},
};
// clang-format on
class CFormatRows : public ::testing::TestWithParam<FormatRow> {};

TEST_P(CFormatRows, FormatsAsPrintfDoes) { EXPECT_EQ(GetParam().formatted, GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(CFormat, CFormatRows, ::testing::ValuesIn(kFormatRows), kByName);

}  // namespace
}  // namespace gelvar::testing
