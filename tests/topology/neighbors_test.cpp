#include <gtest/gtest.h>

#include <array>

#include "topology/face_tools.h"
#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

// The comparison itself is pinned against the literal one in
// face_table_test; here the canonical key agrees with it on every pair.
TEST(FaceEquality, CanonicalKeyAgreesWithComparison) {
  for (unsigned n : {2u, 3u, 4u}) {
    std::vector<V> faces;
    for (unsigned code = 0; code < (1u << (2 * n)); ++code) {
      V f(n);
      for (unsigned k = 0, c = code; k < n; ++k, c /= 4) f[k] = 10 + c % 4;
      faces.push_back(f);
    }
    for (const V& a : faces)
      for (const V& b : faces)
        ASSERT_EQ(detail::canonical_face(a.data(), n) == detail::canonical_face(b.data(), n),
                  detail::compare_faces(a.data(), n, b.data(), n) != 0);
  }
}

TEST(ElementBoundaries, LocalOrderMixedPaddingAndReturnCodes) {
  // Mixed solids: 4-row face columns, triangles padded with ~0U; a second
  // call appends behind the first.
  const dense2D<unsigned> solids{{0, 1, 2, 3, no_index, no_index, no_index, no_index},
                                 {0, 1, 2, 3, 4, no_index, no_index, no_index}};
  dense2D<unsigned> faces;
  ASSERT_EQ(get_element_boundaries(solids, ET_SOLID_MIX, faces), 0);
  ASSERT_EQ(get_element_boundaries(solids, ET_SOLID_MIX, faces), 0);
  ASSERT_EQ(faces.cols(), 18u);
  EXPECT_EQ(column_of(faces, 3), (V{2, 1, 0, no_index}));
  EXPECT_EQ(column_of(faces, 4), (V{0, 4, 1, no_index}));
  EXPECT_EQ(column_of(faces, 17), (V{0, 1, 2, 3}));
  // Empty connectivity succeeds before any check; then the kind check, the
  // kind, the output height.
  dense2D<unsigned> out(3, 2, 5u);
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>(3, 0), ET_TRIA6, out), 0);
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>{{0, 1, no_index}}, ET_TRIA3, out), -1);
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>{{0, no_index, 2, 3}}, ET_FACE_MIX, out), -1);
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>(6, 1, 0u), ET_TRIA6, out), -2);
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>{{0, 1, 2}}, ET_TRIA3, out), -2);
  EXPECT_EQ(out.cols(), 2u);
}

TEST(Neighbors, WorkedExamplesAndReturnCodes) {
  dense2D<unsigned> N;
  // Three triangles on one edge.
  const dense2D<unsigned> fan{{0, 1, 2}, {1, 0, 3}, {0, 1, 4}};
  ASSERT_EQ(get_neighbors(fan, ET_TRIA3, true, N), 0);
  EXPECT_EQ(
      columns_of(N),
      (std::vector<V>{{no_index, no_index, 2}, {no_index, no_index, 0}, {no_index, no_index, 0}}));
  // A wedge's triangle (0,1,2) never equals a pyramid base holding 0, 1, 2.
  ASSERT_EQ(
      get_neighbors(matrix_of(8, {{0, 1, 2, 5, 6, 7}, {0, 1, 2, 3, 9}}), ET_SOLID_MIX, true, N), 0);
  EXPECT_EQ(columns_of(N), (std::vector<V>(2, V(6, no_index))));
  // Mixed solids: a tetrahedron column has rows 4 and 5 at ~0U, a pyramid
  // and a wedge row 5, whatever their faces meet.
  const dense2D<unsigned> solids =
      matrix_of(8, {{0, 1, 2, 3}, {1, 0, 4, 5, 2}, {0, 1, 3, 6, 7, 8}});
  ASSERT_EQ(get_neighbors(solids, ET_SOLID_MIX, true, N), 0);
  EXPECT_EQ(columns_of(N), (std::vector<V>{{no_index, no_index, 2, 1, no_index, no_index},
                                           {0, no_index, no_index, no_index, no_index, no_index},
                                           {0, no_index, no_index, no_index, no_index, no_index}}));

  N = dense2D<unsigned>(3, 3, 1u);
  EXPECT_EQ(get_neighbors(dense2D<unsigned>(3, 0), ET_TRIA3, true, N), 0);
  EXPECT_EQ(N.cols(), 0u);
  N = dense2D<unsigned>(3, 3, 1u);
  EXPECT_EQ(get_neighbors(dense2D<unsigned>{{0, 1, 2, 3}}, ET_TRIA3, true, N), -1);
  EXPECT_TRUE(N.empty());
  EXPECT_EQ(get_neighbors(dense2D<unsigned>(6, 1, 0u), ET_TRIA6, true, N), -2);
}

// Random meshes on few nodes share faces among many elements; the result
// must equal the matching pass run on one chain of all faces.
TEST(Neighbors, MatchesTheMatchingPassOnRandomNonManifoldMeshes) {
  auto check = [](const dense2D<unsigned>& M, element_type FE, bool link) {
    dense2D<unsigned> N;
    ASSERT_EQ(get_neighbors(padded_view(M), FE, link, N), 0);
    EXPECT_EQ(columns_of(N), columns_of(neighbors_oracle(M, FE, link))) << FE << " " << link;
  };
  const std::array<element_type, 7> kinds{ET_EDGE2,    ET_TRIA3,  ET_QUAD4, ET_TETRA4,
                                          ET_PYRAMID5, ET_WEDGE6, ET_HEXA8};
  for (unsigned seed = 1; seed <= 3; ++seed)
    for (bool link : {true, false}) {
      for (element_type FE : kinds)
        check(random_elements(nbr_nodes(FE), 60, nbr_nodes(FE) + 3, seed), FE, link);
      for (unsigned rows : {4u, 5u, 6u})
        check(random_elements(rows, 30, 8, rows), ET_SOLID_MIX, link);
      check(random_distinct_solid_mix(80, 9, seed), ET_SOLID_MIX, link);
      dense2D<unsigned> faces = random_elements(4, 80, 6, seed);
      for (std::size_t j = 0; j < 80; j += 3) faces(3, j) = no_index;
      check(faces, ET_FACE_MIX, link);
    }
}

// Node IDs at multiples of the bucket count fall into one bucket although
// their smallest nodes differ; large fans make long buckets.
TEST(Neighbors, CollidingBucketsAndLongFans) {
  // Three triangles: 9 faces, so the table has 23 buckets.
  const dense2D<unsigned> far{{0, 23, 46}, {46, 23, 69}, {4294967294u, 23, 0}};
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(far, ET_TRIA3, true, N), 0);
  EXPECT_EQ(columns_of(N),
            (std::vector<V>{{1, no_index, 2}, {no_index, no_index, 0}, {0, no_index, no_index}}));
  // 150 triangles on the edge (0, 1) in alternating senses, then a closed
  // fan of 200 triangles around node 2000.
  std::vector<V> cols;
  for (unsigned t = 0; t < 150; ++t) cols.push_back(t % 2 ? V{1, 0, 2 + t} : V{0, 1, 2 + t});
  for (unsigned t = 0; t < 200; ++t) cols.push_back({2000, 2001 + t, 2001 + (t + 1) % 200});
  const dense2D<unsigned> M = matrix_of(3, cols);
  for (bool link : {true, false}) {
    ASSERT_EQ(get_neighbors(M, ET_TRIA3, link, N), 0);
    EXPECT_EQ(columns_of(N), columns_of(neighbors_oracle(M, ET_TRIA3, link)));
    EXPECT_EQ(N(2, 0), link ? 149u : no_index);
    EXPECT_EQ(N(2, 150), 150u + 199);
  }
}

}  // namespace
}  // namespace quernfold_test
