// The two kinds of size map that gradation control corrects, behind one
// interface: isotropic sizes (one double per node) and anisotropic packed
// metrics (symmetric_fixed<double, N> per node). Each gives the lengths of
// an edge in two metrics, the size along a unit direction, the path from one
// metric to another as a function of a step t in [0, 1], the direction
// clamps and the test that a new metric really differs from the old one.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "common/edge_kernels.h"
#include "metrics/metric_kernels.h"
#include "quernfold/metrics.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Steps closer than this to 0 or 1 take the end metric itself.
constexpr double kStepSnap = 1e-12;
// A metric counts as changed only when some size changed by more than this
// ratio.
constexpr double kChangeRatio = 1.000000000001;
// 1/s^2 overflows below this size and underflows above the next one.
constexpr double kSmallestSize = 1.4916681462400413e-154;
constexpr double kLargestSize = 1.3407807929942596e154;

inline bool snaps_to_start(double t) { return std::fabs(t) < kStepSnap; }
inline bool snaps_to_end(double t) { return std::fabs(1 - t) < kStepSnap; }

// Sizes interpolated linearly from ha (t = 0) to hb (t = 1).
class iso_path {
 public:
  iso_path(double ha, double hb) : ha_(ha), hb_(hb) {}

  // False when the sizes cannot be interpolated (one is not positive).
  bool at(double t, double& h) const {
    if (snaps_to_start(t)) return h = ha_, true;
    if (snaps_to_end(t)) return h = hb_, true;
    if (!(ha_ > 0 && hb_ > 0)) return false;
    h = ha_ + t * (hb_ - ha_);
    return true;
  }

 private:
  double ha_, hb_;
};

// Metrics interpolated from Ma (t = 0) to Mb (t = 1) through the sizes of
// their simultaneous reduction: in each common direction k the size goes
// linearly from s1_k to s2_k. The reduction is made once, on the first step
// strictly inside (0, 1).
template <int N>
class aniso_path {
 public:
  using metric = symmetric_fixed<double, N>;

  aniso_path(const metric& Ma, const metric& Mb) : Ma_(Ma), Mb_(Mb) {}

  // False when the reduction fails or gives a size outside (0, DBL_MAX).
  bool at(double t, metric& M) {
    if (snaps_to_start(t)) return M = Ma_, true;
    if (snaps_to_end(t)) return M = Mb_, true;
    if (!reduced()) return false;
    vector_fixed<double, N> eig;
    for (int k = 0; k < N; ++k) eig[k] = inverse_square(s1_[k] + t * (s2_[k] - s1_[k]));
    rebuild_metric(red_.Q, eig, M);
    return true;
  }

 private:
  enum class state { pending, ready, failed };

  static bool finite_positive(double d) { return d > 0 && d < DBL_MAX; }

  static double inverse_square(double s) {
    if (s < kSmallestSize) return DBL_MAX;
    if (s > kLargestSize) return 0.0;
    return 1 / (s * s);
  }

  bool reduced() {
    if (state_ == state::pending) {
      state_ = state::failed;
      if (!reduce_simultaneously(Ma_, Mb_, red_)) return false;
      for (int k = 0; k < N; ++k)
        if (!finite_positive(red_.d1[k]) || !finite_positive(red_.d2[k])) return false;
      for (int k = 0; k < N; ++k) {
        s1_[k] = 1 / std::sqrt(red_.d1[k]);
        s2_[k] = 1 / std::sqrt(red_.d2[k]);
      }
      state_ = state::ready;
    }
    return state_ == state::ready;
  }

  metric Ma_, Mb_;
  state state_ = state::pending;
  metric_reduction<N> red_{};
  vector_fixed<double, N> s1_{}, s2_{};
};

// One size per node; edges measured as |e| / h.
class iso_field {
 public:
  using metric = double;
  using path = iso_path;

  iso_field(dense1D<double>& H, int dim) : H_(H), dim_(dim) {}

  int dim() const { return dim_; }
  double get(unsigned v) const { return H_[v]; }
  void set(unsigned v, double h) { H_[v] = h; }

  void lengths(double ha, double hb, const double* e, double& la, double& lb) const {
    const double n = std::sqrt(squared_norm(e, dim_));
    la = n / ha;
    lb = n / hb;
  }
  double size_along(double h, const double*) const { return h; }

  static bool equal(double x, double y) { return x == y; }
  static void keep_larger(double ha, double& h) { h = std::max(h, ha); }
  static void keep_smaller(double ha, double& h) { h = std::min(h, ha); }
  static bool changed(double old_h, double new_h) {
    return std::max(old_h, new_h) / std::min(old_h, new_h) > kChangeRatio;
  }

 private:
  dense1D<double>& H_;
  int dim_;
};

// One packed N x N metric per column of M; edges measured as sqrt(e^T M e).
template <int N>
class aniso_field {
 public:
  using metric = symmetric_fixed<double, N>;
  using path = aniso_path<N>;
  static constexpr int kPacked = metric::packed_size;

  explicit aniso_field(dense2D<double>& M) : M_(M) {}

  int dim() const { return N; }
  metric get(unsigned v) const {
    metric m;
    const double* c = M_.column(v);
    for (int k = 0; k < kPacked; ++k) m[k] = c[k];
    return m;
  }
  void set(unsigned v, const metric& m) {
    double* c = M_.column(v);
    for (int k = 0; k < kPacked; ++k) c[k] = m[k];
  }

  void lengths(const metric& ma, const metric& mb, const double* e, double& la, double& lb) const {
    la = std::sqrt(metric_length_sq(ma.data(), e, N));
    lb = std::sqrt(metric_length_sq(mb.data(), e, N));
  }
  double size_along(const metric& m, const double* u) const {
    return 1 / std::sqrt(metric_length_sq(m.data(), u, N));
  }

  static bool equal(const metric& x, const metric& y) {
    return same_entries(x.data(), y.data(), kPacked);
  }
  static void keep_larger(const metric& ma, metric& m) { maximum_metric(ma, m, m); }
  static void keep_smaller(const metric& ma, metric& m) { minimum_metric(ma, m, m); }
  // Compares the diagonal entries: their largest ratio is a squared size
  // ratio.
  static bool changed(const metric& old_m, const metric& new_m) {
    double largest = 0;
    for (int i = 0; i < N; ++i) {
      const double o = old_m(i, i), n = new_m(i, i);
      const double ratio = std::max(o, n) / std::min(o, n);
      if (ratio > largest) largest = ratio;
    }
    return std::sqrt(largest) > kChangeRatio;
  }

 private:
  dense2D<double>& M_;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
