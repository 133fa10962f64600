// copy_edges: distinct element edges as sorted (smaller, larger) columns.
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "quernfold/quality.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using edge_set = std::set<std::pair<unsigned, unsigned>>;
using edge_vec = std::vector<std::pair<unsigned, unsigned>>;

edge_vec columns_of(const dense2D<unsigned>& edges) {
  edge_vec out;
  for (std::size_t j = 0; j < edges.cols(); ++j) out.emplace_back(edges(0, j), edges(1, j));
  return out;
}

// Solid edges written out by hand (4 = tetrahedron), independent of the library tables.
void add_shape_edges(const unsigned* c, int nodes, edge_set& out) {
  auto add = [&](int a, int b) { out.insert(std::minmax(c[a], c[b])); };
  const int n = nodes == 6 ? 3 : 4;  // wedge: triangles; pyramid, hexahedron: squares
  if (nodes == 4) {
    for (int a = 0; a < 4; ++a)
      for (int b = a + 1; b < 4; ++b) add(a, b);
    return;
  }
  for (int a = 0; a < n; ++a) {
    add(a, (a + 1) % n);
    if (nodes == 5)
      add(a, 4);
    else
      add(a + n, (a + 1) % n + n), add(a, a + n);
  }
}

TEST(CopyEdges, TwoTrianglesAppendingAndVertexNodesOnly) {
  const dense2D<unsigned> tri{{0, 1, 2}, {2, 1, 3}};
  dense2D<unsigned> edges;
  ASSERT_EQ(copy_edges(tri, ET_TRIA3, edges), 0);
  const edge_vec want = {{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}};
  EXPECT_EQ(columns_of(edges), want);
  // Appending keeps what is there and does not compare against it.
  ASSERT_EQ(copy_edges(tri, ET_TRIA3, edges), 0);
  EXPECT_EQ(edges.cols(), 10u);
  // 6-node triangles: only vertex nodes count.
  dense2D<unsigned> out;
  ASSERT_EQ(copy_edges(dense2D<unsigned>{{0, 1, 2, 90, 91, 92}}, ET_TRIA6, out), 0);
  EXPECT_EQ(columns_of(out), (edge_vec{{0, 1}, {0, 2}, {1, 2}}));
}

TEST(CopyEdges, CodesOutputStateAndKindsWithoutEdges) {
  const dense2D<unsigned> tri{{0, 1, 2}};
  dense2D<unsigned> three(3, 1, 7u), out;
  EXPECT_EQ(copy_edges(dense2D<unsigned>(), ET_TRIA3, three), 0);  // empty input first
  EXPECT_EQ(copy_edges(tri, ET_TRIA3, three), -3);
  EXPECT_EQ(three.cols(), 1u);
  EXPECT_EQ(copy_edges(dense2D<unsigned>{{0, no_index, 2}}, ET_TRIA3, out), -1);
  EXPECT_EQ(out.cols(), 0u);
  // Range form: -2 last before first, -3 kinds, -4 output, -1 check, in that order.
  const dense2D<unsigned> mats[2] = {tri, dense2D<unsigned>{{0, no_index}}};
  dense1D<int> kinds{ET_TRIA3, ET_EDGE2};
  EXPECT_EQ(copy_edges(mats + 1, mats, kinds, three), -2);
  EXPECT_EQ(copy_edges(mats, mats + 1, kinds, three), -3);
  EXPECT_EQ(copy_edges(mats, mats + 2, kinds, three), -4);
  EXPECT_EQ(copy_edges(mats, mats + 2, kinds, out), -1);
  EXPECT_EQ(out.cols(), 0u);

  // Kinds without edges contribute nothing; in a range their neighbours count.
  EXPECT_EQ(copy_edges(dense2D<unsigned>{{0, 1}}, ET_EDGE_MIX, out), 0);
  const dense2D<unsigned> no_edges[2] = {dense2D<unsigned>(20, 1), dense2D<unsigned>{{3, 1}}};
  ASSERT_EQ(copy_edges(no_edges, no_edges + 2, dense1D<int>{ET_HEXA20, ET_EDGE2}, out), 0);
  EXPECT_EQ(columns_of(out), (edge_vec{{1, 3}}));
}

TEST(CopyEdges, MixedSolidsAndTetraRangeAgainstBruteForce) {
  // One column of each shape, sharing nodes so that duplicates occur.
  const dense2D<unsigned> solids{{0, 1, 2, 3, no_index, no_index, no_index, no_index},
                                 {0, 1, 4, 3, 5, no_index, no_index, no_index},
                                 {1, 2, 3, 6, 7, 8, no_index, no_index},
                                 {0, 1, 2, 3, 9, 10, 11, 12}};
  edge_set want;
  const int shapes[4] = {4, 5, 6, 8};
  for (std::size_t j = 0; j < 4; ++j) add_shape_edges(solids.column(j), shapes[j], want);
  dense2D<unsigned> out;
  ASSERT_EQ(copy_edges(solids, ET_SOLID_MIX, out), 0);
  EXPECT_EQ(columns_of(out), edge_vec(want.begin(), want.end()));

  // A tetrahedral grid split into two matrices: each edge once, ascending.
  const auto tets = quernfold_test::tetra_grid(3, 3, 2);
  const std::size_t half = tets.connect.cols() / 2;
  const dense2D<unsigned> mats[2] = {
      tets.connect.sub_matrix(0, half, 4, tets.connect.cols() - half),
      tets.connect.sub_matrix(0, 0, 4, half)};
  want.clear();
  for (std::size_t j = 0; j < tets.connect.cols(); ++j)
    add_shape_edges(tets.connect.column(j), 4, want);
  out.clear();
  ASSERT_EQ(copy_edges(mats, mats + 2, dense1D<int>{ET_TETRA4, ET_TETRA4}, out), 0);
  EXPECT_EQ(columns_of(out), edge_vec(want.begin(), want.end()));
}

}  // namespace
