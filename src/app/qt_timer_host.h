// The program's timers: Qt timers on the GUI thread, so the tick and the windows' timers run one after
// another and never overlap.
#pragma once

#include <QObject>

#include <map>

#include "app/timer_host.h"

class QTimer;

namespace gelvar {

class QtTimerHost : public TimerHost {
 public:
  QtTimerHost() = default;
  QtTimerHost(const QtTimerHost&) = delete;
  QtTimerHost& operator=(const QtTimerHost&) = delete;

  TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) override;
  void StopTimer(TimerId id) override;
  std::time_t CalendarTime() const override;
  std::int64_t MonotonicMs() const override;

 private:
  QObject owner_;  // parent of every timer: a stopped timer may still be inside its own signal
  std::map<TimerId, QTimer*> timers_;
  TimerId nextId_ = 1;
};

}  // namespace gelvar
