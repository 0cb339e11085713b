// Serves a UnitModel on a real line: the master side of a pseudo-terminal, whose other side the
// monitor opens like a serial port, or a serial device on a null-modem cable.
#pragma once

#include <signal.h>
#include <termios.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "unitsim/unit_model.h"

namespace gelvar::unitsim {

// The simulator's end of the line, open and non-blocking; closed (and a serial device's own
// settings put back) on destruction.
class ServedLine {
 public:
  // A new pseudo-terminal whose program side is raw: no echo, no line editing, no translations.
  static std::unique_ptr<ServedLine> OpenPseudoTerminal(std::string& error);
  // A serial device set to 19200 baud, 8 data bits, no parity, one stop bit, raw, no flow control.
  static std::unique_ptr<ServedLine> OpenSerialDevice(const std::string& device, std::string& error);

  ~ServedLine();
  ServedLine(const ServedLine&) = delete;
  ServedLine& operator=(const ServedLine&) = delete;

  int Fd() const { return fd_; }
  // What the monitor opens.
  const std::string& DevicePath() const { return devicePath_; }
  // A pseudo-terminal hangs up while no program has it open; a serial device only when it is gone.
  bool IsPseudoTerminal() const { return !savedSettings_; }

 private:
  ServedLine(int fd, std::string devicePath, std::optional<termios> savedSettings);

  int fd_;
  std::string devicePath_;
  std::optional<termios> savedSettings_;
};

// A symlink to the served device under a fixed name, removed again on destruction unless
// something else has taken the name meanwhile.
class DeviceLink {
 public:
  // Replaces an existing symlink at linkPath, but no other kind of file.
  static std::unique_ptr<DeviceLink> Create(const std::string& linkPath, const std::string& target, std::string& error);
  ~DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

 private:
  DeviceLink(std::string linkPath, std::string target);

  std::string linkPath_;
  std::string target_;
};

// Turns SIGINT, SIGTERM and SIGHUP into a readable pipe, so that a wait on the line ends at once
// and the program can clean up. One instance at a time; the previous handlers come back with its
// destruction.
class StopSignals {
 public:
  static std::unique_ptr<StopSignals> Install(std::string& error);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Readable once a stop signal came.
  int Fd() const { return readFd_; }

 private:
  StopSignals(int readFd, int writeFd);

  int readFd_;
  int writeFd_;
  struct sigaction previous_[3];
};

// Moves bytes between the line and the unit, one wait at a time.
class UnitServer {
 public:
  enum class Outcome { kServing, kStopped, kFailed };
  // Longest wait while nothing is due; also the pause between looks at a pseudo-terminal that no
  // program has open (its master side then reports a hang-up at once, every time).
  static constexpr int kIdleWaitMs = 50;

  // log, when not null, receives a line per request and per burst of reply bytes.
  UnitServer(const ServedLine& line, UnitModel& unit, std::ostream* log);

  // Waits until bytes arrive, a reply falls due, stopFd (if >= 0) turns readable or idleWaitMs
  // pass, then serves. kStopped once stopFd is readable; kFailed with Error() on a line error or
  // when a serial device hangs up.
  Outcome ServeOnce(int stopFd, int idleWaitMs = kIdleWaitMs);
  const std::string& Error() const { return error_; }

 private:
  std::int64_t NowMs() const;
  int WaitMs(int idleWaitMs) const;
  bool LineHungUp() const;
  Outcome Pause(int stopFd, int waitMs);
  bool ReadRequests();
  void TakeRequests();
  bool SendDueReplies();
  bool LoseListener();
  void Log(const std::string& text) const;
  bool Fail(const std::string& what);

  const ServedLine& line_;
  int lineFd_;
  UnitModel& unit_;
  std::ostream* log_;
  std::chrono::steady_clock::time_point start_;
  std::deque<std::int64_t> repliesDueMs_;  // when the replies to the requests taken fall due
  std::vector<std::uint8_t> outbox_;       // reply bytes the line did not take yet
  bool hungUp_ = false;                    // no program had the line open at the last look
  std::string error_;
};

}  // namespace gelvar::unitsim
