// Balanced construction of the k-d tree: median selection by the splitting
// order, in place, pre-order.
#pragma once

#include <cstddef>
#include <utility>

namespace ovk {
namespace quernfold {
namespace detail {

// Ranges of at most this many nodes are ordered by insertion sort.
constexpr std::size_t kSmallRange = 32;
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

// Reorders v[0 .. n) so that v[m] is the item a full sort on axis a would
// put there, the items before it precede it and those after it follow it.
template <unsigned D>
void select_median(build_item<D>* v, std::size_t n, std::size_t m, unsigned a) noexcept {
  std::size_t lo = 0, hi = n;  // v[m]'s item lies in [lo, hi)
  while (hi - lo > kSmallRange) {
    // Median of three moved to hi - 1 as the pivot.
    const std::size_t mid = lo + (hi - lo) / 2;
    order_three(v, lo, mid, hi - 1, a);
    std::swap(v[mid], v[hi - 1]);
    const std::size_t p = partition(v, lo, hi, a);
    if (m == p) return;
    if (m < p)
      hi = p;
    else
      lo = p + 1;
  }
  insertion_sort(v + lo, hi - lo, a);
}

// Builds in place over v[0 .. n): the subtree of a range of the array takes
// the same range of entry positions in pre-order, its median moved to the
// range's first position, the left part right after it, then the right
// part. link(pos, left, right) receives each entry's children (kNone for
// none).
template <unsigned D, class Link>
void build_preorder(build_item<D>* v, std::size_t n, unsigned kNone, Link&& link) {
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
    select_median(v + r.first, r.count, m, r.axis);
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
