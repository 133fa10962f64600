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

int merge_edges(const std::vector<dense2D<unsigned>>& pieces, dense2D<unsigned>& edges) {
  std::vector<std::uint64_t> keys, piece, merged;
  for (const dense2D<unsigned>& e : pieces) {
    piece.resize(e.cols());
    for (std::size_t j = 0; j < e.cols(); ++j) piece[j] = std::uint64_t(e(0, j)) << 32 | e(1, j);
    merged.resize(keys.size() + piece.size());
    std::merge(keys.begin(), keys.end(), piece.begin(), piece.end(), merged.begin());
    merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
    keys.swap(merged);
  }
  if (!edges.resize(2, keys.size())) return no_memory;
  for (std::size_t j = 0; j < keys.size(); ++j) {
    edges(0, j) = static_cast<unsigned>(keys[j] >> 32);
    edges(1, j) = static_cast<unsigned>(keys[j]);
  }
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
  return merge_edges(pieces, edges);
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
