// Where the trend's axes put their ticks and what the time axis writes under them: round numbers
// (1, 2 or 5 times a power of ten apart) and round instants of local time, with no more ticks than
// their labels have room for. Dates are written the ISO way whatever the locale.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace gelvar {

struct ValueTicks {
  double low;  // the range asked for, widened to whole steps
  double high;
  double step;
  int decimals;  // as many as the step needs
};

// At most maxSteps steps from low to high.
ValueTicks RoundValueTicks(double low, double high, int maxSteps);

// The smallest step of whole seconds, minutes, hours or days that divides `span` seconds into at most
// maxSteps steps.
double RoundTimeStep(double span, int maxSteps);

// The instants from `from` to `to` (seconds since the epoch) that fall on whole multiples of `step`
// in local time: a 6-hour step gives 00:00, 06:00, 12:00 and 18:00; a 7-day step gives Mondays.
std::vector<double> TimeTicks(double from, double to, double step);

// The strftime format of the labels: seconds only when the step needs them, the date only when the
// range does not lie within one day (then every label has it, so that no two labels read alike).
const char* TimeLabelFormat(double from, double to, double step);
std::string TimeLabel(double time, const char* format);

struct TimeAxisPlan {
  double step;
  const char* format;
};

// The step and label format for a time axis `width` pixels wide, whose labels, `labelWidth(format)`
// pixels each, stand at least `gap` pixels apart.
TimeAxisPlan PlanTimeAxis(double from, double to, double width, double gap,
                          const std::function<double(const char*)>& labelWidth);

}  // namespace gelvar
