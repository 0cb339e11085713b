// One request/reply exchange at a time, counted in ticks of the link's period: post, a window of
// 750 ms for the reply, eight windows at most, and an outcome held 2000 ms for its caller; and the
// three reply slots the exchange fetches from, with their lifetime.
#include "core/link/transaction.h"
#include "core/link/link_bench.h"

namespace gelvar::testing {
namespace {

class Transaction : public LinkBench {
 protected:
  int Poll() { return transaction.Poll(&reply, &tries, &cycles, &ms); }

  LinkTransaction transaction{link};
  ObjectRequest reply{0, 9, 9, 9, {9, 9, 9, 9}};
  int tries = -1, cycles = -1, ms = -1;
};

// clang-format off
// A read of 0x3003 at a tick period. The link is closed for the first ticks, so that the posts are
// refused; the reply comes after a tick (0: never); after a tick the bytes sent, and the poll's outcome
// and the tries refused, cycles used and ms waited in this window it gives (not checked where empty).
struct ExchangeRow { const char* name; int period, closed, reply, poll, sent, outcome; std::vector<int> progress; };
// Tick 1 posts, 3 sends; a window runs out after 75 ticks of 10 ms (1 to post + 74 waiting while at
// least one period is left; 15 of 50 ms), so each of the eight cycles takes 76 ticks: the second posts
// at 77 and sends at 79, the last posts at 533 and ends at 608 = 1 + 7 * 76 + 75. An outcome is held
// 200 ticks, the last while at least 10 ms are left: a reply done at tick 4 till 203, a failure at
// tick 3 till 202. A reply in the window's last tick, 76, spares the repost.
const ExchangeRow kExchangeRows[] = {
    {"FirstWindowCountsItsMs", 10, 0, 0, 11, 4, kPollBusy, {0, 0, 100}},
    {"SecondWindowWaitsAfresh", 10, 0, 0, 100, 8, kPollBusy, {0, 1, 230}},
    {"SecondFrameNotYetAtTick78", 10, 0, 0, 78, 4, kPollBusy, {}},
    {"SecondFrameLeavesAtTick79", 10, 0, 0, 79, 8, kPollBusy, {}},
    {"FiftyMsTicksSecondFrameNotYetAt18", 50, 0, 0, 18, 4, kPollBusy, {}},
    {"FiftyMsTicksSecondFrameLeavesAt19", 50, 0, 0, 19, 8, kPollBusy, {}},
    {"LastWindowsLastTick", 10, 0, 0, 607, 32, kPollBusy, {0, 7, 740}},
    {"SilentUnitFailsWhenTheEighthWindowRunsOut", 10, 0, 0, 608, 32, kPollFailed, {0, 0, 0}},
    {"ReplyEndsItAtTheNextTickWithItsDataCount", 10, 0, 3, 4, 4, 2, {0, 0, 0}},
    {"ReplyInTheWindowsLastTickIsNotAskedAgain", 10, 0, 75, 90, 4, 2, {}},
    {"ReplyAfterTheWindowIsTakenAfterTheRepost", 10, 0, 76, 90, 8, 2, {}},
    {"ReplyHeldTill203", 10, 0, 3, 203, 4, 2, {}},
    {"ReplyLostAt204", 10, 0, 3, 204, 4, kPollIdle, {}},
    {"RefusedPostsShowAsTries", 10, 2, 0, 2, 0, kPollBusy, {2, 0, 0}},
    {"TwoRefusalsAreBorne", 10, 2, 0, 3, 0, kPollBusy, {}},
    {"ThreeRefusalsFail", 10, 3, 0, 3, 0, kPollFailed, {}},
    {"FailureHeldTill202", 10, 1000, 0, 202, 0, kPollFailed, {}},
    {"FailureLostAt203", 10, 1000, 0, 203, 0, kPollIdle, {}},
};
// clang-format on
class Exchange : public Transaction, public ::testing::WithParamInterface<ExchangeRow> {};

TEST_P(Exchange, PollsAsThis) {
  const ExchangeRow& row = GetParam();
  link.periods.tick = row.period;
  if (row.closed > 0) link_reset(link);
  transaction.Start(0x3003, nullptr);
  while (ticksRun < row.poll) {
    if (row.closed > 0 && ticksRun == row.closed) link_open(link, 0);
    Tick();
    if (ticksRun == row.reply) FeedBytes(link, EncodeFrame(0x3003, {0x11, 0x22}));
  }
  EXPECT_EQ(static_cast<int>(sent.size()), row.sent);
  EXPECT_EQ(Poll(), row.outcome);
  if (!row.progress.empty()) {
    EXPECT_EQ((std::vector{tries, cycles, ms}), row.progress);
  }
}
INSTANTIATE_TEST_SUITE_P(Reads, Exchange, ::testing::ValuesIn(kExchangeRows), kByName);

TEST_F(Transaction, PollWithNothingStartedIsIdle) { EXPECT_EQ(Poll(), kPollIdle); }

TEST_F(Transaction, ReplyIsHandedOverOnceWithItsDataPaddedWithZeros) {
  transaction.Start(0x3003, nullptr);
  Tick(3);
  FeedBytes(link, EncodeFrame(0x3003, {0x11, 0x22}));
  Tick();
  EXPECT_EQ(transaction.Start(0x1234, nullptr), 0) << "no second start while the first's outcome waits";
  ASSERT_EQ(Poll(), 2);
  EXPECT_EQ(Bytes(reply.data, reply.data + 4), (Bytes{0x11, 0x22, 0, 0}));
  EXPECT_EQ(Poll(), kPollIdle);
}

TEST_F(Transaction, RepostAsksTheSameQuestionWithItsData) {
  const ObjectRequest question{0, 2, 0, 0, {0x12, 0x34}};
  transaction.Start(0x0001, &question);
  Tick(100);
  EXPECT_EQ(sent, (Bytes{0x55, 0x00, 0x05, 0x12, 0x34, 0x5F, 0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}));
}

TEST_F(Transaction, ObjectZeroFailsUnasked) {
  ASSERT_EQ(transaction.Start(0, nullptr), 1);
  Tick(10);
  EXPECT_EQ(Poll(), kPollFailed);
  EXPECT_TRUE(sent.empty());
}

// The reply slots.

TEST_F(LinkBench, FourthReplyWhileThreeWaitIsDroppedAndCounted) {
  for (const std::uint32_t id : {0x0C01, 0x0C02, 0x0C03, 0x0C04}) Reply(id);
  EXPECT_EQ(Shown(kSlotOverflows), 1);
  EXPECT_EQ(Fetch(0x0C04), 0);
  EXPECT_EQ(Fetch(0x0C03), 0x0C03);
}

// clang-format off
// The ms each link_timer call passes and how many calls; what a fetch then finds, the slots in use before it.
struct LifetimeRow { const char* name; std::uint32_t elapsedMs; int calls, found, slotsInUse; };
const LifetimeRow kLifetimeRows[] = {
    {"FetchableAfter19Steps", 10, 19, 0x1234, 1},
    {"ExpiredAfter20Steps", 10, 20, 0, 1},
    {"FreedAfter21Steps", 10, 21, 0, 0},
    {"NineMsMakeNoStepAlone", 9, 38, 0x1234, 1},  // 19 steps: 18 ms each
    {"NineMsTwiceMakeAStep", 9, 40, 0, 1},
    {"ExcessOverTenMsIsDropped", 25, 19, 0x1234, 1},
    {"ZeroMsNeverStep", 0, 1000, 0x1234, 1},
};
// clang-format on
class ReplyAfterTimerCalls : public LinkBench, public ::testing::WithParamInterface<LifetimeRow> {};

TEST_P(ReplyAfterTimerCalls, LivesTwentyStepsOfTenMs) {
  Reply(0x1234, {1, 2});  // with data, so that an expired slot is told from a free one
  for (int i = 0; i < GetParam().calls; ++i) link_timer(link, GetParam().elapsedMs);
  EXPECT_EQ(Shown(kSlotsInUse), GetParam().slotsInUse);
  EXPECT_EQ(Fetch(0x1234), GetParam().found);
}
INSTANTIATE_TEST_SUITE_P(Steps, ReplyAfterTimerCalls, ::testing::ValuesIn(kLifetimeRows), kByName);

// clang-format off
// The reply's ID, the ID and mask asked; what the first fetch finds (0: nothing), and the second.
struct FetchRow { const char* name; std::uint32_t replyId, askedId; std::uint8_t mask; int first, second; };
const FetchRow kFetchRows[] = {
    {"ExactWithoutMask", 0x0C85, 0x0C80, 0x00, 0, 0},
    {"MaskedBitsMayDiffer", 0x0C85, 0x0C80, 0x0F, 0x0C85, 0},
    {"UnmaskedBitMayNot", 0x0C95, 0x0C80, 0x0F, 0, 0},
    {"HighByteIsNeverMasked", 0x0D85, 0x0C85, 0xFF, 0, 0},
    {"Below0380IsTakenOnce", 0x037F, 0x037F, 0, 0x037F, 0},
    {"First0380Stays", 0x0380, 0x0380, 0, 0x0380, 0x0380},
    {"Last03FFStays", 0x03FF, 0x03FF, 0, 0x03FF, 0x03FF},
    {"Above03FFIsTakenOnce", 0x0400, 0x0400, 0, 0x0400, 0},
};
// clang-format on
class Fetched : public LinkBench, public ::testing::WithParamInterface<FetchRow> {};

TEST_P(Fetched, MatchesTheUnmaskedIdAndKeepsOnly0380To03FF) {
  Reply(GetParam().replyId);
  EXPECT_EQ(Fetch(GetParam().askedId, GetParam().mask), GetParam().first);
  EXPECT_EQ(Fetch(GetParam().askedId, GetParam().mask), GetParam().second);
}
INSTANTIATE_TEST_SUITE_P(Replies, Fetched, ::testing::ValuesIn(kFetchRows), kByName);

}  // namespace
}  // namespace gelvar::testing
