// gelvar-cli's event loop on Linux.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "os/epoll_timer_host.h"

namespace gelvar::testing {
namespace {

// On the real clock: timers of one period keep their start order; bytes that came are taken before the
// timers of the same pass; anything may be stopped from its own callback; the loop ends by itself
// once nothing is left to wait for.
TEST(EpollTimerHost, RunsWatchesBeforeTimersInStartOrderUntilNothingIsLeft) {
  EpollTimerHost host;
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  std::string order;
  bool written = false;
  const TimerId watch = host.WatchReadable(pipeEnds[0], [&] {
    char byte = 0;
    if (::read(pipeEnds[0], &byte, 1) == 1) order += byte;
    host.StopWatch(watch);
  });
  const TimerId first = host.StartTimer(5, [&] { order += 'a'; });
  const TimerId second = host.StartTimer(5, [&] {
    order += 'b';
    // Once, even if the order went wrong: a byte never written would leave the loop waiting for good.
    if (order.size() >= 6 && !written) {
      written = true;
      ASSERT_EQ(::write(pipeEnds[1], "x", 1), 1);
    }
    if (order.size() < 11) return;
    host.StopTimer(first);
    host.StopTimer(second);
  });
  EXPECT_TRUE(host.Run());
  EXPECT_EQ(order, "abababxabab");
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

}  // namespace
}  // namespace gelvar::testing
