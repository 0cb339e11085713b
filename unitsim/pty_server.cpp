#include "unitsim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace gelvar::unitsim {

namespace {

constexpr int kStopSignalNumbers[] = {SIGINT, SIGTERM, SIGHUP};
int stopPipeWriteFd = -1;  // for the signal handler

std::string Reason(int error) { return std::strerror(error); }

// Always false, for returning straight from a failed set-up step.
bool Failure(std::string& error, const std::string& what, int errorNumber) {
  error = what + ": " + Reason(errorNumber);
  return false;
}

bool SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// 19200 baud, 8N1, raw, no flow control, reads that never wait.
bool SetLineSettings(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  cfmakeraw(&settings);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  return cfsetispeed(&settings, B19200) == 0 && cfsetospeed(&settings, B19200) == 0 &&
         tcsetattr(fd, TCSANOW, &settings) == 0;
}

// The pseudo-terminal's program side keeps its settings while the master is open, so setting it
// once here covers every program that opens it later.
bool MakeProgramSideRaw(const char* path, std::string& error) {
  const int fd = open(path, O_RDWR | O_NOCTTY);
  if (fd < 0) return Failure(error, std::string("cannot open ") + path, errno);
  const bool set = SetLineSettings(fd);
  const int reason = errno;
  close(fd);
  return set || Failure(error, std::string("cannot set up ") + path, reason);
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char hex[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += hex;
  }
  return text;
}

void OnStopSignal(int /*signal*/) {
  const int savedErrno = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(stopPipeWriteFd, &byte, 1);
  errno = savedErrno;
}

}  // namespace

// ---- ServedLine ----

ServedLine::ServedLine(int fd, std::string devicePath, std::optional<termios> savedSettings)
    : fd_(fd), devicePath_(std::move(devicePath)), savedSettings_(savedSettings) {}

ServedLine::~ServedLine() {
  if (savedSettings_) tcsetattr(fd_, TCSANOW, &*savedSettings_);
  close(fd_);
}

std::unique_ptr<ServedLine> ServedLine::OpenPseudoTerminal(std::string& error) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) {
    Failure(error, "cannot open a pseudo-terminal", errno);
    return nullptr;
  }
  char path[256];
  const bool ready = grantpt(master) == 0 && unlockpt(master) == 0 && ptsname_r(master, path, sizeof path) == 0 &&
                     SetNonBlocking(master);
  if (!ready) Failure(error, "cannot set up a pseudo-terminal", errno);
  if (!ready || !MakeProgramSideRaw(path, error)) {
    close(master);
    return nullptr;
  }
  return std::unique_ptr<ServedLine>(new ServedLine(master, path, std::nullopt));
}

std::unique_ptr<ServedLine> ServedLine::OpenSerialDevice(const std::string& device, std::string& error) {
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    Failure(error, "cannot open " + device, errno);
    return nullptr;
  }
  termios saved{};
  if (tcgetattr(fd, &saved) != 0 || !SetLineSettings(fd)) {
    Failure(error, "cannot set up " + device, errno);
    close(fd);
    return nullptr;
  }
  tcflush(fd, TCIOFLUSH);
  return std::unique_ptr<ServedLine>(new ServedLine(fd, device, saved));
}

// ---- DeviceLink ----

DeviceLink::DeviceLink(std::string linkPath, std::string target)
    : linkPath_(std::move(linkPath)), target_(std::move(target)) {}

DeviceLink::~DeviceLink() {
  char pointsTo[4096];
  const ssize_t length = readlink(linkPath_.c_str(), pointsTo, sizeof pointsTo);
  if (length >= 0 && std::string(pointsTo, static_cast<std::size_t>(length)) == target_) {
    unlink(linkPath_.c_str());
  }
}

std::unique_ptr<DeviceLink> DeviceLink::Create(const std::string& linkPath, const std::string& target,
                                               std::string& error) {
  struct stat existing {};
  if (lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
    error = linkPath + " exists and is not a symlink; it is left alone";
    return nullptr;
  }
  // Made aside and renamed over the old link, so the name never goes missing.
  const std::string fresh = linkPath + ".new" + std::to_string(getpid());
  unlink(fresh.c_str());
  if (symlink(target.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), linkPath.c_str()) != 0) {
    Failure(error, "cannot make the symlink " + linkPath, errno);
    unlink(fresh.c_str());
    return nullptr;
  }
  return std::unique_ptr<DeviceLink>(new DeviceLink(linkPath, target));
}

// ---- StopSignals ----

StopSignals::StopSignals(int readFd, int writeFd) : readFd_(readFd), writeFd_(writeFd) {}

StopSignals::~StopSignals() {
  for (std::size_t i = 0; i < std::size(kStopSignalNumbers); ++i) {
    sigaction(kStopSignalNumbers[i], &previous_[i], nullptr);
  }
  stopPipeWriteFd = -1;
  close(readFd_);
  close(writeFd_);
}

std::unique_ptr<StopSignals> StopSignals::Install(std::string& error) {
  int fds[2];
  if (pipe(fds) != 0 || !SetNonBlocking(fds[1])) {
    Failure(error, "cannot make a pipe for signals", errno);
    return nullptr;
  }
  std::unique_ptr<StopSignals> stop(new StopSignals(fds[0], fds[1]));
  stopPipeWriteFd = fds[1];
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kStopSignalNumbers); ++i) {
    sigaction(kStopSignalNumbers[i], &action, &stop->previous_[i]);
  }
  return stop;
}

// ---- UnitServer ----

UnitServer::UnitServer(const ServedLine& line, UnitModel& unit, std::ostream* log)
    : line_(line), lineFd_(line.Fd()), unit_(unit), log_(log), start_(std::chrono::steady_clock::now()) {}

UnitServer::Outcome UnitServer::ServeOnce(int stopFd, int idleWaitMs) {
  if (hungUp_ && LineHungUp()) return Pause(stopFd, idleWaitMs);
  if (hungUp_) {
    hungUp_ = false;
    Log("a program opened the line");
  }
  const short wanted = static_cast<short>(outbox_.empty() ? POLLIN : POLLIN | POLLOUT);
  pollfd fds[2] = {{lineFd_, wanted, 0}, {stopFd, POLLIN, 0}};
  if (poll(fds, stopFd >= 0 ? 2 : 1, WaitMs(idleWaitMs)) < 0 && errno != EINTR) {
    Fail("cannot wait for " + line_.DevicePath());
    return Outcome::kFailed;
  }
  if (fds[1].revents != 0) return Outcome::kStopped;
  const short events = fds[0].revents;
  if ((events & POLLNVAL) != 0) {
    error_ = line_.DevicePath() + " is not open";
    return Outcome::kFailed;
  }
  if ((events & POLLIN) != 0 && !ReadRequests()) return Outcome::kFailed;
  if ((events & (POLLHUP | POLLERR)) != 0 && !LoseListener()) return Outcome::kFailed;
  if (!hungUp_ && !SendDueReplies()) return Outcome::kFailed;
  unit_.Advance(NowMs());
  return Outcome::kServing;
}

std::int64_t UnitServer::NowMs() const {
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

// Until the next reply falls due, or while the line has not taken all bytes, the idle wait.
int UnitServer::WaitMs(int idleWaitMs) const {
  if (repliesDueMs_.empty()) return idleWaitMs;
  const std::int64_t untilDue = repliesDueMs_.front() - NowMs();
  return static_cast<int>(std::clamp<std::int64_t>(untilDue, 0, idleWaitMs));
}

bool UnitServer::LineHungUp() const {
  pollfd line{lineFd_, POLLIN, 0};
  return poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR)) != 0 && (line.revents & POLLIN) == 0;
}

// Sleeps on the stop pipe alone; the unit's values drift on meanwhile.
UnitServer::Outcome UnitServer::Pause(int stopFd, int waitMs) {
  pollfd stop{stopFd, POLLIN, 0};
  const bool stopped = poll(&stop, stopFd >= 0 ? 1 : 0, waitMs) > 0;
  unit_.Advance(NowMs());
  return stopped ? Outcome::kStopped : Outcome::kServing;
}

// A bounded number of reads, so that a program flooding the line cannot keep us from answering.
bool UnitServer::ReadRequests() {
  constexpr int kReadsPerRound = 16;
  std::uint8_t buffer[256];
  for (int round = 0; round < kReadsPerRound; ++round) {
    const ssize_t count = read(lineFd_, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      // EIO: the program closed its side; the hang-up shows in the poll result as well.
      const bool quiet = count == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EIO;
      if (!quiet) return Fail("cannot read " + line_.DevicePath());
      break;
    }
    const std::int64_t now = NowMs();
    for (ssize_t i = 0; i < count; ++i) unit_.Receive(buffer[i], now);
  }
  TakeRequests();
  return true;
}

// The unit queues each reply at the request's end plus its latency.
void UnitServer::TakeRequests() {
  for (const UnitModel::Request& request : unit_.Requests()) {
    repliesDueMs_.push_back(request.atMs + std::max(unit_.Faults().latencyMs, 0));
    if (log_ == nullptr) continue;
    char object[8];
    std::snprintf(object, sizeof object, "%04X", static_cast<unsigned>(request.objectId));
    Log(std::string("request ") + object +
        (request.data.empty() ? " read" : " data " + HexBytes(request.data.data(), request.data.size())));
  }
  unit_.ClearRequests();  // they would pile up in a long run
}

bool UnitServer::SendDueReplies() {
  const std::int64_t now = NowMs();
  while (!repliesDueMs_.empty() && repliesDueMs_.front() <= now) repliesDueMs_.pop_front();
  std::uint8_t buffer[256];
  const std::size_t waiting = outbox_.size();
  while (const int count = unit_.Transmit(buffer, static_cast<int>(sizeof buffer), now)) {
    outbox_.insert(outbox_.end(), buffer, buffer + count);
  }
  if (outbox_.size() > waiting) Log("reply " + HexBytes(outbox_.data() + waiting, outbox_.size() - waiting));
  if (outbox_.empty()) return true;
  const ssize_t written = write(lineFd_, outbox_.data(), outbox_.size());
  if (written > 0) outbox_.erase(outbox_.begin(), outbox_.begin() + written);
  if (written >= 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
  if (errno == EIO) return LoseListener();
  return Fail("cannot write " + line_.DevicePath());
}

// Replies on their way are lost with the listener, as on a real line. A serial device that hangs
// up despite ignoring the modem lines is gone (unplugged): serving it on would only wait forever.
bool UnitServer::LoseListener() {
  if (!line_.IsPseudoTerminal()) {
    error_ = line_.DevicePath() + " hung up";
    return false;
  }
  if (hungUp_) return true;
  hungUp_ = true;
  outbox_.clear();
  repliesDueMs_.clear();
  unit_.DiscardSent(std::numeric_limits<std::int64_t>::max());
  Log("no program has the line open");
  return true;
}

void UnitServer::Log(const std::string& text) const {
  if (log_ != nullptr) *log_ << NowMs() << " ms " << text << '\n' << std::flush;
}

bool UnitServer::Fail(const std::string& what) {
  error_ = what + ": " + Reason(errno);
  return false;
}

}  // namespace gelvar::unitsim
