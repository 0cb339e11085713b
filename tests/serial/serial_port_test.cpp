// SerialPort on real pseudo-terminals: the test holds the master, the port opens the slave through a
// symlink that GELVAR_COM8 names; a new pair behind it is the adapter plugged in again. termios read
// through the master describe the slave.
#include "serial/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

namespace gelvar {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

struct RecordingMessages : SerialMessages {
  void ShowError(const std::string& caption, const std::string& text, bool) override {
    shown.push_back(caption + " " + text);
  }
  Texts shown;
};

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_);
    ::setenv(ComVariableName(8).c_str(), link_.c_str(), 1);
    NewDevice();
  }
  void TearDown() override {
    Unplug();
    fs::remove_all(dir_);
  }

  // A new pair behind the symlink, cooked at 9600 baud: far from what the port sets.
  void NewDevice() {
    Unplug();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0);
    fs::remove(link_);
    fs::create_symlink(::ptsname(master_), link_);
    termios t = Settings();
    ::cfsetspeed(&t, B9600);
    ASSERT_EQ(::tcsetattr(master_, TCSANOW, &t), 0);
    before_ = Settings();
  }
  void Unplug() {
    if (master_ >= 0) ::close(std::exchange(master_, -1));
  }
  termios Settings() const {
    termios t;
    std::memset(&t, 0, sizeof t);  // padding too, for the comparison
    EXPECT_EQ(::tcgetattr(master_, &t), 0);
    return t;
  }
  bool SettingsAsBefore() const {
    const termios now = Settings();
    return std::memcmp(&now, &before_, sizeof now) == 0;
  }
  static int Open(SerialPort& port, int com = 8) { return port.Open(com, 19200, 8, 0, 0); }

  // Bytes cross a pseudo-terminal asynchronously: each gets up to two seconds.
  Bytes MasterRead(std::size_t count) const {
    Bytes got(count);
    pollfd p{master_, POLLIN, 0};
    std::size_t n = 0;
    while (n < count && ::poll(&p, 1, 2000) == 1 && ::read(master_, &got[n], 1) == 1) ++n;
    got.resize(n);
    return got;
  }
  static Bytes PortRead(SerialPort& port, std::size_t count, int maxPerRead) {
    Bytes got;
    std::uint8_t buffer[16];
    for (int tries = 0; got.size() < count && tries < 2000; ++tries) {
      const int n = port.Read(buffer, maxPerRead);
      got.insert(got.end(), buffer, buffer + n);
      if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return got;
  }
  // Writes bytes both ways: line controls and end-of-file bytes are plain data on a raw line.
  void Carries(SerialPort& port) {
    const Bytes bytes = {0x0D, 0x03, 0x11, 0x13, 0x04};
    EXPECT_EQ(port.Write(bytes.data(), 5), 5);
    EXPECT_EQ(MasterRead(5), bytes);
    ASSERT_EQ(::write(master_, bytes.data(), 5), 5);
    EXPECT_EQ(PortRead(port, 1, 1), Bytes{0x0D});
    EXPECT_EQ(PortRead(port, 4, 16), Bytes(bytes.begin() + 1, bytes.end())) << "a maximum of 1 left 4";
    std::uint8_t more[16];
    EXPECT_EQ(port.Read(more, 16), 0);
  }

  const fs::path dir_ = fs::temp_directory_path() / ("gelvar-serial-" + std::to_string(::getpid()));
  const fs::path link_ = dir_ / "ttyGELVAR";
  int master_ = -1;
  termios before_{};
  RecordingMessages messages_;
};

TEST_F(SerialPortTest, RawLineForThisProgramAloneAndSettingsBackAfterwards) {
  SerialPort port(messages_);
  ASSERT_EQ(Open(port), 1);
  const termios t = Settings();
  EXPECT_EQ(::cfgetispeed(&t), B19200);
  EXPECT_EQ(::cfgetospeed(&t), B19200);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD), tcflag_t{CS8 | CLOCAL | CREAD});
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  std::uint8_t byte;
  EXPECT_EQ(port.Read(&byte, 1), 0) << "nothing waiting";
  Carries(port);

  auto second = std::make_unique<SerialPort>(messages_);
  EXPECT_EQ(Open(*second), 0);
  EXPECT_EQ(messages_.shown, Texts{"Error 1 Error open COM8:\n" + link_.string() +
                                   ": Device or resource busy \u2014 is another program using it?"});
  EXPECT_EQ(port.Close(), 1);
  EXPECT_TRUE(SettingsAsBefore());
  EXPECT_EQ(Open(*second), 1) << "free again after the close";
  second.reset();
  EXPECT_TRUE(SettingsAsBefore()) << "put back at destruction too";
}

TEST_F(SerialPortTest, OpenFailuresNameTheDeviceAndTheReason) {
  const std::string file = dir_ / "plain", missing = dir_ / "none";
  std::ofstream(file) << "not a tty";
  const std::pair<std::string, std::string> cases[] = {
      {missing, "Error 1 Error open COM8:\n" + missing + ": No such file or directory"},
      {file, "Error 2 Error open COM8:\n" + file + ": not a serial device"},
  };
  for (const auto& [device, shown] : cases) {
    messages_.shown.clear();
    ::setenv(ComVariableName(8).c_str(), device.c_str(), 1);
    SerialPort port(messages_);
    EXPECT_EQ(Open(port), 0);
    EXPECT_EQ(messages_.shown, Texts{shown});
  }
}

// Unplugging closes the master, as a pulled adapter or a stopped simulator does.
TEST_F(SerialPortTest, LostDeviceIsHeldAndReopenedAtTheSamePathWithItsSetting) {
  SerialPort port(messages_);
  ASSERT_EQ(Open(port), 1);
  Unplug();
  std::uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(port.Read(bytes, 4), 0);
  EXPECT_TRUE(port.Lost()) << "noticed by a read alone";
  EXPECT_EQ(port.Write(bytes, 4), 0);
  EXPECT_EQ(port.Reopen(), 0) << "nothing behind the path yet";
  EXPECT_EQ(Open(port), 0) << "the port is still the program's";

  NewDevice();
  ASSERT_EQ(port.Reopen(), 1);
  EXPECT_FALSE(port.Lost());
  const termios now = Settings();
  EXPECT_EQ(::cfgetospeed(&now), B19200);
  Carries(port);
  EXPECT_EQ(port.Close(), 1);
  EXPECT_TRUE(SettingsAsBefore()) << "the new device's own setting is put back";

  // Gone before any transfer noticed it: the settings cannot be put back, and that is no error.
  NewDevice();
  ASSERT_EQ(Open(port), 1);
  Unplug();
  EXPECT_EQ(port.Close(), 1);
  EXPECT_FALSE(port.Lost());
  EXPECT_EQ(port.Reopen(), 0) << "a closed port is not reopened";
  EXPECT_EQ(messages_.shown, Texts{}) << "no boxes for a loss, a reopening or a close";
}

}  // namespace
}  // namespace gelvar
