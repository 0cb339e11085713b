#include "fuzz/link_receive_harness.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/ticker.h"
#include "fuzz/script_reader.h"
#include "link/converter.h"
#include "link/driver.h"
#include "link/link_memory.h"
#include "link/test_support.h"
#include "link/transaction.h"
#include "unitsim/unit_codec.h"

namespace gelvar::fuzz {
namespace {

enum LinkOp : std::uint8_t {
  kOpFeedBytes = 0,  // argument + 1 raw bytes from the script
  kOpFeedFrame = 1,  // a frame with a sound checksum (see FeedFrame)
  kOpTicks = 2,      // argument + 1 ticks
  kOpStart = 3,      // LinkTransaction::Start
  kOpPoll = 4,       // LinkTransaction::Poll
  kOpFetch = 5,      // link_fetch with any ID and mask
  kOpPost = 6,       // link_post straight into the queue
  kOpLine = 7,       // line connected or not, or a new tick period
};

constexpr std::int32_t kNormalPeriodMs = 10;
// The measurement gives 10000 ms over the ticks of ten seconds: one tick in ten seconds at most.
constexpr std::uint16_t kLongestPeriodMs = 10000;
// Eight reply windows, the hold and some slack, at 10 ms a tick.
constexpr int kSettleTickLimit = 2000;
constexpr int kProbeTickLimit = 10;
constexpr std::uint32_t kProbeId = 0x0C84;
const std::vector<std::uint8_t> kProbeData{0x12, 0x34, 0x56, 0x78};

// The tick without its measurement: calendar time stands still, so the period stays as the script
// sets it.
class StoppedClock : public TimerHost {
 public:
  TimerId StartTimer(std::int32_t, std::function<void()>) override { return -1; }
  void StopTimer(TimerId) override {}
  std::time_t CalendarTime() const override { return 0; }
};

std::uint8_t QueueFill() {
  std::uint8_t status[4] = {};
  link_status(0, status);
  return status[2];
}

std::uint8_t SlotsInUse() {
  std::uint8_t status[4] = {};
  link_status(0, status);
  return status[3];
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char byte[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(byte, sizeof byte, "%02X ", b);
    text += byte;
  }
  return text;
}

std::string DescribeLink() {
  const DriverRecord& drv = linkMemory.driver;
  const ConverterRecord& conv = linkMemory.converter;
  char text[200];
  std::snprintf(text, sizeof text,
                "driver state %u control %02X rx %u tx %u sum %d; converter state %u timer %u retry %02X "
                "head %u tail %u slots %02X %02X %02X; transaction %d; tick %d ms",
                drv.state, drv.control, drv.rxIndex, drv.txIndex, static_cast<int>(drv.checksum), conv.state,
                conv.timer, conv.retry, conv.head, conv.tail, conv.slotStatus[0], conv.slotStatus[1],
                conv.slotStatus[2], static_cast<int>(linkTransaction.State()), static_cast<int>(tickPeriod));
  return text;
}

const char* BrokenDriverInvariant() {
  const DriverRecord& drv = linkMemory.driver;
  const int left = drv.control & 0x0F;
  if (drv.state < kDriverIdle || drv.state > kDriverReceiving) return "driver state out of range";
  if ((drv.control & 0xC0) != 0) return "driver control bits 6-7 set";
  if (((drv.control & kSendingBit) != 0) != (drv.state == kDriverSending)) return "SENDING bit and state disagree";
  if (drv.state == kDriverIdle && left != 0) return "idle driver with bytes left in a frame";
  if (drv.state == kDriverReceiving && (left < 1 || left > 7)) return "receive count out of range";
  if (left > 8) return "send count out of range";
  if (drv.checksum < 0 || drv.checksum > 255) return "running checksum out of range";
  if (drv.txIndex > sizeof drv.txBuffer || drv.rxIndex > 7) return "buffer index out of range";
  if (linkMemory.txTraceWrite >= kTraceSize || linkMemory.rxTraceWrite >= kTraceSize) return "trace index out of range";
  if (frameNumber < 0 || frameNumber > 99999) return "frame number out of range";
  if (linkMemory.txRegister < -1 || linkMemory.txRegister > 255) return "tx register out of range";
  return nullptr;
}

const char* BrokenSlotInvariant(int slot) {
  const ConverterRecord& conv = linkMemory.converter;
  const std::uint8_t status = conv.slotStatus[slot];
  const std::uint8_t life = status & 0x3F;
  if ((status >> 6) > 2) return "slot data count above 4";
  if (life == 0x3F) return nullptr;
  if (life > 20) return "slot lifetime above 20";
  if (status != 0 && conv.slotIdHigh[slot] > 0x3F) return "checked slot with an ID above 14 bits";
  return nullptr;
}

const char* BrokenConverterInvariant() {
  const ConverterRecord& conv = linkMemory.converter;
  if (conv.state > kConvRecover) return "converter state out of range";
  if (conv.timer > 32) return "converter timer above the frame time limit";
  if (conv.head > 1 || conv.tail > 1) return "queue index out of range";
  if ((conv.retry & 0x70) != 0 || (conv.retry & 0x0F) >= 4) return "retry byte malformed";
  if ((conv.retry & 0x80) != 0 && conv.head != conv.tail) return "queue full with head and tail apart";
  for (int entry = 0; entry < 2; ++entry) {
    if (conv.queueCount[entry] > 4 || conv.queueId[entry] > 0x3FFF) return "queue entry malformed";
  }
  for (int slot = 0; slot < 3; ++slot) {
    if (const char* broken = BrokenSlotInvariant(slot)) return broken;
  }
  if (link_last_error().errorClass != 0) return "the converter met an impossible state";
  if (linkTransaction.State() < kTrIdle || linkTransaction.State() > kTrFailed) return "transaction state out of range";
  return nullptr;
}

// A reply as the stack hands it back: 0, 2 or 4 data bytes, the rest zero.
bool ReplyWellFormed(const ObjectRequest& reply) {
  const int count = reply.count & 0x0F;
  if (count != 0 && count != 2 && count != 4) return false;
  return std::all_of(reply.data + count, reply.data + 4, [](std::uint8_t b) { return b == 0; });
}

// A fetched reply is one of the checked replies that were waiting, under the ID it was fetched with.
bool FetchedFromSlot(const ConverterRecord& before, int id, const ObjectRequest& reply) {
  for (int slot = 0; slot < 3; ++slot) {
    const std::uint8_t life = before.slotStatus[slot] & 0x3F;
    const int count = 2 * (before.slotStatus[slot] >> 6);
    if (life == 0 || life == 0x3F || before.slotIdHigh[slot] * 256 + before.slotIdLow[slot] != id) continue;
    if ((reply.count & 0x0F) == count && std::equal(reply.data, reply.data + count, before.slotData[slot])) {
      return true;
    }
  }
  return false;
}

class LinkRun {
 public:
  LinkRun(const std::uint8_t* data, std::size_t size) : script_(data, size), ticker_(clock_) {}

  std::string Run() {
    ResetLinkStateForTests();
    tickPeriod = kNormalPeriodMs;
    StartLink();
    linkMemory.txRegister = -1;  // as the byte pump leaves it when it opens the port
    while (!script_.AtEnd() && fault_.empty()) {
      RunOp(ScriptOp(script_.Byte()));
      CheckInvariants();
    }
    if (fault_.empty()) Settle();
    if (fault_.empty()) Probe();
    return fault_;
  }

 private:
  void Fail(const std::string& what) {
    if (fault_.empty()) fault_ = what + " (" + DescribeLink() + ")";
  }

  void CheckInvariants() {
    const char* broken = BrokenDriverInvariant();
    if (!broken) broken = BrokenConverterInvariant();
    if (broken) Fail(broken);
  }

  void RunOp(ScriptOp op) {
    switch (op.code) {
      case kOpFeedBytes:
        for (int i = 0; i <= op.argument && !script_.AtEnd(); ++i) FeedByte(script_.Byte());
        return;
      case kOpFeedFrame: FeedFrame(op.argument); return;
      case kOpTicks:
        for (int i = 0; i <= op.argument && fault_.empty(); ++i) Tick();
        return;
      case kOpStart: Start(op.argument); return;
      case kOpPoll: Poll(); return;
      case kOpFetch: Fetch(); return;
      case kOpPost: Post(op.argument); return;
      default: SetLine(op.argument); return;
    }
  }

  static void FeedByte(std::uint8_t b) {
    linkMemory.rxRegister = b;
    drv_rx_byte(0);
  }

  // The byte pump's send half: every byte the driver has ready goes out at once.
  void Pump() {
    while (linkMemory.txRegister >= 0) {
      sent_.push_back(static_cast<std::uint8_t>(linkMemory.txRegister));
      linkMemory.txRegister = -1;
      drv_tx_next(0);
    }
  }

  void Tick() {
    ticker_.Tick();
    if (lineConnected_) Pump();
    CheckInvariants();
  }

  // 0, 2 or 4 data bytes after the ID, and a checksum that fits, so that scripts reach the reply slots
  // without guessing sums. Argument bit 4 sends the ID word as the script has it, parity and all;
  // otherwise the word is encoded from its low 14 bits.
  void FeedFrame(std::uint8_t argument) {
    const std::uint16_t word = script_.Word();
    std::vector<std::uint8_t> data(2 * (argument % 3));
    for (auto& b : data) b = script_.Byte();
    std::vector<std::uint8_t> frame = unitsim::EncodeFrame(word & 0x3FFF, data);
    if (argument & 0x10) {
      frame[1] = static_cast<std::uint8_t>(word >> 8);
      frame[2] = static_cast<std::uint8_t>(word);
      frame.back() = unitsim::ChecksumOf(frame.data(), frame.size() - 1);
    }
    for (std::uint8_t b : frame) FeedByte(b);
  }

  // ID word first, then four data bytes; the argument is the count byte.
  ObjectRequest ReadRequest(std::uint8_t count) {
    ObjectRequest request{};
    request.objectId = script_.Word();
    request.count = count;
    for (auto& b : request.data) b = script_.Byte();
    return request;
  }

  // Argument bit 4 starts without a request record (a plain read).
  void Start(std::uint8_t argument) {
    const ObjectRequest request = ReadRequest(argument & 0x0F);
    const bool busy = linkTransaction.State() != kTrIdle;
    const std::int32_t started = linkTransaction.Start(request.objectId, (argument & 0x10) ? nullptr : &request);
    if (started != (busy ? 0 : 1)) Fail("Start answered " + std::to_string(started));
  }

  void Poll() {
    const TransactionState before = linkTransaction.State();
    ObjectRequest reply{};
    int tries = -1;
    int cycles = -1;
    int ms = -1;
    const std::int32_t result = linkTransaction.Poll(&reply, &tries, &cycles, &ms);
    const bool ended = before == kTrDone || before == kTrFailed;
    bool sound;
    switch (before) {
      case kTrIdle: sound = result == kPollIdle; break;
      case kTrDone: sound = result == (reply.count & 0x0F) && ReplyWellFormed(reply); break;
      case kTrFailed: sound = result == kPollFailed; break;
      default: {
        // Until its first step a new transaction shows the counters as the last one left them.
        const int fresh = before == kTrNew ? 1 : 0;
        sound = result == kPollBusy && tries >= 0 && tries < 3 + fresh && cycles >= 0 && cycles < 8 + fresh &&
                ms >= 0 && ms <= 750;
      }
    }
    if (ended && (tries != 0 || cycles != 0 || ms != 0)) sound = false;
    if (!sound) {
      Fail("Poll answered " + std::to_string(result) + " with progress " + std::to_string(tries) + "/" +
           std::to_string(cycles) + "/" + std::to_string(ms));
    }
  }

  void Fetch() {
    ObjectRequest request{};
    request.objectId = script_.Word();
    request.mask = script_.Byte();
    const std::uint32_t wanted = request.objectId;
    const ConverterRecord before = linkMemory.converter;
    const int id = link_fetch(&request);
    if (id == 0) return;
    const bool matches = id > 0 && (id >> 8) == static_cast<int>(wanted >> 8) &&
                         ((static_cast<std::uint32_t>(id) ^ wanted) & 0xFF & ~std::uint32_t{request.mask}) == 0;
    if (!matches || !ReplyWellFormed(request) || !FetchedFromSlot(before, id, request)) {
      Fail("link_fetch handed back object " + std::to_string(id));
    }
  }

  void Post(std::uint8_t argument) {
    ObjectRequest request = ReadRequest(argument);
    const bool full = QueueFill() == 2;
    const std::uint8_t result = link_post(&request);
    if (result != (full ? kLinkRefused : kLinkOk)) Fail("link_post answered " + std::to_string(result));
  }

  // Argument bit 4 takes a tick period from the script; otherwise bit 0 connects the line
  // (and the pump runs at once) or cuts it (the driver's bytes stay in the tx register).
  void SetLine(std::uint8_t argument) {
    if (argument & 0x10) {
      tickPeriod = script_.Word() % (kLongestPeriodMs + 1);
      return;
    }
    lineConnected_ = (argument & 1) != 0;
    if (lineConnected_) Pump();
  }

  bool AtRest() const {
    return linkTransaction.State() == kTrIdle && linkMemory.converter.state == kConvIdle &&
           linkMemory.driver.state == kDriverIdle && (linkMemory.driver.control & kFrameReady) == 0 &&
           QueueFill() == 0 && SlotsInUse() == 0;
  }

  // A quiet line brings every layer back to rest: the transaction ends and its outcome is dropped,
  // queued requests go out, replies expire, a frame cut half-way is aborted.
  void Settle() {
    tickPeriod = kNormalPeriodMs;
    lineConnected_ = true;
    Pump();
    for (int i = 0; i < kSettleTickLimit && !AtRest() && fault_.empty(); ++i) Tick();
    if (!AtRest()) Fail("the stack did not come to rest on a quiet line");
  }

  // A plain read answered at once, the way the unit builds its replies.
  void Probe() {
    sent_.clear();
    if (linkTransaction.Start(kProbeId, nullptr) != 1) return Fail("Start refused at rest");
    for (int i = 0; i < kProbeTickLimit && sent_.size() < 4 && fault_.empty(); ++i) Tick();
    unitsim::FrameDecoder decoder;
    std::optional<unitsim::DecodedFrame> request;
    for (std::uint8_t b : sent_) request = decoder.Feed(b, 0);
    if (sent_.size() != 4 || !request || request->objectId != kProbeId || !request->data.empty()) {
      return Fail("the read went out as " + Hex(sent_));
    }
    for (std::uint8_t b : unitsim::EncodeFrame(kProbeId, kProbeData)) FeedByte(b);
    ObjectRequest reply{};
    std::int32_t result = kPollBusy;
    for (int i = 0; i < kProbeTickLimit && result == kPollBusy && fault_.empty(); ++i) {
      Tick();
      result = linkTransaction.Poll(&reply, nullptr, nullptr, nullptr);
    }
    if (result != 4 || !std::equal(kProbeData.begin(), kProbeData.end(), reply.data)) {
      Fail("the read after the script ended with " + std::to_string(result));
    }
  }

  ScriptReader script_;
  StoppedClock clock_;
  Ticker ticker_;
  bool lineConnected_ = true;
  std::vector<std::uint8_t> sent_;
  std::string fault_;
};

}  // namespace

std::string RunLinkReceiveScript(const std::uint8_t* data, std::size_t size) {
  return LinkRun(data, size).Run();
}

}  // namespace gelvar::fuzz
