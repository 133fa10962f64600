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
constexpr unsigned kNo = ~0U;

edge_vec columns_of(const dense2D<unsigned>& edges) {
  edge_vec out;
  for (std::size_t j = 0; j < edges.cols(); ++j) out.emplace_back(edges(0, j), edges(1, j));
  return out;
}

// Edges of each shape written out by hand, independent of the library tables.
void add_shape_edges(const unsigned* c, int nodes, edge_set& out) {
  static const std::vector<std::vector<std::pair<int, int>>> kByNodes = {
      {},
      {},
      {{0, 1}},
      {{0, 1}, {1, 2}, {0, 2}},
      {{0, 1}, {1, 2}, {2, 3}, {0, 3}},  // quadrangle; tetrahedra below
  };
  auto add = [&](int a, int b) { out.insert(std::minmax(c[a], c[b])); };
  switch (nodes) {
    case -4:  // tetrahedron: every pair
      for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b) add(a, b);
      return;
    case 5:  // pyramid: base square and apex
      for (int a = 0; a < 4; ++a) add(a, (a + 1) % 4), add(a, 4);
      return;
    case 6:  // wedge: two triangles and three laterals
      for (int a = 0; a < 3; ++a) add(a, (a + 1) % 3), add(a + 3, (a + 1) % 3 + 3), add(a, a + 3);
      return;
    case 8:  // hexahedron: two squares and four laterals
      for (int a = 0; a < 4; ++a) add(a, (a + 1) % 4), add(a + 4, (a + 1) % 4 + 4), add(a, a + 4);
      return;
    default:
      for (const auto& p : kByNodes[nodes]) add(p.first, p.second);
  }
}

TEST(CopyEdges, TwoTrianglesSharingAnEdge) {
  const dense2D<unsigned> tri{{0, 1, 2}, {2, 1, 3}};
  dense2D<unsigned> edges;
  ASSERT_EQ(copy_edges(tri, ET_TRIA3, edges), 0);
  const edge_vec want = {{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}};
  EXPECT_EQ(columns_of(edges), want);
  EXPECT_EQ(edges.rows(), 2u);

  // Appending keeps what is there and does not compare against it.
  ASSERT_EQ(copy_edges(tri, ET_TRIA3, edges), 0);
  ASSERT_EQ(edges.cols(), 10u);
  for (std::size_t j = 0; j < 5; ++j) {
    EXPECT_EQ(edges(0, j + 5), edges(0, j));
    EXPECT_EQ(edges(1, j + 5), edges(1, j));
  }

  // The same triangles as a 4-row mixed matrix, and as 6-node triangles
  // (only vertex nodes count).
  dense2D<unsigned> mixed{{0, 1, 2, kNo}, {2, 1, 3, kNo}}, out;
  ASSERT_EQ(copy_edges(mixed, ET_FACE_MIX, out), 0);
  EXPECT_EQ(columns_of(out), want);
  dense2D<unsigned> tria6{{0, 1, 2, 90, 91, 92}, {2, 1, 3, 93, 94, 95}};
  out.clear();
  ASSERT_EQ(copy_edges(tria6, ET_TRIA6, out), 0);
  EXPECT_EQ(columns_of(out), want);
}

TEST(CopyEdges, CodesAndOutputStateOnFailure) {
  const dense2D<unsigned> tri{{0, 1, 2}};
  dense2D<unsigned> three(3, 1, 7u), out;

  EXPECT_EQ(copy_edges(dense2D<unsigned>(), ET_TRIA3, three), 0);  // empty input first
  EXPECT_EQ(copy_edges(tri, ET_TRIA3, three), -3);
  EXPECT_EQ(three.cols(), 1u);
  EXPECT_EQ(copy_edges(dense2D<unsigned>{{0, kNo, 2}}, ET_TRIA3, out), -1);
  EXPECT_EQ(copy_edges(tri, ET_QUAD4, out), -1);  // wrong height
  EXPECT_EQ(out.cols(), 0u);

  // A 3-row output with no columns is empty, so it is taken as 2 x 0.
  dense2D<unsigned> no_cols(3, 0);
  ASSERT_EQ(copy_edges(tri, ET_TRIA3, no_cols), 0);
  EXPECT_EQ(no_cols.rows(), 2u);
  EXPECT_EQ(no_cols.cols(), 3u);

  // Range form: -2 last before first, -3 kinds, -4 output, -1 check, in that order.
  const dense2D<unsigned> mats[2] = {tri, dense2D<unsigned>{{0, kNo}}};
  dense1D<int> kinds{ET_TRIA3, ET_EDGE2};
  EXPECT_EQ(copy_edges(mats + 1, mats, kinds, three), -2);
  EXPECT_EQ(copy_edges(mats, mats + 1, kinds, three), -3);
  EXPECT_EQ(copy_edges(mats, mats + 2, kinds, three), -4);
  EXPECT_EQ(copy_edges(mats, mats + 2, kinds, out), -1);
  EXPECT_EQ(out.cols(), 0u);
  EXPECT_EQ(copy_edges(mats, mats, dense1D<int>(), out), 0);
  EXPECT_EQ(out.cols(), 0u);
}

TEST(CopyEdges, KindsWithoutEdgesContributeNothing) {
  dense2D<unsigned> out{{5, 6}};
  const dense2D<unsigned> hexa20(20, 1), wedge15(15, 1), pyramid13(13, 1);
  EXPECT_EQ(copy_edges(hexa20, ET_HEXA20, out), 0);
  EXPECT_EQ(copy_edges(wedge15, ET_WEDGE15, out), 0);
  EXPECT_EQ(copy_edges(pyramid13, ET_PYRAMID13, out), 0);
  EXPECT_EQ(copy_edges(dense2D<unsigned>{{0}, {1}}, ET_NODE, out), 0);
  EXPECT_EQ(copy_edges(dense2D<unsigned>{{0, 1}}, ET_EDGE_MIX, out), 0);
  ASSERT_EQ(out.cols(), 1u);
  EXPECT_EQ(out(0, 0), 5u);

  // In a range they are skipped while their neighbours count.
  const dense2D<unsigned> mats[2] = {hexa20, dense2D<unsigned>{{3, 1}}};
  dense1D<int> kinds{ET_HEXA20, ET_EDGE2};
  ASSERT_EQ(copy_edges(mats, mats + 2, kinds, out), 0);
  ASSERT_EQ(out.cols(), 2u);
  EXPECT_EQ(out(0, 1), 1u);
  EXPECT_EQ(out(1, 1), 3u);
}

TEST(CopyEdges, MixedSolidsMatchHandWrittenShapes) {
  // One column of each shape, sharing nodes so that duplicates occur.
  const dense2D<unsigned> solids{{0, 1, 2, 3, kNo, kNo, kNo, kNo},
                                 {0, 1, 4, 3, 5, kNo, kNo, kNo},
                                 {1, 2, 3, 6, 7, 8, kNo, kNo},
                                 {0, 1, 2, 3, 9, 10, 11, 12}};
  edge_set want;
  const int shapes[4] = {-4, 5, 6, 8};
  for (std::size_t j = 0; j < 4; ++j) add_shape_edges(solids.column(j), shapes[j], want);
  dense2D<unsigned> out;
  ASSERT_EQ(copy_edges(solids, ET_SOLID_MIX, out), 0);
  const auto got = columns_of(out);
  EXPECT_EQ(got, edge_vec(want.begin(), want.end()));

  // 4-, 5-, 6-row ET_SOLID_MIX matrices are pure tetrahedra, pyramids, wedges.
  const dense2D<unsigned> wedge{{1, 2, 3, 6, 7, 8}};
  edge_set wedge_want;
  add_shape_edges(wedge.column(0), 6, wedge_want);
  out.clear();
  ASSERT_EQ(copy_edges(wedge, ET_SOLID_MIX, out), 0);
  EXPECT_EQ(out.cols(), 9u);
  EXPECT_EQ(columns_of(out), edge_vec(wedge_want.begin(), wedge_want.end()));
}

TEST(CopyEdges, GridsGiveTheirEdgeCountsAndRangesMergeDistinctEdges) {
  // An nx x ny quadrangle grid has nx (ny + 1) + ny (nx + 1) edges (no diagonals).
  const auto quads = quernfold_test::quad_grid(4, 3);
  dense2D<unsigned> out;
  ASSERT_EQ(copy_edges(quads.connect, ET_QUAD4, out), 0);
  EXPECT_EQ(out.cols(), 4u * 4 + 3u * 5);

  const auto hexas = quernfold_test::hexa_grid(3, 2, 2);
  out.clear();
  ASSERT_EQ(copy_edges(hexas.connect, ET_HEXA8, out), 0);
  EXPECT_EQ(out.cols(), 3u * 3 * 3 + 2u * 4 * 3 + 2u * 4 * 3);

  // Brute force on a tetrahedral grid split into two matrices: the range
  // holds each edge once and in ascending order.
  const auto tets = quernfold_test::tetra_grid(3, 3, 2);
  const std::size_t half = tets.connect.cols() / 2;
  const dense2D<unsigned> mats[2] = {
      tets.connect.sub_matrix(0, half, 4, tets.connect.cols() - half),
      tets.connect.sub_matrix(0, 0, 4, half)};
  edge_set want;
  for (std::size_t j = 0; j < tets.connect.cols(); ++j)
    add_shape_edges(tets.connect.column(j), -4, want);
  out.clear();
  ASSERT_EQ(copy_edges(mats, mats + 2, dense1D<int>{ET_TETRA4, ET_TETRA4}, out), 0);
  EXPECT_EQ(columns_of(out), edge_vec(want.begin(), want.end()));
}

}  // namespace
