// The stop signals on POSIX: the handler notes the number and writes a byte into a pipe whose read end
// is the arrival handle.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "core/common/stop_signals.h"

namespace gelvar {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the handler may touch: nothing else is safe in a signal handler.
volatile std::sig_atomic_t latestSignal = 0;
volatile std::sig_atomic_t writeEnd = -1;

void OnStopSignal(int signal) {
  const int savedErrno = errno;
  latestSignal = signal;
  const char byte = static_cast<char>(signal);
  // A full pipe means that a stop is pending already.
  [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
  errno = savedErrno;
}

void SetStopHandler(void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  for (const int signal : kStopSignals) sigaction(signal, &action, nullptr);
}

class PosixStopSignals : public StopSignals {
 public:
  PosixStopSignals(int readEnd, int writeEndFd) : readEnd_(readEnd), writeEnd_(writeEndFd) {
    latestSignal = 0;
    writeEnd = writeEnd_;
    // SA_RESTART: a write to a slow reader goes on after the handler instead of failing.
    SetStopHandler(&OnStopSignal, SA_RESETHAND | SA_RESTART);
  }
  ~PosixStopSignals() override {
    SetStopHandler(SIG_DFL, 0);
    writeEnd = -1;
    ::close(readEnd_);
    ::close(writeEnd_);
  }
  PosixStopSignals(const PosixStopSignals&) = delete;
  PosixStopSignals& operator=(const PosixStopSignals&) = delete;

  int Latest() const override { return latestSignal; }
  std::intptr_t ArrivalHandle() const override { return readEnd_; }
  void Take() override {
    char bytes[16];
    while (::read(readEnd_, bytes, sizeof bytes) > 0) {
    }
  }

 private:
  const int readEnd_;
  const int writeEnd_;
};

}  // namespace

std::unique_ptr<StopSignals> CatchStopSignals() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
  return std::make_unique<PosixStopSignals>(ends[0], ends[1]);
}

}  // namespace gelvar
