// Node-centred adjacency: ancestors, node-to-element lists and node graphs.
//
// Both list operations rest on one compressed transposition (a counting sort
// of connectivity entries by node) and, for the graph, on a marker vector
// that removes duplicate neighbors in linear time without sorting. The
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
#include "common/prefetch.h"
#include "quernfold/topology.h"
#include "topology/node_lists.h"

namespace ovk {
namespace quernfold {
namespace {

// Columns whose rows form one group: every pair of them is joined.
template <unsigned Rows>
struct whole_groups : detail::whole_columns<Rows> {
  using detail::whole_columns<Rows>::whole_columns;

  // Most arcs one column can give, k being its number of node entries: each
  // of them lists at most the k - 1 others.
  static std::size_t max_arcs(const unsigned*, std::size_t k) noexcept { return k * (k - 1); }

  template <class Visit>
  void visit_groups(unsigned, const unsigned* column, Visit&& visit) const {
    for (unsigned r = 0; r < this->used_rows(column); ++r) visit(column[r]);
  }
};

// Columns joined along the edges of their shape: one pure kind, or the
// shape of each column of a mixed matrix.
struct edge_groups : detail::shaped_columns {
  using detail::shaped_columns::shaped_columns;

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

// Node lists of the graph, node by node: emit(w) for every neighbor w of v
// not yet marked for v, in order of first appearance, then end_node(v) once
// its list is complete. `marker` has one entry per node, all ~0U. Gapless
// says no used row holds ~0U, so the walk need not test for it.
template <bool Gapless, class Columns, class Emit, class EndNode>
void walk_graph_entries(const Columns& g, const detail::node_elements& lists, unsigned* marker,
                        Emit&& emit, EndNode&& end_node) {
  for (std::size_t n = 0; n < lists.nodes; ++n) {
    const unsigned v = static_cast<unsigned>(n);
    auto visit = [&](unsigned w) {
      if ((Gapless || w != no_index) && marker[w] != v) {
        marker[w] = v;
        emit(w);
      }
    };
    marker[v] = v;
    lists.for_each_element(
        n, [&](unsigned e) { g.visit_groups(v, g.column(e), visit); },
        [&](unsigned e) { detail::prefetch(g.column(e)); });
    end_node(n);
  }
}

// walk_graph_entries without the test for ~0U when the columns have a fixed
// height and every one of their entries is a node.
template <class Columns, class Emit, class EndNode>
void walk_graph(const Columns& g, const detail::node_elements& lists, unsigned* marker, Emit&& emit,
                EndNode&& end_node) {
  if constexpr (Columns::fixed_rows != 0) {
    if (lists.gapless()) return walk_graph_entries<true>(g, lists, marker, emit, end_node);
  }
  walk_graph_entries<false>(g, lists, marker, emit, end_node);
}

// One walk into a scratch buffer of `arcs` entries; when that buffer cannot
// be had, a counting walk then a writing walk. On failure both outputs are
// released.
template <class Columns>
int build_graph(const Columns& g, const detail::node_elements& lists, std::size_t arcs,
                dense1D<unsigned>& offsets, dense1D<unsigned>& nodes) {
  const std::size_t node_count = lists.nodes;
  std::unique_ptr<unsigned[]> marker(new (std::nothrow) unsigned[node_count]);
  if (!marker || !offsets.resize(node_count + 1, 0)) {
    offsets.clear_hard();
    return no_memory;
  }
  std::fill_n(marker.get(), node_count, no_index);
  unsigned* offset = offsets.data();
  std::unique_ptr<unsigned[]> scratch(new (std::nothrow) unsigned[arcs]);
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
  detail::node_elements lists;
  std::size_t arcs = 0;
  const unsigned largest =
      lists.scan(g, [&](const unsigned* column, std::size_t k) { arcs += g.max_arcs(column, k); });
  if (!lists.sort(g, largest)) return no_memory;
  if (lists.nodes == 0) return offsets.resize(1, 0) ? 0 : no_memory;
  return build_graph(g, lists, arcs, offsets, nodes);
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
  const detail::whole_columns<0> g(connectM);
  detail::node_elements lists;
  const unsigned largest = lists.scan(g, [](const unsigned*, std::size_t) {});
  const std::size_t entries = lists.entries();
  if (entries == 0) return offsets.resize(1, 0) ? 0 : no_memory;
  const std::size_t count_size = std::size_t(largest) + 3;
  if (entries > std::numeric_limits<unsigned>::max() || !offsets.resize(count_size, 0) ||
      !elements.resize(entries)) {
    offsets.clear_hard();
    elements.clear_hard();
    return no_memory;
  }
  detail::scatter_by_node(g, offsets.data(), count_size, elements.data());
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
      return node_graph(whole_groups<4>(connectM), offsets, nodes);
    case ET_TRIA3:
      return node_graph(whole_groups<3>(connectM), offsets, nodes);
    case ET_UNKNOWN:
    case ET_EDGE2:
      return node_graph(whole_groups<0>(connectM), offsets, nodes);
    default:
      if (!detail::has_faces(FE)) return -5;
      return node_graph(edge_groups(connectM, FE), offsets, nodes);
  }
}

}  // namespace quernfold
}  // namespace ovk
