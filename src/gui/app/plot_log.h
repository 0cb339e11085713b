// `gelvar-monitor --plot-log FILE --png OUT.png`: draws a log file into a picture and ends, for
// reports and scripts; it needs no display.
#pragma once

namespace gelvar {

enum PlotLogExit : int {
  kPlotDone = 0,
  kPlotNotALog = 1,  // the message names the line that could not be read
  kPlotUsage = 2,
  kPlotPngFailed = 4,
};

bool PlotLogRequested(int argc, char** argv);
int PlotLogToPng(int argc, char** argv);

}  // namespace gelvar
