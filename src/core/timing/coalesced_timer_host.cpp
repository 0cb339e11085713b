#include "core/timing/coalesced_timer_host.h"

#include <algorithm>
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
  period.members.push_back({id, std::move(onTimeout)});
  periodOf_[id] = periodMs;
  return id;
}

void CoalescedTimerHost::StopTimer(TimerId id) {
  const auto found = periodOf_.find(id);
  if (found == periodOf_.end()) return;
  const auto period = periods_.find(found->second);
  periodOf_.erase(found);
  auto& members = period->second.members;
  std::find_if(members.begin(), members.end(), [id](const Member& m) { return m.id == id; })->id = kStopped;
  // A running period may be inside the stopped callback; it tidies up once its run is over.
  if (!period->second.running) Tidy(period);
}

TimerId CoalescedTimerHost::WatchReadable(std::intptr_t handle, std::function<void()> onReadable) {
  return host_.WatchReadable(handle, std::move(onReadable));
}

void CoalescedTimerHost::RunPeriod(std::int32_t periodMs) {
  const auto period = periods_.find(periodMs);
  period->second.running = true;
  // Timers started from here on wait for the next timeout.
  const std::size_t count = period->second.members.size();
  for (std::size_t i = 0; i < count; ++i) {
    const Member& member = period->second.members[i];
    if (member.id != kStopped) member.onTimeout();
  }
  period->second.running = false;
  Tidy(period);
}

void CoalescedTimerHost::Tidy(std::map<std::int32_t, Period>::iterator period) {
  std::erase_if(period->second.members, [](const Member& m) { return m.id == kStopped; });
  if (!period->second.members.empty()) return;
  host_.StopTimer(period->second.hostTimer);
  periods_.erase(period);
}

}  // namespace gelvar
