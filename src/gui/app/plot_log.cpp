#include "gui/app/plot_log.h"

#include <QApplication>
#include <QFileInfo>

#include <clocale>
#include <cstdio>
#include <filesystem>

#include "core/trend/log_reader.h"
#include "gui/trend/trend_window.h"

namespace gelvar {
namespace {

// Standard error is the script's: Qt's warnings about a window that is never shown mean nothing there.
void QtErrorsOnly(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
}

int PictureFailed(const std::string& pngPath, const QString& reason) {
  std::fprintf(stderr, "gelvar-monitor: the picture %s could not be written: %s\n", pngPath.c_str(),
               qPrintable(reason));
  return kPlotPngFailed;
}

}  // namespace

int PlotLogToPng(const std::string& logPath, const std::string& pngPath, int& argc, char** argv) {
  std::error_code error;
  if (std::filesystem::equivalent(logPath, pngPath, error)) return PictureFailed(pngPath, "It is the log file");
  // Scripts run without a desktop as often as with one.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  qInstallMessageHandler(QtErrorsOnly);
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
  QString reason;
  if (!window.SavePng(QString::fromLocal8Bit(pngPath.c_str()), reason)) return PictureFailed(pngPath, reason);
  return kPlotDone;
}

}  // namespace gelvar
