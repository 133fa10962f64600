// gmsh's element type numbers and node orders, shared by the MSH reader and
// writer.
#pragma once

#include "io/shared/kinds.h"

namespace ovk {
namespace quernfold {
namespace detail {

// gmsh's point element: one node, not an element of the model.
constexpr long long kGmshPoint = 15;

// A gmsh element type number and the kind it holds.
struct msh_kind {
  long long gmsh;
  element_type type;
};

// Every kind that MSH files carry, with its gmsh type number.
inline constexpr msh_kind kGmshKinds[] = {
    {1, ET_EDGE2},      {8, ET_EDGE3},      {2, ET_TRIA3},   {9, ET_TRIA6},    {3, ET_QUAD4},
    {16, ET_QUAD8},     {10, ET_QUAD9},     {4, ET_TETRA4},  {11, ET_TETRA10}, {7, ET_PYRAMID5},
    {19, ET_PYRAMID13}, {14, ET_PYRAMID14}, {6, ET_WEDGE6},  {18, ET_WEDGE15}, {13, ET_WEDGE18},
    {5, ET_HEXA8},      {17, ET_HEXA20},    {12, ET_HEXA27},
};

// gmsh's node orders that differ from the library's: column position k of
// the library's element takes node from[k] of gmsh's, so a writer puts
// column position k at gmsh position from[k]. gmsh's tetrahedra have the
// opposite orientation; its pyramids, prisms and hexahedra have the
// library's; its mid-edge and face nodes come in orders of their own.
inline constexpr node_order kGmshOrders[] = {
    {ET_TRIA6, {0, 1, 2, 4, 5, 3}},
    {ET_TETRA4, {0, 1, 3, 2}},
    {ET_TETRA10, {0, 1, 3, 2, 9, 7, 4, 6, 5, 8}},
    {ET_PYRAMID13, {0, 1, 2, 3, 4, 5, 8, 10, 6, 7, 9, 11, 12}},
    {ET_PYRAMID14, {0, 1, 2, 3, 4, 5, 8, 10, 6, 7, 9, 11, 12, 13}},
    {ET_WEDGE15, {0, 1, 2, 3, 4, 5, 8, 10, 11, 9, 7, 6, 14, 13, 12}},
    {ET_WEDGE18, {0, 1, 2, 3, 4, 5, 8, 10, 11, 9, 7, 6, 14, 13, 12, 17, 16, 15}},
    {ET_HEXA20, {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 13, 9, 16, 18, 19, 17, 10, 12, 14, 15}},
    {ET_HEXA27, {0,  1,  2,  3,  4,  5,  6,  7,  8,  11, 13, 9,  16, 18,
                 19, 17, 10, 12, 14, 15, 22, 23, 21, 24, 20, 25, 26}},
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
