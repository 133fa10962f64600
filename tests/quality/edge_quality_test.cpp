// The normalized-length kernel through edge_quality, against the closed-form
// logarithmic mean, and the private shock kernel.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "quality/edge_kernels.h"
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
  EXPECT_DOUBLE_EQ(quality(1, 1, 1), 1.0);
  EXPECT_DOUBLE_EQ(quality(2, 1, 1), 2.0);
  EXPECT_NEAR(quality(1, 1, 2), std::log(2.0), 1e-15);
  EXPECT_NEAR(quality(1, 2, 1), std::log(2.0), 1e-15);

  double q = 42;
  EXPECT_EQ(edge_quality(1, 0, 1, q), -2);
  EXPECT_EQ(edge_quality(1, 1, -1, q), -3);
  EXPECT_EQ(edge_quality(1, -1, -1, q), -2);  // h0 is checked first
  EXPECT_EQ(edge_quality(1, NAN, 1, q), -2);
  EXPECT_EQ(edge_quality(1, 1, NAN, q), -3);
  EXPECT_EQ(q, 42);  // untouched on failure

  // The length itself is not checked.
  EXPECT_DOUBLE_EQ(quality(-3, 1, 1), -3.0);
  EXPECT_EQ(quality(0, 1, 5), 0.0);
}

TEST(EdgeQuality, SeriesBelowOneTenthMatchesTheFourthOrderFormula) {
  // r = 0.05: the series gives 1.0247967100694, the exact mean 1.0247967157144.
  const double q = quality(1, 1, 1.05);
  EXPECT_NEAR(1 / q, 1.0247967100694, 1e-13);
  EXPECT_GT(std::fabs(1 / q - 1.0247967157144), 5e-9);

  // Equal sizes: no 0/0.
  EXPECT_EQ(quality(3, 0.5, 0.5), 6.0);

  // Just below and at the switch the two forms agree to the series' error.
  const double below = quality(1, 1, 1.0999999), at = quality(1, 1, 1.1);
  EXPECT_NEAR(below, at, 1e-6);
  EXPECT_NEAR(at, log_mean_oracle(1, 1, 1.1), 1e-15);
  EXPECT_NEAR(below, log_mean_oracle(1, 1, 1.0999999), 1e-6);
}

TEST(EdgeQuality, AgreesWithTheLogarithmicMeanAndIsSymmetricAndScaleFree) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> size(0.01, 100.0), length(0.0, 10.0);
  for (int i = 0; i < 2000; ++i) {
    const double h0 = size(gen), h1 = size(gen), L = length(gen);
    const double q = quality(L, h0, h1);
    const double r = std::fabs(h1 - h0) / std::min(h0, h1);
    const double tol = r < 0.1 ? 1e-6 : 1e-13;
    EXPECT_NEAR(q, log_mean_oracle(L, h0, h1), tol * (1 + q));
    EXPECT_EQ(q, quality(L, h1, h0));
    EXPECT_NEAR(quality(8 * L, 8 * h0, 8 * h1), q, 1e-14 * (1 + q));
    // The logarithmic mean lies between the geometric and arithmetic means.
    EXPECT_LE(q, L / std::sqrt(h0 * h1) * (1 + 1e-12));
    EXPECT_GE(q, L / ((h0 + h1) / 2) * (1 - 1e-12));
  }
}

TEST(EdgeKernels, NormalizedLengthOfZeroOrUndefinedSizesIsZero) {
  using detail::normalized_length;
  EXPECT_EQ(normalized_length(1, 0, 1), 0.0);
  EXPECT_EQ(normalized_length(1, NAN, 2), 0.0);
}

TEST(EdgeKernels, ShockIsTheGrowthPerUnitNormalizedLength) {
  using detail::size_shock;
  // Sizes 1 and 2 on an edge of normalized length 1: the size doubles.
  EXPECT_NEAR(size_shock(1, 2, 1, false), 1.0, 1e-15);
  EXPECT_NEAR(size_shock(2, 1, 1, false), 1.0, 1e-15);
  // Ratio 8 over normalized length 3: 8^(1/3) - 1.
  EXPECT_NEAR(size_shock(8, 1, 3, false), 1.0, 1e-14);
  EXPECT_EQ(size_shock(5, 5, 2, false), 0.0);
  // Too short to measure: 0 for equal metrics, DBL_MAX otherwise.
  EXPECT_EQ(size_shock(0, 0, 0, true), 0.0);
  EXPECT_EQ(size_shock(0, 0, 0, false), DBL_MAX);
  EXPECT_EQ(size_shock(1, 2, 1e-13, false), DBL_MAX);
  EXPECT_EQ(size_shock(-1, 2, 1, true), 0.0);
  // Overflowing exponent, and an infinitely long edge.
  EXPECT_EQ(size_shock(1e300, 1e-300, 1e-3, false), DBL_MAX);
  EXPECT_EQ(size_shock(2, 1, DBL_MAX, false), 0.0);
}

}  // namespace
