#include "core/trend/log_reader.h"

#include <charconv>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/common/c_format.h"
#include "core/common/c_number.h"
#include "core/monitor/variable_log.h"

namespace gelvar {
namespace {

constexpr int kFirstValueColumn = 3;  // Set#, Date and Time come first
constexpr float kNotReadTemp = -1.0f;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = line.find(separator, start);
    parts.push_back(line.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// A number as the log writes it, with a decimal comma (a point is taken too).
bool ParseNumber(std::string_view text, double& value) {
  std::string number(Trim(text));
  for (char& c : number) {
    if (c == ',') c = '.';
  }
  const char* end = number.data() + number.size();
  return !number.empty() && DoubleFromChars(number.data(), end, value).ptr == end;
}

bool ParseInt(std::string_view text, int& value) {
  const char* end = text.data() + text.size();
  return !text.empty() && std::from_chars(text.data(), end, value).ptr == end;
}

// "MM/DD/YY" and "HH:MM:SS" in local time; two-digit years from 69 on are 19xx.
bool ParseTime(std::string_view date, std::string_view time, double& seconds) {
  const std::vector<std::string_view> d = Split(Trim(date), '/');
  const std::vector<std::string_view> t = Split(Trim(time), ':');
  int f[6] = {};
  if (d.size() != 3 || t.size() != 3) return false;
  for (int i = 0; i < 3; ++i) {
    if (!ParseInt(d[static_cast<std::size_t>(i)], f[i]) || !ParseInt(t[static_cast<std::size_t>(i)], f[3 + i])) {
      return false;
    }
  }
  std::tm local{};
  local.tm_mon = f[0] - 1;
  local.tm_mday = f[1];
  local.tm_year = f[2] < 69 ? f[2] + 100 : f[2];
  local.tm_hour = f[3];
  local.tm_min = f[4];
  local.tm_sec = f[5];
  local.tm_isdst = -1;
  if (f[0] < 1 || f[0] > 12 || f[1] < 1 || f[1] > 31 || f[3] > 23 || f[4] > 59 || f[5] > 60) return false;
  seconds = static_cast<double>(std::mktime(&local));
  return true;
}

std::string ColumnName(int column) { return std::string(Split(kLogColumns, ';')[static_cast<std::size_t>(column)]); }

class LogParser {
 public:
  explicit LogParser(TrendData& data) : data_(data) {}

  // False with result_ telling why.
  bool Line(int number, std::string_view line) {
    number_ = number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (expectColumns_) return Columns(line);
    if (line.starts_with(kLogHeaderStart)) return Header(line);
    if (Trim(line).empty()) return true;
    if (result_.runs == 0) {
      return Fail(CFormat("Line %d should start a logging run with \"%s...\".", number, kLogHeaderStart));
    }
    return Record(line);
  }

  LogReadResult Finish() {
    if (result_.ok && expectColumns_) Fail(CFormat("The column names should follow line %d.", number_));
    if (result_.ok && result_.runs == 0) Fail("The file holds no logging run.");
    return result_;
  }

 private:
  bool Fail(std::string message) {
    result_ = {false, number_, std::move(message), result_.runs, result_.records};
    return false;
  }

  bool Header(std::string_view line) {
    const std::size_t lead = line.find(kLogUnitLead);
    const std::string_view unit = lead == std::string_view::npos ? "" : line.substr(lead + std::strlen(kLogUnitLead));
    // The unit text is "unknown" for unit codes above 1, which the unit treats as Fahrenheit.
    // \260 is the degree sign: Windows-1252 (the program's logs) or the second byte of UTF-8.
    const bool celsius = unit == "\260C" || unit == "\302\260C";
    if (!celsius && unit != "\260F" && unit != "\302\260F" && unit != "unknown") {
      return Fail(CFormat("Line %d names no temperature unit.", number_));
    }
    data_.SetFahrenheit(!celsius);
    data_.BreakLine();
    ++result_.runs;
    expectColumns_ = true;
    return true;
  }

  bool Columns(std::string_view line) {
    expectColumns_ = false;
    if (line == kLogColumns) return true;
    return Fail(CFormat("Line %d should hold the column names \"Set#;Date;Time;...\".", number_));
  }

  bool Record(std::string_view line) {
    const std::vector<std::string_view> fields = Split(line, ';');
    if (static_cast<int>(fields.size()) != kLogColumnCount) {
      return Fail(CFormat("Line %d has %d columns; a record has %d.", number_, static_cast<int>(fields.size()),
                          kLogColumnCount));
    }
    int setNumber = 0;
    double time = 0;
    if (!ParseInt(Trim(fields[0]), setNumber)) return BadColumn(0, fields[0]);
    if (!ParseTime(fields[1], fields[2], time)) {
      return Fail(CFormat("Line %d: \"%s;%s\" is no date and time.", number_, std::string(fields[1]).c_str(),
                          std::string(fields[2]).c_str()));
    }
    double values[kLogColumnCount - kFirstValueColumn];
    for (int column = kFirstValueColumn; column < kLogColumnCount; ++column) {
      const std::string_view field = fields[static_cast<std::size_t>(column)];
      if (!ParseNumber(field, values[column - kFirstValueColumn])) return BadColumn(column, field);
    }
    const VariableSnapshot snapshot = SnapshotOf(values);
    data_.Append(time, TrendValuesOf(snapshot, PairsRead(snapshot)));
    ++result_.records;
    return true;
  }

  bool BadColumn(int column, std::string_view field) {
    return Fail(CFormat("Line %d, column %d (%s): \"%s\" is no number.", number_, column + 1,
                        ColumnName(column).c_str(), std::string(field).c_str()));
  }

  // The record's values in the order of the columns, which is the snapshot's order.
  static VariableSnapshot SnapshotOf(const double* values) {
    std::size_t next = 0;
    auto i = [&] { return static_cast<std::int32_t>(values[next++]); };
    auto f = [&] { return static_cast<float>(values[next++]); };
    auto sensor = [&] { return SensorLogValues{i(), i(), i(), f(), f(), i(), i(), i(), f(), i()}; };
    return VariableSnapshot{i(), i(), i(), i(), i(), i(), f(), f(), i(), i(), i(), i(), {sensor(), sensor()}};
  }

  // A real -1.0 degree cannot be told from a temperature not read, but both temperatures of one
  // reading at exactly -1.0 can only be a reading that failed.
  static TemperaturePairsRead PairsRead(const VariableSnapshot& v) {
    auto read = [](float a, float b) { return a != kNotReadTemp || b != kNotReadTemp; };
    return {read(v.HtgSlGuTemp, v.HtgOutTemp), read(v.sensor[0].SenTemp, v.sensor[0].AmbTemp),
            read(v.sensor[1].SenTemp, v.sensor[1].AmbTemp)};
  }

  TrendData& data_;
  LogReadResult result_;
  int number_ = 0;
  bool expectColumns_ = false;
};

}  // namespace

LogReadResult ReadLog(std::string_view text, TrendData& data) {
  LogParser parser(data);
  int number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (!parser.Line(++number, text.substr(start, end - start))) break;
    start = end + 1;
  }
  return parser.Finish();
}

LogReadResult ReadLogFile(const std::string& path, TrendData& data) {
  LogReadResult failed;
  failed.ok = false;
  std::error_code error;
  // A device or a pipe could block or never end.
  if (!std::filesystem::is_regular_file(path, error)) {
    failed.message = "It is not a file that can be read.";
    return failed;
  }
  std::ifstream file(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.is_open() || file.bad()) {
    failed.message = "The file could not be read.";
    return failed;
  }
  return ReadLog(text, data);
}

}  // namespace gelvar
