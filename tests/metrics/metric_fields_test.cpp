#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "quernfold/metrics.h"

namespace {

using namespace ovk::quernfold;
using sym2 = symmetric_fixed<double, 2>;
using sym3 = symmetric_fixed<double, 3>;
using sizes = dense1D<double, 8>;
using list = dense1D<unsigned, 8>;
using ints = std::vector<unsigned>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

ints entries(const list& L) { return ints(L.begin(), L.end()); }

// Field whose columns are the given packed metrics.
template <class Sym>
dense2D<double> field(std::initializer_list<Sym> columns) {
  dense2D<double> M(Sym::packed_size, columns.size());
  std::size_t j = 0;
  for (const Sym& S : columns) {
    for (int k = 0; k < Sym::packed_size; ++k) M(k, j) = S[k];
    ++j;
  }
  return M;
}

template <int N>
symmetric_fixed<double, N> column(const dense2D<double>& M, std::size_t j) {
  symmetric_fixed<double, N> S;
  for (int k = 0; k < S.size(); ++k) S[k] = M(k, j);
  return S;
}

// Column j of M against the expected packed entries, exactly.
void expect_column(const dense2D<double>& M, std::size_t j, std::initializer_list<double> want) {
  std::size_t k = 0;
  for (double w : want) EXPECT_EQ(M(k++, j), w) << k << "," << j;
}

template <class A>
void expect_entries(const A& a, std::initializer_list<double> want) {
  std::size_t k = 0;
  for (double w : want) EXPECT_EQ(a[k++], w) << k;
}

TEST(BoundMetrics, SizesAreClampedAndListed) {
  sizes H{0.1, 1, kNaN, 10};
  list changed{42, 43};
  EXPECT_EQ(bound_metrics(H, 0.5, 5, changed), 3);
  EXPECT_EQ(entries(changed), (ints{0, 2, 3}));
  expect_entries(H, {0.5, 1, 0.5, 5});
  // hmin > hmax: a small size becomes hmin, a large one hmax.
  H = sizes{0.1, 10};
  EXPECT_EQ(bound_metrics(H, 4, 2), 2);
  expect_entries(H, {4, 2});

  // Codes in order; the list is emptied before any of them.
  H = sizes{-1, 1};
  changed = list{1};
  EXPECT_EQ(bound_metrics(H, 0, DBL_MAX, changed), 0);  // nothing to bound
  EXPECT_TRUE(changed.empty());
  EXPECT_EQ(bound_metrics(H, kInf, 1), -2);
  EXPECT_EQ(bound_metrics(H, 1, kInf), -3);
  // With hmin = 0 and an upper bound a negative size is raised to 0.
  EXPECT_EQ(bound_metrics(H, 0, 0.5), 2);
  EXPECT_EQ(H[0], 0.0);
}

// Each column is bounded exactly as bound_metric would, and listed when
// its code is 0; afterwards every size lies in [0.3, 3] up to rounding.
template <int N>
void check_columns_like_single_metrics(std::mt19937& gen) {
  std::uniform_real_distribution<double> u(-0.3, 0.3), s(0.01, 100);
  dense2D<double> M(N == 2 ? 3 : 6, 200), original;
  for (std::size_t j = 0; j < 200; ++j) {
    const double a = s(gen), b = s(gen), c = s(gen);
    const sym3 S{
        a, u(gen) * std::sqrt(a * b), b, u(gen) * std::sqrt(a * c), u(gen) * std::sqrt(b * c), c};
    for (std::size_t k = 0; k < M.rows(); ++k) M(k, j) = S[k];
  }
  ASSERT_TRUE(original.copy(M));
  list changed;
  const int count = bound_metrics(M, 0.3, 3, changed);
  ASSERT_EQ(count, static_cast<int>(changed.size()));
  EXPECT_GT(count, 0);
  std::size_t next = 0;
  for (std::size_t j = 0; j < M.cols(); ++j) {
    symmetric_fixed<double, N> S = column<N>(original, j);
    const int code = bound_metric(S, 0.3, 3);
    for (int k = 0; k < S.size(); ++k) EXPECT_EQ(S[k], M(k, j)) << j;
    const bool listed = next < changed.size() && changed[next] == j;
    EXPECT_EQ(listed, code == 0) << j;
    next += listed;
    vector_fixed<double, N> l;
    eigen_values(column<N>(M, j), l);
    EXPECT_GE(l[0], (1 / 9.0) * (1 - 1e-12)) << j;
    EXPECT_LE(l[N - 1], (1 / 0.09) * (1 + 1e-12)) << j;
  }
  EXPECT_EQ(next, changed.size());
}

TEST(BoundMetrics, ColumnsAreBoundedLikeSingleMetrics) {
  std::mt19937 gen(1);
  check_columns_like_single_metrics<2>(gen);
  check_columns_like_single_metrics<3>(gen);

  dense2D<double> M4(4, 2, 1.0);
  list changed{9};
  EXPECT_EQ(bound_metrics(M4, 1, 2, changed), -1);
  EXPECT_TRUE(changed.empty());
  EXPECT_EQ(bound_metrics(M4, 0, DBL_MAX), 0);  // nothing to bound comes first
  EXPECT_EQ(bound_metrics(M4, kInf, 2), -1);    // rows before finiteness
  dense2D<double> M = field({sym2{1, 0, 1}});
  EXPECT_EQ(bound_metrics(M, kInf, 2), -2);
  EXPECT_EQ(bound_metrics(M, 1, kNaN), -3);
  EXPECT_EQ(bound_metrics(M, 0.5, 2), 0);  // unchanged columns are not counted
  // The anisotropic form lets hmax win when hmin > hmax.
  EXPECT_EQ(bound_metrics(M, 4, 2), 1);
  EXPECT_NEAR(M(0, 0), 0.25, 1e-15);
}

TEST(OverwriteInvalidMetrics, SizeAndFieldForms) {
  sizes H{-1, 2, 0, kNaN, -3};
  EXPECT_EQ(overwrite_invalid_metrics(H, sizes{5, 6, -1, 8}), 1);  // H0[2] not > 0, H[4] has none
  EXPECT_EQ(H[0], 5.0);
  EXPECT_EQ(H[2], 0.0);
  EXPECT_TRUE(std::isnan(H[3]));  // NaN counts as valid here
  EXPECT_EQ(overwrite_invalid_metrics(H, 0.5), 2);
  EXPECT_EQ(overwrite_invalid_metrics(H, 0.0), -2);

  const sym2 good{1, 0, 2}, bad{1, 2, 1}, zero{0, 0, 0};
  dense2D<double> M = field({good, bad, bad, zero});
  const dense2D<double> M0 = field({bad, good, zero});
  EXPECT_EQ(overwrite_invalid_metrics(M, M0), 1);
  expect_column(M, 1, {1, 0, 2});
  EXPECT_EQ(M(1, 2), 2.0);  // M0's column is invalid too
  EXPECT_EQ(M(0, 3), 0.0);  // beyond M0

  const sizes H0{3, -1, 0.5, 2};
  M = field({good, bad, bad, zero});
  EXPECT_EQ(overwrite_invalid_metrics(M, H0), 2);
  expect_column(M, 1, {1, 2, 1});
  expect_column(M, 2, {4, 0, 4});
  EXPECT_EQ(M(2, 3), 0.25);

  M = field({good, bad, zero});
  EXPECT_EQ(overwrite_invalid_metrics(M, sym2{4, 0, 4}), 2);
  expect_column(M, 1, {4, 0, 4});
  EXPECT_EQ(overwrite_invalid_metrics(M, bad), -2);
  EXPECT_EQ(overwrite_invalid_metrics(M, sym3{1, 0, 1, 0, 0, 1}), -1);
  dense2D<double> M3 = field({sym3{1, 0, 1, 0, 0, -1}}), M5(5, 1), none(3, 0), rows_only(0, 2);
  EXPECT_EQ(overwrite_invalid_metrics(none, M0), 0);
  EXPECT_EQ(overwrite_invalid_metrics(M5, H0), -1);
  EXPECT_EQ(overwrite_invalid_metrics(M3, M0), -2);           // 6 rows against 3
  EXPECT_EQ(overwrite_invalid_metrics(rows_only, good), -1);  // columns but wrong rows
}

TEST(MetricValidityScans, FirstInvalidAreValidAndValidMetrics) {
  const sizes H{1, 2, DBL_MAX, 3};
  EXPECT_EQ(first_invalid_metric(H), 2u);
  EXPECT_FALSE(are_valid_metrics(H));
  EXPECT_EQ(first_invalid_metric(sizes{1, 2}), 2u);
  EXPECT_TRUE(are_valid_metrics(sizes{}));
  // Through a node list: the answer is a position in the list.
  EXPECT_EQ(first_invalid_metric(list{0, 7}, sizes{1, 2, 3}), 1u);
  EXPECT_EQ(first_invalid_metric(list{1, 2}, H), 1u);

  const sym2 good{1, 0, 2}, bad{1, 2, 1};
  const dense2D<double> M = field({good, bad, good, good});
  EXPECT_EQ(first_invalid_metric(M), 1u);
  EXPECT_EQ(first_invalid_metric(list{3, 0, 1}, M), 2u);
  EXPECT_TRUE(are_valid_metrics(list{3, 2}, M));
  // A field of another height: position 0.
  const dense2D<double> M4(4, 2, 1.0);
  EXPECT_EQ(first_invalid_metric(M4), 0u);
  EXPECT_TRUE(are_valid_metrics(list{}, M4));

  list valid{99};
  valid_metrics(M, valid);
  valid_metrics(M, valid);
  EXPECT_EQ(entries(valid), (ints{99, 0, 2, 3, 0, 2, 3}));  // appends
  list other;
  valid_metrics(M4, other);
  EXPECT_TRUE(other.empty());
  valid_metrics(field({sym3{1, 0, 1, 0, 0, -1}, sym3{3, 1, 3, 1, 1, 3}}), other);
  EXPECT_EQ(entries(other), (ints{1}));
}

TEST(MetricFieldConversions, SizesToMatricesAndThroughFrames) {
  dense2D<double> M(3, 3, 7.0);
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{2, 0}, M), 0);
  expect_column(M, 0, {0.25, 0, 0.25});
  EXPECT_EQ(M(0, 1), 7.0);  // size 0 leaves the column
  EXPECT_EQ(M(0, 2), 7.0);  // beyond the sizes
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{1, 1, 1, 1}, M), -2);
  dense2D<double> M3(6, 2, 7.0);
  EXPECT_EQ(metrics_iso_to_aniso3d(sizes{0.5, -1}, M3), 0);
  expect_column(M3, 0, {4, 0, 4, 0, 0, 4});
  EXPECT_EQ(M3(0, 1), 7.0);  // negative size leaves the column
  EXPECT_EQ(metrics_iso_to_aniso3d(sizes{1}, M), -2);

  // Node 0: frame (x, y); node 1: frame (2z, x + y); node 2: size 0.
  const dense2D<double> frames{{1, 0, 0, 0, 1, 0}, {0, 0, 2, 1, 1, 0}, {1, 2, 3, 4, 5, 6}};
  dense2D<double> F(3, 4, 7.0);
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{2, 1, 0}, frames, F), 0);
  expect_column(F, 0, {0.25, 0, 0.25});
  expect_column(F, 1, {4, 0, 2});
  expect_column(F, 2, {0, 0, 0});  // size 0: zeros
  EXPECT_EQ(F(0, 3), 7.0);
  dense2D<double> small(3, 2), none;
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{2, 1}, frames, F), -2);  // frames cols != sizes
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{2, 1, 0}, frames, small), -3);

  // The isotropic 3-D metric seen through the frames gives the same.
  dense2D<double> F3(6, 3), M2(3, 3), direct(3, 3);
  ASSERT_EQ(metrics_iso_to_aniso3d(sizes{2, 1, 0.5}, F3), 0);
  ASSERT_EQ(metrics_aniso3d_to_aniso2d(F3, frames, M2), 0);
  ASSERT_EQ(metrics_iso_to_aniso2d(sizes{2, 1, 0.5}, frames, direct), 0);
  for (std::size_t j = 0; j < 3; ++j)
    for (std::size_t k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(M2(k, j), direct(k, j));
  // An anisotropic one: the frame picks its block.
  const dense2D<double> A = field({sym3{1, 2, 3, 4, 5, 6}});
  const dense2D<double> yz{{0, 1, 0, 0, 0, 1}};
  dense2D<double> B(3, 1);
  ASSERT_EQ(metrics_aniso3d_to_aniso2d(A, yz, B), 0);
  expect_column(B, 0, {3, 5, 6});
  EXPECT_EQ(metrics_aniso3d_to_aniso2d(B, yz, B), -1);
  EXPECT_EQ(metrics_aniso3d_to_aniso2d(A, frames, B), -2);
  EXPECT_EQ(metrics_aniso3d_to_aniso2d(A, yz, F3), -3);
}

}  // namespace
