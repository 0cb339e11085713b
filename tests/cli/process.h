// Child processes for the program tests: a command with its own environment, its output taken
// through pipes, and a time limit.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace gelvar::testing {

using Strings = std::vector<std::string>;

struct Outcome {
  int status = -1;  // exit status; 128 + n after signal n; -1 when the time limit ended it
  std::string out;
  std::string err;
};

class Child {
 public:
  // env: "NAME=value" entries added to this process's environment ("NAME=" removes NAME).
  Child(const std::string& program, const Strings& args, const Strings& env = {});
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  // The first line on standard output, without its line end; empty when none comes in time.
  std::string ReadLine(std::chrono::milliseconds limit);
  void Signal(int signal) const;
  // Collects both outputs until the child has closed them, then its status.
  Outcome Wait(std::chrono::milliseconds limit);

 private:
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string out_;
  std::string err_;
};

Outcome RunProgram(const std::string& program, const Strings& args, const Strings& env = {},
                   std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace gelvar::testing
