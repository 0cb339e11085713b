// The protocol window's control numbers: the window's own, for its widget lookup and its tests.
#pragma once

namespace gelvar::protocol_ids {

enum : int { kIdTxPane = 1019, kIdRxPane = 1020, kIdClearTx = 1077, kIdClearRx = 1078 };

}  // namespace gelvar::protocol_ids
