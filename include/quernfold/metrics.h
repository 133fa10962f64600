// Metrics: single size maps (validity, eigen-decomposition, intersection,
// union, bounding, conversions), metric fields, isotropic size-map
// generation and gradation control.
//
// Storage: an isotropic metric is one size h (standing for (1/h^2) I); an
// anisotropic metric is a symmetric positive-definite matrix packed by
// columns of its upper triangle: 2-D (M00, M01, M11), 3-D (M00, M01, M11,
// M02, M12, M22). A field is a dense1D<double> of sizes or a dense2D<double>
// with 3 (2-D) or 6 (3-D) rows and one column per node.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

// --- Metric algebra and metric fields --------------------------------------

// Single metrics. A 2-D metric is symmetric_fixed<double, 2> (M00, M01, M11),
// a 3-D metric symmetric_fixed<double, 3> (M00, M01, M11, M02, M12, M22).
// Eigenvalues are ascending; eigenvectors are the columns of a column-major
// N x N matrix, column k for eigenvalue k. None of these functions allocates.
//
// A metric is valid when its smallest eigenvalue is > 0 (NaN fails): 2-D by
// the closed form below, 3-D by dspev (a failed decomposition is invalid).
bool is_valid_metric(const symmetric_fixed<double, 2>& M);
bool is_valid_metric(const symmetric_fixed<double, 3>& M);

// Eigenvalues, ascending. 2-D: closed form, where a value below 1e-12 times
// the other is recomputed as det / other. 3-D: dspev 'N'; on failure the
// values are 0.
void eigen_values(const symmetric_fixed<double, 2>& M, vector_fixed<double, 2>& lambda);
void eigen_values(const symmetric_fixed<double, 3>& M, vector_fixed<double, 3>& lambda);

// Eigenvalues and unit eigenvectors, M = V diag(lambda) V^T with V a rotation
// (right-handed). 2-D: false when an eigenvalue is not finite (lambda is
// written, V untouched); a multiple of the identity gives V = I. 3-D: dspev
// 'V', column 2 replaced by column 0 x column 1; false when dspev fails
// (lambda and V are then zero).
bool eigen_pairs(const symmetric_fixed<double, 2>& M, vector_fixed<double, 2>& lambda,
                 matrix_fixed<double, 2, 2>& V);
bool eigen_pairs(const symmetric_fixed<double, 3>& M, vector_fixed<double, 3>& lambda,
                 matrix_fixed<double, 3, 3>& V);

// Generalized problem B x = lambda A x with A positive definite: eigenvalues
// ascending, unit eigenvectors x as the columns of V (not orthogonal in
// general). False when A is not positive definite (2-D: A00 = 0 or
// det A <= 0; 3-D: its Cholesky factor fails or is singular) or the reduced
// problem fails; lambda and V are then zero.
bool eigen_pairs(const symmetric_fixed<double, 2>& A, const symmetric_fixed<double, 2>& B,
                 vector_fixed<double, 2>& lambda, matrix_fixed<double, 2, 2>& V);
bool eigen_pairs(const symmetric_fixed<double, 3>& A, const symmetric_fixed<double, 3>& B,
                 vector_fixed<double, 3>& lambda, matrix_fixed<double, 3, 3>& V);

// Size h (a distance) to the metric (1/h^2) I; the zero matrix for h <= 0.
void metric_iso_to_aniso(double h, symmetric_fixed<double, 2>& M);
void metric_iso_to_aniso(double h, symmetric_fixed<double, 3>& M);

// The isotropic 3-D metric of size h seen in the frame P (3 x 2, its columns
// two 3-vectors): M = (1/h^2) P^T P; the zero matrix for h not > 0.
void metric_iso_to_aniso2d(double h, const matrix_fixed<double, 3, 2>& P,
                           symmetric_fixed<double, 2>& M);

// M2 = P^T M3 P (P is 3 x 2).
void metric_aniso3d_to_aniso2d(const symmetric_fixed<double, 3>& M3,
                               const matrix_fixed<double, 3, 2>& P, symmetric_fixed<double, 2>& M2);

// A size between the smallest (t = 0) and the largest (t = 1) size of M:
// hmin + t (hmax - hmin), t not limited. 0 when M is not valid.
double metric_aniso_to_iso(const symmetric_fixed<double, 2>& M, double t);
double metric_aniso_to_iso(const symmetric_fixed<double, 3>& M, double t);

// Intersection (minimum_metric: the smaller size in every direction) and
// union (maximum_metric: the larger size) of two metrics, by simultaneous
// reduction. R may be the same object as M1 or M2.
//  - the reduction fails (M1 not positive definite): R = M1, false;
//  - the result equals M1 (or else M2) in every reduced direction: R is an
//    exact copy of M1 (M2), true;
//  - otherwise R = Q diag(r) Q^T, and the result is (largest r > 0);
//  - when a combined value reaches DBL_MAX (a vanishing size in some
//    direction) no matrix can be built: R becomes the input that holds that
//    value (M1 on a tie) and the result is true.
bool minimum_metric(const symmetric_fixed<double, 2>& M1, const symmetric_fixed<double, 2>& M2,
                    symmetric_fixed<double, 2>& R);
bool minimum_metric(const symmetric_fixed<double, 3>& M1, const symmetric_fixed<double, 3>& M2,
                    symmetric_fixed<double, 3>& R);
bool maximum_metric(const symmetric_fixed<double, 2>& M1, const symmetric_fixed<double, 2>& M2,
                    symmetric_fixed<double, 2>& R);
bool maximum_metric(const symmetric_fixed<double, 3>& M1, const symmetric_fixed<double, 3>& M2,
                    symmetric_fixed<double, 3>& R);

// Bounds every size of M (distances) to [hmin, hmax]: h' = min(hmax,
// max(hmin, h)), so hmax wins when hmin > hmax. Codes, tested in this order:
//   0  hmin <= 0 (or NaN) and hmax = DBL_MAX (or NaN): nothing to bound, M
//      unchanged;
//  -2  hmin not finite; -3 hmax not finite (M unchanged);
//  -1  no size changed, or the bounded sizes are not in (0, DBL_MAX) (M
//      unchanged), or the rebuilt M is not valid (M rebuilt);
//   0  M rebuilt and valid.
// M is rebuilt on its eigenvectors. A 2-D metric whose closed-form
// eigenvalues are not finite has none, and a 3-D one whose dspev fails has
// zero ones: zero vectors are used, so such a metric, when its sizes
// change, is rebuilt as the zero matrix (-1).
int bound_metric(symmetric_fixed<double, 2>& M, double hmin, double hmax);
int bound_metric(symmetric_fixed<double, 3>& M, double hmin, double hmax);

// Metric fields. An isotropic field is a dense1D<double> of sizes, one per
// node; an anisotropic field a dense2D<double> with one column per node and 3
// rows (2-D) or 6 rows (3-D), packed as above. No field is resized: an
// output field must already have the required rows and enough columns.
// Codes name the offending argument: -1 first, -2 second, -3 third; a call
// that returns a code has changed no field (index lists: see bound_metrics).
//
// Validity differs between operations: first_invalid_metric and
// are_valid_metrics accept a size h when 0 < h < DBL_MAX; the
// overwrite_invalid_metrics family replaces only sizes h <= 0 (NaN counts as
// valid there). An anisotropic column is valid as for is_valid_metric.

// Bounds every size to [hmin, hmax] and returns the number of changed entries.
// Sizes: h not >= hmin (NaN included) becomes hmin, else h > hmax becomes
// hmax (so hmin wins when hmin > hmax). Columns (3 or 6 rows): bounded as by
// bound_metric and counted when that reports 0 (changed and valid). Tests in
// order: no entries -> 0; nothing to bound (as bound_metric) -> 0; a field
// with neither 3 nor 6 rows -> -1; hmin not finite -> -2; hmax not finite ->
// -3. The forms with `changed` empty it before any test and append the
// position of every counted entry (ascending); they return its size.
int bound_metrics(dense1D<double, 8>& H, double hmin, double hmax);
int bound_metrics(dense1D<double, 8>& H, double hmin, double hmax, dense1D<unsigned, 8>& changed);
int bound_metrics(dense2D<double>& M, double hmin, double hmax);
int bound_metrics(dense2D<double>& M, double hmin, double hmax, dense1D<unsigned, 8>& changed);

// Replaces invalid entries by reference values; returns the number replaced.
//  (H, H0): over min(size H, size H0): H[i] <= 0 and H0[i] > 0 -> H0[i].
//  (H, h0): empty H -> 0; h0 not > 0 -> -2; every H[i] <= 0 becomes h0.
//  (M, M0): no entries in M -> 0; M rows not 3 or 6 -> -1; M0 rows not 3 or
//           6 or unequal to M's -> -2; over the common columns an invalid
//           column of M takes M0's column when that one is valid.
//  (M, H0): no entries in M -> 0; rows not 3 or 6 -> -1; over min(cols,
//           size H0): an invalid column with H0[i] > 0 becomes (1/H0[i]^2) I.
//  (M, M0 2-D / 3-D): no columns -> 0; rows not 3 (6) -> -1; M0 invalid ->
//           -2; every invalid column becomes M0.
int overwrite_invalid_metrics(dense1D<double, 8>& H, const dense1D<double, 8>& H0);
int overwrite_invalid_metrics(dense1D<double, 8>& H, double h0);
int overwrite_invalid_metrics(dense2D<double>& M, const dense2D<double>& M0);
int overwrite_invalid_metrics(dense2D<double>& M, const dense1D<double, 8>& H0);
int overwrite_invalid_metrics(dense2D<double>& M, const symmetric_fixed<double, 2>& M0);
int overwrite_invalid_metrics(dense2D<double>& M, const symmetric_fixed<double, 3>& M0);

// Position of the first invalid entry, or the number of entries examined when
// all are valid. The forms with `nodes` walk the list and return a position
// in the list; a node beyond the field stops the walk. A dense2D field with
// neither 3 nor 6 rows gives 0.
unsigned first_invalid_metric(const dense1D<double, 8>& H);
unsigned first_invalid_metric(const dense1D<unsigned, 8>& nodes, const dense1D<double, 8>& H);
unsigned first_invalid_metric(const dense2D<double>& M);
unsigned first_invalid_metric(const dense1D<unsigned, 8>& nodes, const dense2D<double>& M);

// first_invalid_metric(...) == number of entries examined (field size or list
// size): a field with the wrong row count is valid only when it has no
// columns (or the list is empty).
bool are_valid_metrics(const dense1D<double, 8>& H);
bool are_valid_metrics(const dense1D<unsigned, 8>& nodes, const dense1D<double, 8>& H);
bool are_valid_metrics(const dense2D<double>& M);
bool are_valid_metrics(const dense1D<unsigned, 8>& nodes, const dense2D<double>& M);

// Appends (without emptying `valid`) the index of every valid column, in
// increasing order; nothing for a field with neither 3 nor 6 rows. An append
// that cannot grow the list is skipped.
void valid_metrics(const dense2D<double>& M, dense1D<unsigned, 8>& valid);

// Sizes to anisotropic columns: column i = (1/H[i]^2) I for every H[i] > 0;
// other columns keep their values. H empty and M without entries -> 0; M
// rows not 3 (6 for 3-D) or fewer columns than H has sizes -> -2. Returns 0.
int metrics_iso_to_aniso2d(const dense1D<double, 8>& H, dense2D<double>& M);
int metrics_iso_to_aniso3d(const dense1D<double, 8>& H, dense2D<double>& M);

// Sizes seen in per-node frames (6 rows: the 3 x 2 frame of each node,
// column-major): column i = (1/H[i]^2) P_i^T P_i, zeros where H[i] <= 0 (or
// NaN). All three without entries -> 0; frames rows not 6 or cols not size H
// -> -2; M rows not 3 or fewer columns than size H -> -3. Returns 0.
int metrics_iso_to_aniso2d(const dense1D<double, 8>& H, const dense2D<double>& frames,
                           dense2D<double>& M);

// 3-D metrics seen in per-node frames: column i of M2 = P_i^T M3_i P_i. All
// three without entries -> 0; M3 rows not 6 -> -1; frames rows not 6 or
// cols unequal to M3's -> -2; M2 rows not 3 or fewer columns than M3 -> -3.
// Returns 0.
int metrics_aniso3d_to_aniso2d(const dense2D<double>& M3, const dense2D<double>& frames,
                               dense2D<double>& M2);

// --- Isotropic size-map generation and gradation control -------------------

// Isotropic size map from the mesh's own edges: H[v] = power mean with
// exponent p of the Euclidean lengths (distances, over all coordinate rows)
// of the element edges that meet at node v, every element contributing all
// its edges (an edge shared by k elements counts k times). p = 0 takes the
// shortest incident edge, p >= DBL_MAX (DBL_MAX or +infinity) the longest,
// 0 < p < DBL_MAX the power mean ((sum L^p) / n)^(1/p). Zero-length and
// non-finite edges are ignored. H is resized to max(H.size(), coords.cols())
// (added entries 0.0); nodes touched by no counted edge keep their entry.
// Kinds: ET_EDGE2, ET_TRIA3, ET_QUAD4, ET_TETRA4, ET_PYRAMID5, ET_WEDGE6,
// ET_HEXA8 and the mixed ET_FACE_MIX, ET_SOLID_MIX (narrowed by height).
// Returns 0 (also for an empty connectM, H untouched), or
//  -1 element_dim(type) > coords.rows() (H untouched);
//  -2 connectM fails check_IDs(type, coords.cols()) (H untouched);
//  -5 p < 0 or NaN (H untouched);
//  -3 unsupported kind (H already resized, values unchanged);
//  -199 H or the working counts cannot be had (H untouched or resized).
int metrics_gen_iso(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                    element_type type, dense1D<double, 8>& H, double p);

// Gradation and variation control of a size map, in place.
//
// Two nodes are neighbors when some column of connectM holds both (all the
// nodes of an element are joined, so quadrangles and hexahedra include
// their diagonals). For an edge a-b with vector e, la and lb are its
// lengths in the metrics of a and b (isotropic: |e| / h) and L its
// normalized length (the kernel of the edge-quality operations). The edge
// measure is
//  - gradations: exp(ln(max(la, lb) / min(la, lb)) / L) - 1, the relative
//    growth of the size per unit of metric length;
//  - variations: |la - lb| / (la * lb), for sizes |h_a - h_b| / |e|, the
//    size gradient;
// and an edge too short to measure counts as 0 when its two metrics are
// equal, as DBL_MAX otherwise. Every edge whose measure exceeds `bound`
// (>= 0) is corrected, worst first, by moving the size at one end towards
// the other until the measure equals the bound, along the edge for
// anisotropic metrics (interpolating the sizes of the simultaneous
// reduction of the two metrics).
//
// nodes / nodes_are_fixed: with true the listed nodes keep their metric and
// all others may change; with false only the listed nodes may change
// (~0U entries are ignored). direction: 0 lets each node change either way
// (the first correction tried on a node fixes its way), 1 lets sizes only
// grow, -1 only shrink; any other value lets nothing change. A free node
// next to fixed nodes moves only to bring its edges to them closer to the
// bound: it is moved as far as brings them closest (sampling the step, then
// halving the interval to a precision of 0.001), and not at all while those
// edges already meet the bound. So a field whose fixed nodes disagree with
// their neighbors may keep violations that only moving such a node would
// remove.
//
// Metrics: M is 3 x nodes (2-D coordinates) or 6 x nodes (3-D) packed
// metrics; H one size per node. The type serves only the connectivity
// check. The result is the number of distinct nodes whose metric changed,
// or
//  0 with nothing changed: connectM empty, or bound = DBL_MAX or NaN;
//  -1 coords not 2 or 3 rows; -2 connectM fails check_IDs(type,
//  coords.cols()); -4 nodes fails check_IDs(coords.cols()); -7 bound < 0;
//  -8 M has not 3 (2-D) or 6 (3-D) rows, or max_ID(connectM) is not below
//  the number of metrics; the metrics are untouched on all of these.
//  -199 a working container cannot be had: corrections already made stay.
// The order in which edges with equal measures (rounded to float) are
// corrected is that of the binary heap holding them.
int bound_metric_gradations(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                            element_type type, const dense1D<unsigned, 8>& nodes,
                            bool nodes_are_fixed, int direction, double bound, dense2D<double>& M);
int bound_metric_gradations(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                            element_type type, const dense1D<unsigned, 8>& nodes,
                            bool nodes_are_fixed, int direction, double bound,
                            dense1D<double, 8>& H);
int bound_metric_variations(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                            element_type type, const dense1D<unsigned, 8>& nodes,
                            bool nodes_are_fixed, int direction, double bound, dense2D<double>& M);
int bound_metric_variations(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                            element_type type, const dense1D<unsigned, 8>& nodes,
                            bool nodes_are_fixed, int direction, double bound,
                            dense1D<double, 8>& H);

}  // namespace quernfold
}  // namespace ovk
