// The converter: its queue of two requests, its sends, retries and back-offs in ticks, and the three
// reply slots with their lifetime.
#include "core/link/link_bench.h"

namespace gelvar::testing {
namespace {

struct QueueRow {
  const char* name;
  int posts;  // without a tick between them
  std::uint8_t lastResult;
  int fill;
  int overflows;
};

class QueueAfterPosts : public LinkBench, public ::testing::WithParamInterface<QueueRow> {};

TEST_P(QueueAfterPosts, HoldsAtMostTwo) {
  const QueueRow& row = GetParam();
  std::uint8_t result = kLinkOk;
  for (int i = 0; i < row.posts; ++i) result = Post(0x3003);
  EXPECT_EQ(result, row.lastResult);
  EXPECT_EQ(StatusOf(kQueueFill), row.fill);
  EXPECT_EQ(Count(kQueueOverflows), row.overflows);
}

const QueueRow kQueueRows[] = {
    {"ThirdIsRefusedAndCounted", 3, kLinkRefused, 2, 1},
    {"CounterWrapsAfter255", 258, kLinkRefused, 2, 0},
};
INSTANTIATE_TEST_SUITE_P(Posts, QueueAfterPosts, ::testing::ValuesIn(kQueueRows), RowName());

TEST_F(LinkBench, PostedRecordComesBackWithoutItsDataCount) {
  ObjectRequest request{0, 2, 0x3003, 0, {1, 2}};
  ASSERT_EQ(link_post(link, &request), kLinkOk);
  EXPECT_EQ(request.count, 0);
}

TEST_F(LinkBench, ClosedLinkRefusesPostAndFetchAsNotOpen) {
  link_reset(link);
  EXPECT_EQ(Post(0x3003), kLinkNotOpen);
  EXPECT_EQ(Fetch(0x3003), -2);
}

TEST_F(LinkBench, OnlyChannelZeroOpens) {
  EXPECT_EQ(link_open(link, 1), kLinkNotOpen);
  EXPECT_FALSE(link_is_open(link, 1));
  EXPECT_TRUE(link_is_open(link, 0));
}

TEST_F(LinkBench, ConverterShowsIdleAndTimeout100AfterTheFirstTick) {
  Tick();
  EXPECT_EQ(StatusOf(kConverterState), kConvIdle);
  EXPECT_EQ(StatusOf(kTimeoutValue), 100);
}

TEST_F(LinkBench, SecondRequestLeavesTwoTicksAfterTheFirst) {
  Post(0x1234);
  Post(0x0001);
  // Tick 1 builds the first frame, 2 sends it, 3 retires it and builds the second, 4 sends that.
  EXPECT_EQ(TickUntil([&] { return sent.size() == 8; }), 4);
  EXPECT_EQ(sent, (Bytes{0x54, 0x48, 0xD1, 0x91, 0x54, 0x00, 0x05, 0xA6}));
}

TEST_F(LinkBench, EmptiedQueueTakesTwoRequestsAgain) {
  Post(0x1234);
  Post(0x0001);
  Tick(5);  // tick 5 retires the second
  EXPECT_EQ(Post(0x1234), kLinkOk);
  EXPECT_EQ(Post(0x0001), kLinkOk);
}

class UnsentRequest : public LinkBench {
 protected:
  void SetUp() override {
    lineUp = false;
    ASSERT_EQ(Post(0x1234), kLinkOk);
  }
  // The ticks at which the driver starts a frame: the frame number the trace panes show goes up.
  std::vector<int> FrameStartTicks(int ticks) {
    std::vector<int> starts;
    for (int i = 0, frames = 0; i < ticks; ++i) {
      Tick();
      if (link.frameNumber != frames) starts.push_back(ticksRun);
      frames = link.frameNumber;
    }
    return starts;
  }
};

TEST_F(UnsentRequest, IsStartedFourTimesAfterBackoffsTakenFromItsIdAndTries) {
  // Each try waits 32 steps, is aborted at the 33rd and waits its back-off from the 34th:
  // ((0x1234 >> tries) & 15) + 1 steps, 11, 14 and 7 after one, two and three tries.
  // 47 = 2 + 34 + 11, 95 = 47 + 34 + 14, 136 = 95 + 34 + 7.
  EXPECT_EQ(FrameStartTicks(300), (std::vector<int>{2, 47, 95, 136}));
}

TEST_F(UnsentRequest, IsDroppedAndCounted32StepsAfterItsFourthStart) {
  EXPECT_EQ(TickUntil([&] { return Count(kDropped) == 1; }), 168);  // 136 + 32
}

TEST_F(UnsentRequest, NextRequestGoesOutAfterAFreshBackoffOnceTheFirstIsDropped) {
  Post(0x3003);
  TickUntil([&] { return Count(kDropped) == 1; });
  LineUp();
  // Tick 169 aborts the fourth try, 170 starts the back-off of 0x3003 with no tries: 3 + 1 steps.
  EXPECT_EQ(TickUntil([&] { return !sent.empty(); }), 174);
  EXPECT_EQ(sent, (Bytes{0x54, 0xC0, 0x0C, 0xDE}));
}

struct ReceptionRow {
  const char* name;
  int ticks;  // between a reply's first byte and its others
  int found;
  int timeouts;
};

class SlowReply : public LinkBench, public ::testing::WithParamInterface<ReceptionRow> {};

TEST_P(SlowReply, IsGivenUp32StepsAfterItsFirstByte) {
  const ReceptionRow& row = GetParam();
  const Bytes reply = EncodeFrame(0x1234, {});
  Tick();
  FeedBytes(link, {reply[0]});
  Tick(row.ticks);
  FeedBytes(link, Bytes(reply.begin() + 1, reply.end()));
  Tick();
  EXPECT_EQ(Fetch(0x1234), row.found);
  EXPECT_EQ(Count(kRxTimeouts), row.timeouts);
}

// The tick after the first byte notices the reception, the 33rd counts it as timed out, and the
// 34th aborts it: bytes that complete it before then still make a reply.
const ReceptionRow kReceptionRows[] = {
    {"CompleteAfter32TicksIsTaken", 32, 0x1234, 0},
    {"After33TicksIsCounted", 33, 0x1234, 1},
    {"CompleteAfter34TicksIsLost", 34, 0, 1},
};
INSTANTIATE_TEST_SUITE_P(Ticks, SlowReply, ::testing::ValuesIn(kReceptionRows), RowName());

TEST_F(LinkBench, ReplyAfterAGivenUpReceptionIsTakenWhole) {
  Tick();
  FeedBytes(link, {0x56, 0x00});
  Tick(40);
  Reply(0x1234);
  EXPECT_EQ(Fetch(0x1234), 0x1234);
}

TEST_F(LinkBench, RequestWaitingThroughAReplyLeavesAfterItsBackoff) {
  Tick();
  FeedBytes(link, {0x54});
  Post(0x1234);
  Tick();
  FeedBytes(link, {0x48, 0xD1, 0x91});
  // Tick 3 sees the reply done and starts 5 steps of back-off ((0x1234 & 15) + 1); tick 8 sends.
  EXPECT_EQ(TickUntil([&] { return !sent.empty(); }), 8);
}

TEST_F(LinkBench, ReplyDuringTheBackoffStartsItAgain) {
  Tick();
  FeedBytes(link, {0x54});
  Post(0x1234);
  Tick();
  FeedBytes(link, {0x48, 0xD1, 0x91});
  Tick(2);
  FeedBytes(link, {0x54});
  Tick();
  FeedBytes(link, {0x48, 0xD1, 0x91});
  // Tick 5 sees the second reply begin, tick 6 its end and a new back-off of 5 steps; tick 11 sends.
  EXPECT_EQ(TickUntil([&] { return !sent.empty(); }), 11);
}

TEST_F(LinkBench, FrameThatLeftBeforeTheReplyBeganIsNotSentAgain) {
  Post(0x1234);
  Tick(2);
  FeedBytes(link, {0x54});
  Tick();
  FeedBytes(link, {0x48, 0xD1, 0x91});
  Tick(200);
  EXPECT_EQ(sent, (Bytes{0x54, 0x48, 0xD1, 0x91}));
}

TEST_F(LinkBench, DriverOffUnderAnIdleConverterIsLinkErrorTwenty) {
  Tick();
  drv_clear(link);
  Tick();
  EXPECT_EQ(link_last_error(link).errorClass, 3);
  EXPECT_EQ(link_last_error(link).code, 20);
}

struct LifetimeRow {
  const char* name;
  std::uint32_t elapsedMs;  // per link_timer call
  int calls;
  int found;
  int slotsInUse;  // before the fetch
};

class ReplyAfterTimerCalls : public LinkBench, public ::testing::WithParamInterface<LifetimeRow> {};

TEST_P(ReplyAfterTimerCalls, LivesTwentyStepsOfTenMs) {
  const LifetimeRow& row = GetParam();
  Reply(0x1234, {1, 2});  // with data, so that an expired slot is told from a free one
  for (int i = 0; i < row.calls; ++i) link_timer(link, row.elapsedMs);
  EXPECT_EQ(StatusOf(kSlotsInUse), row.slotsInUse);
  EXPECT_EQ(Fetch(0x1234), row.found);
}

const LifetimeRow kLifetimeRows[] = {
    {"FetchableAfter19Steps", 10, 19, 0x1234, 1}, {"ExpiredAfter20Steps", 10, 20, 0, 1},
    {"FreedAfter21Steps", 10, 21, 0, 0},          {"NineMsMakeNoStepAlone", 9, 38, 0x1234, 1},  // 19 steps: 18 ms each
    {"NineMsTwiceMakeAStep", 9, 40, 0, 1},        {"ExcessOverTenMsIsDropped", 25, 19, 0x1234, 1},
    {"ZeroMsNeverStep", 0, 1000, 0x1234, 1},
};
INSTANTIATE_TEST_SUITE_P(Steps, ReplyAfterTimerCalls, ::testing::ValuesIn(kLifetimeRows), RowName());

TEST_F(LinkBench, FiveMsTicksStepTheLinkTimerEverySecondTick) {
  link.periods.tick = 5;
  Reply(0x1234);
  Tick(39);  // 19 steps of a lifetime of 20
  EXPECT_EQ(Fetch(0x1234), 0x1234);
}

struct FetchRow {
  const char* name;
  std::uint32_t replyId;
  std::uint32_t askedId;
  std::uint8_t mask;
  int first;   // what the first fetch finds, 0 for nothing
  int second;  // and the second
};

class Fetched : public LinkBench, public ::testing::WithParamInterface<FetchRow> {};

TEST_P(Fetched, MatchesTheUnmaskedIdAndKeepsOnly0380To03FF) {
  const FetchRow& row = GetParam();
  Reply(row.replyId);
  EXPECT_EQ(Fetch(row.askedId, row.mask), row.first);
  EXPECT_EQ(Fetch(row.askedId, row.mask), row.second);
}

const FetchRow kFetchRows[] = {
    {"ExactWithoutMask", 0x0C85, 0x0C80, 0x00, 0, 0},       {"MaskedBitsMayDiffer", 0x0C85, 0x0C80, 0x0F, 0x0C85, 0},
    {"UnmaskedBitMayNot", 0x0C95, 0x0C80, 0x0F, 0, 0},      {"HighByteIsNeverMasked", 0x0D85, 0x0C85, 0xFF, 0, 0},
    {"Below0380IsTakenOnce", 0x037F, 0x037F, 0, 0x037F, 0}, {"First0380Stays", 0x0380, 0x0380, 0, 0x0380, 0x0380},
    {"Last03FFStays", 0x03FF, 0x03FF, 0, 0x03FF, 0x03FF},   {"Above03FFIsTakenOnce", 0x0400, 0x0400, 0, 0x0400, 0},
};
INSTANTIATE_TEST_SUITE_P(Replies, Fetched, ::testing::ValuesIn(kFetchRows), RowName());

}  // namespace
}  // namespace gelvar::testing
