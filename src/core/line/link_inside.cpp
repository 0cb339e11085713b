#include "core/line/link_inside.h"

#include <cstdint>

#include "core/common/c_format.h"
#include "core/link/converter.h"
#include "core/link/link.h"

namespace gelvar {

std::array<InsideField, kInsideFieldCount> ReadLinkInside(const Link& link) {
  const DriverRecord& driver = link.memory.driver;
  std::uint8_t stats[5] = {};
  link_stats(link, 0, stats);
  std::uint8_t status[4] = {};
  link_status(link, 0, status);
  const auto number = [](int value) { return CFormat("%d", value); };
  return {{
      {1042, number(driver.state)},
      {1043, CFormat("%02X", driver.control)},
      {1044, number(0)},  // the driver keeps no receive counter
      {1045, number(driver.txIndex)},
      {1060, number(0)},  // nor a checksum index
      {1046, number(driver.rxIndex)},
      {1070, number(stats[0])},
      {1050, number(stats[1])},
      {1048, number(stats[2])},
      {1047, number(stats[3])},
      {1049, number(stats[4])},
      {1066, number(status[0])},
      {1068, number(status[1])},
      {1064, number(status[2])},
      {1062, number(status[3])},
  }};
}

}  // namespace gelvar
