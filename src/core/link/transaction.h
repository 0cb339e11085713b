// One request/reply exchange at a time on top of the converter: post, watch the reply slots for
// 750 ms, post again, give up after eight windows, hold the outcome until the caller collects it.
#pragma once

#include <cstdint>

#include "core/link/converter.h"

namespace gelvar {

enum TransactionState : std::int32_t {
  kTrIdle = 0,
  kTrNew = 1,
  kTrPost = 2,
  kTrRepost = 3,
  kTrWait = 4,
  kTrDone = 5,
  kTrFailed = 6,
};

struct Link;

inline constexpr int kPollBusy = -1;
inline constexpr int kPollIdle = -2;
inline constexpr int kPollFailed = -3;

inline constexpr std::int32_t kTriesPerCycle = 3;  // refused posts within one reply window that fail the request
inline constexpr std::int32_t kReplyWindows = 8;   // reply windows without a reply that fail the request
inline constexpr std::uint32_t kReplyWindowMs = 750;

// What the transaction keeps between ticks, in its link. The counters start as every ended transaction
// leaves them, so the very first progress shown reads like any later one.
struct TransactionRecord {
  std::int32_t state = kTrIdle;
  std::int32_t triesLeft = kTriesPerCycle;
  std::int32_t cyclesLeft = kReplyWindows;
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

// The one transaction of a link, as its users work it: every LinkTransaction over the same link is the
// same transaction.
class LinkTransaction {
 public:
  explicit LinkTransaction(Link& link);

  // 1 started, 0 busy. Data count and bytes are taken from request when given. A started transaction
  // gets a number of its own, never 0, handed out through number when given.
  std::int32_t Start(std::uint32_t objectId, const ObjectRequest* request, std::uint32_t* number = nullptr);
  // -1 busy (progress filled), -2 idle, -3 failed, or the reply's data count with the reply copied.
  std::int32_t Poll(ObjectRequest* request, int* tries, int* cycles, int* ms);
  std::int32_t Step();

  TransactionState State() const;
  // The number of the transaction running or waiting to be collected; 0 when idle. The transaction
  // has no owner: a caller that may have missed its own outcome compares this with its number first.
  std::uint32_t CurrentNumber() const;

 private:
  // One tick off a budget, in the link's present tick period.
  std::uint32_t CountDown(std::uint32_t budget) const;
  std::uint32_t Period() const;
  void Finish(TransactionState outcome);
  void Post();
  void Wait();
  void Hold();

  Link& link_;
  TransactionRecord& tr_;  // the link's
};

}  // namespace gelvar
