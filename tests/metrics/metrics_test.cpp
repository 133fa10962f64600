// Single metrics and whole metric fields. Decompositions, intersection and
// union are checked as properties on random metrics over six decades of
// sizes; worked values pin validity, the cancellation repair, bounding and
// the conversions; every field column is treated like the single metric it
// holds, with one table of cases per family of overloads.

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include "support/compare.h"
#include "support/random_metrics.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using sym2 = symmetric_fixed<double, 2>;
using sym3 = symmetric_fixed<double, 3>;
using vec2 = vector_fixed<double, 2>;
using mat2 = matrix_fixed<double, 2, 2>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

template <class A, class B>
void expect_same(const A& a, const B& b, double tol = 0) {
  for (int k = 0; k < int(sizeof(b.v) / sizeof(double)); ++k) EXPECT_NEAR(a[k], b[k], tol) << k;
}

template <int N>
double max_abs(const symmetric_fixed<double, N>& M) {
  double m = 0;
  for (double x : M.v) m = std::fmax(m, std::fabs(x));
  return m;
}

// u^T M u.
template <int N>
double form(const symmetric_fixed<double, N>& M, const double* u) {
  double s = 0;
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) s += u[i] * M(i, j) * u[j];
  return s;
}

// M = V diag(l) V^T with l ascending and V orthonormal of determinant +1.
template <int N>
void expect_decomposition(const symmetric_fixed<double, N>& M) {
  vector_fixed<double, N> l;
  matrix_fixed<double, N, N> V;
  ASSERT_TRUE(eigen_pairs(M, l, V));
  for (int k = 1; k < N; ++k) EXPECT_LE(l[k - 1], l[k]);
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) {
      double r = 0, g = 0;
      for (int k = 0; k < N; ++k) r += V(i, k) * l[k] * V(j, k), g += V(k, i) * V(k, j);
      EXPECT_NEAR(r, M(i, j), 1e-12 * max_abs(M)) << i << "," << j;
      EXPECT_NEAR(g, i == j, 1e-12) << i << "," << j;
    }
  const double det = N == 2 ? V(0, 0) * V(1, 1) - V(0, 1) * V(1, 0)
                            : V(0, 0) * (V(1, 1) * V(2, 2) - V(2, 1) * V(1, 2)) -
                                  V(0, 1) * (V(1, 0) * V(2, 2) - V(2, 0) * V(1, 2)) +
                                  V(0, 2) * (V(1, 0) * V(2, 1) - V(2, 0) * V(1, 1));
  EXPECT_NEAR(det, 1.0, 1e-12);
}

// Random pairs A, B: both decompose; B x = l A x holds for unit x within
// what the conditioning of A allows; the intersection's unit ball lies
// inside both unit balls and the union's outside both, along random
// directions.
template <int N>
void check_random_pairs(std::mt19937& gen) {
  std::normal_distribution<double> g;
  for (int t = 0; t < 100; ++t) {
    const symmetric_fixed<double, N> A = random_metric<N>(gen, 1e-3, 1e3),
                                     B = random_metric<N>(gen, 1e-3, 1e3);
    expect_decomposition(A);
    vector_fixed<double, N> l, la;
    matrix_fixed<double, N, N> X;
    ASSERT_TRUE(eigen_pairs(A, B, l, X));
    eigen_values(A, la);
    for (int k = 0; k < N; ++k) {
      EXPECT_LE(l[k > 0 ? k - 1 : 0], l[k]);
      double n2 = 0;
      for (int i = 0; i < N; ++i) n2 += X(i, k) * X(i, k);
      EXPECT_NEAR(n2, 1.0, 1e-12);
      const double scale = (max_abs(B) + std::fabs(l[k]) * max_abs(A)) * la[N - 1] / la[0];
      for (int i = 0; i < N; ++i) {
        double Bx = 0, Ax = 0;
        for (int j = 0; j < N; ++j) Bx += B(i, j) * X(j, k), Ax += A(i, j) * X(j, k);
        EXPECT_NEAR(Bx, l[k] * Ax, 1e-12 * scale);
      }
    }
    symmetric_fixed<double, N> lo, hi;
    ASSERT_TRUE(minimum_metric(A, B, lo));
    ASSERT_TRUE(maximum_metric(A, B, hi));
    for (int d = 0; d < 20; ++d) {
      const std::array<double, 3> u{g(gen), g(gen), g(gen)};
      const double a = form(A, u.data()), b = form(B, u.data());
      EXPECT_GE(form(lo, u.data()), std::fmax(a, b) * (1 - 1e-9));
      EXPECT_LE(form(hi, u.data()), std::fmin(a, b) * (1 + 1e-9));
    }
  }
}

TEST(MetricAlgebra, RandomPairsValidityCancellationAndIntersection) {
  std::mt19937 gen(5);
  check_random_pairs<2>(gen);
  check_random_pairs<3>(gen);
  // A repeated eigenvalue: multiples of the identity give the identity frame.
  vec2 l;
  mat2 V;
  ASSERT_TRUE(eigen_pairs(sym2{3e5, 0, 3e5}, l, V));
  expect_same(V, mat2{{1, 0, 0, 1}});
  EXPECT_FALSE(eigen_pairs(sym2{1, 1, 1}, sym2{1, 0, 1}, l, V));  // det A = 0: zero vectors
  expect_same(V, mat2{{0, 0, 0, 0}});
  EXPECT_FALSE(is_valid_metric(sym2{1, 0, 0}));
  EXPECT_TRUE(is_valid_metric(sym3{2, 1, 2, 0, 1, 2}));  // 2 - sqrt 2, 2, 2 + sqrt 2
  EXPECT_FALSE(is_valid_metric(sym3{1, 0, 1, 0, 0, kNaN}));
  // Without the repair 1 + 1e-20 - 1 leaves 0 (and 1 + 1e-14 - 1 a rounded
  // 1e-14); the determinant gives it back, for the larger eigenvalue too.
  // b^2 underflows to 0 before the factor 4 (4 b * b would not).
  const std::pair<sym2, vec2> cases[] = {{sym2{1, 0, 1e-20}, vec2{1e-20, 1}},
                                         {sym2{1, 0, 1e-14}, vec2{1e-14, 1}},
                                         {sym2{-1, 0, -1e-20}, vec2{-1, -1e-20}},
                                         {sym2{0, std::ldexp(1.0, -538), 0}, vec2{0, 0}}};
  for (const auto& [M, want] : cases) {
    eigen_values(M, l);
    expect_same(l, want);
  }
  // Sizes (1, 4) and (4, 1) meet in (1, 1), also with the output aliasing
  // an input; a winner is copied bit for bit.
  sym2 R{1, 0, 1.0 / 16};
  ASSERT_TRUE(minimum_metric(R, sym2{1.0 / 16, 0, 1}, R));
  expect_same(R, sym2{1, 0, 1}, 1e-12);
  const sym2 M{2, 0.5, 1}, M2x{4, 1, 2};
  ASSERT_TRUE(minimum_metric(M, M2x, R));
  expect_same(R, M2x);
  sym3 R3;
  // M1 not positive definite: R = M1, false.
  const sym3 bad3{1, 0, 1, 0, 0, -1};
  EXPECT_FALSE(maximum_metric(bad3, sym3{1, 0, 1, 0, 0, 1}, R3));
  expect_same(R3, bad3);
}

TEST(MetricAlgebra, BoundingAndSizeOfAMetric) {
  sym2 M{1, 0, 1};
  // row 0: nothing changes
  EXPECT_CODES({bound_metric(M, 0.5, 2), -1}, {bound_metric(M, 0, DBL_MAX), 0},
               {bound_metric(M, kNaN, 4), -2}, {bound_metric(M, 0, kInf), -3});
  expect_same(M, sym2{1, 0, 1});
  EXPECT_EQ(bound_metric(M, 2, 0), 0);  // hmax = 0: only the bound 1/hmin^2
  expect_same(M, sym2{0.25, 0, 0.25}, 1e-12);
  // Sizes 10 and 1 along the diagonals become 5 and 2, directions kept.
  const double big = 0.5 / 100, small = 0.5;
  M = sym2{big + small, big - small, big + small};
  EXPECT_EQ(bound_metric(M, 2, 5), 0);
  expect_same(M, sym2{0.5 / 25 + 0.5 / 4, 0.5 / 25 - 0.5 / 4, 0.5 / 25 + 0.5 / 4}, 1e-12);
  // An invalid metric whose clamped eigenvalues are all positive is rebuilt
  // into a valid one; without a lower bound it cannot be. Overflowing 2-D
  // eigenvalues give no eigenvectors: rebuilt into zeros.
  sym2 neg{1, 2, 1}, neg2{1, 2, 1}, huge{1e308, 0, 1e308};
  EXPECT_EQ(bound_metric(neg, 0.1, 10), 0);
  EXPECT_TRUE(is_valid_metric(neg));
  EXPECT_EQ(bound_metric(neg2, 0.1, DBL_MAX), -1);
  expect_same(neg2, sym2{1, 2, 1});
  EXPECT_EQ(bound_metric(huge, 1, 2), -1);
  expect_same(huge, sym2{0, 0, 0});
  sym3 M3{1, 1, 1, 1, 1, 1};
  metric_iso_to_aniso(-1, M3);  // no size: zeros
  expect_same(M3, sym3{0, 0, 0, 0, 0, 0});
  const std::pair<double, double> sizes[] = {
      {metric_aniso_to_iso(sym2{0.25, 0, 1}, 2), 3},
      {metric_aniso_to_iso(sym2{1, 2, 1}, 0.5), 0},  // t is not limited; invalid gives 0
      {metric_aniso_to_iso(sym3{1, 0, 0.25, 0, 0, 1.0 / 16}, 1), 4}};
  for (const auto& [got, want] : sizes) EXPECT_NEAR(got, want, 1e-12);
}

using sizes = dense1D<double, 8>;
using list = dense1D<unsigned, 8>;
using ints = std::vector<unsigned>;

// Field whose columns are the given packed metrics (or sizes as they stand).
template <class Sym>
dense2D<double> field(std::initializer_list<Sym> columns) {
  dense2D<double> M(Sym::packed_size, columns.size());
  std::size_t j = 0;
  for (const Sym& S : columns) std::copy(S.v, S.v + Sym::packed_size, M.column(j++));
  return M;
}

// Each column is bounded exactly as bound_metric would, and listed when its
// code is 0.
template <int N>
void check_columns_like_single_metrics(std::mt19937& gen) {
  dense2D<double> M(N == 2 ? 3 : 6, 200), want(M.rows(), M.cols());
  ints listed;
  for (unsigned j = 0; j < 200; ++j) {
    auto S = random_metric<N>(gen, 1e-4, 1e4);
    if (j % 7 == 0) S.v[0] = -S.v[0];  // some invalid ones
    std::copy(S.v, S.v + S.size(), M.column(j));
    if (bound_metric(S, 0.3, 3) == 0) listed.push_back(j);
    std::copy(S.v, S.v + S.size(), want.column(j));
  }
  list changed;
  EXPECT_EQ(bound_metrics(M, 0.3, 3, changed), int(listed.size()));
  EXPECT_SAME(M, want);
  EXPECT_EQ(entries(changed), listed);
}

TEST(BoundMetrics, ColumnsLikeSingleMetricsSizesClampedAndCodes) {
  std::mt19937 gen(1);
  check_columns_like_single_metrics<2>(gen);
  check_columns_like_single_metrics<3>(gen);
  sizes H{0.1, 1, kNaN, 10}, H2{0.1, 10}, H3{-1, 1};
  list changed{42, 43}, emptied{1};
  EXPECT_EQ(bound_metrics(H, 0.5, 5, changed), 3);
  EXPECT_EQ(entries(changed), (ints{0, 2, 3}));
  EXPECT_EQ(entries(H), (std::vector<double>{0.5, 1, 0.5, 5}));
  EXPECT_EQ(bound_metrics(H2, 4, 2), 2);  // hmin > hmax: a small size becomes hmin
  EXPECT_EQ(entries(H2), (std::vector<double>{4, 2}));
  dense2D<double> M4(4, 2, 1.0), M = field({sym2{1, 0, 1}});
  // row 0: nothing to bound; row 2: hmin = 0 with an upper bound raises -1 to 0; row 3: nothing
  // to bound comes first; row 4: rows before finiteness; row 6: unchanged columns are not counted
  EXPECT_CODES({bound_metrics(H3, 0, DBL_MAX, emptied), 0}, {bound_metrics(H3, kInf, 1), -2},
               {bound_metrics(H3, 0, 0.5), 2}, {bound_metrics(M4, 0, DBL_MAX), 0},
               {bound_metrics(M4, kInf, 2), -1}, {bound_metrics(M, 1, kNaN), -3},
               {bound_metrics(M, 0.5, 2), 0},
               {bound_metrics(M, 4, 2), 1});  // the anisotropic form lets hmax win
  EXPECT_TRUE(emptied.empty());
  EXPECT_EQ(H3[0], 0.0);
  EXPECT_NEAR(M(0, 0), 0.25, 1e-15);
}

TEST(OverwriteInvalidMetrics, EveryOverload) {
  const sym2 good{1, 0, 2}, bad{1, 2, 1}, zero{0, 0, 0};
  sizes H{-1, 2, 0, kNaN, -3}, H0{3, -1, 0.5, 2};
  dense2D<double> M = field({good, bad, bad, zero}), MH = field({good, bad, bad, zero}),
                  MS = field({good, bad, zero}), M5(5, 1);
  const dense2D<double> M0 = field({bad, good, zero});
  // row 0: H0[2] not > 0, H[4] has none; row 1: NaN counts as valid here; row 2: M0's column 2 is
  // invalid too, column 3 beyond it
  EXPECT_CODES(
      {overwrite_invalid_metrics(H, sizes{5, 6, -1, 8}), 1}, {overwrite_invalid_metrics(H, 0.5), 2},
      {overwrite_invalid_metrics(M, M0), 1}, {overwrite_invalid_metrics(MH, H0), 2},
      {overwrite_invalid_metrics(MS, sym2{4, 0, 4}), 2}, {overwrite_invalid_metrics(MS, bad), -2},
      {overwrite_invalid_metrics(MS, sym3{1, 0, 1, 0, 0, 1}), -1},
      {overwrite_invalid_metrics(M5, H0), -1});
  EXPECT_SAME(H, (sizes{5, 2, 0.5, kNaN, 0.5}));
  EXPECT_SAME(M, field({good, good, bad, zero}));
  EXPECT_SAME(MH, field({good, bad, sym2{4, 0, 4}, sym2{0.25, 0, 0.25}}));
  EXPECT_SAME(MS, field({good, sym2{4, 0, 4}, sym2{4, 0, 4}}));
}

TEST(MetricValidityScans, PositionsOfTheFirstInvalidAndValidColumns) {
  const sizes H{1, 2, DBL_MAX, 3};
  const dense2D<double> M = field({sym2{1, 0, 2}, sym2{1, 2, 1}, sym2{1, 0, 2}, sym2{1, 0, 2}});
  const dense2D<double> M4(4, 2, 1.0);
  // row 1: a position in the list; row 5: a field of another height
  EXPECT_CODES({first_invalid_metric(H), 2}, {first_invalid_metric(list{0, 7}, sizes{1, 2, 3}), 1},
               {first_invalid_metric(M), 1}, {first_invalid_metric(list{3, 0, 1}, M), 2},
               {first_invalid_metric(M4), 0}, {are_valid_metrics(H), false},
               {are_valid_metrics(list{3, 2}, M), true}, {are_valid_metrics(list{}, M4), true});
  list valid{99}, other;
  valid_metrics(M, valid);
  valid_metrics(M, valid);
  EXPECT_EQ(entries(valid), (ints{99, 0, 2, 3, 0, 2, 3}));  // appends
  valid_metrics(field({sym3{1, 0, 1, 0, 0, -1}, sym3{3, 1, 3, 1, 1, 3}}), other);
  EXPECT_EQ(entries(other), (ints{1}));
}

TEST(MetricFieldConversions, SizesToMatricesAndThroughFrames) {
  // Node 0: frame (x, y); node 1: frame (2z, x + y); node 2: size 0 or 0.5.
  const dense2D<double> frames{{1, 0, 0, 0, 1, 0}, {0, 0, 2, 1, 1, 0}, {1, 2, 3, 4, 5, 6}};
  dense2D<double> M(3, 3, 7.0), M3(6, 2, 7.0), F(3, 4, 7.0), small(3, 2), B(3, 1);
  const dense2D<double> A = field({sym3{1, 2, 3, 4, 5, 6}}), yz{{0, 1, 0, 0, 0, 1}};
  // row 5: frames cols != sizes
  EXPECT_CODES(
      {metrics_iso_to_aniso2d(sizes{2, 0}, M), 0},
      {metrics_iso_to_aniso2d(sizes{1, 1, 1, 1}, M), -2},
      {metrics_iso_to_aniso3d(sizes{0.5, -1}, M3), 0}, {metrics_iso_to_aniso3d(sizes{1}, M), -2},
      {metrics_iso_to_aniso2d(sizes{2, 1, 0}, frames, F), 0},
      {metrics_iso_to_aniso2d(sizes{2, 1}, frames, F), -2},
      {metrics_iso_to_aniso2d(sizes{2, 1, 0}, frames, small), -3},
      {metrics_aniso3d_to_aniso2d(A, yz, B), 0}, {metrics_aniso3d_to_aniso2d(B, yz, B), -1},
      {metrics_aniso3d_to_aniso2d(A, frames, B), -2}, {metrics_aniso3d_to_aniso2d(A, yz, M3), -3});
  // Size 0 or negative, or beyond the sizes: the column is left as it was.
  EXPECT_SAME(M, field({sym2{0.25, 0, 0.25}, sym2{7, 7, 7}, sym2{7, 7, 7}}));
  EXPECT_SAME(M3, field({sym3{4, 0, 4, 0, 0, 4}, sym3{7, 7, 7, 7, 7, 7}}));
  // Through frames a size 0 gives zeros.
  EXPECT_SAME(F, field({sym2{0.25, 0, 0.25}, sym2{4, 0, 2}, sym2{0, 0, 0}, sym2{7, 7, 7}}));
  EXPECT_SAME(B, field({sym2{3, 5, 6}}));  // the frame picks its block
}

}  // namespace
}  // namespace quernfold_test
