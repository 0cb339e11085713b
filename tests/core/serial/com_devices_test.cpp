// Which device a COM number opens: --device, then the variable, then the device chosen and kept (a USB
// adapter by its stable name), then /dev/ttyS<n-1>; what a settings file with nonsense in it leaves usable,
// and that a choice never rewrites a file that would not read back the same.
#include "core/serial/com_devices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "core/common/temp_folder.h"
#include "core/serial/serial_device.h"

namespace gelvar::testing {
namespace {

// The rows name Linux's devices; Windows opens COM ports by their own names.
constexpr const char* kLinuxDevicesOnly = "the rows name Linux devices (/dev/ttyS0, /dev/null)";
bool HasLinuxDevices() { return DefaultComDevice(1) == "/dev/ttyS0"; }

namespace fs = std::filesystem;

// The settings file in memory; a store with a failure can be neither read nor written.
struct MemoryStore : ComMappingStore {
  MemoryStore(const std::string& kept, const std::string& failing) : text(kept), failure(failing) {}
  bool Read(std::string& out, std::string& reason) override {
    out = text;
    reason = failure;
    return failure.empty();
  }
  bool Write(const std::string& in, std::string& reason) override {
    reason = failure;
    if (!failure.empty()) return false;
    text = in;
    return true;
  }
  std::string Location() const override { return "gelvar-monitor.conf"; }
  std::string text;
  std::string failure;
};

// The environment names COM 4 alone.
const auto kVariables = [](const char* name) { return name == ComVariableName(4) ? "/dev/ttyV4" : nullptr; };

std::string Lines(const std::string& line, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line + "\n";
  return text;
}

// Settings files with nonsense among them; then a chosen device that is missing is kept and counts
// again once it is plugged in, a choice is kept for the next run, the default device forgets it, and
// --device comes before everything.
TEST(ComDeviceMap, KeptChoicesAndAdaptersResolveAndNonsenseIsIgnoredInOneLine) {
  if (!HasLinuxDevices()) GTEST_SKIP() << kLinuxDevicesOnly;
  const TempFolder folder;
  const std::string gone = (folder / "ttyUSB9").string();
  // The settings file, the store's failure, what the "E> " line says after the store's name, the
  // devices of COM 1 and COM 2.
  const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
      {"", "", "", "/dev/ttyS0 /dev/ttyS1"},
      {"[SerialDevices]\nCOM1=/dev/null\nCOM4=/dev/null\nCOM255=/dev/null\n", "", "", "/dev/null /dev/ttyS1"},
      {"[SerialDevices]\nCOMx=/a\nCOM=/a\nCOM0=/a\nCOM256=/a\nCOM2x=/a\nCOM2=ttyUSB0\n", "",
       "ignored COMx (not a COM number 1..255), COM (not a COM number 1..255), COM0 (not a COM number 1..255), "
       "COM256 (not a COM number 1..255), COM2x (not a COM number 1..255) and 1 more",
       "/dev/ttyS0 /dev/ttyS1"},
      {"[SerialDevices]\nCOM2=" + gone, "", "ignored COM2 (" + gone + " is not there)", "/dev/ttyS0 /dev/ttyS1"},
      {"[SerialDevices]\nCOM1=/dev/null\n", "is not a regular file", "is not a regular file", "/dev/ttyS0 /dev/ttyS1"},
      {"; kept by hand\r\n[SerialDevices]\r\n\r\n COM2 = \"/dev/null\" \r\n", "", "", "/dev/ttyS0 /dev/null"},
      {"[SerialDevices]\nCOM1=/dev/null\n# my comment\nCOM2=\"/dev/null\n", "",
       "ignored line 4 (the quote is not closed: COM2=\"/dev/null)", "/dev/null /dev/ttyS1"},
      {"[SerialDevices]\nCOM1=/dev/null\nCOM1=/dev/zero\nCOM2=\"/dev/null\"x\nCOM2=/dev/a\\x\n\x7f"
       "ELF\x01\xff\n",
       "",
       "ignored line 3 (COM1 again after line 2: COM1=/dev/zero), line 4 (text after the closing quote: "
       "COM2=\"/dev/null\"x), line 5 (an unknown escape: COM2=/dev/a\\x), line 6 (not a setting: \\x7fELF\\x01\\xff)",
       "/dev/null /dev/ttyS1"},
      {"COM1=/dev/null\n[General]\nCOM2=/dev/null\n[SerialDevices]\nCOM2=/dev/null;" + std::string(200, 'x'), "",
       "ignored line 1 (not under [SerialDevices]: COM1=/dev/null), line 2 (a section other than [SerialDevices]: "
       "[General]), line 3 (not under [SerialDevices]: COM2=/dev/null), line 5 (a ; outside quotes: "
       "COM2=/dev/null;" +
           std::string(105, 'x') + "...)",
       "/dev/ttyS0 /dev/ttyS1"},
      {Lines("[SerialDevices]", 1) + Lines("x", 300000), "",
       "ignored line 2 (not a setting: x), line 3 (not a setting: x), line 4 (not a setting: x), "
       "line 5 (not a setting: x), line 6 (not a setting: x) and 299995 more",
       "/dev/ttyS0 /dev/ttyS1"},
  };
  for (const auto& [text, failure, ignored, resolved] : cases) {
    MemoryStore store(text, failure);
    ComDeviceMap map(&store, kVariables);
    EXPECT_EQ(map.Load(), ignored.empty() ? "" : "E> Serial device settings gelvar-monitor.conf: " + ignored);
    EXPECT_EQ(map.Resolve(1).path + " " + map.Resolve(2).path, resolved) << ignored;
  }
  MemoryStore store("[SerialDevices]\nCOM2=" + gone + "\n", "");
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
  EXPECT_EQ(store.text, "[SerialDevices]\nCOM2=" + gone + "\nCOM3=/dev/null\n");
  ComDeviceMap next(&store, kVariables);
  EXPECT_EQ(next.Load(), "");
  EXPECT_EQ(DescribeComDevice(3, next.Resolve(3)), "COM 3 is /dev/null (chosen in the device list)");
  next.UseDevice("/dev/ttyV9");
  EXPECT_EQ(DescribeComDevice(4, next.Resolve(4)), "COM 4 is /dev/ttyV9 (given with --device)");
  store.failure = "cannot be written";
  EXPECT_FALSE(map.Choose(6, "/dev/null", reason));
  EXPECT_EQ(reason + map.Chosen(6), "gelvar-monitor.conf: cannot be written");

  // A USB adapter goes by its stable name.
  const fs::path device = folder / "ttyUSB0", byId = folder / "by-id";
  const fs::path stable = byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  std::ofstream(device) << "";
  fs::create_directories(byId);
  fs::create_symlink(device, stable);
  EXPECT_EQ(StableDevicePath(device.string(), byId.string()), stable.string());
  EXPECT_EQ(StableDevicePath("/dev/null", byId.string()), "/dev/null");
  EXPECT_EQ(StableDevicePath(device.string(), (folder / "none").string()), device.string());
}

// A choice rewrites the file only when everything else in it reads back the same afterwards; else the
// file keeps its bytes and the reason names the file and the line.
TEST(ComDeviceMap, ChoiceRewritesOnlyAFileThatReadsBackTheSame) {
  if (!HasLinuxDevices()) GTEST_SKIP() << kLinuxDevicesOnly;
  const std::string full = "[SerialDevices]\nCOMx=" + std::string(65500, 'a') + "\n";
  // The settings file, the COM number and device chosen, the reason given (empty: kept), the file after.
  const std::tuple<std::string, int, std::string, std::string, std::string> cases[] = {
      {"", 3, "/dev/null", "", "[SerialDevices]\nCOM3=/dev/null\n"},
      {"[SerialDevices]\nCOM2=/dev/zero\nCOM10=/dev/x\n", 3, "/dev/null", "",
       "[SerialDevices]\nCOM10=/dev/x\nCOM2=/dev/zero\nCOM3=/dev/null\n"},
      {"[SerialDevices]\r\n COM2 = \"/dev/a,b\"\r\n", 1, "/dev/a\\b \"c\"", "",
       "[SerialDevices]\nCOM1=/dev/a\\\\b \\\"c\\\"\nCOM2=\"/dev/a,b\"\n"},
      {"[SerialDevices]\nCOM1=/dev/null\n", 1, "/dev/ttyS0", "", ""},
      {"[SerialDevices]\nCOM1=/dev/ttyUSB0\n# my comment\nCOM3=/dev/ttyUSB2\n", 2, "/dev/null",
       "line 3 (a comment: # my comment) would be lost; the file is left as it is",
       "[SerialDevices]\nCOM1=/dev/ttyUSB0\n# my comment\nCOM3=/dev/ttyUSB2\n"},
      {"[SerialDevices]\nCOM3=\"/dev/ttyUSB2\n", 1, "/dev/null",
       "line 2 (the quote is not closed: COM3=\"/dev/ttyUSB2) would be lost; the file is left as it is",
       "[SerialDevices]\nCOM3=\"/dev/ttyUSB2\n"},
      {std::string("[SerialDevices]\n\x00\xff\n", 19), 1, "/dev/null",
       "line 2 (not a setting: \\x00\\xff) would be lost; the file is left as it is",
       std::string("[SerialDevices]\n\x00\xff\n", 19)},
      {"", 1, "/dev/a\nCOM2=/dev/b", "/dev/a\\x0aCOM2=/dev/b cannot be kept so that it reads back the same", ""},
      {full, 1, "/dev/null", "the file would grow over 64 KiB; the file is left as it is", full},
  };
  for (const auto& [before, portNumber, path, refused, after] : cases) {
    MemoryStore store(before, "");
    ComDeviceMap map(&store, kVariables);
    std::string reason;
    EXPECT_EQ(map.Choose(portNumber, path, reason), refused.empty()) << reason;
    EXPECT_EQ(reason, refused.empty() ? "" : "gelvar-monitor.conf: " + refused);
    EXPECT_EQ(store.text, after) << refused;
  }
}

TEST(ComDeviceMap, ChoiceWithoutASettingsFileIsRefusedWithTheReason) {
  ComDeviceMap map(nullptr, kVariables);
  std::string reason;
  EXPECT_FALSE(map.Choose(3, "/dev/null", reason));
  EXPECT_EQ(reason, "there is no place to keep it");
}

}  // namespace
}  // namespace gelvar::testing
