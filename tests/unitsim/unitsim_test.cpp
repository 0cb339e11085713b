// The simulated unit as the program meets it (frames in, frames out, one request at a time), its
// command line, and its serving of a pseudo-terminal or serial device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "core/common/temp_folder.h"
#include "support/monitor_rig.h"
#include "unitsim/pty_server.h"
#include "unitsim/sim_options.h"
#include "unitsim/unit_model.h"

namespace gelvar::unitsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<DecodedFrame> LastFrame(const Bytes& bytes) {
  FrameDecoder decoder;
  std::optional<DecodedFrame> last;
  for (const std::uint8_t byte : bytes)
    if (auto frame = decoder.Feed(byte, 0)) last = frame;
  return last;
}

// Talks to the unit as the program does: one request, then half a second for the reply.
struct Client {
  void Wait(std::int64_t ms) { unit.Advance(nowMs += ms); }
  Bytes Raw(std::uint32_t objectId, const Bytes& data = {}) {
    for (const std::uint8_t byte : EncodeFrame(objectId, data)) unit.Receive(byte, nowMs);
    Wait(500);
    Bytes bytes(4096);
    bytes.resize(static_cast<std::size_t>(unit.Transmit(bytes.data(), 4096, nowMs)));
    return bytes;
  }
  Bytes Data(std::uint32_t objectId, const Bytes& data = {}) {
    // No reply, told apart from an empty one.
    return LastFrame(Raw(objectId, data)).value_or(DecodedFrame{0, {0xEE}}).data;
  }

  UnitModel unit;
  std::int64_t nowMs = 0;
};

// After garbage, each request in turn gets its reply: the recorded sets match the timing and end
// with an empty reply; a command runs for its time and a factory reset stops it.
TEST(UnitModelTest, AfterGarbageEachRequestGetsItsReplyAndCommandsRunForTheirTime) {
  Client client;
  std::mt19937 random(3);
  for (int i = 0; i < 4000; ++i) client.unit.Receive(static_cast<std::uint8_t>(random()), 0);
  client.Wait(500);
  client.unit.ClearRequests();
  // Object, data sent, data of the reply.
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
  for (const auto& [id, data, reply] : exchanges) EXPECT_EQ(client.Data(id, data), reply) << std::hex << id;
  EXPECT_EQ(client.unit.Requests().size(), std::size(exchanges)) << "the garbage holds no request";
  client.Wait(250'000);
  EXPECT_NE(client.Data(0x0C07), (Bytes{0x84, 0x17, 0x52, 0x17})) << "unpinned temperatures drift";
}

// What a fault does to the bytes where the link's end-to-end tests and the fault matrix cannot tell:
// commands refused, noise with or without type letters.
TEST(UnitFaultsTest, EachFaultDoesWhatItSays) {
  Client client;
  client.unit.Faults().refuseCommands = true;
  for (const std::uint32_t command : {0x3004, 0x0C09, 0x0C97}) EXPECT_EQ(client.Data(command, {1, 0}), (Bytes{0, 0}));
  EXPECT_EQ(client.Data(0x0C00).at(0), 4) << "no minimum heat time runs";
  EXPECT_EQ(client.Data(0x0D02, {0, 0}).size(), 4u) << "a data set read is no command";

  // The noise before the sound reply frame reaches 0xFF and holds type letters only when allowed.
  client.unit.Faults().noiseRate = 1.0;
  client.unit.Faults().noiseBurstLength = 1000;
  for (const bool letters : {false, true}) {
    client.unit.Faults().noiseMayHoldTypeLetters = letters;
    const Bytes reply = client.Raw(0x3002);
    ASSERT_EQ(reply.size(), 1008U);
    EXPECT_EQ(LastFrame(reply).value_or(DecodedFrame{}).data, (Bytes{1, 4, 16, 3}));
    EXPECT_NE(std::find(reply.begin(), reply.end() - 8, 0xFF), reply.end() - 8);
    EXPECT_EQ(std::any_of(reply.begin(), reply.end() - 8, IsTypeLetter), letters);
  }
}

// Both spellings of a value, "--name value" and "--name=value", each field once; a bad argument is
// named in the message.
TEST(SimOptionsTest, EachOptionSetsItsFieldAndBadArgumentsAreNamed) {
  SimOptions parsed;
  std::string error;
  // clang-format off
  const std::vector<std::string> args{
      "-h", "-v", "--print-path-only", "--silent", "--noise-letters", "--refuse-commands", "--link=/tmp/a=b", "--tty",
      "/dev/serial-adapter", "--silent-object", "0x0C01", "--silent-object=3fFf", "--drop-first", "3", "--drop-rate",
      "0.25", "--bad-checksum", "1", "--bad-parity=0.5", "--wrong-count", "0.75", "--cut-frames", "1e-1", "--noise",
      ".5", "--noise-length", "4096", "--latency", "60000", "--seed", "4294967295"};
  // clang-format on
  EXPECT_TRUE(ParseSimOptions(args, parsed, error)) << error;
  // Every field, so that an option landing in the wrong one shows.
  const UnitFaults& f = parsed.faults;
  EXPECT_EQ(std::tie(f.silent, f.silentObjects, f.dropFirstRequests, f.dropRate, f.badChecksumRate, f.badParityRate,
                     f.wrongCountRate, f.cutFrameRate, f.latencyMs, f.noiseRate, f.noiseBurstLength,
                     f.noiseMayHoldTypeLetters, f.refuseCommands, parsed.seed, parsed.linkPath, parsed.ttyDevice,
                     parsed.verbose, parsed.printPathOnly, parsed.help),
            std::make_tuple(true, std::set<std::uint32_t>{0x0C01, 0x3FFF}, 3, 0.25, 1.0, 0.5, 0.75, 0.1, 60000, 0.5,
                            4096, true, true, 4294967295U, "/tmp/a=b", "/dev/serial-adapter", true, true, true));
}

TEST(SimOptionsTest, BadArgumentIsNamedWithItsValue) {
  const std::pair<std::vector<std::string>, const char*> rows[] = {

      {{"--loud"}, "unknown option '--loud'"},
      {{"loud"}, "unexpected argument 'loud'"},
      {{"--silent=yes"}, "--silent takes no value"},
      {{"--latency"}, "--latency needs milliseconds from 0 to 60000"},
      {{"--latency", "60001"}, "--latency: '60001' is not milliseconds from 0 to 60000"},
      {{"--latency=-1"}, "--latency: '-1' is not milliseconds from 0 to 60000"},
      {{"--drop-rate", "1.5"}, "--drop-rate: '1.5' is not a share from 0 to 1"},
      {{"--noise=-0.1"}, "--noise: '-0.1' is not a share from 0 to 1"},
      {{"--cut-frames", "nan"}, "--cut-frames: 'nan' is not a share from 0 to 1"},
      {{"--bad-checksum", "0,5"}, "--bad-checksum: '0,5' is not a share from 0 to 1"},
      {{"--drop-first", "2147483648"}, "--drop-first: '2147483648' is not a count from 0"},
      {{"--drop-first", "-1"}, "--drop-first: '-1' is not a count from 0"},
      {{"--noise-length", "0"}, "--noise-length: '0' is not a count from 1 to 4096"},
      {{"--noise-length", "4097"}, "--noise-length: '4097' is not a count from 1 to 4096"},
      {{"--silent-object", "0x4000"}, "--silent-object: '0x4000' is not an object ID in hex from 0 to 0x3FFF"},
      {{"--seed", "4294967296"}, "--seed: '4294967296' is not a number from 0 to 4294967295"},
      {{"--link="}, "--link: '' is not a path"},
  };
  for (const auto& [args, message] : rows) {
    SimOptions parsed;
    std::string error;
    EXPECT_FALSE(ParseSimOptions(args, parsed, error)) << message;
    EXPECT_EQ(error, message);
  }
}

TEST(SimOptionsTest, LowestValuesAreTaken) {
  SimOptions parsed;
  std::string error;
  ASSERT_TRUE(ParseSimOptions({"--noise-length=1", "--silent-object=0"}, parsed, error)) << error;
  EXPECT_EQ(parsed.faults.noiseBurstLength, 1);
  EXPECT_EQ(parsed.faults.silentObjects, std::set<std::uint32_t>{0});
}

// The program's side of the line, closed when the test ends.
struct ProgramSide {
  explicit ProgramSide(const std::string& path) : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
  ~ProgramSide() {
    if (fd >= 0) close(fd);
  }
  const int fd;
};

// The program side is raw; a reply to a program that left before it came is not handed to the next
// program; a device link replaces an old symlink but no other file, goes away with the server, and is
// left alone once another server took it over (the other targets are made-up paths beside the link,
// so that none can be the served device); serving ends on a stop signal and on a serial device that
// hangs up, and one that cannot be opened is named.
TEST(ServedPtyTest, ServesThePseudoTerminalThroughItsLinkUntilStoppedOrHungUp) {
  std::string error;
  auto line = ServedLine::OpenPseudoTerminal(error);
  ASSERT_TRUE(line) << error;
  UnitModel unit;
  std::ostringstream log;
  auto server = std::make_unique<UnitServer>(*line, unit, &log);
  {
    const ProgramSide leaving(line->DevicePath());
    ASSERT_GE(leaving.fd, 0);
    termios settings{};
    ASSERT_EQ(tcgetattr(leaving.fd, &settings), 0);
    EXPECT_EQ(settings.c_lflag & (ECHO | ICANON | ISIG), 0U);
    EXPECT_EQ(settings.c_iflag & (ICRNL | IXON), 0U);
    EXPECT_EQ(settings.c_oflag & OPOST, 0U);
    EXPECT_EQ(write(leaving.fd, EncodeFrame(0x0C01, {}).data(), 4), 4);
  }
  for (int round = 0; round < 5; ++round) EXPECT_EQ(server->ServeOnce(-1, 1), UnitServer::Outcome::kServing);
  EXPECT_NE(log.str().find("no program has the line open"), std::string::npos) << log.str();

  const testing::TempFolder dir;
  const std::string link = dir / "unit";
  const std::string elsewhere = dir / "other-device";
  std::filesystem::create_symlink(dir / "old-device", link);
  std::filesystem::create_symlink("stale", link + ".new" + std::to_string(getpid()));  // left by a server that crashed
  auto made = DeviceLink::Create(link, line->DevicePath(), error);
  ASSERT_TRUE(made) << error;
  {
    const ProgramSide program(link);
    ASSERT_GE(program.fd, 0);
    EXPECT_EQ(write(program.fd, EncodeFrame(0x0C02, {}).data(), 4), 4);
    // Served until the whole reply came, or for a generous number of rounds.
    Bytes received;
    for (int round = 0; round < 400 && received.size() < 6; ++round) {
      EXPECT_EQ(server->ServeOnce(-1, 5), UnitServer::Outcome::kServing) << server->Error();
      std::uint8_t byte = 0;
      if (read(program.fd, &byte, 1) == 1) received.push_back(byte);
    }
    EXPECT_EQ(received, EncodeFrame(0x0C02, {60, 0}));
    EXPECT_NE(log.str().find("request 0C02 read"), std::string::npos) << log.str();
  }
  auto other = DeviceLink::Create(link, elsewhere, error);
  made.reset();
  EXPECT_EQ(std::filesystem::read_symlink(link), elsewhere);
  other.reset();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  std::ofstream(link) << "keep";
  EXPECT_FALSE(DeviceLink::Create(link, elsewhere, error));
  EXPECT_EQ(testing::ReadFile(link), "keep");

  const auto stop = StopSignals::Install(error);
  ASSERT_TRUE(stop) << error;
  raise(SIGTERM);
  EXPECT_EQ(server->ServeOnce(stop->Fd(), 1000), UnitServer::Outcome::kStopped);
  EXPECT_FALSE(ServedLine::OpenSerialDevice("/nonexistent/tty", error));
  EXPECT_EQ(error, "cannot open /nonexistent/tty: No such file or directory");
  const auto device = ServedLine::OpenSerialDevice(line->DevicePath(), error);
  ASSERT_TRUE(device) << error;
  UnitServer deviceServer(*device, unit, nullptr);
  server.reset();
  line.reset();  // the far end goes away
  EXPECT_EQ(deviceServer.ServeOnce(-1, 1000), UnitServer::Outcome::kFailed);
  EXPECT_EQ(deviceServer.Error(), device->DevicePath() + " hung up");
}

}  // namespace
}  // namespace gelvar::unitsim
