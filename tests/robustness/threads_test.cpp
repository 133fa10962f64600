// Several threads at once, each result compared with the same work done on
// one thread: queries of one shared node_detector, and readers, writers and
// topology on each thread's own data. Run under ThreadSanitizer in CI.
#include <thread>

#include "support/compare.h"
#include "support/io_files.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;

constexpr unsigned kThreads = 4;
constexpr double kBox = 0.05;

// Nearest node of each point and of each indexed node, and the nodes in a
// small box around each point, one after the other.
std::vector<unsigned> queries(const node_detector& d, const dense2D<double>& points) {
  std::vector<unsigned> out;
  for (std::size_t j = 0; j < points.cols(); ++j) {
    const double* p = points.column(j);
    out.push_back(d.find_closest(vector_fixed<double, 3>{p[0], p[1], p[2]}));
    out.push_back(d.find_closest(static_cast<unsigned>(j)));
    dense1D<unsigned> inside;
    d.find_in_box(vector_fixed<double, 3>{p[0] - kBox, p[1] - kBox, p[2] - kBox},
                  vector_fixed<double, 3>{p[0] + kBox, p[1] + kBox, p[2] + kBox}, inside);
    out.insert(out.end(), inside.begin(), inside.end());
  }
  return out;
}

// A tetrahedral grid of its own size per worker: its neighbors and node
// graph, then the mesh written and read back as NASTRAN, and its skin of
// triangles as binary STL.
std::vector<unsigned> mesh_work(const std::string& stem, unsigned worker) {
  const mesh m = tetra_grid(2 + worker, 3, 2);
  dense2D<unsigned> neighbors, connect;
  dense1D<unsigned> offsets, graph;
  std::vector<unsigned> out;
  auto keep = [&](int code, const std::vector<unsigned>& v) {
    out.push_back(static_cast<unsigned>(code));
    out.insert(out.end(), v.begin(), v.end());
  };
  keep(get_neighbors(m.connect, ET_TETRA4, false, neighbors), entries(neighbors));
  keep(get_node_graph(m.connect, offsets, graph, ET_TETRA4), entries(graph));
  dense2D<double> coords;
  element_type type;
  keep(NASTRAN_output((stem + ".bdf").c_str(), m.coords, m.connect, ET_TETRA4), {});
  keep(NASTRAN_input((stem + ".bdf").c_str(), coords, connect, type), entries(connect));
  dense2D<unsigned> skin;
  keep(get_mesh_boundaries(m.connect, neighbors, ET_TETRA4, skin), entries(skin));
  keep(STL_output((stem + ".stl").c_str(), m.coords, skin, false), {});
  keep(STL_input((stem + ".stl").c_str(), coords, connect), entries(connect));
  return out;
}

class Threads : public io_test {};

TEST_F(Threads, SharedDetectorAndIndependentMeshesGiveTheirSerialResults) {
  const dense2D<double> nodes = random_points(3, 2000);
  const node_detector shared(nodes);
  std::vector<std::vector<unsigned>> want_queries, want_meshes, got_queries(kThreads),
      got_meshes(kThreads);
  for (unsigned t = 0; t < kThreads; ++t) {
    want_queries.push_back(queries(shared, random_points(3, 300, t)));
    want_meshes.push_back(mesh_work(path("serial" + std::to_string(t)), t));
  }
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < kThreads; ++t)
    workers.emplace_back([&, t] {
      got_queries[t] = queries(shared, random_points(3, 300, t));
      got_meshes[t] = mesh_work(path("worker" + std::to_string(t)), t);
    });
  for (std::thread& w : workers) w.join();
  for (unsigned t = 0; t < kThreads; ++t) {
    EXPECT_EQ(got_queries[t], want_queries[t]) << "worker " << t;
    EXPECT_EQ(got_meshes[t], want_meshes[t]) << "worker " << t;
  }
}

}  // namespace
