// The element blocks that the partitioning code walks: one matrix of one
// kind, read through the linear shape of its vertex nodes, and the checks
// that admit it.
#pragma once

#include <vector>

#include "common/mixed.h"
#include "quernfold/partition.h"

namespace ovk {
namespace quernfold {
namespace detail {

// The linear shape whose nodes lead the columns of a kind (ET_TETRA10 ->
// ET_TETRA4, ...); the kind itself for linear and mixed kinds; ET_UNKNOWN for
// ET_UNKNOWN, ET_NODE and ET_EDGE_MIX.
element_type linear_shape(element_type type) noexcept;

// One matrix and how its columns are read.
struct element_block {
  const dense2D<unsigned>* connect;
  element_type kind;   // narrowed by the row count
  element_type shape;  // linear_shape(kind)
  bool mixed() const noexcept { return kind == ET_FACE_MIX || kind == ET_SOLID_MIX; }
  // The linear shape of one column.
  element_type shape_of(const unsigned* column) const noexcept {
    return mixed() ? column_shape(kind, column) : shape;
  }
};

// The blocks of a range whose kinds have faces (through their linear
// shape), every matrix passing check_IDs against its kind and `bound`.
// partition_bad_type otherwise (also for types.size() != last - first).
int face_blocks(const dense2D<unsigned>* first, const dense2D<unsigned>* last,
                const dense1D<int>& types, unsigned bound, std::vector<element_block>& blocks);
// The blocks of a mesh, checked against its number of nodes.
int face_blocks(const mesh_data& mesh, std::vector<element_block>& blocks);

// Sorts every row of the graph, removes repeated entries and compacts the
// rows (xadj updated).
void sort_unique_rows(csr_graph& graph);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
