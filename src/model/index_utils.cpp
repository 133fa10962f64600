// Largest index, untyped validity check, shifting, renumbering, permuting and
// sorting by value of index lists and matrices.
#include <algorithm>
#include <cstddef>

#include "common/mixed.h"
#include "model/entries.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace {

using detail::for_each_entry;

template <class Container>
unsigned largest_index(const Container& C) {
  unsigned largest = 0;
  for_each_entry(C, [&](unsigned v) {
    if (v != no_index && v > largest) largest = v;
  });
  return largest;
}

// Largest of n packed entries, ~0U included: four running maxima, which the
// compiler keeps in vector registers (a tenth of the time of the walk above,
// which must test every entry for ~0U).
unsigned largest_entry(const unsigned* v, std::size_t n) {
  unsigned m0 = 0, m1 = 0, m2 = 0, m3 = 0;
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    m0 = std::max(m0, v[i]);
    m1 = std::max(m1, v[i + 1]);
    m2 = std::max(m2, v[i + 2]);
    m3 = std::max(m3, v[i + 3]);
  }
  for (; i < n; ++i) m0 = std::max(m0, v[i]);
  return std::max(std::max(m0, m1), std::max(m2, m3));
}

// largest_index, taking the packed scan first: only when an entry is ~0U
// does the walk that passes over ~0U run.
template <class Container>
unsigned largest_packed_index(const Container& C, const unsigned* data, std::size_t n) {
  const unsigned largest = largest_entry(data, n);
  return largest == no_index ? largest_index(C) : largest;
}

template <class Container>
bool indices_below(const Container& C, unsigned nods) {
  if (nods == no_index) return true;
  return detail::all_entries(C, [nods](unsigned v) { return v == no_index || v < nods; });
}

// Unsigned addition wraps modulo 2^32, which is what a negative shift needs.
inline unsigned shifted(unsigned v, int shift) { return v + static_cast<unsigned>(shift); }

template <class Container>
void renumber(Container& C, const dense1D<unsigned>& map) {
  const std::size_t n = map.size();
  for_each_entry(C, [&](unsigned& v) {
    if (v < n) v = map[v];
  });
}

// W starts as a copy of V so that positions no perm entry targets keep their
// value; V is only read while W is written.
template <class T>
int permute(dense1D<T>& V, const dense1D<unsigned>& perm) {
  const std::size_t n = V.size();
  if (n == 0) return 0;
  dense1D<T> W;
  if (!W.copy(V)) return no_memory;
  const std::size_t m = perm.size() < n ? perm.size() : n;
  for (std::size_t i = 0; i < m; ++i) {
    const unsigned p = perm[i];
    if (p < n && p != i) W[p] = V[i];
  }
  for (std::size_t i = 0; i < n; ++i) V[i] = W[i];
  return 0;
}

}  // namespace

unsigned max_ID(const dense1D<unsigned>& IDs) {
  return IDs.empty() ? no_index : largest_packed_index(IDs, IDs.data(), IDs.size());
}
unsigned max_ID(const dense2D<unsigned>& M) {
  if (M.empty()) return no_index;
  if (M.ld() != M.rows()) return largest_index(M);
  return largest_packed_index(M, M.data(), M.rows() * M.cols());
}

bool check_IDs(const dense1D<unsigned>& IDs, unsigned nods) { return indices_below(IDs, nods); }
bool check_IDs(const dense2D<unsigned>& M, unsigned nods) { return indices_below(M, nods); }

int shift_indices(dense1D<unsigned>& IDs, int shift) {
  if (shift == 0) return 0;
  for_each_entry(IDs, [&](unsigned& v) {
    if (v != no_index) v = shifted(v, shift);
  });
  return 0;
}

int shift_indices(dense2D<unsigned>& M, int shift, element_type FE) {
  if (shift == 0) return 0;
  // Only mixed columns hold ~0U legitimately; a pure kind is shifted blindly.
  const bool keep_no_index = FE == ET_FACE_MIX || FE == ET_SOLID_MIX;
  for_each_entry(M, [&](unsigned& v) {
    if (!keep_no_index || v != no_index) v = shifted(v, shift);
  });
  return 0;
}

void change_indices(dense1D<unsigned>& IDs, const dense1D<unsigned>& map) { renumber(IDs, map); }
void change_indices(dense2D<unsigned>& M, const dense1D<unsigned>& map) { renumber(M, map); }

int permutation(dense1D<unsigned>& V, const dense1D<unsigned>& perm) { return permute(V, perm); }
int permutation(dense1D<double>& V, const dense1D<unsigned>& perm) { return permute(V, perm); }

// Counting sort: offsets[v + 2] first counts the value v, the running sum
// turns offsets[v + 1] into the start of v's run, and placing each position
// advances offsets[v + 1] to the end of the run, i.e. the start of v + 1.
int get_sorted_order(const dense1D<unsigned>& values, dense1D<unsigned>& order,
                     dense1D<unsigned>& offsets) {
  order.clear();
  offsets.clear();
  if (values.empty()) return offsets.resize(1, 0) ? 0 : no_memory;

  const std::size_t n = values.size();
  const std::size_t M = max_ID(values);
  if (!order.resize(n) || !offsets.resize(M + 3, 0)) {
    order.clear();
    offsets.clear();
    return no_memory;
  }
  for (std::size_t i = 0; i < n; ++i)
    if (values[i] != no_index) ++offsets[values[i] + std::size_t(2)];
  for (std::size_t k = 3; k <= M + 1; ++k) offsets[k] += offsets[k - 1];
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned v = values[i];
    if (v == no_index) continue;
    order[offsets[v + std::size_t(1)]++] = static_cast<unsigned>(i);
  }
  offsets.resize(M + 2);
  order.resize(offsets[M + 1]);
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
