// The read cycle against the simulated unit in virtual time, one timer message every 10 ms: the
// order of the lists, the pause between passes, the log timer and the progress bars.
#include <gtest/gtest.h>

#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

using Ids = std::vector<std::uint32_t>;

Ids RequestedIds(MonitorRig& rig) {
  Ids ids;
  for (const auto& request : rig.Unit().Requests()) ids.push_back(request.objectId);
  return ids;
}

TEST(ReadCycle, ReadParametersAsksTheEighteenObjectsInListOrder) {
  MonitorRig rig;
  rig.monitor.ReadParameters();
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 10'000));
  EXPECT_EQ(RequestedIds(rig), (Ids{0x3003, 0x0C01, 0x0C81, 0x3000, 0x0C02, 0x0C91, 0x3002, 0x0C03, 0x0C82, 0x0C04,
                                    0x0C92, 0x0C05, 0x0C83, 0x0C06, 0x0C93, 0x3008, 0x0C0B, 0x0C0C}));
}

TEST(ReadCycle, AVariablePassAsksTheFifteenObjectsInListOrder) {
  MonitorRig rig;
  rig.monitor.StartReadingVariables();
  ASSERT_TRUE(rig.RunUntilEvents('P', 1, 10'000));
  EXPECT_EQ(RequestedIds(rig), (Ids{0x3000, 0x0C84, 0x3001, 0x0C85, 0x0C00, 0x0C86, 0x0C07, 0x0C90, 0x0C08, 0x0C94,
                                    0x0C0B, 0x0C95, 0x0C0C, 0x0C96, 0x0C80}));
}

TEST(ReadCycle, TheEndOfReadingParametersReturnsToPortOpen) {
  MonitorRig rig;
  rig.monitor.ReadParameters();
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 10'000));
  EXPECT_EQ(rig.monitor.Mode(), kPortOpen);
}

TEST(ReadCycle, TheParameterBarStandsAt17AfterTheLastEntry) {
  MonitorRig rig;
  rig.monitor.ReadParameters();
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 10'000));
  EXPECT_EQ(rig.monitor.Progress().parameters, 17);
}

TEST(ReadCycle, TheParameterBarDropsTo0AtTheNextMessage) {
  MonitorRig rig;
  rig.monitor.ReadParameters();
  ASSERT_TRUE(rig.RunUntilEvents('R', 1, 10'000));
  rig.link.RunFor(10);
  EXPECT_EQ(rig.monitor.Progress().parameters, 0);
}

TEST(ReadCycle, TheVariableBarStandsAt14AfterAPass) {
  MonitorRig rig;
  rig.monitor.StartReadingVariables();
  ASSERT_TRUE(rig.RunUntilEvents('P', 1, 10'000));
  EXPECT_EQ(rig.monitor.Progress().variables, 14);
}

// Seen at each timer message of the 2000 ms pause after the first pass.
struct PauseBars {
  int highestPause = 0;
  int highestVariables = 0;
};

PauseBars WatchThePause(MonitorRig& rig) {
  PauseBars seen;
  rig.RunUntilEvents('P', 1, 10'000);
  rig.link.RunUntil(
      [&] {
        if (rig.monitor.Progress().pause == 0) return false;
        seen.highestPause = std::max(seen.highestPause, rig.monitor.Progress().pause);
        seen.highestVariables = std::max(seen.highestVariables, rig.monitor.Progress().variables);
        return false;
      },
      2'015);
  return seen;
}

TEST(ReadCycle, ThePauseBarClimbsTo2000) {
  MonitorRig rig;
  rig.monitor.StartReadingVariables();
  EXPECT_EQ(WatchThePause(rig).highestPause, 2000);
}

TEST(ReadCycle, TheVariableBarStays0DuringThePause) {
  MonitorRig rig;
  rig.monitor.StartReadingVariables();
  EXPECT_EQ(WatchThePause(rig).highestVariables, 0);
}

// 201 messages count the 2000 ms down below zero, the next begins entry 0 and starts its
// transaction; its frame is out 30 ms later.
TEST(ReadCycle, TheNextPassAsksAfterAPauseOf2000ms) {
  MonitorRig rig;
  rig.monitor.StartReadingVariables();
  ASSERT_TRUE(rig.RunUntilEvents('P', 1, 10'000));
  const std::int64_t passEndMs = rig.link.Scheduler().NowMs();
  const std::size_t asked = rig.Unit().Requests().size();
  ASSERT_TRUE(rig.link.RunUntil([&] { return rig.Unit().Requests().size() > asked; }, 5'000));
  EXPECT_EQ(rig.Unit().Requests().back().atMs - passEndMs, 2050);
}

TEST(ReadCycle, TheFirstRecordIsWrittenAtTheFirstTimerMessage) {
  MonitorRig rig;
  rig.monitor.StartReadingVariables();
  rig.link.RunFor(105);
  const std::int64_t startMs = rig.link.Scheduler().NowMs();
  rig.LogEveryMinute();
  ASSERT_TRUE(rig.RunUntilEvents('L', 1, 1'000));
  EXPECT_EQ(rig.log.Of('L')[0].ms - startMs, 5);
}

TEST(ReadCycle, WithOneMinuteTheNextRecordComesAMinuteLater) {
  MonitorRig rig;
  rig.StartLogging();
  ASSERT_TRUE(rig.RunUntilEvents('L', 2, 70'000));
  EXPECT_EQ((rig.log.Of('L')[1].ms - rig.log.Of('L')[0].ms) / 1000, 60);
}

TEST(ReadCycle, TheLoggingBarCountsTheSecondsOfTheInterval) {
  MonitorRig rig;
  rig.StartLogging();
  rig.link.RunFor(30'000);
  EXPECT_EQ(rig.monitor.Progress().logging, 30);
}

TEST(ReadCycle, StopLoggingSetsTheSetCounterBackTo0) {
  MonitorRig rig;
  rig.StartLogging();
  rig.link.RunFor(10);
  rig.monitor.StopLogging();
  rig.link.RunFor(10);
  EXPECT_EQ(rig.monitor.LogSetCounter(), 0);
}

TEST(ReadCycle, StoppingTheReaderLetsTheStepInProgressShowItsReply) {
  MonitorRig rig;
  rig.monitor.StartReadingVariables();
  rig.link.RunFor(20);
  rig.monitor.StopReadingVariables();
  rig.link.RunFor(200);
  EXPECT_EQ(std::tuple(rig.monitor.Fields().Text(Field::kAdmErrorFlags), rig.Unit().Requests().size()),
            std::tuple(std::string("0000"), std::size_t{1}));
}

}  // namespace
}  // namespace gelvar::testing
