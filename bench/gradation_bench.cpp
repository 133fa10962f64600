// Gradation control of random isotropic and anisotropic size maps on a
// 1M-node tetrahedral mesh.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "quernfold/metrics.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;

// 99^3 cubes: 100^3 = 1,000,000 nodes and 5,821,794 tetrahedra, spacing 1.
constexpr unsigned kCells = 99;
constexpr double kBound = 0.3;

const quernfold_test::mesh& tetrahedra() {
  static const quernfold_test::mesh m = quernfold_test::tetra_grid(kCells, kCells, kCells, 1.0);
  return m;
}

// Sizes log-uniform in [0.5, 8]: most edges violate the bound.
const dense1D<double>& random_sizes() {
  static const dense1D<double> H = [] {
    std::mt19937 gen(2);
    std::uniform_real_distribution<double> log_size(std::log(0.5), std::log(8.0));
    dense1D<double> sizes(tetrahedra().coords.cols());
    for (std::size_t v = 0; v < sizes.size(); ++v) sizes[v] = std::exp(log_size(gen));
    return sizes;
  }();
  return H;
}

const dense2D<double>& random_metrics() {
  static const dense2D<double> M = [] {
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> log_size(std::log(0.5), std::log(8.0));
    std::uniform_real_distribution<double> angle(0.0, 3.14159);
    const std::size_t n = tetrahedra().coords.cols();
    dense2D<double> field(6, n);
    for (std::size_t v = 0; v < n; ++v) {
      const double l1 = std::exp(-2 * log_size(gen)), l2 = std::exp(-2 * log_size(gen));
      const double turn = angle(gen), c = std::cos(turn), s = std::sin(turn);
      field(0, v) = c * c * l1 + s * s * l2;
      field(1, v) = c * s * (l1 - l2);
      field(2, v) = s * s * l1 + c * c * l2;
      field(3, v) = 0;
      field(4, v) = 0;
      field(5, v) = std::exp(-2 * log_size(gen));
    }
    return field;
  }();
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
