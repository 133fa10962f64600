// Shape-quality kernels of single elements, on points already read from the
// coordinates matrix. Every kernel returns a value in [-1, 1]: 1 for the ideal
// element of its kind, 0 for a flat one, negative for an inverted solid (or
// an inverted planar face).
#pragma once

#include "quality/shape_geometry.h"

namespace ovk {
namespace quernfold {
namespace detail {
namespace shape {

// Triangle P0, P1, P2: 2 sqrt 3 * (twice the area) / (perimeter * longest
// edge). planar: signed area (positive counter-clockwise in the xy plane);
// otherwise the unsigned area in space.
double triangle_quality(const point3 (&P)[3], bool planar) noexcept;

// Quadrangle P0..P3 in the xy plane: 4 sqrt 2 * smallest corner cross product
// / (longest edge or diagonal * perimeter), signed.
double quad_quality_planar(const point3 (&P)[4]) noexcept;

// Quadrangle in space: the planar measure with unsigned corner normals, times
// its warp factor, in [0, 1].
double quad_quality_space(const point3 (&P)[4]) noexcept;

// Warp factor of a quadrangle in space: 1 for a flat convex quadrangle,
// towards 0 as the angle between the normals of opposite corners opens up
// (0 for a quadrangle folded onto itself or with a degenerate corner).
double warp_factor(const point3 (&Q)[4]) noexcept;

// Tetrahedron, positive when det(P0 - P3, P1 - P3, P2 - P3) > 0. Small or
// inaccurate values are re-evaluated in the other eleven even node orders.
double tetra_quality(const point3& P0, const point3& P1, const point3& P2,
                     const point3& P3) noexcept;

// Pyramid with base P0..P3 (counter-clockwise seen from the apex P4). In
// space the measure is multiplied by the base's warp factor.
double pyramid_quality(const point3 (&P)[5], bool planar) noexcept;

// Wedge (triangle 0-1-2 below 3-4-5) and hexahedron (face 0-1-2-3 below
// 4-5-6-7), each node k of the top above node k of the bottom.
double wedge_quality(const point3 (&P)[6]) noexcept;
double hexa_quality(const point3 (&P)[8]) noexcept;

}  // namespace shape
}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
