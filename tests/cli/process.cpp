#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace gelvar::testing {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Moves what fd has into text; false at end of file.
bool Drain(int fd, std::string& text) {
  char buffer[4096];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
  return n > 0 || (n < 0 && errno == EINTR);
}

void SetEnvironment(const Strings& env) {
  for (const std::string& entry : env) {
    const std::size_t eq = entry.find('=');
    const std::string name = entry.substr(0, eq);
    const std::string value = entry.substr(eq + 1);
    if (value.empty()) {
      ::unsetenv(name.c_str());
    } else {
      ::setenv(name.c_str(), value.c_str(), 1);
    }
  }
}

}  // namespace

Child::Child(const std::string& program, const Strings& args, const Strings& env) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    SetEnvironment(env);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
}

Child::~Child() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) ::close(outFd_);
  if (errFd_ >= 0) ::close(errFd_);
}

std::string Child::ReadLine(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (out_.find('\n') == std::string::npos) {
    pollfd fd{outFd_, POLLIN, 0};
    if (::poll(&fd, 1, RemainingMs(deadline)) <= 0 || !Drain(outFd_, out_)) return {};
  }
  const std::size_t end = out_.find('\n');
  std::string line = out_.substr(0, end);
  out_.erase(0, end + 1);
  return line;
}

void Child::Signal(int signal) const {
  if (pid_ > 0) ::kill(pid_, signal);
}

Outcome Child::Wait(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  Outcome outcome;
  bool outOpen = outFd_ >= 0;
  bool errOpen = errFd_ >= 0;
  while ((outOpen || errOpen) && RemainingMs(deadline) > 0) {
    pollfd fds[2] = {{outOpen ? outFd_ : -1, POLLIN, 0}, {errOpen ? errFd_ : -1, POLLIN, 0}};
    if (::poll(fds, 2, RemainingMs(deadline)) <= 0) continue;
    if (fds[0].revents != 0) outOpen = Drain(outFd_, out_);
    if (fds[1].revents != 0) errOpen = Drain(errFd_, err_);
  }
  int status = 0;
  if (outOpen || errOpen) ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  if (!outOpen && !errOpen) {
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  outcome.out = out_;
  outcome.err = err_;
  return outcome;
}

Outcome RunProgram(const std::string& program, const Strings& args, const Strings& env,
                   std::chrono::milliseconds limit) {
  Child child(program, args, env);
  return child.Wait(limit);
}

}  // namespace gelvar::testing
