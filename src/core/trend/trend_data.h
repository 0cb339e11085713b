// The trend of the variables: one point per variable pass (or per log record), kept compact enough
// for a week of passes, and thinned to the pixel columns of the view that draws it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/monitor/device_model.h"

namespace gelvar {

enum TrendSeries : int {
  kTrendSlabTemp,
  kTrendOutdoorTemp,
  kTrendS1SenTemp,
  kTrendS1AmbTemp,
  kTrendS2SenTemp,
  kTrendS2AmbTemp,
  kTrendS1Moisture,
  kTrendS2Moisture,
  kTrendS1Volt,
  kTrendS2Volt,
  kTrendHeatingRelay,
  kTrendSeriesCount,
};

enum class TrendKind { kTemperature, kMoisture, kVoltage, kRelay };

// Name as the main window labels the value, and its kind.
const char* TrendSeriesName(int series);
TrendKind TrendSeriesKind(int series);

// One pass; NaN where a value was not read.
using TrendValues = std::array<float, kTrendSeriesCount>;

// Which temperature pairs were read in a pass: slab/gutter with outdoor, each sensor's sensor with
// ambient. Unread temperatures hold -1.0, which is also a real reading, so only the one who read
// them knows.
using TemperaturePairsRead = std::array<bool, 3>;

// The values of one pass as the trend draws them: not-read values and -999.0 become gaps.
TrendValues TrendValuesOf(const VariableSnapshot& values, const TemperaturePairsRead& pairsRead);

class TrendData {
 public:
  // Times are seconds since the epoch, in the order the points came; a point earlier than the one
  // before it (a clock set back) is drawn at that one's time.
  void Append(double time, const TrendValues& values);
  // No line joins the next point to the one before (reading stopped, or a new run of a log file).
  void BreakLine();
  // Temperatures are kept in one unit; those already kept are converted to the new one.
  void SetFahrenheit(bool fahrenheit);
  bool Fahrenheit() const { return fahrenheit_; }

  std::size_t Size() const { return times_.size(); }
  double Time(std::size_t index) const { return times_[index]; }
  float Value(int series, std::size_t index) const { return values_[static_cast<std::size_t>(series)][index]; }
  // Bytes held, for the memory budget.
  std::size_t Footprint() const;

 private:
  std::vector<double> times_;
  std::array<std::vector<float>, kTrendSeriesCount> values_;
  bool fahrenheit_ = false;
  bool breakNext_ = false;
};

struct TrendPoint {
  double time;
  double value;  // NaN: a gap
};

// The points of one series from `from` to `to` as `columns` pixel columns draw them: per column the
// lowest and the highest value in the order they came, gaps kept, plus the nearest point outside on
// each side so that the lines run to the edges.
std::vector<TrendPoint> ThinTrend(const TrendData& data, int series, double from, double to, int columns);

// The points of a thinned series that no line reaches, with a gap or nothing on either side: a run
// of one record, or the first pass read. They are drawn as marks of their own.
std::vector<TrendPoint> LonePoints(const std::vector<TrendPoint>& points);

// The pass nearest to `time` (of two at one time, the later: the one after a break); Size() when empty.
std::size_t NearestIndex(const TrendData& data, double time);

// A switched value drawn as steps: each change happens at its point's time, flat in between.
std::vector<TrendPoint> AsSteps(const std::vector<TrendPoint>& points);

}  // namespace gelvar
