#include "core/link/transaction.h"

#include <cstring>

#include "core/link/link_memory.h"
#include "core/link/test_support.h"
#include "core/timing/tick_period.h"

namespace gelvar {

LinkTransaction linkTransaction;

namespace {

constexpr std::int32_t kTriesPerCycle = 3;
constexpr std::int32_t kCycles = 8;
constexpr std::uint32_t kReplyWindowMs = 750;
constexpr std::uint32_t kHoldMs = 2000;

// The counters start as every ended transaction leaves them, so the very first progress shown reads
// like any later one.
struct TransactionRecord {
  std::int32_t state = kTrIdle;
  std::int32_t triesLeft = kTriesPerCycle;
  std::int32_t cyclesLeft = kCycles;
  std::uint32_t window = kReplyWindowMs;
  std::uint32_t hold = 0;
  ObjectRequest request{};
  // The data as started: link_post clears the count it is handed, and a retry must ask the same
  // question again, not a read of the same object.
  std::uint8_t startedCount = 0;
  std::uint8_t startedData[4] = {};
  std::uint32_t number = 0;      // of the transaction in this record
  std::uint32_t lastNumber = 0;  // handed out by the latest Start
};

TransactionRecord tr;

std::uint32_t Period() { return static_cast<std::uint32_t>(tickPeriod); }

// One tick off a budget. The measurement can lengthen the period while a budget runs down; a period
// longer than what is left ends the budget instead of wrapping it round to weeks.
std::uint32_t CountDown(std::uint32_t budget) { return budget > Period() ? budget - Period() : 0; }

void Finish(TransactionState outcome) {
  tr.state = outcome;
  tr.hold = kHoldMs;
}

void Post() {
  tr.request.count = tr.startedCount;
  std::memcpy(tr.request.data, tr.startedData, sizeof tr.startedData);
  if (link_post(&tr.request) == kLinkOk) {
    tr.window = kReplyWindowMs;
    tr.state = kTrWait;
    return;
  }
  if (--tr.triesLeft == 0) {
    Finish(kTrFailed);
  } else {
    tr.state = kTrPost;
  }
}

void Wait() {
  if (link_fetch(&tr.request) != 0) {
    Finish(kTrDone);
    return;
  }
  tr.window = CountDown(tr.window);
  if (tr.window >= Period()) return;
  if (--tr.cyclesLeft == 0) {
    Finish(kTrFailed);
  } else {
    tr.state = kTrRepost;
  }
}

void Hold() {
  tr.triesLeft = kTriesPerCycle;
  tr.cyclesLeft = kCycles;
  tr.window = kReplyWindowMs;
  tr.hold = CountDown(tr.hold);
  if (tr.hold < Period()) tr.state = kTrIdle;
}

void ClearProgress(int* tries, int* cycles, int* ms) {
  if (tries) *tries = 0;
  if (cycles) *cycles = 0;
  if (ms) *ms = 0;
}

}  // namespace

std::int32_t LinkTransaction::Start(std::uint32_t objectId, const ObjectRequest* request, std::uint32_t* number) {
  if (tr.state != kTrIdle) return 0;
  if (++tr.lastNumber == 0) ++tr.lastNumber;
  tr.number = tr.lastNumber;
  if (number) *number = tr.number;
  tr.request.channel = 0;
  tr.request.objectId = objectId;
  tr.request.mask = 0;
  tr.request.count = request ? request->count : 0;
  if (request) std::memcpy(tr.request.data, request->data, sizeof tr.request.data);
  tr.startedCount = tr.request.count;
  std::memcpy(tr.startedData, tr.request.data, sizeof tr.startedData);
  // A reply to object 0 cannot be told from no reply at all: such a request can only fail.
  if (objectId == 0) {
    Finish(kTrFailed);
    return 1;
  }
  tr.state = kTrNew;
  return 1;
}

std::int32_t LinkTransaction::Poll(ObjectRequest* request, int* tries, int* cycles, int* ms) {
  switch (tr.state) {
    case kTrIdle: return kPollIdle;
    case kTrDone:
      *request = tr.request;
      ClearProgress(tries, cycles, ms);
      tr.state = kTrIdle;
      return tr.request.count & 0x0F;
    case kTrFailed:
      ClearProgress(tries, cycles, ms);
      tr.state = kTrIdle;
      return kPollFailed;
    default:
      if (tries) *tries = kTriesPerCycle - tr.triesLeft;
      if (cycles) *cycles = kCycles - tr.cyclesLeft;
      if (ms) *ms = static_cast<int>(kReplyWindowMs - tr.window);
      return kPollBusy;
  }
}

std::int32_t LinkTransaction::Step() {
  switch (tr.state) {
    case kTrNew: tr.cyclesLeft = kCycles; [[fallthrough]];
    case kTrRepost: tr.triesLeft = kTriesPerCycle; [[fallthrough]];
    case kTrPost: Post(); break;
    case kTrWait: Wait(); break;
    case kTrDone:
    case kTrFailed: Hold(); break;
    default: break;
  }
  return tr.state;
}

TransactionState LinkTransaction::State() const { return static_cast<TransactionState>(tr.state); }

std::uint32_t LinkTransaction::CurrentNumber() const { return tr.state == kTrIdle ? 0 : tr.number; }

void ResetLinkStateForTests() {
  linkMemory = LinkMemory{};
  frameNumber = 0;
  link_reset();
  link_error(0, 0);
  tr = TransactionRecord{};
}

}  // namespace gelvar
