// A program's own event loop, for a program that runs without Qt's: the timers and watches of
// TimerHost on the calling thread. Each system has its own (epoll on Linux).
#pragma once

#include <memory>

#include "core/timing/timer_host.h"

namespace gelvar {

class EventLoop : public TimerHost {
 public:
  // Runs what is due until Quit, or until nothing is left to wait for. Returns false, with errno set,
  // when the system refuses to wait (a signal is not a refusal).
  virtual bool Run() = 0;
  virtual void Quit() = 0;
};

std::unique_ptr<EventLoop> MakeEventLoop();

}  // namespace gelvar
