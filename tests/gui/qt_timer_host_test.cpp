#include "timing/qt_timer_host.h"

#include <gtest/gtest.h>

#include <QTest>

#include <unistd.h>

#include <string>

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

// The byte pump relies on both: it runs right after the tick it was started after, and is woken when
// the port has bytes.
TEST(QtTimerHost, EqualTimersFireInStartOrderAndWatchesWakeOnArrival) {
  QtTimerHost host;
  std::string order;
  const TimerId first = host.StartTimer(10, [&] { order += 'a'; });
  const TimerId second = host.StartTimer(10, [&] { order += 'b'; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return order.size() >= 20; }, 5000));
  host.StopTimer(first);
  host.StopTimer(second);
  EXPECT_EQ(order.substr(0, 20), "abababababababababab");

  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  int woken = 0;
  const TimerId watch = host.WatchReadable(pipeEnds[0], [&] {
    char byte;
    woken += static_cast<int>(::read(pipeEnds[0], &byte, 1));
  });
  EXPECT_EQ(::write(pipeEnds[1], "x", 1), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return woken == 1; }, 5000));
  host.StopWatch(watch);
  EXPECT_EQ(::write(pipeEnds[1], "y", 1), 1);
  QTest::qWait(30);
  EXPECT_EQ(woken, 1);
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

}  // namespace
}  // namespace gelvar
