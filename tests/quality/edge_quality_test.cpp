// The normalized-length kernel through edge_quality, against the closed-form
// logarithmic mean, and the private shock kernel.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "common/edge_kernels.h"
#include "quernfold/quality.h"

namespace {

using namespace ovk::quernfold;

double quality(double L, double h0, double h1) {
  double q = -1;
  EXPECT_EQ(edge_quality(L, h0, h1, q), 0);
  return q;
}

// L divided by the exact logarithmic mean of h0 and h1.
double log_mean_oracle(double L, double h0, double h1) {
  if (h0 == h1) return L / h0;
  return L / ((h1 - h0) / std::log(h1 / h0));
}

TEST(EdgeQuality, WorkedExamplesAndCodes) {
  EXPECT_DOUBLE_EQ(quality(2, 1, 1), 2.0);
  EXPECT_NEAR(quality(1, 2, 1), std::log(2.0), 1e-15);
  double q = 42;
  EXPECT_EQ(edge_quality(1, -1, -1, q), -2);  // h0 is checked first
  EXPECT_EQ(edge_quality(1, 1, NAN, q), -3);
  EXPECT_EQ(q, 42);                           // untouched on failure
  EXPECT_DOUBLE_EQ(quality(-3, 1, 1), -3.0);  // the length itself is not checked

  // Below r = 0.1 the fourth-order series: 1.0247967100694, not the exact 1.0247967157144.
  EXPECT_NEAR(1 / quality(1, 1, 1.05), 1.0247967100694, 1e-13);
  EXPECT_EQ(quality(3, 0.5, 0.5), 6.0);  // equal sizes: no 0/0
  EXPECT_NEAR(quality(1, 1, 1.1), log_mean_oracle(1, 1, 1.1), 1e-15);
}

TEST(EdgeQuality, AgreesWithTheLogarithmicMeanAndIsSymmetricAndScaleFree) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> size(0.01, 100.0), length(0.0, 10.0);
  for (int i = 0; i < 500; ++i) {
    const double h0 = size(gen), h1 = size(gen), L = length(gen);
    const double q = quality(L, h0, h1);
    const double tol = std::fabs(h1 - h0) / std::min(h0, h1) < 0.1 ? 1e-6 : 1e-13;
    EXPECT_NEAR(q, log_mean_oracle(L, h0, h1), tol * (1 + q));
    EXPECT_EQ(q, quality(L, h1, h0));
    EXPECT_NEAR(quality(8 * L, 8 * h0, 8 * h1), q, 1e-14 * (1 + q));
  }
}

TEST(EdgeKernels, NormalizedLengthAndShock) {
  using detail::normalized_length;
  using detail::size_shock;
  EXPECT_EQ(normalized_length(1, NAN, 2), 0.0);
  EXPECT_NEAR(size_shock(8, 1, 3, false), 1.0, 1e-14);  // 8^(1/3) - 1
  // Too short to measure: 0 for equal metrics, DBL_MAX otherwise.
  EXPECT_EQ(size_shock(0, 0, 0, true), 0.0);
  EXPECT_EQ(size_shock(1, 2, 1e-13, false), DBL_MAX);
  // Overflowing exponent, and an infinitely long edge.
  EXPECT_EQ(size_shock(1e300, 1e-300, 1e-3, false), DBL_MAX);
  EXPECT_EQ(size_shock(2, 1, DBL_MAX, false), 0.0);
}

}  // namespace
