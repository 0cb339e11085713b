#include "app/qt_timer_host.h"

#include <gtest/gtest.h>

#include <QTest>

#include <ctime>

namespace gelvar {
namespace {

TEST(QtTimerHost, FiresRepeatedlyUntilStoppedFromItsOwnCallback) {
  QtTimerHost host;
  int fired = 0;
  TimerId id = -1;
  id = host.StartTimer(5, [&] {
    if (++fired == 3) host.StopTimer(id);
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return fired >= 3; }, 5000));
  QTest::qWait(30);
  EXPECT_EQ(fired, 3);
}

TEST(QtTimerHost, TimersRunSideBySideAndCalendarTimeIsTheClock) {
  QtTimerHost host;
  int first = 0;
  int second = 0;
  host.StartTimer(2, [&] { ++first; });
  const TimerId stopped = host.StartTimer(2, [&] { ++second; });
  host.StopTimer(stopped);
  EXPECT_TRUE(QTest::qWaitFor([&] { return first >= 2; }, 5000));
  EXPECT_EQ(second, 0);
  EXPECT_LE(std::abs(host.CalendarTime() - std::time(nullptr)), 1);
}

}  // namespace
}  // namespace gelvar
