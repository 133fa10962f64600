// The number of connected parts of a neighbour matrix on several threads,
// for the whole-mesh layer.

#include <algorithm>
#include <cstddef>
#include <new>
#include <vector>

#include "common/parallel.h"
#include "topology/threaded.h"

namespace ovk {
namespace quernfold {
namespace detail {
namespace {

// An element across a face of another (both below the column count).
struct element_link {
  unsigned from, to;
};

// The root of element e's tree in `parent`, halving the path on the way.
unsigned find_root(std::vector<unsigned>& parent, unsigned e) {
  while (parent[e] != e) {
    parent[e] = parent[parent[e]];
    e = parent[e];
  }
  return e;
}

// Joins the trees of a and b, the larger root under the smaller.
void join(std::vector<unsigned>& parent, unsigned a, unsigned b) {
  a = find_root(parent, a);
  b = find_root(parent, b);
  if (a < b) parent[b] = a;
  if (b < a) parent[a] = b;
}

// Joins the links inside columns [first, last), whose parent entries only
// this range touches, and keeps the links leaving the range in `leaving`.
void join_range(const dense2D<unsigned>& neighbors, std::size_t first, std::size_t last,
                std::vector<unsigned>& parent, std::vector<element_link>& leaving) {
  const std::size_t E = neighbors.cols(), rows = neighbors.rows();
  for (std::size_t j = first; j < last; ++j) parent[j] = static_cast<unsigned>(j);
  for (std::size_t j = first; j < last; ++j)
    for (std::size_t r = 0; r < rows; ++r) {
      const unsigned n = neighbors(r, j);
      if (n >= E) continue;
      if (n >= first && n < last)
        join(parent, static_cast<unsigned>(j), n);
      else
        leaving.push_back({static_cast<unsigned>(j), n});
    }
}

// Whether two matrices of the same shape hold the same entries, compared
// in column ranges on the threads.
bool same_entries(const dense2D<unsigned>& a, const dense2D<unsigned>& b, unsigned threads) {
  if (a.rows() != b.rows() || a.cols() != b.cols()) return false;
  const std::size_t rows = a.rows();
  return !any_range(threads, a.cols(), [&](std::size_t first, std::size_t last) {
    return !std::equal(a.data() + first * rows, a.data() + last * rows, b.data() + first * rows);
  });
}

// Parts of a matrix whose links go both ways: trees joined per range on the
// threads, then the links between ranges in range order, then the roots.
// Throws std::bad_alloc when memory runs out.
std::size_t count_joined_parts(const dense2D<unsigned>& neighbors, unsigned threads) {
  const std::size_t E = neighbors.cols();
  std::vector<unsigned> parent(E);
  std::vector<std::vector<element_link>> leaving(range_parts(threads, E));
  std::vector<char> failed(leaving.size(), 0);
  parallel_parts(threads, E, [&](std::size_t part, std::size_t first, std::size_t last) {
    try {
      join_range(neighbors, first, last, parent, leaving[part]);
    } catch (const std::bad_alloc&) {
      failed[part] = 1;
    }
  });
  for (char f : failed)
    if (f) throw std::bad_alloc();
  for (const std::vector<element_link>& links : leaving)
    for (const element_link& l : links) join(parent, l.from, l.to);
  std::size_t roots = 0;
  for (std::size_t j = 0; j < E; ++j) roots += parent[j] == j ? 1 : 0;
  return roots;
}

}  // namespace

int count_connected_parts(const dense2D<unsigned>& neighbors, const dense2D<unsigned>& unlinked,
                          unsigned threads, std::size_t& parts) {
  threads = thread_count(threads);
  if (threads > 1 && same_entries(neighbors, unlinked, threads)) try {
      parts = count_joined_parts(neighbors, threads);
      return 0;
    } catch (const std::bad_alloc&) {
      return no_memory;
    }
  dense1D<unsigned> elements, offsets;
  if (int code = get_subdomains(neighbors, elements, offsets)) return code;
  parts = offsets.size() - 1;
  return 0;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
