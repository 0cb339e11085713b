#include "cli/console_view.h"

#include "cli/console_text.h"

namespace gelvar {
namespace {
constexpr const char* kProgram = "gelvar-cli: ";
constexpr const char* kLineBreak = "\r\n";
}  // namespace

bool ConsoleView::AskOkCancel(const std::string& text, BoxIcon, DefaultButton) {
  console_.Err(kProgram + TerminalText(text) + (confirm_ ? " OK (--yes)" : " Cancelled (no --yes)"));
  declined_ = declined_ || !confirm_;
  return confirm_;
}

bool ConsoleView::AskNumber(const std::string&, int& value) {
  if (!number_) return false;
  value = *number_;
  number_.reset();
  return true;
}

bool ConsoleView::ChooseFile(FileDialogKind, const std::string&, const std::string&, std::string& path) {
  if (!file_) return false;
  path = *file_;
  file_.reset();
  return true;
}

void ConsoleView::Alert(const std::string& text, BoxIcon) {
  ++alerts_;
  console_.Err(kProgram + TerminalText(text));
}

void ConsoleView::PlayTones(int, int, int, int) {
  if (controller_ == nullptr) return;
  const std::string& pane = controller_->MessageText();
  console_.Err(TerminalText(pane.substr(0, pane.find(kLineBreak))));
}

void ConsoleView::RunSensorTest() {
  if (onRunSensorTest) onRunSensorTest();
}

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
