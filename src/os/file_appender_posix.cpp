#include "core/common/file_appender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace gelvar {
namespace {

constexpr const char* kNotRegular = "Not a regular file";

AppendResult Failed(const char* reason) { return {AppendStatus::kFailed, reason}; }

// 0, or the error of the write that failed.
int WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      return n == 0 ? EIO : errno;
    }
  }
  return 0;
}

}  // namespace

AppendResult DiskFileAppender::Append(const std::string& path, const std::string& bytes, IfMissing ifMissing) {
  // Asked before the opening, so that a named pipe or a device is not opened at all: a pipe without
  // a reader would block the program for good.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    return Failed(S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : kNotRegular);
  }
  // Non-blocking all the same, in case a pipe has taken the name since.
  const int flags =
      O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (ifMissing == IfMissing::kCreate ? O_CREAT : 0);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    if (errno == ENOENT && ifMissing == IfMissing::kReport) return {AppendStatus::kMissing, {}};
    return Failed(std::strerror(errno));
  }
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return Failed(kNotRegular);
  }
  int error = WriteAll(fd, bytes);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) return {};
  // A write that stopped half-way (a full disk) is cut back, so that the file holds whole lines only
  // and the next record does not go on from a torn one.
  std::error_code ignored;
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(info.st_size), ignored);
  return Failed(std::strerror(error));
}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace gelvar
