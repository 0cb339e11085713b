// GELVAR_AUTORUN: menu commands carried out without a user once the main window has first been
// painted, so that start-up time, CPU share and memory can be measured with the program in a known
// state (scripts/perf-report, docs/performance.md). The value is a comma-separated list of
//   open            Open COM Port
//   read-variables  Start Reading Variables
//   log-file        Open Log File, its file dialog answered with the default name in the working folder
//   log             Start Logging
//   trend           Show Trend
//   plot-log        Plot Log File, its file dialog answered like log-file's
//   quit            Exit
// With the variable set, even to nothing, the program also prints on standard error the wall-clock
// time once the first frame of the main window is drawn: "gelvar-monitor: first frame at SECONDS".
#pragma once

class QWidget;

namespace gelvar {

inline constexpr char kAutorunVariable[] = "GELVAR_AUTORUN";

// Before the window is shown, so that its first paint is seen. Unknown steps are named on standard
// error and skipped.
void StartAutorun(QWidget& mainWindow, const char* steps);

}  // namespace gelvar
