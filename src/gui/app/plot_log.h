// `gelvar-monitor --plot-log FILE --png OUT.png`: draws a log file into a picture and ends, for
// reports and scripts; it needs no display.
#pragma once

#include <string>

namespace gelvar {

enum PlotLogExit : int {
  kPlotDone = 0,
  kPlotNotALog = 1,  // the message names the line that could not be read, or why the file could not be
  kPlotUsage = 2,
  kPlotPngFailed = 4,
};

// argc and argv go to Qt: the program's name and Qt's own options.
int PlotLogToPng(const std::string& logPath, const std::string& pngPath, int& argc, char** argv);

}  // namespace gelvar
