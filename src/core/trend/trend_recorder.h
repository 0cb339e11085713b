// Collects the trend of the variables from the first pass on, whether a trend window is open or not.
#pragma once

#include <functional>

#include "core/monitor/monitor.h"
#include "core/timing/timer_host.h"
#include "core/trend/trend_data.h"

namespace gelvar {

class TrendRecorder : public MonitorEvents {
 public:
  TrendRecorder(const Monitor& monitor, const TimerHost& clock) : monitor_(monitor), clock_(clock) {}

  const TrendData& Data() const { return data_; }
  // Called after every new point (a window that shows the trend redraws).
  void SetOnPoint(std::function<void()> onPoint) { onPoint_ = std::move(onPoint); }

  void StepEnded(std::uint32_t objectId, StepOutcome outcome) override;
  void VariablePassEnded() override;
  void VariableReadingStarted() override { data_.BreakLine(); }

 private:
  const Monitor& monitor_;
  const TimerHost& clock_;
  TrendData data_;
  TemperaturePairsRead pairsRead_{};
  std::function<void()> onPoint_;
};

}  // namespace gelvar
