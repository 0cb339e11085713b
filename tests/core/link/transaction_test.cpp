// One request/reply exchange at a time, counted in ticks of the link's period: post, a window of
// 750 ms for the reply, eight windows at most, and an outcome held 2000 ms for its caller.
#include "core/link/link_bench.h"

namespace gelvar::testing {
namespace {

class Transaction : public LinkBench {
 protected:
  int Poll() { return transaction.Poll(&reply, &tries, &cycles, &ms); }
  // Ticks, polling after each as a window timer does, until the poll is no longer busy; the tick.
  int TickUntilOutcome() {
    return TickUntil([&] { return (outcome = Poll()) != kPollBusy; });
  }

  ObjectRequest reply{0, 9, 9, 9, {9, 9, 9, 9}};
  int tries = -1;
  int cycles = -1;
  int ms = -1;
  int outcome = kPollBusy;
  int outcomeTick = 0;
};

// With a silent unit: tick 1 posts, 3 sends; a window runs out after 75 ticks (1 to post + 74 waiting
// while at least 10 ms are left), so each of the eight cycles takes 76 ticks: 1 + 7 * 76 + 75.
constexpr int kLastWindowEnds = 608;

TEST_F(Transaction, PollWithNothingStartedIsIdle) { EXPECT_EQ(Poll(), kPollIdle); }

TEST_F(Transaction, SecondStartIsRefusedAndTheFirstGoesOn) {
  ASSERT_EQ(transaction.Start(0x1234, nullptr), 1);
  EXPECT_EQ(transaction.Start(0x0001, nullptr), 0);
  Tick(3);
  EXPECT_EQ(sent, (Bytes{0x54, 0x48, 0xD1, 0x91}));
}

// A read of 0x3003 whose reply comes in after the frame left at tick 3, polled at every tick.
class AnsweredRead : public Transaction {
 protected:
  void SetUp() override {
    transaction.Start(0x3003, nullptr);
    Tick(3);
    FeedBytes(link, EncodeFrame(0x3003, {0x11, 0x22}));
    outcomeTick = TickUntilOutcome();
  }
};

TEST_F(AnsweredRead, EndsAtTheNextTick) { EXPECT_EQ(outcomeTick, 4); }
TEST_F(AnsweredRead, HandsOverTheDataCountAndTheDataPaddedWithZeros) {
  EXPECT_EQ(outcome, 2);
  EXPECT_EQ(Bytes(reply.data, reply.data + 4), (Bytes{0x11, 0x22, 0, 0}));
}
TEST_F(AnsweredRead, HandsOverOnce) { EXPECT_EQ(Poll(), kPollIdle); }
TEST_F(AnsweredRead, ClearsTheProgress) { EXPECT_EQ((std::vector{tries, cycles, ms}), (std::vector{0, 0, 0})); }

// A read the unit never answers, polled at every tick.
class SilentRead : public Transaction {
 protected:
  void SetUp() override {
    transaction.Start(0x1234, nullptr);
    outcomeTick = TickUntilOutcome();
  }
};

TEST_F(SilentRead, FailsWhenTheEighthWindowRunsOut) {
  EXPECT_EQ(outcomeTick, kLastWindowEnds);
  EXPECT_EQ(outcome, kPollFailed);
}
TEST_F(SilentRead, AsksOncePerWindow) { EXPECT_EQ(sent.size(), 32u); }  // eight frames of four bytes

TEST_F(Transaction, StartIsRefusedWhileAnOutcomeWaits) {
  transaction.Start(0x3003, nullptr);
  Tick(3);
  FeedBytes(link, EncodeFrame(0x3003, {}));
  Tick();
  EXPECT_EQ(transaction.Start(0x1234, nullptr), 0);
}

TEST_F(Transaction, RepostAsksTheSameQuestionWithItsData) {
  const ObjectRequest question{0, 2, 0, 0, {0x12, 0x34}};
  transaction.Start(0x0001, &question);
  Tick(100);
  EXPECT_EQ(sent, (Bytes{0x55, 0x00, 0x05, 0x12, 0x34, 0x5F, 0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}));
}

struct ProgressRow {
  const char* name;
  int ticks;
  std::vector<int> progress;  // tries refused, cycles used, ms waited in this window
};

class ProgressAfterTicks : public Transaction, public ::testing::WithParamInterface<ProgressRow> {};

TEST_P(ProgressAfterTicks, CountsWindowsAndTheMsOfThisOne) {
  transaction.Start(0x3003, nullptr);
  Tick(GetParam().ticks);
  ASSERT_EQ(Poll(), kPollBusy);
  EXPECT_EQ((std::vector{tries, cycles, ms}), GetParam().progress);
}

// Waiting from tick 2 on; the second window posts at tick 77, the last at 533.
const ProgressRow kProgressRows[] = {
    {"FirstWindow", 11, {0, 0, 100}},
    {"SecondWindowWaitsAfresh", 100, {0, 1, 230}},
    {"LastWindowsLastTick", 607, {0, 7, 740}},
};
INSTANTIATE_TEST_SUITE_P(Ticks, ProgressAfterTicks, ::testing::ValuesIn(kProgressRows), RowName());

struct WindowRow {
  const char* name;
  std::int32_t periodMs;
  int secondFrameTick;
};

class WindowOfTicks : public Transaction, public ::testing::WithParamInterface<WindowRow> {};

TEST_P(WindowOfTicks, Lasts750MsOfThePeriod) {
  link.periods.tick = GetParam().periodMs;
  transaction.Start(0x1234, nullptr);
  EXPECT_EQ(TickUntil([&] { return sent.size() == 8; }), GetParam().secondFrameTick);
}

// Tick 1 posts, the window ends when less than one period is left, the next tick posts again, and
// the frame leaves two ticks later: 79 = 1 + 75 + 3, 19 = 1 + 15 + 3.
const WindowRow kWindowRows[] = {{"TenMsIs75Ticks", 10, 79}, {"FiftyMsIs15Ticks", 50, 19}};
INSTANTIATE_TEST_SUITE_P(Periods, WindowOfTicks, ::testing::ValuesIn(kWindowRows), RowName());

TEST_F(Transaction, PeriodLongerThanTheWindowLeftEndsIt) {
  transaction.Start(0x3003, nullptr);
  Tick(2);
  link.periods.tick = 1000;
  Tick();
  Poll();
  EXPECT_EQ(cycles, 1);
}

struct LateReplyRow {
  const char* name;
  int replyAfterTick;
  std::size_t bytesSent;
};

class LateReply : public Transaction, public ::testing::WithParamInterface<LateReplyRow> {};

TEST_P(LateReply, IsFoundInTheWindowOrAfterTheRepost) {
  transaction.Start(0x1234, nullptr);
  Tick(GetParam().replyAfterTick);
  FeedBytes(link, EncodeFrame(0x1234, {}));
  TickUntilOutcome();
  ASSERT_EQ(outcome, 0) << "the reply was taken";
  Tick(10);  // time for a repost already queued to leave
  EXPECT_EQ(sent.size(), GetParam().bytesSent);
}

// The first window's last tick is 76.
const LateReplyRow kLateReplyRows[] = {{"InTheLastTickOfTheWindowNoRepost", 75, 4}, {"AfterTheWindowOneRepost", 76, 8}};
INSTANTIATE_TEST_SUITE_P(Ticks, LateReply, ::testing::ValuesIn(kLateReplyRows), RowName());

struct RefusalRow {
  const char* name;
  int refusedTicks;  // the link is closed for these first ticks
  int outcome;       // polled after the third tick
};

class RefusedPosts : public Transaction, public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(RefusedPosts, FailTheTransactionAtTheThird) {
  link_reset(link);
  transaction.Start(0x3003, nullptr);
  Tick(GetParam().refusedTicks);
  link_open(link, 0);
  Tick(3 - GetParam().refusedTicks);
  EXPECT_EQ(Poll(), GetParam().outcome);
}

const RefusalRow kRefusalRows[] = {{"TwoRefusalsAreBorne", 2, kPollBusy}, {"ThreeRefusalsFail", 3, kPollFailed}};
INSTANTIATE_TEST_SUITE_P(Ticks, RefusedPosts, ::testing::ValuesIn(kRefusalRows), RowName());

TEST_F(Transaction, RefusedPostsShowAsTries) {
  link_reset(link);
  transaction.Start(0x3003, nullptr);
  Tick(2);
  Poll();
  EXPECT_EQ(tries, 2);
}

struct HoldRow {
  const char* name;
  bool answered;  // else the link is closed and the posts are refused
  int ticks;
  int outcome;
};

class UncollectedOutcome : public Transaction, public ::testing::WithParamInterface<HoldRow> {};

TEST_P(UncollectedOutcome, IsHeld2000Ms) {
  const HoldRow& row = GetParam();
  if (!row.answered) link_reset(link);
  transaction.Start(0x3003, nullptr);
  Tick(3);
  if (row.answered) FeedBytes(link, EncodeFrame(0x3003, {}));
  Tick(row.ticks - 3);
  EXPECT_EQ(Poll(), row.outcome);
}

// Done at tick 4, failed at tick 3; held 200 ticks, the last while at least 10 ms are left: 204 = 4 + 200.
const HoldRow kHoldRows[] = {
    {"ReplyHeldTill203", true, 203, 0},
    {"ReplyLostAt204", true, 204, kPollIdle},
    {"FailureHeldTill202", false, 202, kPollFailed},
    {"FailureLostAt203", false, 203, kPollIdle},
};
INSTANTIATE_TEST_SUITE_P(Ticks, UncollectedOutcome, ::testing::ValuesIn(kHoldRows), RowName());

TEST_F(Transaction, ObjectZeroFailsUnasked) {
  ASSERT_EQ(transaction.Start(0, nullptr), 1);
  Tick(10);
  EXPECT_EQ(Poll(), kPollFailed);
  EXPECT_TRUE(sent.empty());
}

TEST_F(Transaction, EachStartGetsTheNextNumberAndIdleShowsNone) {
  std::uint32_t first = 0;
  std::uint32_t second = 0;
  transaction.Start(0, nullptr, &first);
  Poll();
  EXPECT_EQ(transaction.CurrentNumber(), 0u);
  transaction.Start(0x3003, nullptr, &second);
  EXPECT_EQ((std::vector{first, second, transaction.CurrentNumber()}), (std::vector<std::uint32_t>{1, 2, 2}));
}

}  // namespace
}  // namespace gelvar::testing
