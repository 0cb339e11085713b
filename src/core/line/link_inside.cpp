#include "core/line/link_inside.h"

#include <cstdint>

#include "core/common/c_format.h"
#include "core/link/converter.h"
#include "core/link/link.h"

namespace gelvar {

std::array<std::string, kInsideValueCount> ReadLinkInside(const Link& link) {
  const DriverRecord& driver = link.memory.driver;
  std::uint8_t stats[5] = {};
  link_stats(link, 0, stats);
  std::uint8_t status[4] = {};
  link_status(link, 0, status);
  const auto number = [](int value) { return CFormat("%d", value); };
  std::array<std::string, kInsideValueCount> texts;
  texts[kDriverState] = number(driver.state);
  texts[kDriverControl] = CFormat("%02X", driver.control);
  texts[kRxCounter] = number(0);  // the driver keeps no receive counter
  texts[kTxIndex] = number(driver.txIndex);
  texts[kChecksumIndex] = number(0);  // nor a checksum index
  texts[kRxIndex] = number(driver.rxIndex);
  texts[kConverterState] = number(status[0]);
  texts[kConverterTimeout] = number(status[1]);
  texts[kTxFifoUsed] = number(status[2]);
  texts[kRxFifoUsed] = number(status[3]);
  texts[kTxFifoOverflows] = number(stats[0]);
  texts[kTxErrors] = number(stats[1]);
  texts[kRxOverflows] = number(stats[2]);
  texts[kRxFifoErrors] = number(stats[3]);
  texts[kRxErrors] = number(stats[4]);
  return texts;
}

}  // namespace gelvar
