// gelvar-cli's event loop on Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "core/timing/event_loop.h"

namespace gelvar::testing {
namespace {

// On the real clock: timers of one period keep their start order; events set are taken before the
// timers of the same pass, every one of them and not only the first the wait names; anything may be
// stopped from its own callback; the loop ends by itself once nothing is left to wait for.
TEST(WindowsEventLoop, RunsEverySetWatchBeforeTimersInStartOrderUntilNothingIsLeft) {
  const std::unique_ptr<EventLoop> loop = MakeEventLoop();
  const HANDLE events[] = {::CreateEventW(nullptr, TRUE, FALSE, nullptr),
                           ::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::string order;
  TimerId watches[2];
  for (int i = 0; i < 2; ++i) {
    watches[i] = loop->WatchReadable(reinterpret_cast<std::intptr_t>(events[i]), [&, i] {
      order += static_cast<char>('p' + i);
      loop->StopWatch(watches[i]);
    });
  }
  bool set = false;
  const TimerId first = loop->StartTimer(5, [&] { order += 'a'; });
  const TimerId second = loop->StartTimer(5, [&] {
    order += 'b';
    // Once, even if the order went wrong: events never set would leave the loop waiting for good.
    if (order.size() >= 6 && !set) set = ::SetEvent(events[0]) && ::SetEvent(events[1]);
    if (order.size() < 12) return;
    loop->StopTimer(first);
    loop->StopTimer(second);
  });
  EXPECT_TRUE(loop->Run());
  EXPECT_EQ(order, "abababpqabab");
  for (const HANDLE event : events) ::CloseHandle(event);
}

}  // namespace
}  // namespace gelvar::testing
