// Reading, comparing and appending element faces: the pieces that every face
// operation of the topology subsystem shares.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "common/faces.h"
#include "common/growth.h"
#include "common/mixed.h"
#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Face table of one column of a matrix of the narrowed kind FE (FE must
// have faces).
inline const face_table& column_faces(element_type FE, const unsigned* column) noexcept {
  return *faces_of_shape(column_shape(FE, column));
}

// Copies the nodes of local face i of `column` into out; returns their count.
inline unsigned read_face(const face_table& table, unsigned i, const unsigned* column,
                          unsigned out[4]) noexcept {
  const unsigned n = table.size[i];
  for (unsigned k = 0; k < n; ++k) out[k] = column[table.nodes[i][k]];
  return n;
}

// Position of the first smallest of n nodes.
inline unsigned first_smallest(const unsigned* f, unsigned n) noexcept {
  unsigned p = 0;
  for (unsigned k = 1; k < n; ++k)
    if (f[k] < f[p]) p = k;
  return p;
}

// Face equality: 1 when a and b are the same face in the same sense, -1 in
// the opposite sense, 0 when they differ. Both are rotated to start at their
// first smallest node; the rest must then agree in order or reversed, and
// for quadrangles the node opposite the smallest must agree either way.
inline int compare_faces(const unsigned* a, unsigned na, const unsigned* b, unsigned nb) noexcept {
  if (na != nb) return 0;
  switch (na) {
    case 1:
      return a[0] == b[0] ? 1 : 0;
    case 2:
      if (a[0] == b[0] && a[1] == b[1]) return 1;
      return a[0] == b[1] && a[1] == b[0] ? -1 : 0;
    case 3:
    case 4: {
      const unsigned pa = first_smallest(a, na), pb = first_smallest(b, nb);
      if (a[pa] != b[pb]) return 0;
      if (na == 4 && a[(pa + 2) % 4] != b[(pb + 2) % 4]) return 0;
      // The neighbors of the smallest node: after it and before it.
      const unsigned a_next = a[(pa + 1) % na], a_prev = a[(pa + na - 1) % na];
      const unsigned b_next = b[(pb + 1) % nb], b_prev = b[(pb + nb - 1) % nb];
      if (a_next == b_next && a_prev == b_prev) return 1;
      return a_next == b_prev && a_prev == b_next ? -1 : 0;
    }
    default:
      return 0;
  }
}

// A key equal for two faces exactly when compare_faces tells them equal:
// the smallest node, then for quadrangles the node opposite it, then the
// remaining nodes in ascending order; unused words hold ~0U (never a node of
// a face, so triangles and quadrangles never share a key).
struct face_key {
  std::uint32_t v[4];

  bool operator==(const face_key& o) const noexcept {
    return v[0] == o.v[0] && v[1] == o.v[1] && v[2] == o.v[2] && v[3] == o.v[3];
  }
  bool operator<(const face_key& o) const noexcept {
    return std::lexicographical_compare(v, v + 4, o.v, o.v + 4);
  }
};

// The key of a three-node face: its smallest node, then the other two
// ascending, that is the sorted nodes. The middle one is what the smallest
// and the largest leave of the sum (unsigned arithmetic wraps exactly).
inline face_key triangle_key(const unsigned* f) noexcept {
  const unsigned lo = std::min(f[0], std::min(f[1], f[2]));
  const unsigned hi = std::max(f[0], std::max(f[1], f[2]));
  return face_key{{lo, f[0] + f[1] + f[2] - lo - hi, hi, no_index}};
}

// Smallest of n (1 to 4) nodes.
inline unsigned smallest_node(const unsigned* f, unsigned n) noexcept {
  unsigned lo = f[0];
  if (n > 1) lo = std::min(lo, f[1]);
  if (n > 2) lo = std::min(lo, f[2]);
  if (n > 3) lo = std::min(lo, f[3]);
  return lo;
}

inline face_key canonical_face(const unsigned* f, unsigned n) noexcept {
  face_key k{{no_index, no_index, no_index, no_index}};
  switch (n) {
    case 1:
      k.v[0] = f[0];
      break;
    case 2:
      k.v[0] = std::min(f[0], f[1]);
      k.v[1] = std::max(f[0], f[1]);
      break;
    case 3:
      return triangle_key(f);
    case 4: {
      const unsigned p = first_smallest(f, 4);
      const unsigned a = f[(p + 1) % 4], b = f[(p + 3) % 4];
      k.v[0] = f[p];
      k.v[1] = f[(p + 2) % 4];
      k.v[2] = std::min(a, b);
      k.v[3] = std::max(a, b);
      break;
    }
    default:
      break;
  }
  return k;
}

// True when `neighbors` is F x E and every entry is ~0U or below E.
inline bool valid_neighbors(const dense2D<unsigned>& neighbors, unsigned F, std::size_t E) {
  return neighbors.rows() == F && neighbors.cols() == E &&
         check_IDs(neighbors, static_cast<unsigned>(E));
}

// An appended-to output that holds no entries starts afresh at the face
// column height.
inline bool output_height_fits(const dense2D<unsigned>& out, unsigned height) noexcept {
  return out.empty() || out.rows() == height;
}

// Appends, for every element in column order and each of its faces in local
// order for which keep(element, face) holds, the face column. Returns 0, or
// -199 when an append fails (the columns appended so far stay).
template <class Keep>
int append_faces(const dense2D<unsigned>& connectM, element_type FE, dense2D<unsigned>& out,
                 Keep&& keep) {
  column_appender appender(out, face_column_height(FE));
  for (std::size_t j = 0; j < connectM.cols(); ++j) {
    const unsigned* column = connectM.column(j);
    const face_table& table = column_faces(FE, column);
    for (unsigned i = 0; i < table.count; ++i) {
      if (!keep(j, i)) continue;
      unsigned nodes[4];
      const unsigned n = read_face(table, i, column, nodes);
      if (!appender.append(nodes, n)) return no_memory;
    }
  }
  return 0;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
