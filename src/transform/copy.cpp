// copy_mesh and copy_sym_mesh: every copy starts as a plain copy (fresh nodes
// appended to coords, a renumbered connectivity), which the repeated and the
// mirror copies then move into place.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "common/growth.h"
#include "common/mixed.h"
#include "quernfold/transform.h"

namespace ovk {
namespace quernfold {
namespace {

// Codes naming the argument that is wrong, by overload.
constexpr int kPlainSourceCode = -3;
constexpr int kRepeatedConnectCode = -2;
constexpr int kRepeatedSourceCode = -7;
constexpr int kMirrorNormalCode = -4;
constexpr int kMirrorSourceCode = -5;

// U = the distinct nodes of source other than ~0U, in order of first
// appearance. Returns 0, `invalid_source` when one of them is no column of a
// matrix of `nodes` columns, or -199.
int used_nodes(const dense2D<unsigned>& source, std::size_t nodes, int invalid_source,
               dense1D<unsigned>& U) {
  if (unique_indices(U, source, dense1D<unsigned>()) != 0) return no_memory;
  const bool valid = std::all_of(U.begin(), U.end(), [nodes](unsigned u) { return u < nodes; });
  return valid ? 0 : invalid_source;
}

// Appends column U[k] of coords as column m + k (m = columns on entry).
bool append_node_copies(dense2D<double>& coords, const dense1D<unsigned>& U) {
  const std::size_t m = coords.cols(), rows = coords.rows();
  if (!detail::grow_columns(coords, rows, m + U.size())) return false;
  for (std::size_t k = 0; k < U.size(); ++k)
    std::copy_n(coords.column(U[k]), rows, coords.column(m + k));
  return true;
}

// connectM = source renumbered old to new through U[k] -> m + k. The map
// only needs to reach the largest node of U: every other entry of a valid
// source is ~0U, which change_indices leaves alone.
bool renumbered_copy(dense2D<unsigned>& connectM, const dense2D<unsigned>& source,
                     const dense1D<unsigned>& U, std::size_t m) {
  dense1D<unsigned> old_to_new;
  const std::size_t reach = U.empty() ? 0 : std::size_t(*std::max_element(U.begin(), U.end())) + 1;
  if (!old_to_new.resize(reach, no_index)) return false;
  for (std::size_t k = 0; k < U.size(); ++k) old_to_new[U[k]] = static_cast<unsigned>(m + k);
  if (!connectM.copy(source)) return false;
  change_indices(connectM, old_to_new);
  return true;
}

// The plain copy. connectM is emptied first (source may be the same matrix:
// a view keeps it). Returns 0, `invalid_source` (coords unchanged), or -199.
int plain_copy(dense2D<double>& coords, dense2D<unsigned>& connectM,
               const dense2D<unsigned>& source, int invalid_source) {
  const dense2D<unsigned> elements(source);
  connectM.clear();
  dense1D<unsigned> U;
  const std::size_t m = coords.cols();
  const int status = used_nodes(elements, m, invalid_source, U);
  if (status != 0) return status;
  if (!append_node_copies(coords, U)) return no_memory;
  if (!renumbered_copy(connectM, elements, U, m)) return no_memory;
  return 0;
}

// The nodes first .. coords.cols() - 1: those of the latest copy.
bool nodes_from(const dense2D<double>& coords, std::size_t first, dense1D<unsigned>& nodes) {
  const std::size_t count = coords.cols() - first;
  if (!nodes.resize(count)) return false;
  for (std::size_t k = 0; k < count; ++k) nodes[k] = static_cast<unsigned>(first + k);
  return true;
}

// n plain copies of source appended to connectM, copy i placed by
// place(coords, new nodes, double(i)).
template <class Place>
int repeated_copies(dense2D<double>& coords, dense2D<unsigned>& connectM, unsigned n,
                    const dense2D<unsigned>& source, Place place) {
  if (coords.empty() || n == 0) return 0;
  const dense2D<unsigned> elements(source);  // connectM may be source itself
  if (!connectM.empty() && connectM.rows() != elements.rows()) return kRepeatedConnectCode;
  dense2D<unsigned> scratch;
  dense1D<unsigned> fresh;
  // A counter wider than n: with n = ~0U an unsigned i would wrap to 0 and
  // never pass n.
  for (std::uint64_t i = 1; i <= n; ++i) {
    const std::size_t m = coords.cols();
    const int status = plain_copy(coords, scratch, elements, kRepeatedSourceCode);
    if (status != 0) return status;
    if (!nodes_from(coords, m, fresh)) return no_memory;
    place(coords, fresh, static_cast<double>(i));
    if (!detail::append_columns(connectM, scratch, scratch.cols(), [](std::size_t k) { return k; }))
      return no_memory;
  }
  return 0;
}

template <int N>
vector_fixed<double, N> scaled(const vector_fixed<double, N>& V, double factor) {
  vector_fixed<double, N> out;
  for (int i = 0; i < N; ++i) out[i] = factor * V[i];
  return out;
}

double squared_norm(const vector_fixed<double, 2>& N) { return N[0] * N[0] + N[1] * N[1]; }
double squared_norm(const vector_fixed<double, 3>& N) {
  return N[0] * N[0] + N[1] * N[1] + N[2] * N[2];
}

// Reflection of X across the line through P with normal N; f = -2/|N|^2.
void reflect(double* X, const vector_fixed<double, 2>& P, const vector_fixed<double, 2>& N,
             double f) {
  const double s = ((X[1] - P[1]) * N[1] + (X[0] - P[0]) * N[0]) * f;
  X[0] += N[0] * s;
  X[1] += N[1] * s;
}

// Reflection of X across the plane through P with normal N; f = -2/|N|^2.
void reflect(double* X, const vector_fixed<double, 3>& P, const vector_fixed<double, 3>& N,
             double f) {
  const double s = ((X[0] - P[0]) * N[0] + (X[1] - P[1]) * N[1] + (X[2] - P[2]) * N[2]) * f;
  for (int i = 0; i < 3; ++i) X[i] += s * N[i];
}

template <int Dim>
int mirror_copy(dense2D<double>& coords, dense2D<unsigned>& connectM,
                const vector_fixed<double, Dim>& P, const vector_fixed<double, Dim>& N,
                const dense2D<unsigned>& source) {
  if (coords.empty()) return 0;
  const double norm2 = squared_norm(N);
  if (norm2 == 0.0) return kMirrorNormalCode;
  const std::size_t m = coords.cols();
  const int status = plain_copy(coords, connectM, source, kMirrorSourceCode);
  if (status != 0) return status;
  if (!detail::ensure_rows(coords, Dim)) return no_memory;
  const double f = -2.0 / norm2;
  for (std::size_t j = m; j < coords.cols(); ++j) reflect(coords.column(j), P, N, f);
  return 0;
}

}  // namespace

int copy_mesh(dense2D<double>& coords, dense2D<unsigned>& connectM,
              const dense2D<unsigned>& source) {
  return plain_copy(coords, connectM, source, kPlainSourceCode);
}

int copy_mesh(dense2D<double>& coords, dense2D<unsigned>& connectM,
              const vector_fixed<double, 2>& T, const vector_fixed<double, 2>& Q, double angle,
              unsigned n, const dense2D<unsigned>& source) {
  return repeated_copies(coords, connectM, n, source,
                         [&](dense2D<double>& c, const dense1D<unsigned>& nodes, double i) {
                           rotate(c, Q, i * angle, nodes);
                           translate(c, scaled(T, i), nodes);
                         });
}

int copy_mesh(dense2D<double>& coords, dense2D<unsigned>& connectM,
              const vector_fixed<double, 3>& T, const vector_fixed<double, 3>& Q,
              const vector_fixed<double, 3>& R, unsigned n, const dense2D<unsigned>& source) {
  return repeated_copies(coords, connectM, n, source,
                         [&](dense2D<double>& c, const dense1D<unsigned>& nodes, double i) {
                           rotate(c, Q, scaled(R, i), nodes);
                           translate(c, scaled(T, i), nodes);
                         });
}

int copy_sym_mesh(dense2D<double>& coords, dense2D<unsigned>& connectM,
                  const vector_fixed<double, 2>& P, const vector_fixed<double, 2>& N,
                  const dense2D<unsigned>& source) {
  return mirror_copy(coords, connectM, P, N, source);
}

int copy_sym_mesh(dense2D<double>& coords, dense2D<unsigned>& connectM,
                  const vector_fixed<double, 3>& P, const vector_fixed<double, 3>& N,
                  const dense2D<unsigned>& source) {
  return mirror_copy(coords, connectM, P, N, source);
}

}  // namespace quernfold
}  // namespace ovk
