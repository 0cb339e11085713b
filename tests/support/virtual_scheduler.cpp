#include "support/virtual_scheduler.h"

#include <algorithm>
#include <utility>

namespace gelvar::testing {

TimerId VirtualScheduler::StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) {
  const std::int64_t periodUs = periodMs > 0 ? std::int64_t{periodMs} * 1000 : 1000;
  timers_[nextId_] = Timer{periodUs, nowUs_ + periodUs, std::move(onTimeout)};
  return nextId_++;
}

void VirtualScheduler::SetActualPeriodUs(TimerId id, std::int64_t periodUs) {
  Timer& timer = timers_.at(id);
  timer.dueUs += periodUs - std::exchange(timer.periodUs, periodUs);
}

bool VirtualScheduler::FireNext(std::int64_t limitUs) {
  // The first of equally due timers is the one started first: the map is ordered by id.
  const auto earlier = [](const auto& a, const auto& b) { return a.second.dueUs < b.second.dueUs; };
  const auto next = std::min_element(timers_.begin(), timers_.end(), earlier);
  if (next == timers_.end() || next->second.dueUs > limitUs) return false;
  nowUs_ = next->second.dueUs;
  next->second.dueUs += next->second.periodUs;
  // The callback may stop this or other timers, or start new ones; copy it before the call.
  const auto callback = next->second.onTimeout;
  callback();
  return true;
}

void VirtualScheduler::Freeze(std::int64_t ms) {
  nowUs_ += ms * 1000;
  for (auto& [id, timer] : timers_) timer.dueUs = std::max(timer.dueUs, nowUs_);
}

bool VirtualScheduler::RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
  const std::int64_t limitUs = nowUs_ + limitMs * 1000;
  bool held = done();
  while (!held && FireNext(limitUs)) held = done();
  if (held) return true;
  nowUs_ = limitUs;
  return done();
}

}  // namespace gelvar::testing
