#include "support/virtual_link.h"

#include "link/test_support.h"

namespace gelvar::testing {

VirtualLink::VirtualLink(std::int32_t tickPeriodMs, bool openPort)
    : line_(unit_, [this] { return scheduler_.NowMs(); }), pump_(line_, messages_), ticker_(scheduler_) {
  ResetLinkStateForTests();
  // As at program start: the protocol window's pump timer first, then the tick, then the link opened.
  pumpTimer_ = scheduler_.StartTimer(tickPeriodMs, [this] { pump_.Pump(); });
  ticker_.Start(tickPeriodMs);
  StartLink();
  if (openPort) pump_.OpenChannel(0, 1);
}

VirtualLink::~VirtualLink() {
  pump_.CloseChannel(0);
  ticker_.Stop();
  scheduler_.StopTimer(pumpTimer_);
}

}  // namespace gelvar::testing
