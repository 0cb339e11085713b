#include "core/timing/timer_host.h"

#include <chrono>

namespace gelvar {

std::time_t TimerHost::CalendarTime() const { return std::time(nullptr); }

std::int64_t TimerHost::MonotonicMs() const {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

}  // namespace gelvar
