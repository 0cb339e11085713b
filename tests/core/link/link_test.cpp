// The link stack over a line served by hand (LinkStack: the driver and the converter turn requests into
// frames and frames into replies, the transaction layer runs one exchange at a time on top), then the
// whole path in virtual time against the simulated unit (LinkEndToEnd), and the fuzz corpora replayed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <tuple>

#include "core/link/transaction.h"
#include "fuzz/harnesses.h"
#include "support/link_fixture.h"
#include "support/virtual_link.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

enum StatIndex { kQueueOverflows, kDropped, kSlotOverflows, kBadFrames, kAborted };
std::uint8_t Stat(const Link& link, int index) {
  std::uint8_t stats[5] = {};
  link_stats(link, 0, stats);
  return stats[index];
}

void Reply(Link& link, std::uint32_t id, const Bytes& data = {}) {
  FeedBytes(link, EncodeFrame(id, data));
  link_check_slots(link);
}

// What a fetch of the ID under the mask hands back: the ID of the reply (0: none) and its data.
std::pair<int, Bytes> Fetch(Link& link, std::uint32_t id, std::uint8_t mask = 0) {
  ObjectRequest r{0, 0, id, mask, {}};
  const int found = link_fetch(link, &r);
  return {found, Bytes(r.data, r.data + std::min(r.count & 0x0F, 4))};
}

class LinkStack : public LinkTest {
 protected:
  // Also between the rows of a table: the link afresh, as the program starts it.
  void SetUp() override {
    link = Link{};
    StartLink(link);
    link.memory.txRegister = -1;  // as the pump leaves it when it opens the line
    sent.clear();
  }
  // One tick as the program runs it, then the line, while there is one, as the pump serves it.
  void Tick() {
    ticker.Tick();
    for (; lineUp && link.memory.txRegister >= 0; drv_tx_next(link, 0)) {
      sent.push_back(static_cast<std::uint8_t>(link.memory.txRegister));
      link.memory.txRegister = -1;
    }
  }

  VirtualScheduler clock;  // never advanced: the period stays as the test sets it
  Ticker ticker{link, clock};
  LinkTransaction transaction{link};
  bool lineUp = true;
  Bytes sent;
};

// One table of frames for both ends of the line: the driver and the simulated unit's codec agree byte
// for byte; two parity bits catch every single bit flip of an ID word; a frame with a wrong sum or a
// wrong parity bit is counted and dropped at either end, and a frame cut short is given up by the unit.
TEST_F(LinkStack, WorkedFramesAgreeAtBothEnds) {
  // The request (channel, data count, ID, mask, data), the frame on the line.
  const std::pair<ObjectRequest, Bytes> cases[] = {
      {{0, 0, 0x1234, 0, {}}, {0x54, 0x48, 0xD1, 0x91}},
      // An odd count drops its last byte.
      {{0, 3, 0x0001, 0, {0x12, 0x34, 0x56}}, {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}},
      {{0, 4, 0x0380, 0, {1, 2, 3, 4}}, {0x56, 0x0E, 0x01, 0x01, 0x02, 0x03, 0x04, 0x90}},
      {{0, 0, 0x3FFF, 0, {}}, {0x54, 0xFF, 0xFF, 0xAB}},
  };
  for (const auto& [request, wire] : cases) {
    const std::uint32_t id = request.objectId;
    SCOPED_TRACE(id);
    SetUp();
    const Bytes data(wire.begin() + 3, wire.end() - 1);
    EXPECT_EQ(EncodeFrame(id, data), wire);
    for (int bit = 0; bit < 16; ++bit) {
      const auto flipped = static_cast<std::uint16_t>((wire[1] << 8 | wire[2]) ^ (1u << bit));
      EXPECT_FALSE(IdWordParityOk(flipped) || unitsim::IdWordParityOk(flipped)) << bit;
    }
    ObjectRequest r = request;
    ASSERT_EQ(link_post(link, &r), kLinkOk);
    for (int i = 0; i < 4; ++i) Tick();
    EXPECT_EQ(sent, wire);

    Bytes wrongSum = wire;
    wrongSum.back() ^= 1;
    Bytes wrongParity = wire;
    wrongParity[2] ^= 0x01;  // a parity bit: the ID stays, and the sum is made to fit again
    wrongParity.back() = unitsim::ChecksumOf(wrongParity.data(), wrongParity.size() - 1);
    for (const Bytes& frame : {wrongSum, wrongParity, wire}) FeedBytes(link, frame);
    std::vector<std::pair<std::uint32_t, Bytes>> decoded;
    unitsim::FrameDecoder decoder;
    std::int64_t nowMs = 0;
    // A frame cut short is given up after a pause, and the next one read afresh.
    for (const Bytes& bytes : {wrongSum, wrongParity, Bytes{wire[0], wire[1]}, wire}) {
      nowMs += unitsim::FrameDecoder::kStallMs + 1;
      for (const std::uint8_t b : bytes)
        if (auto d = decoder.Feed(b, nowMs)) decoded.emplace_back(d->objectId, d->data);
    }
    EXPECT_EQ(decoded, (std::vector<std::pair<std::uint32_t, Bytes>>{{id, data}}));
    EXPECT_EQ(std::make_pair(decoder.BadChecksums(), decoder.BadParities()), std::make_pair(1, 1));

    EXPECT_EQ(Fetch(link, id).first, 0) << "not before the parity check";
    link_check_slots(link);
    EXPECT_EQ(Stat(link, kBadFrames), 2);
    EXPECT_EQ(Fetch(link, id), std::make_pair(static_cast<int>(id), data));
  }
}

// Frame numbers run from 1 to 100000, and the receive trace is a ring. The driver takes a frame only
// while idle and aborts only once opened, on channel 0 alone; the queue holds two requests and counts
// what it refuses, up to 255.
TEST_F(LinkStack, DriverQueueFrameNumbersAndTraceKeepTheirBounds) {
  link.frameNumber = 99999;
  FeedBytes(link, Bytes{0x54, 0x48, 0xD1, 0x91, 0x54, 0x48, 0xD1, 0x91});
  EXPECT_EQ(std::make_pair(link.memory.rxTrace[0], link.memory.rxTrace[6]), std::make_pair(-100000, -1));
  FeedBytes(link, Bytes(kTraceSize - 12, 0x00));
  EXPECT_EQ(link.memory.rxTraceWrite, 0) << "a ring written full circle looks unread";
  FeedBytes(link, {0x01});
  EXPECT_EQ(link.memory.rxTraceWrite, 1);
  link_open(link, 0);  // a reopened line counts its frames and received bytes afresh
  EXPECT_EQ(std::make_pair(link.frameNumber, int{link.memory.driver.rxIndex}), std::make_pair(0, 0));

  link.memory.driver.txBuffer[0] = 0x54;
  EXPECT_EQ(drv_start_tx(link, 1), kLinkRefused);
  EXPECT_EQ(drv_start_tx(link, 0), kLinkOk);
  EXPECT_EQ(drv_start_tx(link, 0), kLinkRefused) << "while sending";
  EXPECT_EQ(drv_abort(link, 1), kLinkNotOpen);

  ObjectRequest r{0, 2, 0x3003, 0, {1, 2}};
  EXPECT_EQ(link_post(link, &r), kLinkOk);
  EXPECT_EQ(r.count, 0) << "a posted record is handed back without its data count";
  EXPECT_EQ(link_post(link, &r), kLinkOk);
  EXPECT_EQ(link_post(link, &r), kLinkRefused);
  EXPECT_EQ(Stat(link, kQueueOverflows), 1);
  for (int i = 0; i < 255; ++i) link_post(link, &r);
  EXPECT_EQ(Stat(link, kQueueOverflows), 0);
  drv_clear(link);
  EXPECT_EQ(drv_abort(link, 0), kLinkNotOpen);
}

// Without a line a frame is tried four times, each retry after a back-off of 1..16 steps taken from
// its ID and the tries so far, then dropped.
TEST_F(LinkStack, SendWithoutLineIsTriedFourTimesAfterItsBackoffsThenDropped) {
  ObjectRequest r{0, 0, 0x1234, 0, {}};
  ASSERT_EQ(link_post(link, &r), kLinkOk);
  std::vector<int> startTicks;
  lineUp = false;
  for (int tick = 0, lastFrame = 0; tick < 1000 && Stat(link, kDropped) == 0; ++tick) {
    Tick();
    if (link.frameNumber != lastFrame) startTicks.push_back(tick);
    lastFrame = link.frameNumber;
  }
  // Each retry waits 32 steps of sending and 2 to abort, then its back-off: for 0x1234 after one, two
  // and three tries 11, 14 and 7 steps.
  EXPECT_EQ(startTicks, (std::vector<int>{1, 1 + 34 + 11, 46 + 34 + 14, 94 + 34 + 7}));
  EXPECT_EQ(Stat(link, kDropped), 1);
}

// A reply lives 20 steps of 10 ms; one from 0x0380-0x03FF may be fetched again until then.
TEST_F(LinkStack, RepliesLiveTwentyStepsAndSharedOnesAreFetchedAgain) {
  const std::pair<std::uint32_t, int> fetchesOf[] = {{0x0380, 20}, {0x03FF, 20}, {0x037F, 1}, {0x0400, 1}};
  for (const auto& [id, fetches] : fetchesOf) {
    SetUp();
    Reply(link, id);
    int found = 0;
    for (int step = 0; step < 25; ++step) {
      found += Fetch(link, id).first == static_cast<int>(id);
      link_timer(link, 10);
    }
    EXPECT_EQ(found, fetches) << std::hex << id;
    EXPECT_EQ(link.memory.converter.slotStatus[0], 0) << "slot free after its lifetime";
  }
}

// With all three reply slots full a fourth reply is counted and dropped, the three kept intact; a
// fetch's mask ignores the low ID bits it names.
TEST_F(LinkStack, ThreeReplySlotsAndTheMask) {
  for (const std::uint32_t id : {0x0C85u, 0x0C95u, 0x0B86u, 0x0C87u})
    Reply(link, id, {static_cast<std::uint8_t>(id), 0});
  EXPECT_EQ(Stat(link, kSlotOverflows), 1);
  EXPECT_EQ(Fetch(link, 0x0C80).first, 0);
  EXPECT_EQ(Fetch(link, 0x0C80, 0x0F).first, 0x0C85);
  EXPECT_EQ(Fetch(link, 0x0C80, 0x0F).first, 0) << "bit 4 is not masked, and the fourth reply was dropped";
  for (const std::uint32_t id : {0x0C95u, 0x0B86u})
    EXPECT_EQ(Fetch(link, id), std::make_pair(static_cast<int>(id), Bytes{static_cast<std::uint8_t>(id), 0}));
}

// A failure not yet collected is held two seconds, however it came: a silent unit fails in Wait (the
// later rows), a closed link in Post, object 0 at once (its reply could not be told from none). The
// measurement may lengthen the period while a reply window or the hold runs down: a period longer than
// what is left ends the countdown rather than wrapping it round to weeks.
TEST_F(LinkStack, UncollectedFailureIsHeldTwoSecondsAndALongerPeriodEndsAnyCountdown) {
  // How it fails, the ID, whether the link is closed, ticks at 10 ms before the period changes, the
  // later period, the ticks the failure is held (from the switch or the failure, whichever is later),
  // the frames of four bytes sent.
  const std::tuple<const char*, std::uint32_t, bool, int, std::int32_t, int, std::size_t> cases[] = {
      {"closed link", 0x3003, true, 0, 10, 200, 0},
      {"object 0", 0, false, 0, 10, 200, 0},
      {"10 ms left in the first window", 0x3003, false, 1 + 74, 15, 133, 8},
      {"10 ms left in the hold", 0x3003, false, 8 * 76 + 199, 15, 1, 8},
      {"period longer than a whole window", 0x3003, false, 1, 1000, 2, 8},
  };
  for (const auto& [how, id, closed, ticksAtTen, laterPeriod, heldTicks, frames] : cases) {
    SCOPED_TRACE(how);
    SetUp();
    if (closed) link_reset(link);
    ASSERT_EQ(transaction.Start(id, nullptr), 1);
    for (int i = 0; i < ticksAtTen; ++i) Tick();
    link.periods.tick = laterPeriod;
    for (int i = 0; i < 10000 && transaction.State() != kTrFailed; ++i) Tick();
    int held = 0;
    for (; held < 1000 && transaction.State() == kTrFailed; ++held) Tick();
    EXPECT_EQ(held, heldTicks);
    EXPECT_EQ(transaction.State(), kTrIdle) << "the outcome dropped";
    EXPECT_EQ(sent.size(), 4 * frames);
  }
}

// Polls the running transaction at every tick until it ends, as a window timer would, and returns
// what the poll ended with and the reply's data. Another Start is refused in every state but Idle, an
// outcome not yet collected included.
std::pair<int, Bytes> Finish(VirtualLink& link) {
  LinkTransaction transaction(link.LinkState());
  ObjectRequest reply{};
  int result = kPollBusy;
  link.RunUntil(
      [&] {
        EXPECT_EQ(transaction.Start(0x3002, nullptr), 0) << "in state " << transaction.State();
        result = transaction.Poll(&reply, nullptr, nullptr, nullptr);
        return result != kPollBusy;
      },
      20000);
  return {result, Bytes(reply.data, reply.data + std::clamp(result, 0, 4))};
}

std::pair<int, Bytes> Transact(VirtualLink& link, std::uint32_t id) {
  EXPECT_EQ(LinkTransaction(link.LinkState()).Start(id, nullptr), 1);
  return Finish(link);
}

TEST(LinkEndToEnd, EveryObjectReadReturnsTheUnitsDataInAFewTicksAndRandomBytesNeverBreakTheStack) {
  // Every object the monitor and the sensor test read.
  const std::uint32_t ids[] = {0x3003, 0x3000, 0x3001, 0x3002, 0x3008, 0x0C00, 0x0C01, 0x0C02, 0x0C03, 0x0C04,
                               0x0C05, 0x0C06, 0x0C07, 0x0C08, 0x0C0B, 0x0C0C, 0x0C80, 0x0C81, 0x0C82, 0x0C83,
                               0x0C84, 0x0C85, 0x0C86, 0x0C90, 0x0C91, 0x0C92, 0x0C93, 0x0C94, 0x0C95, 0x0C96,
                               0x0D00, 0x0D01, 0x0D04, 0x0D05, 0x0D06, 0x0D07, 0x0D08};
  VirtualLink link;
  for (const std::uint32_t id : ids) {
    const std::int64_t startMs = link.Scheduler().NowMs();
    const Bytes object = link.Unit().Object(id);
    EXPECT_EQ(Transact(link, id), std::make_pair(static_cast<int>(object.size()), object)) << std::hex << id;
    // Step posts, build frames, step sends, the pump carries frame and reply, check slots, Step fetches.
    EXPECT_LE(link.Scheduler().NowMs() - startMs, 50) << std::hex << id;
  }
  EXPECT_EQ(link.Unit().Requests().size(), std::size(ids)) << "one frame per read";
  for (int i = kQueueOverflows; i <= kAborted; ++i) EXPECT_EQ(Stat(link.LinkState(), i), 0) << "counter " << i;

  // Garbage on the line: a few hundred thousand random bytes with ticks between them must leave the
  // stack able to complete a normal transaction.
  std::mt19937 random(20261206);
  long badFrames = 0;  // every bad frame, counted from the 8-bit counter's steps
  for (long fed = 0; fed < 300000;) {
    const std::uint8_t counterBefore = Stat(link.LinkState(), kBadFrames);
    for (unsigned n = random() % 41; n > 0; --n, ++fed)
      FeedBytes(link.LinkState(), {static_cast<std::uint8_t>(random())});
    link.RunFor(10);
    badFrames += static_cast<std::uint8_t>(Stat(link.LinkState(), kBadFrames) - counterBefore);
  }
  EXPECT_GT(badFrames, 1000);
  EXPECT_EQ(Stat(link.LinkState(), kBadFrames), badFrames % 256) << "the counter wraps";
  link.RunFor(2000);
  EXPECT_EQ(Transact(link, 0x3003).first, 2);
}

// A silent unit fails the transaction after eight reply windows. A reply damaged or cut half-way is
// counted (a cut one aborted after 32 steps), the request is answered in the next window and the next
// transaction goes through as usual.
TEST(LinkEndToEnd, SilenceFailsAfterEightWindowsAndADamagedOrCutReplyIsCountedAndRecovered) {
  for (const std::int32_t period : {10, 50}) {
    VirtualLink link(period);
    link.Unit().Faults().silent = true;
    EXPECT_EQ(Transact(link, 0x0C01).first, kPollFailed);
    EXPECT_EQ(link.Unit().Requests().size(), 8u) << "one request per reply window";
    EXPECT_NEAR(static_cast<double>(link.Scheduler().NowMs()), 8 * (750 + period), 2 * period) << period;
  }

  using F = unitsim::UnitFaults;
  // The fault, the counter that counts it, and when (from Start).
  const std::tuple<double F::*, StatIndex, std::int64_t> cases[] = {
      {&F::badChecksumRate, kBadFrames, 30},
      {&F::badParityRate, kBadFrames, 40},     // parity is checked a tick after the sum
      {&F::cutFrameRate, kAborted, 30 + 330},  // 32 steps after the cut frame began, and the abort
  };
  for (const auto& [fault, counter, countedMs] : cases) {
    VirtualLink link;
    link.Unit().Faults().*fault = 1.0;
    ASSERT_EQ(LinkTransaction(link.LinkState()).Start(0x3002, nullptr), 1);
    ASSERT_TRUE(link.RunUntil([&] { return Stat(link.LinkState(), counter) == 1; }, 1000));
    EXPECT_EQ(link.Scheduler().NowMs(), countedMs) << counter;
    link.Unit().Faults().*fault = 0.0;
    EXPECT_EQ(Finish(link).first, 4);
    EXPECT_LT(link.Scheduler().NowMs(), 2 * 760) << "answered in the second window";
    EXPECT_EQ(Stat(link.LinkState(), kBadFrames) + Stat(link.LinkState(), kAborted), 1);
    EXPECT_EQ(Transact(link, 0x3002).first, 4) << "and the next transaction as usual";
  }
}

// Two units on two adapters, served by one event loop: both reads run at once, and each link gets its
// own unit's value and numbers its own frames.
TEST(LinkEndToEnd, TwoLinksOnOneLoopEachReadTheirOwnUnitAndNumberTheirOwnFrames) {
  VirtualScheduler loop;
  VirtualLink first(loop);
  VirtualLink second(loop);
  first.Unit().SetObject(0x0C84, {0x11, 0x22, 0x33, 0x44});
  second.Unit().SetObject(0x0C84, {0x55, 0x66, 0x77, 0x88});
  second.Unit().Faults().latencyMs = 40;  // still busy while the first is done
  for (VirtualLink* link : {&first, &second}) link->Pump().SetHex(true);
  LinkTransaction firstRead(first.LinkState());
  LinkTransaction secondRead(second.LinkState());
  ASSERT_EQ(firstRead.Start(0x0C84, nullptr), 1);
  ASSERT_EQ(secondRead.Start(0x0C84, nullptr), 1) << "the other link's read does not make this one busy";
  ObjectRequest firstReply{};
  ObjectRequest secondReply{};
  int firstResult = kPollBusy;
  int secondResult = kPollBusy;
  ASSERT_TRUE(loop.RunUntil(
      [&] {
        if (firstResult == kPollBusy) firstResult = firstRead.Poll(&firstReply, nullptr, nullptr, nullptr);
        if (secondResult == kPollBusy) secondResult = secondRead.Poll(&secondReply, nullptr, nullptr, nullptr);
        return firstResult != kPollBusy && secondResult != kPollBusy;
      },
      1000));

  EXPECT_EQ(std::make_pair(firstResult, Bytes(firstReply.data, firstReply.data + 4)),
            std::make_pair(4, Bytes{0x11, 0x22, 0x33, 0x44}));
  EXPECT_EQ(std::make_pair(secondResult, Bytes(secondReply.data, secondReply.data + 4)),
            std::make_pair(4, Bytes{0x55, 0x66, 0x77, 0x88}));
  EXPECT_EQ(first.Pump().Tx().PaneLines(), "0001-0[54 32 10 69 ]");
  EXPECT_EQ(first.Pump().Rx().PaneLines(), "0002-0[56 32 10 11 22 33 44 BC ]");
  EXPECT_EQ(second.Pump().Tx().PaneLines(), "0001-0[54 32 10 69 ]");
  EXPECT_EQ(second.Pump().Rx().PaneLines(), "0002-0[56 32 10 55 66 77 88 AB ]");
}

// Every input kept in the fuzz corpora (the seeds and those that once found a fault) replays cleanly,
// in every build, with or without clang.
TEST(FuzzCorpus, EveryInputReplaysCleanly) {
  const std::pair<const char*, std::string (*)(const std::uint8_t*, std::size_t)> targets[] = {
      {"link_receive", fuzz::RunLinkReceiveScript}, {"unit_request", fuzz::RunUnitRequestScript}};
  for (const auto& [name, run] : targets) {
    const auto folder = std::filesystem::path(GELVAR_FUZZ_CORPUS_DIR) / name;
    EXPECT_GE(std::distance(std::filesystem::directory_iterator(folder), {}), 3) << name;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
      std::ifstream in(file.path(), std::ios::binary);
      const std::string input{std::istreambuf_iterator<char>(in), {}};
      EXPECT_EQ(run(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()), "") << file.path();
    }
  }
}

}  // namespace
}  // namespace gelvar::testing
