// Runs in its own process, whose application object is the MonitorApp, under
// LC_ALL=de_DE.UTF-8.
#include "app/monitor_app.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>
#include <clocale>
#include <string>

namespace gelvar {
namespace {

// No tool window shows at start, closing the main window ends the program, and numbers and dates stay
// in the C locale under a German desktop.
TEST(MonitorApp, StartsWithOnlyTheMainWindowEndsWithItAndKeepsTheCLocale) {
  auto* app = dynamic_cast<MonitorApp*>(QCoreApplication::instance());
  if (app == nullptr) GTEST_SKIP() << "needs the MonitorApp test entry";
  QStringList shown;
  QTimer::singleShot(50, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->isVisible()) shown << widget->windowTitle();
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->windowTitle() == QStringLiteral("Gelvar Monitor")) widget->close();
    }
  });
  EXPECT_EQ(app->Startup(), 0);  // returns only when the program ends
  EXPECT_EQ(shown, QStringList{QStringLiteral("Gelvar Monitor")});
  if (std::string(std::setlocale(LC_CTYPE, nullptr)).rfind("de_DE", 0) != 0) {
    GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  }
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  EXPECT_STREQ(std::setlocale(LC_TIME, nullptr), "C");
}

}  // namespace
}  // namespace gelvar
