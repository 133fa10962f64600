// Several threads at once, each result compared with the same work done on
// one thread: queries of one shared node_detector, readers, writers and
// topology on each thread's own data, and the whole-mesh operations that
// take a thread count against their one-thread forms. Run under
// ThreadSanitizer in CI.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>

#include "support/io_files.h"
#include "support/mesh_gen.h"
#include "topology/node_lists.h"
#include "topology/threaded.h"

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

// Thread counts that leave ranges of one element, uneven ranges and more
// threads than some lists have entries.
constexpr unsigned kThreadCounts[] = {1, 2, 3, 7};

// Tetrahedra of a grid, equal in shape (ties for the worst element), the
// odd ones on copies of their nodes (coincident nodes, more parts), one
// listed three times (non-manifold faces); triangles and edges on nodes of
// their own, one triangle collapsed onto an edge (a zero length).
mesh_data tied_mesh() {
  const mesh tets = tetra_grid(5, 4, 3);
  const dense2D<double> tri_points = random_points(3, 40, 7);
  const std::size_t n = tets.coords.cols(), e = tets.connect.cols();
  mesh_data m;
  m.coords.resize(3, 2 * n + tri_points.cols());
  for (std::size_t v = 0; v < m.coords.cols(); ++v)
    for (int i = 0; i < 3; ++i)
      m.coords(i, v) = v < 2 * n ? tets.coords(i, v % n) : tri_points(i, v - 2 * n) + 9;
  m.blocks.resize(3);
  m.blocks[0].type = ET_TETRA4;
  m.blocks[0].connectM.resize(4, e + 2);
  for (std::size_t j = 0; j < e + 2; ++j)
    for (int i = 0; i < 4; ++i)
      m.blocks[0].connectM(i, j) = tets.connect(i, j < e ? j : 0) + (j % 2 && j < e ? n : 0);
  m.blocks[1].type = ET_TRIA3;
  m.blocks[1].connectM.resize(3, 12);
  for (std::size_t j = 0; j < 12; ++j)
    for (unsigned i = 0; i < 3; ++i) m.blocks[1].connectM(i, j) = unsigned(2 * n + 3 * j + i);
  m.blocks[1].connectM(2, 4) = m.blocks[1].connectM(1, 4);
  m.blocks[2].type = ET_EDGE2;
  m.blocks[2].connectM.resize(2, 3);
  for (unsigned j = 0; j < 3; ++j)
    for (unsigned i = 0; i < 2; ++i) m.blocks[2].connectM(i, j) = unsigned(2 * n + 36 + j + i);
  return m;
}

// Every number of the statistics, in a fixed order.
std::vector<double> numbers(const mesh_statistics& s) {
  std::vector<double> out = {double(s.nodes),
                             double(s.boundary_faces),
                             double(s.parts),
                             double(s.non_manifold_faces),
                             double(s.coincident_nodes),
                             double(s.nonpositive_jacobians),
                             double(s.worst_block),
                             double(s.worst_element)};
  for (const value_range& r : {s.edge_length, s.quality})
    out.insert(out.end(), {double(r.count), r.min, r.max, r.sum});
  for (const kind_statistics& k : s.blocks)
    out.insert(out.end(),
               {double(k.elements), double(k.worst), double(k.quality.count), k.quality.min,
                k.quality.max, k.quality.sum, double(k.nonpositive_jacobians)});
  return out;
}

TEST_F(Threads, WholeMeshMeasuresAndSizesAreTheOneThreadResults) {
  const mesh_data m = tied_mesh();
  mesh_statistics serial, threaded;
  ASSERT_EQ(measure_mesh(m, serial), 0);
  ASSERT_GT(serial.coincident_nodes, 0u);
  ASSERT_GT(serial.non_manifold_faces, 0u);
  for (unsigned t : kThreadCounts) {
    ASSERT_EQ(measure_mesh(m, threaded, t), 0);
    EXPECT_EQ(numbers(threaded), numbers(serial)) << t << " threads";
  }
  for (double gradation : {HUGE_VAL, 1.2})
    for (double p : {0.0, 1.0, 2.5, DBL_MAX}) {
      dense1D<double> want, got;
      int want_changed = 0, got_changed = 0;
      ASSERT_EQ(mesh_size_map(m, p, gradation, want, want_changed), 0);
      for (unsigned t : kThreadCounts) {
        ASSERT_EQ(mesh_size_map(m, p, gradation, got, got_changed, t), 0);
        EXPECT_EQ(entries(got), entries(want)) << "p " << p << ", " << t << " threads";
        EXPECT_EQ(got_changed, want_changed);
      }
    }
  // A corner one past the nodes, late in the tetrahedra: the one-thread code.
  mesh_data bad = m;
  dense2D<unsigned>& tets = bad.blocks[0].connectM;
  ASSERT_TRUE(tets.copy(m.blocks[0].connectM));
  tets(2, tets.cols() - 2) = static_cast<unsigned>(m.coords.cols());
  dense1D<double> sizes;
  int changed = 0;
  const int refused = mesh_size_map(bad, 1.0, HUGE_VAL, sizes, changed);
  ASSERT_NE(refused, 0);
  for (unsigned t : kThreadCounts)
    EXPECT_EQ(mesh_size_map(bad, 1.0, HUGE_VAL, sizes, changed, t), refused) << t << " threads";
}

// Integer lattice points (coincident points, equal distances; with side 0,
// uniform points in a cube of edge 20, where the merge's grid serves) in
// triangles of three consecutive nodes, some collapsed; `n` nodes.
mesh_data lattice_mesh(std::size_t n, unsigned side = 5) {
  mesh_data m;
  m.coords = random_points(3, n, 11, side);
  if (side == 0)
    for (std::size_t k = 0; k < 3 * n; ++k) m.coords.data()[k] *= 20;
  m.blocks.resize(1);
  m.blocks[0].type = ET_TRIA3;
  m.blocks[0].connectM.resize(3, n / 3);
  for (unsigned j = 0; j < n / 3; ++j)
    for (unsigned i = 0; i < 3; ++i) m.blocks[0].connectM(i, j) = 3 * j + (j % 5 ? i : i / 2);
  return m;
}

// The bits of every number given, in order (NaNs compare too).
struct bits {
  std::vector<std::uint64_t> v;
  void add(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    v.push_back(b);
  }
  template <class Container>
  void add_all(const Container& c) {
    for (auto x : c) add(static_cast<double>(x));
  }
};

// One threaded operation of the whole-mesh layer: its results on `t`
// threads.
struct threaded_case {
  const char* name;
  std::function<bits(const mesh_data&, unsigned)> run;
};

// The code and values of measure(block, t, values) on every block, in order.
template <class Measure>
std::function<bits(const mesh_data&, unsigned)> per_block(Measure measure) {
  return [measure](const mesh_data& m, unsigned t) {
    bits b;
    for (const mesh_block& k : m.blocks) {
      dense1D<double> values;
      b.add(measure(m, k, t, values));
      b.add_all(values);
    }
    return b;
  };
}

std::vector<threaded_case> threaded_cases() {
  std::vector<threaded_case> cases;
  for (double tol : {0.0, 0.03, 0.5, 1.0, 1.5}) {
    cases.push_back({"merge of the used nodes", [tol](const mesh_data& m, unsigned t) {
                       bits b;
                       dense1D<unsigned> used, map;
                       std::vector<dense2D<unsigned>> mats;
                       for (const mesh_block& k : m.blocks) mats.push_back(k.connectM);
                       unique_indices(used, mats.data(), mats.data() + mats.size(),
                                      dense1D<unsigned>());
                       b.add(merge(m.coords, used, used, map, tol, t));
                       b.add_all(map);
                       return b;
                     }});
    cases.push_back({"clean", [tol](const mesh_data& m, unsigned t) {
                       bits b;
                       mesh_data out;
                       clean_report r;
                       b.add(clean_mesh(m, tol, out, r, t));
                       b.add_all(std::vector<double>{double(r.merged), double(r.elements_removed),
                                                     double(r.nodes_removed)});
                       b.add_all(r.node_map);
                       for (const dense1D<unsigned>& e : r.element_maps) b.add_all(e);
                       b.add_all(entries(out.coords));
                       for (const mesh_block& k : out.blocks) b.add_all(entries(k.connectM));
                       return b;
                     }});
  }
  for (unsigned q = 0; q <= unsigned(quality_measure::scaled_jacobian); ++q)
    cases.push_back({"qualities", per_block([q](const mesh_data& m, const mesh_block& k, unsigned t,
                                                dense1D<double>& values) {
                       return cell_qualities(m.coords, k, quality_measure(q), values, t);
                     })});
  cases.push_back({"jacobians", per_block([](const mesh_data& m, const mesh_block& k, unsigned t,
                                             dense1D<double>& values) {
                     return measure_elements(m.coords, k.connectM, k.type, &jacobians, values, t);
                   })});
  cases.push_back({"sizes", per_block([](const mesh_data& m, const mesh_block& k, unsigned t,
                                         dense1D<double>& values) {
                     return cell_sizes(m.coords, k, values, t);
                   })});
  cases.push_back({"edges", [](const mesh_data& m, unsigned t) {
                     bits b;
                     dense2D<unsigned> edges;
                     b.add(mesh_edges(m, edges, t));
                     b.add_all(entries(edges));
                     return b;
                   }});
  cases.push_back({"neighbours", [](const mesh_data& m, unsigned t) {
                     bits b;
                     for (const mesh_block& k : m.blocks) {
                       dense2D<unsigned> n[2];
                       b.add(detail::neighbors_both_ways(k.connectM, k.type, n[0], n[1], t));
                       for (const dense2D<unsigned>& both : n) b.add_all(entries(both));
                     }
                     return b;
                   }});
  cases.push_back({"parts", [](const mesh_data& m, unsigned t) {
                     bits b;
                     dense1D<unsigned> part;
                     std::size_t count = 0;
                     b.add(node_parts(m, part, count, t));
                     b.add(double(count));
                     b.add_all(part);
                     return b;
                   }});
  cases.push_back({"node lists", [](const mesh_data& m, unsigned t) {
                     bits b;
                     for (const mesh_block& k : m.blocks) {
                       const detail::whole_columns<0> columns(k.connectM);
                       detail::node_elements lists;
                       const unsigned largest =
                           lists.scan(columns, [](const unsigned*, std::size_t) {});
                       b.add(lists.sort(columns, largest, t));
                       if (lists.nodes == 0) continue;
                       b.add_all(std::vector<unsigned>(lists.to_elements.get(),
                                                       lists.to_elements.get() + lists.nodes + 2));
                       b.add_all(std::vector<unsigned>(lists.elements.get(),
                                                       lists.elements.get() + lists.entries()));
                     }
                     return b;
                   }});
  cases.push_back({"boundary faces", [](const mesh_data& m, unsigned t) {
                     bits b;
                     for (const mesh_block& k : m.blocks) {
                       dense2D<unsigned> n, faces;
                       b.add(get_neighbors(k.connectM, k.type, true, n));
                       b.add(detail::boundary_faces(k.connectM, n, k.type, faces, t));
                       b.add_all(entries(faces));
                     }
                     return b;
                   }});
  cases.push_back({"connected parts", [](const mesh_data& m, unsigned t) {
                     bits b;
                     for (const mesh_block& k : m.blocks) {
                       dense2D<unsigned> n[2];
                       std::size_t count = 0;
                       b.add(detail::neighbors_both_ways(k.connectM, k.type, n[0], n[1], t));
                       b.add(detail::count_connected_parts(n[0], n[1], t, count));
                       b.add(double(count));
                     }
                     return b;
                   }});
  cases.push_back({"write plan of float coordinates", [](const mesh_data& m, unsigned t) {
                     bits b;
                     write_plan plan;
                     b.add(plan_mesh_write("plan.stl", m, plan, t));
                     b.add_all(std::vector<std::size_t>{plan.kept, plan.coincident_nodes,
                                                        plan.inverted_elements});
                     return b;
                   }});
  cases.push_back({"statistics", [](const mesh_data& m, unsigned t) {
                     bits b;
                     mesh_statistics s;
                     b.add(measure_mesh(m, s, t));
                     b.add_all(numbers(s));
                     return b;
                   }});
  return cases;
}

TEST_F(Threads, EveryThreadedOperationGivesItsOneThreadResultBitForBit) {
  // Ties everywhere; sizes of 1 to 9 columns per block about the splits.
  const std::vector<mesh_data> meshes = {tied_mesh(), lattice_mesh(600), lattice_mesh(7),
                                         lattice_mesh(20), lattice_mesh(1500, 0)};
  for (const threaded_case& c : threaded_cases())
    for (std::size_t k = 0; k < meshes.size(); ++k) {
      const bits want = c.run(meshes[k], 1);
      for (unsigned t : kThreadCounts)
        EXPECT_EQ(c.run(meshes[k], t).v, want.v) << c.name << ", mesh " << k << ", " << t;
    }
}

}  // namespace
