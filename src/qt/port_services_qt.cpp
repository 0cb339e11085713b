#include <QCoreApplication>

#include <clocale>

#include "cli/port_services.h"
#include "qt/serial_discovery_qt.h"

namespace gelvar {
namespace {

class QtPortServices : public PortServices {
 public:
  // Qt takes the C library's locale from the environment; numbers and dates must not follow it.
  QtPortServices(int argc, char* argv[]) : argc_(argc), app_(argc_, argv) {
    std::setlocale(LC_NUMERIC, "C");
    std::setlocale(LC_TIME, "C");
  }
  std::vector<SerialDeviceEntry> Devices() override { return discovery_.Devices(); }
  ComMappingStore& ComMappings() override { return comMappings_; }

 private:
  int argc_;  // QCoreApplication keeps a reference to it
  QCoreApplication app_;
  QtSerialDiscovery discovery_;
  QtComMappingStore comMappings_;
};

}  // namespace

std::unique_ptr<PortServices> StartPortServices(int argc, char* argv[]) {
  return std::make_unique<QtPortServices>(argc, argv);
}

}  // namespace gelvar
