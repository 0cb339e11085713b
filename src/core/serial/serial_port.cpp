#include "core/serial/serial_port.h"

#include <algorithm>
#include <utility>

namespace gelvar {

const ComDeviceMap& EnvironmentComDevices() {
  static const ComDeviceMap devices;
  return devices;
}

SerialPort::~SerialPort() { Close(); }

int SerialPort::Open(int portNumber, int baudRate, int byteSize, int stopBits, int parity) {
  if (device_ || lost_) return 0;
  const ComDevice resolved = devices_.Resolve(portNumber);
  const std::string& path = resolved.path;
  const std::string firstLine = "Error open COM" + std::to_string(portNumber) + ":";
  SerialFailure failure;

  device_ = OpenSerialDevice(path, failure);
  devicePath_ = path;
  line_ = {baudRate, byteSize, stopBits, parity};
  if (device_ && device_->SaveSettings(failure) && device_->ApplyLine(line_, failure)) return 1;
  // Undo the opening first: when that fails too, its warning comes before the open error.
  Close();
  // The default device is rarely the right one for a USB adapter.
  if (resolved.source == ComSource::kDefault)
    failure.reason.append("\n").append(DescribeComDevice(portNumber, resolved));
  ShowFailure(firstLine, failure, false);
  return 0;
}

int SerialPort::Close() {
  lost_ = false;
  if (!device_) return 1;
  SerialFailure failure;
  if (!device_->RestoreSettings(failure)) {
    ShowFailure("Error close COMx:", failure, true);
    return 0;
  }
  device_.reset();
  return 1;
}

int SerialPort::Write(const std::uint8_t* bytes, int count) {
  if (!device_ || count <= 0) return 0;
  const int written = device_->Write(bytes, count);
  NoteLoss();
  return written;
}

int SerialPort::Read(std::uint8_t* buffer, int maxCount) {
  if (!device_) return 0;
  // One read for what is waiting: the bytes still reach the driver one at a time.
  const int count = std::min(maxCount, device_->Waiting());
  const int stored = count > 0 ? device_->Read(buffer, count) : 0;
  NoteLoss();
  return stored;
}

void SerialPort::NoteLoss() {
  if (!device_->Lost()) return;
  // The descriptor is of no use any more. Held open, it would keep the device locked against the
  // reopening, and a USB adapter plugged in again would get another device name.
  device_.reset();
  lost_ = true;
}

int SerialPort::Reopen() {
  if (!lost_) return 0;
  SerialFailure failure;
  std::unique_ptr<SerialDevice> device = OpenSerialDevice(devicePath_, failure);
  if (!device || !device->SaveSettings(failure)) return 0;
  if (!device->ApplyLine(line_, failure)) {
    device->RestoreSettings(failure);
    return 0;
  }
  device_ = std::move(device);
  lost_ = false;
  return 1;
}

void SerialPort::ShowFailure(const std::string& firstLine, const SerialFailure& failure, bool warning) {
  messages_.ShowError("Error " + std::to_string(failure.step), firstLine + "\n" + devicePath_ + ": " + failure.reason,
                      warning);
}

}  // namespace gelvar
