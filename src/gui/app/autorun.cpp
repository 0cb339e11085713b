#include "gui/app/autorun.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

#include "gui/monitor/monitor_ids.h"
#include "gui/ui/widget_support.h"

namespace gelvar {
namespace {

// Long enough for the port to open and a pass to begin before the next step.
constexpr int kStepGapMs = 1000;
// The file dialog is modal: it is answered from inside its own event loop.
constexpr int kFileDialogAnswerMs = 200;

int StepCommand(const QString& step) {
  if (step == QStringLiteral("open")) return kCmdOpenComPort;
  if (step == QStringLiteral("read-variables")) return kCmdStartReadingVariables;
  if (step == QStringLiteral("log-file")) return kCmdOpenLogFile;
  if (step == QStringLiteral("log")) return kCmdStartLogging;
  if (step == QStringLiteral("trend")) return kCmdShowTrend;
  if (step == QStringLiteral("plot-log")) return kCmdPlotLogFile;
  if (step == QStringLiteral("quit")) return kCmdExit;
  return 0;
}

void AcceptFileDialog() {
  QDialog* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
  // The file dialog's own accept, reached through QDialog's public one, takes the name shown.
  if (dialog != nullptr) dialog->accept();
}

class Autorun : public QObject {
 public:
  Autorun(QWidget& window, const QString& steps)
      : QObject(&window), window_(window), steps_(steps.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    window_.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    window_.removeEventFilter(this);
    // After this paint event the children are drawn and the frame is handed to the screen.
    QTimer::singleShot(0, this, [this] {
      timespec now{};
      clock_gettime(CLOCK_REALTIME, &now);
      std::fprintf(stderr, "gelvar-monitor: first frame at %lld.%09ld\n", static_cast<long long>(now.tv_sec),
                   now.tv_nsec);
      Next();
    });
    return false;
  }

 private:
  void Next() {
    if (steps_.isEmpty()) return;
    const QString step = steps_.takeFirst();
    const int command = StepCommand(step);
    // Scheduled first: a command may open a modal dialog, whose event loop then carries the run on.
    QTimer::singleShot(kStepGapMs, this, [this] { Next(); });
    if (command == 0) {
      std::fprintf(stderr, "gelvar-monitor: %s: unknown step %s\n", kAutorunVariable, qPrintable(step));
      return;
    }
    if (command == kCmdOpenLogFile || command == kCmdPlotLogFile)
      QTimer::singleShot(kFileDialogAnswerMs, this, &AcceptFileDialog);
    TriggerMenuCommand(window_, command);
  }

  QWidget& window_;
  QStringList steps_;
};

}  // namespace

void StartAutorun(QWidget& mainWindow, const char* steps) { new Autorun(mainWindow, QString::fromLocal8Bit(steps)); }

}  // namespace gelvar
