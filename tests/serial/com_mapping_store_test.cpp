// The chosen devices kept in a settings file: written by one run, read by the next; a folder in the
// file's place is neither read nor written.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "serial/serial_discovery_qt.h"

namespace gelvar {
namespace {

using Entries = ComMappingStore::Entries;

TEST(QtComMappingStore, KeepsTheEntriesForTheNextRunAndLeavesAFolderAlone) {
  const QTemporaryDir folder;
  const QString file = folder.path() + "/gelvar/gelvar-monitor.conf";
  std::string reason;
  QtComMappingStore store(file);
  ASSERT_TRUE(store.Write("COM3", "/dev/ttyUSB0", reason)) << reason;
  ASSERT_TRUE(store.Write("COM5", "/dev/ttyUSB1", reason)) << reason;
  ASSERT_TRUE(store.Write("COM5", "", reason)) << reason;
  Entries entries;
  ASSERT_TRUE(QtComMappingStore(file).Read(entries, reason)) << reason;
  EXPECT_EQ(entries, (Entries{{"COM3", "/dev/ttyUSB0"}}));

  ASSERT_TRUE(QDir(folder.path()).mkdir("folder.conf"));
  QtComMappingStore folderStore(folder.path() + "/folder.conf");
  EXPECT_FALSE(folderStore.Read(entries, reason));
  EXPECT_FALSE(folderStore.Write("COM1", "/dev/ttyUSB0", reason));
  EXPECT_EQ(reason, "is not a file");
}

}  // namespace
}  // namespace gelvar
