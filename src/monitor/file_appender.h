// Every file of the main window is opened for one operation, appended to and closed at once. The
// writers go through this seam, so that a test can make any write fail.
#pragma once

#include <string>

namespace gelvar {

class FileAppender {
 public:
  virtual ~FileAppender() = default;
  // Appends bytes to path (creating the file); false when the file could not be opened or not
  // every byte reached it.
  virtual bool Append(const std::string& path, const std::string& bytes) = 0;
};

class StdioFileAppender : public FileAppender {
 public:
  bool Append(const std::string& path, const std::string& bytes) override;
};

}  // namespace gelvar
