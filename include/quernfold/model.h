// Mesh model: element kinds, the typed connectivity check, index utilities,
// bounding boxes and centroids.
//
// A mesh is a coordinates matrix (dense2D<double>, one column per node, 2 or
// 3 rows) and a connectivity matrix (dense2D<unsigned>, one column per
// element, row k = local node k). The value ~0U (4294967295) means "no
// index": an unused slot of a mixed column, or no element / no match in an
// output list.
//
// Return codes: 0 (or a count) on success; -k names the k-th argument as the
// wrong one; -199 means memory for an output or working array could not be
// had. A call that fails on an argument leaves its outputs empty unless its
// documentation says otherwise.
#pragma once

#include "ovk/lapack/dspev.h"
#include "ovk/math1/math1.h"
#include "ovk/misc/histogram.h"

namespace ovk {
namespace quernfold {

using ovk::math1::dense1D;
using ovk::math1::dense2D;
using ovk::math1::matrix_fixed;
using ovk::math1::symmetric_fixed;
using ovk::math1::vector_fixed;
using ovk::misc::histogram;

// The no-index value ~0U (4294967295): an unused slot of a mixed column, and
// "no element / no match" in output index lists.
inline constexpr unsigned no_index = ~0U;

// Return code of every operation for which memory for an output or a working
// array could not be had.
inline constexpr int no_memory = -199;

// ---------------------------------------------------------------------------
// Element kinds
// ---------------------------------------------------------------------------

// The 23 element kinds. Mixed kinds hold several linear shapes of one
// dimension in columns of a fixed height:
//  - ET_FACE_MIX: 4 rows; a triangle holds ~0U in row 3.
//  - ET_SOLID_MIX: 8 rows; the first ~0U row tells the shape: row 4 ->
//    tetrahedron, row 5 -> pyramid, row 6 -> wedge, none -> hexahedron.
// A mixed matrix whose height is that of one pure shape (3 rows for
// ET_FACE_MIX; 4, 5, 6 rows for ET_SOLID_MIX) is read as that pure kind.
enum element_type {
  ET_UNKNOWN = 0,
  ET_NODE = 1,
  ET_EDGE_MIX = 2,
  ET_EDGE2 = 3,
  ET_EDGE3 = 4,
  ET_FACE_MIX = 5,
  ET_TRIA3 = 6,
  ET_QUAD4 = 7,
  ET_TRIA6 = 8,
  ET_QUAD8 = 9,
  ET_QUAD9 = 10,
  ET_SOLID_MIX = 11,
  ET_TETRA4 = 12,
  ET_TETRA10 = 13,
  ET_PYRAMID5 = 14,
  ET_PYRAMID13 = 15,
  ET_PYRAMID14 = 16,
  ET_WEDGE6 = 17,
  ET_WEDGE15 = 18,
  ET_WEDGE18 = 19,
  ET_HEXA8 = 20,
  ET_HEXA20 = 21,
  ET_HEXA27 = 22
};

// Column height of the kind (rows of its connectivity). 0 out of range.
unsigned nbr_nodes(element_type FE);
// Number of vertex (corner) nodes. 0 out of range.
unsigned nbr_base_nodes(element_type FE);
// Dimension of the element itself: 0, 1, 2 or 3. 0 out of range.
unsigned element_dim(element_type FE);
// Number of boundaries: end points of an edge, edges of a face, faces of a
// solid. 0 out of range.
unsigned nbr_boundaries(element_type FE);

// The static string "5.1.0.0" (same pointer on every call; never freed).
const char* version();

// Typed check: true when every column of connectM is a well-formed element
// of kind FE whose nodes are all below `nods`. An empty matrix (rows x cols
// = 0) is always valid. The row count must match the kind exactly (mixed
// kinds narrowed first); ~0U is accepted only in the unused slots of mixed
// columns. Never writes, never allocates.
bool check_IDs(const dense2D<unsigned>& connectM, element_type FE, unsigned nods);

// ---------------------------------------------------------------------------
// Index utilities. ~0U entries are absent entries unless stated otherwise.
// ---------------------------------------------------------------------------

// Largest entry other than ~0U; 0 when every entry is ~0U; ~0U when empty.
unsigned max_ID(const dense1D<unsigned>& IDs);
unsigned max_ID(const dense2D<unsigned>& M);

// True when every entry is ~0U or below nods; true when the argument is
// empty or nods is ~0U. Ignores the height of a matrix.
bool check_IDs(const dense1D<unsigned>& IDs, unsigned nods);
bool check_IDs(const dense2D<unsigned>& M, unsigned nods);

// Adds `shift` (wrapping modulo 2^32) to every entry other than ~0U; a
// shift of 0 changes nothing. Returns 0.
int shift_indices(dense1D<unsigned>& IDs, int shift);
// Matrix form: with FE = ET_FACE_MIX or ET_SOLID_MIX ~0U entries stay; for
// any other kind (ET_EDGE_MIX included) every entry is shifted, ~0U too. The
// rule follows FE as passed, whatever the height of M (no narrowing: a 3-row
// ET_FACE_MIX matrix also keeps its ~0U). Touches only the rows x cols
// entries, never the gap rows of a window with ld() > rows(). Returns 0.
int shift_indices(dense2D<unsigned>& M, int shift, element_type FE);

// Renumbering through a map that runs old to new (map[old] = new, ~0U for a
// dropped index): each entry v < map.size() becomes map[v], applied once
// (not chained); other entries, ~0U included, stay.
void change_indices(dense1D<unsigned>& IDs, const dense1D<unsigned>& map);
void change_indices(dense2D<unsigned>& M, const dense1D<unsigned>& map);

// Moves entry i of V to position perm[i] (perm runs old position to new).
// Only perm[0 .. min(V.size(), perm.size()) - 1] are read. Entries of perm
// that are ~0U or not below V.size() are skipped; positions no entry targets
// keep their value; for two entries naming one target the later wins, except
// that perm[i] = i never overwrites what an earlier entry wrote to i. V may be
// a window: the result is written into its own storage. Returns 0, or -199
// (V unchanged) when the scratch copy cannot be allocated.
int permutation(dense1D<unsigned>& V, const dense1D<unsigned>& perm);
int permutation(dense1D<double>& V, const dense1D<unsigned>& perm);

// Stable counting sort of positions by value. Afterwards offsets has
// max_ID(values) + 2 entries, offsets[0] = 0, and the positions i with
// values[i] = v are order[offsets[v]] .. order[offsets[v + 1] - 1], ascending.
// ~0U values do not appear, so order has as many entries as values has
// entries other than ~0U. Empty values: order empty, offsets = (0).
// Returns 0, or -199 with both outputs empty. Needs max_ID(values) + 3
// working entries: use it on compact index ranges.
int get_sorted_order(const dense1D<unsigned>& values, dense1D<unsigned>& order,
                     dense1D<unsigned>& offsets);

// Lists: B_in_A[j] = first position in A of value B[j] (or ~0U), sized like
// B; A_in_B[i] = first position in B of A[i] for the first position i of
// each value of A (later repetitions keep ~0U), sized like A. ~0U never
// matches. Returns 0, or -199 (both outputs empty) when an output cannot be
// sized.
int get_IDs(const dense1D<unsigned>& A, const dense1D<unsigned>& B, dense1D<unsigned>& B_in_A,
            dense1D<unsigned>& A_in_B);

// Matrices: matches columns (elements). strict: equal entry by entry.
// Otherwise both columns are rotated cyclically to start at their FIRST
// largest entry and then compared plainly, or with entries 1 .. rows-1 of the
// A column read backwards; one row compares plainly. For columns of distinct
// entries this means "a cyclic shift of the other or of its reverse". With a
// repeated largest entry only the shifts that keep the first occurrence first
// match ((3,7,7,7) matches (7,3,7,7) but not (7,7,3,7)); ~0U counts as the
// largest value, so a mixed triangle (a,b,c,~0U) matches only itself and
// (c,b,a,~0U). B_in_A[j] = smallest matching column of A (sized cols(B));
// A_in_B[i] = smallest matching column of B (sized cols(A)), repeated columns
// of A included; ~0U where none. Returns 0; -2 when both have entries but
// different heights (outputs stay sized, all ~0U); -199 when an output cannot
// be sized (outputs empty) or the column table cannot take every column of A.
int get_IDs(const dense2D<unsigned>& A, const dense2D<unsigned>& B, dense1D<unsigned>& B_in_A,
            dense1D<unsigned>& A_in_B, bool strict);

// Appends to `out` the distinct entries of the input other than ~0U and
// other than those of `exclude`, in order of first appearance (matrices
// column by column). `out` is never cleared; its previous entries play no
// part; `exclude` is read, never changed. Returns 0; the range form returns
// -3 (out unchanged) when end < begin, and 0 for begin == end. The list form
// returns 0 at once for an empty `in` and otherwise first reserves
// out.size() + in.size(). -199 when out cannot grow (out keeps what was
// appended so far). Running out of memory for the working hash set throws
// std::bad_alloc.
int unique_indices(dense1D<unsigned>& out, const dense1D<unsigned>& in, dense1D<unsigned> exclude);
int unique_indices(dense1D<unsigned>& out, const dense2D<unsigned>& M, dense1D<unsigned> exclude);
int unique_indices(dense1D<unsigned>& out, const dense2D<unsigned>* begin,
                   const dense2D<unsigned>* end, dense1D<unsigned> exclude);

// Number of distinct entries other than ~0U. The range form returns 0 for an
// empty range and -2 when end < begin. Running out of memory for the working
// hash set throws std::bad_alloc.
int count_unique_indices(const dense2D<unsigned>& M);
int count_unique_indices(const dense2D<unsigned>* begin, const dense2D<unsigned>* end);

// ---------------------------------------------------------------------------
// Bounding boxes and centroids
// ---------------------------------------------------------------------------

// Bounding boxes, in the units of the coordinates. [min, max] is the caller's
// box, only ever enlarged: a lower component is replaced by a coordinate that
// is not greater than or equal to it (so a NaN coordinate replaces it, and a
// NaN corner is replaced by the next number), an upper one by a coordinate
// greater than it. Start a fresh box with min = +DBL_MAX, max = -DBL_MAX.
//
// By every node of coords (2 x nodes or 3 x nodes). Returns 0, or -1 (box
// unchanged) when coords does not have exactly 2 (3) rows.
int inc_bounding_box(const dense2D<double>& coords, vector_fixed<double, 2>& min,
                     vector_fixed<double, 2>& max);
int inc_bounding_box(const dense2D<double>& coords, vector_fixed<double, 3>& min,
                     vector_fixed<double, 3>& max);
// By the listed nodes, in list order (~0U entries skipped, repeats harmless).
// An empty list returns 0 before any check; -1 wrong rows; -2 (box
// unchanged) for an index not below the number of columns of coords (no
// bound when coords has ~0U columns or more).
int inc_bounding_box(const dense2D<double>& coords, const dense1D<unsigned>& nodes,
                     vector_fixed<double, 2>& min, vector_fixed<double, 2>& max);
int inc_bounding_box(const dense2D<double>& coords, const dense1D<unsigned>& nodes,
                     vector_fixed<double, 3>& min, vector_fixed<double, 3>& max);
// By the distinct nodes of connectM (any height, not checked against an
// element type), in order of first appearance, then as the node-list form:
// a matrix without entries, or holding only ~0U, returns 0 before the
// dimension check. -199 when the node list cannot be built.
int inc_bounding_box(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                     vector_fixed<double, 2>& min, vector_fixed<double, 2>& max);
int inc_bounding_box(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                     vector_fixed<double, 3>& min, vector_fixed<double, 3>& max);

// G (d x elements, d = rows of coords, 1 to 3) = plain average of each
// element's vertex nodes: the node columns summed in column order from 0.0,
// times the reciprocal of the node count (0.5, 0.3333333333333333, 0.25,
// 0.2, 0.16666666666666666, 0.125; 1.0 / n per column for the mixed kinds).
// Checks in this order, G emptied first: -1 d not in 1..3 or element_dim(FE)
// > d (G empty); -2 typed check_IDs against cols(coords) fails (G empty);
// -199 G cannot be sized (G empty); -4 FE not supported (G is d x elements,
// all 0.0). Supported: ET_EDGE2, ET_TRIA3, ET_QUAD4, ET_TETRA4, ET_PYRAMID5,
// ET_WEDGE6, ET_HEXA8, ET_FACE_MIX, ET_SOLID_MIX (mixed matrices at the
// height of one pure shape are read as that shape). A connectivity of 0 rows
// and some columns passes the check (it has no entries) and gives 0 with G
// d x columns, all 0.0: its elements name no node.
int centroids(const dense2D<double>& coords, const dense2D<unsigned>& connectM, dense2D<double>& G,
              element_type FE);

}  // namespace quernfold
}  // namespace ovk
