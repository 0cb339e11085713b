// The log file failing under a running log: every write in turn made to fail, once or until the
// file is writable again (as SQLite's I/O error tests walk their writes), and the real file system's
// ways to fail: the file or its folder deleted, the disk full. The user sees a failed record in status
// text 1080, nothing already written is damaged, and logging goes on once the file can be written again.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/c_format.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

namespace fs = std::filesystem;

// Fails the n-th append (counting from 1), and with `lasting` every one after it until healed. A
// failed append writes nothing: the file cannot be opened.
class FailingFiles : public FileAppender {
 public:
  FailingFiles(int n, bool lasting) : n_(n), lasting_(lasting) {}
  bool Append(const std::string& path, const std::string& bytes) override {
    ++appends;
    if (appends == n_) before = ReadFile(path);
    if (appends == n_ || (lasting_ && appends > n_ && !healed)) return false;
    return real_.Append(path, bytes);
  }
  int appends = 0;
  bool healed = false;
  std::string before;  // the file before the n-th append

 private:
  StdioFileAppender real_;
  int n_;
  bool lasting_;
};

class LogFileFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Reads variables, opens the log file and starts logging once a minute.
  void StartLogging(MonitorRig& rig) {
    rig.view.logPath = path_.string();
    rig.controller.Command(kCmdStartReadingVariables);
    rig.RunUntilEvents('P', 1, 10'000);
    rig.LogEveryMinute();
  }

  // Every line of the file is a header line or a well-formed record, and the set numbers rise.
  static void ExpectWholeLines(const std::string& text) {
    int lastSet = 0;
    for (const std::string& line : FileLines(text)) {
      if (line.starts_with("Logfile Gelvar started ") || line.starts_with("Set#;Date;Time;")) continue;
      EXPECT_TRUE(IsWellFormedRecord(line)) << line;
      EXPECT_GT(RecordSetNumber(line), lastSet) << line;
      lastSet = RecordSetNumber(line);
    }
    EXPECT_TRUE(text.empty() || text.ends_with("\r\n"));
  }

  const fs::path dir_ = fs::temp_directory_path() / ("gelvar_log_faults_" + std::to_string(::getpid()));
  const fs::path path_ = dir_ / "Gelvar.log";
};

// The set numbers below the counter that are not in the file.
std::string MissingSets(const std::string& text, int setCounter) {
  std::vector<bool> present(static_cast<std::size_t>(setCounter) + 1);
  for (const std::string& line : RecordLines(text)) present[static_cast<std::size_t>(RecordSetNumber(line))] = true;
  std::string missing;
  for (int set = 1; set <= setCounter; ++set) {
    if (!present[static_cast<std::size_t>(set)]) missing += (missing.empty() ? "" : ", ") + CFormat("%05d", set);
  }
  return missing.empty() ? "none" : missing;
}

TEST_F(LogFileFaults, EachWriteInTurnFailsOnceOrUntilTheFileIsBack) {
  std::vector<std::vector<std::string>> table = {
      {"Failing write", "Until", "Status 1080 seen", "Records in the file", "Set numbers missing"}};
  for (const bool lasting : {false, true}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE((lasting ? "lasting failure of write " : "failure of write ") + std::to_string(n));
      fs::remove(path_);
      FailingFiles files(n, lasting);
      MonitorRig rig(&files);
      StartLogging(rig);
      if (n == 1) {
        // The header could not be written: the box, no logging, and once healed a new try works.
        EXPECT_EQ(rig.view.alerts, std::vector<std::string>{"Error open log file: DateiLogName"});
        EXPECT_EQ(rig.TopLine(), "E> Logfile not opened");
        EXPECT_FALSE(fs::exists(path_));
        files.healed = true;
        rig.controller.Command(kCmdOpenLogFile);
        rig.controller.Command(kCmdStartLogging);
      }
      std::string statuses = rig.controller.LogStatusText();
      const auto watch = [&] {
        if (!statuses.ends_with(rig.controller.LogStatusText())) statuses += " \xE2\x86\x92 " + rig.controller.LogStatusText();
        return false;
      };
      rig.link.RunUntil(watch, 3 * 60'000);
      files.healed = true;
      rig.link.RunUntil(watch, 3 * 60'000);
      if (files.appends < n) break;  // every write has had its turn
      // One record more, so that the run ends with a record written after the failure.
      const int records = rig.log.Count('L');
      rig.link.RunUntil([&] { return watch() || rig.log.Count('L') > records; }, 2 * 60'000);

      const std::string text = ReadFile(path_.string());
      ExpectWholeLines(text);
      EXPECT_EQ(rig.controller.Mode(), kLoggingVariables);
      table.push_back({n == 1 ? "1 (header)" : CFormat("%d (record %d)", n, n - 1),
                       lasting ? "the file is back (3 min)" : "the next write", statuses,
                       CFormat("%d", static_cast<int>(RecordLines(text).size())),
                       MissingSets(text, rig.controller.LogSetCounter())});
      if (n == 1) continue;
      EXPECT_TRUE(text.starts_with(files.before)) << "bytes written before the failure are unchanged";
      EXPECT_EQ(statuses, "Logging Activ \xE2\x86\x92 Last record failed \xE2\x86\x92 Logging Activ");
      // The failed records' set numbers stay unused; the others are all in the file.
      const std::vector<Event> written = rig.log.Of('L');
      const auto failed = std::count_if(written.begin(), written.end(), [](const Event& e) { return !e.written; });
      EXPECT_EQ(static_cast<int>(RecordLines(text).size()), rig.controller.LogSetCounter() - failed);
      EXPECT_TRUE(lasting ? failed >= 1 : failed == 1) << failed;
    }
  }
  PublishTable("file_faults_seam.md", table);
}

// The process's file size limit; RLIM_INFINITY puts back the largest allowed.
void SetFileSizeLimit(rlim_t limit) {
  rlimit r{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &r), 0);
  r.rlim_cur = limit == RLIM_INFINITY ? r.rlim_max : limit;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &r), 0);
}

// The real file system. Each case breaks the file after two records and mends it a few minutes on.
TEST_F(LogFileFaults, RealFileDeletedFolderGoneDiskFull) {
  // A write beyond the file size limit stops part-way with EFBIG, as on a full disk; without this
  // the signal would end the process.
  ::signal(SIGXFSZ, SIG_IGN);
  const struct {
    const char* name;
    std::function<void(const fs::path& file)> breakIt;
    std::function<void(const fs::path& file)> mend;
    bool recordFails;  // the records meanwhile fail (a deleted file is simply made anew)
    bool keepsBefore;  // the bytes written before are still there
  } cases[] = {
      {"file deleted", [](const fs::path& f) { fs::remove(f); }, [](const fs::path&) {}, false, false},
      {"folder deleted", [](const fs::path& f) { fs::remove_all(f.parent_path()); },
       [](const fs::path& f) { fs::create_directories(f.parent_path()); }, true, false},
      // 100 bytes: half a record fits, the rest does not.
      {"disk full", [](const fs::path& f) { SetFileSizeLimit(fs::file_size(f) + 100); },
       [](const fs::path&) { SetFileSizeLimit(RLIM_INFINITY); }, true, true},
  };
  std::vector<std::vector<std::string>> table = {
      {"Case", "Records meanwhile", "Status 1080 meanwhile", "Bytes written before", "After mending"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(dir_);
    fs::remove(path_);
    StdioFileAppender files;
    MonitorRig rig(&files);
    StartLogging(rig);
    ASSERT_TRUE(rig.RunUntilEvents('L', 2, 2 * 60'000));
    const std::string before = ReadFile(path_.string());
    c.breakIt(path_);
    ASSERT_TRUE(rig.RunUntilEvents('L', 4, 3 * 60'000));
    const bool failedMeanwhile = !rig.log.events.back().written;
    const std::string statusMeanwhile = rig.controller.LogStatusText();
    c.mend(path_);
    ASSERT_TRUE(rig.RunUntilEvents('L', 5, 2 * 60'000));
    const std::string text = ReadFile(path_.string());

    EXPECT_EQ(failedMeanwhile, c.recordFails);
    EXPECT_EQ(statusMeanwhile, c.recordFails ? "Last record failed" : "Logging Activ");
    EXPECT_EQ(rig.controller.LogStatusText(), "Logging Activ");
    ExpectWholeLines(text);
    EXPECT_TRUE(!c.keepsBefore || text.starts_with(before));
    EXPECT_TRUE(RecordLines(text).back().starts_with("00005; "));
    table.push_back({c.name, failedMeanwhile ? "fail" : "written", statusMeanwhile,
                     c.keepsBefore ? "unchanged" : "gone with the file",
                     "record 00005 written, " + rig.controller.LogStatusText()});
  }
  ::signal(SIGXFSZ, SIG_DFL);
  PublishTable("file_faults_real.md", table);
}

}  // namespace
}  // namespace gelvar::testing
