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

// A folder of the test's own, removed with everything in it when the test ends, passed or failed.
struct ScopedDir {
  ScopedDir() { fs::create_directories(path); }
  ~ScopedDir() { fs::remove_all(path); }
  const fs::path path = fs::temp_directory_path() / ("gelvar-link-" + std::to_string(getpid()));
};

// The program's side of the line, closed when the test ends.
struct ProgramSide {
  explicit ProgramSide(const std::string& path) : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
  ~ProgramSide() {
    if (fd >= 0) close(fd);
  }
  // Sends a request and serves until a whole reply frame arrived (or a generous number of rounds passed).
  Bytes RoundTrip(UnitServer& server, const Bytes& request, std::size_t replyLength) const {
    EXPECT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    Bytes received;
    for (int round = 0; round < 400 && received.size() < replyLength; ++round) {
      EXPECT_EQ(server.ServeOnce(-1, 5), UnitServer::Outcome::kServing) << server.Error();
      std::uint8_t buffer[64];
      const ssize_t count = read(fd, buffer, sizeof buffer);
      if (count > 0) received.insert(received.end(), buffer, buffer + count);
    }
    return received;
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

  const ScopedDir dir;
  const std::string link = dir.path / "unit";
  const std::string elsewhere = dir.path / "other-device";
  fs::create_symlink(dir.path / "old-device", link);
  fs::create_symlink("stale", link + ".new" + std::to_string(getpid()));  // left by a server that crashed
  auto made = DeviceLink::Create(link, line->DevicePath(), error);
  ASSERT_TRUE(made) << error;
  {
    const ProgramSide program(link);
    ASSERT_GE(program.fd, 0);
    EXPECT_EQ(program.RoundTrip(*server, EncodeFrame(0x0C02, {}), 6), EncodeFrame(0x0C02, {60, 0}));
    EXPECT_NE(log.str().find("request 0C02 read"), std::string::npos) << log.str();
  }
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
