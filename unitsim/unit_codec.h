// The unit's own side of the line format: it builds reply frames and takes request frames apart,
// independently of the program's driver, so that a fault on either side cannot hide in shared code.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace gelvar::unitsim {

constexpr std::uint8_t kTypeNoData = 0x54;     // "T"
constexpr std::uint8_t kTypeTwoBytes = 0x55;   // "U"
constexpr std::uint8_t kTypeFourBytes = 0x56;  // "V"

// Data byte count announced by a type letter, or -1 for any other byte.
int DataCountOfType(std::uint8_t typeLetter);
bool IsTypeLetter(std::uint8_t byte);

// 14-bit object ID in bits 15-2, the XOR of its odd bits in bit 1, of its even bits in bit 0.
std::uint16_t EncodeIdWord(std::uint32_t objectId);
bool IdWordParityOk(std::uint16_t idWord);
std::uint32_t ObjectIdOf(std::uint16_t idWord);

// One's-complement sum with end-around carry, starting from 0.
std::uint8_t FoldedSum(const std::uint8_t* bytes, std::size_t count);
// What a sender appends: the complement of the folded sum of everything before it.
std::uint8_t ChecksumOf(const std::uint8_t* bytes, std::size_t count);
// What a receiver checks: the folded sum over the whole frame, checksum included, is 255.
bool ChecksumOk(const std::vector<std::uint8_t>& frame);

// A whole frame; data must hold 0, 2 or 4 bytes (other counts are cut to the next smaller one).
std::vector<std::uint8_t> EncodeFrame(std::uint32_t objectId, const std::vector<std::uint8_t>& data);

struct DecodedFrame {
  std::uint32_t objectId;
  std::vector<std::uint8_t> data;
};

// Takes request bytes one at a time. Bytes other than type letters are skipped while no frame is
// under way; a frame with a wrong checksum or ID parity is dropped; a frame whose bytes stop coming
// for longer than kStallMs is given up, and the byte after the gap is looked at afresh.
class FrameDecoder {
 public:
  static constexpr std::int64_t kStallMs = 100;

  // The frame this byte completed, if it completed a sound one.
  std::optional<DecodedFrame> Feed(std::uint8_t byte, std::int64_t nowMs);

  int BadChecksums() const { return badChecksums_; }
  int BadParities() const { return badParities_; }

 private:
  std::optional<DecodedFrame> Finish();

  std::vector<std::uint8_t> frame_;
  std::size_t expected_ = 0;  // whole frame length, 0 while idle
  std::int64_t lastByteMs_ = 0;
  int badChecksums_ = 0;
  int badParities_ = 0;
};

}  // namespace gelvar::unitsim
