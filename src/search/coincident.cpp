// Nodes are entered in list order into an open-addressing table keyed by a
// hash of their coordinates; the table keeps the first node of each group,
// so a later node with the same coordinates finds its group's first node
// there. Meshes list neighboring nodes close together, so the coordinates
// compared on a hit are usually still in cache.
#include "search/coincident.h"
#include "common/prefetch.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovk {
namespace quernfold {
namespace detail {
namespace {

// 64-bit mixing constants (a multiply-xorshift finalizer).
constexpr std::uint64_t kMixA = 0xFF51AFD7ED558CCDull;
constexpr std::uint64_t kMixB = 0xC4CEB9FE1A85EC53ull;
constexpr std::uint64_t kCombine = 0x9E3779B97F4A7C15ull;
// The table has at least this many slots per group it holds, so probes
// stay short; it starts with room for the groups of a list where every
// point comes kFirstShare times, and doubles when that is too little.
constexpr std::size_t kSlotsPerNode = 2;
constexpr std::size_t kFirstShare = 8;
// A slot holds (hash << 32) | (position + 1); 0 marks an empty slot.
constexpr unsigned kHashShift = 32;
constexpr std::uint64_t kPositionMask = 0xFFFFFFFFu;
// Set in every stored hash, so that 0 can mean "never groups".
constexpr std::uint32_t kHashSetBit = 1;
// How many nodes ahead the table slot is prefetched.
constexpr std::size_t kPrefetchAhead = 16;

std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= kMixA;
  h ^= h >> 33;
  h *= kMixB;
  h ^= h >> 33;
  return h;
}

// Equal coordinates hash alike: -0.0 is hashed as 0.0.
std::uint32_t coordinates_hash(const double* x, unsigned dims) {
  std::uint64_t h = 0;
  for (unsigned k = 0; k < dims; ++k) {
    const double v = x[k] == 0 ? 0.0 : x[k];
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    h = mix(h * kCombine + bits);
  }
  return static_cast<std::uint32_t>(h >> 32);
}

// Only finite points group: two nodes at the same infinity are at a NaN
// squared distance, which never counts as within tolerance.
bool is_finite_point(const double* p, unsigned dims) {
  for (unsigned k = 0; k < dims; ++k)
    if (!std::isfinite(p[k])) return false;
  return true;
}

bool same_point(const double* p, const double* q, unsigned dims) {
  for (unsigned k = 0; k < dims; ++k)
    if (!(p[k] == q[k])) return false;
  return true;
}

std::size_t table_size(std::size_t n) {
  std::size_t size = 1;
  while (size < kSlotsPerNode * n) size *= 2;
  return size;
}

// Slot of a stored hash in a table of mask + 1 slots.
std::size_t home(std::uint32_t h, std::size_t mask) {
  return static_cast<std::size_t>(mix(h)) & mask;
}

// Doubles the table; every held entry goes to its place in the new one.
bool grow(dense1D<std::uint64_t>& table) {
  dense1D<std::uint64_t> old;
  old.swap(table);
  if (!table.resize(2 * old.size(), 0)) return false;
  const std::size_t mask = table.size() - 1;
  for (const std::uint64_t held : old) {
    if (held == 0) continue;
    std::size_t slot = home(static_cast<std::uint32_t>(held >> kHashShift), mask);
    while (table[slot] != 0) slot = (slot + 1) & mask;
    table[slot] = held;
  }
  return true;
}

// The hash of every node, 0 standing for a node that never groups (a NaN or
// infinite coordinate); true hashes are made non-zero.
void hash_nodes(const dense2D<double>& coords, unsigned dims, const dense1D<unsigned>& nodes,
                dense1D<std::uint32_t>& hashes) {
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const double* x = coords.column(nodes[i]);
    hashes[i] = is_finite_point(x, dims) ? coordinates_hash(x, dims) | kHashSetBit : 0;
  }
}

}  // namespace

long find_coincident(const dense2D<double>& coords, unsigned dims, const dense1D<unsigned>& nodes,
                     dense1D<unsigned>& leader) {
  const std::size_t n = nodes.size();
  dense1D<std::uint64_t> table;
  dense1D<std::uint32_t> hashes;
  leader.clear();
  if (!table.resize(table_size(n / kFirstShare + 1), 0) || !hashes.resize(n) || !leader.resize(n)) {
    leader.clear();
    return -1;
  }
  hash_nodes(coords, dims, nodes, hashes);
  std::size_t mask = table.size() - 1, groups = 0;
  long followers = 0;
  for (std::size_t i = 0; i < n; ++i) {
    // The table is far larger than the caches: ask for the slot of a node a
    // few places ahead while this one is probed.
    if (i + kPrefetchAhead < n) prefetch(&table[home(hashes[i + kPrefetchAhead], mask)]);
    leader[i] = static_cast<unsigned>(i);
    const std::uint32_t h = hashes[i];
    if (h == 0) continue;
    const double* x = coords.column(nodes[i]);
    for (std::size_t slot = home(h, mask);; slot = (slot + 1) & mask) {
      const std::uint64_t held = table[slot];
      if (held == 0) {
        table[slot] = (std::uint64_t(h) << kHashShift) | (i + 1);
        if (kSlotsPerNode * ++groups > table.size()) {
          if (!grow(table)) {
            leader.clear();
            return -1;
          }
          mask = table.size() - 1;
        }
        break;
      }
      const std::size_t first = (held & kPositionMask) - 1;
      if ((held >> kHashShift) == h && same_point(coords.column(nodes[first]), x, dims)) {
        leader[i] = static_cast<unsigned>(first);
        ++followers;
        break;
      }
    }
  }
  return followers;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
