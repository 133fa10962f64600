// Nodes are entered in list order into the exact-point table; the table
// keeps the first node of each group, so a later node with the same
// coordinates finds its group's first node there. Meshes list neighboring
// nodes close together, so the coordinates compared on a hit are usually
// still in cache.
#include "search/coincident.h"

#include <cstddef>
#include <cstdint>

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

}  // namespace

long find_coincident(const dense2D<double>& coords, unsigned dims, const dense1D<unsigned>& nodes,
                     dense1D<unsigned>& leader) {
  const std::size_t n = nodes.size();
  point_table table;
  dense1D<std::uint32_t> hashes;
  leader.clear();
  if (!table.reset(n / kFirstShare + 1) || !hashes.resize(n) || !leader.resize(n)) {
    leader.clear();
    return -1;
  }
  for (std::size_t i = 0; i < n; ++i) hashes[i] = point_table::hash(coords.column(nodes[i]), dims);
  long followers = 0;
  for (std::size_t i = 0; i < n; ++i) {
    // The table is larger than the caches: ask for the slot of a node a few
    // places ahead while this one is probed.
    if (i + kPrefetchAhead < n) prefetch(table.home_address(hashes[i + kPrefetchAhead]));
    leader[i] = static_cast<unsigned>(i);
    if (hashes[i] == 0) continue;
    const double* x = coords.column(nodes[i]);
    const std::uint32_t first = table.find(
        hashes[i], [&](std::uint32_t j) { return same_point(coords.column(nodes[j]), x, dims); });
    if (first != point_table::kNone) {
      leader[i] = first;
      ++followers;
    } else if (!table.add(static_cast<std::uint32_t>(i))) {
      leader.clear();
      return -1;
    }
  }
  return followers;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
