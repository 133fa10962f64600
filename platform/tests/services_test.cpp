// The histogram's bins and the symmetric eigen-solver.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "ovk/lapack/dspev.h"
#include "ovk/math1/math1.h"
#include "ovk/misc/histogram.h"

using ovk::math1::matrix_fixed;
using ovk::math1::symmetric_fixed;
using ovk::misc::histogram;

TEST(Histogram, BinsUnderflowAndOverflow) {
  histogram h(0.0, 1.0, 4), thirds(0.0, 1.0, 3);
  for (double v : {0.1, 0.3, 0.4, 0.6, 0.95, -1.0, 1.0, 2.5, std::nan("")}) h.process(v);
  // A value just below the upper bound belongs to the last bin even when
  // the division rounds up to the bin count.
  thirds.process(std::nextafter(1.0, 0.0));
  const std::size_t bins[] = {h.bin_count(0), h.bin_count(1), h.bin_count(2), h.bin_count(3),
                              h.underflow(),  h.overflow(),   h.count(),      thirds.bin_count(2)};
  const std::size_t want[] = {1, 2, 1, 1, 1, 2, 9, 1};  // 1.0 is outside [0, 1)
  for (int k = 0; k < 8; ++k) EXPECT_EQ(bins[k], want[k]) << k;
  EXPECT_EQ(h.max(), 2.5);  // NaN is counted, nothing more
  EXPECT_DOUBLE_EQ(h.mean(), (0.1 + 0.3 + 0.4 + 0.6 + 0.95 - 1.0 + 1.0 + 2.5) / 8);
}

TEST(Dspev, RandomSymmetricMatricesAreDiagonalised) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> entry(-5.0, 5.0);
  for (int trial = 0; trial < 20; ++trial) {
    symmetric_fixed<double, 3> m, ap;
    for (double& x : m.v) x = entry(rng);
    ap = m;  // destroyed by the call
    double w[3], work[9];
    matrix_fixed<double, 3, 3> Z;
    int info = -1;
    ASSERT_EQ(ovk::lapack::dspev(trial % 2 ? 'V' : 'N', 'U', 3, ap.v, w, Z.v, 3, work, info), 0);
    EXPECT_EQ(info, 0);
    EXPECT_LE(w[0], w[1]);
    EXPECT_LE(w[1], w[2]);
    // M z = lambda z and Z^T Z = I, or for eigenvalues only their sum.
    for (int c = 0; trial % 2 && c < 3; ++c)
      for (int i = 0; i < 3; ++i) {
        double mz = 0.0, dot = 0.0;
        for (int k = 0; k < 3; ++k) mz += m(i, k) * Z(k, c), dot += Z(k, c) * Z(k, i);
        EXPECT_NEAR(mz, w[c] * Z(i, c), 1e-12);
        EXPECT_NEAR(dot, c == i ? 1.0 : 0.0, 1e-12);
      }
    EXPECT_NEAR(w[0] + w[1] + w[2], m(0, 0) + m(1, 1) + m(2, 2), 1e-12);
  }
}
