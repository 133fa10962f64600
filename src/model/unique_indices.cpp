// Distinct indices of lists and ranges of matrices, and their count.
//
// The distinct entries in order of first appearance come from a set of the
// entries seen so far: a bitset over 0 .. largest entry when the entries
// are compact enough for it to be small (node and element numbers), a hash
// set otherwise. Both give the same list.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "common/hash_set.h"
#include "common/mixed.h"
#include "model/entries.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace {

using detail::index_set;

// A set that already holds ~0U and every entry of `exclude`, so that neither
// is ever reported as new. Sized for the entries that will be offered.
index_set seeded_set(std::size_t input_entries, const dense1D<unsigned>& exclude) {
  index_set seen(input_entries);
  seen.insert_unique(no_index);
  for (std::size_t i = 0; i < exclude.size(); ++i) seen.insert_unique(exclude[i]);
  return seen;
}

// Offers one entry: a value not yet in the set is inserted and appended to
// out. Returns false when out cannot grow or the set is full.
bool offer(index_set& seen, unsigned v, dense1D<unsigned>& out) {
  const auto r = seen.insert_unique(v);
  if (r.entry == index_set::kNoEntry) return false;
  return !r.added || out.push_back(v);
}

template <class Container>
bool append_new_entries(const Container& C, index_set& seen, dense1D<unsigned>& out) {
  return detail::walk_entries(C, [&](unsigned v) { return offer(seen, v, out); });
}

// Entries of a bitset set may be this many times the entries offered, plus
// a fixed allowance, before the hash set is used instead.
constexpr std::size_t kBitsPerEntry = 64;
constexpr std::size_t kBitsAllowance = std::size_t(1) << 16;
constexpr unsigned kWordBits = 64;

// The entries seen so far as bits over 0 .. largest entry; ~0U and the
// entries of `exclude` are never reported as new.
class index_bits {
 public:
  // Starts with the bits of `exclude` set; false when the entries (the
  // largest of input and exclude being `largest`) are not compact enough
  // or memory cannot be had.
  bool start(unsigned largest, std::size_t input_entries, const dense1D<unsigned>& exclude) {
    const std::size_t bits = std::size_t(largest) + 1;
    if (bits > kBitsPerEntry * (input_entries + exclude.size()) + kBitsAllowance) return false;
    words_.reset(new (std::nothrow) std::uint64_t[bits / kWordBits + 1]());
    if (!words_) return false;
    for (std::size_t i = 0; i < exclude.size(); ++i) is_new(exclude[i]);
    return true;
  }

  // True the first time v (not ~0U) is offered.
  bool is_new(unsigned v) noexcept {
    if (v == no_index) return false;
    std::uint64_t& word = words_[v / kWordBits];
    const std::uint64_t bit = std::uint64_t(1) << (v % kWordBits);
    if (word & bit) return false;
    word |= bit;
    return true;
  }

 private:
  std::unique_ptr<std::uint64_t[]> words_;
};

// Largest entry other than ~0U of a container (0 when none).
template <class Container>
unsigned largest_entry(const Container& C) {
  unsigned largest = 0;
  detail::for_each_entry(C, [&largest](unsigned v) {
    if (v != no_index) largest = std::max(largest, v);
  });
  return largest;
}

template <class Container>
bool append_marked(const Container& C, index_bits& seen, dense1D<unsigned>& out) {
  return detail::walk_entries(C, [&](unsigned v) { return !seen.is_new(v) || out.push_back(v); });
}

// The bitset for the inputs [first, last) of any container type, or false
// when the hash set is to be used.
template <class Container>
bool start_bits(index_bits& seen, const Container* first, const Container* last,
                std::size_t input_entries, const dense1D<unsigned>& exclude) {
  unsigned largest = largest_entry(exclude);
  for (const Container* C = first; C != last; ++C) largest = std::max(largest, largest_entry(*C));
  return seen.start(largest, input_entries, exclude);
}

bool range_is_reversed(const dense2D<unsigned>* begin, const dense2D<unsigned>* end) {
  return end < begin;
}

}  // namespace

int unique_indices(dense1D<unsigned>& out, const dense1D<unsigned>& in, dense1D<unsigned> exclude) {
  if (in.empty()) return 0;
  if (!out.reserve(out.size() + in.size())) return no_memory;
  index_bits bits;
  if (start_bits(bits, &in, &in + 1, in.size(), exclude))
    return append_marked(in, bits, out) ? 0 : no_memory;
  index_set seen = seeded_set(in.size(), exclude);
  return append_new_entries(in, seen, out) ? 0 : no_memory;
}

int unique_indices(dense1D<unsigned>& out, const dense2D<unsigned>& M, dense1D<unsigned> exclude) {
  return unique_indices(out, &M, &M + 1, exclude);
}

int unique_indices(dense1D<unsigned>& out, const dense2D<unsigned>* begin,
                   const dense2D<unsigned>* end, dense1D<unsigned> exclude) {
  constexpr int kReversedRange = -3;
  if (begin == end) return 0;
  if (range_is_reversed(begin, end)) return kReversedRange;
  const std::size_t entries = detail::entry_count(begin, end);
  index_bits bits;
  if (start_bits(bits, begin, end, entries, exclude)) {
    for (const dense2D<unsigned>* M = begin; M != end; ++M)
      if (!append_marked(*M, bits, out)) return no_memory;
    return 0;
  }
  index_set seen = seeded_set(entries, exclude);
  for (const dense2D<unsigned>* M = begin; M != end; ++M)
    if (!append_new_entries(*M, seen, out)) return no_memory;
  return 0;
}

int count_unique_indices(const dense2D<unsigned>& M) { return count_unique_indices(&M, &M + 1); }

int count_unique_indices(const dense2D<unsigned>* begin, const dense2D<unsigned>* end) {
  constexpr int kReversedRange = -2;
  if (begin == end) return 0;
  if (range_is_reversed(begin, end)) return kReversedRange;
  index_set seen = seeded_set(detail::entry_count(begin, end), dense1D<unsigned>());
  for (const dense2D<unsigned>* M = begin; M != end; ++M)
    detail::for_each_entry(*M, [&seen](unsigned v) { seen.insert_unique(v); });
  return static_cast<int>(seen.size() - 1);
}

}  // namespace quernfold
}  // namespace ovk
