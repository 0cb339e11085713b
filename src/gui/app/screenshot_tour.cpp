#include "gui/app/screenshot_tour.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

#include "gui/monitor/device_chooser_dialog.h"
#include "gui/monitor/monitor_dialog.h"
#include "gui/monitor/monitor_ids.h"
#include "gui/sensorcheck/sensor_test_dialog.h"
#include "gui/sensorcheck/sensor_test_ids.h"
#include "gui/tools/link_inside_window.h"
#include "gui/tools/protocol_window.h"
#include "gui/ui/widget_support.h"

namespace gelvar {
namespace {

constexpr int kPollMs = 20;
constexpr qint64 kPatienceMs = 30000;

class ScreenshotTour : public QObject {
 public:
  ScreenshotTour(const TourWindows& windows, const QString& folder)
      : QObject(&windows.main), windows_(windows), folder_(folder) {
    QDir().mkpath(folder_);
    Plan();
    stepStarted_.start();
    QTimer::singleShot(kPollMs, this, [this] { Next(); });
  }

 private:
  struct Step {
    std::function<bool()> ready;
    std::function<void()> action;
  };

  void Do(std::function<void()> action) {
    steps_.push_back({[] { return true; }, std::move(action)});
  }
  void WaitUntil(std::function<bool()> ready) {
    steps_.push_back({std::move(ready), [] {}});
  }
  void Wait(qint64 ms) {
    WaitUntil([this, ms] { return stepStarted_.elapsed() >= ms; });
  }
  void Command(int command) {
    Do([this, command] { TriggerMenuCommand(windows_.main, command); });
  }
  void Click(int controlId) {
    Do([this, controlId] { FindControl<QAbstractButton>(&windows_.sensorTest, controlId)->click(); });
  }
  void Save(QWidget& window, const char* name) {
    Do([this, &window, name] { Write(window.grab(), name); });
  }
  // The whole screen, to show how the main window fits it.
  void SaveScreen(const char* name) {
    Do([this, name] { Write(windows_.main.screen()->grabWindow(0), name); });
  }
  void Write(const QPixmap& picture, const char* name) {
    const QString path = QDir(folder_).filePath(QString::fromLatin1(name));
    if (!picture.save(path)) std::fprintf(stderr, "screenshot tour: cannot write %s\n", qPrintable(path));
  }
  QString SensorLog() const {
    return FindControl<QPlainTextEdit>(&windows_.sensorTest, sensor_test_ids::kIdLogPane)->toPlainText();
  }

  void Plan() {
    const Monitor& monitor = windows_.main.Core();
    Command(kCmdChooseSerialDevice);
    Wait(500);
    Save(windows_.deviceChooser, "device-chooser.png");
    Do([this] { windows_.deviceChooser.reject(); });
    Command(kCmdOpenComPort);
    Command(kCmdTestCommunication);
    Wait(1000);
    Command(kCmdReadParameters);
    WaitUntil([&] { return monitor.Mode() == kPortOpen; });
    Wait(300);
    Save(windows_.main, "main-window-parameters.png");

    Command(kCmdStartReadingVariables);
    // In the pause after the first pass: every variable shown, the pause bar half-way.
    WaitUntil([&] { return monitor.Progress().pause >= 1000; });
    Save(windows_.main, "main-window-variables.png");
    SaveScreen("screen.png");

    Command(kCmdShowProtocolWindow);
    Wait(800);
    Save(windows_.protocol, "protocol-window.png");
    Do([this] { windows_.inside.show(); });
    Wait(500);
    Save(windows_.inside, "link-inside-window.png");
    Do([this] { windows_.inside.hide(); });
    Command(kCmdStopReadingVariables);
    Wait(500);

    // The window the Test Monitor command opens once its question is answered.
    Do([this] { windows_.sensorTest.Run(); });
    Wait(500);
    Click(sensor_test_ids::kIdReadRecorded);
    WaitUntil([this] { return SensorLog().contains(QStringLiteral("Resistance")); });
    Click(sensor_test_ids::kIdTemperature1);
    WaitUntil([this] { return SensorLog().startsWith(QStringLiteral("Temperature sensor 1")); });
    Click(sensor_test_ids::kIdTemperature2);
    WaitUntil([this] { return SensorLog().startsWith(QStringLiteral("Temperature sensor 2")); });
    Wait(300);
    Save(windows_.sensorTest, "sensor-test-window.png");
    Do([this] { windows_.sensorTest.reject(); });
    Wait(300);
    Command(kCmdExit);
  }

  // The next step is scheduled before an action runs: an action may open a modal window, whose
  // event loop then carries the walk on.
  void Next() {
    if (next_ >= steps_.size()) return;
    const Step& step = steps_[next_];
    if (!step.ready() && stepStarted_.elapsed() < kPatienceMs) {
      QTimer::singleShot(kPollMs, this, [this] { Next(); });
      return;
    }
    if (!step.ready()) std::fprintf(stderr, "screenshot tour: step %zu timed out, going on\n", next_);
    ++next_;
    stepStarted_.restart();
    QTimer::singleShot(0, this, [this] { Next(); });
    step.action();
  }

  TourWindows windows_;
  QString folder_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  QElapsedTimer stepStarted_;
};

}  // namespace

QString ScreenshotTourFolder(const QStringList& arguments) {
  const QString option = QStringLiteral("--screenshot-tour=");
  for (const QString& argument : arguments) {
    if (argument.startsWith(option)) return argument.mid(option.size());
  }
  return {};
}

void StartScreenshotTour(const TourWindows& windows, const QString& folder) { new ScreenshotTour(windows, folder); }

}  // namespace gelvar
