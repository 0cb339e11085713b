// The read cycle against the simulated unit in virtual time, one timer message every 10 ms: the
// order of the variable list, the pause between passes and the progress bars.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "support/monitor_rig.h"
#include "support/row_name.h"

namespace gelvar::testing {
namespace {

struct ReadCycle : ::testing::Test {
  void FirstPass() {
    rig.monitor.StartReadingVariables();
    ASSERT_TRUE(rig.RunUntilEvents('P', 1, 10'000));
  }
  // The highest pause and variable bars seen at each timer message of the pause after the first pass.
  std::pair<int, int> WatchThePause() {
    std::pair<int, int> highest;
    rig.link.RunUntil(
        [&] {
          if (rig.monitor.Progress().pause == 0) return false;
          highest.first = std::max(highest.first, rig.monitor.Progress().pause);
          highest.second = std::max(highest.second, rig.monitor.Progress().variables);
          return false;
        },
        2'015);
    return highest;
  }
  MonitorRig rig;
};

TEST_F(ReadCycle, AVariablePassAsksTheFifteenObjectsInListOrder) {
  FirstPass();
  std::vector<std::uint32_t> ids;
  for (const auto& request : rig.Unit().Requests()) ids.push_back(request.objectId);
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{0x3000, 0x0C84, 0x3001, 0x0C85, 0x0C00, 0x0C86, 0x0C07, 0x0C90, 0x0C08,
                                             0x0C94, 0x0C0B, 0x0C95, 0x0C0C, 0x0C96, 0x0C80}));
}

TEST_F(ReadCycle, TheParameterBarStandsAt17AfterTheLastEntryAndDropsTo0AtTheNextMessage) {
  rig.monitor.ReadParameters();
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 10'000));
  const int afterLastEntry = rig.monitor.Progress().parameters;
  rig.link.RunFor(10);
  EXPECT_EQ(std::pair(afterLastEntry, rig.monitor.Progress().parameters), std::pair(17, 0));
}

TEST_F(ReadCycle, TheVariableBarStandsAt14AfterAPassThenThePauseBarClimbsTo2000WhileItStays0) {
  FirstPass();
  const int afterPass = rig.monitor.Progress().variables;
  EXPECT_EQ(std::tuple(afterPass, WatchThePause()), std::tuple(14, std::pair(2000, 0)));
}

// 201 messages count the 2000 ms down below zero, the next begins entry 0 and starts its
// transaction; its frame is out 30 ms later.
TEST_F(ReadCycle, TheNextPassAsksAfterAPauseOf2000ms) {
  FirstPass();
  const std::int64_t passEndMs = rig.link.Scheduler().NowMs();
  const std::size_t asked = rig.Unit().Requests().size();
  ASSERT_TRUE(rig.link.RunUntil([&] { return rig.Unit().Requests().size() > asked; }, 5'000));
  EXPECT_EQ(rig.Unit().Requests().back().atMs - passEndMs, 2050);
}

TEST_F(ReadCycle, TheLoggingBarCountsTheSecondsOfTheInterval) {
  rig.StartLogging();
  rig.link.RunFor(30'000);
  EXPECT_EQ(rig.monitor.Progress().logging, 30);
}

// Passes end every 3060 ms; after passesBefore of them the whole unit is silent for one pass (91.66 s),
// which holds back the record due while it runs. The record after it is due on the first record's grid
// and is written at the first pass end from then on: not in the same pause when the late one was
// written 1.87 s before that due time, and not an interval later when it was written right on it.
// clang-format off
struct LateRow { const char* name; int passesBefore; std::int64_t silentPassEnd, lateRecord, nextRecord; };
const LateRow kLateRows[] = {
    {"WrittenJustBeforeTheNextDueTime", 9, 119200, 119210, 122270},
    {"WrittenOnTheNextDueTime", 990, 3121060, 3121070, 3124130},
};
// clang-format on
void PrintTo(const LateRow& row, std::ostream* out) { *out << row.passesBefore << " passes, then a silent one"; }
class LateRecord : public ReadCycle, public ::testing::WithParamInterface<LateRow> {};

TEST_P(LateRecord, IsFollowedByOneAtTheNextPassEndAfterItsDueTime) {
  rig.StartLogging();
  ASSERT_TRUE(rig.RunUntilEvents('P', GetParam().passesBefore, 4'000'000));
  rig.Unit().Faults().silent = true;
  ASSERT_TRUE(rig.RunUntilEvents('P', GetParam().passesBefore + 1, 100'000));
  rig.Unit().Faults().silent = false;
  const int late = rig.log.Count('L');
  ASSERT_TRUE(rig.RunUntilEvents('L', late + 2, 100'000));
  EXPECT_EQ(std::tuple(rig.log.Of('P').at(GetParam().passesBefore).ms, rig.log.Of('L').at(late).ms,
                       rig.log.Of('L').at(late + 1).ms),
            std::tuple(GetParam().silentPassEnd, GetParam().lateRecord, GetParam().nextRecord));
}
INSTANTIATE_TEST_SUITE_P(Logging, LateRecord, ::testing::ValuesIn(kLateRows), kByName);

}  // namespace
}  // namespace gelvar::testing
