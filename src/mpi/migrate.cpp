// Migration of the elements to their parts: the parts around every node
// (asked of the rank its number hashes to), then each element sent to the
// rank of its part and of every part it is a ghost in, with the nodes it
// uses, then one part mesh built per part held, as split_mesh builds it.
#include <algorithm>
#include <cstring>
#include <map>
#include <new>

#include "mpi/exchange.h"
#include "quernfold/mpi.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;
using detail::owner_of;

constexpr int kSpaceRows = 3;

// A node and a part around it; on the way to the directory, the asking
// rank too.
struct node_part {
  std::uint64_t node;
  std::uint64_t part;
  std::uint64_t rank;
  bool operator<(const node_part& o) const {
    return node != o.node ? node < o.node : part != o.part ? part < o.part : rank < o.rank;
  }
};

// The parts around the local nodes: those of node j are
// list[start[j]] .. list[start[j + 1] - 1], ascending.
struct parts_around {
  std::vector<std::uint64_t> start;
  std::vector<unsigned> list;
};

template <class Visit>
void for_each_local(const dist_mesh& mesh, Visit&& visit) {
  std::size_t e = 0;
  for (std::size_t b = 0; b < mesh.local.blocks.size(); ++b) {
    const dense2D<unsigned>& c = mesh.local.blocks[b].connectM;
    for (std::size_t j = 0; j < c.cols(); ++j, ++e) visit(e, b, j, c.column(j), c.rows());
  }
}

// Every rank sends (node, part) for the parts of its elements around its
// nodes; the directory answers each rank with every part around them.
parts_around find_parts_around(const dist_mesh& mesh, const std::vector<unsigned>& part) {
  std::vector<std::pair<unsigned, unsigned>> local;  // (local node, part)
  for_each_local(
      mesh, [&](std::size_t e, std::size_t, std::size_t, const unsigned* column, std::size_t rows) {
        for (std::size_t k = 0; k < rows; ++k) local.emplace_back(column[k], part[e]);
      });
  std::sort(local.begin(), local.end());
  local.erase(std::unique(local.begin(), local.end()), local.end());
  std::vector<std::vector<node_part>> out(mesh.ranks);
  for (const auto& [node, p] : local) {
    const std::uint64_t id = mesh.node_ids[node];
    out[owner_of(id, mesh.ranks)].push_back({id, p, static_cast<std::uint64_t>(mesh.rank)});
  }
  std::vector<std::pair<unsigned, unsigned>>().swap(local);
  std::vector<node_part> seen = exchange(mesh.comm, out);
  std::sort(seen.begin(), seen.end());
  for (std::size_t i = 0; i < seen.size();) {
    std::size_t j = i;
    while (j < seen.size() && seen[j].node == seen[i].node) ++j;
    std::vector<std::uint64_t> askers;
    for (std::size_t k = i; k < j; ++k) askers.push_back(seen[k].rank);
    std::sort(askers.begin(), askers.end());
    askers.erase(std::unique(askers.begin(), askers.end()), askers.end());
    for (std::uint64_t r : askers)
      for (std::size_t k = i; k < j; ++k)
        if (k == i || seen[k].part != seen[k - 1].part)
          out[r].push_back({seen[k].node, seen[k].part, 0});
    i = j;
  }
  std::vector<node_part>().swap(seen);
  std::vector<node_part> back = exchange(mesh.comm, out);
  std::sort(back.begin(), back.end());
  parts_around around;
  around.start.assign(mesh.node_ids.size() + 1, 0);
  std::size_t j = 0;
  for (const node_part& r : back) {
    while (mesh.node_ids[j] != r.node) around.start[++j] = around.list.size();
    around.list.push_back(static_cast<unsigned>(r.part));
  }
  while (j < mesh.node_ids.size()) around.start[++j] = around.list.size();
  return around;
}

std::uint64_t bits_of(double x) {
  std::uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

double double_of(std::uint64_t b) {
  double x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

// The records sent: per element [target part, block, global element, owner
// part, its nodes' global numbers], per node [target part, global node,
// x, y, z, parts around, those parts].
struct outgoing {
  std::vector<std::vector<std::uint64_t>> elements, nodes;
};

void send_elements(const dist_mesh& mesh, const std::vector<unsigned>& part,
                   const parts_around& around, unsigned parts, unsigned ghost_layers, int holders,
                   outgoing& out) {
  const std::vector<std::uint64_t> starts = detail::block_starts(mesh);
  std::vector<std::pair<unsigned, unsigned>> node_targets;  // (target part, local node)
  std::vector<unsigned> targets;
  for_each_local(mesh, [&](std::size_t e, std::size_t b, std::size_t j, const unsigned* column,
                           std::size_t rows) {
    targets.assign(1, part[e]);
    for (std::size_t k = 0; k < rows && ghost_layers > 0; ++k)
      targets.insert(targets.end(), around.list.begin() + around.start[column[k]],
                     around.list.begin() + around.start[column[k] + 1]);
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    for (unsigned t : targets) {
      std::vector<std::uint64_t>& to = out.elements[rank_of_part(t, parts, holders)];
      to.insert(to.end(), {t, b, starts[b] + mesh.position_in_kind(b, j), part[e]});
      for (std::size_t k = 0; k < rows; ++k) {
        to.push_back(mesh.node_ids[column[k]]);
        node_targets.emplace_back(t, column[k]);
      }
    }
  });
  std::sort(node_targets.begin(), node_targets.end());
  node_targets.erase(std::unique(node_targets.begin(), node_targets.end()), node_targets.end());
  for (const auto& [t, v] : node_targets) {
    std::vector<std::uint64_t>& to = out.nodes[rank_of_part(t, parts, holders)];
    to.insert(to.end(), {t, mesh.node_ids[v]});
    for (int i = 0; i < kSpaceRows; ++i) to.push_back(bits_of(mesh.local.coords(i, v)));
    to.push_back(around.start[v + 1] - around.start[v]);
    to.insert(to.end(), around.list.begin() + around.start[v],
              around.list.begin() + around.start[v + 1]);
  }
}

// What one part receives.
struct received_element {
  std::size_t block;
  std::uint64_t id;
  bool ghost;
  std::size_t at;  // position of its nodes in `nodes`
  bool operator<(const received_element& o) const {
    return block != o.block ? block < o.block : ghost != o.ghost ? ghost < o.ghost : id < o.id;
  }
};
struct received_node {
  std::uint64_t id;
  double x[kSpaceRows];
  std::size_t at, count;  // its parts in `parts`
};
struct received_part {
  std::vector<received_element> elements;
  std::vector<std::uint64_t> element_nodes;
  std::vector<received_node> nodes;
  std::vector<unsigned> parts;
};

void unpack(const dist_mesh& mesh, const std::vector<std::uint64_t>& elements,
            const std::vector<std::uint64_t>& nodes, unsigned first,
            std::vector<received_part>& held) {
  for (std::size_t i = 0; i < elements.size();) {
    received_part& p = held[elements[i] - first];
    const std::size_t b = elements[i + 1];
    const unsigned rows = nbr_nodes(mesh.local.blocks[b].type);
    p.elements.push_back(
        {b, elements[i + 2], elements[i + 3] != elements[i], p.element_nodes.size()});
    p.element_nodes.insert(p.element_nodes.end(), elements.begin() + i + 4,
                           elements.begin() + i + 4 + rows);
    i += 4 + rows;
  }
  for (std::size_t i = 0; i < nodes.size();) {
    received_part& p = held[nodes[i] - first];
    received_node n = {nodes[i + 1], {}, p.parts.size(), nodes[i + 2 + kSpaceRows]};
    for (int k = 0; k < kSpaceRows; ++k) n.x[k] = double_of(nodes[i + 2 + k]);
    const std::size_t from = i + 3 + kSpaceRows;
    p.parts.insert(p.parts.end(), nodes.begin() + from, nodes.begin() + from + n.count);
    p.nodes.push_back(n);
    i = from + n.count;
  }
}

// The part mesh of one part: nodes by ascending global number, blocks of
// owned then ghost elements, owners and shared-node lists.
void build_part(const dist_mesh& mesh, received_part& r, part_mesh& out) {
  std::sort(r.nodes.begin(), r.nodes.end(),
            [](const received_node& a, const received_node& b) { return a.id < b.id; });
  r.nodes.erase(
      std::unique(r.nodes.begin(), r.nodes.end(),
                  [](const received_node& a, const received_node& b) { return a.id == b.id; }),
      r.nodes.end());
  if (!out.mesh.coords.resize(kSpaceRows, r.nodes.size())) throw std::bad_alloc();
  std::map<unsigned, std::vector<std::uint64_t>> shared;
  for (std::size_t k = 0; k < r.nodes.size(); ++k) {
    const received_node& n = r.nodes[k];
    out.global_nodes.push_back(n.id);
    std::copy(n.x, n.x + kSpaceRows, out.mesh.coords.column(k));
    const unsigned* around = r.parts.data() + n.at;
    out.node_owner.push_back(around[0]);
    const bool here = std::find(around, around + n.count, out.part) != around + n.count;
    for (std::size_t q = 0; here && n.count > 1 && q < n.count; ++q)
      if (around[q] != out.part) shared[around[q]].push_back(n.id);
  }
  for (auto& [neighbour, nodes] : shared) {
    out.neighbours.push_back(neighbour);
    out.shared_nodes.push_back(std::move(nodes));
  }
  std::sort(r.elements.begin(), r.elements.end());
  std::size_t i = 0;
  for (std::size_t b = 0; b < mesh.local.blocks.size(); ++b) {
    mesh_block block;
    block.type = mesh.local.blocks[b].type;
    std::size_t end = i;
    while (end < r.elements.size() && r.elements[end].block == b) ++end;
    const unsigned rows = nbr_nodes(block.type);
    if (end > i && !block.connectM.resize(rows, end - i)) throw std::bad_alloc();
    for (std::size_t j = 0; i < end; ++i, ++j) {
      const received_element& e = r.elements[i];
      for (unsigned k = 0; k < rows; ++k) {
        const auto at = std::lower_bound(out.global_nodes.begin(), out.global_nodes.end(),
                                         r.element_nodes[e.at + k]);
        block.connectM(k, j) = static_cast<unsigned>(at - out.global_nodes.begin());
      }
      out.global_elements.push_back(e.id);
      out.ghost_elements.push_back(e.ghost ? 1 : 0);
    }
    out.mesh.blocks.push_back(std::move(block));
  }
}

int check_migration(const dist_mesh& mesh, const std::vector<unsigned>& part, unsigned parts,
                    unsigned ghost_layers, int holders) {
  bool ok = part.size() == mesh.elements() && ghost_layers <= 1 && parts > 0 && holders >= 1 &&
            holders <= mesh.ranks;
  for (std::size_t e = 0; ok && e < part.size(); ++e) ok = part[e] < parts;
  return detail::agree(mesh.comm, ok ? 0 : mpi_bad_parameter);
}

}  // namespace

std::vector<std::uint64_t> detail::block_starts(const dist_mesh& mesh) {
  std::vector<std::uint64_t> counts;
  for (const mesh_block& b : mesh.local.blocks) counts.push_back(b.connectM.cols());
  MPI_Allreduce(MPI_IN_PLACE, counts.data(), static_cast<int>(counts.size()), MPI_UINT64_T, MPI_SUM,
                mesh.comm);
  std::vector<std::uint64_t> starts(counts.size(), 0);
  for (std::size_t b = 1; b < counts.size(); ++b) starts[b] = starts[b - 1] + counts[b - 1];
  return starts;
}

int migrate_parts(const dist_mesh& mesh, const std::vector<unsigned>& element_part, unsigned parts,
                  unsigned ghost_layers, int holders, std::vector<part_mesh>& out) {
  out.clear();
  if (int code = check_migration(mesh, element_part, parts, ghost_layers, holders)) return code;
  int code = 0;
  std::vector<received_part> held;
  try {
    const parts_around around = find_parts_around(mesh, element_part);
    outgoing sent;
    sent.elements.resize(mesh.ranks);
    sent.nodes.resize(mesh.ranks);
    send_elements(mesh, element_part, around, parts, ghost_layers, holders, sent);
    const std::vector<std::uint64_t> elements = exchange(mesh.comm, sent.elements);
    const std::vector<std::uint64_t> nodes = exchange(mesh.comm, sent.nodes);
    const unsigned first = first_part(mesh.rank, parts, holders);
    held.resize(first_part(mesh.rank + 1, parts, holders) - first);
    unpack(mesh, elements, nodes, first, held);
    out.resize(held.size());
    for (std::size_t p = 0; p < held.size(); ++p) {
      out[p].part = first + static_cast<unsigned>(p);
      out[p].parts = parts;
      build_part(mesh, held[p], out[p]);
      held[p] = received_part();
    }
  } catch (const std::bad_alloc&) {
    code = no_memory;
  }
  code = detail::agree(mesh.comm, code);
  if (code) out.clear();
  return code;
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
