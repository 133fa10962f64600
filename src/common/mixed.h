// The no-index value, narrowing of mixed kinds by row count, and the shape of
// one column of a mixed matrix. Shared by every subsystem.
#pragma once

#include <cstddef>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// A mixed matrix whose height is that of one pure shape is read as that
// shape: 3-row ET_FACE_MIX -> ET_TRIA3; 4-, 5-, 6-row ET_SOLID_MIX ->
// ET_TETRA4, ET_PYRAMID5, ET_WEDGE6. Every other kind and height is kept.
inline element_type narrow_mixed(element_type FE, std::size_t rows) noexcept {
  if (FE == ET_FACE_MIX && rows == 3) return ET_TRIA3;
  if (FE == ET_SOLID_MIX) {
    if (rows == 4) return ET_TETRA4;
    if (rows == 5) return ET_PYRAMID5;
    if (rows == 6) return ET_WEDGE6;
  }
  return FE;
}

// Shape of a 4-row ET_FACE_MIX column: row 3 = ~0U means a triangle.
inline element_type face_mix_shape(const unsigned* column) noexcept {
  return column[3] == no_index ? ET_TRIA3 : ET_QUAD4;
}

// Shape of an 8-row ET_SOLID_MIX column, read from its first ~0U among rows
// 4, 5, 6: tetrahedron, pyramid, wedge; none means a hexahedron.
inline element_type solid_mix_shape(const unsigned* column) noexcept {
  if (column[4] == no_index) return ET_TETRA4;
  if (column[5] == no_index) return ET_PYRAMID5;
  if (column[6] == no_index) return ET_WEDGE6;
  return ET_HEXA8;
}

// Shape of one column of a matrix of the (already narrowed) kind FE: the
// column's own shape for the 4-row ET_FACE_MIX and 8-row ET_SOLID_MIX, FE
// itself for every other kind.
inline element_type column_shape(element_type FE, const unsigned* column) noexcept {
  if (FE == ET_FACE_MIX) return face_mix_shape(column);
  if (FE == ET_SOLID_MIX) return solid_mix_shape(column);
  return FE;
}

// The pure linear shapes, in the order of the per-shape tables of edges and
// faces: ET_EDGE2, ET_TRIA3, ET_QUAD4, ET_TETRA4, ET_PYRAMID5, ET_WEDGE6,
// ET_HEXA8.
constexpr unsigned kLinearShapes = 7;

// Position of a pure linear shape in the per-shape tables; kLinearShapes for
// every other kind, mixed kinds included.
constexpr unsigned linear_shape_slot(element_type shape) noexcept {
  switch (shape) {
    case ET_EDGE2:
      return 0;
    case ET_TRIA3:
      return 1;
    case ET_QUAD4:
      return 2;
    case ET_TETRA4:
      return 3;
    case ET_PYRAMID5:
      return 4;
    case ET_WEDGE6:
      return 5;
    case ET_HEXA8:
      return 6;
    default:
      return kLinearShapes;
  }
}

// The entry of a per-shape table for a pure linear shape; nullptr for every
// other kind.
template <class Table>
constexpr const Table* of_linear_shape(const Table* const (&tables)[kLinearShapes],
                                       element_type shape) noexcept {
  const unsigned slot = linear_shape_slot(shape);
  return slot < kLinearShapes ? tables[slot] : nullptr;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
