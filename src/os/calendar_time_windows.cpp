#include "core/common/calendar_time.h"

namespace gelvar {

bool LocalCalendarTime(std::time_t when, std::tm& local) { return ::localtime_s(&local, &when) == 0; }

bool UtcCalendarTime(std::time_t when, std::tm& utc) { return ::gmtime_s(&utc, &when) == 0; }

}  // namespace gelvar
