// A calendar time broken down into local time or UTC, through the system's thread-safe calls.
#pragma once

#include <ctime>

namespace gelvar {

// False where the system cannot break the time down (Windows refuses times before 1970).
bool LocalCalendarTime(std::time_t when, std::tm& local);
bool UtcCalendarTime(std::time_t when, std::tm& utc);

}  // namespace gelvar
