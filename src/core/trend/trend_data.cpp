#include "core/trend/trend_data.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace gelvar {
namespace {

constexpr float kGap = std::numeric_limits<float>::quiet_NaN();
constexpr float kTempMarkerLogValue = -999.0f;

struct SeriesInfo {
  const char* name;
  TrendKind kind;
};

constexpr SeriesInfo kSeries[kTrendSeriesCount] = {
    {"Slab/Gutt. Temp.", TrendKind::kTemperature}, {"Outdoor Temp.", TrendKind::kTemperature},
    {"Sensor Temp. 1", TrendKind::kTemperature},   {"Ambient Temp. 1", TrendKind::kTemperature},
    {"Sensor Temp. 2", TrendKind::kTemperature},   {"Ambient Temp. 2", TrendKind::kTemperature},
    {"Last Moisture 1", TrendKind::kMoisture},     {"Last Moisture 2", TrendKind::kMoisture},
    {"Internal Voltage 1", TrendKind::kVoltage},   {"Internal Voltage 2", TrendKind::kVoltage},
    {"Heating Relay", TrendKind::kRelay},
};

float Temperature(float value, bool pairRead) { return pairRead && value != kTempMarkerLogValue ? value : kGap; }

// Moisture, voltage and relay are never negative; their not-read value is -1.
template <typename T>
float Measured(T value) {
  return value < 0 ? kGap : static_cast<float>(value);
}

// The first index whose time no longer satisfies before (times rise).
template <typename Before>
std::size_t FirstIndex(const TrendData& data, Before before) {
  std::size_t lo = 0;
  std::size_t hi = data.Size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (before(data.Time(mid))) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace

const char* TrendSeriesName(int series) { return kSeries[series].name; }
TrendKind TrendSeriesKind(int series) { return kSeries[series].kind; }

TrendValues TrendValuesOf(const VariableSnapshot& v, const TemperaturePairsRead& pairsRead) {
  const SensorLogValues& s1 = v.sensor[0];
  const SensorLogValues& s2 = v.sensor[1];
  return {Temperature(v.HtgSlGuTemp, pairsRead[0]),
          Temperature(v.HtgOutTemp, pairsRead[0]),
          Temperature(s1.SenTemp, pairsRead[1]),
          Temperature(s1.AmbTemp, pairsRead[1]),
          Temperature(s2.SenTemp, pairsRead[2]),
          Temperature(s2.AmbTemp, pairsRead[2]),
          Measured(s1.LastMoist),
          Measured(s2.LastMoist),
          Measured(s1.Volt),
          Measured(s2.Volt),
          Measured(v.HtgOffOn)};
}

void TrendData::Append(double time, const TrendValues& values) {
  if (!times_.empty()) time = std::max(time, times_.back());
  if (breakNext_ && !times_.empty()) {
    times_.push_back(time);
    for (auto& column : values_) column.push_back(kGap);
  }
  breakNext_ = false;
  times_.push_back(time);
  for (std::size_t series = 0; series < values_.size(); ++series) values_[series].push_back(values[series]);
}

void TrendData::BreakLine() { breakNext_ = true; }

void TrendData::SetFahrenheit(bool fahrenheit) {
  if (fahrenheit == fahrenheit_) return;
  fahrenheit_ = fahrenheit;
  for (int series = 0; series < kTrendSeriesCount; ++series) {
    if (TrendSeriesKind(series) != TrendKind::kTemperature) continue;
    for (float& value : values_[static_cast<std::size_t>(series)]) {
      value = fahrenheit ? value * 1.8f + 32.0f : (value - 32.0f) / 1.8f;
    }
  }
}

std::size_t TrendData::Footprint() const {
  std::size_t bytes = times_.capacity() * sizeof(double);
  for (const auto& column : values_) bytes += column.capacity() * sizeof(float);
  return bytes;
}

std::vector<TrendPoint> ThinTrend(const TrendData& data, int series, double from, double to, int columns) {
  std::vector<TrendPoint> out;
  const std::size_t size = data.Size();
  if (size == 0 || columns <= 0 || !(to > from)) return out;
  auto point = [&](std::size_t i) { return TrendPoint{data.Time(i), data.Value(series, i)}; };
  const std::size_t first = FirstIndex(data, [from](double t) { return t < from; });
  const std::size_t last = FirstIndex(data, [to](double t) { return t <= to; });
  out.reserve(static_cast<std::size_t>(columns) * 2 + 2);
  auto emitGap = [&](double time) {
    if (out.empty() || !std::isnan(out.back().value)) out.push_back({time, std::nan("")});
  };
  if (first > 0) out.push_back(point(first - 1));

  const double columnWidth = (to - from) / columns;
  long column = -1;
  std::size_t low = 0, high = 0;
  bool any = false;
  auto flush = [&] {
    if (!any) return;
    out.push_back(point(std::min(low, high)));
    if (low != high) out.push_back(point(std::max(low, high)));
    any = false;
  };
  for (std::size_t i = first; i < last; ++i) {
    const long c = std::min<long>(columns - 1, static_cast<long>((data.Time(i) - from) / columnWidth));
    if (c != column) {
      flush();
      column = c;
    }
    const float value = data.Value(series, i);
    if (std::isnan(value)) {
      flush();
      emitGap(data.Time(i));
      continue;
    }
    if (!any) {
      low = high = i;
      any = true;
    } else if (value < data.Value(series, low)) {
      low = i;
    } else if (value > data.Value(series, high)) {
      high = i;
    }
  }
  flush();
  if (last < size) out.push_back(point(last));
  return out;
}

std::vector<TrendPoint> LonePoints(const std::vector<TrendPoint>& points) {
  std::vector<TrendPoint> out;
  const auto joined = [&](std::size_t i) { return i < points.size() && !std::isnan(points[i].value); };
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (joined(i) && !joined(i - 1) && !joined(i + 1)) out.push_back(points[i]);
  }
  return out;
}

std::size_t NearestIndex(const TrendData& data, double time) {
  const std::size_t size = data.Size();
  if (size == 0) return 0;
  std::size_t index = FirstIndex(data, [time](double t) { return t <= time; });
  if (index == size || (index > 0 && time - data.Time(index - 1) <= data.Time(index) - time)) --index;
  while (index + 1 < size && data.Time(index + 1) == data.Time(index)) ++index;
  return index;
}

std::vector<TrendPoint> AsSteps(const std::vector<TrendPoint>& points) {
  std::vector<TrendPoint> out;
  out.reserve(points.size() * 2);
  for (const TrendPoint& p : points) {
    if (!out.empty() && !std::isnan(out.back().value) && !std::isnan(p.value) && p.value != out.back().value) {
      out.push_back({p.time, out.back().value});
    }
    out.push_back(p);
  }
  return out;
}

}  // namespace gelvar
