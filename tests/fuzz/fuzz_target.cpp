// libFuzzer entry for the harness named by GELVAR_FUZZ_HARNESS. A harness finding ends the run the way
// a sanitizer report does, so that libFuzzer keeps the input as a crash artifact.
#include <cstdio>
#include <cstdlib>

#include "fuzz/harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fault = gelvar::fuzz::GELVAR_FUZZ_HARNESS(data, size);
  if (fault.empty()) return 0;
  std::fprintf(stderr, "%s\n", fault.c_str());
  std::abort();
}
