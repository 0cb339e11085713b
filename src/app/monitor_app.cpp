#include "app/monitor_app.h"

#include <clocale>

#include "app/widget_support.h"
#include "monitor/monitor_dialog.h"
#include "tools/link_inside_window.h"
#include "tools/protocol_window.h"

namespace gelvar {
namespace {

// Stands in for the serial port until the program is built with one.
class NoSerialPort : public LinePort {
 public:
  int Open(int portNumber, int, int, int, int) override {
    ShowAppMessage(nullptr, QStringLiteral("COM%1: this build has no serial port support").arg(portNumber));
    return 0;
  }
  int Close() override { return 1; }
  int Write(const std::uint8_t*, int) override { return 0; }
  int Read(std::uint8_t*, int) override { return 0; }
};

}  // namespace

// The program's windows and its port, built in this order once the application object exists, and
// destroyed in reverse. The one LinkTransaction, which comes between the protocol window and the main
// window in this order, is the link's own static object.
struct MonitorApp::GlobalObjects {
  explicit GlobalObjects(TimerHost& timers)
      : protocolWindow(timers, serialPort, linkInsideWindow), monitorDialog(protocolWindow), linkInsideWindow(timers) {}

  ProtocolWindow protocolWindow;
  MonitorDialog monitorDialog;
  NoSerialPort serialPort;  // closes the port, if still open, when the program ends
  LinkInsideWindow linkInsideWindow;
};

MonitorApp::MonitorApp(int& argc, char** argv) : QApplication(argc, argv) {
  // Qt has taken the C library's locale from the environment; numbers and dates in texts and files
  // must not follow it.
  std::setlocale(LC_NUMERIC, "C");
  std::setlocale(LC_TIME, "C");
  globals_ = std::make_unique<GlobalObjects>(timers_);
}

MonitorApp::~MonitorApp() = default;

int MonitorApp::Startup() {
  // The start value of the tick period, re-measured by the tick every ten seconds; the tool windows'
  // timers keep the start value.
  tickPeriod = kStartTickPeriodMs;
  windowTimerPeriod = tickPeriod;
  globals_->protocolWindow.Create();
  ticker_.Start(kStartTickPeriodMs);
  StartLink();

  MonitorDialog& mainWindow = globals_->monitorDialog;
  setQuitOnLastWindowClosed(false);
  connect(&mainWindow, &QDialog::finished, this, &QCoreApplication::quit);
  mainWindow.show();
  exec();
  return 0;
}

}  // namespace gelvar
