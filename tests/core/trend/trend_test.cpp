// Reading log files back into a trend, and thinning a trend to the pixel columns that draw it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

#include "core/common/c_format.h"
#include "core/monitor/variable_log.h"
#include "core/trend/log_reader.h"
#include "core/trend/trend_data.h"
#include "support/monitor_rig.h"

namespace gelvar {
namespace {

const std::time_t kStart = 1796630400;  // some day in December 2026

std::string Header(int unitCode) { return LogHeader(kStart, unitCode); }

std::string Record(int set, int minute, float slab, float outdoor, int relay = 1) {
  return LogRecord(set, kStart + minute * 60,
                   {.HtgSlGuTemp = slab, .HtgOutTemp = outdoor, .HtgOffOn = relay, .sensor = {}});
}

// The record with the text of one field (0 is Set#) replaced.
std::string WithField(std::string record, int column, const std::string& text) {
  std::size_t start = 0;
  for (int i = 0; i < column; ++i) start = record.find(';', start) + 1;
  return record.replace(start, record.find_first_of(";\r", start) - start, text);
}

// A record of the second minute with the date and time fields as given.
std::string DatedRecord(const std::string& date, const std::string& time) {
  return WithField(WithField(Record(2, 1, 1, 1), 1, date), 2, time);
}

std::string Overwritten(std::string line, std::size_t at, char c) {
  line.at(at) = c;
  return line;
}

// A value as the tables below write it, "-" for none.
std::string Text(double value) { return std::isnan(value) ? "-" : CFormat("%g", value); }

std::string Values(const TrendData& data, int series) {
  std::string text;
  for (std::size_t i = 0; i < data.Size(); ++i) {
    if (i != 0) text += ' ';
    text += Text(data.Value(series, i));
  }
  return text;
}

TEST(LogReader, ReadsRunsGapsAndUnitsAndNamesTheDamagedLine) {
  const std::string windows =
      std::string("Logfile Gelvar started 12/07/26 at 10:00:00, Temperature Unit: \260C\r\n") + kLogColumns +
      "\r\n00001; 12/07/26; 10:00:00;  0;  0;  7;  0;  0;  0;   12,5;   -3,0;   0; 1;  123;  456;  5;  0;  0;"
      "    2,5;    1,0; 45;  0;  0; 12,34; 1500;  5;  0;  0;    3,0;    1,5; 50;  0;  0; 12,30; 1490\r\n"
      "00002; 12/07/26; 10:05:00;  0;  0;  7;  0;  0;  0;   13,0;   -3,0;   0; 1;  123;  456;  5;  0;  0;"
      "    2,5;    1,0; 45;  0;  0; 12,34; 1500;  5;  0;  0;    3,0;    1,5; 50;  0;  0; 12,30; 1490\r\n";
  // The file, the line named in the message (0: the file is read), the series shown, and its values or the message.
  const std::tuple<std::string, int, int, const char*> cases[] = {
      {windows, 0, kTrendSlabTemp, "12.5 13"},
      // Runs starting above set 1 and skipping a set.
      {Header(0) + Record(3, 0, 1, 2) + Record(5, 2, 2, 2) + Header(0) + Record(1, 10, 3, 2), 0, kTrendSlabTemp,
       "1 2 - 3"},
      // -999,0: no plausible temperature.
      {Header(0) + Record(1, 0, -999, 4) + Record(2, 1, 5, 4), 0, kTrendSlabTemp, "- 5"},
      // -1,0 with its pair and alone, and in another column.
      {Header(0) + Record(1, 0, -1, -1) + Record(2, 1, -1, 4), 0, kTrendSlabTemp, "- -1"},
      {Header(0) + Record(1, 0, 1, 1, -1) + Record(2, 1, 1, 1, 0), 0, kTrendHeatingRelay, "- 0"},
      // An older run in another unit.
      {Header(0) + Record(1, 0, 0, 0) + Header(1) + Record(1, 5, 50, 50), 0, kTrendSlabTemp, "32 - 50"},
      {Header(0) + Record(1, 0, 1, 1) + "00002; 12/07/26; 10:01:00;  0\r\n" + Record(3, 2, 1, 1), 4, 0,
       "Line 4 has 4 columns; a record has 35."},
      {Header(0) + Overwritten(Record(1, 0, 1, 1), 50, 'x'), 3, 0,
       "Line 3, column 10 (HtgSlGuTemp): \"x   1,0\" is no number."},
      {"Name;Value\r\n1;2\r\n", 1, 0, "Line 1 should start a logging run with \"Logfile Gelvar started ...\"."},
      // Numbers that no column holds, between good records.
      {Header(0) + Record(1, 0, 1, 1) + WithField(Record(2, 1, 1, 1), 9, "    inf") + Record(3, 2, 1, 1), 4, 0,
       "Line 4, column 10 (HtgSlGuTemp): \"    inf\" is no number."},
      {Header(0) + Record(1, 0, 1, 1) + WithField(Record(2, 1, 1, 1), 12, "nan"), 4, 0,
       "Line 4, column 13 (HtgOffOn): \"nan\" is no number."},
      {Header(0) + Record(1, 0, 1, 1) + WithField(Record(2, 1, 1, 1), 9, "1e39"), 4, 0,
       "Line 4, column 10 (HtgSlGuTemp): \"1e39\" is out of range."},
      {Header(0) + Record(1, 0, 1, 1) + WithField(Record(2, 1, 1, 1), 13, "3000000000"), 4, 0,
       "Line 4, column 14 (HtgOpHours): \"3000000000\" is out of range."},
      // Dates and times that no clock shows.
      {Header(0) + Record(1, 0, 1, 1) + DatedRecord(" 12/07/26", " -5:-9:-1"), 4, 0,
       "Line 4: \" 12/07/26; -5:-9:-1\" is no date and time."},
      {Header(0) + Record(1, 0, 1, 1) + DatedRecord(" 12/07/99999999", " 10:01:00"), 4, 0,
       "Line 4: \" 12/07/99999999; 10:01:00\" is no date and time."},
      {Header(0) + Record(1, 0, 1, 1) + DatedRecord(" 02/30/26", " 10:01:00"), 4, 0,
       "Line 4: \" 02/30/26; 10:01:00\" is no date and time."},
      // What is echoed is short and shows control characters escaped; a line longer than any record
      // is refused whatever it holds, and one just as long as the longest is read.
      {Header(0) + WithField(Record(1, 0, 1, 1), 13, "\x1b[31m" + std::string(300, 'A')), 3, 0,
       "Line 3, column 14 (HtgOpHours): \"\\x1b[31mAAAAAAAAAAAAAAAAAAA...\" is no number."},
      {Header(0) + WithField(Record(1, 0, 1, 1), 13, "\\\t\xb0"), 3, 0,
       "Line 3, column 14 (HtgOpHours): \"\\\\\\x09\\xb0\" is no number."},
      {Header(0) + Record(1, 0, 1, 1) + WithField(Record(2, 1, 1, 1), 13, std::string(2000, '9')), 4, 0,
       "Line 4 is longer than a record can be."},
      {Header(0) + WithField(Record(1, 0, 7, 1), 13, std::string(1024 - Record(1, 0, 7, 1).size(), ' ') + "    0"), 0,
       kTrendSlabTemp, "7"},
  };
  for (const auto& [text, errorLine, series, expected] : cases) {
    TrendData data;
    const LogReadResult result = ReadLog(text, data);
    EXPECT_EQ(result.line, errorLine) << expected;
    EXPECT_EQ(result.ok ? Values(data, series) : result.message, expected);
  }
}

TEST(LogReader, ReadsATwoDigitYearFrom69OnAsNineteenHundreds) {
  std::tm newYear1969{};
  newYear1969.tm_year = 69;
  newYear1969.tm_mday = 1;
  newYear1969.tm_isdst = -1;
  if (std::mktime(&newYear1969) == -1) GTEST_SKIP() << "the C library has no local time before 1970 (Windows)";
  TrendData old;
  ASSERT_TRUE(ReadLog(Header(0) + LogRecord(1, -2073600, {}), old).ok && old.Size() == 1);
  EXPECT_LT(old.Time(0), 0);
}

// Files are read in pieces, so a line may begin in one and end in the next.
TEST(LogReader, ReadsAFileInPieces) {
  const std::string bigLog = (std::filesystem::temp_directory_path() / "gelvar-trend-test.log").string();
  std::string text = Header(0);
  for (int set = 1; set <= 400; ++set) text += Record(set, set, 1, 1);  // 85 kB
  std::ofstream(bigLog, std::ios::binary) << text;
  TrendData data;
  const LogReadResult result = ReadLogFile(bigLog, data);
  EXPECT_EQ(result.ok ? std::to_string(result.records) : result.message, "400");
  std::filesystem::remove(bigLog);
}

// A file that looks regular but cannot be read through (/proc) says why, and nothing is thrown.
TEST(LogReader, TellsWhyAFileCannotBeRead) {
  if (testing::WhyNotLinux() != nullptr) GTEST_SKIP() << testing::WhyNotLinux();
  // The file, and the message.
  const std::pair<std::string, std::string> cases[] = {
      {"/proc/self/mem", "The file could not be read: Input/output error."},
      {"/proc/self/pagemap", "Line 1 is longer than a record can be."},
      {"/proc/self", "It is not a file that can be read."},
  };
  for (const auto& [path, expected] : cases) {
    TrendData data;
    const LogReadResult result = ReadLogFile(path, data);
    EXPECT_EQ(result.ok ? std::to_string(result.records) : result.message, expected) << path;
  }
}

TEST(ThinTrend, KeepsLowestAndHighestPerColumnAndTheGaps) {
  const float values[] = {0, 5, 1, NAN, 2, 8, 3, 3, 3, 3};
  TrendData data;
  for (int t = 0; t < 10; ++t) {
    TrendValues v;
    v.fill(values[t]);
    data.Append(t, v);
  }
  // Time from, to, pixel columns, drawn as steps, and the points.
  const std::tuple<double, double, int, bool, const char*> cases[] = {
      {0, 9, 2, false, "0:0 1:5 3:- 4:2 5:8 6:3"},
      {4.5, 6.5, 10, false, "4:2 5:8 6:3 7:3"},
      {5.5, 9, 100, true, "5:8 6:8 6:3 7:3 8:3 9:3"},
      {20, 30, 10, false, "9:3"},
      {3, 3, 10, false, ""},
  };
  for (const auto& [from, to, columns, steps, expected] : cases) {
    std::vector<TrendPoint> points = ThinTrend(data, kTrendOutdoorTemp, from, to, columns);
    if (steps) points = AsSteps(points);
    std::string text;
    for (const TrendPoint& p : points) {
      if (!text.empty()) text += ' ';
      text.append(CFormat("%g:", p.time)).append(Text(p.value));
    }
    EXPECT_EQ(text, expected) << from << ".." << to;
  }
}

TEST(LonePoints, AreThePointsNoLineReaches) {
  const std::tuple<const char*, std::vector<TrendPoint>, const char*> cases[] = {
      {"one point", {{0, 1}}, "0:1"},
      {"a line", {{0, 1}, {1, 2}}, ""},
      {"between gaps", {{0, 1}, {1, NAN}, {2, 3}, {3, NAN}, {4, 5}, {5, 6}}, "0:1 2:3"},
      {"a gap alone", {{0, NAN}}, ""},
  };
  for (const auto& [name, points, expected] : cases) {
    std::string text;
    for (const TrendPoint& p : LonePoints(points)) {
      if (!text.empty()) text += ' ';
      text += CFormat("%g:", p.time);
      text += Text(p.value);
    }
    EXPECT_EQ(text, expected) << name;
  }
}

TEST(NearestIndex, IsThePassClosestInTimeAndAfterABreakTheOneRead) {
  TrendData data;
  TrendValues v;
  v.fill(1);
  data.Append(10, v);
  data.Append(20, v);
  data.BreakLine();
  data.Append(40, v);  // index 3, after the break's gap at index 2
  const std::tuple<double, std::size_t> cases[] = {{0, 0}, {14, 0}, {15, 0}, {16, 1}, {31, 3}, {40, 3}, {99, 3}};
  for (const auto& [time, expected] : cases) EXPECT_EQ(NearestIndex(data, time), expected) << time;
  EXPECT_EQ(NearestIndex(TrendData(), 5), 0u) << "none";
}

}  // namespace
}  // namespace gelvar
