#include "support/monitor_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <fstream>
#include <iterator>
#include <regex>

namespace gelvar::testing {
namespace {

struct Column {
  std::size_t width;
  int decimals;
};
// Administration and heating, then sensor 1 and sensor 2 alike.
// clang-format off
constexpr Column kColumns[] = {
    {3, 0}, {3, 0}, {3, 0}, {3, 0}, {3, 0}, {3, 0}, {7, 1}, {7, 1}, {4, 0}, {2, 0}, {5, 0}, {5, 0},
    {3, 0}, {3, 0}, {3, 0}, {7, 1}, {7, 1}, {3, 0}, {3, 0}, {3, 0}, {6, 2}, {4, 0},
    {3, 0}, {3, 0}, {3, 0}, {7, 1}, {7, 1}, {3, 0}, {3, 0}, {3, 0}, {6, 2}, {4, 0}};
// clang-format on

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;) {
    parts.push_back(text.substr(start, end - start));
    start = end + separator.size();
  }
  parts.push_back(text.substr(start));
  return parts;
}

bool IsWellFormedValue(const Column& column, const std::string& field) {
  // By the column's number of decimals.
  static const std::regex numbers[] = {std::regex(R"(-?\d+)"), std::regex(R"(-?\d+,\d)"), std::regex(R"(-?\d+,\d\d)")};
  const std::string number = field.substr(std::min(field.find_first_not_of(' '), field.size()));
  // Right-aligned: padded up to the width exactly, or no padding for a number as wide or wider.
  return std::regex_match(number, numbers[column.decimals]) && field.size() == std::max(column.width, number.size());
}

}  // namespace

std::string ReadFile(const std::string& path) {
  return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

bool UseGermanLocale() {
  for (const char* name : {"de_DE.UTF-8", "German_Germany.1252"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) return true;
  }
  return false;
}

std::vector<std::string> FileLines(const std::string& text) {
  std::vector<std::string> lines = Split(text, "\r\n");
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

std::vector<std::string> RecordLines(const std::string& text) {
  static const std::regex start(R"(^\d{5};)");
  std::vector<std::string> records;
  std::ranges::copy_if(FileLines(text), std::back_inserter(records),
                       [](const std::string& line) { return std::regex_search(line, start); });
  return records;
}

bool IsWellFormedRecord(const std::string& line) {
  static const std::regex head(R"(^\d{5}; \d\d/\d\d/\d\d; \d\d:\d\d:\d\d;)");
  const std::vector<std::string> fields = Split(line, ";");
  if (!std::regex_search(line, head) || fields.size() != 3 + std::size(kColumns)) return false;
  return std::equal(std::begin(kColumns), std::end(kColumns), fields.begin() + 3, IsWellFormedValue);
}

bool HoldsUnreadValues(const std::string& line) {
  static const std::regex unread("; *-1(,0+)?(;|$)");
  return std::regex_search(line, unread);
}

}  // namespace gelvar::testing
