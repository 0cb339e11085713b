#include "core/timing/tick_period.h"

namespace gelvar {

std::int32_t tickPeriod;
std::int32_t windowTimerPeriod;

}  // namespace gelvar
