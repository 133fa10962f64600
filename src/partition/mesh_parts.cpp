// Partition of a whole mesh: the elements of the highest dimension on their
// face-dual graph, then every lower-dimensional element with the part of a
// solid that holds its vertex nodes (found through the solids around its
// first node).
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "quernfold/partition.h"

namespace ovk {
namespace quernfold {
namespace {

// The blocks of the highest dimension (sharing storage) and, per block,
// whether it is one of them.
mesh_data solids_of(const mesh_data& mesh, std::vector<bool>& is_solid) {
  unsigned top = 0;
  for (const mesh_block& b : mesh.blocks) top = std::max(top, element_dim(b.type));
  mesh_data solids;
  solids.coords = mesh.coords;
  is_solid.clear();
  for (const mesh_block& b : mesh.blocks) {
    is_solid.push_back(element_dim(b.type) == top);
    if (is_solid.back()) solids.blocks.push_back(b);
  }
  return solids;
}

// Node-to-solid incidence: the solids (numbered among the solids) around
// node v are around[start[v]] .. around[start[v + 1] - 1], ascending.
void solids_around(const mesh_data& solids, std::vector<std::uint64_t>& start,
                   std::vector<std::uint32_t>& around) {
  const std::size_t nodes = solids.coords.cols();
  start.assign(nodes + 1, 0);
  for (const mesh_block& b : solids.blocks)
    for (std::size_t j = 0; j < b.connectM.cols(); ++j)
      for (std::size_t k = 0; k < nbr_base_nodes(b.type); ++k) ++start[b.connectM(k, j) + 1];
  for (std::size_t v = 0; v < nodes; ++v) start[v + 1] += start[v];
  around.resize(start[nodes]);
  std::vector<std::uint64_t> fill(start.begin(), start.end() - 1);
  std::uint32_t e = 0;
  for (const mesh_block& b : solids.blocks)
    for (std::size_t j = 0; j < b.connectM.cols(); ++j, ++e)
      for (std::size_t k = 0; k < nbr_base_nodes(b.type); ++k) around[fill[b.connectM(k, j)]++] = e;
}

// The block and column of every solid, numbered among the solids.
struct solid_columns {
  std::vector<const mesh_block*> block_of;
  std::vector<std::size_t> column_of;
};

// Part of one lower-dimensional element: that of the first solid around its
// first node holding all its vertex nodes, else the first solid around any
// of them, else 0.
unsigned lower_part(const unsigned* column, unsigned vertices,
                    const std::vector<std::uint64_t>& start,
                    const std::vector<std::uint32_t>& around, const solid_columns& solids,
                    const std::vector<unsigned>& solid_part) {
  const unsigned first = column[0];
  for (std::uint64_t i = start[first]; i < start[first + 1]; ++i) {
    const mesh_block& b = *solids.block_of[around[i]];
    const unsigned* solid = b.connectM.column(solids.column_of[around[i]]);
    const unsigned* end = solid + nbr_base_nodes(b.type);
    bool holds = true;
    for (unsigned k = 1; k < vertices && holds; ++k)
      holds = std::find(solid, end, column[k]) != end;
    if (holds) return solid_part[around[i]];
  }
  for (unsigned k = 0; k < vertices; ++k)
    if (start[column[k]] < start[column[k] + 1]) return solid_part[around[start[column[k]]]];
  return 0;
}

// The parts of every element of the mesh from those of its solids.
void spread_parts(const mesh_data& mesh, const mesh_data& solids, const std::vector<bool>& is_solid,
                  const std::vector<unsigned>& solid_part, std::vector<unsigned>& part) {
  std::vector<std::uint64_t> start;
  std::vector<std::uint32_t> around;
  solids_around(solids, start, around);
  solid_columns columns;
  for (const mesh_block& b : solids.blocks)
    for (std::size_t j = 0; j < b.connectM.cols(); ++j) {
      columns.block_of.push_back(&b);
      columns.column_of.push_back(j);
    }
  part.clear();
  std::size_t next_solid = 0;
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    const mesh_block& block = mesh.blocks[b];
    for (std::size_t j = 0; j < block.connectM.cols(); ++j)
      part.push_back(is_solid[b] ? solid_part[next_solid++]
                                 : lower_part(block.connectM.column(j), nbr_base_nodes(block.type),
                                              start, around, columns, solid_part));
  }
}

// Blocks of a lower dimension: a pure kind of its own height, every node
// existing.
int check_lower_blocks(const mesh_data& mesh, const std::vector<bool>& is_solid) {
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    const mesh_block& block = mesh.blocks[b];
    const bool mixed = block.type == ET_FACE_MIX || block.type == ET_SOLID_MIX ||
                       block.type == ET_EDGE_MIX || block.type == ET_UNKNOWN;
    if (is_solid[b] && !mixed) continue;
    if (mixed || (block.connectM.cols() > 0 && block.connectM.rows() != nbr_nodes(block.type)) ||
        !check_IDs(block.connectM, block.type, static_cast<unsigned>(mesh.coords.cols())))
      return partition_bad_type;
  }
  return 0;
}

}  // namespace

int partition_mesh(const mesh_data& mesh, unsigned parts, const partition_options& options,
                   partition_result& result) try {
  result = partition_result();
  std::vector<bool> is_solid;
  const mesh_data solids = solids_of(mesh, is_solid);
  partition_options solid_options = options;
  if (!options.weights.empty()) {
    if (options.weights.size() != mesh.elements()) return partition_bad_weights;
    solid_options.weights.clear();
    std::size_t e = 0;
    for (std::size_t b = 0; b < mesh.blocks.size(); ++b, e += mesh.blocks[b - 1].connectM.cols())
      if (is_solid[b])
        solid_options.weights.insert(solid_options.weights.end(), options.weights.begin() + e,
                                     options.weights.begin() + e + mesh.blocks[b].connectM.cols());
  }
  csr_graph graph;
  int code = check_lower_blocks(mesh, is_solid);
  if (code == 0) code = get_dual_graph(solids, graph);
  if (code == 0) code = partition_graph(graph, parts, solid_options, result);
  if (code < 0) return code;
  std::vector<unsigned> part;
  spread_parts(mesh, solids, is_solid, result.part, part);
  result.part = std::move(part);
  return 0;
} catch (const std::bad_alloc&) {
  result = partition_result();
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
