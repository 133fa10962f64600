// Points with exactly the same coordinates: an open-addressing table of the
// distinct finite points met so far, each entered with a position that the
// caller can turn back into its coordinates. Two points are the same when
// == holds on every coordinate, so -0.0 meets 0.0 (both hash as 0.0); a
// point with a NaN or infinite coordinate is never entered.
//
// A slot holds the point's 32-bit hash and its position + 1 (0: empty).
// The table doubles when it is half full.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

class point_table {
 public:
  static constexpr std::uint32_t kNone = ~std::uint32_t(0);

  // The hash of the point x of `dims` coordinates: non-zero for a finite
  // point, 0 for a point that is never entered.
  static std::uint32_t hash(const double* x, unsigned dims) noexcept {
    std::uint64_t h = 0;
    for (unsigned k = 0; k < dims; ++k) {
      if (!std::isfinite(x[k])) return 0;
      const double v = x[k] == 0 ? 0.0 : x[k];
      std::uint64_t bits;
      std::memcpy(&bits, &v, sizeof bits);
      h = mix(h * kCombine + bits);
    }
    return static_cast<std::uint32_t>(h >> 32) | kSetBit;
  }

  // Empties the table, with room for `points` points before it grows.
  // False when memory cannot be had.
  bool reset(std::size_t points) {
    std::size_t size = kFirstSlots;
    while (size < 2 * points) size *= 2;
    used_ = 0;
    if (slots_.size() == size) {
      std::fill(slots_.begin(), slots_.end(), 0);
      return true;
    }
    slots_.clear();
    return empty_slots(size);
  }

  // Where the search for a point of hash h starts, to be fetched ahead.
  const void* home_address(std::uint32_t h) const noexcept { return &slots_[home(h)]; }

  // The position entered with a point of hash h (non-zero) for which
  // same(position) holds, or kNone; then add() enters the point at the
  // place this search ended.
  template <class Same>
  std::uint32_t find(std::uint32_t h, Same&& same) {
    const std::size_t mask = slots_.size() - 1;
    for (slot_ = home(h);; slot_ = (slot_ + 1) & mask) {
      const std::uint64_t held = slots_[slot_];
      if (held == 0) break;
      const std::uint32_t position = static_cast<std::uint32_t>(held & kPositionBits) - 1;
      if (static_cast<std::uint32_t>(held >> kHashShift) == h && same(position)) return position;
    }
    hash_ = h;
    return kNone;
  }

  // Enters `position` for the point of the last find() that found none
  // (position < kNone - 1). False when the table cannot grow.
  bool add(std::uint32_t position) {
    slots_[slot_] = (std::uint64_t(hash_) << kHashShift) | (std::uint64_t(position) + 1);
    return 2 * ++used_ <= slots_.size() || grow();
  }

 private:
  static constexpr std::uint64_t kMixA = 0xFF51AFD7ED558CCDull;
  static constexpr std::uint64_t kMixB = 0xC4CEB9FE1A85EC53ull;
  static constexpr std::uint64_t kCombine = 0x9E3779B97F4A7C15ull;
  static constexpr std::uint32_t kSetBit = 1;
  static constexpr unsigned kHashShift = 32;
  static constexpr std::uint64_t kPositionBits = 0xFFFFFFFFull;
  static constexpr std::size_t kFirstSlots = 1024;

  // A multiply-xorshift finalizer.
  static std::uint64_t mix(std::uint64_t h) noexcept {
    h ^= h >> 33;
    h *= kMixA;
    h ^= h >> 33;
    h *= kMixB;
    h ^= h >> 33;
    return h;
  }
  std::size_t home(std::uint32_t h) const noexcept {
    return static_cast<std::size_t>(mix(h)) & (slots_.size() - 1);
  }

  // `size` empty slots, written before they are read: fresh storage comes
  // from the system as pages mapped on first touch, and a page first read
  // is mapped shared and copied on its first write, which, on a thread of a
  // process running others, stops them all to flush their address caches.
  bool empty_slots(std::size_t size) {
    if (!slots_.resize(size)) return false;
    std::fill(slots_.begin(), slots_.end(), 0);
    return true;
  }

  // Doubles the table; every held point goes to its place in the new one.
  bool grow() {
    dense1D<std::uint64_t> old;
    old.swap(slots_);
    if (!empty_slots(2 * old.size())) return false;
    const std::size_t mask = slots_.size() - 1;
    for (const std::uint64_t held : old) {
      if (held == 0) continue;
      std::size_t slot = home(static_cast<std::uint32_t>(held >> kHashShift));
      while (slots_[slot] != 0) slot = (slot + 1) & mask;
      slots_[slot] = held;
    }
    return true;
  }

  dense1D<std::uint64_t> slots_;
  std::size_t used_ = 0, slot_ = 0;
  std::uint32_t hash_ = 0;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
