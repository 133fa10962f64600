// point_index: k nearest points and points within a radius against brute
// force, on lattices (equal distances everywhere, coincident points) and
// clouds, in 2-D and 3-D, with the codes of bad arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "support/compare.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;

constexpr double kInf = std::numeric_limits<double>::infinity();

// Squared distance as the index sums it: z of a 2-D query is 0, z of a
// 3-D query on 2-D points is not read.
double dist2(const dense2D<double>& c, unsigned n, const dense2D<double>& q, unsigned j) {
  const double dx = q(0, j) - c(0, n), dy = q(1, j) - c(1, n);
  const double dz = c.rows() == 3 ? (q.rows() == 3 ? q(2, j) : 0.0) - c(2, n) : 0.0;
  return (dx * dx + dy * dy) + dz * dz;
}

// Every point ordered by (squared distance, index) from query j.
std::vector<unsigned> by_distance(const dense2D<double>& c, const dense2D<double>& q, unsigned j) {
  std::vector<unsigned> order(c.cols());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [&](unsigned a, unsigned b) { return dist2(c, a, q, j) < dist2(c, b, q, j); });
  return order;
}

TEST(PointIndex, NearestAndWithinMatchBruteForce) {
  for (unsigned dim : {2u, 3u})
    for (unsigned qdim : {2u, 3u})
      for (unsigned side : {6u, 0u}) {
        SCOPED_TRACE(::testing::Message() << "dim " << dim << " qdim " << qdim << " side " << side);
        const dense2D<double> c = quernfold_test::random_points(dim, 700, 5 + side, side);
        dense2D<double> q = quernfold_test::random_points(qdim, 150, 11, side ? 2 * side : 0);
        for (std::size_t i = 0; side && i < q.rows() * q.cols(); ++i) q.data()[i] /= 2;
        point_index index;
        ASSERT_EQ(index.reinit(c), 700);
        const double r = side ? 1.0 : 0.08;
        dense2D<unsigned> found;
        dense2D<double> d;
        dense1D<std::size_t> offsets;
        dense1D<unsigned> inside;
        ASSERT_EQ(index.within(q, r, offsets, inside), 0);
        for (unsigned k : {1u, 5u}) {
          ASSERT_EQ(index.nearest(q, k, found, d), 0);
          ASSERT_EQ(found.rows(), k);
          for (unsigned j = 0; j < q.cols(); ++j) {
            const std::vector<unsigned> order = by_distance(c, q, j);
            for (unsigned i = 0; i < k; ++i) {
              ASSERT_EQ(found(i, j), order[i]) << "query " << j << " rank " << i;
              ASSERT_EQ(d(i, j), std::sqrt(dist2(c, order[i], q, j)));
            }
          }
        }
        for (unsigned j = 0; j < q.cols(); ++j) {
          std::vector<unsigned> brute;
          for (unsigned n = 0; n < c.cols(); ++n)
            if (dist2(c, n, q, j) <= r * r) brute.push_back(n);
          const std::vector<unsigned> got(inside.begin() + offsets[j],
                                          inside.begin() + offsets[j + 1]);
          ASSERT_EQ(got, brute) << "query " << j;
        }
      }
}

TEST(PointIndex, CodesPaddingAndNaN) {
  const dense2D<double> c{{0, 0}, {1, 0}, {0, 1}};
  const dense2D<double> q{{0.9, 0.1}, {std::nan(""), 0}};
  point_index index, empty;
  dense2D<unsigned> found;
  dense2D<double> d;
  dense1D<std::size_t> offsets;
  dense1D<unsigned> inside;
  EXPECT_CODES({index.reinit(dense2D<double>(4, 2)), -1}, {index.reinit(q), -2}, {index.size(), 0},
               {index.reinit(c), 3}, {index.nearest(q, 0, found, d), -2},
               {index.nearest(dense2D<double>(1, 2), 1, found, d), -1},
               {index.within(q, -1, offsets, inside), -2},
               {index.within(q, std::nan(""), offsets, inside), -2});
  // Four slots over three points: the last is padded; the NaN query finds
  // nothing, nor does any query of an empty index.
  ASSERT_EQ(index.nearest(q, 4, found, d), 0);
  EXPECT_SAME(found,
              (dense2D<unsigned>{{1, 0, 2, no_index}, {no_index, no_index, no_index, no_index}}));
  EXPECT_EQ(d(3, 0), kInf);
  ASSERT_EQ(index.within(q, kInf, offsets, inside), 0);
  EXPECT_SAME(offsets, (dense1D<std::size_t>{0, 3, 3}));
  ASSERT_EQ(empty.nearest(q, 1, found, d), 0);
  EXPECT_EQ(found(0, 0), no_index);
}

}  // namespace
