// The link stack on a bench: started as the program starts it, its tick run by hand at a fixed period,
// and a line that takes every byte the driver hands over while the line is up.
#pragma once

#include <algorithm>
#include <utility>

#include "core/tick/ticker.h"
#include "support/link_fixture.h"
#include "support/virtual_scheduler.h"

namespace gelvar::testing {

using Bytes = std::vector<std::uint8_t>;

// The diagnostics window's figures: the counters in link_stats order, then link_status in its order.
enum Figure { kQueueOverflows, kDropped, kSlotOverflows, kBadFrames, kRxTimeouts, kQueueFill = 7, kSlotsInUse };

class LinkBench : public LinkTest {
 protected:
  LinkBench() {
    StartLink(link);
    link.memory.txRegister = -1;  // as the pump leaves it when it opens the line
  }
  // Ticks as the program runs them, each followed by the pump's turn on the line.
  void Tick(int ticks = 1) {
    for (int i = 0; i < ticks; ++i, ++ticksRun) {
      ticker.Tick();
      for (; lineUp && link.memory.txRegister >= 0; drv_tx_next(link, 0)) {
        sent.push_back(static_cast<std::uint8_t>(std::exchange(link.memory.txRegister, -1)));
      }
    }
  }
  std::uint8_t Shown(Figure figure) const {
    std::uint8_t figures[9] = {};
    link_stats(link, 0, figures);
    link_status(link, 0, figures + 5);
    return figures[figure];
  }
  std::uint8_t Post(std::uint32_t id, std::uint8_t count = 0, Bytes data = {}) {
    ObjectRequest request{0, count, id, 0, {}};
    std::copy(data.begin(), data.end(), request.data);
    return link_post(link, &request);
  }
  // A reply from the far end, parity-checked as the next tick would.
  void Reply(std::uint32_t id, const Bytes& data = {}) {
    FeedBytes(link, EncodeFrame(id, data));
    link_check_slots(link);
  }
  // The object ID of the reply fetched (0: none).
  int Fetch(std::uint32_t id, std::uint8_t mask = 0) {
    ObjectRequest request{0, 0, id, mask, {}};
    return link_fetch(link, &request);
  }

  VirtualScheduler clock;  // never advanced: the tick period stays as the test sets it
  Ticker ticker{link, clock};
  bool lineUp = true;
  Bytes sent;  // every byte that went out on the line
  int ticksRun = 0;
};

}  // namespace gelvar::testing
