// Slow, obviously correct pieces for the topology tests: the faces of a mesh
// from the hand-written face table, face equality by rotation, random meshes
// and small helpers to build and read matrices.
#pragma once

#include <quernfold/quernfold.h>

#include <cstddef>
#include <vector>

#include "support/compare.h"
#include "support/element_tables.h"

namespace quernfold_test {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;
using Vs = std::vector<V>;

inline Vs columns_of(const dense2D<unsigned>& M) {
  Vs out;
  for (std::size_t j = 0; j < M.cols(); ++j) out.emplace_back(M.column(j), M.column(j) + M.rows());
  return out;
}

// Columns shorter than `rows` are padded with ~0U.
inline dense2D<unsigned> matrix_of(std::size_t rows, const Vs& cols) {
  dense2D<unsigned> M(rows, cols.size(), no_index);
  for (std::size_t j = 0; j < cols.size(); ++j)
    for (std::size_t r = 0; r < cols[j].size(); ++r) M(r, j) = cols[j][r];
  return M;
}

// Every list of a compressed form; values past the last offset make one
// more list, so that a wrong total shows.
inline Vs lists_of(const dense1D<unsigned>& offsets, const dense1D<unsigned>& values) {
  Vs out;
  for (std::size_t v = 0; v + 1 < offsets.size(); ++v)
    out.emplace_back(values.begin() + offsets[v], values.begin() + offsets[v + 1]);
  if (!offsets.empty() && offsets[offsets.size() - 1] != values.size())
    out.emplace_back(1, no_index);
  return out;
}

// The same entries in a view whose leading dimension exceeds its rows.
inline dense2D<unsigned> padded_view(const dense2D<unsigned>& M) {
  dense2D<unsigned> big(M.rows() + 2, M.cols(), 77u);
  for (std::size_t j = 0; j < M.cols(); ++j)
    for (std::size_t r = 0; r < M.rows(); ++r) big(r + 1, j) = M(r, j);
  return big.sub_matrix(1, 0, M.rows(), M.cols());
}

// Faces per element of a narrowed kind (rows of the neighbours matrix).
inline unsigned faces_per(element_type FE) {
  return FE == ET_FACE_MIX ? 4 : FE == ET_SOLID_MIX ? 6 : unsigned(faces_of(FE).size());
}

struct element_face {
  unsigned element, local;
  V nodes;
};

// Every face of every element, in face-number order.
inline std::vector<element_face> all_faces(const dense2D<unsigned>& M, element_type FE) {
  FE = narrowed(FE, M.rows());
  std::vector<element_face> faces;
  for (unsigned j = 0; j < M.cols(); ++j) {
    const local_lists& table = faces_of(shape_of(FE, M.column(j)));
    for (unsigned i = 0; i < table.size(); ++i) {
      faces.push_back({j, i, {}});
      for (unsigned k : table[i]) faces.back().nodes.push_back(M(k, j));
    }
  }
  return faces;
}

// A face as a face column of a matrix of kind FE with `rows` rows.
inline V face_column(const element_face& f, element_type FE, std::size_t rows) {
  FE = narrowed(FE, rows);
  V c = f.nodes;
  c.resize(FE == ET_EDGE2 ? 1 : FE == ET_TETRA4 ? 3 : FE <= ET_QUAD4 ? 2 : 4, no_index);
  return c;
}

// Face equality as written: rotate each face to its first smallest node and
// compare position by position; 1 same sense, -1 opposite sense, 0 different.
inline int literal_face_equality(const V& a, const V& b) {
  const std::size_t n = a.size();
  if (b.size() != n) return 0;
  if (n == 1) return a[0] == b[0] ? 1 : 0;
  if (n == 2) return a == b ? 1 : a[0] == b[1] && a[1] == b[0] ? -1 : 0;
  auto rotated = [n](const V& f) {
    std::size_t p = 0;
    for (std::size_t k = 1; k < n; ++k)
      if (f[k] < f[p]) p = k;
    V r(n);
    for (std::size_t k = 0; k < n; ++k) r[k] = f[(p + k) % n];
    return r;
  };
  const V ra = rotated(a), rb = rotated(b);
  if (ra[0] != rb[0] || (n == 4 && ra[2] != rb[2])) return 0;
  if (ra[1] == rb[1] && ra[n - 1] == rb[n - 1]) return 1;
  return ra[1] == rb[n - 1] && ra[n - 1] == rb[1] ? -1 : 0;
}

}  // namespace quernfold_test
