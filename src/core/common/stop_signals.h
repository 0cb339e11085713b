// A request from outside to end the program the way its own exit does, so that the port is put back and
// closed: on POSIX SIGTERM, SIGINT and SIGHUP (systemctl stop, Ctrl-C, the end of a login session).
// The handler only notes the signal; the program acts on it from its event loop, outside the handler.
#pragma once

#include <cstdint>
#include <memory>

namespace gelvar {

class StopSignals {
 public:
  virtual ~StopSignals() = default;  // gives the signals back their default action

  // The number of the latest stop signal, 0 while none has come.
  virtual int Latest() const = 0;
  // Readable from each stop signal on until Take, for an event loop to watch.
  virtual std::intptr_t ArrivalHandle() const = 0;
  // Empties the arrival handle.
  virtual void Take() = 0;
};

// Catches the stop signals while the object lives; one at a time. Each kind is caught once: a second
// one of the same kind, should the first one's stop hang, ends the program at once. Null where the
// system gives no arrival handle; the signals then end the program as they do by default.
std::unique_ptr<StopSignals> CatchStopSignals();

}  // namespace gelvar
