#include "support/log_records.h"

#include <cstdlib>
#include <regex>

namespace gelvar::testing {
namespace {

struct Column {
  int width;
  int decimals;  // 0 for whole numbers
};

// The 32 value columns: administration, heating, then sensor 1 and sensor 2 alike.
std::vector<Column> ValueColumns() {
  std::vector<Column> columns = {{3, 0}, {3, 0}, {3, 0}, {3, 0}, {3, 0}, {3, 0}, {7, 1},
                                 {7, 1}, {4, 0}, {2, 0}, {5, 0}, {5, 0}};
  const std::vector<Column> sensor = {{3, 0}, {3, 0}, {3, 0}, {7, 1}, {7, 1},
                                      {3, 0}, {3, 0}, {3, 0}, {6, 2}, {4, 0}};
  for (int s = 0; s < 2; ++s) columns.insert(columns.end(), sensor.begin(), sensor.end());
  return columns;
}

// Each value is captured twice: its padding, and the number.
const std::regex& RecordPattern() {
  static const std::regex pattern = [] {
    std::string text = R"(^(\d{5}); \d\d/\d\d/\d\d; \d\d:\d\d:\d\d)";
    for (const Column& c : ValueColumns()) {
      const std::string decimals = c.decimals > 0 ? ",\\d{" + std::to_string(c.decimals) + "}" : "";
      text += ";( *)(-?\\d+" + decimals + ")";
    }
    return std::regex(text + "$");
  }();
  return pattern;
}

}  // namespace

std::vector<std::string> FileLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> RecordLines(const std::string& text) {
  static const std::regex start(R"(^\d{5};)");
  std::vector<std::string> records;
  for (const std::string& line : FileLines(text)) {
    if (std::regex_search(line, start)) records.push_back(line);
  }
  return records;
}

bool IsWellFormedRecord(const std::string& line) {
  std::smatch match;
  if (!std::regex_match(line, match, RecordPattern())) return false;
  const std::vector<Column> columns = ValueColumns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::size_t padding = static_cast<std::size_t>(match.length(static_cast<int>(2 + 2 * i)));
    const std::size_t number = static_cast<std::size_t>(match.length(static_cast<int>(3 + 2 * i)));
    const auto width = static_cast<std::size_t>(columns[i].width);
    // Right-aligned: padded up to the width exactly, or no padding for a number as wide or wider.
    if (padding > 0 ? padding + number != width : number < width) return false;
  }
  return true;
}

int RecordSetNumber(const std::string& line) { return std::atoi(line.substr(0, 5).c_str()); }

bool HoldsUnreadValues(const std::string& line) {
  std::smatch match;
  if (!std::regex_match(line, match, RecordPattern())) return false;
  const std::vector<Column> columns = ValueColumns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string unread = "-1" + (columns[i].decimals > 0 ? "," + std::string(columns[i].decimals, '0') : "");
    if (match.str(static_cast<int>(3 + 2 * i)) == unread) return true;
  }
  return false;
}

}  // namespace gelvar::testing
