// The POSIX serial device on a pseudo-terminal: the test holds the master, the device opens the slave.
// The master's termios describe the slave.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <utility>

#include "core/common/temp_folder.h"
#include "core/serial/serial_device.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr LineSettings k19200_8N1{19200, 8, 0, 0};
constexpr int kNoneParity = 0, kEvenParity = 2, kMarkParity = 3;
constexpr int kTwoStopBits = 2;
constexpr int kOpenStep = 1, kSaveStep = 2, kApplyStep = 5;

class SerialDeviceTest : public ::testing::Test {
 protected:
  SerialDeviceTest() {
    EXPECT_TRUE(master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0);
    path_ = ::ptsname(master_);
  }
  ~SerialDeviceTest() override { Unplug(); }

  void Unplug() {
    if (master_ >= 0) ::close(std::exchange(master_, -1));
  }
  std::unique_ptr<SerialDevice> Opened() {
    auto device = OpenSerialDevice(path_, failure_);
    EXPECT_TRUE(device) << failure_.reason;
    return device;
  }
  // Opened, its settings saved and the line applied.
  std::unique_ptr<SerialDevice> Ready(const LineSettings& line = k19200_8N1) {
    auto device = Opened();
    EXPECT_TRUE(device->SaveSettings(failure_) && device->ApplyLine(line, failure_)) << failure_.reason;
    return device;
  }
  termios Settings() const {
    termios t{};
    EXPECT_EQ(::tcgetattr(master_, &t), 0);
    return t;
  }
  // What read gives within a second, up to count bytes; read fills a buffer of 64 and says how many.
  static Bytes Collected(std::size_t count, const std::function<int(std::uint8_t*)>& read) {
    Bytes got;
    std::uint8_t buffer[64];
    for (int tries = 0; got.size() < count && tries < 1000; ++tries) {
      got.insert(got.end(), buffer, buffer + read(buffer));
      if (got.size() < count) ::usleep(1000);
    }
    return got;
  }

  int master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  std::string path_;
  SerialFailure failure_;
};

TEST_F(SerialDeviceTest, AppliedLineIsRaw19200BaudEightBitsNoParityOneStopBit) {
  const auto device = Ready();
  const termios t = Settings();
  EXPECT_EQ(::cfgetospeed(&t), speed_t{B19200});
  EXPECT_EQ(::cfgetispeed(&t), speed_t{B19200});
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CLOCAL | CREAD), tcflag_t{CS8 | CLOCAL | CREAD});
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | INPCK | ICRNL), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(SerialDeviceTest, AppliedLineTakesItsBaudRateAndStopBits) {
  const auto device = Ready({9600, 8, kTwoStopBits, kNoneParity});
  const termios t = Settings();
  EXPECT_EQ(::cfgetospeed(&t), speed_t{B9600});
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t{CS8 | CSTOPB});
}

TEST_F(SerialDeviceTest, RefusedLineIsNamedAtStepFive) {
  const std::pair<LineSettings, const char*> rows[] = {
      {{19201, 8, 0, 0}, "the line setting 19201 baud, 8 data bits, stop-bit code 0, parity code 0 is not supported"},
      {{19200, 8, 0, kMarkParity},
       "the line setting 19200 baud, 8 data bits, stop-bit code 0, parity code 3 is not supported"},
      {{19200, 4, 0, 0}, "the line setting 19200 baud, 4 data bits, stop-bit code 0, parity code 0 is not supported"},
      {{19200, 9, 0, 0}, "the line setting 19200 baud, 9 data bits, stop-bit code 0, parity code 0 is not supported"},
      {{19200, 8, 1, 0}, "the line setting 19200 baud, 8 data bits, stop-bit code 1, parity code 0 is not supported"},
      // A pseudo-terminal keeps eight bits without parity whatever it is asked.
      {{19200, 7, 0, kEvenParity},
       "the device does not take the line setting 19200 baud, 7 data bits, stop-bit code 0, parity code 2"},
  };
  const auto device = Opened();
  ASSERT_TRUE(device->SaveSettings(failure_));
  for (const auto& [line, reason] : rows) {
    EXPECT_FALSE(device->ApplyLine(line, failure_));
    EXPECT_EQ(failure_.step, kApplyStep);
    EXPECT_EQ(failure_.reason, reason);
  }
}

TEST_F(SerialDeviceTest, BytesCrossBothWaysUnchanged) {
  const auto device = Ready();
  const Bytes bytes = {0x0D, 0x0A, 0x03, 0x11, 0x13, 0x04, 0xFF};
  EXPECT_EQ(device->Write(bytes.data(), 7), 7);
  const auto fromMaster = [&](std::uint8_t* buffer) { return std::max<int>(::read(master_, buffer, 64), 0); };
  EXPECT_EQ(Collected(7, fromMaster), bytes);
  ASSERT_EQ(::write(master_, bytes.data(), 7), 7);
  EXPECT_EQ(Collected(7, [&](std::uint8_t* buffer) { return device->Read(buffer, 64); }), bytes);
}

TEST_F(SerialDeviceTest, WaitingCountsTheBytesNotYetRead) {
  const auto device = Ready();
  ASSERT_EQ(::write(master_, "abc", 3), 3);
  for (int tries = 0; device->Waiting() < 3 && tries < 1000; ++tries) ::usleep(1000);
  std::uint8_t first;
  ASSERT_EQ(device->Read(&first, 1), 1);
  EXPECT_EQ(device->Waiting(), 2);
}

TEST_F(SerialDeviceTest, EmptyQueueReadsNothingAndIsNoLoss) {
  const auto device = Ready();
  std::uint8_t byte;
  EXPECT_EQ(device->Read(&byte, 1), 0);
  EXPECT_FALSE(device->Lost());
}

TEST_F(SerialDeviceTest, DeviceThatGoesAwayIsLostAndMovesNothing) {
  const auto device = Ready();
  Unplug();
  std::uint8_t bytes[2] = {1, 2};
  EXPECT_EQ(device->Read(bytes, 2), 0);
  EXPECT_TRUE(device->Lost());
  EXPECT_EQ(device->Write(bytes, 2), 0);
  EXPECT_EQ(device->Waiting(), 0);
}

TEST_F(SerialDeviceTest, HungUpDeviceIsFoundLostByWaiting) {
  const auto device = Ready();
  Unplug();
  EXPECT_EQ(device->Waiting(), 0);
  EXPECT_TRUE(device->Lost());
}

TEST_F(SerialDeviceTest, RestorePutsBackTheSettingsSaved) {
  const tcflag_t cooked = Settings().c_lflag & (ICANON | ECHO);
  const auto device = Ready();
  ASSERT_TRUE(device->RestoreSettings(failure_)) << failure_.reason;
  const termios t = Settings();
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), cooked);
  EXPECT_EQ(::cfgetospeed(&t), speed_t{B38400});
}

TEST_F(SerialDeviceTest, RestoringADeviceThatWentAwayIsNoFailure) {
  const auto device = Ready();
  Unplug();
  EXPECT_TRUE(device->RestoreSettings(failure_));
  EXPECT_EQ(failure_.step, 0);
}

TEST_F(SerialDeviceTest, SecondOpenIsRefusedAsBusyNamingThisProcess) {
  const auto first = Opened();
  EXPECT_FALSE(OpenSerialDevice(path_, failure_));
  EXPECT_EQ(failure_.step, kOpenStep);
  EXPECT_EQ(failure_.reason, "Device or resource busy");
  ASSERT_TRUE(failure_.holder);
  EXPECT_EQ(failure_.holder->pid, ::getpid());
  EXPECT_EQ(failure_.holder->program, "gelvar_device_tests");
}

TEST_F(SerialDeviceTest, ClosedDeviceIsFreeForTheNextOpener) {
  Opened().reset();
  EXPECT_TRUE(OpenSerialDevice(path_, failure_)) << failure_.reason;
}

TEST_F(SerialDeviceTest, MissingDeviceIsRefusedAtStepOne) {
  EXPECT_FALSE(OpenSerialDevice("/nonexistent/ttyUSB0", failure_));
  EXPECT_EQ(failure_.step, kOpenStep);
  EXPECT_EQ(failure_.reason, "No such file or directory");
  EXPECT_FALSE(failure_.holder);
}

TEST_F(SerialDeviceTest, PlainFileIsNoSerialDeviceAtStepTwo) {
  const TempFolder dir;
  std::ofstream(dir / "plain") << "x";
  auto device = OpenSerialDevice(dir / "plain", failure_);
  ASSERT_TRUE(device) << failure_.reason;
  EXPECT_FALSE(device->SaveSettings(failure_));
  EXPECT_EQ(failure_.step, kSaveStep);
  EXPECT_EQ(failure_.reason, "not a serial device");
}

TEST(DefaultComDevice, ComOneIsTheFirstBuiltInPort) { EXPECT_EQ(DefaultComDevice(1), "/dev/ttyS0"); }

}  // namespace
}  // namespace gelvar::testing
