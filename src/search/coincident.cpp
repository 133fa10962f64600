// Nodes are entered in list order into the exact-point table; the table
// keeps the first node of each group, so a later node with the same
// coordinates finds its group's first node there. Meshes list neighboring
// nodes close together, so the coordinates compared on a hit are usually
// still in cache.
#include "search/coincident.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "common/parallel.h"
#include "common/point_table.h"
#include "common/prefetch.h"

namespace ovk {
namespace quernfold {
namespace detail {
namespace {

// The table starts with room for the groups of a list where every point
// comes this many times, and doubles when that is too little.
constexpr std::size_t kFirstShare = 8;
// How many nodes ahead the table slot is prefetched.
constexpr std::size_t kPrefetchAhead = 16;

bool same_point(const double* p, const double* q, unsigned dims) {
  for (unsigned k = 0; k < dims; ++k)
    if (!(p[k] == q[k])) return false;
  return true;
}

// The share of a hash among `shares` (the high bits, which the table's
// slots do not use alone).
std::size_t share_of(std::uint32_t h, std::size_t shares) {
  return static_cast<std::size_t>((std::uint64_t(h) * shares) >> 32);
}

// The leaders of the nodes at positions at(0), at(1), ... at(count - 1) of
// `nodes`, in ascending order, whose hash is never shared with a node left
// out: every node of a group has the group's hash, so the first one met is
// the smallest. Returns the followers found, or -1.
template <class At>
long find_leaders(const dense2D<double>& coords, unsigned dims, const dense1D<unsigned>& nodes,
                  const dense1D<std::uint32_t>& hashes, std::size_t count, At at,
                  dense1D<unsigned>& leader) {
  point_table table;
  if (!table.reset(count / kFirstShare + 1)) return -1;
  long followers = 0;
  for (std::size_t k = 0; k < count; ++k) {
    // The table is larger than the caches: ask for the slot of a node a few
    // places ahead while this one is probed.
    if (k + kPrefetchAhead < count) prefetch(table.home_address(hashes[at(k + kPrefetchAhead)]));
    const std::size_t i = at(k);
    if (hashes[i] == 0) continue;
    const double* x = coords.column(nodes[i]);
    const std::uint32_t first = table.find(
        hashes[i], [&](std::uint32_t j) { return same_point(coords.column(nodes[j]), x, dims); });
    if (first != point_table::kNone) {
      leader[i] = first;
      ++followers;
    } else if (!table.add(static_cast<std::uint32_t>(i))) {
      return -1;
    }
  }
  return followers;
}

// The positions of every share, each in ascending order, one after the
// other: share s holds positions[start[s] .. start[s + 1]).
bool share_positions(const dense1D<std::uint32_t>& hashes, std::size_t shares,
                     dense1D<unsigned>& positions, std::vector<std::size_t>& start) {
  start.assign(shares + 1, 0);
  for (std::uint32_t h : hashes) ++start[share_of(h, shares) + 1];
  for (std::size_t s = 0; s < shares; ++s) start[s + 1] += start[s];
  std::vector<std::size_t> next(start.begin(), start.end() - 1);
  if (!positions.resize(hashes.size())) return false;
  for (std::size_t i = 0; i < hashes.size(); ++i)
    positions[next[share_of(hashes[i], shares)]++] = static_cast<unsigned>(i);
  return true;
}

// The leaders with the groups shared out by hash, one share per thread.
long find_shared_leaders(const dense2D<double>& coords, unsigned dims,
                         const dense1D<unsigned>& nodes, const dense1D<std::uint32_t>& hashes,
                         unsigned threads, dense1D<unsigned>& leader) {
  const std::size_t shares = threads;
  dense1D<unsigned> positions;
  std::vector<std::size_t> start;
  if (!share_positions(hashes, shares, positions, start)) return -1;
  std::vector<long> followers(shares, 0);
  run_parallel(threads, shares, [&](std::size_t s) {
    const unsigned* own = positions.data() + start[s];
    try {
      followers[s] = find_leaders(
          coords, dims, nodes, hashes, start[s + 1] - start[s],
          [own](std::size_t k) { return own[k]; }, leader);
    } catch (const std::bad_alloc&) {
      followers[s] = -1;
    }
  });
  long total = 0;
  for (long f : followers) {
    if (f < 0) return -1;
    total += f;
  }
  return total;
}

}  // namespace

long find_coincident(const dense2D<double>& coords, unsigned dims, const dense1D<unsigned>& nodes,
                     dense1D<unsigned>& leader, unsigned threads) {
  const std::size_t n = nodes.size();
  dense1D<std::uint32_t> hashes;
  leader.clear();
  if (!hashes.resize(n) || !leader.resize(n)) {
    leader.clear();
    return -1;
  }
  parallel_ranges(threads, n, [&](std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
      hashes[i] = point_table::hash(coords.column(nodes[i]), dims);
      leader[i] = static_cast<unsigned>(i);
    }
  });
  const long followers =
      threads <= 1 ? find_leaders(
                         coords, dims, nodes, hashes, n, [](std::size_t k) { return k; }, leader)
                   : find_shared_leaders(coords, dims, nodes, hashes, threads, leader);
  if (followers < 0) leader.clear();
  return followers;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
