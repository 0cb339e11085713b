#include "monitor/file_appender.h"

#include <cstdio>

namespace gelvar {

bool StdioFileAppender::Append(const std::string& path, const std::string& bytes) {
  // Binary: the bytes carry their own CR LF line ends.
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace gelvar
