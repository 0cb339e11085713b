// The byte pump between the link driver and the line: tx register to the port (or a P-t file), the
// port (or a P-r file) to the rx register, and the Tx/Rx trace texts. Runs at every protocol window
// timer message; owns channel 0's line state and the trace rings' read indexes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/line_port.h"

namespace gelvar {

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
inline constexpr const char* kTraceNoteMark = "\r\n*** ";
// While the port's device is gone, the pump tries to reopen it this often.
inline constexpr std::int32_t kReopenIntervalMs = 1000;

std::string HexByte(int value);

class BytePump {
 public:
  BytePump(LinePort& port, PumpMessages& messages) : port_(port), messages_(messages) {}
  ~BytePump();

  int OpenChannel(int channel, int portNumber);  // 1 opened, 0 not
  void CloseChannel(int channel);
  void OpenLineFile(int kind, int channel, const std::string& fileName);
  void CloseLineFile(int kind, int channel);

  // One timer message's work; true when a trace text changed (the window then refreshes).
  bool Pump();

  // Told once when the open port's device goes, and once when the pump has reopened it.
  void SetLineObserver(LineObserver* observer) { observer_ = observer; }
  bool LineLost() const { return lineLost_; }

  std::string& TxText() { return txText_; }
  std::string& RxText() { return rxText_; }
  void SetHex(bool hex) { hex_ = hex; }
  int ComNumber() const { return comNumber_; }
  int LineFileFlags() const { return lineFileFlags_; }

 private:
  // Notices the port's device going and, while it is gone, tries to reopen it; true when a note
  // went into the traces.
  bool WatchLine();
  void AddTraceNote(const std::string& text);
  bool ReadTrace(const std::int32_t* ring, std::uint8_t& readIndex, std::uint8_t writeIndex,
                 std::string& text) const;

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
  std::string txText_;
  std::string rxText_;
};

}  // namespace gelvar
