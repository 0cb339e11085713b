#include "unitsim/unit_model.h"

#include <gtest/gtest.h>

#include "unitsim/unit_client.h"

namespace gelvar::unitsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

int Word(const Bytes& bytes, std::size_t offset) { return bytes.at(offset) | bytes.at(offset + 1) << 8; }

TEST(UnitModelTest, ReadsAnswerWithTheObjectsDataCount) {
  const struct {
    std::uint32_t objectId;
    std::size_t count;
  } objects[] = {
      {0x3000, 4}, {0x3001, 2}, {0x3002, 4}, {0x3003, 2}, {0x3004, 2}, {0x3008, 2}, {0x0C00, 4},
      {0x0C01, 2}, {0x0C02, 2}, {0x0C03, 2}, {0x0C04, 2}, {0x0C05, 2}, {0x0C06, 2}, {0x0C07, 4},
      {0x0C08, 4}, {0x0C09, 2}, {0x0C0B, 2}, {0x0C0C, 2}, {0x0C80, 4}, {0x0C81, 2}, {0x0C82, 2},
      {0x0C83, 2}, {0x0C84, 4}, {0x0C85, 4}, {0x0C86, 4}, {0x0C87, 2}, {0x0C90, 4}, {0x0C91, 2},
      {0x0C92, 2}, {0x0C93, 2}, {0x0C94, 4}, {0x0C95, 4}, {0x0C96, 4}, {0x0C97, 2}, {0x0D00, 4},
      {0x0D01, 2}, {0x0D04, 4}, {0x0D05, 4}, {0x0D06, 2}, {0x0D07, 2}, {0x0D08, 2},
      // Unknown objects, and the data set records asked without a set number: no data.
      {0x3005, 0}, {0x0C0A, 0}, {0x0C88, 0}, {0x1234, 0}, {0x0D02, 0}, {0x0D03, 0},
  };
  UnitClient client;
  for (const auto& object : objects) {
    const auto reply = client.Ask(object.objectId);
    ASSERT_TRUE(reply) << std::hex << object.objectId;
    EXPECT_EQ(reply->objectId, object.objectId);
    EXPECT_EQ(reply->data.size(), object.count) << std::hex << object.objectId;
  }
}

TEST(UnitModelTest, DefaultsArePlausible) {
  UnitClient client;
  EXPECT_EQ(client.Data(0x3003), (Bytes{0x01, 0})) << "EN, Celsius";
  EXPECT_EQ(client.Data(0x3002), (Bytes{1, 4, 16, 3})) << "1.04 B0316";
  EXPECT_EQ(client.Data(0x0C01)[0], 1) << "heating mode Active";
  EXPECT_EQ(client.Data(0x0C81)[0], 3) << "K720/21";
  for (const std::uint32_t objectId : {0x0C07U, 0x0C84U, 0x0C94U}) {
    const Bytes temps = client.Data(objectId);
    for (const std::size_t offset : {0U, 2U}) {
      EXPECT_GE(Word(temps, offset), 5960) << std::hex << objectId;
      EXPECT_LE(Word(temps, offset), 6060) << std::hex << objectId;
    }
  }
}

TEST(UnitModelTest, CommandsReplyWithTheirOutcome) {
  const struct {
    std::uint32_t objectId;
    Bytes data;
    Bytes reply;
  } commands[] = {
      {0x3004, {1, 0}, {2, 0}},          {0x3004, {0, 0}, {0, 0}},          {0x0C09, {1, 0}, {2, 0}},
      {0x0C09, {0, 0}, {2, 0}},          {0x0C09, {7, 0}, {0, 0}},          {0x0C87, {1, 0}, {2, 0}},
      {0x0C97, {1, 0}, {2, 0}},          {0x0C87, {1, 0, 250, 0}, {2, 0}}, {0x0C97, {1, 0, 0, 0}, {0, 0}},
      {0x0C87, {2, 0}, {0, 0}},
  };
  for (const auto& command : commands) {
    UnitClient client;
    EXPECT_EQ(client.Data(command.objectId, command.data), command.reply)
        << std::hex << command.objectId << " " << int{command.data[0]};
  }
}

TEST(UnitModelTest, ReadOnlyObjectsIgnoreWrittenData) {
  UnitClient client;
  EXPECT_EQ(client.Data(0x3003, {0x12, 0}), (Bytes{0x01, 0}));
  EXPECT_EQ(client.Data(0x3003), (Bytes{0x01, 0}));
}

TEST(UnitModelTest, MinimumHeatTimeRunsForTheSetMinutes) {
  UnitClient client;
  client.unit.SetObject(0x0C02, {60, 0});
  ASSERT_EQ(client.Data(0x0C09, {1, 0}), (Bytes{2, 0}));
  EXPECT_EQ(client.Data(0x0C00)[0], 6) << "Heating min.Time";
  Bytes relay = client.Data(0x0C08);
  EXPECT_EQ(relay[0], 1);
  EXPECT_EQ(Word(relay, 2), 60);
  EXPECT_EQ(client.Data(0x0C09), (Bytes{1, 0}));

  client.Wait(30 * 60'000);
  EXPECT_EQ(Word(client.Data(0x0C08), 2), 30);
  client.Wait(30 * 60'000);
  EXPECT_EQ(client.Data(0x0C00)[0], 4) << "ran out";

  ASSERT_EQ(client.Data(0x0C09, {1, 0}), (Bytes{2, 0}));
  ASSERT_EQ(client.Data(0x0C09, {0, 0}), (Bytes{2, 0}));
  EXPECT_EQ(client.Data(0x0C00)[0], 4) << "stopped";
  EXPECT_EQ(client.Data(0x0C08), (Bytes{0, 0, 0, 0}));
}

TEST(UnitModelTest, FactoryResetRestoresParametersOnly) {
  UnitClient client;
  client.unit.SetObject(0x3003, {0x12, 0});
  client.unit.SetObject(0x0C93, {77, 0});
  client.unit.SetObject(0x0C84, {0x10, 0x17, 0x20, 0x17});
  ASSERT_EQ(client.Data(0x3004, {1, 0}), (Bytes{2, 0}));
  EXPECT_EQ(client.Data(0x3003), (Bytes{0x01, 0}));
  EXPECT_EQ(client.Data(0x0C93), (Bytes{40, 0}));
  EXPECT_EQ(client.Data(0x0C84), (Bytes{0x10, 0x17, 0x20, 0x17})) << "a measured value stays";
}

TEST(UnitModelTest, RecordingShowsStateElevenForTaSeconds) {
  UnitClient client;
  client.nowMs = 1000;
  client.Send(EncodeFrame(0x0C97, {1, 0, 250, 0}));
  const std::int64_t startMs = client.nowMs;
  client.Wait(1);
  EXPECT_EQ(DecodeLastFrame(client.Collect())->data, (Bytes{2, 0}));
  EXPECT_TRUE(client.unit.RecordingRunning(1, startMs + 249'999));
  EXPECT_FALSE(client.unit.RecordingRunning(1, startMs + 250'000));
  EXPECT_FALSE(client.unit.RecordingRunning(0, startMs + 1));

  EXPECT_EQ(client.Data(0x0C90)[0], 11);
  EXPECT_NE(client.Data(0x0C80)[0], 11) << "the other sensor goes on as before";
  EXPECT_EQ(client.Data(0x0C97), (Bytes{1, 0}));
  client.Wait(startMs + 250'000 - client.nowMs);
  EXPECT_NE(client.Data(0x0C90)[0], 11);
  EXPECT_EQ(client.unit.Object(0x0C97), (Bytes{0, 0}));
}

TEST(UnitModelTest, DataSetsMatchTheTimingAndEndWithAnEmptyReply) {
  UnitClient client;
  const Bytes timing = client.Data(0x0D05);
  const int sets = (Word(timing, 0) + 1) / timing[2];
  EXPECT_EQ(sets, 6) << "Ti 59, Tm 10";
  for (int set = 0; set < sets; ++set) {
    const auto index = static_cast<std::uint8_t>(set);
    EXPECT_EQ(client.Data(0x0D02, {index, 0}).size(), 4U) << set;
    EXPECT_EQ(client.Data(0x0D03, {index, 0}).size(), 2U) << set;
  }
  EXPECT_EQ(client.Data(0x0D02, {6, 0}), Bytes{});
  EXPECT_EQ(client.Data(0x0D03, {6, 0}), Bytes{});

  client.unit.SetRecordedSets({{1, 2, 3, 4}, {5, 6, 7, 8}}, {{0x70, 0x17}});
  EXPECT_EQ(client.Data(0x0D02, {1, 0}), (Bytes{5, 6, 7, 8}));
  EXPECT_EQ(client.Data(0x0D02, {2, 0}), Bytes{});
  EXPECT_EQ(client.Data(0x0D03, {0, 0}), (Bytes{0x70, 0x17}));
  EXPECT_EQ(client.Data(0x0D03, {1, 0}), Bytes{});
}

TEST(UnitModelTest, TemperaturesDriftWithinRangeUnlessPinned) {
  UnitClient first(5);
  UnitClient second(5);
  const Bytes pinned{0x00, 0x17, 0x00, 0x17};
  first.unit.SetObject(0x0C94, pinned);
  const Bytes slabAtStart = first.unit.Object(0x0C07);
  bool moved = false;
  for (int minute = 0; minute < 120; ++minute) {
    for (UnitClient* client : {&first, &second}) {
      client->Wait(60'000);
      const Bytes slab = client->Data(0x0C07);
      moved = moved || slab != slabAtStart;
      EXPECT_GE(Word(slab, 0), 5960);
      EXPECT_LE(Word(slab, 0), 6060);
    }
  }
  EXPECT_TRUE(moved);
  EXPECT_EQ(first.unit.Object(0x0C94), pinned);
  EXPECT_EQ(first.unit.Object(0x0C84), second.unit.Object(0x0C84)) << "same seed, same drift";
  EXPECT_NE(second.unit.Object(0x0C94), pinned);
}

TEST(UnitModelTest, RequestsRecordWhatReachedTheUnit) {
  UnitClient client;
  client.nowMs = 40;
  client.Ask(0x0C87, {1, 0, 0xFA, 0});
  client.Ask(0x3003);
  const auto& requests = client.unit.Requests();
  ASSERT_EQ(requests.size(), 2U);
  EXPECT_EQ(requests[0].objectId, 0x0C87U);
  EXPECT_EQ(requests[0].data, (Bytes{1, 0, 0xFA, 0}));
  EXPECT_EQ(requests[0].atMs, 40);
  EXPECT_EQ(requests[1].objectId, 0x3003U);
  EXPECT_TRUE(requests[1].data.empty());
  client.unit.ClearRequests();
  EXPECT_TRUE(client.unit.Requests().empty());
}

TEST(UnitModelTest, CorruptedRequestsAreIgnored) {
  UnitClient client;
  Bytes badChecksum = EncodeFrame(0x3003, {});
  badChecksum.back() ^= 0x01;
  Bytes badParity = EncodeFrame(0x3003, {});
  badParity[1] ^= 0x80;
  badParity.back() = ChecksumOf(badParity.data(), badParity.size() - 1);
  std::mt19937 random(3);
  Bytes garbage(4000);
  for (auto& byte : garbage) byte = static_cast<std::uint8_t>(random());

  for (const Bytes& corrupted : {badChecksum, badParity, Bytes{0x55, 0x00}}) {
    client.Send(corrupted);
    client.Wait(UnitClient::kReplyWaitMs);
    EXPECT_TRUE(client.Collect().empty());
  }
  client.Send(garbage);
  client.Wait(UnitClient::kReplyWaitMs);
  client.Collect();
  client.unit.ClearRequests();
  EXPECT_EQ(client.Data(0x3003), (Bytes{0x01, 0})) << "still answers after all that";
  EXPECT_EQ(client.unit.Requests().size(), 1U);
}

}  // namespace
}  // namespace gelvar::unitsim
