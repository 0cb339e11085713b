#include "cli/console_view.h"

#include "cli/console_text.h"

namespace gelvar {
namespace {
constexpr const char* kProgram = "gelvar-cli: ";
}  // namespace

void ConsolePumpMessages::ShowMessage(const std::string& text) { console_.Err(kProgram + TerminalText(text)); }

void ConsoleSerialMessages::ShowError(const std::string& caption, const std::string& text, bool) {
  std::string lines = caption + ": ";
  for (char c : text) lines += c == '\n' ? std::string("\n  ") : std::string(1, c);
  console_.Err(lines);
}

}  // namespace gelvar
