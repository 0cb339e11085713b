#include <gtest/gtest.h>

#include "support/link_fixture.h"

namespace gelvar::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class DriverTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    drv_open(0);
  }
  // Sends a prepared transmit buffer and returns the bytes on the wire.
  Bytes Send(const Bytes& frameWithoutChecksum) {
    for (std::size_t i = 0; i < frameWithoutChecksum.size(); ++i) {
      linkMemory.driver.txBuffer[i] = frameWithoutChecksum[i];
    }
    linkMemory.driver.control |= kFrameReady;
    EXPECT_EQ(drv_start_tx(0), kLinkOk);
    return DrainTx();
  }
};

TEST(IdWord, EncodesParityBits) {
  const struct {
    std::uint32_t id;
    std::uint16_t word;
  } cases[] = {{0x0001, 0x0005}, {0x1234, 0x48D1}, {0x3FFF, 0xFFFF}, {0x0000, 0x0000}, {0x0C00, 0x3003},
               {0x3003, 0xC00C}, {0x0380, 0x0E01}};
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeIdWord(c.id), c.word) << std::hex << c.id;
    EXPECT_TRUE(IdWordParityOk(c.word)) << std::hex << c.word;
    for (int bit = 0; bit < 16; ++bit) {
      EXPECT_FALSE(IdWordParityOk(static_cast<std::uint16_t>(c.word ^ (1u << bit)))) << "bit " << bit;
    }
  }
}

TEST_F(DriverTest, SendsWorkedFramesByteByByte) {
  const struct {
    Bytes buffer;
    Bytes wire;
  } cases[] = {
      {{0x54, 0x48, 0xD1}, {0x54, 0x48, 0xD1, 0x91}},
      {{0x55, 0x00, 0x05, 0x12, 0x34}, {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}},
      {{0x56, 0x0E, 0x01, 0x01, 0x02, 0x03, 0x04}, {0x56, 0x0E, 0x01, 0x01, 0x02, 0x03, 0x04, 0x90}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Send(c.buffer), c.wire);
    EXPECT_EQ(linkMemory.driver.state, kDriverIdle);
    EXPECT_EQ(linkMemory.driver.control & (kFrameReady | kSendingBit), 0);
    const int last = (linkMemory.txTraceWrite + kTraceSize - 1) % kTraceSize;
    EXPECT_EQ(linkMemory.txTrace[last], kTraceEndOfFrame);
  }
  EXPECT_EQ(frameNumber, 3);
}

TEST_F(DriverTest, RefusesToStartUnlessIdleOrWithUnknownType) {
  linkMemory.driver.txBuffer[0] = 0x54;
  ASSERT_EQ(drv_start_tx(0), kLinkOk);
  const std::int32_t waiting = linkMemory.txRegister;
  EXPECT_EQ(drv_start_tx(0), kLinkRefused);
  EXPECT_EQ(linkMemory.txRegister, waiting);
  EXPECT_EQ(drv_abort(0), kLinkOk);
  linkMemory.driver.txBuffer[0] = 0x41;
  EXPECT_EQ(drv_start_tx(0), kLinkRefused);
  EXPECT_EQ(linkMemory.driver.state, kDriverIdle);
  drv_clear();
  EXPECT_EQ(drv_abort(0), kLinkNotOpen);
}

TEST_F(DriverTest, ReceivedFramesGoToReplySlots) {
  const struct {
    Bytes wire;
    std::uint8_t status;
  } cases[] = {
      {{0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}, 0x7F},
      {{0x54, 0x48, 0xD1, 0x91}, 0x3F},
      {{0x56, 0x0E, 0x01, 0x01, 0x02, 0x03, 0x04, 0x90}, 0xBF},
  };
  int slot = 0;
  for (const auto& c : cases) {
    FeedBytes(c.wire);
    const auto& conv = linkMemory.converter;
    EXPECT_EQ(conv.slotStatus[slot], c.status);
    EXPECT_EQ(conv.slotIdHigh[slot], c.wire[1]);
    EXPECT_EQ(conv.slotIdLow[slot], c.wire[2]);
    for (std::size_t i = 3; i + 1 < c.wire.size(); ++i) EXPECT_EQ(conv.slotData[slot][i - 3], c.wire[i]);
    EXPECT_EQ(linkMemory.driver.state, kDriverIdle);
    ++slot;
  }
  // A fourth good frame finds no free slot.
  FeedBytes(cases[0].wire);
  EXPECT_EQ(linkMemory.converter.slotOverflows, 1);
}

TEST_F(DriverTest, WrongChecksumIsCountedAndDropped) {
  FeedBytes({0x55, 0x00, 0x05, 0x12, 0x34, 0x5E});
  EXPECT_EQ(linkMemory.converter.badFrames, 1);
  EXPECT_EQ(linkMemory.converter.slotStatus[0], 0);
  EXPECT_EQ(linkMemory.driver.state, kDriverIdle);
}

TEST_F(DriverTest, StrayBytesAreTracedButStartNoFrame) {
  FeedBytes({0x00, 0x53, 0x57, 0xFF});
  EXPECT_EQ(linkMemory.driver.state, kDriverIdle);
  EXPECT_EQ(linkMemory.rxTraceWrite, 4);
  EXPECT_EQ(linkMemory.rxTrace[1], 0x53);
  EXPECT_EQ(frameNumber, 0);
}

TEST_F(DriverTest, BytesWhileSendingDoNotDisturbTheFrame) {
  linkMemory.driver.txBuffer[0] = 0x54;
  linkMemory.driver.txBuffer[1] = 0x48;
  linkMemory.driver.txBuffer[2] = 0xD1;
  ASSERT_EQ(drv_start_tx(0), kLinkOk);
  FeedBytes({0x55, 0x00, 0x05});
  EXPECT_EQ(linkMemory.driver.state, kDriverSending);
  Bytes wire = {static_cast<std::uint8_t>(linkMemory.txRegister)};
  linkMemory.txRegister = -1;
  drv_tx_next(0);
  const Bytes rest = DrainTx();
  wire.insert(wire.end(), rest.begin(), rest.end());
  EXPECT_EQ(wire, (Bytes{0x54, 0x48, 0xD1, 0x91}));
  EXPECT_EQ(linkMemory.rxTraceWrite, 3);
}

TEST_F(DriverTest, FrameNumbersRunOneToOneHundredThousand) {
  frameNumber = 99999;
  FeedBytes({0x54, 0x48, 0xD1, 0x91});
  EXPECT_EQ(linkMemory.rxTrace[0], -100000);
  FeedBytes({0x54, 0x48, 0xD1, 0x91});
  EXPECT_EQ(linkMemory.rxTrace[6], -1);
}

TEST_F(DriverTest, TraceRingWrittenFullCircleLooksUnread) {
  const std::uint8_t start = linkMemory.rxTraceWrite;
  FeedBytes(Bytes(kTraceSize, 0x00));
  EXPECT_EQ(linkMemory.rxTraceWrite, start);
  FeedBytes({0x01});
  EXPECT_EQ(linkMemory.rxTraceWrite, start + 1);
}

}  // namespace
}  // namespace gelvar::testing
