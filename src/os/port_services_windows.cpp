// gelvar-cli's port list and COM choices on Windows: the COM ports the registry's SERIALCOMM map names,
// and the choices in %APPDATA%\gelvar\gelvar-monitor.conf.
#include <windows.h>

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

// "\\.\COM3  serial port \Device\Serial0": the name to open and the driver's device behind it.
std::vector<SerialDeviceEntry> SerialCommPorts() {
  std::vector<SerialDeviceEntry> devices;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return devices;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    wchar_t port[64];
    DWORD nameLength = std::size(name);
    DWORD portBytes = sizeof port - sizeof(wchar_t);
    DWORD type = 0;
    const LONG result =
        ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(port), &portBytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    port[portBytes / sizeof(wchar_t)] = L'\0';
    devices.push_back({"\\\\.\\" + Utf8Text(port), "serial port " + Utf8Text(name)});
  }
  ::RegCloseKey(key);
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
  std::vector<SerialDeviceEntry> Devices() override { return SerialCommPorts(); }
  ComMappingStore& ComMappings() override { return comMappings_; }

 private:
  WindowsComMappingStore comMappings_{UserFile()};
};

}  // namespace

std::unique_ptr<PortServices> StartPortServices(int /*argc*/, char* /*argv*/[]) {
  return std::make_unique<WindowsPortServices>();
}

}  // namespace gelvar
