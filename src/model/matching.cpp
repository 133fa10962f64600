// Matching the entries of two index lists, and the columns (elements) of two
// index matrices, against each other.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/hash.h"
#include "common/hash_set.h"
#include "common/mixed.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace {

constexpr int kHeightMismatch = -2;

// Empties both outputs, then sizes them with every entry ~0U.
bool reset_matches(dense1D<unsigned>& B_in_A, std::size_t nb, dense1D<unsigned>& A_in_B,
                   std::size_t na) {
  B_in_A.clear();
  A_in_B.clear();
  if (B_in_A.resize(nb, no_index) && A_in_B.resize(na, no_index)) return true;
  B_in_A.clear();
  A_in_B.clear();
  return false;
}

// ---- columns --------------------------------------------------------------

using column_multimap = detail::hash_table<std::uint64_t>;

// Rotates c cyclically so that its first largest entry comes first.
void rotate_largest_first(std::vector<unsigned>& c) {
  std::rotate(c.begin(), std::max_element(c.begin(), c.end()), c.end());
}

// a equals b once a's entries 1 .. n-1 are read backwards (the same cycle
// run the other way from the same first entry).
bool equal_reversed_tail(const std::vector<unsigned>& a, const std::vector<unsigned>& b) {
  const std::size_t n = a.size();
  if (a[0] != b[0]) return false;
  for (std::size_t k = 1; k < n; ++k)
    if (a[n - k] != b[k]) return false;
  return true;
}

// b is already rotated (when not strict); a is the candidate column, copied
// into scratch so that it can be rotated.
bool columns_match(const unsigned* column_a, const std::vector<unsigned>& b, bool strict,
                   std::vector<unsigned>& a) {
  a.assign(column_a, column_a + b.size());
  if (strict || b.size() < 2) return a == b;
  rotate_largest_first(a);
  return a == b || equal_reversed_tail(a, b);
}

// Column number of A per entry: columns are inserted in order, so entry e of
// the multimap is column e. Returns false when the multimap could not take
// every column.
bool hash_columns(const dense2D<unsigned>& A, column_multimap& table) {
  const unsigned rows = static_cast<unsigned>(A.rows());
  for (std::size_t i = 0; i < A.cols(); ++i)
    if (table.insert(detail::index_set_hash(A.column(i), rows)) == column_multimap::kNoEntry) break;
  return table.size() == A.cols();
}

// Walks B from its last column so that the smallest column of B is the last
// one written into A_in_B.
void match_columns(const dense2D<unsigned>& A, const dense2D<unsigned>& B,
                   const column_multimap& table, bool strict, dense1D<unsigned>& B_in_A,
                   dense1D<unsigned>& A_in_B) {
  const std::size_t rows = A.rows();
  std::vector<unsigned> a, b;
  for (std::size_t j = B.cols(); j-- > 0;) {
    b.assign(B.column(j), B.column(j) + rows);
    if (!strict) rotate_largest_first(b);
    const std::uint64_t h = detail::index_set_hash(b.data(), static_cast<unsigned>(rows));
    unsigned best = no_index;
    table.for_each_equal(h, [&](column_multimap::entry_index i) {
      if (!columns_match(A.column(i), b, strict, a)) return;
      A_in_B[i] = std::min(A_in_B[i], static_cast<unsigned>(j));
      best = std::min(best, static_cast<unsigned>(i));
    });
    if (best != no_index) B_in_A[j] = best;
  }
}

}  // namespace

int get_IDs(const dense1D<unsigned>& A, const dense1D<unsigned>& B, dense1D<unsigned>& B_in_A,
            dense1D<unsigned>& A_in_B) {
  if (!reset_matches(B_in_A, B.size(), A_in_B, A.size())) return no_memory;
  if (A.empty() || B.empty()) return 0;

  // Entry e of the set is the e-th distinct value of A; first_position[e] is
  // where it first appears.
  detail::index_set values(A.size());
  std::vector<unsigned> first_position;
  for (std::size_t i = 0; i < A.size(); ++i) {
    if (A[i] == no_index) continue;
    const auto r = values.insert_unique(A[i]);
    if (r.entry == detail::index_set::kNoEntry) return no_memory;
    if (r.added) first_position.push_back(static_cast<unsigned>(i));
  }
  for (std::size_t j = B.size(); j-- > 0;) {
    const auto e = values.find(B[j]);
    if (e == detail::index_set::kNoEntry) continue;
    const unsigned i = first_position[e];
    B_in_A[j] = i;
    A_in_B[i] = static_cast<unsigned>(j);
  }
  return 0;
}

int get_IDs(const dense2D<unsigned>& A, const dense2D<unsigned>& B, dense1D<unsigned>& B_in_A,
            dense1D<unsigned>& A_in_B, bool strict) {
  if (!reset_matches(B_in_A, B.cols(), A_in_B, A.cols())) return no_memory;
  if (A.empty() || B.empty()) return 0;
  if (A.rows() != B.rows()) return kHeightMismatch;

  column_multimap table(A.cols());
  if (!hash_columns(A, table)) return no_memory;
  match_columns(A, B, table, strict, B_in_A, A_in_B);
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
