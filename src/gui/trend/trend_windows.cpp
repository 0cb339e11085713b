#include "gui/trend/trend_windows.h"

#include <QFileInfo>

#include "core/monitor/variable_log.h"
#include "core/trend/log_reader.h"
#include "gui/monitor/monitor_ids.h"
#include "gui/ui/widget_support.h"

namespace gelvar {

TrendWindows::TrendWindows(const Monitor& monitor, const TimerHost& clock)
    : recorder_(monitor, clock), live_(QStringLiteral("Trend")), logPlot_(QStringLiteral("Log File")) {
  live_.Follow(recorder_.Data());
  recorder_.SetOnPoint([this] { live_.DataChanged(); });
}

void TrendWindows::Command(int command, QWidget* parent) {
  if (command == kCmdShowTrend) {
    live_.show();
    live_.raise();
  } else if (command == kCmdPlotLogFile) {
    PlotLogFile(parent);
  }
}

void TrendWindows::PlotLogFile(QWidget* parent) {
  const QString path = ChooseFilePath(parent, FileAccess::kOpen, QString::fromLatin1(kLogDefaultName),
                                      QString::fromLatin1(kLogDefaultExtension));
  if (path.isEmpty()) return;
  TrendData data;
  const LogReadResult result = ReadLogFile(LocalPath(path), data);
  const QString name = QFileInfo(path).fileName();
  if (!result.ok) {
    ShowAppMessage(
        parent,
        QStringLiteral("%1 is not a log file that can be plotted.\n\n%2").arg(name, FromWindowsText(result.message)));
    return;
  }
  logPlot_.Plot(std::move(data), name);
  logPlot_.show();
  logPlot_.raise();
}

}  // namespace gelvar
