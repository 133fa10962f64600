// Node-centered adjacency: ancestors, node-to-element lists and node graphs.
//
// Both list operations rest on one compressed transposition (a counting sort
// of connectivity entries by node) and, for the graph, on a marker vector
// that removes duplicate neighbors in linear time without sorting.

#include <algorithm>
#include <cstddef>
#include <limits>

#include "common/edges.h"
#include "common/faces.h"
#include "common/mixed.h"
#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace {

// Which rows of a column hold the element's nodes, and which groups of them
// are joined in the node graph.
struct grouping {
  element_type kind;  // narrowed kind of the matrix
  std::size_t rows;   // rows of the matrix

  // Rows of `column` that take part: the whole column, except for the
  // shapes of a mixed column (whose unused tail is never read).
  unsigned used_rows(const unsigned* column) const {
    if (kind == ET_FACE_MIX || kind == ET_SOLID_MIX)
      return nbr_nodes(detail::column_shape(kind, column));
    return static_cast<unsigned>(rows);
  }

  // Edge list of the column, or nullptr when the whole column is one group.
  const detail::edge_table* edges(const unsigned* column) const {
    switch (kind) {
      case ET_UNKNOWN:
      case ET_EDGE2:
      case ET_TRIA3:
      case ET_TETRA4:
        return nullptr;
      default:
        return detail::edges_of_shape(detail::column_shape(kind, column));
    }
  }
};

// The kinds with an edge list, plus ET_UNKNOWN (whole columns): those with
// faces.
bool has_node_groups(element_type FE) { return FE == ET_UNKNOWN || detail::has_faces(FE); }

// Calls visit(v, j) for every node v (not ~0U) among the used rows of every
// column j, columns in order, rows in order.
template <class Visit>
void for_each_node_entry(const dense2D<unsigned>& M, const grouping& g, Visit&& visit) {
  for (std::size_t j = 0; j < M.cols(); ++j) {
    const unsigned* column = M.column(j);
    const unsigned n = g.used_rows(column);
    for (unsigned r = 0; r < n; ++r)
      if (column[r] != no_index) visit(column[r], j);
  }
}

// Largest node among the used rows and the number of node entries; false
// when there is no node at all.
bool scan_nodes(const dense2D<unsigned>& M, const grouping& g, unsigned& largest,
                std::size_t& entries) {
  largest = 0;
  entries = 0;
  for_each_node_entry(M, g, [&](unsigned v, std::size_t) {
    largest = std::max(largest, v);
    ++entries;
  });
  return entries > 0;
}

// Compressed transposition of the element columns: for every node v, the
// elements holding it, ascending (once per occurrence). On failure both
// outputs are released and -199 is returned.
int transpose(const dense2D<unsigned>& M, const grouping& g, dense1D<unsigned>& offsets,
              dense1D<unsigned>& values) {
  offsets.clear();
  values.clear();
  unsigned largest;
  std::size_t entries;
  if (!scan_nodes(M, g, largest, entries)) return offsets.resize(1, 0) ? 0 : no_memory;

  // count[v + 2] counts node v; after the running sum count[v + 1] is where
  // v's list starts, and it advances to where the list ends while scattering.
  const std::size_t count_size = std::size_t(largest) + 3;
  if (entries > std::numeric_limits<unsigned>::max() || !offsets.resize(count_size, 0) ||
      !values.resize(entries)) {
    offsets.clear_hard();
    values.clear_hard();
    return no_memory;
  }
  unsigned* count = offsets.data();
  for_each_node_entry(M, g, [count](unsigned v, std::size_t) { ++count[std::size_t(v) + 2]; });
  for (std::size_t k = 3; k < count_size; ++k) count[k] += count[k - 1];

  unsigned* out = values.data();
  for_each_node_entry(M, g, [count, out](unsigned v, std::size_t j) {
    out[count[std::size_t(v) + 1]++] = static_cast<unsigned>(j);
  });
  offsets.resize(count_size - 1);
  return 0;
}

// Calls emit(w) for every neighbor w of node v not yet marked for v, in
// order of first appearance, marking it. `marker` has one entry per node.
template <class Emit>
void walk_neighbors(unsigned v, const dense2D<unsigned>& M, const grouping& g,
                    const unsigned* elements_begin, const unsigned* elements_end, unsigned* marker,
                    Emit&& emit) {
  auto visit = [&](unsigned w) {
    if (w != no_index && marker[w] != v) {
      marker[w] = v;
      emit(w);
    }
  };
  marker[v] = v;
  unsigned previous = no_index;
  for (const unsigned* e = elements_begin; e != elements_end; ++e) {
    // An element holding v twice is listed twice; its second visit adds
    // nothing new.
    if (*e == previous) continue;
    previous = *e;
    const unsigned* column = M.column(*e);
    const detail::edge_table* edges = g.edges(column);
    if (!edges) {
      const unsigned n = g.used_rows(column);
      for (unsigned r = 0; r < n; ++r) visit(column[r]);
      continue;
    }
    for (unsigned k = 0; k < edges->count; ++k) {
      const unsigned a = column[edges->pairs[k][0]], b = column[edges->pairs[k][1]];
      if (a != v && b != v) continue;
      visit(a);
      visit(b);
    }
  }
}

// Count pass then write pass over every node, with the marker reset between
// them, as the sizes of the lists are only known after the first.
int build_graph(const dense2D<unsigned>& M, const grouping& g, const dense1D<unsigned>& to_elements,
                const dense1D<unsigned>& elements, dense1D<unsigned>& offsets,
                dense1D<unsigned>& nodes) {
  const std::size_t node_count = to_elements.size() - 1;
  dense1D<unsigned> marker;
  if (!offsets.resize(node_count + 1, 0) || !marker.resize(node_count, no_index)) {
    offsets.clear_hard();
    return no_memory;
  }
  const unsigned* first = elements.data();
  std::size_t total = 0;
  for (std::size_t v = 0; v < node_count; ++v) {
    walk_neighbors(static_cast<unsigned>(v), M, g, first + to_elements[v],
                   first + to_elements[v + 1], marker.data(), [&](unsigned) { ++total; });
    if (total > std::numeric_limits<unsigned>::max()) break;
    offsets[v + 1] = static_cast<unsigned>(total);
  }
  if (total > std::numeric_limits<unsigned>::max() || !nodes.resize(total)) {
    offsets.clear_hard();
    nodes.clear_hard();
    return no_memory;
  }
  marker = no_index;
  unsigned* out = nodes.data();
  for (std::size_t v = 0; v < node_count; ++v)
    walk_neighbors(static_cast<unsigned>(v), M, g, first + to_elements[v],
                   first + to_elements[v + 1], marker.data(), [&](unsigned w) { *out++ = w; });
  return 0;
}

}  // namespace

int get_ancestors(const dense2D<unsigned>& connectM, dense1D<unsigned>& ancestors) {
  if (connectM.empty()) return 0;
  if (ancestors.empty() && !ancestors.resize(std::size_t(max_ID(connectM)) + 1, no_index)) {
    ancestors.clear();
    return no_memory;
  }
  const std::size_t size = ancestors.size();
  for (std::size_t j = 0; j < connectM.cols(); ++j) {
    const unsigned* column = connectM.column(j);
    for (std::size_t r = 0; r < connectM.rows(); ++r)
      if (column[r] < size) ancestors[column[r]] = static_cast<unsigned>(j);
  }
  return 0;
}

int get_connected_elements(const dense2D<unsigned>& connectM, dense1D<unsigned>& offsets,
                           dense1D<unsigned>& elements) {
  return transpose(connectM, grouping{ET_UNKNOWN, connectM.rows()}, offsets, elements);
}

int get_node_graph(const dense2D<unsigned>& connectM, dense1D<unsigned>& offsets,
                   dense1D<unsigned>& nodes, element_type type) {
  offsets.clear();
  nodes.clear();
  if (connectM.empty()) return 0;
  // Unlike the face operations, the graph takes the kind as given: a mixed
  // matrix must have the full mixed height (4 or 8 rows).
  const element_type FE = type;
  if (FE != ET_UNKNOWN && connectM.rows() != nbr_nodes(FE)) return -2;
  if (!has_node_groups(FE)) return -5;

  const grouping g{FE, connectM.rows()};
  dense1D<unsigned> to_elements, elements;
  if (transpose(connectM, g, to_elements, elements) != 0) return no_memory;
  if (to_elements.size() == 1) return offsets.resize(1, 0) ? 0 : no_memory;
  return build_graph(connectM, g, to_elements, elements, offsets, nodes);
}

}  // namespace quernfold
}  // namespace ovk
