// gelvar-cli's event loop: timers and watched handles on the calling thread, woken by the kernel only
// for the next timer's deadline or a handle with bytes waiting. Qt's event loop does its own
// bookkeeping at every wake-up, and poll(2) looks at every handle at every wait; for a console
// program that wakes every 10 ms, either costs more than all of its own work. Periodic timers keep
// their deadlines on the monotonic clock, so they do not drift; one that fell more than a period
// behind (the process was stopped) fires once and takes up its rhythm from then on, as a Qt timer does.
#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>

#include "core/timing/event_loop.h"

struct epoll_event;

namespace gelvar {

class EpollTimerHost : public EventLoop {
 public:
  EpollTimerHost();
  ~EpollTimerHost() override;
  EpollTimerHost(const EpollTimerHost&) = delete;
  EpollTimerHost& operator=(const EpollTimerHost&) = delete;

  TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) override;
  void StopTimer(TimerId id) override;
  TimerId WatchReadable(std::intptr_t handle, std::function<void()> onReadable) override;
  void StopWatch(TimerId id) override;

  bool Run() override;
  void Quit() override { quit_ = true; }

 private:
  struct Timer {
    TimerId id;  // kStopped once stopped; removed before the next wait, never from inside a callback
    std::int64_t periodNs;
    std::int64_t dueNs;
    std::function<void()> onTimeout;
  };
  struct Watch {
    TimerId id;  // kStopped as for timers
    int handle;
    std::function<void()> onReadable;
  };
  static constexpr TimerId kStopped = -1;

  // Waits for the next deadline or a watched handle, then runs the watches that woke and the timers
  // that are due, watches first, so that bytes that came are taken before a tick looks for them.
  bool RunOnce();
  // epoll_pwait2, or where the kernel refuses it, ppoll on the epoll handle: the ready events, 0 at
  // the deadline, -1 with errno set.
  int Wait(epoll_event* events, const timespec* wait);
  std::int64_t NextDueNs() const;
  void RunWatch(TimerId id);
  void RunDueTimers(std::int64_t nowNs);
  void Tidy();

  const int epoll_;
  const int epollError_;  // why there is no epoll_, for Run to tell
  // Deques: a callback may start a timer or a watch while its own entry runs, and must not move it.
  std::deque<Timer> timers_;
  std::deque<Watch> watches_;
  TimerId nextId_ = 1;
  bool quit_ = false;
  bool pwait2Refused_ = false;
};

}  // namespace gelvar
