// Numbers read back as C writes them, whatever the user's locale: a point before the decimals.
#pragma once

#include <charconv>

namespace gelvar {

// std::from_chars for a double in its general format, for standard libraries that lack it: no leading
// blanks, no plus sign, "inf", "infinity" and "nan" in any case. The value is left alone when the text
// does not start with a number (ptr at first, invalid_argument) or when the number is beyond a double's
// range (ptr past it, result_out_of_range).
std::from_chars_result DoubleFromChars(const char* first, const char* last, double& value);

}  // namespace gelvar
