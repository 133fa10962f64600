// Gradation control of random isotropic and anisotropic size maps on a
// 1M-node tetrahedral mesh.
#include <benchmark/benchmark.h>

#include "quernfold/metrics.h"
#include "support/mesh_gen.h"
#include "support/size_fields.h"

namespace {

using namespace ovk::quernfold;

// 99^3 cubes: 100^3 = 1,000,000 nodes and 5,821,794 tetrahedra, spacing 1.
constexpr unsigned kCells = 99;
constexpr double kBound = 0.3;

const quernfold_test::mesh& tetrahedra() {
  static const quernfold_test::mesh m = quernfold_test::tetra_grid(kCells, kCells, kCells, 1.0);
  return m;
}

// Sizes log-uniform in [0.5, 8] (metrics: in every direction): most edges
// violate the bound.
const dense1D<double>& random_sizes() {
  static const dense1D<double> H =
      quernfold_test::random_sizes(tetrahedra().coords.cols(), 0.5, 8.0, 2);
  return H;
}

const dense2D<double>& random_metrics() {
  static const dense2D<double> M =
      quernfold_test::random_metrics(tetrahedra().coords.cols(), 3, 0.5, 8.0, 3);
  return M;
}

template <class Field>
void run_gradation(benchmark::State& state, const Field& initial) {
  const auto& m = tetrahedra();
  const dense1D<unsigned> none;
  const int direction = static_cast<int>(state.range(0));
  int changed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Field field;
    field.copy(initial);
    state.ResumeTiming();
    changed = bound_metric_gradations(m.coords, m.connect, ET_TETRA4, none, true, direction, kBound,
                                      field);
    benchmark::DoNotOptimize(field.data());
  }
  if (changed < 0) state.SkipWithError("bound_metric_gradations failed");
  state.counters["nodes"] = double(m.coords.cols());
  state.counters["changed"] = changed;
}

void BM_GradationIsotropic(benchmark::State& state) { run_gradation(state, random_sizes()); }
BENCHMARK(BM_GradationIsotropic)
    ->Arg(-1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

void BM_GradationAnisotropic(benchmark::State& state) { run_gradation(state, random_metrics()); }
BENCHMARK(BM_GradationAnisotropic)
    ->Arg(-1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace
