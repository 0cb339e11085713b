// Deterministic virtual time for tests: timers fire in order of their due time (ties in the order the
// timers were started), and calendar time follows the virtual clock unless a test sets it. Hours of
// traffic run in milliseconds of real time.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>

#include "core/timing/timer_host.h"

namespace gelvar::testing {

class VirtualScheduler : public TimerHost {
 public:
  // Virtual time 0 is calendarStart in calendar seconds.
  explicit VirtualScheduler(std::time_t calendarStart = 1780000000) : calendarStart_(calendarStart) {}

  TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) override;
  void StopTimer(TimerId id) override { timers_.erase(id); }
  std::time_t CalendarTime() const override { return calendarStart_ + static_cast<std::time_t>(nowUs_ / 1000000); }
  std::int64_t MonotonicMs() const override { return NowMs(); }

  // The calendar clock set forward (or back, for a negative value) by seconds; the virtual clock runs on.
  void SetCalendarBy(std::time_t seconds) { calendarStart_ += seconds; }
  // The process stopped for ms (suspended, SIGSTOP): time passes without a timer firing; then each
  // timer that fell due fires once, and runs on at its period from there.
  void Freeze(std::int64_t ms);

  // Lets a timer fire at another period than it asked for, as a loaded machine would (the tick
  // measurement then sees fewer ticks). Periods are in microseconds; the timer must be running.
  void SetActualPeriodUs(TimerId id, std::int64_t periodUs);

  std::int64_t NowMs() const { return nowUs_ / 1000; }
  std::size_t RunningTimers() const { return timers_.size(); }

  // Fires every timer due up to now + ms, then sets the clock to now + ms.
  void AdvanceBy(std::int64_t ms) {
    RunUntil([] { return false; }, ms);
  }
  // Advances timer by timer until done() holds (checked after each firing) or limitMs have passed;
  // returns whether done() held.
  bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs);

 private:
  struct Timer {
    std::int64_t periodUs;
    std::int64_t dueUs;
    std::function<void()> onTimeout;
  };
  // Fires the earliest timer due at or before limitUs; false when none is.
  bool FireNext(std::int64_t limitUs);

  std::time_t calendarStart_;
  std::int64_t nowUs_ = 0;
  TimerId nextId_ = 1;
  std::map<TimerId, Timer> timers_;
};

}  // namespace gelvar::testing
