// Bucket counts of the library's hash containers: an ascending table of
// primes, roughly doubling.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovk {
namespace quernfold {
namespace detail {

constexpr std::uint32_t kPrimes[30] = {
    13u,        23u,        53u,        97u,         193u,        389u,       769u,      1543u,
    3079u,      6151u,      12289u,     24593u,      49157u,      98317u,     196613u,   393241u,
    786433u,    1572869u,   3145739u,   6291469u,    12582917u,   25165843u,  50331653u, 100663319u,
    201326611u, 402653189u, 805306457u, 1610612741u, 3221225473u, 4294967291u};

// The smallest prime of the table not below `wanted`; the last one when every
// prime is smaller.
inline std::uint32_t prime_at_least(std::uint64_t wanted) noexcept {
  for (std::uint32_t p : kPrimes)
    if (p >= wanted) return p;
  return kPrimes[29];
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
