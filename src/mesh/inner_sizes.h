// The sizes of the nodes of quadratic elements past their vertex nodes, as
// the size map gives them.
#pragma once

#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace detail {

// The nodes past the vertex nodes of quadratic elements that have no size
// yet (0): a mid-edge node (they follow the edge list of the element's
// linear kind) the mean of its edge's end sizes, a face or body node the
// mean of its element's vertex sizes; blocks and elements in order, the
// first element that reaches a node sets it. `sizes`: one per node.
void size_inner_nodes(const mesh_data& mesh, dense1D<double>& sizes);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
