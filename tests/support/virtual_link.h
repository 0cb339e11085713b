// The whole link path in virtual time: tick, byte pump and a simulated unit on a simulated line,
// with the port of channel 0 open. One per test; it resets the link's static state when built.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/ticker.h"
#include "support/virtual_scheduler.h"
#include "tools/byte_pump.h"
#include "unitsim/simulated_line.h"
#include "unitsim/unit_model.h"

namespace gelvar::testing {

class RecordingPumpMessages : public PumpMessages {
 public:
  void ShowMessage(const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

class VirtualLink {
 public:
  // tickPeriodMs is both the tick period and the pump's window timer period at start.
  explicit VirtualLink(std::int32_t tickPeriodMs = 10, bool openPort = true);
  ~VirtualLink();

  VirtualScheduler& Scheduler() { return scheduler_; }
  unitsim::UnitModel& Unit() { return unit_; }
  unitsim::SimulatedLine& Line() { return line_; }
  BytePump& Pump() { return pump_; }
  Ticker& Tick() { return ticker_; }
  RecordingPumpMessages& PumpMessagesShown() { return messages_; }
  TimerId TickTimer() const { return tickTimer_; }
  TimerId PumpTimer() const { return pumpTimer_; }

  void RunFor(std::int64_t ms) { scheduler_.AdvanceBy(ms); }
  bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
    return scheduler_.RunUntil(done, limitMs);
  }

 private:
  VirtualScheduler scheduler_;
  unitsim::UnitModel unit_;
  unitsim::SimulatedLine line_;
  RecordingPumpMessages messages_;
  BytePump pump_;
  Ticker ticker_;
  TimerId tickTimer_ = -1;
  TimerId pumpTimer_ = -1;
};

}  // namespace gelvar::testing
