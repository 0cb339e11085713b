// gelvar-cli: the monitor without a display, on an event loop of its own.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/console_program.h"
#include "cli/console_text.h"
#include "cli/json_values.h"
#include "cli/mqtt_publisher.h"
#include "cli/port_list.h"
#include "cli/port_services.h"
#include "core/common/file_appender.h"
#include "core/common/standard_streams.h"
#include "core/common/stop_signals.h"
#include "core/serial/serial_port.h"
#include "core/timing/coalesced_timer_host.h"
#include "core/timing/event_loop.h"

namespace {

// True when everything printed reached standard output; closing tells of a write that failed late.
bool CloseStandardOutput() {
  std::cout.flush();
  const bool written = !std::cout.fail() && std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  return gelvar::CloseStandardOutputHandle() && written;
}

// The exit status once standard output is closed: a command whose result is what it prints has
// failed when that could not be written.
int Ended(int status, bool outputIsResult) {
  if (CloseStandardOutput() || !outputIsResult || status == gelvar::kExitPort) return status;
  std::cerr << "gelvar-cli: cannot write standard output\n";
  return gelvar::kExitFile;
}

// A command line refused: why, on standard error, and with --json the document of a failed run once the
// command is known.
int Refused(const gelvar::CliOptions& options, const std::vector<std::string>& messages) {
  for (const std::string& message : messages) std::cerr << message << '\n';
  if (options.json && !options.commandName.empty()) {
    std::cout << gelvar::JsonObject()
                     .String("command", options.commandName)
                     .Raw("error", gelvar::ErrorJson(gelvar::kExitUsage, messages))
                     .Text()
              << '\n';
  }
  return gelvar::kExitUsage;
}

}  // namespace

int main(int argc, char* argv[]) {
  gelvar::HoldClosedStandardStreams();
  // A reader of the output that goes away must not end a run: the write fails instead, and logging
  // goes on.
  gelvar::IgnoreVanishedReaders();
  gelvar::CliOptions options;
  std::string error;
  if (!gelvar::ParseCliOptions({argv + 1, argv + argc}, options, error)) {
    return Refused(options, {"gelvar-cli: " + error, "Try 'gelvar-cli --help'."});
  }
  if (options.help) {
    std::cout << gelvar::CliUsage();
    return Ended(gelvar::kExitDone, true);
  }
  std::string mqttPassword;
  if (!options.mqttUrl.empty() &&
      !gelvar::ReadMqttPassword(options.mqtt, options.mqttPasswordFile, mqttPassword, error)) {
    return Refused(options, {"gelvar-cli: " + error});
  }
  // The first stop signal ends the command cleanly at the next timer message.
  const std::unique_ptr<gelvar::StopSignals> stopSignals = gelvar::CatchStopSignals();
  gelvar::IgnoreFileSizeSignal();

  // For the port list and the stored COM mappings only: the program runs on its own event loop.
  const std::unique_ptr<gelvar::PortServices> ports = gelvar::StartPortServices(argc, argv);

  gelvar::Console console(std::cout, std::cerr, gelvar::StandardErrorIsTerminal());
  const std::unique_ptr<gelvar::EventLoop> loop = gelvar::MakeEventLoop();
  // The tick, the pump and the read cycle share one wake-up every 10 ms instead of one each.
  gelvar::CoalescedTimerHost timers(*loop);
  gelvar::DiskFileAppender files;
  if (options.command == gelvar::CliCommand::kListPorts) {
    for (const std::string& line : gelvar::PortListLines(ports->Devices(), options.json)) console.Out(line);
    return Ended(gelvar::kExitDone, true);
  }
  // COM numbers map to devices as in the window program.
  gelvar::ComDeviceMap comDevices(&ports->ComMappings());
  if (!options.device.empty()) {
    comDevices.UseDevice(options.device);
  } else if (const std::string ignored = comDevices.Load(); !ignored.empty()) {
    console.Err(gelvar::TerminalText(ignored));
  }
  gelvar::ConsoleSerialMessages serialMessages(console);
  // Before the program, which holds it: the port is put back and closed after the pump has stopped.
  gelvar::SerialPort port(serialMessages, comDevices);
  gelvar::ConsoleProgram program(options, timers, port, files, console,
                                 [&stopSignals] { return stopSignals ? stopSignals->Latest() : 0; });
  std::optional<gelvar::MqttPublisher> publisher;
  if (!options.mqttUrl.empty()) {
    publisher.emplace(options, std::move(mqttPassword), program.Core(), timers, console);
    if (options.command == gelvar::CliCommand::kWatch) publisher->onCannotPublish = [&] { program.PublishingFailed(); };
    if (!publisher->Start(error)) {
      return Refused(options, {"gelvar-cli: " + error});
    }
    program.AddListener(*publisher);
  }
  program.Start([&loop] { loop->Quit(); });
  const bool waited = program.Finished() || loop->Run();
  const int waitError = errno;
  if (publisher) publisher->Stop();
  if (!waited) {
    // Not seen in practice (the kernel is out of memory or of file handles): the port can no longer be
    // served.
    console.Err(std::string("gelvar-cli: cannot wait for the port: ") + std::strerror(waitError));
    return gelvar::kExitPort;
  }
  return Ended(program.ExitStatus(), gelvar::OutputIsResult(options.command));
}
