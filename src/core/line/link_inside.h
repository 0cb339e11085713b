// What the diagnostics window shows of channel 0's driver and converter, as field texts. Only reads
// the link.
#pragma once

#include <array>
#include <string>

namespace gelvar {

struct Link;

struct InsideField {
  int controlId;
  std::string text;
};

inline constexpr int kInsideFieldCount = 15;

// The first column of the diagnostics window, one entry per value field.
std::array<InsideField, kInsideFieldCount> ReadLinkInside(const Link& link);

}  // namespace gelvar
