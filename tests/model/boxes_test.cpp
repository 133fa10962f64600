// Bounding boxes and centroids.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include <quernfold/quernfold.h>

#include "model/model_test_util.h"
#include "support/mesh_gen.h"

using namespace ovk::quernfold;
using quernfold_model_test::kNo;
using quernfold_model_test::list;

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

TEST(BoundingBox, WholeMatrixGivesTheExactExtentAndNeverShrinks) {
  box2 lo, hi;
  start_box(lo, hi);
  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), lo, hi), 0);
  EXPECT_EQ(lo[0], -2.0);
  EXPECT_EQ(lo[1], -5.0);
  EXPECT_EQ(hi[0], 4.0);
  EXPECT_EQ(hi[1], 3.0);

  box2 big_lo{-10, -10}, big_hi{10, 10};
  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), big_lo, big_hi), 0);
  EXPECT_EQ(big_lo[0], -10.0);
  EXPECT_EQ(big_hi[1], 10.0);

  // Accumulation over two node sets, and an empty matrix.
  box3 a, b;
  start_box(a, b);
  EXPECT_EQ(inc_bounding_box(dense2D<double>{{1, 2, 3}}, a, b), 0);
  EXPECT_EQ(inc_bounding_box(dense2D<double>{{-1, 5, 3}}, a, b), 0);
  EXPECT_EQ(inc_bounding_box(dense2D<double>(3, 0), a, b), 0);
  EXPECT_EQ(a[0], -1.0);
  EXPECT_EQ(a[1], 2.0);
  EXPECT_EQ(b[1], 5.0);
  EXPECT_EQ(a[2], 3.0);
  EXPECT_EQ(b[2], 3.0);

  // Wrong dimension leaves the box unchanged.
  box3 keep_lo{1, 2, 3}, keep_hi{4, 5, 6};
  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), keep_lo, keep_hi), -1);
  EXPECT_EQ(keep_lo[0], 1.0);
  EXPECT_EQ(keep_hi[2], 6.0);
  box2 lo2{1, 1}, hi2{2, 2};
  EXPECT_EQ(inc_bounding_box(dense2D<double>{{0, 0, 0}}, lo2, hi2), -1);
  EXPECT_EQ(lo2[0], 1.0);
}

TEST(BoundingBox, NotGreaterOrEqualMakesNaNTheLowerCorner) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  box2 lo{0, 0}, hi{1, 1};
  EXPECT_EQ(inc_bounding_box(dense2D<double>{{nan, 0.5}}, lo, hi), 0);
  EXPECT_TRUE(std::isnan(lo[0]));  // !(NaN >= 0) replaces the lower corner
  EXPECT_EQ(hi[0], 1.0);           // NaN > 1 is false
  EXPECT_EQ(inc_bounding_box(dense2D<double>{{0.25, 0.5}}, lo, hi), 0);
  EXPECT_EQ(lo[0], 0.25);  // and any number replaces a NaN lower corner
}

TEST(BoundingBox, NodeListOverloads) {
  box2 lo, hi;
  start_box(lo, hi);
  // Empty list: 0 before the dimension check.
  EXPECT_EQ(inc_bounding_box(dense2D<double>{{1, 2, 3}}, dense1D<unsigned>(), lo, hi), 0);
  EXPECT_EQ(lo[0], DBL_MAX);

  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), list({0, kNo, 2}), lo, hi), 0);
  EXPECT_EQ(lo[0], -2.0);
  EXPECT_EQ(hi[0], 0.0);
  EXPECT_EQ(lo[1], 0.0);
  EXPECT_EQ(hi[1], 3.0);

  // Codes: wrong rows before bad indices; a bad index anywhere leaves the box.
  box3 lo3, hi3;
  start_box(lo3, hi3);
  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), list({9}), lo3, hi3), -1);
  box2 keep_lo{0, 0}, keep_hi{0, 0};
  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), list({1, 4}), keep_lo, keep_hi), -2);
  EXPECT_EQ(keep_hi[0], 0.0);
  EXPECT_EQ(inc_bounding_box(four_nodes_2d(), list({1, 1, 3}), keep_lo, keep_hi), 0);
  EXPECT_EQ(keep_hi[0], 4.0);
  EXPECT_EQ(keep_lo[1], -5.0);
}

TEST(BoundingBox, ConnectivityOverloadsUseTheDistinctNodes) {
  const auto m = quernfold_test::tria_grid(3, 2, 0.5);
  box2 lo, hi;
  start_box(lo, hi);
  EXPECT_EQ(inc_bounding_box(m.coords, m.connect, lo, hi), 0);
  EXPECT_EQ(lo[0], 0.0);
  EXPECT_EQ(hi[0], 1.5);
  EXPECT_EQ(hi[1], 1.0);

  // Only the nodes the elements use count, and the element kind is not checked.
  const dense2D<double> coords{{0, 0, 0}, {1, 1, 1}, {9, 9, 9}, {-3, 2, 0}};
  box3 a, b;
  start_box(a, b);
  EXPECT_EQ(inc_bounding_box(coords, dense2D<unsigned>{{0, 3}, {kNo, 1}}, a, b), 0);
  EXPECT_EQ(a[0], -3.0);
  EXPECT_EQ(b[0], 1.0);
  EXPECT_EQ(b[1], 2.0);

  box3 keep_a{0, 0, 0}, keep_b{0, 0, 0};
  EXPECT_EQ(inc_bounding_box(coords, dense2D<unsigned>{{0, 4}}, keep_a, keep_b), -2);
  EXPECT_EQ(keep_a[0], 0.0);
  EXPECT_EQ(inc_bounding_box(coords, dense2D<unsigned>(2, 0), keep_a, keep_b), 0);
  box2 lo2{0, 0}, hi2{0, 0};
  EXPECT_EQ(inc_bounding_box(coords, dense2D<unsigned>{{0}}, lo2, hi2), -1);
  // All ~0U reduces to an empty node list: 0 even with the wrong dimension.
  EXPECT_EQ(inc_bounding_box(coords, dense2D<unsigned>{{kNo, kNo}}, lo2, hi2), 0);
}

TEST(BoundingBox, RandomCloudsAgreeAcrossOverloads) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> coord(-100.0, 100.0);
  for (int trial = 0; trial < 20; ++trial) {
    const unsigned n = 1 + rng() % 100;
    dense2D<double> c(3, n);
    for (unsigned j = 0; j < n; ++j)
      for (int k = 0; k < 3; ++k) c(k, j) = coord(rng);
    box3 lo_all, hi_all, lo_list, hi_list;
    start_box(lo_all, hi_all);
    start_box(lo_list, hi_list);
    dense1D<unsigned> every(n);
    for (unsigned j = 0; j < n; ++j) every[j] = n - 1 - j;
    ASSERT_EQ(inc_bounding_box(c, lo_all, hi_all), 0);
    ASSERT_EQ(inc_bounding_box(c, every, lo_list, hi_list), 0);
    for (int k = 0; k < 3; ++k) {
      double lo = c(k, 0), hi = c(k, 0);
      for (unsigned j = 1; j < n; ++j) lo = std::min(lo, c(k, j)), hi = std::max(hi, c(k, j));
      ASSERT_EQ(lo_all[k], lo);
      ASSERT_EQ(hi_all[k], hi);
      ASSERT_EQ(lo_list[k], lo);
      ASSERT_EQ(hi_list[k], hi);
    }
  }
}

TEST(Centroids, PureKindsUseTheirFixedFactors) {
  // Node j at (j, 2j, 4j): the sum of the nodes times the factor is exact to check.
  dense2D<double> coords(3, 8);
  for (unsigned j = 0; j < 8; ++j) coords(0, j) = j, coords(1, j) = 2.0 * j, coords(2, j) = 4.0 * j;
  struct kind_case {
    element_type FE;
    unsigned n;
    double factor;
  };
  const kind_case cases[] = {{ET_EDGE2, 2, 0.5},    {ET_TRIA3, 3, 0.3333333333333333},
                             {ET_QUAD4, 4, 0.25},   {ET_TETRA4, 4, 0.25},
                             {ET_PYRAMID5, 5, 0.2}, {ET_WEDGE6, 6, 0.16666666666666666},
                             {ET_HEXA8, 8, 0.125}};
  for (const auto& kc : cases) {
    dense2D<unsigned> E(kc.n, 2);
    for (unsigned r = 0; r < kc.n; ++r) E(r, 0) = r, E(r, 1) = 7 - r;
    dense2D<double> G;
    ASSERT_EQ(centroids(coords, E, G, kc.FE), 0) << kc.FE;
    ASSERT_EQ(G.rows(), 3u);
    ASSERT_EQ(G.cols(), 2u);
    for (unsigned e = 0; e < 2; ++e)
      for (unsigned k = 0; k < 3; ++k) {
        double sum = 0.0;
        for (unsigned r = 0; r < kc.n; ++r) sum += coords(k, E(r, e));
        EXPECT_EQ(G(k, e), sum * kc.factor) << kc.FE << " " << e << " " << k;
      }
  }

  // A 1-row coordinates matrix is enough for edges.
  dense2D<double> G;
  EXPECT_EQ(centroids(dense2D<double>{{1}, {4}}, dense2D<unsigned>{{0, 1}}, G, ET_EDGE2), 0);
  EXPECT_EQ(G.rows(), 1u);
  EXPECT_EQ(G(0, 0), 2.5);
}

TEST(Centroids, MixedColumnsAverageTheirOwnShape) {
  dense2D<double> coords(2, 8);
  for (unsigned j = 0; j < 8; ++j) coords(0, j) = 3.0 * j, coords(1, j) = 1.0;
  dense2D<double> G;
  const dense2D<unsigned> faces{{0, 1, 2, kNo}, {0, 1, 2, 3}};
  ASSERT_EQ(centroids(coords, faces, G, ET_FACE_MIX), 0);
  EXPECT_EQ(G(0, 0), (0.0 + 3.0 + 6.0) * (1.0 / 3));
  EXPECT_EQ(G(0, 1), 18.0 * 0.25);
  EXPECT_EQ(G(1, 0), 3.0 * (1.0 / 3));

  dense2D<double> c3(3, 8);
  for (unsigned j = 0; j < 8; ++j) c3(0, j) = j, c3(1, j) = -1.0 * j, c3(2, j) = 0.5;
  const dense2D<unsigned> solids{{0, 1, 2, 3, kNo, kNo, kNo, kNo},
                                 {0, 1, 2, 3, 4, kNo, kNo, kNo},
                                 {0, 1, 2, 3, 4, 5, kNo, kNo},
                                 {0, 1, 2, 3, 4, 5, 6, 7}};
  ASSERT_EQ(centroids(c3, solids, G, ET_SOLID_MIX), 0);
  EXPECT_EQ(G(0, 0), 6.0 * 0.25);
  EXPECT_EQ(G(0, 1), 10.0 * 0.2);
  EXPECT_EQ(G(0, 2), 15.0 * (1.0 / 6));
  EXPECT_EQ(G(0, 3), 28.0 * 0.125);
  EXPECT_EQ(G(1, 1), -2.0);
  EXPECT_EQ(G(2, 2), 3.0 * (1.0 / 6));  // six times 0.5, not 0.5: summed then scaled

  // A mixed matrix at the height of one pure shape is read as that shape.
  ASSERT_EQ(centroids(c3, dense2D<unsigned>{{0, 1, 2, 3, 4}}, G, ET_SOLID_MIX), 0);
  EXPECT_EQ(G(0, 0), 2.0);
  ASSERT_EQ(centroids(coords, dense2D<unsigned>{{1, 2, 3}}, G, ET_FACE_MIX), 0);
  EXPECT_EQ(G(0, 0), 18.0 * 0.3333333333333333);
}

TEST(Centroids, CodesInTheirOrderAndTheStateOfG) {
  const dense2D<double> c2{{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  const dense2D<unsigned> tri{{0, 1, 2}};
  dense2D<double> G(2, 5, 1.0);

  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{0, 1, 2, 3}}, G, ET_TETRA4), -1);  // dim 3 > 2
  EXPECT_EQ(G.rows() * G.cols(), 0u);
  EXPECT_EQ(centroids(dense2D<double>(4, 3), tri, G, ET_TRIA3), -1);
  EXPECT_EQ(centroids(dense2D<double>(), tri, G, ET_TRIA3), -1);  // d = 0
  // The dimension is checked before the connectivity.
  EXPECT_EQ(centroids(dense2D<double>(4, 3), dense2D<unsigned>{{0, 9, 2}}, G, ET_TRIA3), -1);

  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{0, 1, 4}}, G, ET_TRIA3), -2);
  EXPECT_TRUE(G.empty());
  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{0, 1, 2, 3}}, G, ET_TRIA3), -2);  // wrong height
  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{0, 1, 2, 3, kNo}}, G, ET_FACE_MIX), -2);

  // Unsupported kinds: G sized d x elements, all zeros.
  const dense2D<unsigned> tri6{{0, 1, 2, 3, 0, 1}, {3, 2, 1, 0, 3, 2}};
  G = dense2D<double>(1, 1, 5.0);
  EXPECT_EQ(centroids(c2, tri6, G, ET_TRIA6), -4);
  ASSERT_EQ(G.rows(), 2u);
  ASSERT_EQ(G.cols(), 2u);
  for (unsigned e = 0; e < 2; ++e) EXPECT_EQ(G(0, e) + G(1, e), 0.0);
  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{0, 1}}, G, ET_EDGE_MIX), -4);
  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{3}}, G, ET_NODE), -4);
  EXPECT_EQ(centroids(c2, dense2D<unsigned>(0, 0), G, ET_UNKNOWN), -4);
  EXPECT_EQ(G.rows(), 2u);
  EXPECT_EQ(centroids(c2, dense2D<unsigned>{{0}}, G, ET_UNKNOWN), -2);

  // No elements: G is d x 0.
  EXPECT_EQ(centroids(c2, dense2D<unsigned>(3, 0), G, ET_TRIA3), 0);
  EXPECT_EQ(G.rows(), 2u);
  EXPECT_EQ(G.cols(), 0u);
}

TEST(Centroids, ColumnsWithoutRowsNameNoNode) {
  // A 0 x 3 connectivity has no entries, so every check passes; its elements
  // name no node and their centroids are the zeros of the resize. Nothing may
  // be read from the columns, mixed kinds included.
  const dense2D<double> c3 = quernfold_test::random_points(3, 4, 17);
  for (element_type FE : {ET_TRIA3, ET_FACE_MIX, ET_SOLID_MIX, ET_HEXA8, ET_EDGE2}) {
    dense2D<double> G(2, 9, 7.0);
    ASSERT_EQ(centroids(c3, dense2D<unsigned>(0, 3), G, FE), 0) << FE;
    ASSERT_EQ(G.rows(), 3u);
    ASSERT_EQ(G.cols(), 3u);
    for (unsigned e = 0; e < 3; ++e)
      for (unsigned k = 0; k < 3; ++k) EXPECT_EQ(G(k, e), 0.0) << FE;
  }
  dense2D<double> G;
  EXPECT_EQ(centroids(c3, dense2D<unsigned>(0, 3), G, ET_TRIA6), -4);
  EXPECT_EQ(G.cols(), 3u);
}

TEST(Centroids, GridCentroidsAreCellCentres) {
  const auto q = quernfold_test::quad_grid(4, 3, 2.0);
  dense2D<double> G;
  ASSERT_EQ(centroids(q.coords, q.connect, G, ET_QUAD4), 0);
  for (unsigned j = 0; j < 3; ++j)
    for (unsigned i = 0; i < 4; ++i) {
      EXPECT_EQ(G(0, i + 4 * j), 2.0 * i + 1.0);
      EXPECT_EQ(G(1, i + 4 * j), 2.0 * j + 1.0);
    }
  const auto h = quernfold_test::hexa_grid(2, 2, 2);
  ASSERT_EQ(centroids(h.coords, h.connect, G, ET_HEXA8), 0);
  ASSERT_EQ(G.cols(), 8u);
  for (unsigned e = 0; e < 8; ++e)
    for (unsigned k = 0; k < 3; ++k) EXPECT_EQ(std::fmod(G(k, e), 1.0), 0.5);
}
