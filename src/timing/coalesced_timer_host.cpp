#include "timing/coalesced_timer_host.h"

#include <utility>

namespace gelvar {

CoalescedTimerHost::~CoalescedTimerHost() {
  for (const auto& [periodMs, period] : periods_) host_.StopTimer(period.hostTimer);
}

TimerId CoalescedTimerHost::StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) {
  if (periodMs < 0) periodMs = 0;
  Period& period = periods_[periodMs];
  if (period.hostTimer < 0) period.hostTimer = host_.StartTimer(periodMs, [this, periodMs] { RunPeriod(periodMs); });
  const TimerId id = nextId_++;
  period.members.emplace(id, std::make_shared<const std::function<void()>>(std::move(onTimeout)));
  periodOf_[id] = periodMs;
  return id;
}

void CoalescedTimerHost::StopTimer(TimerId id) {
  const auto found = periodOf_.find(id);
  if (found == periodOf_.end()) return;
  const auto period = periods_.find(found->second);
  periodOf_.erase(found);
  period->second.members.erase(id);
  if (!period->second.members.empty()) return;
  // Nothing left to wake for.
  host_.StopTimer(period->second.hostTimer);
  periods_.erase(period);
}

TimerId CoalescedTimerHost::WatchReadable(std::intptr_t handle, std::function<void()> onReadable) {
  return host_.WatchReadable(handle, std::move(onReadable));
}

void CoalescedTimerHost::RunPeriod(std::int32_t periodMs) {
  // Callbacks may stop or start any timer, even this period's last; so every step looks afresh.
  const TimerId lastStarted = nextId_ - 1;
  for (TimerId next = 0;;) {
    const auto period = periods_.find(periodMs);
    if (period == periods_.end()) return;
    const auto member = period->second.members.lower_bound(next);
    if (member == period->second.members.end() || member->first > lastStarted) return;
    next = member->first + 1;
    const Callback onTimeout = member->second;
    (*onTimeout)();
  }
}

}  // namespace gelvar
