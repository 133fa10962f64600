// Clean-up of a distributed mesh: nodes within the tolerance of each other
// are found across ranks on a grid of cells (each node goes to the rank its
// cell hashes to, and to the ranks of the neighbouring cells it lies within
// the tolerance of); the nodes that have a partner are merged on rank 0 by
// the one-process merge, in the order it takes them (first appearance in the
// blocks), so that every rank renumbers its elements to the same
// representatives. Then each rank removes its elements that degenerate, and
// the rest is gathered on rank 0 with the nodes still used.
#include <algorithm>
#include <array>
#include <cmath>

#include "mpi/exchange.h"
#include "mpi/gather.h"
#include "quernfold/mpi.h"
#include "quernfold/search.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;

constexpr std::size_t kRows = 3;
// The merge of the one-process clean-up: one pass, chains resolved.
constexpr unsigned kOnePass = 0;
// A cell's side is at least this many tolerances (few nodes lie near a
// border) and the longest side of the box holds at most kMostCells cells.
constexpr double kCellsPerTolerance = 8;
constexpr double kMostCells = 1 << 20;
// Relative slack of the border and distance tests that pick the nodes for
// the merge (a node picked in excess merges with nothing).
constexpr double kSlack = 1e-9;

using point = std::array<double, kRows>;
using cell = std::array<std::int64_t, kRows>;

// Where a node first appears in the blocks: block, element among the
// file's elements of the block's kind, row (compared in that order).
constexpr std::size_t kAppearanceParts = 3;
using appearance = std::array<std::uint64_t, kAppearanceParts>;
constexpr std::uint64_t kNever = ~std::uint64_t(0);

struct node_record {
  std::uint64_t id;  // global number
  point x;
  appearance first;
};

// Sorts by global number, then first appearance, and keeps one record a
// node: the earliest appearance.
void keep_earliest(std::vector<node_record>& nodes) {
  std::sort(nodes.begin(), nodes.end(), [](const node_record& a, const node_record& b) {
    return a.id != b.id ? a.id < b.id : a.first < b.first;
  });
  nodes.erase(std::unique(nodes.begin(), nodes.end(),
                          [](const node_record& a, const node_record& b) { return a.id == b.id; }),
              nodes.end());
}

// The first appearance of each local node in the local blocks.
std::vector<appearance> first_appearances(const dist_mesh& mesh) {
  std::vector<appearance> first(mesh.node_ids.size(), {kNever, kNever, kNever});
  for (std::size_t b = 0; b < mesh.local.blocks.size(); ++b) {
    const dense2D<unsigned>& c = mesh.local.blocks[b].connectM;
    for (std::size_t j = 0; j < c.cols(); ++j)
      for (std::size_t r = 0; r < c.rows(); ++r) {
        appearance& f = first[c(r, j)];
        if (f[0] == kNever) f = {b, mesh.first_in_kind[b] + j, r};
      }
  }
  return first;
}

// A node merged into another: global numbers and the target's coordinates.
struct merge_record {
  std::uint64_t from, to;
  point x;
};

// Cells a node may look into along one axis: its own, below and above.
constexpr std::size_t kSteps = 3;

struct cell_grid {
  point lo;
  double side = 1;
  cell of(const point& x) const {
    cell c;
    for (std::size_t i = 0; i < kRows; ++i)
      c[i] = static_cast<std::int64_t>(std::floor((x[i] - lo[i]) / side));
    return c;
  }
  // fn(cell) for the cell of x and each neighbouring cell that x lies within
  // `near` of (each once).
  template <class Fn>
  void near_cells(const point& x, double near, Fn fn) const {
    const cell c = of(x);
    std::array<std::array<int, kSteps>, kRows> steps;  // per axis: 0, then -1 / +1 when near
    std::array<int, kRows> count;
    for (std::size_t i = 0; i < kRows; ++i) {
      const double below = x[i] - (lo[i] + static_cast<double>(c[i]) * side);
      count[i] = 0;
      steps[i][count[i]++] = 0;
      if (below <= near) steps[i][count[i]++] = -1;
      if (side - below <= near) steps[i][count[i]++] = 1;
    }
    for (int a = 0; a < count[0]; ++a)
      for (int b = 0; b < count[1]; ++b)
        for (int d = 0; d < count[2]; ++d)
          fn(cell{c[0] + steps[0][a], c[1] + steps[1][b], c[2] + steps[2][d]});
  }
  int owner(const cell& c, int ranks) const {
    std::uint64_t h = 0;
    for (std::int64_t i : c) h = detail::mix(h ^ static_cast<std::uint64_t>(i));
    return detail::owner_of(h, ranks);
  }
};

point coordinates(const dense2D<double>& coords, std::size_t v) {
  point x{0, 0, 0};
  std::copy(coords.column(v), coords.column(v) + coords.rows(), x.begin());
  return x;
}

// The box of every rank's nodes and a cell side of at least
// kCellsPerTolerance tolerances.
cell_grid make_grid(const dist_mesh& mesh, double tol) {
  point lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (std::size_t v = 0; v < mesh.node_ids.size(); ++v) {
    const point x = coordinates(mesh.local.coords, v);
    for (std::size_t i = 0; i < kRows; ++i)
      lo[i] = std::min(lo[i], x[i]), hi[i] = std::max(hi[i], x[i]);
  }
  MPI_Allreduce(MPI_IN_PLACE, lo.data(), kRows, MPI_DOUBLE, MPI_MIN, mesh.comm);
  MPI_Allreduce(MPI_IN_PLACE, hi.data(), kRows, MPI_DOUBLE, MPI_MAX, mesh.comm);
  cell_grid g;
  g.lo = lo;
  double extent = 0;
  for (std::size_t i = 0; i < kRows; ++i) extent = std::max(extent, hi[i] - lo[i]);
  g.side = std::max(kCellsPerTolerance * tol, extent / kMostCells);
  if (!(g.side > 0) || !std::isfinite(g.side)) g.side = 1;
  return g;
}

// Each local node to the rank of its cell and of the neighbouring cells it
// lies within `tol` of.
std::vector<node_record> spread_nodes(const dist_mesh& mesh, const cell_grid& g, double tol) {
  std::vector<std::vector<node_record>> out(mesh.ranks);
  std::vector<char> to(mesh.ranks);
  const double near = tol * (1 + kSlack) + g.side * kSlack;
  const std::vector<appearance> first = first_appearances(mesh);
  for (std::size_t v = 0; v < mesh.node_ids.size(); ++v) {
    const node_record r{mesh.node_ids[v], coordinates(mesh.local.coords, v), first[v]};
    std::fill(to.begin(), to.end(), 0);
    g.near_cells(r.x, near, [&](const cell& c) { to[g.owner(c, mesh.ranks)] = 1; });
    for (int rank = 0; rank < mesh.ranks; ++rank)
      if (to[rank]) out[rank].push_back(r);
  }
  std::vector<node_record> in = exchange(mesh.comm, out);
  keep_earliest(in);
  return in;
}

// The nodes received that lie within `tol` of another, looked for around
// the nodes of the cells this rank owns.
std::vector<node_record> close_nodes(const std::vector<node_record>& nodes, const cell_grid& g,
                                     double tol, const dist_mesh& mesh) {
  std::vector<std::pair<cell, std::size_t>> cells(nodes.size());
  for (std::size_t k = 0; k < nodes.size(); ++k) cells[k] = {g.of(nodes[k].x), k};
  std::sort(cells.begin(), cells.end());
  const double tol2 = tol * tol * (1 + kSlack);
  const double near = tol * (1 + kSlack) + g.side * kSlack;
  std::vector<char> close(nodes.size(), 0);
  for (const auto& a : cells) {
    if (g.owner(a.first, mesh.ranks) != mesh.rank) continue;
    const point& p = nodes[a.second].x;
    // A node within tol of p lies in p's cell or in a cell p is near.
    g.near_cells(p, near, [&](const cell& c) {
      auto it = std::lower_bound(cells.begin(), cells.end(), std::make_pair(c, std::size_t(0)));
      for (; it != cells.end() && it->first == c; ++it) {
        if (it->second == a.second) continue;
        const point& q = nodes[it->second].x;
        double d2 = 0;
        for (std::size_t i = 0; i < kRows; ++i) d2 += (q[i] - p[i]) * (q[i] - p[i]);
        if (d2 <= tol2) close[a.second] = close[it->second] = 1;
      }
    });
  }
  std::vector<node_record> picked;
  for (std::size_t k = 0; k < nodes.size(); ++k)
    if (close[k]) picked.push_back(nodes[k]);
  return picked;
}

// Rank 0: the one-process merge of the picked nodes, offered in the order
// of their first appearance; the merges go to every rank. Returns the nodes
// merged or a code.
int merge_picked(const dist_mesh& mesh, std::vector<node_record>& picked, double tol,
                 std::vector<merge_record>& merges) {
  int merged = 0;
  if (mesh.rank == 0) {
    keep_earliest(picked);
    std::sort(picked.begin(), picked.end(),
              [](const node_record& a, const node_record& b) { return a.first < b.first; });
    dense2D<double> coords(kRows, picked.size());
    dense2D<unsigned> all(1, picked.size());
    for (std::size_t k = 0; k < picked.size(); ++k) {
      std::copy(picked[k].x.begin(), picked[k].x.end(), coords.column(k));
      all(0, k) = static_cast<unsigned>(k);
    }
    dense1D<unsigned> map;
    merged = picked.empty() ? 0 : merge(coords, &all, &all + 1, map, tol, kOnePass);
    for (std::size_t k = 0; merged > 0 && k < map.size(); ++k)
      if (map[k] != k) merges.push_back({picked[k].id, picked[map[k]].id, picked[map[k]].x});
  }
  MPI_Bcast(&merged, 1, MPI_INT, 0, mesh.comm);
  std::uint64_t n = merges.size();
  MPI_Bcast(&n, 1, MPI_UINT64_T, 0, mesh.comm);
  merges.resize(n);
  MPI_Bcast(merges.data(), static_cast<int>(n * sizeof(merge_record)), MPI_BYTE, 0, mesh.comm);
  return merged;
}

// The local elements renumbered through the merges, without those that
// degenerate, over the local nodes and the targets they now use.
struct merged_slice {
  std::vector<mesh_block> blocks;
  std::vector<std::uint64_t> node_ids;
  dense2D<double> coords;
  std::uint64_t removed = 0;
};

bool renumber_slice(const dist_mesh& mesh, const std::vector<merge_record>& merges,
                    merged_slice& s) {
  std::vector<node_record> nodes;
  for (std::size_t v = 0; v < mesh.node_ids.size(); ++v)
    nodes.push_back({mesh.node_ids[v], coordinates(mesh.local.coords, v), {}});
  const auto target = [&merges](std::uint64_t id) {
    auto it = std::lower_bound(merges.begin(), merges.end(), id,
                               [](const merge_record& m, std::uint64_t n) { return m.from < n; });
    return it != merges.end() && it->from == id ? it : merges.end();
  };
  for (std::uint64_t id : mesh.node_ids)
    if (target(id) != merges.end()) nodes.push_back({target(id)->to, target(id)->x, {}});
  keep_earliest(nodes);
  if (!s.coords.resize(kRows, nodes.size())) return false;
  for (std::size_t j = 0; j < nodes.size(); ++j) {
    s.node_ids.push_back(nodes[j].id);
    std::copy(nodes[j].x.begin(), nodes[j].x.end(), s.coords.column(j));
  }
  // Local node -> its target's (or its own) position among the new nodes.
  std::vector<unsigned> renamed(mesh.node_ids.size());
  for (std::size_t v = 0; v < renamed.size(); ++v) {
    const auto t = target(mesh.node_ids[v]);
    const std::uint64_t id = t != merges.end() ? t->to : mesh.node_ids[v];
    renamed[v] = static_cast<unsigned>(std::lower_bound(s.node_ids.begin(), s.node_ids.end(), id) -
                                       s.node_ids.begin());
  }
  for (const mesh_block& b : mesh.local.blocks) {
    mesh_block out;
    out.type = b.type;
    if (!out.connectM.copy(b.connectM)) return false;
    for (std::size_t k = 0; k < out.connectM.rows() * out.connectM.cols(); ++k)
      out.connectM.data()[k] = renamed[out.connectM.data()[k]];
    dense1D<unsigned> kept;
    const int removed = remove_degenerated(out.connectM, kept, true);
    if (removed < 0) return false;
    s.removed += static_cast<std::uint64_t>(removed);
    s.blocks.push_back(out);
  }
  return true;
}

}  // namespace

int clean_distributed(const dist_mesh& mesh, double tol, mesh_data& out, clean_report& report) {
  report = clean_report();
  out = mesh_data();
  if (!(tol >= 0) || !std::isfinite(tol)) return mesh_bad_tolerance;
  const cell_grid grid = make_grid(mesh, tol);
  std::vector<node_record> picked = close_nodes(spread_nodes(mesh, grid, tol), grid, tol, mesh);
  picked = detail::gather_on_first(mesh.comm, picked);
  std::vector<merge_record> merges;
  const int merged = merge_picked(mesh, picked, tol, merges);
  if (merged < 0) return merged;
  std::sort(merges.begin(), merges.end(),
            [](const merge_record& a, const merge_record& b) { return a.from < b.from; });
  merged_slice s;
  if (int code = detail::agree(mesh.comm, renumber_slice(mesh, merges, s) ? 0 : no_memory))
    return code;
  if (int code = gather_blocks(mesh.comm, s.blocks, s.node_ids, s.coords, out)) return code;
  std::uint64_t counts[2] = {s.removed, out.coords.cols()};
  MPI_Allreduce(MPI_IN_PLACE, counts, 2, MPI_UINT64_T, MPI_SUM, mesh.comm);
  report.merged = merged;
  report.elements_removed = counts[0];
  report.nodes_removed = mesh.global_nodes - counts[1];
  return 0;
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
