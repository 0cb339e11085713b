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

// Takes every byte the driver has ready, as the byte pump does.
inline std::vector<std::uint8_t> DrainTx() {
  std::vector<std::uint8_t> out;
  while (linkMemory.txRegister >= 0) {
    out.push_back(static_cast<std::uint8_t>(linkMemory.txRegister));
    linkMemory.txRegister = -1;
    drv_tx_next(0);
  }
  return out;
}

// Frames as the far end builds them: the simulated unit's codec, apart from the driver's.
using unitsim::EncodeFrame;

// One tick of the link stack with the given period, without the transaction layer.
inline void ConverterTick(std::uint32_t periodMs = 10) {
  link_step();
  link_build_frame();
  link_check_slots();
  link_timer(periodMs);
}

}  // namespace gelvar::testing
