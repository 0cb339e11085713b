// The serial device on Linux (and other POSIX systems): a tty opened non-blocking, locked with
// flock() and TIOCEXCL, set up and restored through termios.
//
// Windows reads and writes a device's read time-outs and its line state separately; termios holds
// both in one record. So one tcgetattr does the work of the two reads (reported as step 2, where a
// device that is not a serial port first fails on Windows too), one tcsetattr that of the two
// writes (step 5, where Windows refuses a line setting), and the restore at close is step 2 of
// the close.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>

#include "core/serial/serial_device.h"

namespace gelvar {
namespace {

constexpr int kOpenStep = 1;
constexpr int kSaveStep = 2;
constexpr int kApplyStep = 5;
constexpr int kRestoreStep = 2;

struct BaudCode {
  int baudRate;
  speed_t code;
};
constexpr BaudCode kBaudCodes[] = {
    {110, B110},   {300, B300},     {600, B600},     {1200, B1200},   {2400, B2400},     {4800, B4800},
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
};

struct ParityFlags {
  int parity;
  tcflag_t cflag;
};
// Mark and space parity (codes 3 and 4) have no portable termios form.
constexpr ParityFlags kParityFlags[] = {{0, 0}, {1, PARENB | PARODD}, {2, PARENB}};

constexpr tcflag_t kSizeFlags[] = {CS5, CS6, CS7, CS8};
constexpr tcflag_t kLineFlags = CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS;

std::string Reason(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return std::string(std::strerror(error)) + " \u2014 is your user in the 'dialout' group?";
    case EBUSY: return std::string(std::strerror(error)) + " \u2014 is another program using it?";
    case ENOTTY: return "not a serial device";
    default: return std::strerror(error);
  }
}

bool Fail(SerialFailure& failure, int step, std::string reason) {
  failure.step = step;
  failure.reason = std::move(reason);
  return false;
}

// Errors after which the device is not coming back through this descriptor.
bool IsGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

// The termios flags for a line setting; false when the setting has no termios equivalent.
bool LineFlags(const LineSettings& line, speed_t& speed, tcflag_t& cflag) {
  const auto baud = std::find_if(std::begin(kBaudCodes), std::end(kBaudCodes),
                                 [&](const BaudCode& c) { return c.baudRate == line.baudRate; });
  const auto parity = std::find_if(std::begin(kParityFlags), std::end(kParityFlags),
                                   [&](const ParityFlags& p) { return p.parity == line.parity; });
  if (baud == std::end(kBaudCodes) || parity == std::end(kParityFlags)) return false;
  if (line.byteSize < 5 || line.byteSize > 8) return false;
  if (line.stopBits != 0 && line.stopBits != 2) return false;
  speed = baud->code;
  cflag = kSizeFlags[line.byteSize - 5] | parity->cflag | (line.stopBits == 2 ? CSTOPB : 0);
  return true;
}

class PosixSerialDevice : public SerialDevice {
 public:
  explicit PosixSerialDevice(int fd) : fd_(fd) {}
  ~PosixSerialDevice() override {
    ::ioctl(fd_, TIOCNXCL);  // a pseudo-terminal's slave would otherwise stay exclusive
    ::close(fd_);
  }

  bool SaveSettings(SerialFailure& failure) override {
    if (::tcgetattr(fd_, &saved_) != 0) return Fail(failure, kSaveStep, Reason(errno));
    hasSaved_ = true;
    return true;
  }

  bool ApplyLine(const LineSettings& line, SerialFailure& failure) override {
    speed_t speed;
    tcflag_t lineFlags;
    if (!LineFlags(line, speed, lineFlags)) {
      return Fail(failure, kApplyStep, "the line setting " + Describe(line) + " is not supported");
    }
    termios wanted = saved_;
    ::cfmakeraw(&wanted);
    wanted.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (line.parity != 0) wanted.c_iflag |= INPCK;
    wanted.c_cflag = (wanted.c_cflag & ~kLineFlags) | lineFlags | CLOCAL | CREAD;
    // With VMIN 1 an empty queue reads as EAGAIN on our non-blocking descriptor, which keeps an
    // end-of-file read meaning that the device has hung up.
    wanted.c_cc[VMIN] = 1;
    wanted.c_cc[VTIME] = 0;
    ::cfsetispeed(&wanted, speed);
    ::cfsetospeed(&wanted, speed);
    if (::tcsetattr(fd_, TCSANOW, &wanted) != 0) return Fail(failure, kApplyStep, Reason(errno));
    // tcsetattr succeeds when any part of the change was taken, so check the line itself.
    termios taken;
    if (::tcgetattr(fd_, &taken) != 0) return Fail(failure, kApplyStep, Reason(errno));
    if (::cfgetospeed(&taken) != speed || (taken.c_cflag & kLineFlags) != lineFlags) {
      return Fail(failure, kApplyStep, "the device does not take the line setting " + Describe(line));
    }
    return RaiseModemLines(failure);
  }

  bool RestoreSettings(SerialFailure& failure) override {
    if (!hasSaved_ || lost_) return true;
    if (::tcsetattr(fd_, TCSANOW, &saved_) == 0) return true;
    if (IsGone(errno)) {
      lost_ = true;
      return true;
    }
    return Fail(failure, kRestoreStep, Reason(errno));
  }

  int Write(const std::uint8_t* bytes, int count) override {
    int written = 0;
    while (!lost_ && written < count) {
      const ssize_t n = ::write(fd_, bytes + written, static_cast<std::size_t>(count - written));
      if (n > 0) {
        written += static_cast<int>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        NoteFailedTransfer(n);
        break;
      }
    }
    return written;
  }

  int Read(std::uint8_t* bytes, int count) override {
    while (!lost_ && count > 0) {
      const ssize_t n = ::read(fd_, bytes, static_cast<std::size_t>(count));
      if (n > 0) return static_cast<int>(n);
      if (n < 0 && errno == EINTR) continue;
      NoteFailedTransfer(n);
      break;
    }
    return 0;
  }

  int Waiting() override {
    if (lost_) return 0;
    int count = 0;
    if (::ioctl(fd_, FIONREAD, &count) == 0) return count;
    // A hung-up terminal refuses every request.
    if (!IsGone(errno)) return std::numeric_limits<int>::max();
    lost_ = true;
    return 0;
  }

  bool Lost() const override { return lost_; }
  std::intptr_t ArrivalHandle() const override { return fd_; }

 private:
  // An empty or full queue is normal; end of file or any other error means the device has gone.
  void NoteFailedTransfer(ssize_t result) {
    if (result == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) lost_ = true;
  }

  bool RaiseModemLines(SerialFailure& failure) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIS, &lines) == 0) return true;
    // A pseudo-terminal has no modem lines; that is no reason to refuse it.
    if (errno == ENOTTY || errno == EINVAL) return true;
    return Fail(failure, kApplyStep, Reason(errno));
  }

  static std::string Describe(const LineSettings& line) {
    return std::to_string(line.baudRate) + " baud, " + std::to_string(line.byteSize) + " data bits, stop-bit code " +
           std::to_string(line.stopBits) + ", parity code " + std::to_string(line.parity);
  }

  int fd_;
  termios saved_{};
  bool hasSaved_ = false;
  bool lost_ = false;
};

}  // namespace

std::string DefaultComDevice(int portNumber) { return "/dev/ttyS" + std::to_string(portNumber - 1); }

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, SerialFailure& failure) {
  // Non-blocking, so that neither the open nor any read waits for the modem lines or for data.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Fail(failure, kOpenStep, Reason(errno));
    return nullptr;
  }
  // flock() keeps out every other opener that asks, root included; TIOCEXCL refuses even those
  // that do not ask, unless they run as root. TIOCEXCL fails only on a non-tty, which the next
  // step reports.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    Fail(failure, kOpenStep, Reason(error));
    return nullptr;
  }
  ::ioctl(fd, TIOCEXCL);
  return std::make_unique<PosixSerialDevice>(fd);
}

}  // namespace gelvar
