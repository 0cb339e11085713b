// One application object per process: a MonitorApp for the MonitorApp cases, a plain QApplication for
// the windows.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "app/monitor_app.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (std::getenv("GELVAR_TEST_MONITOR_APP") != nullptr) {
    gelvar::MonitorApp app(argc, argv);
    return RUN_ALL_TESTS();
  }
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
