// Every link test starts from the state the program starts from, and leaves it so: the window timers
// too, which a test may have set to another period.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/link/converter.h"
#include "core/link/driver.h"
#include "core/link/link_memory.h"
#include "core/link/test_support.h"
#include "core/timing/tick_period.h"
#include "unitsim/unit_codec.h"

namespace gelvar::testing {

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    ResetLinkStateForTests();
    windowTimerPeriod = kStartTickPeriodMs;
  }
};

// Feeds bytes to the driver as the byte pump does.
inline void FeedBytes(const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes) {
    linkMemory.rxRegister = b;
    drv_rx_byte(0);
  }
}

// Frames as the far end builds them: the simulated unit's codec, apart from the driver's.
using unitsim::EncodeFrame;

}  // namespace gelvar::testing
