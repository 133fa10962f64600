// Distinct indices of lists and ranges of matrices, and their count.
#include <cstddef>

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

bool range_is_reversed(const dense2D<unsigned>* begin, const dense2D<unsigned>* end) {
  return end < begin;
}

}  // namespace

int unique_indices(dense1D<unsigned>& out, const dense1D<unsigned>& in, dense1D<unsigned> exclude) {
  if (in.empty()) return 0;
  if (!out.reserve(out.size() + in.size())) return no_memory;
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
  index_set seen = seeded_set(detail::entry_count(begin, end), exclude);
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
