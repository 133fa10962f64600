#include <gtest/gtest.h>

#include <cmath>

#include "ovk/lapack/dspev.h"
#include "ovk/math1/math1.h"

TEST(Dspev, DiagonalMatrixGivesAscendingEigenvalues) {
  double ap[6] = {2, 0, 3, 0, 0, 1}, w[3], z[9], work[9];
  int info = -1;
  EXPECT_EQ(ovk::lapack::dspev('V', 'U', 3, ap, w, z, 3, work, info), 0);
  EXPECT_EQ(info, 0);
  EXPECT_DOUBLE_EQ(w[0], 1.0);
  EXPECT_DOUBLE_EQ(w[1], 2.0);
  EXPECT_DOUBLE_EQ(w[2], 3.0);
  EXPECT_DOUBLE_EQ(std::abs(z[2]), 1.0);  // eigenvector of 1 is e_z
}
