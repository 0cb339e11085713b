// The program's timers: Qt timers on the GUI thread, so the tick and the windows' timers run one after
// another and never overlap. Timers of equal period fire in the order they were started. Watches of
// the port are socket notifiers on the same thread.
#pragma once

#include <QObject>

#include <map>

#include "core/timing/timer_host.h"

class QSocketNotifier;
class QTimer;

namespace gelvar {

class QtTimerHost : public TimerHost {
 public:
  QtTimerHost() = default;
  QtTimerHost(const QtTimerHost&) = delete;
  QtTimerHost& operator=(const QtTimerHost&) = delete;

  TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) override;
  void StopTimer(TimerId id) override;
  TimerId WatchReadable(std::intptr_t handle, std::function<void()> onReadable) override;
  void StopWatch(TimerId id) override;

 private:
  QObject owner_;  // parent of every timer: a stopped timer may still be inside its own signal
  std::map<TimerId, QTimer*> timers_;
  std::map<TimerId, QSocketNotifier*> watches_;
  TimerId nextId_ = 1;
};

}  // namespace gelvar
