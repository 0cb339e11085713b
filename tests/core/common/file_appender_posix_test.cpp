// The write seam on the real file system.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "core/common/file_appender.h"
#include "core/common/temp_folder.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

namespace fs = std::filesystem;

// Every way a path can fail names the system's reason, nothing but a regular file or a new name is
// opened (and nothing waits), and a failed append leaves the file as it was.
TEST(DiskFileAppender, AppendsToRegularFilesOnlyAndNamesEveryFailure) {
  const TempFolder dir;
  fs::create_directories(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  // Path, whether a missing file is made, and the outcome with its reason.
  const std::tuple<fs::path, IfMissing, AppendStatus, std::string> cases[] = {
      {dir / "gone", IfMissing::kReport, AppendStatus::kMissing, ""},
      {dir / "no-folder" / "log", IfMissing::kCreate, AppendStatus::kFailed, "No such file or directory"},
      {dir / "folder", IfMissing::kCreate, AppendStatus::kFailed, "Is a directory"},
      {dir / std::string(300, 'x'), IfMissing::kCreate, AppendStatus::kFailed, "File name too long"},
      {dir / "pipe", IfMissing::kCreate, AppendStatus::kFailed, "Not a regular file"},  // no reader: would block
      {"/dev/null", IfMissing::kCreate, AppendStatus::kFailed, "Not a regular file"},
  };
  DiskFileAppender files;
  for (const auto& [path, ifMissing, status, reason] : cases) {
    SCOPED_TRACE(path.string());
    const AppendResult result = files.Append(path.string(), "abc\r\n", ifMissing);
    EXPECT_EQ(std::tie(result.status, result.reason), std::tie(status, reason));
    std::error_code nameTooLong;
    EXPECT_FALSE(fs::is_regular_file(path, nameTooLong)) << "no file is made";
  }

  // A full disk stops the write half-way; the append is cut back to the old bytes.
  const std::string log = (dir / "log").string();
  std::ofstream(log, std::ios::binary) << "old\r\n";
  {
    const FileSizeLimit full(7);
    const AppendResult result = files.Append(log, "abc\r\n", IfMissing::kReport);
    EXPECT_EQ(std::tuple(result.status, result.reason), std::tuple(AppendStatus::kFailed, "File too large"));
  }
  // A report that a full disk stops before its first byte leaves no empty file behind.
  const std::string report = (dir / "report.par").string();
  {
    const FileSizeLimit full(0);
    EXPECT_EQ(files.Append(report, "abc\r\n", IfMissing::kCreate).reason, "File too large");
  }
  EXPECT_FALSE(fs::exists(report)) << "a file the append made goes with it";
  // A program started without standard input gets descriptor 0 for the file.
  const int input = ::dup(STDIN_FILENO);
  ::close(STDIN_FILENO);
  const AppendResult withoutInput = files.Append(log, "new\r\n", IfMissing::kReport);
  ::dup2(input, STDIN_FILENO);
  ::close(input);
  EXPECT_EQ(withoutInput.status, AppendStatus::kWritten);
  EXPECT_EQ(ReadFile(log), "old\r\nnew\r\n");
}

TEST(DiskFileAppender, WritesASingleByteToAFileItMakes) {
  const TempFolder dir;
  const std::string path = (dir / "one").string();
  EXPECT_EQ(DiskFileAppender().Append(path, "x", IfMissing::kCreate).status, AppendStatus::kWritten);
  EXPECT_EQ(ReadFile(path), "x");
}

}  // namespace
}  // namespace gelvar::testing
