// The distinct edges of a whole mesh, extracted in pieces on several threads
// and merged in order.
#include "mesh/edge_pieces.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "common/parallel.h"
#include "quernfold/quality.h"

namespace ovk {
namespace quernfold {
namespace detail {

int piece_edges(const std::vector<dense2D<unsigned>>& matrices, const dense1D<int>& kinds,
                std::size_t part, std::size_t parts, dense2D<unsigned>& edges) {
  std::vector<dense2D<unsigned>> piece;
  dense1D<int> piece_kinds;
  if (!piece_kinds.copy(kinds)) return no_memory;
  for (const dense2D<unsigned>& m : matrices) {
    std::size_t first, last;
    split_range(m.cols(), part, parts, first, last);
    dense2D<unsigned> columns;
    if (!columns.resize(m.rows(), last - first)) return no_memory;
    for (std::size_t j = first; j < last; ++j)
      std::copy(m.column(j), m.column(j) + m.rows(), columns.column(j - first));
    piece.push_back(columns);
  }
  return copy_edges(piece.data(), piece.data() + piece.size(), piece_kinds, edges);
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
