#include "app/qt_timer_host.h"

#include <gtest/gtest.h>

#include <QTest>

namespace gelvar {
namespace {

TEST(QtTimerHost, TimersFireUntilStoppedAlsoFromTheirOwnCallback) {
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

}  // namespace
}  // namespace gelvar
