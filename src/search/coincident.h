// Grouping of nodes with identical coordinates.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// leader[i] = the smallest position j <= i of `nodes` whose node has the same
// coordinates (rows 0 .. dims - 1 compared with ==, so -0.0 equals 0.0; a
// node with a NaN or infinite coordinate groups with nothing) as nodes[i]; leader[i] = i for the
// first node of each group. Returns the number of nodes that are not first of their group, or -1
// when working memory cannot be had (leader then empty).
long find_coincident(const dense2D<double>& coords, unsigned dims, const dense1D<unsigned>& nodes,
                     dense1D<unsigned>& leader);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
