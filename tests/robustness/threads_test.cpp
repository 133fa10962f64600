// Several threads at once, each result compared with the same work done on
// one thread: queries of one shared node_detector, and readers, writers and
// topology on each thread's own data. Run under ThreadSanitizer in CI.
#include <thread>

#include "support/io_files.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;

constexpr unsigned kThreads = 4;

// Worker t's share: the nearest node of its points and of the nodes of its
// index; then a tetrahedral grid of its own size: neighbors, the mesh written
// and read back as NASTRAN. All results one after the other.
std::vector<unsigned> work(const node_detector& shared, const std::string& stem, unsigned t) {
  std::vector<unsigned> out;
  const dense2D<double> points = random_points(3, 300, t);
  for (std::size_t j = 0; j < points.cols(); ++j) {
    const double* p = points.column(j);
    out.push_back(shared.find_closest(vector_fixed<double, 3>{p[0], p[1], p[2]}));
    out.push_back(shared.find_closest(static_cast<unsigned>(j + 300 * t)));
  }
  const mesh m = tetra_grid(2 + t, 3, 2);
  dense2D<double> coords;
  dense2D<unsigned> neighbors, connect;
  element_type type;
  const int codes[] = {get_neighbors(m.connect, ET_TETRA4, false, neighbors),
                       NASTRAN_output((stem + ".bdf").c_str(), m.coords, m.connect, ET_TETRA4),
                       NASTRAN_input((stem + ".bdf").c_str(), coords, connect, type)};
  for (const auto& v :
       {std::vector<unsigned>(codes, codes + 3), entries(neighbors), entries(connect)})
    out.insert(out.end(), v.begin(), v.end());
  return out;
}

class Threads : public io_test {};

TEST_F(Threads, SharedDetectorAndIndependentMeshesGiveTheirSerialResults) {
  const dense2D<double> nodes = random_points(3, 2000);
  const node_detector shared(nodes);
  std::vector<std::vector<unsigned>> want, got(kThreads);
  for (unsigned t = 0; t < kThreads; ++t)
    want.push_back(work(shared, path("serial" + std::to_string(t)), t));
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < kThreads; ++t)
    workers.emplace_back([&, t] { got[t] = work(shared, path("worker" + std::to_string(t)), t); });
  for (std::thread& w : workers) w.join();
  for (unsigned t = 0; t < kThreads; ++t) EXPECT_EQ(got[t], want[t]) << "worker " << t;
}

}  // namespace
