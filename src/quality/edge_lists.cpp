// Edge extraction and copy_edges.
#include "quality/edge_lists.h"

#include <algorithm>
#include <iterator>

#include "common/growth.h"
#include "quernfold/quality.h"

namespace ovk {
namespace quernfold {
namespace detail {

namespace {

// Sorts the newly appended tail, merges it into the sorted head and drops
// duplicates: the same list as sorting and uniquing the whole, without
// re-sorting what earlier matrices left.
void sort_unique_tail(std::vector<edge_key>& list, std::size_t head) {
  const auto mid = list.begin() + static_cast<std::ptrdiff_t>(head);
  std::sort(mid, list.end());
  std::inplace_merge(list.begin(), mid, list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
}

// Most edges one column of kind FE can have.
std::size_t edges_per_column(element_type FE) {
  if (FE == ET_FACE_MIX) return kQuadEdges.count;
  if (FE == ET_SOLID_MIX) return kHexaEdges.count;
  const edge_table* table = edges_of_shape(linear_base_shape(FE));
  return table ? table->count : 0;
}

}  // namespace

void add_matrix_edges(const dense2D<unsigned>& connectM, element_type FE,
                      std::vector<edge_key>& list) {
  const std::size_t head = list.size();
  if (connectM.empty()) return;
  const element_type kind = narrow_mixed(FE, connectM.rows());
  const std::size_t need = head + connectM.cols() * edges_per_column(kind);
  if (need > list.capacity()) list.reserve(grown_capacity(list.capacity(), need));
  for_each_column_edge(connectM, kind,
                       [&](unsigned a, unsigned b) { list.push_back(make_edge_key(a, b)); });
  sort_unique_tail(list, head);
}

void extract_edges(const dense2D<unsigned>* first, std::size_t count, const int* kinds,
                   std::vector<edge_key>& list) {
  for (std::size_t i = 0; i < count; ++i)
    add_matrix_edges(first[i], static_cast<element_type>(kinds[i]), list);
}

void remove_excluded_edges(const dense2D<unsigned>& excluded, std::vector<edge_key>& list) {
  if (excluded.empty() || list.empty()) return;
  std::vector<edge_key> drop;
  drop.reserve(excluded.cols());
  for (std::size_t j = 0; j < excluded.cols(); ++j)
    drop.push_back(make_edge_key(excluded(0, j), excluded(1, j)));
  std::sort(drop.begin(), drop.end());
  drop.erase(std::unique(drop.begin(), drop.end()), drop.end());
  std::vector<edge_key> kept;
  kept.reserve(list.size());
  std::set_difference(list.begin(), list.end(), drop.begin(), drop.end(), std::back_inserter(kept));
  list.swap(kept);
}

}  // namespace detail

namespace {

constexpr unsigned kNoBound = no_index;

// Appends the edge list to the 2-row output as (smaller, larger) columns,
// after reserving room for exactly all of them at once (no doubling: the
// whole append is known in advance).
int append_edge_columns(const std::vector<detail::edge_key>& list, dense2D<unsigned>& edges) {
  if (list.empty()) return 0;
  if (edges.empty()) edges.clear();
  const std::size_t old_cols = edges.cols();
  if (!edges.reserve(2, old_cols + list.size())) return no_memory;
  if (!edges.resize(2, old_cols + list.size())) return no_memory;
  for (std::size_t i = 0; i < list.size(); ++i) {
    unsigned* column = edges.column(old_cols + i);
    column[0] = detail::edge_first(list[i]);
    column[1] = detail::edge_second(list[i]);
  }
  return 0;
}

}  // namespace

int copy_edges(const dense2D<unsigned>& connectM, element_type type, dense2D<unsigned>& edges) {
  if (connectM.empty()) return 0;
  if (!check_IDs(connectM, type, kNoBound)) return -1;
  if (!edges.empty() && edges.rows() != 2) return -3;
  std::vector<detail::edge_key> list;
  detail::add_matrix_edges(connectM, type, list);
  return append_edge_columns(list, edges);
}

int copy_edges(const dense2D<unsigned>* first, const dense2D<unsigned>* last,
               const dense1D<int>& types, dense2D<unsigned>& edges) {
  if (last < first) return -2;
  const std::size_t count = static_cast<std::size_t>(last - first);
  if (count != types.size()) return -3;
  if (!edges.empty() && edges.rows() != 2) return -4;
  for (std::size_t i = 0; i < count; ++i)
    if (!check_IDs(first[i], static_cast<element_type>(types[i]), kNoBound)) return -1;
  std::vector<detail::edge_key> list;
  detail::extract_edges(first, count, types.data(), list);
  return append_edge_columns(list, edges);
}

}  // namespace quernfold
}  // namespace ovk
