// Geometric transformations: translation, rotation and scaling of nodes;
// copies, mirror copies and clipping of meshes.
//
// Coordinates matrices are d x nodes (one column per node); connectivity
// matrices are rows x elements (one column per element). Angles are in
// radians; a 3-D rotation vector R turns by |R| radians about the axis R
// (right-hand rule). Distances are plain (not squared) coordinates units.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

// ---------------------------------------------------------------------------
// Translation, rotation and scaling of nodes (in place)
// ---------------------------------------------------------------------------
//
// Each family has six overloads: 2-D or 3-D, applied to every node, to the
// nodes of a list, or to the nodes used by a connectivity matrix.
//
// Node mappings (P = a node's coordinates, written back into its column):
//   translate:   P' = P + V
//   rotate 2-D:  d = P - Q, c = cos(angle), s = sin(angle),
//                P'x = Qx + (c*dx - s*dy), P'y = Qy + (s*dx + c*dy)
//                (counter-clockwise for a positive angle)
//   rotate 3-D:  P' = Q + M*(P - Q), M = I + a*S + b*S^2, S the cross-product
//                matrix of R (S*d = R x d), theta = |R|; a = sin(theta)/theta,
//                b = (1 - cos(theta))/theta^2, replaced by their Taylor series
//                in theta^2 for theta <= 0.1. M is built once per call.
//   zoom:        P' = P + (P - Q)*(factor - 1), component by component.
//
// The 2-D overloads write rows 0 and 1, the 3-D overloads rows 0 to 2; any
// other row is left alone.
//
// Whole-matrix overloads:
//   - coords with no entries (rows x cols = 0): returns 0;
//   - identity transformation: returns 0, coords unchanged. A value counts as
//     the identity value when it is neither smaller nor greater than it, so a
//     NaN component, angle or factor counts as the identity value: V = 0,
//     angle = 0, R = 0, factor = 1;
//   - coords with fewer rows than the overload's dimension first grows to that
//     many rows, the added rows holding 0.0 (if that growth cannot be had,
//     nothing is moved and 0 is returned);
//   - otherwise every column is mapped and the number of columns is returned.
//
// Node-list overloads: the same, except that an empty list returns 0 (after
// the identity test, before any growth of coords); the listed nodes are mapped
// in list order, a node listed twice is mapped twice, and entries not below
// coords.cols() (~0U included) are skipped. translate and rotate return the
// number of entries mapped; zoom returns 0 even when it moves nodes.
//
// Connectivity overloads: the distinct node indices of connectM (unique_indices
// with an empty exclusion; ~0U slots of mixed kinds drop out) are passed to
// the node-list overload, whose result is returned. Each used node is thus
// mapped once, whatever the element kind. The matrix is not checked against
// an element type.
//
// None of these operations reports an error. When the node set of a
// connectivity overload cannot be allocated, nothing is moved and 0 is
// returned.

int translate(dense2D<double>& coords, const vector_fixed<double, 2>& V);
int translate(dense2D<double>& coords, const vector_fixed<double, 2>& V,
              const dense1D<unsigned>& nodes);
int translate(dense2D<double>& coords, const vector_fixed<double, 2>& V,
              const dense2D<unsigned>& connectM);
int translate(dense2D<double>& coords, const vector_fixed<double, 3>& V);
int translate(dense2D<double>& coords, const vector_fixed<double, 3>& V,
              const dense1D<unsigned>& nodes);
int translate(dense2D<double>& coords, const vector_fixed<double, 3>& V,
              const dense2D<unsigned>& connectM);

// Q is the center of rotation.
int rotate(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double angle);
int rotate(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double angle,
           const dense1D<unsigned>& nodes);
int rotate(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double angle,
           const dense2D<unsigned>& connectM);
int rotate(dense2D<double>& coords, const vector_fixed<double, 3>& Q,
           const vector_fixed<double, 3>& R);
int rotate(dense2D<double>& coords, const vector_fixed<double, 3>& Q,
           const vector_fixed<double, 3>& R, const dense1D<unsigned>& nodes);
int rotate(dense2D<double>& coords, const vector_fixed<double, 3>& Q,
           const vector_fixed<double, 3>& R, const dense2D<unsigned>& connectM);

// Q is the fixed center of the scaling. The list and connectivity overloads
// always return 0.
int zoom(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double factor);
int zoom(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double factor,
         const dense1D<unsigned>& nodes);
int zoom(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double factor,
         const dense2D<unsigned>& connectM);
int zoom(dense2D<double>& coords, const vector_fixed<double, 3>& Q, double factor);
int zoom(dense2D<double>& coords, const vector_fixed<double, 3>& Q, double factor,
         const dense1D<unsigned>& nodes);
int zoom(dense2D<double>& coords, const vector_fixed<double, 3>& Q, double factor,
         const dense2D<unsigned>& connectM);

// ---------------------------------------------------------------------------
// Copies, mirror copies and clipping
// ---------------------------------------------------------------------------
//
// New nodes are always appended at the end of coords (d x nodes); existing
// nodes are never moved or removed. A copied node gets all rows of its source
// column. ~0U entries of a source connectivity stay ~0U in the copies, and the
// copies keep the source's local node order.
//
// A source connectivity must refer to existing nodes: every entry other than
// ~0U below coords.cols(). An invalid source is reported with the code naming
// the source argument (-3, -5 or -7 below), before anything is changed; an
// overwritten connectM is then left empty, an appended-to connectM unchanged.
//
// Appended matrices (coords here, connectM of the repeated copies, kept of
// clip) raise their column capacity to max(2 x columns, 4), or to the new
// column count when that is larger, whenever they are full.

// Plain copy: U = the distinct nodes of source in order of first appearance;
// column U[k] of coords is appended as column m + k (m = coords.cols() on
// entry); connectM is overwritten with source renumbered old to new through
// U[k] -> m + k.
// connectM may be source itself. Returns 0; -3 invalid source (coords
// unchanged, connectM empty); -199 when coords or connectM cannot be grown
// (connectM empty; coords may already hold the appended columns).
int copy_mesh(dense2D<double>& coords, dense2D<unsigned>& connectM,
              const dense2D<unsigned>& source);

// Repeated 2-D copies: for i = 1..n, a plain copy of source (of the source's
// own nodes, not of the previous copy) turned by i*angle about Q, then moved
// by i*T, its columns appended to connectM. The multiplier i is the double i.
// Steps skipped for a zero angle or zero translation (see rotate/translate).
// Returns 0 at once when coords has no entries or n = 0.
// connectM must be empty (rows x cols = 0) or have source's number of rows;
// it is never cleared: it ends rows(source) x (its columns + n x cols(source)),
// the columns of a connectM without rows counting (they then hold 0). Codes: -2 connectM of another
// height (nothing changed); -7 invalid source (nothing changed); -199 when coords or connectM
// cannot be grown (the copies made before stay).
int copy_mesh(dense2D<double>& coords, dense2D<unsigned>& connectM,
              const vector_fixed<double, 2>& T, const vector_fixed<double, 2>& Q, double angle,
              unsigned n, const dense2D<unsigned>& source);

// Repeated 3-D copies: as above with copy i turned by the rotation vector i*R
// about Q, then moved by i*T. Same codes.
int copy_mesh(dense2D<double>& coords, dense2D<unsigned>& connectM,
              const vector_fixed<double, 3>& T, const vector_fixed<double, 3>& Q,
              const vector_fixed<double, 3>& R, unsigned n, const dense2D<unsigned>& source);

// Mirror copy across the line (2-D) or plane (3-D) through P with normal N
// (any non-zero length). A plain copy of source is made (connectM
// overwritten), coords grows to 2 (3) rows if it has fewer, and every new node
// X is reflected:
//   f = -2/|N|^2,
//   2-D: s = ((Xy - Py)*Ny + (Xx - Px)*Nx)*f; Xx += Nx*s; Xy += Ny*s
//   3-D: s = ((Xx - Px)*Nx + (Xy - Py)*Ny + (Xz - Pz)*Nz)*f; X += s*N.
// A mirrored element has the opposite orientation to its source.
// Returns 0 at once (nothing changed) when coords has no entries; -4 when
// |N|^2 is 0 (nothing changed); -5 invalid source (coords unchanged, connectM
// empty); -199 when coords or connectM cannot be grown.
int copy_sym_mesh(dense2D<double>& coords, dense2D<unsigned>& connectM,
                  const vector_fixed<double, 2>& P, const vector_fixed<double, 2>& N,
                  const dense2D<unsigned>& source);
int copy_sym_mesh(dense2D<double>& coords, dense2D<unsigned>& connectM,
                  const vector_fixed<double, 3>& P, const vector_fixed<double, 3>& N,
                  const dense2D<unsigned>& source);

// Appends to kept (rows of connectM x kept elements) the columns of connectM,
// in order, whose nodes all lie on the side of the plane through P that N
// points to: with D = X - P over the first min(rows of coords, 3) components
// (missing ones 0), a node is on that side when (Dy*Ny + Dx*Nx) + Dz*Nz >= 0
// (a node on the plane is kept). A column's nodes are read from row 0 up to
// its first ~0U; each node's side is computed once per call. A 2-D mesh is
// clipped by the line where the plane cuts z = 0.
// Codes: 0 (also at once, kept unchanged, when connectM has no entries);
// -2 connectM refers to a node not below coords.cols(); -4 N = (0, 0, 0);
// -5 kept has entries and another number of rows than connectM; -199 kept or
// the working list cannot be had. kept is unchanged on every failure. On
// success kept is rows(connectM) x (its columns + the number kept), also when
// nothing is kept; the columns of a kept without rows count (they then hold
// 0).
int clip(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
         const vector_fixed<double, 3>& P, const vector_fixed<double, 3>& N,
         dense2D<unsigned>& kept);

}  // namespace quernfold
}  // namespace ovk
