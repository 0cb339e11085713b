// SerialPort against a real pseudo-terminal: the test holds the master, the port opens the slave
// through GELVAR_COM9. termios read through the master describe the slave.
#include "serial/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "serial/pty_reads.h"

namespace gelvar {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

struct RecordingMessages : SerialMessages {
  void ShowError(const std::string& caption, const std::string& text, bool warning) override {
    shown.push_back(caption + (warning ? " (warning) " : " ") + text);
  }
  Texts shown;
};

termios SettingsOf(int fd) {
  termios t;
  std::memset(&t, 0, sizeof t);  // padding too, for Same()
  EXPECT_EQ(::tcgetattr(fd, &t), 0);
  return t;
}
bool Same(const termios& a, const termios& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void Map(int com, const char* device) {
  if (device) {
    ::setenv(ComVariableName(com).c_str(), device, 1);
  } else {
    ::unsetenv(ComVariableName(com).c_str());
  }
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0);
    slave_ = ::ptsname(master_);
    termios t = SettingsOf(master_);  // cooked 9600 baud: far from what the port sets
    ::cfsetspeed(&t, B9600);
    ASSERT_EQ(::tcsetattr(master_, TCSANOW, &t), 0);
    before_ = SettingsOf(master_);
    Map(9, slave_.c_str());
  }
  void TearDown() override {
    if (master_ >= 0) ::close(master_);
  }

  int OpenLink(SerialPort& port, int com = 9, int baud = 19200) {
    return port.Open(com, baud, 8, 0, 0);
  }

  Bytes MasterRead(std::size_t count) const { return gelvar::MasterRead(master_, count); }

  int master_ = -1;
  std::string slave_;
  termios before_;
  RecordingMessages messages_;
  SerialPort port_{messages_};
};

TEST_F(SerialPortTest, Raw19200With8N1NoFlowControlAndReadsThatNeverWait) {
  ASSERT_EQ(OpenLink(port_), 1);
  const termios t = SettingsOf(master_);
  EXPECT_EQ(::cfgetispeed(&t), B19200);
  EXPECT_EQ(::cfgetospeed(&t), B19200);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
            tcflag_t{CS8 | CLOCAL | CREAD});
  EXPECT_EQ(t.c_iflag & (IXOFF | IXANY), 0u);

  // Carriage return, interrupt, XON/XOFF, delete, newline, end of file: all plain data here.
  const Bytes bytes = {0x0D, 0x03, 0x11, 0x13, 0x7F, 0x0A, 0x04, 0x00, 0xFF};
  EXPECT_EQ(port_.Write(bytes.data(), 9), 9);
  EXPECT_EQ(MasterRead(9), bytes);
  std::uint8_t buffer[16];
  EXPECT_EQ(port_.Read(buffer, 16), 0);  // nothing waiting
  ASSERT_EQ(::write(master_, bytes.data(), 9), 9);
  EXPECT_EQ(PortRead(port_, 1, 1), Bytes{0x0D});  // the rest stays waiting
  EXPECT_EQ(PortRead(port_, 8, 16), Bytes(bytes.begin() + 1, bytes.end()));
  EXPECT_FALSE(port_.DeviceLost());
  EXPECT_EQ(messages_.shown, Texts{});
}

TEST_F(SerialPortTest, SettingsComeBackAtCloseAndAtDestruction) {
  for (const bool destroy : {false, true}) {
    auto port = std::make_unique<SerialPort>(messages_);
    ASSERT_EQ(OpenLink(*port), 1);
    ASSERT_FALSE(Same(SettingsOf(master_), before_));
    if (destroy) {
      port.reset();
    } else {
      EXPECT_EQ(port->Close(), 1);
    }
    EXPECT_TRUE(Same(SettingsOf(master_), before_)) << destroy;
  }
  EXPECT_EQ(messages_.shown, Texts{});
}

TEST_F(SerialPortTest, OnlyOneOpenerAndIdleCallsStaySilent) {
  std::uint8_t byte = 0x42;
  EXPECT_EQ(port_.Close(), 1);
  EXPECT_EQ(port_.Write(&byte, 1), 0);
  EXPECT_EQ(port_.Read(&byte, 1), 0);
  ASSERT_EQ(OpenLink(port_), 1);
  EXPECT_EQ(OpenLink(port_), 0);
  EXPECT_EQ(messages_.shown, Texts{});

  SerialPort second(messages_);
  EXPECT_EQ(OpenLink(second), 0);
  EXPECT_EQ(messages_.shown,
            Texts{"Error 1 Error open COM9:\n" + slave_ +
                  ": Device or resource busy \u2014 is another program using it?"});
  EXPECT_EQ(port_.Write(&byte, 1), 1);
  EXPECT_EQ(MasterRead(1), Bytes{0x42});
  EXPECT_EQ(port_.Close(), 1);
  EXPECT_EQ(OpenLink(second), 1);  // free again after the close
}

// Whether or not a transfer noticed the far end closing first, nothing moves and Close closes.
TEST_F(SerialPortTest, FarEndClosingIsSurvived) {
  for (const bool transferFirst : {true, false}) {
    if (master_ < 0) SetUp();
    SerialPort port(messages_);
    ASSERT_EQ(OpenLink(port), 1);
    ::close(std::exchange(master_, -1));
    std::uint8_t buffer[4] = {1, 2, 3, 4};
    if (transferFirst) {
      EXPECT_EQ(port.Write(buffer, 4), 0);
      EXPECT_EQ(port.Read(buffer, 4), 0);
      EXPECT_TRUE(port.DeviceLost());
    }
    EXPECT_EQ(port.Close(), 1);
    EXPECT_FALSE(port.DeviceLost());
  }
  EXPECT_EQ(messages_.shown, Texts{});
}

TEST_F(SerialPortTest, OpenFailuresNameTheStepTheDeviceAndTheReason) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("gelvar-serial-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = dir / "plain", missing = dir / "none";
  std::ofstream(file) << "not a tty";
  const struct {
    int com;
    const char* device;
    int baud;
    std::string shown;
  } cases[] = {
      {9, missing.c_str(), 19200,
       "Error 1 Error open COM9:\n" + missing + ": No such file or directory"},
      {9, dir.c_str(), 19200, "Error 1 Error open COM9:\n" + dir.string() + ": Is a directory"},
      {9, file.c_str(), 19200, "Error 2 Error open COM9:\n" + file + ": not a serial device"},
      {9, slave_.c_str(), 1234,
       "Error 5 Error open COM9:\n" + slave_ +
           ": the line setting 1234 baud, 8 data bits, stop-bit code 0, parity code 0 is not "
           "supported"},
      {240, nullptr, 19200,
       "Error 1 Error open COM240:\n/dev/ttyS239: No such file or directory\n"
       "Set GELVAR_COM240 to the device to use, e.g. GELVAR_COM240=/dev/ttyUSB0"},
  };
  for (const auto& c : cases) {
    messages_.shown.clear();
    Map(c.com, c.device);
    EXPECT_EQ(OpenLink(port_, c.com, c.baud), 0);
    EXPECT_EQ(messages_.shown, Texts{c.shown});
  }
  std::filesystem::remove_all(dir);
  // The refused opening of the slave was undone: settings back, device free.
  EXPECT_TRUE(Same(SettingsOf(master_), before_));
  Map(9, slave_.c_str());
  EXPECT_EQ(OpenLink(port_), 1);
}

TEST(ComDevicePath, VariableWinsWhenSetElseTtySOfTheNumberBelow) {
  EXPECT_EQ(ComVariableName(12), "GELVAR_COM12");
  EXPECT_EQ(ComDevicePath(1, nullptr), "/dev/ttyS0");
  EXPECT_EQ(ComDevicePath(12, nullptr), "/dev/ttyS11");
  EXPECT_EQ(ComDevicePath(3, ""), "/dev/ttyS2");
  EXPECT_EQ(ComDevicePath(1, "/dev/ttyUSB0"), "/dev/ttyUSB0");
}

}  // namespace
}  // namespace gelvar
