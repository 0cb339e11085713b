#include "app/qt_timer_host.h"

#include <gtest/gtest.h>

#include <QTest>

#include <ctime>

namespace gelvar {
namespace {

TEST(QtTimerHost, TimersFireUntilStoppedAlsoFromTheirOwnCallback) {
  QtTimerHost host;
  int selfStopping = 0;
  int stoppedAtOnce = 0;
  TimerId id = -1;
  id = host.StartTimer(5, [&] {
    if (++selfStopping == 3) host.StopTimer(id);
  });
  host.StopTimer(host.StartTimer(1, [&] { ++stoppedAtOnce; }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return selfStopping >= 3; }, 5000));
  QTest::qWait(30);
  EXPECT_EQ(selfStopping, 3);
  EXPECT_EQ(stoppedAtOnce, 0);
  EXPECT_LE(std::abs(host.CalendarTime() - std::time(nullptr)), 1);
}

}  // namespace
}  // namespace gelvar
