// The two trend windows of the window program and what feeds them: the variables read in this run,
// collected from the first pass on, and a log file chosen by the user.
#pragma once

#include "core/trend/trend_recorder.h"
#include "gui/trend/trend_window.h"

class QWidget;

namespace gelvar {

class TrendWindows {
 public:
  TrendWindows(const Monitor& monitor, const TimerHost& clock);

  MonitorEvents& Recorder() { return recorder_; }
  const TrendData& Data() const { return recorder_.Data(); }
  // Show Trend and Plot Log File; other commands are not theirs.
  void Command(int command, QWidget* parent);

  TrendWindow& Live() { return live_; }
  TrendWindow& LogPlot() { return logPlot_; }

 private:
  void PlotLogFile(QWidget* parent);

  TrendRecorder recorder_;
  TrendWindow live_;
  TrendWindow logPlot_;
};

}  // namespace gelvar
