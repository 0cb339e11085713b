#include "support/virtual_link.h"

#include "link/test_support.h"

namespace gelvar::testing {

VirtualLink::VirtualLink(std::int32_t tickPeriodMs, bool openPort)
    : line_(unit_, [this] { return scheduler_.NowMs(); }), pump_(line_, messages_), ticker_(scheduler_) {
  ResetLinkStateForTests();
  // As at program start: the tick, then the protocol window's pump, then the link opened.
  ticker_.Start(tickPeriodMs);
  pump_.Run(scheduler_, {});
  StartLink();
  if (openPort) pump_.OpenChannel(0, 1);
}

VirtualLink::~VirtualLink() {
  pump_.CloseChannel(0);
  ticker_.Stop();
  pump_.StopRunning();
}

}  // namespace gelvar::testing
