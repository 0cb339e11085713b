#include "support/virtual_scheduler.h"

#include <limits>
#include <utility>

namespace gelvar::testing {

VirtualScheduler::VirtualScheduler(std::time_t calendarStart) : calendarStart_(calendarStart) {}

TimerId VirtualScheduler::StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) {
  const std::int64_t periodUs = periodMs > 0 ? std::int64_t{periodMs} * 1000 : 1000;
  const TimerId id = nextId_++;
  timers_[id] = Timer{periodUs, nowUs_ + periodUs, std::move(onTimeout)};
  return id;
}

void VirtualScheduler::StopTimer(TimerId id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  firedOfStopped_[id] = it->second.fired;
  timers_.erase(it);
}

std::time_t VirtualScheduler::CalendarTime() const {
  return calendarStart_ + static_cast<std::time_t>(nowUs_ / 1000000);
}

void VirtualScheduler::SetActualPeriodUs(TimerId id, std::int64_t periodUs) {
  auto it = timers_.find(id);
  if (it == timers_.end() || periodUs <= 0) return;
  it->second.dueUs = it->second.dueUs - it->second.periodUs + periodUs;
  it->second.periodUs = periodUs;
}

bool VirtualScheduler::FireNext(std::int64_t limitUs) {
  TimerId nextId = 0;
  std::int64_t nextDue = std::numeric_limits<std::int64_t>::max();
  for (const auto& [id, timer] : timers_) {
    if (timer.dueUs < nextDue) {
      nextDue = timer.dueUs;
      nextId = id;
    }
  }
  if (nextId == 0 || nextDue > limitUs) return false;
  nowUs_ = nextDue;
  Timer& timer = timers_.at(nextId);
  timer.dueUs += timer.periodUs;
  ++timer.fired;
  // The callback may stop this or other timers, or start new ones; copy it before the call.
  auto callback = timer.onTimeout;
  callback();
  return true;
}

void VirtualScheduler::AdvanceBy(std::int64_t ms) {
  const std::int64_t limitUs = nowUs_ + ms * 1000;
  while (FireNext(limitUs)) {
  }
  nowUs_ = limitUs;
}

bool VirtualScheduler::RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
  const std::int64_t limitUs = nowUs_ + limitMs * 1000;
  if (done()) return true;
  while (FireNext(limitUs)) {
    if (done()) return true;
  }
  nowUs_ = limitUs;
  return done();
}

std::uint64_t VirtualScheduler::FiredCount(TimerId id) const {
  if (auto it = timers_.find(id); it != timers_.end()) return it->second.fired;
  if (auto it = firedOfStopped_.find(id); it != firedOfStopped_.end()) return it->second;
  return 0;
}

}  // namespace gelvar::testing
