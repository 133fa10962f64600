// Order-independent hashing of index tuples (faces, element columns): the sum,
// modulo 2^64, of one FNV-style term per index, so that a tuple and any
// reordering of it hash alike.
#pragma once

#include <cstdint>

namespace ovk {
namespace quernfold {
namespace detail {

constexpr std::uint64_t kFnvOffset = 0x811C9DC5u;  // 2166136261
constexpr std::uint64_t kFnvPrime = 16777619u;

// (x XOR 2166136261) * 16777619 in unsigned 64-bit arithmetic.
constexpr std::uint64_t index_hash_term(std::uint32_t x) noexcept {
  return (static_cast<std::uint64_t>(x) ^ kFnvOffset) * kFnvPrime;
}

// Sum of the terms of n indices.
inline std::uint64_t index_set_hash(const unsigned* ids, unsigned n) noexcept {
  std::uint64_t h = 0;
  for (unsigned k = 0; k < n; ++k) h += index_hash_term(ids[k]);
  return h;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
