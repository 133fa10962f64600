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
using sizes = dense1D<double, 8>;
using nodes = dense1D<unsigned, 8>;

const double kLn2 = std::log(2.0);

// Two nodes one unit apart, as one segment.
const dense2D<double> kUnitEdge{{0, 0}, {1, 0}};
const dense2D<unsigned> kSegment{{0, 1}};
const nodes kNone;
// A chain of unit edges 0 - 1 - 2.
const dense2D<double> kChain{{0, 0}, {1, 0}, {2, 0}};
const dense2D<unsigned> kChainEdges{{0, 1}, {1, 2}};

int gradations(sizes& H, int direction, double bound, const nodes& list = kNone,
               bool fixed = true) {
  return bound_metric_gradations(kUnitEdge, kSegment, ET_EDGE2, list, fixed, direction, bound, H);
}

using quernfold_test::put_iso_metric;

TEST(Gradation, SizesOneAndTenOnAUnitEdge) {
  // Shrinking only: the larger size comes down to 1 + ln 2.
  sizes H{1, 10};
  EXPECT_EQ(gradations(H, -1, 1.0), 1);
  EXPECT_EQ(H[0], 1.0);
  EXPECT_NEAR(H[1], 1 + kLn2, 1e-12);
  // Growing only: the smaller size goes up to 10 - ln 2.
  H = sizes{1, 10};
  EXPECT_EQ(gradations(H, 1, 1.0), 1);
  EXPECT_NEAR(H[0], 10 - kLn2, 1e-12);
  EXPECT_EQ(H[1], 10.0);
  // Either way: one node moves, whichever leaves the heap first.
  H = sizes{1, 10};
  EXPECT_EQ(gradations(H, 0, 1.0), 1);
  const bool shrank = H[0] == 1.0 && std::fabs(H[1] - (1 + kLn2)) < 1e-12;
  const bool grew = H[1] == 10.0 && std::fabs(H[0] - (10 - kLn2)) < 1e-12;
  EXPECT_TRUE(shrank || grew) << H[0] << " " << H[1];

  // Variations: sizes within the bound of each other; zero bound equalises.
  H = sizes{1, 10};
  EXPECT_EQ(bound_metric_variations(kUnitEdge, kSegment, ET_EDGE2, kNone, true, 1, 0.5, H), 1);
  EXPECT_NEAR(H[0], 9.5, 1e-12);
  H = sizes{2, 3};
  EXPECT_EQ(bound_metric_variations(kUnitEdge, kSegment, ET_EDGE2, kNone, true, -1, 0.0, H), 1);
  EXPECT_NEAR(H[1], 2.0, 1e-12);
}

TEST(Gradation, FixedNodesAndRestrictedDirections) {
  // Node 1 fixed and only shrinking allowed: node 0 could only grow.
  sizes H{1, 10};
  EXPECT_EQ(gradations(H, -1, 1.0, nodes{1}, true), 0);
  EXPECT_EQ(H[0], 1.0);
  // Only the listed node may change: node 0 moves up to the bound.
  EXPECT_EQ(gradations(H, 0, 1.0, nodes{0}, false), 1);
  EXPECT_EQ(H[1], 10.0);
  EXPECT_NEAR(H[0], 10 - kLn2, 1e-2);
  EXPECT_LE(H[0], 10.0);

  // Every node fixed, or a direction other than 0, 1 and -1: nothing moves.
  H = sizes{1, 10};
  EXPECT_EQ(gradations(H, 0, 1.0, nodes{0, 1}, true), 0);
  EXPECT_EQ(gradations(H, 2, 1.0), 0);
  EXPECT_EQ(H[0], 1.0);
  // Only the low byte counts: 256 + 1 grows.
  EXPECT_EQ(gradations(H, 257, 1.0), 1);
  EXPECT_NEAR(H[0], 10 - kLn2, 1e-12);

  // Chain, node 2 fixed: node 1's edge to it meets the bound, so it stays.
  H = sizes{1, 10, 10};
  EXPECT_EQ(bound_metric_gradations(kChain, kChainEdges, ET_EDGE2, nodes{2}, true, -1, 1.0, H), 0);
  EXPECT_EQ(H[1], 10.0);
  // A violated fixed node (1.5): node 1 comes down just far enough for it.
  H = sizes{1, 10, 1.5};
  EXPECT_EQ(bound_metric_gradations(kChain, kChainEdges, ET_EDGE2, nodes{2}, true, -1, 1.0, H), 1);
  EXPECT_EQ(H[2], 1.5);
  EXPECT_LE(H[1], 1.5 + kLn2 + 1e-2);
  EXPECT_GE(H[1], 1 + kLn2 - 1e-12);
}

TEST(Gradation, ArgumentCodesLeaveTheFieldAlone) {
  sizes H{1, 10};
  EXPECT_EQ(gradations(H, 0, DBL_MAX), 0);  // nothing to do comes first
  EXPECT_EQ(
      bound_metric_gradations(dense2D<double>(1, 2), kSegment, ET_EDGE2, kNone, true, 0, 1, H), -1);
  EXPECT_EQ(bound_metric_gradations(kUnitEdge, kSegment, ET_TRIA3, kNone, true, 0, 1, H), -2);
  EXPECT_EQ(gradations(H, 0, 1.0, nodes{0, 2}), -4);
  EXPECT_EQ(gradations(H, 0, -1.0), -7);
  sizes short_H{1};
  EXPECT_EQ(gradations(short_H, 0, 1.0), -8);
  EXPECT_EQ(H[1], 10.0);
  EXPECT_EQ(gradations(H, 0, 1.0, nodes{no_index}), 1);  // ~0U is no node

  // Anisotropic: rows must match the dimension, one metric per node.
  dense2D<double> M3(6, 2);
  put_iso_metric(M3, 0, 1), put_iso_metric(M3, 1, 10);
  EXPECT_EQ(bound_metric_gradations(kUnitEdge, kSegment, ET_EDGE2, kNone, true, 0, 1, M3), -8);
  EXPECT_EQ(M3(0, 1), 0.01);
}

TEST(Gradation, AnisotropicCorrectionOnlyTouchesTheSizeAlongTheEdge) {
  // Node 0: size 10 along x, 1 along y; node 1: size 1. The edge runs along
  // x, so node 0's x size comes down to 1 + ln 2, its y size stays.
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
  // Sizes 1, 10, 20, shrinking only: node 2 comes down twice, counted once.
  sizes H{1, 10, 20};
  const double k = std::log(1.3);
  EXPECT_EQ(bound_metric_gradations(kChain, kChainEdges, ET_EDGE2, kNone, true, -1, 0.3, H), 2);
  EXPECT_EQ(H[0], 1.0);
  EXPECT_NEAR(H[1], 1 + k, 1e-12);
  EXPECT_NEAR(H[2], 1 + 2 * k, 1e-12);
  // As one 3-node column nodes 0 and 2 are neighbours too.
  H = sizes{1, 10, 20};
  EXPECT_EQ(bound_metric_variations(kChain, dense2D<unsigned>{{0, 1, 2}}, ET_TRIA3, kNone, true, -1,
                                    0.25, H),
            2);
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
  }
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(detail::violation_key(1e39), FLT_MAX);
  EXPECT_EQ(detail::violation_key(0.1), 0.1f);
}

}  // namespace
