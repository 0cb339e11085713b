#include "os/epoll_timer_host.h"

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <utility>

namespace gelvar {
namespace {

constexpr std::int64_t kNsPerSecond = 1000000000;
// More handles ready at once wait for the next pass, which comes at once.
constexpr int kEventsPerPass = 8;

}  // namespace

EpollTimerHost::EpollTimerHost() : epoll_(::epoll_create1(EPOLL_CLOEXEC)), epollError_(epoll_ < 0 ? errno : 0) {}

EpollTimerHost::~EpollTimerHost() {
  if (epoll_ >= 0) ::close(epoll_);
}

TimerId EpollTimerHost::WatchReadable(std::intptr_t handle, std::function<void()> onReadable) {
  epoll_event event{};
  // Level-triggered: bytes left unread wake the next wait too. A hung-up or failed handle wakes it
  // as well, which its reader must then stop watching.
  event.events = EPOLLIN;
  const TimerId id = queue_.AddWatch(handle, std::move(onReadable));
  event.data.u64 = static_cast<std::uint64_t>(id);
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, static_cast<int>(handle), &event) == 0) return id;
  queue_.StopWatch(id);
  return -1;
}

void EpollTimerHost::StopWatch(TimerId id) {
  const std::intptr_t handle = queue_.StopWatch(id);
  if (handle >= 0) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, static_cast<int>(handle), nullptr);
}

bool EpollTimerHost::Run() {
  if (epoll_ < 0) {
    errno = epollError_;
    return false;
  }
  quit_ = false;
  while (!quit_ && queue_.Tidy()) {
    if (!RunOnce()) return false;
  }
  return true;
}

bool EpollTimerHost::RunOnce() {
  const std::int64_t leftNs = queue_.NextWaitNs();
  const timespec wait{static_cast<std::time_t>(leftNs / kNsPerSecond), static_cast<long>(leftNs % kNsPerSecond)};
  epoll_event events[kEventsPerPass];
  const int ready = Wait(events, leftNs >= 0 ? &wait : nullptr);
  if (ready < 0) return errno == EINTR;
  for (int i = 0; i < ready; ++i) queue_.RunWatch(static_cast<TimerId>(events[i].data.u64));
  queue_.RunDueTimers();
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

std::unique_ptr<EventLoop> MakeEventLoop() { return std::make_unique<EpollTimerHost>(); }

}  // namespace gelvar
