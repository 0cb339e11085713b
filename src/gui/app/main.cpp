#include "gui/app/monitor_app.h"
#include "gui/app/plot_log.h"
#include "core/common/file_appender.h"

int main(int argc, char* argv[]) {
  if (gelvar::PlotLogRequested(argc, argv)) return gelvar::PlotLogToPng(argc, argv);
  gelvar::IgnoreFileSizeSignal();
  gelvar::MonitorApp app(argc, argv);
  return app.Startup();
}
