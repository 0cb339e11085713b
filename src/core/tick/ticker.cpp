#include "core/tick/ticker.h"

#include <algorithm>

#include "core/link/converter.h"
#include "core/link/driver.h"
#include "core/link/link.h"

namespace gelvar {

namespace {
constexpr std::int32_t kMeasureMs = 10000;
// A longer gap between two ticks is time the process did not run (stopped, suspended), not a slow tick.
constexpr std::int64_t kLongestTickGapMs = 1000;
constexpr std::int32_t kShortestPeriodMs = 1;
}  // namespace

Ticker::~Ticker() { Stop(); }

void Ticker::Start(std::int32_t startPeriodMs) {
  link_.periods = {startPeriodMs, startPeriodMs};
  Stop();
  timer_ = host_.StartTimer(startPeriodMs, [this] { Tick(); });
  intervalStartMs_ = lastTickMs_ = host_.MonotonicMs();
  tickCount_ = 0;
}

void Ticker::Stop() {
  if (timer_ < 0) return;
  host_.StopTimer(timer_);
  timer_ = -1;
}

void Ticker::Tick() {
  const std::int64_t now = host_.MonotonicMs();
  if (now - lastTickMs_ > kLongestTickGapMs) {
    // The interval starts afresh: counted against the link's windows, the time the process did not
    // run would make the period too long for the next ten seconds.
    intervalStartMs_ = now;
    tickCount_ = 0;
  } else {
    ++tickCount_;
    if (now - intervalStartMs_ >= kMeasureMs) Measure(now);
  }
  lastTickMs_ = now;
  link_step(link_);
  link_build_frame(link_);
  link_check_slots(link_);
  link_timer(link_, static_cast<std::uint32_t>(link_.periods.tick));
  transaction_.Step();
}

void Ticker::Measure(std::int64_t now) {
  link_.periods.tick = std::max(kShortestPeriodMs, kMeasureMs / tickCount_);
  intervalStartMs_ = now;
  if (observer_) observer_(link_.periods.tick, tickCount_);
  tickCount_ = 0;
}

void StartLink(Link& link) {
  drv_clear(link);
  link_reset(link);
  link_open(link, 0);
}

}  // namespace gelvar
