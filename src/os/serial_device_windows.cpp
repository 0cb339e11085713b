// The serial device on Windows: a COM port opened for overlapped I/O and for this program alone, set up
// and restored through its DCB and time-outs.
//
// Windows has no readiness to wait on, only transfers that end. So one read of a single byte is always
// under way; its event is the arrival handle, set once a byte has come and until Read takes it. The
// bytes queued behind it are then read at once: a read for no more than the queue holds does not wait.
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>
#include <utility>

#include "core/serial/serial_device.h"
#include "os/windows_text.h"

namespace gelvar {
namespace {

constexpr int kOpenStep = 1;
constexpr int kSaveStateStep = 2;
constexpr int kSaveTimeoutsStep = 3;
constexpr int kQueuesStep = 4;
constexpr int kApplyStateStep = 5;
constexpr int kApplyTimeoutsStep = 6;
constexpr int kRestoreStep = 2;

constexpr DWORD kQueueBytes = 4096;
constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr int kMaxComPort = 256;

// "COM3" of "COM3" or "\\.\COM3"; empty when path names no COM port 1..256.
std::string ComPortName(std::string_view path) {
  if (path.starts_with(kDevicePrefix)) path.remove_prefix(kDevicePrefix.size());
  if (!path.starts_with("COM")) return {};
  const std::string_view digits = path.substr(3);
  int number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  const bool valid = !digits.empty() && digits.front() != '0' && error == std::errc{} &&
                     end == digits.data() + digits.size() && number <= kMaxComPort;
  return valid ? std::string(path) : std::string();
}
// A write waits for the driver to take its bytes, and gives up with those taken after this long.
constexpr DWORD kWriteTimeoutMs = 200;

std::string Reason(DWORD error) {
  const std::string text = SystemErrorText(error);
  return error == ERROR_ACCESS_DENIED ? text + " \u2014 is another program using it?" : text;
}

bool Fail(SerialFailure& failure, int step, DWORD error) {
  failure.step = step;
  failure.reason = Reason(error);
  return false;
}

// Errors after which the device is not coming back through this handle: an unplugged adapter, the far
// end of a pipe or pseudo-terminal closed.
bool IsGone(DWORD error) {
  switch (error) {
    case ERROR_INVALID_FUNCTION:
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_BROKEN_PIPE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED: return true;
    default: return false;
  }
}

class WindowsSerialDevice : public SerialDevice {
 public:
  explicit WindowsSerialDevice(HANDLE handle)
      : handle_(handle),
        arrivalEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        transferEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~WindowsSerialDevice() override {
    if (reading_) {
      ::CancelIoEx(handle_, &arrival_);
      DWORD ignored = 0;
      ::GetOverlappedResult(handle_, &arrival_, &ignored, TRUE);
    }
    ::CloseHandle(handle_);
    ::CloseHandle(arrivalEvent_);
    ::CloseHandle(transferEvent_);
  }
  WindowsSerialDevice(const WindowsSerialDevice&) = delete;
  WindowsSerialDevice& operator=(const WindowsSerialDevice&) = delete;

  bool SaveSettings(SerialFailure& failure) override {
    savedState_.DCBlength = sizeof savedState_;
    if (!::GetCommState(handle_, &savedState_)) return Fail(failure, kSaveStateStep, ::GetLastError());
    if (!::GetCommTimeouts(handle_, &savedTimeouts_)) return Fail(failure, kSaveTimeoutsStep, ::GetLastError());
    hasSaved_ = true;
    return true;
  }

  bool ApplyLine(const LineSettings& line, SerialFailure& failure) override {
    if (!::SetupComm(handle_, kQueueBytes, kQueueBytes)) return Fail(failure, kQueuesStep, ::GetLastError());
    DCB state = savedState_;
    state.BaudRate = static_cast<DWORD>(line.baudRate);
    state.ByteSize = static_cast<BYTE>(line.byteSize);
    // The callers' codes are the DCB's own.
    state.StopBits = static_cast<BYTE>(line.stopBits);
    state.Parity = static_cast<BYTE>(line.parity);
    state.fBinary = TRUE;
    state.fParity = line.parity != NOPARITY;
    state.fOutxCtsFlow = state.fOutxDsrFlow = state.fDsrSensitivity = FALSE;
    state.fOutX = state.fInX = state.fErrorChar = state.fNull = state.fAbortOnError = FALSE;
    state.fDtrControl = DTR_CONTROL_ENABLE;
    state.fRtsControl = RTS_CONTROL_ENABLE;
    if (!::SetCommState(handle_, &state)) return Fail(failure, kApplyStateStep, ::GetLastError());
    // No read time-out: the arrival read waits for its byte, the reads behind it find theirs queued.
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    if (!::SetCommTimeouts(handle_, &timeouts)) return Fail(failure, kApplyTimeoutsStep, ::GetLastError());
    AwaitArrival();
    return true;
  }

  bool RestoreSettings(SerialFailure& failure) override {
    if (!hasSaved_ || lost_) return true;
    if (::SetCommState(handle_, &savedState_) && ::SetCommTimeouts(handle_, &savedTimeouts_)) return true;
    const DWORD error = ::GetLastError();
    if (IsGone(error)) {
      lost_ = true;
      return true;
    }
    return Fail(failure, kRestoreStep, error);
  }

  int Write(const std::uint8_t* bytes, int count) override {
    if (lost_ || count <= 0) return 0;
    return Transfer(count, [&](DWORD& moved, OVERLAPPED& overlapped) {
      return ::WriteFile(handle_, bytes, static_cast<DWORD>(count), &moved, &overlapped);
    });
  }

  int Read(std::uint8_t* bytes, int count) override {
    if (lost_ || count <= 0 || !TakeArrival()) return 0;
    bytes[0] = arrived_;
    arrivedHeld_ = false;
    const int queued = std::min(count - 1, Queued());
    int read = 1;
    if (queued > 0) {
      read += Transfer(queued, [&](DWORD& moved, OVERLAPPED& overlapped) {
        return ::ReadFile(handle_, bytes + 1, static_cast<DWORD>(queued), &moved, &overlapped);
      });
    }
    AwaitArrival();
    return read;
  }

  int Waiting() override {
    if (lost_ || !TakeArrival()) return 0;
    const int queued = Queued();
    return lost_ ? 0 : 1 + queued;
  }

  bool Lost() const override { return lost_; }
  std::intptr_t ArrivalHandle() const override { return reinterpret_cast<std::intptr_t>(arrivalEvent_); }

 private:
  // Starts the read of one byte, unless one is under way or its byte not yet taken.
  void AwaitArrival() {
    if (lost_ || reading_ || arrivedHeld_) return;
    arrival_ = OVERLAPPED{};
    arrival_.hEvent = arrivalEvent_;
    DWORD moved = 0;
    if (::ReadFile(handle_, &arrived_, 1, &moved, &arrival_)) {
      NoteArrival(moved);
    } else if (::GetLastError() == ERROR_IO_PENDING) {
      reading_ = true;
    } else {
      lost_ = true;
    }
  }

  // True when the arrival read has its byte, starting it again where it had ended without one.
  bool TakeArrival() {
    if (reading_) {
      DWORD moved = 0;
      if (::GetOverlappedResult(handle_, &arrival_, &moved, FALSE)) {
        reading_ = false;
        NoteArrival(moved);
      } else if (::GetLastError() != ERROR_IO_INCOMPLETE) {
        reading_ = false;
        lost_ = true;
      }
    }
    AwaitArrival();
    return arrivedHeld_;
  }

  // A read without time-out that ends without its byte has met the end of the device.
  void NoteArrival(DWORD moved) {
    arrivedHeld_ = moved == 1;
    if (!arrivedHeld_) lost_ = true;
  }

  // Bytes in the receive queue behind the arrival read's.
  int Queued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (::ClearCommError(handle_, &errors, &status)) return static_cast<int>(std::min<DWORD>(status.cbInQue, INT_MAX));
    if (IsGone(::GetLastError())) lost_ = true;
    return 0;
  }

  // One transfer that the caller starts, waited for to its end: the bytes moved, none when the device
  // has gone.
  template <typename Start>
  int Transfer(int count, Start start) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = transferEvent_;
    DWORD moved = 0;
    if (!start(moved, overlapped) &&
        (::GetLastError() != ERROR_IO_PENDING || !::GetOverlappedResult(handle_, &overlapped, &moved, TRUE))) {
      lost_ = true;
      return 0;
    }
    return static_cast<int>(std::min<DWORD>(moved, static_cast<DWORD>(count)));
  }

  HANDLE handle_;
  HANDLE arrivalEvent_;
  HANDLE transferEvent_;
  OVERLAPPED arrival_{};
  std::uint8_t arrived_ = 0;
  bool reading_ = false;
  bool arrivedHeld_ = false;
  DCB savedState_{};
  COMMTIMEOUTS savedTimeouts_{};
  bool hasSaved_ = false;
  bool lost_ = false;
};

}  // namespace

std::string DefaultComDevice(int portNumber) { return std::string(kDevicePrefix) + "COM" + std::to_string(portNumber); }

bool IsDeviceName(const std::string& path) { return !ComPortName(path).empty(); }

// A COM port is a DOS device name, which no file call finds.
bool DevicePresent(const std::string& path) {
  const std::string port = ComPortName(path);
  wchar_t target[512];
  return !port.empty() ? ::QueryDosDeviceW(WideText(port).c_str(), target, std::size(target)) != 0
                       : ::GetFileAttributesW(WideText(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, SerialFailure& failure) {
  // COM10 and up open only by their \\.\ name; the short name of the lower ones is one more alias.
  const std::string port = ComPortName(path);
  const std::string name = !port.empty() ? std::string(kDevicePrefix) + port : path;
  // No sharing: a second opener is refused with ERROR_ACCESS_DENIED.
  const HANDLE handle = ::CreateFileW(WideText(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Fail(failure, kOpenStep, ::GetLastError());
    return nullptr;
  }
  return std::make_unique<WindowsSerialDevice>(handle);
}

}  // namespace gelvar
