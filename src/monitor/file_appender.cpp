#include "monitor/file_appender.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace gelvar {

bool StdioFileAppender::Append(const std::string& path, const std::string& bytes) {
  // Binary: the bytes carry their own CR LF line ends.
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return false;
  const long before = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  // A write that stopped half-way (a full disk) is cut back, so that the next record does not go on
  // from a torn line and the file holds whole lines only.
  if (before >= 0) {
    std::error_code ignored;
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(before), ignored);
  }
  return false;
}

}  // namespace gelvar
