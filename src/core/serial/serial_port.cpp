#include "core/serial/serial_port.h"

#include <algorithm>
#include <utility>

namespace gelvar {
namespace {

std::string OctalMode(unsigned mode) {
  std::string digits;
  for (int shift = 9; shift >= 0; shift -= 3) digits += static_cast<char>('0' + ((mode >> shift) & 7));
  return digits;
}

// Joining the group helps only when its bits let members read and write; root's group is not one
// to join for a device.
std::string AccessAdvice(const DeviceAccess& access) {
  const std::string facts = "owner " + access.owner + ", group " + access.group + ", mode " + OctalMode(access.mode);
  const bool groupOpensIt = !access.rootGroup && (access.mode & 060) == 060;
  if (!groupOpensIt) return facts + "; joining a group would not help, ask an administrator for access";
  if (access.sessionInGroup) return facts;
  if (access.userInGroup)
    return facts + "; your user is in the group " + access.group + " but this session is not yet: log out and in again";
  return facts + "; join its group with 'sudo usermod -aG " + access.group + " $USER', then log out and in again";
}

std::string HolderText(const DeviceHolder& holder) {
  if (holder.pid == 0) return "in use by another program";
  const std::string process = "process " + std::to_string(holder.pid);
  return holder.program.empty() ? "in use by " + process : "in use by " + holder.program + " (" + process + ")";
}

}  // namespace

std::string FailureReason(const SerialFailure& failure) {
  if (failure.access) return failure.reason + " \u2014 " + AccessAdvice(*failure.access);
  if (failure.holder) return failure.reason + " \u2014 " + HolderText(*failure.holder);
  return failure.reason;
}

std::string OneLineFailure(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      line += line.ends_with(':') ? " " : "; ";
      continue;
    }
    line += c;
  }
  return line;
}

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
  const bool isDefault = resolved.source == ComSource::kDefault;
  ShowFailure(firstLine, failure, false, isDefault ? DescribeComDevice(portNumber, resolved) : "");
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

void SerialPort::ShowFailure(const std::string& firstLine, const SerialFailure& failure, bool warning,
                             const std::string& note) {
  std::string text = firstLine + "\n" + devicePath_ + ": " + FailureReason(failure);
  if (!note.empty()) text.append("\n").append(note);
  messages_.ShowError("Error " + std::to_string(failure.step), text, warning);
}

}  // namespace gelvar
