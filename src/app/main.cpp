#include "app/monitor_app.h"

int main(int argc, char* argv[]) {
  gelvar::MonitorApp app(argc, argv);
  return app.Startup();
}
