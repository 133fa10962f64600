// Edge measures in a size map, shared by the edge-quality operations and by
// gradation control: the normalized length of an edge whose size varies
// linearly from one end to the other, the size shock derived from it, and
// the length of an edge vector in a packed metric.
#pragma once

#include <cfloat>
#include <cmath>

namespace ovk {
namespace quernfold {
namespace detail {

// Below this relative size difference the logarithmic mean is taken from its
// series, which avoids the 0/0 of r / ln(1 + r) at r = 0.
constexpr double kLogMeanSeriesLimit = 0.1;
// 19/45, the fourth-order coefficient of the series of r / ln(1 + r) in r/2.
constexpr double kLogMeanFourthOrder = 0.42222222222222217;
// Normalized lengths below this count as a zero-length edge for shocks.
constexpr double kShortestNormalizedLength = 1e-12;
// exp(x) is reported as the largest double from this exponent on.
constexpr double kLargestExponent = 700.0;

// Normalized length L / H of an edge of length L whose size varies linearly
// from h0 to h1: H is the logarithmic mean of h0 and h1. 0 when H is not
// positive (zero, negative or NaN sizes).
inline double normalized_length(double L, double h0, double h1) noexcept {
  const double hmin = h0 < h1 ? h0 : h1;
  const double hmax = h0 < h1 ? h1 : h0;
  const double r = (hmax - hmin) / hmin;
  double g;
  if (r < kLogMeanSeriesLimit) {
    const double t = r / 2;
    g = 1 + t * (1 - t * (1.0 / 3 - t * (1.0 / 3 - kLogMeanFourthOrder * t)));
  } else {
    g = r / std::log(1 + r);
  }
  const double H = hmin * g;
  return H > 0 ? L / H : 0.0;
}

// Normalized length of an edge from its lengths la and lb measured in the
// metrics of its two ends (kernel applied to la * lb with sizes la and lb).
inline double normalized_length_of_lengths(double la, double lb) noexcept {
  return normalized_length(la * lb, la, lb);
}

// Size shock of an edge whose lengths la and lb in the metrics of its ends
// have already passed the caller's test of being measurable: (lmax /
// lmin)^(1 / Ln) - 1, the relative growth of the size per unit of normalized
// length Ln. An edge too short to measure (Ln < 1e-12) has shock 0 when its
// two metrics are equal and the largest double otherwise. Lengths of
// opposite signs (only sizes of opposite signs give them) have no
// logarithm: the shock is then NaN, which raises no maximum.
inline double shock_of_lengths(double la, double lb, double Ln, bool equal_metrics) noexcept {
  if (Ln >= kShortestNormalizedLength) {
    if (Ln >= DBL_MAX) return 0.0;
    const double ratio = la < lb ? lb / la : la / lb;
    const double x = std::log(ratio) / Ln;
    return x >= kLargestExponent ? DBL_MAX : std::exp(x) - 1;
  }
  return equal_metrics ? 0.0 : DBL_MAX;
}

// Size shock of an edge from its lengths la and lb in the metrics of its
// ends (each the square root of a quadratic form, so never negative): a
// length not > 0 makes the edge too short to measure.
inline double size_shock(double la, double lb, double Ln, bool equal_metrics) noexcept {
  if (la > 0 && lb > 0) return shock_of_lengths(la, lb, Ln, equal_metrics);
  return equal_metrics ? 0.0 : DBL_MAX;
}

// Size shock of an edge of Euclidean length L between sizes ha and hb: the
// lengths are L / ha and L / hb, measurable when their squares are positive
// (so signed sizes reach the kernel), and Ln is the kernel of (L, ha, hb).
inline double size_shock_of_sizes(double L, double ha, double hb) noexcept {
  const double la = L / ha, lb = L / hb;
  if (la * la > 0 && lb * lb > 0)
    return shock_of_lengths(la, lb, normalized_length(L, ha, hb), ha == hb);
  return ha == hb ? 0.0 : DBL_MAX;
}

// Squared length of the vector e in the packed metric m:
// 2-D m = (m11, m12, m22), 3-D m = (m11, m12, m22, m13, m23, m33).
inline double metric_length_sq(const double* m, const double* e, int dim) noexcept {
  const double dx = e[0], dy = e[1];
  if (dim == 2) return m[0] * (dx * dx) + 2 * m[1] * dx * dy + m[2] * (dy * dy);
  const double dz = e[2];
  return m[0] * (dx * dx) + 2 * m[1] * dx * dy + m[2] * (dy * dy) + 2 * m[3] * dx * dz +
         2 * m[4] * dy * dz + m[5] * (dz * dz);
}

// Euclidean squared length of a vector of `dim` coordinates.
inline double squared_norm(const double* e, int dim) noexcept {
  double s = 0;
  for (int k = 0; k < dim; ++k) s += e[k] * e[k];
  return s;
}

// e = P_b - P_a for columns a and b of a coordinates matrix.
inline void edge_vector(const double* pa, const double* pb, int dim, double* e) noexcept {
  for (int k = 0; k < dim; ++k) e[k] = pb[k] - pa[k];
}

// True when the `count` packed entries of two metrics are equal one by one.
inline bool same_entries(const double* m0, const double* m1, int count) noexcept {
  for (int k = 0; k < count; ++k)
    if (!(m0[k] == m1[k])) return false;
  return true;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
