// "Zeb Inside": the link's driver and converter state of channel 0, refreshed at every timer message
// while the window is visible, and when it is shown. It only reads the link.
#pragma once

#include <QDialog>

#include <vector>

#include "core/timing/timer_host.h"

class QLineEdit;

namespace gelvar {

struct Link;

class LinkInsideWindow : public QDialog {
  Q_OBJECT

 public:
  LinkInsideWindow(const Link& link, TimerHost& timers);
  ~LinkInsideWindow() override;

  // Starts the refresh timer at the window timer period; the window stays as it is (hidden at first).
  void Create();
  void Refresh();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  const Link& link_;
  TimerHost& timers_;
  TimerId refreshTimer_ = -1;
  std::vector<QLineEdit*> firstColumn_;  // by InsideValue
};

}  // namespace gelvar
