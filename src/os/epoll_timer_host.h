// gelvar-cli's event loop: timers and watched handles on the calling thread, woken by the kernel only
// for the next timer's deadline or a handle with bytes waiting. Qt's event loop does its own
// bookkeeping at every wake-up, and poll(2) looks at every handle at every wait; for a console
// program that wakes every 10 ms, either costs more than all of its own work.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

#include "core/timing/event_loop.h"
#include "core/timing/timer_queue.h"

struct epoll_event;

namespace gelvar {

class EpollTimerHost : public EventLoop {
 public:
  EpollTimerHost();
  ~EpollTimerHost() override;
  EpollTimerHost(const EpollTimerHost&) = delete;
  EpollTimerHost& operator=(const EpollTimerHost&) = delete;

  TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) override {
    return queue_.StartTimer(periodMs, std::move(onTimeout));
  }
  void StopTimer(TimerId id) override { queue_.StopTimer(id); }
  TimerId WatchReadable(std::intptr_t handle, std::function<void()> onReadable) override;
  void StopWatch(TimerId id) override;

  bool Run() override;
  void Quit() override { quit_ = true; }

 private:
  // Waits for the next deadline or a watched handle, then runs the watches that woke and the timers
  // that are due, watches first, so that bytes that came are taken before a tick looks for them.
  bool RunOnce();
  // epoll_pwait2, or where the kernel refuses it, ppoll on the epoll handle: the ready events, 0 at
  // the deadline, -1 with errno set.
  int Wait(epoll_event* events, const timespec* wait);

  const int epoll_;
  const int epollError_;  // why there is no epoll_, for Run to tell
  TimerQueue queue_;
  bool quit_ = false;
  bool pwait2Refused_ = false;
};

}  // namespace gelvar
