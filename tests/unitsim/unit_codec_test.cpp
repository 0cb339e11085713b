#include "unitsim/unit_codec.h"

#include <gtest/gtest.h>

#include <random>

namespace gelvar::unitsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct WorkedFrame {
  std::uint32_t objectId;
  Bytes data;
  Bytes frame;
};

const WorkedFrame kWorkedFrames[] = {
    {0x1234, {}, {0x54, 0x48, 0xD1, 0x91}},
    {0x0001, {0x12, 0x34}, {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}},
    {0x0380, {0x01, 0x02, 0x03, 0x04}, {0x56, 0x0E, 0x01, 0x01, 0x02, 0x03, 0x04, 0x90}},
};

std::optional<DecodedFrame> FeedAll(FrameDecoder& decoder, const Bytes& bytes, std::int64_t atMs = 0) {
  std::optional<DecodedFrame> last;
  for (const std::uint8_t byte : bytes) {
    if (auto frame = decoder.Feed(byte, atMs)) last = frame;
  }
  return last;
}

TEST(UnitCodecTest, WorkedFramesEncodeAndDecode) {
  for (const auto& worked : kWorkedFrames) {
    SCOPED_TRACE(worked.objectId);
    EXPECT_EQ(EncodeFrame(worked.objectId, worked.data), worked.frame);
    EXPECT_TRUE(ChecksumOk(worked.frame));
    FrameDecoder decoder;
    const auto decoded = FeedAll(decoder, worked.frame);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->objectId, worked.objectId);
    EXPECT_EQ(decoded->data, worked.data);
  }
}

TEST(UnitCodecTest, IdWordsCarryBothParityBits) {
  const struct {
    std::uint32_t objectId;
    std::uint16_t idWord;
  } cases[] = {{0x0001, 0x0005}, {0x1234, 0x48D1}, {0x3FFF, 0xFFFF}, {0x0000, 0x0000}, {0x0C80, 0x3201}};
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeIdWord(c.objectId), c.idWord) << std::hex << c.objectId;
    EXPECT_TRUE(IdWordParityOk(c.idWord));
    EXPECT_EQ(ObjectIdOf(c.idWord), c.objectId);
    for (int bit = 0; bit < 16; ++bit) {
      EXPECT_FALSE(IdWordParityOk(static_cast<std::uint16_t>(c.idWord ^ (1U << bit)))) << bit;
    }
  }
}

TEST(UnitCodecTest, DecoderDropsFramesWithBadChecksumOrParity) {
  Bytes badChecksum = kWorkedFrames[1].frame;
  badChecksum.back() ^= 0x01;
  Bytes badParity = kWorkedFrames[1].frame;
  badParity[2] ^= 0x01;
  badParity.back() = ChecksumOf(badParity.data(), badParity.size() - 1);

  FrameDecoder decoder;
  EXPECT_FALSE(FeedAll(decoder, badChecksum));
  EXPECT_FALSE(FeedAll(decoder, badParity));
  EXPECT_EQ(decoder.BadChecksums(), 1);
  EXPECT_EQ(decoder.BadParities(), 1);
  EXPECT_TRUE(FeedAll(decoder, kWorkedFrames[1].frame)) << "a sound frame after bad ones";
}

TEST(UnitCodecTest, DecoderSkipsBytesBetweenFrames) {
  FrameDecoder decoder;
  Bytes stream{0x00, 0xFF, 0x53, 0x57, 0x91};
  stream.insert(stream.end(), kWorkedFrames[2].frame.begin(), kWorkedFrames[2].frame.end());
  const auto decoded = FeedAll(decoder, stream);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->objectId, 0x0380U);
}

TEST(UnitCodecTest, StalledFrameIsGivenUpAfterAGap) {
  const Bytes& frame = kWorkedFrames[0].frame;
  FrameDecoder decoder;
  FeedAll(decoder, Bytes(frame.begin(), frame.begin() + 2), 0);
  EXPECT_TRUE(FeedAll(decoder, frame, FrameDecoder::kStallMs + 1)) << "new frame after the gap";

  FeedAll(decoder, Bytes(frame.begin(), frame.begin() + 2), 1000);
  EXPECT_TRUE(FeedAll(decoder, Bytes(frame.begin() + 2, frame.end()), 1000 + FrameDecoder::kStallMs))
      << "a slow frame within the limit still counts";
}

TEST(UnitCodecTest, RandomBytesNeverYieldAnUnsoundFrame) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0x50, 0x5F);  // rich in type letters
  FrameDecoder decoder;
  for (int i = 0; i < 20000; ++i) {
    if (const auto frame = decoder.Feed(static_cast<std::uint8_t>(byte(random)), i)) {
      EXPECT_LE(frame->objectId, 0x3FFFU);
      EXPECT_TRUE(frame->data.size() == 0 || frame->data.size() == 2 || frame->data.size() == 4);
    }
  }
}

}  // namespace
}  // namespace gelvar::unitsim
