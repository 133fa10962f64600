// Growth of the outputs that operations append to. A matrix output that is
// full raises its column capacity to max(2 x columns, 4) (or to what the
// append needs, when that is more), so that repeated appends copy each
// column a bounded number of times; working lists grown ahead of a bulk
// append follow the same rule. (An output whose whole append is known in
// advance, as the edge copies, reserves exactly that and is never full.)
#pragma once

#include <algorithm>
#include <cstddef>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Smallest column capacity given to a matrix that is appended to.
constexpr std::size_t kMinColumnCapacity = 4;

// Capacity for `need` entries (columns) of a container that holds `have`
// and is full: max(need, 2 x have, 4).
inline std::size_t grown_capacity(std::size_t have, std::size_t need) noexcept {
  return std::max({need, 2 * have, kMinColumnCapacity});
}

// Room for `cols` columns of `rows` rows in M, keeping its entries: when
// they do not fit, the column capacity rises to grown_capacity(columns of M,
// cols). The columns of a matrix without rows count as columns. False when
// memory cannot be had (M unchanged).
template <class T>
bool reserve_columns(dense2D<T>& M, std::size_t rows, std::size_t cols) noexcept {
  const std::size_t entries_cols = M.empty() ? 0 : M.cols();
  const bool fits = !M.empty() && M.rows() == rows && cols <= M.col_capacity();
  if (cols <= entries_cols || fits) return true;
  return M.reserve(rows, grown_capacity(M.cols(), cols));
}

// Reshapes M to rows x cols, keeping its entries, after reserve_columns.
// False when memory cannot be had (M unchanged).
template <class T>
bool grow_columns(dense2D<T>& M, std::size_t rows, std::size_t cols) noexcept {
  return reserve_columns(M, rows, cols) && M.resize(rows, cols);
}

// Gives a coordinates matrix with fewer than `dim` rows the missing rows,
// filled with 0.0. False when the growth cannot be had.
inline bool ensure_rows(dense2D<double>& coords, int dim) noexcept {
  const std::size_t rows = static_cast<std::size_t>(dim);
  return coords.rows() >= rows || coords.resize(rows, coords.cols(), 0.0);
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

// Appends columns of `height` rows to a matrix output one at a time. A
// resize of the math library walks every column, so the appender resizes
// once per growth, to the whole capacity, and trims the unused tail when it
// finishes (at the latest on destruction), so that the output then holds
// exactly the columns appended. The columns of an output without rows are
// existing columns too: they stay in front, taking the height filled with 0
// once something is appended.
class column_appender {
 public:
  column_appender(dense2D<unsigned>& out, unsigned height) noexcept
      : out_(out), height_(height), used_(out.cols()) {}
  column_appender(const column_appender&) = delete;
  column_appender& operator=(const column_appender&) = delete;
  ~column_appender() { finish(); }

  // Appends nodes[0..n), padded with ~0U; false when memory cannot be had.
  bool append(const unsigned* nodes, unsigned n) noexcept {
    if (used_ == out_.cols() && !grow()) return false;
    unsigned* column = out_.column(used_++);
    std::copy(nodes, nodes + n, column);
    std::fill(column + n, column + height_, no_index);
    return true;
  }

  void finish() noexcept {
    if (used_ != out_.cols()) out_.resize(height_, used_);  // shrinking stays in place
  }

 private:
  bool grow() noexcept {
    return reserve_columns(out_, height_, used_ + 1) &&
           out_.resize(height_, std::max(out_.col_capacity(), used_ + 1));
  }

  dense2D<unsigned>& out_;
  unsigned height_;
  std::size_t used_;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
