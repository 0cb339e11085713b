#include "cli/console_view.h"

#include "cli/console_text.h"

namespace gelvar {
namespace {
constexpr const char* kProgram = "gelvar-cli: ";
}  // namespace

void ConsoleSensorView::Refresh() {
  const std::string& pane = test_.logText;
  if (pane == shown_) return;
  // Entries go on top; "Read Recorded Data" empties the pane first, and then all of it is new.
  const bool kept = pane.size() > shown_.size() && pane.ends_with(shown_);
  const std::string added = kept ? pane.substr(0, pane.size() - shown_.size()) : pane;
  shown_ = pane;
  if (added.size() < 2 || !onEntry) return;
  onEntry(added.substr(0, added.size() - 2));  // without the CR LF that follows each entry
}

void ConsoleSensorView::Alert(const std::string& text, AlertIcon icon) {
  ++alerts_;
  if (icon == AlertIcon::kQuestion) ++fileAlerts_;
  console_.Err(kProgram + TerminalText(text));
}

bool ConsoleSensorView::ChooseSaveFile(const std::string&, const std::string&, std::string& path) {
  if (!file_) return false;
  path = *file_;
  file_.reset();
  return true;
}

void ConsolePumpMessages::ShowMessage(const std::string& text) { console_.Err(kProgram + TerminalText(text)); }

void ConsoleSerialMessages::ShowError(const std::string& caption, const std::string& text, bool) {
  std::string lines = caption + ": ";
  for (char c : text) lines += c == '\n' ? std::string("\n  ") : std::string(1, c);
  console_.Err(lines);
}

}  // namespace gelvar
