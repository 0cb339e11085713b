#include "core/common/c_number.h"

#include <cmath>
#include <limits>
#include <locale>
#include <sstream>
#include <string>
#include <string_view>

namespace gelvar {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char* SkipDigits(const char* at, const char* last) {
  while (at != last && IsDigit(*at)) ++at;
  return at;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithWord(const char* first, const char* last, std::string_view word) {
  if (static_cast<std::size_t>(last - first) < word.size()) return false;
  for (const char c : word) {
    if (Lower(*first++) != c) return false;
  }
  return true;
}

// The end of "digits[.digits][e[sign]digits]" at first, with a digit before or after the point, or
// first when there is none. An exponent without digits is not part of the number.
const char* DecimalEnd(const char* first, const char* last) {
  const char* at = SkipDigits(first, last);
  bool hasDigits = at != first;
  if (at != last && *at == '.') {
    const char* fractionEnd = SkipDigits(at + 1, last);
    hasDigits = hasDigits || fractionEnd != at + 1;
    at = fractionEnd;
  }
  if (!hasDigits) return first;
  if (at != last && (*at == 'e' || *at == 'E')) {
    const char* exponent = at + 1;
    if (exponent != last && (*exponent == '+' || *exponent == '-')) ++exponent;
    const char* exponentEnd = SkipDigits(exponent, last);
    if (exponentEnd != exponent) at = exponentEnd;
  }
  return at;
}

bool IsNanChar(char c) { return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'z') || c == '_'; }

// "inf", "infinity", "nan" or "nan(chars)" at first: its end, or first when there is none.
const char* SpecialEnd(const char* first, const char* last, double& special) {
  if (StartsWithWord(first, last, "inf")) {
    special = std::numeric_limits<double>::infinity();
    return first + (StartsWithWord(first, last, "infinity") ? 8 : 3);
  }
  if (!StartsWithWord(first, last, "nan")) return first;
  special = std::numeric_limits<double>::quiet_NaN();
  const char* at = first + 3;
  if (at == last || *at != '(') return at;
  const char* close = at + 1;
  while (close != last && IsNanChar(*close)) ++close;
  return close != last && *close == ')' ? close + 1 : at;
}

bool HasNonZeroDigit(std::string_view mantissa) {
  return mantissa.find_first_of("123456789") != std::string_view::npos;
}

// The nearest double to a decimal number of DecimalEnd's form; false beyond a double's range. The
// classic locale's stream rounds as the C library does, and both standard libraries tell overflow by
// the failure flag, libstdc++ with the largest double, libc++ with infinity.
bool DecimalValue(std::string_view text, double& value) {
  std::istringstream stream{std::string(text)};
  stream.imbue(std::locale::classic());
  double parsed = 0.0;
  stream >> parsed;
  const bool overflow =
      std::isinf(parsed) || (stream.fail() && std::fabs(parsed) == std::numeric_limits<double>::max());
  const std::string_view mantissa = text.substr(0, text.find_first_of("eE"));
  const bool underflow = parsed == 0.0 && HasNonZeroDigit(mantissa);
  if (overflow || underflow) return false;
  value = parsed;
  return true;
}

}  // namespace

std::from_chars_result DoubleFromChars(const char* first, const char* last, double& value) {
  const bool negative = first != last && *first == '-';
  const char* start = negative ? first + 1 : first;
  double special = 0.0;
  if (const char* end = SpecialEnd(start, last, special); end != start) {
    value = negative ? -special : special;
    return {end, std::errc{}};
  }
  const char* end = DecimalEnd(start, last);
  if (end == start) return {first, std::errc::invalid_argument};
  if (!DecimalValue({first, static_cast<std::size_t>(end - first)}, value)) {
    return {end, std::errc::result_out_of_range};
  }
  return {end, std::errc{}};
}

}  // namespace gelvar
