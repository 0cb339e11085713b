#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "core/common/standard_streams.h"

namespace gelvar {

void HoldClosedStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    // /dev/null, read-only: the lowest free number is the one closed.
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) ::open("/dev/null", O_RDONLY);
  }
}

void IgnoreVanishedReaders() { std::signal(SIGPIPE, SIG_IGN); }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool CloseStandardOutputHandle() { return ::close(STDOUT_FILENO) == 0; }

}  // namespace gelvar
