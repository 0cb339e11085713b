// Every file the programs write is opened for one operation, appended to and closed at once. The
// writers go through this seam, so that a test can make any write fail.
#pragma once

#include <string>

namespace gelvar {

enum class AppendStatus { kWritten, kMissing, kFailed };

struct AppendResult {
  AppendStatus status = AppendStatus::kWritten;
  std::string reason;  // the system's reason, with kFailed
  bool Written() const { return status == AppendStatus::kWritten; }
};

// What Append does when the file is not there: create it, or leave it and answer kMissing.
enum class IfMissing { kCreate, kReport };

class FileAppender {
 public:
  virtual ~FileAppender() = default;
  // Appends all of bytes to path, or nothing: a write that stops half-way is cut back to the old
  // length. Only a regular file or a new name is opened, and the opening never waits (a named pipe
  // or a device is refused).
  virtual AppendResult Append(const std::string& path, const std::string& bytes, IfMissing ifMissing) = 0;
};

// A file error for a message box: the fixed text, and on the line below the path and the reason.
inline std::string FileErrorText(const std::string& fixedText, const std::string& path, const std::string& reason) {
  return fixedText + "\n" + path + ": " + reason;
}

// The files on disk, through the system's own calls (one file per system: file_appender_posix.cpp).
class DiskFileAppender : public FileAppender {
 public:
  AppendResult Append(const std::string& path, const std::string& bytes, IfMissing ifMissing) override;
};

// A write beyond the file size limit (ulimit -f, systemd's LimitFSIZE=) then fails with EFBIG and is
// handled like a full disk; by default the signal ends the process in the middle of a record.
void IgnoreFileSizeSignal();

}  // namespace gelvar
