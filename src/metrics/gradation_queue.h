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
    heap_[0] = heap_[last];
    heap_.resize(last);
    if (last > 0) sift_down(0);
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

  void sift_down(std::size_t i) noexcept {
    const std::size_t n = heap_.size();
    const violation v = heap_[i];
    for (;;) {
      std::size_t child = 2 * i + 1;
      if (child >= n) break;
      if (child + 1 < n && heap_[child].key < heap_[child + 1].key) ++child;
      if (!(v.key < heap_[child].key)) break;
      heap_[i] = heap_[child];
      i = child;
    }
    heap_[i] = v;
  }

  dense1D<violation> heap_;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
