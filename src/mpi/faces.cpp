// Faces of the top-dimension elements matched across ranks: each face goes
// to the rank its node set hashes to, which counts how many elements hold
// it and sends every pair of elements that share it back to their ranks.
// From those pairs: the face-dual graph and the connected parts.
#include <algorithm>
#include <array>
#include <numeric>

#include "common/faces.h"
#include "mpi/exchange.h"
#include "quernfold/mpi.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;
using detail::holder_of;
using detail::mix;

constexpr std::size_t kFaceNodes = 4;
constexpr std::uint64_t kNoNode = ~std::uint64_t(0);
constexpr std::uint64_t kSharedByTwo = 2;

struct face_record {
  std::array<std::uint64_t, kFaceNodes> key;  // vertex nodes, increasing, padded with kNoNode
  std::uint64_t vertex;                       // global vertex of the element
};

// A dual edge or link sent to the rank of its first end.
struct link {
  std::uint64_t from, to;
  bool operator<(const link& o) const { return from != o.from ? from < o.from : to < o.to; }
};

std::uint64_t face_hash(const std::array<std::uint64_t, kFaceNodes>& key) {
  std::uint64_t h = 0;
  for (std::uint64_t n : key) h = mix(h ^ n);
  return h;
}

// Every face of every local top-dimension element, to its matching rank.
std::vector<face_record> send_faces(const dist_mesh& mesh, unsigned dim, face_census& c) {
  std::vector<std::vector<face_record>> out(mesh.ranks);
  for (std::size_t e = 0; e < mesh.elements(); ++e) {
    const element_type kind = mesh.kinds[mesh.kind[e]];
    if (element_dim(kind) != dim) continue;
    const std::uint64_t vertex = c.first_vertex[mesh.rank] + c.vertex_element.size();
    c.vertex_element.push_back(e);
    const quernfold::detail::face_table* table =
        quernfold::detail::faces_of_shape(linear_kind(kind));
    const std::uint64_t* nodes = mesh.element_nodes.data() + mesh.node_offsets[e];
    for (unsigned f = 0; table && f < table->count; ++f) {
      face_record r;
      r.key.fill(kNoNode);
      for (unsigned i = 0; i < table->size[f]; ++i) r.key[i] = nodes[table->nodes[f][i]];
      std::sort(r.key.begin(), r.key.end());
      r.vertex = vertex;
      out[static_cast<int>(face_hash(r.key) % static_cast<std::uint64_t>(mesh.ranks))].push_back(r);
    }
  }
  return exchange(mesh.comm, out);
}

// Groups equal faces: counts, and the pairs each group links.
void match_faces(const dist_mesh& mesh, const face_census& c, std::vector<face_record>& faces,
                 std::uint64_t counts[2], std::vector<std::vector<link>>& edges,
                 std::vector<std::vector<link>>& links) {
  std::sort(faces.begin(), faces.end(), [](const face_record& a, const face_record& b) {
    return a.key != b.key ? a.key < b.key : a.vertex < b.vertex;
  });
  for (std::size_t i = 0; i < faces.size();) {
    std::size_t j = i + 1;
    while (j < faces.size() && faces[j].key == faces[i].key) ++j;
    const std::size_t n = j - i;
    std::vector<std::vector<link>>& to = n == kSharedByTwo ? edges : links;
    if (n == 1) ++counts[0];
    if (n > kSharedByTwo) ++counts[1];
    for (std::size_t k = i + 1; k < j && n >= kSharedByTwo; ++k) {
      const std::uint64_t a = faces[i].vertex, b = faces[k].vertex;
      to[holder_of(c.first_vertex, a)].push_back({a, b});
      to[holder_of(c.first_vertex, b)].push_back({b, a});
    }
    i = j;
  }
  (void)mesh;
}

}  // namespace

unsigned mesh_dimension(const dist_mesh& mesh) {
  unsigned dim = 0, all = 0;
  for (std::uint32_t k : mesh.kind) dim = std::max(dim, element_dim(mesh.kinds[k]));
  MPI_Allreduce(&dim, &all, 1, MPI_UNSIGNED, MPI_MAX, mesh.comm);
  return all;
}

int census_faces(const dist_mesh& mesh, face_census& c) {
  c = face_census();
  const unsigned dim = mesh_dimension(mesh);
  std::uint64_t vertices = 0;
  for (std::uint32_t k : mesh.kind) vertices += element_dim(mesh.kinds[k]) == dim ? 1 : 0;
  c.first_vertex = detail::distribution(mesh.comm, vertices);
  std::vector<face_record> faces = send_faces(mesh, dim, c);
  std::uint64_t counts[2] = {0, 0}, totals[2] = {0, 0};
  std::vector<std::vector<link>> edges_out(mesh.ranks), links_out(mesh.ranks);
  match_faces(mesh, c, faces, counts, edges_out, links_out);
  std::vector<face_record>().swap(faces);
  MPI_Allreduce(counts, totals, 2, MPI_UINT64_T, MPI_SUM, mesh.comm);
  c.boundary_faces = totals[0];
  c.non_manifold_faces = totals[1];
  std::vector<link> edges = exchange(mesh.comm, edges_out);
  std::vector<link> links = exchange(mesh.comm, links_out);
  std::sort(edges.begin(), edges.end());
  const std::uint64_t first = c.first_vertex[mesh.rank];
  c.xadj.assign(c.vertex_element.size() + 1, 0);
  for (const link& l : edges) ++c.xadj[l.from - first + 1];
  std::partial_sum(c.xadj.begin(), c.xadj.end(), c.xadj.begin());
  c.adjncy.reserve(edges.size());
  for (const link& l : edges) c.adjncy.push_back(l.to);
  for (const link& l : links) {
    c.non_manifold_links.push_back(l.from - first);
    c.non_manifold_links.push_back(l.to);
  }
  return 0;
}

int count_parts(const dist_mesh& mesh, const face_census& c, std::uint64_t& parts) {
  const std::uint64_t first = c.first_vertex[mesh.rank];
  const std::size_t n = c.vertex_element.size();
  std::vector<std::uint64_t> root(n), label(n);
  std::iota(root.begin(), root.end(), 0);
  const auto find = [&root](std::uint64_t v) {
    while (root[v] != v) v = root[v] = root[root[v]];
    return v;
  };
  // Pairs (local vertex, global vertex): the dual edges and the links.
  std::vector<link> pairs;
  for (std::size_t v = 0; v < n; ++v)
    for (std::uint64_t k = c.xadj[v]; k < c.xadj[v + 1]; ++k) pairs.push_back({v, c.adjncy[k]});
  for (std::size_t k = 0; k + 1 < c.non_manifold_links.size(); k += 2)
    pairs.push_back({c.non_manifold_links[k], c.non_manifold_links[k + 1]});
  std::vector<link> cut;
  for (const link& p : pairs) {
    const bool local = p.to >= first && p.to < first + n;
    if (!local) {
      cut.push_back(p);
      continue;
    }
    const std::uint64_t a = find(p.from), b = find(p.to - first);
    root[std::max(a, b)] = std::min(a, b);
  }
  for (std::size_t v = 0; v < n; ++v) label[v] = first + find(v);
  // The smallest label spreads over the cut pairs until no rank changes.
  for (int changed = 1; changed;) {
    std::vector<std::vector<link>> out(mesh.ranks);
    for (const link& p : cut)
      out[holder_of(c.first_vertex, p.to)].push_back({p.to, label[find(p.from)]});
    int mine = 0;
    for (const link& l : exchange(mesh.comm, out)) {
      std::uint64_t& here = label[find(l.from - first)];
      if (l.to < here) here = l.to, mine = 1;
    }
    MPI_Allreduce(&mine, &changed, 1, MPI_INT, MPI_MAX, mesh.comm);
  }
  std::uint64_t own = 0;
  for (std::size_t v = 0; v < n; ++v) own += label[find(v)] == first + v ? 1 : 0;
  parts = detail::sum_all(mesh.comm, own);
  return 0;
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
