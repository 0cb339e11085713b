// The byte pump between the link driver and the line: tx register to the port (or a P-t file), the
// port (or a P-r file) to the driver, and the Tx/Rx trace texts. Runs at every protocol window
// timer message and whenever the port has bytes waiting; owns channel 0's line state and the trace
// rings' read indexes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "core/line/line_port.h"
#include "core/timing/timer_host.h"

namespace gelvar {

struct Link;

// Where the pump's messages go ("Fehler Öffnen: ...", "Fehler Buffer: ...").
class PumpMessages {
 public:
  virtual ~PumpMessages() = default;
  virtual void ShowMessage(const std::string& text) = 0;  // Windows-1252
};

enum LineFileKind { kLineFileTx = 1, kLineFileRx = 2 };

inline constexpr std::size_t kTracePaneLimit = 4095;
// A note of the pump's own in the trace texts (the port lost, reopened) opens its line with this
// mark, where a frame opens its line with its number.
inline constexpr const char* kTraceNoteMark = "*** ";
// While the port's device is gone, the pump tries to reopen it this often.
inline constexpr std::int32_t kReopenIntervalMs = 1000;
// The most bytes one step reads from the port: a line that never falls silent must not hold the
// thread, and as a byte writes at most two trace entries, a step that reads the traces at its end
// never lets the driver overrun them.
inline constexpr int kReceiveQuota = 127;

std::string HexByte(int value);

// One direction's trace, read from the driver's ring, in two forms.
class TraceText {
 public:
  // As the Windows program's pane held it: "\r\n" and the frame's number before each frame, its bytes
  // as they are (or in hex), "]" after it; cut to its last kTracePaneLimit characters.
  const std::string& Text() const { return text_; }
  // The same as a pane shows it: one frame (or note) per line, lines separated by "\n", and every
  // byte legible in any font: a byte without a glyph of its own, and "<", as a hex escape "<1B>". Cut
  // to whole lines of at most kTracePaneLimit characters.
  const std::string& PaneLines() const { return pane_; }
  void Clear();

 private:
  friend class BytePump;
  void StartLine(const std::string& head);
  void Append(const std::string& legible);
  void AppendByte(std::uint8_t byte);
  void KeepTail();

  std::string text_;
  std::string pane_;
};

class BytePump {
 public:
  BytePump(Link& link, LinePort& port, PumpMessages& messages) : link_(link), port_(port), messages_(messages) {}
  ~BytePump();

  int OpenChannel(int channel, int portNumber);  // 1 opened, 0 not
  void CloseChannel(int channel);
  void OpenLineFile(int kind, int channel, const std::string& fileName);
  void CloseLineFile(int kind, int channel);

  // Runs the pump on host until StopRunning: the timer step at the window timer period, and the
  // receive step whenever the port has bytes waiting (then the timer step leaves the port alone). Start it after the
  // tick, so that a frame the tick starts leaves at once and a quick reply is in its slot by the next tick. onChanged
  // follows a timer step that has new trace text to show.
  void Run(TimerHost& host, std::function<void()> onChanged);
  void StopRunning();

  // One timer message's work; true when a trace text changed since the last one (the window then
  // refreshes).
  bool Pump();
  // The port's waiting bytes, at most kReceiveQuota, between timer messages; true when a trace text
  // changed. Does nothing while ArrivalHandle is -1.
  bool Receive();
  // The handle to watch for arriving bytes; -1 while the port is read only at the timer: no port, its
  // device lost, or a P-r file in use (whose bytes come first).
  std::intptr_t ArrivalHandle() const;

  // Told once when the open port's device goes, and once when the pump has reopened it.
  void SetLineObserver(LineObserver* observer) { observer_ = observer; }
  bool LineLost() const { return lineLost_; }

  TraceText& Tx() { return tx_; }
  TraceText& Rx() { return rx_; }
  void SetHex(bool hex) { hex_ = hex; }
  int ComNumber() const { return comNumber_; }
  int LineFileFlags() const { return lineFileFlags_; }

 private:
  // Notices the port's device going and, while it is gone, tries to reopen it; true when a note
  // went into the traces.
  bool WatchLine();
  void AddTraceNote(const std::string& text);
  void ReadPort();
  // Reads both trace rings; true when either had something new.
  bool ReadTraces();
  bool ReadTrace(const std::int32_t* ring, std::uint8_t& readIndex, std::uint8_t writeIndex, TraceText& trace) const;
  // Watches the port's present arrival handle, if the host can.
  void FollowArrivals();

  Link& link_;
  LinePort& port_;
  PumpMessages& messages_;
  LineObserver* observer_ = nullptr;
  std::FILE* ptFile_ = nullptr;
  std::FILE* prFile_ = nullptr;
  int lineFileFlags_ = 0;
  int comNumber_ = -1;
  bool lineLost_ = false;
  std::int32_t reopenCountdown_ = 0;
  bool hex_ = false;
  bool unshown_ = false;  // receive steps have changed a trace since the last timer step
  TraceText tx_;
  TraceText rx_;

  TimerHost* host_ = nullptr;
  std::function<void()> onChanged_;
  TimerId timer_ = -1;
  TimerId watch_ = -1;
  std::intptr_t watched_ = -1;
};

}  // namespace gelvar
