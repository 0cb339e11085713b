// gelvar-cli's event loop on Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "core/timing/event_loop.h"

namespace gelvar::testing {
namespace {

// On the real clock: timers of one period keep their start order; an event set is taken before the
// timers of the same pass; anything may be stopped from its own callback; the loop ends by itself
// once nothing is left to wait for.
TEST(WindowsEventLoop, RunsWatchesBeforeTimersInStartOrderUntilNothingIsLeft) {
  const std::unique_ptr<EventLoop> loop = MakeEventLoop();
  const HANDLE arrival = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::string order;
  bool set = false;
  const TimerId watch = loop->WatchReadable(reinterpret_cast<std::intptr_t>(arrival), [&] {
    order += 'x';
    ::ResetEvent(arrival);
    loop->StopWatch(watch);
  });
  const TimerId first = loop->StartTimer(5, [&] { order += 'a'; });
  const TimerId second = loop->StartTimer(5, [&] {
    order += 'b';
    // Once, even if the order went wrong: an event never set would leave the loop waiting for good.
    if (order.size() >= 6 && !set) {
      set = true;
      ::SetEvent(arrival);
    }
    if (order.size() < 11) return;
    loop->StopTimer(first);
    loop->StopTimer(second);
  });
  EXPECT_TRUE(loop->Run());
  EXPECT_EQ(order, "abababxabab");
  ::CloseHandle(arrival);
}

// Every watch whose event is set runs in the pass, not only the first one the wait names.
TEST(WindowsEventLoop, RunsEveryWatchWhoseEventIsSet) {
  const std::unique_ptr<EventLoop> loop = MakeEventLoop();
  const HANDLE events[] = {::CreateEventW(nullptr, TRUE, TRUE, nullptr), ::CreateEventW(nullptr, TRUE, TRUE, nullptr)};
  std::string order;
  TimerId watches[2];
  for (int i = 0; i < 2; ++i) {
    watches[i] = loop->WatchReadable(reinterpret_cast<std::intptr_t>(events[i]), [&, i] {
      order += static_cast<char>('p' + i);
      loop->StopWatch(watches[i]);
    });
  }
  const TimerId timer = loop->StartTimer(0, [&] {
    order += 't';
    loop->StopTimer(timer);
  });
  EXPECT_TRUE(loop->Run());
  EXPECT_EQ(order, "pqt");
  for (const HANDLE event : events) ::CloseHandle(event);
}

}  // namespace
}  // namespace gelvar::testing
