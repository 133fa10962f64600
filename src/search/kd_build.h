// Balanced construction of the k-d tree: median selection by the splitting
// order, in place, pre-order.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace ovk {
namespace quernfold {
namespace detail {

// Ranges of at most this many nodes are ordered by insertion sort: by the
// selection for any coordinates, and by the one for ordered coordinates,
// whose partitions cost less than the sort's mispredicted branches.
constexpr std::size_t kSmallRange = 32;
constexpr std::size_t kSmallOrderedRange = 8;
// A node during construction: its coordinates, index and list position.
template <unsigned D>
struct build_item {
  double x[D];
  unsigned node;
  unsigned rank;
};

// Splitting order on axis a: smaller coordinate first, then smaller index.
template <unsigned D>
inline bool precedes(const build_item<D>& p, const build_item<D>& q, unsigned a) noexcept {
  return p.x[a] < q.x[a] || (p.x[a] == q.x[a] && p.node < q.node);
}

template <unsigned D>
inline void order_three(build_item<D>* v, std::size_t i, std::size_t j, std::size_t k,
                        unsigned a) noexcept {
  if (precedes(v[j], v[i], a)) std::swap(v[i], v[j]);
  if (precedes(v[k], v[j], a)) std::swap(v[j], v[k]);
  if (precedes(v[j], v[i], a)) std::swap(v[i], v[j]);
}

// Hoare partition around v[hi - 1]; equal keys (a node listed several
// times) spread over both sides, so they cannot make the selection quadratic.
// Returns the pivot's final position.
template <unsigned D>
inline std::size_t partition(build_item<D>* v, std::size_t lo, std::size_t hi,
                             unsigned a) noexcept {
  const build_item<D> pivot = v[hi - 1];
  std::size_t i = lo, j = hi - 1;
  for (;;) {
    while (precedes(v[i], pivot, a)) ++i;
    do --j;
    while (j > i && precedes(pivot, v[j], a));
    if (i >= j) break;
    std::swap(v[i], v[j]);
    ++i;
  }
  std::swap(v[i], v[hi - 1]);
  return i;
}

template <unsigned D>
inline void insertion_sort(build_item<D>* v, std::size_t n, unsigned a) noexcept {
  for (std::size_t i = 1; i < n; ++i) {
    if (!precedes(v[i], v[i - 1], a)) continue;
    const build_item<D> item = v[i];
    std::size_t j = i;
    do {
      v[j] = v[j - 1];
      --j;
    } while (j > 0 && precedes(item, v[j - 1], a));
    v[j] = item;
  }
}

// After a partition whose pivot ended at p: true when p is the target m,
// else [lo, hi) becomes the part that holds m.
inline bool narrow_to_target(std::size_t p, std::size_t m, std::size_t& lo,
                             std::size_t& hi) noexcept {
  if (m < p)
    hi = p;
  else
    lo = p + 1;
  return m == p;
}

// Reorders v[0 .. n) so that v[m] is the item a full sort on axis a would
// put there, the items before it precede it and those after it follow it.
// This is the selection for coordinates that may be NaN, which no order
// ranks: its median-of-three pivots and Hoare partitions decide where such
// items go, and trees over them keep the shape those choices give.
template <unsigned D>
void select_median_any(build_item<D>* v, std::size_t n, std::size_t m, unsigned a) noexcept {
  std::size_t lo = 0, hi = n;  // v[m]'s item lies in [lo, hi)
  while (hi - lo > kSmallRange) {
    // Median of three moved to hi - 1 as the pivot.
    const std::size_t mid = lo + (hi - lo) / 2;
    order_three(v, lo, mid, hi - 1, a);
    std::swap(v[mid], v[hi - 1]);
    const std::size_t p = partition(v, lo, hi, a);
    if (narrow_to_target(p, m, lo, hi)) return;
  }
  insertion_sort(v + lo, hi - lo, a);
}

// Ranges longer than this take their pivot from a selection in a sample
// window around the target (Floyd and Rivest), so that one pass leaves the
// target in a short part.
constexpr std::size_t kSampledRange = 600;

// Partition of v[lo .. hi) around the item at p, for coordinates that are
// never NaN, without branches on the comparisons (Lomuto's scheme: every
// item is swapped with the end of the part that precedes the pivot, which
// grows by the outcome of the splitting order written as one expression).
// Copies of the pivot's node go before it at odd positions and after it at
// even ones, so that a node listed many times cannot make the selection
// quadratic. Returns the pivot's final position.
template <unsigned D>
inline std::size_t partition_at(build_item<D>* v, std::size_t lo, std::size_t hi, std::size_t p,
                                unsigned a) noexcept {
  std::swap(v[p], v[hi - 1]);
  const double key = v[hi - 1].x[a];
  const std::uint64_t node = v[hi - 1].node;
  std::size_t store = lo;
  for (std::size_t i = lo; i + 1 < hi; ++i) {
    const build_item<D> item = v[i];
    const double x = item.x[a];
    const bool before = (x < key) | ((x == key) & (item.node < node + (i & 1)));
    v[i] = v[store];
    v[store] = item;
    store += before;
  }
  std::swap(v[store], v[hi - 1]);
  return store;
}

// The window [first, last) of a range [lo, hi) whose own item of rank m
// estimates the range's: about (hi - lo)^(2/3) / 2 items, set off from m
// towards the range's nearer end by a few standard deviations of the
// estimate, so that the target usually ends in the shorter part.
inline void sample_window(std::size_t lo, std::size_t hi, std::size_t m, std::size_t& first,
                          std::size_t& last) noexcept {
  const double n = static_cast<double>(hi - lo);
  const double i = static_cast<double>(m - lo);
  const double z = std::log(n);
  const double s = 0.5 * std::exp(2 * z / 3);
  const double sd = 0.5 * std::sqrt(z * s * (n - s) / n) * (2 * i < n ? -1 : 1);
  const double left = static_cast<double>(m) - i * s / n + sd;
  const double right = static_cast<double>(m) + (n - i) * s / n + sd;
  first = left > static_cast<double>(lo) ? static_cast<std::size_t>(left) : lo;
  last = right < static_cast<double>(hi - 1) ? static_cast<std::size_t>(right) + 1 : hi;
  if (first > m) first = m;
  if (last <= m) last = m + 1;
}

// The selection of select_median_any on items [lo, hi) with no NaN on axis
// a, where the splitting order is total (equal items are copies of one
// node): any correct selection puts the same item at m and the same sets
// before and after it.
template <unsigned D>
void select_ordered(build_item<D>* v, std::size_t lo, std::size_t hi, std::size_t m,
                    unsigned a) noexcept {
  while (hi - lo > kSmallOrderedRange) {
    if (hi - lo > kSampledRange) {
      std::size_t first, last;
      sample_window(lo, hi, m, first, last);
      select_ordered(v, first, last, m, a);
    } else {
      order_three(v, lo, m, hi - 1, a);
    }
    const std::size_t p = partition_at(v, lo, hi, m, a);
    if (narrow_to_target(p, m, lo, hi)) return;
  }
  insertion_sort(v + lo, hi - lo, a);
}

// The median selection of build_preorder: the ordered one unless the items
// hold a NaN coordinate.
template <unsigned D>
void select_median(build_item<D>* v, std::size_t n, std::size_t m, unsigned a,
                   bool ordered) noexcept {
  if (ordered)
    select_ordered(v, 0, n, m, a);
  else
    select_median_any(v, n, m, a);
}

// Builds in place over v[0 .. n): the subtree of a range of the array takes
// the same range of entry positions in pre-order, its median moved to the
// range's first position, the left part right after it, then the right
// part. link(pos, left, right) receives each entry's children (kNone for
// none).
template <unsigned D, class Link>
void build_preorder(build_item<D>* v, std::size_t n, bool ordered, unsigned kNone, Link&& link) {
  struct range {
    std::size_t first, count;
    unsigned axis;
  };
  // Pending ranges never exceed one per level of a balanced tree.
  range todo[2 * 8 * sizeof(std::size_t)];
  std::size_t top = 0;
  if (n) todo[top++] = {0, n, 0};
  while (top) {
    const range r = todo[--top];
    if (r.count == 1) {
      link(r.first, kNone, kNone);
      continue;
    }
    const std::size_t m = r.count / 2;
    select_median(v + r.first, r.count, m, r.axis, ordered);
    std::swap(v[r.first], v[r.first + m]);
    const unsigned next = r.axis + 1 == D ? 0 : r.axis + 1;
    const std::size_t right_count = r.count - m - 1;
    link(r.first, m ? static_cast<unsigned>(r.first + 1) : kNone,
         right_count ? static_cast<unsigned>(r.first + m + 1) : kNone);
    if (right_count) todo[top++] = {r.first + m + 1, right_count, next};
    if (m) todo[top++] = {r.first + 1, m, next};
  }
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
