// Node-centred adjacency: ancestors, node-to-element lists and node graphs.
//
// Both list operations rest on one compressed transposition (a counting sort
// of connectivity entries by node) and, for the graph, on a marker vector
// that removes duplicate neighbours in linear time without sorting. The
// graph is walked once into a scratch buffer sized for the most arcs the
// groups can give, and copied out at its exact size; when that buffer cannot
// be had, a counting walk sizes the output first and a second walk fills it.

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>

#include "common/edges.h"
#include "common/faces.h"
#include "common/mixed.h"
#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace {

// The columns of a connectivity matrix, read through one pointer.
struct column_walk {
  const unsigned* base;
  std::size_t ld;
  std::size_t count;

  explicit column_walk(const dense2D<unsigned>& M) noexcept
      : base(M.data()), ld(M.ld()), count(M.cols()) {}
  const unsigned* column(std::size_t j) const noexcept { return base + j * ld; }
};

// Columns whose rows form one group: every pair of them is joined. Rows is
// the row count when fixed at compile time (the common simplices), 0 when
// it is only known at run time.
template <unsigned Rows>
struct whole_columns : column_walk {
  unsigned run_rows;

  explicit whole_columns(const dense2D<unsigned>& M) noexcept
      : column_walk(M), run_rows(static_cast<unsigned>(M.rows())) {}
  unsigned used_rows(const unsigned*) const noexcept { return Rows ? Rows : run_rows; }

  // Most arcs one column can give, k being its number of node entries: each
  // of them lists at most the k - 1 others.
  static std::size_t max_arcs(const unsigned*, std::size_t k) noexcept { return k * (k - 1); }

  template <class Visit>
  void visit_groups(unsigned, const unsigned* column, Visit&& visit) const {
    for (unsigned r = 0; r < used_rows(column); ++r) visit(column[r]);
  }
};

// Columns joined along the edges of their shape: one pure kind, or the
// shape of each column of a mixed matrix.
struct edge_columns : column_walk {
  element_type kind;

  edge_columns(const dense2D<unsigned>& M, element_type FE) noexcept : column_walk(M), kind(FE) {}

  element_type shape(const unsigned* column) const noexcept {
    return detail::column_shape(kind, column);
  }
  unsigned used_rows(const unsigned* column) const noexcept { return nbr_nodes(shape(column)); }

  // Each edge lists each of its two ends at most once, for the other end.
  std::size_t max_arcs(const unsigned* column, std::size_t) const noexcept {
    return 2 * std::size_t(detail::edges_of_shape(shape(column))->count);
  }

  // The edges holding v, in table order, each with its nodes in order.
  template <class Visit>
  void visit_groups(unsigned v, const unsigned* column, Visit&& visit) const {
    const detail::edge_table& edges = *detail::edges_of_shape(shape(column));
    for (unsigned k = 0; k < edges.count; ++k) {
      const unsigned a = column[edges.pairs[k][0]], b = column[edges.pairs[k][1]];
      if (a != v && b != v) continue;
      visit(a);
      visit(b);
    }
  }
};

// Largest node among the used rows, the number of node entries and the most
// arcs of the graph; false when there is no node at all.
template <class Columns>
bool scan_nodes(const Columns& g, unsigned& largest, std::size_t& entries, std::size_t& arcs) {
  largest = 0;
  entries = 0;
  arcs = 0;
  for (std::size_t j = 0; j < g.count; ++j) {
    const unsigned* column = g.column(j);
    const unsigned n = g.used_rows(column);
    std::size_t k = 0;
    for (unsigned r = 0; r < n; ++r) {
      const unsigned v = column[r];
      if (v == no_index) continue;
      largest = std::max(largest, v);
      ++k;
    }
    entries += k;
    if (k) arcs += g.max_arcs(column, k);
  }
  return entries != 0;
}

// Counting sort of the node entries by node: `count` has largest + 3
// entries, all 0; `out` has one entry per node entry. Afterwards count[v]
// .. count[v + 1] is where node v's elements stand in `out`, ascending
// (once per occurrence).
template <class Columns>
void scatter_by_node(const Columns& g, unsigned* count, std::size_t count_size, unsigned* out) {
  // count[v + 2] counts node v; after the running sum count[v + 1] is where
  // v's list starts, and it advances to where the list ends while scattering.
  for (std::size_t j = 0; j < g.count; ++j) {
    const unsigned* column = g.column(j);
    const unsigned n = g.used_rows(column);
    for (unsigned r = 0; r < n; ++r)
      if (column[r] != no_index) ++count[std::size_t(column[r]) + 2];
  }
  for (std::size_t k = 3; k < count_size; ++k) count[k] += count[k - 1];
  for (std::size_t j = 0; j < g.count; ++j) {
    const unsigned* column = g.column(j);
    const unsigned n = g.used_rows(column);
    for (unsigned r = 0; r < n; ++r)
      if (column[r] != no_index)
        out[count[std::size_t(column[r]) + 1]++] = static_cast<unsigned>(j);
  }
}

// The elements of every node, for the graph's own use: to_elements[v] ..
// to_elements[v + 1] index `elements`.
struct node_elements {
  std::size_t nodes = 0;  // largest node + 1
  std::size_t arcs = 0;   // most arcs of the graph
  std::unique_ptr<unsigned[]> to_elements;
  std::unique_ptr<unsigned[]> elements;

  // False when memory cannot be had; `nodes` stays 0 when no column holds a
  // node.
  template <class Columns>
  bool build(const Columns& g) {
    unsigned largest;
    std::size_t entries;
    if (!scan_nodes(g, largest, entries, arcs)) return true;
    if (entries > std::numeric_limits<unsigned>::max()) return false;
    nodes = std::size_t(largest) + 1;
    to_elements.reset(new (std::nothrow) unsigned[nodes + 2]());
    elements.reset(new (std::nothrow) unsigned[entries]);
    if (!to_elements || !elements) return false;
    scatter_by_node(g, to_elements.get(), nodes + 2, elements.get());
    return true;
  }
};

// Node lists of the graph, node by node: emit(w) for every neighbour w of v
// not yet marked for v, in order of first appearance, then end_node(v) once
// its list is complete. `marker` has one entry per node, all ~0U.
template <class Columns, class Emit, class EndNode>
void walk_graph(const Columns& g, const node_elements& lists, unsigned* marker, Emit&& emit,
                EndNode&& end_node) {
  const std::size_t node_count = lists.nodes;
  const unsigned* to_elements = lists.to_elements.get();
  const unsigned* listed = lists.elements.get();
  for (std::size_t n = 0; n < node_count; ++n) {
    const unsigned v = static_cast<unsigned>(n);
    auto visit = [&](unsigned w) {
      if (w != no_index && marker[w] != v) {
        marker[w] = v;
        emit(w);
      }
    };
    marker[v] = v;
    unsigned previous = no_index;
    for (std::size_t k = to_elements[n]; k < to_elements[n + 1]; ++k) {
      // An element holding v twice is listed twice; its second visit adds
      // nothing new.
      if (listed[k] == previous) continue;
      previous = listed[k];
      g.visit_groups(v, g.column(previous), visit);
    }
    end_node(n);
  }
}

// One walk into a scratch buffer of `arcs` entries; when that buffer cannot
// be had, a counting walk then a writing walk. On failure both outputs are
// released.
template <class Columns>
int build_graph(const Columns& g, const node_elements& lists, dense1D<unsigned>& offsets,
                dense1D<unsigned>& nodes) {
  const std::size_t node_count = lists.nodes;
  std::unique_ptr<unsigned[]> marker(new (std::nothrow) unsigned[node_count]);
  if (!marker || !offsets.resize(node_count + 1, 0)) {
    offsets.clear_hard();
    return no_memory;
  }
  std::fill_n(marker.get(), node_count, no_index);
  unsigned* offset = offsets.data();
  std::unique_ptr<unsigned[]> scratch(new (std::nothrow) unsigned[lists.arcs]);
  std::size_t total = 0;
  if (scratch) {
    unsigned* out = scratch.get();
    walk_graph(
        g, lists, marker.get(), [&](unsigned w) { *out++ = w; },
        [&](std::size_t n) { offset[n + 1] = static_cast<unsigned>(out - scratch.get()); });
    total = std::size_t(out - scratch.get());
  } else {
    walk_graph(
        g, lists, marker.get(), [&](unsigned) { ++total; },
        [&](std::size_t n) { offset[n + 1] = static_cast<unsigned>(total); });
  }
  if (total > std::numeric_limits<unsigned>::max() || !nodes.resize(total)) {
    offsets.clear_hard();
    nodes.clear_hard();
    return no_memory;
  }
  if (scratch) {
    std::copy_n(scratch.get(), total, nodes.data());
    return 0;
  }
  std::fill_n(marker.get(), node_count, no_index);
  unsigned* out = nodes.data();
  walk_graph(
      g, lists, marker.get(), [&](unsigned w) { *out++ = w; }, [](std::size_t) {});
  return 0;
}

template <class Columns>
int node_graph(const Columns& g, dense1D<unsigned>& offsets, dense1D<unsigned>& nodes) {
  node_elements lists;
  if (!lists.build(g)) return no_memory;
  if (lists.nodes == 0) return offsets.resize(1, 0) ? 0 : no_memory;
  return build_graph(g, lists, offsets, nodes);
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
  offsets.clear();
  elements.clear();
  const whole_columns<0> g(connectM);
  unsigned largest;
  std::size_t entries, arcs;
  if (!scan_nodes(g, largest, entries, arcs)) return offsets.resize(1, 0) ? 0 : no_memory;
  const std::size_t count_size = std::size_t(largest) + 3;
  if (entries > std::numeric_limits<unsigned>::max() || !offsets.resize(count_size, 0) ||
      !elements.resize(entries)) {
    offsets.clear_hard();
    elements.clear_hard();
    return no_memory;
  }
  scatter_by_node(g, offsets.data(), count_size, elements.data());
  offsets.resize(count_size - 1);
  return 0;
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
  switch (FE) {
    case ET_TETRA4:
      return node_graph(whole_columns<4>(connectM), offsets, nodes);
    case ET_TRIA3:
      return node_graph(whole_columns<3>(connectM), offsets, nodes);
    case ET_UNKNOWN:
    case ET_EDGE2:
      return node_graph(whole_columns<0>(connectM), offsets, nodes);
    default:
      if (!detail::has_faces(FE)) return -5;
      return node_graph(edge_columns(connectM, FE), offsets, nodes);
  }
}

}  // namespace quernfold
}  // namespace ovk
