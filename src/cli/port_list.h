// What `gelvar-cli ports` prints: the serial devices present.
#pragma once

#include <string>
#include <vector>

#include "core/serial/com_devices.h"

namespace gelvar {

// One line per device, "path  description"; with json one line holding an array of objects with
// "path" and "description".
std::vector<std::string> PortListLines(const std::vector<SerialDeviceEntry>& devices, bool json);

}  // namespace gelvar
