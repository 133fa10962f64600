// Shape qualities and Jacobians of about a million solids: structured grids
// (every element alike) and the same grids with their nodes jittered.
#include <benchmark/benchmark.h>

#include <random>

#include "quernfold/quality.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using quernfold_test::mesh;

constexpr unsigned kTetraCells = 55;  // 6 * 55^3 = 998250 tetrahedra
constexpr unsigned kHexaCells = 100;  // 100^3 hexahedra
constexpr double kJitter = 0.2;       // node moves, in cell sizes

// Moves every node by up to kJitter cells in each direction (fixed seed).
mesh jittered(mesh m) {
  std::mt19937 gen(42);
  std::uniform_real_distribution<double> u(-kJitter, kJitter);
  for (std::size_t j = 0; j < m.coords.cols(); ++j)
    for (std::size_t i = 0; i < 3; ++i) m.coords(i, j) += u(gen);
  return m;
}

const mesh& tetra_mesh(bool jitter) {
  static const mesh plain = quernfold_test::tetra_grid(kTetraCells, kTetraCells, kTetraCells);
  static const mesh moved =
      jittered(quernfold_test::tetra_grid(kTetraCells, kTetraCells, kTetraCells));
  return jitter ? moved : plain;
}

const mesh& hexa_mesh(bool jitter) {
  static const mesh plain = quernfold_test::hexa_grid(kHexaCells, kHexaCells, kHexaCells);
  static const mesh moved = jittered(quernfold_test::hexa_grid(kHexaCells, kHexaCells, kHexaCells));
  return jitter ? moved : plain;
}

template <class Measure>
void run(benchmark::State& state, const mesh& m, element_type type, Measure measure) {
  dense1D<double, 8> out;
  for (auto _ : state) {
    if (measure(m.coords, m.connect, type, out) != 0) state.SkipWithError("measure failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(m.connect.cols()));
  state.counters["elements"] = static_cast<double>(m.connect.cols());
}

void BM_ShapeQualitiesTetra(benchmark::State& state) {
  run(state, tetra_mesh(state.range(0) != 0), ET_TETRA4, shape_qualities);
}
void BM_ShapeQualitiesHexa(benchmark::State& state) {
  run(state, hexa_mesh(state.range(0) != 0), ET_HEXA8, shape_qualities);
}
void BM_JacobiansTetra(benchmark::State& state) {
  run(state, tetra_mesh(state.range(0) != 0), ET_TETRA4, jacobians);
}
void BM_JacobiansHexa(benchmark::State& state) {
  run(state, hexa_mesh(state.range(0) != 0), ET_HEXA8, jacobians);
}
void BM_MinQualityTetra(benchmark::State& state) {
  const mesh& m = tetra_mesh(state.range(0) != 0);
  double qmin;
  unsigned jmin;
  for (auto _ : state) {
    min_quality(m.coords, m.connect, ET_TETRA4, qmin, jmin);
    benchmark::DoNotOptimize(qmin);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(m.connect.cols()));
}

// Argument: 0 structured grid, 1 jittered grid.
BENCHMARK(BM_ShapeQualitiesTetra)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShapeQualitiesHexa)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MinQualityTetra)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JacobiansTetra)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JacobiansHexa)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
