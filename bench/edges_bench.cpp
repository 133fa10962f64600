// Normalized edge lengths of a ~1M-tetrahedron mesh in a 3-D metric field,
// and edge extraction alone.
#include <benchmark/benchmark.h>

#include "quernfold/quality.h"
#include "support/mesh_gen.h"
#include "support/size_fields.h"

namespace {

using namespace ovk::quernfold;

// 55^3 cubes of 6 tetrahedra: 998250 elements, 175616 nodes.
constexpr unsigned kCells = 55;

const quernfold_test::mesh& tetrahedra() {
  static const quernfold_test::mesh m = quernfold_test::tetra_grid(kCells, kCells, kCells, 1.0);
  return m;
}

// Anisotropic metrics with sizes in [0.5, 2] along axes turned about z.
const dense2D<double>& metric_field() {
  static const dense2D<double> M =
      quernfold_test::random_metrics(tetrahedra().coords.cols(), 3, 0.5, 2.0, 1);
  return M;
}

void BM_EdgeQualitiesMetrics(benchmark::State& state) {
  const auto& m = tetrahedra();
  const auto& M = metric_field();
  const dense2D<unsigned> none;
  int edges = 0;
  for (auto _ : state) {
    histogram hist;
    edges = edge_qualities(m.coords, m.connect, ET_TETRA4, M, hist, none);
    benchmark::DoNotOptimize(hist.mean());
  }
  if (edges <= 0) state.SkipWithError("edge_qualities failed");
  state.counters["edges"] = edges;
  state.counters["elements"] = double(m.connect.cols());
}
BENCHMARK(BM_EdgeQualitiesMetrics)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_CopyEdges(benchmark::State& state) {
  const auto& m = tetrahedra();
  dense2D<unsigned> edges;
  for (auto _ : state) {
    edges.clear();
    if (copy_edges(m.connect, ET_TETRA4, edges) != 0) state.SkipWithError("copy_edges failed");
    benchmark::DoNotOptimize(edges.data());
  }
  state.counters["edges"] = double(edges.cols());
}
BENCHMARK(BM_CopyEdges)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace
