// Statistics of a whole mesh: box, topology of the top-dimension elements,
// coincident nodes, shape qualities, Jacobians and edge lengths per kind.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "mesh/boundary_faces.h"
#include "quernfold/quality.h"
#include "quernfold/search.h"
#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace {

// The list forms of merge report memory one code above no_memory.
constexpr int kListMergeNoMemory = no_memory + 1;
// get_neighbors without linking: a face shared by three elements or more
// links none of them.
constexpr bool kLeaveNonManifold = false;
constexpr std::size_t kBoxRows = 3;
constexpr std::size_t kFaceKeyNodes = 4;

// Distinct faces shared by three elements or more: the faces that stay
// unlinked when non-manifold groups are not linked, taken as node sets.
int count_non_manifold(const detail::boundary_walk& walk, std::size_t& count) {
  const combined_elements& c = walk.elements;
  dense2D<unsigned> unlinked, marked, faces;
  if (int code = get_neighbors(c.connect, c.type, kLeaveNonManifold, unlinked)) return code;
  if (!marked.resize(unlinked.rows(), unlinked.cols())) return no_memory;
  for (std::size_t j = 0; j < marked.cols(); ++j)
    for (std::size_t i = 0; i < marked.rows(); ++i) {
      const bool shared = unlinked(i, j) == no_index && walk.neighbors(i, j) != no_index;
      marked(i, j) = shared ? no_index : static_cast<unsigned>(j);
    }
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

int measure_topology(const mesh_data& mesh, mesh_statistics& s) {
  if (mesh.elements() == 0 || mesh_dimension(mesh) == 0) return 0;
  detail::boundary_walk walk;
  if (int code = detail::walk_boundary(mesh, walk)) return code;
  dense1D<unsigned> elements, offsets;
  if (int code = get_subdomains(walk.neighbors, elements, offsets)) return code;
  s.boundary_faces = walk.faces.cols();
  s.parts = offsets.size() - 1;
  s.has_topology = true;
  return count_non_manifold(walk, s.non_manifold_faces);
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
int count_coincident(const mesh_data& mesh, mesh_statistics& s) {
  std::vector<dense2D<unsigned>> matrices;
  for (const mesh_block& b : mesh.blocks) matrices.push_back(b.connectM);
  dense1D<unsigned> used, map;
  const dense2D<unsigned>* first = matrices.data();
  if (int code = unique_indices(used, first, first + matrices.size(), dense1D<unsigned>()))
    return code;
  const int merged = used.empty() ? 0 : merge(mesh.coords, used, map, 0.0);
  if (merged < 0) return merged == kListMergeNoMemory ? no_memory : merged;
  s.coincident_nodes = static_cast<std::size_t>(merged);
  return 0;
}

// Qualities and Jacobians of one block's vertex matrix into its own entry,
// and into the totals when the block is of the mesh's dimension.
int measure_block(const mesh_data& mesh, std::size_t b, const dense2D<unsigned>& vertices,
                  element_type kind, mesh_statistics& s) {
  kind_statistics& k = s.blocks[b];
  dense1D<double> q, jac;
  if (int code = shape_qualities(mesh.coords, vertices, kind, q)) return code;
  if (int code = jacobians(mesh.coords, vertices, kind, jac)) return code;
  for (std::size_t e = 0; e < q.size(); ++e) {
    if (k.quality.count == 0 || q[e] < k.quality.min) k.worst = e;
    k.quality.add(q[e]);
    if (!(jac[e] > 0)) ++k.nonpositive_jacobians;
  }
  if (element_dim(kind) != s.dimension || k.quality.count == 0) return 0;
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
  return 0;
}

void measure_edges(const mesh_data& mesh, const dense2D<unsigned>& edges, mesh_statistics& s) {
  for (std::size_t e = 0; e < edges.cols(); ++e) {
    double sq = 0;
    for (std::size_t i = 0; i < mesh.coords.rows(); ++i) {
      const double d = mesh.coords(i, edges(1, e)) - mesh.coords(i, edges(0, e));
      sq += d * d;
    }
    s.edge_length.add(std::sqrt(sq));
  }
}

// Shape qualities, non-positive Jacobians and distinct edge lengths, every
// kind measured on its vertex nodes.
int measure_elements(const mesh_data& mesh, mesh_statistics& s) {
  std::vector<dense2D<unsigned>> vertices;
  dense1D<int> kinds;
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    const element_type kind = linear_kind(mesh.blocks[b].type);
    dense2D<unsigned> v;
    if (kind == ET_NODE || mesh.blocks[b].connectM.cols() == 0) continue;
    if (!vertex_matrix(mesh.blocks[b], v) || !kinds.push_back(kind)) return no_memory;
    vertices.push_back(v);
    if (int code = measure_block(mesh, b, v, kind, s)) return code;
  }
  dense2D<unsigned> edges;
  const dense2D<unsigned>* first = vertices.data();
  if (int code = copy_edges(first, first + vertices.size(), kinds, edges)) return code;
  measure_edges(mesh, edges, s);
  return 0;
}

}  // namespace

void value_range::add(double v) {
  min = count ? std::min(min, v) : v;
  max = count ? std::max(max, v) : v;
  sum += v;
  ++count;
}

double value_range::mean() const { return count ? sum / static_cast<double>(count) : 0.0; }

int measure_mesh(const mesh_data& mesh, mesh_statistics& s) {
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
  int code = measure_topology(mesh, s);
  if (code == 0) code = count_coincident(mesh, s);
  if (code == 0) code = measure_elements(mesh, s);
  return code;
}

}  // namespace quernfold
}  // namespace ovk
