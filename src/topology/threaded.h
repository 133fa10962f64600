// Face walks of the topology subsystem on several threads, for the
// whole-mesh layer; the exported functions start no thread.
#pragma once

#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace detail {

// get_neighbors with the walk around the nodes in node ranges on `threads`
// threads (0: the machine's cores; 1 starts none): the same F x elements
// neighbours and codes, bit for bit, for every count (no_memory as well
// when a thread's working memory cannot be had; neighbours then empty).
int neighbors_on_threads(const dense2D<unsigned>& connectM, element_type type,
                         bool link_non_manifold, dense2D<unsigned>& neighbors, unsigned threads);

// Both neighbour matrices of one walk: `linked` as get_neighbors linking
// non-manifold faces, `unlinked` as get_neighbors leaving them unlinked
// (a face shared by three elements or more ~0U), each F x elements; the
// walk as neighbors_on_threads. Codes those of get_neighbors; both emptied
// on failure.
int neighbors_both_ways(const dense2D<unsigned>& connectM, element_type type,
                        dense2D<unsigned>& linked, dense2D<unsigned>& unlinked, unsigned threads);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
