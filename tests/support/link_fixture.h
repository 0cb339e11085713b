// Every link test starts from the state the program starts from.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/converter.h"
#include "link/driver.h"
#include "link/link_memory.h"
#include "link/test_support.h"
#include "unitsim/unit_codec.h"

namespace gelvar::testing {

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLinkStateForTests(); }
  void TearDown() override { ResetLinkStateForTests(); }
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
