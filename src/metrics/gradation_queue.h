// Priority queue of edges that violate a size bound: a binary max-heap of
// 16-byte entries keyed by the edge measure in single precision.
#pragma once

#include <cfloat>
#include <cstddef>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// "The metric at a may have to be corrected towards b", recorded at step
// `stamp` of the correction loop.
struct violation {
  float key;
  unsigned stamp;
  unsigned a;
  unsigned b;
};
static_assert(sizeof(violation) == 16, "queue entries are meant to stay at 16 bytes");

// The edge measure as a heap key: capped at FLT_MAX, then rounded to float.
inline float violation_key(double measure) noexcept {
  return static_cast<float>(measure < FLT_MAX ? measure : FLT_MAX);
}

class violation_queue {
 public:
  bool empty() const noexcept { return heap_.empty(); }
  std::size_t size() const noexcept { return heap_.size(); }

  // False when the heap cannot grow.
  bool push(const violation& v) noexcept {
    if (!heap_.push_back(v)) return false;
    sift_up(heap_.size() - 1);
    return true;
  }

  // Removes and returns the entry with the largest key. Not for an empty
  // queue.
  violation pop() noexcept {
    const violation top = heap_[0];
    const std::size_t last = heap_.size() - 1;
    const violation moved = heap_[last];
    heap_.resize(last);
    if (last > 0) sift_down_from_root(moved);
    return top;
  }

 private:
  void sift_up(std::size_t i) noexcept {
    const violation v = heap_[i];
    while (i > 0) {
      const std::size_t parent = (i - 1) / 2;
      if (!(heap_[parent].key < v.key)) break;
      heap_[i] = heap_[parent];
      i = parent;
    }
    heap_[i] = v;
  }

  // Moves the hole at the root down to a leaf along the larger children,
  // then lets `v` rise from there: the entry moved up from the end of the
  // heap is usually small, so this costs one comparison per level instead of
  // two.
  void sift_down_from_root(const violation& v) noexcept {
    const std::size_t n = heap_.size();
    std::size_t hole = 0;
    for (;;) {
      std::size_t child = 2 * hole + 1;
      if (child >= n) break;
      if (child + 1 < n && heap_[child].key < heap_[child + 1].key) ++child;
      heap_[hole] = heap_[child];
      hole = child;
    }
    heap_[hole] = v;
    sift_up(hole);
  }

  dense1D<violation> heap_;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
