// The application: sets the program up, starts the link, and runs the main window until it closes.
#pragma once

#include <QApplication>

#include <memory>

#include "core/link/link.h"
#include "core/tick/ticker.h"
#include "qt/qt_timer_host.h"

namespace gelvar {

class MonitorApp : public QApplication {
 public:
  MonitorApp(int& argc, char** argv);
  ~MonitorApp() override;

  // Starts the pump, the tick and the link, then runs the main window; returns 0 once it has closed,
  // whatever tool windows are still open.
  int Startup();

 private:
  struct GlobalObjects;

  QtTimerHost timers_;
  Link link_;  // the one line's; every window and the tick work it, and it outlives them all
  Ticker ticker_{link_, timers_};
  std::unique_ptr<GlobalObjects> globals_;
};

}  // namespace gelvar
