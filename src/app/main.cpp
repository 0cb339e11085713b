#include "app/monitor_app.h"
#include "common/file_appender.h"

int main(int argc, char* argv[]) {
  gelvar::IgnoreFileSizeSignal();
  gelvar::MonitorApp app(argc, argv);
  return app.Startup();
}
