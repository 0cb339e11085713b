#include <gtest/gtest.h>

#include <algorithm>

#include "unitsim/unit_client.h"

namespace gelvar::unitsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

int Answered(UnitClient& client, int requests) {
  int answered = 0;
  for (int i = 0; i < requests; ++i) answered += client.Ask(0x3003) ? 1 : 0;
  return answered;
}

TEST(UnitFaultsTest, IgnoredRequests) {
  const struct {
    const char* name;
    void (*set)(UnitFaults&);
    int answeredOfTen;
  } cases[] = {
      {"silent", [](UnitFaults& f) { f.silent = true; }, 0},
      {"silent object", [](UnitFaults& f) { f.silentObjects = {0x3003}; }, 0},
      {"other silent object", [](UnitFaults& f) { f.silentObjects = {0x3002}; }, 10},
      {"first three dropped", [](UnitFaults& f) { f.dropFirstRequests = 3; }, 7},
      {"all dropped", [](UnitFaults& f) { f.dropRate = 1.0; }, 0},
  };
  for (const auto& c : cases) {
    UnitClient client;
    c.set(client.unit.Faults());
    EXPECT_EQ(Answered(client, 10), c.answeredOfTen) << c.name;
    EXPECT_EQ(client.unit.Requests().size(), 10U) << c.name << ": requests still reach the unit";
  }
}

TEST(UnitFaultsTest, DroppedCommandDoesNotRun) {
  UnitClient client;
  client.unit.Faults().dropFirstRequests = 1;
  EXPECT_FALSE(client.Ask(0x0C87, {1, 0, 10, 0}));
  EXPECT_FALSE(client.unit.RecordingRunning(0, client.nowMs));
}

TEST(UnitFaultsTest, DropRateDropsAShare) {
  UnitClient client;
  client.unit.Faults().dropRate = 0.5;
  const int answered = Answered(client, 400);
  EXPECT_GT(answered, 140);
  EXPECT_LT(answered, 260);
}

TEST(UnitFaultsTest, CorruptedReplies) {
  UnitClient client;
  const Bytes sound = client.Raw(0x0C84);

  client.unit.Faults().badChecksumRate = 1.0;
  Bytes reply = client.Raw(0x0C84);
  EXPECT_EQ(reply.size(), sound.size());
  EXPECT_FALSE(ChecksumOk(reply));

  client.unit.Faults() = {};
  client.unit.Faults().badParityRate = 1.0;
  reply = client.Raw(0x0C84);
  EXPECT_TRUE(ChecksumOk(reply));
  EXPECT_FALSE(IdWordParityOk(static_cast<std::uint16_t>(reply[1] << 8 | reply[2])));

  client.unit.Faults() = {};
  client.unit.Faults().cutFrameRate = 1.0;
  EXPECT_EQ(client.Raw(0x0C84), Bytes(sound.begin(), sound.begin() + 4));
}

TEST(UnitFaultsTest, WrongCountChangesTheDataCount) {
  UnitClient client;
  client.unit.Faults().wrongCountRate = 1.0;
  EXPECT_EQ(client.Ask(0x3003)->data.size(), 4U);
  EXPECT_EQ(client.Ask(0x3000)->data.size(), 2U);
  EXPECT_EQ(client.Ask(0x3005)->data.size(), 2U);
}

TEST(UnitFaultsTest, LatencyDelaysTheReply) {
  UnitClient client;
  client.unit.Faults().latencyMs = 300;
  client.Send(EncodeFrame(0x3003, {}));
  client.Wait(299);
  EXPECT_TRUE(client.Collect().empty());
  client.Wait(1);
  EXPECT_EQ(DecodeLastFrame(client.Collect())->objectId, 0x3003U);
}

TEST(UnitFaultsTest, NoiseComesBeforeTheReplyWithoutTypeLetters) {
  UnitClient client;
  client.unit.Faults().noiseRate = 1.0;
  client.unit.Faults().noiseBurstLength = 12;
  for (int i = 0; i < 50; ++i) {
    const Bytes reply = client.Raw(0x3002);
    ASSERT_EQ(reply.size(), 12U + 8U);
    EXPECT_TRUE(std::none_of(reply.begin(), reply.begin() + 12, IsTypeLetter));
    EXPECT_EQ(DecodeLastFrame(reply)->data, (Bytes{1, 4, 16, 3}));
  }
}

TEST(UnitFaultsTest, NoiseMayHoldTypeLettersWhenAllowed) {
  UnitClient client;
  client.unit.Faults().noiseRate = 1.0;
  client.unit.Faults().noiseBurstLength = 1000;
  client.unit.Faults().noiseMayHoldTypeLetters = true;
  const Bytes reply = client.Raw(0x3002);
  EXPECT_TRUE(std::any_of(reply.begin(), reply.end() - 8, IsTypeLetter));
}

TEST(UnitFaultsTest, SameSeedSameLine) {
  auto run = [](std::uint32_t seed) {
    UnitClient client(seed);
    client.unit.Faults().dropRate = 0.3;
    client.unit.Faults().noiseRate = 0.3;
    client.unit.Faults().badChecksumRate = 0.3;
    Bytes line;
    for (int i = 0; i < 100; ++i) {
      const Bytes reply = client.Raw(0x0C94);
      line.insert(line.end(), reply.begin(), reply.end());
    }
    return line;
  };
  EXPECT_EQ(run(11), run(11));
  EXPECT_NE(run(11), run(12));
}

}  // namespace
}  // namespace gelvar::unitsim
