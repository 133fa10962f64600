// Whole metric fields: bounding, repair of invalid entries, validity scans
// and conversions, one column (or size) at a time on stack copies.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>

#include "metrics/metric_kernels.h"
#include "quernfold/metrics.h"

namespace ovk {
namespace quernfold {

namespace {

constexpr std::size_t kRows2D = 3;  // (M00, M01, M11)
constexpr std::size_t kRows3D = 6;  // (M00, M01, M11, M02, M12, M22)
constexpr std::size_t kFrameRows = 6;

bool is_metric_height(std::size_t rows) { return rows == kRows2D || rows == kRows3D; }

// An isotropic size as first_invalid_metric and are_valid_metrics read it.
bool is_valid_size(double h) { return h > 0 && h < DBL_MAX; }

template <int N>
symmetric_fixed<double, N> load(const double* column) {
  symmetric_fixed<double, N> M;
  for (int k = 0; k < M.size(); ++k) M[k] = column[k];
  return M;
}

template <int N>
void store(const symmetric_fixed<double, N>& M, double* column) {
  for (int k = 0; k < M.size(); ++k) column[k] = M[k];
}

// The 3 x 2 frame stored column-major in a column of 6 rows.
matrix_fixed<double, 3, 2> load_frame(const double* column) {
  matrix_fixed<double, 3, 2> P;
  for (int k = 0; k < 6; ++k) P[k] = column[k];
  return P;
}

// Validity of a column of a field of 3 or 6 rows.
bool is_valid_column(const double* column, std::size_t rows) {
  return rows == kRows2D ? is_valid_metric(load<2>(column)) : is_valid_metric(load<3>(column));
}

// (1/h^2) I written into a column of N (N + 1) / 2 rows.
template <int N>
void store_isotropic(double h, double* column) {
  symmetric_fixed<double, N> M;
  metric_iso_to_aniso(h, M);
  store(M, column);
}

// (1/h^2) I written into a column of 3 or 6 rows.
void store_isotropic(double h, double* column, std::size_t rows) {
  if (rows == kRows2D)
    store_isotropic<2>(h, column);
  else
    store_isotropic<3>(h, column);
}

// Bounds one packed N x N metric in place; true when it changed and stays
// valid.
template <int N>
bool bound_packed(double* column, double lmin, double lmax) {
  symmetric_fixed<double, N> M = load<N>(column);
  const bool changed = detail::bound_eigenvalues(M, lmin, lmax);
  store(M, column);
  return changed;
}

// Bounds one column of 3 or 6 rows in place.
bool bound_column(double* column, std::size_t rows, double lmin, double lmax) {
  return rows == kRows2D ? bound_packed<2>(column, lmin, lmax)
                         : bound_packed<3>(column, lmin, lmax);
}

// Appends i to the optional list; an append that cannot grow it is skipped.
void note(dense1D<unsigned, 8>* list, std::size_t i) {
  if (list) list->push_back(static_cast<unsigned>(i));
}

int count_result(dense1D<unsigned, 8>* list, int count) {
  return list ? static_cast<int>(list->size()) : count;
}

int bound_sizes(dense1D<double, 8>& H, double hmin, double hmax, dense1D<unsigned, 8>* list) {
  if (list) list->clear();
  if (H.empty()) return 0;
  if (detail::nothing_to_bound(hmin, hmax)) return 0;
  if (const int code = detail::size_bounds_code(hmin, hmax)) return code;
  int count = 0;
  for (std::size_t i = 0; i < H.size(); ++i) {
    double& h = H[i];
    if (!(h >= hmin))
      h = hmin;
    else if (h > hmax)
      h = hmax;
    else
      continue;
    ++count;
    note(list, i);
  }
  return count_result(list, count);
}

int bound_columns(dense2D<double>& M, double hmin, double hmax, dense1D<unsigned, 8>* list) {
  if (list) list->clear();
  if (M.empty()) return 0;
  if (detail::nothing_to_bound(hmin, hmax)) return 0;
  if (!is_metric_height(M.rows())) return -1;
  if (const int code = detail::size_bounds_code(hmin, hmax)) return code;
  double lmin, lmax;
  detail::eigenvalue_bounds(hmin, hmax, lmin, lmax);
  int count = 0;
  for (std::size_t j = 0; j < M.cols(); ++j) {
    if (!bound_column(M.column(j), M.rows(), lmin, lmax)) continue;
    ++count;
    note(list, j);
  }
  return count_result(list, count);
}

// Replaces every invalid column by M0 (given packed, of the field's height).
template <int N>
int overwrite_columns_with(dense2D<double>& M, const symmetric_fixed<double, N>& M0) {
  constexpr std::size_t rows = symmetric_fixed<double, N>::packed_size;
  if (M.cols() == 0) return 0;
  if (M.rows() != rows) return -1;
  if (!is_valid_metric(M0)) return -2;
  int count = 0;
  for (std::size_t j = 0; j < M.cols(); ++j) {
    if (is_valid_column(M.column(j), rows)) continue;
    store(M0, M.column(j));
    ++count;
  }
  return count;
}

// Position in `nodes` of the first node that is out of range or invalid.
template <class Valid>
unsigned first_invalid_node(const dense1D<unsigned, 8>& nodes, std::size_t n, Valid valid) {
  for (std::size_t k = 0; k < nodes.size(); ++k) {
    const unsigned v = nodes[k];
    if (v >= n || !valid(v)) return static_cast<unsigned>(k);
  }
  return static_cast<unsigned>(nodes.size());
}

}  // namespace

// ---------------------------------------------------------------------------
// Bounding
// ---------------------------------------------------------------------------

int bound_metrics(dense1D<double, 8>& H, double hmin, double hmax) {
  return bound_sizes(H, hmin, hmax, nullptr);
}

int bound_metrics(dense1D<double, 8>& H, double hmin, double hmax, dense1D<unsigned, 8>& changed) {
  return bound_sizes(H, hmin, hmax, &changed);
}

int bound_metrics(dense2D<double>& M, double hmin, double hmax) {
  return bound_columns(M, hmin, hmax, nullptr);
}

int bound_metrics(dense2D<double>& M, double hmin, double hmax, dense1D<unsigned, 8>& changed) {
  return bound_columns(M, hmin, hmax, &changed);
}

// ---------------------------------------------------------------------------
// Repair of invalid entries
// ---------------------------------------------------------------------------

int overwrite_invalid_metrics(dense1D<double, 8>& H, const dense1D<double, 8>& H0) {
  const std::size_t n = std::min(H.size(), H0.size());
  int count = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!(H0[i] > 0) || !(H[i] <= 0)) continue;
    H[i] = H0[i];
    ++count;
  }
  return count;
}

int overwrite_invalid_metrics(dense1D<double, 8>& H, double h0) {
  if (H.empty()) return 0;
  if (!(h0 > 0)) return -2;
  int count = 0;
  for (double& h : H) {
    if (!(h <= 0)) continue;
    h = h0;
    ++count;
  }
  return count;
}

int overwrite_invalid_metrics(dense2D<double>& M, const dense2D<double>& M0) {
  if (M.empty()) return 0;
  const std::size_t rows = M.rows();
  if (!is_metric_height(rows)) return -1;
  if (M0.rows() != rows) return -2;
  const std::size_t n = std::min(M.cols(), M0.cols());
  int count = 0;
  for (std::size_t j = 0; j < n; ++j) {
    if (!is_valid_column(M0.column(j), rows) || is_valid_column(M.column(j), rows)) continue;
    for (std::size_t k = 0; k < rows; ++k) M(k, j) = M0(k, j);
    ++count;
  }
  return count;
}

int overwrite_invalid_metrics(dense2D<double>& M, const dense1D<double, 8>& H0) {
  if (M.empty()) return 0;
  const std::size_t rows = M.rows();
  if (!is_metric_height(rows)) return -1;
  const std::size_t n = std::min(M.cols(), H0.size());
  int count = 0;
  for (std::size_t j = 0; j < n; ++j) {
    if (!(H0[j] > 0) || is_valid_column(M.column(j), rows)) continue;
    store_isotropic(H0[j], M.column(j), rows);
    ++count;
  }
  return count;
}

int overwrite_invalid_metrics(dense2D<double>& M, const symmetric_fixed<double, 2>& M0) {
  return overwrite_columns_with(M, M0);
}

int overwrite_invalid_metrics(dense2D<double>& M, const symmetric_fixed<double, 3>& M0) {
  return overwrite_columns_with(M, M0);
}

// ---------------------------------------------------------------------------
// Validity scans
// ---------------------------------------------------------------------------

unsigned first_invalid_metric(const dense1D<double, 8>& H) {
  for (std::size_t i = 0; i < H.size(); ++i)
    if (!is_valid_size(H[i])) return static_cast<unsigned>(i);
  return static_cast<unsigned>(H.size());
}

unsigned first_invalid_metric(const dense1D<unsigned, 8>& nodes, const dense1D<double, 8>& H) {
  return first_invalid_node(nodes, H.size(), [&](unsigned v) { return is_valid_size(H[v]); });
}

unsigned first_invalid_metric(const dense2D<double>& M) {
  if (!is_metric_height(M.rows())) return 0;
  for (std::size_t j = 0; j < M.cols(); ++j)
    if (!is_valid_column(M.column(j), M.rows())) return static_cast<unsigned>(j);
  return static_cast<unsigned>(M.cols());
}

unsigned first_invalid_metric(const dense1D<unsigned, 8>& nodes, const dense2D<double>& M) {
  if (!is_metric_height(M.rows())) return 0;
  return first_invalid_node(nodes, M.cols(),
                            [&](unsigned v) { return is_valid_column(M.column(v), M.rows()); });
}

bool are_valid_metrics(const dense1D<double, 8>& H) { return first_invalid_metric(H) == H.size(); }

bool are_valid_metrics(const dense1D<unsigned, 8>& nodes, const dense1D<double, 8>& H) {
  return first_invalid_metric(nodes, H) == nodes.size();
}

bool are_valid_metrics(const dense2D<double>& M) { return first_invalid_metric(M) == M.cols(); }

bool are_valid_metrics(const dense1D<unsigned, 8>& nodes, const dense2D<double>& M) {
  return first_invalid_metric(nodes, M) == nodes.size();
}

void valid_metrics(const dense2D<double>& M, dense1D<unsigned, 8>& valid) {
  if (!is_metric_height(M.rows())) return;
  for (std::size_t j = 0; j < M.cols(); ++j)
    if (is_valid_column(M.column(j), M.rows())) valid.push_back(static_cast<unsigned>(j));
}

// ---------------------------------------------------------------------------
// Conversions
// ---------------------------------------------------------------------------

static int sizes_to_columns(const dense1D<double, 8>& H, dense2D<double>& M, std::size_t rows) {
  if (H.empty() && M.empty()) return 0;
  if (M.rows() != rows || M.cols() < H.size()) return -2;
  for (std::size_t i = 0; i < H.size(); ++i)
    if (H[i] > 0) store_isotropic(H[i], M.column(i), rows);
  return 0;
}

int metrics_iso_to_aniso2d(const dense1D<double, 8>& H, dense2D<double>& M) {
  return sizes_to_columns(H, M, kRows2D);
}

int metrics_iso_to_aniso3d(const dense1D<double, 8>& H, dense2D<double>& M) {
  return sizes_to_columns(H, M, kRows3D);
}

int metrics_iso_to_aniso2d(const dense1D<double, 8>& H, const dense2D<double>& frames,
                           dense2D<double>& M) {
  if (H.empty() && frames.empty() && M.empty()) return 0;
  if (frames.rows() != kFrameRows || frames.cols() != H.size()) return -2;
  if (M.rows() != kRows2D || M.cols() < H.size()) return -3;
  for (std::size_t i = 0; i < H.size(); ++i) {
    symmetric_fixed<double, 2> M2;
    metric_iso_to_aniso2d(H[i], load_frame(frames.column(i)), M2);
    store(M2, M.column(i));
  }
  return 0;
}

int metrics_aniso3d_to_aniso2d(const dense2D<double>& M3, const dense2D<double>& frames,
                               dense2D<double>& M2) {
  if (M3.empty() && frames.empty() && M2.empty()) return 0;
  if (M3.rows() != kRows3D) return -1;
  if (frames.rows() != kFrameRows || frames.cols() != M3.cols()) return -2;
  if (M2.rows() != kRows2D || M2.cols() < M3.cols()) return -3;
  for (std::size_t i = 0; i < M3.cols(); ++i) {
    symmetric_fixed<double, 2> M;
    metric_aniso3d_to_aniso2d(load<3>(M3.column(i)), load_frame(frames.column(i)), M);
    store(M, M2.column(i));
  }
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
