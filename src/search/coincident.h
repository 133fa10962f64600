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
// when working memory cannot be had (leader then empty). With `threads` > 1 the groups are shared
// out by hash, each share searched in list order on a thread of its own: the same leaders.
long find_coincident(const dense2D<double>& coords, unsigned dims, const dense1D<unsigned>& nodes,
                     dense1D<unsigned>& leader, unsigned threads = 1);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
