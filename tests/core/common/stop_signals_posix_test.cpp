// The stop signals on this system: caught, noted and told through the arrival handle.
#include "core/common/stop_signals.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>

namespace gelvar::testing {
namespace {

bool Readable(const StopSignals& signals) {
  pollfd handle{static_cast<int>(signals.ArrivalHandle()), POLLIN, 0};
  return ::poll(&handle, 1, 0) == 1;
}

TEST(StopSignals, NoteTheLatestSignalAndKeepTheHandleReadableUntilTaken) {
  const auto signals = CatchStopSignals();
  ASSERT_NE(signals, nullptr);
  EXPECT_EQ(signals->Latest(), 0);
  EXPECT_FALSE(Readable(*signals));
  std::raise(SIGHUP);
  std::raise(SIGTERM);
  EXPECT_EQ(signals->Latest(), SIGTERM);
  EXPECT_TRUE(Readable(*signals));
  signals->Take();
  EXPECT_FALSE(Readable(*signals));
  EXPECT_EQ(signals->Latest(), SIGTERM);
}

}  // namespace
}  // namespace gelvar::testing
