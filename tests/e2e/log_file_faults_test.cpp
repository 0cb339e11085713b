// The log file failing under a running log: every write in turn made to fail, once or until the
// file is writable again (as SQLite's I/O error tests walk their writes), and a full disk on the real
// file system. The user sees a failed record in status text 1080, nothing already written is damaged,
// and logging goes on once the file can be written again.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/c_format.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

// Fails the n-th append (counting from 1), and with `lasting` every one after it until healed. A
// failed append writes nothing: the file cannot be opened.
struct FailingFiles : MemoryFiles {
  FailingFiles(int n, bool lasting) : n(n), lasting(lasting) {}
  AppendResult Append(const std::string& path, const std::string& bytes, IfMissing ifMissing) override {
    if (++appends == n && files.contains(path)) before = files.at(path);
    if (appends == n || (lasting && appends > n && !healed)) return {AppendStatus::kFailed, "Permission denied"};
    return MemoryFiles::Append(path, bytes, ifMissing);
  }
  const int n;
  const bool lasting;
  int appends = 0;
  bool healed = false;
  std::string before;  // the file before the n-th append
};

// Every line of the file is a header line or a well-formed record, and the set numbers rise.
void ExpectWholeLines(const std::string& text) {
  int lastSet = 0;
  for (const std::string& line : FileLines(text)) {
    if (line.starts_with("Logfile Gelvar started ") || line.starts_with("Set#;Date;Time;")) continue;
    EXPECT_TRUE(IsWellFormedRecord(line)) << line;
    EXPECT_GT(RecordSetNumber(line), lastSet) << line;
    lastSet = RecordSetNumber(line);
  }
  EXPECT_TRUE(text.empty() || text.ends_with("\r\n"));
}

TEST(LogFileFaults, EachWriteInTurnFailsOnceOrUntilTheFileIsBack) {
  const std::string path = "Gelvar.log";
  std::vector<std::vector<std::string>> table = {
      {"Failing write", "Until", "Status 1080 seen", "Records in the file", "Set numbers missing"}};
  for (const bool lasting : {false, true}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE((lasting ? "lasting failure of write " : "failure of write ") + std::to_string(n));
      FailingFiles files(n, lasting);
      MonitorRig rig(&files);
      rig.view.logPath = path;
      rig.StartLogging();
      if (n == 1) {
        // The header could not be written: the box, no logging, and once healed a new try works.
        EXPECT_EQ(rig.view.alerts,
                  std::vector<std::string>{"Error open log file: DateiLogName\n" + path + ": Permission denied"});
        EXPECT_EQ(rig.TopLine(), "E> Logfile not opened");
        EXPECT_EQ(files.files.count(path), 0u);
        files.healed = true;
        rig.controller.Command(kCmdOpenLogFile);
        rig.controller.Command(kCmdStartLogging);
      }
      std::string statuses = rig.controller.LogStatusText();
      const auto watch = [&] {
        const std::string now = rig.controller.LogStatusText();
        if (!statuses.ends_with(now)) statuses += " \xE2\x86\x92 " + now;
        return false;
      };
      rig.link.RunUntil(watch, 3 * 60'000);
      files.healed = true;
      rig.link.RunUntil(watch, 3 * 60'000);
      if (files.appends < n) break;  // every write has had its turn
      // One record more, so that the run ends with a record written after the failure.
      const int records = rig.log.Count('L');
      rig.link.RunUntil([&] { return watch() || rig.log.Count('L') > records; }, 2 * 60'000);

      const std::string& text = files.files[path];
      ExpectWholeLines(text);
      EXPECT_EQ(rig.controller.Mode(), kLoggingVariables);
      int failed = 0;
      std::string missing;  // the set numbers of the failed records
      for (const Event& e : rig.log.Of('L')) {
        if (e.written) continue;
        ++failed;
        missing += (missing.empty() ? "" : ", ") + CFormat("%05d", e.set);
      }
      const int inFile = static_cast<int>(RecordLines(text).size());
      table.push_back({n == 1 ? "1 (header)" : CFormat("%d (record %d)", n, n - 1),
                       lasting ? "the file is back (3 min)" : "the next write", statuses, CFormat("%d", inFile),
                       missing.empty() ? "none" : missing});
      // The failed records' set numbers stay unused; the others are all in the file.
      EXPECT_EQ(inFile, rig.controller.LogSetCounter() - failed);
      if (n == 1) continue;
      EXPECT_TRUE(text.starts_with(files.before)) << "bytes written before the failure are unchanged";
      EXPECT_EQ(statuses, "Logging Activ \xE2\x86\x92 Last record failed \xE2\x86\x92 Logging Activ");
      EXPECT_TRUE(lasting ? failed >= 1 : failed == 1) << failed;
    }
  }
  PublishTable("file_faults_seam.md", table);
}

// A full disk on the real file system: a write beyond the file size limit stops part-way with EFBIG.
// The torn record is cut back, so the bytes written before stay as they were and the next record
// after mending starts on a line of its own. Then the file is deleted (or moved): the next record
// starts a new file with both header lines, and the pane says so with the error tones.
TEST(LogFileFaults, FullDiskLeavesNoTornLineAndAMissingFileStartsAgain) {
  const TempDir dir;
  PosixFileAppender files;
  MonitorRig rig(&files);
  rig.view.logPath = dir / "Gelvar.log";
  rig.StartLogging();
  ASSERT_TRUE(rig.RunUntilEvents('L', 2, 2 * 60'000));
  const std::string before = ReadFile(rig.view.logPath);
  {
    const FileSizeLimit full(before.size() + 100);  // half a record fits, the rest does not
    ASSERT_TRUE(rig.RunUntilEvents('L', 3, 2 * 60'000));
    EXPECT_EQ(rig.controller.LogStatusText(), "Last record failed");
  }
  EXPECT_EQ(ReadFile(rig.view.logPath), before);
  ASSERT_TRUE(rig.RunUntilEvents('L', 4, 2 * 60'000));
  EXPECT_EQ(rig.controller.LogStatusText(), "Logging Activ");
  const std::string text = ReadFile(rig.view.logPath);
  ExpectWholeLines(text);
  EXPECT_TRUE(text.starts_with(before));
  EXPECT_TRUE(RecordLines(text).back().starts_with("00004; "));

  std::filesystem::remove(rig.view.logPath);
  ASSERT_TRUE(rig.RunUntilEvents('L', 5, 2 * 60'000));
  const std::vector<std::string> lines = FileLines(ReadFile(rig.view.logPath));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].starts_with("Logfile Gelvar started ")) << lines[0];
  EXPECT_TRUE(lines[1].starts_with("Set#;Date;Time;")) << lines[1];
  EXPECT_TRUE(lines[2].starts_with("00005; ")) << lines[2];
  EXPECT_EQ(rig.TopLine(), "E> Logfile missing, new file started");
  EXPECT_EQ(rig.view.tones.back(), (std::vector<int>{2000, 120, 1000, 80}));
  EXPECT_EQ(rig.controller.LogStatusText(), "Logging Activ");
}

}  // namespace
}  // namespace gelvar::testing
