// Reading log files back into a trend, and thinning a trend to the pixel columns that draw it.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <tuple>
#include <vector>

#include "core/common/c_format.h"
#include "core/common/temp_folder.h"
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

// A value as the tables below write it, "-" for none.
std::string Text(double value) { return std::isnan(value) ? "-" : CFormat("%g", value); }

std::string Values(const TrendData& data, int series) {
  std::string text;
  for (std::size_t i = 0; i < data.Size(); ++i) text += (i == 0 ? "" : " ") + Text(data.Value(series, i));
  return text;
}

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
  bool read = false;
};

class RecordDate : public ::testing::TestWithParam<DateRow> {};

TEST_P(RecordDate, IsReadOnlyWithinTheCalendar) {
  TrendData data;
  const std::string record = WithField(WithField(Record(2, 1, 1, 1), 1, GetParam().date), 2, GetParam().time);
  const LogReadResult result = ReadLog(Header(0) + record, data);
  EXPECT_EQ(result.message, GetParam().read
                                ? std::string()
                                : CFormat("Line 3: \"%s;%s\" is no date and time.", GetParam().date, GetParam().time));
}

// clang-format off
const DateRow kDates[] = {
    {"NewYearsDay", " 01/01/27", " 00:00:00", true}, {"LeapSecond", " 12/07/26", " 10:00:60", true},
    {"NegativeTime", " 12/07/26", " -5:-9:-1"}, {"LongYear", " 12/07/99999999", " 10:01:00"},
    {"February30", " 02/30/26", " 10:01:00"}, {"Month13", " 13/01/26", " 10:01:00"},
    {"Day0", " 12/00/26", " 10:01:00"}, {"Hour24", " 12/07/26", " 24:00:00"},
    {"Minute60", " 12/07/26", " 10:60:00"}, {"Second61", " 12/07/26", " 10:00:61"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(LogReader, RecordDate, ::testing::ValuesIn(kDates), kByName);

TEST(LogReader, TakesARecordsTimeFromItsDateAndTime) {
  TrendData data;
  ReadLog(Header(0) + Record(1, 5, 1, 1), data);
  EXPECT_EQ(data.Time(0), kStart + 300);
}

// Files are read in 64 KiB pieces: a record may begin in one piece and end in the next.
TEST(LogReader, ReadsARecordThatSpansTwoPiecesOfTheFile) {
  const TempFolder folder;
  std::string text = Header(0);
  for (int set = 1; set <= 400; ++set) text += Record(set, set, 1, 1);  // 85 kB
  std::ofstream(folder / "big.log", std::ios::binary) << text;
  TrendData data;
  const LogReadResult result = ReadLogFile((folder / "big.log").string(), data);
  EXPECT_EQ(result.ok ? std::to_string(result.records) : result.message, "400");
}

struct ProcRow {
  const char* name;
  const char* path;
  const char* message;
};

// Files in /proc look regular but can fail half-way or never end.
class ProcFile : public ::testing::TestWithParam<ProcRow> {};

TEST_P(ProcFile, IsRefusedWithTheReason) {
  if (WhyNotLinux() != nullptr) GTEST_SKIP() << WhyNotLinux();
  TrendData data;
  EXPECT_EQ(ReadLogFile(GetParam().path, data).message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(LogReader, ProcFile, ::testing::Values(
    ProcRow{"FailsHalfWay", "/proc/self/mem", "The file could not be read: Input/output error."},
    ProcRow{"NeverEnds", "/proc/self/pagemap", "Line 1 is longer than a record can be."},
    ProcRow{"Folder", "/proc/self", "It is not a file that can be read."}), kByName);

std::string PointsText(const std::vector<TrendPoint>& points) {
  std::string text;
  for (const TrendPoint& p : points) text += (text.empty() ? "" : " ") + CFormat("%g:", p.time) + Text(p.value);
  return text;
}

// Ten passes, one a second, every series alike; the one at 3 s was not read.
TrendData TenPasses() {
  TrendData data;
  for (const float value : {0.F, 5.F, 1.F, NAN, 2.F, 8.F, 3.F, 3.F, 3.F, 3.F}) {
    TrendValues v;
    v.fill(value);
    data.Append(static_cast<double>(data.Size()), v);
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
};
INSTANTIATE_TEST_SUITE_P(, LonePoints, ::testing::ValuesIn(kLones), kByName);

}  // namespace
}  // namespace gelvar::testing
