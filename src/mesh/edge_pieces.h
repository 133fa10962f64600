// The distinct edges of a whole mesh in pieces: each piece a contiguous range
// of every matrix's columns (its own thread), then the pieces merged in
// order, each edge once, so that the result is copy_edges' for every number
// of pieces.
#pragma once

#include <vector>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Pieces the edges are extracted in at most (each merged after the others:
// the merge grows with the pieces).
inline constexpr unsigned kMostEdgePieces = 16;

// copy_edges' codes that a piece can give: a matrix whose ~0U entries do
// not fit its kind, kinds not one per matrix.
inline constexpr int kBadEdgeNodes = -1;
inline constexpr int kBadEdgeKinds = -3;

// The distinct edges of piece `part` of `parts` (what copy_edges gives for
// columns [first, last) of every matrix, split_range's range; sorted by a
// radix sort, which takes the same time whatever the keys' order; 2 x
// edges). Runs on a thread of its own: the piece takes copies, never shares
// storage with `matrices` (sharing would count references from several
// threads at once). Codes above, no_memory (edges then unstated).
int piece_edges(const std::vector<dense2D<unsigned>>& matrices, const dense1D<int>& kinds,
                std::size_t part, std::size_t parts, dense2D<unsigned>& edges);
// The pieces' edges as copy_edges gives those of the whole (2 x edges,
// (smaller, larger), ascending), merged in key ranges on `threads` threads
// (the same edges for every count). no_memory (edges then unstated).
int merge_edges(const std::vector<dense2D<unsigned>>& pieces, dense2D<unsigned>& edges,
                unsigned threads = 1);
// copy_edges of the matrices on `threads` threads (at least 1): at most
// kMostEdgePieces pieces run at once, then merged.
int threaded_edges(const std::vector<dense2D<unsigned>>& matrices, const dense1D<int>& kinds,
                   unsigned threads, dense2D<unsigned>& edges);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
