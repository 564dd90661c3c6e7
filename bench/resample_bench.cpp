// Throughput of resampling: 10,000,000 points onto an even grid, with the
// arrays built once outside the timed loop so that only the walk is measured.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "qtx/QTXLibrary.h"

namespace {

constexpr std::uint32_t kPoints = 10'000'000;

// A sampled curve with a mean step of 1e-3 and uneven spacing, as a clock
// with jitter records it.
struct Curve {
  std::vector<double> x;
  std::vector<double> y;
  Curve() : x(kPoints), y(kPoints) {
    for (std::uint32_t i = 0; i < kPoints; ++i) {
      x[i] = i * 1e-3 + ((i * 2654435761u) % 1000) * 1e-7;  // jitter below a tenth of a step
      y[i] = std::sin(x[i]);
    }
  }
};

const Curve& Points() {
  static const Curve curve;
  return curve;
}

// range(0): grid values per ten points. Items are the points walked; the
// "values" counter is how many values each run stores.
void BM_Resample(benchmark::State& state) {
  const Curve& curve = Points();
  const double step = 1e-3 * 10.0 / static_cast<double>(state.range(0));
  const auto room = static_cast<std::uint32_t>((curve.x.back() - curve.x.front()) / step) + 1;
  std::vector<double> out(room);
  std::vector<double> y = curve.y;  // the resampler takes Y through a non-const pointer
  std::uint32_t stored = 0;
  for (auto _ : state) {
    stored = room;
    const bool ok = CQTXGeneral::QTX_InterpolateData(curve.x.front(), step, curve.x.data(), y.data(), kPoints,
                                                     stored, out.data());
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
  state.counters["values"] = stored;
  state.SetLabel(state.range(0) == 10 ? "one value per point" : "one value per ten points");
}
BENCHMARK(BM_Resample)->Arg(10)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
