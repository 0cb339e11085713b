// Reading log files back into a trend, and thinning a trend to the pixel columns that draw it.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "core/common/c_format.h"
#include "core/monitor/variable_log.h"
#include "core/trend/log_reader.h"
#include "core/trend/trend_data.h"

namespace gelvar {
namespace {

const std::time_t kStart = 1796630400;  // some day in December 2026

std::string Header(int unitCode) { return LogHeader(kStart, unitCode); }

std::string Record(int set, int minute, float slab, float outdoor, int relay = 1) {
  return LogRecord(set, kStart + minute * 60,
                   {.HtgSlGuTemp = slab, .HtgOutTemp = outdoor, .HtgOffOn = relay, .sensor = {}});
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
  };
  for (const auto& [text, errorLine, series, expected] : cases) {
    TrendData data;
    const LogReadResult result = ReadLog(text, data);
    EXPECT_EQ(result.line, errorLine) << expected;
    EXPECT_EQ(result.ok ? Values(data, series) : result.message, expected);
  }
  TrendData old;
  ASSERT_TRUE(ReadLog(Header(0) + LogRecord(1, -2073600, {}), old).ok && old.Size() == 1);
  EXPECT_LT(old.Time(0), 0) << "a two-digit year from 69 on is 19xx";
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

}  // namespace
}  // namespace gelvar
