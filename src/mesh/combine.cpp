// Views and combinations of a mesh's blocks: its dimension, the vertex nodes
// of a block, and every element of one dimension in one matrix.
#include <algorithm>

#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace {

// The linear solid of each vertex count (index).
constexpr element_type kLinearSolids[] = {ET_UNKNOWN, ET_UNKNOWN, ET_UNKNOWN,
                                          ET_UNKNOWN, ET_TETRA4,  ET_PYRAMID5,
                                          ET_WEDGE6,  ET_UNKNOWN, ET_HEXA8};
constexpr unsigned kLargestVertexCount = 8;

// The kind that holds every linear kind of a dimension (index).
constexpr element_type kMixedKinds[] = {ET_NODE, ET_EDGE2, ET_FACE_MIX, ET_SOLID_MIX};
constexpr unsigned kLargestDimension = 3;

}  // namespace

unsigned mesh_dimension(const mesh_data& mesh) {
  unsigned d = 0;
  for (const mesh_block& b : mesh.blocks)
    if (b.connectM.cols()) d = std::max(d, element_dim(b.type));
  return d;
}

element_type linear_kind(element_type type) {
  switch (element_dim(type)) {
    case 0:
      return ET_NODE;
    case 1:
      return ET_EDGE2;
    case 2:
      return nbr_base_nodes(type) == 3 ? ET_TRIA3 : ET_QUAD4;
    default:
      return kLinearSolids[std::min(nbr_base_nodes(type), kLargestVertexCount)];
  }
}

bool vertex_matrix(const mesh_block& block, dense2D<unsigned>& out) {
  const std::size_t rows = nbr_base_nodes(block.type), cols = block.connectM.cols();
  if (rows == block.connectM.rows()) {
    out = block.connectM;
    return true;
  }
  if (!out.resize(rows, cols)) return false;
  for (std::size_t j = 0; j < cols; ++j)
    std::copy(block.connectM.column(j), block.connectM.column(j) + rows, out.column(j));
  return true;
}

int combine_blocks(const mesh_data& mesh, unsigned dimension, combined_elements& out) {
  out.type = kMixedKinds[std::min(dimension, kLargestDimension)];
  std::size_t cols = 0;
  for (const mesh_block& b : mesh.blocks)
    if (element_dim(b.type) == dimension) cols += b.connectM.cols();
  if (!out.connect.resize(nbr_nodes(out.type), cols, no_index)) {
    out.connect.clear();
    return no_memory;
  }
  std::size_t j0 = 0;
  for (const mesh_block& b : mesh.blocks) {
    if (element_dim(b.type) != dimension) continue;
    const unsigned base = nbr_base_nodes(b.type);
    for (std::size_t j = 0; j < b.connectM.cols(); ++j, ++j0)
      std::copy(b.connectM.column(j), b.connectM.column(j) + base, out.connect.column(j0));
  }
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
