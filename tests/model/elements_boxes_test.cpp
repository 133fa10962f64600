// Element kinds, bounding boxes and centroids.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include <quernfold/quernfold.h>

#include "model/model_test_util.h"

using namespace ovk::quernfold;
using quernfold_model_test::list;
using quernfold_model_test::padded_window;

TEST(ElementTypes, VersionAndPropertyTables) {
  EXPECT_STREQ(version(), "5.1.0.0");
  // nodes, base nodes, dimension, boundaries for each kind in enum order.
  const unsigned table[][4] = {
      {0, 0, 0, 0},  {1, 1, 0, 0},  {2, 2, 1, 2}, {2, 2, 1, 2},  {3, 2, 1, 2},  {4, 4, 2, 4},
      {3, 3, 2, 3},  {4, 4, 2, 4},  {6, 3, 2, 3}, {8, 4, 2, 4},  {9, 4, 2, 4},  {8, 8, 3, 6},
      {4, 4, 3, 4},  {10, 4, 3, 4}, {5, 5, 3, 5}, {13, 5, 3, 5}, {14, 5, 3, 5}, {6, 6, 3, 5},
      {15, 6, 3, 5}, {18, 6, 3, 5}, {8, 8, 3, 6}, {20, 8, 3, 6}, {27, 8, 3, 6}};
  static_assert(ET_NODE == 1 && ET_EDGE3 == 4 && ET_FACE_MIX == 5 && ET_TRIA6 == 8 &&
                    ET_SOLID_MIX == 11 && ET_PYRAMID14 == 16 && ET_WEDGE6 == 17 && ET_HEXA27 == 22,
                "enum order");
  for (int k = 0; k < 23; ++k) {
    const auto FE = static_cast<element_type>(k);
    EXPECT_EQ(nbr_nodes(FE), table[k][0]) << k;
    EXPECT_EQ(nbr_base_nodes(FE), table[k][1]) << k;
    EXPECT_EQ(element_dim(FE), table[k][2]) << k;
    EXPECT_EQ(nbr_boundaries(FE), table[k][3]) << k;
  }
  EXPECT_EQ(nbr_nodes(static_cast<element_type>(23)), 0u);  // out of range
  EXPECT_EQ(element_dim(static_cast<element_type>(31)), 0u);
}

TEST(TypedCheckIDs, PureAndMixedKinds) {
  for (int k = 0; k < 23; ++k) {
    const auto FE = static_cast<element_type>(k);
    EXPECT_TRUE(check_IDs(dense2D<unsigned>(), FE, 0));
    EXPECT_TRUE(check_IDs(dense2D<unsigned>(nbr_nodes(FE) + 1, 0), FE, 5));
  }
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0}}, ET_UNKNOWN, 10));

  const dense2D<unsigned> tri{{0, 1, 2}, {2, 3, 0}};
  EXPECT_TRUE(check_IDs(tri, ET_TRIA3, 4));
  EXPECT_FALSE(check_IDs(tri, ET_TRIA3, 3));  // node 3 does not exist
  EXPECT_FALSE(check_IDs(tri, ET_QUAD4, 9));  // rows must match
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, no_index}}, ET_EDGE2, no_index));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, no_index - 1}}, ET_EDGE2, no_index));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, 1}}, ET_EDGE_MIX, 2));  // read as ET_EDGE2
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, no_index}}, ET_EDGE_MIX, 2));

  EXPECT_FALSE(
      check_IDs(dense2D<unsigned>{{0, 1}, {1, 2}, {2, 9}, {3, 4}}, ET_EDGE2, 9));  // any column

  // Only the window's entries are read, not the gap rows of its parent.
  dense2D<unsigned> parent;
  EXPECT_TRUE(check_IDs(padded_window({{0, 1}, {1, 2}}, no_index, parent), ET_EDGE2, 3));

  auto face = [](std::initializer_list<unsigned> c, unsigned nods) {
    return check_IDs(dense2D<unsigned>{c}, ET_FACE_MIX, nods);
  };
  EXPECT_TRUE(face({0, 1, 2}, 3));
  EXPECT_FALSE(face({0, 1, no_index}, 3));  // three rows: plain triangles
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, 1, 2, no_index}, {0, 1, 2, 3}}, ET_FACE_MIX, 4));
  EXPECT_FALSE(face({0, no_index, 2, 3}, 4));
  EXPECT_FALSE(face({0, 1, 5, no_index}, 4));
  EXPECT_FALSE(face({0, 1, 2, 3, 4}, 9));  // any other height is refused

  auto solid = [](std::initializer_list<unsigned> c, unsigned nods = 8) {
    return check_IDs(dense2D<unsigned>{c}, ET_SOLID_MIX, nods);
  };
  EXPECT_TRUE(solid({0, 1, 2, 3, no_index, no_index, no_index, no_index}));  // tetrahedron
  EXPECT_TRUE(solid({0, 1, 2, 3, 4, 5, no_index, no_index}));                // wedge
  EXPECT_FALSE(solid({0, 1, 2, 3, 4, no_index, 6, no_index}));               // a node after the end
  EXPECT_FALSE(solid({0, 1, 2, 3, 4, 5, 6, no_index}));                      // first ~0U in row 7
  EXPECT_FALSE(solid({0, 1, 2, 3, 8, no_index, no_index, no_index}));        // node 8 of 8
  EXPECT_TRUE(solid({0, 1, 2, 3, 4, 5, 6, 7}, no_index));
  EXPECT_FALSE(solid({0, 1, 2, 3, 4, 5, 6, 7}, 7));

  // Heights of one pure shape are read as that shape; ~0U is then refused.
  EXPECT_TRUE(solid({0, 1, 2, 3, 4}, 5));
  EXPECT_FALSE(solid({0, 1, 2, 3, no_index}, 5));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>(9, 1), ET_SOLID_MIX, 9));
}

namespace {

using box2 = vector_fixed<double, 2>;
using box3 = vector_fixed<double, 3>;

template <int N>
void start_box(vector_fixed<double, N>& min, vector_fixed<double, N>& max) {
  for (int k = 0; k < N; ++k) min[k] = DBL_MAX, max[k] = -DBL_MAX;
}

// Nodes (0,0) (4,1) (-2,3) (1,-5).
dense2D<double> four_nodes_2d() { return dense2D<double>{{0, 0}, {4, 1}, {-2, 3}, {1, -5}}; }

}  // namespace

TEST(BoundingBox, AccumulatesSkipsNoIndexAndKeepsTheBoxOnErrors) {
  box2 lo, hi;
  start_box(lo, hi);
  // Empty list: 0 before the dimension check.
  EXPECT_EQ(inc_bounding_box(dense2D<double>{{1, 2, 3}}, dense1D<unsigned>(), lo, hi), 0);
  EXPECT_EQ(lo[0], DBL_MAX);
  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), list({0, no_index, 2}), lo, hi), 0);
  EXPECT_TRUE(lo[0] == -2.0 && hi[0] == 0.0);
  // Codes: wrong rows before bad indices; a bad index anywhere leaves the box.
  box3 lo3{1, 2, 3}, hi3{4, 5, 6};
  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), lo3, hi3), -1);
  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), list({9}), lo3, hi3), -1);
  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), list({1, 4}), lo, hi), -2);
  EXPECT_TRUE(lo3[0] == 1.0 && hi[0] == 0.0);

  // Only the nodes the elements use count, and the element kind is not checked.
  const dense2D<double> coords{{0, 0, 0}, {1, 1, 1}, {9, 9, 9}, {-3, 2, 0}};
  start_box(lo3, hi3);
  EXPECT_EQ(inc_bounding_box(coords, dense2D<unsigned>{{0, 3}, {no_index, 1}}, lo3, hi3), 0);
  EXPECT_EQ(inc_bounding_box(coords, dense2D<unsigned>{{2, 4}}, lo3, hi3), -2);
  EXPECT_TRUE(lo3[0] == -3.0 && hi3[0] == 1.0);
  EXPECT_EQ(inc_bounding_box(coords, dense2D<unsigned>{{0}}, lo, hi), -1);
  // All ~0U reduces to an empty node list: 0 even with the wrong dimension.
  EXPECT_EQ(inc_bounding_box(coords, dense2D<unsigned>{{no_index, no_index}}, lo, hi), 0);

  // !(NaN >= lo) makes NaN the lower corner; any number then replaces it.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  box2 a{0, 0}, b{1, 1};
  EXPECT_EQ(inc_bounding_box(dense2D<double>{{nan, 0.5}}, a, b), 0);
  EXPECT_TRUE(std::isnan(a[0]) && b[0] == 1.0);  // NaN > 1 is false
  EXPECT_TRUE(inc_bounding_box(dense2D<double>{{0.25, 0.5}}, a, b) == 0 && a[0] == 0.25);
}

TEST(BoundingBox, RandomCloudsMatchBruteForceInEveryOverload) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> coord(-100.0, 100.0);
  for (int trial = 0; trial < 20; ++trial) {
    const unsigned n = 1 + rng() % 100;
    dense2D<double> c(3, n);
    dense1D<unsigned> every(n);
    dense2D<unsigned> conn(1, n);
    for (unsigned j = 0; j < n; ++j) {
      for (int k = 0; k < 3; ++k) c(k, j) = coord(rng);
      every[j] = n - 1 - j;
      conn(0, j) = j;
    }
    box3 lo[3], hi[3];
    for (int o = 0; o < 3; ++o) start_box(lo[o], hi[o]);
    ASSERT_EQ(inc_bounding_box(c, lo[0], hi[0]), 0);
    ASSERT_EQ(inc_bounding_box(c, every, lo[1], hi[1]), 0);
    ASSERT_EQ(inc_bounding_box(c, conn, lo[2], hi[2]), 0);
    for (int k = 0; k < 3; ++k) {
      double mn = c(k, 0), mx = c(k, 0);
      for (unsigned j = 1; j < n; ++j) mn = std::min(mn, c(k, j)), mx = std::max(mx, c(k, j));
      for (int o = 0; o < 3; ++o) ASSERT_TRUE(lo[o][k] == mn && hi[o][k] == mx) << o;
    }
  }
}

TEST(Centroids, FixedFactorsMixedShapesAndCodes) {
  // Node j at (j, 2j, 0.5): the sum of the nodes times the factor is exact to check.
  dense2D<double> coords(3, 8);
  for (unsigned j = 0; j < 8; ++j) coords(0, j) = j, coords(1, j) = 2.0 * j, coords(2, j) = 0.5;
  const double factor[9] = {0, 0,    0.5, 0.3333333333333333, 0.25, 0.2, 0.16666666666666666,
                            0, 0.125};
  const struct {
    element_type FE;
    unsigned n;
  } cases[] = {{ET_EDGE2, 2},    {ET_TRIA3, 3},  {ET_QUAD4, 4}, {ET_TETRA4, 4},
               {ET_PYRAMID5, 5}, {ET_WEDGE6, 6}, {ET_HEXA8, 8}};
  for (const auto& kc : cases) {
    dense2D<unsigned> E(kc.n, 2);
    for (unsigned r = 0; r < kc.n; ++r) E(r, 0) = r, E(r, 1) = 7 - r;
    dense2D<double> G;
    ASSERT_EQ(centroids(coords, E, G, kc.FE), 0) << kc.FE;
    ASSERT_TRUE(G.rows() == 3u && G.cols() == 2u);
    for (unsigned e = 0; e < 2; ++e)
      for (unsigned k = 0; k < 3; ++k) {
        double sum = 0.0;
        for (unsigned r = 0; r < kc.n; ++r) sum += coords(k, E(r, e));
        EXPECT_EQ(G(k, e), sum * factor[kc.n]) << kc.FE << " " << e << " " << k;
      }
  }
  // Mixed columns average their own shape; summed then scaled.
  const dense2D<unsigned> solids{{0, 1, 2, 3, no_index, no_index, no_index, no_index},
                                 {0, 1, 2, 3, 4, no_index, no_index, no_index},
                                 {0, 1, 2, 3, 4, 5, no_index, no_index},
                                 {0, 1, 2, 3, 4, 5, 6, 7}};
  dense2D<double> G;
  ASSERT_EQ(centroids(coords, solids, G, ET_SOLID_MIX), 0);
  EXPECT_TRUE(G(0, 0) == 6.0 * 0.25 && G(0, 1) == 10.0 * 0.2);
  EXPECT_TRUE(G(2, 2) == 3.0 * (1.0 / 6) && G(0, 3) == 28.0 * 0.125);
  ASSERT_EQ(centroids(coords, dense2D<unsigned>{{0, 1, 2, no_index}, {0, 1, 2, 3}}, G, ET_FACE_MIX),
            0);
  EXPECT_TRUE(G(0, 0) == 3.0 * (1.0 / 3) && G(0, 1) == 6.0 * 0.25);
  // A mixed matrix at the height of one pure shape is read as that shape.
  ASSERT_EQ(centroids(coords, dense2D<unsigned>{{1, 2, 3}}, G, ET_FACE_MIX), 0);
  EXPECT_EQ(G(0, 0), 6.0 * 0.3333333333333333);
  // A 1-row coordinates matrix is enough for edges.
  EXPECT_EQ(centroids(dense2D<double>{{1}, {4}}, dense2D<unsigned>{{0, 1}}, G, ET_EDGE2), 0);
  EXPECT_TRUE(G.rows() == 1u && G(0, 0) == 2.5);

  // Codes in their order, and the state of G.
  const dense2D<double> c2{{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  G = dense2D<double>(2, 5, 1.0);
  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{0, 1, 2, 3}}, G, ET_TETRA4), -1);  // dim 3 > 2
  EXPECT_EQ(G.rows() * G.cols(), 0u);
  EXPECT_EQ(centroids(dense2D<double>(), dense2D<unsigned>{{0, 1, 2}}, G, ET_TRIA3), -1);  // d = 0
  // The dimension is checked before the connectivity.
  EXPECT_EQ(centroids(dense2D<double>(4, 3), dense2D<unsigned>{{0, 9, 2}}, G, ET_TRIA3), -1);
  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{0, 1, 4}}, G, ET_TRIA3), -2);
  EXPECT_TRUE(G.empty());
  // Unsupported kinds: G sized d x elements, all zeros.
  G = dense2D<double>(1, 1, 5.0);
  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{0, 1, 2, 3, 0, 1}, {3, 2, 1, 0, 3, 2}}, G, ET_TRIA6),
            -4);
  ASSERT_TRUE(G.rows() == 2u && G.cols() == 2u);
  for (unsigned e = 0; e < 2; ++e) EXPECT_EQ(G(0, e) + G(1, e), 0.0);
  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{0}}, G, ET_UNKNOWN), -2);

  // A 0 x 3 connectivity has no entries, so every check passes; its elements
  // name no node and their centroids are the zeros of the resize.
  const dense2D<double> c3(3, 4, 1.0);
  for (element_type FE : {ET_TRIA3, ET_SOLID_MIX}) {
    G = dense2D<double>(2, 9, 7.0);
    ASSERT_EQ(centroids(c3, dense2D<unsigned>(0, 3), G, FE), 0) << FE;
    ASSERT_TRUE(G.rows() == 3u && G.cols() == 3u);
    for (unsigned e = 0; e < 3; ++e) EXPECT_EQ(G(0, e) + G(1, e) + G(2, e), 0.0) << FE;
  }
}
