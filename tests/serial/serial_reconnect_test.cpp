// A device that goes away under the open port and comes back at the same path, on real
// pseudo-terminals: the test closes the master (as an unplugged adapter or a stopped simulator
// does), makes a new pair and re-points the symlink that GELVAR_COM8 names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/ticker.h"
#include "link/converter.h"
#include "link/link_memory.h"
#include "serial/pty_reads.h"
#include "serial/serial_port.h"
#include "support/link_fixture.h"
#include "tools/byte_pump.h"

namespace gelvar {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct RecordingMessages : SerialMessages, PumpMessages {
  void ShowError(const std::string& caption, const std::string& text, bool) override {
    shown.push_back(caption + " " + text);
  }
  void ShowMessage(const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

struct Observer : LineObserver {
  void LineLost(int portNumber) override { seen += "lost" + std::to_string(portNumber) + " "; }
  void LineBack(int portNumber) override { seen += "back" + std::to_string(portNumber) + " "; }
  std::string seen;
};

class SerialReconnect : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("gelvar-reconnect-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    link_ = dir_ / "ttyGELVAR";
    NewDevice();
    ::setenv(ComVariableName(8).c_str(), link_.c_str(), 1);
  }
  void TearDown() override {
    if (master_ >= 0) ::close(master_);
    ::unsetenv(ComVariableName(8).c_str());
    fs::remove_all(dir_);
  }

  // A new pseudo-terminal pair, its slave behind the symlink; the old master, if any, is closed.
  void NewDevice() {
    Unplug();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0);
    fs::remove(link_);
    fs::create_symlink(::ptsname(master_), link_);
  }
  void Unplug() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  fs::path dir_;
  fs::path link_;
  int master_ = -1;
  RecordingMessages messages_;
};

TEST_F(SerialReconnect, PortIsHeldWhileLostAndReopensWithItsSettingWhenThePathIsBack) {
  SerialPort port(messages_);
  ASSERT_EQ(port.Open(8, 19200, 8, 0, 0), 1);
  Unplug();
  std::uint8_t byte = 0x42;
  EXPECT_EQ(port.Read(&byte, 1), 0);
  EXPECT_TRUE(port.Lost());
  EXPECT_EQ(port.Write(&byte, 1), 0);
  EXPECT_EQ(port.Reopen(), 0) << "nothing behind the path yet";
  EXPECT_EQ(port.Open(8, 19200, 8, 0, 0), 0) << "the port is still the program's";
  EXPECT_TRUE(port.Lost());

  NewDevice();
  termios before;
  ASSERT_EQ(::tcgetattr(master_, &before), 0);
  ASSERT_EQ(port.Reopen(), 1);
  EXPECT_FALSE(port.Lost());
  termios now;
  ASSERT_EQ(::tcgetattr(master_, &now), 0);
  EXPECT_EQ(::cfgetospeed(&now), B19200);
  EXPECT_EQ(now.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t{CS8});
  EXPECT_EQ(now.c_lflag & (ICANON | ECHO), 0u) << "raw, as at the first opening";

  const Bytes bytes = {0x0D, 0x54, 0x00, 0xFF};
  EXPECT_EQ(port.Write(bytes.data(), 4), 4);
  EXPECT_EQ(MasterRead(master_, 4), bytes);
  ASSERT_EQ(::write(master_, bytes.data(), 4), 4);
  EXPECT_EQ(PortRead(port, 4, 4), bytes);

  EXPECT_EQ(port.Close(), 1);
  termios after;
  ASSERT_EQ(::tcgetattr(master_, &after), 0);
  EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before)) << "the new device's own setting is put back";
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(messages_.shown, std::vector<std::string>{}) << "no boxes for a loss or a reopening";
}

TEST_F(SerialReconnect, LostPortClosesByHand) {
  SerialPort port(messages_);
  ASSERT_EQ(port.Open(8, 19200, 8, 0, 0), 1);
  Unplug();
  std::uint8_t byte;
  port.Read(&byte, 1);
  ASSERT_TRUE(port.Lost());
  EXPECT_EQ(port.Close(), 1);
  EXPECT_FALSE(port.Lost());
  EXPECT_EQ(port.Reopen(), 0) << "a closed port is not reopened";
  NewDevice();
  EXPECT_EQ(port.Open(8, 19200, 8, 0, 0), 1);
  EXPECT_EQ(messages_.shown, std::vector<std::string>{});
}

// The byte pump over the real port: told once each way, and a frame from the new device reaches the
// link's reply slots.
TEST_F(SerialReconnect, PumpTellsOnceAndCarriesFramesAgainOnceReopened) {
  ResetLinkStateForTests();
  StartLink();
  windowTimerPeriod = 10;
  SerialPort port(messages_);
  BytePump pump(port, messages_);
  Observer observer;
  pump.SetLineObserver(&observer);
  ASSERT_EQ(pump.OpenChannel(0, 8), 1);
  Unplug();
  for (int i = 0; i < 300; ++i) pump.Pump();  // three seconds of timer messages
  EXPECT_EQ(observer.seen, "lost8 ");
  NewDevice();
  for (int i = 0; i < 100 && pump.LineLost(); ++i) pump.Pump();
  EXPECT_EQ(observer.seen, "lost8 back8 ");

  const Bytes frame = testing::MakeFrame(0x3003, {1, 0});
  ASSERT_EQ(::write(master_, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  for (int i = 0; i < 2000 && linkMemory.converter.slotStatus[0] == 0; ++i) {
    pump.Pump();
    ::usleep(1000);
  }
  EXPECT_EQ(linkMemory.converter.slotStatus[0], 0x7F) << "a fresh two-byte reply";
  EXPECT_EQ(messages_.shown, std::vector<std::string>{});
  pump.CloseChannel(0);
  ResetLinkStateForTests();
}

}  // namespace
}  // namespace gelvar
