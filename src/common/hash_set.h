// The hash table of keyed entries: separate chaining over bucket counts taken
// from the prime table of primes.h. It serves as a set (insert_unique) and as
// a multimap from a key to the entries stored under it (insert, and
// for_each_equal visiting every entry of one key). Points with exactly equal
// coordinates have a table of their own (point_table.h, open addressing).
//
// Sizing: a table starts with kInitialBuckets buckets and is sized up front
// for the number of entries the caller expects (the smallest table prime not
// below that number, when it exceeds the start). It grows when an insertion
// would make the number of entries exceed kMaxLoad times the bucket count; the
// new bucket count is the smallest table prime not below the number of
// entries after the insertion.
//
// Entries are numbered 0, 1, 2, ... in insertion order and never move, so a
// caller can keep data of its own in a parallel array indexed by entry.
// Working storage is std::vector: running out of memory reaches the caller as
// std::bad_alloc. At most kMaxEntries entries fit (the entry numbers are 32
// bits wide); an insertion beyond that is refused with kNoEntry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/primes.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Hash of an index for the tables keyed by unsigned: the index itself (the
// bucket is taken modulo a prime, which spreads consecutive node numbers).
struct identity_index_hash {
  std::uint64_t operator()(std::uint64_t key) const noexcept { return key; }
};

template <class Key, class Hash = identity_index_hash>
class hash_table {
 public:
  using entry_index = std::uint32_t;
  static constexpr entry_index kNoEntry = ~entry_index(0);
  static constexpr std::size_t kMaxEntries = kNoEntry;
  static constexpr std::size_t kInitialBuckets = 23;
  static constexpr std::size_t kMaxLoad = 2;

  struct insert_result {
    entry_index entry;  // the new or the existing entry; kNoEntry when full
    bool added;
  };

  explicit hash_table(std::size_t expected_entries = 0) {
    std::size_t buckets = kInitialBuckets;
    if (expected_entries > buckets) buckets = prime_at_least(expected_entries);
    heads_.assign(buckets, kNoEntry);
  }

  std::size_t size() const noexcept { return keys_.size(); }
  std::size_t bucket_count() const noexcept { return heads_.size(); }
  const Key& key(entry_index e) const noexcept { return keys_[e]; }

  // The most recently inserted entry holding `key`, or kNoEntry.
  entry_index find(const Key& key) const noexcept {
    for (entry_index e = heads_[bucket_of(key)]; e != kNoEntry; e = next_[e])
      if (keys_[e] == key) return e;
    return kNoEntry;
  }

  bool contains(const Key& key) const noexcept { return find(key) != kNoEntry; }

  // Adds `key` unless an equal key is stored (set semantics).
  insert_result insert_unique(const Key& key) {
    const entry_index existing = find(key);
    if (existing != kNoEntry) return {existing, false};
    const entry_index added = insert(key);
    return {added, added != kNoEntry};
  }

  // Adds `key` even when equal keys are stored (multimap semantics). Returns
  // the new entry's number, or kNoEntry when the table is full.
  entry_index insert(const Key& key) {
    if (keys_.size() >= kMaxEntries) return kNoEntry;
    if (keys_.size() + 1 > kMaxLoad * heads_.size()) rehash(prime_at_least(keys_.size() + 1));
    const entry_index e = static_cast<entry_index>(keys_.size());
    keys_.push_back(key);
    std::uint32_t& head = heads_[bucket_of(key)];
    next_.push_back(head);
    head = e;
    return e;
  }

  // Calls visit(entry) for every entry holding `key`, most recent first.
  template <class Visit>
  void for_each_equal(const Key& key, Visit visit) const {
    for (entry_index e = heads_[bucket_of(key)]; e != kNoEntry; e = next_[e])
      if (keys_[e] == key) visit(e);
  }

 private:
  std::size_t bucket_of(const Key& key) const noexcept {
    return static_cast<std::size_t>(Hash()(key) % heads_.size());
  }

  // Relinks every entry into `buckets` chains, keeping each chain's order of
  // most recent first.
  void rehash(std::size_t buckets) {
    heads_.assign(buckets, kNoEntry);
    for (std::size_t e = 0; e < keys_.size(); ++e) {
      std::uint32_t& head = heads_[bucket_of(keys_[e])];
      next_[e] = head;
      head = static_cast<entry_index>(e);
    }
  }

  std::vector<entry_index> heads_;  // bucket -> newest entry of its chain
  std::vector<entry_index> next_;   // entry -> older entry of the same chain
  std::vector<Key> keys_;           // entry -> key
};

// A set of node or element indices.
using index_set = hash_table<unsigned>;

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
