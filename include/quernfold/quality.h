// Quality: shape qualities, Jacobians, edge lengths in a size map and size
// shocks.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

// --- Shape qualities and Jacobians -----------------------------------------

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
// when its end metrics (sizes) are equal, else DBL_MAX. shocks is resized to
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
