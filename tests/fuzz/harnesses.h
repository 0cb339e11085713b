// The fuzz harnesses: each runs one byte script against a fresh stack and returns what went wrong, or
// an empty string. Shared by the libFuzzer targets and the corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace gelvar::fuzz {

// The link stack's receive path: bytes into the driver, ticks, transactions, fetches and posts in any
// order. Afterwards the line falls quiet, the stack must come to rest and one read must succeed.
std::string RunLinkReceiveScript(const std::uint8_t* data, std::size_t size);

// A script is control bytes, each followed by its operands: the operation in the top three bits, its
// argument in the low five. Past the end every read yields zero, so a cut script still runs to its end.
struct ScriptReader {
  bool AtEnd() const { return position >= size; }
  std::uint8_t Byte() { return AtEnd() ? 0 : data[position++]; }
  // Big-endian, as ID words go on the line.
  std::uint16_t Word() {
    const std::uint8_t high = Byte();
    return static_cast<std::uint16_t>(high << 8 | Byte());
  }

  const std::uint8_t* data;
  std::size_t size, position = 0;
};

}  // namespace gelvar::fuzz
