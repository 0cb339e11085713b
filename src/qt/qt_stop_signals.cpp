#include "qt/qt_stop_signals.h"

#include <QSocketNotifier>

#include <utility>

namespace gelvar {

QtStopSignals::QtStopSignals(std::function<void()> onStop) : signals_(CatchStopSignals()) {
  if (!signals_) return;
  notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(signals_->ArrivalHandle()), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this, onStop = std::move(onStop)] {
    signals_->Take();
    onStop();
  });
}

QtStopSignals::~QtStopSignals() = default;

}  // namespace gelvar
