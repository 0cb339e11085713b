#include "core/common/calendar_time.h"

namespace gelvar {

bool LocalCalendarTime(std::time_t when, std::tm& local) { return ::localtime_r(&when, &local) != nullptr; }

bool UtcCalendarTime(std::time_t when, std::tm& utc) { return ::gmtime_r(&when, &utc) != nullptr; }

}  // namespace gelvar
