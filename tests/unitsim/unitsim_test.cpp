// What only the simulated unit does: its replies to commands and recorded sets, its faults where the
// end-to-end runs cannot tell them apart, its command line, and its serving of a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/common/temp_folder.h"
#include "support/monitor_rig.h"
#include "unitsim/pty_server.h"
#include "unitsim/sim_options.h"

namespace gelvar::unitsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Talks to the unit as the program does: one request, then half a second for the reply.
struct Client {
  Bytes Raw(std::uint32_t objectId, const Bytes& data = {}) {
    for (const std::uint8_t byte : EncodeFrame(objectId, data)) unit.Receive(byte, nowMs);
    unit.Advance(nowMs += 500);
    std::uint8_t reply[4096];
    return Bytes(reply, reply + unit.Transmit(reply, 4096, nowMs));
  }
  UnitModel unit;
  std::int64_t nowMs = 0;
};

// The recorded sets end with an empty reply; a command runs for its time and a factory reset stops it.
// Each row: object, data sent, data of the reply.
TEST(UnitModelTest, EachRequestGetsItsReplyAndCommandsRunForTheirTime) {
  Client client{UnitModel(), 1'000};
  client.unit.Receive(kTypeNoData, 0);  // a request cut short after its first byte, given up by the next one
  const std::tuple<std::uint32_t, Bytes, Bytes> exchanges[] = {
      {0x0D05, {}, {59, 0, 10, 0}},                // Ti 59 s and Tm 10 s: six sets
      {0x0D02, {0, 0}, {0xB0, 0x04, 0xC2, 0x01}},  // 1200 and 450
      {0x0D03, {5, 0}, {0x8E, 0x17}},              // the last set
      {0x0D02, {6, 0}, {}},                        // past it
      {0x0C09, {1, 0}, {2, 0}},                    // minimum heat time started
      {0x0C00, {}, {6, 0, 0, 0}},                  // Heating min.Time
      {0x0C08, {}, {1, 0, 60, 0}},                 // relay on, 60 min left
      {0x3004, {1, 0}, {2, 0}},                    // factory reset
      {0x0C08, {}, {0, 0, 0, 0}},                  // no minimum heat time runs
  };
  for (const auto& [id, data, reply] : exchanges)
    EXPECT_EQ(client.Raw(id, data), EncodeFrame(id, reply)) << std::hex << id;
  client.unit.Advance(client.nowMs += 250'000);
  EXPECT_NE(client.Raw(0x0C07), EncodeFrame(0x0C07, {0x84, 0x17, 0x52, 0x17})) << "unpinned temperatures drift";
}

// Type letters in noise could pass for the start of a frame; noise without them still reaches 0xFF.
// (Noise that may hold them runs in the fault matrix.)
TEST(UnitFaultsTest, NoiseWithoutTypeLettersStillReachesFF) {
  Client client;
  client.unit.Faults().noiseRate = 1.0;
  client.unit.Faults().noiseBurstLength = 1000;
  const Bytes reply = client.Raw(0x3002);
  EXPECT_EQ(
      std::tuple(reply.size(), std::ranges::max(reply), std::any_of(reply.begin(), reply.end() - 8, IsTypeLetter)),
      std::tuple(1008u, 0xFF, false));
}

// The link drops a bad parity as it drops a bad checksum: only the frame itself tells them apart.
TEST(UnitFaultsTest, BadParityFlipsTheIdWordsLowBitUnderAChecksumThatFits) {
  Client client;
  client.unit.Faults().badParityRate = 1.0;
  EXPECT_EQ(client.Raw(0x3001), (Bytes{0x55, 0xC0, 0x07, 0x03, 0x00, 0xDF}));  // ID word C0 06 as C0 07
}

struct OptionsRow {
  const char* name;
  std::vector<std::string> args;
  const char* error;  // empty: taken
};
class SimOptionsTest : public ::testing::TestWithParam<OptionsRow> {};

// A refused argument is named with its value. A flag that does not set its field makes its whole
// command line refused.
TEST_P(SimOptionsTest, AreTakenOrTheBadArgumentIsNamed) {
  SimOptions parsed;
  std::string error;
  EXPECT_EQ(std::tuple(ParseSimOptions(GetParam().args, parsed, error), error),
            std::tuple(*GetParam().error == '\0', std::string(GetParam().error)));
}

// clang-format off
const OptionsRow kOptionRows[] = {
    {"FlagsBothSpellingsAndEdgeValues", {"-h", "-v", "--print-path-only", "--silent", "--noise-letters", "--refuse-commands", "--seed",
     "4294967295", "--latency=60000", "--drop-rate", "1", "--noise-length=1", "--noise-length", "4096", "--silent-object=0", "--silent-object", "3fFf"}, ""},
    {"Unknown", {"--loud"}, "unknown option '--loud'"},
    {"Operand", {"loud"}, "unexpected argument 'loud'"},
    {"FlagWithAValue", {"--silent=yes"}, "--silent takes no value"},
    {"ValueMissing", {"--latency"}, "--latency needs milliseconds from 0 to 60000"},
    {"LatencyAboveTheHighest", {"--latency", "60001"}, "--latency: '60001' is not milliseconds from 0 to 60000"},
    {"LatencyNegative", {"--latency=-1"}, "--latency: '-1' is not milliseconds from 0 to 60000"},
    {"RateAboveOne", {"--drop-rate", "1.5"}, "--drop-rate: '1.5' is not a share from 0 to 1"},
    {"RateNegative", {"--noise=-0.1"}, "--noise: '-0.1' is not a share from 0 to 1"},
    {"RateNotANumber", {"--cut-frames", "nan"}, "--cut-frames: 'nan' is not a share from 0 to 1"},
    {"RateWithAComma", {"--bad-checksum", "0,5"}, "--bad-checksum: '0,5' is not a share from 0 to 1"},
    {"CountPastAnInt", {"--drop-first", "2147483648"}, "--drop-first: '2147483648' is not a count from 0"},
    {"CountNegative", {"--drop-first", "-1"}, "--drop-first: '-1' is not a count from 0"},
    {"NoiseLengthZero", {"--noise-length", "0"}, "--noise-length: '0' is not a count from 1 to 4096"},
    {"NoiseLengthAboveTheHighest", {"--noise-length", "4097"}, "--noise-length: '4097' is not a count from 1 to 4096"},
    {"ObjectAboveTheHighest", {"--silent-object", "0x4000"}, "--silent-object: '0x4000' is not an object ID in hex from 0 to 0x3FFF"},
    {"SeedPast32Bits", {"--seed", "4294967296"}, "--seed: '4294967296' is not a number from 0 to 4294967295"},
    {"EmptyLink", {"--link="}, "--link: '' is not a path"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(, SimOptionsTest, ::testing::ValuesIn(kOptionRows), testing::kByName);

// The program's side of the line.
int OpenAsTheProgramDoes(const std::string& path) { return open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK); }

// A reply to a program that left before it came is not handed to the next program; a device link
// replaces an old symlink (and a stale one of its own making) but no other file, and goes away with the
// server; serving ends on a stop signal, and a serial device that cannot be opened is named.
TEST(ServedPtyTest, ServesThePseudoTerminalThroughItsLinkUntilStopped) {
  std::string error;
  auto line = ServedLine::OpenPseudoTerminal(error);
  ASSERT_TRUE(line) << error;
  UnitModel unit;
  std::ostringstream log;
  auto server = std::make_unique<UnitServer>(*line, unit, &log);
  const int leaving = OpenAsTheProgramDoes(line->DevicePath());
  EXPECT_EQ(write(leaving, EncodeFrame(0x0C01, {}).data(), 4), 4);
  close(leaving);
  for (int round = 0; round < 5; ++round) EXPECT_EQ(server->ServeOnce(-1, 1), UnitServer::Outcome::kServing);

  const testing::TempFolder dir;
  const std::string link = dir / "unit";
  std::filesystem::create_symlink(dir / "old-device", link);
  std::filesystem::create_symlink("stale", link + ".new" + std::to_string(getpid()));  // left by a server that crashed
  auto made = DeviceLink::Create(link, line->DevicePath(), error);
  ASSERT_TRUE(made) << error;
  const int program = OpenAsTheProgramDoes(link);
  EXPECT_EQ(write(program, EncodeFrame(0x0C02, {}).data(), 4), 4);
  Bytes received;  // served until the whole reply came, or for a generous number of rounds
  for (int round = 0; round < 400 && received.size() < 6; ++round) {
    EXPECT_EQ(server->ServeOnce(-1, 5), UnitServer::Outcome::kServing) << server->Error();
    std::uint8_t byte = 0;
    if (read(program, &byte, 1) == 1) received.push_back(byte);
  }
  close(program);
  EXPECT_EQ(received, EncodeFrame(0x0C02, {60, 0}));
  EXPECT_NE(log.str().find("no program has the line open"), std::string::npos) << log.str();
  EXPECT_NE(log.str().find("request 0C02 read"), std::string::npos) << log.str();
  made.reset();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  std::ofstream(link) << "keep";
  EXPECT_FALSE(DeviceLink::Create(link, line->DevicePath(), error));
  EXPECT_EQ(testing::ReadFile(link), "keep");

  const auto stop = StopSignals::Install(error);
  ASSERT_TRUE(stop) << error;
  raise(SIGTERM);
  EXPECT_EQ(server->ServeOnce(stop->Fd(), 1000), UnitServer::Outcome::kStopped);
  EXPECT_FALSE(ServedLine::OpenSerialDevice("/nonexistent/tty", error));
  EXPECT_EQ(error, "cannot open /nonexistent/tty: No such file or directory");
}

// One descriptor to spare: the pseudo-terminal opens, its program side cannot.
TEST(ServedPtyTest, PseudoTerminalWhoseProgramSideCannotOpenIsRefusedWithTheReason) {
  const int lowestFree = open("/dev/null", O_RDONLY);
  close(lowestFree);
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  const rlimit tight{static_cast<rlim_t>(lowestFree + 1), saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  std::string error;
  const bool opened = ServedLine::OpenPseudoTerminal(error) != nullptr;
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_FALSE(opened);
  EXPECT_TRUE(error.starts_with("cannot open /dev/pts/") && error.ends_with(": Too many open files")) << error;
}

}  // namespace
}  // namespace gelvar::unitsim
