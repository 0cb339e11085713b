// What gelvar-cli asks of the system about serial ports beyond the port itself: the devices present and
// the file of the chosen COM devices. Qt gives both on Linux (port_services_qt.cpp); Windows its own
// calls (os/port_services_windows.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/serial/com_devices.h"

namespace gelvar {

class PortServices {
 public:
  virtual ~PortServices() = default;
  virtual std::vector<SerialDeviceEntry> Devices() = 0;
  virtual ComMappingStore& ComMappings() = 0;
};

// Made once, after the command line is read. Numbers and dates in texts and files keep the C
// locale whatever the services set up.
std::unique_ptr<PortServices> StartPortServices(int argc, char* argv[]);

}  // namespace gelvar
