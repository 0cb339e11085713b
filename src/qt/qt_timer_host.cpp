#include "qt/qt_timer_host.h"

#include <QSocketNotifier>
#include <QTimer>

#include <utility>

namespace gelvar {

TimerId QtTimerHost::StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) {
  auto* timer = new QTimer(&owner_);
  timer->setTimerType(Qt::PreciseTimer);
  timer->setInterval(periodMs > 0 ? periodMs : 0);
  QObject::connect(timer, &QTimer::timeout, timer, [callback = std::move(onTimeout)] { callback(); });
  timer->start();
  const TimerId id = nextId_++;
  timers_[id] = timer;
  return id;
}

void QtTimerHost::StopTimer(TimerId id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second->stop();
  // Deleted later: StopTimer may be called from the timer's own callback.
  it->second->deleteLater();
  timers_.erase(it);
}

TimerId QtTimerHost::WatchReadable(std::intptr_t handle, std::function<void()> onReadable) {
  auto* notifier = new QSocketNotifier(static_cast<qintptr>(handle), QSocketNotifier::Read, &owner_);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [callback = std::move(onReadable)] { callback(); });
  const TimerId id = nextId_++;
  watches_[id] = notifier;
  return id;
}

void QtTimerHost::StopWatch(TimerId id) {
  auto it = watches_.find(id);
  if (it == watches_.end()) return;
  // Off at once: the handle may be closed right after. Deleted later, as a timer is.
  it->second->setEnabled(false);
  it->second->deleteLater();
  watches_.erase(it);
}

}  // namespace gelvar
