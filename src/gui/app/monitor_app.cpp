#include "gui/app/monitor_app.h"

#include <clocale>
#include <cstdlib>

#include "core/common/file_appender.h"
#include "core/serial/serial_port.h"
#include "gui/app/autorun.h"
#include "gui/app/screenshot_tour.h"
#include "gui/monitor/device_chooser_dialog.h"
#include "gui/monitor/input_dialog.h"
#include "gui/monitor/monitor_dialog.h"
#include "gui/monitor/monitor_ids.h"
#include "gui/sensorcheck/sensor_test_dialog.h"
#include "gui/serial/serial_messages_qt.h"
#include "gui/tools/link_inside_window.h"
#include "gui/tools/protocol_window.h"
#include "gui/trend/trend_windows.h"
#include "gui/ui/tone_player.h"
#include "gui/ui/widget_support.h"
#include "gui/update/update_dialog.h"
#include "qt/qt_stop_signals.h"
#include "qt/serial_discovery_qt.h"

namespace gelvar {

// The program's windows and its port, built once the application object exists and destroyed in
// reverse. The windows keep their customary order; the port comes first (after the map of its
// devices), because the protocol window holds it as a LinePort from its construction on, and so it
// is put back and closed only after the pump has stopped. The file writer serves the main window and
// the sensor test and outlives both; the tone player serves the main window and outlives it.
struct MonitorApp::GlobalObjects {
  GlobalObjects(Link& link, TimerHost& timers)
      : files(diskFiles),
        comDevices(&comMappings),
        serialPort(serialMessages, comDevices),
        sensorTest(link, timers, files),
        sensorTestDialog(sensorTest),
        deviceChooser(timers, serialDiscovery, comDevices),
        protocolWindow(link, timers, serialPort, linkInsideWindow),
        tonePlayer(OpenSoundOutput()),
        monitorDialog(link, timers, files, tonePlayer,
                      {protocolWindow, [this] { sensorTestDialog.Run(); }, updateDialog, inputDialog, deviceChooser}),
        linkInsideWindow(link, timers),
        trends(monitorDialog.Core(), timers) {
    monitorDialog.AddListener(trends.Recorder());
    serialMessages.KeepErrorsIn(monitorDialog, [this](const std::string& line) { monitorDialog.AddLine(line); });
    monitorDialog.SetOtherCommands([this](int command) { trends.Command(command, &monitorDialog); });
  }

  DiskFileAppender diskFiles;
  FolderMemoryFiles files;
  QtComMappingStore comMappings;
  ComDeviceMap comDevices;  // the devices behind the COM numbers, for the port and the device list
  QtSerialMessages serialMessages;
  SerialPort serialPort;      // puts back and closes the port, if still open, when the program ends
  SensorSequence sensorTest;  // the sequence and its values stay from one opening of the dialog to the next
  SensorTestDialog sensorTestDialog;
  UpdateDialog updateDialog;
  InputDialog inputDialog;
  QtSerialDiscovery serialDiscovery;
  DeviceChooserDialog deviceChooser;
  ProtocolWindow protocolWindow;
  TonePlayer tonePlayer;
  MonitorDialog monitorDialog;
  LinkInsideWindow linkInsideWindow;
  TrendWindows trends;  // collects from the main window's first pass on
};

MonitorApp::MonitorApp(int& argc, char** argv) : QApplication(argc, argv) {
  // Qt has taken the C library's locale from the environment; numbers and dates in texts and files
  // must not follow it.
  std::setlocale(LC_NUMERIC, "C");
  std::setlocale(LC_TIME, "C");
  setWindowIcon(AppIcon());
  globals_ = std::make_unique<GlobalObjects>(link_, timers_);
}

MonitorApp::~MonitorApp() = default;

int MonitorApp::Startup() {
  // The start value of the tick period, re-measured by the tick every ten seconds; the tool windows'
  // timers keep the start value.
  ticker_.Start(kStartTickPeriodMs);
  // The pump runs after each tick, so a frame the tick starts leaves at once.
  globals_->protocolWindow.Create();
  StartLink(link_);

  MonitorDialog& mainWindow = globals_->monitorDialog;
  const std::string ignored = globals_->comDevices.Load();
  if (!ignored.empty()) mainWindow.AddLine(ignored);
  setQuitOnLastWindowClosed(false);
  connect(&mainWindow, &QDialog::finished, this, &QCoreApplication::quit);
  // Ended by a signal, the program ends as by Exit: the port is put back and closed.
  const QtStopSignals stopSignals([&mainWindow] { TriggerMenuCommand(mainWindow, kCmdExit); });
  if (const char* autorun = std::getenv(kAutorunVariable)) StartAutorun(mainWindow, autorun);
  mainWindow.Open();
  const QString tourFolder = ScreenshotTourFolder(arguments());
  if (!tourFolder.isEmpty()) {
    GlobalObjects& g = *globals_;
    StartScreenshotTour({mainWindow, g.protocolWindow, g.linkInsideWindow, g.sensorTestDialog, g.deviceChooser},
                        tourFolder);
  }
  exec();
  return 0;
}

}  // namespace gelvar
