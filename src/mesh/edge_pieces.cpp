// The distinct edges of a whole mesh, extracted in pieces on several threads
// and merged in order.
#include "mesh/edge_pieces.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#include "common/edges.h"
#include "common/mixed.h"
#include "common/parallel.h"
#include "quernfold/quality.h"

namespace ovk {
namespace quernfold {
namespace detail {

namespace {

// Bits of a key sorted per pass of the radix sort.
constexpr unsigned kDigitBits = 16;
constexpr std::uint64_t kDigitMask = (std::uint64_t(1) << kDigitBits) - 1;
constexpr unsigned kKeyBits = 64;

// An edge as copy_edges keys it: (smaller << 32) | larger, so that keys
// sort as the edges do.
std::uint64_t edge_key(unsigned a, unsigned b) {
  return std::uint64_t(std::min(a, b)) << 32 | std::max(a, b);
}

// Ascending, by digits from the lowest (stable passes; a digit that every
// key shares is passed over). Sorting keeps no trace of the order before,
// so the result is what any sort gives, in a time that does not depend on
// the keys' order.
void radix_sort(std::vector<std::uint64_t>& keys) {
  std::vector<std::uint64_t> other(keys.size());
  std::vector<std::size_t> start(std::size_t(1) << kDigitBits);
  for (unsigned shift = 0; shift < kKeyBits && !keys.empty(); shift += kDigitBits) {
    std::fill(start.begin(), start.end(), 0);
    for (std::uint64_t k : keys) ++start[(k >> shift) & kDigitMask];
    if (start[(keys[0] >> shift) & kDigitMask] == keys.size()) continue;
    std::size_t sum = 0;
    for (std::size_t& s : start) sum += std::exchange(s, sum);
    for (std::uint64_t k : keys) other[start[(k >> shift) & kDigitMask]++] = k;
    keys.swap(other);
  }
}

// The edge keys of every column of `m` (a matrix of kind `type`), in column
// and table order, as copy_edges lists them.
void add_keys(const dense2D<unsigned>& m, element_type type, std::vector<std::uint64_t>& keys) {
  if (m.empty()) return;
  for_each_column_edge(m, narrow_mixed(type, m.rows()),
                       [&](unsigned a, unsigned b) { keys.push_back(edge_key(a, b)); });
}

}  // namespace

int piece_edges(const std::vector<dense2D<unsigned>>& matrices, const dense1D<int>& kinds,
                std::size_t part, std::size_t parts, dense2D<unsigned>& edges) {
  if (kinds.size() != matrices.size()) return kBadEdgeKinds;
  std::vector<std::uint64_t> keys;
  for (std::size_t i = 0; i < matrices.size(); ++i) {
    const dense2D<unsigned>& m = matrices[i];
    const element_type type = static_cast<element_type>(kinds[i]);
    std::size_t first, last;
    split_range(m.cols(), part, parts, first, last);
    dense2D<unsigned> columns;
    if (!columns.resize(m.rows(), last - first)) return no_memory;
    for (std::size_t j = first; j < last; ++j)
      std::copy(m.column(j), m.column(j) + m.rows(), columns.column(j - first));
    if (!check_IDs(columns, type, no_index)) return kBadEdgeNodes;
    add_keys(columns, type, keys);
  }
  radix_sort(keys);
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  if (!edges.resize(2, keys.size())) return no_memory;
  for (std::size_t j = 0; j < keys.size(); ++j) {
    edges(0, j) = static_cast<unsigned>(keys[j] >> 32);
    edges(1, j) = static_cast<unsigned>(keys[j]);
  }
  return 0;
}

namespace {

// The upper bound of the last key range: it takes every key to the end.
constexpr std::uint64_t kNoKeyAbove = ~std::uint64_t(0);

std::uint64_t column_key(const dense2D<unsigned>& e, std::size_t j) {
  return std::uint64_t(e(0, j)) << 32 | e(1, j);
}

// Columns [first, last) of a piece whose keys lie in [low, high).
void key_columns(const dense2D<unsigned>& e, std::uint64_t low, std::uint64_t high,
                 std::size_t& first, std::size_t& last) {
  auto below = [&](std::uint64_t key) {  // the first column whose key is not below `key`
    std::size_t lo = 0, hi = e.cols();
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (column_key(e, mid) < key)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  };
  first = below(low);
  last = high == kNoKeyAbove ? e.cols() : below(high);
}

// The distinct keys in [low, high) of all pieces, ascending: the pieces'
// ranges merged one after the other, each merge followed by unique.
void merge_key_range(const std::vector<dense2D<unsigned>>& pieces, std::uint64_t low,
                     std::uint64_t high, std::vector<std::uint64_t>& keys) {
  std::vector<std::uint64_t> piece, merged;
  keys.clear();
  for (const dense2D<unsigned>& e : pieces) {
    std::size_t first, last;
    key_columns(e, low, high, first, last);
    piece.resize(last - first);
    for (std::size_t j = first; j < last; ++j) piece[j - first] = column_key(e, j);
    merged.resize(keys.size() + piece.size());
    std::merge(keys.begin(), keys.end(), piece.begin(), piece.end(), merged.begin());
    merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
    keys.swap(merged);
  }
}

// Bounds of `parts` key ranges (parts + 1 keys from 0 to kNoKeyAbove): the
// inner ones evenly spaced keys of the longest piece. A key falls in one
// range only, so the ranges merged apart and joined in order give every
// edge once, in order, wherever the bounds fall.
std::vector<std::uint64_t> key_bounds(const std::vector<dense2D<unsigned>>& pieces,
                                      std::size_t parts) {
  const dense2D<unsigned>* longest = &pieces.front();
  for (const dense2D<unsigned>& e : pieces)
    if (e.cols() > longest->cols()) longest = &e;
  std::vector<std::uint64_t> bounds(parts + 1, 0);
  for (std::size_t r = 1; r < parts; ++r)
    bounds[r] = std::max(bounds[r - 1], column_key(*longest, longest->cols() / parts * r));
  bounds[parts] = kNoKeyAbove;
  return bounds;
}

// Pieces' edges fewer than this are merged on the calling thread (few
// enough that the tests' small meshes take the key ranges).
constexpr std::size_t kParallelMergeEdges = std::size_t(1) << 9;

}  // namespace

int merge_edges(const std::vector<dense2D<unsigned>>& pieces, dense2D<unsigned>& edges,
                unsigned threads) {
  std::size_t total = 0;
  for (const dense2D<unsigned>& e : pieces) total += e.cols();
  const std::size_t parts = pieces.empty() || total < kParallelMergeEdges ? 1 : threads;
  const std::vector<std::uint64_t> bounds =
      parts > 1 ? key_bounds(pieces, parts) : std::vector<std::uint64_t>{0, kNoKeyAbove};
  std::vector<std::vector<std::uint64_t>> ranges(parts);
  std::vector<std::size_t> offsets(parts + 1, 0);
  std::vector<char> out_of_memory(parts, 0);
  run_parallel(threads, parts, [&](std::size_t r) {
    try {
      merge_key_range(pieces, bounds[r], bounds[r + 1], ranges[r]);
    } catch (const std::bad_alloc&) {
      out_of_memory[r] = 1;
    }
  });
  if (std::find(out_of_memory.begin(), out_of_memory.end(), 1) != out_of_memory.end())
    return no_memory;
  for (std::size_t r = 0; r < parts; ++r) offsets[r + 1] = offsets[r] + ranges[r].size();
  if (!edges.resize(2, offsets[parts])) return no_memory;
  run_parallel(threads, parts, [&](std::size_t r) {
    for (std::size_t k = 0; k < ranges[r].size(); ++k) {
      edges(0, offsets[r] + k) = static_cast<unsigned>(ranges[r][k] >> 32);
      edges(1, offsets[r] + k) = static_cast<unsigned>(ranges[r][k]);
    }
  });
  return 0;
}

int threaded_edges(const std::vector<dense2D<unsigned>>& matrices, const dense1D<int>& kinds,
                   unsigned threads, dense2D<unsigned>& edges) {
  if (threads <= 1)
    return copy_edges(matrices.data(), matrices.data() + matrices.size(), kinds, edges);
  const unsigned parts = std::min(threads, kMostEdgePieces);
  std::vector<dense2D<unsigned>> pieces(parts);
  std::vector<int> codes(parts, 0);
  run_parallel(threads, parts, [&](std::size_t part) {
    try {
      codes[part] = piece_edges(matrices, kinds, part, parts, pieces[part]);
    } catch (const std::bad_alloc&) {
      codes[part] = no_memory;
    }
  });
  for (int code : codes)
    if (code) return code;
  return merge_edges(pieces, edges, threads);
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
