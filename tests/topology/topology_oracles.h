// Slow, obviously correct reference versions of the topology operations and
// small helpers to build and read meshes in the tests.
#pragma once

#include <quernfold/quernfold.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "common/edges.h"
#include "common/faces.h"
#include "common/mixed.h"

namespace quernfold_test {

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;
using ovk::quernfold::element_type;
constexpr unsigned kNo = ~0U;

inline std::vector<unsigned> to_vector(const dense1D<unsigned>& v) {
  return std::vector<unsigned>(v.begin(), v.end());
}

// List of node v in compressed form.
inline std::vector<unsigned> list_of(const dense1D<unsigned>& offsets,
                                     const dense1D<unsigned>& values, unsigned v) {
  return std::vector<unsigned>(values.begin() + offsets[v], values.begin() + offsets[v + 1]);
}

inline std::vector<unsigned> column_of(const dense2D<unsigned>& M, std::size_t j) {
  return std::vector<unsigned>(M.column(j), M.column(j) + M.rows());
}

inline std::vector<std::vector<unsigned>> columns_of(const dense2D<unsigned>& M) {
  std::vector<std::vector<unsigned>> out;
  for (std::size_t j = 0; j < M.cols(); ++j) out.push_back(column_of(M, j));
  return out;
}

inline dense2D<unsigned> matrix_of(std::size_t rows,
                                   const std::vector<std::vector<unsigned>>& cols) {
  dense2D<unsigned> M(rows, cols.size());
  for (std::size_t j = 0; j < cols.size(); ++j)
    for (std::size_t r = 0; r < rows; ++r) M(r, j) = r < cols[j].size() ? cols[j][r] : kNo;
  return M;
}

// The same entries in a view whose leading dimension exceeds its rows.
inline dense2D<unsigned> padded_view(const dense2D<unsigned>& M, unsigned extra_rows = 2) {
  dense2D<unsigned> big(M.rows() + extra_rows, M.cols(), 77u);
  for (std::size_t j = 0; j < M.cols(); ++j)
    for (std::size_t r = 0; r < M.rows(); ++r) big(r + 1, j) = M(r, j);
  return big.sub_matrix(1, 0, M.rows(), M.cols());
}

// Random mixed solid matrix (8 rows) with shapes drawn among the given node
// counts; nodes drawn from [0, nodes).
inline dense2D<unsigned> random_solid_mix(std::size_t cols, unsigned nodes, unsigned seed,
                                          std::vector<unsigned> shapes = {4, 5, 6, 8}) {
  std::mt19937 gen(seed);
  dense2D<unsigned> M(8, cols, kNo);
  for (std::size_t j = 0; j < cols; ++j) {
    const unsigned n = shapes[gen() % shapes.size()];
    for (unsigned r = 0; r < n; ++r) M(r, j) = gen() % nodes;
  }
  return M;
}

inline dense2D<unsigned> random_face_mix(std::size_t cols, unsigned nodes, unsigned seed) {
  return random_solid_mix(cols, nodes, seed, {3, 4}).sub_matrix(0, 0, 4, cols);
}

// Node groups of one column as the node graph joins them: the whole column,
// or the column's edges.
inline std::vector<std::vector<unsigned>> node_groups(element_type FE, const unsigned* column,
                                                      std::size_t rows) {
  using namespace ovk::quernfold;
  FE = detail::narrow_mixed(FE, rows);
  if (FE == ET_UNKNOWN || FE == ET_EDGE2 || FE == ET_TRIA3 || FE == ET_TETRA4)
    return {std::vector<unsigned>(column, column + rows)};
  const element_type shape = detail::column_shape(FE, column);
  const detail::edge_table* edges = detail::edges_of_shape(shape);
  std::vector<std::vector<unsigned>> groups;
  for (unsigned k = 0; k < edges->count; ++k)
    groups.push_back({column[edges->pairs[k][0]], column[edges->pairs[k][1]]});
  return groups;
}

// Node graph straight from its definition: the groups of the whole mesh in
// order, scanned again for every node.
inline std::vector<std::vector<unsigned>> graph_oracle(const dense2D<unsigned>& M,
                                                       element_type FE) {
  std::vector<std::vector<unsigned>> groups;
  unsigned largest = 0;
  bool any = false;
  for (std::size_t j = 0; j < M.cols(); ++j)
    for (auto& g : node_groups(FE, M.column(j), M.rows())) {
      for (unsigned v : g)
        if (v != kNo) largest = std::max(largest, v), any = true;
      groups.push_back(g);
    }
  std::vector<std::vector<unsigned>> lists(any ? largest + 1 : 0);
  for (unsigned v = 0; any && v <= largest; ++v)
    for (const auto& g : groups) {
      if (std::find(g.begin(), g.end(), v) == g.end()) continue;
      for (unsigned w : g)
        if (w != kNo && w != v && std::find(lists[v].begin(), lists[v].end(), w) == lists[v].end())
          lists[v].push_back(w);
    }
  return lists;
}

}  // namespace quernfold_test
