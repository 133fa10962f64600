// dense1D: a contiguous vector view over a shared, reference-counted block.
//
// Entry i lives at block[offset + i]. Copy construction and assignment share
// the block (shallow); copy() makes an independent deep copy. Operations that
// may allocate report failure through their bool result instead of throwing.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "ovk/math1/storage.h"

namespace ovk {
namespace math1 {

template <class T, int Align = 8>
class dense1D {
 public:
  using value_type = T;
  using block_type = vector_num<T, 8>;

  dense1D() noexcept = default;

  // n entries, all zero. Throws std::bad_alloc when memory cannot be had.
  explicit dense1D(std::size_t n) : dense1D(n, T()) {}

  dense1D(std::size_t n, const T& v) {
    if (!resize(n, v)) throw std::bad_alloc();
  }

  dense1D(std::initializer_list<T> values) {
    if (!resize(values.size())) throw std::bad_alloc();
    std::copy(values.begin(), values.end(), data());
  }

  dense1D(const dense1D& other) noexcept { share(other); }

  // Moving hands the view over without touching the reference count.
  dense1D(dense1D&& other) noexcept { swap(other); }

  // Shares other's block. Copy-and-swap: the old block is released last, so
  // assigning a view of our own block (or ourselves) is safe.
  dense1D& operator=(const dense1D& other) noexcept {
    dense1D keep(other);
    swap(keep);
    return *this;
  }

  dense1D& operator=(dense1D&& other) noexcept {
    dense1D keep(static_cast<dense1D&&>(other));
    swap(keep);
    return *this;
  }

  void swap(dense1D& other) noexcept {
    std::swap(block_, other.block_);
    std::swap(offset_, other.offset_);
    std::swap(size_, other.size_);
  }

  ~dense1D() { drop(); }

  // Sets every entry of the view to v.
  dense1D& operator=(const T& v) noexcept {
    detail::fill_n(data(), size_, v);
    return *this;
  }

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  // Entries the view can hold without reallocating.
  std::size_t capacity() const noexcept { return block_ ? block_->capacity() - offset_ : 0; }

  T& operator[](std::size_t i) noexcept { return block_->data()[offset_ + i]; }
  const T& operator[](std::size_t i) const noexcept { return block_->data()[offset_ + i]; }

  T* data() noexcept { return block_ ? block_->data() + offset_ : nullptr; }
  const T* data() const noexcept { return block_ ? block_->data() + offset_ : nullptr; }
  T* begin() noexcept { return data(); }
  T* end() noexcept { return data() + size_; }
  const T* begin() const noexcept { return data(); }
  const T* end() const noexcept { return data() + size_; }

  // Keeps entries [0, min(old, n)); added entries are T() (or v).
  bool resize(std::size_t n) noexcept { return resize(n, T()); }

  // Entries added in a new block come zero-filled from the system when v
  // is all zero bytes, so they are not written here.
  bool resize(std::size_t n, const T& v) noexcept {
    const bool zeros = detail::all_zero_bytes(v);
    bool zeroed = false;
    if (!ensure_room(n, n, zeros, &zeroed)) return false;
    if (n > size_ && !zeroed) detail::fill_n(data() + size_, n - size_, v);
    size_ = n;
    return true;
  }

  // Room for n entries without changing the size.
  bool reserve(std::size_t n) noexcept { return ensure_room(n, n); }

  bool push_back(const T& v) noexcept { return push_back_n(v, 1); }

  // Appends n copies of v, growing the storage geometrically when full.
  bool push_back_n(const T& v, std::size_t n) noexcept {
    if (n > static_cast<std::size_t>(-1) - size_) return false;
    const std::size_t want = size_ + n;
    std::size_t grown = std::max<std::size_t>(want, 8);
    if (size_ <= static_cast<std::size_t>(-1) / 2) grown = std::max(grown, 2 * size_);
    if (!ensure_room(want, grown)) return false;
    detail::fill_n(data() + size_, n, v);
    size_ = want;
    return true;
  }

  // Size 0; the storage stays for later growth.
  void clear() noexcept { size_ = 0; }

  // Size 0 and the storage released.
  void clear_hard() noexcept {
    drop();
    offset_ = 0;
    size_ = 0;
  }

  // Deep copy of src into a block of its own.
  bool copy(const dense1D& src) noexcept {
    if (src.size_ == 0) {
      clear_hard();
      return true;
    }
    block_type* fresh = block_type::create(src.size_);
    if (!fresh) return false;
    detail::copy_n(src.data(), src.size_, fresh->data());
    drop();
    block_ = fresh;
    offset_ = 0;
    size_ = src.size_;
    return true;
  }

  void shallow_copy(const dense1D& src) noexcept { *this = src; }

  // View of entries [start, start + n) sharing this view's storage.
  dense1D sub_vector(std::size_t start, std::size_t n) const {
    if (start > size_ || n > size_ - start) throw std::out_of_range("dense1D::sub_vector");
    dense1D view(*this);
    view.offset_ += start;
    view.size_ = n;
    return view;
  }

  // Same entries in the same order.
  bool operator==(const dense1D& other) const noexcept {
    if (size_ != other.size_) return false;
    const T* a = data();
    const T* b = other.data();
    if (a == b) return true;
    for (std::size_t i = 0; i < size_; ++i)
      if (!(a[i] == b[i])) return false;
    return true;
  }
  bool operator!=(const dense1D& other) const noexcept { return !(*this == other); }

  // The storage block and offset (for views built on top of this one).
  block_type* block() const noexcept { return block_; }
  std::size_t offset() const noexcept { return offset_; }

  // Adopts an existing block (one reference is added).
  void attach(block_type* block, std::size_t offset, std::size_t n) noexcept {
    if (block) block->add_ref();
    drop();
    block_ = block;
    offset_ = offset;
    size_ = n;
  }

 private:
  void share(const dense1D& other) noexcept {
    block_ = other.block_;
    offset_ = other.offset_;
    size_ = other.size_;
    if (block_) block_->add_ref();
  }

  void drop() noexcept {
    block_type::release(block_);
    block_ = nullptr;
  }

  // Makes room for `need` entries from the view's start. The block is reused
  // when it is large enough and, for growth past the current size, when no
  // other view shares it; otherwise `alloc` entries are allocated and the
  // current entries copied. With `zeroed` a new block is asked for zero
  // entries, and *past_size_zero tells whether the entries past the current size
  // are zero.
  bool ensure_room(std::size_t need, std::size_t alloc, bool zeroed = false,
                   bool* past_size_zero = nullptr) noexcept {
    if (block_ && need <= capacity() && (need <= size_ || block_->use_count() == 1)) return true;
    if (block_ && offset_ == 0 && block_->grow(std::max(need, alloc))) return true;
    block_type* fresh = block_type::create(std::max(need, alloc), zeroed);
    if (!fresh) return false;
    if (past_size_zero) *past_size_zero = zeroed;
    detail::copy_n(data(), std::min(size_, need), fresh->data());
    drop();
    block_ = fresh;
    offset_ = 0;
    return true;
  }

  block_type* block_ = nullptr;
  std::size_t offset_ = 0;
  std::size_t size_ = 0;
};

}  // namespace math1
}  // namespace ovk
