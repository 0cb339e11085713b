// What differs between the systems the tests run on: here, Linux and other POSIX systems.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>

#include "core/common/file_appender.h"
#include "support/monitor_rig.h"

namespace gelvar::testing {
namespace {

// The soft limit, up to the hard one.
bool SetFileSizeLimit(rlim_t bytes) {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = std::min(bytes, limit.rlim_max);
  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

}  // namespace

bool FileSizeLimit::Available() { return true; }

const char* WhyNotLinux() { return nullptr; }

FileSizeLimit::FileSizeLimit(std::uintmax_t bytes) {
  IgnoreFileSizeSignal();
  if (!SetFileSizeLimit(bytes)) ADD_FAILURE() << "no file size limit";
}

FileSizeLimit::~FileSizeLimit() { SetFileSizeLimit(RLIM_INFINITY); }

}  // namespace gelvar::testing
