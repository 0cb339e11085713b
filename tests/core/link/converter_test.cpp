// The converter: its queue of two requests, and its sends, retries, back-offs and receptions in ticks.
#include "core/link/link_bench.h"

namespace gelvar::testing {
namespace {

using Converter = LinkBench;

// clang-format off
// Posts without a tick between them, the last refused; the queue's fill and the overflows counted.
struct QueueRow { const char* name; int posts, fill, overflows; };
const QueueRow kQueueRows[] = {{"ThirdIsRefusedAndCounted", 3, 2, 1}, {"CounterWrapsAfter255", 258, 2, 0}};
// clang-format on
class QueueAfterPosts : public LinkBench, public ::testing::WithParamInterface<QueueRow> {};

TEST_P(QueueAfterPosts, HoldsAtMostTwo) {
  for (int i = 1; i < GetParam().posts; ++i) Post(0x3003);
  EXPECT_EQ(Post(0x3003), kLinkRefused);
  EXPECT_EQ(Shown(kQueueFill), GetParam().fill);
  EXPECT_EQ(Shown(kQueueOverflows), GetParam().overflows);
}
INSTANTIATE_TEST_SUITE_P(Posts, QueueAfterPosts, ::testing::ValuesIn(kQueueRows), kByName);

TEST_F(Converter, EmptiedQueueTakesTwoRequestsAgain) {
  Post(0x1234);
  Post(0x0001);
  Tick(5);  // tick 5 retires the second
  EXPECT_EQ(Post(0x1234), kLinkOk);
  EXPECT_EQ(Post(0x0001), kLinkOk);
}

TEST_F(Converter, PostedRecordComesBackWithoutItsDataCount) {
  ObjectRequest request{0, 2, 0x3003, 0, {1, 2}};
  ASSERT_EQ(link_post(link, &request), kLinkOk);
  EXPECT_EQ(request.count, 0);
}

TEST_F(Converter, ClosedLinkRefusesPostAndFetchAsNotOpen) {
  link_reset(link);
  EXPECT_EQ(Post(0x3003), kLinkNotOpen);
  EXPECT_EQ(Fetch(0x3003), -2);
}

TEST_F(Converter, OnlyChannelZeroOpens) {
  EXPECT_EQ(link_open(link, 1), kLinkNotOpen);
  EXPECT_FALSE(link_is_open(link, 1));
  EXPECT_TRUE(link_is_open(link, 0));
}

// clang-format off
// Steps: P posts 0x1234 and Q 0x0001, t is a tick, r the first byte of a reply and R its others. The
// ticks, counted from the link's start and up to the 200th, at which bytes went out.
struct SendRow { const char* name; const char* steps; std::vector<int> sendTicks; };
// 3 retires the first frame and builds the second. A reply done starts a back-off of (0x1234 & 15) + 1
// = 5 steps: seen done at 3, sent at 8; a reply beginning in the back-off (5) starts it again at its end (6).
const SendRow kSendRows[] = {
    {"SecondRequestLeavesTwoTicksAfterTheFirst", "PQ", {2, 4}},
    {"RequestWaitingThroughAReplyLeavesAfterItsBackoff", "tPrtR", {8}},
    {"ReplyDuringTheBackoffStartsItAgain", "tPrtRttrtR", {11}},
    {"FrameThatLeftBeforeTheReplyBeganIsNotSentAgain", "PttrtR", {2}},
};
// clang-format on
class Sends : public LinkBench, public ::testing::WithParamInterface<SendRow> {};

TEST_P(Sends, LeaveAtTheseTicks) {
  std::vector<int> ticks;
  const auto tick = [&] {
    const std::size_t before = sent.size();
    Tick();
    if (sent.size() != before) ticks.push_back(ticksRun);
  };
  for (const char* step = GetParam().steps; *step != '\0'; ++step) {
    if (*step == 'P' || *step == 'Q') Post(*step == 'P' ? 0x1234 : 0x0001);
    if (*step == 't') tick();
    if (*step == 'r' || *step == 'R') FeedBytes(link, *step == 'r' ? Bytes{0x54} : Bytes{0x48, 0xD1, 0x91});
  }
  while (ticksRun < 200) tick();
  EXPECT_EQ(ticks, GetParam().sendTicks);
}
INSTANTIATE_TEST_SUITE_P(Steps, Sends, ::testing::ValuesIn(kSendRows), kByName);

TEST_F(Converter, RequestsLeaveInTheOrderPosted) {
  Post(0x0001);
  Post(0x1234);
  Tick(4);
  EXPECT_EQ(sent, (Bytes{0x54, 0x00, 0x05, 0xA6, 0x54, 0x48, 0xD1, 0x91}));
}

TEST_F(Converter, UnsentRequestIsStartedFourTimesAfterBackoffsFromItsIdAndTriesThenDroppedAndCounted) {
  lineUp = false;
  ASSERT_EQ(Post(0x1234), kLinkOk);
  // Each try waits 32 steps, is aborted at the 33rd and waits its back-off from the 34th:
  // ((0x1234 >> tries) & 15) + 1 steps, 11, 14 and 7 after one, two and three tries.
  // 47 = 2 + 34 + 11, 95 = 47 + 34 + 14, 136 = 95 + 34 + 7; dropped at 168 = 136 + 32.
  // The trace panes' frame number counts the starts; the starts, then the tick of the drop.
  std::vector<int> ticks;
  for (int frames = 0; Shown(kDropped) == 0 && ticksRun < 300; frames = link.frameNumber) {
    Tick();
    if (link.frameNumber != frames || Shown(kDropped) != 0) ticks.push_back(ticksRun);
  }
  EXPECT_EQ(ticks, (std::vector<int>{2, 47, 95, 136, 168}));
}

// clang-format off
// The ticks between a reply's first byte and its others; what a fetch then finds, the time-outs counted.
struct ReceptionRow { const char* name; int ticks, found, timeouts; };
// The tick after the first byte notices the reception, the 33rd counts it as timed out, and the
// 34th aborts it: bytes that complete it before then still make a reply.
const ReceptionRow kReceptionRows[] = {
    {"CompleteAfter32TicksIsTaken", 32, 0x1234, 0},
    {"After33TicksIsCounted", 33, 0x1234, 1},
    {"CompleteAfter34TicksIsLost", 34, 0, 1},
};
// clang-format on
class SlowReply : public LinkBench, public ::testing::WithParamInterface<ReceptionRow> {};

TEST_P(SlowReply, IsGivenUp32StepsAfterItsFirstByte) {
  Tick();
  FeedBytes(link, {0x54});
  Tick(GetParam().ticks);
  FeedBytes(link, {0x48, 0xD1, 0x91});
  Tick();
  EXPECT_EQ(Fetch(0x1234), GetParam().found);
  EXPECT_EQ(Shown(kRxTimeouts), GetParam().timeouts);
}
INSTANTIATE_TEST_SUITE_P(Ticks, SlowReply, ::testing::ValuesIn(kReceptionRows), kByName);

}  // namespace
}  // namespace gelvar::testing
