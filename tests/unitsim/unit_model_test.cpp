// The simulated unit as the program meets it: frames in, frames out, one request at a time.
#include "unitsim/unit_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace gelvar::unitsim {
namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kNoReply{0xEE};

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
  Bytes Data(std::uint32_t objectId, const Bytes& data = {}) {
    const auto reply = LastFrame(Raw(objectId, data));
    return reply ? reply->data : kNoReply;
  }
  // Of ten one-second recordings of sensor 1 asked for, how many were started.
  int RecordingsStarted() {
    int started = 0;
    for (int i = 0; i < 10; ++i) started += Data(0x0C87, {1, 0, 1, 0}) == Bytes{2, 0};
    return started;
  }

  UnitModel unit;
  std::int64_t nowMs = 0;
};

TEST(UnitModelTest, CommandsRunForTheirTimeAndFactoryResetStopsThem) {
  Client client;
  client.unit.SetObject(0x3003, {0x12, 0});
  client.unit.SetObject(0x0C84, {0x10, 0x17, 0x20, 0x17});
  EXPECT_EQ(client.Data(0x0C09, {7, 0}), (Bytes{0, 0})) << "no such minimum heat time command";
  EXPECT_EQ(client.Data(0x0C97, {1, 0, 0, 0}), (Bytes{0, 0})) << "a recording of no time";
  EXPECT_EQ(client.Data(0x0C87, {2, 0}), (Bytes{0, 0})) << "no such sensor command";
  ASSERT_EQ(client.Data(0x0C09, {1, 0}), (Bytes{2, 0}));
  EXPECT_EQ(client.Data(0x0C00).at(0), 6) << "Heating min.Time";
  EXPECT_EQ(client.Data(0x0C08), (Bytes{1, 0, 60, 0})) << "relay on, 60 min left";

  const std::int64_t sentMs = client.nowMs;
  ASSERT_EQ(client.Data(0x0C97, {1, 0, 250, 0}), (Bytes{2, 0}));
  EXPECT_EQ(client.Data(0x0C90).at(0), 11);
  EXPECT_NE(client.Data(0x0C80).at(0), 11) << "the other sensor";
  EXPECT_TRUE(client.unit.RecordingRunning(1, sentMs + 249'999));
  EXPECT_FALSE(client.unit.RecordingRunning(1, sentMs + 250'000));
  client.Wait(sentMs + 250'000 - client.nowMs);
  EXPECT_NE(client.Data(0x0C90).at(0), 11);
  EXPECT_NE(client.Data(0x0C07), (Bytes{0x84, 0x17, 0x52, 0x17})) << "unpinned temperatures drift";

  EXPECT_EQ(client.Data(0x3004, {0, 0}), (Bytes{0, 0})) << "a reset needs its code";
  ASSERT_EQ(client.Data(0x3004, {1, 0}), (Bytes{2, 0}));
  EXPECT_EQ(client.Data(0x0C08), (Bytes{0, 0, 0, 0})) << "reset stops the minimum heat time";
  EXPECT_EQ(client.Data(0x3003), (Bytes{0x01, 0}));
  EXPECT_EQ(client.Data(0x0C84), (Bytes{0x10, 0x17, 0x20, 0x17})) << "measured values stay";
}

TEST(UnitModelTest, AfterGarbageDataSetsMatchTheTimingAndEndWithAnEmptyReply) {
  Client client;
  std::mt19937 random(3);
  Bytes garbage(4000);
  for (auto& byte : garbage) byte = static_cast<std::uint8_t>(random());
  client.Send(garbage);
  client.Wait(500);
  client.Collect();
  client.unit.ClearRequests();
  const Bytes timing = client.Data(0x0D05);
  EXPECT_EQ(client.unit.Requests().size(), 1U);
  ASSERT_EQ(timing.size(), 4U);
  ASSERT_EQ(((timing[0] | timing[1] << 8) + 1) / timing[2], 6);
  EXPECT_EQ(client.Data(0x0D02, {0, 0}), (Bytes{0xB0, 0x04, 0xC2, 0x01})) << "1200 and 450";
  EXPECT_EQ(client.Data(0x0D02, {5, 0}).size(), 4U) << "the last set";
  EXPECT_EQ(client.Data(0x0D03, {5, 0}).size(), 2U);
  EXPECT_EQ(client.Data(0x0D02, {6, 0}), Bytes{});
  EXPECT_EQ(client.Data(0x0D03, {6, 0}), Bytes{});
  client.unit.SetRecordedSets({{1, 2, 3, 4}}, {});
  EXPECT_EQ(client.Data(0x0D02, {0, 0}), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(client.Data(0x0D03, {0, 0}), Bytes{});
}

// What each fault does to the bytes; a silent unit or object and wrong data counts show in the fault matrix.
TEST(UnitFaultsTest, EachFaultDoesWhatItSays) {
  using F = UnitFaults;
  const struct {
    const char* name;
    std::function<void(F&)> set;
    std::function<void(Client&)> check;
  } cases[] = {
      {"drop first", [](F& f) { f.dropFirstRequests = 3; }, [](Client& c) { EXPECT_EQ(c.RecordingsStarted(), 7); }},
      {"drop all", [](F& f) { f.dropRate = 1.0; }, [](Client& c) { EXPECT_EQ(c.RecordingsStarted(), 0); }},
      {"refuse commands", [](F& f) { f.refuseCommands = true; },
       [](Client& c) {
         for (const std::uint32_t command : {0x3004, 0x0C09, 0x0C97}) EXPECT_EQ(c.Data(command, {1, 0}), (Bytes{0, 0}));
         EXPECT_EQ(c.Data(0x0C00).at(0), 4) << "no minimum heat time runs";
         EXPECT_EQ(c.RecordingsStarted(), 0);
         EXPECT_EQ(c.Data(0x0D02, {0, 0}).size(), 4u) << "a data set read is no command";
       }},
      {"bad checksum", [](F& f) { f.badChecksumRate = 1.0; },
       [](Client& c) { EXPECT_FALSE(ChecksumOk(c.Raw(0x0C84))); }},
      {"bad parity", [](F& f) { f.badParityRate = 1.0; },
       [](Client& c) {
         const Bytes reply = c.Raw(0x0C84);
         ASSERT_EQ(reply.size(), 8U);
         EXPECT_TRUE(ChecksumOk(reply));
         EXPECT_FALSE(IdWordParityOk(static_cast<std::uint16_t>(reply[1] << 8 | reply[2])));
       }},
      {"cut frames", [](F& f) { f.cutFrameRate = 1.0; }, [](Client& c) { EXPECT_EQ(c.Raw(0x0C84).size(), 4U); }},
      {"latency", [](F& f) { f.latencyMs = 300; },
       [](Client& c) {
         c.Send(EncodeFrame(0x3003, {}));
         c.Wait(299);
         EXPECT_TRUE(c.Collect().empty());
         c.Wait(1);
         EXPECT_EQ(c.Collect().size(), 6U);
       }},
      {"noise",
       [](F& f) {
         f.noiseRate = 1.0;
         f.noiseBurstLength = 1000;
       },
       [](Client& c) {
         // The noise before the sound reply frame reaches 0xFF and holds type letters only when allowed.
         for (const bool letters : {false, true}) {
           c.unit.Faults().noiseMayHoldTypeLetters = letters;
           const Bytes reply = c.Raw(0x3002);
           ASSERT_EQ(reply.size(), 1008U);
           EXPECT_EQ(LastFrame(reply).value_or(DecodedFrame{}).data, (Bytes{1, 4, 16, 3}));
           EXPECT_NE(std::find(reply.begin(), reply.end() - 8, 0xFF), reply.end() - 8);
           EXPECT_EQ(std::any_of(reply.begin(), reply.end() - 8, IsTypeLetter), letters);
         }
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Client client;
    c.set(client.unit.Faults());
    c.check(client);
  }
}

}  // namespace
}  // namespace gelvar::unitsim
