// The transaction layer over the real converter and driver, with a line served by hand: every frame
// the link sends is recorded, and a test may answer it.
#include <gtest/gtest.h>

#include "app/ticker.h"
#include "link/transaction.h"
#include "support/link_fixture.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Transaction : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    tickPeriod = 10;
    StartLink();
    linkMemory.txRegister = -1;
    frames.clear();
  }
  void Tick() {
    ConverterTick(static_cast<std::uint32_t>(tickPeriod));
    linkTransaction.Step();
    const Bytes sent = DrainTx();
    if (sent.empty()) return;
    frames.push_back(sent);
    if (answerId != 0) FeedBytes(MakeFrame(answerId, replyData));
  }
  // Ticks until the transaction leaves Busy; returns the poll's result and the ticks it took.
  std::pair<int, int> PollUntilDone() {
    for (int ticks = 0; ticks < 10000; ++ticks, Tick()) {
      const int result = linkTransaction.Poll(&reply, &tries, &cycles, &ms);
      if (result != kPollBusy) return {result, ticks};
      EXPECT_LE(ms, 750);
    }
    return {kPollBusy, 10000};
  }
  std::vector<Bytes> frames;
  std::uint32_t answerId = 0;  // 0: the unit stays silent
  Bytes replyData;
  ObjectRequest reply{};
  int tries = -1, cycles = -1, ms = -1;
};

TEST_F(Transaction, OneAtATimeAndItsReplyCollectedOnce) {
  EXPECT_EQ(PollUntilDone().first, kPollIdle);
  answerId = 0x0C84;
  for (const Bytes& data : {Bytes{}, Bytes{7, 8}, Bytes{1, 2, 3, 4}}) {
    replyData = data;
    ASSERT_EQ(linkTransaction.Start(0x0C84, nullptr), 1);
    EXPECT_EQ(linkTransaction.Start(0x3002, nullptr), 0);
    EXPECT_EQ(PollUntilDone().first, static_cast<int>(data.size()));
    EXPECT_EQ(reply.objectId, 0x0C84u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(reply.data[i], i < data.size() ? data[i] : 0);
    EXPECT_EQ(PollUntilDone().first, kPollIdle);
  }
  EXPECT_EQ(frames, std::vector<Bytes>(3, MakeFrame(0x0C84, {})));
}

// Each of the eight windows is one tick to post and 750 ms of ticks to wait; every post carries the
// request's data again.
TEST_F(Transaction, SilentUnitFailsAfterEightWindows) {
  const struct {
    std::int32_t period;
    int windowTicks;
  } cases[] = {{10, 75}, {50, 15}};
  ObjectRequest request{};
  request.count = 4;
  request.data[0] = 1;
  request.data[2] = 0xFA;
  for (const auto& c : cases) {
    SetUp();
    tickPeriod = c.period;
    ASSERT_EQ(linkTransaction.Start(0x0C87, &request), 1);
    const auto [result, ticks] = PollUntilDone();
    EXPECT_EQ(result, kPollFailed);
    EXPECT_EQ(ticks, 8 * (c.windowTicks + 1)) << "period " << c.period;
    EXPECT_EQ(frames, std::vector<Bytes>(8, MakeFrame(0x0C87, {1, 0, 0xFA, 0})));
  }
}

TEST_F(Transaction, ObjectZeroFailsAtOnce) {
  ASSERT_EQ(linkTransaction.Start(0, nullptr), 1);
  EXPECT_EQ(linkTransaction.Poll(&reply, nullptr, nullptr, nullptr), kPollFailed);
  EXPECT_TRUE(frames.empty());
}

TEST_F(Transaction, UncollectedFailureIsHeldTwoSeconds) {
  for (bool inPost : {false, true}) {  // a silent unit fails in Wait, a closed link in Post
    SetUp();
    if (inPost) link_reset();
    ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
    for (int i = 0; i < 10000 && linkTransaction.State() != kTrFailed; ++i) Tick();
    int held = 0;
    for (; held < 1000 && linkTransaction.State() == kTrFailed; ++held) Tick();
    EXPECT_EQ(held, 200) << (inPost ? "post" : "wait");
    EXPECT_EQ(linkTransaction.Poll(&reply, nullptr, nullptr, nullptr), kPollIdle);
  }
}

// The measurement can lengthen the period while a reply window or the hold runs down: a period longer
// than what is left ends that countdown rather than wrapping it round to weeks.
TEST_F(Transaction, PeriodLongerThanWhatIsLeftEndsTheCountdown) {
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
    ASSERT_EQ(linkTransaction.Start(0x3003, nullptr), 1);
    for (int i = 0; i < c.ticksAtTen; ++i) Tick();
    tickPeriod = c.laterPeriod;
    for (int i = 0; i < 1000 && linkTransaction.State() != kTrIdle; ++i) Tick();
    EXPECT_EQ(linkTransaction.State(), kTrIdle) << c.when;
    EXPECT_EQ(frames.size(), 8u) << c.when;
  }
}

}  // namespace
}  // namespace gelvar::testing
