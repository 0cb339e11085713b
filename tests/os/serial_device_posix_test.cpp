// The POSIX serial device on a pseudo-terminal: the test holds the master, the device opens the slave.
// The master's termios describe the slave.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "core/serial/serial_device.h"
#include "support/row_name.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kTwoStopBits = 2, kEvenParity = 2, kMarkParity = 3;

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
  // Opened, its settings saved and the line applied (19200 baud, 8 data bits, no parity, one stop bit).
  std::unique_ptr<SerialDevice> Ready(const LineSettings& line = {19200, 8, 0, 0}) {
    auto device = OpenSerialDevice(path_, failure_);
    EXPECT_TRUE(device && device->SaveSettings(failure_) && device->ApplyLine(line, failure_)) << failure_.reason;
    return device;
  }
  termios Settings() const {
    termios t{};
    EXPECT_EQ(::tcgetattr(master_, &t), 0);
    return t;
  }
  // The failure's step and reason.
  std::string Failure() const { return std::to_string(failure_.step) + " " + failure_.reason; }
  // What read gets within a second, up to count bytes.
  static Bytes Within(std::size_t count, const std::function<int(std::uint8_t*, int)>& read) {
    Bytes got;
    std::uint8_t buffer[64];
    for (int tries = 0; got.size() < count && tries < 1000; ++tries, ::usleep(1000)) {
      got.insert(got.end(), buffer, buffer + std::max(0, read(buffer, sizeof buffer)));
    }
    return got;
  }

  int master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  std::string path_;
  SerialFailure failure_;
};

// clang-format off
// The line applied; the speed and the line's flags the device then has.
struct AppliedRow { const char* name; LineSettings line; speed_t speed; tcflag_t flags; };
const AppliedRow kAppliedRows[] = {
    {"Raw19200BaudEightBitsNoParityOneStopBit", {19200, 8, 0, 0}, B19200, CS8 | CLOCAL | CREAD},
    {"TakesItsBaudRateAndStopBits", {9600, 8, kTwoStopBits, 0}, B9600, CS8 | CSTOPB | CLOCAL | CREAD},
};
// clang-format on
class AppliedLine : public SerialDeviceTest, public ::testing::WithParamInterface<AppliedRow> {};

TEST_P(AppliedLine, IsRawWithoutFlowControl) {
  const auto device = Ready(GetParam().line);
  const termios t = Settings();
  EXPECT_EQ(std::pair(::cfgetospeed(&t), ::cfgetispeed(&t)), std::pair(GetParam().speed, GetParam().speed));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CLOCAL | CREAD), GetParam().flags);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | INPCK | ICRNL), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}
INSTANTIATE_TEST_SUITE_P(Settings, AppliedLine, ::testing::ValuesIn(kAppliedRows), kByName);

// clang-format off
// Refused at step 5: "the line setting <it> is not supported".
struct RefusedRow { const char* name; LineSettings line; const char* said; };
const RefusedRow kRefusedRows[] = {
    {"UnknownBaudRate", {19201, 8, 0, 0}, "19201 baud, 8 data bits, stop-bit code 0, parity code 0"},
    {"MarkParity", {19200, 8, 0, kMarkParity}, "19200 baud, 8 data bits, stop-bit code 0, parity code 3"},
    {"FourDataBits", {19200, 4, 0, 0}, "19200 baud, 4 data bits, stop-bit code 0, parity code 0"},
    {"NineDataBits", {19200, 9, 0, 0}, "19200 baud, 9 data bits, stop-bit code 0, parity code 0"},
    {"OneAndAHalfStopBits", {19200, 8, 1, 0}, "19200 baud, 8 data bits, stop-bit code 1, parity code 0"},
};
// clang-format on
class RefusedLine : public SerialDeviceTest, public ::testing::WithParamInterface<RefusedRow> {};

TEST_P(RefusedLine, IsNamedAtStepFive) {
  const auto device = Ready();
  EXPECT_FALSE(device->ApplyLine(GetParam().line, failure_));
  EXPECT_EQ(Failure(), std::string("5 the line setting ") + GetParam().said + " is not supported");
}
INSTANTIATE_TEST_SUITE_P(Settings, RefusedLine, ::testing::ValuesIn(kRefusedRows), kByName);

// A pseudo-terminal keeps eight bits without parity whatever it is asked.
TEST_F(SerialDeviceTest, SettingTheDeviceDoesNotTakeIsNamedAtStepFive) {
  const auto device = Ready();
  EXPECT_FALSE(device->ApplyLine({19200, 7, 0, kEvenParity}, failure_));
  EXPECT_EQ(Failure(),
            "5 the device does not take the line setting 19200 baud, 7 data bits, stop-bit code 0, parity "
            "code 2");
}

TEST_F(SerialDeviceTest, BytesCrossBothWaysUnchanged) {
  const auto device = Ready();
  const Bytes bytes = {0x0D, 0x0A, 0x03, 0x11, 0x13, 0x04, 0xFF};
  EXPECT_EQ(device->Write(bytes.data(), 7), 7);
  EXPECT_EQ(Within(7, [&](std::uint8_t* to, int n) { return ::read(master_, to, n); }), bytes);
  ASSERT_EQ(::write(master_, bytes.data(), 7), 7);
  EXPECT_EQ(Within(7, [&](std::uint8_t* to, int n) { return device->Read(to, n); }), bytes);
}

TEST_F(SerialDeviceTest, WaitingCountsTheBytesNotYetRead) {
  const auto device = Ready();
  ASSERT_EQ(::write(master_, "abc", 3), 3);
  for (int tries = 0; device->Waiting() < 3 && tries < 1000; ++tries) ::usleep(1000);
  std::uint8_t first;
  ASSERT_EQ(device->Read(&first, 1), 1);
  EXPECT_EQ(device->Waiting(), 2);
}

TEST_F(SerialDeviceTest, DeviceThatGoesAwayIsFoundLostByAReadAndMovesNothing) {
  const auto device = Ready();
  Unplug();
  std::uint8_t bytes[2] = {1, 2};
  EXPECT_EQ(device->Read(bytes, 2), 0);
  EXPECT_TRUE(device->Lost());
  EXPECT_EQ(std::pair(device->Write(bytes, 2), device->Waiting()), std::pair(0, 0));
}

TEST_F(SerialDeviceTest, DeviceThatGoesAwayIsFoundLostByAWrite) {
  const auto device = Ready();
  Unplug();
  const std::uint8_t byte = 1;
  EXPECT_EQ(device->Write(&byte, 1), 0);
  EXPECT_TRUE(device->Lost());
}

TEST_F(SerialDeviceTest, HungUpDeviceIsFoundLostByWaiting) {
  const auto device = Ready();
  Unplug();
  EXPECT_EQ(device->Waiting(), 0);
  EXPECT_TRUE(device->Lost());
}

TEST_F(SerialDeviceTest, RestorePutsBackTheSettingsSaved) {
  const tcflag_t cooked = Settings().c_lflag & (ICANON | ECHO);
  ASSERT_TRUE(Ready()->RestoreSettings(failure_)) << failure_.reason;
  const termios t = Settings();
  EXPECT_EQ(std::pair(t.c_lflag & (ICANON | ECHO), ::cfgetospeed(&t)), std::pair(cooked, speed_t{B38400}));
}

TEST_F(SerialDeviceTest, RestoringADeviceThatWentAwayIsNoFailure) {
  const auto device = Ready();
  Unplug();
  EXPECT_TRUE(device->RestoreSettings(failure_));
  EXPECT_EQ(failure_.step, 0);
}

// Owner, group and mode are told only where permission is what is missing.
TEST_F(SerialDeviceTest, FolderIsRefusedAtStepOneWithoutItsAccess) {
  EXPECT_FALSE(OpenSerialDevice("/", failure_));
  EXPECT_EQ(std::tuple(Failure(), failure_.access.has_value()), std::tuple("1 Is a directory", false));
}

TEST_F(SerialDeviceTest, DeviceOfAGroupWithoutANameIsRefusedNamingTheGroupByNumber) {
  constexpr gid_t kUnnamedGroup = 54321;
  if (::geteuid() != 0 || ::getgrgid(kUnnamedGroup) != nullptr) GTEST_SKIP() << "needs root and gid 54321 unnamed";
  ASSERT_EQ(::chown(path_.c_str(), 0, kUnnamedGroup) | ::chmod(path_.c_str(), 0660), 0);
  ASSERT_EQ(::seteuid(65534), 0);  // nobody
  const bool opened = OpenSerialDevice(path_, failure_) != nullptr;
  ASSERT_EQ(::seteuid(0), 0);
  EXPECT_FALSE(opened);
  EXPECT_EQ(failure_.access ? failure_.access->group : "no access told", "54321");
}

TEST_F(SerialDeviceTest, SecondOpenIsRefusedAsBusyNamingThisProcessUntilTheFirstCloses) {
  auto first = Ready();
  EXPECT_FALSE(OpenSerialDevice(path_, failure_));
  EXPECT_EQ(Failure(), "1 Device or resource busy");
  ASSERT_TRUE(failure_.holder);
  EXPECT_EQ(failure_.holder->pid, ::getpid());
  EXPECT_EQ(failure_.holder->program, "gelvar_device_tests");
  first.reset();
  EXPECT_TRUE(OpenSerialDevice(path_, failure_)) << failure_.reason;
}

}  // namespace
}  // namespace gelvar::testing
