// The link stack over a line served by hand: the driver and the converter turn requests into frames
// and frames into replies, the transaction layer runs one exchange at a time on top. Every frame sent
// is recorded, and a test may have the unit answer it.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/transaction.h"
#include "support/link_fixture.h"
#include "tick/ticker.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

ObjectRequest Request(std::uint32_t id, const Bytes& data = {}, std::uint8_t mask = 0) {
  ObjectRequest r{};
  r.objectId = id;
  r.mask = mask;
  r.count = static_cast<std::uint8_t>(data.size());
  std::copy_n(data.begin(), std::min<std::size_t>(data.size(), 4), r.data);
  return r;
}

// queue overflows, dropped, slot overflows, bad frames, receive timeouts
std::uint8_t Stat(int index) {
  std::uint8_t stats[5] = {};
  link_stats(0, stats);
  return stats[index];
}

void Reply(std::uint32_t id, const Bytes& data = {}) {
  FeedBytes(EncodeFrame(id, data));
  link_check_slots();
}

class Link : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    tickPeriod = 10;
    StartLink();
    linkMemory.txRegister = -1;  // as the pump leaves it when it opens the line
    frames.clear();
  }
  // One tick as the program runs it, then the line as the pump serves it.
  void Tick() {
    ConverterTick(static_cast<std::uint32_t>(tickPeriod));
    linkTransaction.Step();
    const Bytes sent = DrainTx();
    if (sent.empty()) return;
    frames.push_back(sent);
    if (answerId != 0) FeedBytes(EncodeFrame(answerId, replyData));
  }
  // Ticks until the transaction leaves Busy and returns the poll's result. Another Start is refused in
  // every state but Idle, an outcome not yet collected included.
  int PollUntilDone() {
    for (int ticks = 0; ticks < 10000; ++ticks, Tick()) {
      const TransactionState state = linkTransaction.State();
      if (state != kTrIdle && linkTransaction.Start(0x3002, nullptr) != 0) {
        ADD_FAILURE() << "a second Start in state " << state;
        return kPollBusy;
      }
      int ms = -1;
      const int result = linkTransaction.Poll(&reply, nullptr, nullptr, &ms);
      if (result != kPollBusy) return result;
      EXPECT_LE(ms, 750) << "left of the reply window";
    }
    return kPollBusy;
  }

  std::vector<Bytes> frames;
  std::uint32_t answerId = 0;  // 0: the unit stays silent
  Bytes replyData;
  ObjectRequest reply{};
};

// One table of frames for both ends of the line: the driver and the simulated unit's codec agree byte
// for byte; two parity bits catch every single bit flip of an ID word; a frame with a wrong sum or a
// wrong parity bit is counted and dropped at either end, and a frame cut short is given up by the unit.
TEST_F(Link, WorkedFramesAgreeAtBothEnds) {
  const struct {
    std::uint32_t id;
    Bytes data;
    Bytes wire;
  } cases[] = {
      {0x1234, {}, {0x54, 0x48, 0xD1, 0x91}},
      {0x0001, {0x12, 0x34, 0x56}, {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}},  // an odd count drops its last byte
      {0x0380, {1, 2, 3, 4}, {0x56, 0x0E, 0x01, 0x01, 0x02, 0x03, 0x04, 0x90}},
      {0x3FFF, {}, {0x54, 0xFF, 0xFF, 0xAB}},
  };
  unitsim::FrameDecoder decoder;
  std::int64_t nowMs = 0;
  int rows = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    ++rows;
    const Bytes data(c.wire.begin() + 3, c.wire.end() - 1);
    const auto word = static_cast<std::uint16_t>(c.wire[1] << 8 | c.wire[2]);
    EXPECT_EQ(EncodeFrame(c.id, data), c.wire);
    for (int bit = 0; bit < 16; ++bit) {
      const auto flipped = static_cast<std::uint16_t>(word ^ (1u << bit));
      EXPECT_FALSE(IdWordParityOk(flipped) || unitsim::IdWordParityOk(flipped)) << bit;
    }
    ObjectRequest r = Request(c.id, c.data);
    ASSERT_EQ(link_post(&r), kLinkOk);
    frames.clear();
    for (int i = 0; i < 4; ++i) Tick();
    EXPECT_EQ(frames, std::vector<Bytes>{c.wire});

    Bytes wrongSum(c.wire.begin(), c.wire.end() - 1);
    wrongSum.push_back(static_cast<std::uint8_t>(c.wire.back() ^ 1));
    Bytes wrongParity = c.wire;
    wrongParity[2] ^= 0x01;  // a parity bit: the ID stays, and the sum is made to fit again
    wrongParity.back() = unitsim::ChecksumOf(wrongParity.data(), wrongParity.size() - 1);
    for (const Bytes& frame : {wrongSum, wrongParity, c.wire}) FeedBytes(frame);
    std::vector<unitsim::DecodedFrame> decoded;
    const auto toUnit = [&](const Bytes& bytes) {
      for (const std::uint8_t b : bytes) {
        if (auto d = decoder.Feed(b, nowMs)) decoded.push_back(*d);
      }
    };
    toUnit(wrongSum);
    toUnit(wrongParity);
    toUnit({c.wire[0], c.wire[1]});  // cut short: after a pause the next frame is read afresh
    nowMs += unitsim::FrameDecoder::kStallMs + 1;
    toUnit(c.wire);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0].objectId, c.id);
    EXPECT_EQ(decoded[0].data, data);
    EXPECT_EQ(std::make_pair(decoder.BadChecksums(), decoder.BadParities()), std::make_pair(rows, rows));

    ObjectRequest fresh = Request(c.id);
    EXPECT_EQ(link_fetch(&fresh), 0) << "not before the parity check";
    link_check_slots();
    EXPECT_EQ(Stat(3), 2 * rows);
    EXPECT_EQ(link_fetch(&fresh), static_cast<int>(c.id));
    EXPECT_EQ(Bytes(fresh.data, fresh.data + fresh.count), data);
  }
}

// The driver takes a frame only while idle and aborts only once opened, on channel 0 alone; the queue
// holds two requests and counts what it refuses, up to 255.
TEST_F(Link, DriverAndQueueRefuseWhatComesOutOfTurn) {
  linkMemory.driver.txBuffer[0] = 0x54;
  EXPECT_EQ(drv_start_tx(1), kLinkRefused);
  EXPECT_EQ(drv_start_tx(0), kLinkOk);
  EXPECT_EQ(drv_start_tx(0), kLinkRefused) << "while sending";
  EXPECT_EQ(drv_abort(1), kLinkNotOpen);

  ObjectRequest r = Request(0x3003, {1, 2});
  EXPECT_EQ(link_post(&r), kLinkOk);
  EXPECT_EQ(r.count, 0) << "a posted record is handed back without its data count";
  EXPECT_EQ(link_post(&r), kLinkOk);
  EXPECT_EQ(link_post(&r), kLinkRefused);
  EXPECT_EQ(Stat(0), 1);
  for (int i = 0; i < 255; ++i) link_post(&r);
  EXPECT_EQ(Stat(0), 0);
  drv_clear();
  EXPECT_EQ(drv_abort(0), kLinkNotOpen);
}

TEST_F(Link, SendWithoutLineIsTriedFourTimesThenDropped) {
  ObjectRequest first = Request(0x1234);
  ObjectRequest second = Request(0x3003);
  ASSERT_EQ(link_post(&first), kLinkOk);
  ASSERT_EQ(link_post(&second), kLinkOk);
  int starts = 0;
  for (int tick = 0, lastFrame = 0; tick < 1000 && Stat(1) == 0; ++tick) {
    ConverterTick();
    starts += frameNumber != lastFrame;
    lastFrame = frameNumber;
  }
  EXPECT_EQ(starts, 4);
  EXPECT_EQ(Stat(1), 1);
  linkMemory.txRegister = -1;  // the line is back: the next request goes out
  for (int i = 0; i < 40; ++i) Tick();
  EXPECT_EQ(frames, std::vector<Bytes>{EncodeFrame(0x3003, {})});
}

TEST_F(Link, BackoffLengthFollowsIdAndTries) {
  const struct {
    std::uint32_t id;
    std::uint8_t tries;
    int steps;
  } cases[] = {{0x1234, 0, 5}, {0x1234, 1, 11}, {0x000F, 0, 16}, {0x00F0, 3, 15}};
  for (const auto& c : cases) {
    SetUp();
    ObjectRequest r = Request(c.id);
    ASSERT_EQ(link_post(&r), kLinkOk);
    linkMemory.converter.retry = c.tries;
    link_build_frame();
    linkMemory.converter.state = kConvRecover;
    link_step();
    ASSERT_EQ(linkMemory.converter.state, kConvBackoff);
    EXPECT_EQ(linkMemory.converter.timer, c.steps) << std::hex << c.id;
  }
}

// A reply lives 20 steps of 10 ms; one from 0x0380-0x03FF may be fetched again until then.
TEST_F(Link, RepliesLiveTwentyStepsAndSharedOnesAreFetchedAgain) {
  const struct {
    std::uint32_t id;
    int fetches;
  } cases[] = {{0x0380, 20}, {0x03FF, 20}, {0x037F, 1}, {0x0400, 1}};
  for (const auto& c : cases) {
    SetUp();
    Reply(c.id);
    ObjectRequest r = Request(c.id);
    int found = 0;
    for (int step = 0; step < 25; ++step) {
      found += link_fetch(&r) == static_cast<int>(c.id);
      link_timer(10);
    }
    EXPECT_EQ(found, c.fetches) << std::hex << c.id;
    EXPECT_EQ(linkMemory.converter.slotStatus[0], 0) << "slot free after its lifetime";
  }
  Reply(0x3003);
  for (int i = 0; i < 4; ++i) link_timer(5);  // 2 steps
  link_timer(25);                             // 1 step: the excess is dropped
  EXPECT_EQ(linkMemory.converter.slotStatus[0] & 0x3F, 17);
}

// With all three reply slots full a fourth reply is counted and dropped, the three kept intact; a
// fetch's mask ignores the low ID bits it names.
TEST_F(Link, ThreeReplySlotsAndTheMask) {
  for (const std::uint32_t id : {0x0C85u, 0x0C95u, 0x0B86u, 0x0C87u}) Reply(id, {static_cast<std::uint8_t>(id), 0});
  EXPECT_EQ(Stat(2), 1);
  ObjectRequest exact = Request(0x0C80);
  EXPECT_EQ(link_fetch(&exact), 0);
  ObjectRequest masked = Request(0x0C80, {}, 0x0F);
  EXPECT_EQ(link_fetch(&masked), 0x0C85);
  EXPECT_EQ(link_fetch(&masked), 0) << "bit 4 is not masked, and the fourth reply was dropped";
  for (const std::uint32_t id : {0x0C95u, 0x0B86u}) {
    ObjectRequest r = Request(id);
    EXPECT_EQ(link_fetch(&r), static_cast<int>(id));
    EXPECT_EQ(Bytes(r.data, r.data + r.count), Bytes({static_cast<std::uint8_t>(id), 0}));
  }
}

TEST_F(Link, FrameNumbersRunOneTo100000AndTheTraceRingWraps) {
  frameNumber = 99999;
  FeedBytes(Bytes{0x54, 0x48, 0xD1, 0x91, 0x54, 0x48, 0xD1, 0x91});
  EXPECT_EQ(linkMemory.rxTrace[0], -100000);
  EXPECT_EQ(linkMemory.rxTrace[6], -1);
  FeedBytes(Bytes(kTraceSize - 12, 0x00));
  EXPECT_EQ(linkMemory.rxTraceWrite, 0) << "a ring written full circle looks unread";
  FeedBytes({0x01});
  EXPECT_EQ(linkMemory.rxTraceWrite, 1);
  link_open(0);  // a reopened line counts its frames and received bytes afresh
  EXPECT_EQ(std::make_pair(frameNumber, int{linkMemory.driver.rxIndex}), std::make_pair(0, 0));
}

TEST_F(Link, OneAtATimeAndItsReplyCollectedOnce) {
  EXPECT_EQ(PollUntilDone(), kPollIdle);
  answerId = 0x0C84;
  for (const Bytes& data : {Bytes{}, Bytes{7, 8}, Bytes{1, 2, 3, 4}}) {
    replyData = data;
    ASSERT_EQ(linkTransaction.Start(0x0C84, nullptr), 1);
    EXPECT_EQ(linkTransaction.Start(0x3002, nullptr), 0);
    EXPECT_EQ(PollUntilDone(), static_cast<int>(data.size()));
    EXPECT_EQ(reply.objectId, 0x0C84u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(reply.data[i], i < data.size() ? data[i] : 0);
    EXPECT_EQ(PollUntilDone(), kPollIdle);
  }
  EXPECT_EQ(frames, std::vector<Bytes>(3, EncodeFrame(0x0C84, {})));
}

// A failure not yet collected is held two seconds, however it came: a silent unit fails in Wait, a
// closed link in Post, object 0 at once (its reply could not be told from none). The measurement may
// lengthen the period while a reply window or the hold runs down: a period longer than what is left
// ends the countdown rather than wrapping it round to weeks.
TEST_F(Link, UncollectedFailureIsHeldTwoSecondsAndALongerPeriodEndsAnyCountdown) {
  const struct {
    const char* how;
    std::uint32_t id;
    bool closed;
    int ticksAtTen;  // before the period changes
    std::int32_t laterPeriod;
    int heldTicks;  // from the switch or the failure, whichever is later
    std::size_t frames;
  } cases[] = {
      {"silent unit", 0x3003, false, 0, 10, 200, 8},
      {"closed link", 0x3003, true, 0, 10, 200, 0},
      {"object 0", 0, false, 0, 10, 200, 0},
      {"10 ms left in the first window", 0x3003, false, 1 + 74, 15, 133, 8},
      {"10 ms left in the hold", 0x3003, false, 8 * 76 + 199, 15, 1, 8},
      {"period longer than a whole window", 0x3003, false, 1, 1000, 2, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    SetUp();
    if (c.closed) link_reset();
    ASSERT_EQ(linkTransaction.Start(c.id, nullptr), 1);
    for (int i = 0; i < c.ticksAtTen; ++i) Tick();
    tickPeriod = c.laterPeriod;
    for (int i = 0; i < 10000 && linkTransaction.State() != kTrFailed; ++i) Tick();
    int held = 0;
    for (; held < 1000 && linkTransaction.State() == kTrFailed; ++held) Tick();
    EXPECT_EQ(held, c.heldTicks);
    EXPECT_EQ(linkTransaction.Poll(&reply, nullptr, nullptr, nullptr), kPollIdle);
    EXPECT_EQ(frames.size(), c.frames);
  }
}

}  // namespace
}  // namespace gelvar::testing
