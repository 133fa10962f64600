// Topology: element faces and neighbors, mesh boundaries, node graphs,
// sub-domains, color boundaries and grouping of mixed elements.
//
// Vocabulary shared by every function below.
//
//  - Narrowing. A mixed kind is first narrowed by the row count of the
//    connectivity matrix, before anything is checked: a 3-row ET_FACE_MIX
//    matrix is read as ET_TRIA3, a 4-, 5- or 6-row ET_SOLID_MIX matrix as
//    ET_TETRA4, ET_PYRAMID5 or ET_WEDGE6. Every function of this header that
//    takes an element_type narrows it this way, except get_node_graph.
//  - Kinds with faces: ET_EDGE2, ET_TRIA3, ET_QUAD4, ET_FACE_MIX,
//    ET_TETRA4, ET_PYRAMID5, ET_WEDGE6, ET_HEXA8, ET_SOLID_MIX.
//  - Faces per element F (rows of a neighbors matrix): ET_EDGE2 2,
//    ET_TRIA3 3, ET_QUAD4 / ET_FACE_MIX / ET_TETRA4 4, ET_PYRAMID5 /
//    ET_WEDGE6 5, ET_HEXA8 / ET_SOLID_MIX 6. A column of a mixed matrix has
//    the faces of its own shape (3 or 4 for a 4-row ET_FACE_MIX column; 4, 5,
//    5 or 6 for an 8-row ET_SOLID_MIX column); its other rows stay unused.
//  - Local faces (local node rows, in order):
//      edge        (1) (0)
//      triangle    (1,2) (2,0) (0,1)
//      quadrangle  (0,1) (1,2) (2,3) (3,0)
//      tetrahedron (1,2,3) (2,0,3) (0,1,3) (2,1,0)
//      pyramid     (0,4,1) (1,4,2) (2,4,3) (3,4,0) (0,1,2,3)
//      wedge       (0,1,2) (3,5,4) (2,1,4,5) (0,2,5,3) (1,0,3,4)
//      hexahedron  (0,3,7,4) (1,5,6,2) (0,4,5,1) (3,2,6,7) (0,1,2,3) (4,7,6,5)
//  - Face column: one face's nodes in local-face order, one column of a
//    dense2D<unsigned> whose height is the face column height of the
//    narrowed kind: 1 (edges), 2 (surfaces), 3 (ET_TETRA4), 4 (pyramids,
//    wedges, hexahedra, ET_SOLID_MIX; a triangle holds ~0U in row 3).
//  - Face number: element j, local face i -> j * F + i (64-bit inside the
//    functions; handed out as unsigned, so it wraps past 2^32).
//  - Neighbors matrix: F rows x elements columns; entry (i, j) is the
//    element across local face i of element j, or ~0U (boundary face, unused
//    face slot of a mixed column, or a face left unlinked by the
//    non-manifold rule of get_neighbors).
//  - Face equality: two faces with the same number of nodes are the same
//    face when they list the same nodes up to a cyclic shift, possibly
//    reversed. Precisely, each face is rotated so that its first smallest
//    node comes first; then the remaining nodes must agree in the same order
//    (same sense) or reversed (opposite sense), where for quadrangles the
//    node opposite the smallest must agree in both cases. A triangle never
//    equals a quadrangle.
//  - Compressed lists: an offsets vector and a values vector; the list of
//    node v is values[offsets[v]] .. values[offsets[v + 1] - 1], offsets[0] =
//    0, and offsets has (largest node ID + 2) entries, so every ID from 0 to
//    the largest one has a (possibly empty) list. ~0U connectivity entries are
//    never nodes.
//
// Return codes follow the library's convention: 0 on success, -k when the
// k-th argument is wrong, -199 when memory for an output or a working array
// cannot be had. Outputs that are appended to grow their column capacity to
// max(2 x columns, 4) when full. An appended-to matrix output that is empty
// (rows x columns = 0) passes the row-count check whatever its row count and
// takes the face column height as its row count once a column is appended;
// the columns of an output without rows are kept in front of the appended
// ones and then hold 0 (nothing appended leaves such an output untouched).
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

// ---------------------------------------------------------------------------
// Element faces and neighbors
// ---------------------------------------------------------------------------

// Appends to `boundaries` one face column per face of every element: elements
// in column order, faces in local order (a triangle column of a 4-row
// ET_FACE_MIX matrix gives 3 columns, a quadrangle 4; a column of an 8-row
// ET_SOLID_MIX matrix gives 4, 5, 5 or 6). Existing columns are kept.
// Codes, in the order checked:
//    0   success; an empty connectivity (rows x cols = 0) leaves the output
//        untouched;
//   -1   the connectivity fails the typed check with bound ~0U (row count
//        not that of the kind, ~0U outside the unused slots of mixed columns);
//   -2   kind without faces, or a non-empty output whose row count is not
//        the face column height;
//   -199 an append failed: the columns appended so far stay.
int get_element_boundaries(const dense2D<unsigned>& connectM, element_type type,
                           dense2D<unsigned>& boundaries);

// Fills `neighbors` (F x elements) with the element across every face, ~0U
// where there is none. Faces are grouped by face equality (either sense);
// within a group of k element faces f1 < f2 < ... < fk (ascending face
// numbers):
//   - k = 2: each points to the other's element;
//   - k >= 3 with link_non_manifold true: f1 points to the element of fk,
//     every other fi to the element of f1;
//   - k >= 3 with link_non_manifold false: all of them keep ~0U.
// A face equal to another face of the same element links the element to
// itself. The output is cleared first, whatever happens next.
// Codes: 0 (also for an empty connectivity: output empty); -1 the typed
// check with bound ~0U fails; -2 kind without faces; -199 the output or the
// face table cannot be sized. On failure the output is empty.
int get_neighbors(const dense2D<unsigned>& connectM, element_type type, bool link_non_manifold,
                  dense2D<unsigned>& neighbors);

// ---------------------------------------------------------------------------
// Mesh boundaries. A boundary face is a face whose neighbors entry is ~0U.
// ---------------------------------------------------------------------------

// Appends the boundary faces as face columns (nodes exactly as in the local
// face list, no reorientation), elements in column order, faces in local
// order. The node IDs of the connectivity are not checked.
// Codes, in the order checked:
//    0   success; a connectivity without columns;
//   -1   connectivity row count differs from nbr_nodes of the narrowed kind;
//   -2   neighbors not nbr_boundaries x elements, or an entry neither ~0U
//        nor below the number of elements;
//   -4   non-empty output whose row count is not the face column height;
//   -3   kind without faces;
//   -199 an append failed: the columns appended so far stay.
int get_mesh_boundaries(const dense2D<unsigned>& connectM, const dense2D<unsigned>& neighbors,
                        element_type type, dense2D<unsigned>& boundaries);

// Appends the face numbers j * F + i of the boundary faces to `faces`
// (existing entries kept) and sets nbr_faces to F, so that face / F is the
// element and face % F the local face.
// Codes, in the order checked:
//    0   success; an empty connectivity (nbr_faces = 0);
//   -1   the typed check with bound ~0U fails (nbr_faces = 0);
//   -2   kind without faces, or neighbors not F x elements (nbr_faces is
//        already F; the entries themselves are not checked);
//   -199 an append failed: the entries appended so far stay.
int get_mesh_bounding_elements(const dense2D<unsigned>& connectM,
                               const dense2D<unsigned>& neighbors, element_type type,
                               dense1D<unsigned>& faces, unsigned& nbr_faces);

// For every column k of `boundaries` (a face column; a 4-row column with ~0U
// in row 3 is a triangle), faces[k] receives the face number j * F + i of
// the element face carrying it, or ~0U. nbr_faces receives F. The search
// walks the ball of the column's first node a, starting from ancestors[a]
// (the output of get_ancestors): the elements around a reachable through
// faces that contain a. In walk order, the faces of each element in local
// order are compared with the column; the first same-sense match wins,
// otherwise the last opposite-sense match, otherwise ~0U. A first node not
// below ancestors.size(), or whose ancestor is ~0U, gives ~0U.
//
// Walk order: a stack seeded with the ancestor. Popping element e, the faces
// of e that hold a's local position (its first occurrence in e's column)
// are read in ascending local order, and each neighbor across them that is
// an element not yet visited is marked and pushed in that order; the last
// pushed is popped first (depth-first, the highest local face first).
//
// `faces` is cleared first. Codes, in the order checked:
//    0   success; empty `boundaries` (faces empty, nbr_faces = 0);
//   -1   boundaries row count is not the face column height;
//   -2   connectivity row count differs from nbr_nodes;
//   -3   neighbors not F x elements or an entry neither ~0U nor below the
//        number of elements; or the walk reached an element (after the
//        first) that does not contain a;
//   -4   an ancestors entry neither ~0U nor below the number of elements; or
//        the ancestor itself does not contain a;
//   -5   kind without faces (nbr_faces is already F);
//   -199 faces cannot be sized.
// When a walk fails, the entries of earlier columns stay and the others are
// ~0U.
int get_elements_on_boundaries(const dense2D<unsigned>& boundaries,
                               const dense2D<unsigned>& connectM,
                               const dense2D<unsigned>& neighbors,
                               const dense1D<unsigned>& ancestors, element_type type,
                               dense1D<unsigned>& faces, unsigned& nbr_faces);

// ---------------------------------------------------------------------------
// Node-centered adjacency (compressed lists, see above)
// ---------------------------------------------------------------------------

// ancestors[v] := the last element (highest column) holding node v, over
// every row of every column. An empty output is first sized to
// max_ID(connectM) + 1 entries of ~0U; a non-empty one keeps its size and
// content, and IDs not below its size are ignored.
// Codes: 0 (also for an empty connectivity, output untouched); -199 the
// output cannot be sized (output empty).
int get_ancestors(const dense2D<unsigned>& connectM, dense1D<unsigned>& ancestors);

// For every node, the elements whose column (any row) holds it, ascending;
// an element holding a node twice is listed twice for it. A connectivity
// without nodes (no columns, or only ~0U) gives offsets = (0) and no
// elements.
// Codes: 0; -199 a vector cannot be sized (both outputs empty).
int get_connected_elements(const dense2D<unsigned>& connectM, dense1D<unsigned>& offsets,
                           dense1D<unsigned>& elements);

// Node graph: for every node its distinct neighbors (never itself), in
// order of first appearance. Nodes are joined by the element's groups:
//   - ET_UNKNOWN (any row count), ET_EDGE2, ET_TRIA3, ET_TETRA4: the whole
//     column is one group (every pair of its nodes is joined);
//   - ET_QUAD4, ET_PYRAMID5, ET_WEDGE6, ET_HEXA8 and the columns of a 4-row
//     ET_FACE_MIX or 8-row ET_SOLID_MIX matrix: the edges of the column's
//     shape (a mixed tetrahedron or triangle column uses its edge list, not
//     the whole column).
// The neighbors of v are listed as met when walking the groups holding v
// by ascending element and, within an element, group (edge) order, each
// group's nodes in order. Nodes in no element have empty lists. ~0U entries
// are skipped; the node IDs are not otherwise checked. A connectivity whose
// groups hold no node at all (only ~0U) gives offsets = (0) and no nodes.
// Both outputs are emptied first. Codes, in the order checked:
//    0   success; an empty connectivity (rows x cols = 0) leaves both
//        outputs empty;
//   -2   type is not ET_UNKNOWN and the row count differs from
//        nbr_nodes(type); this function does not narrow mixed kinds, so a
//        mixed matrix must have 4 (ET_FACE_MIX) or 8 (ET_SOLID_MIX) rows;
//   -5   a kind other than those listed above;
//   -199 a vector cannot be sized (both outputs empty).
int get_node_graph(const dense2D<unsigned>& connectM, dense1D<unsigned>& offsets,
                   dense1D<unsigned>& nodes, element_type type);

// ---------------------------------------------------------------------------
// Sub-domains, color boundaries and grouping of mixed elements
// ---------------------------------------------------------------------------

// Sub-domains: the classes of elements connected through the neighbors
// matrix (any row count; entries not below the number of columns E mean no
// neighbor). Sub-domain k is elements[offsets[k]] .. elements[offsets[k+1]
// - 1]; they are numbered by their lowest element, and each lists its
// elements in breadth-first order from that element (the neighbors of one
// element queued in row order). Both outputs are emptied first; E = 0 gives
// offsets = (0) and no elements.
// Codes: 0; -199 a vector cannot be sized.
int get_subdomains(const dense2D<unsigned>& neighbors, dense1D<unsigned>& elements,
                   dense1D<unsigned>& offsets);

// The same, and moves the columns of both matrices in place so that
// sub-domain k occupies columns offsets[k] .. offsets[k+1] - 1 (new column k
// = old column elements[k] of the listing above); the neighbors entries are
// then renumbered old -> new (entries not below E stay as they are).
// Codes: 0; -2 the matrices have different column counts (nothing changed,
// offsets empty); -199 a vector or scratch copy cannot be had (matrices
// unchanged).
int get_subdomains(dense2D<unsigned>& connectM, dense2D<unsigned>& neighbors,
                   dense1D<unsigned>& offsets);

// Appends the face columns of the faces that separate elements of different
// colors, and of the mesh-boundary faces. For element j in column order
// and each face i of its shape in local order, with n = neighbors(i, j):
// skipped when n is an element of the same color, or when both_sides is
// false and n is an element with n <= j; otherwise appended in the sense of
// element j. So boundary faces appear once, color interfaces once (by the
// lower element) or, with both_sides, once per side. Only equality of
// colors matters.
// Codes, in the order checked:
//    0   success; a connectivity without columns;
//   -1   connectivity row count differs from nbr_nodes of the narrowed kind;
//   -2   neighbors not nbr_boundaries x elements, or an entry neither ~0U
//        nor below the number of elements;
//   -3   colors.size() differs from the number of elements;
//   -5   non-empty output whose row count is not the face column height;
//   -4   kind without faces;
//   -199 an append failed: the columns appended so far stay.
int get_colors_boundaries(const dense2D<unsigned>& connectM, const dense2D<unsigned>& neighbors,
                          const dense1D<unsigned>& colors, element_type type, bool both_sides,
                          dense2D<unsigned>& boundaries);

// Regroups the columns of connectM (any row count, typically a mixed
// matrix) by used node count, the number of entries before the first ~0U of
// a column: larger counts first, ties in column order. Columns with no used
// node are dropped and the matrix is truncated to the kept columns.
//   - group_nodes: the distinct used node counts, descending;
//   - group_ends: the end column (exclusive) of each group;
//   - new_indices: old -> new column map, one entry per input column, ~0U
//     for a dropped column.
// Columns are moved by swaps, in place. A non-empty neighbors matrix has
// its columns moved and truncated alike, then every entry below
// new_indices.size() is renumbered through new_indices (so entries naming
// a dropped element become ~0U; ~0U stays).
// With no kept column: group_nodes = (0), group_ends = (0).
// Codes: 0; -1 a non-empty neighbors matrix whose column count differs from
// connectM's (nothing changed); -199 a vector cannot be sized (matrices
// unchanged, outputs empty).
int sort_elfes(dense2D<unsigned>& connectM, dense2D<unsigned>& neighbors,
               dense1D<unsigned>& group_nodes, dense1D<unsigned>& group_ends,
               dense1D<unsigned>& new_indices);

// The same without a neighbors matrix. Returns 0, or -199 as above.
int sort_elfes(dense2D<unsigned>& connectM, dense1D<unsigned>& group_nodes,
               dense1D<unsigned>& group_ends, dense1D<unsigned>& new_indices);

}  // namespace quernfold
}  // namespace ovk
