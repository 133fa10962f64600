// Statistics of a whole mesh: box, topology of the top-dimension elements,
// coincident nodes, shape qualities, Jacobians and edge lengths per kind.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <new>
#include <vector>

#include "common/parallel.h"
#include "mesh/boundary_faces.h"
#include "mesh/edge_pieces.h"
#include "quernfold/quality.h"
#include "quernfold/search.h"
#include "quernfold/topology.h"
#include "topology/threaded.h"

namespace ovk {
namespace quernfold {
namespace {

// get_neighbors without linking: a face shared by three elements or more
// links none of them.
constexpr bool kLeaveNonManifold = false;
constexpr std::size_t kBoxRows = 3;
constexpr std::size_t kFaceKeyNodes = 4;

// Whether some face is shared by three elements or more: linked when such
// faces are linked, unlinked when they are not (ranges of columns looked at
// on `threads` threads).
bool shared_by_three(const detail::boundary_walk& walk, const dense2D<unsigned>& unlinked,
                     std::size_t i, std::size_t j) {
  return unlinked(i, j) == no_index && walk.neighbors(i, j) != no_index;
}

bool any_non_manifold(const detail::boundary_walk& walk, const dense2D<unsigned>& unlinked,
                      unsigned threads) {
  return detail::any_range(threads, unlinked.cols(), [&](std::size_t first, std::size_t last) {
    for (std::size_t j = first; j < last; ++j)
      for (std::size_t i = 0; i < unlinked.rows(); ++i)
        if (shared_by_three(walk, unlinked, i, j)) return true;
    return false;
  });
}

// Distinct faces shared by three elements or more: the faces that stay
// unlinked when non-manifold groups are not linked, taken as node sets.
// `unlinked`: the neighbours with non-manifold faces left unlinked.
int count_non_manifold(const detail::boundary_walk& walk, const dense2D<unsigned>& unlinked,
                       unsigned threads, std::size_t& count) {
  count = 0;
  if (!any_non_manifold(walk, unlinked, threads)) return 0;  // no face to list: none counted
  const combined_elements& c = walk.elements;
  dense2D<unsigned> marked, faces;
  if (!marked.resize(unlinked.rows(), unlinked.cols())) return no_memory;
  for (std::size_t j = 0; j < marked.cols(); ++j)
    for (std::size_t i = 0; i < marked.rows(); ++i)
      marked(i, j) = shared_by_three(walk, unlinked, i, j) ? no_index : static_cast<unsigned>(j);
  if (int code = get_mesh_boundaries(c.connect, marked, c.type, faces)) return code;
  std::vector<std::array<unsigned, kFaceKeyNodes>> keys(faces.cols());
  for (std::size_t j = 0; j < faces.cols(); ++j) {
    keys[j].fill(no_index);
    std::copy(faces.column(j), faces.column(j) + faces.rows(), keys[j].begin());
    std::sort(keys[j].begin(), keys[j].end());
  }
  std::sort(keys.begin(), keys.end());
  count = static_cast<std::size_t>(std::unique(keys.begin(), keys.end()) - keys.begin());
  return 0;
}

bool has_topology(const mesh_data& mesh) {
  return mesh.elements() != 0 && mesh_dimension(mesh) != 0;
}

// The walked faces and their connected parts: what the topology needs
// before the non-manifold count.
int walk_parts(const mesh_data& mesh, detail::boundary_walk& walk, std::size_t& parts,
               unsigned threads = 1, dense2D<unsigned>* unlinked = nullptr) {
  if (int code = detail::walk_boundary(mesh, walk, threads, unlinked)) return code;
  const dense2D<unsigned> none;
  return detail::count_connected_parts(walk.neighbors, unlinked ? *unlinked : none, threads, parts);
}

int leave_non_manifold(const combined_elements& c, dense2D<unsigned>& unlinked) {
  return get_neighbors(c.connect, c.type, kLeaveNonManifold, unlinked);
}

int finish_topology(const detail::boundary_walk& walk, const dense2D<unsigned>& unlinked,
                    mesh_statistics& s, unsigned threads = 1) {
  s.boundary_faces = walk.faces.cols();
  s.has_topology = true;
  return count_non_manifold(walk, unlinked, threads, s.non_manifold_faces);
}

int measure_topology(const mesh_data& mesh, mesh_statistics& s) {
  if (!has_topology(mesh)) return 0;
  detail::boundary_walk walk;
  dense2D<unsigned> unlinked;
  if (int code = walk_parts(mesh, walk, s.parts)) return code;
  if (int code = leave_non_manifold(walk.elements, unlinked)) return code;
  return finish_topology(walk, unlinked, s);
}

void measure_box(const mesh_data& mesh, mesh_statistics& s) {
  const std::size_t d = std::min(mesh.coords.rows(), kBoxRows);
  if (mesh.coords.cols() == 0) return;
  s.has_box = true;
  for (std::size_t i = 0; i < d; ++i) {
    s.box[0][i] = s.box[1][i] = mesh.coords(i, 0);
    for (std::size_t j = 1; j < mesh.coords.cols(); ++j) {
      s.box[0][i] = std::min(s.box[0][i], mesh.coords(i, j));
      s.box[1][i] = std::max(s.box[1][i], mesh.coords(i, j));
    }
  }
}

// Nodes used by an element that coincide exactly with another used node of
// lower rank: counted, never applied.
// `matrices`: the blocks' connectivities (views made before any thread
// starts: the views' counts of a shared block are not synchronised); the
// merge runs on `threads` threads.
int count_coincident(const mesh_data& mesh, const std::vector<dense2D<unsigned>>& matrices,
                     unsigned threads, mesh_statistics& s) {
  dense1D<unsigned> used, map;
  const dense2D<unsigned>* first = matrices.data();
  if (int code = unique_indices(used, first, first + matrices.size(), dense1D<unsigned>()))
    return code;
  const int merged = used.empty() ? 0 : merge(mesh.coords, used, used, map, 0.0, threads);
  if (merged < 0) return merged == merge_no_memory ? no_memory : merged;
  s.coincident_nodes = static_cast<std::size_t>(merged);
  return 0;
}

std::vector<dense2D<unsigned>> block_matrices(const mesh_data& mesh) {
  std::vector<dense2D<unsigned>> matrices;
  for (const mesh_block& b : mesh.blocks) matrices.push_back(b.connectM);
  return matrices;
}

// Qualities and Jacobians of one block's vertex matrix into its own entry
// and the totals.
int block_measures(const mesh_data& mesh, const dense2D<unsigned>& vertices, element_type kind,
                   dense1D<double>& q, dense1D<double>& jac) {
  if (int code = shape_qualities(mesh.coords, vertices, kind, q)) return code;
  return jacobians(mesh.coords, vertices, kind, jac);
}

// One block's qualities and Jacobians added to its entry in element order,
// and to the totals when the block is of the mesh's dimension.
void add_to_block(const dense1D<double>& q, const dense1D<double>& jac, kind_statistics& k) {
  for (std::size_t e = 0; e < q.size(); ++e) {
    if (k.quality.count == 0 || q[e] < k.quality.min) k.worst = e;
    k.quality.add(q[e]);
    if (!(jac[e] > 0)) ++k.nonpositive_jacobians;
  }
}

void add_block(const dense1D<double>& q, const dense1D<double>& jac, std::size_t b,
               mesh_statistics& s) {
  add_to_block(q, jac, s.blocks[b]);
  add_kind_totals(s, b);
}

int measure_block(const mesh_data& mesh, std::size_t b, const dense2D<unsigned>& vertices,
                  element_type kind, mesh_statistics& s) {
  dense1D<double> q, jac;
  if (int code = block_measures(mesh, vertices, kind, q, jac)) return code;
  add_block(q, jac, b, s);
  return 0;
}

// The edges' lengths (edges: 2 x count) measured by ranges on `threads`
// threads, then added in edge order.
void measure_edges(const mesh_data& mesh, const dense2D<unsigned>& edges, mesh_statistics& s,
                   unsigned threads = 1) {
  std::vector<double> lengths(edges.cols());
  detail::parallel_ranges(threads, edges.cols(), [&](std::size_t first, std::size_t last) {
    for (std::size_t e = first; e < last; ++e) {
      double sq = 0;
      for (std::size_t i = 0; i < mesh.coords.rows(); ++i) {
        const double d = mesh.coords(i, edges(1, e)) - mesh.coords(i, edges(0, e));
        sq += d * d;
      }
      lengths[e] = std::sqrt(sq);
    }
  });
  for (double length : lengths) s.edge_length.add(length);
}

// The vertex matrices of the blocks with a shape (ET_NODE and empty blocks
// left out), their kinds and their blocks.
struct element_vertices {
  std::vector<dense2D<unsigned>> matrices;
  dense1D<int> kinds;
  std::vector<std::size_t> blocks;
};

int gather_vertices(const mesh_data& mesh, element_vertices& v) {
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    const element_type kind = linear_kind(mesh.blocks[b].type);
    dense2D<unsigned> m;
    if (kind == ET_NODE || mesh.blocks[b].connectM.cols() == 0) continue;
    if (!vertex_matrix(mesh.blocks[b], m) || !v.kinds.push_back(kind)) return no_memory;
    v.matrices.push_back(m);
    v.blocks.push_back(b);
  }
  return 0;
}

int measure_edge_lengths(const mesh_data& mesh, const element_vertices& v, mesh_statistics& s) {
  dense2D<unsigned> edges;
  const dense2D<unsigned>* first = v.matrices.data();
  if (int code = copy_edges(first, first + v.matrices.size(), v.kinds, edges)) return code;
  measure_edges(mesh, edges, s);
  return 0;
}

// Shape qualities, non-positive Jacobians and distinct edge lengths, every
// kind measured on its vertex nodes.
int measure_elements(const mesh_data& mesh, mesh_statistics& s) {
  element_vertices v;
  if (int code = gather_vertices(mesh, v)) return code;
  for (std::size_t i = 0; i < v.matrices.size(); ++i) {
    const element_type kind = static_cast<element_type>(v.kinds[i]);
    if (int code = measure_block(mesh, v.blocks[i], v.matrices[i], kind, s)) return code;
  }
  return measure_edge_lengths(mesh, v, s);
}

void start_statistics(const mesh_data& mesh, mesh_statistics& s) {
  s = mesh_statistics();
  s.nodes = mesh.coords.cols();
  s.space_dimension = mesh.coords.rows();
  s.dimension = mesh_dimension(mesh);
  for (const mesh_block& b : mesh.blocks) {
    s.blocks.emplace_back();
    s.blocks.back().type = b.type;
    s.blocks.back().elements = b.connectM.cols();
  }
  measure_box(mesh, s);
}

// What the threads of measure_mesh fill, each piece by one task.
struct measure_pieces {
  detail::boundary_walk walk;
  dense2D<unsigned> unlinked;
  element_vertices vertices;
  std::vector<dense1D<double>> qualities, jacobians;
  std::vector<dense2D<unsigned>> edge_pieces;     // one per thread
  std::vector<dense2D<unsigned>> connectivities;  // block_matrices
  unsigned threads = 1;
};

// The independent steps as tasks, the longest first: topology (one walk,
// itself on the threads, for the linked and the unlinked neighbours), the edges of each piece of
// the elements, coincident nodes, then the qualities and Jacobians of each block.
std::vector<std::function<int()>> measure_tasks(const mesh_data& mesh, measure_pieces& m,
                                                mesh_statistics& s) {
  std::vector<std::function<int()>> tasks;
  const std::size_t parts = m.edge_pieces.size();
  for (std::size_t i = 0; i < parts; ++i)
    tasks.push_back([&, i, parts] {
      return detail::piece_edges(m.vertices.matrices, m.vertices.kinds, i, parts, m.edge_pieces[i]);
    });
  if (has_topology(mesh)) {
    tasks.push_back([&] { return walk_parts(mesh, m.walk, s.parts, m.threads, &m.unlinked); });
  }
  tasks.push_back([&] { return count_coincident(mesh, m.connectivities, m.threads, s); });
  for (std::size_t i = 0; i < m.vertices.matrices.size(); ++i)
    tasks.push_back([&, i] {
      const element_type kind = static_cast<element_type>(m.vertices.kinds[i]);
      return block_measures(mesh, m.vertices.matrices[i], kind, m.qualities[i], m.jacobians[i]);
    });
  return tasks;
}

}  // namespace

void value_range::add(double v) {
  min = count ? std::min(min, v) : v;
  max = count ? std::max(max, v) : v;
  sum += v;
  ++count;
}

double value_range::mean() const { return count ? sum / static_cast<double>(count) : 0.0; }

void add_kind_totals(mesh_statistics& s, std::size_t b) {
  const kind_statistics& k = s.blocks[b];
  if (element_dim(k.type) != s.dimension || k.quality.count == 0) return;
  if (s.quality.count == 0 || k.quality.min < s.quality.min) {
    s.worst_block = b;
    s.worst_element = k.worst;
  }
  s.quality.count += k.quality.count;
  s.quality.sum += k.quality.sum;
  s.quality.min =
      s.quality.count == k.quality.count ? k.quality.min : std::min(s.quality.min, k.quality.min);
  s.quality.max =
      s.quality.count == k.quality.count ? k.quality.max : std::max(s.quality.max, k.quality.max);
  s.nonpositive_jacobians += k.nonpositive_jacobians;
}

int measure_mesh(const mesh_data& mesh, mesh_statistics& s) {
  start_statistics(mesh, s);
  int code = measure_topology(mesh, s);
  if (code == 0) code = count_coincident(mesh, block_matrices(mesh), 1, s);
  if (code == 0) code = measure_elements(mesh, s);
  return code;
}

int measure_mesh(const mesh_data& mesh, mesh_statistics& s, unsigned threads) try {
  start_statistics(mesh, s);
  measure_pieces m;
  if (int code = gather_vertices(mesh, m.vertices)) return code;
  m.qualities.resize(m.vertices.matrices.size());
  m.jacobians.resize(m.vertices.matrices.size());
  threads = detail::thread_count(threads);
  m.threads = threads;
  m.edge_pieces.resize(std::min(threads, detail::kMostEdgePieces));
  m.connectivities = block_matrices(mesh);
  const auto tasks = measure_tasks(mesh, m, s);
  if (int code = detail::run_tasks(threads, tasks)) return code;
  if (has_topology(mesh))
    if (int code = finish_topology(m.walk, m.unlinked, s, threads)) return code;
  // Each block's measures and the edge lengths are added by tasks of their
  // own (each to its own entry, in element order), the totals in block order.
  std::vector<std::function<int()>> sums;
  for (std::size_t i = 0; i < m.vertices.matrices.size(); ++i)
    sums.push_back([&, i] {
      add_to_block(m.qualities[i], m.jacobians[i], s.blocks[m.vertices.blocks[i]]);
      return 0;
    });
  sums.push_back([&] {
    dense2D<unsigned> edges;
    if (int code = detail::merge_edges(m.edge_pieces, edges, threads)) return code;
    measure_edges(mesh, edges, s, threads);
    return 0;
  });
  if (int code = detail::run_tasks(threads, sums)) return code;
  for (std::size_t b : m.vertices.blocks) add_kind_totals(s, b);
  return 0;
} catch (const std::bad_alloc&) {
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
