#include "core/timing/timer_queue.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>

namespace gelvar {
namespace {

constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

TimerId TimerQueue::StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) {
  const std::int64_t periodNs = periodMs > 0 ? periodMs * kNsPerMs : 0;
  timers_.push_back({nextId_, periodNs, NowNs() + periodNs, std::move(onTimeout)});
  return nextId_++;
}

void TimerQueue::StopTimer(TimerId id) {
  for (Timer& timer : timers_) {
    if (timer.id == id) timer.id = kStopped;
  }
}

TimerId TimerQueue::AddWatch(std::intptr_t handle, std::function<void()> onReadable) {
  watches_.push_back({nextId_, handle, std::move(onReadable)});
  return nextId_++;
}

std::intptr_t TimerQueue::StopWatch(TimerId id) {
  for (Watch& watch : watches_) {
    if (watch.id != id) continue;
    watch.id = kStopped;
    return watch.handle;
  }
  return -1;
}

std::int64_t TimerQueue::NextWaitNs() const {
  std::int64_t next = kNever;
  for (const Timer& timer : timers_) {
    if (timer.id != kStopped) next = std::min(next, timer.dueNs);
  }
  return next == kNever ? -1 : std::max<std::int64_t>(0, next - NowNs());
}

void TimerQueue::RunWatch(TimerId id) {
  for (std::size_t i = 0; i < watches_.size(); ++i) {
    if (watches_[i].id == id) watches_[i].onReadable();
  }
}

void TimerQueue::RunDueTimers() {
  const std::int64_t nowNs = NowNs();
  const std::size_t count = timers_.size();
  for (std::size_t i = 0; i < count; ++i) {
    Timer& timer = timers_[i];
    if (timer.id == kStopped || timer.dueNs > nowNs) continue;
    // A timer that fell behind fires once and keeps its place on its period's grid, so that timers of one
    // period started together stay in their start order however late the loop wakes.
    timer.dueNs += timer.periodNs > 0 ? ((nowNs - timer.dueNs) / timer.periodNs + 1) * timer.periodNs : 0;
    if (timer.dueNs <= nowNs) timer.dueNs = nowNs;
    timer.onTimeout();
  }
}

bool TimerQueue::Tidy() {
  std::erase_if(timers_, [](const Timer& timer) { return timer.id == kStopped; });
  std::erase_if(watches_, [](const Watch& watch) { return watch.id == kStopped; });
  return !timers_.empty() || !watches_.empty();
}

}  // namespace gelvar
