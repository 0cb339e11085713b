// The stop signals on Windows: the console's control events, which the system hands to a handler on a
// thread of its own. Ctrl-C and Ctrl-Break stop the program as SIGINT does on Linux; the console
// closing, the user logging off and the system shutting down as SIGHUP does. For those three Windows
// ends the process once the handler returns, so the handler holds it until the program has put the port
// back (or until Windows' own grace of five seconds runs out).
#include <windows.h>

#include <atomic>
#include <csignal>

#include "core/common/stop_signals.h"

namespace gelvar {
namespace {

constexpr int kInterrupt = SIGINT;
constexpr int kHangUp = 1;  // SIGHUP's number on Linux, which Windows' C library lacks
constexpr DWORD kGraceMs = 4500;
constexpr DWORD kKindCount = CTRL_SHUTDOWN_EVENT + 1;

// What the handler may touch: it runs on a thread of the system's while the program goes on.
std::atomic<int> latestSignal{0};
std::atomic<bool> caught[kKindCount];
HANDLE arrivalEvent = nullptr;
HANDLE endedEvent = nullptr;

BOOL WINAPI OnControlEvent(DWORD kind) {
  if (kind >= kKindCount || caught[kind].exchange(true)) return FALSE;  // the default: the process ends
  const bool ending = kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT;
  latestSignal = ending ? kHangUp : kInterrupt;
  ::SetEvent(arrivalEvent);
  if (ending) ::WaitForSingleObject(endedEvent, kGraceMs);
  return TRUE;
}

class WindowsStopSignals : public StopSignals {
 public:
  WindowsStopSignals() {
    latestSignal = 0;
    for (std::atomic<bool>& kind : caught) kind = false;
    ::SetConsoleCtrlHandler(&OnControlEvent, TRUE);
  }
  ~WindowsStopSignals() override {
    ::SetConsoleCtrlHandler(&OnControlEvent, FALSE);
    ::SetEvent(endedEvent);
  }
  WindowsStopSignals(const WindowsStopSignals&) = delete;
  WindowsStopSignals& operator=(const WindowsStopSignals&) = delete;

  int Latest() const override { return latestSignal; }
  std::intptr_t ArrivalHandle() const override { return reinterpret_cast<std::intptr_t>(arrivalEvent); }
  void Take() override { ::ResetEvent(arrivalEvent); }
};

}  // namespace

std::unique_ptr<StopSignals> CatchStopSignals() {
  // Made once and kept: a handler still waiting when the object has gone must find them.
  if (arrivalEvent == nullptr) arrivalEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (endedEvent == nullptr) endedEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (arrivalEvent == nullptr || endedEvent == nullptr) return nullptr;
  ::ResetEvent(arrivalEvent);
  ::ResetEvent(endedEvent);
  return std::make_unique<WindowsStopSignals>();
}

}  // namespace gelvar
