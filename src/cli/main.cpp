// gelvar-cli: the monitor on the Qt core event loop, without a display.
#include <QCoreApplication>

#include <unistd.h>

#include <csignal>
#include <clocale>
#include <iostream>

#include "app/qt_timer_host.h"
#include "cli/console_program.h"
#include "cli/console_text.h"
#include "cli/port_list.h"
#include "serial/serial_discovery_qt.h"
#include "serial/serial_port.h"

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) { stopSignal = signal; }

// The first stop signal ends the command cleanly at the next timer message; a second one, should
// that hang, ends the program at once.
void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
  gelvar::CliOptions options;
  std::string error;
  if (!gelvar::ParseCliOptions({argv + 1, argv + argc}, options, error)) {
    std::cerr << "gelvar-cli: " << error << "\nTry 'gelvar-cli --help'.\n";
    return gelvar::kExitUsage;
  }
  if (options.help) {
    std::cout << gelvar::CliUsage();
    return gelvar::kExitDone;
  }
  InstallStopSignals();

  QCoreApplication app(argc, argv);
  // Qt has taken the C library's locale from the environment; numbers and dates in texts and files
  // must not follow it.
  std::setlocale(LC_NUMERIC, "C");
  std::setlocale(LC_TIME, "C");

  gelvar::Console console(std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
  gelvar::QtTimerHost timers;
  gelvar::StdioFileAppender files;
  if (options.command == gelvar::CliCommand::kListPorts) {
    gelvar::QtSerialDiscovery discovery;
    for (const std::string& line : gelvar::PortListLines(discovery.Devices(), options.json)) console.Out(line);
    return gelvar::kExitDone;
  }
  // COM numbers map to devices as in the window program.
  gelvar::QtComMappingStore comMappings;
  gelvar::ComDeviceMap comDevices(&comMappings);
  if (!options.device.empty()) {
    comDevices.UseDevice(options.device);
  } else if (const std::string ignored = comDevices.Load(); !ignored.empty()) {
    console.Err(gelvar::TerminalText(ignored));
  }
  gelvar::ConsoleSerialMessages serialMessages(console);
  // Before the program, which holds it: the port is put back and closed after the pump has stopped.
  gelvar::SerialPort port(serialMessages, comDevices);
  gelvar::ConsoleProgram program(options, timers, port, files, console, [] { return static_cast<int>(stopSignal); });
  program.Start([] { QCoreApplication::quit(); });
  if (!program.Finished()) app.exec();
  return program.ExitStatus();
}
