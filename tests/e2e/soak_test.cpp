// A long logging run in virtual time at one record a minute, against a unit that damages 5 % of its
// replies. An optimised build logs a whole day in about a second; a debug build (the sanitizer run)
// logs two hours, since it runs some twenty times slower. GELVAR_SOAK_HOURS sets another length;
// `make soak` logs a week.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "common/c_format.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

constexpr std::int64_t kIntervalMs = 60'000;
#ifdef NDEBUG
constexpr int kDefaultHours = 24;
#else
constexpr int kDefaultHours = 2;
#endif

// Logging starts at a pass end: the first record is written at once, in the pause before the next pass
// ends; every later one right at a pass end, on the grid of the first record, whatever passes cost.
TEST(Soak, OneWellFormedRecordPerMinuteWithoutGapsOrRepeats) {
  const char* hoursSet = std::getenv("GELVAR_SOAK_HOURS");
  const int hours = hoursSet != nullptr && std::atoi(hoursSet) > 0 ? std::atoi(hoursSet) : kDefaultHours;
  const TempDir dir;
  PosixFileAppender files;
  MonitorRig rig(&files);
  rig.PinTemperatures();
  rig.Unit().Faults().badChecksumRate = 0.05;
  rig.view.logPath = dir / "soak.log";
  ASSERT_TRUE(rig.StartLogging(60'000));

  const auto wallStart = std::chrono::steady_clock::now();
  const std::int64_t startMs = rig.link.Scheduler().NowMs();
  // The record due at the end of the last hour belongs to the next hour.
  rig.link.RunFor(std::int64_t{hours} * 60 * kIntervalMs - 1);
  const std::chrono::duration<double> wallSeconds = std::chrono::steady_clock::now() - wallStart;

  const std::vector<std::string> records = RecordLines(ReadFile(rig.view.logPath));
  const int expected = hours * 60;
  ASSERT_EQ(static_cast<int>(records.size()), expected);
  const std::vector<Event> written = rig.log.Of('L');
  ASSERT_EQ(written.size(), records.size());
  EXPECT_EQ(written[0].ms, startMs + 10) << "the first record at the first timer message";
  std::int64_t latestMs = 0;
  int malformed = 0;
  int unread = 0;
  for (std::size_t k = 0, event = 0; k < records.size(); ++k, ++event) {
    const std::string& line = records[k];
    ASSERT_EQ(RecordSetNumber(line), static_cast<int>(k) + 1) << line;
    malformed += !IsWellFormedRecord(line);
    unread += HoldsUnreadValues(line);
    // Record k belongs to minute k of the grid, however long it waited there for a pass to end.
    const std::int64_t dueMs = written[0].ms + static_cast<std::int64_t>(k) * kIntervalMs;
    EXPECT_GE(written[k].ms, dueMs) << line;
    EXPECT_LT(written[k].ms, dueMs + kIntervalMs) << line;
    latestMs = std::max(latestMs, written[k].ms - dueMs);
    while (rig.log.events[event].kind != 'L') ++event;
    if (k > 0) {
      EXPECT_EQ(rig.log.events[event - 1].kind, 'P') << "record " << k + 1 << " right after a pass end";
    }
  }
  EXPECT_EQ(malformed, 0);
  EXPECT_EQ(unread, 0);

  PublishTable(CFormat("soak_%dh.md", hours),
               {{"Virtual time", "Records", "Set numbers", "Well formed", "With unread values",
                 "Latest record after its minute began", "Steps read", "Wall time"},
                {CFormat("%d h", hours), CFormat("%d", expected), CFormat("00001-%05d", expected),
                 CFormat("%d", expected - malformed), CFormat("%d", unread), CFormat("%.2f s", latestMs / 1000.0),
                 CFormat("%d of %d", rig.log.accepted, rig.log.Count('S')), CFormat("%.1f s", wallSeconds.count())}});
}

}  // namespace
}  // namespace gelvar::testing
