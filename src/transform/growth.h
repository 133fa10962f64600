// Growth of the matrices that copies and clipping append to.
#pragma once

#include <algorithm>
#include <cstddef>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Memory for an output or a working array could not be had.

// Smallest column capacity given to a matrix that is appended to.
constexpr std::size_t kMinColumnCapacity = 4;

// Gives a coordinates matrix with fewer than `dim` rows the missing rows,
// filled with 0.0. False when the growth cannot be had.
inline bool ensure_rows(dense2D<double>& coords, int dim) noexcept {
  const std::size_t rows = static_cast<std::size_t>(dim);
  return coords.rows() >= rows || coords.resize(rows, coords.cols(), 0.0);
}

// Reshapes M to rows x cols, keeping its entries. When M is full, its column
// capacity first rises to max(2 x columns, 4), or to `cols` when that is more,
// so that repeated appends copy each column a bounded number of times.
// False when memory cannot be had (M unchanged).
template <class T>
bool grow_columns(dense2D<T>& M, std::size_t rows, std::size_t cols) noexcept {
  const std::size_t have = M.empty() ? 0 : M.cols();
  const bool fits = !M.empty() && M.rows() == rows && cols <= M.col_capacity();
  if (cols > have && !fits) {
    const std::size_t want = std::max({cols, 2 * have, kMinColumnCapacity});
    if (!M.reserve(rows, want)) return false;
  }
  return M.resize(rows, cols);
}

// Appends `count` columns of `from` (all rows), the k-th being column
// source_column(k), to `to`, which must be empty or have from's number of
// rows: `to` becomes rows(from) x (cols(to) + count). The columns of a `to`
// without rows are kept as columns; taking from's height they hold 0.
// False when `to` cannot grow (it is then unchanged).
template <class ColumnIndex>
bool append_columns(dense2D<unsigned>& to, const dense2D<unsigned>& from, std::size_t count,
                    ColumnIndex source_column) noexcept {
  const std::size_t rows = from.rows();
  const std::size_t first = to.cols();
  if (!grow_columns(to, rows, first + count)) return false;
  for (std::size_t k = 0; k < count; ++k)
    std::copy_n(from.column(source_column(k)), rows, to.column(first + k));
  return true;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
