// Faces of the top-dimension elements matched across ranks: each face goes
// to the rank its node set hashes to, which counts how many elements hold
// it and sends every pair of elements that share it back to their ranks.
// From those pairs: the face-dual graph and the connected parts.
#include <algorithm>
#include <array>
#include <numeric>

#include "common/faces.h"
#include "common/mixed.h"
#include "mpi/exchange.h"
#include "quernfold/mpi.h"
#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;
using detail::holder_of;
using detail::mix;
using quernfold::detail::face_table;
using quernfold::detail::faces_of_shape;

constexpr std::size_t kFaceNodes = 4;
constexpr std::uint64_t kNoNode = ~std::uint64_t(0);
constexpr std::uint64_t kSharedByTwo = 2;
// Local faces of three elements or more stay unlinked (counted as groups).
constexpr bool kLeaveNonManifold = false;

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

// The local elements of dimension `dim`, vertex nodes only, block after
// block (a linear block alone keeps its own kind and storage).
int top_elements(const dist_mesh& mesh, unsigned dim, combined_elements& top) {
  const mesh_block* only = nullptr;
  int blocks = 0;
  for (const mesh_block& b : mesh.local.blocks)
    if (element_dim(b.type) == dim && b.connectM.cols() > 0) only = &b, ++blocks;
  if (blocks != 1) return combine_blocks(mesh.local, dim, top);
  top.type = linear_kind(only->type);
  return vertex_matrix(*only, top.connect) ? 0 : no_memory;
}

// Counts a group of equal faces and sends the pairs it links: exactly two
// elements on two ranks make a dual edge, three or more join them all.
void count_group(const face_record* g, std::size_t n, const face_census& c, std::uint64_t counts[2],
                 std::vector<std::vector<link>>& edges, std::vector<std::vector<link>>& links) {
  if (n == 1) ++counts[0];
  if (n > kSharedByTwo) ++counts[1];
  const auto holder = [&c](std::uint64_t v) { return holder_of(c.first_vertex, v); };
  if (n == kSharedByTwo && holder(g[0].vertex) == holder(g[1].vertex)) return;
  std::vector<std::vector<link>>& to = n == kSharedByTwo ? edges : links;
  for (std::size_t k = 1; k < n; ++k) {
    to[holder(g[0].vertex)].push_back({g[0].vertex, g[k].vertex});
    to[holder(g[k].vertex)].push_back({g[k].vertex, g[0].vertex});
  }
}

void count_groups(std::vector<face_record>& faces, const face_census& c, std::uint64_t counts[2],
                  std::vector<std::vector<link>>& edges, std::vector<std::vector<link>>& links) {
  std::sort(faces.begin(), faces.end(), [](const face_record& a, const face_record& b) {
    return a.key != b.key ? a.key < b.key : a.vertex < b.vertex;
  });
  for (std::size_t i = 0; i < faces.size();) {
    std::size_t j = i + 1;
    while (j < faces.size() && faces[j].key == faces[i].key) ++j;
    count_group(faces.data() + i, j - i, c, counts, edges, links);
    i = j;
  }
}

// The face `f` of local element `j`: its key (global node numbers,
// increasing) and whether all its nodes are used on other ranks too.
bool face_key(const dist_mesh& mesh, const unsigned* column, const face_table& table, unsigned f,
              const std::vector<char>& shared, face_record& r) {
  r.key.fill(kNoNode);
  bool everywhere = true;
  for (unsigned i = 0; i < table.size[f]; ++i) {
    const unsigned node = column[table.nodes[f][i]];
    r.key[i] = mesh.node_ids[node];
    everywhere = everywhere && shared[node];
  }
  std::sort(r.key.begin(), r.key.end());
  return everywhere;
}

// Walks the faces of the local elements: fn(column, face, record, shared
// by other ranks).
template <class Fn>
void each_face(const dist_mesh& mesh, const combined_elements& top, const face_census& c,
               const std::vector<char>& shared, Fn fn) {
  for (std::size_t j = 0; j < top.connect.cols(); ++j) {
    const unsigned* column = top.connect.column(j);
    const face_table* table = faces_of_shape(quernfold::detail::column_shape(top.type, column));
    for (unsigned f = 0; table && f < table->count; ++f) {
      face_record r;
      const bool everywhere = face_key(mesh, column, *table, f, shared, r);
      r.vertex = c.first_vertex[mesh.rank] + j;
      fn(j, f, r, everywhere);
    }
  }
}

// Faces listed by round: element column x kFaceSlots + face.
constexpr std::uint64_t kFaceSlots = 8;

// Keeps the faces that no local element shares and whose nodes some rank
// does not use (no other rank can hold them); the others, whose nodes all
// lie on other ranks too, go to the rank and round of their key, linked or
// not: they are listed by round.
detail::round_lists local_faces(const dist_mesh& mesh, const combined_elements& top,
                                const face_census& c, const std::vector<char>& shared,
                                std::vector<face_record>& here) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> sent;  // (hash, face)
  each_face(mesh, top, c, shared, [&](std::size_t j, unsigned f, const face_record& r, bool all) {
    if (all) sent.emplace_back(face_hash(r.key), j * kFaceSlots + f);
    if (!all && c.neighbors(f, j) == no_index) here.push_back(r);
  });
  return detail::by_round(mesh.comm, mesh.ranks, sent);
}

std::vector<face_record> round_faces(const dist_mesh& mesh, const combined_elements& top,
                                     const face_census& c, const std::vector<char>& shared,
                                     const detail::round_lists& lists, int round) {
  const int rounds = lists.rounds();
  std::vector<std::vector<face_record>> out(mesh.ranks);
  for (std::size_t i = lists.start[round]; i < lists.start[round + 1]; ++i) {
    const std::size_t j = lists.items[i] / kFaceSlots;
    const unsigned f = static_cast<unsigned>(lists.items[i] % kFaceSlots);
    const unsigned* column = top.connect.column(j);
    face_record r;
    face_key(mesh, column, *faces_of_shape(quernfold::detail::column_shape(top.type, column)), f,
             shared, r);
    r.vertex = c.first_vertex[mesh.rank] + j;
    out[detail::destination_of(face_hash(r.key), mesh.ranks, rounds).rank].push_back(r);
  }
  return exchange(mesh.comm, out);
}

void flatten(const std::vector<link>& from, std::uint64_t first, std::vector<std::uint64_t>& to) {
  for (const link& l : from) {
    to.push_back(l.from - first);
    to.push_back(l.to);
  }
}

}  // namespace

// Local nodes that elements of other ranks use too: each node goes to the
// rank its number hashes to, which sends back the nodes of two ranks or more.
std::vector<char> detail::shared_nodes(const dist_mesh& mesh) {
  std::vector<std::vector<link>> out(mesh.ranks);
  for (std::uint64_t id : mesh.node_ids)
    out[detail::owner_of(id, mesh.ranks)].push_back({id, static_cast<std::uint64_t>(mesh.rank)});
  std::vector<link> users = exchange(mesh.comm, out);
  std::sort(users.begin(), users.end());
  for (std::size_t i = 0; i < users.size();) {
    std::size_t j = i + 1;
    while (j < users.size() && users[j].from == users[i].from) ++j;
    for (std::size_t k = i; k < j && j - i > 1; ++k) out[users[k].to].push_back({users[k].from, 0});
    i = j;
  }
  std::vector<char> shared(mesh.node_ids.size(), 0);
  for (const link& l : exchange(mesh.comm, out))
    shared[std::lower_bound(mesh.node_ids.begin(), mesh.node_ids.end(), l.from) -
           mesh.node_ids.begin()] = 1;
  return shared;
}

unsigned mesh_dimension(const dist_mesh& mesh) {
  unsigned dim = 0, all = 0;
  for (const mesh_block& b : mesh.local.blocks)
    if (b.connectM.cols() > 0) dim = std::max(dim, element_dim(b.type));
  MPI_Allreduce(&dim, &all, 1, MPI_UNSIGNED, MPI_MAX, mesh.comm);
  return all;
}

int census_faces(const dist_mesh& mesh, face_census& c) {
  c = face_census();
  c.rank = mesh.rank;
  combined_elements top;
  int code = detail::agree(mesh.comm, top_elements(mesh, mesh_dimension(mesh), top));
  c.vertices = top.connect.cols();
  c.first_vertex = detail::distribution(mesh.comm, c.vertices);
  if (code == 0 && c.vertices > 0)
    code = get_neighbors(top.connect, top.type, kLeaveNonManifold, c.neighbors);
  if ((code = detail::agree(mesh.comm, code))) return code;
  const std::vector<char> shared = detail::shared_nodes(mesh);
  std::vector<face_record> here;
  const detail::round_lists lists = local_faces(mesh, top, c, shared, here);
  const int rounds = lists.rounds();
  std::uint64_t counts[2] = {0, 0};
  std::vector<std::vector<link>> edges_out(mesh.ranks), links_out(mesh.ranks);
  // The pairs found reach their ranks after every round.
  const auto deliver = [&]() {
    flatten(exchange(mesh.comm, edges_out), c.first_vertex[mesh.rank], c.remote_edges);
    flatten(exchange(mesh.comm, links_out), c.first_vertex[mesh.rank], c.non_manifold_links);
  };
  count_groups(here, c, counts, edges_out, links_out);
  deliver();
  for (int round = 0; round < rounds; ++round) {
    std::vector<face_record> faces = round_faces(mesh, top, c, shared, lists, round);
    count_groups(faces, c, counts, edges_out, links_out);
    std::vector<face_record>().swap(faces);
    deliver();
  }
  MPI_Allreduce(MPI_IN_PLACE, counts, 2, MPI_UINT64_T, MPI_SUM, mesh.comm);
  c.boundary_faces = counts[0];
  c.non_manifold_faces = counts[1];
  return 0;
}

void dual_graph(const face_census& c, std::vector<std::uint64_t>& xadj,
                std::vector<std::uint64_t>& adjncy) {
  const std::uint64_t first = c.first_vertex[c.rank];
  const auto local = [&c](std::size_t i, std::size_t j) {
    const unsigned v = c.neighbors(i, j);
    return v != no_index && v != j;
  };
  xadj.assign(c.vertices + 1, 0);
  for (std::size_t j = 0; j < c.vertices; ++j)
    for (std::size_t i = 0; i < c.neighbors.rows(); ++i) xadj[j + 1] += local(i, j) ? 1 : 0;
  for (std::size_t k = 0; k < c.remote_edges.size(); k += 2) ++xadj[c.remote_edges[k] + 1];
  std::partial_sum(xadj.begin(), xadj.end(), xadj.begin());
  adjncy.assign(xadj.back(), 0);
  std::vector<std::uint64_t> at(xadj.begin(), xadj.end() - 1);
  for (std::size_t j = 0; j < c.vertices; ++j)
    for (std::size_t i = 0; i < c.neighbors.rows(); ++i)
      if (local(i, j)) adjncy[at[j]++] = first + c.neighbors(i, j);
  for (std::size_t k = 0; k < c.remote_edges.size(); k += 2)
    adjncy[at[c.remote_edges[k]]++] = c.remote_edges[k + 1];
  for (std::size_t j = 0; j < c.vertices; ++j)
    std::sort(adjncy.begin() + static_cast<std::ptrdiff_t>(xadj[j]),
              adjncy.begin() + static_cast<std::ptrdiff_t>(xadj[j + 1]));
}

int count_parts(const dist_mesh& mesh, const face_census& c, std::uint64_t& parts) {
  const std::uint64_t first = c.first_vertex[mesh.rank];
  const std::size_t n = c.vertices;
  std::vector<std::uint64_t> root(n), label(n);
  std::iota(root.begin(), root.end(), 0);
  const auto find = [&root](std::uint64_t v) {
    while (root[v] != v) v = root[v] = root[root[v]];
    return v;
  };
  const auto join = [&root, &find](std::uint64_t a, std::uint64_t b) {
    a = find(a), b = find(b);
    root[std::max(a, b)] = std::min(a, b);
  };
  const auto local = [first, n](std::uint64_t v) { return v >= first && v < first + n; };
  // fn(local vertex, global vertex) for the pairs through faces.
  const auto each_pair = [&c](auto fn) {
    for (const std::vector<std::uint64_t>* pairs : {&c.remote_edges, &c.non_manifold_links})
      for (std::size_t k = 0; k < pairs->size(); k += 2) fn((*pairs)[k], (*pairs)[k + 1]);
  };
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t i = 0; i < c.neighbors.rows(); ++i)
      if (c.neighbors(i, j) != no_index) join(j, c.neighbors(i, j));
  each_pair([&](std::uint64_t v, std::uint64_t to) {
    if (local(to)) join(v, to - first);
  });
  for (std::size_t v = 0; v < n; ++v) label[v] = first + find(v);
  // The smallest label spreads over the pairs that leave the rank, from the
  // components whose label changed in the last pass, until none changes.
  std::vector<char> fresh(n, 1);
  for (int changed = 1; changed;) {
    // One label per remote vertex: the smallest the fresh components send.
    std::vector<link> labels;
    each_pair([&](std::uint64_t v, std::uint64_t to) {
      if (!local(to) && fresh[find(v)]) labels.push_back({to, label[find(v)]});
    });
    std::sort(labels.begin(), labels.end());
    labels.erase(std::unique(labels.begin(), labels.end(),
                             [](const link& a, const link& b) { return a.from == b.from; }),
                 labels.end());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> sent;
    for (std::size_t i = 0; i < labels.size(); ++i) sent.emplace_back(mix(labels[i].from), i);
    const detail::round_lists lists = detail::by_round(mesh.comm, mesh.ranks, sent);
    std::vector<char> next(n, 0);
    int mine = 0;
    for (int round = 0; round < lists.rounds(); ++round) {
      std::vector<std::vector<link>> out(mesh.ranks);
      for (std::size_t i = lists.start[round]; i < lists.start[round + 1]; ++i) {
        const link& l = labels[lists.items[i]];
        out[holder_of(c.first_vertex, l.from)].push_back(l);
      }
      for (const link& l : exchange(mesh.comm, out)) {
        const std::uint64_t r = find(l.from - first);
        if (l.to < label[r]) label[r] = l.to, next[r] = 1, mine = 1;
      }
    }
    fresh.swap(next);
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
