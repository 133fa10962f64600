// The size map of a whole mesh: a size per node from the edges of its
// elements, then the gradation bound on it.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>
#include <vector>

#include "common/edges.h"
#include "common/mixed.h"
#include "common/parallel.h"
#include "mesh/inner_sizes.h"
#include "quernfold/mesh.h"
#include "quernfold/metrics.h"

namespace ovk {
namespace quernfold {
namespace {

// bound_metric_gradations: every node may change, and only by shrinking.
constexpr bool kListedNodesFixed = true;
constexpr int kShrinkOnly = -1;
constexpr double kSmallestGradation = 1.0;

// metrics_gen_iso's fold of the lengths at the nodes [first, last): every
// element in order, every edge in table order, so each node sees its
// lengths in the one-thread order (the power of a length is taken once for
// both its ends: the same value). count: lengths seen per node.
void fold_node_range(const dense2D<double>& coords, const dense2D<unsigned>& cells, element_type FE,
                     double p, std::size_t first, std::size_t last, dense1D<double>& H,
                     dense1D<unsigned>& count) {
  const bool minimum = p == 0, maximum = p >= DBL_MAX;
  const double start = p > 0 ? 0.0 : DBL_MAX;
  auto fold = [&](unsigned v, double L, double power) {
    if (v < first || v >= last) return;
    if (count[v]++ == 0) H[v] = start;
    H[v] = minimum ? std::min(H[v], L) : maximum ? std::max(H[v], L) : H[v] + power;
  };
  for (std::size_t j = 0; j < cells.cols(); ++j) {
    const unsigned* column = cells.column(j);
    const detail::edge_table* table = detail::column_edges(FE, column);
    for (unsigned k = 0; k < table->count; ++k) {
      const unsigned a = column[table->pairs[k][0]], b = column[table->pairs[k][1]];
      if ((a < first || a >= last) && (b < first || b >= last)) continue;
      const double L = detail::edge_length(coords, a, b);
      if (L == 0 || !std::isfinite(L)) continue;
      const double power = minimum || maximum ? L : detail::size_power(L, p);
      fold(a, L, power);
      fold(b, L, power);
    }
  }
  if (minimum || maximum) return;
  for (std::size_t v = first; v < last; ++v)
    if (count[v] > 0) H[v] = detail::size_power(H[v] / count[v], 1 / p);
}

// Kinds whose every column has a linear edge table (the kinds of combined
// elements).
bool linear_edges(element_type FE) {
  return FE == ET_EDGE2 || FE == ET_FACE_MIX || FE == ET_TRIA3 || FE == ET_QUAD4 ||
         FE == ET_SOLID_MIX || FE == ET_TETRA4 || FE == ET_PYRAMID5 || FE == ET_WEDGE6 ||
         FE == ET_HEXA8;
}

// Columns whose corners are counted to balance the node ranges: every
// column up to this many, an evenly spaced sample of them beyond.
constexpr std::size_t kBalanceSampleColumns = 1 << 16;

// Bounds of `parts` ranges of nodes that hold about equal numbers of
// element corners (parts + 1 entries, from 0 to the node count), so that
// each range folds about as many lengths. The corners are counted on an
// evenly spaced sample of the columns: the bounds only share the work, the
// sizes do not depend on them.
std::vector<std::size_t> corner_balanced_ranges(const dense2D<unsigned>& cells, std::size_t nodes,
                                                std::size_t parts) {
  std::vector<std::size_t> corners(nodes, 0), bounds(parts + 1, nodes);
  std::size_t total = 0;
  const std::size_t stride = std::max<std::size_t>(1, cells.cols() / kBalanceSampleColumns);
  for (std::size_t j = 0; j < cells.cols(); j += stride)
    for (std::size_t i = 0; i < cells.rows(); ++i)
      if (cells(i, j) < nodes) ++corners[cells(i, j)], ++total;
  bounds[0] = 0;
  std::size_t part = 1, seen = 0;
  for (std::size_t v = 0; v < nodes && part < parts; ++v) {
    seen += corners[v];
    while (part < parts && seen * parts >= total * part) bounds[part++] = v + 1;
  }
  return bounds;
}

// Whether iso_sizes folds `cells` (of kind `type`) on the threads rather
// than leaving them to metrics_gen_iso.
bool folds_on_threads(const dense2D<double>& coords, const dense2D<unsigned>& cells,
                      element_type type, unsigned threads) {
  const element_type FE = detail::narrow_mixed(type, cells.rows());
  return threads > 1 && linear_edges(FE) && element_dim(FE) <= coords.rows() &&
         check_IDs(cells, FE, static_cast<unsigned>(coords.cols()));
}

// metrics_gen_iso of `cells` (kind `type`), on `threads` threads (one range
// of nodes each) when `threaded` (folds_on_threads); else left to it (the
// same codes).
int iso_sizes(const dense2D<double>& coords, const dense2D<unsigned>& cells, element_type type,
              double p, bool threaded, unsigned threads, dense1D<double>& H) {
  if (!threaded) return metrics_gen_iso(coords, cells, type, H, p);
  const element_type FE = detail::narrow_mixed(type, cells.rows());
  const unsigned nodes = static_cast<unsigned>(coords.cols());
  dense1D<unsigned> count;
  if (!H.resize(nodes, 0.0) || !count.resize(nodes, 0U)) return no_memory;
  const std::vector<std::size_t> bounds = corner_balanced_ranges(cells, nodes, threads);
  detail::run_parallel(threads, threads, [&](std::size_t part) {
    fold_node_range(coords, cells, FE, p, bounds[part], bounds[part + 1], H, count);
  });
  return 0;
}

// The one block of dimension d with columns, when its kind has linear edges
// and its matrix that kind's height: its columns and edges are those of
// combine_blocks's matrix. nullptr when there is no such block.
const mesh_block* sole_block(const mesh_data& mesh, unsigned d) {
  const mesh_block* sole = nullptr;
  for (const mesh_block& b : mesh.blocks) {
    if (element_dim(b.type) != d || b.connectM.cols() == 0) continue;
    if (sole) return nullptr;
    sole = &b;
  }
  return sole && linear_edges(sole->type) && sole->connectM.rows() == nbr_nodes(sole->type)
             ? sole
             : nullptr;
}

// Whether every entry of `cells` names one of `nodes` nodes (what check_IDs
// asks of a pure kind as tall as the matrix), one range of columns per
// thread.
bool names_nodes(const dense2D<unsigned>& cells, unsigned nodes, unsigned threads) {
  return !detail::any_range(threads, cells.cols(), [&](std::size_t first, std::size_t last) {
    for (std::size_t j = first; j < last; ++j) {
      const unsigned* c = cells.column(j);
      for (std::size_t i = 0; i < cells.rows(); ++i)
        if (c[i] >= nodes || c[i] == no_index) return true;
    }
    return false;
  });
}

// The elements of one dimension as iso_sizes takes them.
struct elements_to_size {
  combined_elements combined;  // when the blocks are combined
  const dense2D<unsigned>* cells = nullptr;
  element_type type = ET_UNKNOWN;
  bool threaded = false;  // folds_on_threads
};

// The elements of dimension d: on several threads, the sole block of that
// dimension as it is (read, never copied nor shared) when its entries name
// nodes; else combine_blocks's matrix.
int gather_elements(const mesh_data& mesh, unsigned d, unsigned threads, elements_to_size& e) {
  const mesh_block* sole = threads > 1 ? sole_block(mesh, d) : nullptr;
  if (sole && element_dim(sole->type) <= mesh.coords.rows() &&
      names_nodes(sole->connectM, static_cast<unsigned>(mesh.coords.cols()), threads)) {
    e.cells = &sole->connectM;
    e.type = sole->type;
    e.threaded = true;
    return 0;
  }
  if (int code = combine_blocks(mesh, d, e.combined)) return code;
  e.cells = &e.combined.connect;
  e.type = e.combined.type;
  e.threaded = folds_on_threads(mesh.coords, *e.cells, e.type, threads);
  return 0;
}

// Size per node from the elements of the highest dimension, then from lower
// ones for the nodes they alone hold.
int node_sizes(const mesh_data& mesh, double p, unsigned threads, dense1D<double>& sizes) {
  // Every size from 0, whatever `sizes` held.
  sizes = dense1D<double>();
  if (!sizes.resize(mesh.coords.cols(), 0.0)) return no_memory;
  for (unsigned d = mesh_dimension(mesh); d >= 1; --d) {
    elements_to_size e;
    dense1D<double> at_d;
    if (int code = gather_elements(mesh, d, threads, e)) return code;
    if (e.cells->cols() == 0) continue;
    if (int code = iso_sizes(mesh.coords, *e.cells, e.type, p, e.threaded, threads, at_d))
      return code;
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

}  // namespace

void detail::size_inner_nodes(const mesh_data& mesh, dense1D<double>& sizes) {
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

int mesh_size_map(const mesh_data& mesh, double p, double gradation, dense1D<double>& sizes,
                  int& changed) {
  return mesh_size_map(mesh, p, gradation, sizes, changed, 1);
}

int mesh_size_map(const mesh_data& mesh, double p, double gradation, dense1D<double>& sizes,
                  int& changed, unsigned threads) try {
  changed = 0;
  if (!(p >= 0) || !std::isfinite(p) || !(gradation >= kSmallestGradation))
    return mesh_bad_parameter;
  if (mesh_dimension(mesh) == 0) return mesh_no_faces;
  if (int code = node_sizes(mesh, p, detail::thread_count(threads), sizes)) return code;
  if (!std::isinf(gradation)) {
    const int bounded = bound_growth(mesh, gradation, sizes);
    if (bounded < 0) return bounded;
    changed = bounded;
  }
  detail::size_inner_nodes(mesh, sizes);
  return 0;
} catch (const std::bad_alloc&) {
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
