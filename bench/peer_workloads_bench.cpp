// The peer harness's own workload files (a 984k-tetrahedron cube, 1M random
// points, a 1M-triangle torus as binary STL, text STL and OBJ), so that
// quernfold's figures can be set beside the peers' figures of the same run. The files are generated
// by the harness under $PEERS_DATA (default /tmp/quernfold-peers/data); each benchmark reports an
// error and is skipped when its file is absent.
#include <benchmark/benchmark.h>

#include <quernfold/quernfold.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace ovk::quernfold;

std::string data_path(const char* name) {
  const char* dir = std::getenv("PEERS_DATA");
  return std::string(dir ? dir : "/tmp/quernfold-peers/data") + "/" + name;
}

struct tet_mesh {
  dense2D<double> coords;
  dense2D<unsigned> tets;
  bool ok = false;
};

// Raw tetrahedra: uint64 nodes, uint64 elements, 3 doubles a node, 4 int32 an
// element (0-based).
const tet_mesh& peer_tets() {
  static const tet_mesh mesh = [] {
    tet_mesh m;
    FILE* f = std::fopen(data_path("box.tet.bin").c_str(), "rb");
    if (!f) return m;
    std::uint64_t nn = 0, ne = 0;
    if (std::fread(&nn, 8, 1, f) == 1 && std::fread(&ne, 8, 1, f) == 1) {
      m.coords.resize(3, nn);
      m.tets.resize(4, ne);
      m.ok = std::fread(m.coords.data(), 8, 3 * nn, f) == 3 * nn &&
             std::fread(m.tets.data(), 4, 4 * ne, f) == 4 * ne;
    }
    std::fclose(f);
    return m;
  }();
  return mesh;
}

// Raw points: uint64 n, then 3 doubles a point.
const dense2D<double>& peer_points() {
  static const dense2D<double> points = [] {
    dense2D<double> p;
    FILE* f = std::fopen(data_path("pts1M.bin").c_str(), "rb");
    if (!f) return p;
    std::uint64_t n = 0;
    if (std::fread(&n, 8, 1, f) == 1) {
      p.resize(3, n);
      if (std::fread(p.data(), 8, 3 * n, f) != 3 * n) p.clear();
    }
    std::fclose(f);
    return p;
  }();
  return points;
}

bool have_tets(benchmark::State& state) {
  if (peer_tets().ok) return true;
  state.SkipWithError("box.tet.bin not found: run the peer harness first");
  return false;
}

void BM_PeerTetNeighbors(benchmark::State& state) {
  if (!have_tets(state)) return;
  dense2D<unsigned> neighbors;
  for (auto _ : state)
    benchmark::DoNotOptimize(get_neighbors(peer_tets().tets, ET_TETRA4, true, neighbors));
}
BENCHMARK(BM_PeerTetNeighbors)->Unit(benchmark::kMillisecond);

void BM_PeerTetBoundaries(benchmark::State& state) {
  if (!have_tets(state)) return;
  dense2D<unsigned> neighbors, faces;
  for (auto _ : state) {
    get_neighbors(peer_tets().tets, ET_TETRA4, true, neighbors);
    faces.clear();
    benchmark::DoNotOptimize(get_mesh_boundaries(peer_tets().tets, neighbors, ET_TETRA4, faces));
  }
  state.counters["boundary_faces"] = static_cast<double>(faces.cols());
}
BENCHMARK(BM_PeerTetBoundaries)->Unit(benchmark::kMillisecond);

void BM_PeerTetNodeGraph(benchmark::State& state) {
  if (!have_tets(state)) return;
  dense1D<unsigned> offsets, nodes;
  for (auto _ : state)
    benchmark::DoNotOptimize(get_node_graph(peer_tets().tets, offsets, nodes, ET_TETRA4));
  state.counters["arcs"] = static_cast<double>(nodes.size());
}
BENCHMARK(BM_PeerTetNodeGraph)->Unit(benchmark::kMillisecond);

void BM_PeerTetConnectedElements(benchmark::State& state) {
  if (!have_tets(state)) return;
  dense1D<unsigned> offsets, elements;
  for (auto _ : state)
    benchmark::DoNotOptimize(get_connected_elements(peer_tets().tets, offsets, elements));
}
BENCHMARK(BM_PeerTetConnectedElements)->Unit(benchmark::kMillisecond);

void BM_PeerTetShapeQualities(benchmark::State& state) {
  if (!have_tets(state)) return;
  dense1D<double> Q;
  for (auto _ : state)
    benchmark::DoNotOptimize(shape_qualities(peer_tets().coords, peer_tets().tets, ET_TETRA4, Q));
}
BENCHMARK(BM_PeerTetShapeQualities)->Unit(benchmark::kMillisecond);

void BM_PeerPointsBuild(benchmark::State& state) {
  if (peer_points().cols() == 0) return state.SkipWithError("pts1M.bin not found");
  node_detector detector;
  for (auto _ : state) benchmark::DoNotOptimize(detector.reinit(peer_points()));
}
BENCHMARK(BM_PeerPointsBuild)->Unit(benchmark::kMillisecond);

// Every point asks for its nearest indexed point (itself), as the peers do.
void BM_PeerPointsNearestSelf(benchmark::State& state) {
  if (peer_points().cols() == 0) return state.SkipWithError("pts1M.bin not found");
  const dense2D<double>& p = peer_points();
  const node_detector detector(p);
  for (auto _ : state) {
    unsigned hits = 0;
    for (std::size_t q = 0; q < p.cols(); ++q) {
      const double* c = p.column(q);
      hits += detector.find_closest(vector_fixed<double, 3>{c[0], c[1], c[2]}) == q;
    }
    state.counters["self_hits"] = hits;
  }
}
BENCHMARK(BM_PeerPointsNearestSelf)->Unit(benchmark::kMillisecond);

// The corners of the binary torus, 3 per triangle (3M), merged within 1e-6
// into 500k nodes: the tolerance weld of the peers.
const dense2D<double>& peer_soup() {
  static const dense2D<double> corners = [] {
    dense2D<double> c;
    FILE* f = std::fopen(data_path("torus.bin.stl").c_str(), "rb");
    if (!f) return c;
    char header[80];
    std::uint32_t n = 0;
    if (std::fread(header, 1, 80, f) == 80 && std::fread(&n, 4, 1, f) == 1) {
      c.resize(3, 3 * std::size_t(n));
      char record[50];
      for (std::uint32_t t = 0; t < n && std::fread(record, 1, 50, f) == 50; ++t) {
        float v[9];
        std::memcpy(v, record + 12, sizeof v);
        for (int k = 0; k < 9; ++k) c(k % 3, 3 * std::size_t(t) + k / 3) = v[k];
      }
    }
    std::fclose(f);
    return c;
  }();
  return corners;
}

void BM_PeerSoupMerge(benchmark::State& state) {
  if (peer_soup().cols() == 0) return state.SkipWithError("torus.bin.stl not found");
  dense1D<unsigned> all(peer_soup().cols()), map;
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<unsigned>(i);
  int merged = 0;
  for (auto _ : state) merged = merge(peer_soup(), all, map, 1e-6);
  state.counters["merged"] = merged;
}
BENCHMARK(BM_PeerSoupMerge)->Unit(benchmark::kMillisecond);

// Reading the binary torus: 3M corners merged to 500k nodes, as a
// merging STL reader of the peers does.
void BM_PeerStlBinaryRead(benchmark::State& state) {
  const std::string path = data_path("torus.bin.stl");
  dense2D<double> coords;
  dense2D<unsigned> tria;
  for (auto _ : state) {
    if (STL_input(path.c_str(), coords, tria) != 0)
      return state.SkipWithError("torus.bin.stl not read");
  }
  state.counters["nodes"] = static_cast<double>(coords.cols());
}
BENCHMARK(BM_PeerStlBinaryRead)->Unit(benchmark::kMillisecond);

// Reading the text torus: the same merge step after parsing every facet,
// as VTK's STL reader does.
void BM_PeerStlTextRead(benchmark::State& state) {
  const std::string path = data_path("torus.txt.stl");
  dense2D<double> coords;
  dense2D<unsigned> tria;
  for (auto _ : state) {
    if (STL_input(path.c_str(), coords, tria) != 0)
      return state.SkipWithError("torus.txt.stl not read");
  }
  state.counters["nodes"] = static_cast<double>(coords.cols());
}
BENCHMARK(BM_PeerStlTextRead)->Unit(benchmark::kMillisecond);

// Reading the OBJ torus (500k "v" lines, 1M triangular faces), as
// tinyobjloader's LoadObj does.
void BM_PeerObjRead(benchmark::State& state) {
  const std::string path = data_path("torus.obj");
  dense2D<double> coords, uv, normals;
  dense2D<unsigned> tria, quad;
  for (auto _ : state) {
    if (WavefrontOBJ_input(path.c_str(), coords, uv, normals, tria, quad) != 0)
      return state.SkipWithError("torus.obj not read");
  }
  state.counters["triangles"] = static_cast<double>(tria.cols());
}
BENCHMARK(BM_PeerObjRead)->Unit(benchmark::kMillisecond);

// Writing the tetrahedra as a VTK legacy text file, as VTK's legacy
// unstructured grid writer does.
void BM_PeerTetVtkWrite(benchmark::State& state) {
  if (!have_tets(state)) return;
  const std::string path = data_path("quernfold_box.vtk");
  for (auto _ : state)
    if (vtk_output(path.c_str(), peer_tets().coords, peer_tets().tets, ET_TETRA4) != 0)
      return state.SkipWithError("box VTK file not written");
  std::remove(path.c_str());
}
BENCHMARK(BM_PeerTetVtkWrite)->Unit(benchmark::kMillisecond);

}  // namespace
