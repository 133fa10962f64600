// Algebra on single metrics: closed-form 2x2 and LAPACK 3x3 eigen
// decompositions, generalized problems, simultaneous reduction, intersection
// and union, bounding and conversions.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "metrics/metric_kernels.h"
#include "quernfold/metrics.h"

namespace ovk {
namespace quernfold {

namespace {

using sym2 = symmetric_fixed<double, 2>;
using sym3 = symmetric_fixed<double, 3>;
using mat2 = matrix_fixed<double, 2, 2>;
using mat3 = matrix_fixed<double, 3, 3>;
using vec2 = vector_fixed<double, 2>;
using vec3 = vector_fixed<double, 3>;

// An eigenvalue below this fraction of the other one has lost its digits to
// cancellation and is recomputed from the determinant.
constexpr double kCancellationRatio = 1e-12;
// A first eigenvector whose squared length is below this fraction of the
// squared diagonal is noise: the matrix is a multiple of the identity.
constexpr double kNullVectorRatio = 1e-24;
// dspev's work array: 3 n doubles for n = 3.
constexpr int kDspevWork = 9;

// ---------------------------------------------------------------------------
// 2x2 decompositions
// ---------------------------------------------------------------------------

// Eigenvectors of (a, b, c) for the eigenvalue l1 <= l2: the first vector
// solves (M - l1 I) e = 0, the second is e turned by +90 degrees, so V is a
// rotation. With `normalize` false the first vector keeps its length (the
// generalized problem rescales afterwards).
void eigenvectors_2x2(const sym2& M, double l1, bool normalize, mat2& V) {
  const double a = M[0], b = M[1], c = M[2];
  const double d0 = l1 - a, d2 = l1 - c;
  double e0, e1;
  if (d2 * d2 > d0 * d0) {
    e0 = d2;
    e1 = b;
  } else {
    e0 = b;
    e1 = d0;
  }
  const double n2 = std::fmax(d0 * d0, d2 * d2) + b * b;
  if (!(n2 > kNullVectorRatio * std::fmax(a * a, c * c))) {
    e0 = 1.0;
    e1 = 0.0;
  } else if (normalize) {
    const double n = std::sqrt(n2);
    e0 /= n;
    e1 /= n;
  }
  V(0, 0) = e0;
  V(1, 0) = e1;
  V(0, 1) = -e1;
  V(1, 1) = e0;
}

// Divides every column of V whose squared length is neither 0 nor exactly 1
// by its length.
template <int N>
void normalize_columns(matrix_fixed<double, N, N>& V) {
  for (int k = 0; k < N; ++k) {
    double n2 = 0;
    for (int i = 0; i < N; ++i) n2 += V(i, k) * V(i, k);
    if (n2 == 0.0 || n2 == 1.0) continue;
    const double n = std::sqrt(n2);
    for (int i = 0; i < N; ++i) V(i, k) /= n;
  }
}

template <int N>
void zero(vector_fixed<double, N>& lambda, matrix_fixed<double, N, N>& V) {
  for (int k = 0; k < N; ++k) lambda[k] = 0.0;
  for (int k = 0; k < N * N; ++k) V[k] = 0.0;
}

// ---------------------------------------------------------------------------
// 3x3 decompositions through dspev
// ---------------------------------------------------------------------------

void cross_columns_0_1_into_2(mat3& V) {
  const double x0 = V(0, 0), y0 = V(1, 0), z0 = V(2, 0);
  const double x1 = V(0, 1), y1 = V(1, 1), z1 = V(2, 1);
  V(0, 2) = y0 * z1 - z0 * y1;
  V(1, 2) = z0 * x1 - x0 * z1;
  V(2, 2) = x0 * y1 - y0 * x1;
}

// Eigenvalues (zeroed before the call, so a failure reads as 0) of a copy of
// M. Returns dspev's info.
int dspev_values(const sym3& M, vec3& lambda) {
  double ap[6], z[1], work[kDspevWork] = {};
  for (int k = 0; k < 6; ++k) ap[k] = M[k];
  for (int k = 0; k < 3; ++k) lambda[k] = 0.0;
  int info = 0;
  lapack::dspev('N', 'U', 3, ap, lambda.data(), z, 1, work, info);
  return info;
}

// Eigenvalues and right-handed eigenvectors of a copy of M; on failure the
// zeroed values and vectors stay. Returns dspev's info.
int dspev_pairs(const sym3& M, vec3& lambda, mat3& V) {
  double ap[6], work[kDspevWork] = {};
  for (int k = 0; k < 6; ++k) ap[k] = M[k];
  zero(lambda, V);
  int info = 0;
  lapack::dspev('V', 'U', 3, ap, lambda.data(), V.data(), 3, work, info);
  if (info == 0) cross_columns_0_1_into_2(V);
  return info;
}

// ---------------------------------------------------------------------------
// Generalized problems B x = lambda A x
// ---------------------------------------------------------------------------

// With P = [[s, -b], [0, a]], s = sqrt(det A), P^T A P = a det I, so the
// problem becomes an ordinary one on T = P^T B P.
bool generalized_2x2(const sym2& A, const sym2& B, vec2& lambda, mat2& V) {
  const double a = A[0], b = A[1], c = A[2];
  const double det = a * c - b * b;
  if (a == 0.0 || !(det > 0)) return false;
  const double s = std::sqrt(det);
  const double p = B[0], q = B[1], r = B[2];
  const sym2 T{p * det, (a * q - p * b) * s, a * a * r - (2 * a * q - p * b) * b};
  double mu1, mu2;
  if (!detail::eigenvalues_2x2(T, mu1, mu2)) return false;
  mat2 Y;
  eigenvectors_2x2(T, mu1, false, Y);
  const double scale = a * det;
  lambda[0] = mu1 / scale;
  lambda[1] = mu2 / scale;
  for (int k = 0; k < 2; ++k) {
    const double y0 = Y(0, k), y1 = Y(1, k);
    V(0, k) = s * y0 - b * y1;
    V(1, k) = a * y1;
  }
  normalize_columns(V);
  return true;
}

// Cholesky factor A = L L^T (L lower triangular, row-major l[i][j]). False
// when A is not positive definite.
bool cholesky_3x3(const sym3& A, double l[3][3]) {
  const double a00 = A(0, 0), a01 = A(0, 1), a11 = A(1, 1);
  const double a02 = A(0, 2), a12 = A(1, 2), a22 = A(2, 2);
  if (!(a00 > 0)) return false;
  const double minor = a00 * a11 - a01 * a01;
  if (!(minor > 0)) return false;
  l[0][0] = std::sqrt(a00);
  l[1][0] = a01 / l[0][0];
  const double root_minor = std::sqrt(minor);
  l[1][1] = root_minor / l[0][0];
  l[2][0] = a02 / l[0][0];
  l[2][1] = (a00 * a12 - a02 * a01) / (root_minor * l[0][0]);
  const double rest = a22 - l[2][0] * l[2][0] - l[2][1] * l[2][1];
  if (rest < 0) return false;
  l[2][2] = std::sqrt(rest);
  return true;
}

// With W = d L^-T, d = det L, W^T B W = d^2 L^-1 B L^-T: the eigenvalues mu of
// the ordinary problem on it are d^2 lambda, and x = W y.
bool generalized_3x3(const sym3& A, const sym3& B, vec3& lambda, mat3& V) {
  double l[3][3];
  if (!cholesky_3x3(A, l)) return false;
  const double d = l[0][0] * l[1][1] * l[2][2];
  if (d == 0.0) return false;
  mat3 W = {};
  W(0, 0) = l[1][1] * l[2][2];
  W(1, 1) = l[0][0] * l[2][2];
  W(2, 2) = l[0][0] * l[1][1];
  W(0, 1) = -l[1][0] * l[2][2];
  W(1, 2) = -l[0][0] * l[2][1];
  W(0, 2) = l[1][0] * l[2][1] - l[2][0] * l[1][1];

  mat3 BW;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i)
      BW(i, j) = B(i, 0) * W(0, j) + B(i, 1) * W(1, j) + B(i, 2) * W(2, j);
  sym3 T;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i <= j; ++i)
      T(i, j) = W(0, i) * BW(0, j) + W(1, i) * BW(1, j) + W(2, i) * BW(2, j);

  vec3 mu;
  mat3 Z;
  if (dspev_pairs(T, mu, Z) != 0) return false;
  const double d2 = d * d;
  for (int k = 0; k < 3; ++k) lambda[k] = mu[k] / d2;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) V(i, j) = W(i, 0) * Z(0, j) + W(i, 1) * Z(1, j) + W(i, 2) * Z(2, j);
  normalize_columns(V);
  return true;
}

// ---------------------------------------------------------------------------
// Simultaneous reduction helpers
// ---------------------------------------------------------------------------

double determinant(const mat2& P) { return P(0, 0) * P(1, 1) - P(0, 1) * P(1, 0); }

double determinant(const mat3& P) {
  return P(0, 0) * (P(1, 1) * P(2, 2) - P(1, 2) * P(2, 1)) -
         P(0, 1) * (P(1, 0) * P(2, 2) - P(1, 2) * P(2, 0)) +
         P(0, 2) * (P(1, 0) * P(2, 1) - P(1, 1) * P(2, 0));
}

// Q = P^-T = cofactors(P) / det P; Q = P when P is singular.
void inverse_transpose(const mat2& P, mat2& Q) {
  const double det = determinant(P);
  if (det == 0.0) {
    Q = P;
    return;
  }
  Q(0, 0) = P(1, 1) / det;
  Q(0, 1) = -P(1, 0) / det;
  Q(1, 0) = -P(0, 1) / det;
  Q(1, 1) = P(0, 0) / det;
}

void inverse_transpose(const mat3& P, mat3& Q) {
  const double det = determinant(P);
  if (det == 0.0) {
    Q = P;
    return;
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      Q(i, j) = (P(i1, j1) * P(i2, j2) - P(i1, j2) * P(i2, j1)) / det;
    }
}

// p^T M p for column k of P.
template <int N>
double quadratic_form(const symmetric_fixed<double, N>& M, const matrix_fixed<double, N, N>& P,
                      int k) {
  double s = 0;
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) s += P(i, k) * M(i, j) * P(j, k);
  return s;
}

template <int N>
bool reduce(const symmetric_fixed<double, N>& M1, const symmetric_fixed<double, N>& M2,
            detail::metric_reduction<N>& r) {
  vector_fixed<double, N> mu;
  matrix_fixed<double, N, N> P;
  if (!eigen_pairs(M1, M2, mu, P)) {
    zero(r.d1, r.Q);
    for (int k = 0; k < N; ++k) r.d2[k] = 0.0;
    return false;
  }
  inverse_transpose(P, r.Q);
  for (int k = 0; k < N; ++k) {
    r.d1[k] = quadratic_form(M1, P, k);
    r.d2[k] = mu[k] * r.d1[k];
  }
  return true;
}

// ---------------------------------------------------------------------------
// Intersection and union
// ---------------------------------------------------------------------------

enum class combine { intersection, union_ };

// Works on copies so that R may alias M1 or M2.
template <int N>
bool combine_metrics(const symmetric_fixed<double, N>& M1_in,
                     const symmetric_fixed<double, N>& M2_in, symmetric_fixed<double, N>& R,
                     combine how) {
  const symmetric_fixed<double, N> M1 = M1_in, M2 = M2_in;
  detail::metric_reduction<N> red;
  if (!detail::reduce_simultaneously(M1, M2, red)) {
    R = M1;
    return false;
  }
  vector_fixed<double, N> r;
  bool all_first = true, all_second = true;
  int largest = 0;
  for (int k = 0; k < N; ++k) {
    const double d1 = red.d1[k], d2 = red.d2[k];
    const bool take_second = how == combine::intersection ? d2 > d1 : d2 < d1;
    r[k] = take_second ? d2 : d1;
    all_first = all_first && r[k] == d1;
    all_second = all_second && r[k] == d2;
    if (r[k] > r[largest]) largest = k;
  }
  if (all_first) {
    R = M1;
    return true;
  }
  if (all_second) {
    R = M2;
    return true;
  }
  if (r[largest] < DBL_MAX) {
    detail::rebuild_metric(red.Q, r, R);
    return r[largest] > 0;
  }
  // A vanishing size: no finite matrix holds it; keep the input that has it.
  R = r[largest] == red.d1[largest] ? M1 : M2;
  return true;
}

// ---------------------------------------------------------------------------
// Bounding
// ---------------------------------------------------------------------------

// Clamps the eigenvalues of (lambda, V) and rebuilds M when something changed
// and the result is finite and positive.
template <int N>
bool clamp_and_rebuild(symmetric_fixed<double, N>& M, const vector_fixed<double, N>& lambda,
                       const matrix_fixed<double, N, N>& V, double lmin, double lmax) {
  vector_fixed<double, N> bounded;
  bool changed = false;
  for (int k = 0; k < N; ++k) {
    const double capped = std::min(lmax, lambda[k]);
    const bool raised = lmin > capped;
    bounded[k] = raised ? lmin : capped;
    changed = changed || lambda[k] > lmax || raised;
  }
  if (!changed) return false;
  double smallest = bounded[0], largest = bounded[0];
  for (int k = 1; k < N; ++k) {
    smallest = std::min(smallest, bounded[k]);
    largest = std::max(largest, bounded[k]);
  }
  if (!(smallest > 0) || largest >= DBL_MAX) return false;
  detail::rebuild_metric(V, bounded, M);
  return is_valid_metric(M);
}

template <int N>
int bound_metric_checked(symmetric_fixed<double, N>& M, double hmin, double hmax) {
  if (detail::nothing_to_bound(hmin, hmax)) return 0;
  if (const int code = detail::size_bounds_code(hmin, hmax)) return code;
  double lmin, lmax;
  detail::eigenvalue_bounds(hmin, hmax, lmin, lmax);
  return detail::bound_eigenvalues(M, lmin, lmax) ? 0 : -1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared kernels
// ---------------------------------------------------------------------------

namespace detail {

bool eigenvalues_2x2(const symmetric_fixed<double, 2>& M, double& l1, double& l2) {
  const double a = M[0], b = M[1], c = M[2];
  const double det = a * c - b * b;
  const double disc = std::sqrt((a - c) * (a - c) + 4 * (b * b));
  l1 = (a + c - disc) * 0.5;
  l2 = l1 + disc;
  if (std::fabs(l1) < kCancellationRatio * std::fabs(l2))
    l1 = det / l2;
  else if (std::fabs(l2) < kCancellationRatio * std::fabs(l1))
    l2 = det / l1;
  return std::isfinite(l1) && std::isfinite(l2);
}

double smallest_eigenvalue_3x3(const symmetric_fixed<double, 3>& M) {
  vec3 lambda;
  dspev_values(M, lambda);
  return lambda[0];
}

bool reduce_simultaneously(const symmetric_fixed<double, 2>& M1,
                           const symmetric_fixed<double, 2>& M2, metric_reduction<2>& r) {
  return reduce(M1, M2, r);
}

bool reduce_simultaneously(const symmetric_fixed<double, 3>& M1,
                           const symmetric_fixed<double, 3>& M2, metric_reduction<3>& r) {
  return reduce(M1, M2, r);
}

template <int N>
static void rebuild(const matrix_fixed<double, N, N>& Q, const vector_fixed<double, N>& d,
                    symmetric_fixed<double, N>& M) {
  for (int j = 0; j < N; ++j)
    for (int i = 0; i <= j; ++i) {
      double s = 0;
      for (int k = 0; k < N; ++k) s += Q(i, k) * d[k] * Q(j, k);
      M(i, j) = s;
    }
}

void rebuild_metric(const matrix_fixed<double, 2, 2>& Q, const vector_fixed<double, 2>& d,
                    symmetric_fixed<double, 2>& M) {
  rebuild(Q, d, M);
}

void rebuild_metric(const matrix_fixed<double, 3, 3>& Q, const vector_fixed<double, 3>& d,
                    symmetric_fixed<double, 3>& M) {
  rebuild(Q, d, M);
}

void eigenvalue_bounds(double hmin, double hmax, double& lmin, double& lmax) {
  lmax = hmin > 0 ? 1 / (hmin * hmin) : DBL_MAX;
  lmin = hmax > 0 ? 1 / (hmax * hmax) : 0.0;
}

bool nothing_to_bound(double hmin, double hmax) {
  return !(hmin > 0) && (hmax == DBL_MAX || std::isnan(hmax));
}

bool bound_eigenvalues(symmetric_fixed<double, 2>& M, double lmin, double lmax) {
  // Eigenvalues that are not finite come without eigenvectors; the zero
  // vectors then stand in, as for a failed 3x3 decomposition.
  vec2 lambda;
  mat2 V = {};
  eigen_pairs(M, lambda, V);
  return clamp_and_rebuild(M, lambda, V, lmin, lmax);
}

bool bound_eigenvalues(symmetric_fixed<double, 3>& M, double lmin, double lmax) {
  vec3 lambda;
  mat3 V;
  dspev_pairs(M, lambda, V);
  return clamp_and_rebuild(M, lambda, V, lmin, lmax);
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Public single-metric operations
// ---------------------------------------------------------------------------

bool is_valid_metric(const symmetric_fixed<double, 2>& M) {
  double l1, l2;
  detail::eigenvalues_2x2(M, l1, l2);
  return l1 > 0;
}

bool is_valid_metric(const symmetric_fixed<double, 3>& M) {
  return detail::smallest_eigenvalue_3x3(M) > 0;
}

void eigen_values(const symmetric_fixed<double, 2>& M, vector_fixed<double, 2>& lambda) {
  detail::eigenvalues_2x2(M, lambda[0], lambda[1]);
}

void eigen_values(const symmetric_fixed<double, 3>& M, vector_fixed<double, 3>& lambda) {
  dspev_values(M, lambda);
}

bool eigen_pairs(const symmetric_fixed<double, 2>& M, vector_fixed<double, 2>& lambda,
                 matrix_fixed<double, 2, 2>& V) {
  if (!detail::eigenvalues_2x2(M, lambda[0], lambda[1])) return false;
  eigenvectors_2x2(M, lambda[0], true, V);
  return true;
}

bool eigen_pairs(const symmetric_fixed<double, 3>& M, vector_fixed<double, 3>& lambda,
                 matrix_fixed<double, 3, 3>& V) {
  if (dspev_pairs(M, lambda, V) == 0) return true;
  zero(lambda, V);  // dspev may have left partial results
  return false;
}

bool eigen_pairs(const symmetric_fixed<double, 2>& A, const symmetric_fixed<double, 2>& B,
                 vector_fixed<double, 2>& lambda, matrix_fixed<double, 2, 2>& V) {
  if (generalized_2x2(A, B, lambda, V)) return true;
  zero(lambda, V);
  return false;
}

bool eigen_pairs(const symmetric_fixed<double, 3>& A, const symmetric_fixed<double, 3>& B,
                 vector_fixed<double, 3>& lambda, matrix_fixed<double, 3, 3>& V) {
  if (generalized_3x3(A, B, lambda, V)) return true;
  zero(lambda, V);
  return false;
}

void metric_iso_to_aniso(double h, symmetric_fixed<double, 2>& M) {
  const double m = h > 0 ? 1 / (h * h) : 0.0;
  M = sym2{m, 0.0, m};
}

void metric_iso_to_aniso(double h, symmetric_fixed<double, 3>& M) {
  const double m = h > 0 ? 1 / (h * h) : 0.0;
  M = sym3{m, 0.0, m, 0.0, 0.0, m};
}

void metric_iso_to_aniso2d(double h, const matrix_fixed<double, 3, 2>& P,
                           symmetric_fixed<double, 2>& M) {
  M = sym2{0.0, 0.0, 0.0};
  if (!(h > 0)) return;
  const double m = 1 / (h * h);
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i <= j; ++i)
      M(i, j) = m * (P(0, i) * P(0, j) + P(1, i) * P(1, j) + P(2, i) * P(2, j));
}

void metric_aniso3d_to_aniso2d(const symmetric_fixed<double, 3>& M3,
                               const matrix_fixed<double, 3, 2>& P,
                               symmetric_fixed<double, 2>& M2) {
  double MP[3][2];  // M3 P
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 3; ++i)
      MP[i][j] = M3(i, 0) * P(0, j) + M3(i, 1) * P(1, j) + M3(i, 2) * P(2, j);
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i <= j; ++i)
      M2(i, j) = P(0, i) * MP[0][j] + P(1, i) * MP[1][j] + P(2, i) * MP[2][j];
}

// hmin + t (hmax - hmin), with hmin = hmax = 0 for an invalid metric.
static double interpolated_size(bool ok, double smallest, double largest, double t) {
  double hmin = 0, hmax = 0;
  if (ok && smallest > 0) {
    hmax = 1 / std::sqrt(smallest);
    hmin = 1 / std::sqrt(largest);
  }
  return hmin + t * (hmax - hmin);
}

double metric_aniso_to_iso(const symmetric_fixed<double, 2>& M, double t) {
  double l1, l2;
  const bool ok = detail::eigenvalues_2x2(M, l1, l2);
  return interpolated_size(ok, l1, l2, t);
}

double metric_aniso_to_iso(const symmetric_fixed<double, 3>& M, double t) {
  vec3 lambda;
  const bool ok = dspev_values(M, lambda) == 0;
  return interpolated_size(ok, lambda[0], lambda[2], t);
}

bool minimum_metric(const symmetric_fixed<double, 2>& M1, const symmetric_fixed<double, 2>& M2,
                    symmetric_fixed<double, 2>& R) {
  return combine_metrics(M1, M2, R, combine::intersection);
}

bool minimum_metric(const symmetric_fixed<double, 3>& M1, const symmetric_fixed<double, 3>& M2,
                    symmetric_fixed<double, 3>& R) {
  return combine_metrics(M1, M2, R, combine::intersection);
}

bool maximum_metric(const symmetric_fixed<double, 2>& M1, const symmetric_fixed<double, 2>& M2,
                    symmetric_fixed<double, 2>& R) {
  return combine_metrics(M1, M2, R, combine::union_);
}

bool maximum_metric(const symmetric_fixed<double, 3>& M1, const symmetric_fixed<double, 3>& M2,
                    symmetric_fixed<double, 3>& R) {
  return combine_metrics(M1, M2, R, combine::union_);
}

int bound_metric(symmetric_fixed<double, 2>& M, double hmin, double hmax) {
  return bound_metric_checked(M, hmin, hmax);
}

int bound_metric(symmetric_fixed<double, 3>& M, double hmin, double hmax) {
  return bound_metric_checked(M, hmin, hmax);
}

}  // namespace quernfold
}  // namespace ovk
