// Zoom and pan in the trend window over a week of passes: every series thinned to the pixel columns,
// handed to its chart, and the window painted. Runs offscreen unless a platform is set.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "bench/trend_week.h"
#include "gui/trend/trend_window.h"

namespace gelvar {
namespace {

void BM_TrendWindowZoomAndPan(benchmark::State& state) {
  TrendData data;
  FillWeek(data, 1796630400);
  TrendWindow window(QStringLiteral("Trend"));
  window.Follow(data);
  window.resize(1280, 900);
  window.show();
  QApplication::processEvents();
  int step = 0;
  for (auto _ : state) {
    switch (step++ % 4) {
      case 0: window.Zoom(0.5); break;
      case 1: window.Pan(3600); break;
      case 2: window.Pan(-3600); break;
      default: window.Zoom(2.0); break;
    }
    window.repaint();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_TrendWindowZoomAndPan)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace gelvar

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
