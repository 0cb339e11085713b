// The bookkeeping of a program's own event loop, apart from the waiting, which is the system's: timers
// and watched handles by number. Periodic timers keep their deadlines on the monotonic clock, so they do
// not drift; one that fell more than a period behind (the process was stopped) fires once and takes up
// its rhythm from then on, as a Qt timer does.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>

#include "core/timing/timer_host.h"

namespace gelvar {

class TimerQueue {
 public:
  struct Watch {
    TimerId id;  // kStopped once stopped; removed by Tidy, never from inside a callback
    std::intptr_t handle;
    std::function<void()> onReadable;
  };
  static constexpr TimerId kStopped = -1;

  TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout);
  void StopTimer(TimerId id);
  TimerId AddWatch(std::intptr_t handle, std::function<void()> onReadable);
  // The handle of the watch stopped, -1 when there was none: the loop stops waiting on it at once, as
  // the handle may be closed, and its number given to another, right after.
  std::intptr_t StopWatch(TimerId id);

  // Nanoseconds until the next timer is due, 0 when one is due already, -1 without timers.
  std::int64_t NextWaitNs() const;
  // Runs the watch by its number; the deque may grow while a callback runs.
  void RunWatch(TimerId id);
  // Timers started by a callback here are not due before their first period.
  void RunDueTimers();
  // Drops what was stopped; false when nothing is left to wait for.
  bool Tidy();
  // Stopped watches included, until Tidy.
  const std::deque<Watch>& Watches() const { return watches_; }

 private:
  struct Timer {
    TimerId id;
    std::int64_t periodNs;
    std::int64_t dueNs;
    std::function<void()> onTimeout;
  };

  // Deques: a callback may start a timer or a watch while its own entry runs, and must not move it.
  std::deque<Timer> timers_;
  std::deque<Watch> watches_;
  TimerId nextId_ = 1;
};

}  // namespace gelvar
