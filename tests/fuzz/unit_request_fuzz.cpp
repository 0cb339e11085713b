// libFuzzer entry: the simulated unit's request side (see unit_request_harness.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_entry.h"
#include "fuzz/unit_request_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return gelvar::fuzz::StopOnFault("unit request", gelvar::fuzz::RunUnitRequestScript(data, size));
}
