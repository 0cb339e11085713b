// One link to one unit: the memory block the driver and the converter work in, the converter's and the
// transaction's own state, and the periods their countdowns run in. Whoever works the link is handed it
// by reference, as every drv_* and link_* function is; each line has a Link of its own. Fixed in size:
// nothing of it is allocated once it is made.
#pragma once

#include <cstdint>

#include "core/link/converter.h"
#include "core/link/link_memory.h"
#include "core/link/transaction.h"
#include "core/timing/tick_period.h"

namespace gelvar {

struct Link {
  Link() = default;
  // A copy would be a second link that no line serves. Starting afresh is assigning a new one: whoever
  // holds this one by reference keeps it.
  Link(const Link&) = delete;
  Link& operator=(const Link&) = default;

  LinkMemory memory{};
  std::int32_t frameNumber = 0;        // shared by both trace rings, 1..100000
  std::uint8_t openMask = 0;           // bit n: channel n is open
  std::uint32_t timerAccumulator = 0;  // milliseconds towards the converter's next timer step
  LinkError lastError{};
  TransactionRecord transaction;
  TickPeriods periods;
};

}  // namespace gelvar
