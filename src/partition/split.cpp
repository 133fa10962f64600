// Split of a mesh by a part number per element: node-to-element incidence,
// the parts around every node (owners, interfaces, ghosts), then one mesh per
// part built from its owned and ghost elements.
#include <algorithm>
#include <cstdint>
#include <map>
#include <new>
#include <vector>

#include "quernfold/partition.h"

namespace ovk {
namespace quernfold {
namespace {

// Nodes around which elements of several parts meet, and what each part
// receives from them.
struct interfaces {
  std::vector<unsigned> owner;                                         // per global node
  std::vector<std::vector<std::uint64_t>> ghosts;                      // per part, global elements
  std::vector<std::map<unsigned, std::vector<std::uint64_t>>> shared;  // part -> neighbour -> nodes
};

// A block that split_mesh takes: a pure kind of its own height, refs empty
// or one per element, every node existing.
bool well_formed(const mesh_block& b, std::size_t nodes) {
  const unsigned rows = nbr_nodes(b.type);
  if (b.type == ET_UNKNOWN || b.type == ET_FACE_MIX || b.type == ET_SOLID_MIX ||
      b.type == ET_EDGE_MIX || rows == 0)
    return false;
  if (b.connectM.cols() > 0 && b.connectM.rows() != rows) return false;
  if (b.refs.size() != 0 && b.refs.size() != b.connectM.cols()) return false;
  return check_IDs(b.connectM, b.type, static_cast<unsigned>(nodes));
}

int check_split(const mesh_data& mesh, const std::vector<unsigned>& element_part, unsigned parts,
                unsigned ghost_layers) {
  if (element_part.size() != mesh.elements() || ghost_layers > 1) return partition_bad_split;
  if (parts == 0) return partition_bad_parts;
  for (unsigned p : element_part)
    if (p >= parts) return partition_bad_parts;
  for (const mesh_block& b : mesh.blocks)
    if (!well_formed(b, mesh.coords.cols())) return partition_bad_type;
  return 0;
}

// Calls visit(element, column) for every element, numbered block after block.
template <class Visit>
void for_each_element(const mesh_data& mesh, Visit&& visit) {
  std::uint64_t e = 0;
  for (const mesh_block& b : mesh.blocks)
    for (std::size_t j = 0; j < b.connectM.cols(); ++j, ++e)
      visit(e, b.connectM.column(j), b.connectM.rows());
}

// Node-to-element incidence: the elements of node v are
// elements[start[v]] .. elements[start[v + 1] - 1], ascending.
void incidence(const mesh_data& mesh, std::vector<std::uint64_t>& start,
               std::vector<std::uint64_t>& elements) {
  const std::size_t nodes = mesh.coords.cols();
  start.assign(nodes + 1, 0);
  for_each_element(mesh, [&](std::uint64_t, const unsigned* column, std::size_t rows) {
    for (std::size_t k = 0; k < rows; ++k) ++start[column[k] + 1];
  });
  for (std::size_t v = 0; v < nodes; ++v) start[v + 1] += start[v];
  elements.resize(start[nodes]);
  std::vector<std::uint64_t> fill(start.begin(), start.end() - 1);
  for_each_element(mesh, [&](std::uint64_t e, const unsigned* column, std::size_t rows) {
    for (std::size_t k = 0; k < rows; ++k) elements[fill[column[k]]++] = e;
  });
}

// Owners, shared-node lists and ghost elements, node by node.
interfaces find_interfaces(const mesh_data& mesh, const std::vector<unsigned>& element_part,
                           unsigned parts, unsigned ghost_layers) {
  std::vector<std::uint64_t> start, elements;
  incidence(mesh, start, elements);
  interfaces found;
  found.owner.assign(mesh.coords.cols(), 0);
  found.ghosts.resize(parts);
  found.shared.resize(parts);
  std::vector<unsigned> around;
  for (std::size_t v = 0; v < mesh.coords.cols(); ++v) {
    around.clear();
    for (std::uint64_t i = start[v]; i < start[v + 1]; ++i)
      around.push_back(element_part[elements[i]]);
    std::sort(around.begin(), around.end());
    around.erase(std::unique(around.begin(), around.end()), around.end());
    if (!around.empty()) found.owner[v] = around.front();
    if (around.size() < 2) continue;
    for (unsigned p : around)
      for (unsigned q : around)
        if (p != q) found.shared[p][q].push_back(v);
    if (ghost_layers == 0) continue;
    for (std::uint64_t i = start[v]; i < start[v + 1]; ++i)
      for (unsigned p : around)
        if (p != element_part[elements[i]]) found.ghosts[p].push_back(elements[i]);
  }
  for (std::vector<std::uint64_t>& g : found.ghosts) {
    std::sort(g.begin(), g.end());
    g.erase(std::unique(g.begin(), g.end()), g.end());
  }
  return found;
}

// The global elements of one part, by block: owned ones, then ghosts (both
// lists ascending).
std::vector<std::vector<std::uint64_t>> part_elements(
    const std::vector<std::uint64_t>& owned, const std::vector<std::uint64_t>& ghosts,
    const std::vector<std::uint64_t>& block_start) {
  std::vector<std::vector<std::uint64_t>> by_block(block_start.size() - 1);
  for (std::size_t b = 0; b < by_block.size(); ++b)
    for (const std::vector<std::uint64_t>* list : {&owned, &ghosts}) {
      auto first = std::lower_bound(list->begin(), list->end(), block_start[b]);
      auto last = std::lower_bound(list->begin(), list->end(), block_start[b + 1]);
      by_block[b].insert(by_block[b].end(), first, last);
    }
  return by_block;
}

// The local nodes of a part: those of its elements (and, for part 0, the
// nodes of no element), ascending.
std::vector<std::uint64_t> part_nodes(const mesh_data& mesh,
                                      const std::vector<std::vector<std::uint64_t>>& by_block,
                                      const std::vector<std::uint64_t>& block_start,
                                      bool take_unused, std::vector<unsigned char>& used) {
  std::vector<std::uint64_t> nodes;
  for (std::size_t b = 0; b < by_block.size(); ++b) {
    const dense2D<unsigned>& c = mesh.blocks[b].connectM;
    for (std::uint64_t e : by_block[b]) {
      const unsigned* column = c.column(static_cast<std::size_t>(e - block_start[b]));
      nodes.insert(nodes.end(), column, column + c.rows());
    }
  }
  if (take_unused)
    for (std::size_t v = 0; v < used.size(); ++v)
      if (!used[v]) nodes.push_back(v);
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  return nodes;
}

// The mesh of one part: its blocks (columns renumbered to local nodes), refs
// and coordinates; global ids, ghost flags and node owners.
void build_part(const mesh_data& mesh, const std::vector<unsigned>& element_part,
                const std::vector<std::vector<std::uint64_t>>& by_block,
                const std::vector<std::uint64_t>& block_start, const interfaces& found,
                std::vector<unsigned>& local_of, part_mesh& out) {
  for (std::size_t k = 0; k < out.global_nodes.size(); ++k)
    local_of[out.global_nodes[k]] = static_cast<unsigned>(k);
  const std::size_t rows = mesh.coords.rows();
  if (!out.mesh.coords.resize(rows, out.global_nodes.size())) throw std::bad_alloc();
  for (std::size_t k = 0; k < out.global_nodes.size(); ++k) {
    for (std::size_t i = 0; i < rows; ++i)
      out.mesh.coords(i, k) = mesh.coords(i, out.global_nodes[k]);
    out.node_owner.push_back(found.owner[out.global_nodes[k]]);
  }
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    const mesh_block& whole = mesh.blocks[b];
    mesh_block block;
    block.type = whole.type;
    const std::size_t count = by_block[b].size(), height = nbr_nodes(whole.type);
    if (count > 0 && !block.connectM.resize(height, count)) throw std::bad_alloc();
    if (count > 0 && whole.refs.size() > 0 && !block.refs.resize(count)) throw std::bad_alloc();
    for (std::size_t j = 0; j < count; ++j) {
      const std::uint64_t e = by_block[b][j];
      const std::size_t column = static_cast<std::size_t>(e - block_start[b]);
      for (std::size_t k = 0; k < height; ++k)
        block.connectM(k, j) = local_of[whole.connectM(k, column)];
      if (block.refs.size() > 0) block.refs[j] = whole.refs[column];
      out.global_elements.push_back(e);
      out.ghost_elements.push_back(element_part[e] != out.part);
    }
    out.mesh.blocks.push_back(std::move(block));
  }
  for (const auto& [neighbour, nodes] : found.shared[out.part]) {
    out.neighbours.push_back(neighbour);
    out.shared_nodes.push_back(nodes);
  }
}

}  // namespace

std::size_t part_mesh::owned_elements() const {
  return static_cast<std::size_t>(std::count(ghost_elements.begin(), ghost_elements.end(), 0));
}

std::size_t part_mesh::interface_nodes() const {
  std::vector<std::uint64_t> all;
  for (const std::vector<std::uint64_t>& list : shared_nodes)
    all.insert(all.end(), list.begin(), list.end());
  std::sort(all.begin(), all.end());
  return static_cast<std::size_t>(std::unique(all.begin(), all.end()) - all.begin());
}

int split_mesh(const mesh_data& mesh, const std::vector<unsigned>& element_part, unsigned parts,
               unsigned ghost_layers, std::vector<part_mesh>& out) try {
  out.clear();
  const int code = check_split(mesh, element_part, parts, ghost_layers);
  if (code < 0) return code;
  const interfaces found = find_interfaces(mesh, element_part, parts, ghost_layers);
  std::vector<std::uint64_t> block_start(1, 0);
  for (const mesh_block& b : mesh.blocks)
    block_start.push_back(block_start.back() + b.connectM.cols());
  std::vector<unsigned char> used(mesh.coords.cols(), 0);
  for_each_element(mesh, [&](std::uint64_t, const unsigned* column, std::size_t rows) {
    for (std::size_t k = 0; k < rows; ++k) used[column[k]] = 1;
  });
  std::vector<unsigned> local_of(mesh.coords.cols(), no_index);
  std::vector<std::vector<std::uint64_t>> owned(parts);
  for (std::size_t e = 0; e < element_part.size(); ++e) owned[element_part[e]].push_back(e);
  out.resize(parts);
  for (unsigned p = 0; p < parts; ++p) {
    out[p].part = p;
    out[p].parts = parts;
    const auto by_block = part_elements(owned[p], found.ghosts[p], block_start);
    std::vector<std::uint64_t>().swap(owned[p]);
    out[p].global_nodes = part_nodes(mesh, by_block, block_start, p == 0, used);
    build_part(mesh, element_part, by_block, block_start, found, local_of, out[p]);
  }
  return 0;
} catch (const std::bad_alloc&) {
  out.clear();
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
