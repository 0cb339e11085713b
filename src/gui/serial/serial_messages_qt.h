// The serial port's error boxes as Qt message boxes without an owner window.
#pragma once

#include "core/serial/serial_port.h"

namespace gelvar {

class QtSerialMessages : public SerialMessages {
 public:
  void ShowError(const std::string& caption, const std::string& text, bool warning) override;
};

}  // namespace gelvar
