// gelvar-unit-sim: a simulated detector unit on a pseudo-terminal or a serial device, for trying
// the monitor without the hardware.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "unitsim/pty_server.h"
#include "unitsim/sim_options.h"
#include "unitsim/unit_model.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadArguments = 2;

int Complain(const std::string& message, int status) {
  std::cerr << "gelvar-unit-sim: " << message << '\n';
  return status;
}

int Serve(const gelvar::unitsim::SimOptions& options) {
  using namespace gelvar::unitsim;
  std::string error;
  const auto line = options.ttyDevice.empty() ? ServedLine::OpenPseudoTerminal(error)
                                              : ServedLine::OpenSerialDevice(options.ttyDevice, error);
  if (!line) return Complain(error, kExitFailure);
  std::unique_ptr<DeviceLink> link;
  if (!options.linkPath.empty()) {
    link = DeviceLink::Create(options.linkPath, line->DevicePath(), error);
    if (!link) return Complain(error, kExitFailure);
  }
  // Before the path goes out, so that whoever reads it may stop us at once.
  const auto stop = StopSignals::Install(error);
  if (!stop) return Complain(error, kExitFailure);

  if (options.printPathOnly) {
    std::cout << line->DevicePath() << std::endl;
  } else {
    std::cout << "gelvar-unit-sim: serving " << line->DevicePath() << '\n';
    if (link) std::cout << "gelvar-unit-sim: link " << options.linkPath << " -> " << line->DevicePath() << '\n';
    std::cout.flush();
  }

  UnitModel unit(options.seed);
  unit.Faults() = options.faults;
  UnitServer server(*line, unit, options.verbose ? &std::cerr : nullptr);
  for (;;) {
    switch (server.ServeOnce(stop->Fd())) {
      case UnitServer::Outcome::kServing: break;
      case UnitServer::Outcome::kStopped: return 0;
      case UnitServer::Outcome::kFailed: return Complain(server.Error(), kExitFailure);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  gelvar::unitsim::SimOptions options;
  std::string error;
  if (!gelvar::unitsim::ParseSimOptions({argv + 1, argv + argc}, options, error)) {
    return Complain(error + "\nTry 'gelvar-unit-sim --help'.", kExitBadArguments);
  }
  if (options.help) {
    std::cout << gelvar::unitsim::SimUsage();
    return 0;
  }
  return Serve(options);
}
