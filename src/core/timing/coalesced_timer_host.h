// Timers of equal period on one timer of the host beneath, so that they all run in one wake-up of
// the process, in the order they were started. A timer started while its period already runs first
// fires at that period's next timeout, which may be less than a period away.
#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>

#include "core/timing/timer_host.h"

namespace gelvar {

class CoalescedTimerHost : public TimerHost {
 public:
  explicit CoalescedTimerHost(TimerHost& host) : host_(host) {}
  ~CoalescedTimerHost() override;
  CoalescedTimerHost(const CoalescedTimerHost&) = delete;
  CoalescedTimerHost& operator=(const CoalescedTimerHost&) = delete;

  TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) override;
  void StopTimer(TimerId id) override;
  std::time_t CalendarTime() const override { return host_.CalendarTime(); }
  TimerId WatchReadable(std::intptr_t handle, std::function<void()> onReadable) override;
  void StopWatch(TimerId id) override { host_.StopWatch(id); }
  std::int64_t MonotonicMs() const override { return host_.MonotonicMs(); }

 private:
  struct Member {
    TimerId id;  // kStopped once stopped while its period runs; removed when the run is over
    std::function<void()> onTimeout;
  };
  struct Period {
    TimerId hostTimer = -1;
    std::deque<Member> members;  // in the order of starting; a deque keeps a running callback in place
    bool running = false;
  };
  static constexpr TimerId kStopped = -1;
  void RunPeriod(std::int32_t periodMs);
  // Forgets stopped members, and the period itself once nothing is left to wake for.
  void Tidy(std::map<std::int32_t, Period>::iterator period);

  TimerHost& host_;
  std::map<std::int32_t, Period> periods_;
  std::map<TimerId, std::int32_t> periodOf_;
  TimerId nextId_ = 1;
};

}  // namespace gelvar
