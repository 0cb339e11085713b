#include "unitsim/pty_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace gelvar::unitsim {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// A served pseudo-terminal and a program on its other side.
class ServedPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    line = ServedLine::OpenPseudoTerminal(error);
    ASSERT_TRUE(line) << error;
    server = std::make_unique<UnitServer>(*line, unit, &log);
  }
  void TearDown() override { CloseProgramSide(); }
  void OpenProgramSide(const std::string& path) {
    program = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(program, 0);
  }
  void CloseProgramSide() {
    if (program >= 0) close(std::exchange(program, -1));
  }
  void Send(const Bytes& request) {
    EXPECT_EQ(write(program, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  }
  // Serves until a whole reply frame arrived (or a generous number of rounds passed).
  Bytes RoundTrip(const Bytes& request, std::size_t replyLength) {
    Send(request);
    Bytes received;
    for (int round = 0; round < 400 && received.size() < replyLength; ++round) {
      EXPECT_EQ(server->ServeOnce(-1, 5), UnitServer::Outcome::kServing) << server->Error();
      std::uint8_t buffer[64];
      const ssize_t count = read(program, buffer, sizeof buffer);
      if (count > 0) received.insert(received.end(), buffer, buffer + count);
    }
    return received;
  }

  std::unique_ptr<ServedLine> line;
  int program = -1;
  UnitModel unit;
  std::ostringstream log;
  std::unique_ptr<UnitServer> server;
};

// A folder of the test's own, removed with everything in it when the test ends, passed or failed.
struct ScopedDir {
  ScopedDir() { fs::create_directories(path); }
  ~ScopedDir() { fs::remove_all(path); }
  const fs::path path = fs::temp_directory_path() / ("gelvar-link-" + std::to_string(getpid()));
};

TEST_F(ServedPtyTest, RequestsAreAnsweredOnTheRawProgramSide) {
  OpenProgramSide(line->DevicePath());
  termios settings{};
  ASSERT_EQ(tcgetattr(program, &settings), 0);
  EXPECT_EQ(settings.c_lflag & (ECHO | ICANON | ISIG), 0U);
  EXPECT_EQ(settings.c_iflag & (ICRNL | IXON), 0U);
  EXPECT_EQ(settings.c_oflag & OPOST, 0U);

  // A reply to a program that left before it came is not handed to the next program.
  Send(EncodeFrame(0x0C01, {}));
  CloseProgramSide();
  for (int round = 0; round < 5; ++round) EXPECT_EQ(server->ServeOnce(-1, 1), UnitServer::Outcome::kServing);
  EXPECT_NE(log.str().find("no program has the line open"), std::string::npos) << log.str();
  OpenProgramSide(line->DevicePath());
  EXPECT_EQ(RoundTrip(EncodeFrame(0x0C02, {}), 6), EncodeFrame(0x0C02, {60, 0}));
  EXPECT_NE(log.str().find("request 0C02 read"), std::string::npos) << log.str();
}

// Serving ends on a stop signal, and on a serial device that hangs up (one that cannot be opened is named).
TEST_F(ServedPtyTest, ServingEndsOnAStopSignalOrASerialDeviceThatHangsUp) {
  std::string error;
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

// The link replaces an old symlink but no other file, goes away with the server, and is left
// alone once another server took it over. The other targets are made-up paths beside the link, so
// that none of them can be the served device.
TEST_F(ServedPtyTest, DeviceLinkNamesTheServedDevice) {
  const ScopedDir dir;
  const std::string link = dir.path / "unit";
  const std::string elsewhere = dir.path / "other-device";
  fs::create_symlink(dir.path / "old-device", link);
  fs::create_symlink("stale", link + ".new" + std::to_string(getpid()));  // left by a server that crashed
  std::string error;
  auto made = DeviceLink::Create(link, line->DevicePath(), error);
  ASSERT_TRUE(made) << error;
  OpenProgramSide(link);
  EXPECT_EQ(RoundTrip(EncodeFrame(0x0C01, {}), 6), EncodeFrame(0x0C01, {1, 0}));
  auto other = DeviceLink::Create(link, elsewhere, error);
  made.reset();
  EXPECT_EQ(fs::read_symlink(link), elsewhere);
  other.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

  std::ofstream(link) << "keep";
  EXPECT_FALSE(DeviceLink::Create(link, elsewhere, error));
  std::string content;
  std::ifstream(link) >> content;
  EXPECT_EQ(content, "keep");
}

}  // namespace
}  // namespace gelvar::unitsim
