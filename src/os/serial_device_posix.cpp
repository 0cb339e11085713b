// The serial device on Linux (and other POSIX systems): a tty opened non-blocking, locked with
// flock() and TIOCEXCL, set up and restored through termios.
//
// Windows reads and writes a device's read time-outs and its line state separately; termios holds
// both in one record. So one tcgetattr does the work of the two reads (reported as step 2, where a
// device that is not a serial port first fails on Windows too), one tcsetattr that of the two
// writes (step 5, where Windows refuses a line setting), and the restore at close is step 2 of
// the close.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <utility>
#include <vector>

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

std::string Reason(int error) { return error == ENOTTY ? "not a serial device" : std::strerror(error); }

bool Fail(SerialFailure& failure, int step, std::string reason) {
  failure.step = step;
  failure.reason = std::move(reason);
  return false;
}

// A user database entry, copied out of the buffer that getpwuid_r fills; the number when there is none.
struct User {
  std::string name;
  std::optional<gid_t> loginGroup;
};

// The group database's entry, likewise.
struct Group {
  std::string name;
  std::vector<std::string> members;
};

// Room enough for entries with long member lists too.
std::vector<char> EntryBuffer() {
  return std::vector<char>(static_cast<std::size_t>(std::max(::sysconf(_SC_GETGR_R_SIZE_MAX), 65536L)));
}

User UserOf(uid_t uid) {
  std::vector<char> buffer = EntryBuffer();
  passwd entry;
  passwd* found = nullptr;
  ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
  if (!found) return {std::to_string(uid), std::nullopt};
  return {found->pw_name, found->pw_gid};
}

Group GroupOf(gid_t gid) {
  std::vector<char> buffer = EntryBuffer();
  group entry;
  group* found = nullptr;
  ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
  if (!found) return {std::to_string(gid), {}};
  Group result{found->gr_name, {}};
  for (char** member = found->gr_mem; *member; ++member) result.members.emplace_back(*member);
  return result;
}

bool SessionHasGroup(gid_t gid) {
  if (::getegid() == gid) return true;
  const int count = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
  if (count <= 0 || ::getgroups(count, groups.data()) < 0) return false;
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// What the advice for a refused open needs: the device's owner, group and mode, and whether the user
// database and this session put the user in that group. Nothing when the device cannot be looked at.
std::optional<DeviceAccess> AccessOf(const std::string& path) {
  struct stat device;
  if (::stat(path.c_str(), &device) != 0) return std::nullopt;
  const Group group = GroupOf(device.st_gid);
  const User user = UserOf(::getuid());
  // The login group is the user's too, though the group database need not list the user in it.
  const bool listed = std::find(group.members.begin(), group.members.end(), user.name) != group.members.end() ||
                      user.loginGroup == device.st_gid;
  return DeviceAccess{.owner = UserOf(device.st_uid).name,
                      .group = group.name,
                      .rootGroup = device.st_gid == 0,
                      .mode = device.st_mode & 07777u,
                      .userInGroup = listed,
                      .sessionInGroup = SessionHasGroup(device.st_gid)};
}

// The program in a process, by the first word of its command line.
std::string ProgramOf(int pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline");
  std::string first;
  std::getline(file, first, '\0');
  return first.substr(first.find_last_of('/') + 1);
}

// The process that holds a flock() or fcntl() lock on the device: this program's own lock, and what
// most others take. /proc/locks names the file by its file system's device and inode
// ("1: FLOCK  ADVISORY  WRITE 4242 00:19:3 0 EOF").
DeviceHolder HolderOf(const std::string& path) {
  struct stat device;
  if (::stat(path.c_str(), &device) != 0) return {};
  char file[64];
  std::snprintf(file, sizeof file, "%02x:%02x:%lu", ::major(device.st_dev), ::minor(device.st_dev),
                static_cast<unsigned long>(device.st_ino));
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, advisory, access, lockedFile;
    int pid = 0;
    fields >> number >> kind >> advisory >> access >> pid >> lockedFile;
    if (lockedFile == file && pid > 0) return {pid, ProgramOf(pid)};
  }
  return {};
}

void FailOpen(SerialFailure& failure, const std::string& path, int error) {
  Fail(failure, kOpenStep, Reason(error));
  if (error == EACCES || error == EPERM) failure.access = AccessOf(path);
  if (error == EBUSY) failure.holder = HolderOf(path);
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

bool IsDeviceName(const std::string& path) { return path.starts_with('/'); }

bool DevicePresent(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, SerialFailure& failure) {
  // Non-blocking, so that neither the open nor any read waits for the modem lines or for data.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    FailOpen(failure, path, errno);
    return nullptr;
  }
  // flock() keeps out every other opener that asks, root included; TIOCEXCL refuses even those
  // that do not ask, unless they run as root. TIOCEXCL fails only on a non-tty, which the next
  // step reports.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    FailOpen(failure, path, error);
    return nullptr;
  }
  ::ioctl(fd, TIOCEXCL);
  return std::make_unique<PosixSerialDevice>(fd);
}

}  // namespace gelvar
