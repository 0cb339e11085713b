// The tick period every countdown of the link and of the polling windows is measured in.
#pragma once

#include <cstdint>

namespace gelvar {

// Milliseconds per tick as last measured; every countdown of the link and of the polling windows
// subtracts it once per tick or timer message.
extern std::int32_t tickPeriod;
// The tick period as set at start; the tool windows' timers keep it.
extern std::int32_t windowTimerPeriod;

inline constexpr std::int32_t kStartTickPeriodMs = 10;

}  // namespace gelvar
