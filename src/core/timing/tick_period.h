// The periods every countdown of the link and of the polling windows is measured in.
#pragma once

#include <cstdint>

namespace gelvar {

inline constexpr std::int32_t kStartTickPeriodMs = 10;

struct TickPeriods {
  // Milliseconds per tick as last measured; every countdown of the link and of the polling windows
  // subtracts it once per tick or timer message.
  std::int32_t tick = kStartTickPeriodMs;
  // The tick period as set at start; the tool windows' timers keep it.
  std::int32_t windowTimer = kStartTickPeriodMs;
};

}  // namespace gelvar
