#include "core/trend/log_reader.h"

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <memory>
#include <vector>

#include "core/common/c_format.h"
#include "core/common/c_number.h"
#include "core/monitor/variable_log.h"

namespace gelvar {
namespace {

constexpr int kFirstValueColumn = 3;  // Set#, Date and Time come first
constexpr float kNotReadTemp = -1.0f;
// The longest line the log writer writes, its CR counted: the reader never holds more of a line.
constexpr std::size_t kLongestLine = kLogRecordLimit;
// Echoed input: a damaged field can be megabytes of anything, escape sequences included.
constexpr std::size_t kExcerptLimit = 24;

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

// One or two digits, no sign: each part of the log's date and time.
bool ParseTwoDigits(std::string_view text, int& value) {
  return text.size() <= 2 && text.find_first_not_of("0123456789") == std::string_view::npos && ParseInt(text, value);
}

// "MM/DD/YY" and "HH:MM:SS" in local time; two-digit years from 69 on are 19xx.
bool ParseTime(std::string_view date, std::string_view time, double& seconds) {
  const std::vector<std::string_view> d = Split(Trim(date), '/');
  const std::vector<std::string_view> t = Split(Trim(time), ':');
  int f[6] = {};
  if (d.size() != 3 || t.size() != 3) return false;
  for (int i = 0; i < 3; ++i) {
    if (!ParseTwoDigits(d[static_cast<std::size_t>(i)], f[i]) ||
        !ParseTwoDigits(t[static_cast<std::size_t>(i)], f[3 + i])) {
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
  return local.tm_mday == f[1];  // mktime moves February 30 into March
}

// A field as a message may show it: the first characters, anything but printable ASCII escaped.
std::string Excerpt(std::string_view field) {
  std::string shown;
  for (const char c : field.substr(0, kExcerptLimit)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      shown += "\\\\";
    } else if (byte < 0x20 || byte > 0x7e) {
      shown += CFormat("\\x%02x", byte);
    } else {
      shown += c;
    }
  }
  return field.size() > kExcerptLimit ? shown + "..." : shown;
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

  bool TooLong(int number) {
    number_ = number;
    return Fail(CFormat("Line %d is longer than a record can be.", number));
  }

  LogReadResult Finish() {
    if (result_.ok && expectColumns_) Fail(CFormat("The column names should follow line %d.", number_));
    if (result_.ok && result_.runs == 0) Fail("The file holds no logging run.");
    if (result_.ok && result_.records == 0) Fail("The file holds no records.");
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
    if (!ParseInt(Trim(fields[0]), setNumber)) return BadColumn(0, fields[0], "is no number");
    if (!ParseTime(fields[1], fields[2], time)) {
      return Fail(CFormat("Line %d: \"%s;%s\" is no date and time.", number_, Excerpt(fields[1]).c_str(),
                          Excerpt(fields[2]).c_str()));
    }
    double values[kLogColumnCount - kFirstValueColumn];
    for (int column = kFirstValueColumn; column < kLogColumnCount; ++column) {
      const std::string_view field = fields[static_cast<std::size_t>(column)];
      double& value = values[column - kFirstValueColumn];
      if (!ParseNumber(field, value) || !std::isfinite(value)) return BadColumn(column, field, "is no number");
    }
    int unfit = -1;
    const VariableSnapshot snapshot = SnapshotOf(values, unfit);
    if (unfit >= 0) {
      const int column = kFirstValueColumn + unfit;
      return BadColumn(column, fields[static_cast<std::size_t>(column)], "is out of range");
    }
    data_.Append(time, TrendValuesOf(snapshot, PairsRead(snapshot)));
    ++result_.records;
    return true;
  }

  bool BadColumn(int column, std::string_view field, const char* why) {
    return Fail(CFormat("Line %d, column %d (%s): \"%s\" %s.", number_, column + 1, ColumnName(column).c_str(),
                        Excerpt(field).c_str(), why));
  }

  // The record's values in the order of the columns, which is the snapshot's order. unfit is the
  // first value its field cannot hold (counted from the first value column); it is taken as 0.
  static VariableSnapshot SnapshotOf(const double* values, int& unfit) {
    int next = 0;
    auto take = [&](double low, double high) {
      const double value = values[next];
      const bool fits = value >= low && value <= high;
      if (!fits && unfit < 0) unfit = next;
      ++next;
      return fits ? value : 0.0;
    };
    auto i = [&] {
      using Limits = std::numeric_limits<std::int32_t>;
      return static_cast<std::int32_t>(take(Limits::min(), Limits::max()));
    };
    auto f = [&] { return static_cast<float>(take(-FLT_MAX, FLT_MAX)); };
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

// Hands the parser whole lines from text that comes in pieces, holding at most one line.
class LineFeed {
 public:
  explicit LineFeed(LogParser& parser) : parser_(parser) {}

  // False once the parser has refused a line.
  bool Take(std::string_view text) {
    while (ok_ && !text.empty()) {
      const std::size_t end = text.find('\n');
      const std::string_view part = text.substr(0, end);
      if (pending_.size() + part.size() > kLongestLine) return ok_ = parser_.TooLong(number_ + 1);
      pending_ += part;
      if (end == std::string_view::npos) break;
      ok_ = parser_.Line(++number_, pending_);
      pending_.clear();
      text.remove_prefix(end + 1);
    }
    return ok_;
  }

  // The last line needs no line end.
  LogReadResult Finish() {
    if (ok_ && !pending_.empty()) parser_.Line(++number_, pending_);
    return parser_.Finish();
  }

 private:
  LogParser& parser_;
  std::string pending_;
  int number_ = 0;
  bool ok_ = true;
};

}  // namespace

LogReadResult ReadLog(std::string_view text, TrendData& data) {
  LogParser parser(data);
  LineFeed feed(parser);
  feed.Take(text);
  return feed.Finish();
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
  // Read in pieces: files in /proc look regular and can be endless or fail half-way.
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  LogParser parser(data);
  LineFeed feed(parser);
  std::vector<char> piece(64 * 1024);
  std::size_t got = 0;
  errno = 0;
  while (file != nullptr && (got = std::fread(piece.data(), 1, piece.size(), file.get())) > 0) {
    if (!feed.Take({piece.data(), got})) return feed.Finish();
  }
  if (file == nullptr || std::ferror(file.get()) != 0) {
    failed.message = std::string("The file could not be read: ") + std::strerror(errno) + ".";
    return failed;
  }
  return feed.Finish();
}

}  // namespace gelvar
