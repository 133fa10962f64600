// Fixed-size aggregates, the histogram and the symmetric eigen-solver.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "ovk/lapack/dspev.h"
#include "ovk/math1/math1.h"
#include "ovk/misc/histogram.h"

using ovk::math1::matrix_fixed;
using ovk::math1::symmetric_fixed;
using ovk::math1::vector_fixed;
using ovk::misc::histogram;

TEST(FixedAggregates, PackedSymmetricAndColumnMajorLayouts) {
  const vector_fixed<double, 3> P{1, 2, 3};
  EXPECT_EQ(P[2], 3.0);
  EXPECT_EQ(P.size(), 3);

  symmetric_fixed<double, 3> M{0, 1, 2, 3, 4, 5};  // 00, 01, 11, 02, 12, 22
  EXPECT_EQ(M(0, 0), 0.0);
  EXPECT_EQ(M(1, 0), 1.0);
  EXPECT_EQ(M(0, 1), 1.0);
  EXPECT_EQ(M(1, 1), 2.0);
  EXPECT_EQ(M(2, 0), 3.0);
  EXPECT_EQ(M(1, 2), 4.0);
  EXPECT_EQ(M(2, 2), 5.0);
  symmetric_fixed<double, 2> two{1, 0, 1};
  const symmetric_fixed<double, 2> copy = two;
  two(1, 0) = 7;
  EXPECT_EQ(two[1], 7.0);
  EXPECT_EQ(copy[1], 0.0);  // assignment copies the entries

  matrix_fixed<double, 2, 3> A{};
  A(1, 2) = 4;
  EXPECT_EQ(A[5], 4.0);  // (i, j) at i + j * rows
  EXPECT_EQ(A.rows(), 2);
  EXPECT_EQ(A.cols(), 3);
}

TEST(Histogram, StatisticsAndBins) {
  histogram none;
  EXPECT_EQ(none.count(), 0u);
  EXPECT_EQ(none.mean(), 0.0);
  EXPECT_EQ(none.nbins(), 0u);

  histogram h(0.0, 1.0, 4);
  for (double v : {0.1, 0.3, 0.4, 0.6, 0.95, -1.0, 1.0, 2.5}) h.process(v);
  EXPECT_EQ(h.count(), 8u);
  EXPECT_EQ(h.min(), -1.0);
  EXPECT_EQ(h.max(), 2.5);
  EXPECT_DOUBLE_EQ(h.mean(), (0.1 + 0.3 + 0.4 + 0.6 + 0.95 - 1.0 + 1.0 + 2.5) / 8);
  ASSERT_EQ(h.nbins(), 4u);
  EXPECT_EQ(h.bin_count(0), 1u);
  EXPECT_EQ(h.bin_count(1), 2u);
  EXPECT_EQ(h.bin_count(2), 1u);
  EXPECT_EQ(h.bin_count(3), 1u);
  EXPECT_EQ(h.underflow(), 1u);
  EXPECT_EQ(h.overflow(), 2u);  // 1.0 is outside [0, 1)
  EXPECT_EQ(h.bin_lower(2), 0.5);

  // NaN is counted but leaves min, max, mean and bins alone.
  h.process(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(h.count(), 9u);
  EXPECT_EQ(h.max(), 2.5);

  // A value just below the upper bound belongs to the last bin even when
  // the division rounds up to the bin count.
  histogram thirds(0.0, 1.0, 3);
  thirds.process(std::nextafter(1.0, 0.0));
  EXPECT_EQ(thirds.overflow(), 0u);
  EXPECT_EQ(thirds.bin_count(2), 1u);

  h.reset();
  EXPECT_EQ(h.count(), 0u);
  EXPECT_EQ(h.bin_count(1), 0u);
  EXPECT_EQ(h.nbins(), 4u);
  histogram flat(1.0, 1.0, 5);  // an empty range has no bins
  EXPECT_EQ(flat.nbins(), 0u);
}

TEST(Dspev, KnownDecomposition) {
  // [[2, 1, 0], [1, 2, 0], [0, 0, 3]]: eigenvalues 1, 3, 3; (1, -1, 0)/sqrt(2) for 1.
  double ap[6] = {2, 1, 2, 0, 0, 3}, w[3], z[9], work[9];
  int info = -1;
  EXPECT_EQ(ovk::lapack::dspev('V', 'U', 3, ap, w, z, 3, work, info), 0);
  EXPECT_EQ(info, 0);
  EXPECT_NEAR(w[0], 1.0, 1e-14);
  EXPECT_NEAR(w[1], 3.0, 1e-14);
  EXPECT_NEAR(w[2], 3.0, 1e-14);
  EXPECT_NEAR(std::abs(z[0]), std::sqrt(0.5), 1e-14);
  EXPECT_NEAR(z[0] + z[1], 0.0, 1e-14);
  EXPECT_NEAR(z[2], 0.0, 1e-14);

  // Lower packed storage of a diagonal matrix, eigenvalues only.
  double lp[3] = {5, 0, -2};  // 2 x 2: 00, 10, 11
  double w2[2], work2[6];
  EXPECT_EQ(ovk::lapack::dspev('N', 'L', 2, lp, w2, nullptr, 1, work2, info), 0);
  EXPECT_EQ(w2[0], -2.0);
  EXPECT_EQ(w2[1], 5.0);
}

TEST(Dspev, RandomSymmetricMatricesAreDiagonalised) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> entry(-5.0, 5.0);
  for (int trial = 0; trial < 20; ++trial) {
    symmetric_fixed<double, 3> M;
    for (double& m : M.v) m = entry(rng);
    symmetric_fixed<double, 3> ap = M;  // destroyed by the call
    double w[3], work[9];
    matrix_fixed<double, 3, 3> Z;
    int info = -1;
    ASSERT_EQ(ovk::lapack::dspev('V', 'U', 3, ap.v, w, Z.v, 3, work, info), 0);
    EXPECT_LE(w[0], w[1]);
    EXPECT_LE(w[1], w[2]);
    for (int c = 0; c < 3; ++c) {
      for (int i = 0; i < 3; ++i) {
        double mz = 0.0;
        for (int k = 0; k < 3; ++k) mz += M(i, k) * Z(k, c);
        EXPECT_NEAR(mz, w[c] * Z(i, c), 1e-12);  // M z = lambda z
      }
      for (int d = 0; d < 3; ++d) {
        double dot = 0.0;
        for (int k = 0; k < 3; ++k) dot += Z(k, c) * Z(k, d);
        EXPECT_NEAR(dot, c == d ? 1.0 : 0.0, 1e-12);
      }
    }
  }
}
