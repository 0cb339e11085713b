#include "os/epoll_timer_host.h"

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <utility>

namespace gelvar {
namespace {

constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerSecond = 1000000000;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
// More handles ready at once wait for the next pass, which comes at once.
constexpr int kEventsPerPass = 8;

std::int64_t NowNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * kNsPerSecond + now.tv_nsec;
}

}  // namespace

EpollTimerHost::EpollTimerHost() : epoll_(::epoll_create1(EPOLL_CLOEXEC)), epollError_(epoll_ < 0 ? errno : 0) {}

EpollTimerHost::~EpollTimerHost() {
  if (epoll_ >= 0) ::close(epoll_);
}

TimerId EpollTimerHost::StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) {
  const std::int64_t periodNs = periodMs > 0 ? periodMs * kNsPerMs : 0;
  timers_.push_back({nextId_, periodNs, NowNs() + periodNs, std::move(onTimeout)});
  return nextId_++;
}

void EpollTimerHost::StopTimer(TimerId id) {
  for (Timer& timer : timers_) {
    if (timer.id == id) timer.id = kStopped;
  }
}

TimerId EpollTimerHost::WatchReadable(std::intptr_t handle, std::function<void()> onReadable) {
  epoll_event event{};
  // Level-triggered: bytes left unread wake the next wait too. A hung-up or failed handle wakes it
  // as well, which its reader must then stop watching.
  event.events = EPOLLIN;
  event.data.u64 = static_cast<std::uint64_t>(nextId_);
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, static_cast<int>(handle), &event) != 0) return -1;
  watches_.push_back({nextId_, static_cast<int>(handle), std::move(onReadable)});
  return nextId_++;
}

void EpollTimerHost::StopWatch(TimerId id) {
  for (Watch& watch : watches_) {
    if (watch.id != id) continue;
    watch.id = kStopped;
    // At once: the handle may be closed, and its number given to another, right after.
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, watch.handle, nullptr);
  }
}

bool EpollTimerHost::Run() {
  if (epoll_ < 0) {
    errno = epollError_;
    return false;
  }
  quit_ = false;
  while (!quit_) {
    Tidy();
    if (timers_.empty() && watches_.empty()) break;
    if (!RunOnce()) return false;
  }
  return true;
}

bool EpollTimerHost::RunOnce() {
  const std::int64_t dueNs = NextDueNs();
  timespec wait{};
  if (dueNs != kNever) {
    const std::int64_t leftNs = std::max<std::int64_t>(0, dueNs - NowNs());
    wait = {static_cast<std::time_t>(leftNs / kNsPerSecond), static_cast<long>(leftNs % kNsPerSecond)};
  }
  epoll_event events[kEventsPerPass];
  const int ready = Wait(events, dueNs != kNever ? &wait : nullptr);
  if (ready < 0) return errno == EINTR;
  for (int i = 0; i < ready; ++i) RunWatch(static_cast<TimerId>(events[i].data.u64));
  RunDueTimers(NowNs());
  return true;
}

int EpollTimerHost::Wait(epoll_event* events, const timespec* wait) {
  if (!pwait2Refused_) {
    const int ready = ::epoll_pwait2(epoll_, events, kEventsPerPass, wait, nullptr);
    if (ready >= 0 || (errno != ENOSYS && errno != EPERM)) return ready;
    // Kernels before 5.11, and sandboxes that filter the call (valgrind, some containers), refuse it.
    pwait2Refused_ = true;
  }
  // The epoll handle is readable while a watched handle is: one wait with the deadline to the
  // nanosecond, then a look that does not wait.
  pollfd epollReadable{epoll_, POLLIN, 0};
  const int ready = ::ppoll(&epollReadable, 1, wait, nullptr);
  return ready <= 0 ? ready : ::epoll_wait(epoll_, events, kEventsPerPass, 0);
}

std::int64_t EpollTimerHost::NextDueNs() const {
  std::int64_t next = kNever;
  for (const Timer& timer : timers_) {
    if (timer.id != kStopped) next = std::min(next, timer.dueNs);
  }
  return next;
}

void EpollTimerHost::RunWatch(TimerId id) {
  // By number, not by reference: the deque may grow while a callback runs.
  for (std::size_t i = 0; i < watches_.size(); ++i) {
    if (watches_[i].id == id) watches_[i].onReadable();
  }
}

void EpollTimerHost::RunDueTimers(std::int64_t nowNs) {
  // Timers started by a callback here are not due before their first period.
  const std::size_t count = timers_.size();
  for (std::size_t i = 0; i < count; ++i) {
    Timer& timer = timers_[i];
    if (timer.id == kStopped || timer.dueNs > nowNs) continue;
    timer.dueNs += timer.periodNs;
    if (timer.dueNs <= nowNs) timer.dueNs = nowNs + timer.periodNs;
    timer.onTimeout();
  }
}

void EpollTimerHost::Tidy() {
  std::erase_if(timers_, [](const Timer& timer) { return timer.id == kStopped; });
  std::erase_if(watches_, [](const Watch& watch) { return watch.id == kStopped; });
}

std::unique_ptr<EventLoop> MakeEventLoop() { return std::make_unique<EpollTimerHost>(); }

}  // namespace gelvar
