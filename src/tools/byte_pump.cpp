#include "tools/byte_pump.h"

#include "app/ticker.h"
#include "common/c_format.h"
#include "link/driver.h"
#include "link/link_memory.h"

namespace gelvar {
namespace {

constexpr std::uint8_t kChannel = 0;
constexpr int kBaudRate = 19200;
constexpr int kByteSize = 8;
constexpr int kOneStopBit = 0;
constexpr int kNoParity = 0;

// Hands every byte the driver has ready to write(), one at a time; a whole frame leaves in one go.
template <typename Write>
void DrainTxRegister(Write write) {
  while (linkMemory.txRegister >= 0) {
    const auto b = static_cast<std::uint8_t>(linkMemory.txRegister);
    linkMemory.txRegister = -1;
    write(b);
    drv_tx_next(kChannel);
  }
}

void FeedRx(int b) {
  linkMemory.rxRegister = b;
  drv_rx_byte(kChannel);
}

void KeepTail(std::string& text) {
  if (text.size() > kTracePaneLimit) text.erase(0, text.size() - kTracePaneLimit);
}

}  // namespace

std::string HexByte(int value) {
  static const char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(value >> 4) & 0x0F], kDigits[value & 0x0F]};
}

BytePump::~BytePump() {
  CloseLineFile(kLineFileTx, kChannel);
  CloseLineFile(kLineFileRx, kChannel);
}

int BytePump::OpenChannel(int channel, int portNumber) {
  if (channel != kChannel) return 0;
  if (port_.Open(portNumber, kBaudRate, kByteSize, kOneStopBit, kNoParity) == 0) return 0;
  linkMemory.txRegister = -1;
  comNumber_ = portNumber;
  lineLost_ = false;
  return 1;
}

void BytePump::CloseChannel(int channel) {
  if (channel != kChannel) return;
  port_.Close();
  comNumber_ = -1;
  lineLost_ = false;
}

void BytePump::OpenLineFile(int kind, int channel, const std::string& fileName) {
  if (channel != kChannel || (kind != kLineFileTx && kind != kLineFileRx)) return;
  CloseLineFile(kind, channel);
  std::FILE* file = std::fopen(fileName.c_str(), kind == kLineFileTx ? "wb" : "rb");
  if (file == nullptr) {
    messages_.ShowMessage("Fehler \xD6" "ffnen: " + fileName);
    return;
  }
  linkMemory.txRegister = -1;
  if (std::setvbuf(file, nullptr, _IONBF, 0) != 0) {
    messages_.ShowMessage("Fehler Buffer: " + fileName);
    std::fclose(file);
    return;
  }
  (kind == kLineFileTx ? ptFile_ : prFile_) = file;
  lineFileFlags_ |= kind;
}

void BytePump::CloseLineFile(int kind, int channel) {
  if (channel != kChannel || (kind != kLineFileTx && kind != kLineFileRx)) return;
  std::FILE*& file = kind == kLineFileTx ? ptFile_ : prFile_;
  if (file != nullptr) std::fclose(file);
  file = nullptr;
  lineFileFlags_ &= ~kind;
}

bool BytePump::Pump() {
  const bool noted = comNumber_ >= 0 && WatchLine();
  if (lineFileFlags_ & kLineFileTx) {
    DrainTxRegister([this](std::uint8_t b) { std::fputc(b, ptFile_); });
    std::fflush(ptFile_);
  }
  // While the device is gone the frames still leave the driver, into nothing, as on a dead line.
  if (comNumber_ >= 0) {
    DrainTxRegister([this](std::uint8_t b) { port_.Write(&b, 1); });
  }
  if (lineFileFlags_ & kLineFileRx) {
    for (int c = std::fgetc(prFile_); c != EOF; c = std::fgetc(prFile_)) FeedRx(c);
    // Bytes appended later by another writer are read at a later timer message.
    std::clearerr(prFile_);
  }
  if (comNumber_ >= 0) {
    std::uint8_t b;
    while (port_.Read(&b, 1) > 0) FeedRx(b);
  }
  const bool txChanged = ReadTrace(linkMemory.txTrace, linkMemory.txTraceRead, linkMemory.txTraceWrite, txText_);
  const bool rxChanged = ReadTrace(linkMemory.rxTrace, linkMemory.rxTraceRead, linkMemory.rxTraceWrite, rxText_);
  if (!noted && !txChanged && !rxChanged) return false;
  KeepTail(txText_);
  KeepTail(rxText_);
  return true;
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
  reopenCountdown_ -= windowTimerPeriod;
  if (reopenCountdown_ > 0) return false;
  reopenCountdown_ = kReopenIntervalMs;
  if (port_.Reopen() == 0) return false;
  lineLost_ = false;
  AddTraceNote("reopened");
  if (observer_ != nullptr) observer_->LineBack(comNumber_);
  return true;
}

void BytePump::AddTraceNote(const std::string& text) {
  const std::string note = kTraceNoteMark + CFormat("COM%d ", comNumber_) + text;
  txText_ += note;
  rxText_ += note;
}

bool BytePump::ReadTrace(const std::int32_t* ring, std::uint8_t& readIndex, std::uint8_t writeIndex,
                         std::string& text) const {
  bool changed = false;
  while (readIndex != writeIndex) {
    const std::int32_t entry = ring[readIndex];
    readIndex = static_cast<std::uint8_t>(readIndex >= kTraceSize - 1 ? 0 : readIndex + 1);
    changed = true;
    if (entry < 0) {
      text += "\r\n" + CFormat("%04d-%1d[", -entry, kChannel);
    } else if (entry == kTraceEndOfFrame) {
      text += ']';
    } else if (hex_) {
      text += HexByte(entry) + " ";
    } else {
      text += static_cast<char>(entry);
    }
  }
  return changed;
}

}  // namespace gelvar
