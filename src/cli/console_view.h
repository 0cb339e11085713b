// The byte pump's and the serial port's boxes for a console: lines on standard error.
#pragma once

#include <string>

#include "cli/console.h"
#include "core/line/byte_pump.h"
#include "core/serial/serial_port.h"

namespace gelvar {

class ConsolePumpMessages : public PumpMessages {
 public:
  explicit ConsolePumpMessages(Console& console) : console_(console) {}
  void ShowMessage(const std::string& text) override;

 private:
  Console& console_;
};

// The serial port's error boxes as lines: caption, then the box's text.
class ConsoleSerialMessages : public SerialMessages {
 public:
  explicit ConsoleSerialMessages(Console& console) : console_(console) {}
  void ShowError(const std::string& caption, const std::string& text, bool warning) override;

 private:
  Console& console_;
};

}  // namespace gelvar
