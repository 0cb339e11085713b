// Which device a COM number opens: --device, then the variable, then the device chosen and kept (a USB
// adapter by its stable name), then /dev/ttyS<n-1>; what a settings file with nonsense in it leaves usable,
// and that a choice never rewrites a file that would not read back the same.
#include "core/serial/com_devices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/common/temp_folder.h"
#include "core/serial/serial_device.h"
#include "support/link_fixture.h"

namespace gelvar::testing {
namespace {

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
    if ((reason = failure).empty()) text = in;
    return reason.empty();
  }
  std::string Location() const override { return "gelvar-monitor.conf"; }
  std::string text, failure;
};

// The environment names COM 4 alone.
const auto kVariables = [](const char* name) { return name == ComVariableName(4) ? "/dev/ttyV4" : nullptr; };

// The rows name Linux's devices; Windows opens COM ports by their own names.
template <class Row>
struct OnLinux : ::testing::TestWithParam<Row> {
  void SetUp() override {
    if (DefaultComDevice(1) != "/dev/ttyS0") GTEST_SKIP() << "the rows name Linux devices (/dev/ttyS0, /dev/null)";
  }
};

// clang-format off
// The settings file and the store's failure; what the "E> " line says after the store's name, the
// devices of COM 1 and COM 2.
struct LoadRow { const char* name; std::string text, failure, ignored, resolved; };
const LoadRow kLoadRows[] = {
    {"NoFile", "", "", "", "/dev/ttyS0 /dev/ttyS1"},
    {"ChosenDevices", "[SerialDevices]\nCOM1=/dev/null\nCOM4=/dev/null\nCOM255=/dev/null\n", "", "", "/dev/null /dev/ttyS1"},
    {"NamesThatAreNoComNumber", "[SerialDevices]\nCOMx=/a\nCOM=/a\nCOM0=/a\nCOM256=/a\nCOM2x=/a\nCOM2=ttyUSB0\n", "",
     "ignored COMx (not a COM number 1..255), COM (not a COM number 1..255), COM0 (not a COM number 1..255), "
     "COM256 (not a COM number 1..255), COM2x (not a COM number 1..255) and 1 more", "/dev/ttyS0 /dev/ttyS1"},
    {"MissingDevice", "[SerialDevices]\nCOM2=/nonexistent/ttyUSB9", "", "ignored COM2 (/nonexistent/ttyUSB9 is not there)",
     "/dev/ttyS0 /dev/ttyS1"},
    {"UnreadableFile", "[SerialDevices]\nCOM1=/dev/null\n", "is not a regular file", "is not a regular file", "/dev/ttyS0 /dev/ttyS1"},
    {"CommentsBlanksQuotesAndCrLf", "; kept by hand\r\n[SerialDevices]\r\n\r\n COM2 = \"/dev/null\" \r\n", "", "", "/dev/ttyS0 /dev/null"},
    {"QuoteNotClosed", "[SerialDevices]\nCOM1=/dev/null\n# my comment\nCOM2=\"/dev/null\n", "",
     "ignored line 4 (the quote is not closed: COM2=\"/dev/null)", "/dev/null /dev/ttyS1"},
    {"BrokenLines", "[SerialDevices]\nCOM1=/dev/null\nCOM1=/dev/zero\nCOM2=\"/dev/null\"x\nCOM2=/dev/a\\x\n\x7f" "ELF\x01\xff\n", "",
     "ignored line 3 (COM1 again after line 2: COM1=/dev/zero), line 4 (text after the closing quote: "
     "COM2=\"/dev/null\"x), line 5 (an unknown escape: COM2=/dev/a\\x), line 6 (not a setting: \\x7fELF\\x01\\xff)",
     "/dev/null /dev/ttyS1"},
    {"OutsideTheSection", "COM1=/dev/null\n[General]\nCOM2=/dev/null\n[SerialDevices]\nCOM2=/dev/null;" + std::string(200, 'x'), "",
     "ignored line 1 (not under [SerialDevices]: COM1=/dev/null), line 2 (a section other than [SerialDevices]: "
     "[General]), line 3 (not under [SerialDevices]: COM2=/dev/null), line 5 (a ; outside quotes: "
     "COM2=/dev/null;" + std::string(105, 'x') + "...)", "/dev/ttyS0 /dev/ttyS1"},
};
// clang-format on
class ComDeviceMapLoad : public OnLinux<LoadRow> {};

TEST_P(ComDeviceMapLoad, IgnoresNonsenseAndResolvesTheRest) {
  MemoryStore store(GetParam().text, GetParam().failure);
  ComDeviceMap map(&store, kVariables);
  const std::string& ignored = GetParam().ignored;
  EXPECT_EQ(map.Load(), ignored.empty() ? "" : "E> Serial device settings gelvar-monitor.conf: " + ignored);
  EXPECT_EQ(map.Resolve(1).path + " " + map.Resolve(2).path, GetParam().resolved);
}
INSTANTIATE_TEST_SUITE_P(Files, ComDeviceMapLoad, ::testing::ValuesIn(kLoadRows), kByName);

// clang-format off
// The settings file, the --device option, the COM number; what the start tells of its device.
struct DescribeRow { const char* name; std::string text, deviceOption; int port; std::string said; };
const DescribeRow kDescribeRows[] = {
    {"Default", "", "", 1, "COM 1 is /dev/ttyS0 (no device chosen for COM 1; Communication > Choose Serial Device... or "
     "GELVAR_COM1 names another)"},
    {"Chosen", "[SerialDevices]\nCOM3=/dev/null\n", "", 3, "COM 3 is /dev/null (chosen in the device list)"},
    {"ChosenButMissing", "[SerialDevices]\nCOM2=/nonexistent/ttyUSB9\n", "", 2, "COM 2 is /dev/ttyS1 (the device chosen for "
     "COM 2, /nonexistent/ttyUSB9, is not there; Communication > Choose Serial Device... or GELVAR_COM2 names another)"},
    {"VariableWinsOverTheList", "[SerialDevices]\nCOM4=/dev/null\n", "", 4, "COM 4 is /dev/ttyV4 (set by GELVAR_COM4, which wins over the device list)"},
    {"DeviceOptionWinsOverAll", "[SerialDevices]\nCOM4=/dev/null\n", "/dev/ttyV9", 4, "COM 4 is /dev/ttyV9 (given with --device)"},
};
// clang-format on
class ComDeviceMapDescribe : public OnLinux<DescribeRow> {};

TEST_P(ComDeviceMapDescribe, SaysWhereTheDeviceComesFrom) {
  MemoryStore store(GetParam().text, "");
  ComDeviceMap map(&store, kVariables);
  map.Load();
  if (!GetParam().deviceOption.empty()) map.UseDevice(GetParam().deviceOption);
  EXPECT_EQ(DescribeComDevice(GetParam().port, map.Resolve(GetParam().port)), GetParam().said);
}
INSTANTIATE_TEST_SUITE_P(Files, ComDeviceMapDescribe, ::testing::ValuesIn(kDescribeRows), kByName);

// clang-format off
// The settings file and its store's failure, the COM number and device chosen; the reason given
// (empty: kept) and the file after.
const std::string kFull = "[SerialDevices]\nCOMx=" + std::string(65500, 'a') + "\n";
const std::string kLeft = " would be lost; the file is left as it is";
struct ChoiceRow { const char* name; std::string before, failure; int port; std::string path, refused, after; };
const ChoiceRow kChoiceRows[] = {
    {"MakesTheFile", "", "", 3, "/dev/null", "", "[SerialDevices]\nCOM3=/dev/null\n"},
    {"KeepsTheOthersInOrder", "[SerialDevices]\nCOM2=/dev/zero\nCOM10=/dev/x\n", "", 3, "/dev/null", "",
     "[SerialDevices]\nCOM10=/dev/x\nCOM2=/dev/zero\nCOM3=/dev/null\n"},
    {"QuotesWhatNeedsIt", "[SerialDevices]\r\n COM2 = \"/dev/a,b\"\r\n", "", 1, "/dev/a\\b \"c\"", "",
     "[SerialDevices]\nCOM1=/dev/a\\\\b \\\"c\\\"\nCOM2=\"/dev/a,b\"\n"},
    {"DefaultDeviceForgetsTheChoice", "[SerialDevices]\nCOM1=/dev/null\n", "", 1, "/dev/ttyS0", "", ""},
    {"CommentWouldBeLost", "[SerialDevices]\nCOM1=/dev/ttyUSB0\n# my comment\nCOM3=/dev/ttyUSB2\n", "", 2, "/dev/null",
     "line 3 (a comment: # my comment)" + kLeft, "[SerialDevices]\nCOM1=/dev/ttyUSB0\n# my comment\nCOM3=/dev/ttyUSB2\n"},
    {"BrokenLineWouldBeLost", "[SerialDevices]\nCOM3=\"/dev/ttyUSB2\n", "", 1, "/dev/null",
     "line 2 (the quote is not closed: COM3=\"/dev/ttyUSB2)" + kLeft, "[SerialDevices]\nCOM3=\"/dev/ttyUSB2\n"},
    {"BinaryLineWouldBeLost", std::string("[SerialDevices]\n\x00\xff\n", 19), "", 1, "/dev/null",
     "line 2 (not a setting: \\x00\\xff)" + kLeft, std::string("[SerialDevices]\n\x00\xff\n", 19)},
    {"DeviceThatWouldNotReadBack", "", "", 1, "/dev/a\nCOM2=/dev/b", "/dev/a\\x0aCOM2=/dev/b cannot be kept so that it reads back the same", ""},
    {"FileOver64KiB", kFull, "", 1, "/dev/null", "the file would grow over 64 KiB; the file is left as it is", kFull},
    {"FileThatCannotBeWritten", "", "cannot be written", 6, "/dev/null", "cannot be written", ""},
};
// clang-format on
class ComDeviceMapChoice : public OnLinux<ChoiceRow> {};

TEST_P(ComDeviceMapChoice, RewritesOnlyAFileThatReadsBackTheSame) {
  MemoryStore store(GetParam().before, "");
  ComDeviceMap map(&store, kVariables);
  store.failure = GetParam().failure;
  std::string reason;
  EXPECT_EQ(map.Choose(GetParam().port, GetParam().path, reason), GetParam().refused.empty()) << reason;
  EXPECT_EQ(reason, GetParam().refused.empty() ? "" : "gelvar-monitor.conf: " + GetParam().refused);
  EXPECT_EQ(store.text, GetParam().after);
}
INSTANTIATE_TEST_SUITE_P(Files, ComDeviceMapChoice, ::testing::ValuesIn(kChoiceRows), kByName);

TEST(ComDeviceMap, ChoiceWithoutASettingsFileIsRefusedWithTheReason) {
  ComDeviceMap map(nullptr, kVariables);
  std::string reason;
  EXPECT_FALSE(map.Choose(3, "/dev/null", reason));
  EXPECT_EQ(reason, "there is no place to keep it");
}

TEST(ComDeviceMap, UsbAdapterGoesByItsStableName) {
  const TempFolder folder;
  const fs::path device = folder / "ttyUSB0", byId = folder / "by-id";
  const fs::path stable = byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  std::ofstream(device) << "";
  fs::create_directories(byId);
  fs::create_symlink(device, stable);
  EXPECT_EQ(StableDevicePath(device.string(), byId.string()), stable.string());
  EXPECT_EQ(StableDevicePath("/dev/null", byId.string()), "/dev/null");
  EXPECT_EQ(StableDevicePath(device.string(), (folder / "none").string()), device.string());
}

#ifdef _WIN32
// Windows opens COM ports by their names.
TEST(WindowsComDevices, DeviceNamesAreComPortsOneTo256WithOrWithoutTheDevicePrefix) {
  const std::pair<const char*, bool> cases[] = {
      {"COM1", true},        {"\\\\.\\COM256", true}, {"COM257", false}, {"COM0", false},       {"COM03", false},
      {"\\\\.\\COM", false}, {"COM3x", false},        {"LPT1", false},   {"/dev/ttyS0", false}, {"C:\\com3", false},
  };
  for (const auto& [path, accepted] : cases) EXPECT_EQ(IsDeviceName(path), accepted) << path;
}

#endif

}  // namespace
}  // namespace gelvar::testing
