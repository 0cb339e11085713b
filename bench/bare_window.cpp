// gelvar_bare_window: the floor for the window program's CPU share. A Qt window with as many labels as
// the main window has fields and as many 10 ms precise timers as the program runs, doing nothing else.
// scripts/cpu-beside-bare runs it beside the programs.
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int kLabels = 60;
constexpr int kColumns = 4;
constexpr int kTimers = 4;
constexpr int kTimerPeriodMs = 10;

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  auto* grid = new QGridLayout(&window);
  for (int i = 0; i < kLabels; ++i) {
    grid->addWidget(new QLabel(QStringLiteral("undef."), &window), i / kColumns, i % kColumns);
  }
  for (int i = 0; i < kTimers; ++i) {
    auto* timer = new QTimer(&window);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(kTimerPeriodMs);
    QObject::connect(timer, &QTimer::timeout, timer, [] {});
    timer->start();
  }
  window.show();
  return app.exec();
}
