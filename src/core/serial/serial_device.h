// What SerialPort needs of the operating system. Each platform has one implementation
// (serial_device_posix.cpp, serial_device_windows.cpp); everything else about the port is platform-free.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace gelvar {

// Line setting as the port's callers number it: stop-bit code 0 one, 2 two; parity code 0 none,
// 1 odd, 2 even, 3 mark, 4 space.
struct LineSettings {
  int baudRate;
  int byteSize;
  int stopBits;
  int parity;
};

// A device that refused this user: who owns it, its permission bits, and where the user stands with
// its group, so that the advice can say whether joining the group helps.
struct DeviceAccess {
  std::string owner;  // names, or the numbers when the system has no name for them
  std::string group;
  bool rootGroup = false;       // group 0: joining it would make the user an administrator
  unsigned mode = 0;            // permission bits, as chmod takes them
  bool userInGroup = false;     // the user database lists the user in the group
  bool sessionInGroup = false;  // this program runs with the group
};

// Who has a device that is in use, as far as the locks on it tell.
struct DeviceHolder {
  int pid = 0;  // 0 when no lock tells
  std::string program;
};

// Why a device operation failed: the number its error box carries ("Error 2") and the operating
// system's reason, readable on its own (UTF-8); for an open that was refused or found the device in
// use, what the system tells about it.
struct SerialFailure {
  int step = 0;
  std::string reason;
  std::optional<DeviceAccess> access;
  std::optional<DeviceHolder> holder;
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;  // closes the device; restores nothing

  // Remembers the device's present settings so that RestoreSettings can put them back.
  virtual bool SaveSettings(SerialFailure& failure) = 0;
  // Raw line with the given setting, no flow control, DTR and RTS raised where the device has them.
  virtual bool ApplyLine(const LineSettings& line, SerialFailure& failure) = 0;
  // Puts back what SaveSettings remembered. A device that has gone has nothing left to restore, so
  // that counts as success.
  virtual bool RestoreSettings(SerialFailure& failure) = 0;

  // Both return at once with the bytes moved: fewer than asked when the output queue is full or fewer
  // are waiting, none when the device has gone.
  virtual int Write(const std::uint8_t* bytes, int count) = 0;
  virtual int Read(std::uint8_t* bytes, int count) = 0;
  // Bytes in the receive queue, so that reading can stop without a read that finds it empty: 0 when
  // the device has gone, INT_MAX when the device cannot tell (one read then takes what is there).
  virtual int Waiting() = 0;
  // True once a transfer found the device gone (unplugged, or the far end of a pseudo-terminal
  // closed); reads and writes then move nothing.
  virtual bool Lost() const = 0;
  // What the event loop watches to learn that bytes have arrived: the file descriptor here, a handle
  // on Windows. The bytes are still read through Read.
  virtual std::intptr_t ArrivalHandle() const = 0;
};

// The system's own device of COM n; no range check is made on n.
std::string DefaultComDevice(int portNumber);
// Whether a chosen device is named as this system names devices: an absolute path here, COM<n> or
// \\.\COM<n> on Windows.
bool IsDeviceName(const std::string& path);
// Whether the device is there now.
bool DevicePresent(const std::string& path);

// Opens the device at `path` for this program alone; null, with the failure, when it cannot.
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, SerialFailure& failure);

}  // namespace gelvar
