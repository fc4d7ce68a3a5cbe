// Benchmarks of the step, the march, the quadrature, each record layout and an F field, the whole
// computation and the reading of its files.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kernels/kernels.h"
#include "output/units.h"
#include "reader/reader.h"
#include "solver/solver.h"

namespace eigenshoot {
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
  std::vector<double> g(npts);
  for (int k = 0; k < npts; ++k) g[k] = std::sin(k * h) * std::sin(k * h);
  double s = 0.0;
  for (auto _ : state) {
    myintegrator(imeth, qa, qb, g.data(), npts, s);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_quadrature);

// Record layouts, one benchmark for each kind of record the program writes, by the code made for
// its format. The items change from call to call over values like those of a run (positions,
// samples, estimates).
template <const format& F, class Items>
void layoutloop(benchmark::State& state, Items items) {
  std::array<double, 512> samples;
  for (std::size_t k = 0; k < samples.size(); ++k) samples[k] = 1.4 * std::sin(0.05 * k);
  char out[128];
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::apply(
        [&](auto... item) {
          return compiledlayout<F>(out, std::index_sequence_for<decltype(item)...>{}, item...);
        },
        items(++k % samples.size(), samples)));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_logheader(benchmark::State& state) {
  layoutloop<logheader>(state, [](std::size_t, const auto&) { return std::tuple<>{}; });
}
BENCHMARK(BM_logheader);

void BM_logpass(benchmark::State& state) {
  layoutloop<logpass>(state, [](std::size_t k, const auto& v) {
    return std::tuple{static_cast<int>(k % 3 + 1), 39.3 + v[k]};
  });
}
BENCHMARK(BM_logpass);

void BM_sample(benchmark::State& state) {
  layoutloop<samplerecord>(state, [](std::size_t k, const auto& v) {
    return std::tuple{position(static_cast<int>(k % npts) + 1), v[k]};
  });
}
BENCHMARK(BM_sample);

// One F24.12 field alone, the field of the eigenfunction file, written into blank columns.
constexpr format fixedfield("(F24.12)");
void BM_fixedfield(benchmark::State& state) {
  layoutloop<fixedfield>(state, [](std::size_t k, const auto& v) { return std::tuple{v[k]}; });
}
BENCHMARK(BM_fixedfield);

void BM_listed(benchmark::State& state) {
  char out[128];
  double e = 9.830165419897869;
  for (auto _ : state) {
    const std::array<item, 2> list{eigenheader, e};
    benchmark::DoNotOptimize(listed(out, list));
    e += 1e-12;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_listed);

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

// Reading a run's two files back, as eigenshoot-plot does, from their texts: every record
// checked and every number converted.
void BM_read(benchmark::State& state) {
  const std::string eigentext = readfile(EIGENSHOOT_GOLDEN "/apartat4.dat", eigenfilelimit);
  const std::string logtext = readfile(EIGENSHOOT_GOLDEN "/Q7-2016-res.dat", logfilelimit);
  for (auto _ : state) {
    runfiles run;
    readeigenfile(eigentext, run);
    readlogfile(logtext, run);
    matchfiles(run);
    benchmark::DoNotOptimize(run.blocks[0].value.data());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(eigentext.size() + logtext.size()));
}
BENCHMARK(BM_read);

}  // namespace
}  // namespace eigenshoot

BENCHMARK_MAIN();
