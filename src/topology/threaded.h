// Face walks of the topology subsystem on several threads, for the
// whole-mesh layer; the exported functions start no thread.
#pragma once

#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Both neighbour matrices of one walk: `linked` as get_neighbors linking
// non-manifold faces, `unlinked` as get_neighbors leaving them unlinked
// (a face shared by three elements or more ~0U), each F x elements. The
// walk around the nodes runs in node ranges on `threads` threads (0: the
// machine's cores; 1 starts none); nodes numbered past the face buckets
// are bucketed modulo a prime on the calling thread. The same matrices,
// bit for bit, for every count. Codes those of get_neighbors (no_memory
// as well when a thread's working memory cannot be had); both emptied on
// failure.
int neighbors_both_ways(const dense2D<unsigned>& connectM, element_type type,
                        dense2D<unsigned>& linked, dense2D<unsigned>& unlinked, unsigned threads);

// get_mesh_boundaries (the same faces, in the same order, and codes) with
// the faces of ranges of elements found on `threads` threads (0: the
// machine's cores; 1, or a small mesh, starts none) and joined in order.
// Out of memory, `boundaries` is left empty.
int boundary_faces(const dense2D<unsigned>& connectM, const dense2D<unsigned>& neighbors,
                   element_type type, dense2D<unsigned>& boundaries, unsigned threads);

// parts := the number of sub-domains get_subdomains finds in `neighbors`
// (F x elements, non-manifold faces linked). `unlinked`: the neighbours of
// the same elements with non-manifold faces left unlinked; when both are
// equal, every link goes both ways, and trees are joined in column ranges
// on `threads` threads (0: the machine's cores; 1 starts none), then the
// links between ranges on the calling thread; otherwise get_subdomains
// runs. The same count for every thread count. Codes those of
// get_subdomains (no_memory as well when the trees cannot be had); parts
// unchanged on failure.
int count_connected_parts(const dense2D<unsigned>& neighbors, const dense2D<unsigned>& unlinked,
                          unsigned threads, std::size_t& parts);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
