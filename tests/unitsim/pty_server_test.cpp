#include "unitsim/pty_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "unitsim/unit_codec.h"

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
    OpenProgramSide();
  }
  void TearDown() override {
    if (program >= 0) close(program);
  }
  void OpenProgramSide() {
    program = open(line->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(program, 0);
  }
  void Send(const Bytes& frame) {
    ASSERT_EQ(write(program, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  }
  // Serves until a whole reply frame arrived (or a generous number of rounds passed).
  Bytes Reply(std::size_t length) {
    Bytes received;
    for (int round = 0; round < 400 && received.size() < length; ++round) {
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

TEST_F(ServedPtyTest, RequestIsAnsweredOnTheRawProgramSide) {
  termios settings{};
  ASSERT_EQ(tcgetattr(program, &settings), 0);
  EXPECT_EQ(settings.c_lflag & (ECHO | ICANON | ISIG), 0U);
  EXPECT_EQ(settings.c_iflag & (ICRNL | IXON), 0U);
  EXPECT_EQ(settings.c_oflag & OPOST, 0U);

  Send(EncodeFrame(0x0C01, {}));
  EXPECT_EQ(Reply(6), EncodeFrame(0x0C01, {1, 0}));
  EXPECT_NE(log.str().find("request 0C01 read"), std::string::npos) << log.str();
  EXPECT_NE(log.str().find("reply 55 30 06 01 00 73"), std::string::npos) << log.str();
}

TEST_F(ServedPtyTest, ReplyToAProgramThatLeftIsNotHandedToTheNextOne) {
  Send(EncodeFrame(0x0C01, {}));
  close(program);
  program = -1;
  for (int round = 0; round < 5; ++round) server->ServeOnce(-1, 1);
  EXPECT_NE(log.str().find("no program has the line open"), std::string::npos) << log.str();

  OpenProgramSide();
  Send(EncodeFrame(0x0C02, {}));
  EXPECT_EQ(Reply(6), EncodeFrame(0x0C02, {60, 0}));
}

TEST_F(ServedPtyTest, StopSignalEndsTheWait) {
  std::string error;
  const auto stop = StopSignals::Install(error);
  ASSERT_TRUE(stop) << error;
  EXPECT_EQ(server->ServeOnce(stop->Fd(), 1), UnitServer::Outcome::kServing);
  std::raise(SIGTERM);
  EXPECT_EQ(server->ServeOnce(stop->Fd(), 10'000), UnitServer::Outcome::kStopped);
}

TEST_F(ServedPtyTest, SerialDeviceRunsAt19200AndGetsItsSettingsBack) {
  termios settings{};
  ASSERT_EQ(tcgetattr(program, &settings), 0);
  cfsetospeed(&settings, B9600);
  ASSERT_EQ(tcsetattr(program, TCSANOW, &settings), 0);

  std::string error;
  auto device = ServedLine::OpenSerialDevice(line->DevicePath(), error);
  ASSERT_TRUE(device) << error;
  ASSERT_EQ(tcgetattr(program, &settings), 0);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B19200));
  device.reset();
  ASSERT_EQ(tcgetattr(program, &settings), 0);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
}

TEST_F(ServedPtyTest, SerialDeviceThatHangsUpEndsTheServing) {
  std::string error;
  const auto device = ServedLine::OpenSerialDevice(line->DevicePath(), error);
  ASSERT_TRUE(device) << error;
  UnitServer deviceServer(*device, unit, nullptr);
  server.reset();
  line.reset();  // the far end goes away
  EXPECT_EQ(deviceServer.ServeOnce(-1, 1000), UnitServer::Outcome::kFailed);
  EXPECT_EQ(deviceServer.Error(), device->DevicePath() + " hung up");
}

TEST(ServedLineTest, DeviceThatCannotServeIsNamed) {
  const std::pair<const char*, const char*> cases[] = {
      {"/nonexistent/ttyS9", "cannot open /nonexistent/ttyS9: "},
      {"/dev/null", "cannot set up /dev/null: "},
  };
  for (const auto& [device, message] : cases) {
    std::string error;
    EXPECT_FALSE(ServedLine::OpenSerialDevice(device, error));
    EXPECT_EQ(error.rfind(message, 0), 0U) << error;
  }
}

class DeviceLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "gelvar-link-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    link = folder / "unit";
  }
  void TearDown() override { fs::remove_all(folder); }
  std::unique_ptr<DeviceLink> Create(const std::string& target) {
    std::string error;
    auto made = DeviceLink::Create(link.string(), target, error);
    EXPECT_EQ(made == nullptr, !error.empty()) << error;
    return made;
  }

  fs::path folder;
  fs::path link;
};

TEST_F(DeviceLinkTest, ReplacesAnOldSymlinkButNoOtherFileAndGoesAway) {
  fs::create_symlink("/dev/pts/3", link);
  auto made = Create("/dev/pts/4");
  ASSERT_TRUE(made);
  EXPECT_EQ(fs::read_symlink(link), "/dev/pts/4");
  made.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

  std::ofstream(link) << "keep";
  EXPECT_FALSE(Create("/dev/pts/4"));
  std::string content;
  std::ifstream(link) >> content;
  EXPECT_EQ(content, "keep");
}

TEST_F(DeviceLinkTest, LeavesALinkThatAnotherServerTookOver) {
  auto first = Create("/dev/pts/5");
  auto second = Create("/dev/pts/6");
  ASSERT_TRUE(first && second);
  first.reset();
  EXPECT_EQ(fs::read_symlink(link), "/dev/pts/6");
}

}  // namespace
}  // namespace gelvar::unitsim
