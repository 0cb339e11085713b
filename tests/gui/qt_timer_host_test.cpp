#include "timing/qt_timer_host.h"

#include <gtest/gtest.h>

#include <QTest>

#include <unistd.h>

#include <string>

namespace gelvar {
namespace {

// The byte pump relies on all three: it runs right after the tick it was started after, it is woken
// when the port has bytes, and a timer may stop itself and others from its own callback.
TEST(QtTimerHost, EqualTimersFireInStartOrderStopFromACallbackAndWatchesWakeOnArrival) {
  QtTimerHost host;
  std::string order;
  const TimerId first = host.StartTimer(5, [&] { order += 'a'; });
  TimerId second = -1;
  second = host.StartTimer(5, [&] {
    order += 'b';
    if (order.size() == 20) {
      host.StopTimer(first);
      host.StopTimer(second);
    }
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return order.size() >= 20; }, 5000));
  QTest::qWait(30);
  EXPECT_EQ(order, "abababababababababab");

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
