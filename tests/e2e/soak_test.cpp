// A long logging run in virtual time at one record a minute, against a unit that damages 5 % of its
// replies. An optimised build logs a whole day in about a second; a debug build (the sanitizer run)
// logs two hours, since it runs some twenty times slower. GELVAR_SOAK_HOURS sets another length;
// `make soak` logs a week.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "common/c_format.h"
#include "monitor/value_format.h"
#include "support/log_records.h"
#include "support/monitor_rig.h"
#include "support/report_table.h"

namespace gelvar::testing {
namespace {

constexpr std::int64_t kIntervalMs = 60'000;
#ifdef NDEBUG
constexpr int kDefaultHours = 24;
#else
constexpr int kDefaultHours = 2;
#endif

int SoakHours() {
  const char* hours = std::getenv("GELVAR_SOAK_HOURS");
  return hours != nullptr && std::atoi(hours) > 0 ? std::atoi(hours) : kDefaultHours;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Soak, OneWellFormedRecordPerMinuteWithoutGapsOrRepeats) {
  const int hours = SoakHours();
  const auto path = std::filesystem::temp_directory_path() / ("gelvar_soak_" + std::to_string(::getpid()) + ".log");
  std::filesystem::remove(path);
  StdioFileAppender files;
  MonitorRig rig(&files);
  rig.PinTemperatures();
  rig.Unit().Faults().badChecksumRate = 0.05;
  rig.view.logPath = path.string();
  rig.controller.Command(kCmdStartReadingVariables);
  ASSERT_TRUE(rig.RunUntilEvents('P', 1, 60'000));
  rig.LogEveryMinute();

  const auto wallStart = std::chrono::steady_clock::now();
  const std::int64_t startMs = rig.link.Scheduler().NowMs();
  // The record due at the end of the last hour belongs to the next hour.
  rig.link.RunFor(std::int64_t{hours} * 60 * kIntervalMs - 1);
  const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

  const std::vector<std::string> records = RecordLines(ReadFile(path));
  std::filesystem::remove(path);
  const int expected = hours * 60;
  ASSERT_EQ(static_cast<int>(records.size()), expected);
  ASSERT_EQ(rig.log.recordTimes.size(), records.size());
  std::vector<std::int64_t> recordMs;
  for (const Event& e : rig.log.events) {
    if (e.kind == 'L') recordMs.push_back(e.ms);
  }
  std::int64_t latestMs = 0;
  int malformed = 0;
  int unread = 0;
  for (int k = 0; k < expected; ++k) {
    const std::string& line = records[static_cast<std::size_t>(k)];
    ASSERT_EQ(RecordSetNumber(line), k + 1) << line;
    malformed += !IsWellFormedRecord(line);
    unread += HoldsUnreadValues(line);
    const std::time_t when = rig.log.recordTimes[static_cast<std::size_t>(k)];
    EXPECT_EQ(line.substr(7, 18), DateText(when) + "; " + TimeText(when)) << line;
    // Record k belongs to minute k of the run, however long it waited there for a pass to end.
    const std::int64_t dueMs = startMs + k * kIntervalMs;
    EXPECT_GE(recordMs[static_cast<std::size_t>(k)], dueMs) << line;
    EXPECT_LT(recordMs[static_cast<std::size_t>(k)], dueMs + kIntervalMs) << line;
    latestMs = std::max(latestMs, recordMs[static_cast<std::size_t>(k)] - dueMs);
  }
  EXPECT_EQ(malformed, 0);
  EXPECT_EQ(unread, 0);
  EXPECT_EQ(rig.controller.LogStatusText(), "Logging Activ");

  int steps = 0;
  int accepted = 0;
  for (const Event& e : rig.log.events) {
    steps += e.kind == 'S';
    accepted += e.kind == 'S' && e.outcome == StepOutcome::kAccepted;
  }
  ReportTable table({"Virtual time", "Records", "Set numbers", "Well formed", "With unread values",
                     "Latest record after its minute began", "Steps read", "Wall time"});
  table.AddRow({CFormat("%d h", hours), CFormat("%d", expected), CFormat("00001-%05d", expected),
                CFormat("%d", expected - malformed), CFormat("%d", unread), CFormat("%.2f s", latestMs / 1000.0),
                CFormat("%d of %d", accepted, steps), CFormat("%.1f s", wallSeconds)});
  table.Publish(CFormat("soak_%dh.md", hours));
}

// Passes of a silent unit take longer than the interval: records come at pass ends, skip the due times
// a pass covered, and never log one pass twice.
TEST(Soak, PassesLongerThanTheIntervalAreLoggedOnceEach) {
  MonitorRig rig;
  rig.Unit().Faults().silent = true;
  rig.controller.Command(kCmdStartReadingVariables);
  rig.LogEveryMinute();
  rig.link.RunFor(60 * kIntervalMs);
  int passesSinceRecord = 1;
  int records = 0;
  for (const Event& e : rig.log.events) {
    if (e.kind == 'P') ++passesSinceRecord;
    if (e.kind != 'L') continue;
    EXPECT_GE(passesSinceRecord, 1) << "record " << records + 1 << " at " << e.ms << " ms";
    passesSinceRecord = 0;
    ++records;
  }
  EXPECT_EQ(records, 1 + rig.log.Count('P'));
}

}  // namespace
}  // namespace gelvar::testing
