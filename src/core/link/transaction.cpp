#include "core/link/transaction.h"

#include <cstring>

#include "core/link/link.h"

namespace gelvar {
namespace {

constexpr std::uint32_t kHoldMs = 2000;

void ClearProgress(int* tries, int* cycles, int* ms) {
  if (tries) *tries = 0;
  if (cycles) *cycles = 0;
  if (ms) *ms = 0;
}

}  // namespace

LinkTransaction::LinkTransaction(Link& link) : link_(link), tr_(link.transaction) {}

std::uint32_t LinkTransaction::Period() const { return static_cast<std::uint32_t>(link_.periods.tick); }

// The measurement can lengthen the period while a budget runs down; a period longer than what is left
// ends the budget instead of wrapping it round to weeks.
std::uint32_t LinkTransaction::CountDown(std::uint32_t budget) const {
  return budget > Period() ? budget - Period() : 0;
}

void LinkTransaction::Finish(TransactionState outcome) {
  tr_.state = outcome;
  tr_.hold = kHoldMs;
}

void LinkTransaction::Post() {
  tr_.request.count = tr_.startedCount;
  std::memcpy(tr_.request.data, tr_.startedData, sizeof tr_.startedData);
  if (link_post(link_, &tr_.request) == kLinkOk) {
    tr_.window = kReplyWindowMs;
    tr_.state = kTrWait;
    return;
  }
  if (--tr_.triesLeft == 0) {
    Finish(kTrFailed);
  } else {
    tr_.state = kTrPost;
  }
}

void LinkTransaction::Wait() {
  if (link_fetch(link_, &tr_.request) != 0) {
    Finish(kTrDone);
    return;
  }
  tr_.window = CountDown(tr_.window);
  if (tr_.window >= Period()) return;
  if (--tr_.cyclesLeft == 0) {
    Finish(kTrFailed);
  } else {
    tr_.state = kTrRepost;
  }
}

void LinkTransaction::Hold() {
  tr_.triesLeft = kTriesPerCycle;
  tr_.cyclesLeft = kReplyWindows;
  tr_.window = kReplyWindowMs;
  tr_.hold = CountDown(tr_.hold);
  if (tr_.hold < Period()) tr_.state = kTrIdle;
}

std::int32_t LinkTransaction::Start(std::uint32_t objectId, const ObjectRequest* request, std::uint32_t* number) {
  if (tr_.state != kTrIdle) return 0;
  if (++tr_.lastNumber == 0) ++tr_.lastNumber;
  tr_.number = tr_.lastNumber;
  if (number) *number = tr_.number;
  tr_.request.channel = 0;
  tr_.request.objectId = objectId;
  tr_.request.mask = 0;
  tr_.request.count = request ? request->count : 0;
  if (request) std::memcpy(tr_.request.data, request->data, sizeof tr_.request.data);
  tr_.startedCount = tr_.request.count;
  std::memcpy(tr_.startedData, tr_.request.data, sizeof tr_.startedData);
  // A reply to object 0 cannot be told from no reply at all: such a request can only fail.
  if (objectId == 0) {
    Finish(kTrFailed);
    return 1;
  }
  tr_.state = kTrNew;
  return 1;
}

std::int32_t LinkTransaction::Poll(ObjectRequest* request, int* tries, int* cycles, int* ms) {
  switch (tr_.state) {
    case kTrIdle: return kPollIdle;
    case kTrDone:
      *request = tr_.request;
      ClearProgress(tries, cycles, ms);
      tr_.state = kTrIdle;
      return tr_.request.count & 0x0F;
    case kTrFailed:
      ClearProgress(tries, cycles, ms);
      tr_.state = kTrIdle;
      return kPollFailed;
    default:
      if (tries) *tries = kTriesPerCycle - tr_.triesLeft;
      if (cycles) *cycles = kReplyWindows - tr_.cyclesLeft;
      if (ms) *ms = static_cast<int>(kReplyWindowMs - tr_.window);
      return kPollBusy;
  }
}

std::int32_t LinkTransaction::Step() {
  switch (tr_.state) {
    case kTrNew: tr_.cyclesLeft = kReplyWindows; [[fallthrough]];
    case kTrRepost: tr_.triesLeft = kTriesPerCycle; [[fallthrough]];
    case kTrPost: Post(); break;
    case kTrWait: Wait(); break;
    case kTrDone:
    case kTrFailed: Hold(); break;
    default: break;
  }
  return tr_.state;
}

TransactionState LinkTransaction::State() const { return static_cast<TransactionState>(tr_.state); }

std::uint32_t LinkTransaction::CurrentNumber() const { return tr_.state == kTrIdle ? 0 : tr_.number; }

}  // namespace gelvar
