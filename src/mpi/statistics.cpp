// The statistics of a distributed mesh: what each rank measures on its own
// elements with the whole-mesh layer, and the reductions that make them the
// one-process numbers (faces matched across ranks, coincident nodes and
// distinct edges counted on the rank their key hashes to).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "mpi/exchange.h"
#include "quernfold/mpi.h"
#include "quernfold/quality.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;
using detail::mix;

constexpr int kBoxRows = 3;

void reduce_range(MPI_Comm comm, value_range& r) {
  std::uint64_t count = r.count;
  double lo = r.count ? r.min : HUGE_VAL, hi = r.count ? r.max : -HUGE_VAL, sum = r.sum;
  MPI_Allreduce(MPI_IN_PLACE, &count, 1, MPI_UINT64_T, MPI_SUM, comm);
  MPI_Allreduce(MPI_IN_PLACE, &lo, 1, MPI_DOUBLE, MPI_MIN, comm);
  MPI_Allreduce(MPI_IN_PLACE, &hi, 1, MPI_DOUBLE, MPI_MAX, comm);
  MPI_Allreduce(MPI_IN_PLACE, &sum, 1, MPI_DOUBLE, MPI_SUM, comm);
  r.count = count;
  r.min = count ? lo : 0;
  r.max = count ? hi : 0;
  r.sum = sum;
}

void reduce_box(const dist_mesh& mesh, mesh_statistics& s) {
  double lo[kBoxRows], hi[kBoxRows];
  for (int i = 0; i < kBoxRows; ++i) {
    lo[i] = mesh.has_nodes ? mesh.slice_box[0][i] : HUGE_VAL;
    hi[i] = mesh.has_nodes ? mesh.slice_box[1][i] : -HUGE_VAL;
  }
  MPI_Allreduce(MPI_IN_PLACE, lo, kBoxRows, MPI_DOUBLE, MPI_MIN, mesh.comm);
  MPI_Allreduce(MPI_IN_PLACE, hi, kBoxRows, MPI_DOUBLE, MPI_MAX, mesh.comm);
  s.has_box = mesh.global_nodes > 0;
  for (int i = 0; s.has_box && i < kBoxRows; ++i) {
    s.box[0][i] = lo[i];
    s.box[1][i] = hi[i];
  }
}

int measure_topology(const dist_mesh& mesh, mesh_statistics& s) {
  if (mesh.global_elements == 0 || s.dimension == 0) return 0;
  face_census census;
  if (int code = census_faces(mesh, census)) return code;
  s.boundary_faces = census.boundary_faces;
  s.non_manifold_faces = census.non_manifold_faces;
  std::uint64_t parts = 0;
  if (int code = count_parts(mesh, census, parts)) return code;
  s.parts = parts;
  s.has_topology = true;
  return 0;
}

// A used node and its position, sent to the rank of its position.
struct placed_node {
  std::array<double, kBoxRows> x;
  std::uint64_t id;
};

// Used nodes at the position of another used node: distinct nodes less
// distinct positions, counted per position on the rank it hashes to.
void count_coincident(const dist_mesh& mesh, mesh_statistics& s) {
  std::vector<std::vector<placed_node>> out(mesh.ranks);
  for (std::size_t j = 0; j < mesh.node_ids.size(); ++j) {
    placed_node p;
    std::uint64_t h = 0;
    for (int i = 0; i < kBoxRows; ++i) {
      p.x[i] = mesh.local.coords(i, j) + 0.0;  // -0 as +0
      std::uint64_t bits;
      std::memcpy(&bits, &p.x[i], sizeof bits);
      h = mix(h ^ bits);
    }
    p.id = mesh.node_ids[j];
    out[static_cast<int>(h % static_cast<std::uint64_t>(mesh.ranks))].push_back(p);
  }
  std::vector<placed_node> nodes = exchange(mesh.comm, out);
  std::sort(nodes.begin(), nodes.end(), [](const placed_node& a, const placed_node& b) {
    return a.x != b.x ? a.x < b.x : a.id < b.id;
  });
  std::uint64_t merged = 0;
  for (std::size_t i = 1; i < nodes.size(); ++i)
    if (nodes[i].x == nodes[i - 1].x && nodes[i].id != nodes[i - 1].id) ++merged;
  s.coincident_nodes = detail::sum_all(mesh.comm, merged);
}

// The lowest quality of a block and its first element of that quality.
struct worst_element {
  double quality;
  std::uint64_t index;
  bool operator<(const worst_element& o) const {
    return quality != o.quality ? quality < o.quality : index < o.index;
  }
};

// One block's qualities and Jacobians, reduced over the ranks.
int measure_block(const dist_mesh& mesh, std::size_t b, kind_statistics& k) {
  const mesh_block& block = mesh.local.blocks[b];
  const element_type kind = linear_kind(block.type);
  worst_element worst = {HUGE_VAL, ~std::uint64_t(0)};
  dense2D<unsigned> v;
  int code = 0;
  if (kind != ET_NODE && block.connectM.cols() > 0) {
    dense1D<double> q, jac;
    if (!vertex_matrix(block, v)) code = no_memory;
    if (code == 0) code = shape_qualities(mesh.local.coords, v, kind, q);
    if (code == 0) code = jacobians(mesh.local.coords, v, kind, jac);
    for (std::size_t e = 0; code == 0 && e < q.size(); ++e) {
      const worst_element here = {q[e], mesh.position_in_kind(b, e)};
      if (here < worst) worst = here;
      k.quality.add(q[e]);
      if (!(jac[e] > 0)) ++k.nonpositive_jacobians;
    }
  }
  if ((code = detail::agree(mesh.comm, code))) return code;
  std::vector<worst_element> all(mesh.ranks);
  MPI_Allgather(&worst, sizeof worst, MPI_BYTE, all.data(), sizeof worst, MPI_BYTE, mesh.comm);
  k.worst = std::min_element(all.begin(), all.end())->index;
  reduce_range(mesh.comm, k.quality);
  k.nonpositive_jacobians = detail::sum_all(mesh.comm, k.nonpositive_jacobians);
  return 0;
}

// Every block, then the totals over the blocks of the mesh's dimension (the
// worst: the first block of the lowest quality).
int measure_qualities(const dist_mesh& mesh, mesh_statistics& s) {
  for (std::size_t b = 0; b < s.blocks.size(); ++b) {
    kind_statistics& k = s.blocks[b];
    if (int code = measure_block(mesh, b, k)) return code;
    add_kind_totals(s, b);
  }
  return 0;
}

// An edge (end nodes, increasing) and its length, sent to its key's rank.
struct edge_length {
  std::uint64_t a, b;
  double length;
};

double length_of(const mesh_data& local, const dense2D<unsigned>& edges, std::size_t e) {
  double sq = 0;
  for (int i = 0; i < kBoxRows; ++i) {
    const double d = local.coords(i, edges(1, e)) - local.coords(i, edges(0, e));
    sq += d * d;
  }
  return std::sqrt(sq);
}

int measure_edges(const dist_mesh& mesh, mesh_statistics& s) {
  const mesh_data& local = mesh.local;
  std::vector<dense2D<unsigned>> vertices;
  dense1D<int> kinds;
  for (const mesh_block& block : local.blocks) {
    const element_type kind = linear_kind(block.type);
    dense2D<unsigned> v;
    if (kind == ET_NODE || block.connectM.cols() == 0) continue;
    if (!vertex_matrix(block, v) || !kinds.push_back(kind)) return no_memory;
    vertices.push_back(v);
  }
  dense2D<unsigned> edges;
  const dense2D<unsigned>* first = vertices.data();
  if (int code = copy_edges(first, first + vertices.size(), kinds, edges)) return code;
  // Edges with a node that no other rank uses are measured here; the others
  // on the rank of their key, in rounds.
  const std::vector<char> shared = detail::shared_nodes(mesh);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> sent;  // (hash, edge)
  const auto ends = [&](std::size_t e) {
    const std::uint64_t a = mesh.node_ids[edges(0, e)], b = mesh.node_ids[edges(1, e)];
    return std::make_pair(std::min(a, b), std::max(a, b));
  };
  for (std::size_t e = 0; e < edges.cols(); ++e) {
    if (shared[edges(0, e)] && shared[edges(1, e)])
      sent.emplace_back(mix(mix(ends(e).first) ^ ends(e).second), e);
    else
      s.edge_length.add(length_of(local, edges, e));
  }
  const detail::round_lists lists = detail::by_round(mesh.comm, mesh.ranks, sent);
  for (int round = 0; round < lists.rounds(); ++round) {
    std::vector<std::vector<edge_length>> out(mesh.ranks);
    for (std::size_t i = lists.start[round]; i < lists.start[round + 1]; ++i) {
      const std::size_t e = lists.items[i];
      const edge_length r = {ends(e).first, ends(e).second, length_of(local, edges, e)};
      out[detail::destination_of(mix(mix(r.a) ^ r.b), mesh.ranks, lists.rounds()).rank].push_back(
          r);
    }
    std::vector<edge_length> all = exchange(mesh.comm, out);
    std::sort(all.begin(), all.end(), [](const edge_length& x, const edge_length& y) {
      return x.a != y.a ? x.a < y.a : x.b < y.b;
    });
    for (std::size_t i = 0; i < all.size(); ++i)
      if (i == 0 || all[i].a != all[i - 1].a || all[i].b != all[i - 1].b)
        s.edge_length.add(all[i].length);
  }
  reduce_range(mesh.comm, s.edge_length);
  return 0;
}

}  // namespace

int measure_distributed(const dist_mesh& mesh, mesh_statistics& s) {
  s = mesh_statistics();
  s.nodes = mesh.global_nodes;
  s.space_dimension = kBoxRows;
  s.dimension = mesh_dimension(mesh);
  for (const mesh_block& b : mesh.local.blocks) {
    s.blocks.emplace_back();
    s.blocks.back().type = b.type;
    s.blocks.back().elements = detail::sum_all(mesh.comm, b.connectM.cols());
  }
  reduce_box(mesh, s);
  int code = detail::agree(mesh.comm, measure_topology(mesh, s));
  if (code) return code;
  count_coincident(mesh, s);
  if ((code = measure_qualities(mesh, s))) return code;
  return detail::agree(mesh.comm, measure_edges(mesh, s));
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
