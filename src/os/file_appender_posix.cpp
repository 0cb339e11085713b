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

// Opens path for appending; created tells whether this call made the file. Non-blocking all the same,
// in case a pipe has taken the name since it was asked about.
int Open(const std::string& path, IfMissing ifMissing, bool& created) {
  constexpr int kFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  const int fd = ::open(path.c_str(), kFlags);
  if (fd >= 0 || errno != ENOENT || ifMissing == IfMissing::kReport) return fd;
  const int made = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
  if (made >= 0 || errno != EEXIST) {
    created = made >= 0;
    return made;
  }
  return ::open(path.c_str(), kFlags);  // another writer made it in between
}

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
  bool created = false;
  const int fd = Open(path, ifMissing, created);
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
  // and the next record does not go on from a torn one. A file this append made goes again: an empty
  // report would look like one that was saved.
  std::error_code ignored;
  if (created) {
    std::filesystem::remove(path, ignored);
  } else {
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(info.st_size), ignored);
  }
  return Failed(std::strerror(error));
}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace gelvar
