#include <gtest/gtest.h>

#include <array>

#include "support/mesh_gen.h"
#include "topology/face_tools.h"
#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

int compare(const V& a, const V& b) {
  return detail::compare_faces(a.data(), unsigned(a.size()), b.data(), unsigned(b.size()));
}

TEST(FaceEquality, SenseAndTheQuadrangleRule) {
  EXPECT_EQ(compare({4}, {4}), 1);
  EXPECT_EQ(compare({4}, {5}), 0);
  EXPECT_EQ(compare({1, 2}, {1, 2}), 1);
  EXPECT_EQ(compare({1, 2}, {2, 1}), -1);
  EXPECT_EQ(compare({1, 2}, {1, 3}), 0);
  EXPECT_EQ(compare({5, 2, 9}, {9, 5, 2}), 1);
  EXPECT_EQ(compare({5, 2, 9}, {2, 5, 9}), -1);
  EXPECT_EQ(compare({5, 2, 9}, {2, 5, 8}), 0);
  EXPECT_EQ(compare({1, 2, 3, 4}, {3, 4, 1, 2}), 1);
  EXPECT_EQ(compare({1, 2, 3, 4}, {4, 3, 2, 1}), -1);
  EXPECT_EQ(compare({0, 1, 2, 3}, {0, 2, 1, 3}), 0);
  EXPECT_EQ(compare({1, 2, 3}, {1, 2, 3, 4}), 0);
  // Repeated nodes: each face starts at its first smallest node.
  EXPECT_EQ(compare({1, 1, 2, 3}, {1, 1, 2, 3}), 1);
  EXPECT_EQ(compare({1, 1, 2, 3}, {3, 2, 1, 1}), 0);
  EXPECT_EQ(compare({7, 7}, {7, 7}), 1);

  // Every ordering of 3 and 4 distinct nodes against the plain meaning, and
  // the canonical key agrees with the comparison on every pair, repeated
  // nodes included.
  for (unsigned n : {2u, 3u, 4u}) {
    std::vector<V> faces;
    V f(n);
    const unsigned base = n == 4 ? 4 : 3;
    unsigned total = 1;
    for (unsigned k = 0; k < n; ++k) total *= base;
    for (unsigned code = 0; code < total; ++code) {
      unsigned c = code;
      for (unsigned k = 0; k < n; ++k, c /= base) f[k] = 10 + c % base;
      faces.push_back(f);
    }
    for (const V& a : faces)
      for (const V& b : faces) {
        const int sense = compare(a, b);
        EXPECT_EQ(compare(b, a), sense);
        const bool distinct = std::set<unsigned>(a.begin(), a.end()).size() == n;
        if (distinct) {
          EXPECT_EQ(sense, sense_oracle(a, b));
        }
        const bool same_key =
            detail::canonical_face(a.data(), n) == detail::canonical_face(b.data(), n);
        EXPECT_EQ(same_key, sense != 0);
      }
  }
}

TEST(ElementBoundaries, AppendsFacesInLocalOrder) {
  dense2D<unsigned> out;
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  ASSERT_EQ(get_element_boundaries(two, ET_TRIA3, out), 0);
  EXPECT_EQ(columns_of(out), (std::vector<V>{{1, 2}, {2, 0}, {0, 1}, {1, 3}, {3, 2}, {2, 1}}));
  // A second call appends behind the first.
  ASSERT_EQ(get_element_boundaries(two, ET_TRIA3, out), 0);
  EXPECT_EQ(out.cols(), 12u);
  EXPECT_EQ(column_of(out, 11), (V{2, 1}));

  // Mixed solids: 4-row face columns, triangles padded with ~0U.
  const dense2D<unsigned> solids{{0, 1, 2, 3, kNo, kNo, kNo, kNo}, {0, 1, 2, 3, 4, kNo, kNo, kNo}};
  dense2D<unsigned> faces;
  ASSERT_EQ(get_element_boundaries(solids, ET_SOLID_MIX, faces), 0);
  ASSERT_EQ(faces.rows(), 4u);
  ASSERT_EQ(faces.cols(), 9u);
  EXPECT_EQ(column_of(faces, 3), (V{2, 1, 0, kNo}));
  EXPECT_EQ(column_of(faces, 4), (V{0, 4, 1, kNo}));
  EXPECT_EQ(column_of(faces, 8), (V{0, 1, 2, 3}));

  // A 4-row mixed face matrix: a triangle column gives 3 edges, a quadrangle 4.
  const dense2D<unsigned> mixed{{0, 1, 2, kNo}, {1, 3, 4, 2}};
  dense2D<unsigned> edges;
  ASSERT_EQ(get_element_boundaries(mixed, ET_FACE_MIX, edges), 0);
  EXPECT_EQ(columns_of(edges),
            (std::vector<V>{{1, 2}, {2, 0}, {0, 1}, {1, 3}, {3, 4}, {4, 2}, {2, 1}}));
}

// Many appends onto existing columns, and onto a window of a larger matrix,
// whose parent must not be written.
TEST(ElementBoundaries, LongAppendsKeepEarlierColumnsAndSharedStorage) {
  const mesh grid = tria_grid(20, 15);
  const auto expected = all_faces(grid.connect, ET_TRIA3);
  dense2D<unsigned> parent(2, 10, 5u);
  dense2D<unsigned> out = parent.sub_matrix(0, 2, 2, 3);
  ASSERT_EQ(get_element_boundaries(grid.connect, ET_TRIA3, out), 0);
  ASSERT_EQ(out.cols(), 3 + expected.size());
  for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(column_of(out, c), (V{5, 5}));
  for (std::size_t c = 0; c < expected.size(); ++c)
    EXPECT_EQ(column_of(out, 3 + c), expected[c].nodes);
  EXPECT_EQ(columns_of(parent), (std::vector<V>(10, V{5, 5})));
  EXPECT_GE(out.col_capacity(), out.cols());
}

TEST(ElementBoundaries, ReturnCodesInOrder) {
  dense2D<unsigned> out(3, 2, 5u);
  const dense2D<unsigned> tria{{0, 1, 2}};
  // Output of the wrong height: nothing appended.
  EXPECT_EQ(get_element_boundaries(tria, ET_TRIA3, out), -2);
  EXPECT_EQ(out.cols(), 2u);
  // Empty connectivity: success before any check.
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>(3, 0), ET_TRIA6, out), 0);
  // The kind check comes first, then the kind, then the output.
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>{{0, 1, kNo}}, ET_TRIA3, out), -1);
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>{{0, 1, 2, 3}}, ET_TRIA3, out), -1);
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>(6, 1, 0u), ET_TRIA6, out), -2);
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>(2, 1, 0u), ET_EDGE_MIX, out), -2);
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>(20, 1, 0u), ET_HEXA20, out), -2);
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>(7, 1, 0u), ET_SOLID_MIX, out), -1);
  // A mixed face column with ~0U before row 3 fails the kind check.
  EXPECT_EQ(get_element_boundaries(dense2D<unsigned>{{0, kNo, 2, 3}}, ET_FACE_MIX, out), -1);
  EXPECT_EQ(out.cols(), 2u);

  // An empty output of another height takes the face height.
  dense2D<unsigned> empty(7, 0);
  ASSERT_EQ(get_element_boundaries(tria, ET_TRIA3, empty), 0);
  EXPECT_EQ(empty.rows(), 2u);
  EXPECT_EQ(empty.cols(), 3u);
}

TEST(Neighbors, WorkedExamples) {
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(dense2D<unsigned>{{0, 1, 2}, {2, 1, 3}}, ET_TRIA3, true, N), 0);
  EXPECT_EQ(columns_of(N), (std::vector<V>{{1, kNo, kNo}, {kNo, kNo, 0}}));

  // Three triangles on one edge.
  const dense2D<unsigned> fan{{0, 1, 2}, {1, 0, 3}, {0, 1, 4}};
  ASSERT_EQ(get_neighbors(fan, ET_TRIA3, true, N), 0);
  EXPECT_EQ(columns_of(N), (std::vector<V>{{kNo, kNo, 2}, {kNo, kNo, 0}, {kNo, kNo, 0}}));
  ASSERT_EQ(get_neighbors(fan, ET_TRIA3, false, N), 0);
  EXPECT_EQ(columns_of(N), (std::vector<V>(3, V(3, kNo))));

  // Same four nodes in non-cyclic order: no match.
  ASSERT_EQ(
      get_neighbors(dense2D<unsigned>{{0, 1, 2, 3, 4}, {0, 2, 1, 3, 5}}, ET_PYRAMID5, true, N), 0);
  EXPECT_EQ(N(4, 0), kNo);
  EXPECT_EQ(N(4, 1), kNo);
  // The same quadrangle reversed matches.
  ASSERT_EQ(
      get_neighbors(dense2D<unsigned>{{0, 1, 2, 3, 4}, {3, 2, 1, 0, 5}}, ET_PYRAMID5, true, N), 0);
  EXPECT_EQ(N(4, 0), 1u);
  EXPECT_EQ(N(4, 1), 0u);

  // A wedge's triangle (0,1,2) never equals a pyramid base holding 0, 1, 2.
  const dense2D<unsigned> wedge_pyramid{{0, 1, 2, 5, 6, 7, kNo, kNo},
                                        {0, 1, 2, 3, 9, kNo, kNo, kNo}};
  ASSERT_EQ(get_neighbors(wedge_pyramid, ET_SOLID_MIX, true, N), 0);
  EXPECT_EQ(columns_of(N), (std::vector<V>(2, V(6, kNo))));

  // An element whose two faces coincide links to itself.
  ASSERT_EQ(get_neighbors(dense2D<unsigned>{{3, 3}}, ET_EDGE2, true, N), 0);
  EXPECT_EQ(columns_of(N), (std::vector<V>{{0, 0}}));
}

TEST(Neighbors, MixedMatricesAndNarrowing) {
  dense2D<unsigned> N, expected;
  const dense2D<unsigned> tris{{0, 1, 2}, {2, 1, 3}, {3, 1, 4}};
  ASSERT_EQ(get_neighbors(tris, ET_TRIA3, true, expected), 0);
  ASSERT_EQ(get_neighbors(tris, ET_FACE_MIX, true, N), 0);
  EXPECT_EQ(columns_of(N), columns_of(expected));

  // 4 rows: a triangle column keeps ~0U in its fourth row.
  const dense2D<unsigned> mixed{{0, 1, 2, kNo}, {2, 1, 3, 4}};
  ASSERT_EQ(get_neighbors(mixed, ET_FACE_MIX, true, N), 0);
  EXPECT_EQ(columns_of(N), (std::vector<V>{{1, kNo, kNo, kNo}, {0, kNo, kNo, kNo}}));

  // Mixed solids: a tetrahedron column has rows 4 and 5 at ~0U, a pyramid
  // and a wedge row 5, whatever their faces meet.
  const dense2D<unsigned> solids{{0, 1, 2, 3, kNo, kNo, kNo, kNo},
                                 {1, 0, 4, 5, 2, kNo, kNo, kNo},
                                 {0, 1, 3, 6, 7, 8, kNo, kNo}};
  ASSERT_EQ(get_neighbors(solids, ET_SOLID_MIX, true, N), 0);
  ASSERT_EQ(N.rows(), 6u);
  EXPECT_EQ(column_of(N, 0), (V{kNo, kNo, 2, 1, kNo, kNo}));
  EXPECT_EQ(column_of(N, 1), (V{0, kNo, kNo, kNo, kNo, kNo}));
  EXPECT_EQ(column_of(N, 2), (V{0, kNo, kNo, kNo, kNo, kNo}));
  EXPECT_EQ(columns_of(neighbors_oracle(solids, ET_SOLID_MIX, true)), columns_of(N));

  // 4-, 5-, 6-row mixed solids are the pure kinds.
  for (unsigned rows : {4u, 5u, 6u}) {
    const dense2D<unsigned> M = random_elements(rows, 30, 8, rows);
    const element_type pure = rows == 4 ? ET_TETRA4 : rows == 5 ? ET_PYRAMID5 : ET_WEDGE6;
    ASSERT_EQ(get_neighbors(M, ET_SOLID_MIX, true, N), 0);
    ASSERT_EQ(get_neighbors(M, pure, true, expected), 0);
    EXPECT_EQ(columns_of(N), columns_of(expected)) << rows;
  }
}

TEST(Neighbors, ReturnCodesAndClearedOutput) {
  dense2D<unsigned> N(3, 3, 1u);
  EXPECT_EQ(get_neighbors(dense2D<unsigned>(3, 0), ET_TRIA3, true, N), 0);
  EXPECT_EQ(N.cols(), 0u);
  N = dense2D<unsigned>(3, 3, 1u);
  EXPECT_EQ(get_neighbors(dense2D<unsigned>{{0, 1, kNo}}, ET_TRIA3, true, N), -1);
  EXPECT_TRUE(N.empty());
  EXPECT_EQ(get_neighbors(dense2D<unsigned>{{0, 1, 2, 3}}, ET_TRIA3, true, N), -1);
  EXPECT_EQ(get_neighbors(dense2D<unsigned>(6, 1, 0u), ET_TRIA6, true, N), -2);
  EXPECT_EQ(get_neighbors(dense2D<unsigned>(10, 1, 0u), ET_TETRA10, false, N), -2);
  EXPECT_EQ(get_neighbors(dense2D<unsigned>(2, 1, 0u), ET_EDGE_MIX, true, N), -2);
  EXPECT_EQ(get_neighbors(dense2D<unsigned>(1, 1, 0u), ET_NODE, true, N), -2);
  EXPECT_EQ(get_neighbors(dense2D<unsigned>(1, 1, 0u), ET_UNKNOWN, true, N), -1);
  EXPECT_TRUE(N.empty());
}

// Random meshes on few nodes share faces among many elements; the result
// must equal the matching pass run on one chain of all faces.
TEST(Neighbors, MatchesTheMatchingPassOnRandomNonManifoldMeshes) {
  const std::array<element_type, 7> kinds{ET_EDGE2,    ET_TRIA3,  ET_QUAD4, ET_TETRA4,
                                          ET_PYRAMID5, ET_WEDGE6, ET_HEXA8};
  for (element_type FE : kinds)
    for (unsigned seed = 1; seed <= 4; ++seed)
      for (bool link : {true, false}) {
        const unsigned rows = nbr_nodes(FE);
        const dense2D<unsigned> M = random_elements(rows, 60, rows + 3, seed);
        dense2D<unsigned> N;
        ASSERT_EQ(get_neighbors(padded_view(M), FE, link, N), 0);
        EXPECT_EQ(columns_of(N), columns_of(neighbors_oracle(M, FE, link)))
            << "kind " << FE << " seed " << seed << " link " << link;
      }
  for (unsigned seed = 1; seed <= 6; ++seed)
    for (bool link : {true, false}) {
      const dense2D<unsigned> solids = random_distinct_solid_mix(80, 9, seed);
      dense2D<unsigned> N;
      ASSERT_EQ(get_neighbors(solids, ET_SOLID_MIX, link, N), 0);
      EXPECT_EQ(columns_of(N), columns_of(neighbors_oracle(solids, ET_SOLID_MIX, link)));
      const dense2D<unsigned> surface = random_elements(4, 80, 6, seed);
      dense2D<unsigned> faces(4, 80);
      for (std::size_t j = 0; j < 80; ++j)
        for (unsigned r = 0; r < 4; ++r) faces(r, j) = r == 3 && j % 3 == 0 ? kNo : surface(r, j);
      ASSERT_EQ(get_neighbors(faces, ET_FACE_MIX, link, N), 0);
      EXPECT_EQ(columns_of(N), columns_of(neighbors_oracle(faces, ET_FACE_MIX, link)));
    }
}

// Node IDs at multiples of the bucket count fall into one bucket although
// their smallest nodes differ; large fans make long buckets.
TEST(Neighbors, CollidingBucketsAndLongFans) {
  // Three triangles: 9 faces, so the table has 23 buckets.
  const dense2D<unsigned> far{{0, 23, 46}, {46, 23, 69}, {4294967294u, 23, 0}};
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(far, ET_TRIA3, true, N), 0);
  EXPECT_EQ(columns_of(N), columns_of(neighbors_oracle(far, ET_TRIA3, true)));
  EXPECT_EQ(N(0, 0), 1u);
  EXPECT_EQ(N(2, 1), 0u);
  EXPECT_EQ(N(2, 0), 2u);
  EXPECT_EQ(N(0, 2), 0u);

  // 150 triangles on the edge (0, 1), in alternating senses, then a
  // closed fan of 200 triangles around node 2000.
  std::vector<V> cols;
  for (unsigned t = 0; t < 150; ++t) cols.push_back(t % 2 ? V{1, 0, 2 + t} : V{0, 1, 2 + t});
  for (unsigned t = 0; t < 200; ++t) cols.push_back({2000, 2001 + t, 2001 + (t + 1) % 200});
  const dense2D<unsigned> M = matrix_of(3, cols);
  for (bool link : {true, false}) {
    ASSERT_EQ(get_neighbors(M, ET_TRIA3, link, N), 0);
    EXPECT_EQ(columns_of(N), columns_of(neighbors_oracle(M, ET_TRIA3, link)));
    // Edge (0, 1) is face 2 of every triangle of the first fan.
    EXPECT_EQ(N(2, 0), link ? 149u : kNo);
    EXPECT_EQ(N(2, 77), link ? 0u : kNo);
    // The closed fan: triangle t meets t - 1 across (2000, node t) (face 2)
    // and t + 1 across face 1.
    EXPECT_EQ(N(1, 150 + 10), 150u + 11);
    EXPECT_EQ(N(2, 150 + 10), 150u + 9);
    EXPECT_EQ(N(2, 150), 150u + 199);
  }
}

// Symmetry and boundary face counts in closed form on structured grids.
TEST(Neighbors, StructuredGrids) {
  struct grid_case {
    mesh m;
    element_type FE;
    std::size_t boundary;
  };
  const unsigned nx = 4, ny = 3, nz = 5;
  const grid_case cases[] = {
      {tria_grid(nx, ny), ET_TRIA3, 2 * (nx + ny)},
      {quad_grid(nx, ny), ET_QUAD4, 2 * (nx + ny)},
      {hexa_grid(nx, ny, nz), ET_HEXA8, 2 * (nx * ny + ny * nz + nx * nz)},
      {tetra_grid(nx, ny, nz), ET_TETRA4, 4 * (nx * ny + ny * nz + nx * nz)},
  };
  for (const grid_case& c : cases) {
    SCOPED_TRACE(c.FE);
    dense2D<unsigned> N;
    ASSERT_EQ(get_neighbors(c.m.connect, c.FE, false, N), 0);
    std::size_t boundary = 0;
    for (std::size_t j = 0; j < N.cols(); ++j)
      for (std::size_t i = 0; i < N.rows(); ++i) {
        const unsigned n = N(i, j);
        if (n == kNo) {
          ++boundary;
          continue;
        }
        ASSERT_LT(n, N.cols());
        EXPECT_NE(n, j);
        // Exactly one face of n points back.
        EXPECT_EQ(std::count(N.column(n), N.column(n) + N.rows(), unsigned(j)), 1);
      }
    EXPECT_EQ(boundary, c.boundary);
  }
}

}  // namespace
}  // namespace quernfold_test
