// Which device a COM number opens: --device, then the variable, then the device chosen and kept (a USB
// adapter by its stable name), then /dev/ttyS<n-1>; what kept choices with nonsense among them leave usable.
#include "core/serial/com_devices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "core/common/temp_folder.h"

namespace gelvar::testing {
namespace {

namespace fs = std::filesystem;
using Entries = ComMappingStore::Entries;

// The kept choices in memory; a store with a failure can be neither read nor written.
struct MemoryStore : ComMappingStore {
  MemoryStore(const Entries& kept, const std::string& failing) : entries(kept), failure(failing) {}
  bool Read(Entries& out, std::string& reason) override {
    out = entries;
    reason = failure;
    return failure.empty();
  }
  bool Write(const std::string& name, const std::string& path, std::string& reason) override {
    reason = failure;
    if (!failure.empty()) return false;
    std::erase_if(entries, [&](const auto& entry) { return entry.first == name; });
    if (!path.empty()) entries.emplace_back(name, path);
    return true;
  }
  std::string Location() const override { return "gelvar-monitor.conf"; }
  Entries entries;
  std::string failure;
};

// The environment names COM 4 alone.
const auto kVariables = [](const char* name) { return name == ComVariableName(4) ? "/dev/ttyV4" : nullptr; };

// Kept choices with nonsense among them; then a chosen device that is missing is kept and counts again
// once it is plugged in, a choice is kept for the next run, the default device forgets it, and
// --device comes before everything.
TEST(ComDeviceMap, KeptChoicesAndAdaptersResolveAndNonsenseIsIgnoredInOneLine) {
  const TempFolder folder;
  const std::string gone = (folder / "ttyUSB9").string();
  // The kept entries, the store's failure, what the "E> " line says after the store's name, the
  // devices of COM 1 and COM 2.
  const std::tuple<Entries, std::string, std::string, std::string> cases[] = {
      {{}, "", "", "/dev/ttyS0 /dev/ttyS1"},
      {{{"COM1", "/dev/null"}, {"COM4", "/dev/null"}, {"COM255", "/dev/null"}}, "", "", "/dev/null /dev/ttyS1"},
      {{{"COMx", "/a"}, {"COM", "/a"}, {"COM0", "/a"}, {"COM256", "/a"}, {"COM2x", "/a"}, {"COM2", "ttyUSB0"}},
       "",
       "ignored COMx (not a COM number 1..255), COM (not a COM number 1..255), COM0 (not a COM number 1..255), "
       "COM256 (not a COM number 1..255), COM2x (not a COM number 1..255), COM2 (not a device path)",
       "/dev/ttyS0 /dev/ttyS1"},
      {{{"COM2", gone}}, "", "ignored COM2 (" + gone + " is not there)", "/dev/ttyS0 /dev/ttyS1"},
      {{{"COM1", "/dev/null"}}, "is not a file", "is not a file", "/dev/ttyS0 /dev/ttyS1"},
  };
  for (const auto& [entries, failure, ignored, resolved] : cases) {
    MemoryStore store(entries, failure);
    ComDeviceMap map(&store, kVariables);
    EXPECT_EQ(map.Load(), ignored.empty() ? "" : "E> Serial device settings gelvar-monitor.conf: " + ignored);
    EXPECT_EQ(map.Resolve(1).path + " " + map.Resolve(2).path, resolved) << ignored;
  }
  MemoryStore store({{"COM2", gone}}, "");
  ComDeviceMap map(&store, kVariables);
  map.Load();
  EXPECT_EQ(DescribeComDevice(2, map.Resolve(2)),
            "COM 2 is /dev/ttyS1 (the device chosen for COM 2, " + gone +
                ", is not there; Communication > Choose Serial Device... or GELVAR_COM2 names another)");
  std::ofstream(gone) << "";
  EXPECT_EQ(map.Resolve(2).path, gone);
  EXPECT_EQ(DescribeComDevice(4, map.Resolve(4)),
            "COM 4 is /dev/ttyV4 (set by GELVAR_COM4, which wins over the device list)");

  std::string reason;
  ASSERT_TRUE(map.Choose(5, "/dev/null", reason)) << reason;
  ASSERT_TRUE(map.Choose(5, "/dev/ttyS4", reason)) << reason;
  EXPECT_EQ(map.Chosen(5), "");
  ASSERT_TRUE(map.Choose(3, "/dev/null", reason)) << reason;
  EXPECT_EQ(store.entries, (Entries{{"COM2", gone}, {"COM3", "/dev/null"}}));
  ComDeviceMap next(&store, kVariables);
  EXPECT_EQ(next.Load(), "");
  EXPECT_EQ(DescribeComDevice(3, next.Resolve(3)), "COM 3 is /dev/null (chosen in the device list)");
  next.UseDevice("/dev/ttyV9");
  EXPECT_EQ(DescribeComDevice(4, next.Resolve(4)), "COM 4 is /dev/ttyV9 (given with --device)");
  store.failure = "cannot be written";
  EXPECT_FALSE(map.Choose(6, "/dev/null", reason));
  EXPECT_EQ(reason + map.Chosen(6), "cannot be written");

  // A USB adapter goes by its stable name.
  const fs::path device = folder / "ttyUSB0", byId = folder / "by-id";
  const fs::path stable = byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  std::ofstream(device) << "";
  fs::create_directories(byId);
  fs::create_symlink(device, stable);
  EXPECT_EQ(StableDevicePath(device, byId), stable);
  EXPECT_EQ(StableDevicePath("/dev/null", byId), "/dev/null");
  EXPECT_EQ(StableDevicePath(device, folder / "none"), device);
}

}  // namespace
}  // namespace gelvar::testing
