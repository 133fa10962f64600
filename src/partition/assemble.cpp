// The whole mesh from the parts of a split: block sizes from the owned
// elements, every owned element and every local node put back at its global
// position, and checks that each position is filled exactly once.
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "quernfold/partition.h"

namespace ovk {
namespace quernfold {
namespace {

// Same blocks and coordinate rows in every part, and lists of the sizes of
// their meshes.
bool parts_agree(const std::vector<part_mesh>& parts) {
  if (parts.empty()) return false;
  const part_mesh& first = parts.front();
  for (const part_mesh& p : parts) {
    std::size_t elements = 0;
    if (p.mesh.blocks.size() != first.mesh.blocks.size()) return false;
    for (std::size_t b = 0; b < p.mesh.blocks.size(); ++b) {
      if (p.mesh.blocks[b].type != first.mesh.blocks[b].type) return false;
      elements += p.mesh.blocks[b].connectM.cols();
    }
    if (p.mesh.coords.rows() != first.mesh.coords.rows() && p.mesh.coords.cols() > 0) return false;
    if (p.global_nodes.size() != p.mesh.coords.cols() || p.global_elements.size() != elements ||
        p.ghost_elements.size() != elements)
      return false;
  }
  return true;
}

// Owned elements per block over all parts, and whether a block carries refs.
void block_sizes(const std::vector<part_mesh>& parts, std::vector<std::uint64_t>& start,
                 std::vector<bool>& with_refs) {
  const std::size_t blocks = parts.front().mesh.blocks.size();
  start.assign(blocks + 1, 0);
  with_refs.assign(blocks, false);
  for (const part_mesh& p : parts) {
    std::size_t local = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
      const mesh_block& block = p.mesh.blocks[b];
      for (std::size_t j = 0; j < block.connectM.cols(); ++j, ++local)
        if (!p.ghost_elements[local]) ++start[b + 1];
      if (block.refs.size() > 0) with_refs[b] = true;
    }
  }
  for (std::size_t b = 0; b < blocks; ++b) start[b + 1] += start[b];
}

// Every local node of every part at its global column (copies in several
// parts are the same node); false when a node is never given.
bool put_nodes(const std::vector<part_mesh>& parts, dense2D<double>& coords) {
  std::uint64_t nodes = 0;
  for (const part_mesh& p : parts)
    for (std::uint64_t g : p.global_nodes) nodes = std::max(nodes, g + 1);
  const std::size_t rows = parts.front().mesh.coords.rows();
  if (nodes > no_index || !coords.resize(rows, nodes)) throw std::bad_alloc();
  std::vector<unsigned char> given(nodes, 0);
  for (const part_mesh& p : parts) {
    for (std::size_t k = 0; k < p.global_nodes.size(); ++k) {
      const std::uint64_t g = p.global_nodes[k];
      for (std::size_t i = 0; i < rows; ++i) coords(i, g) = p.mesh.coords(i, k);
      given[g] = 1;
    }
  }
  return std::all_of(given.begin(), given.end(), [](unsigned char x) { return x != 0; });
}

// Every owned element at its global position, its nodes global again.
bool put_elements(const std::vector<part_mesh>& parts, const std::vector<std::uint64_t>& start,
                  std::vector<bool> const& with_refs, mesh_data& mesh) {
  const std::size_t blocks = start.size() - 1;
  std::vector<unsigned char> given(start.back(), 0);
  for (std::size_t b = 0; b < blocks; ++b) {
    mesh_block block;
    block.type = parts.front().mesh.blocks[b].type;
    const std::size_t count = static_cast<std::size_t>(start[b + 1] - start[b]);
    if (count > 0 && !block.connectM.resize(nbr_nodes(block.type), count)) throw std::bad_alloc();
    if (count > 0 && with_refs[b] && !block.refs.resize(count)) throw std::bad_alloc();
    mesh.blocks.push_back(std::move(block));
  }
  for (const part_mesh& p : parts) {
    std::size_t local = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
      const mesh_block& from = p.mesh.blocks[b];
      mesh_block& to = mesh.blocks[b];
      for (std::size_t j = 0; j < from.connectM.cols(); ++j, ++local) {
        if (p.ghost_elements[local]) continue;
        const std::uint64_t g = p.global_elements[local];
        if (g < start[b] || g >= start[b + 1] || given[g]) return false;
        given[g] = 1;
        const std::size_t column = static_cast<std::size_t>(g - start[b]);
        for (std::size_t k = 0; k < from.connectM.rows(); ++k) {
          const unsigned v = from.connectM(k, j);
          if (v >= p.global_nodes.size()) return false;
          to.connectM(k, column) = static_cast<unsigned>(p.global_nodes[v]);
        }
        if (with_refs[b] && from.refs.size() != from.connectM.cols()) return false;
        if (with_refs[b]) to.refs[column] = from.refs[j];
      }
    }
  }
  return true;
}

}  // namespace

int assemble_mesh(const std::vector<part_mesh>& parts, mesh_data& mesh) try {
  mesh = mesh_data();
  if (!parts_agree(parts)) return partition_bad_parts_list;
  std::vector<std::uint64_t> start;
  std::vector<bool> with_refs;
  block_sizes(parts, start, with_refs);
  if (!put_nodes(parts, mesh.coords) || !put_elements(parts, start, with_refs, mesh)) {
    mesh = mesh_data();
    return partition_bad_parts_list;
  }
  return 0;
} catch (const std::bad_alloc&) {
  mesh = mesh_data();
  return no_memory;
}

int element_parts(const std::vector<part_mesh>& parts, std::vector<unsigned>& element_part) try {
  element_part.clear();
  if (!parts_agree(parts)) return partition_bad_parts_list;
  std::size_t total = 0;
  for (const part_mesh& p : parts) total += p.owned_elements();
  element_part.assign(total, no_index);
  for (const part_mesh& p : parts) {
    for (std::size_t k = 0; k < p.global_elements.size(); ++k) {
      if (p.ghost_elements[k]) continue;
      const std::uint64_t g = p.global_elements[k];
      if (g >= total || element_part[g] != no_index) {
        element_part.clear();
        return partition_bad_parts_list;
      }
      element_part[g] = p.part;
    }
  }
  return 0;
} catch (const std::bad_alloc&) {
  element_part.clear();
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
