// The chosen devices kept in a settings file: an empty path removes an entry, and a folder in the
// file's place is neither read nor written.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "serial/serial_discovery_qt.h"

namespace gelvar {
namespace {

using Entries = ComMappingStore::Entries;

TEST(QtComMappingStore, RemovesAnEntryForAnEmptyPathAndLeavesAFolderAlone) {
  const QTemporaryDir folder;
  std::string reason;
  QtComMappingStore store(folder.filePath(QStringLiteral("gelvar/gelvar-monitor.conf")));
  ASSERT_TRUE(store.Write("COM3", "/dev/ttyUSB0", reason)) << reason;
  ASSERT_TRUE(store.Write("COM5", "/dev/ttyUSB1", reason)) << reason;
  ASSERT_TRUE(store.Write("COM5", "", reason)) << reason;
  Entries entries;
  ASSERT_TRUE(store.Read(entries, reason)) << reason;
  EXPECT_EQ(entries, (Entries{{"COM3", "/dev/ttyUSB0"}}));

  QtComMappingStore folderStore(folder.path());
  EXPECT_FALSE(folderStore.Read(entries, reason));
  EXPECT_FALSE(folderStore.Write("COM1", "/dev/ttyUSB0", reason));
  EXPECT_EQ(reason, "is not a file");
}

}  // namespace
}  // namespace gelvar
