// Gradation and variation control on small cases worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "metrics/gradation_queue.h"
#include "quernfold/metrics.h"
#include "support/size_fields.h"

namespace {

using namespace ovk::quernfold;

const double kLn2 = std::log(2.0);

// Two nodes one unit apart, as one segment.
const dense2D<double> kUnitEdge{{0, 0}, {1, 0}};
const dense2D<unsigned> kSegment{{0, 1}};
const dense1D<unsigned, 8> kNone;

int gradations(dense1D<double, 8>& H, int direction, double bound,
               const dense1D<unsigned, 8>& nodes = kNone, bool fixed = true) {
  return bound_metric_gradations(kUnitEdge, kSegment, ET_EDGE2, nodes, fixed, direction, bound, H);
}

int variations(dense1D<double, 8>& H, int direction, double bound,
               const dense1D<unsigned, 8>& nodes = kNone, bool fixed = true) {
  return bound_metric_variations(kUnitEdge, kSegment, ET_EDGE2, nodes, fixed, direction, bound, H);
}

using quernfold_test::put_iso_metric;

TEST(Gradation, SizesOneAndTenOnAUnitEdge) {
  // Shrinking only: the larger size comes down to 1 + ln 2.
  dense1D<double, 8> H{1, 10};
  EXPECT_EQ(gradations(H, -1, 1.0), 1);
  EXPECT_EQ(H[0], 1.0);
  EXPECT_NEAR(H[1], 1 + kLn2, 1e-12);

  // Growing only: the smaller size goes up to 10 - ln 2.
  H = dense1D<double, 8>{1, 10};
  EXPECT_EQ(gradations(H, 1, 1.0), 1);
  EXPECT_NEAR(H[0], 10 - kLn2, 1e-12);
  EXPECT_EQ(H[1], 10.0);

  // Either way: whichever entry leaves the heap first decides; one node moves.
  H = dense1D<double, 8>{1, 10};
  EXPECT_EQ(gradations(H, 0, 1.0), 1);
  const bool shrank = H[0] == 1.0 && std::fabs(H[1] - (1 + kLn2)) < 1e-12;
  const bool grew = H[1] == 10.0 && std::fabs(H[0] - (10 - kLn2)) < 1e-12;
  EXPECT_TRUE(shrank || grew) << H[0] << " " << H[1];

  // The bound is then met exactly: the growth per unit length is 1 + bound.
  H = dense1D<double, 8>{1, 10};
  ASSERT_EQ(gradations(H, -1, 0.5), 1);
  EXPECT_NEAR(H[1] - H[0], std::log(1.5), 1e-12);

  // Nothing to correct: 0 and no change.
  H = dense1D<double, 8>{1, 1.5};
  EXPECT_EQ(gradations(H, 0, 1.0), 0);
  EXPECT_EQ(H[1], 1.5);
}

TEST(Gradation, FixedNodesAndRestrictedDirections) {
  const dense1D<unsigned, 8> one{1};
  // Node 1 fixed and only shrinking allowed: node 0 could only grow.
  dense1D<double, 8> H{1, 10};
  EXPECT_EQ(gradations(H, -1, 1.0, one, true), 0);
  EXPECT_EQ(H[0], 1.0);
  EXPECT_EQ(H[1], 10.0);

  // Growing allowed: node 0 moves towards its fixed neighbour until the
  // edge meets the bound; node 1 stays.
  EXPECT_EQ(gradations(H, 0, 1.0, one, true), 1);
  EXPECT_EQ(H[1], 10.0);
  EXPECT_NEAR(H[0], 10 - kLn2, 1e-2);
  EXPECT_LE(H[0], 10.0);

  // Only the listed node may change: the same as fixing the other one.
  H = dense1D<double, 8>{1, 10};
  EXPECT_EQ(gradations(H, 0, 1.0, dense1D<unsigned, 8>{0}, false), 1);
  EXPECT_EQ(H[1], 10.0);
  EXPECT_NEAR(H[0], 10 - kLn2, 1e-2);

  // Every node fixed: nothing moves.
  H = dense1D<double, 8>{1, 10};
  EXPECT_EQ(gradations(H, 0, 1.0, dense1D<unsigned, 8>{0, 1}, true), 0);
  EXPECT_EQ(gradations(H, 0, 1.0, kNone, false), 0);
  EXPECT_EQ(H[0], 1.0);
  EXPECT_EQ(H[1], 10.0);

  // A direction other than 0, 1 and -1 lets nothing through.
  EXPECT_EQ(gradations(H, 7, 1.0), 0);
  EXPECT_EQ(gradations(H, 2, 1.0), 0);
  EXPECT_EQ(H[0], 1.0);
  EXPECT_EQ(H[1], 10.0);
  // Only the low byte counts: 256 + 1 grows.
  EXPECT_EQ(gradations(H, 257, 1.0), 1);
  EXPECT_NEAR(H[0], 10 - kLn2, 1e-12);
}

TEST(Gradation, VariationsMoveSizesWithinTheBoundOfEachOther) {
  dense1D<double, 8> H{1, 10};
  EXPECT_EQ(variations(H, -1, 0.5), 1);
  EXPECT_EQ(H[0], 1.0);
  EXPECT_NEAR(H[1], 1.5, 1e-12);

  H = dense1D<double, 8>{1, 10};
  EXPECT_EQ(variations(H, 1, 0.5), 1);
  EXPECT_NEAR(H[0], 9.5, 1e-12);

  // Zero bound: the sizes become equal.
  H = dense1D<double, 8>{2, 3};
  EXPECT_EQ(variations(H, -1, 0.0), 1);
  EXPECT_NEAR(H[1], 2.0, 1e-12);

  // Already within the bound.
  H = dense1D<double, 8>{2, 2.4};
  EXPECT_EQ(variations(H, 0, 0.5), 0);
  EXPECT_EQ(H[1], 2.4);
}

TEST(Gradation, ArgumentCodesLeaveTheFieldAlone) {
  dense1D<double, 8> H{1, 10};
  dense2D<double> M2(3, 2), M3(6, 2);
  put_iso_metric(M2, 0, 1), put_iso_metric(M2, 1, 10), put_iso_metric(M3, 0, 1),
      put_iso_metric(M3, 1, 10);
  const dense2D<double> coords3{{0, 0, 0}, {1, 0, 0}};

  // Nothing to do comes first.
  EXPECT_EQ(gradations(H, 0, DBL_MAX), 0);
  EXPECT_EQ(gradations(H, 0, NAN), 0);
  EXPECT_EQ(bound_metric_gradations(dense2D<double>(1, 2), dense2D<unsigned>(2, 0), ET_EDGE2, kNone,
                                    true, 0, -1, H),
            0);
  EXPECT_EQ(
      bound_metric_gradations(dense2D<double>(1, 2), kSegment, ET_EDGE2, kNone, true, 0, 1, H), -1);
  EXPECT_EQ(bound_metric_gradations(kUnitEdge, kSegment, ET_TRIA3, kNone, true, 0, 1, H), -2);
  EXPECT_EQ(
      bound_metric_gradations(kUnitEdge, dense2D<unsigned>{{0, 2}}, ET_EDGE2, kNone, true, 0, 1, H),
      -2);
  EXPECT_EQ(gradations(H, 0, 1.0, dense1D<unsigned, 8>{0, 2}), -4);
  EXPECT_EQ(gradations(H, 0, 1.0, dense1D<unsigned, 8>{~0U}), 1);  // ~0U is no node
  H = dense1D<double, 8>{1, 10};
  EXPECT_EQ(gradations(H, 0, -1.0), -7);
  EXPECT_EQ(variations(H, 0, -1e-300), -7);
  dense1D<double, 8> short_H{1};
  EXPECT_EQ(gradations(short_H, 0, 1.0), -8);
  EXPECT_EQ(short_H[0], 1.0);
  EXPECT_EQ(H[0], 1.0);
  EXPECT_EQ(H[1], 10.0);

  // Anisotropic: rows must match the dimension, one metric per node.
  EXPECT_EQ(bound_metric_gradations(kUnitEdge, kSegment, ET_EDGE2, kNone, true, 0, 1, M3), -8);
  EXPECT_EQ(bound_metric_variations(coords3, kSegment, ET_EDGE2, kNone, true, 0, 1, M2), -8);
  dense2D<double> one_metric(3, 1, 1.0);
  EXPECT_EQ(bound_metric_gradations(kUnitEdge, kSegment, ET_EDGE2, kNone, true, 0, 1, one_metric),
            -8);
  EXPECT_EQ(M2(0, 1), 0.01);
  EXPECT_EQ(M3(0, 1), 0.01);
}

TEST(Gradation, IsotropicMetricsFollowTheIsotropicSizes) {
  // (1/h^2) I for sizes 1 and 10: the same corrections as the sizes, 2-D and 3-D.
  const dense2D<double> coords3{{0, 0, 0}, {0.6, 0, 0.8}};
  for (int dim : {2, 3}) {
    const dense2D<double>& coords = dim == 2 ? kUnitEdge : coords3;
    dense2D<double> M(dim == 2 ? 3 : 6, 2);
    put_iso_metric(M, 0, 1), put_iso_metric(M, 1, 10);
    ASSERT_EQ(bound_metric_gradations(coords, kSegment, ET_EDGE2, kNone, true, -1, 1.0, M), 1);
    EXPECT_EQ(M(0, 0), 1.0);
    const double h = 1 + kLn2;
    EXPECT_NEAR(M(0, 1), 1 / (h * h), 1e-12);
    EXPECT_NEAR(M(2, 1), 1 / (h * h), 1e-12);
    EXPECT_NEAR(M(1, 1), 0.0, 1e-12);

    put_iso_metric(M, 0, 1), put_iso_metric(M, 1, 10);
    ASSERT_EQ(bound_metric_variations(coords, kSegment, ET_EDGE2, kNone, true, 1, 0.5, M), 1);
    EXPECT_NEAR(M(0, 0), 1 / (9.5 * 9.5), 1e-12);
    EXPECT_NEAR(M(M.rows() - 1, 0), 1 / (9.5 * 9.5), 1e-12);
    EXPECT_EQ(M(0, 1), 0.01);
  }
}

TEST(Gradation, AnisotropicCorrectionOnlyTouchesTheSizeAlongTheEdge) {
  // Node 0: size 10 along x, 1 along y; node 1: size 1 both ways. The edge
  // runs along x, so shrinking brings node 0's x size to 1 + ln 2 and leaves
  // its y size alone.
  dense2D<double> M(3, 2);
  M(0, 0) = 0.01, M(1, 0) = 0, M(2, 0) = 1;
  put_iso_metric(M, 1, 1);
  ASSERT_EQ(bound_metric_gradations(kUnitEdge, kSegment, ET_EDGE2, kNone, true, -1, 1.0, M), 1);
  const double h = 1 + kLn2;
  EXPECT_NEAR(M(0, 0), 1 / (h * h), 1e-12);
  EXPECT_NEAR(M(1, 0), 0.0, 1e-12);
  EXPECT_NEAR(M(2, 0), 1.0, 1e-12);
  EXPECT_EQ(M(0, 1), 1.0);

  // The same across the edge (size 10 along y only): already graded.
  M(0, 0) = 1, M(1, 0) = 0, M(2, 0) = 0.01;
  EXPECT_EQ(bound_metric_gradations(kUnitEdge, kSegment, ET_EDGE2, kNone, true, 0, 1.0, M), 0);
  EXPECT_EQ(M(2, 0), 0.01);
}

TEST(Gradation, NodesChangedTwiceCountOnce) {
  // Sizes 1, 10, 20 along a chain of unit edges, shrinking only. The worst
  // edge (10 -> 20) goes first, then node 1 comes down to node 0, which
  // makes node 2 come down a second time: two distinct nodes changed.
  const dense2D<double> coords{{0, 0}, {1, 0}, {2, 0}};
  const dense2D<unsigned> chain{{0, 1}, {1, 2}};
  dense1D<double, 8> H{1, 10, 20};
  const double k = std::log(1.3);
  EXPECT_EQ(bound_metric_gradations(coords, chain, ET_EDGE2, kNone, true, -1, 0.3, H), 2);
  EXPECT_EQ(H[0], 1.0);
  EXPECT_NEAR(H[1], 1 + k, 1e-12);
  EXPECT_NEAR(H[2], 1 + 2 * k, 1e-12);

  // The chain as one 3-node column: nodes 0 and 2 are neighbours too, so
  // node 2 also meets node 0 across the distance 2.
  const dense2D<unsigned> one_group{{0, 1, 2}};
  H = dense1D<double, 8>{1, 10, 20};
  EXPECT_EQ(bound_metric_variations(coords, one_group, ET_TRIA3, kNone, true, -1, 0.25, H), 2);
  EXPECT_NEAR(H[1], 1.25, 1e-12);
  EXPECT_NEAR(H[2], 1.5, 1e-12);
}

TEST(GradationQueue, PopsLargestKeysFirstAndCapsKeys) {
  detail::violation_queue q;
  std::mt19937 gen(9);
  std::uniform_real_distribution<double> measure(0, 100);
  std::vector<float> keys;
  for (unsigned i = 0; i < 1000; ++i) {
    const float key = detail::violation_key(i % 7 == 0 ? 5.0 : measure(gen));
    keys.push_back(key);
    ASSERT_TRUE(q.push(detail::violation{key, i, i, i + 1}));
  }
  std::sort(keys.rbegin(), keys.rend());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    ASSERT_FALSE(q.empty());
    const detail::violation v = q.pop();
    EXPECT_EQ(v.key, keys[i]) << i;
    EXPECT_EQ(v.b, v.a + 1);  // entries travel whole
  }
  EXPECT_TRUE(q.empty());

  EXPECT_EQ(detail::violation_key(DBL_MAX), FLT_MAX);
  EXPECT_EQ(detail::violation_key(1e39), FLT_MAX);
  EXPECT_EQ(detail::violation_key(0.1), 0.1f);
  EXPECT_EQ(sizeof(detail::violation), 16u);
}

TEST(Gradation, FreeNodesNextToFixedOnesMoveOnlyToSatisfyThem) {
  // Unit chain 0 - 1 - 2, shrinking only, node 2 fixed. Node 1 (size 10)
  // violates the bound with node 0 (size 1); node 0 may not grow.
  const dense2D<double> coords{{0, 0}, {1, 0}, {2, 0}};
  const dense2D<unsigned> chain{{0, 1}, {1, 2}};
  const dense1D<unsigned, 8> fixed{2};

  // Node 1's edge to the fixed node already meets the bound: node 1 stays.
  dense1D<double, 8> H{1, 10, 10};
  EXPECT_EQ(bound_metric_gradations(coords, chain, ET_EDGE2, fixed, true, -1, 1.0, H), 0);
  EXPECT_EQ(H[1], 10.0);
  // Without the fixed node both come down.
  EXPECT_EQ(bound_metric_gradations(coords, chain, ET_EDGE2, kNone, true, -1, 1.0, H), 2);
  EXPECT_NEAR(H[1], 1 + kLn2, 1e-12);
  EXPECT_NEAR(H[2], 1 + 2 * kLn2, 1e-12);

  // The fixed node (size 1.5) is violated too: node 1 comes down just far
  // enough for the edge to it (to 1.5 + ln 2, up to the search precision),
  // then stops, since that edge then meets the bound.
  H = dense1D<double, 8>{1, 10, 1.5};
  EXPECT_EQ(bound_metric_gradations(coords, chain, ET_EDGE2, fixed, true, -1, 1.0, H), 1);
  EXPECT_EQ(H[2], 1.5);
  EXPECT_LE(H[1], 1.5 + kLn2 + 1e-2);
  EXPECT_GE(H[1], 1 + kLn2 - 1e-12);
}

}  // namespace
