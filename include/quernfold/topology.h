// Topology: element faces and neighbours, mesh boundaries, node graphs,
// sub-domains, colour boundaries and grouping of mixed elements.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

// Node graph in compressed form: the neighbours of node v are
// nodes[offsets[v]] .. nodes[offsets[v + 1] - 1]; offsets has max node + 2
// entries. With ET_UNKNOWN every column is one group (all its nodes joined).
int get_node_graph(const dense2D<unsigned>& connectM, dense1D<unsigned>& offsets,
                   dense1D<unsigned>& nodes, element_type type);

}  // namespace quernfold
}  // namespace ovk
