#include <gtest/gtest.h>

#include "app/ticker.h"
#include "link/transaction.h"
#include "support/link_fixture.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The transaction layer over the real converter and driver, with a hand-driven line: every frame
// the link sends is recorded, and a test may answer it.
class TransactionTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    tickPeriod = 10;
    StartLink();
    linkMemory.txRegister = -1;
  }
  // One tick as the program runs it, then the line: sent frames recorded, an answer fed back.
  void Tick() {
    ConverterTick(static_cast<std::uint32_t>(tickPeriod));
    linkTransaction.Step();
    const Bytes sent = DrainTx();
    if (sent.empty()) return;
    frames.push_back(sent);
    if (answer) FeedBytes(MakeFrame(linkMemory.converter.queueId[0] == 0 ? 0 : replyId, replyData));
  }
  int PollUntilDone(int limitTicks, int* ticks = nullptr) {
    ObjectRequest reply{};
    int t = 0;
    for (; t < limitTicks; ++t) {
      const int result = linkTransaction.Poll(&reply, nullptr, nullptr, nullptr);
      if (result != kPollBusy) {
        if (ticks) *ticks = t;
        lastReply = reply;
        return result;
      }
      Tick();
    }
    return kPollBusy;
  }

  std::vector<Bytes> frames;
  bool answer = false;
  std::uint32_t replyId = 0;
  Bytes replyData;
  ObjectRequest lastReply{};
};

TEST_F(TransactionTest, PollWithNothingStartedIsIdle) {
  ObjectRequest r{};
  EXPECT_EQ(linkTransaction.Poll(&r, nullptr, nullptr, nullptr), kPollIdle);
}

TEST_F(TransactionTest, SecondStartIsRefusedAndLeavesTheFirst) {
  ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
  EXPECT_EQ(linkTransaction.Start(0x3002, nullptr), 0);
  answer = true;
  replyId = 0x3003;
  replyData = {0x01, 0x00};
  EXPECT_EQ(PollUntilDone(100), 2);
  EXPECT_EQ(lastReply.objectId, 0x3003u);
  EXPECT_EQ(frames.at(0), MakeFrame(0x3003, {}));
}

TEST_F(TransactionTest, ReplyIsCollectedOnceWithEachDataCount) {
  for (const Bytes& data : {Bytes{}, Bytes{7, 8}, Bytes{1, 2, 3, 4}}) {
    answer = true;
    replyId = 0x0C84;
    replyData = data;
    ASSERT_EQ(linkTransaction.Start(0x0C84, nullptr), 1);
    EXPECT_EQ(PollUntilDone(100), static_cast<int>(data.size()));
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(lastReply.data[i], i < data.size() ? data[i] : 0);
    }
    ObjectRequest again{};
    EXPECT_EQ(linkTransaction.Poll(&again, nullptr, nullptr, nullptr), kPollIdle);
  }
}

TEST_F(TransactionTest, ReplyWithAnotherIdIsNotTaken) {
  answer = true;
  replyId = 0x3002;
  ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
  EXPECT_EQ(PollUntilDone(1000), kPollFailed);
}

TEST_F(TransactionTest, SilentUnitFailsAfterEightWindows) {
  const struct {
    std::int32_t period;
    int windowTicks;
  } cases[] = {{10, 75}, {50, 15}, {15, 50}};
  for (const auto& c : cases) {
    SetUp();
    frames.clear();
    tickPeriod = c.period;
    ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
    int tries = -1, cycles = -1, ms = -1;
    int lastCycles = 0;
    int ticks = 0;
    ObjectRequest r{};
    while (linkTransaction.Poll(&r, &tries, &cycles, &ms) == kPollBusy) {
      EXPECT_GE(cycles, lastCycles);
      EXPECT_LE(ms, 750);
      lastCycles = cycles;
      Tick();
      ++ticks;
    }
    EXPECT_EQ(lastCycles, 7);
    EXPECT_EQ(tries, 0);
    EXPECT_EQ(frames.size(), 8u);
    // Each cycle: one tick posts, then the reply window runs its ticks.
    EXPECT_EQ(ticks, 8 * (c.windowTicks + 1)) << "period " << c.period;
  }
}

TEST_F(TransactionTest, RepostSendsTheSameDataAgain) {
  ObjectRequest request{};
  request.count = 4;
  request.data[0] = 1;
  request.data[1] = 0;
  request.data[2] = 0xFA;
  request.data[3] = 0x00;
  ASSERT_EQ(linkTransaction.Start(0x0C87, &request), 1);
  EXPECT_EQ(PollUntilDone(2000), kPollFailed);
  ASSERT_EQ(frames.size(), 8u);
  for (const Bytes& frame : frames) EXPECT_EQ(frame, MakeFrame(0x0C87, {1, 0, 0xFA, 0x00}));
}

TEST_F(TransactionTest, ObjectZeroFailsAtOnce) {
  ASSERT_EQ(linkTransaction.Start(0, nullptr), 1);
  ObjectRequest r{};
  EXPECT_EQ(linkTransaction.Poll(&r, nullptr, nullptr, nullptr), kPollFailed);
  EXPECT_TRUE(frames.empty());
}

TEST_F(TransactionTest, UncollectedOutcomeIsHeldTwoSeconds) {
  // Both ways to fail are held alike: in Wait (silent unit) and in Post (link closed).
  for (bool closeLink : {false, true}) {
    SetUp();
    if (closeLink) link_reset();
    ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
    int ticks = 0;
    while (linkTransaction.State() != kTrFailed && ticks < 10000) {
      Tick();
      ++ticks;
    }
    ASSERT_EQ(linkTransaction.State(), kTrFailed);
    int held = 0;
    while (linkTransaction.State() == kTrFailed) {
      Tick();
      ++held;
    }
    EXPECT_EQ(held, 200) << (closeLink ? "post" : "wait");
    ObjectRequest r{};
    EXPECT_EQ(linkTransaction.Poll(&r, nullptr, nullptr, nullptr), kPollIdle);
  }
}

// The measurement can lengthen the period while a reply window or the hold runs down: a period longer
// than what is left ends that countdown rather than wrapping it round to weeks.
TEST_F(TransactionTest, PeriodLongerThanWhatIsLeftEndsTheCountdown) {
  const struct {
    const char* when;
    int ticksAtTen;
    std::int32_t laterPeriod;
  } cases[] = {
      {"10 ms left in the first window", 1 + 74, 15},
      {"10 ms left in the hold", 8 * 76 + 199, 15},
      {"period longer than a whole window", 1, 1000},
  };
  for (const auto& c : cases) {
    SetUp();
    frames.clear();
    ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
    for (int i = 0; i < c.ticksAtTen; ++i) Tick();
    tickPeriod = c.laterPeriod;
    for (int i = 0; i < 1000 && linkTransaction.State() != kTrIdle; ++i) Tick();
    EXPECT_EQ(linkTransaction.State(), kTrIdle) << c.when;
    EXPECT_EQ(frames.size(), 8u) << c.when;
  }
}

TEST_F(TransactionTest, ReplyToEarlierPostIsFoundAtTheNextWait) {
  ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
  Tick();  // posted
  FeedBytes(MakeFrame(0x3003, {5, 0}));
  EXPECT_EQ(PollUntilDone(10), 2);
  EXPECT_EQ(lastReply.data[0], 5);
}

}  // namespace
}  // namespace gelvar::testing
