// Closure and winding of a mesh through its facets (end points of curves,
// edges of surfaces, faces of solids), its distinct edges and the outline
// of a surface.
#include <algorithm>
#include <array>
#include <new>
#include <vector>

#include "common/parallel.h"
#include "mesh/edge_pieces.h"
#include "quernfold/quality.h"
#include "quernfold/topology.h"

#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace {

constexpr std::size_t kFacetRows = 4;
// Faces per element of an edge (its two end points), for the sense of an
// end point: face 0 is the end, face 1 the start.
constexpr std::size_t kEdgeEnds = 2;

struct facet {
  std::array<unsigned, kFacetRows> key;  // nodes ascending, ~0U after the last
  bool sense;                            // the turn its element gives it
  std::size_t column;                    // of the facet matrix
};

// The sense of a facet column of n nodes: for a point which end it is, for
// an edge whether it runs up, otherwise whether the node after the first
// smallest is below the node before it.
bool facet_sense(const unsigned* v, unsigned n, std::size_t column) {
  if (n == 1) return column % kEdgeEnds == 0;
  if (n == 2) return v[0] < v[1];
  const unsigned lowest = static_cast<unsigned>(std::min_element(v, v + n) - v);
  return v[(lowest + 1) % n] < v[(lowest + n - 1) % n];
}

std::vector<facet> sorted_facets(const dense2D<unsigned>& columns) {
  std::vector<facet> all(columns.cols());
  for (std::size_t j = 0; j < columns.cols(); ++j) {
    const unsigned* v = columns.column(j);
    const unsigned n = static_cast<unsigned>(std::find(v, v + columns.rows(), no_index) - v);
    facet& f = all[j];
    f.key.fill(no_index);
    std::copy(v, v + n, f.key.begin());
    std::sort(f.key.begin(), f.key.begin() + n);
    f.sense = facet_sense(v, n, j);
    f.column = j;
  }
  std::sort(all.begin(), all.end(), [](const facet& a, const facet& b) { return a.key < b.key; });
  return all;
}

// Counts the facets of the columns of `elements` (kind `type`); the
// columns of the facets of one element go to `open` when asked for.
int count_facets(const dense2D<unsigned>& elements, element_type type, facet_report& report,
                 dense2D<unsigned>* open) {
  dense2D<unsigned> columns;
  if (int code = get_element_boundaries(elements, type, columns)) return code;
  const std::vector<facet> all = sorted_facets(columns);
  std::vector<std::size_t> lonely;
  for (std::size_t i = 0, j; i < all.size(); i = j) {
    for (j = i + 1; j < all.size() && all[j].key == all[i].key;) ++j;
    ++report.facets;
    const std::size_t n = j - i;
    if (n == 1) ++report.open, lonely.push_back(all[i].column);
    if (n == 2) ++report.shared, report.misturned += all[i].sense == all[i + 1].sense;
    if (n > 2) ++report.crowded;
  }
  if (!open) return 0;
  if (!open->resize(kFacetRows, lonely.size(), no_index)) return no_memory;
  for (std::size_t k = 0; k < lonely.size(); ++k)
    std::copy(columns.column(lonely[k]), columns.column(lonely[k]) + columns.rows(),
              open->column(k));
  return 0;
}

}  // namespace

int check_facets(const mesh_data& mesh, facet_report& report) {
  report = facet_report();
  report.dimension = mesh_dimension(mesh);
  if (report.dimension == 0) return mesh_no_faces;
  combined_elements c;
  if (int code = combine_blocks(mesh, report.dimension, c)) return code;
  const bool solid = report.dimension == 3;
  dense2D<unsigned> open;
  if (int code = count_facets(c.connect, c.type, report, solid ? &open : nullptr)) return code;
  report.winding_consistent = report.misturned == 0;
  report.watertight = report.crowded == 0 && (solid || report.open == 0);
  if (solid && report.watertight && open.cols()) {
    facet_report skin;
    if (int code = count_facets(open, ET_FACE_MIX, skin, nullptr)) return code;
    report.watertight = skin.open == 0 && skin.crowded == 0;
  }
  return 0;
}

int mesh_edges(const mesh_data& mesh, dense2D<unsigned>& edges) {
  return mesh_edges(mesh, edges, 1);
}

int mesh_edges(const mesh_data& mesh, dense2D<unsigned>& edges, unsigned threads) try {
  edges.clear();
  std::vector<dense2D<unsigned>> corners;
  dense1D<int> types;
  for (const mesh_block& b : mesh.blocks) {
    if (element_dim(b.type) == 0) continue;
    corners.emplace_back();
    if (!vertex_matrix(b, corners.back()) || !types.push_back(linear_kind(b.type)))
      return no_memory;
  }
  if (corners.empty()) return edges.resize(2, 0) ? 0 : no_memory;
  return detail::threaded_edges(corners, types, detail::thread_count(threads), edges);
} catch (const std::bad_alloc&) {
  return no_memory;
}

int mesh_outline(const mesh_data& mesh, mesh_data& outline) {
  outline = mesh_data();
  if (mesh_dimension(mesh) != 2) return mesh_wrong_dimension;
  return mesh_boundary(mesh, outline);
}

}  // namespace quernfold
}  // namespace ovk
