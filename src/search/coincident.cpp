// Positions are sorted by a hash of their coordinates with a stable radix
// sort, so equal coordinates end up in one short run with the lowest
// position first; coordinates are then compared only inside runs.
#include "search/coincident.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovk {
namespace quernfold {
namespace detail {
namespace {

// Radix digits over the 32 hash bits kept in the upper half of a sort item.
constexpr unsigned kDigitBits = 11;
constexpr unsigned kDigitCount = 1u << kDigitBits;
constexpr unsigned kHashShift = 32;
constexpr unsigned kHashBits = 32;
constexpr std::uint64_t kPositionMask = 0xFFFFFFFFu;
// 64-bit mixing constants (a multiply-xorshift finaliser).
constexpr std::uint64_t kMixA = 0xFF51AFD7ED558CCDull;
constexpr std::uint64_t kMixB = 0xC4CEB9FE1A85EC53ull;
constexpr std::uint64_t kCombine = 0x9E3779B97F4A7C15ull;

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
bool same_point(const double* p, const double* q, unsigned dims) {
  for (unsigned k = 0; k < dims; ++k)
    if (!(p[k] == q[k]) || !std::isfinite(p[k])) return false;
  return true;
}

// Stable LSD radix sort of the items by their upper 32 bits.
void sort_by_hash(std::uint64_t* items, std::uint64_t* scratch, std::size_t n) {
  std::size_t count[kDigitCount];
  for (unsigned shift = kHashShift; shift < kHashShift + kHashBits; shift += kDigitBits) {
    std::memset(count, 0, sizeof count);
    for (std::size_t i = 0; i < n; ++i) ++count[(items[i] >> shift) & (kDigitCount - 1)];
    std::size_t sum = 0;
    for (std::size_t& c : count) {
      const std::size_t here = c;
      c = sum;
      sum += here;
    }
    for (std::size_t i = 0; i < n; ++i)
      scratch[count[(items[i] >> shift) & (kDigitCount - 1)]++] = items[i];
    std::memcpy(items, scratch, n * sizeof *items);
  }
}

}  // namespace

long find_coincident(const dense2D<double>& coords, unsigned dims, const dense1D<unsigned>& nodes,
                     dense1D<unsigned>& leader) {
  const std::size_t n = nodes.size();
  dense1D<std::uint64_t> items, scratch;
  leader.clear();
  if (!items.resize(n) || !scratch.resize(n) || !leader.resize(n)) {
    leader.clear();
    return -1;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t h = coordinates_hash(coords.column(nodes[i]), dims);
    items[i] = (h << kHashShift) | i;
  }
  sort_by_hash(items.data(), scratch.data(), n);

  long followers = 0;
  for (std::size_t s = 0; s < n;) {
    std::size_t e = s + 1;
    while (e < n && (items[e] >> kHashShift) == (items[s] >> kHashShift)) ++e;
    for (std::size_t k = s; k < e; ++k) {
      const unsigned pos = static_cast<unsigned>(items[k] & kPositionMask);
      const double* x = coords.column(nodes[pos]);
      leader[pos] = pos;
      for (std::size_t j = s; j < k; ++j) {
        const unsigned other = static_cast<unsigned>(items[j] & kPositionMask);
        if (leader[other] == other && same_point(coords.column(nodes[other]), x, dims)) {
          leader[pos] = other;
          ++followers;
          break;
        }
      }
    }
    s = e;
  }
  return followers;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
