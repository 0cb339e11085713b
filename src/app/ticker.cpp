#include "app/ticker.h"

#include "link/converter.h"
#include "link/driver.h"
#include "link/transaction.h"

namespace gelvar {

std::int32_t tickPeriod;
std::int32_t windowTimerPeriod;

namespace {
constexpr double kMeasureSeconds = 10.0;
constexpr std::int32_t kMeasureMs = 10000;
}  // namespace

Ticker::~Ticker() { Stop(); }

void Ticker::Start(std::int32_t startPeriodMs) {
  tickPeriod = startPeriodMs;
  windowTimerPeriod = startPeriodMs;
  Stop();
  timer_ = host_.StartTimer(tickPeriod, [this] { Tick(); });
  intervalStart_ = host_.CalendarTime();
  tickCount_ = 0;
}

void Ticker::Stop() {
  if (timer_ < 0) return;
  host_.StopTimer(timer_);
  timer_ = -1;
}

void Ticker::Tick() {
  ++tickCount_;
  const std::time_t now = host_.CalendarTime();
  // Whole calendar seconds are coarse, but over ten seconds the error stays below a tenth.
  if (static_cast<double>(now - intervalStart_) >= kMeasureSeconds) {
    tickPeriod = kMeasureMs / tickCount_;
    intervalStart_ = host_.CalendarTime();
    if (observer_) observer_(tickPeriod, tickCount_);
    tickCount_ = 0;
  }
  link_step();
  link_build_frame();
  link_check_slots();
  link_timer(static_cast<std::uint32_t>(tickPeriod));
  linkTransaction.Step();
}

void StartLink() {
  drv_clear();
  link_reset();
  link_open(0);
}

}  // namespace gelvar
