// Where gelvar-cli writes: values to standard output, messages to standard error, and on a terminal
// one progress line at the bottom of standard error that other lines never mix with.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace gelvar {

class Console {
 public:
  // showProgress: standard error is a terminal.
  Console(std::ostream& out, std::ostream& err, bool showProgress)
      : out_(out), err_(err), showProgress_(showProgress) {}

  // One line (UTF-8, without its line end) each; both reach the stream at once.
  void Out(const std::string& line) { Write(out_, line); }
  void Err(const std::string& line);
  // True once a line could not be written to the output (its reader gone, a full disk): the lines
  // after it are dropped.
  bool OutLost() const { return out_.fail(); }
  // Replaces the progress line; empty removes it.
  void Progress(const std::string& text);
  // From now on the lines for standard error are kept as well, for a JSON document to repeat them.
  void KeepErrLines() { keepErrLines_ = true; }
  const std::vector<std::string>& ErrLines() const { return errLines_; }

 private:
  void Write(std::ostream& stream, const std::string& line);
  void EraseProgress();

  std::ostream& out_;
  std::ostream& err_;
  bool showProgress_;
  std::string progress_;
  bool keepErrLines_ = false;
  std::vector<std::string> errLines_;
};

// "what  done/total [####------]"; just "what" while the total is not known (0).
std::string ProgressText(const std::string& what, int done, int total);

}  // namespace gelvar
