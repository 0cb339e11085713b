// The tick that drives the link stack, and the measurement of its real period.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "core/link/transaction.h"
#include "core/timing/tick_period.h"
#include "core/timing/timer_host.h"

namespace gelvar {

struct Link;

class Ticker {
 public:
  Ticker(Link& link, TimerHost& host) : link_(link), transaction_(link), host_(host) {}
  ~Ticker();

  // Sets both of the link's periods to startPeriodMs, starts the measuring interval and the tick timer.
  void Start(std::int32_t startPeriodMs = kStartTickPeriodMs);
  void Stop();

  // One tick: re-measure every ten seconds of the monotonic clock, then run the link stack once.
  void Tick();

  std::int32_t TickCount() const { return tickCount_; }
  TimerId Timer() const { return timer_; }

  // Told after each re-measurement: the new period and the ticks counted in the interval. For
  // measuring tools that watch the real tick; the programs leave it empty.
  using MeasurementObserver = std::function<void(std::int32_t period, std::int32_t ticks)>;
  void SetMeasurementObserver(MeasurementObserver observer) { observer_ = std::move(observer); }

 private:
  // Ends the measuring interval at now: the period is 10000 ms over the ticks counted.
  void Measure(std::int64_t now);

  Link& link_;
  LinkTransaction transaction_;
  TimerHost& host_;
  TimerId timer_ = -1;
  std::int32_t tickCount_ = 0;
  std::int64_t intervalStartMs_ = 0;
  std::int64_t lastTickMs_ = 0;
  MeasurementObserver observer_;
};

// drv_clear, link_reset, link_open(0): the link as the program starts it.
void StartLink(Link& link);

}  // namespace gelvar
