// The serial port as the byte pump sees it. The real port (SerialPort) and the tests' simulated
// line implement it.
#pragma once

#include <cstdint>

namespace gelvar {

class LinePort {
 public:
  virtual ~LinePort() = default;

  // 1 open and set up, 0 not (the port has told the user why).
  virtual int Open(int portNumber, int baudRate, int byteSize, int stopBits, int parity) = 0;
  // 1 closed (also when it was not open), 0 restoring failed and the port is still open.
  virtual int Close() = 0;
  // Bytes written; 0 when closed or failing.
  virtual int Write(const std::uint8_t* bytes, int count) = 0;
  // Bytes read, 0..maxCount; never waits.
  virtual int Read(std::uint8_t* buffer, int maxCount) = 0;

  // True while the open port's device has gone (adapter unplugged, far end closed): transfers move
  // nothing, and the port stays open for the program until Reopen succeeds or Close is called.
  virtual bool Lost() const { return false; }
  // Opens the lost device again, by the same path and with the same line setting; 1 when it is back,
  // 0 when it is not there yet. Quiet: it shows no message, since it is tried again and again.
  virtual int Reopen() { return 0; }
  // What the event loop can watch for arriving bytes (a file descriptor on POSIX); -1 when there is
  // nothing to watch (closed, lost, or a port that is only polled).
  virtual std::intptr_t ArrivalHandle() const { return -1; }
};

// Told by the byte pump when the open port's device goes and when it is back.
class LineObserver {
 public:
  virtual ~LineObserver() = default;
  virtual void LineLost(int portNumber) = 0;
  virtual void LineBack(int portNumber) = 0;
};

}  // namespace gelvar
