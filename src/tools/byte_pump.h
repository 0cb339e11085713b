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

  std::string& TxText() { return txText_; }
  std::string& RxText() { return rxText_; }
  void SetHex(bool hex) { hex_ = hex; }
  int ComNumber() const { return comNumber_; }
  int LineFileFlags() const { return lineFileFlags_; }

 private:
  bool ReadTrace(const std::int32_t* ring, std::uint8_t& readIndex, std::uint8_t writeIndex,
                 std::string& text) const;

  LinePort& port_;
  PumpMessages& messages_;
  std::FILE* ptFile_ = nullptr;
  std::FILE* prFile_ = nullptr;
  int lineFileFlags_ = 0;
  int comNumber_ = -1;
  bool hex_ = false;
  std::string txText_;
  std::string rxText_;
};

}  // namespace gelvar
