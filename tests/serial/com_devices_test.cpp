// Which device a COM number opens: the variable, then the device chosen and kept in the settings
// file, then /dev/ttyS<n-1>; what a settings file with nonsense in it leaves usable.
#include "serial/com_devices.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include "serial/serial_discovery_qt.h"

namespace gelvar {
namespace {

namespace fs = std::filesystem;

class ComDevicesTest : public ::testing::Test {
 protected:
  // QSettings caches a file by its time stamp, so every settings text gets a file of its own.
  ComDeviceMap Map(QtComMappingStore& store) {
    return ComDeviceMap(&store, [](const char* name) { return name == ComVariableName(4) ? "/dev/ttyV4" : nullptr; });
  }

  QTemporaryDir folder_;
  const std::string dir_ = folder_.path().toStdString();
  const std::string present_ = dir_ + "/ttyUSB0";
  QtComMappingStore store_{QString::fromStdString(dir_ + "/gelvar/gelvar-monitor.conf")};
};

TEST_F(ComDevicesTest, NonsenseIsIgnoredInOneLineAndTheRestIsUsed) {
  std::ofstream(present_) << "";
  const std::string gone = dir_ + "/ttyUSB9";
  const struct {
    std::string settings;  // "-": a folder where the file should be
    std::string ignored;   // what the "E> " line says after the file's name
    std::string com1, com2;
  } cases[] = {
      {"", "", "/dev/ttyS0", "/dev/ttyS1"},
      {"COM1=" + present_ + "\nCOM4=" + present_ + "\n", "", present_, "/dev/ttyS1"},
      {"COMx=" + present_ + "\nCOM0=/a\nCOM256=/a\nCOM02=/a\ncom1=/a\nCOM2=ttyUSB0\nCOM1=" + present_ + "\n",
       "ignored COM0 (not a COM number 1..255), COM02 (not a COM number 1..255), COM2 (not a device path), "
       "COM256 (not a COM number 1..255), COMx (not a COM number 1..255), com1 (not a COM number 1..255)",
       present_, "/dev/ttyS1"},
      {"COM2=" + gone + "\n", "ignored COM2 (" + gone + " is not there)", "/dev/ttyS0", "/dev/ttyS1"},
      {"-", "is not a file", "/dev/ttyS0", "/dev/ttyS1"},
  };
  int row = 0;
  for (const auto& c : cases) {
    const std::string file = dir_ + "/" + std::to_string(++row) + ".conf";
    if (c.settings == "-") {
      fs::create_directory(file);
    } else {
      std::ofstream(file) << "[SerialDevices]\n" << c.settings;
    }
    QtComMappingStore store(QString::fromStdString(file));
    ComDeviceMap map = Map(store);
    EXPECT_EQ(map.Load(), c.ignored.empty() ? "" : "E> Serial device settings " + file + ": " + c.ignored);
    EXPECT_EQ(map.Resolve(1).path + " " + map.Resolve(2).path, c.com1 + " " + c.com2) << c.settings;
    EXPECT_EQ(map.Resolve(4).path, "/dev/ttyV4") << "the variable wins";
  }
  // A chosen device that is missing is kept: it counts again once it is plugged in.
  QtComMappingStore store(QString::fromStdString(dir_ + "/4.conf"));
  ComDeviceMap map = Map(store);
  map.Load();
  EXPECT_EQ(DescribeComDevice(2, map.Resolve(2)),
            "COM 2 is /dev/ttyS1 (the device chosen for COM 2, " + gone +
                ", is not there; Communication > Choose Serial Device... or GELVAR_COM2 names another)");
  std::ofstream(gone) << "";
  EXPECT_EQ(map.Resolve(2).path, gone);
}

TEST_F(ComDevicesTest, AChoiceIsKeptForTheNextRunAndTheDefaultForgetsIt) {
  ComDeviceMap map = Map(store_);
  std::ofstream(present_) << "";
  std::string reason;
  ASSERT_TRUE(map.Choose(3, present_, reason)) << reason;
  ASSERT_TRUE(map.Choose(5, present_, reason)) << reason;
  ASSERT_TRUE(map.Choose(5, "/dev/ttyS4", reason)) << reason;
  ComDeviceMap next = Map(store_);
  EXPECT_EQ(next.Load(), "");
  EXPECT_EQ(next.Resolve(3).path, present_);
  EXPECT_EQ(next.Resolve(3).source, ComSource::kChosen);
  EXPECT_EQ(next.Chosen(5), "");

  next.UseDevice("/dev/ttyV9");
  EXPECT_EQ(next.Resolve(4).path, "/dev/ttyV9") << "--device wins over everything";
}

TEST_F(ComDevicesTest, UsbAdaptersGoByTheirStableName) {
  std::ofstream(present_) << "";
  fs::create_directories(dir_ + "/by-id");
  const std::string stable = dir_ + "/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  fs::create_symlink(present_, stable);
  EXPECT_EQ(StableDevicePath(present_, dir_ + "/by-id"), stable);
  EXPECT_EQ(StableDevicePath("/dev/null", dir_ + "/by-id"), "/dev/null");
  EXPECT_EQ(StableDevicePath(present_, dir_ + "/none"), present_);
}

}  // namespace
}  // namespace gelvar
