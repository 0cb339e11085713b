#include "cli/console.h"

#include <algorithm>

namespace gelvar {
namespace {
constexpr int kBarWidth = 20;
constexpr const char* kEraseLine = "\r\x1b[K";
}  // namespace

void Console::Progress(const std::string& text) {
  if (!showProgress_ || text == progress_) return;
  EraseProgress();
  progress_ = text;
  if (!progress_.empty()) err_ << progress_ << std::flush;
}

void Console::Err(const std::string& line) {
  if (keepErrLines_) errLines_.push_back(line);
  Write(err_, line);
}

void Console::Write(std::ostream& stream, const std::string& line) {
  EraseProgress();
  stream << line << '\n' << std::flush;
  if (!progress_.empty()) err_ << progress_ << std::flush;
}

void Console::EraseProgress() {
  if (!progress_.empty()) err_ << kEraseLine << std::flush;
}

std::string ProgressText(const std::string& what, int done, int total) {
  if (total <= 0) return what;
  const int shown = std::clamp(done, 0, total);
  const int filled = shown * kBarWidth / total;
  return what + "  " + std::to_string(shown) + "/" + std::to_string(total) + " [" + std::string(filled, '#') +
         std::string(kBarWidth - filled, '-') + "]";
}

}  // namespace gelvar
