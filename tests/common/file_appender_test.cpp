// The write seam on the real file system: every way a path can fail names the system's reason,
// nothing but a regular file or a new name is opened (and nothing waits), and a failed append leaves
// the file as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "common/file_appender.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

namespace fs = std::filesystem;

TEST(PosixFileAppender, AppendsToRegularFilesOnlyAndNamesEveryFailure) {
  const fs::path dir = fs::temp_directory_path() / ("gelvar_appender_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "folder");
  const std::string old = "old\r\n";
  const auto existing = [&] {
    std::ofstream(dir / "log", std::ios::binary) << old;
    return dir / "log";
  };
  const struct {
    const char* what;
    std::function<fs::path()> path;
    IfMissing ifMissing;
    AppendStatus status;
    std::string reason;
    std::string after;  // the file's bytes afterwards
  } cases[] = {
      {"new name", [&] { return dir / "new"; }, IfMissing::kCreate, AppendStatus::kWritten, "", "abc\r\n"},
      {"existing file", existing, IfMissing::kReport, AppendStatus::kWritten, "", old + "abc\r\n"},
      {"missing file, not to be created", [&] { return dir / "gone"; }, IfMissing::kReport,
       AppendStatus::kMissing, "", ""},
      {"missing folder", [&] { return dir / "no-folder" / "log"; }, IfMissing::kCreate, AppendStatus::kFailed,
       "No such file or directory", ""},
      {"a folder", [&] { return dir / "folder"; }, IfMissing::kCreate, AppendStatus::kFailed, "Is a directory", ""},
      {"name too long", [&] { return dir / std::string(300, 'x'); }, IfMissing::kCreate, AppendStatus::kFailed,
       "File name too long", ""},
      {"named pipe without a reader", [&] {
         ::mkfifo((dir / "pipe").c_str(), 0600);
         return dir / "pipe";
       }, IfMissing::kCreate, AppendStatus::kFailed, "Not a regular file", ""},
      {"device", [] { return fs::path("/dev/null"); }, IfMissing::kCreate, AppendStatus::kFailed,
       "Not a regular file", ""},
  };
  PosixFileAppender files;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path path = c.path();
    const AppendResult result = files.Append(path.string(), "abc\r\n", c.ifMissing);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.reason, c.reason);
    std::error_code nameTooLong;
    if (fs::is_regular_file(path, nameTooLong) || !c.after.empty()) {
      EXPECT_EQ(ReadFile(path.string()), c.after);
    }
  }

  // A full disk stops the write half-way; the append is cut back to the old bytes.
  const fs::path log = existing();
  {
    const FileSizeLimit full(old.size() + 2);
    const AppendResult result = files.Append(log.string(), "abc\r\n", IfMissing::kReport);
    EXPECT_EQ(result.status, AppendStatus::kFailed);
    EXPECT_EQ(result.reason, "File too large");
  }
  EXPECT_EQ(ReadFile(log.string()), old);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace gelvar::testing
