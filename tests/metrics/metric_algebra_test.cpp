#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "metrics/metric_kernels.h"
#include "quernfold/metrics.h"
#include "support/random_metrics.h"

namespace {

using namespace ovk::quernfold;
using sym2 = symmetric_fixed<double, 2>;
using sym3 = symmetric_fixed<double, 3>;
using mat2 = matrix_fixed<double, 2, 2>;
using mat3 = matrix_fixed<double, 3, 3>;
using vec2 = vector_fixed<double, 2>;
using vec3 = vector_fixed<double, 3>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kTight = 1e-12;

// Eigenvalues over six decades: sizes from 0.03 to 30.
template <int N>
symmetric_fixed<double, N> any_metric(std::mt19937& gen) {
  return quernfold_test::random_metric<N>(gen, 1e-3, 1e3);
}

template <int N>
double max_abs(const symmetric_fixed<double, N>& M) {
  double m = 0;
  for (int k = 0; k < M.size(); ++k) m = std::fmax(m, std::fabs(M[k]));
  return m;
}

template <class A, class B>
void expect_same(const A& a, const B& b, int n) {
  for (int k = 0; k < n; ++k) EXPECT_EQ(a[k], b[k]) << k;
}

template <class A>
void expect_near(const A& a, std::initializer_list<double> want, double tol) {
  int k = 0;
  for (double w : want) EXPECT_NEAR(a[k++], w, tol) << k;
}

// M = V diag(l) V^T, V orthonormal with determinant +1, l ascending.
template <int N>
void expect_decomposition(const symmetric_fixed<double, N>& M, const vector_fixed<double, N>& l,
                          const matrix_fixed<double, N, N>& V) {
  const double scale = max_abs(M);
  for (int k = 1; k < N; ++k) EXPECT_LE(l[k - 1], l[k]);
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) {
      double r = 0, g = 0;
      for (int k = 0; k < N; ++k) {
        r += V(i, k) * l[k] * V(j, k);
        g += V(k, i) * V(k, j);
      }
      EXPECT_NEAR(r, M(i, j), kTight * scale) << i << "," << j;
      EXPECT_NEAR(g, i == j ? 1.0 : 0.0, kTight) << i << "," << j;
    }
  double det;
  if constexpr (N == 2) {
    det = V(0, 0) * V(1, 1) - V(0, 1) * V(1, 0);
  } else {
    det = V(0, 0) * (V(1, 1) * V(2, 2) - V(2, 1) * V(1, 2)) -
          V(0, 1) * (V(1, 0) * V(2, 2) - V(2, 0) * V(1, 2)) +
          V(0, 2) * (V(1, 0) * V(2, 1) - V(2, 0) * V(1, 1));
  }
  EXPECT_NEAR(det, 1.0, kTight);
}

// u^T M u for a packed metric.
template <int N>
double form(const symmetric_fixed<double, N>& M, const double* u) {
  double s = 0;
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) s += u[i] * M(i, j) * u[j];
  return s;
}

TEST(MetricEigenValues, ValidityAndTheRepairOfCancellation) {
  EXPECT_FALSE(is_valid_metric(sym2{1, 2, 1}));  // eigenvalues -1 and 3
  EXPECT_FALSE(is_valid_metric(sym2{1, 0, 0}));  // semi-definite
  EXPECT_FALSE(is_valid_metric(sym2{1, kNaN, 1}));
  EXPECT_TRUE(is_valid_metric(sym3{2, 1, 2, 0, 1, 2}));  // eigenvalues 2 - sqrt 2, 2, 2 + sqrt 2
  EXPECT_FALSE(is_valid_metric(sym3{1, 0, 1, 0, 0, kNaN}));
  // Without the repair 1 + 1e-20 - 1 leaves 0; the determinant gives it back.
  double l[2];
  EXPECT_TRUE(detail::eigenvalues_2x2(sym2{1, 0, 1e-20}, l[0], l[1]));
  expect_same(l, vec2{1e-20, 1}, 2);
  // The repair of the larger eigenvalue serves negative definite matrices.
  EXPECT_TRUE(detail::eigenvalues_2x2(sym2{-1, 0, -1e-20}, l[0], l[1]));
  expect_same(l, vec2{-1, -1e-20}, 2);
  // b^2 underflows to 0 before the factor 4 (4 b * b would not).
  EXPECT_TRUE(detail::eigenvalues_2x2(sym2{0, std::ldexp(1.0, -538), 0}, l[0], l[1]));
  expect_same(l, vec2{0, 0}, 2);
  EXPECT_FALSE(detail::eigenvalues_2x2(sym2{kInf, 0, 1}, l[0], l[1]));

  EXPECT_NEAR(detail::smallest_eigenvalue_3x3(sym3{2, 1, 2, 0, 1, 2}), 2 - std::sqrt(2.0), kTight);
}

TEST(MetricEigenPairs, ReconstructOrthonormalRightHanded) {
  vec2 l;
  mat2 V;
  // Multiples of the identity give the identity frame.
  ASSERT_TRUE(eigen_pairs(sym2{3e5, 0, 3e5}, l, V));
  expect_same(V.v, vec2{1, 0}, 2);
  EXPECT_EQ(V(1, 1), 1.0);

  std::mt19937 gen(7);
  vec3 l3;
  mat3 V3;
  for (int t = 0; t < 200; ++t) {
    const sym2 M = any_metric<2>(gen);
    ASSERT_TRUE(eigen_pairs(M, l, V));
    expect_decomposition(M, l, V);
    const sym3 M3 = any_metric<3>(gen);
    ASSERT_TRUE(eigen_pairs(M3, l3, V3));
    expect_decomposition(M3, l3, V3);
  }
  // An indefinite matrix and a repeated eigenvalue.
  for (const sym3& M : {sym3{1, 2, 1, 0, 0, 1}, sym3{5, 0, 5, 0, 0, 5}}) {
    ASSERT_TRUE(eigen_pairs(M, l3, V3));
    expect_decomposition(M, l3, V3);
  }
  // Non-finite: false, eigenvalues written anyway.
  EXPECT_FALSE(eigen_pairs(sym2{kInf, 0, 1}, l, V));
  EXPECT_FALSE(std::isfinite(l[0]) && std::isfinite(l[1]));
}

// B x = l A x for random pairs: ascending values, unit vectors, and a
// residual within what the conditioning of A allows.
template <int N>
void check_generalised(std::mt19937& gen) {
  for (int t = 0; t < 200; ++t) {
    const symmetric_fixed<double, N> A = any_metric<N>(gen), B = any_metric<N>(gen);
    vector_fixed<double, N> l, la;
    matrix_fixed<double, N, N> X;
    ASSERT_TRUE(eigen_pairs(A, B, l, X));
    eigen_values(A, la);
    const double cond = la[N - 1] / la[0];
    for (int k = 1; k < N; ++k) EXPECT_LE(l[k - 1], l[k]);
    for (int k = 0; k < N; ++k) {
      double n2 = 0;
      for (int i = 0; i < N; ++i) n2 += X(i, k) * X(i, k);
      EXPECT_NEAR(n2, 1.0, kTight);
      const double scale = (max_abs(B) + std::fabs(l[k]) * max_abs(A)) * cond;
      for (int i = 0; i < N; ++i) {
        double Bx = 0, Ax = 0;
        for (int j = 0; j < N; ++j) {
          Bx += B(i, j) * X(j, k);
          Ax += A(i, j) * X(j, k);
        }
        EXPECT_NEAR(Bx, l[k] * Ax, kTight * scale);
      }
    }
  }
}

TEST(MetricEigenPairs, GeneralisedSolvesAndFailsOnIndefiniteA) {
  std::mt19937 gen(11);
  check_generalised<2>(gen);
  check_generalised<3>(gen);

  vec2 l{{7, 7}};
  mat2 X{{7, 7, 7, 7}};
  EXPECT_FALSE(eigen_pairs(sym2{1, 1, 1}, sym2{1, 0, 1}, l, X));  // det = 0
  EXPECT_EQ(l[0], 0.0);
  EXPECT_EQ(X(1, 1), 0.0);
  EXPECT_FALSE(eigen_pairs(sym2{kNaN, 0, 1}, sym2{1, 0, 1}, l, X));
  vec3 l3;
  mat3 X3;
  const sym3 I{1, 0, 1, 0, 0, 1};
  EXPECT_FALSE(eigen_pairs(sym3{1, 0, 0, 0, 0, 1}, I, l3, X3));   // row 1 zero
  EXPECT_FALSE(eigen_pairs(sym3{1, 0, 1, 0, 0, -1}, I, l3, X3));  // indefinite
  for (double x : X3.v) EXPECT_EQ(x, 0.0);
}

// The intersection's unit ball lies inside both unit balls, the union's
// outside both, checked along random directions; the intersection is
// symmetric in its arguments.
template <int N>
void check_intersection_and_union(std::mt19937& gen) {
  std::normal_distribution<double> g;
  for (int t = 0; t < 100; ++t) {
    const symmetric_fixed<double, N> A = any_metric<N>(gen), B = any_metric<N>(gen);
    symmetric_fixed<double, N> lo, hi, lo2;
    ASSERT_TRUE(minimum_metric(A, B, lo));
    ASSERT_TRUE(maximum_metric(A, B, hi));
    EXPECT_TRUE(is_valid_metric(lo));
    EXPECT_TRUE(is_valid_metric(hi));
    for (int d = 0; d < 50; ++d) {
      std::array<double, 3> u{g(gen), g(gen), g(gen)};
      const double a = form(A, u.data()), b = form(B, u.data());
      EXPECT_GE(form(lo, u.data()), std::fmax(a, b) * (1 - 1e-9));
      EXPECT_LE(form(hi, u.data()), std::fmin(a, b) * (1 + 1e-9));
    }
    ASSERT_TRUE(minimum_metric(B, A, lo2));
    for (int k = 0; k < lo.size(); ++k) EXPECT_NEAR(lo2[k], lo[k], 1e-9 * max_abs(lo));
  }
}

TEST(MetricIntersection, ContainedInBothUnitBalls) {
  std::mt19937 gen(5);
  check_intersection_and_union<2>(gen);
  check_intersection_and_union<3>(gen);

  // Sizes (1, 4) and (4, 1) meet in sizes (1, 1).
  sym2 R;
  ASSERT_TRUE(minimum_metric(sym2{1, 0, 1.0 / 16}, sym2{1.0 / 16, 0, 1}, R));
  expect_near(R, {1, 0, 1}, kTight);
}

TEST(MetricIntersection, CopiesWinnerAliasesAndFails) {
  const sym2 M{2, 0.5, 1}, M2x{4, 1, 2};
  sym2 R{9, 9, 9};
  ASSERT_TRUE(minimum_metric(M, M2x, R));
  expect_same(R, M2x, 3);  // copied bit for bit
  const sym3 N{2, 0.5, 1, 0.1, 0.2, 3}, N2x{4, 1, 2, 0.2, 0.4, 6};
  sym3 R3 = N2x;
  ASSERT_TRUE(maximum_metric(N, R3, R3));  // R is M2
  expect_same(R3, N, 6);

  // Aliasing with a genuinely combined result gives the same as without.
  const sym2 A{1, 0, 1.0 / 16}, B{1.0 / 16, 0, 1};
  sym2 expected, aliased = A;
  ASSERT_TRUE(minimum_metric(A, B, expected));
  ASSERT_TRUE(minimum_metric(aliased, B, aliased));
  expect_same(aliased, expected, 3);

  // M1 not positive definite: R = M1, false.
  const sym3 bad3{1, 0, 1, 0, 0, -1};
  EXPECT_FALSE(maximum_metric(bad3, sym3{1, 0, 1, 0, 0, 1}, R3));
  expect_same(R3, bad3, 6);
  // A combined value beyond DBL_MAX: true, R = the input holding it.
  const sym2 big{1e-101, 0, 1e300};
  EXPECT_TRUE(minimum_metric(sym2{1e-100, 0, 1e-100}, big, R));
  expect_same(R, big, 3);
}

TEST(MetricBound, SizesAreClampedAndCodesComeInOrder) {
  sym2 M{1, 0, 1};
  EXPECT_EQ(bound_metric(M, 0.5, 2), -1);  // nothing changes
  EXPECT_EQ(bound_metric(M, 0, DBL_MAX), 0);
  EXPECT_EQ(bound_metric(M, kNaN, 4), -2);
  EXPECT_EQ(bound_metric(M, 0, kInf), -3);
  EXPECT_EQ(M[0], 1.0);
  // hmin > hmax: hmax wins.
  EXPECT_EQ(bound_metric(M, 4, 2), 0);
  expect_near(M, {0.25, 0, 0.25}, kTight);
  // hmax = 0 with hmin > 0: the eigenvalue bound 1/hmin^2 applies.
  M = sym2{1, 0, 1};
  EXPECT_EQ(bound_metric(M, 2, 0), 0);
  EXPECT_NEAR(M[2], 0.25, kTight);

  // Sizes 10 and 1 along the diagonals become 5 and 2, directions kept.
  const double c = std::sqrt(0.5);
  const double big = 1.0 / 100, small = 1.0;
  sym2 R{big * c * c + small * c * c, big * c * c - small * c * c, big * c * c + small * c * c};
  EXPECT_EQ(bound_metric(R, 2, 5), 0);
  vec2 l;
  mat2 V;
  ASSERT_TRUE(eigen_pairs(R, l, V));
  expect_near(l, {1.0 / 25, 1.0 / 4}, kTight);
  EXPECT_NEAR(V(0, 0) * V(1, 0), 0.5, 1e-9);  // along (1, 1)

  sym3 N{1, 0, 4, 0, 0, 100};  // sizes 1, 0.5, 0.1
  EXPECT_EQ(bound_metric(N, 0.2, 0.8), 0);
  expect_near(N, {1 / 0.64, 0, 4, 0, 0, 25}, 1e-10);

  // An invalid metric whose clamped eigenvalues are all positive is rebuilt
  // into a valid one; without a lower bound it cannot be.
  sym2 neg{1, 2, 1};  // eigenvalues -1 and 3
  EXPECT_EQ(bound_metric(neg, 0.1, 10), 0);
  EXPECT_TRUE(is_valid_metric(neg));
  neg = sym2{1, 2, 1};
  EXPECT_EQ(bound_metric(neg, 0.1, DBL_MAX), -1);
  EXPECT_EQ(neg[1], 2.0);
  // Overflowing 2-D eigenvalues give no eigenvectors: rebuilt into zeros.
  sym2 huge{1e308, 0, 1e308};
  EXPECT_EQ(bound_metric(huge, 1, 2), -1);
  expect_same(huge, sym2{0, 0, 0}, 3);
}

TEST(MetricConversions, IsoAnisoAndFrames) {
  sym3 M3;
  metric_iso_to_aniso(0.5, M3);
  expect_same(M3, sym3{4, 0, 4, 0, 0, 4}, 6);
  EXPECT_DOUBLE_EQ(metric_aniso_to_iso(sym2{0.25, 0, 1}, 2), 3);  // t not limited
  EXPECT_EQ(metric_aniso_to_iso(sym2{1, 2, 1}, 0.5), 0.0);
  EXPECT_NEAR(metric_aniso_to_iso(sym3{1, 0, 0.25, 0, 0, 1.0 / 16}, 1), 4, kTight);
  // A frame of two orthogonal vectors of lengths 1 and 2: (y, 2z).
  const matrix_fixed<double, 3, 2> P{{0, 1, 0, 0, 0, 2}};
  sym2 M;
  metric_aniso3d_to_aniso2d(sym3{1, 2, 3, 4, 5, 6}, P, M);  // (00, 01, 11, 02, 12, 22)
  expect_same(M, sym2{3, 10, 24}, 3);                       // A11, 2 A12, 4 A22
  metric_iso_to_aniso2d(2, P, M);
  expect_same(M, sym2{0.25, 0, 1}, 3);
}

}  // namespace
