// Kept choices on Windows: COM ports by their names, the Linux paths of a settings file brought along
// ignored.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/serial/com_devices.h"
#include "core/serial/serial_device.h"

namespace gelvar::testing {
namespace {

struct TextStore : ComMappingStore {
  explicit TextStore(std::string kept) : text(std::move(kept)) {}
  bool Read(std::string& out, std::string& /*reason*/) override {
    out = text;
    return true;
  }
  bool Write(const std::string& in, std::string& /*reason*/) override {
    text = in;
    return true;
  }
  std::string Location() const override { return "gelvar-monitor.conf"; }
  std::string text;
};

TEST(WindowsComDevices, DeviceNamesAreComPortsOneTo256WithOrWithoutTheDevicePrefix) {
  const std::pair<const char*, bool> cases[] = {
      {"COM1", true},        {"\\\\.\\COM256", true}, {"COM257", false}, {"COM0", false},       {"COM03", false},
      {"\\\\.\\COM", false}, {"COM3x", false},        {"LPT1", false},   {"/dev/ttyS0", false}, {"C:\\com3", false},
  };
  for (const auto& [path, accepted] : cases) EXPECT_EQ(IsDeviceName(path), accepted) << path;
}

// Nothing is mapped to COM256 under test. The file doubles each backslash.
TEST(WindowsComDevices, AChosenComPortIsKeptWhileMissingAndALinuxPathIsNoDeviceName) {
  TextStore store("[SerialDevices]\nCOM2=\\\\\\\\.\\\\COM256\nCOM3=/dev/ttyUSB0\n");
  ComDeviceMap map(&store, [](const char*) -> const char* { return nullptr; });
  EXPECT_EQ(map.Load(),
            "E> Serial device settings gelvar-monitor.conf: ignored COM2 (\\\\.\\COM256 is not there), "
            "COM3 (not a device path)");
  EXPECT_EQ(map.Chosen(2) + " " + map.Resolve(2).path, "\\\\.\\COM256 \\\\.\\COM2");
}

}  // namespace
}  // namespace gelvar::testing
