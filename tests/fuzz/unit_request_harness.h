// The simulated unit's request side driven by a byte script: bytes and sound requests at any times,
// reads of its output, clock jumps and fault settings. Shared by the libFuzzer target and the corpus
// replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace gelvar::fuzz {

// Runs one script against a new unit, then clears its faults, lets the line fall quiet and sends one
// read. Returns what went wrong (more output than its requests explain, a request it made up, an
// object whose size changed, a wrong reply afterwards), or an empty string.
std::string RunUnitRequestScript(const std::uint8_t* data, std::size_t size);

}  // namespace gelvar::fuzz
