// SerialPort on pseudo-terminals: the test holds the master, and GELVAR_COM8 names a symlink to the
// slave; a new pair behind the link is the adapter plugged in again.
#include "core/serial/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <utility>

#include "core/common/temp_folder.h"

namespace gelvar::testing {
namespace {

using Texts = std::vector<std::string>;

class SerialPortTest : public ::testing::Test, public SerialMessages {
 protected:
  SerialPortTest() {
    UseDevice(link_);
    NewDevice();
  }
  ~SerialPortTest() override { Unplug(); }
  // A new pair starts cooked at 38400 baud, far from what the port sets.
  void NewDevice() {
    Unplug();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0);
    std::filesystem::remove(link_);
    std::filesystem::create_symlink(::ptsname(master_), link_);
  }
  void Unplug() {
    if (master_ >= 0) ::close(std::exchange(master_, -1));
  }
  static void UseDevice(const std::string& path) { ::setenv(ComVariableName(8).c_str(), path.c_str(), 1); }
  static int Open(SerialPort& port) { return port.Open(8, 19200, 8, 0, 0); }
  // The speed the device is set to, and whether it is cooked.
  std::pair<speed_t, bool> Line() const {
    termios t{};
    EXPECT_EQ(::tcgetattr(master_, &t), 0);
    return {::cfgetospeed(&t), (t.c_lflag & ICANON) != 0};
  }
  void ShowError(const std::string& caption, const std::string& text, bool) override {
    boxes_.push_back(caption + " " + text);
  }

  const TempFolder dir_;
  const std::string link_ = dir_ / "ttyGELVAR";
  int master_ = -1;
  Texts boxes_;
};

TEST_F(SerialPortTest, FailedOpenShowsTheDeviceAndWhy) {
  SerialPort holder(*this);
  ASSERT_EQ(Open(holder), 1);
  const std::string file = dir_ / "plain", missing = dir_ / "none";
  std::ofstream(file) << "not a tty";
  const std::pair<std::string, std::string> cases[] = {
      {link_, "Error 1 Error open COM8:\n" + link_ + ": Device or resource busy \u2014 in use by gelvar_serial_tests " +
                  "(process " + std::to_string(::getpid()) + ")"},
      {missing, "Error 1 Error open COM8:\n" + missing + ": No such file or directory"},
      {file, "Error 2 Error open COM8:\n" + file + ": not a serial device"},
  };
  for (const auto& [device, shown] : cases) {
    boxes_.clear();
    UseDevice(device);
    SerialPort port(*this);
    EXPECT_EQ(Open(port), 0);
    EXPECT_EQ(boxes_, Texts{shown});
  }
}

// Lost without a box, the port stays the program's: it is reopened at its path, raw again, and gives
// the new device its settings back when closed.
TEST_F(SerialPortTest, LostDeviceIsReopenedAtItsPathUntilClosed) {
  SerialPort port(*this);
  ASSERT_EQ(Open(port), 1);
  Unplug();
  std::uint8_t byte;
  EXPECT_EQ(port.Read(&byte, 1), 0);
  ASSERT_TRUE(port.Lost());
  EXPECT_EQ(Open(port), 0);
  EXPECT_EQ(port.Reopen(), 0) << "nothing behind the path yet";
  NewDevice();
  ASSERT_EQ(port.Reopen(), 1);
  EXPECT_EQ(Line(), std::pair(speed_t{B19200}, false));
  EXPECT_EQ(port.Close(), 1);
  EXPECT_EQ(Line(), std::pair(speed_t{B38400}, true));
  EXPECT_EQ(boxes_, Texts{});
}

}  // namespace
}  // namespace gelvar::testing
