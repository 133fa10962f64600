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

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<unsigned> entries(const list& L) { return std::vector<unsigned>(L.begin(), L.end()); }

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

TEST(BoundMetrics, SizesAreClampedAndListed) {
  sizes H{0.1, 1, kNaN, 10};
  EXPECT_EQ(bound_metrics(H, 0.5, 5), 3);
  EXPECT_EQ(H[0], 0.5);
  EXPECT_EQ(H[1], 1.0);
  EXPECT_EQ(H[2], 0.5);
  EXPECT_EQ(H[3], 5.0);

  H = sizes{0.1, 1, kNaN, 10};
  list changed{42, 43};
  EXPECT_EQ(bound_metrics(H, 0.5, 5, changed), 3);
  EXPECT_EQ(entries(changed), (std::vector<unsigned>{0, 2, 3}));

  // hmin > hmax: a small size becomes hmin, a large one hmax.
  H = sizes{0.1, 10};
  EXPECT_EQ(bound_metrics(H, 4, 2), 2);
  EXPECT_EQ(H[0], 4.0);
  EXPECT_EQ(H[1], 2.0);

  // Codes in order; the list is emptied before any of them.
  sizes empty;
  changed = list{1};
  EXPECT_EQ(bound_metrics(empty, kInf, kInf, changed), 0);
  EXPECT_TRUE(changed.empty());
  H = sizes{-1, 1};
  changed = list{1};
  EXPECT_EQ(bound_metrics(H, 0, DBL_MAX, changed), 0);  // nothing to bound
  EXPECT_EQ(bound_metrics(H, kNaN, kNaN), 0);
  EXPECT_TRUE(changed.empty());
  EXPECT_EQ(H[0], -1.0);
  EXPECT_EQ(bound_metrics(H, kInf, 1), -2);
  EXPECT_EQ(bound_metrics(H, kNaN, 1), -2);
  EXPECT_EQ(bound_metrics(H, 1, kInf, changed), -3);
  EXPECT_TRUE(changed.empty());
  EXPECT_EQ(H[0], -1.0);
  // With hmin = 0 and an upper bound a negative size is raised to 0.
  EXPECT_EQ(bound_metrics(H, 0, 0.5), 2);
  EXPECT_EQ(H[0], 0.0);
  EXPECT_EQ(H[1], 0.5);
}

TEST(BoundMetrics, ColumnsAreBoundedLikeSingleMetrics) {
  std::mt19937 gen(1);
  std::uniform_real_distribution<double> u(-0.3, 0.3), s(0.01, 100);
  dense2D<double> M3(6, 200), M2(3, 200);
  for (std::size_t j = 0; j < 200; ++j) {
    const double a = s(gen), b = s(gen), c = s(gen);
    const sym3 S{
        a, u(gen) * std::sqrt(a * b), b, u(gen) * std::sqrt(a * c), u(gen) * std::sqrt(b * c), c};
    for (int k = 0; k < 6; ++k) M3(k, j) = S[k];
    for (int k = 0; k < 3; ++k) M2(k, j) = S[k];
  }
  for (dense2D<double>* M : {&M2, &M3}) {
    dense2D<double> original;
    ASSERT_TRUE(original.copy(*M));
    list changed;
    const int count = bound_metrics(*M, 0.3, 3, changed);
    ASSERT_EQ(count, static_cast<int>(changed.size()));
    EXPECT_GT(count, 0);
    std::size_t next = 0;
    for (std::size_t j = 0; j < M->cols(); ++j) {
      int expect_code;
      bool same = true;
      if (M->rows() == 3) {
        sym2 S = column<2>(original, j);
        expect_code = bound_metric(S, 0.3, 3);
        for (int k = 0; k < 3; ++k) same = same && S[k] == (*M)(k, j);
      } else {
        sym3 S = column<3>(original, j);
        expect_code = bound_metric(S, 0.3, 3);
        for (int k = 0; k < 6; ++k) same = same && S[k] == (*M)(k, j);
      }
      EXPECT_TRUE(same) << j;
      const bool listed = next < changed.size() && changed[next] == j;
      EXPECT_EQ(listed, expect_code == 0) << j;
      if (listed) ++next;
    }
    EXPECT_EQ(next, changed.size());
    // Every size now lies in [0.3, 3], up to rounding (so bounding again
    // may still touch the last bits).
    for (std::size_t j = 0; j < M->cols(); ++j) {
      double lo, hi;
      if (M->rows() == 3) {
        vector_fixed<double, 2> l;
        eigen_values(column<2>(*M, j), l);
        lo = l[0], hi = l[1];
      } else {
        vector_fixed<double, 3> l;
        eigen_values(column<3>(*M, j), l);
        lo = l[0], hi = l[2];
      }
      EXPECT_GE(lo, (1 / 9.0) * (1 - 1e-12)) << j;
      EXPECT_LE(hi, (1 / 0.09) * (1 + 1e-12)) << j;
    }
  }
}

TEST(BoundMetrics, FieldCodesAndTheirOrder) {
  dense2D<double> M4(4, 2, 1.0);
  list changed{9};
  EXPECT_EQ(bound_metrics(M4, 1, 2, changed), -1);
  EXPECT_TRUE(changed.empty());
  EXPECT_EQ(bound_metrics(M4, 0, DBL_MAX), 0);  // nothing to bound comes first
  EXPECT_EQ(bound_metrics(M4, kInf, 2), -1);    // rows before finiteness
  dense2D<double> M = field({sym2{1, 0, 1}});
  EXPECT_EQ(bound_metrics(M, kInf, 2), -2);
  EXPECT_EQ(bound_metrics(M, 1, kNaN), -3);
  EXPECT_EQ(bound_metrics(M, kNaN, kNaN), 0);
  dense2D<double> none(5, 0);
  EXPECT_EQ(bound_metrics(none, 1, 2), 0);

  // The anisotropic form lets hmax win when hmin > hmax; the isotropic one
  // lets hmin win.
  M = field({sym2{1, 0, 1}});
  EXPECT_EQ(bound_metrics(M, 4, 2), 1);
  EXPECT_NEAR(M(0, 0), 0.25, 1e-15);
  M = field({sym2{1, 0, 1}});
  EXPECT_EQ(bound_metrics(M, 0.5, 2), 0);  // unchanged columns are not counted
  EXPECT_EQ(M(0, 0), 1.0);
}

TEST(OverwriteInvalidMetrics, SizeForms) {
  sizes H{-1, 2, 0, kNaN, -3};
  const sizes H0{5, 6, -1, 8};
  EXPECT_EQ(overwrite_invalid_metrics(H, H0), 1);  // H0[2] is not > 0, H[4] has none
  EXPECT_EQ(H[0], 5.0);
  EXPECT_EQ(H[1], 2.0);
  EXPECT_EQ(H[2], 0.0);
  EXPECT_TRUE(std::isnan(H[3]));  // NaN counts as valid here
  EXPECT_EQ(H[4], -3.0);

  EXPECT_EQ(overwrite_invalid_metrics(H, 0.5), 2);
  EXPECT_EQ(H[2], 0.5);
  EXPECT_EQ(H[4], 0.5);
  EXPECT_TRUE(std::isnan(H[3]));
  EXPECT_EQ(overwrite_invalid_metrics(H, 0.0), -2);
  EXPECT_EQ(overwrite_invalid_metrics(H, kNaN), -2);
  sizes empty;
  EXPECT_EQ(overwrite_invalid_metrics(empty, 0.0), 0);
}

TEST(OverwriteInvalidMetrics, FieldForms) {
  const sym2 good{1, 0, 2}, bad{1, 2, 1}, zero{0, 0, 0};
  dense2D<double> M = field({good, bad, bad, zero});
  const dense2D<double> M0 = field({bad, good, zero});
  EXPECT_EQ(overwrite_invalid_metrics(M, M0), 1);
  EXPECT_EQ(M(0, 1), 1.0);
  EXPECT_EQ(M(1, 1), 0.0);
  EXPECT_EQ(M(1, 2), 2.0);  // M0's column is invalid too
  EXPECT_EQ(M(0, 3), 0.0);  // beyond M0

  const sizes H0{3, -1, 0.5, 2};
  M = field({good, bad, bad, zero});
  EXPECT_EQ(overwrite_invalid_metrics(M, H0), 2);
  EXPECT_EQ(M(1, 1), 2.0);
  EXPECT_EQ(M(0, 2), 4.0);
  EXPECT_EQ(M(1, 2), 0.0);
  EXPECT_EQ(M(2, 3), 0.25);
  dense2D<double> M3 = field({sym3{1, 0, 1, 0, 0, -1}});
  EXPECT_EQ(overwrite_invalid_metrics(M3, sizes{2}), 1);
  EXPECT_EQ(M3(5, 0), 0.25);
  EXPECT_EQ(M3(3, 0), 0.0);

  M = field({good, bad, zero});
  EXPECT_EQ(overwrite_invalid_metrics(M, sym2{4, 0, 4}), 2);
  EXPECT_EQ(M(0, 2), 4.0);
  EXPECT_EQ(M(2, 1), 4.0);
  EXPECT_EQ(M(2, 0), 2.0);
  EXPECT_EQ(overwrite_invalid_metrics(M, bad), -2);
  EXPECT_EQ(overwrite_invalid_metrics(M, sym3{1, 0, 1, 0, 0, 1}), -1);
  M3 = field({sym3{1, 0, 1, 0, 0, -1}, sym3{1, 0, 1, 0, 0, 1}});
  EXPECT_EQ(overwrite_invalid_metrics(M3, sym3{2, 0, 2, 0, 0, 2}), 1);
  EXPECT_EQ(M3(5, 0), 2.0);
  EXPECT_EQ(overwrite_invalid_metrics(M3, sym2{1, 0, 1}), -1);
  EXPECT_EQ(overwrite_invalid_metrics(M3, sym3{1, 0, 1, 0, 0, 0}), -2);

  // Codes.
  dense2D<double> M5(5, 1), none(3, 0);
  EXPECT_EQ(overwrite_invalid_metrics(none, M0), 0);
  EXPECT_EQ(overwrite_invalid_metrics(M5, M0), -1);
  EXPECT_EQ(overwrite_invalid_metrics(M5, H0), -1);
  EXPECT_EQ(overwrite_invalid_metrics(M3, M0), -2);  // 6 rows against 3
  EXPECT_EQ(overwrite_invalid_metrics(M, M5), -2);
  EXPECT_EQ(overwrite_invalid_metrics(none, bad), 0);
  dense2D<double> rows_only(0, 2);
  EXPECT_EQ(overwrite_invalid_metrics(rows_only, good), -1);  // columns but wrong rows
}

TEST(MetricValidityScans, FirstInvalidAndAreValid) {
  const sizes H{1, 2, DBL_MAX, 3};
  EXPECT_EQ(first_invalid_metric(H), 2u);
  EXPECT_FALSE(are_valid_metrics(H));
  EXPECT_EQ(first_invalid_metric(sizes{1, kNaN}), 1u);
  EXPECT_EQ(first_invalid_metric(sizes{1, kInf}), 1u);
  EXPECT_EQ(first_invalid_metric(sizes{0}), 0u);
  EXPECT_EQ(first_invalid_metric(sizes{1, 2}), 2u);
  EXPECT_TRUE(are_valid_metrics(sizes{1, 2}));
  EXPECT_TRUE(are_valid_metrics(sizes{}));

  // Through a node list: the answer is a position in the list.
  const sizes three{1, 2, 3};
  EXPECT_EQ(first_invalid_metric(list{0, 7}, three), 1u);
  EXPECT_EQ(first_invalid_metric(list{2, 0, 1}, three), 3u);
  EXPECT_TRUE(are_valid_metrics(list{2, 0, 1}, three));
  EXPECT_EQ(first_invalid_metric(list{1, 2}, H), 1u);
  EXPECT_FALSE(are_valid_metrics(list{1, 2}, H));
  EXPECT_TRUE(are_valid_metrics(list{}, H));

  const sym2 good{1, 0, 2}, bad{1, 2, 1};
  const dense2D<double> M = field({good, good, bad, good});
  EXPECT_EQ(first_invalid_metric(M), 2u);
  EXPECT_FALSE(are_valid_metrics(M));
  EXPECT_EQ(first_invalid_metric(list{3, 0, 2}, M), 2u);
  EXPECT_EQ(first_invalid_metric(list{3, 4}, M), 1u);
  EXPECT_TRUE(are_valid_metrics(list{3, 1}, M));
  EXPECT_TRUE(are_valid_metrics(field({good, good})));
  const dense2D<double> M3 = field({sym3{1, 0, 1, 0, 0, 1}, sym3{1, 0, 1, 0, 0, kNaN}});
  EXPECT_EQ(first_invalid_metric(M3), 1u);

  // A field of another height: position 0.
  const dense2D<double> M4(4, 2, 1.0), M4none(4, 0);
  EXPECT_EQ(first_invalid_metric(M4), 0u);
  EXPECT_FALSE(are_valid_metrics(M4));
  EXPECT_TRUE(are_valid_metrics(M4none));
  EXPECT_EQ(first_invalid_metric(list{1}, M4), 0u);
  EXPECT_FALSE(are_valid_metrics(list{1}, M4));
  EXPECT_TRUE(are_valid_metrics(list{}, M4));
}

TEST(MetricValidityScans, ValidMetricsAppends) {
  const sym2 good{1, 0, 2}, bad{1, 2, 1};
  const dense2D<double> M = field({good, bad, good, good});
  list valid{99};
  valid_metrics(M, valid);
  EXPECT_EQ(entries(valid), (std::vector<unsigned>{99, 0, 2, 3}));
  valid_metrics(M, valid);
  EXPECT_EQ(entries(valid), (std::vector<unsigned>{99, 0, 2, 3, 0, 2, 3}));
  list other;
  valid_metrics(dense2D<double>(4, 3, 1.0), other);
  EXPECT_TRUE(other.empty());
  valid_metrics(field({sym3{1, 0, 1, 0, 0, -1}, sym3{3, 1, 3, 1, 1, 3}}), other);
  EXPECT_EQ(entries(other), (std::vector<unsigned>{1}));
}

TEST(MetricFieldConversions, SizesToMatrices) {
  dense2D<double> M(3, 3, 7.0);
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{2, 0}, M), 0);
  EXPECT_EQ(M(0, 0), 0.25);
  EXPECT_EQ(M(1, 0), 0.0);
  EXPECT_EQ(M(2, 0), 0.25);
  EXPECT_EQ(M(0, 1), 7.0);  // size 0 leaves the column
  EXPECT_EQ(M(0, 2), 7.0);  // beyond the sizes
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{1, 1, 1, 1}, M), -2);
  dense2D<double> wrong(6, 3);
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{1}, wrong), -2);
  dense2D<double> none;
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{}, none), 0);
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{}, wrong), -2);

  dense2D<double> M3(6, 2, 7.0);
  EXPECT_EQ(metrics_iso_to_aniso3d(sizes{0.5, -1}, M3), 0);
  const double expect[6] = {4, 0, 4, 0, 0, 4};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(M3(k, 0), expect[k]);
  EXPECT_EQ(M3(0, 1), 7.0);
  EXPECT_EQ(metrics_iso_to_aniso3d(sizes{1}, M), -2);
}

TEST(MetricFieldConversions, ThroughFrames) {
  // Node 0: frame (x, y); node 1: frame (2z, x + y); node 2: any frame, size 0.
  const dense2D<double> frames{{1, 0, 0, 0, 1, 0}, {0, 0, 2, 1, 1, 0}, {1, 2, 3, 4, 5, 6}};
  dense2D<double> M(3, 4, 7.0);
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{2, 1, 0}, frames, M), 0);
  EXPECT_EQ(M(0, 0), 0.25);
  EXPECT_EQ(M(1, 0), 0.0);
  EXPECT_EQ(M(2, 0), 0.25);
  EXPECT_EQ(M(0, 1), 4.0);
  EXPECT_EQ(M(1, 1), 0.0);
  EXPECT_EQ(M(2, 1), 2.0);
  EXPECT_EQ(M(0, 2), 0.0);  // size 0: zeros
  EXPECT_EQ(M(2, 2), 0.0);
  EXPECT_EQ(M(0, 3), 7.0);
  dense2D<double> small(3, 2), none;
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{2, 1}, frames, M), -2);  // frames cols != sizes
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{2, 1, 0}, frames, small), -3);
  EXPECT_EQ(metrics_iso_to_aniso2d(sizes{}, none, none), 0);

  // The isotropic 3-D metric of a size seen through the frames gives the same.
  dense2D<double> M3(6, 3), M2(3, 3);
  ASSERT_EQ(metrics_iso_to_aniso3d(sizes{2, 1, 0.5}, M3), 0);
  ASSERT_EQ(metrics_aniso3d_to_aniso2d(M3, frames, M2), 0);
  dense2D<double> direct(3, 3);
  ASSERT_EQ(metrics_iso_to_aniso2d(sizes{2, 1, 0.5}, frames, direct), 0);
  for (std::size_t j = 0; j < 3; ++j)
    for (std::size_t k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(M2(k, j), direct(k, j));
  // An anisotropic one: the frame picks its block.
  const dense2D<double> A = field({sym3{1, 2, 3, 4, 5, 6}});
  const dense2D<double> yz{{0, 1, 0, 0, 0, 1}};
  dense2D<double> B(3, 1);
  ASSERT_EQ(metrics_aniso3d_to_aniso2d(A, yz, B), 0);
  EXPECT_EQ(B(0, 0), 3.0);
  EXPECT_EQ(B(1, 0), 5.0);
  EXPECT_EQ(B(2, 0), 6.0);
  // Codes.
  EXPECT_EQ(metrics_aniso3d_to_aniso2d(none, none, none), 0);
  EXPECT_EQ(metrics_aniso3d_to_aniso2d(B, yz, B), -1);
  EXPECT_EQ(metrics_aniso3d_to_aniso2d(A, frames, B), -2);
  EXPECT_EQ(metrics_aniso3d_to_aniso2d(A, yz, M3), -3);
  EXPECT_EQ(metrics_aniso3d_to_aniso2d(M3, frames, small), -3);
}

}  // namespace
