// gelvar_line_flood: the protocol window (shown, offscreen) with the tick and the byte pump on the
// slave of a pseudo-terminal whose master pours bytes in without a pause: first nothing, then at the
// line's speed (19200 baud), then as fast as the pseudo-terminal takes them. For each phase it prints
// the bytes written and read per second, the tick's real period and its longest gap, and how often
// the Rx pane was repainted: the window must go on repainting and the tick must hold its period.
//
//   gelvar_line_flood [--seconds S]        S seconds per phase (default 10)
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QPlainTextEdit>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/link/link.h"
#include "core/serial/serial_port.h"
#include "core/tick/ticker.h"
#include "gui/tools/link_inside_window.h"
#include "gui/tools/protocol_window.h"
#include "gui/ui/widget_support.h"
#include "qt/qt_timer_host.h"

namespace gelvar {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLineBytesPerSecond = 1920;  // 19200 baud, 10 bits a byte
constexpr int kWriterStepMs = 10;
constexpr std::size_t kChunk = 4096;
constexpr int kRxPane = 1020;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

class StderrMessages : public SerialMessages {
 public:
  void ShowError(const std::string& caption, const std::string& text, bool) override {
    std::cerr << "gelvar_line_flood: " << caption << ": " << text << '\n';
  }
};

// The program's timers, with the first one started (the tick) timed at every firing.
class TimedHost : public QtTimerHost {
 public:
  TimerId StartTimer(std::int32_t periodMs, std::function<void()> onTimeout) override {
    if (timed_) return QtTimerHost::StartTimer(periodMs, std::move(onTimeout));
    timed_ = true;
    return QtTimerHost::StartTimer(periodMs, [this, callback = std::move(onTimeout)] {
      const Clock::time_point now = Clock::now();
      if (ticks > 0) worstGapMs = std::max(worstGapMs, Ms(now - last_));
      last_ = now;
      ++ticks;
      callback();
    });
  }
  void Reset() {
    ticks = 0;
    worstGapMs = 0;
  }
  long ticks = 0;
  double worstGapMs = 0;

 private:
  bool timed_ = false;
  Clock::time_point last_;
};

// Counts the paint events of one widget.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
  long paints = 0;
};

// Pours bytes 0..255 over and over into the master: bytesPerSecond of them, or as many as it takes
// when that is 0; counts what went in.
class Flood {
 public:
  Flood(int master, int bytesPerSecond) : master_(master), rate_(bytesPerSecond), thread_([this] { Run(); }) {}
  ~Flood() {
    stop_ = true;
    thread_.join();
  }
  long Written() const { return written_; }

 private:
  void Run() {
    std::vector<unsigned char> bytes(2 * kChunk);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i);
    const Clock::time_point start = Clock::now();
    while (!stop_) {
      // At the line's speed, what the time since the start allows.
      const long due = static_cast<long>(Ms(Clock::now() - start) * rate_ / 1000.0) - written_;
      const std::size_t chunk =
          rate_ > 0 ? static_cast<std::size_t>(std::clamp(due, 0L, static_cast<long>(kChunk))) : kChunk;
      // Bytes 0..255 in turn: every chunk continues where the last one stopped.
      const ssize_t n = ::write(master_, bytes.data() + written_ % 256, chunk);
      if (n > 0) written_ += n;
      if (rate_ > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kWriterStepMs));
      } else if (n < 0) {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 50);
      }
    }
  }

  int master_;
  int rate_;
  std::atomic<bool> stop_{false};
  std::atomic<long> written_{0};
  std::thread thread_;
};

// Runs the event loop for `seconds`.
void RunFor(int seconds) {
  const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < end) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

}  // namespace
}  // namespace gelvar

int main(int argc, char* argv[]) {
  using namespace gelvar;
  int seconds = 10;
  if (argc == 3 && std::strcmp(argv[1], "--seconds") == 0) seconds = std::max(1, std::atoi(argv[2]));
  if (argc != 1 && argc != 3) {
    std::cerr << "Usage: gelvar_line_flood [--seconds S]\n";
    return 2;
  }
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    std::perror("gelvar_line_flood: pseudo-terminal");
    return 1;
  }
  ::setenv("GELVAR_COM1", ::ptsname(master), 1);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  TimedHost timers;
  StderrMessages messages;
  SerialPort port(messages);
  Link link;
  LinkInsideWindow inside(link, timers);
  ProtocolWindow protocol(link, timers, port, inside);
  Ticker ticker(link, timers);
  ticker.Start();
  protocol.Create();
  protocol.show();
  StartLink(link);
  if (protocol.OpenChannel(0, 1) != 1) return 1;
  PaintCounter counter;
  auto* rxPane = FindControl<QPlainTextEdit>(&protocol, kRxPane);
  rxPane->viewport()->installEventFilter(&counter);

  std::cout << "| flood | bytes/s in | ticks/s | real tick ms | longest tick gap ms | Rx pane paints/s |\n"
               "|---|---|---|---|---|---|\n";
  const struct {
    const char* name;
    int bytesPerSecond;  // 0: as fast as it goes; -1: none
  } phases[] = {{"none", -1}, {"19200 baud", kLineBytesPerSecond}, {"unlimited", 0}};
  for (const auto& phase : phases) {
    RunFor(1);
    timers.Reset();
    counter.paints = 0;
    const Clock::time_point start = Clock::now();
    long written = 0;
    if (phase.bytesPerSecond >= 0) {
      Flood flood(master, phase.bytesPerSecond);
      RunFor(seconds);
      written = flood.Written();
    } else {
      RunFor(seconds);
    }
    const double s = Ms(Clock::now() - start) / 1000.0;
    std::printf("| %s | %.0f | %.1f | %.2f | %.1f | %.1f |\n", phase.name, written / s, timers.ticks / s,
                s * 1000.0 / static_cast<double>(timers.ticks), timers.worstGapMs, counter.paints / s);
    std::fflush(stdout);
  }
  protocol.CloseChannel(0);
  ticker.Stop();
  ::close(master);
  return 0;
}
