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

namespace gelvar::testing {
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

// The file as this program or the Windows program writes it.
const std::string kWindowsLog =
    std::string("Logfile Gelvar started 12/07/26 at 10:00:00, Temperature Unit: \260C\r\n") + kLogColumns +
    "\r\n00001; 12/07/26; 10:00:00;  0;  0;  7;  0;  0;  0;   12,5;   -3,0;   0; 1;  123;  456;  5;  0;  0;"
    "    2,5;    1,0; 45;  0;  0; 12,34; 1500;  5;  0;  0;    3,0;    1,5; 50;  0;  0; 12,30; 1490\r\n"
    "00002; 12/07/26; 10:05:00;  0;  0;  7;  0;  0;  0;   13,0;   -3,0;   0; 1;  123;  456;  5;  0;  0;"
    "    2,5;    1,0; 45;  0;  0; 12,34; 1500;  5;  0;  0;    3,0;    1,5; 50;  0;  0; 12,30; 1490\r\n";

struct LogRow {
  const char* name;
  std::string text;
  int errorLine;         // 0: the file is read
  int series;            // shown when it is read
  const char* expected;  // the series' values, or the message
};

class LogFile : public ::testing::TestWithParam<LogRow> {};

TEST_P(LogFile, ReadsAsExpected) {
  TrendData data;
  const LogReadResult result = ReadLog(GetParam().text, data);
  EXPECT_EQ(std::tuple(result.line, result.ok ? Values(data, GetParam().series) : result.message),
            std::tuple(GetParam().errorLine, std::string(GetParam().expected)));
}

// clang-format off
const LogRow kLogs[] = {
    {"WindowsProgramsFile", kWindowsLog, 0, kTrendSlabTemp, "12.5 13"},
    {"RunsAboveSet1AndSkippedSets", Header(0) + Record(3, 0, 1, 2) + Record(5, 2, 2, 2) + Header(0) + Record(1, 10, 3, 2),
     0, kTrendSlabTemp, "1 2 - 3"},
    {"Minus999IsAGap", Header(0) + Record(1, 0, -999, 4) + Record(2, 1, 5, 4), 0, kTrendSlabTemp, "- 5"},
    {"MinusOneWithItsPairIsAGap", Header(0) + Record(1, 0, -1, -1) + Record(2, 1, -1, 4), 0, kTrendSlabTemp, "- -1"},
    {"RelayMinusOneIsAGap", Header(0) + Record(1, 0, 1, 1, -1) + Record(2, 1, 1, 1, 0), 0, kTrendHeatingRelay, "- 0"},
    {"AnOlderRunTakesTheLastRunsUnit", Header(0) + Record(1, 0, 0, 0) + Header(1) + Record(1, 5, 50, 50), 0,
     kTrendSlabTemp, "32 - 50"},
    {"BlankLinesAndALastLineWithoutEnd", Header(0) + "\r\n  \r\n" + Record(1, 0, 7, 1).substr(0, Record(1, 0, 7, 1).size() - 2), 0,
     kTrendSlabTemp, "7"},
    {"Empty", "", 0, 0, "The file holds no logging run."},
    {"HeaderAlone", Header(0), 2, 0, "The file holds no records."},
    {"HeaderWithoutColumns", Header(0).substr(0, Header(0).find('\n') + 1), 1, 0,
     "The column names should follow line 1."},
    {"WrongColumnNames", Header(0).substr(0, Header(0).find('\n') + 1) + "Set#;Date\r\n", 2, 0,
     "Line 2 should hold the column names \"Set#;Date;Time;...\"."},
    {"HeaderWithoutUnit", "Logfile Gelvar started 12/07/26 at 10:00:00\r\n", 1, 0, "Line 1 names no temperature unit."},
    {"ShortRecord", Header(0) + Record(1, 0, 1, 1) + "00002; 12/07/26; 10:01:00;  0\r\n" + Record(3, 2, 1, 1), 4, 0,
     "Line 4 has 4 columns; a record has 35."},
    {"LetterInANumber", Header(0) + WithField(Record(1, 0, 1, 1), 9, "x   1,0"), 3, 0,
     "Line 3, column 10 (HtgSlGuTemp): \"x   1,0\" is no number."},
    {"NoHeader", "Name;Value\r\n1;2\r\n", 1, 0, "Line 1 should start a logging run with \"Logfile Gelvar started ...\"."},
    {"Infinity", Header(0) + Record(1, 0, 1, 1) + WithField(Record(2, 1, 1, 1), 9, "    inf") + Record(3, 2, 1, 1), 4, 0,
     "Line 4, column 10 (HtgSlGuTemp): \"    inf\" is no number."},
    {"NaN", Header(0) + Record(1, 0, 1, 1) + WithField(Record(2, 1, 1, 1), 12, "nan"), 4, 0,
     "Line 4, column 13 (HtgOffOn): \"nan\" is no number."},
    {"BeyondAFloat", Header(0) + Record(1, 0, 1, 1) + WithField(Record(2, 1, 1, 1), 9, "1e39"), 4, 0,
     "Line 4, column 10 (HtgSlGuTemp): \"1e39\" is out of range."},
    {"BeyondAnInt", Header(0) + Record(1, 0, 1, 1) + WithField(Record(2, 1, 1, 1), 13, "3000000000"), 4, 0,
     "Line 4, column 14 (HtgOpHours): \"3000000000\" is out of range."},
    {"OfTwoValuesOutOfRangeTheFirstIsNamed",
     Header(0) + WithField(WithField(Record(1, 0, 1, 1), 3, "3000000000"), 13, "3000000000"), 3, 0,
     "Line 3, column 4 (AdmErrFlg): \"3000000000\" is out of range."},
    // What is echoed is short and shows control characters escaped.
    {"LongFieldEchoedShort", Header(0) + WithField(Record(1, 0, 1, 1), 13, "\x1b[31m" + std::string(300, 'A')), 3, 0,
     "Line 3, column 14 (HtgOpHours): \"\\x1b[31mAAAAAAAAAAAAAAAAAAA...\" is no number."},
    {"ControlCharactersEscaped", Header(0) + WithField(Record(1, 0, 1, 1), 13, "\\\t\xb0"), 3, 0,
     "Line 3, column 14 (HtgOpHours): \"\\\\\\x09\\xb0\" is no number."},
    {"LongerThanAnyRecord", Header(0) + Record(1, 0, 1, 1) + WithField(Record(2, 1, 1, 1), 13, std::string(2000, '9')),
     4, 0, "Line 4 is longer than a record can be."},
    {"AsLongAsTheLongestRecord",
     Header(0) + WithField(Record(1, 0, 7, 1), 13, std::string(1024 - Record(1, 0, 7, 1).size(), ' ') + "    0"), 0,
     kTrendSlabTemp, "7"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(LogReader, LogFile, ::testing::ValuesIn(kLogs), kByName);

struct DateRow {
  const char* name;
  const char* date;
  const char* time;
};

class RecordDate : public ::testing::TestWithParam<DateRow> {};

TEST_P(RecordDate, OutsideTheCalendarIsRefused) {
  TrendData data;
  const LogReadResult result = ReadLog(Header(0) + DatedRecord(GetParam().date, GetParam().time), data);
  EXPECT_EQ(result.message, CFormat("Line 3: \"%s;%s\" is no date and time.", GetParam().date, GetParam().time));
}

// clang-format off
const DateRow kBadDates[] = {
    {"NegativeTime", " 12/07/26", " -5:-9:-1"}, {"LongYear", " 12/07/99999999", " 10:01:00"},
    {"February30", " 02/30/26", " 10:01:00"}, {"Month13", " 13/01/26", " 10:01:00"},
    {"Day0", " 12/00/26", " 10:01:00"}, {"Hour24", " 12/07/26", " 24:00:00"},
    {"Minute60", " 12/07/26", " 10:60:00"}, {"Second61", " 12/07/26", " 10:00:61"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(LogReader, RecordDate, ::testing::ValuesIn(kBadDates), kByName);

TEST(LogReader, NewYearsDayAndALeapSecondAreRead) {
  TrendData data;
  ReadLog(Header(0) + DatedRecord(" 01/01/27", " 00:00:00") + DatedRecord(" 12/07/26", " 10:00:60"), data);
  EXPECT_EQ(Values(data, kTrendSlabTemp), "1 1");
}

TEST(LogReader, TakesARecordsTimeFromItsDateAndTime) {
  TrendData data;
  ReadLog(Header(0) + Record(1, 5, 1, 1), data);
  EXPECT_EQ(data.Time(0), kStart + 300);
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
  if (WhyNotLinux() != nullptr) GTEST_SKIP() << WhyNotLinux();
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

std::string PointsText(const std::vector<TrendPoint>& points) {
  std::string text;
  for (const TrendPoint& p : points) text += (text.empty() ? "" : " ") + CFormat("%g:", p.time) + Text(p.value);
  return text;
}

// Ten passes, one a second, every series alike; the one at 3 s was not read.
TrendData TenPasses() {
  const float values[] = {0, 5, 1, NAN, 2, 8, 3, 3, 3, 3};
  TrendData data;
  for (int t = 0; t < 10; ++t) {
    TrendValues v;
    v.fill(values[t]);
    data.Append(t, v);
  }
  return data;
}

struct ThinRow {
  const char* name;
  double from, to;
  int columns;
  bool steps;
  const char* points;
};

class ThinTrendOf : public ::testing::TestWithParam<ThinRow> {};

TEST_P(ThinTrendOf, TenPassesGivesThesePoints) {
  const ThinRow& row = GetParam();
  std::vector<TrendPoint> points = ThinTrend(TenPasses(), kTrendOutdoorTemp, row.from, row.to, row.columns);
  EXPECT_EQ(PointsText(row.steps ? AsSteps(points) : points), row.points);
}

const ThinRow kThins[] = {
    {"TwoColumnsKeepLowestHighestAndGap", 0, 9, 2, false, "0:0 1:5 3:- 4:2 5:8 6:3"},
    {"AViewKeepsOnePointBeyondEachEdge", 4.5, 6.5, 10, false, "4:2 5:8 6:3 7:3"},
    {"StepsChangeAtEachPoint", 5.5, 9, 100, true, "5:8 6:8 6:3 7:3 8:3 9:3"},
    {"AViewAfterTheLastPassShowsIt", 20, 30, 10, false, "9:3"},
    {"AnEmptyViewHasNone", 3, 3, 10, false, ""},
};
INSTANTIATE_TEST_SUITE_P(, ThinTrendOf, ::testing::ValuesIn(kThins), kByName);

struct LoneRow {
  const char* name;
  std::vector<TrendPoint> points;
  const char* lone;
};

class LonePoints : public ::testing::TestWithParam<LoneRow> {};

TEST_P(LonePoints, AreThePointsNoLineReaches) {
  EXPECT_EQ(PointsText(gelvar::LonePoints(GetParam().points)), GetParam().lone);
}

const LoneRow kLones[] = {
    {"OnePoint", {{0, 1}}, "0:1"},
    {"ALine", {{0, 1}, {1, 2}}, ""},
    {"BetweenGaps", {{0, 1}, {1, NAN}, {2, 3}, {3, NAN}, {4, 5}, {5, 6}}, "0:1 2:3"},
    {"AGapAlone", {{0, NAN}}, ""},
};
INSTANTIATE_TEST_SUITE_P(, LonePoints, ::testing::ValuesIn(kLones), kByName);

struct NearestRow {
  const char* name;
  double time;
  std::size_t index;
};

class NearestIndexTo : public ::testing::TestWithParam<NearestRow> {};

// Passes at 10 and 20 s, a break (its gap at index 2), and one at 40 s (index 3).
TEST_P(NearestIndexTo, IsThePassClosestInTime) {
  TrendData data;
  TrendValues v;
  v.fill(1);
  data.Append(10, v);
  data.Append(20, v);
  data.BreakLine();
  data.Append(40, v);
  EXPECT_EQ(NearestIndex(data, GetParam().time), GetParam().index);
}

const NearestRow kNearest[] = {
    {"BeforeTheFirst", 0, 0},         {"HalfWayTakesTheEarlier", 15, 0}, {"CloserToTheSecond", 16, 1},
    {"AfterABreakTheOneRead", 31, 3}, {"AfterTheLast", 99, 3},
};
INSTANTIATE_TEST_SUITE_P(, NearestIndexTo, ::testing::ValuesIn(kNearest), kByName);

TEST(NearestIndex, OfNoPassesIs0) { EXPECT_EQ(NearestIndex(TrendData(), 5), 0u); }

}  // namespace
}  // namespace gelvar::testing
