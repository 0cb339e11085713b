#include "core/line/byte_pump.h"

#include <utility>

#include "core/common/c_format.h"
#include "core/link/driver.h"
#include "core/link/link.h"

namespace gelvar {
namespace {

constexpr std::uint8_t kChannel = 0;
constexpr int kBaudRate = 19200;
constexpr int kByteSize = 8;
constexpr int kOneStopBit = 0;
constexpr int kNoParity = 0;

// Hands every byte the driver has ready to write(), one at a time; a whole frame leaves in one go.
template <typename Write>
void DrainTxRegister(Link& link, Write write) {
  while (link.memory.txRegister >= 0) {
    const auto b = static_cast<std::uint8_t>(link.memory.txRegister);
    link.memory.txRegister = -1;
    write(b);
    drv_tx_next(link, kChannel);
  }
}

void KeepTail(std::string& text) {
  if (text.size() > kTracePaneLimit) text.erase(0, text.size() - kTracePaneLimit);
}

// Bytes that read as themselves whatever the font: printable ASCII and the Latin-1 letters and signs
// (Windows-1252 agrees with Latin-1 there). "<" opens an escape, so it is escaped itself.
bool ShowsAsItself(std::uint8_t byte) {
  return (byte >= 0x20 && byte <= 0x7E && byte != '<') || (byte >= 0xA1 && byte != 0xAD);
}

// Where to cut text so that it keeps at most `limit` characters: at a line start, or within the last
// line when that alone is longer, but never inside an escape.
std::size_t PaneCut(const std::string& text, std::size_t limit) {
  const std::size_t cut = text.size() - limit;
  if (text[cut - 1] == '\n') return cut;
  const std::size_t lineEnd = text.find('\n', cut);
  if (lineEnd != std::string::npos) return lineEnd + 1;
  // An escape is "<", two digits and ">", and nothing else holds a "<".
  constexpr std::size_t kEscapeLength = 4;
  for (std::size_t back = 1; back < kEscapeLength && back <= cut; ++back) {
    if (text[cut - back] == '<') return cut - back + kEscapeLength;
  }
  return cut;
}

}  // namespace

std::string HexByte(int value) {
  static const char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(value >> 4) & 0x0F], kDigits[value & 0x0F]};
}

void TraceText::Clear() {
  text_.clear();
  pane_.clear();
}

void TraceText::StartLine(const std::string& head) {
  text_ += "\r\n" + head;
  if (!pane_.empty()) pane_ += '\n';
  pane_ += head;
}

void TraceText::Append(const std::string& legible) {
  text_ += legible;
  pane_ += legible;
}

void TraceText::AppendByte(std::uint8_t byte) {
  text_ += static_cast<char>(byte);
  if (ShowsAsItself(byte)) {
    pane_ += static_cast<char>(byte);
  } else {
    pane_ += '<' + HexByte(byte) + '>';
  }
}

void TraceText::KeepTail() {
  gelvar::KeepTail(text_);
  if (pane_.size() > kTracePaneLimit) pane_.erase(0, PaneCut(pane_, kTracePaneLimit));
}

BytePump::~BytePump() {
  StopRunning();
  CloseLineFile(kLineFileTx, kChannel);
  CloseLineFile(kLineFileRx, kChannel);
}

int BytePump::OpenChannel(int channel, int portNumber) {
  if (channel != kChannel) return 0;
  if (port_.Open(portNumber, kBaudRate, kByteSize, kOneStopBit, kNoParity) == 0) return 0;
  link_.memory.txRegister = -1;
  comNumber_ = portNumber;
  lineLost_ = false;
  FollowArrivals();
  return 1;
}

void BytePump::CloseChannel(int channel) {
  if (channel != kChannel) return;
  port_.Close();
  comNumber_ = -1;
  lineLost_ = false;
  FollowArrivals();
}

void BytePump::OpenLineFile(int kind, int channel, const std::string& fileName) {
  if (channel != kChannel || (kind != kLineFileTx && kind != kLineFileRx)) return;
  CloseLineFile(kind, channel);
  std::FILE* file = std::fopen(fileName.c_str(), kind == kLineFileTx ? "wb" : "rb");
  if (file == nullptr) {
    messages_.ShowMessage("Fehler \326ffnen: " + fileName);  // \326: capital O umlaut
    return;
  }
  link_.memory.txRegister = -1;
  if (std::setvbuf(file, nullptr, _IONBF, 0) != 0) {
    messages_.ShowMessage("Fehler Buffer: " + fileName);
    std::fclose(file);
    return;
  }
  (kind == kLineFileTx ? ptFile_ : prFile_) = file;
  lineFileFlags_ |= kind;
  FollowArrivals();
}

void BytePump::CloseLineFile(int kind, int channel) {
  if (channel != kChannel || (kind != kLineFileTx && kind != kLineFileRx)) return;
  std::FILE*& file = kind == kLineFileTx ? ptFile_ : prFile_;
  if (file != nullptr) std::fclose(file);
  file = nullptr;
  lineFileFlags_ &= ~kind;
  FollowArrivals();
}

void BytePump::Run(TimerHost& host, std::function<void()> onChanged) {
  if (host_ != nullptr) return;
  host_ = &host;
  onChanged_ = std::move(onChanged);
  timer_ = host.StartTimer(link_.periods.windowTimer, [this] {
    const bool changed = Pump();
    FollowArrivals();
    if (changed && onChanged_) onChanged_();
  });
  FollowArrivals();
}

void BytePump::StopRunning() {
  if (host_ == nullptr) return;
  host_->StopTimer(timer_);
  if (watch_ >= 0) host_->StopWatch(watch_);
  timer_ = watch_ = -1;
  watched_ = -1;
  host_ = nullptr;
}

bool BytePump::Pump() {
  const bool noted = comNumber_ >= 0 && WatchLine();
  if (lineFileFlags_ & kLineFileTx) {
    DrainTxRegister(link_, [this](std::uint8_t b) { std::fputc(b, ptFile_); });
    std::fflush(ptFile_);
  }
  // While the device is gone the frames still leave the driver, into nothing, as on a dead line.
  if (comNumber_ >= 0) {
    // The driver still hands the bytes over one at a time; a frame leaves in one write.
    std::uint8_t frame[64];
    int length = 0;
    DrainTxRegister(link_, [&](std::uint8_t b) {
      if (length == static_cast<int>(sizeof frame)) {
        port_.Write(frame, length);
        length = 0;
      }
      frame[length++] = b;
    });
    port_.Write(frame, length);
  }
  if (lineFileFlags_ & kLineFileRx) {
    for (int c = std::fgetc(prFile_); c != EOF; c = std::fgetc(prFile_)) {
      drv_rx_byte(link_, kChannel, static_cast<std::uint8_t>(c));
    }
    // Bytes appended later by another writer are read at a later timer message. A seek, not clearerr:
    // Windows' C library still answers end of file after clearerr until the stream is positioned.
    std::fseek(prFile_, 0, SEEK_CUR);
  }
  // A watched port is read as its bytes arrive; at the timer, only a port nobody watches.
  if (comNumber_ >= 0 && watch_ < 0) ReadPort();
  const bool traced = ReadTraces();
  if (noted && !traced) {
    tx_.KeepTail();
    rx_.KeepTail();
  }
  const bool changed = noted || traced || unshown_;
  unshown_ = false;
  return changed;
}

bool BytePump::Receive() {
  if (ArrivalHandle() < 0) return false;
  ReadPort();
  if (!ReadTraces()) return false;
  unshown_ = true;
  return true;
}

std::intptr_t BytePump::ArrivalHandle() const {
  if (comNumber_ < 0 || (lineFileFlags_ & kLineFileRx) != 0) return -1;
  return port_.ArrivalHandle();
}

void BytePump::ReadPort() {
  std::uint8_t bytes[kReceiveQuota];
  const int count = port_.Read(bytes, kReceiveQuota);
  for (int i = 0; i < count; ++i) drv_rx_byte(link_, kChannel, bytes[i]);
}

bool BytePump::ReadTraces() {
  LinkMemory& memory = link_.memory;
  const bool txChanged = ReadTrace(memory.txTrace, memory.txTraceRead, memory.txTraceWrite, tx_);
  const bool rxChanged = ReadTrace(memory.rxTrace, memory.rxTraceRead, memory.rxTraceWrite, rx_);
  if (!txChanged && !rxChanged) return false;
  tx_.KeepTail();
  rx_.KeepTail();
  return true;
}

void BytePump::FollowArrivals() {
  if (host_ == nullptr) return;
  const std::intptr_t handle = ArrivalHandle();
  if (handle == watched_) return;
  if (watch_ >= 0) host_->StopWatch(watch_);
  watch_ = -1;
  watched_ = handle;
  if (handle < 0) return;
  watch_ = host_->WatchReadable(handle, [this] {
    Receive();
    // A read that found the device gone has closed the handle.
    FollowArrivals();
  });
}

bool BytePump::WatchLine() {
  if (!lineLost_) {
    if (!port_.Lost()) return false;
    // Shown once per loss, however many transfers fail while the device is away.
    lineLost_ = true;
    reopenCountdown_ = kReopenIntervalMs;
    AddTraceNote("lost");
    if (observer_ != nullptr) observer_->LineLost(comNumber_);
    return true;
  }
  // Reopening is a system call or two: a modest rate is enough to catch a device coming back.
  reopenCountdown_ -= link_.periods.windowTimer;
  if (reopenCountdown_ > 0) return false;
  reopenCountdown_ = kReopenIntervalMs;
  if (port_.Reopen() == 0) return false;
  lineLost_ = false;
  AddTraceNote("reopened");
  if (observer_ != nullptr) observer_->LineBack(comNumber_);
  return true;
}

void BytePump::AddTraceNote(const std::string& text) {
  const std::string note = CFormat("COM%d ", comNumber_) + text;
  tx_.StartLine(kTraceNoteMark + note);
  rx_.StartLine(kTraceNoteMark + note);
}

bool BytePump::ReadTrace(const std::int32_t* ring, std::uint8_t& readIndex, std::uint8_t writeIndex,
                         TraceText& trace) const {
  bool changed = false;
  while (readIndex != writeIndex) {
    const std::int32_t entry = ring[readIndex];
    readIndex = static_cast<std::uint8_t>(readIndex >= kTraceSize - 1 ? 0 : readIndex + 1);
    changed = true;
    if (entry < 0) {
      trace.StartLine(CFormat("%04d-%1d[", -entry, kChannel));
    } else if (entry == kTraceEndOfFrame) {
      trace.Append("]");
    } else if (hex_) {
      trace.Append(HexByte(entry) + " ");
    } else {
      trace.AppendByte(static_cast<std::uint8_t>(entry));
    }
  }
  return changed;
}

}  // namespace gelvar
