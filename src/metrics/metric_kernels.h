// Single-metric kernels shared by the metric operations of this subsystem:
// closed-form 2x2 eigenvalues, 3x3 validity through dspev, and the
// simultaneous reduction of two metrics with its rebuild.
#pragma once

#include <cmath>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Closed-form eigenvalues of the 2x2 metric (a, b, c) = (M00, M01, M11),
// l1 <= l2, with the cancellation repair (a value below 1e-12 times the other
// is recomputed as det / other). True when both are finite.
bool eigenvalues_2x2(const symmetric_fixed<double, 2>& M, double& l1, double& l2);

// Smallest eigenvalue of a 3x3 metric by dspev 'N' on a copy; 0 when the
// decomposition fails (so a failure reads as "not positive definite").
double smallest_eigenvalue_3x3(const symmetric_fixed<double, 3>& M);

// Simultaneous reduction of (M1, M2): M1 = Q diag(d1) Q^T and
// M2 = Q diag(d2) Q^T with Q = P^-T, P the unit generalized eigenvectors of
// M2 x = mu M1 x. On failure every member is zero and the result is false.
template <int N>
struct metric_reduction {
  matrix_fixed<double, N, N> Q;
  vector_fixed<double, N> d1;
  vector_fixed<double, N> d2;
};

bool reduce_simultaneously(const symmetric_fixed<double, 2>& M1,
                           const symmetric_fixed<double, 2>& M2, metric_reduction<2>& r);
bool reduce_simultaneously(const symmetric_fixed<double, 3>& M1,
                           const symmetric_fixed<double, 3>& M2, metric_reduction<3>& r);

// M = Q diag(d) Q^T.
void rebuild_metric(const matrix_fixed<double, 2, 2>& Q, const vector_fixed<double, 2>& d,
                    symmetric_fixed<double, 2>& M);
void rebuild_metric(const matrix_fixed<double, 3, 3>& Q, const vector_fixed<double, 3>& d,
                    symmetric_fixed<double, 3>& M);

// Eigenvalue bounds for the sizes [hmin, hmax]: lmax = 1 / hmin^2 (DBL_MAX
// when hmin is not > 0) and lmin = 1 / hmax^2 (0 when hmax is not > 0).
void eigenvalue_bounds(double hmin, double hmax, double& lmin, double& lmax);

// True when (hmin, hmax) bounds nothing: hmin <= 0 or NaN, and hmax is
// DBL_MAX or NaN.
bool nothing_to_bound(double hmin, double hmax);

// Check of the sizes of the bounding operations, which take them as their
// second and third arguments: -2 when hmin is not finite, -3 when hmax is
// not, 0 otherwise.
inline int size_bounds_code(double hmin, double hmax) noexcept {
  if (!std::isfinite(hmin)) return -2;
  if (!std::isfinite(hmax)) return -3;
  return 0;
}

// Clamps every eigenvalue of M to [lmin, lmax] (lmax winning when
// lmin > lmax) and rebuilds M. False, with M unchanged, when no eigenvalue
// changed or the clamped values are not in (0, DBL_MAX); otherwise M is
// rebuilt and the result tells whether the new M is a valid metric.
bool bound_eigenvalues(symmetric_fixed<double, 2>& M, double lmin, double lmax);
bool bound_eigenvalues(symmetric_fixed<double, 3>& M, double lmin, double lmax);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
