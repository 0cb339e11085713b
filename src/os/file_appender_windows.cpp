// The file appender on Windows: the file opened for appending only, so that the system puts every write
// at the end whoever else appends, and shared, so that a viewer may hold the log open meanwhile.
#include <windows.h>

#include <filesystem>
#include <system_error>

#include "core/common/file_appender.h"
#include "os/windows_text.h"

namespace gelvar {
namespace {

AppendResult Failed(std::string reason) { return {AppendStatus::kFailed, std::move(reason)}; }

// The reasons Linux gives for the failures both systems know, so that messages read the same.
std::string Reason(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "No such file or directory";
    case ERROR_ACCESS_DENIED: return "Permission denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "No space left on device";
    case ERROR_FILENAME_EXCED_RANGE: return "File name too long";
    default: return SystemErrorText(error);
  }
}

// 0, or the error of the write that failed.
DWORD WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return ::GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    done += written;
  }
  return 0;
}

}  // namespace

AppendResult DiskFileAppender::Append(const std::string& path, const std::string& bytes, IfMissing ifMissing) {
  const std::wstring name = WideText(path);
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Failed("Is a directory");
  }
  const DWORD disposition = ifMissing == IfMissing::kCreate ? OPEN_ALWAYS : OPEN_EXISTING;
  const HANDLE file =
      ::CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND && ifMissing == IfMissing::kReport) return {AppendStatus::kMissing, {}};
    return Failed(Reason(error));
  }
  // A device (NUL, a COM port) or a pipe opens under a file's name too.
  LARGE_INTEGER size{};
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
    ::CloseHandle(file);
    return Failed("Not a regular file");
  }
  DWORD error = WriteAll(file, bytes);
  if (!::CloseHandle(file) && error == 0) error = ::GetLastError();
  if (error == 0) return {};
  // A write that stopped half-way (a full disk) is cut back, so that the file holds whole lines only
  // and the next record does not go on from a torn one.
  std::error_code ignored;
  std::filesystem::resize_file(std::filesystem::path(name), static_cast<std::uintmax_t>(size.QuadPart), ignored);
  return Failed(Reason(error));
}

// Windows has no file size signal: a write over a quota fails with ERROR_DISK_FULL.
void IgnoreFileSizeSignal() {}

}  // namespace gelvar
