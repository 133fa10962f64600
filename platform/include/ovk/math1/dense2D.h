// dense2D: a column-major matrix view over a shared, reference-counted block.
//
// Entry (i, j) lives at block[offset + j * ld + i]; columns are contiguous and
// ld >= rows. Copies are shallow; copy() is deep. sub_matrix() returns a
// window that writes through to its parent.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "ovk/math1/dense1D.h"
#include "ovk/math1/storage.h"

namespace ovk {
namespace math1 {

template <class T>
class dense2D {
 public:
  using value_type = T;
  using block_type = vector_num<T, 8>;

  dense2D() noexcept = default;

  // rows x cols, all zero. Throws std::bad_alloc when memory cannot be had.
  dense2D(std::size_t rows, std::size_t cols) : dense2D(rows, cols, T()) {}

  dense2D(std::size_t rows, std::size_t cols, const T& v) {
    if (!resize(rows, cols, v)) throw std::bad_alloc();
  }

  // Each inner list is one column; all columns must have the same length.
  dense2D(std::initializer_list<std::initializer_list<T>> columns) {
    const std::size_t r = columns.size() ? columns.begin()->size() : 0;
    for (const auto& c : columns)
      if (c.size() != r) throw std::invalid_argument("dense2D: columns of unequal length");
    if (!resize(r, columns.size())) throw std::bad_alloc();
    std::size_t j = 0;
    if (r == 0) return;  // nothing to copy, and no entry to take the address of
    for (const auto& c : columns) std::copy(c.begin(), c.end(), column(j++));
  }

  dense2D(const dense2D& other) noexcept { share(other); }

  // Moving hands the view over without touching the reference count.
  dense2D(dense2D&& other) noexcept { swap(other); }

  // Shares other's block. Copy-and-swap: the old block is released last, so
  // assigning a window of our own block (or ourselves) is safe.
  dense2D& operator=(const dense2D& other) noexcept {
    dense2D keep(other);
    swap(keep);
    return *this;
  }

  dense2D& operator=(dense2D&& other) noexcept {
    dense2D keep(static_cast<dense2D&&>(other));
    swap(keep);
    return *this;
  }

  void swap(dense2D& other) noexcept {
    std::swap(block_, other.block_);
    std::swap(offset_, other.offset_);
    std::swap(rows_, other.rows_);
    std::swap(cols_, other.cols_);
    std::swap(ld_, other.ld_);
  }

  ~dense2D() { drop(); }

  // Sets every entry of the view (rows x cols, not the gaps below ld).
  dense2D& operator=(const T& v) noexcept {
    for (std::size_t j = 0; j < cols_; ++j) detail::fill_n(column(j), rows_, v);
    return *this;
  }

  std::size_t rows() const noexcept { return rows_; }
  std::size_t cols() const noexcept { return cols_; }
  std::size_t ld() const noexcept { return ld_; }
  bool empty() const noexcept { return rows_ * cols_ == 0; }
  // Columns of the current height that fit without reallocating.
  std::size_t col_capacity() const noexcept {
    if (!block_) return 0;
    const std::size_t step = ld_ ? ld_ : rows_;
    return step ? (block_->capacity() - offset_) / step : 0;
  }

  T& operator()(std::size_t i, std::size_t j) noexcept {
    return block_->data()[offset_ + j * ld_ + i];
  }
  const T& operator()(std::size_t i, std::size_t j) const noexcept {
    return block_->data()[offset_ + j * ld_ + i];
  }

  T* data() noexcept { return block_ ? block_->data() + offset_ : nullptr; }
  const T* data() const noexcept { return block_ ? block_->data() + offset_ : nullptr; }
  T* column(std::size_t j) noexcept { return data() + j * ld_; }
  const T* column(std::size_t j) const noexcept { return data() + j * ld_; }

  // Keeps entry (i, j) wherever it stays in range; added entries are T() (or v).
  bool resize(std::size_t rows, std::size_t cols) noexcept { return resize(rows, cols, T()); }

  bool resize(std::size_t rows, std::size_t cols, const T& v) noexcept {
    const std::size_t keep_r = std::min(rows, rows_), keep_c = std::min(cols, cols_);
    const bool has_entries = rows_ * cols_ != 0;
    if (!has_entries || rows == rows_ || (rows < rows_ && cols <= cols_)) {
      // Same layout (or nothing to keep): grow or shrink in place when it fits.
      const std::size_t ld = has_entries ? ld_ : rows;
      if (fits_in_place(ld, rows, cols, has_entries ? cols_ : 0)) {
        if (!has_entries) ld_ = ld;
        fill_added(rows, cols, keep_r, keep_c, v);
        rows_ = rows;
        cols_ = cols;
        return true;
      }
    }
    // New block with ld = rows. A zero fill takes storage that comes
    // zero-filled from the system and writes only the kept entries, so a
    // matrix grown far past its entries costs memory only where they are.
    std::size_t total;
    if (!detail::checked_mul(rows, cols, total)) return false;
    const bool zero_fill = detail::all_zero_bytes(v);
    if (zero_fill && grow_packed(rows, total)) {
      cols_ = cols;
      return true;
    }
    block_type* fresh = block_type::create(total, zero_fill);
    if (!fresh) return false;
    for (std::size_t j = 0; j < (zero_fill ? keep_c : cols); ++j) {
      T* dst = fresh->data() + j * rows;
      if (j < keep_c) detail::copy_n(column(j), keep_r, dst);
      if (zero_fill) continue;
      if (j < keep_c)
        detail::fill_n(dst + keep_r, rows - keep_r, v);
      else
        detail::fill_n(dst, rows, v);
    }
    drop();
    block_ = fresh;
    offset_ = 0;
    rows_ = rows;
    cols_ = cols;
    ld_ = rows;
    return true;
  }

  // Room for rows x cols entries without changing the shape. When the matrix
  // has entries and rows equals its height, later column growth happens in
  // place; an empty matrix adopts ld = rows.
  bool reserve(std::size_t rows, std::size_t cols) noexcept {
    const bool has_entries = rows_ * cols_ != 0;
    const std::size_t ld = has_entries ? std::max(ld_, rows) : rows;
    if (has_entries && rows > ld_) {
      // A taller layout: relayout now, keeping the entries.
      std::size_t total;
      if (!detail::checked_mul(rows, std::max(cols, cols_), total)) return false;
      block_type* fresh = block_type::create(total);
      if (!fresh) return false;
      for (std::size_t j = 0; j < cols_; ++j)
        detail::copy_n(column(j), rows_, fresh->data() + j * rows);
      drop();
      block_ = fresh;
      offset_ = 0;
      ld_ = rows;
      return true;
    }
    if (fits_in_place(ld, rows, cols, cols)) {
      if (!has_entries) ld_ = ld;
      return true;
    }
    std::size_t total;
    if (!detail::checked_mul(ld, std::max(cols, cols_), total)) return false;
    if (has_entries && grow_packed(ld, total)) return true;
    block_type* fresh = block_type::create(total);
    if (!fresh) return false;
    for (std::size_t j = 0; j < cols_ && has_entries; ++j)
      detail::copy_n(column(j), rows_, fresh->data() + j * ld);
    drop();
    block_ = fresh;
    offset_ = 0;
    ld_ = ld;
    return true;
  }

  // rows and cols 0; the storage stays for later growth.
  void clear() noexcept {
    rows_ = 0;
    cols_ = 0;
  }

  void clear_hard() noexcept {
    drop();
    offset_ = rows_ = cols_ = ld_ = 0;
  }

  // Deep copy of src into a block of its own (ld = rows).
  bool copy(const dense2D& src) noexcept {
    std::size_t total;
    if (!detail::checked_mul(src.rows_, src.cols_, total)) return false;
    block_type* fresh = nullptr;
    if (total) {
      fresh = block_type::create(total);
      if (!fresh) return false;
      for (std::size_t j = 0; j < src.cols_; ++j)
        detail::copy_n(src.column(j), src.rows_, fresh->data() + j * src.rows_);
    }
    drop();
    block_ = fresh;
    offset_ = 0;
    rows_ = src.rows_;
    cols_ = src.cols_;
    ld_ = src.rows_;
    return true;
  }

  void shallow_copy(const dense2D& src) noexcept { *this = src; }

  // Window of rows [i0, i0 + rows) and columns [j0, j0 + cols), sharing storage;
  // its ld() is the parent's.
  dense2D sub_matrix(std::size_t i0, std::size_t j0, std::size_t rows, std::size_t cols) const {
    if (i0 > rows_ || rows > rows_ - i0 || j0 > cols_ || cols > cols_ - j0)
      throw std::out_of_range("dense2D::sub_matrix");
    dense2D view(*this);
    view.offset_ += j0 * ld_ + i0;
    view.rows_ = rows;
    view.cols_ = cols;
    return view;
  }

  // The matrix as one vector, column after column. Shares the storage when the
  // columns are packed (ld == rows); otherwise returns a packed deep copy.
  dense1D<T> as_vector() const {
    dense1D<T> v;
    if (rows_ * cols_ == 0) return v;
    if (ld_ == rows_) {
      v.attach(block_, offset_, rows_ * cols_);
      return v;
    }
    if (!v.resize(rows_ * cols_)) throw std::bad_alloc();
    for (std::size_t j = 0; j < cols_; ++j) detail::copy_n(column(j), rows_, v.data() + j * rows_);
    return v;
  }

  block_type* block() const noexcept { return block_; }
  std::size_t offset() const noexcept { return offset_; }

  // Adopts an existing block (one reference is added) as a rows x cols
  // matrix with leading dimension ld >= rows, starting at `offset`.
  void attach(block_type* block, std::size_t offset, std::size_t rows, std::size_t cols,
              std::size_t ld) noexcept {
    if (block) block->add_ref();
    drop();
    block_ = block;
    offset_ = offset;
    rows_ = rows;
    cols_ = cols;
    ld_ = ld;
  }

 private:
  void share(const dense2D& other) noexcept {
    block_ = other.block_;
    offset_ = other.offset_;
    rows_ = other.rows_;
    cols_ = other.cols_;
    ld_ = other.ld_;
    if (block_) block_->add_ref();
  }

  void drop() noexcept {
    block_type::release(block_);
    block_ = nullptr;
  }

  // True when rows x cols with leading dimension ld fits the current block
  // from the view's offset, and growing past `kept_cols` columns does not
  // write into storage that another view shares.
  bool fits_in_place(std::size_t ld, std::size_t rows, std::size_t cols,
                     std::size_t kept_cols) const noexcept {
    if (!block_) return false;
    if (rows > ld) return false;
    std::size_t need;
    if (cols == 0)
      need = 0;
    else if (!detail::checked_mul(ld, cols - 1, need) || need > static_cast<std::size_t>(-1) - rows)
      return false;
    else
      need += rows;
    if (need > block_->capacity() - offset_) return false;
    const bool grows = cols > kept_cols || (kept_cols && rows > rows_);
    return !grows || block_->use_count() == 1;
  }

  // Grows the block to `total` entries where it is, for a matrix whose
  // columns of height `rows` are packed from the start of a block that only
  // it holds. Every entry past its columns is then zero (the stale ones
  // within the old capacity are cleared). False, nothing changed, otherwise.
  bool grow_packed(std::size_t rows, std::size_t total) noexcept {
    if (!block_ || offset_ != 0 || rows != rows_ || ld_ != rows_ || rows_ * cols_ == 0)
      return false;
    const std::size_t before = block_->capacity();
    if (!block_->grow(total)) return false;
    const std::size_t used = rows_ * cols_;
    if (before > used) detail::fill_n(block_->data() + used, before - used, T());
    return true;
  }

  // Fills the entries a resize adds. Kept columns gain entries only when the
  // height grows, so growing by columns alone costs only the new columns.
  void fill_added(std::size_t rows, std::size_t cols, std::size_t keep_r, std::size_t keep_c,
                  const T& v) noexcept {
    for (std::size_t j = keep_r < rows ? 0 : std::min(keep_c, cols); j < cols; ++j) {
      T* c = data() + j * ld_;
      if (j < keep_c)
        detail::fill_n(c + keep_r, rows - keep_r, v);
      else
        detail::fill_n(c, rows, v);
    }
  }

  block_type* block_ = nullptr;
  std::size_t offset_ = 0;
  std::size_t rows_ = 0;
  std::size_t cols_ = 0;
  std::size_t ld_ = 0;
};

}  // namespace math1
}  // namespace ovk
