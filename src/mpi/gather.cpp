// One mesh on rank 0 from the blocks of every rank: the columns of each
// block rank after rank, the nodes they use in global order.
#include "mpi/gather.h"

#include <algorithm>
#include <array>

#include "mpi/exchange.h"
#include "quernfold/mpi.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

constexpr std::size_t kRows = 3;

struct node_record {
  std::uint64_t id;
  std::array<double, kRows> x;
};

// The nodes the blocks use, with their global numbers and coordinates.
std::vector<node_record> used_nodes(const std::vector<mesh_block>& blocks,
                                    const std::vector<std::uint64_t>& node_ids,
                                    const dense2D<double>& coords) {
  std::vector<char> used(node_ids.size(), 0);
  for (const mesh_block& b : blocks)
    for (std::size_t k = 0; k < b.connectM.rows() * b.connectM.cols(); ++k)
      used[b.connectM.data()[k]] = 1;
  std::vector<node_record> nodes;
  for (std::size_t v = 0; v < used.size(); ++v) {
    if (!used[v]) continue;
    node_record r{node_ids[v], {0, 0, 0}};
    std::copy(coords.column(v), coords.column(v) + coords.rows(), r.x.begin());
    nodes.push_back(r);
  }
  return nodes;
}

// Rank 0: the distinct nodes in global order as the coordinates of `whole`.
bool place_nodes(std::vector<node_record>& nodes, mesh_data& whole) {
  std::sort(nodes.begin(), nodes.end(),
            [](const node_record& a, const node_record& b) { return a.id < b.id; });
  nodes.erase(std::unique(nodes.begin(), nodes.end(),
                          [](const node_record& a, const node_record& b) { return a.id == b.id; }),
              nodes.end());
  if (!whole.coords.resize(kRows, nodes.size())) return false;
  for (std::size_t j = 0; j < nodes.size(); ++j)
    std::copy(nodes[j].x.begin(), nodes[j].x.end(), whole.coords.column(j));
  return true;
}

// Block b of every rank on rank 0, renumbered through `slot` (global number
// -> position among the nodes placed).
bool gather_block(MPI_Comm comm, const mesh_block& b, const std::vector<std::uint64_t>& node_ids,
                  const std::vector<unsigned>& slot, mesh_data& whole) {
  std::vector<std::uint64_t> ids(b.connectM.rows() * b.connectM.cols());
  for (std::size_t k = 0; k < ids.size(); ++k) ids[k] = node_ids[b.connectM.data()[k]];
  ids = detail::gather_on_first(comm, ids);
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  if (rank != 0) return true;
  mesh_block out;
  out.type = b.type;
  const std::size_t rows = nbr_nodes(b.type);
  if (!out.connectM.resize(rows, ids.size() / std::max<std::size_t>(rows, 1))) return false;
  for (std::size_t k = 0; k < ids.size(); ++k) out.connectM.data()[k] = slot[ids[k]];
  whole.blocks.push_back(out);
  return true;
}

}  // namespace

int gather_blocks(MPI_Comm comm, const std::vector<mesh_block>& blocks,
                  const std::vector<std::uint64_t>& node_ids, const dense2D<double>& coords,
                  mesh_data& whole) {
  whole = mesh_data();
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  std::vector<node_record> nodes =
      detail::gather_on_first(comm, used_nodes(blocks, node_ids, coords));
  int code = rank == 0 && !place_nodes(nodes, whole) ? no_memory : 0;
  // Global numbers are below the file's node count: a table finds positions.
  std::vector<unsigned> slot(nodes.empty() ? 0 : nodes.back().id + 1);
  for (std::size_t j = 0; j < nodes.size(); ++j) slot[nodes[j].id] = static_cast<unsigned>(j);
  std::vector<node_record>().swap(nodes);
  for (const mesh_block& b : blocks)
    if (!gather_block(comm, b, node_ids, slot, whole)) code = no_memory;
  return detail::agree(comm, code);
}

int gather_blocks(const dist_mesh& mesh, const std::vector<mesh_block>& blocks, mesh_data& whole) {
  return gather_blocks(mesh.comm, blocks, mesh.node_ids, mesh.local.coords, whole);
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
