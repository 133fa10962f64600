// The elements around every node: a counting sort of the connectivity
// entries by node, shared by the node graph and the neighbor search, and
// the ways of reading which rows of a column hold its nodes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "common/mixed.h"
#include "common/parallel.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// The columns of a connectivity matrix, read through one pointer.
struct column_walk {
  const unsigned* base;
  std::size_t ld;
  std::size_t count;

  explicit column_walk(const dense2D<unsigned>& M) noexcept
      : base(M.data()), ld(M.ld()), count(M.cols()) {}
  const unsigned* column(std::size_t j) const noexcept { return base + j * ld; }
};

// Columns whose every row is read. Rows is the row count when fixed at
// compile time (the common simplices), 0 when it is only known at run time.
template <unsigned Rows>
struct whole_columns : column_walk {
  unsigned run_rows;

  // Rows every column uses, 0 when known only at run time.
  static constexpr unsigned fixed_rows = Rows;

  explicit whole_columns(const dense2D<unsigned>& M) noexcept
      : column_walk(M), run_rows(static_cast<unsigned>(M.rows())) {}
  unsigned used_rows(const unsigned*) const noexcept { return Rows ? Rows : run_rows; }
};

// Columns of one pure kind, or of a mixed matrix whose columns each read the
// rows of their own shape (the unused tail is never read).
struct shaped_columns : column_walk {
  element_type kind;

  // Each column uses the rows of its own shape.
  static constexpr unsigned fixed_rows = 0;

  shaped_columns(const dense2D<unsigned>& M, element_type FE) noexcept : column_walk(M), kind(FE) {}
  element_type shape(const unsigned* column) const noexcept { return column_shape(kind, column); }
  unsigned used_rows(const unsigned* column) const noexcept { return nbr_nodes(shape(column)); }
};

// Calls visit(v, j) for every node v (not ~0U) among the used rows of every
// column j, columns in order, rows in order. Gapless says no used row holds
// ~0U, so the walk need not test for it.
template <bool Gapless = false, class Columns, class Visit>
void for_each_node_entry(const Columns& g, Visit&& visit) {
  for (std::size_t j = 0; j < g.count; ++j) {
    const unsigned* column = g.column(j);
    const unsigned n = g.used_rows(column);
    for (unsigned r = 0; r < n; ++r)
      if (Gapless || column[r] != no_index) visit(column[r], j);
  }
}

// Counting sort of the node entries by node: `count` has largest + 3
// entries, all 0; `out` has one entry per node entry. Afterwards count[v]
// .. count[v + 1] is where node v's elements stand in `out`, ascending
// (once per occurrence). Gapless as for for_each_node_entry.
template <bool Gapless = false, class Columns>
void scatter_by_node(const Columns& g, unsigned* count, std::size_t count_size, unsigned* out) {
  // count[v + 2] counts node v; after the running sum count[v + 1] is where
  // v's list starts, and it advances to where the list ends while scattering.
  for_each_node_entry<Gapless>(g,
                               [count](unsigned v, std::size_t) { ++count[std::size_t(v) + 2]; });
  for (std::size_t k = 3; k < count_size; ++k) count[k] += count[k - 1];
  for_each_node_entry<Gapless>(g, [count, out](unsigned v, std::size_t j) {
    out[count[std::size_t(v) + 1]++] = static_cast<unsigned>(j);
  });
}

// Column ranges of the threaded counting sort at most (each holds a cursor
// per node).
constexpr std::size_t kMostScatterParts = 8;

// What scatter_by_node gives, on `threads` threads: each of `parts` ranges
// of columns counts its entries per node, the cursors are summed node by
// node and range by range, and each range scatters its columns in order,
// so that a node's list holds the ranges' elements one range after the
// other, ascending as before. False when the cursors cannot be had.
template <bool Gapless = false, class Columns>
bool scatter_by_node(const Columns& g, unsigned* count, std::size_t count_size, unsigned* out,
                     unsigned threads) {
  const std::size_t parts = std::min<std::size_t>({threads, kMostScatterParts, g.count});
  if (parts <= 1) {
    scatter_by_node<Gapless>(g, count, count_size, out);
    return true;
  }
  std::vector<std::unique_ptr<unsigned[]>> at(parts);
  for (auto& cursors : at) {
    cursors.reset(new (std::nothrow) unsigned[count_size]());
    if (!cursors) return false;
  }
  auto columns_of = [&](std::size_t part, auto&& visit) {
    std::size_t first, last;
    split_range(g.count, part, parts, first, last);
    Columns range = g;
    range.base = g.column(first);
    range.count = last - first;
    for_each_node_entry<Gapless>(
        range, [&](unsigned v, std::size_t j) { visit(v, static_cast<unsigned>(first + j)); });
  };
  run_parallel(threads, parts, [&](std::size_t part) {
    unsigned* mine = at[part].get();
    columns_of(part, [mine](unsigned v, unsigned) { ++mine[v]; });
  });
  // count[v] = where node v's list starts; each range's cursor for v after
  // the entries of the ranges before it.
  unsigned start = 0;
  for (std::size_t v = 0; v + 2 < count_size; ++v) {
    count[v] = start;
    for (std::size_t part = 0; part < parts; ++part) start += std::exchange(at[part][v], start);
  }
  count[count_size - 2] = count[count_size - 1] = start;
  run_parallel(threads, parts, [&](std::size_t part) {
    unsigned* mine = at[part].get();
    columns_of(part, [mine, out](unsigned v, unsigned j) { out[mine[v]++] = j; });
  });
  return true;
}

// The elements of every node: node v's are elements[to_elements[v] ..
// to_elements[v + 1]), ascending, an element holding v twice listed twice.
struct node_elements {
  std::size_t nodes = 0;    // largest node + 1; 0 when no column holds a node
  std::size_t longest = 0;  // most elements of one node
  std::unique_ptr<unsigned[]> to_elements;
  std::unique_ptr<unsigned[]> elements;

  // First step: counts the node entries and finds the largest node,
  // calling column_nodes(column, k) for every column with k > 0 node
  // entries on the way. Returns the largest node, 0 when there is none
  // (then `entries` is 0).
  template <class Columns, class ColumnNodes>
  unsigned scan(const Columns& g, ColumnNodes&& column_nodes) {
    gapless_ = false;
    if constexpr (Columns::fixed_rows != 0) {
      if (g.ld == Columns::fixed_rows) {
        const unsigned largest = scan_packed(g.base, g.count * Columns::fixed_rows);
        if (gapless_) {
          for (std::size_t j = 0; j < g.count; ++j) column_nodes(g.column(j), Columns::fixed_rows);
          return largest;
        }
      }
    }
    unsigned largest = 0;
    entries_ = 0;
    for (std::size_t j = 0; j < g.count; ++j) {
      const unsigned* column = g.column(j);
      const unsigned n = g.used_rows(column);
      std::size_t k = 0;
      for (unsigned r = 0; r < n; ++r) {
        if (column[r] == no_index) continue;
        largest = std::max(largest, column[r]);
        ++k;
      }
      entries_ += k;
      if (k) column_nodes(column, k);
    }
    return largest;
  }

  // Node entries counted by scan().
  std::size_t entries() const noexcept { return entries_; }

  // True when scan() found every used row of every column to hold a node.
  bool gapless() const noexcept { return gapless_; }

  // Second step, after scan() gave `largest`: the lists themselves. False
  // when memory cannot be had; `nodes` stays 0 when no column holds a node.
  // On `threads` threads, the same lists.
  template <class Columns>
  bool sort(const Columns& g, unsigned largest, unsigned threads = 1) {
    if (entries_ == 0) return true;
    if (entries_ > std::numeric_limits<unsigned>::max()) return false;
    nodes = std::size_t(largest) + 1;
    to_elements.reset(new (std::nothrow) unsigned[nodes + 2]());
    elements.reset(new (std::nothrow) unsigned[entries_]);
    if (!to_elements || !elements) return false;
    const bool sorted =
        gapless_ ? scatter_by_node<true>(g, to_elements.get(), nodes + 2, elements.get(), threads)
                 : scatter_by_node(g, to_elements.get(), nodes + 2, elements.get(), threads);
    if (!sorted) return false;
    for (std::size_t v = 0; v < nodes; ++v)
      longest = std::max<std::size_t>(longest, to_elements[v + 1] - to_elements[v]);
    return true;
  }

  // Calls visit(element) for every element of node v, ascending, each once.
  template <class Visit>
  void for_each_element(std::size_t v, Visit&& visit) const {
    for_each_element(v, visit, [](unsigned) {});
  }

  // The same, calling ahead(e) before each element for the element kAhead
  // entries further on in the lists (of v or of the nodes after it), so
  // that its column can be fetched before it is needed.
  template <class Visit, class Ahead>
  void for_each_element(std::size_t v, Visit&& visit, Ahead&& ahead) const {
    unsigned previous = no_index;
    const std::size_t last = to_elements[nodes];
    for (std::size_t k = to_elements[v]; k < to_elements[v + 1]; ++k) {
      if (k + kAhead < last) ahead(elements[k + kAhead]);
      // An element holding v twice is listed twice.
      if (elements[k] == previous) continue;
      previous = elements[k];
      visit(previous);
    }
  }

  // How far ahead for_each_element looks.
  static constexpr std::size_t kAhead = 16;

 private:
  // One pass over `size` packed entries of columns of a fixed height: the
  // largest node, and whether no entry is ~0U (then all are counted).
  unsigned scan_packed(const unsigned* entries, std::size_t size) noexcept {
    // ~0U + 1 wraps to 0, so the largest of v + 1 skips the gaps.
    unsigned top = 0;
    std::size_t gaps = 0;
    for (std::size_t i = 0; i < size; ++i) {
      top = std::max(top, entries[i] + 1U);
      gaps += entries[i] == no_index;
    }
    gapless_ = gaps == 0;
    if (gapless_) entries_ = size;
    return top == 0 ? 0 : top - 1;
  }

  std::size_t entries_ = 0;
  bool gapless_ = false;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
