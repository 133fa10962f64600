// Walking the entries of index containers: lists in order, matrices column
// by column with rows in order, touching only rows x cols entries (never the
// gap between columns of a window whose leading dimension exceeds its rows).
#pragma once

#include <cstddef>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Calls visit(entry) on a column-major block until visit returns false;
// returns false when the walk was stopped.
template <class Entry, class Visit>
bool walk_block(Entry* first, std::size_t rows, std::size_t cols, std::size_t ld, Visit& visit) {
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < rows; ++i)
      if (!visit(first[j * ld + i])) return false;
  return true;
}

template <class Visit>
bool walk_entries(const dense1D<unsigned>& L, Visit visit) {
  return walk_block(L.data(), L.size(), 1, L.size(), visit);
}
template <class Visit>
bool walk_entries(dense1D<unsigned>& L, Visit visit) {
  return walk_block(L.data(), L.size(), 1, L.size(), visit);
}
template <class Visit>
bool walk_entries(const dense2D<unsigned>& M, Visit visit) {
  return M.empty() || walk_block(M.data(), M.rows(), M.cols(), M.ld(), visit);
}
template <class Visit>
bool walk_entries(dense2D<unsigned>& M, Visit visit) {
  return M.empty() || walk_block(M.data(), M.rows(), M.cols(), M.ld(), visit);
}

// Calls visit(entry) on every entry; visit may take the entry by reference
// to change it in place.
template <class Container, class Visit>
void for_each_entry(Container& C, Visit visit) {
  walk_entries(C, [&visit](auto& v) {
    visit(v);
    return true;
  });
}

// True when pred holds for every entry; stops at the first entry failing it.
template <class Container, class Pred>
bool all_entries(const Container& C, Pred pred) {
  return walk_entries(C, [&pred](unsigned v) { return pred(v); });
}

// Number of entries of a range of matrices.
inline std::size_t entry_count(const dense2D<unsigned>* begin, const dense2D<unsigned>* end) {
  std::size_t n = 0;
  for (const dense2D<unsigned>* M = begin; M != end; ++M) n += M->rows() * M->cols();
  return n;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
