// The frame codec: requests as bytes on the line, and bytes off the line as replies to fetch.
#include "core/link/link_bench.h"

namespace gelvar::testing {
namespace {

// clang-format off
// The count and ID posted, its data, and the frame as it leaves.
struct SentRow { const char* name; std::uint8_t count; std::uint32_t id; Bytes data, line; };
// A sum that carries comes back in: 54 + FF + FF folds to 84, complement AB. One of exactly FF does not.
const SentRow kSentRows[] = {
    {"NoDataIsAT", 0, 0x1234, {}, {0x54, 0x48, 0xD1, 0x91}},
    {"OneByteGoesAsTWithout", 1, 0x0001, {0x12}, {0x54, 0x00, 0x05, 0xA6}},
    {"TwoBytesAreAU", 2, 0x0001, {0x12, 0x34}, {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}},
    {"ThreeBytesGoAsUWithoutTheLast", 3, 0x0001, {0x12, 0x34, 0x56}, {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}},
    {"FourBytesAreAV", 4, 0x0380, {1, 2, 3, 4}, {0x56, 0x0E, 0x01, 1, 2, 3, 4, 0x90}},
    {"CountAboveFourIsFour", 5, 0x0380, {1, 2, 3, 4}, {0x56, 0x0E, 0x01, 1, 2, 3, 4, 0x90}},
    {"CountBitsAboveThreeIgnored", 0x12, 0x0001, {0x12, 0x34}, {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}},
    {"IdBitsAboveThirteenDropped", 0, 0x5234, {}, {0x54, 0x48, 0xD1, 0x91}},
    {"CarryOfTheSumComesBackIn", 0, 0x3FFF, {}, {0x54, 0xFF, 0xFF, 0xAB}},
    {"SumOfExactlyFFStays", 0, 0x0327, {}, {0x54, 0x0C, 0x9F, 0x00}},
};
// clang-format on
class FrameSent : public LinkBench, public ::testing::WithParamInterface<SentRow> {};

TEST_P(FrameSent, AsTheseBytes) {
  ASSERT_EQ(Post(GetParam().id, GetParam().count, GetParam().data), kLinkOk);
  Tick(2);  // the first builds the frame, the second sends it
  EXPECT_EQ(sent, GetParam().line);
}
INSTANTIATE_TEST_SUITE_P(Requests, FrameSent, ::testing::ValuesIn(kSentRows), kByName);

// clang-format off
// Bytes off the line; the ID asked; the one found (0: none), the fetched record's four data bytes
// (9s left alone), the bad frames counted and the slots in use once the parity is checked.
struct ReceivedRow { const char* name; Bytes line; std::uint32_t askedId; int found; Bytes data; int bad, slots; };
// Wrong parity: ID word 0005 with its even parity bit flipped, and the sum made to fit again.
// A T frame ends after four bytes: the U behind it is read whole.
const ReceivedRow kReceivedRows[] = {
    {"TCarriesNoData", {0x54, 0x48, 0xD1, 0x91}, 0x1234, 0x1234, {0, 0, 0, 0}, 0, 1},
    {"UCarriesTwoBytes", {0x55, 0x00, 0x05, 0x12, 0x34, 0x5F}, 0x0001, 0x0001, {0x12, 0x34, 0, 0}, 0, 1},
    {"HighestIdComesBack", {0x54, 0xFF, 0xFF, 0xAB}, 0x3FFF, 0x3FFF, {0, 0, 0, 0}, 0, 1},
    {"VCarriesFourBytes", {0x56, 0x0E, 0x01, 1, 2, 3, 4, 0x90}, 0x0380, 0x0380, {1, 2, 3, 4}, 0, 1},
    {"WrongSumIsDroppedAndCounted", {0x55, 0x00, 0x05, 0x12, 0x34, 0x5E}, 0x0001, 0, {9, 9, 9, 9}, 1, 0},
    {"WrongParityIsDroppedAndCounted", {0x54, 0x00, 0x04, 0xA7}, 0x0001, 0, {9, 9, 9, 9}, 1, 0},
    {"BytesBesideTheTypeLettersStartNoFrame", {0x53, 0x57, 0x54, 0x48, 0xD1, 0x91}, 0x1234, 0x1234, {0, 0, 0, 0}, 0, 1},
    {"FrameEndsAfterItsLength", {0x54, 0x48, 0xD1, 0x91, 0x55, 0, 5, 0x12, 0x34, 0x5F}, 1, 1, {0x12, 0x34, 0, 0}, 0, 2},
};
// clang-format on
class FrameReceived : public LinkBench, public ::testing::WithParamInterface<ReceivedRow> {};

TEST_P(FrameReceived, AsThisReply) {
  const ReceivedRow& row = GetParam();
  FeedBytes(link, row.line);
  link_check_slots(link);
  EXPECT_EQ(Shown(kSlotsInUse), row.slots);
  ObjectRequest request{0, 0, row.askedId, 0, {9, 9, 9, 9}};
  EXPECT_EQ(link_fetch(link, &request), row.found);
  EXPECT_EQ(Bytes(request.data, request.data + 4), row.data);
  EXPECT_EQ(Shown(kBadFrames), row.bad);
}
INSTANTIATE_TEST_SUITE_P(Replies, FrameReceived, ::testing::ValuesIn(kReceivedRows), kByName);

TEST_F(LinkBench, DriverRefusesASecondFrameWhileSending) {
  link.memory.driver.txBuffer[0] = 0x54;
  ASSERT_EQ(drv_start_tx(link, 0), kLinkOk);
  EXPECT_EQ(drv_start_tx(link, 0), kLinkRefused);
}

}  // namespace
}  // namespace gelvar::testing
