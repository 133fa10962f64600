#include <gtest/gtest.h>

#include <algorithm>

#include "support/mesh_gen.h"
#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

// Sub-domains straight from their rule: breadth-first growth from the
// lowest element not yet placed, entries followed in row order as they are.
void subdomains_oracle(const dense2D<unsigned>& N, V& elements, V& offsets) {
  std::vector<bool> placed(N.cols(), false);
  elements.clear();
  offsets = {0};
  for (unsigned s = 0; s < N.cols(); ++s) {
    if (placed[s]) continue;
    placed[s] = true;
    elements.push_back(s);
    for (std::size_t k = offsets.back(); k < elements.size(); ++k)
      for (unsigned r = 0; r < N.rows(); ++r) {
        const unsigned n = N(r, elements[k]);
        if (n < N.cols() && !placed[n]) placed[n] = true, elements.push_back(n);
      }
    offsets.push_back(unsigned(elements.size()));
  }
}

TEST(Subdomains, BreadthFirstFromTheLowestElementAndReturnCodes) {
  // 3x3 quadrangles e = i + 3j; faces: below, right, above, left.
  const mesh q = quad_grid(3, 3);
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(q.connect, ET_QUAD4, true, N), 0);
  dense1D<unsigned> elements{4, 4}, offsets{4};
  ASSERT_EQ(get_subdomains(N, elements, offsets), 0);
  EXPECT_EQ(to_vector(elements), (V{0, 1, 3, 2, 4, 6, 5, 7, 8}));
  EXPECT_EQ(to_vector(offsets), (V{0, 9}));
  ASSERT_EQ(get_subdomains(dense2D<unsigned>(3, 0), elements, offsets), 0);
  EXPECT_TRUE(elements.empty());
  EXPECT_EQ(to_vector(offsets), (V{0}));
  // Column counts differ.
  dense2D<unsigned> connect(2, 3, 0u), two_cols(3, 2, no_index);
  EXPECT_EQ(get_subdomains(connect, two_cols, offsets), -2);
  EXPECT_TRUE(offsets.empty());
}

// Random entries, not symmetric, so growth follows entries as they are.
TEST(Subdomains, MatchOracleOnRandomGraphs) {
  std::mt19937 gen(11);
  for (int round = 0; round < 12; ++round) {
    const unsigned E = 1 + gen() % 60, rows = 1 + gen() % 4;
    // Random entries: elements, ~0U, or values past the last element.
    dense2D<unsigned> N(rows, E, no_index);
    for (unsigned j = 0; j < E; ++j)
      for (unsigned r = 0; r < rows; ++r)
        if (gen() % 3 == 0) N(r, j) = gen() % (E + 3);
    dense1D<unsigned> elements, offsets;
    V expected_elements, expected_offsets;
    subdomains_oracle(N, expected_elements, expected_offsets);
    ASSERT_EQ(get_subdomains(N, elements, offsets), 0);
    ASSERT_EQ(to_vector(elements), expected_elements);
    ASSERT_EQ(to_vector(offsets), expected_offsets);

    // The reordering overload moves columns and renumbers entries.
    dense2D<unsigned> connect(1, E), moved;
    for (unsigned j = 0; j < E; ++j) connect(0, j) = 1000 + j;
    moved.copy(N);
    ASSERT_EQ(get_subdomains(connect, moved, offsets), 0);
    EXPECT_EQ(to_vector(offsets), expected_offsets);
    V new_of(E);
    for (unsigned k = 0; k < E; ++k) new_of[elements[k]] = k;
    for (unsigned k = 0; k < E; ++k) {
      EXPECT_EQ(connect(0, k), 1000 + elements[k]);
      for (unsigned r = 0; r < rows; ++r)
        EXPECT_EQ(moved(r, k),
                  N(r, elements[k]) < E ? new_of[N(r, elements[k])] : N(r, elements[k]));
    }
  }
}

// Quadrangle grid: one colour gives the mesh boundary; coloured by halves,
// ny interface edges more, written once or twice.
TEST(ColorsBoundaries, InterfacesOnceOrTwiceAndReturnCodes) {
  const unsigned nx = 6, ny = 4;
  const mesh q = quad_grid(nx, ny);
  dense2D<unsigned> QN, skin, colored;
  ASSERT_EQ(get_neighbors(q.connect, ET_QUAD4, true, QN), 0);
  ASSERT_EQ(get_mesh_boundaries(q.connect, QN, ET_QUAD4, skin), 0);
  dense1D<unsigned> halves(q.connect.cols(), 5u);
  ASSERT_EQ(get_colors_boundaries(q.connect, QN, halves, ET_QUAD4, true, colored), 0);
  EXPECT_EQ(columns_of(colored), columns_of(skin));
  for (unsigned e = 0; e < halves.size(); ++e) halves[e] = e % nx < nx / 2 ? 7 : 3;
  for (bool both : {false, true}) {
    dense2D<unsigned> cut;
    ASSERT_EQ(get_colors_boundaries(q.connect, QN, halves, ET_QUAD4, both, cut), 0);
    EXPECT_EQ(cut.cols(), 2 * (nx + ny) + (both ? 2 : 1) * ny);
  }

  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  const dense1D<unsigned> colors{0, 1};
  dense2D<unsigned> N, out, bad, tall(3, 1, 0u);
  ASSERT_EQ(get_neighbors(two, ET_TRIA3, true, N), 0);
  ASSERT_EQ(get_colors_boundaries(two, N, colors, ET_TRIA3, false, out), 0);
  EXPECT_EQ(columns_of(out), (std::vector<V>{{1, 2}, {2, 0}, {0, 1}, {1, 3}, {3, 2}}));
  bad.copy(N);
  bad(2, 0) = 5;
  out.clear();
  EXPECT_EQ(get_colors_boundaries(dense2D<unsigned>(3, 0), N, colors, ET_TRIA6, false, out), 0);
  EXPECT_EQ(get_colors_boundaries(two, N, colors, ET_TETRA4, false, out), -1);
  EXPECT_EQ(get_colors_boundaries(two, bad, colors, ET_TRIA3, false, out), -2);
  EXPECT_EQ(get_colors_boundaries(two, N, dense1D<unsigned>{0}, ET_TRIA3, false, out), -3);
  EXPECT_EQ(get_colors_boundaries(two, N, colors, ET_TRIA3, false, tall), -5);
  EXPECT_EQ(get_colors_boundaries(dense2D<unsigned>(6, 2, 0u), dense2D<unsigned>(3, 2, no_index),
                                  colors, ET_TRIA6, false, out),
            -4);
  EXPECT_EQ(out.cols(), 0u);
}

TEST(SortElfes, DroppedColumnsAndReturnCodes) {
  // A column without used node is dropped; neighbours naming it become ~0U.
  dense2D<unsigned> faces = matrix_of(4, {{0, 1, 2}, {no_index, 5, 6, 7}, {1, 2, 3, 4}, {2, 3, 4}});
  dense2D<unsigned> N = matrix_of(2, {{1, 3}, {0, no_index}, {1, 0}, {no_index, 2}});
  dense1D<unsigned> nodes, ends, new_indices;
  ASSERT_EQ(sort_elfes(faces, N, nodes, ends, new_indices), 0);
  EXPECT_EQ(columns_of(faces),
            (std::vector<V>{{1, 2, 3, 4}, {0, 1, 2, no_index}, {2, 3, 4, no_index}}));
  EXPECT_EQ(to_vector(new_indices), (V{1, no_index, 0, 2}));
  EXPECT_EQ(to_vector(nodes), (V{4, 3}));
  EXPECT_EQ(to_vector(ends), (V{1, 3}));
  EXPECT_EQ(columns_of(N), (std::vector<V>{{no_index, 1}, {no_index, 2}, {no_index, 0}}));
  // Nothing used at all.
  dense2D<unsigned> unused(3, 2, no_index);
  ASSERT_EQ(sort_elfes(unused, nodes, ends, new_indices), 0);
  EXPECT_EQ(to_vector(nodes), (V{0}));
  // Column counts differ: -1 and nothing changes, outputs included.
  dense2D<unsigned> keep = matrix_of(8, {{0, 1, 2, 3}, {0, 1, 2, 3, 4}}), wrong(2, 5, no_index);
  EXPECT_EQ(sort_elfes(keep, wrong, nodes, ends, new_indices), -1);
  EXPECT_EQ(to_vector(nodes), (V{0}));
  EXPECT_EQ(column_of(keep, 0), (V{0, 1, 2, 3, no_index, no_index, no_index, no_index}));
}

// Random mixed solids with their neighbours against a stable sort by used
// node count, descending, that drops the columns without used node.
TEST(SortElfes, MatchesAStableSortOnRandomMixedSolids) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    dense2D<unsigned> M = random_distinct_solid_mix(50, 12, seed);
    for (unsigned j = seed; j < 50; j += 9) M(0, j) = no_index;  // some unused columns
    dense2D<unsigned> N(6, 50, no_index);
    std::mt19937 gen(seed);
    for (unsigned j = 0; j < 50; ++j)
      for (unsigned r = 0; r < 6; ++r)
        if (gen() % 2) N(r, j) = gen() % 50;
    V order, counts, group_ends, new_of(50, no_index);
    for (unsigned c = 8; c >= 1; --c) {
      const std::size_t before = order.size();
      for (unsigned j = 0; j < 50; ++j)
        if (std::find(M.column(j), M.column(j) + 8, no_index) - M.column(j) == c)
          new_of[j] = unsigned(order.size()), order.push_back(j);
      if (order.size() > before) counts.push_back(c), group_ends.push_back(unsigned(order.size()));
    }
    std::vector<V> cols, links;
    for (unsigned j : order) {
      cols.push_back(column_of(M, j));
      links.push_back({});
      for (unsigned r = 0; r < 6; ++r)
        links.back().push_back(N(r, j) == no_index ? no_index : new_of[N(r, j)]);
    }
    dense1D<unsigned> nodes, ends, new_indices;
    ASSERT_EQ(sort_elfes(M, N, nodes, ends, new_indices), 0);
    EXPECT_EQ(columns_of(M), cols);
    EXPECT_EQ(columns_of(N), links);
    EXPECT_EQ(to_vector(nodes), counts);
    EXPECT_EQ(to_vector(ends), group_ends);
    EXPECT_EQ(to_vector(new_indices), new_of);
  }
}

}  // namespace
}  // namespace quernfold_test
