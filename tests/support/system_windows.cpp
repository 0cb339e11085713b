// What differs between the systems the tests run on: here, Windows.
#include <gtest/gtest.h>

#include "support/monitor_rig.h"

namespace gelvar::testing {

bool FileSizeLimit::Available() { return false; }

const char* WhyNotLinux() { return "Windows has no /proc, and wine's /proc is Linux's own"; }

FileSizeLimit::FileSizeLimit(std::uintmax_t /*bytes*/) { ADD_FAILURE() << kUnavailable; }

FileSizeLimit::~FileSizeLimit() = default;

}  // namespace gelvar::testing
