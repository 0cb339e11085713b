#include "cli/port_list.h"

#include "cli/console_text.h"

namespace gelvar {

std::vector<std::string> PortListLines(const std::vector<SerialDeviceEntry>& devices, bool json) {
  std::vector<std::string> lines;
  for (const SerialDeviceEntry& device : devices) {
    const std::string path = TerminalText(device.path);
    const std::string description = TerminalText(device.description);
    lines.push_back(json ? JsonObject().String("path", path).String("description", description).Text()
                         : path + "  " + description);
  }
  if (json) return {JsonArray(lines)};
  return lines;
}

}  // namespace gelvar
