// SerialPort on real pseudo-terminals: the test holds the master, the port opens the slave through a
// symlink that GELVAR_COM8 names; a new pair behind it is the adapter plugged in again. termios read
// through the master describe the slave.
#include "core/serial/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "core/common/temp_folder.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

bool operator==(const termios& a, const termios& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The fixture keeps the message boxes the port shows.
class SerialPortTest : public ::testing::Test, public SerialMessages {
 protected:
  SerialPortTest() {
    ::setenv(ComVariableName(8).c_str(), link_.c_str(), 1);
    NewDevice();
  }
  ~SerialPortTest() override { Unplug(); }

  // A new pair behind the symlink, cooked at 38400 baud as a new one starts: far from what the port sets.
  void NewDevice() {
    Unplug();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0);
    std::filesystem::remove(link_);
    std::filesystem::create_symlink(::ptsname(master_), link_);
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
  int Open(SerialPort& port) { return port.Open(8, 19200, 8, 0, 0); }
  void ShowError(const std::string& caption, const std::string& text, bool) override {
    boxes_.push_back(caption + " " + text);
  }

  // Writes bytes both ways, each given up to two seconds to cross: line controls and end-of-file
  // bytes are plain data on a raw line, and a read takes no more than its maximum.
  void Carries(SerialPort& port) {
    const Bytes bytes = {0x0D, 0x03, 0x11, 0x13, 0x04};
    EXPECT_EQ(port.Write(bytes.data(), 5), 5);
    Bytes got(5);
    pollfd p{master_, POLLIN, 0};
    for (std::uint8_t& byte : got) EXPECT_TRUE(::poll(&p, 1, 2000) == 1 && ::read(master_, &byte, 1) == 1);
    EXPECT_EQ(got, bytes);
    ASSERT_EQ(::write(master_, bytes.data(), 5), 5);
    got.clear();
    std::uint8_t buffer[16];
    for (int tries = 0; got.size() < 5 && tries < 2000; ++tries) {
      const int most = got.empty() ? 1 : 16;  // a first read of one leaves the rest waiting
      const int n = port.Read(buffer, most);
      ASSERT_LE(n, most);
      got.insert(got.end(), buffer, buffer + n);
      if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(port.Read(buffer, 16), 0);
  }

  const TempFolder dir_;
  const std::string link_ = dir_ / "ttyGELVAR";
  int master_ = -1;
  termios before_{};
  Texts boxes_;
};

// A raw line for this program alone; a failed open names the device and the reason (held by this
// program, which its lock names, missing, or a plain file); the settings are put back. A lost device is held and
// reopened at the same path with the program's setting.
TEST_F(SerialPortTest, RawLineForThisProgramAloneLostAndFoundAndSettingsBackAfterwards) {
  SerialPort port(*this);
  ASSERT_EQ(Open(port), 1);
  const termios t = Settings();
  EXPECT_EQ(std::make_pair(::cfgetispeed(&t), ::cfgetospeed(&t)), std::make_pair(speed_t{B19200}, speed_t{B19200}));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD), tcflag_t{CS8 | CLOCAL | CREAD});
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  Carries(port);

  const std::string file = dir_ / "plain", missing = dir_ / "none";
  std::ofstream(file) << "not a tty";
  const std::pair<std::string, std::string> cases[] = {
      {link_, "Error 1 Error open COM8:\n" + link_ +
                  ": Device or resource busy \u2014 in use by gelvar_serial_tests (process " +
                  std::to_string(::getpid()) + ")"},
      {missing, "Error 1 Error open COM8:\n" + missing + ": No such file or directory"},
      {file, "Error 2 Error open COM8:\n" + file + ": not a serial device"},
  };
  for (const auto& [device, shown] : cases) {
    boxes_.clear();
    ::setenv(ComVariableName(8).c_str(), device.c_str(), 1);
    SerialPort other(*this);
    EXPECT_EQ(Open(other), 0);
    EXPECT_EQ(boxes_, Texts{shown});
  }
  ::setenv(ComVariableName(8).c_str(), link_.c_str(), 1);
  EXPECT_EQ(port.Close(), 1);
  EXPECT_TRUE(Settings() == before_);
  auto second = std::make_unique<SerialPort>(*this);
  EXPECT_EQ(Open(*second), 1) << "free again after the close";
  second.reset();
  EXPECT_TRUE(Settings() == before_) << "put back at destruction too";

  // Unplugging closes the master, as a pulled adapter or a stopped simulator does.
  boxes_.clear();
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
  Carries(port);
  // Gone before any transfer noticed it: the settings cannot be put back, and that is no error.
  Unplug();
  EXPECT_EQ(port.Close(), 1);
  EXPECT_FALSE(port.Lost());
  EXPECT_EQ(port.Reopen(), 0) << "a closed port is not reopened";
  EXPECT_EQ(boxes_, Texts{}) << "no boxes for a loss, a reopening or a close";
}

}  // namespace
}  // namespace gelvar::testing
