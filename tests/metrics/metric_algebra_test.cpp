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

// Ratio of the extreme eigenvalues of a valid metric: the generalised
// problem loses about this many ulps in its residual.
template <int N>
double condition(const symmetric_fixed<double, N>& A) {
  vector_fixed<double, N> l;
  eigen_values(A, l);
  return l[N - 1] / l[0];
}

// u^T M u for a packed metric.
template <int N>
double form(const symmetric_fixed<double, N>& M, const double* u) {
  double s = 0;
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) s += u[i] * M(i, j) * u[j];
  return s;
}

TEST(MetricValidity, PositiveDefinitenessDecides) {
  EXPECT_TRUE(is_valid_metric(sym2{1, 0, 1}));
  EXPECT_FALSE(is_valid_metric(sym2{1, 2, 1}));  // eigenvalues -1 and 3
  EXPECT_FALSE(is_valid_metric(sym2{0, 0, 0}));
  EXPECT_FALSE(is_valid_metric(sym2{1, 0, 0}));  // semi-definite
  EXPECT_FALSE(is_valid_metric(sym2{kNaN, 0, 1}));
  EXPECT_FALSE(is_valid_metric(sym2{1, kNaN, 1}));
  EXPECT_FALSE(is_valid_metric(sym2{-1, 0, -1}));

  EXPECT_TRUE(is_valid_metric(sym3{1, 0, 1, 0, 0, 1}));
  EXPECT_TRUE(is_valid_metric(sym3{2, 1, 2, 0, 1, 2}));  // eigenvalues 2 - sqrt 2, 2, 2 + sqrt 2
  EXPECT_FALSE(is_valid_metric(sym3{1, 0, 1, 0, 0, -1}));
  EXPECT_FALSE(is_valid_metric(sym3{1, 2, 1, 0, 0, 1}));
  EXPECT_FALSE(is_valid_metric(sym3{0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(is_valid_metric(sym3{1, 0, 1, 0, 0, kNaN}));
}

TEST(MetricEigenValues, ClosedForm2DIsAscendingAndRepairsCancellation) {
  vec2 l;
  eigen_values(sym2{4, 0, 1}, l);
  EXPECT_EQ(l[0], 1.0);
  EXPECT_EQ(l[1], 4.0);
  eigen_values(sym2{2, 1, 2}, l);
  EXPECT_DOUBLE_EQ(l[0], 1.0);
  EXPECT_DOUBLE_EQ(l[1], 3.0);

  // Without the repair 1 + 1e-20 - 1 leaves 0 and the metric would look
  // singular; the determinant gives the small eigenvalue back.
  double l1, l2;
  EXPECT_TRUE(detail::eigenvalues_2x2(sym2{1, 0, 1e-20}, l1, l2));
  EXPECT_EQ(l1, 1e-20);
  EXPECT_EQ(l2, 1.0);
  EXPECT_TRUE(is_valid_metric(sym2{1e-20, 0, 1}));
  // The repair of the larger eigenvalue serves negative definite matrices.
  EXPECT_TRUE(detail::eigenvalues_2x2(sym2{-1, 0, -1e-20}, l1, l2));
  EXPECT_EQ(l1, -1.0);
  EXPECT_EQ(l2, -1e-20);
  // The discriminant squares b before the factor 4: with b = 2^-538, b^2
  // underflows to 0 and so does 4 b^2 (the product 4 b * b would not).
  const double tiny = std::ldexp(1.0, -538);
  EXPECT_TRUE(detail::eigenvalues_2x2(sym2{0, tiny, 0}, l1, l2));
  EXPECT_EQ(l1, 0.0);
  EXPECT_EQ(l2, 0.0);
  // Non-finite entries are reported.
  EXPECT_FALSE(detail::eigenvalues_2x2(sym2{kInf, 0, 1}, l1, l2));
  EXPECT_FALSE(detail::eigenvalues_2x2(sym2{1, kNaN, 1}, l1, l2));

  vec3 l3;
  eigen_values(sym3{3, 0, 1, 0, 0, 2}, l3);
  EXPECT_NEAR(l3[0], 1, kTight);
  EXPECT_NEAR(l3[1], 2, kTight);
  EXPECT_NEAR(l3[2], 3, kTight);
  EXPECT_NEAR(detail::smallest_eigenvalue_3x3(sym3{2, 1, 2, 0, 1, 2}), 2 - std::sqrt(2.0), kTight);
}

TEST(MetricEigenPairs, ReconstructOrthonormalRightHanded) {
  vec2 l;
  mat2 V;
  // Multiples of the identity give the identity frame.
  for (double s : {1.0, 1e-8, 3e5}) {
    ASSERT_TRUE(eigen_pairs(sym2{s, 0, s}, l, V));
    EXPECT_EQ(V(0, 0), 1.0);
    EXPECT_EQ(V(1, 0), 0.0);
    EXPECT_EQ(V(0, 1), -0.0);
    EXPECT_EQ(V(1, 1), 1.0);
  }
  // The zero matrix as well.
  ASSERT_TRUE(eigen_pairs(sym2{0, 0, 0}, l, V));
  EXPECT_EQ(V(0, 0), 1.0);

  std::mt19937 gen(7);
  for (int t = 0; t < 200; ++t) {
    const sym2 M = any_metric<2>(gen);
    ASSERT_TRUE(eigen_pairs(M, l, V));
    expect_decomposition(M, l, V);
  }
  // Indefinite and diagonal matrices in either order.
  for (const sym2& M : {sym2{1, 2, 1}, sym2{4, 0, 1}, sym2{1, 0, 4}, sym2{-3, 1, 5}}) {
    ASSERT_TRUE(eigen_pairs(M, l, V));
    expect_decomposition(M, l, V);
  }
  // Non-finite: false, eigenvalues written anyway.
  EXPECT_FALSE(eigen_pairs(sym2{kInf, 0, 1}, l, V));
  EXPECT_FALSE(std::isfinite(l[0]) && std::isfinite(l[1]));

  vec3 l3;
  mat3 V3;
  for (int t = 0; t < 200; ++t) {
    const sym3 M = any_metric<3>(gen);
    ASSERT_TRUE(eigen_pairs(M, l3, V3));
    expect_decomposition(M, l3, V3);
  }
  for (const sym3& M : {sym3{1, 2, 1, 0, 0, 1}, sym3{5, 0, 5, 0, 0, 5}, sym3{3, 0, 1, 0, 0, 2}}) {
    ASSERT_TRUE(eigen_pairs(M, l3, V3));
    expect_decomposition(M, l3, V3);
  }
}

// B x = l A x for random pairs: ascending values, unit vectors, and a
// residual within what the conditioning of A allows.
template <int N>
void check_generalised(std::mt19937& gen) {
  for (int t = 0; t < 200; ++t) {
    const symmetric_fixed<double, N> A = any_metric<N>(gen), B = any_metric<N>(gen);
    vector_fixed<double, N> l;
    matrix_fixed<double, N, N> X;
    ASSERT_TRUE(eigen_pairs(A, B, l, X));
    for (int k = 1; k < N; ++k) EXPECT_LE(l[k - 1], l[k]);
    for (int k = 0; k < N; ++k) {
      double n2 = 0;
      for (int i = 0; i < N; ++i) n2 += X(i, k) * X(i, k);
      EXPECT_NEAR(n2, 1.0, kTight);
      const double scale = (max_abs(B) + std::fabs(l[k]) * max_abs(A)) * condition(A);
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

TEST(MetricEigenPairs, GeneralisedSolvesBxEqualsLambdaAx) {
  std::mt19937 gen(11);
  check_generalised<2>(gen);
  check_generalised<3>(gen);
  // With A = I the generalised problem is the ordinary one.
  vec3 l;
  mat3 X;
  ASSERT_TRUE(eigen_pairs(sym3{1, 0, 1, 0, 0, 1}, sym3{3, 0, 1, 0, 0, 2}, l, X));
  EXPECT_NEAR(l[0], 1, kTight);
  EXPECT_NEAR(l[2], 3, kTight);
  EXPECT_NEAR(std::fabs(X(1, 0)), 1, kTight);
  EXPECT_NEAR(std::fabs(X(0, 2)), 1, kTight);
}

TEST(MetricEigenPairs, GeneralisedFailsOnIndefiniteA) {
  vec2 l{{7, 7}};
  mat2 X{{7, 7, 7, 7}};
  EXPECT_FALSE(eigen_pairs(sym2{0, 0, 1}, sym2{1, 0, 1}, l, X));  // A00 = 0
  EXPECT_FALSE(eigen_pairs(sym2{1, 2, 1}, sym2{1, 0, 1}, l, X));  // det < 0
  EXPECT_FALSE(eigen_pairs(sym2{1, 1, 1}, sym2{1, 0, 1}, l, X));  // det = 0
  EXPECT_FALSE(eigen_pairs(sym2{kNaN, 0, 1}, sym2{1, 0, 1}, l, X));
  EXPECT_EQ(l[0], 0.0);
  EXPECT_EQ(X(1, 1), 0.0);

  vec3 l3;
  mat3 X3;
  const sym3 I{1, 0, 1, 0, 0, 1};
  EXPECT_FALSE(eigen_pairs(sym3{0, 0, 1, 0, 0, 1}, I, l3, X3));   // row 0 zero
  EXPECT_FALSE(eigen_pairs(sym3{1, 0, 0, 0, 0, 1}, I, l3, X3));   // row 1 zero
  EXPECT_FALSE(eigen_pairs(sym3{1, 0, 1, 0, 0, 0}, I, l3, X3));   // singular
  EXPECT_FALSE(eigen_pairs(sym3{1, 0, 1, 0, 0, -1}, I, l3, X3));  // indefinite
  EXPECT_FALSE(eigen_pairs(sym3{1, 2, 1, 0, 0, 1}, I, l3, X3));
  for (double x : X3.v) EXPECT_EQ(x, 0.0);
}

// Both metrics rebuild from the one basis of their simultaneous reduction.
template <int N>
void check_reduction(std::mt19937& gen) {
  for (int t = 0; t < 100; ++t) {
    const symmetric_fixed<double, N> A = any_metric<N>(gen), B = any_metric<N>(gen);
    detail::metric_reduction<N> r;
    ASSERT_TRUE(detail::reduce_simultaneously(A, B, r));
    symmetric_fixed<double, N> A2, B2;
    detail::rebuild_metric(r.Q, r.d1, A2);
    detail::rebuild_metric(r.Q, r.d2, B2);
    for (int k = 0; k < A.size(); ++k) {
      EXPECT_NEAR(A2[k], A[k], 1e-10 * max_abs(A));
      EXPECT_NEAR(B2[k], B[k], 1e-10 * max_abs(B));
    }
  }
}

TEST(MetricReduction, BothMetricsRebuildFromOneBasis) {
  std::mt19937 gen(3);
  check_reduction<2>(gen);
  check_reduction<3>(gen);
  detail::metric_reduction<3> r;
  r.d1[0] = r.d2[0] = r.Q[0] = 5;
  EXPECT_FALSE(detail::reduce_simultaneously(sym3{1, 2, 1, 0, 0, 1}, sym3{1, 0, 1, 0, 0, 1}, r));
  EXPECT_EQ(r.d1[0], 0.0);
  EXPECT_EQ(r.d2[0], 0.0);
  EXPECT_EQ(r.Q[0], 0.0);
}

// Directions on the unit circle / sphere, for containment checks.
template <int N>
std::vector<std::array<double, 3>> directions(std::mt19937& gen, int count) {
  std::normal_distribution<double> g;
  std::vector<std::array<double, 3>> out;
  for (int i = 0; i < count; ++i) {
    std::array<double, 3> u{g(gen), g(gen), N == 3 ? g(gen) : 0.0};
    const double n = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& x : u) x /= n;
    out.push_back(u);
  }
  return out;
}

template <int N>
void check_intersection_and_union(std::mt19937& gen) {
  for (int t = 0; t < 100; ++t) {
    const symmetric_fixed<double, N> A = any_metric<N>(gen), B = any_metric<N>(gen);
    symmetric_fixed<double, N> lo, hi;
    ASSERT_TRUE(minimum_metric(A, B, lo));
    ASSERT_TRUE(maximum_metric(A, B, hi));
    EXPECT_TRUE(is_valid_metric(lo));
    EXPECT_TRUE(is_valid_metric(hi));
    // The intersection's unit ball lies inside both unit balls (it is longer
    // in every metric-length sense), the union's outside both.
    for (const auto& u : directions<N>(gen, 50)) {
      const double a = form(A, u.data()), b = form(B, u.data());
      const double top = std::fmax(a, b), bottom = std::fmin(a, b);
      EXPECT_GE(form(lo, u.data()), top * (1 - 1e-9));
      EXPECT_LE(form(hi, u.data()), bottom * (1 + 1e-9));
    }
    // Symmetric in its arguments.
    symmetric_fixed<double, N> lo2;
    ASSERT_TRUE(minimum_metric(B, A, lo2));
    for (int k = 0; k < lo.size(); ++k) EXPECT_NEAR(lo2[k], lo[k], 1e-9 * max_abs(lo));
  }
}

TEST(MetricIntersection, ContainedInBothUnitBalls) {
  std::mt19937 gen(5);
  check_intersection_and_union<2>(gen);
  check_intersection_and_union<3>(gen);

  // Known case: sizes (1, 4) and (4, 1) meet in sizes (1, 1) and join in (4, 4).
  sym2 R;
  ASSERT_TRUE(minimum_metric(sym2{1, 0, 1.0 / 16}, sym2{1.0 / 16, 0, 1}, R));
  EXPECT_NEAR(R[0], 1, kTight);
  EXPECT_NEAR(R[1], 0, kTight);
  EXPECT_NEAR(R[2], 1, kTight);
  ASSERT_TRUE(maximum_metric(sym2{1, 0, 1.0 / 16}, sym2{1.0 / 16, 0, 1}, R));
  EXPECT_NEAR(R[0], 1.0 / 16, kTight);
  EXPECT_NEAR(R[2], 1.0 / 16, kTight);
}

TEST(MetricIntersection, CopiesAnInputWhenItWinsEverywhereAndAllowsAliasing) {
  const sym2 M{2, 0.5, 1};
  const sym2 M2x{4, 1, 2};
  sym2 R{9, 9, 9};
  ASSERT_TRUE(minimum_metric(M, M2x, R));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(R[k], M2x[k]);  // copied bit for bit
  ASSERT_TRUE(maximum_metric(M, M2x, R));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(R[k], M[k]);
  ASSERT_TRUE(minimum_metric(M2x, M, R));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(R[k], M2x[k]);

  const sym3 N{2, 0.5, 1, 0.1, 0.2, 3};
  const sym3 N2x{4, 1, 2, 0.2, 0.4, 6};
  sym3 R3 = N;
  ASSERT_TRUE(minimum_metric(R3, N2x, R3));  // R is M1
  for (int k = 0; k < 6; ++k) EXPECT_EQ(R3[k], N2x[k]);
  R3 = N2x;
  ASSERT_TRUE(maximum_metric(N, R3, R3));  // R is M2
  for (int k = 0; k < 6; ++k) EXPECT_EQ(R3[k], N[k]);

  // Aliasing with a genuinely combined result gives the same as without.
  const sym2 A{1, 0, 1.0 / 16}, B{1.0 / 16, 0, 1};
  sym2 expected, aliased = A;
  ASSERT_TRUE(minimum_metric(A, B, expected));
  ASSERT_TRUE(minimum_metric(aliased, B, aliased));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(aliased[k], expected[k]);
}

TEST(MetricIntersection, FailureAndVanishingSizes) {
  // M1 not positive definite: R = M1, false.
  const sym2 bad{1, 2, 1};
  sym2 R{0, 0, 0};
  EXPECT_FALSE(minimum_metric(bad, sym2{1, 0, 1}, R));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(R[k], bad[k]);
  sym3 R3{};
  const sym3 bad3{1, 0, 1, 0, 0, -1};
  EXPECT_FALSE(maximum_metric(bad3, sym3{1, 0, 1, 0, 0, 1}, R3));
  for (int k = 0; k < 6; ++k) EXPECT_EQ(R3[k], bad3[k]);

  // A combined value beyond DBL_MAX: true, R = the input holding it.
  const sym2 A{1e-100, 0, 1e-100}, B{1e-101, 0, 1e300};
  R = sym2{9, 9, 9};
  EXPECT_TRUE(minimum_metric(A, B, R));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(R[k], B[k]);
}

TEST(MetricBound, SizesAreClampedAndCodesComeInOrder) {
  sym2 M{1, 0, 1};
  EXPECT_EQ(bound_metric(M, 0.5, 2), -1);  // nothing changes
  EXPECT_EQ(M[0], 1.0);
  EXPECT_EQ(bound_metric(M, 2, 4), 0);
  EXPECT_NEAR(M[0], 0.25, kTight);
  EXPECT_NEAR(M[1], 0.0, kTight);
  EXPECT_NEAR(M[2], 0.25, kTight);
  M = sym2{1, 0, 1};
  EXPECT_EQ(bound_metric(M, 0, DBL_MAX), 0);
  EXPECT_EQ(bound_metric(M, -1, kNaN), 0);
  EXPECT_EQ(bound_metric(M, kNaN, DBL_MAX), 0);
  EXPECT_EQ(bound_metric(M, kInf, 4), -2);
  EXPECT_EQ(bound_metric(M, kInf, kInf), -2);
  EXPECT_EQ(bound_metric(M, kNaN, 4), -2);
  EXPECT_EQ(bound_metric(M, 0, kInf), -3);
  EXPECT_EQ(bound_metric(M, 1, kNaN), -3);
  EXPECT_EQ(M[0], 1.0);
  // hmin > hmax: hmax wins.
  EXPECT_EQ(bound_metric(M, 4, 2), 0);
  EXPECT_NEAR(M[0], 0.25, kTight);
  // hmax = 0 with hmin > 0: the eigenvalue bound 1/hmin^2 applies.
  M = sym2{1, 0, 1};
  EXPECT_EQ(bound_metric(M, 2, 0), 0);
  EXPECT_NEAR(M[2], 0.25, kTight);

  // An anisotropic metric keeps its directions: sizes 10 and 1 along the
  // diagonals become 5 and 2.
  const double c = std::sqrt(0.5);
  const double big = 1.0 / 100, small = 1.0;
  sym2 R{big * c * c + small * c * c, big * c * c - small * c * c, big * c * c + small * c * c};
  EXPECT_EQ(bound_metric(R, 2, 5), 0);
  vec2 l;
  mat2 V;
  ASSERT_TRUE(eigen_pairs(R, l, V));
  EXPECT_NEAR(l[0], 1.0 / 25, kTight);
  EXPECT_NEAR(l[1], 1.0 / 4, kTight);
  EXPECT_NEAR(std::fabs(V(0, 0)), c, 1e-9);
  EXPECT_NEAR(V(0, 0) * V(1, 0), 0.5, 1e-9);  // along (1, 1)

  sym3 N{1, 0, 4, 0, 0, 100};  // sizes 1, 0.5, 0.1
  EXPECT_EQ(bound_metric(N, 0.2, 0.8), 0);
  vec3 l3;
  eigen_values(N, l3);
  EXPECT_NEAR(l3[0], 1 / 0.64, 1e-10);
  EXPECT_NEAR(l3[1], 4, 1e-10);
  EXPECT_NEAR(l3[2], 25, 1e-10);
  EXPECT_NEAR(N[4], 0, 1e-12);
  sym3 I3{1, 0, 1, 0, 0, 1};
  EXPECT_EQ(bound_metric(I3, 0.5, 2), -1);
  EXPECT_EQ(bound_metric(I3, kInf, 2), -2);

  // An invalid metric whose clamped eigenvalues are all positive is rebuilt
  // into a valid one; a metric with a negative eigenvalue and no lower
  // bound cannot be.
  sym2 neg{1, 2, 1};  // eigenvalues -1 and 3
  EXPECT_EQ(bound_metric(neg, 0.1, 10), 0);
  EXPECT_TRUE(is_valid_metric(neg));
  neg = sym2{1, 2, 1};
  EXPECT_EQ(bound_metric(neg, 0.1, DBL_MAX), -1);  // raised to 0: not positive
  EXPECT_EQ(neg[1], 2.0);

  // 2-D eigenvalues that overflow (a + c = +inf) give no eigenvectors, as a
  // failed 3-D decomposition gives zero ones: the changed sizes are rebuilt
  // on zero vectors into the zero matrix, which is not valid.
  sym2 huge{1e308, 0, 1e308};
  EXPECT_EQ(bound_metric(huge, 1, 2), -1);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(huge[k], 0.0) << k;
}

TEST(MetricConversions, IsoAnisoAndFrames) {
  sym2 M;
  metric_iso_to_aniso(2, M);
  EXPECT_EQ(M[0], 0.25);
  EXPECT_EQ(M[1], 0.0);
  EXPECT_EQ(M[2], 0.25);
  metric_iso_to_aniso(0, M);
  EXPECT_EQ(M[0], 0.0);
  metric_iso_to_aniso(-3, M);
  EXPECT_EQ(M[2], 0.0);
  sym3 M3;
  metric_iso_to_aniso(0.5, M3);
  EXPECT_EQ(M3[0], 4.0);
  EXPECT_EQ(M3[2], 4.0);
  EXPECT_EQ(M3[5], 4.0);
  EXPECT_EQ(M3[1] + M3[3] + M3[4], 0.0);

  EXPECT_DOUBLE_EQ(metric_aniso_to_iso(sym2{0.25, 0, 1}, 0), 1);
  EXPECT_DOUBLE_EQ(metric_aniso_to_iso(sym2{0.25, 0, 1}, 0.5), 1.5);
  EXPECT_DOUBLE_EQ(metric_aniso_to_iso(sym2{0.25, 0, 1}, 1), 2);
  EXPECT_DOUBLE_EQ(metric_aniso_to_iso(sym2{0.25, 0, 1}, 2), 3);  // t not limited
  EXPECT_EQ(metric_aniso_to_iso(sym2{1, 2, 1}, 0.5), 0.0);
  EXPECT_EQ(metric_aniso_to_iso(sym2{kNaN, 0, 1}, 0.5), 0.0);
  EXPECT_NEAR(metric_aniso_to_iso(sym3{1, 0, 0.25, 0, 0, 1.0 / 16}, 0), 1, kTight);
  EXPECT_NEAR(metric_aniso_to_iso(sym3{1, 0, 0.25, 0, 0, 1.0 / 16}, 1), 4, kTight);
  EXPECT_EQ(metric_aniso_to_iso(sym3{1, 0, 1, 0, 0, -1}, 1), 0.0);

  // A frame of two orthogonal vectors of lengths 1 and 2.
  const matrix_fixed<double, 3, 2> P{{0, 1, 0, 0, 0, 2}};
  metric_iso_to_aniso2d(2, P, M);
  EXPECT_EQ(M[0], 0.25);
  EXPECT_EQ(M[1], 0.0);
  EXPECT_EQ(M[2], 1.0);
  metric_iso_to_aniso2d(0, P, M);
  EXPECT_EQ(M[2], 0.0);

  // Projection keeps the block of the frame's axes: frame (y, 2z).
  const sym3 A{1, 2, 3, 4, 5, 6};  // (00, 01, 11, 02, 12, 22)
  metric_aniso3d_to_aniso2d(A, P, M);
  EXPECT_EQ(M[0], 3.0);   // y.A.y = A11
  EXPECT_EQ(M[1], 10.0);  // y.A.(2z) = 2 A12
  EXPECT_EQ(M[2], 24.0);  // 4 A22
  // Consistency: the isotropic 3-D metric projected equals the 2-D one.
  sym3 iso;
  metric_iso_to_aniso(3, iso);
  const matrix_fixed<double, 3, 2> Q{{0.3, -0.4, 1.2, 0.7, 0.1, -0.5}};
  sym2 a, b;
  metric_aniso3d_to_aniso2d(iso, Q, a);
  metric_iso_to_aniso2d(3, Q, b);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], b[k], 1e-15);
}

}  // namespace
