// What the diagnostics window shows of channel 0's driver and converter, as field texts. Only reads
// the link.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace gelvar {

struct Link;

// The values of the window's first column in its order: the driver's, then the converter's.
enum InsideValue : std::size_t {
  kDriverState,
  kDriverControl,
  kRxCounter,
  kTxIndex,
  kChecksumIndex,
  kRxIndex,
  kConverterState,
  kConverterTimeout,
  kTxFifoUsed,
  kRxFifoUsed,
  kTxFifoOverflows,
  kTxErrors,
  kRxErrors,
  kRxOverflows,
  kRxFifoErrors,
  kInsideValueCount,
};

// One text per value, indexed by InsideValue.
std::array<std::string, kInsideValueCount> ReadLinkInside(const Link& link);

}  // namespace gelvar
