// gelvar-cli: the monitor on the Qt core event loop, without a display.
#include <QCoreApplication>

#include <unistd.h>

#include <csignal>
#include <clocale>
#include <iostream>
#include <optional>

#include "app/qt_timer_host.h"
#include "cli/console_program.h"
#include "cli/mqtt_publisher.h"
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
  std::string mqttPassword;
  if (!options.mqttUrl.empty() && !gelvar::ReadMqttPassword(options.mqtt, options.mqttPasswordFile, mqttPassword, error)) {
    std::cerr << "gelvar-cli: " << error << "\n";
    return gelvar::kExitUsage;
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
  gelvar::ConsoleSerialMessages serialMessages(console);
  // Before the program, which holds it: the port is put back and closed after the pump has stopped.
  gelvar::SerialPort port(serialMessages);
  gelvar::ConsoleProgram program(options, timers, port, files, console, [] { return static_cast<int>(stopSignal); });
  std::optional<gelvar::MqttPublisher> publisher;
  if (!options.mqttUrl.empty()) {
    publisher.emplace(options, std::move(mqttPassword), program.Controller(), timers, console);
    if (options.command == gelvar::CliCommand::kWatch) publisher->onCannotPublish = [&] { program.PublishingFailed(); };
    if (!publisher->Start(error)) {
      console.Err("gelvar-cli: " + error);
      return gelvar::kExitUsage;
    }
    program.AlsoTell(&*publisher);
  }
  program.Start([] { QCoreApplication::quit(); });
  if (!program.Finished()) app.exec();
  if (publisher) publisher->Stop();
  return program.ExitStatus();
}
