// Faces of the linear element kinds: the one table that fixes which local
// nodes make up each face, in which order, and how faces are numbered.
// Every topology operation and every writer that needs faces reads it here.
#pragma once

#include <cstddef>

#include "common/mixed.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Faces of one pure linear kind: face i has size[i] local nodes, nodes[i][..].
// For simplices face i is opposite local node i.
struct face_table {
  unsigned count;
  unsigned char size[6];
  unsigned char nodes[6][4];
};

constexpr face_table kEdgeFaces = {2, {1, 1}, {{1}, {0}}};
constexpr face_table kTriaFaces = {3, {2, 2, 2}, {{1, 2}, {2, 0}, {0, 1}}};
constexpr face_table kQuadFaces = {4, {2, 2, 2, 2}, {{0, 1}, {1, 2}, {2, 3}, {3, 0}}};
constexpr face_table kTetraFaces = {4, {3, 3, 3, 3}, {{1, 2, 3}, {2, 0, 3}, {0, 1, 3}, {2, 1, 0}}};
constexpr face_table kPyramidFaces = {
    5, {3, 3, 3, 3, 4}, {{0, 4, 1}, {1, 4, 2}, {2, 4, 3}, {3, 4, 0}, {0, 1, 2, 3}}};
constexpr face_table kWedgeFaces = {
    5, {3, 3, 4, 4, 4}, {{0, 1, 2}, {3, 5, 4}, {2, 1, 4, 5}, {0, 2, 5, 3}, {1, 0, 3, 4}}};
constexpr face_table kHexaFaces = {
    6,
    {4, 4, 4, 4, 4, 4},
    {{0, 3, 7, 4}, {1, 5, 6, 2}, {0, 4, 5, 1}, {3, 2, 6, 7}, {0, 1, 2, 3}, {4, 7, 6, 5}}};

// Faces of a hexahedron that hold each local node.
constexpr unsigned char kHexaNodeFaces[8][3] = {{0, 2, 4}, {1, 2, 4}, {1, 3, 4}, {0, 3, 4},
                                                {0, 2, 5}, {1, 2, 5}, {1, 3, 5}, {0, 3, 5}};

constexpr const face_table* kFacesByShape[kLinearShapes] = {
    &kEdgeFaces, &kTriaFaces, &kQuadFaces, &kTetraFaces, &kPyramidFaces, &kWedgeFaces, &kHexaFaces};

// Face table of a pure linear shape (ET_EDGE2, ET_TRIA3, ET_QUAD4, ET_TETRA4,
// ET_PYRAMID5, ET_WEDGE6, ET_HEXA8); nullptr for every other kind, mixed
// kinds included (resolve a mixed column with column_shape first).
constexpr const face_table* faces_of_shape(element_type shape) noexcept {
  return of_linear_shape(kFacesByShape, shape);
}

// True for the kinds that have faces (after narrowing): the pure linear
// shapes above plus ET_FACE_MIX and ET_SOLID_MIX.
inline bool has_faces(element_type FE) noexcept {
  return FE == ET_FACE_MIX || FE == ET_SOLID_MIX || faces_of_shape(FE) != nullptr;
}

// Faces per element F (rows of the neighbors matrix; the divisor of face
// numbers j * F + i) for a narrowed kind with faces; 0 otherwise.
inline unsigned faces_per_element(element_type FE) noexcept {
  if (FE == ET_FACE_MIX) return kQuadFaces.count;
  if (FE == ET_SOLID_MIX) return kHexaFaces.count;
  const face_table* table = faces_of_shape(FE);
  return table ? table->count : 0;
}

// Rows of a face column, for every element_type value 0..22 (quadratic kinds
// included, although no face operation accepts them). Triangles written into
// a 4-row face column hold ~0U in row 3.
constexpr unsigned char kFaceColumnHeight[23] = {0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4,
                                                 3, 6, 4, 8, 9, 4, 8, 9, 4, 8, 9};

inline unsigned face_column_height(element_type FE) noexcept {
  return static_cast<unsigned>(FE) < 23 ? kFaceColumnHeight[FE] : 0;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
