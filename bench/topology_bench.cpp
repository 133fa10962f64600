// Timings of the face and node topology operations on meshes of about one
// million elements: a structured tetrahedral grid (998,250 tetrahedra), the
// same grid with nodes and elements renumbered at random (no memory
// locality), and a structured triangle surface (1,001,112 triangles).
// Run with --benchmark_repetitions=N to get medians.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;

constexpr unsigned kTetraCells = 55;   // 6 x 55^3 tetrahedra
constexpr unsigned kTriaCellsX = 708;  // 2 x 708 x 707 triangles
constexpr unsigned kTriaCellsY = 707;
constexpr unsigned kShuffleSeed = 2024;

const dense2D<unsigned>& tetra_mesh() {
  static const dense2D<unsigned> m =
      quernfold_test::tetra_grid(kTetraCells, kTetraCells, kTetraCells).connect;
  return m;
}

// The tetrahedral grid with node numbers and element order shuffled.
const dense2D<unsigned>& shuffled_tetra_mesh() {
  static const dense2D<unsigned> m = [] {
    const dense2D<unsigned>& src = tetra_mesh();
    std::mt19937 gen(kShuffleSeed);
    std::vector<unsigned> node_map(max_ID(src) + 1), order(src.cols());
    std::iota(node_map.begin(), node_map.end(), 0u);
    std::iota(order.begin(), order.end(), 0u);
    std::shuffle(node_map.begin(), node_map.end(), gen);
    std::shuffle(order.begin(), order.end(), gen);
    dense2D<unsigned> out(src.rows(), src.cols());
    for (std::size_t j = 0; j < src.cols(); ++j)
      for (std::size_t r = 0; r < src.rows(); ++r) out(r, j) = node_map[src(r, order[j])];
    return out;
  }();
  return m;
}

const dense2D<unsigned>& tria_mesh() {
  static const dense2D<unsigned> m = quernfold_test::tria_grid(kTriaCellsX, kTriaCellsY).connect;
  return m;
}

void neighbors_of(benchmark::State& state, const dense2D<unsigned>& M, element_type FE) {
  dense2D<unsigned> N;
  for (auto _ : state) {
    if (get_neighbors(M, FE, true, N) != 0) state.SkipWithError("get_neighbors failed");
    benchmark::DoNotOptimize(N.data());
  }
  state.counters["elements"] = double(M.cols());
}

// Boundary faces from scratch: the neighbours, then the boundary columns.
void boundaries_of(benchmark::State& state, const dense2D<unsigned>& M, element_type FE) {
  dense2D<unsigned> N, skin;
  for (auto _ : state) {
    skin.clear();
    if (get_neighbors(M, FE, true, N) != 0 || get_mesh_boundaries(M, N, FE, skin) != 0)
      state.SkipWithError("boundary extraction failed");
    benchmark::DoNotOptimize(skin.data());
  }
  state.counters["boundary_faces"] = double(skin.cols());
}

void node_graph_of(benchmark::State& state, const dense2D<unsigned>& M, element_type FE) {
  dense1D<unsigned> offsets, nodes;
  for (auto _ : state) {
    if (get_node_graph(M, offsets, nodes, FE) != 0) state.SkipWithError("get_node_graph failed");
    benchmark::DoNotOptimize(nodes.data());
  }
  state.counters["arcs"] = double(nodes.size());
}

void connected_elements_of(benchmark::State& state, const dense2D<unsigned>& M) {
  dense1D<unsigned> offsets, elements;
  for (auto _ : state) {
    if (get_connected_elements(M, offsets, elements) != 0)
      state.SkipWithError("get_connected_elements failed");
    benchmark::DoNotOptimize(elements.data());
  }
}

void BM_NeighborsTetra(benchmark::State& s) { neighbors_of(s, tetra_mesh(), ET_TETRA4); }
void BM_NeighborsTetraShuffled(benchmark::State& s) {
  neighbors_of(s, shuffled_tetra_mesh(), ET_TETRA4);
}
void BM_NeighborsTria(benchmark::State& s) { neighbors_of(s, tria_mesh(), ET_TRIA3); }
void BM_MeshBoundariesTetra(benchmark::State& s) { boundaries_of(s, tetra_mesh(), ET_TETRA4); }
void BM_MeshBoundariesTetraShuffled(benchmark::State& s) {
  boundaries_of(s, shuffled_tetra_mesh(), ET_TETRA4);
}
void BM_MeshBoundariesTria(benchmark::State& s) { boundaries_of(s, tria_mesh(), ET_TRIA3); }
void BM_NodeGraphTetra(benchmark::State& s) { node_graph_of(s, tetra_mesh(), ET_TETRA4); }
void BM_NodeGraphTetraShuffled(benchmark::State& s) {
  node_graph_of(s, shuffled_tetra_mesh(), ET_TETRA4);
}
void BM_ConnectedElementsTetra(benchmark::State& s) { connected_elements_of(s, tetra_mesh()); }
void BM_ConnectedElementsTetraShuffled(benchmark::State& s) {
  connected_elements_of(s, shuffled_tetra_mesh());
}

BENCHMARK(BM_NeighborsTetra)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NeighborsTetraShuffled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NeighborsTria)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshBoundariesTetra)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshBoundariesTetraShuffled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshBoundariesTria)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NodeGraphTetra)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NodeGraphTetraShuffled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectedElementsTetra)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectedElementsTetraShuffled)->Unit(benchmark::kMillisecond);

}  // namespace
