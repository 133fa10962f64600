// The faces of the top-dimension elements of a whole mesh, as the boundary
// and the statistics both take them.
#pragma once

#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace detail {

struct boundary_walk {
  combined_elements elements;   // the elements of the mesh's dimension, vertex nodes
  dense2D<unsigned> neighbors;  // faces x elements, non-manifold faces linked
  dense2D<unsigned> faces;      // face nodes x boundary faces (get_mesh_boundaries)
};
// With `unlinked`, the same walk also gives the neighbours with
// non-manifold faces left unlinked (faces x elements), on `threads` threads
// (1 starts none; the same walk for every count).
// Codes: mesh_no_faces, no_memory, those of get_neighbors and
// get_mesh_boundaries.
int walk_boundary(const mesh_data& mesh, boundary_walk& walk, unsigned threads = 1,
                  dense2D<unsigned>* unlinked = nullptr);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
