// The COM port through which the byte pump talks to the unit. Open takes the device for this
// program alone and sets the line up; Close puts back the settings the device had before. Reads and
// writes never wait. Failures of Open and Close are shown in error boxes without an owner window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/line/line_port.h"
#include "core/serial/com_devices.h"
#include "core/serial/serial_device.h"

namespace gelvar {

// Where the port's error boxes go: a message box in the program, a recorder in tests.
class SerialMessages {
 public:
  virtual ~SerialMessages() = default;
  // caption "Error 1" to "Error 5"; text (UTF-8) starts with "Error open COM<n>:" or
  // "Error close COMx:" and names the device and the reason on the lines below; `warning` asks
  // for the warning icon instead of the error icon.
  virtual void ShowError(const std::string& caption, const std::string& text, bool warning) = 0;
};

// The reason an error box gives: the system's, then for a refused open what would let the user in,
// for a device in use who has it.
std::string FailureReason(const SerialFailure& failure);

// An error box's text as one line, for a log or the message pane.
std::string OneLineFailure(const std::string& text);

// COM numbers by GELVAR_COM<n> alone, for a port that has no remembered choices.
const ComDeviceMap& EnvironmentComDevices();

class SerialPort : public LinePort {
 public:
  // `messages` must outlive the port: the destructor may still report a failed restore. `devices`
  // tells which device each COM number opens.
  explicit SerialPort(SerialMessages& messages, const ComDeviceMap& devices = EnvironmentComDevices())
      : messages_(messages), devices_(devices) {}
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // 0 without a message when already open; 0 after an error box when the device cannot be used.
  int Open(int portNumber, int baudRate, int byteSize, int stopBits, int parity) override;
  // 1 when closed (also when it was not open or the device has gone); 0 after a warning box when
  // the old settings could not be put back: the port then stays open.
  int Close() override;
  int Write(const std::uint8_t* bytes, int count) override;
  // The bytes waiting, at most maxCount, in one read of the device; returns at once with what has
  // arrived.
  int Read(std::uint8_t* buffer, int maxCount) override;

  // True when the open device has gone away (adapter unplugged, far end closed). The port stays
  // open for the program, with nothing moving, until Reopen finds the device again or Close is called.
  bool DeviceLost() const { return lost_; }
  bool Lost() const override { return DeviceLost(); }
  // Opens the same path again with the same line setting; no message when it is not there yet.
  int Reopen() override;
  std::intptr_t ArrivalHandle() const override { return device_ ? device_->ArrivalHandle() : -1; }

 private:
  // `note`, when given, is a last line of its own.
  void ShowFailure(const std::string& firstLine, const SerialFailure& failure, bool warning,
                   const std::string& note = "");
  // Lets go of a device that a transfer found gone.
  void NoteLoss();

  SerialMessages& messages_;
  const ComDeviceMap& devices_;
  std::unique_ptr<SerialDevice> device_;  // null while closed or lost
  std::string devicePath_;                // of the open device, named in error boxes
  LineSettings line_{};                   // of the open device, for a reopening
  bool lost_ = false;
};

}  // namespace gelvar
