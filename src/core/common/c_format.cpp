#include "core/common/c_format.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

namespace gelvar {
namespace {

bool IsFloatConversion(char c) { return std::strchr("fFeEgGaA", c) != nullptr; }

// The locale may have been set by the toolkit; a float's decimal separator is put back to ".".
void UseCDecimalPoint(std::string& text) {
  const char* point = std::localeconv()->decimal_point;
  if (point == nullptr || std::strcmp(point, ".") == 0 || point[0] == '\0') return;
  const std::string separator(point);
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    if (text.compare(pos, separator.size(), separator) == 0) {
      out.push_back('.');
      pos += separator.size();
    } else {
      out.push_back(text[pos++]);
    }
  }
  text = std::move(out);
}

template <typename T>
std::string FormatOne(const std::string& directive, T value) {
  char buffer[512];
  const int n = std::snprintf(buffer, sizeof buffer, directive.c_str(), value);
  if (n < 0) return {};
  if (static_cast<std::size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(n));
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), directive.c_str(), value);
  big.resize(static_cast<std::size_t>(n));
  return big;
}

}  // namespace

std::string CFormat(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string out;
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      out.push_back(*p++);
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      out.push_back('%');
      ++p;
      continue;
    }
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '.') {
      ++p;
      while (*p >= '0' && *p <= '9') ++p;
    }
    int longs = 0;
    while (*p == 'l' || *p == 'h') longs += (*p++ == 'l') ? 1 : 0;
    const char conversion = *p;
    if (conversion == '\0') break;
    ++p;
    const std::string directive(start, static_cast<std::size_t>(p - start));
    if (IsFloatConversion(conversion)) {
      std::string text = FormatOne(directive, va_arg(args, double));
      UseCDecimalPoint(text);
      out += text;
    } else if (conversion == 's') {
      out += FormatOne(directive, va_arg(args, const char*));
    } else if (conversion == 'c') {
      out += FormatOne(directive, va_arg(args, int));
    } else if (longs >= 2) {
      out += FormatOne(directive, va_arg(args, long long));
    } else if (longs == 1) {
      out += FormatOne(directive, va_arg(args, long));
    } else {
      out += FormatOne(directive, va_arg(args, int));
    }
  }
  va_end(args);
  return out;
}

}  // namespace gelvar
