// Edges of the element kinds, as local node pairs in a fixed order. The order
// decides the order of neighbors in node graphs and of pairs before sorting
// in edge extraction, so every edge operation reads this one table.
#pragma once

#include <cmath>
#include <cstddef>

#include "common/mixed.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

struct edge_table {
  unsigned count;
  unsigned char pairs[12][2];
};

constexpr edge_table kEdgeEdges = {1, {{0, 1}}};
constexpr edge_table kTriaEdges = {3, {{1, 2}, {2, 0}, {0, 1}}};
constexpr edge_table kQuadEdges = {4, {{0, 1}, {1, 2}, {2, 3}, {3, 0}}};
constexpr edge_table kTetraEdges = {6, {{1, 2}, {2, 0}, {0, 1}, {3, 0}, {3, 1}, {3, 2}}};
constexpr edge_table kPyramidEdges = {
    8, {{0, 4}, {1, 4}, {2, 4}, {3, 4}, {0, 1}, {1, 2}, {2, 3}, {3, 0}}};
constexpr edge_table kWedgeEdges = {
    9, {{0, 3}, {1, 4}, {2, 5}, {1, 2}, {2, 0}, {0, 1}, {4, 5}, {5, 3}, {3, 4}}};
constexpr edge_table kHexaEdges = {12,
                                   {{0, 1},
                                    {1, 2},
                                    {2, 3},
                                    {3, 0},
                                    {4, 5},
                                    {5, 6},
                                    {6, 7},
                                    {7, 4},
                                    {0, 4},
                                    {1, 5},
                                    {2, 6},
                                    {3, 7}}};

constexpr const edge_table* kEdgesByShape[kLinearShapes] = {
    &kEdgeEdges, &kTriaEdges, &kQuadEdges, &kTetraEdges, &kPyramidEdges, &kWedgeEdges, &kHexaEdges};

// Edges of a pure linear shape (ET_EDGE2, ET_TRIA3, ET_QUAD4, ET_TETRA4,
// ET_PYRAMID5, ET_WEDGE6, ET_HEXA8); nullptr otherwise.
inline const edge_table* edges_of_shape(element_type shape) noexcept {
  return of_linear_shape(kEdgesByShape, shape);
}

// The linear shape whose edges a kind contributes through its vertex nodes:
// ET_EDGE3 -> ET_EDGE2, ET_TRIA6 -> ET_TRIA3, ET_QUAD8/9 -> ET_QUAD4,
// ET_TETRA10 -> ET_TETRA4, ET_PYRAMID14 -> ET_PYRAMID5, ET_WEDGE18 ->
// ET_WEDGE6, ET_HEXA27 -> ET_HEXA8; linear shapes map to themselves.
// ET_PYRAMID13, ET_WEDGE15, ET_HEXA20, the mixed kinds and the others give
// ET_UNKNOWN (callers decide what those contribute).
inline element_type linear_base_shape(element_type FE) noexcept {
  switch (FE) {
    case ET_EDGE2:
    case ET_EDGE3:
      return ET_EDGE2;
    case ET_TRIA3:
    case ET_TRIA6:
      return ET_TRIA3;
    case ET_QUAD4:
    case ET_QUAD8:
    case ET_QUAD9:
      return ET_QUAD4;
    case ET_TETRA4:
    case ET_TETRA10:
      return ET_TETRA4;
    case ET_PYRAMID5:
    case ET_PYRAMID14:
      return ET_PYRAMID5;
    case ET_WEDGE6:
    case ET_WEDGE18:
      return ET_WEDGE6;
    case ET_HEXA8:
    case ET_HEXA27:
      return ET_HEXA8;
    default:
      return ET_UNKNOWN;
  }
}

// Edge table of one column of a matrix of kind FE (already narrowed by the
// matrix height): mixed columns by their own shape, quadratic kinds by their
// linear base. ET_PYRAMID13, ET_WEDGE15, ET_HEXA20 and kinds without edges
// give nullptr.
inline const edge_table* column_edges(element_type FE, const unsigned* column) noexcept {
  return edges_of_shape(linear_base_shape(column_shape(FE, column)));
}

// Calls visit(a, b) for the nodes of every edge of every column of
// connectM (kind FE, already narrowed), in column and table order.
template <class Visit>
void for_each_column_edge(const dense2D<unsigned>& connectM, element_type FE, Visit&& visit) {
  for (std::size_t j = 0; j < connectM.cols(); ++j) {
    const unsigned* column = connectM.column(j);
    const edge_table* table = column_edges(FE, column);
    if (!table) continue;
    for (unsigned k = 0; k < table->count; ++k)
      visit(column[table->pairs[k][0]], column[table->pairs[k][1]]);
  }
}

// The length of the edge from node a to node b (columns of coords), the
// squares summed in row order.
inline double edge_length(const dense2D<double>& coords, unsigned a, unsigned b) {
  const double* pa = coords.column(a);
  const double* pb = coords.column(b);
  double s = 0;
  for (std::size_t k = 0; k < coords.rows(); ++k) s += (pb[k] - pa[k]) * (pb[k] - pa[k]);
  return std::sqrt(s);
}

// x^p as the size maps take the powers and roots of their lengths: x itself
// for p == 1, std::pow otherwise. The same value: pow returns the double
// nearest a value within 0.52 units in the last place of the exact power
// (glibc's bound), and for p == 1 the exact power is x, a double, which is
// then the nearest. What it saves is the better part of a size map's time
// at the default p.
inline double size_power(double x, double p) { return p == 1 ? x : std::pow(x, p); }

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
