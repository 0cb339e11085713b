// Every link test starts from the state the program starts from.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/converter.h"
#include "link/driver.h"
#include "link/link_memory.h"
#include "link/test_support.h"

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

// A frame as the far end would build it.
inline std::vector<std::uint8_t> MakeFrame(std::uint32_t objectId, const std::vector<std::uint8_t>& data) {
  const std::uint16_t word = EncodeIdWord(objectId);
  std::vector<std::uint8_t> frame;
  frame.reserve(data.size() + 4);
  frame.push_back(static_cast<std::uint8_t>(0x54 + data.size() / 2));
  frame.push_back(static_cast<std::uint8_t>(word >> 8));
  frame.push_back(static_cast<std::uint8_t>(word));
  for (std::uint8_t b : data) frame.push_back(b);
  int sum = 0;
  for (std::uint8_t b : frame) {
    sum += b;
    if (sum > 255) sum -= 255;
  }
  frame.push_back(static_cast<std::uint8_t>(255 - sum));
  return frame;
}

// One tick of the link stack with the given period, without the transaction layer.
inline void ConverterTick(std::uint32_t periodMs = 10) {
  link_step();
  link_build_frame();
  link_check_slots();
  link_timer(periodMs);
}

}  // namespace gelvar::testing
