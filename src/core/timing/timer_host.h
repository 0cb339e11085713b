// Everything periodic (the link tick, the byte pump, the windows' polling timers) is scheduled through
// this interface: Qt timers in the programs, a deterministic virtual scheduler in the tests. The byte
// pump also asks it to watch the port for arriving bytes.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

namespace gelvar {

using TimerId = int;

class TimerHost {
 public:
  virtual ~TimerHost() = default;

  // Calls onTimeout every periodMs milliseconds until stopped. A period of 0 fires as often as the
  // event loop allows.
  virtual TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) = 0;
  virtual void StopTimer(TimerId id) = 0;

  // Calendar time in whole seconds, for the files' time stamps. It may be set back or forward. The
  // system's clock unless the host keeps time of its own (the tests' virtual scheduler).
  virtual std::time_t CalendarTime() const;

  // Calls onReadable on the timers' thread whenever `handle` (a file descriptor on POSIX) has bytes
  // waiting, until StopWatch. A host that cannot watch returns -1, and its users live on their timers.
  virtual TimerId WatchReadable(std::intptr_t /*handle*/, std::function<void()> /*onReadable*/) { return -1; }
  virtual void StopWatch(TimerId /*id*/) {}
  // Milliseconds of a clock that only runs forward and is never set: the tick measures its period
  // with it. The system's monotonic clock unless the host keeps time of its own.
  virtual std::int64_t MonotonicMs() const;
};

}  // namespace gelvar
