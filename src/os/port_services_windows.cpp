// gelvar-cli's port list and COM choices on Windows: the COM ports Device Manager shows, by their
// friendly names, with those only the registry's SERIALCOMM map names (virtual ports, wine's); and the
// choices in %APPDATA%\gelvar\gelvar-monitor.conf.
#include <windows.h>
// After windows.h, whose types setupapi.h needs; initguid.h first, so that devguid.h defines its GUIDs.
#include <initguid.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/port_services.h"
#include "os/windows_text.h"

namespace gelvar {
namespace {

namespace fs = std::filesystem;

std::string DevicePath(const std::wstring& portName) { return "\\\\.\\" + Utf8Text(portName); }

// A REG_SZ value, empty when it is missing or of another type.
std::wstring StringValue(HKEY key, const wchar_t* name) {
  wchar_t value[256];
  DWORD bytes = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  value[bytes / sizeof(wchar_t)] = L'\0';
  return value;
}

std::wstring DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t value[256];
  DWORD type = 0;
  if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(value),
                                           sizeof value - sizeof(wchar_t), nullptr) ||
      type != REG_SZ) {
    return {};
  }
  value[std::size(value) - 1] = L'\0';
  return value;
}

// "FTDI USB Serial Port (COM3)": the maker, unless the friendly name already holds it, and the name.
std::string Describe(const std::wstring& maker, const std::wstring& friendlyName) {
  std::wstring what = friendlyName;
  if (!maker.empty() && what.find(maker) == std::wstring::npos) what = what.empty() ? maker : maker + L' ' + what;
  return what.empty() ? "serial port" : Utf8Text(what);
}

// The present devices of the Ports class whose port name is a COM port (the class holds printer ports too).
std::vector<SerialDeviceEntry> DeviceManagerPorts() {
  std::vector<SerialDeviceEntry> devices;
  const HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return devices;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    const std::wstring portName = StringValue(key, L"PortName");
    ::RegCloseKey(key);
    if (portName.rfind(L"COM", 0) != 0) continue;
    devices.push_back({DevicePath(portName), Describe(DeviceProperty(set, device, SPDRP_MFG),
                                                      DeviceProperty(set, device, SPDRP_FRIENDLYNAME))});
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return devices;
}

// "\\.\COM3  serial port \Device\Serial0" for each port of the SERIALCOMM map not in devices yet: the
// name to open and the driver's device behind it.
void AddSerialCommPorts(std::vector<SerialDeviceEntry>& devices) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = std::size(name);
    const LONG result = ::RegEnumValueW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    const std::wstring port = result == ERROR_SUCCESS ? StringValue(key, name) : std::wstring();
    if (port.empty()) continue;
    const std::string path = DevicePath(port);
    const bool listed =
        std::ranges::any_of(devices, [&](const SerialDeviceEntry& entry) { return entry.path == path; });
    if (!listed) devices.push_back({path, "serial port " + Utf8Text(name)});
  }
  ::RegCloseKey(key);
}

std::vector<SerialDeviceEntry> ComPorts() {
  std::vector<SerialDeviceEntry> devices = DeviceManagerPorts();
  AddSerialCommPorts(devices);
  std::sort(devices.begin(), devices.end(),
            [](const SerialDeviceEntry& a, const SerialDeviceEntry& b) { return a.path < b.path; });
  return devices;
}

class WindowsComMappingStore : public ComMappingStore {
 public:
  explicit WindowsComMappingStore(fs::path file) : file_(std::move(file)) {}

  bool Read(std::string& text, std::string& reason) override {
    std::error_code error;
    const fs::file_status status = fs::status(file_, error);
    if (status.type() == fs::file_type::not_found) {
      text.clear();  // nothing chosen yet
      return true;
    }
    if (status.type() != fs::file_type::regular) {
      reason = "is not a regular file";
      return false;
    }
    std::ifstream in(file_, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
    if (!in && !in.eof()) {
      reason = "cannot be read";
      return false;
    }
    if (text.size() <= kMaxBytes) return true;
    reason = "is larger than 64 KiB (not a settings file of this program)";
    return false;
  }

  // Written whole or not at all: into a file beside it, which then takes its place.
  bool Write(const std::string& text, std::string& reason) override {
    std::error_code ignored;
    fs::create_directories(file_.parent_path(), ignored);
    fs::path next = file_;
    next += ".new";
    {
      std::ofstream out(next, std::ios::binary | std::ios::trunc);
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      out.close();
      if (!out) {
        reason = "cannot be written";
        return false;
      }
    }
    if (::MoveFileExW(next.c_str(), file_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    reason = "cannot be written: " + SystemErrorText(::GetLastError());
    fs::remove(next, ignored);
    return false;
  }

  std::string Location() const override { return Utf8Text(file_.wstring()); }

 private:
  fs::path file_;
};

fs::path UserFile() {
  const wchar_t* appData = ::_wgetenv(L"APPDATA");
  const fs::path folder = appData != nullptr && *appData != L'\0' ? fs::path(appData) : fs::current_path();
  return folder / L"gelvar" / L"gelvar-monitor.conf";
}

class WindowsPortServices : public PortServices {
 public:
  std::vector<SerialDeviceEntry> Devices() override { return ComPorts(); }
  ComMappingStore& ComMappings() override { return comMappings_; }

 private:
  WindowsComMappingStore comMappings_{UserFile()};
};

}  // namespace

std::unique_ptr<PortServices> StartPortServices(int /*argc*/, char* /*argv*/[]) {
  return std::make_unique<WindowsPortServices>();
}

}  // namespace gelvar
