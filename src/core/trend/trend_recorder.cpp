#include "core/trend/trend_recorder.h"

#include "core/monitor/object_data.h"

namespace gelvar {

// Each pass reads every pair once, so the last outcome of a pair's object is this pass's.
void TrendRecorder::StepEnded(std::uint32_t objectId, StepOutcome outcome) {
  const bool read = outcome == StepOutcome::kAccepted;
  if (objectId == kIdHeatingTemps) pairsRead_[0] = read;
  for (std::uint32_t sensor = 0; sensor < 2; ++sensor) {
    if (objectId == InsertField(kIdSensorTemps, kSensorIdMask, sensor)) pairsRead_[1 + sensor] = read;
  }
}

void TrendRecorder::VariablePassEnded() {
  data_.SetFahrenheit(monitor_.TemperatureUnitCode() != 0);
  data_.Append(static_cast<double>(clock_.CalendarTime()), TrendValuesOf(monitor_.Snapshot(), pairsRead_));
  if (onPoint_) onPoint_();
}

}  // namespace gelvar
