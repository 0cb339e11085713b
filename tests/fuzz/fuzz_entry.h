// A harness finding ends the fuzz run the way a sanitizer report does, so that libFuzzer keeps the
// input as a crash artifact.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace gelvar::fuzz {

inline int StopOnFault(const char* target, const std::string& fault) {
  if (fault.empty()) return 0;
  std::fprintf(stderr, "%s: %s\n", target, fault.c_str());
  std::abort();
}

}  // namespace gelvar::fuzz
