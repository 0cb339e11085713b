// The trend's core for a week of passes: what each pass adds while no trend window is open, the
// memory a week takes, and the thinning of one series to the pixel columns of a view.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include "bench/trend_week.h"

namespace gelvar {
namespace {

constexpr double kStart = 1796630400;

// The whole work of a pass for the trend while its window is closed: a snapshot's values into the
// columns.
void BM_TrendPassAppended(benchmark::State& state) {
  TrendData data;
  const VariableSnapshot snapshot;
  double time = kStart;
  for (auto _ : state) {
    data.Append(time += 3, TrendValuesOf(snapshot, {true, true, true}));
    benchmark::DoNotOptimize(data.Size());
  }
}
BENCHMARK(BM_TrendPassAppended);

// Heap added by a week of passes, as the allocator counts it.
void BM_TrendWeekMemory(benchmark::State& state) {
  for (auto _ : state) {
    const std::size_t before = mallinfo2().uordblks;
    TrendData data;
    FillWeek(data, kStart);
    state.counters["heap_MB"] = static_cast<double>(mallinfo2().uordblks - before) / 1e6;
    state.counters["points"] = static_cast<double>(data.Size());
  }
}
BENCHMARK(BM_TrendWeekMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// One series of a week thinned to 1200 pixel columns: the whole week, and one hour in the middle.
void BM_TrendThinWeek(benchmark::State& state) {
  TrendData data;
  FillWeek(data, kStart);
  const double span = state.range(0) != 0 ? 3600.0 : kPassesPerWeek * 3.0;
  const double from = kStart + (kPassesPerWeek * 3.0 - span) / 2;
  for (auto _ : state) benchmark::DoNotOptimize(ThinTrend(data, kTrendSlabTemp, from, from + span, 1200));
}
BENCHMARK(BM_TrendThinWeek)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace gelvar
