// The link stack's receive path driven by a byte script: bytes into the driver, ticks, transactions,
// fetches and posts in any order. Shared by the libFuzzer target and the corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace gelvar::fuzz {

// Runs one script from the state the program starts in, then lets the line fall quiet and reads one
// object. Returns what went wrong (a broken invariant, a stack that does not come to rest, a read
// that fails afterwards) with the link's state at that moment, or an empty string.
std::string RunLinkReceiveScript(const std::uint8_t* data, std::size_t size);

}  // namespace gelvar::fuzz
