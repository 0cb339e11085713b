// A link as the program starts it, one per test, and the bytes of the far end.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/link/converter.h"
#include "core/link/driver.h"
#include "core/link/link.h"
#include "support/row_name.h"
#include "unitsim/unit_codec.h"

namespace gelvar::testing {

class LinkTest : public ::testing::Test {
 protected:
  Link link;
};

// Feeds bytes to the driver as the byte pump does.
inline void FeedBytes(Link& link, const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes) drv_rx_byte(link, 0, b);
}

// Frames as the far end builds them: the simulated unit's codec, apart from the driver's.
using unitsim::EncodeFrame;

}  // namespace gelvar::testing
