// A folder of the test's own under the system's temporary folder, removed with everything in it when
// the object goes, whether the test passed or failed.
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace gelvar::testing {

class TempFolder {
 public:
  // create_directory answers false for a name that is taken, so the folder is ours alone.
  TempFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const auto candidate = std::filesystem::temp_directory_path() / ("gelvar_" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) path_ = candidate;
    }
    if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
  }
  ~TempFolder() { std::filesystem::remove_all(path_, ignored_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
  std::error_code ignored_;
};

}  // namespace gelvar::testing
