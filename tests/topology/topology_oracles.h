// Slow, obviously correct reference versions of the topology operations and
// small helpers to build and read meshes in the tests.
#pragma once

#include <quernfold/quernfold.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "common/edges.h"
#include "common/faces.h"
#include "common/mixed.h"

namespace quernfold_test {

using ovk::quernfold::no_index;

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;
using ovk::quernfold::element_type;

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
    for (std::size_t r = 0; r < rows; ++r) M(r, j) = r < cols[j].size() ? cols[j][r] : no_index;
  return M;
}

// The same entries in a view whose leading dimension exceeds its rows.
inline dense2D<unsigned> padded_view(const dense2D<unsigned>& M, unsigned extra_rows = 2) {
  dense2D<unsigned> big(M.rows() + extra_rows, M.cols(), 77u);
  for (std::size_t j = 0; j < M.cols(); ++j)
    for (std::size_t r = 0; r < M.rows(); ++r) big(r + 1, j) = M(r, j);
  return big.sub_matrix(1, 0, M.rows(), M.cols());
}

// Columns of `rows` nodes drawn with repetition from [0, pool); mixed kinds
// get their unused tails of ~0U.
inline dense2D<unsigned> random_degenerate(element_type FE, std::size_t rows, std::size_t cols,
                                           unsigned pool, std::mt19937& gen) {
  using namespace ovk::quernfold;
  dense2D<unsigned> M(rows, cols, no_index);
  for (std::size_t j = 0; j < cols; ++j) {
    std::size_t used = rows;
    if (FE == ET_FACE_MIX && rows == 4) used = 3 + gen() % 2;
    if (FE == ET_SOLID_MIX && rows == 8) used = std::array<std::size_t, 4>{4, 5, 6, 8}[gen() % 4];
    for (std::size_t r = 0; r < used; ++r) M(r, j) = gen() % pool;
  }
  return M;
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
        if (v != no_index) largest = std::max(largest, v), any = true;
      groups.push_back(g);
    }
  std::vector<std::vector<unsigned>> lists(any ? largest + 1 : 0);
  for (unsigned v = 0; any && v <= largest; ++v)
    for (const auto& g : groups) {
      if (std::find(g.begin(), g.end(), v) == g.end()) continue;
      for (unsigned w : g)
        if (w != no_index && w != v &&
            std::find(lists[v].begin(), lists[v].end(), w) == lists[v].end())
          lists[v].push_back(w);
    }
  return lists;
}

// One face of one element, in face-number order.
struct element_face {
  unsigned element;
  unsigned local;
  std::vector<unsigned> nodes;
};

// Faces of every element of a matrix of kind FE (narrowed here).
inline std::vector<element_face> all_faces(const dense2D<unsigned>& M, element_type FE) {
  using namespace ovk::quernfold;
  FE = detail::narrow_mixed(FE, M.rows());
  std::vector<element_face> faces;
  for (unsigned j = 0; j < M.cols(); ++j) {
    const unsigned* c = M.column(j);
    const detail::face_table* t = detail::faces_of_shape(detail::column_shape(FE, c));
    for (unsigned i = 0; i < t->count; ++i) {
      element_face f{j, i, {}};
      for (unsigned k = 0; k < t->size[i]; ++k) f.nodes.push_back(c[t->nodes[i][k]]);
      faces.push_back(f);
    }
  }
  return faces;
}

// Face equality from its plain meaning, for faces without repeated nodes:
// 1 when b is a as written or a cyclic shift of it, -1 when b runs the other
// way round, 0 otherwise.
inline int sense_oracle(const std::vector<unsigned>& a, const std::vector<unsigned>& b) {
  const std::size_t n = a.size();
  if (b.size() != n) return 0;
  if (n <= 2) {
    if (a == b) return 1;
    return n == 2 && a[0] == b[1] && a[1] == b[0] ? -1 : 0;
  }
  for (int direction : {1, -1})
    for (std::size_t s = 0; s < n; ++s) {
      bool same = true;
      for (std::size_t k = 0; k < n && same; ++k)
        same = a[direction == 1 ? (s + k) % n : (s + n - k) % n] == b[k];
      if (same) return direction;
    }
  return 0;
}

// Neighbours by the matching pass run over one chain holding every face in
// face-number order (faces that differ never interact, so one chain gives
// the outcome of any bucketing).
inline dense2D<unsigned> neighbors_oracle(const dense2D<unsigned>& M, element_type FE,
                                          bool link_non_manifold) {
  using namespace ovk::quernfold;
  const unsigned F = detail::faces_per_element(detail::narrow_mixed(FE, M.rows()));
  dense2D<unsigned> N(F, M.cols(), no_index);
  const auto faces = all_faces(M, FE);
  std::vector<bool> consumed(faces.size(), false);
  for (std::size_t e = 0; e < faces.size(); ++e) {
    if (consumed[e]) continue;
    consumed[e] = true;
    std::vector<std::size_t> matches;
    for (std::size_t f = e + 1; f < faces.size(); ++f)
      if (!consumed[f] && sense_oracle(faces[e].nodes, faces[f].nodes) != 0) matches.push_back(f);
    if (!link_non_manifold && matches.size() != 1) {
      for (std::size_t f : matches) consumed[f] = true;
      continue;
    }
    for (std::size_t f : matches) {
      N(faces[e].local, faces[e].element) = faces[f].element;
      N(faces[f].local, faces[f].element) = faces[e].element;
      consumed[f] = true;
    }
  }
  return N;
}

// Random elements of n distinct nodes each, drawn from a small pool so that
// faces are shared by two or more elements.
inline dense2D<unsigned> random_elements(unsigned rows, std::size_t cols, unsigned pool,
                                         unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<unsigned> nodes(pool);
  dense2D<unsigned> M(rows, cols);
  for (std::size_t j = 0; j < cols; ++j) {
    for (unsigned v = 0; v < pool; ++v) nodes[v] = v;
    std::shuffle(nodes.begin(), nodes.end(), gen);
    for (unsigned r = 0; r < rows; ++r) M(r, j) = nodes[r];
  }
  return M;
}

// Mixed solid matrix whose columns have distinct nodes: shapes of 4, 5, 6
// or 8 nodes in turn, nodes from a small pool.
inline dense2D<unsigned> random_distinct_solid_mix(std::size_t cols, unsigned pool, unsigned seed) {
  dense2D<unsigned> M = random_elements(8, cols, pool, seed);
  const unsigned shapes[4] = {4, 5, 6, 8};
  for (std::size_t j = 0; j < cols; ++j)
    for (unsigned r = shapes[(j * 7 + seed) % 4]; r < 8; ++r) M(r, j) = no_index;
  return M;
}

}  // namespace quernfold_test
