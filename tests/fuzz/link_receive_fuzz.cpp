// libFuzzer entry: the link stack's receive path (see link_receive_harness.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_entry.h"
#include "fuzz/link_receive_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return gelvar::fuzz::StopOnFault("link receive", gelvar::fuzz::RunLinkReceiveScript(data, size));
}
