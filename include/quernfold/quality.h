// Quality: shape qualities, Jacobians, edge lengths in a size map and size
// shocks.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

// --- Shape qualities and Jacobians -----------------------------------------

// Shape quality of every element: 1 for the ideal element of its kind
// (equilateral triangle, square, regular tetrahedron, square pyramid with all
// eight edges equal, right prism on an equilateral triangle with square
// sides, cube), towards 0 as it degenerates, negative when inverted; always
// in [-1, 1]. Triangles and quadrangles are signed with 2 coordinate rows
// (positive counter-clockwise) and never negative with 3. Solids are
// positive in the reference orientations: tetrahedron with
// det(P0 - P3, P1 - P3, P2 - P3) > 0; pyramid with base 0-1-2-3
// counter-clockwise seen from the apex 4; wedge with triangle 0-1-2
// counter-clockwise seen from 3-4-5; hexahedron with face 0-1-2-3
// counter-clockwise seen from 4-5-6-7 (node k + 3, resp. k + 4, above k).
//
// Kinds: ET_EDGE2 (every quality 1), ET_TRIA3, ET_QUAD4, ET_FACE_MIX,
// ET_TETRA4, ET_PYRAMID5, ET_WEDGE6, ET_HEXA8, ET_SOLID_MIX; mixed kinds of a
// pure height are read as that kind. Coordinates have 2 or 3 rows; with fewer
// than 3 the missing coordinates read as 0, so solids of a planar mesh are
// flat (quality 0); rows past the third are ignored.
//
// Q (one value per element column, in column order) is emptied first.
// Returns 0 (also for a connectivity without columns, Q empty); -2 when
// check_IDs(connectM, type, coords.cols()) fails (Q empty); -199 when Q
// cannot be sized (Q empty); -3 for any other kind (Q empty). A connectivity
// with columns but no rows holds no nodes: its qualities are 0.0, except
// that edges (ET_EDGE2) still score 1.0.
int shape_qualities(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                    element_type type, dense1D<double, 8>& Q);

// The worst element: the smallest quality qmin and its column jmin, the
// first column on ties; a column is taken only when its quality is below
// the current qmin, so qmin = 1.0 and jmin = ~0U when every element scores 1
// (always for ET_EDGE2) or there is no element. Same kinds and codes as
// shape_qualities except -199; on any code qmin = 1.0 and jmin = ~0U.
int min_quality(const dense2D<double>& coords, const dense2D<unsigned>& connectM, element_type type,
                double& qmin, unsigned& jmin);

// Jacobian of every element's map from its reference element, at the
// reference center (edge xi = 0; triangle (1/3, 1/3) with N = (xi, eta,
// 1 - xi - eta); quadrangle (0, 0) on [-1, 1]^2; tetrahedron (1/4, 1/4, 1/4)
// with N = (xi, eta, zeta, 1 - xi - eta - zeta); pyramid (0, 0, 1/4) with
// apex at zeta = 1; wedge (1/3, 1/3, 0); hexahedron (0, 0, 0) on [-1, 1]^3).
// Edges: |dX/dxi| (half the length, a distance); faces: |dX/dxi x dX/deta|
// (twice the area of a triangle, a quarter of a parallelogram's), never
// negative; solids: the signed det J (6 x the volume of a tetrahedron, an
// eighth of a parallelepiped's). With 2 coordinate rows z = 0.
// Same kinds, codes and output states as shape_qualities.
int jacobians(const dense2D<double>& coords, const dense2D<unsigned>& connectM, element_type type,
              dense1D<double, 8>& J);

// --- Edge lengths in a size map, edge extraction, size shocks --------------
//
// Normalized length of an edge of length L whose size varies linearly from
// h0 at one end to h1 at the other: L / H with H the logarithmic mean of h0
// and h1 ((h1 - h0) / ln(h1 / h0), taken from its fourth-order series when
// the relative difference of the sizes is below 0.1). 1 means "exactly as
// long as the size map asks".
//
// Size maps are given per node (one column of coords = one node):
//  - sizes: dense1D<double>, one size (a distance) per node;
//  - metrics: dense2D<double>, one column per node, 3 rows (m11, m12, m22)
//    for 2-D coordinates or 6 rows (m11, m12, m22, m13, m23, m33) for 3-D;
//    the length of d in metric m is sqrt(d^T m d).
// An edge measured in metrics has lengths la, lb in the metrics of its two
// ends and normalized length kernel(la * lb, la, lb) (0 when la^2 or lb^2 is
// not positive).
//
// Element edges (vertex nodes only; quadratic kinds give the edges of their
// linear base): segment 1, triangle 3, quadrangle 4 (no diagonals),
// tetrahedron 6, pyramid 8, wedge 9, hexahedron 12, mixed columns by their
// own shape. ET_PYRAMID13, ET_WEDGE15 and ET_HEXA20, like ET_UNKNOWN,
// ET_NODE and ET_EDGE_MIX, contribute no edges: their matrices are accepted
// and skipped (only the kinds whose vertex nodes are known to lead every
// column are read).
//
// Edge lists are sorted ascending by (smaller node, larger node) without
// duplicates; each edge is stored as (smaller, larger).

// q = normalized length of an edge of length `length` with end sizes h0, h1.
// Returns 0; -2 when h0 <= 0 (or NaN), -3 when h1 <= 0 (q unchanged). The
// length is not checked.
int edge_quality(double length, double h0, double h1, double& q);

// Feeds hist.process() with the normalized length of every distinct edge of
// the matrices [first, last) (kind of matrix i = types[i]), in ascending edge
// order, leaving out the edges listed in excluded_edges (2 x n, one edge per
// column, either orientation). The histogram is neither reset nor read.
// metrics: 3 x nodes (2-D coords) or 6 x nodes (3-D); sizes: one per node.
// Returns the number of edges evaluated (first == last: 0), or
//  -1 coords not 2 or 3 rows; -2 a matrix fails check_IDs with its kind
//  against coords.cols(); -4 last - first != types.size(); -7
//  excluded_edges fails check_IDs as ET_EDGE2; -5 some edge was skipped
//  because an end node has no metric (index past metrics.cols() /
//  sizes.size()), or its metric is not positive definite (size not > 0);
//  every valid edge has then still been fed to hist. A metrics matrix with
//  fewer rows than the layout needs counts as holding no valid metric.
int edge_qualities(const dense2D<double>& coords, const dense2D<unsigned>* first,
                   const dense2D<unsigned>* last, const dense1D<int>& types,
                   const dense2D<double>& metrics, histogram& hist,
                   const dense2D<unsigned>& excluded_edges);
int edge_qualities(const dense2D<double>& coords, const dense2D<unsigned>* first,
                   const dense2D<unsigned>* last, const dense1D<int>& types,
                   const dense1D<double>& sizes, histogram& hist,
                   const dense2D<unsigned>& excluded_edges);
// One matrix: as above with one kind. Codes: -1 coords, -2 connectivity
// check, -4 an edge skipped, -6 excluded edges invalid; otherwise the number
// of edges evaluated.
int edge_qualities(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                   element_type type, const dense2D<double>& metrics, histogram& hist,
                   const dense2D<unsigned>& excluded_edges);
int edge_qualities(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                   element_type type, const dense1D<double>& sizes, histogram& hist,
                   const dense2D<unsigned>& excluded_edges);

// Appends the edge list of connectM (kind `type`) to `edges` (2 x n), one
// (smaller, larger) column per edge, in list order; edges already in the
// output are kept and not compared. Returns 0 (an empty connectM leaves the
// output alone), -1 connectM fails check_IDs with `type` (no upper bound on
// the node indices), -3 a non-empty output without 2 rows, -199 the output
// cannot grow (output unchanged).
int copy_edges(const dense2D<unsigned>& connectM, element_type type, dense2D<unsigned>& edges);
// Range form: the edges are distinct across all the matrices. Codes: -2
// last before first, -3 last - first != types.size(), -4 a non-empty output
// without 2 rows, -1 a matrix fails its check, -199 as above.
int copy_edges(const dense2D<unsigned>* first, const dense2D<unsigned>* last,
               const dense1D<int>& types, dense2D<unsigned>& edges);

// shocks[v] = max(previous shocks[v], largest size shock of the edges of
// `edges` (2 x n) that touch v). The shock of an edge is
// (hmax / hmin)^(1 / Ln) - 1, the relative growth of the size per unit of
// normalized length Ln; an edge with Ln < 1e-12 (or zero length) has shock 0
// when its end metrics (sizes) are equal, else DBL_MAX. Sizes are not
// checked: an edge between sizes of opposite signs has no logarithm of its
// size ratio, and its NaN shock raises no maximum. shocks is resized to
// coords.cols() (entries already there keep their values as starting
// maxima, added entries are 0). The metrics or sizes must hold one entry per
// node (not checked). Returns 0 (empty edges: shocks untouched), -1 coords
// not 2 or 3 rows, -2 edges fails check_IDs as ET_EDGE2 against
// coords.cols(), -199 shocks cannot be resized; shocks untouched on every
// failure.
int H_shock(const dense2D<double>& coords, const dense2D<unsigned>& edges,
            const dense2D<double>& metrics, dense1D<double>& shocks);
int H_shock(const dense2D<double>& coords, const dense2D<unsigned>& edges,
            const dense1D<double>& sizes, dense1D<double>& shocks);

}  // namespace quernfold
}  // namespace ovk
