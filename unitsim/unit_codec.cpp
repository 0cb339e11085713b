#include "unitsim/unit_codec.h"

#include <bit>

namespace gelvar::unitsim {

namespace {

constexpr std::uint32_t kIdMask = 0x3FFF;
constexpr std::uint32_t kEvenBits = 0x1555;  // bits 0, 2, ..., 12 of the ID
constexpr std::uint32_t kOddBits = 0x2AAA;   // bits 1, 3, ..., 13

std::uint32_t Parity(std::uint32_t bits) { return std::popcount(bits) & 1U; }

std::uint8_t TypeLetterFor(std::size_t dataCount) { return static_cast<std::uint8_t>(kTypeNoData + dataCount / 2); }

}  // namespace

int DataCountOfType(std::uint8_t typeLetter) { return IsTypeLetter(typeLetter) ? 2 * (typeLetter - kTypeNoData) : -1; }

bool IsTypeLetter(std::uint8_t byte) { return byte >= kTypeNoData && byte <= kTypeFourBytes; }

std::uint16_t EncodeIdWord(std::uint32_t objectId) {
  const std::uint32_t id = objectId & kIdMask;
  return static_cast<std::uint16_t>((id << 2) | (Parity(id & kOddBits) << 1) | Parity(id & kEvenBits));
}

bool IdWordParityOk(std::uint16_t idWord) { return EncodeIdWord(ObjectIdOf(idWord)) == idWord; }

std::uint32_t ObjectIdOf(std::uint16_t idWord) { return idWord >> 2; }

std::uint8_t FoldedSum(const std::uint8_t* bytes, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    sum += bytes[i];
    if (sum > 255) sum -= 255;
  }
  return static_cast<std::uint8_t>(sum);
}

std::uint8_t ChecksumOf(const std::uint8_t* bytes, std::size_t count) {
  return static_cast<std::uint8_t>(255 - FoldedSum(bytes, count));
}

bool ChecksumOk(const std::vector<std::uint8_t>& frame) { return FoldedSum(frame.data(), frame.size()) == 255; }

std::vector<std::uint8_t> EncodeFrame(std::uint32_t objectId, const std::vector<std::uint8_t>& data) {
  const std::size_t count = data.size() >= 4 ? 4 : data.size() & ~std::size_t{1};
  const std::uint16_t idWord = EncodeIdWord(objectId);
  std::vector<std::uint8_t> frame;
  frame.reserve(count + 4);
  frame.push_back(TypeLetterFor(count));
  frame.push_back(static_cast<std::uint8_t>(idWord >> 8));
  frame.push_back(static_cast<std::uint8_t>(idWord & 0xFF));
  for (std::size_t i = 0; i < count; ++i) frame.push_back(data[i]);
  frame.push_back(ChecksumOf(frame.data(), frame.size()));
  return frame;
}

std::optional<DecodedFrame> FrameDecoder::Feed(std::uint8_t byte, std::int64_t nowMs) {
  if (expected_ != 0 && nowMs - lastByteMs_ > kStallMs) expected_ = 0;
  lastByteMs_ = nowMs;
  if (expected_ == 0) {
    if (!IsTypeLetter(byte)) return std::nullopt;
    frame_.assign(1, byte);
    expected_ = 4 + static_cast<std::size_t>(DataCountOfType(byte));
    return std::nullopt;
  }
  frame_.push_back(byte);
  if (frame_.size() < expected_) return std::nullopt;
  expected_ = 0;
  return Finish();
}

std::optional<DecodedFrame> FrameDecoder::Finish() {
  if (!ChecksumOk(frame_)) {
    ++badChecksums_;
    return std::nullopt;
  }
  const auto idWord = static_cast<std::uint16_t>(frame_[1] << 8 | frame_[2]);
  if (!IdWordParityOk(idWord)) {
    ++badParities_;
    return std::nullopt;
  }
  return DecodedFrame{ObjectIdOf(idWord), std::vector<std::uint8_t>(frame_.begin() + 3, frame_.end() - 1)};
}

}  // namespace gelvar::unitsim
