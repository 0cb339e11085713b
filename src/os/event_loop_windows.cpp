// gelvar-cli's event loop on Windows: WaitForMultipleObjects on the watched handles, with the next
// timer's deadline as its time-out. The watched handles are manual-reset events (the serial device's
// read, the stop signals), set for as long as something waits to be taken, as epoll's level-triggered
// watches are on Linux.
#include <windows.h>
// After windows.h, which it needs.
#include <timeapi.h>

#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

#include "core/timing/event_loop.h"
#include "core/timing/timer_queue.h"

namespace gelvar {
namespace {

constexpr std::int64_t kNsPerMs = 1000000;

class WindowsEventLoop : public EventLoop {
 public:
  // The system's timer runs at 64 Hz unless a program asks for more; the tick wants 10 ms.
  WindowsEventLoop() { ::timeBeginPeriod(1); }
  ~WindowsEventLoop() override { ::timeEndPeriod(1); }
  WindowsEventLoop(const WindowsEventLoop&) = delete;
  WindowsEventLoop& operator=(const WindowsEventLoop&) = delete;

  TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) override {
    return queue_.StartTimer(periodMs, std::move(onTimeout));
  }
  void StopTimer(TimerId id) override { queue_.StopTimer(id); }
  // One wait takes at most MAXIMUM_WAIT_OBJECTS handles; a watch beyond them is refused.
  TimerId WatchReadable(std::intptr_t handle, std::function<void()> onReadable) override {
    if (LiveHandles().size() >= MAXIMUM_WAIT_OBJECTS) return -1;
    return queue_.AddWatch(handle, std::move(onReadable));
  }
  void StopWatch(TimerId id) override { queue_.StopWatch(id); }

  bool Run() override {
    quit_ = false;
    while (!quit_ && queue_.Tidy()) {
      if (!RunOnce()) return false;
    }
    return true;
  }
  void Quit() override { quit_ = true; }

 private:
  std::vector<HANDLE> LiveHandles() const {
    std::vector<HANDLE> handles;
    for (const TimerQueue::Watch& watch : queue_.Watches()) {
      if (watch.id != TimerQueue::kStopped) handles.push_back(reinterpret_cast<HANDLE>(watch.handle));
    }
    return handles;
  }

  // Watches first, so that bytes that came are taken before a tick looks for them.
  bool RunOnce() {
    const std::int64_t leftNs = queue_.NextWaitNs();
    const DWORD waitMs = leftNs < 0 ? INFINITE : static_cast<DWORD>((leftNs + kNsPerMs - 1) / kNsPerMs);
    const std::vector<HANDLE> handles = LiveHandles();
    DWORD result;
    if (handles.empty()) {
      ::Sleep(waitMs);
      result = WAIT_TIMEOUT;
    } else {
      result = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, waitMs);
    }
    if (result == WAIT_FAILED) {
      errno = EINVAL;  // a watched handle closed before its watch was stopped
      return false;
    }
    if (result != WAIT_TIMEOUT) RunReadyWatches();
    queue_.RunDueTimers();
    return true;
  }

  // Every watch whose event is set, not only the first that the wait names.
  void RunReadyWatches() {
    std::vector<TimerId> ready;
    for (const TimerQueue::Watch& watch : queue_.Watches()) {
      if (watch.id != TimerQueue::kStopped &&
          ::WaitForSingleObject(reinterpret_cast<HANDLE>(watch.handle), 0) == WAIT_OBJECT_0) {
        ready.push_back(watch.id);
      }
    }
    for (const TimerId id : ready) queue_.RunWatch(id);
  }

  TimerQueue queue_;
  bool quit_ = false;
};

}  // namespace

std::unique_ptr<EventLoop> MakeEventLoop() { return std::make_unique<WindowsEventLoop>(); }

}  // namespace gelvar
