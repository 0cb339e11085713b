// The whole link path in virtual time: tick, byte pump and a simulated unit on a simulated line,
// with the port of channel 0 open. Each has a link of its own; several may share one scheduler, as
// the links of two adapters share one event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/line/byte_pump.h"
#include "core/link/link.h"
#include "core/tick/ticker.h"
#include "support/virtual_scheduler.h"
#include "unitsim/simulated_line.h"
#include "unitsim/unit_model.h"

namespace gelvar::testing {

class VirtualLink {
 public:
  // tickPeriodMs is both the tick period and the pump's window timer period at start.
  explicit VirtualLink(std::int32_t tickPeriodMs = 10, bool openPort = true)
      : VirtualLink(ownScheduler_, tickPeriodMs, openPort) {}
  VirtualLink(VirtualScheduler& scheduler, std::int32_t tickPeriodMs = 10, bool openPort = true)
      : scheduler_(scheduler),
        line_(unit_, [this] { return scheduler_.NowMs(); }),
        pump_(link_, line_, messages_),
        ticker_(link_, scheduler_) {
    // As at program start: the tick, then the protocol window's pump, then the link opened.
    ticker_.Start(tickPeriodMs);
    pump_.Run(scheduler_, {});
    StartLink(link_);
    if (openPort) pump_.OpenChannel(0, 1);
  }

  VirtualScheduler& Scheduler() { return scheduler_; }
  Link& LinkState() { return link_; }
  unitsim::UnitModel& Unit() { return unit_; }
  unitsim::SimulatedLine& Line() { return line_; }
  BytePump& Pump() { return pump_; }

  void RunFor(std::int64_t ms) { scheduler_.AdvanceBy(ms); }
  bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs) { return scheduler_.RunUntil(done, limitMs); }

 private:
  struct NoBoxes : PumpMessages {
    void ShowMessage(const std::string&) override {}
  };

  VirtualScheduler ownScheduler_;  // unless the scheduler is shared
  VirtualScheduler& scheduler_;
  Link link_;
  unitsim::UnitModel unit_;
  unitsim::SimulatedLine line_;
  NoBoxes messages_;
  BytePump pump_;
  Ticker ticker_;
};

}  // namespace gelvar::testing
