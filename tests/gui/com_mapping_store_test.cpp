// The settings file that remembers each COM number's device: what stands in its place and is not a file
// of its own is neither read nor written, and the reason names the file.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include "core/serial/com_devices.h"
#include "gui/ui/widget_support.h"
#include "qt/serial_discovery_qt.h"

namespace gelvar::testing {
namespace {

namespace fs = std::filesystem;

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class SettingsFileTest : public ::testing::Test {
 protected:
  const QTemporaryDir folder;
  const std::string file = LocalPath(folder.filePath(QStringLiteral("gelvar-monitor.conf")));
};

struct OccupiedRow {
  const char* name;
  std::function<void(const std::string& file)> occupy;
  const char* reason;
  fs::file_type left;  // what stands there afterwards
};

class OccupiedPlace : public SettingsFileTest, public ::testing::WithParamInterface<OccupiedRow> {
 protected:
  void SetUp() override {
    ::alarm(60);  // a pipe opened to be read waits for a writer for good: the alarm ends the run instead
    GetParam().occupy(file);
  }
  void TearDown() override { ::alarm(0); }
  std::string Refusal() const { return file + ": " + GetParam().reason; }
};

TEST_P(OccupiedPlace, LoadingSaysWhyOnAnErrorLine) {
  QtComMappingStore store(QString::fromStdString(file));
  EXPECT_EQ(ComDeviceMap(&store).Load(), "E> Serial device settings " + Refusal());
}

TEST_P(OccupiedPlace, ChoosingIsRefusedAndLeavesThePlaceAsItWas) {
  QtComMappingStore store(QString::fromStdString(file));
  std::string reason;
  EXPECT_FALSE(ComDeviceMap(&store).Choose(1, "/dev/null", reason));
  EXPECT_EQ(reason, Refusal());
  EXPECT_EQ(fs::symlink_status(file).type(), GetParam().left);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, OccupiedPlace,
    ::testing::Values(OccupiedRow{"Folder", [](const std::string& f) { fs::create_directory(f); },
                                  "is not a regular file", fs::file_type::directory},
                      OccupiedRow{"Pipe", [](const std::string& f) { ::mkfifo(f.c_str(), 0600); },
                                  "is not a regular file", fs::file_type::fifo},
                      OccupiedRow{"LinkToNothing", [](const std::string& f) { fs::create_symlink(f + ".gone", f); },
                                  "is a symbolic link to a file that is not there", fs::file_type::symlink},
                      OccupiedRow{"LinkToItself", [](const std::string& f) { fs::create_symlink(f, f); },
                                  "cannot be read: Too many levels of symbolic links", fs::file_type::symlink},
                      OccupiedRow{
                          "LargerThan64KiB", [](const std::string& f) { std::ofstream(f) << std::string(65537, '\n'); },
                          "is larger than 64 KiB (not a settings file of this program)", fs::file_type::regular}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileTest, ChoiceMakesTheMissingFolders) {
  const std::string nested = LocalPath(folder.filePath(QStringLiteral("new/gelvar/gelvar-monitor.conf")));
  QtComMappingStore store(QString::fromStdString(nested));
  std::string reason;
  ASSERT_TRUE(ComDeviceMap(&store).Choose(2, "/dev/zero", reason)) << reason;
  EXPECT_EQ(FileBytes(nested), "[SerialDevices]\nCOM2=/dev/zero\n");
}

TEST_F(SettingsFileTest, ChoiceWritesThroughASymbolicLinkAndKeepsIt) {
  const std::string target = LocalPath(folder.filePath(QStringLiteral("kept.conf")));
  std::ofstream(target) << "[SerialDevices]\nCOM1=/dev/null\n";
  fs::create_symlink(target, file);
  QtComMappingStore store(QString::fromStdString(file));
  std::string reason;
  ASSERT_TRUE(ComDeviceMap(&store).Choose(2, "/dev/zero", reason)) << reason;
  EXPECT_TRUE(fs::is_symlink(file));
  EXPECT_EQ(FileBytes(target), "[SerialDevices]\nCOM1=/dev/null\nCOM2=/dev/zero\n");
}

}  // namespace
}  // namespace gelvar::testing
