#include "unitsim/unit_model.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace gelvar::unitsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

int Word(const Bytes& bytes, std::size_t offset) { return bytes.at(offset) | bytes.at(offset + 1) << 8; }

std::optional<DecodedFrame> LastFrame(const Bytes& bytes) {
  FrameDecoder decoder;
  std::optional<DecodedFrame> last;
  for (const std::uint8_t byte : bytes) {
    if (auto frame = decoder.Feed(byte, 0)) last = frame;
  }
  return last;
}

// Talks to the unit as the program does: one request, then half a second for the reply.
struct Client {
  explicit Client(std::uint32_t seed = 1) : unit(seed) {}
  void Send(const Bytes& bytes) {
    for (const std::uint8_t byte : bytes) unit.Receive(byte, nowMs);
  }
  void Wait(std::int64_t ms) { unit.Advance(nowMs += ms); }
  Bytes Collect() {
    Bytes bytes(4096);
    bytes.resize(static_cast<std::size_t>(unit.Transmit(bytes.data(), 4096, nowMs)));
    return bytes;
  }
  Bytes Raw(std::uint32_t objectId, const Bytes& data = {}) {
    Send(EncodeFrame(objectId, data));
    Wait(500);
    return Collect();
  }
  // Reply data; {0xEE} stands for no reply.
  Bytes Data(std::uint32_t objectId, const Bytes& data = {}) {
    const auto reply = LastFrame(Raw(objectId, data));
    return reply ? reply->data : Bytes{0xEE};
  }

  UnitModel unit;
  UnitFaults& faults = unit.Faults();
  std::int64_t nowMs = 0;
};

TEST(UnitModelTest, ReadsAnswerWithTheObjectsDataCount) {
  const std::pair<std::uint32_t, std::size_t> objects[] = {
      {0x3000, 4}, {0x3001, 2}, {0x3002, 4}, {0x3003, 2}, {0x3004, 2}, {0x3008, 2}, {0x0C00, 4},
      {0x0C01, 2}, {0x0C02, 2}, {0x0C03, 2}, {0x0C04, 2}, {0x0C05, 2}, {0x0C06, 2}, {0x0C07, 4},
      {0x0C08, 4}, {0x0C09, 2}, {0x0C0B, 2}, {0x0C0C, 2}, {0x0C80, 4}, {0x0C81, 2}, {0x0C82, 2},
      {0x0C83, 2}, {0x0C84, 4}, {0x0C85, 4}, {0x0C86, 4}, {0x0C87, 2}, {0x0C90, 4}, {0x0C91, 2},
      {0x0C92, 2}, {0x0C93, 2}, {0x0C94, 4}, {0x0C95, 4}, {0x0C96, 4}, {0x0C97, 2}, {0x0D00, 4},
      {0x0D01, 2}, {0x0D04, 4}, {0x0D05, 4}, {0x0D06, 2}, {0x0D07, 2}, {0x0D08, 2},
      {0x3005, 0}, {0x0C0A, 0}, {0x1234, 0}, {0x0D02, 0},  // unknown, or a data set without N
  };
  Client client;
  for (const auto& [objectId, count] : objects) {
    const auto reply = LastFrame(client.Raw(objectId));
    ASSERT_TRUE(reply) << std::hex << objectId;
    EXPECT_EQ(reply->objectId, objectId);
    EXPECT_EQ(reply->data.size(), count) << std::hex << objectId;
  }
  EXPECT_EQ(client.Data(0x3003), (Bytes{0x01, 0})) << "EN, Celsius";
  EXPECT_EQ(client.Data(0x3002), (Bytes{1, 4, 16, 3})) << "1.04 B0316";
  EXPECT_EQ(client.Data(0x3003, {0x12, 0}), (Bytes{0x01, 0})) << "read-only";
}

TEST(UnitModelTest, CommandsReplyWithTheirOutcome) {
  const struct {
    std::uint32_t objectId;
    Bytes data, reply;
  } commands[] = {
      {0x3004, {1, 0}, {2, 0}}, {0x3004, {0, 0}, {0, 0}},         {0x0C09, {1, 0}, {2, 0}},
      {0x0C09, {0, 0}, {2, 0}}, {0x0C09, {7, 0}, {0, 0}},         {0x0C97, {1, 0}, {2, 0}},
      {0x0C87, {2, 0}, {0, 0}}, {0x0C87, {1, 0, 250, 0}, {2, 0}}, {0x0C97, {1, 0, 0, 0}, {0, 0}},
  };
  for (const auto& c : commands) {
    EXPECT_EQ(Client().Data(c.objectId, c.data), c.reply) << std::hex << c.objectId;
  }
}

TEST(UnitModelTest, MinimumHeatTimeAndFactoryReset) {
  Client client;
  client.unit.SetObject(0x3003, {0x12, 0});
  client.unit.SetObject(0x0C84, {0x10, 0x17, 0x20, 0x17});
  ASSERT_EQ(client.Data(0x0C09, {1, 0}), (Bytes{2, 0}));
  EXPECT_EQ(client.Data(0x0C00)[0], 6) << "Heating min.Time";
  EXPECT_EQ(client.Data(0x0C08), (Bytes{1, 0, 60, 0})) << "relay on, 60 min left";
  client.Wait(30 * 60'000);
  EXPECT_EQ(Word(client.Data(0x0C08), 2), 30);
  ASSERT_EQ(client.Data(0x3004, {1, 0}), (Bytes{2, 0}));
  EXPECT_EQ(client.Data(0x0C08), (Bytes{0, 0, 0, 0})) << "reset stops it";
  EXPECT_EQ(client.Data(0x3003), (Bytes{0x01, 0}));
  EXPECT_EQ(client.Data(0x0C84), (Bytes{0x10, 0x17, 0x20, 0x17})) << "measured values stay";
}

TEST(UnitModelTest, RecordingShowsStateElevenForTaSeconds) {
  Client client;
  ASSERT_EQ(client.Data(0x0C97, {1, 0, 250, 0}), (Bytes{2, 0}));  // sent at 0
  EXPECT_TRUE(client.unit.RecordingRunning(1, 249'999));
  EXPECT_FALSE(client.unit.RecordingRunning(1, 250'000));
  EXPECT_FALSE(client.unit.RecordingRunning(0, 1));
  EXPECT_EQ(client.Data(0x0C90)[0], 11);
  EXPECT_NE(client.Data(0x0C80)[0], 11);
  client.Wait(250'000 - client.nowMs);
  EXPECT_NE(client.Data(0x0C90)[0], 11);
}

TEST(UnitModelTest, DataSetsMatchTheTimingAndEndWithAnEmptyReply) {
  Client client;
  const Bytes timing = client.Data(0x0D05);
  ASSERT_EQ((Word(timing, 0) + 1) / timing[2], 6);
  for (std::uint8_t set = 0; set < 6; ++set) {
    EXPECT_EQ(client.Data(0x0D02, {set, 0}).size(), 4U);
    EXPECT_EQ(client.Data(0x0D03, {set, 0}).size(), 2U);
  }
  EXPECT_EQ(client.Data(0x0D02, {6, 0}), Bytes{});
  EXPECT_EQ(client.Data(0x0D03, {6, 0}), Bytes{});
  client.unit.SetRecordedSets({{1, 2, 3, 4}, {5, 6, 7, 8}}, {{0x70, 0x17}});
  EXPECT_EQ(client.Data(0x0D02, {1, 0}), (Bytes{5, 6, 7, 8}));
  EXPECT_EQ(client.Data(0x0D03, {1, 0}), Bytes{});
}

TEST(UnitModelTest, TemperaturesDriftWithinRangeUnlessPinned) {
  Client first(5), second(5);
  const Bytes pinned{0x00, 0x17, 0x00, 0x17};
  first.unit.SetObject(0x0C94, pinned);
  const Bytes start = first.unit.Object(0x0C07);
  for (int minute = 0; minute < 120; ++minute) {
    first.Wait(60'000);
    second.Wait(60'000);
    EXPECT_GE(Word(first.unit.Object(0x0C07), 0), 5960);
    EXPECT_LE(Word(first.unit.Object(0x0C07), 0), 6060);
  }
  EXPECT_NE(first.unit.Object(0x0C07), start);
  EXPECT_EQ(first.unit.Object(0x0C94), pinned);
  EXPECT_EQ(first.unit.Object(0x0C84), second.unit.Object(0x0C84)) << "same seed, same drift";
}

TEST(UnitModelTest, GarbageIsIgnoredAndRequestsAreRecorded) {
  Client client;
  std::mt19937 random(3);
  Bytes garbage(4000);
  for (auto& byte : garbage) byte = static_cast<std::uint8_t>(random());
  client.Send(garbage);
  client.Wait(500);
  client.Collect();
  client.unit.ClearRequests();
  EXPECT_EQ(client.Data(0x0C87, {1, 0, 0xFA, 0}), (Bytes{2, 0}));
  ASSERT_EQ(client.unit.Requests().size(), 1U);
  EXPECT_EQ(client.unit.Requests()[0].objectId, 0x0C87U);
  EXPECT_EQ(client.unit.Requests()[0].data, (Bytes{1, 0, 0xFA, 0}));
  EXPECT_EQ(client.unit.Requests()[0].atMs, 500);
}

TEST(UnitFaultsTest, IgnoredRequestsGetNoReplyAndRunNoCommand) {
  const std::pair<void (*)(UnitFaults&), int> cases[] = {
      {[](UnitFaults& f) { f.silent = true; }, 0},
      {[](UnitFaults& f) { f.silentObjects = {0x0C87}; }, 0},
      {[](UnitFaults& f) { f.silentObjects = {0x0C97}; }, 10},
      {[](UnitFaults& f) { f.dropFirstRequests = 3; }, 7},
      {[](UnitFaults& f) { f.dropRate = 1.0; }, 0},
  };
  for (const auto& [set, answeredOfTen] : cases) {
    Client client;
    set(client.faults);
    int answered = 0;
    for (int i = 0; i < 10; ++i) answered += client.Data(0x0C87, {1, 0, 1, 0}) == Bytes{2, 0};
    EXPECT_EQ(answered, answeredOfTen);
    EXPECT_EQ(client.unit.RecordingRunning(0, client.nowMs - 500), answered > 0);
    EXPECT_EQ(client.unit.Requests().size(), 10U);
  }
}

TEST(UnitFaultsTest, RefusingUnitRefusesCommandsOnlyAndRunsNone) {
  Client client;
  client.faults.refuseCommands = true;
  const std::pair<std::uint32_t, Bytes> commands[] = {
      {0x3004, {1, 0}}, {0x0C09, {1, 0}}, {0x0C87, {1, 0}}, {0x0C97, {1, 0, 10, 0}}};
  for (const auto& [objectId, data] : commands) {
    EXPECT_EQ(client.Data(objectId, data), (Bytes{0, 0})) << std::hex << objectId;
  }
  EXPECT_EQ(client.Data(0x0C00)[0], 4) << "no minimum heat time runs";
  EXPECT_EQ(client.Data(0x0C80)[0], 8) << "no recording runs";
  EXPECT_EQ(client.Data(0x0D02, {0, 0}).size(), 4u) << "a data set read is no command";
}

TEST(UnitFaultsTest, CorruptedRepliesFailWhereTheySay) {
  Client client;
  const Bytes sound = client.Raw(0x0C84);
  client.faults.badChecksumRate = 1.0;
  EXPECT_FALSE(ChecksumOk(client.Raw(0x0C84)));
  client.faults = {};
  client.faults.badParityRate = 1.0;
  const Bytes badParity = client.Raw(0x0C84);
  EXPECT_TRUE(ChecksumOk(badParity));
  EXPECT_FALSE(IdWordParityOk(static_cast<std::uint16_t>(badParity[1] << 8 | badParity[2])));
  client.faults = {};
  client.faults.cutFrameRate = 1.0;
  EXPECT_EQ(client.Raw(0x0C84), Bytes(sound.begin(), sound.begin() + 4));
  client.faults = {};
  client.faults.wrongCountRate = 1.0;
  EXPECT_EQ(client.Data(0x3003).size(), 4U);
  EXPECT_EQ(client.Data(0x3000).size(), 2U);
  client.faults = {};
  client.faults.latencyMs = 300;
  client.Send(EncodeFrame(0x3003, {}));
  client.Wait(299);
  EXPECT_TRUE(client.Collect().empty());
  client.Wait(1);
  EXPECT_EQ(client.Collect().size(), 6U);
}

TEST(UnitFaultsTest, NoiseHoldsTypeLettersOnlyWhenAllowed) {
  for (const bool mayHold : {false, true}) {
    Client client;
    client.faults.noiseRate = 1.0;
    client.faults.noiseBurstLength = 1000;
    client.faults.noiseMayHoldTypeLetters = mayHold;
    const Bytes reply = client.Raw(0x3002);
    ASSERT_EQ(reply.size(), 1008U);
    EXPECT_EQ(std::any_of(reply.begin(), reply.begin() + 1000, IsTypeLetter), mayHold);
    EXPECT_EQ(LastFrame(reply)->data, (Bytes{1, 4, 16, 3}));
  }
}

TEST(UnitFaultsTest, SameSeedSameFaults) {
  auto run = [](std::uint32_t seed) {
    Client client(seed);
    client.faults.dropRate = client.faults.noiseRate = 0.5;
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
