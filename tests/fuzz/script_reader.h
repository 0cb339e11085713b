// Reads a fuzz input as a script: control bytes and their operands, one after the other. Past the end
// every read yields zero, so a cut script still runs to its end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gelvar::fuzz {

class ScriptReader {
 public:
  ScriptReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool AtEnd() const { return position_ >= size_; }

  std::uint8_t Byte() { return AtEnd() ? 0 : data_[position_++]; }

  // Big-endian, as ID words go on the line.
  std::uint16_t Word() {
    const std::uint8_t high = Byte();
    return static_cast<std::uint16_t>(high << 8 | Byte());
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// A control byte: the operation in the top three bits, its argument in the low five.
struct ScriptOp {
  explicit ScriptOp(std::uint8_t control) : code(control >> 5), argument(control & 0x1F) {}
  std::uint8_t code;
  std::uint8_t argument;
};

}  // namespace gelvar::fuzz
