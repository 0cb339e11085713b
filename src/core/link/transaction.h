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

inline constexpr int kPollBusy = -1;
inline constexpr int kPollIdle = -2;
inline constexpr int kPollFailed = -3;

class LinkTransaction {
 public:
  virtual ~LinkTransaction() = default;

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
};

extern LinkTransaction linkTransaction;

}  // namespace gelvar
