// The size map of a whole mesh: a size per node from the edges of its
// elements, then the gradation bound on it.
#include <cmath>

#include "common/edges.h"
#include "quernfold/mesh.h"
#include "quernfold/metrics.h"

namespace ovk {
namespace quernfold {
namespace {

// bound_metric_gradations: every node may change, and only by shrinking.
constexpr bool kListedNodesFixed = true;
constexpr int kShrinkOnly = -1;
constexpr double kSmallestGradation = 1.0;

// Size per node from the elements of the highest dimension, then from lower
// ones for the nodes they alone hold.
int node_sizes(const mesh_data& mesh, double p, dense1D<double>& sizes) {
  if (!sizes.resize(mesh.coords.cols(), 0.0)) return no_memory;
  for (unsigned d = mesh_dimension(mesh); d >= 1; --d) {
    combined_elements c;
    dense1D<double> at_d;
    if (int code = combine_blocks(mesh, d, c)) return code;
    if (c.connect.cols() == 0) continue;
    if (int code = metrics_gen_iso(mesh.coords, c.connect, c.type, at_d, p)) return code;
    for (std::size_t v = 0; v < sizes.size(); ++v)
      if (sizes[v] == 0) sizes[v] = at_d[v];
  }
  return 0;
}

// Shrinks the sizes until they grow by at most `gradation` per unit of
// length along the edges of the top-dimension elements. Returns the nodes
// changed or a code.
int bound_growth(const mesh_data& mesh, double gradation, dense1D<double>& sizes) {
  combined_elements c;
  if (int code = combine_blocks(mesh, mesh_dimension(mesh), c)) return code;
  return bound_metric_gradations(mesh.coords, c.connect, c.type, dense1D<unsigned>(),
                                 kListedNodesFixed, kShrinkOnly, gradation - kSmallestGradation,
                                 sizes);
}

// The nodes past the vertex nodes of quadratic elements that have no size
// yet: a mid-edge node (they follow the edge list of the element's linear
// kind) the mean of its edge's end sizes, a face or body node the mean of
// its element's vertex sizes.
void size_inner_nodes(const mesh_data& mesh, dense1D<double>& sizes) {
  for (const mesh_block& b : mesh.blocks) {
    const unsigned base = nbr_base_nodes(b.type), rows = nbr_nodes(b.type);
    const detail::edge_table* edges = detail::edges_of_shape(linear_kind(b.type));
    if (rows <= base || !edges) continue;
    for (std::size_t j = 0; j < b.connectM.cols(); ++j) {
      const unsigned* c = b.connectM.column(j);
      double vertex_mean = 0;
      for (unsigned k = 0; k < base; ++k) vertex_mean += sizes[c[k]] / base;
      for (unsigned k = base; k < rows; ++k) {
        if (sizes[c[k]] != 0) continue;
        const unsigned e = k - base;
        sizes[c[k]] = e < edges->count
                          ? (sizes[c[edges->pairs[e][0]]] + sizes[c[edges->pairs[e][1]]]) / 2
                          : vertex_mean;
      }
    }
  }
}

}  // namespace

int mesh_size_map(const mesh_data& mesh, double p, double gradation, dense1D<double>& sizes,
                  int& changed) {
  changed = 0;
  if (!(p >= 0) || !std::isfinite(p) || !(gradation >= kSmallestGradation))
    return mesh_bad_parameter;
  if (mesh_dimension(mesh) == 0) return mesh_no_faces;
  if (int code = node_sizes(mesh, p, sizes)) return code;
  if (!std::isinf(gradation)) {
    const int bounded = bound_growth(mesh, gradation, sizes);
    if (bounded < 0) return bounded;
    changed = bounded;
  }
  size_inner_nodes(mesh, sizes);
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
