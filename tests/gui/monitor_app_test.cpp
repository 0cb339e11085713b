// Runs in its own process, whose application object is the MonitorApp, under LC_ALL=de_DE.UTF-8.
#include "app/monitor_app.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <ctime>
#include <string>

#include "app/ticker.h"
#include "link/link_memory.h"

namespace gelvar {
namespace {

MonitorApp* TheApp() { return dynamic_cast<MonitorApp*>(QCoreApplication::instance()); }

QWidget* TopLevel(const QString& title) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->windowTitle() == title) return widget;
  }
  return nullptr;
}

QAction* Command(QWidget* window, int command) {
  for (QAction* action : window->findChildren<QAction*>()) {
    if (action->data().toInt() == command) return action;
  }
  return nullptr;
}

TEST(MonitorApp, NumbersAndDatesStayInTheCLocaleUnderAGermanDesktop) {
  if (TheApp() == nullptr) GTEST_SKIP() << "needs the MonitorApp test entry";
  if (std::string(std::setlocale(LC_CTYPE, nullptr)).rfind("de_DE", 0) != 0) {
    GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  }
  char number[16];
  std::snprintf(number, sizeof number, "%.1f", 1.5);
  EXPECT_STREQ(number, "1.5");
  std::tm day{};
  day.tm_year = 126;
  day.tm_mon = 4;
  day.tm_mday = 3;
  char date[16];
  std::strftime(date, sizeof date, "%x", &day);
  EXPECT_STREQ(date, "05/03/26");
}

TEST(MonitorApp, StartsTheLinkHiddenToolsAndEndsWithTheMainWindow) {
  MonitorApp* app = TheApp();
  if (app == nullptr) GTEST_SKIP() << "needs the MonitorApp test entry";
  bool protocolHiddenAtStart = false;
  bool protocolShownOnCommand = false;
  QTimer::singleShot(50, [&] {
    QWidget* mainWindow = TopLevel(QStringLiteral("Gelvar Monitor"));
    QWidget* protocol = TopLevel(QStringLiteral("Zeb Communication"));
    ASSERT_TRUE(mainWindow != nullptr && protocol != nullptr);
    protocolHiddenAtStart = !protocol->isVisible() && !TopLevel(QStringLiteral("Zeb Inside"))->isVisible();
    Command(mainWindow, 32784)->trigger();  // "Show Protocol Window"
    protocolShownOnCommand = protocol->isVisible();
    mainWindow->close();
  });
  EXPECT_EQ(app->Startup(), 0);
  EXPECT_TRUE(protocolHiddenAtStart);
  EXPECT_TRUE(protocolShownOnCommand);
  EXPECT_EQ(tickPeriod, 10);
  EXPECT_EQ(windowTimerPeriod, 10);
  EXPECT_EQ(linkMemory.driver.state, kDriverIdle);
}

}  // namespace
}  // namespace gelvar
