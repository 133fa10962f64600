// Matrices grown column by column while a file is read: appended columns
// (column_writer) and node columns stored by identifier (node_columns).
#pragma once

#include <algorithm>
#include <cstddef>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Smallest power of two not below n (1 for n = 0).
std::size_t next_power_of_two(std::size_t n) noexcept;

// Fills a matrix column by column while it is read. The matrix is sized
// ahead in powers of two (resizing a matrix costs a pass over its columns,
// so it must not happen once per column) and cut to the columns actually
// written by finish(), which every reader calls on every path.
// Powers of two, not appended outputs' max(2 x columns, 4): readers fill outputs they emptied.
template <class T>
class column_writer {
 public:
  // Starts on an emptied matrix of `rows` rows.
  column_writer(dense2D<T>& M, std::size_t rows) noexcept : M_(M), rows_(rows) {}

  std::size_t size() const noexcept { return used_; }
  std::size_t rows() const noexcept { return rows_; }
  T* column(std::size_t j) noexcept { return M_.column(j); }
  const T* column(std::size_t j) const noexcept { return M_.column(j); }
  // The matrix as written so far (its columns from size() on are not).
  const dense2D<T>& matrix() const noexcept { return M_; }
  // Starts again from no column; the storage stays.
  void restart() noexcept { used_ = 0; }
  // Keeps the first n <= size() columns; the storage stays.
  void cut(std::size_t n) noexcept { used_ = std::min(used_, n); }

  // Columns [size(), n) come into use, every entry `fill`.
  bool extend(std::size_t n, const T& fill) noexcept {
    if (n <= used_) return true;
    if (n > M_.cols() && !M_.resize(rows_, next_power_of_two(std::max<std::size_t>(n, 4)), fill))
      return false;
    for (std::size_t j = used_; j < n; ++j) std::fill(M_.column(j), M_.column(j) + rows_, fill);
    used_ = n;
    return true;
  }

  // Room for n columns in all, so that appending up to n columns moves
  // nothing. False when the storage cannot grow (the columns held are kept).
  bool reserve(std::size_t n) noexcept { return n <= M_.cols() || M_.resize(rows_, n, T()); }

  // Storage for n columns in all (a power of two of them when it grows),
  // had but not written: pages the caller writes first are touched by the
  // thread that writes them. False when the storage cannot grow (the
  // columns held are kept).
  bool make_room(std::size_t n) noexcept {
    return n <= M_.cols() || M_.resize(rows_, next_power_of_two(std::max<std::size_t>(n, 4)), T());
  }
  // Columns [size(), n) come into use as the caller wrote them (every entry
  // of each; n at most the room made).
  void take(std::size_t n) noexcept { used_ = std::max(used_, n); }

  // Appends one column of rows() entries.
  bool append(const T* values) noexcept {
    T* column = append();
    if (column) std::copy(values, values + rows_, column);
    return column != nullptr;
  }

  // Appends one column for the caller to fill; nullptr when the storage
  // cannot grow.
  T* append() noexcept {
    if (used_ == M_.cols() &&
        !M_.resize(rows_, next_power_of_two(std::max<std::size_t>(used_ + 1, 4)), T()))
      return nullptr;
    return M_.column(used_++);
  }

  // Raises the height to `rows`; the new slots of every column hold `fill`.
  bool raise_rows(std::size_t rows, const T& fill) noexcept {
    if (rows <= rows_) return true;
    if (!M_.resize(rows, M_.cols(), fill)) return false;
    rows_ = rows;
    return true;
  }

  // Cuts the matrix to rows() x size(); a matrix that received no column is
  // left as the reader cleared it, 0 x 0.
  bool finish() noexcept {
    if (used_ == 0) {
      M_.clear();
      return true;
    }
    return M_.resize(rows_, used_);
  }

 private:
  dense2D<T>& M_;
  std::size_t rows_;
  std::size_t used_ = 0;
};

// Node columns stored by identifier (NASTRAN GRID, FEMAP node records): a
// node lands in its own column of a 3-row matrix and the columns in between
// are 0.0. The storage grows to the next power of two of columns and comes
// zero-filled from the system; only the columns that nodes land in are ever
// written or copied, so memory follows the nodes of the file, not the size
// of their identifiers.
class node_columns {
 public:
  // Starts on an emptied matrix.
  explicit node_columns(dense2D<double>& coords) noexcept : M_(coords) {}

  // Stores (x, y, z) in column `col`. False when storage cannot be had.
  bool set(std::size_t col, double x, double y, double z) noexcept;
  // Cuts the matrix to 3 x (highest column stored + 1); 0 x 0 when no node
  // was stored.
  bool finish() noexcept {
    if (used_ == 0) {
      M_.clear();
      return true;
    }
    return M_.resize(kRows, used_);
  }

 private:
  static constexpr std::size_t kRows = 3;
  dense2D<double>& M_;
  std::size_t used_ = 0;
  dense1D<std::size_t> stored_;  // the columns written, in the order written
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
