// Benchmarks of the step, the march, the quadrature, record layout and the whole computation.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

#include "kernels/kernels.h"
#include "output/output.h"
#include "solver/solver.h"

namespace {

void BM_step(benchmark::State& state) {
  cts.E = 9.83;
  double y[2] = {0.0, 0.1}, ynew[2];
  for (auto _ : state) {
    mirungekutta4(0.0, h, y, 2, ynew);
    y[0] = ynew[0];  // chain the steps, as a march does
    y[1] = ynew[1];
  }
  benchmark::DoNotOptimize(y);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_step);

// items = steps, so the report gives the time per step for each march length.
void BM_march(benchmark::State& state) {
  const int steps = static_cast<int>(state.range(0));
  cts.E = 9.83;
  for (auto _ : state) benchmark::DoNotOptimize(shoot(norecord, steps));
  state.SetItemsProcessed(state.iterations() * steps);
}
BENCHMARK(BM_march)->Arg(500)->Arg(5000)->Arg(50000);

void BM_quadrature(benchmark::State& state) {
  std::array<double, npts> g;
  for (int k = 0; k < npts; ++k) g[k] = std::sin(k * h) * std::sin(k * h);
  double s = 0.0;
  for (auto _ : state) {
    myintegrator(imeth, qa, qb, g.data(), npts, s);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_quadrature);

void BM_record(benchmark::State& state) {
  const format samplerecord("(F24.12, 2X, F24.12)");
  char out[64];
  double x = 0.0;
  for (auto _ : state) {
    const std::array<item, 2> items{x, 0.017753285414 + x};
    benchmark::DoNotOptimize(layout(out, samplerecord, items));
    x += h;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_record);

// The arithmetic of a whole run: the three searches (their log going nowhere), the recording
// marches and the normalizations.
void BM_computation(benchmark::State& state) {
  openunit(1, "/dev/null");
  for (auto _ : state) {
    for (int i = 1; i <= neig; ++i) eigen[i - 1] = secant(i, guess1[i - 1], guess2[i - 1]);
    for (int i = 1; i <= neig; ++i) {
      cts.E = eigen[i - 1];
      shoot(i);
      norm[i - 1] = normalize(i);
    }
    benchmark::DoNotOptimize(norm);
  }
  closeunit(1);
}
BENCHMARK(BM_computation);

}  // namespace

BENCHMARK_MAIN();
