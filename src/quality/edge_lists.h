// Edges of elements and sorted, duplicate-free edge lists.
//
// An edge is an unordered pair of node indices kept as (smaller, larger) and
// packed into one 64-bit key, smaller in the high half, so that sorting keys
// sorts edges by (first, second).
#pragma once

#include <cstdint>
#include <vector>

#include "common/edges.h"
#include "common/mixed.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

using edge_key = std::uint64_t;

inline edge_key make_edge_key(unsigned a, unsigned b) noexcept {
  const unsigned lo = a < b ? a : b, hi = a < b ? b : a;
  return (static_cast<edge_key>(lo) << 32) | hi;
}
inline unsigned edge_first(edge_key k) noexcept { return static_cast<unsigned>(k >> 32); }
inline unsigned edge_second(edge_key k) noexcept { return static_cast<unsigned>(k); }

// Appends the edges of every element of connectM, in element order and in
// table order, then sorts the whole list and drops duplicates. The matrix
// must have passed the typed check for FE.
void add_matrix_edges(const dense2D<unsigned>& connectM, element_type FE,
                      std::vector<edge_key>& list);

// Sorted, duplicate-free edges of the matrices [first, first + count), the
// kind of matrix i being kinds[i].
void extract_edges(const dense2D<unsigned>* first, std::size_t count, const int* kinds,
                   std::vector<edge_key>& list);

// Removes from `list` (sorted, unique) every edge that is a column of the
// 2-row matrix `excluded`.
void remove_excluded_edges(const dense2D<unsigned>& excluded, std::vector<edge_key>& list);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
