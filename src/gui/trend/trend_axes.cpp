#include "gui/trend/trend_axes.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace gelvar {
namespace {

// Quotients a hair off a whole number are that number: 0.3 / 0.1 is 2.9999999999999996.
constexpr double kRounding = 1e-9;
constexpr double kHour = 3600;
constexpr double kDay = 24 * kHour;
constexpr double kWeek = 7 * kDay;
// The epoch fell on a Thursday; weeks are counted from Monday.
constexpr double kFirstMonday = 4 * kDay;
constexpr double kTimeSteps[] = {1,   2,    5,    10,   15,    30,    60,    120,  300,      600,
                                 900, 1800, 3600, 7200, 10800, 21600, 43200, kDay, 2 * kDay, kWeek};

// 1, 2, 5, 10, 20, 50 ...
double NextRoundFactor(double factor) {
  const double decade = std::pow(10.0, std::floor(std::log10(factor) + kRounding));
  const double mantissa = factor / decade;
  return mantissa < 1.5 ? 2 * decade : mantissa < 3.5 ? 5 * decade : 10 * decade;
}

std::tm LocalTime(double time) {
  const auto seconds = static_cast<std::time_t>(std::floor(time));
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}

// Local wall-clock time counted as if it were UTC, so that round wall-clock instants are multiples.
double WallTime(double time) {
  std::tm local = LocalTime(time);
  return static_cast<double>(timegm(&local)) + (time - std::floor(time));
}

double FromWallTime(double wall) {
  const auto seconds = static_cast<std::time_t>(wall);
  std::tm local{};
  gmtime_r(&seconds, &local);
  local.tm_isdst = -1;
  return static_cast<double>(std::mktime(&local));
}

}  // namespace

ValueTicks RoundValueTicks(double low, double high, int maxSteps) {
  if (!std::isfinite(low) || !std::isfinite(high)) {
    low = 0;
    high = 1;
  }
  if (!(high > low)) {
    low -= 0.5;
    high += 0.5;
  }
  maxSteps = std::max(1, maxSteps);
  double step = std::pow(10.0, std::floor(std::log10((high - low) / maxSteps)));
  while (std::ceil(high / step - kRounding) - std::floor(low / step + kRounding) > maxSteps) {
    step = NextRoundFactor(step);
  }
  const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + kRounding)));
  return {std::floor(low / step + kRounding) * step, std::ceil(high / step - kRounding) * step, step, decimals};
}

double RoundTimeStep(double span, int maxSteps) {
  maxSteps = std::max(1, maxSteps);
  for (const double step : kTimeSteps) {
    if (span / step <= maxSteps) return step;
  }
  double weeks = 2;
  while (span / (weeks * kWeek) > maxSteps) weeks = NextRoundFactor(weeks);
  return weeks * kWeek;
}

std::vector<double> TimeTicks(double from, double to, double step) {
  std::vector<double> ticks;
  if (!(step > 0) || !(to >= from)) return ticks;
  const double anchor = step >= kWeek ? kFirstMonday : 0;
  const double firstWall = std::ceil((WallTime(from) - anchor) / step) * step + anchor;
  if (step <= kHour) {
    // Steps of up to an hour stay round when the clock is put forward or back an hour.
    for (double time = FromWallTime(firstWall); time <= to; time += step) {
      if (time >= from) ticks.push_back(time);
    }
    return ticks;
  }
  // Longer steps are counted on the wall clock: 6-hour ticks stay at 00:00, 06:00 ... on a day of
  // 23 or 25 hours.
  for (double wall = firstWall; wall <= WallTime(to) + step; wall += step) {
    const double time = FromWallTime(wall);
    if (time >= from && time <= to && (ticks.empty() || time > ticks.back())) ticks.push_back(time);
  }
  return ticks;
}

const char* TimeLabelFormat(double from, double to, double step) {
  if (step >= kDay) return "%Y-%m-%d";
  const bool seconds = std::fmod(step, 60) != 0;
  const std::tm first = LocalTime(from);
  const std::tm last = LocalTime(to);
  if (first.tm_year == last.tm_year && first.tm_yday == last.tm_yday) return seconds ? "%H:%M:%S" : "%H:%M";
  return seconds ? "%Y-%m-%d %H:%M:%S" : "%Y-%m-%d %H:%M";
}

std::string TimeLabel(double time, const char* format) {
  const std::tm local = LocalTime(time);
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, format, &local));
}

TimeAxisPlan PlanTimeAxis(double from, double to, double width, double gap,
                          const std::function<double(const char*)>& labelWidth) {
  // The labels are sized for minutes first; a step that needs wider labels is planned again for
  // them, so the room per label only grows and the plan ends.
  double room = labelWidth(TimeLabelFormat(from, to, 60));
  for (;;) {
    const int maxSteps = std::max(1, static_cast<int>(width / std::max(1.0, room + gap)));
    const double step = RoundTimeStep(to - from, maxSteps);
    const char* format = TimeLabelFormat(from, to, step);
    const double needed = labelWidth(format);
    if (needed <= room) return {step, format};
    room = needed;
  }
}

}  // namespace gelvar
