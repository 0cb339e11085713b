// The whole link path in virtual time against the simulated unit, and the fuzz corpora replayed.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/link/link_bench.h"
#include "fuzz/harnesses.h"
#include "support/virtual_link.h"

namespace gelvar::testing {
namespace {

std::uint8_t CountOn(VirtualLink& link, Counter counter) {
  std::uint8_t counters[5] = {};
  link_stats(link.LinkState(), 0, counters);
  return counters[counter];
}

// Starts a read and polls it at every timer event until it ends: the poll's result and the data.
std::pair<int, Bytes> Read(VirtualLink& link, std::uint32_t id) {
  LinkTransaction transaction(link.LinkState());
  EXPECT_EQ(transaction.Start(id, nullptr), 1);
  ObjectRequest reply{};
  int result = kPollBusy;
  link.RunUntil([&] { return (result = transaction.Poll(&reply, nullptr, nullptr, nullptr)) != kPollBusy; }, 20000);
  return {result, Bytes(reply.data, reply.data + std::max(result, 0))};
}

TEST(LinkEndToEnd, ReadReturnsTheUnitsObjectAfterFourTicks) {
  VirtualLink link;
  link.Unit().SetObject(0x0C84, {0x11, 0x22, 0x33, 0x44});
  EXPECT_EQ(Read(link, 0x0C84), std::make_pair(4, Bytes{0x11, 0x22, 0x33, 0x44}));
  // Post; build; send, with the pump carrying the frame and the unit's reply; check and fetch.
  EXPECT_EQ(link.Scheduler().NowMs(), 40);
}

TEST(LinkEndToEnd, SilentUnitFailsAfterEightWindowsOf50MsTicks) {
  VirtualLink link(50);
  link.Unit().Faults().silent = true;
  EXPECT_EQ(Read(link, 0x0C01).first, kPollFailed);
  EXPECT_EQ(link.Unit().Requests().size(), 8u);
}

struct FaultRow {
  const char* name;
  double unitsim::UnitFaults::*fault;
  Counter counter;
};

class DamagedReply : public ::testing::TestWithParam<FaultRow> {};

TEST_P(DamagedReply, IsCountedAndTheNextWindowAnswers) {
  VirtualLink link;
  link.Unit().Faults().*GetParam().fault = 1.0;
  LinkTransaction transaction(link.LinkState());
  transaction.Start(0x3002, nullptr);
  ASSERT_TRUE(link.RunUntil([&] { return CountOn(link, GetParam().counter) == 1; }, 1000));
  link.Unit().Faults().*GetParam().fault = 0.0;
  ObjectRequest reply{};
  ASSERT_TRUE(link.RunUntil([&] { return transaction.Poll(&reply, nullptr, nullptr, nullptr) == 4; }, 1600));
}

INSTANTIATE_TEST_SUITE_P(Faults, DamagedReply,
                         ::testing::Values(FaultRow{"WrongSum", &unitsim::UnitFaults::badChecksumRate, kBadFrames},
                                           FaultRow{"WrongParity", &unitsim::UnitFaults::badParityRate, kBadFrames},
                                           FaultRow{"CutShort", &unitsim::UnitFaults::cutFrameRate, kRxTimeouts}),
                         RowName());

// Two units on two adapters served by one event loop: each link reads its own unit.
TEST(LinkEndToEnd, TwoLinksOnOneLoopReadTheirOwnUnits) {
  VirtualScheduler loop;
  VirtualLink first(loop);
  VirtualLink second(loop);
  first.Unit().SetObject(0x0C84, {0x11, 0x22, 0x33, 0x44});
  second.Unit().SetObject(0x0C84, {0x55, 0x66, 0x77, 0x88});
  LinkTransaction firstRead(first.LinkState());
  LinkTransaction secondRead(second.LinkState());
  ASSERT_EQ(firstRead.Start(0x0C84, nullptr), 1);
  ASSERT_EQ(secondRead.Start(0x0C84, nullptr), 1);
  loop.AdvanceBy(100);
  ObjectRequest firstReply{};
  ObjectRequest secondReply{};
  firstRead.Poll(&firstReply, nullptr, nullptr, nullptr);
  secondRead.Poll(&secondReply, nullptr, nullptr, nullptr);
  EXPECT_EQ(Bytes(firstReply.data, firstReply.data + 4), (Bytes{0x11, 0x22, 0x33, 0x44}));
  EXPECT_EQ(Bytes(secondReply.data, secondReply.data + 4), (Bytes{0x55, 0x66, 0x77, 0x88}));
}

// Every input kept in the fuzz corpora (the seeds and those that once found a fault) replays cleanly.
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
