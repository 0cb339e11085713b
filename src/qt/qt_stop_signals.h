// The stop signals as events on Qt's event loop: onStop runs on the GUI thread, as a menu command does.
#pragma once

#include <functional>
#include <memory>

#include "core/common/stop_signals.h"

class QSocketNotifier;

namespace gelvar {

class QtStopSignals {
 public:
  // One instance at a time.
  explicit QtStopSignals(std::function<void()> onStop);
  ~QtStopSignals();
  QtStopSignals(const QtStopSignals&) = delete;
  QtStopSignals& operator=(const QtStopSignals&) = delete;

 private:
  std::unique_ptr<StopSignals> signals_;
  std::unique_ptr<QSocketNotifier> notifier_;  // after signals_: off before the handle closes
};

}  // namespace gelvar
