// Compact slices: the elements of a mesh read in file order (which may
// scatter every slice over the whole domain) move to the rank of their
// centroid's place along a Morton curve, cut into equal runs by sampled
// splitters, so that each rank holds one compact region and the faces,
// edges and labels that cross ranks are those of the regions' interfaces.
#include <algorithm>
#include <array>
#include <cmath>
#include <new>

#include "mpi/exchange.h"
#include "quernfold/mpi.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;

constexpr int kSpaceRows = 3;
constexpr int kBitsPerAxis = 21;  // 63-bit keys
constexpr std::size_t kSamplesPerRank = 64;

// A node on its way: global number and coordinates.
struct moved_node {
  std::uint64_t id;
  std::array<double, kSpaceRows> x;
  bool operator<(const moved_node& o) const { return id < o.id; }
};

// The box of the local nodes, reduced over the ranks.
void global_box(const dist_mesh& mesh, double lo[kSpaceRows], double hi[kSpaceRows]) {
  for (int i = 0; i < kSpaceRows; ++i) lo[i] = HUGE_VAL, hi[i] = -HUGE_VAL;
  for (std::size_t j = 0; j < mesh.local.coords.cols(); ++j)
    for (int i = 0; i < kSpaceRows; ++i) {
      lo[i] = std::min(lo[i], mesh.local.coords(i, j));
      hi[i] = std::max(hi[i], mesh.local.coords(i, j));
    }
  MPI_Allreduce(MPI_IN_PLACE, lo, kSpaceRows, MPI_DOUBLE, MPI_MIN, mesh.comm);
  MPI_Allreduce(MPI_IN_PLACE, hi, kSpaceRows, MPI_DOUBLE, MPI_MAX, mesh.comm);
}

// The bits of the three cell numbers interleaved.
std::uint64_t interleave(const std::uint64_t cell[kSpaceRows]) {
  std::uint64_t key = 0;
  for (int bit = kBitsPerAxis - 1; bit >= 0; --bit)
    for (int i = 0; i < kSpaceRows; ++i) key = key << 1 | (cell[i] >> bit & 1);
  return key;
}

// The Morton key of every local element's centroid, block after block.
std::vector<std::uint64_t> element_keys(const dist_mesh& mesh) {
  double lo[kSpaceRows], hi[kSpaceRows];
  global_box(mesh, lo, hi);
  const double cells = static_cast<double>((std::uint64_t(1) << kBitsPerAxis) - 1);
  std::vector<std::uint64_t> keys;
  keys.reserve(mesh.elements());
  for (const mesh_block& b : mesh.local.blocks)
    for (std::size_t j = 0; j < b.connectM.cols(); ++j) {
      std::uint64_t cell[kSpaceRows];
      for (int i = 0; i < kSpaceRows; ++i) {
        double sum = 0;
        for (std::size_t k = 0; k < b.connectM.rows(); ++k)
          sum += mesh.local.coords(i, b.connectM(k, j));
        const double span = hi[i] > lo[i] ? hi[i] - lo[i] : 1;
        const double t = (sum / static_cast<double>(b.connectM.rows()) - lo[i]) / span;
        cell[i] = static_cast<std::uint64_t>(std::clamp(t, 0.0, 1.0) * cells);
      }
      keys.push_back(interleave(cell));
    }
  return keys;
}

// ranks - 1 splitters from evenly spaced samples of every rank's keys.
std::vector<std::uint64_t> splitters(const dist_mesh& mesh, std::vector<std::uint64_t> keys) {
  std::sort(keys.begin(), keys.end());
  std::vector<std::uint64_t> samples;
  for (std::size_t s = 0; s < kSamplesPerRank && !keys.empty(); ++s)
    samples.push_back(keys[s * keys.size() / kSamplesPerRank]);
  std::vector<std::vector<std::uint64_t>> out(mesh.ranks, samples);
  std::vector<std::uint64_t> all = exchange(mesh.comm, out);
  std::sort(all.begin(), all.end());
  std::vector<std::uint64_t> cut;
  for (int r = 1; r < mesh.ranks && !all.empty(); ++r)
    cut.push_back(
        all[static_cast<std::size_t>(r) * all.size() / static_cast<std::size_t>(mesh.ranks)]);
  return cut;
}

// What a rank receives: per block, records [position in kind, carried
// number, node ids...]; the nodes.
struct arriving {
  std::vector<std::vector<std::uint64_t>> blocks;
  std::vector<moved_node> nodes;
};

// Sends local elements [from, to) (block after block) to their ranks.
void send_round(const dist_mesh& mesh, const std::vector<int>& rank_of,
                const std::vector<std::uint64_t>& carried, std::size_t from, std::size_t to,
                arriving& in) {
  std::vector<std::vector<std::uint64_t>> elements(mesh.ranks);
  std::vector<std::pair<int, unsigned>> node_targets;
  std::size_t e = 0;
  for (std::size_t b = 0; b < mesh.local.blocks.size(); ++b) {
    const dense2D<unsigned>& c = mesh.local.blocks[b].connectM;
    for (std::size_t j = 0; j < c.cols(); ++j, ++e) {
      if (e < from || e >= to) continue;
      std::vector<std::uint64_t>& out = elements[rank_of[e]];
      out.push_back(b);
      out.push_back(mesh.position_in_kind(b, j));
      out.push_back(carried.empty() ? 0 : carried[e]);
      for (std::size_t k = 0; k < c.rows(); ++k) {
        out.push_back(mesh.node_ids[c(k, j)]);
        node_targets.emplace_back(rank_of[e], c(k, j));
      }
    }
  }
  std::sort(node_targets.begin(), node_targets.end());
  node_targets.erase(std::unique(node_targets.begin(), node_targets.end()), node_targets.end());
  std::vector<std::vector<moved_node>> nodes(mesh.ranks);
  for (const auto& [r, v] : node_targets) {
    moved_node n = {mesh.node_ids[v], {}};
    for (int i = 0; i < kSpaceRows; ++i) n.x[i] = mesh.local.coords(i, v);
    nodes[r].push_back(n);
  }
  const std::vector<std::uint64_t> got = exchange(mesh.comm, elements);
  for (std::size_t i = 0; i < got.size();) {
    const std::size_t rows = nbr_nodes(mesh.local.blocks[got[i]].type);
    std::vector<std::uint64_t>& block = in.blocks[got[i]];
    block.insert(block.end(), got.begin() + static_cast<std::ptrdiff_t>(i + 1),
                 got.begin() + static_cast<std::ptrdiff_t>(i + 3 + rows));
    i += 3 + rows;
  }
  const std::vector<moved_node> placed = exchange(mesh.comm, nodes);
  in.nodes.insert(in.nodes.end(), placed.begin(), placed.end());
}

// The new local mesh: nodes by global number, each block's elements by
// their position in the kind; the numbers they carry.
int rebuild(arriving& in, dist_mesh& mesh, std::vector<std::uint64_t>& carried) {
  std::sort(in.nodes.begin(), in.nodes.end());
  in.nodes.erase(std::unique(in.nodes.begin(), in.nodes.end(),
                             [](const moved_node& a, const moved_node& b) { return a.id == b.id; }),
                 in.nodes.end());
  mesh_data local;
  std::vector<std::uint64_t> ids(in.nodes.size());
  if (!local.coords.resize(kSpaceRows, in.nodes.size())) return no_memory;
  for (std::size_t j = 0; j < in.nodes.size(); ++j) {
    ids[j] = in.nodes[j].id;
    std::copy(in.nodes[j].x.begin(), in.nodes[j].x.end(), local.coords.column(j));
  }
  std::vector<moved_node>().swap(in.nodes);
  mesh.kind_positions.assign(mesh.local.blocks.size(), {});
  carried.clear();
  for (std::size_t b = 0; b < mesh.local.blocks.size(); ++b) {
    mesh_block block;
    block.type = mesh.local.blocks[b].type;
    const std::size_t rows = nbr_nodes(block.type), stride = 2 + rows;
    std::vector<std::uint64_t>& records = in.blocks[b];
    std::vector<std::size_t> order(records.size() / stride);
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i * stride;
    std::sort(order.begin(), order.end(),
              [&records](std::size_t x, std::size_t y) { return records[x] < records[y]; });
    if (!order.empty() && !block.connectM.resize(rows, order.size())) return no_memory;
    for (std::size_t j = 0; j < order.size(); ++j) {
      mesh.kind_positions[b].push_back(records[order[j]]);
      carried.push_back(records[order[j] + 1]);
      for (std::size_t k = 0; k < rows; ++k)
        block.connectM(k, j) = static_cast<unsigned>(
            std::lower_bound(ids.begin(), ids.end(), records[order[j] + 2 + k]) - ids.begin());
    }
    std::vector<std::uint64_t>().swap(records);
    mesh.first_in_kind[b] = order.empty() ? 0 : mesh.kind_positions[b].front();
    local.blocks.push_back(std::move(block));
  }
  mesh.local = std::move(local);
  mesh.node_ids.swap(ids);
  return 0;
}

}  // namespace

int compact_mesh(dist_mesh& mesh, std::vector<std::uint64_t>* carried) {
  if (mesh.ranks == 1) return 0;
  std::vector<std::uint64_t> none;
  std::vector<std::uint64_t>& numbers = carried ? *carried : none;
  int code = 0;
  try {
    std::vector<int> rank_of;
    {
      const std::vector<std::uint64_t> keys = element_keys(mesh);
      const std::vector<std::uint64_t> cut = splitters(mesh, keys);
      for (std::uint64_t k : keys)
        rank_of.push_back(
            static_cast<int>(std::upper_bound(cut.begin(), cut.end(), k) - cut.begin()));
    }
    arriving in;
    in.blocks.resize(mesh.local.blocks.size());
    const std::size_t elements = mesh.elements();
    const int rounds = detail::rounds_for(mesh.comm, elements);
    const std::size_t chunk =
        (elements + static_cast<std::size_t>(rounds) - 1) / static_cast<std::size_t>(rounds);
    for (int r = 0; r < rounds; ++r)
      send_round(mesh, rank_of, numbers, static_cast<std::size_t>(r) * chunk,
                 std::min(elements, static_cast<std::size_t>(r + 1) * chunk), in);
    code = rebuild(in, mesh, numbers);
  } catch (const std::bad_alloc&) {
    code = no_memory;
  }
  mesh.first_element = detail::distribution(mesh.comm, mesh.elements());
  return detail::agree(mesh.comm, code);
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
