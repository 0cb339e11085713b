#include "gui/app/plot_log.h"

#include <QApplication>
#include <QFileInfo>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/trend/log_reader.h"
#include "gui/trend/trend_window.h"

namespace gelvar {
namespace {

constexpr char kPlotLogOption[] = "--plot-log";
constexpr char kPngOption[] = "--png";

}  // namespace

bool PlotLogRequested(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], kPlotLogOption) == 0) return true;
  }
  return false;
}

int PlotLogToPng(int argc, char** argv) {
  std::string logPath;
  std::string pngPath;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], kPlotLogOption) == 0) {
      logPath = argv[i + 1];
    } else if (std::strcmp(argv[i], kPngOption) == 0) {
      pngPath = argv[i + 1];
    }
  }
  if (logPath.empty() || pngPath.empty() || argc != 5) {
    std::fprintf(stderr, "usage: gelvar-monitor --plot-log FILE --png OUT.png\n");
    return kPlotUsage;
  }
  // Scripts run without a desktop as often as with one.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  std::setlocale(LC_TIME, "C");

  TrendData data;
  const LogReadResult result = ReadLogFile(logPath, data);
  if (!result.ok) {
    std::fprintf(stderr, "gelvar-monitor: %s: %s\n", logPath.c_str(), result.message.c_str());
    return kPlotNotALog;
  }
  const QString name = QFileInfo(QString::fromLocal8Bit(logPath.c_str())).fileName();
  TrendWindow window(name);
  window.setAttribute(Qt::WA_DontShowOnScreen);
  window.Plot(std::move(data), name);
  window.resize(1280, 900);
  window.show();
  QApplication::processEvents();
  if (!window.SavePng(QString::fromLocal8Bit(pngPath.c_str()))) {
    std::fprintf(stderr, "gelvar-monitor: the picture %s could not be written\n", pngPath.c_str());
    return kPlotPngFailed;
  }
  return kPlotDone;
}

}  // namespace gelvar
