#include <algorithm>
#include <vector>

#include "core/link/converter.h"
#include "core/link/driver.h"
#include "core/link/link.h"
#include "core/tick/ticker.h"
#include "fuzz/harnesses.h"
#include "support/virtual_scheduler.h"
#include "unitsim/unit_codec.h"

namespace gelvar::fuzz {
namespace {

// The measurement gives 10000 ms over the ticks of ten seconds: one tick in ten seconds at most.
constexpr std::uint16_t kLongestPeriodMs = 10000;
// Eight reply windows, the hold and some slack, at 10 ms a tick.
constexpr int kSettleTickLimit = 2000;
constexpr std::uint32_t kProbeId = 0x0C84;
const std::vector<std::uint8_t> kProbeData{0x12, 0x34, 0x56, 0x78};

// What no script may bring about. Indexes that would run past their arrays are the sanitizers' part.
const char* BrokenInvariant(const Link& link) {
  const DriverRecord& drv = link.memory.driver;
  const ConverterRecord& conv = link.memory.converter;
  const int left = drv.control & 0x0F;
  if (((drv.control & kSendingBit) != 0) != (drv.state == kDriverSending)) return "SENDING bit and state disagree";
  if (drv.state == kDriverIdle && left != 0) return "idle driver with bytes left in a frame";
  if (drv.state == kDriverReceiving && (left < 1 || left > 7)) return "receive count out of range";
  if (link.frameNumber < 0 || link.frameNumber > 99999) return "frame number out of range";
  if ((conv.retry & 0x0F) >= 4) return "a fifth try";
  if ((conv.retry & 0x80) != 0 && conv.head != conv.tail) return "queue full with head and tail apart";
  for (const std::uint8_t status : conv.slotStatus)
    if ((status & 0x3F) > 20 && (status & 0x3F) != 0x3F) return "slot lifetime above 20";
  if (link_last_error(link).errorClass != 0) return "the converter met an impossible state";
  return nullptr;
}

// A reply as the stack hands it back: 0, 2 or 4 data bytes, the rest zero.
bool ReplyWellFormed(const ObjectRequest& reply) {
  const int count = reply.count & 0x0F;
  return count % 2 == 0 && count <= 4 && std::all_of(reply.data + count, reply.data + 4, [](int b) { return b == 0; });
}

// A fetched reply is one of the checked replies that were waiting, under an ID the fetch asked for.
bool FetchedFromSlot(const ConverterRecord& before, const ObjectRequest& asked, int id, const ObjectRequest& reply) {
  // The two IDs may differ only in the low bits the mask names.
  if (id < 0 || ((static_cast<std::uint32_t>(id) ^ asked.objectId) & ~std::uint32_t{asked.mask}) != 0) return false;
  for (int slot = 0; slot < 3; ++slot) {
    const int life = before.slotStatus[slot] & 0x3F, count = 2 * (before.slotStatus[slot] >> 6);
    if (life != 0 && life != 0x3F && before.slotIdHigh[slot] * 256 + before.slotIdLow[slot] == id &&
        (reply.count & 0x0F) == count && std::equal(reply.data, reply.data + count, before.slotData[slot])) {
      return ReplyWellFormed(reply);
    }
  }
  return false;
}

class LinkRun {
 public:
  LinkRun(const std::uint8_t* data, std::size_t size) : script_{data, size}, ticker_(link_, clock_) {}

  std::string Run() {
    StartLink(link_);
    link_.memory.txRegister = -1;  // as the byte pump leaves it when it opens the port
    while (!script_.AtEnd() && fault_.empty()) {
      RunOp(script_.Byte());
      if (const char* broken = BrokenInvariant(link_)) Fail(broken);
    }
    if (fault_.empty()) SettleAndRead();
    return fault_;
  }

 private:
  void Fail(const std::string& what) {
    if (fault_.empty()) fault_ = what + " (transaction state " + std::to_string(transaction_.State()) + ")";
  }

  void RunOp(std::uint8_t control) {
    const std::uint8_t argument = control & 0x1F;
    switch (control >> 5) {
      case 0:  // argument + 1 raw bytes
        for (int i = 0; i <= argument && !script_.AtEnd(); ++i) FeedByte(script_.Byte());
        return;
      case 1: FeedFrame(argument); return;
      case 2:  // argument + 1 ticks
        for (int i = 0; i <= argument && fault_.empty(); ++i) Tick();
        return;
      case 3: Start(argument); return;
      case 4: Poll(); return;
      case 5: Fetch(); return;
      case 6: Post(argument); return;
      default: SetLine(argument); return;
    }
  }

  void FeedByte(std::uint8_t b) { drv_rx_byte(link_, 0, b); }

  // The byte pump's send half: every byte the driver has ready goes out at once.
  void Pump() {
    for (; link_.memory.txRegister >= 0; drv_tx_next(link_, 0)) {
      sent_.push_back(static_cast<std::uint8_t>(link_.memory.txRegister));
      link_.memory.txRegister = -1;
    }
  }

  void Tick() {
    ticker_.Tick();
    if (lineConnected_) Pump();
    if (const char* broken = BrokenInvariant(link_)) Fail(broken);
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
    ObjectRequest request{0, count, script_.Word(), 0, {}};
    for (auto& b : request.data) b = script_.Byte();
    return request;
  }

  // Argument bit 4 starts without a request record (a plain read).
  void Start(std::uint8_t argument) {
    const ObjectRequest request = ReadRequest(argument & 0x0F);
    transaction_.Start(request.objectId, (argument & 0x10) ? nullptr : &request);
  }

  // Busy shows progress within its bounds (a new transaction, until its first step, the last one's);
  // every other answer fits the state and shows no progress.
  void Poll() {
    const TransactionState before = transaction_.State();
    ObjectRequest reply{};
    int tries = -1, cycles = -1, ms = -1;
    const std::int32_t result = transaction_.Poll(&reply, &tries, &cycles, &ms);
    const int fresh = before == kTrNew;
    const bool sound = result == kPollBusy ? before >= kTrNew && before <= kTrWait && tries >= 0 && tries < 3 + fresh &&
                                                 cycles >= 0 && cycles < 8 + fresh && ms >= 0 && ms <= 750
                       : before == kTrIdle ? result == kPollIdle
                       : before == kTrDone ? result == (reply.count & 0x0F) && ReplyWellFormed(reply)
                                           : before == kTrFailed && result == kPollFailed;
    if (!sound || (result != kPollBusy && before != kTrIdle && (tries != 0 || cycles != 0 || ms != 0)))
      Fail("Poll answered " + std::to_string(result) + " in state " + std::to_string(before));
  }

  void Fetch() {
    const ObjectRequest asked{0, 0, script_.Word(), script_.Byte(), {}};  // the ID word, then the mask
    const ConverterRecord before = link_.memory.converter;
    ObjectRequest reply = asked;
    const int id = link_fetch(link_, &reply);
    if (id != 0 && !FetchedFromSlot(before, asked, id, reply))
      Fail("link_fetch handed back object " + std::to_string(id));
  }

  void Post(std::uint8_t argument) {
    ObjectRequest request = ReadRequest(argument);
    link_post(link_, &request);
  }

  // Argument bit 4 takes a tick period from the script; otherwise bit 0 connects the line
  // (and the pump runs at once) or cuts it (the driver's bytes stay in the tx register).
  void SetLine(std::uint8_t argument) {
    if (argument & 0x10) {
      link_.periods.tick = script_.Word() % (kLongestPeriodMs + 1);
      return;
    }
    lineConnected_ = (argument & 1) != 0;
    if (lineConnected_) Pump();
  }

  bool AtRest() const {
    std::uint8_t status[4] = {};  // queue fill at 2, slots in use at 3
    link_status(link_, 0, status);
    return transaction_.State() == kTrIdle && link_.memory.converter.state == kConvIdle &&
           link_.memory.driver.state == kDriverIdle && (link_.memory.driver.control & kFrameReady) == 0 &&
           status[2] == 0 && status[3] == 0;
  }

  // A quiet line brings every layer back to rest: the transaction ends and its outcome is dropped,
  // queued requests go out, replies expire, a frame cut half-way is aborted. Then a plain read goes out
  // as one frame and its reply, given at once, is handed back.
  void SettleAndRead() {
    link_.periods.tick = 10;
    SetLine(1);
    for (int i = 0; i < kSettleTickLimit && !AtRest() && fault_.empty(); ++i) Tick();
    if (!AtRest()) return Fail("the stack did not come to rest on a quiet line");
    sent_.clear();
    if (transaction_.Start(kProbeId, nullptr) != 1) return Fail("Start refused at rest");
    for (int i = 0; i < 10 && sent_.size() < 4 && fault_.empty(); ++i) Tick();
    if (sent_ != unitsim::EncodeFrame(kProbeId, {})) return Fail("the read went out wrong");
    for (std::uint8_t b : unitsim::EncodeFrame(kProbeId, kProbeData)) FeedByte(b);
    ObjectRequest reply{};
    std::int32_t result = kPollBusy;
    for (int i = 0; i < 10 && result == kPollBusy && fault_.empty(); ++i) {
      Tick();
      result = transaction_.Poll(&reply, nullptr, nullptr, nullptr);
    }
    if (result != 4 || !std::equal(kProbeData.begin(), kProbeData.end(), reply.data))
      Fail("the read after the script ended with " + std::to_string(result));
  }

  ScriptReader script_;
  Link link_;
  LinkTransaction transaction_{link_};
  testing::VirtualScheduler clock_;  // never advanced: the period stays as the script sets it
  Ticker ticker_;
  bool lineConnected_ = true;
  std::vector<std::uint8_t> sent_;
  std::string fault_;
};

}  // namespace

std::string RunLinkReceiveScript(const std::uint8_t* data, std::size_t size) { return LinkRun(data, size).Run(); }

}  // namespace gelvar::fuzz
