// Sub-domains, color boundaries and the grouping of mixed columns by node
// count.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "topology/face_tools.h"

namespace ovk {
namespace quernfold {
namespace {

// Breadth-first growth of one sub-domain from `seed`: appends its elements to
// `elements` in the order they are taken from the queue. An element may be
// queued several times; it is taken once.
void grow_subdomain(const dense2D<unsigned>& neighbors, unsigned seed, std::vector<bool>& visited,
                    std::vector<unsigned>& queue, dense1D<unsigned>& elements) {
  const std::size_t E = neighbors.cols(), rows = neighbors.rows();
  queue.assign(1, seed);
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const unsigned e = queue[head];
    if (visited[e]) continue;
    visited[e] = true;
    elements.push_back(e);  // room reserved for every element
    const unsigned* across = neighbors.column(e);
    for (std::size_t r = 0; r < rows; ++r)
      if (across[r] < E && !visited[across[r]]) queue.push_back(across[r]);
  }
}

// Column k of M := old column order[k], for every k, through a scratch copy.
void take_columns(dense2D<unsigned>& M, const dense2D<unsigned>& old,
                  const dense1D<unsigned>& order) {
  for (std::size_t k = 0; k < order.size(); ++k)
    std::copy(old.column(order[k]), old.column(order[k]) + M.rows(), M.column(k));
}

// Entries before the first ~0U of a column.
unsigned used_node_count(const unsigned* column, std::size_t rows) {
  return static_cast<unsigned>(std::find(column, column + rows, no_index) - column);
}

// used[j] := the used node count of column j. False on memory failure.
bool count_used_nodes(const dense2D<unsigned>& connectM, dense1D<unsigned>& used) {
  if (!used.resize(connectM.cols())) return false;
  for (std::size_t j = 0; j < connectM.cols(); ++j)
    used[j] = used_node_count(connectM.column(j), connectM.rows());
  return true;
}

// sorted := the columns with at least one used node, by used node count
// descending, ties in column order (a counting sort over the counts
// 1 .. rows). False on memory failure.
bool order_by_used_nodes(const dense1D<unsigned>& used, std::size_t rows,
                         dense1D<unsigned>& sorted) {
  const std::size_t kept =
      used.size() - static_cast<std::size_t>(std::count(used.begin(), used.end(), 0u));
  if (!sorted.resize(kept)) return false;
  std::vector<std::size_t> start(rows + 2, 0);
  for (unsigned k : used)
    if (k) ++start[rows - k + 1];
  for (std::size_t s = 1; s < start.size(); ++s) start[s] += start[s - 1];
  for (std::size_t j = 0; j < used.size(); ++j)
    if (used[j]) sorted[start[rows - used[j]]++] = static_cast<unsigned>(j);
  return true;
}

// v := 0, 1, ..., n - 1. False on memory failure.
bool identity_map(dense1D<unsigned>& v, std::size_t n) {
  if (!v.resize(n)) return false;
  for (std::size_t j = 0; j < n; ++j) v[j] = static_cast<unsigned>(j);
  return true;
}

// Appends the node count and the end column of every group of equal counts
// along the sorted columns; (0, 0) when no column is sorted. The lists hold
// room for rows + 1 entries, more than there can be groups.
void group_bounds(const dense1D<unsigned>& used, const dense1D<unsigned>& sorted,
                  dense1D<unsigned>& group_nodes, dense1D<unsigned>& group_ends) {
  const std::size_t kept = sorted.size();
  for (std::size_t p = 1; p < kept; ++p) {
    if (used[sorted[p]] == used[sorted[p - 1]]) continue;
    group_nodes.push_back(used[sorted[p - 1]]);
    group_ends.push_back(static_cast<unsigned>(p));
  }
  group_nodes.push_back(kept ? used[sorted[kept - 1]] : 0u);
  group_ends.push_back(static_cast<unsigned>(kept));
}

// Swaps columns a and b of a matrix with entries (no-op for an empty one).
void swap_columns(dense2D<unsigned>& M, std::size_t a, std::size_t b) {
  if (M.empty()) return;
  std::swap_ranges(M.column(a), M.column(a) + M.rows(), M.column(b));
}

// Brings element sorted[p] to column p, for p = 0, 1, ... in turn, by
// swapping columns of the connectivity and of a non-empty neighbors matrix.
// new_indices (element to column) and its inverse at_column (column to
// element), both the identity on entry, follow every swap.
void apply_permutation(const dense1D<unsigned>& sorted, dense2D<unsigned>& connectM,
                       dense2D<unsigned>& neighbors, dense1D<unsigned>& new_indices,
                       dense1D<unsigned>& at_column) {
  for (std::size_t p = 0; p < sorted.size(); ++p) {
    const unsigned e = sorted[p], from = new_indices[e];
    if (from == p) continue;
    swap_columns(connectM, from, p);
    swap_columns(neighbors, from, p);
    const unsigned displaced = at_column[p];
    new_indices[e] = static_cast<unsigned>(p);
    new_indices[displaced] = from;
    at_column[p] = e;
    at_column[from] = displaced;
  }
}

// Cuts the connectivity (and a non-empty neighbors matrix) to its first
// `kept` columns, the sorted ones, and maps the elements without used nodes
// to ~0U.
void drop_unused(const dense1D<unsigned>& used, std::size_t kept, dense2D<unsigned>& connectM,
                 dense2D<unsigned>& neighbors, dense1D<unsigned>& new_indices) {
  connectM.resize(connectM.rows(), kept);  // shrinking in place cannot fail
  if (!neighbors.empty()) neighbors.resize(neighbors.rows(), kept);
  for (std::size_t j = 0; j < used.size(); ++j)
    if (used[j] == 0) new_indices[j] = no_index;
}

// Every neighbor entry that is not ~0U goes through new_indices.
void renumber_neighbors(dense2D<unsigned>& neighbors, const dense1D<unsigned>& new_indices) {
  change_indices(neighbors, new_indices);
}

}  // namespace

int get_subdomains(const dense2D<unsigned>& neighbors, dense1D<unsigned>& elements,
                   dense1D<unsigned>& offsets) {
  elements.clear();
  offsets.clear();
  const std::size_t E = neighbors.cols();
  if (!elements.reserve(E) || !offsets.push_back(0)) {
    offsets.clear();
    return no_memory;
  }
  std::vector<bool> visited(E, false);
  std::vector<unsigned> queue;
  for (std::size_t seed = 0; elements.size() < E; ++seed) {
    if (visited[seed]) continue;
    grow_subdomain(neighbors, static_cast<unsigned>(seed), visited, queue, elements);
    if (!offsets.push_back(static_cast<unsigned>(elements.size()))) {
      elements.clear();
      offsets.clear();
      return no_memory;
    }
  }
  return 0;
}

int get_subdomains(dense2D<unsigned>& connectM, dense2D<unsigned>& neighbors,
                   dense1D<unsigned>& offsets) {
  offsets.clear();
  if (connectM.cols() != neighbors.cols()) return -2;
  dense1D<unsigned> order;
  const int code = get_subdomains(neighbors, order, offsets);
  if (code != 0) return code;
  if (order.empty()) return 0;

  dense1D<unsigned> new_index;
  dense2D<unsigned> old_connect, old_neighbors;
  if (!new_index.resize(order.size()) || !old_connect.copy(connectM) ||
      !old_neighbors.copy(neighbors)) {
    offsets.clear();
    return no_memory;
  }
  for (std::size_t k = 0; k < order.size(); ++k) new_index[order[k]] = static_cast<unsigned>(k);
  take_columns(connectM, old_connect, order);
  take_columns(neighbors, old_neighbors, order);
  change_indices(neighbors, new_index);
  return 0;
}

int get_colors_boundaries(const dense2D<unsigned>& connectM, const dense2D<unsigned>& neighbors,
                          const dense1D<unsigned>& colors, element_type type, bool both_sides,
                          dense2D<unsigned>& boundaries) {
  const std::size_t E = connectM.cols();
  if (E == 0) return 0;
  const element_type FE = detail::narrow_mixed(type, connectM.rows());
  if (connectM.rows() != nbr_nodes(FE)) return -1;
  if (!detail::valid_neighbors(neighbors, nbr_boundaries(FE), E)) return -2;
  if (colors.size() != E) return -3;
  if (!detail::output_height_fits(boundaries, detail::face_column_height(FE))) return -5;
  if (!detail::has_faces(FE)) return -4;
  return detail::append_faces(connectM, FE, boundaries, [&](std::size_t j, unsigned i) {
    const unsigned n = neighbors(i, j);
    if (n == no_index) return true;
    if (colors[n] == colors[j]) return false;
    return both_sides || n > j;
  });
}

int sort_elfes(dense2D<unsigned>& connectM, dense2D<unsigned>& neighbors,
               dense1D<unsigned>& group_nodes, dense1D<unsigned>& group_ends,
               dense1D<unsigned>& new_indices) {
  if (!neighbors.empty() && neighbors.cols() != connectM.cols()) return -1;
  group_nodes.clear();
  group_ends.clear();
  new_indices.clear();
  const std::size_t E = connectM.cols(), rows = connectM.rows();

  dense1D<unsigned> used, sorted, at_column;
  if (!count_used_nodes(connectM, used) || !order_by_used_nodes(used, rows, sorted) ||
      !identity_map(new_indices, E) || !identity_map(at_column, E) ||
      !group_nodes.reserve(rows + 1) || !group_ends.reserve(rows + 1)) {
    new_indices.clear();
    return no_memory;
  }
  group_bounds(used, sorted, group_nodes, group_ends);
  apply_permutation(sorted, connectM, neighbors, new_indices, at_column);
  drop_unused(used, sorted.size(), connectM, neighbors, new_indices);
  renumber_neighbors(neighbors, new_indices);
  return 0;
}

int sort_elfes(dense2D<unsigned>& connectM, dense1D<unsigned>& group_nodes,
               dense1D<unsigned>& group_ends, dense1D<unsigned>& new_indices) {
  dense2D<unsigned> no_neighbors;
  return sort_elfes(connectM, no_neighbors, group_nodes, group_ends, new_indices);
}

}  // namespace quernfold
}  // namespace ovk
