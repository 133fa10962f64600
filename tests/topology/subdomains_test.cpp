#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "support/mesh_gen.h"
#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

// Component label of every element by union-find over the valid entries.
std::vector<unsigned> component_labels(const dense2D<unsigned>& N) {
  std::vector<unsigned> parent(N.cols());
  std::iota(parent.begin(), parent.end(), 0u);
  auto root = [&](unsigned e) {
    while (parent[e] != e) e = parent[e] = parent[parent[e]];
    return e;
  };
  for (unsigned j = 0; j < N.cols(); ++j)
    for (unsigned r = 0; r < N.rows(); ++r)
      if (N(r, j) < N.cols()) parent[root(N(r, j))] = root(j);
  std::vector<unsigned> label(N.cols());
  for (unsigned j = 0; j < N.cols(); ++j) label[j] = root(j);
  return label;
}

TEST(Subdomains, WorkedExamples) {
  const dense2D<unsigned> tris{{0, 1, 2}, {2, 1, 3}, {7, 8, 9}};
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(tris, ET_TRIA3, true, N), 0);
  dense1D<unsigned> elements{4, 4}, offsets{4};
  ASSERT_EQ(get_subdomains(N, elements, offsets), 0);
  EXPECT_EQ(to_vector(elements), (V{0, 1, 2}));
  EXPECT_EQ(to_vector(offsets), (V{0, 2, 3}));

  // Elements 0 and 2 joined, 1 alone.
  dense2D<unsigned> joined = matrix_of(3, {{2, kNo, kNo}, {kNo, kNo, kNo}, {kNo, 0, kNo}});
  ASSERT_EQ(get_subdomains(joined, elements, offsets), 0);
  EXPECT_EQ(to_vector(elements), (V{0, 2, 1}));
  EXPECT_EQ(to_vector(offsets), (V{0, 2, 3}));
  dense2D<unsigned> connect{{10, 11, 12}, {20, 21, 22}, {30, 31, 32}};
  ASSERT_EQ(get_subdomains(connect, joined, offsets), 0);
  EXPECT_EQ(to_vector(offsets), (V{0, 2, 3}));
  EXPECT_EQ(columns_of(connect), (std::vector<V>{{10, 11, 12}, {30, 31, 32}, {20, 21, 22}}));
  EXPECT_EQ(columns_of(joined), (std::vector<V>{{1, kNo, kNo}, {kNo, 0, kNo}, {kNo, kNo, kNo}}));

  // No element.
  ASSERT_EQ(get_subdomains(dense2D<unsigned>(3, 0), elements, offsets), 0);
  EXPECT_TRUE(elements.empty());
  EXPECT_EQ(to_vector(offsets), (V{0}));

  // Column counts differ.
  dense2D<unsigned> two_cols(3, 2, kNo);
  EXPECT_EQ(get_subdomains(connect, two_cols, offsets), -2);
  EXPECT_TRUE(offsets.empty());
}

TEST(Subdomains, BreadthFirstFromTheLowestElement) {
  // 3x3 quadrangles e = i + 3j; faces: below, right, above, left.
  const mesh q = quad_grid(3, 3);
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(q.connect, ET_QUAD4, true, N), 0);
  dense1D<unsigned> elements, offsets;
  ASSERT_EQ(get_subdomains(N, elements, offsets), 0);
  EXPECT_EQ(to_vector(elements), (V{0, 1, 3, 2, 4, 6, 5, 7, 8}));
  EXPECT_EQ(to_vector(offsets), (V{0, 9}));

  // Three triangles on one edge. Linked, element 0 points to 2 and both 1
  // and 2 point to 0: the growth follows the entries as they are, so 1 is
  // not reached from 0 and starts a sub-domain of its own. Left open, each
  // triangle is alone.
  const dense2D<unsigned> fan{{0, 1, 2}, {1, 0, 3}, {0, 1, 4}};
  ASSERT_EQ(get_neighbors(fan, ET_TRIA3, true, N), 0);
  ASSERT_EQ(get_subdomains(N, elements, offsets), 0);
  EXPECT_EQ(to_vector(offsets), (V{0, 2, 3}));
  EXPECT_EQ(to_vector(elements), (V{0, 2, 1}));
  ASSERT_EQ(get_neighbors(fan, ET_TRIA3, false, N), 0);
  ASSERT_EQ(get_subdomains(N, elements, offsets), 0);
  EXPECT_EQ(to_vector(offsets), (V{0, 1, 2, 3}));
}

// Random neighbour matrices: the classes are the connected components, in
// order of their lowest element, each starting with it; the reordering
// overload moves columns and renumbers entries consistently.
TEST(Subdomains, ComponentsOfRandomGraphs) {
  std::mt19937 gen(11);
  for (int round = 0; round < 20; ++round) {
    const unsigned E = 1 + gen() % 60, rows = 1 + gen() % 4;
    // Symmetric links between free slots, as neighbours come; other slots
    // hold ~0U or another value past the last element.
    dense2D<unsigned> N(rows, E, kNo);
    auto free_row = [&](unsigned j) {
      for (unsigned r = 0; r < rows; ++r)
        if (N(r, j) == kNo) return r;
      return kNo;
    };
    for (unsigned link = 0; link < E * rows / 3; ++link) {
      const unsigned a = gen() % E, b = gen() % E, ra = free_row(a);
      if (ra == kNo) continue;
      N(ra, a) = b;
      const unsigned rb = free_row(b);
      if (rb == kNo) {
        N(ra, a) = kNo;
        continue;
      }
      N(rb, b) = a;
    }
    for (unsigned j = 0; j < E; ++j)
      if (free_row(j) != kNo && gen() % 3 == 0) N(free_row(j), j) = E + gen() % 3;
    dense1D<unsigned> elements, offsets;
    ASSERT_EQ(get_subdomains(N, elements, offsets), 0);
    ASSERT_EQ(elements.size(), E);
    ASSERT_EQ(offsets[offsets.size() - 1], E);
    const auto label = component_labels(N);
    std::vector<bool> seen(E, false);
    unsigned previous_first = 0;
    for (std::size_t k = 0; k + 1 < offsets.size(); ++k) {
      const unsigned first = elements[offsets[k]];
      if (k > 0) {
        EXPECT_GT(first, previous_first);
      }
      previous_first = first;
      std::size_t size = 0;
      for (unsigned m = offsets[k]; m < offsets[k + 1]; ++m) {
        EXPECT_EQ(label[elements[m]], label[first]);
        EXPECT_GE(elements[m], first);
        EXPECT_FALSE(seen[elements[m]]);
        seen[elements[m]] = true;
      }
      for (unsigned j = 0; j < E; ++j) size += label[j] == label[first];
      EXPECT_EQ(size, offsets[k + 1] - offsets[k]);
    }

    dense2D<unsigned> connect(2, E), moved_N;
    for (unsigned j = 0; j < E; ++j) connect(0, j) = j, connect(1, j) = 1000 + j;
    moved_N.copy(N);
    dense1D<unsigned> moved_offsets;
    ASSERT_EQ(get_subdomains(connect, moved_N, moved_offsets), 0);
    EXPECT_EQ(to_vector(moved_offsets), to_vector(offsets));
    std::vector<unsigned> new_of(E);
    for (unsigned k = 0; k < E; ++k) new_of[elements[k]] = k;
    for (unsigned k = 0; k < E; ++k) {
      EXPECT_EQ(connect(0, k), elements[k]);
      EXPECT_EQ(connect(1, k), 1000 + elements[k]);
      for (unsigned r = 0; r < rows; ++r) {
        const unsigned old = N(r, elements[k]);
        EXPECT_EQ(moved_N(r, k), old < E ? new_of[old] : old);
      }
    }
  }
}

TEST(ColorsBoundaries, InterfacesOnceOrTwiceAndTheMeshBoundary) {
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  dense2D<unsigned> N, out;
  ASSERT_EQ(get_neighbors(two, ET_TRIA3, true, N), 0);
  ASSERT_EQ(get_colors_boundaries(two, N, dense1D<unsigned>{1, 2}, ET_TRIA3, false, out), 0);
  EXPECT_EQ(columns_of(out), (std::vector<V>{{1, 2}, {2, 0}, {0, 1}, {1, 3}, {3, 2}}));
  out.clear();
  ASSERT_EQ(get_colors_boundaries(two, N, dense1D<unsigned>{1, 2}, ET_TRIA3, true, out), 0);
  EXPECT_EQ(columns_of(out), (std::vector<V>{{1, 2}, {2, 0}, {0, 1}, {1, 3}, {3, 2}, {2, 1}}));

  // One colour: exactly the mesh boundary, for every sample kind.
  const mesh grids[] = {tetra_grid(2, 3, 2), hexa_grid(3, 2, 2), quad_grid(4, 3)};
  for (const mesh& m : grids) {
    const element_type FE = m.connect.rows() == 4 && m.coords.rows() == 3 ? ET_TETRA4
                            : m.connect.rows() == 8                       ? ET_HEXA8
                                                                          : ET_QUAD4;
    ASSERT_EQ(get_neighbors(m.connect, FE, true, N), 0);
    dense2D<unsigned> skin, colored;
    ASSERT_EQ(get_mesh_boundaries(m.connect, N, FE, skin), 0);
    const dense1D<unsigned> same(m.connect.cols(), 5u);
    ASSERT_EQ(get_colors_boundaries(m.connect, N, same, FE, true, colored), 0);
    EXPECT_EQ(columns_of(colored), columns_of(skin));
  }

  // Quadrangle grid coloured by halves: ny interface edges, written once or
  // twice, on top of the 2 (nx + ny) boundary edges.
  const unsigned nx = 6, ny = 4;
  const mesh q = quad_grid(nx, ny);
  ASSERT_EQ(get_neighbors(q.connect, ET_QUAD4, true, N), 0);
  dense1D<unsigned> halves(q.connect.cols());
  for (unsigned e = 0; e < halves.size(); ++e) halves[e] = e % nx < nx / 2 ? 7 : 3;
  for (bool both : {false, true}) {
    dense2D<unsigned> cut;
    ASSERT_EQ(get_colors_boundaries(q.connect, N, halves, ET_QUAD4, both, cut), 0);
    EXPECT_EQ(cut.cols(), 2 * (nx + ny) + (both ? 2 : 1) * ny);
  }

  // Mixed solids: triangles padded to 4 rows.
  const dense2D<unsigned> solids{{0, 1, 2, 3, kNo, kNo, kNo, kNo},
                                 {2, 1, 0, 4, kNo, kNo, kNo, kNo}};
  ASSERT_EQ(get_neighbors(solids, ET_SOLID_MIX, true, N), 0);
  dense2D<unsigned> faces;
  ASSERT_EQ(get_colors_boundaries(solids, N, dense1D<unsigned>{0, 1}, ET_SOLID_MIX, false, faces),
            0);
  ASSERT_EQ(faces.cols(), 7u);
  EXPECT_EQ(column_of(faces, 3), (V{2, 1, 0, kNo}));
}

TEST(ColorsBoundaries, ReturnCodesInOrder) {
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  dense2D<unsigned> N, out;
  ASSERT_EQ(get_neighbors(two, ET_TRIA3, true, N), 0);
  const dense1D<unsigned> colors{0, 1};
  EXPECT_EQ(get_colors_boundaries(dense2D<unsigned>(3, 0), N, colors, ET_TRIA6, false, out), 0);
  EXPECT_EQ(get_colors_boundaries(two, N, colors, ET_TETRA4, false, out), -1);
  dense2D<unsigned> bad;
  bad.copy(N);
  bad(2, 0) = 5;
  EXPECT_EQ(get_colors_boundaries(two, bad, colors, ET_TRIA3, false, out), -2);
  EXPECT_EQ(get_colors_boundaries(two, N.sub_matrix(0, 0, 3, 1), colors, ET_TRIA3, false, out), -2);
  EXPECT_EQ(get_colors_boundaries(two, N, dense1D<unsigned>{0}, ET_TRIA3, false, out), -3);
  dense2D<unsigned> tall(3, 1, 0u);
  EXPECT_EQ(get_colors_boundaries(two, N, colors, ET_TRIA3, false, tall), -5);
  const dense2D<unsigned> tria6(6, 2, 0u);
  EXPECT_EQ(
      get_colors_boundaries(tria6, dense2D<unsigned>(3, 2, kNo), colors, ET_TRIA6, false, out), -4);
  EXPECT_EQ(out.cols(), 0u);
  EXPECT_EQ(tall.cols(), 1u);
}

TEST(SortElfes, GroupsByUsedNodesDescending) {
  dense2D<unsigned> M = matrix_of(8, {{0, 1, 2, 3}, {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5}});
  dense1D<unsigned> nodes, ends, new_indices;
  ASSERT_EQ(sort_elfes(M, nodes, ends, new_indices), 0);
  EXPECT_EQ(columns_of(M), (std::vector<V>{{0, 1, 2, 3, 4, 5, 6, 7},
                                           {0, 1, 2, 3, 4, 5, kNo, kNo},
                                           {0, 1, 2, 3, kNo, kNo, kNo, kNo}}));
  EXPECT_EQ(to_vector(nodes), (V{8, 6, 4}));
  EXPECT_EQ(to_vector(ends), (V{1, 2, 3}));
  EXPECT_EQ(to_vector(new_indices), (V{2, 0, 1}));

  // A column without used node is dropped; neighbours naming it become ~0U.
  dense2D<unsigned> faces = matrix_of(4, {{0, 1, 2}, {kNo, 5, 6, 7}, {1, 2, 3, 4}, {2, 3, 4}});
  dense2D<unsigned> N = matrix_of(2, {{1, 3}, {0, kNo}, {1, 0}, {kNo, 2}});
  ASSERT_EQ(sort_elfes(faces, N, nodes, ends, new_indices), 0);
  EXPECT_EQ(columns_of(faces), (std::vector<V>{{1, 2, 3, 4}, {0, 1, 2, kNo}, {2, 3, 4, kNo}}));
  EXPECT_EQ(to_vector(new_indices), (V{1, kNo, 0, 2}));
  EXPECT_EQ(to_vector(nodes), (V{4, 3}));
  EXPECT_EQ(to_vector(ends), (V{1, 3}));
  EXPECT_EQ(columns_of(N), (std::vector<V>{{kNo, 1}, {kNo, 2}, {kNo, 0}}));

  // Nothing used at all, and an empty matrix.
  dense2D<unsigned> unused(3, 2, kNo);
  ASSERT_EQ(sort_elfes(unused, nodes, ends, new_indices), 0);
  EXPECT_EQ(unused.cols(), 0u);
  EXPECT_EQ(to_vector(nodes), (V{0}));
  EXPECT_EQ(to_vector(ends), (V{0}));
  EXPECT_EQ(to_vector(new_indices), (V{kNo, kNo}));
  dense2D<unsigned> none(8, 0);
  ASSERT_EQ(sort_elfes(none, nodes, ends, new_indices), 0);
  EXPECT_EQ(to_vector(nodes), (V{0}));
  EXPECT_TRUE(new_indices.empty());

  // Column counts differ: -1 and nothing changes, outputs included.
  dense2D<unsigned> wrong(2, 5, kNo);
  dense2D<unsigned> keep = matrix_of(8, {{0, 1, 2, 3}, {0, 1, 2, 3, 4}});
  EXPECT_EQ(sort_elfes(keep, wrong, nodes, ends, new_indices), -1);
  EXPECT_EQ(to_vector(nodes), (V{0}));
  EXPECT_EQ(columns_of(keep)[0], (V{0, 1, 2, 3, kNo, kNo, kNo, kNo}));
}

// Random mixed solids with their neighbours: every column lands where
// new_indices says, groups are contiguous with descending counts and
// ascending old indices, and the neighbours follow the renumbering.
TEST(SortElfes, PermutationInvariantsOnRandomMixedSolids) {
  for (unsigned seed = 1; seed <= 8; ++seed) {
    dense2D<unsigned> M = random_distinct_solid_mix(50, 12, seed);
    for (unsigned j = seed; j < 50; j += 9) M(0, j) = kNo;  // some unused columns
    dense2D<unsigned> N(6, 50, kNo);
    std::mt19937 gen(seed);
    for (unsigned j = 0; j < 50; ++j)
      for (unsigned r = 0; r < 6; ++r)
        if (gen() % 2) N(r, j) = gen() % 50;
    dense2D<unsigned> M0, N0;
    M0.copy(M);
    N0.copy(N);
    dense1D<unsigned> nodes, ends, new_indices;
    ASSERT_EQ(sort_elfes(M, N, nodes, ends, new_indices), 0);
    ASSERT_EQ(new_indices.size(), 50u);

    auto used = [&](unsigned j) {
      unsigned k = 0;
      while (k < 8 && M0(k, j) != kNo) ++k;
      return k;
    };
    std::size_t kept = 0;
    for (unsigned j = 0; j < 50; ++j) kept += used(j) > 0;
    ASSERT_EQ(M.cols(), kept);
    ASSERT_EQ(N.cols(), kept);
    EXPECT_EQ(ends[ends.size() - 1], kept);
    for (unsigned j = 0; j < 50; ++j) {
      if (used(j) == 0) {
        EXPECT_EQ(new_indices[j], kNo);
        continue;
      }
      const unsigned p = new_indices[j];
      ASSERT_LT(p, kept);
      EXPECT_EQ(column_of(M, p), column_of(M0, j));
      // Its group holds its count.
      const std::size_t g = std::upper_bound(ends.begin(), ends.end(), p) - ends.begin();
      EXPECT_EQ(nodes[g], used(j));
      for (unsigned r = 0; r < 6; ++r) {
        const unsigned old = N0(r, j);
        EXPECT_EQ(N(r, p), old == kNo ? kNo : new_indices[old]);
      }
      for (unsigned i = 0; i < j; ++i)
        if (used(i) == used(j)) {
          EXPECT_LT(new_indices[i], p);
        }
    }
    for (std::size_t g = 1; g < nodes.size(); ++g) EXPECT_GT(nodes[g - 1], nodes[g]);
  }
}

}  // namespace
}  // namespace quernfold_test
