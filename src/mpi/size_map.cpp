// The size map of a distributed mesh. Each rank folds the edge lengths at
// the nodes only it uses, element after element as the one-process map
// does; at the nodes that other ranks use too, the ranks fold in turn, each
// continuing the folds of the ranks before it, so that every node sees its
// lengths in the one-process order: the same sizes, bit for bit. The
// gradation bound then runs on each rank's slice, the shared nodes take
// their smallest size over the ranks (on the rank their number hashes to),
// and the bound runs again on the elements around the sizes that moved,
// until no size changes.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "common/edges.h"
#include "mesh/inner_sizes.h"
#include "mpi/exchange.h"
#include "mpi/gather.h"
#include "quernfold/metrics.h"
#include "quernfold/mpi.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;

constexpr double kSmallestGradation = 1.0;
// The gradation bound: every node may change, and only by shrinking.
constexpr bool kListedNodesFixed = true;
constexpr int kShrinkOnly = -1;

// The fold of the one-process size map: the power mean with exponent p (0:
// the shortest length, DBL_MAX and above: the longest).
struct power_mean {
  double p;
  bool minimum() const { return p == 0; }
  bool maximum() const { return p >= DBL_MAX; }
  void add(double& h, unsigned& count, double length) const {
    if (count++ == 0) h = p > 0 ? 0.0 : DBL_MAX;
    if (minimum())
      h = std::min(h, length);
    else if (maximum())
      h = std::max(h, length);
    else  // pow(x, 1) is x exactly: the mean skips the call
      h = h + (p == 1 ? length : std::pow(length, p));
  }
  double finish(double h, unsigned count) const {
    if (count == 0) return 0;
    return minimum() || maximum() ? h : std::pow(h / count, 1 / p);
  }
};

// A rank's size of a shared node, sent to the node's owner.
struct node_record {
  std::uint64_t node;  // global number
  double value;
  std::uint64_t rank;  // the sender
};

struct node_size {
  std::uint64_t node;
  double size;
};

struct size_slice {
  const dist_mesh& mesh;
  std::vector<char> shared;                 // per local node: other ranks use it too
  std::vector<std::uint64_t> block_totals;  // elements of each block over all ranks
  std::uint64_t rank() const { return static_cast<std::uint64_t>(mesh.rank); }
  std::size_t local(std::uint64_t node) const {
    return static_cast<std::size_t>(
        std::lower_bound(mesh.node_ids.begin(), mesh.node_ids.end(), node) - mesh.node_ids.begin());
  }
};

size_slice make_slice(const dist_mesh& mesh) {
  size_slice s{mesh, detail::shared_nodes(mesh), {}};
  for (const mesh_block& b : mesh.local.blocks) s.block_totals.push_back(b.connectM.cols());
  MPI_Allreduce(MPI_IN_PLACE, s.block_totals.data(), static_cast<int>(s.block_totals.size()),
                MPI_UINT64_T, MPI_SUM, mesh.comm);
  return s;
}

// On the owners: the smallest size of each node over the ranks that sent
// it, sent back to each of them.
std::vector<node_size> smallest_on_owners(const dist_mesh& mesh,
                                          std::vector<std::vector<node_record>>& out) {
  std::vector<node_record> in = exchange(mesh.comm, out);
  std::sort(in.begin(), in.end(),
            [](const node_record& a, const node_record& b) { return a.node < b.node; });
  std::vector<std::vector<node_size>> back(mesh.ranks);
  for (std::size_t i = 0; i < in.size();) {
    std::size_t j = i + 1;
    double least = in[i].value;
    for (; j < in.size() && in[j].node == in[i].node; ++j) least = std::min(least, in[j].value);
    for (std::size_t k = i; k < j; ++k) back[in[k].rank].push_back({in[i].node, least});
    i = j;
  }
  return exchange(mesh.comm, back);
}

// The fold of the lengths at one node so far.
struct fold_state {
  std::uint64_t node;  // global number
  double h;
  unsigned count;
};

// Folds the lengths of the edges of block b's elements at the local nodes
// whose `shared` flag equals `at_shared`.
void fold_block(const size_slice& s, std::size_t b, bool at_shared, const power_mean& rule,
                std::vector<double>& h, std::vector<unsigned>& count) {
  const dist_mesh& m = s.mesh;
  const mesh_block& block = m.local.blocks[b];
  const quernfold::detail::edge_table* table =
      quernfold::detail::edges_of_shape(linear_kind(block.type));
  for (std::size_t i = 0; table && i < block.connectM.cols(); ++i) {
    const unsigned* column = block.connectM.column(i);
    for (unsigned k = 0; k < table->count; ++k) {
      const unsigned ends[2] = {column[table->pairs[k][0]], column[table->pairs[k][1]]};
      if ((s.shared[ends[0]] != 0) != at_shared && (s.shared[ends[1]] != 0) != at_shared) continue;
      const double L = quernfold::detail::edge_length(m.local.coords, ends[0], ends[1]);
      if (L == 0 || !std::isfinite(L)) continue;
      for (unsigned v : ends)
        if ((s.shared[v] != 0) == at_shared) rule.add(h[v], count[v], L);
    }
  }
}

// The carried folds of rank `from` (ranks - 1 for the rank before rank 0).
std::vector<fold_state> receive_carry(const dist_mesh& m, int from) {
  MPI_Status status;
  MPI_Probe(from, 0, m.comm, &status);
  int bytes = 0;
  MPI_Get_count(&status, MPI_BYTE, &bytes);
  std::vector<fold_state> carry(static_cast<std::size_t>(bytes) / sizeof(fold_state));
  MPI_Recv(carry.data(), bytes, MPI_BYTE, from, 0, m.comm, MPI_STATUS_IGNORE);
  return carry;
}

// The carry with the folds of this rank's shared nodes in place of theirs
// (both sorted by node).
std::vector<fold_state> merge_carry(const size_slice& s, const std::vector<fold_state>& carry,
                                    const std::vector<double>& h,
                                    const std::vector<unsigned>& count) {
  std::vector<fold_state> mine, merged;
  for (std::size_t v = 0; v < h.size(); ++v)
    if (s.shared[v] && count[v] > 0) mine.push_back({s.mesh.node_ids[v], h[v], count[v]});
  std::size_t i = 0, j = 0;
  while (i < carry.size() || j < mine.size()) {
    if (j == mine.size() || (i < carry.size() && carry[i].node < mine[j].node)) {
      merged.push_back(carry[i++]);
    } else {
      if (i < carry.size() && carry[i].node == mine[j].node) ++i;
      merged.push_back(mine[j++]);
    }
  }
  return merged;
}

// The folds at the shared nodes of the elements of dimension d: block after
// block, each rank in turn continues the folds of the ranks before it (the
// one-process order of the lengths at a node), then the last rank's folds go
// to every rank.
std::vector<fold_state> chain_dimension(const size_slice& s, unsigned d, const power_mean& rule) {
  const dist_mesh& m = s.mesh;
  std::vector<double> h(m.node_ids.size(), 0.0);
  std::vector<unsigned> count(m.node_ids.size(), 0);
  std::vector<fold_state> carry;
  if (m.ranks == 1) return carry;
  bool first = true;
  for (std::size_t b = 0; b < m.local.blocks.size(); ++b) {
    if (element_dim(m.local.blocks[b].type) != d || s.block_totals[b] == 0) continue;
    if (!first || m.rank > 0) carry = receive_carry(m, (m.rank + m.ranks - 1) % m.ranks);
    first = false;
    for (const fold_state& f : carry) {
      const std::size_t v = s.local(f.node);
      if (v < m.node_ids.size() && m.node_ids[v] == f.node) h[v] = f.h, count[v] = f.count;
    }
    fold_block(s, b, true, rule, h, count);
    carry = merge_carry(s, carry, h, count);
    const bool last = m.rank == m.ranks - 1;
    std::size_t later = b + 1;  // a block of dimension d with elements after b
    while (later < m.local.blocks.size() &&
           (element_dim(m.local.blocks[later].type) != d || s.block_totals[later] == 0))
      ++later;
    if (!last || later < m.local.blocks.size())
      MPI_Send(carry.data(), static_cast<int>(carry.size() * sizeof(fold_state)), MPI_BYTE,
               (m.rank + 1) % m.ranks, 0, m.comm);
  }
  std::uint64_t n = carry.size();
  MPI_Bcast(&n, 1, MPI_UINT64_T, m.ranks - 1, m.comm);
  carry.resize(n);
  MPI_Bcast(carry.data(), static_cast<int>(n * sizeof(fold_state)), MPI_BYTE, m.ranks - 1, m.comm);
  return carry;
}

// The sizes before the gradation: for each node, the fold of the highest
// dimension whose elements have a measurable edge at it. The nodes only
// this rank uses fold on their own.
void edge_sizes(const size_slice& s, const power_mean& rule, dense1D<double>& sizes) {
  const dist_mesh& m = s.mesh;
  for (unsigned d = mesh_dimension(m); d >= 1; --d) {
    std::vector<double> h(m.node_ids.size(), 0.0);
    std::vector<unsigned> count(m.node_ids.size(), 0);
    for (std::size_t b = 0; b < m.local.blocks.size(); ++b)
      if (element_dim(m.local.blocks[b].type) == d) fold_block(s, b, false, rule, h, count);
    for (std::size_t v = 0; v < h.size(); ++v)
      if (!s.shared[v] && sizes[v] == 0) sizes[v] = rule.finish(h[v], count[v]);
    for (const fold_state& f : chain_dimension(s, d, rule)) {
      const std::size_t v = s.local(f.node);
      if (v < m.node_ids.size() && m.node_ids[v] == f.node && sizes[v] == 0)
        sizes[v] = rule.finish(f.h, f.count);
    }
  }
}

// Shared nodes take their smallest size over the ranks; `moved` marks the
// local sizes that went down. True when one did.
bool smallest_shared(const size_slice& s, dense1D<double>& sizes, std::vector<char>& moved) {
  const dist_mesh& m = s.mesh;
  std::vector<std::vector<node_record>> out(m.ranks);
  for (std::size_t v = 0; v < m.node_ids.size(); ++v)
    if (s.shared[v])
      out[detail::owner_of(m.node_ids[v], m.ranks)].push_back({m.node_ids[v], sizes[v], s.rank()});
  bool lowered = false;
  for (const node_size& a : smallest_on_owners(m, out)) {
    const std::size_t v = s.local(a.node);
    if (a.size < sizes[v]) sizes[v] = a.size, moved[v] = 1, lowered = true;
  }
  return lowered;
}

// The elements at each local node: elements[first[v] .. first[v + 1]).
struct node_elements {
  std::vector<std::size_t> first;
  std::vector<unsigned> elements;
};

node_elements elements_at_nodes(const dense2D<unsigned>& c, std::size_t nodes) {
  node_elements at;
  at.first.assign(nodes + 1, 0);
  for (std::size_t k = 0; k < c.rows() * c.cols(); ++k)
    if (c.data()[k] != no_index) ++at.first[c.data()[k] + 1];
  for (std::size_t v = 0; v < nodes; ++v) at.first[v + 1] += at.first[v];
  at.elements.resize(at.first.back());
  std::vector<std::size_t> next(at.first.begin(), at.first.end() - 1);
  for (std::size_t j = 0; j < c.cols(); ++j)
    for (std::size_t r = 0; r < c.rows(); ++r)
      if (c(r, j) != no_index) at.elements[next[c(r, j)]++] = static_cast<unsigned>(j);
  return at;
}

// The columns of `c` with a node marked in `moved`, in order.
dense2D<unsigned> columns_at(const dense2D<unsigned>& c, const node_elements& at,
                             const std::vector<char>& moved) {
  std::vector<char> taken(c.cols(), 0);
  std::size_t count = 0;
  for (std::size_t v = 0; v < moved.size(); ++v)
    for (std::size_t k = at.first[v]; moved[v] && k < at.first[v + 1]; ++k)
      count += taken[at.elements[k]] ? 0 : (taken[at.elements[k]] = 1);
  dense2D<unsigned> sub(c.rows(), count);
  for (std::size_t j = 0, to = 0; j < c.cols(); ++j)
    if (taken[j]) std::copy(c.column(j), c.column(j) + c.rows(), sub.column(to++));
  return sub;
}

// The bound on the elements at the moved nodes, then at the nodes that run
// moved, until a run moves none: the elements away from every move kept the
// bound they had. Returns 0 or a code.
int settle(const dist_mesh& m, const combined_elements& top, double gradation,
           const node_elements& at, std::vector<char>& moved, dense1D<double>& sizes) {
  for (;;) {
    const bool every = std::find(moved.begin(), moved.end(), 0) == moved.end();
    const dense2D<unsigned> sub = every ? top.connect : columns_at(top.connect, at, moved);
    if (sub.cols() == 0) return 0;
    const std::vector<double> before(sizes.begin(), sizes.end());
    const int bounded = bound_metric_gradations(m.local.coords, sub, top.type, dense1D<unsigned>(),
                                                kListedNodesFixed, kShrinkOnly,
                                                gradation - kSmallestGradation, sizes);
    if (bounded <= 0) return bounded;
    for (std::size_t v = 0; v < moved.size(); ++v) moved[v] = sizes[v] < before[v] ? 1 : 0;
  }
}

// The gradation bound on every slice, then, while the shared nodes take a
// smaller size from another rank, again around the sizes that moved.
int bound_growth(const size_slice& s, double gradation, dense1D<double>& sizes, int& rounds) {
  const dist_mesh& m = s.mesh;
  combined_elements top;
  if (int code = detail::agree(m.comm, combine_blocks(m.local, mesh_dimension(m), top)))
    return code;
  const node_elements at = elements_at_nodes(top.connect, m.node_ids.size());
  std::vector<char> moved(m.node_ids.size(), 1);  // the first run: every element
  for (int lowered = 1; lowered; ++rounds) {
    const int code = settle(m, top, gradation, at, moved, sizes);
    if (int worst = detail::agree(m.comm, std::min(code, 0))) return worst;
    std::fill(moved.begin(), moved.end(), 0);
    lowered = smallest_shared(s, sizes, moved) ? 1 : 0;
    MPI_Allreduce(MPI_IN_PLACE, &lowered, 1, MPI_INT, MPI_MAX, m.comm);
  }
  return 0;
}

struct node_result {
  std::uint64_t node;
  double size;
  std::uint64_t lowered;
};

// Rank 0: the sizes of the file's nodes (0 for the nodes no element uses)
// and the nodes the gradation lowered.
void gather_sizes(const dist_mesh& m, const dense1D<double>& sizes,
                  const std::vector<double>& ungraded, dense1D<double>& all,
                  std::uint64_t& changed) {
  std::vector<node_result> mine(m.node_ids.size());
  for (std::size_t v = 0; v < mine.size(); ++v)
    mine[v] = {m.node_ids[v], sizes[v], sizes[v] < ungraded[v] ? 1U : 0U};
  const std::vector<node_result> every = detail::gather_on_first(m.comm, mine);
  if (m.rank != 0) return;
  std::vector<char> lowered(m.global_nodes, 0);
  all.resize(m.global_nodes, 0.0);
  for (const node_result& r : every) {
    all[r.node] = r.size;
    lowered[r.node] = static_cast<char>(r.lowered);
  }
  changed = static_cast<std::uint64_t>(std::count(lowered.begin(), lowered.end(), 1));
}

}  // namespace

int size_map_distributed(const dist_mesh& mesh, double p, double gradation, dense1D<double>& sizes,
                         size_report& report) {
  report = size_report();
  sizes = dense1D<double>();
  if (!(p >= 0) || !std::isfinite(p) || !(gradation >= kSmallestGradation))
    return mesh_bad_parameter;
  if (mesh_dimension(mesh) == 0) return mesh_no_faces;
  const size_slice s = make_slice(mesh);
  dense1D<double> local;
  if (!local.resize(mesh.node_ids.size(), 0.0)) return no_memory;
  edge_sizes(s, power_mean{p}, local);
  const std::vector<double> ungraded(local.begin(), local.end());
  if (!std::isinf(gradation))
    if (int code = bound_growth(s, gradation, local, report.rounds)) return code;
  quernfold::detail::size_inner_nodes(mesh.local, local);
  gather_sizes(mesh, local, ungraded, sizes, report.changed);
  return 0;
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
