#include "app/monitor_app.h"
#include "app/plot_log.h"

int main(int argc, char* argv[]) {
  if (gelvar::PlotLogRequested(argc, argv)) return gelvar::PlotLogToPng(argc, argv);
  gelvar::MonitorApp app(argc, argv);
  return app.Startup();
}
