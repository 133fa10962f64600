// File formats: readers and writers of mesh files.
//
// Formats: MEDIT (mesh and solution files, written; mesh files read), VTK
// legacy unstructured grid (read and written), STL text and binary (read and
// written), NASTRAN bulk data (read and written), FEMAP neutral (read and
// written), Wavefront OBJ (read and written), EnSight geometry (written) and
// gmsh MSH (read and written).
//
// Meshes are a coordinates matrix (rows x columns = dimension x nodes) and
// connectivity matrices (node slots x elements, 0-based node indices) with
// their element_type. Node numbers in files:
//   MEDIT, OBJ, EnSight element records: index + 1; VTK: index as stored;
//   NASTRAN and FEMAP: node identifier g is coordinates column g - 1, and
//   written files number node j as j + 1 and element column j as j + 1.
//
// Opening and closing. Every function taking a file name opens the file
// itself and closes it before returning, on every path; a failed open gives
// -1 and leaves nothing behind to close. Modes: "w" for the MEDIT, VTK, MSH
// and EnSight writers and the MEDIT solution files; "wt" for the NASTRAN and
// FEMAP writers and the text STL writer; "wb" for the binary STL writer; "rt"
// for the NASTRAN and FEMAP readers and the first (text) STL attempt; "rb" for
// the second (binary) STL attempt; "r" for the OBJ reader. The OBJ writer
// uses a standard file stream (std::ofstream) in text mode. A stream form
// reads or writes from the stream's current position and never closes it.
//
// Return codes shared by the families (each function lists its own):
//   0     success
//   -1    file cannot be opened, stream null (or in error where stated), an
//         STL write failed, a malformed NASTRAN GRID record
//   -2    coordinates with a row count the writer does not take; STL reader:
//         not an STL file; OBJ reader: malformed line
//   -3    a connectivity matrix fails the typed check_IDs; STL reader:
//         malformed or truncated record
//   -4    range form: `first` after `last`
//   -5    range form: number of matrices differs from the size of `types`;
//         MEDIT reference form: size of `refs`; NASTRAN and FEMAP writers:
//         `bounds` is not a valid list of run boundaries (below)
//   -6    MEDIT reference form: per-reference matrices cannot be allocated;
//         NASTRAN and FEMAP writers: size of `pids` differs from the number
//         of elements
//   -102  FEMAP reader: short or invalid record
//   -199  storage for an output or a working copy cannot be allocated
//
// Readers empty their outputs (0 x 0, storage kept) before reading; an output
// that receives nothing stays 0 x 0. On failure the STL reader empties them
// again; the NASTRAN, FEMAP and OBJ readers keep what they had read when they
// stopped. Writers that fail a check before writing leave the file they
// opened empty.
//
// Line-oriented readers (NASTRAN, FEMAP, STL text) read lines as a buffer of
// 256 characters does: at most 255 characters, the line end ("\n", or
// "\r\n" in a CR LF file) kept as part of the line; a longer line arrives in
// pieces, each read as a line of its own.
//
// Numbers are written and read as the formats state them in the "C" locale,
// whatever locale the program or the calling thread has set: each call
// switches its own thread for its own duration. A NASTRAN or FEMAP node of
// identifier g fills column g - 1 and the columns in between read 0.0, but
// those come as zero-filled pages from the system and are never written,
// so memory follows the nodes in the file rather than their identifiers
// (-199 when the system cannot grant the columns). Calls on independent
// data may run on several threads at once.
//
// An element_type value outside 0..22 in a `types` vector fails the
// connectivity check (-3) instead of indexing the element tables.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "quernfold/mesh.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

// Settings of the text writers that take them (MEDIT, VTK, NASTRAN, FEMAP,
// OBJ).
// The defaults are what each writer's forms without settings write; the
// whole-mesh layer (write_mesh) writes with every setting on, so that other
// programs read the file as it was meant.
struct writer_settings {
  // Coordinates in the shortest text that reads back to the same double
  // (NASTRAN: GRID* fields with 10 significant digits, all 16 characters
  // hold). false: the writer's fixed digits.
  bool exact_coordinates = false;
  // MEDIT and VTK: every element in the standard node order (VTK's, which
  // gmsh, meshio and MEDIT readers share; tetrahedra and VTK wedges
  // reversed from the library's), under a comment or title line other than
  // the one that marks the library's own order.
  bool standard_order = false;
  // VTK: quadratic kinds as VTK's quadratic cells (a 14-node pyramid, which
  // has none, as its linear pyramid) instead of a linear cell followed by a
  // poly-vertex cell of the other nodes. Taken with standard_order only.
  bool quadratic_cells = false;
};

// ---------------------------------------------------------------------------
// STL
// ---------------------------------------------------------------------------

// Reads a text or binary STL into coords (3 x nodes) and connectM (3 x
// triangles, ET_TRIA3). The text form is tried first; on a text failure
// (-1 .. -198) the stream is set back to where it was and read as binary.
// Vertices are merged: exactly coincident ones block by block, then all
// within 0.05 x the smallest positive triangle height (a distance); then
// triangles that repeat a node are removed and unused nodes dropped. A mesh
// without any positive height is returned unmerged (3 nodes per triangle).
// Codes: -1 null stream or stream in error; -2 not STL (text: no first line
// or no "solid" in it; binary: header shorter than 80 bytes); -3 malformed
// text facet, premature end, missing count or truncated binary triangle;
// -199 storage; other negative codes from the merge and clean-up. Both
// outputs are empty on every failure. A file without triangles gives coords
// 0 x 0 and connectM 3 x 0 (the connectivity is built as 3 x triangles).
// The stream form also gives -1 when the stream position cannot be taken
// (fgetpos), since the binary attempt must start where the text attempt did.
int STL_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM);
// File-name form: "rt" then "rb"; -1 when neither open succeeds.
int STL_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM);
// Writes the text form (ascii true) or the little-endian binary form.
// coords has 2 or 3 rows (2 rows: z = 0). Codes: -1 null stream, stream in
// error, open failure or failed write; -2 coords rows; -3 connectM fails the
// ET_TRIA3 check against the number of nodes.
int STL_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
               bool ascii);
int STL_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
               bool ascii);

// ---------------------------------------------------------------------------
// Wavefront OBJ
// ---------------------------------------------------------------------------

// Reads "v" (coords, 3 x nodes), "vt" (uv, 1..3 rows set by the first "vt"
// line x texture points; lines of another count are dropped), "vn" (normals,
// 3 x normals) and "f" lines; faces of 3 vertices go to connectM_tria (3 x
// faces), of 4 to connectM_quad (4 x faces), others are dropped. Face vertex
// words: a, a/b, a//c, a/b/c, a/b/, a//, a word being every character up to
// the next blank (a NUL byte included); only the vertex index is kept (k > 0:
// k - 1; k < 0: vertices read so far + k). Codes: -1 open failure; -2
// malformed line: "v" with fewer than 3 numbers, "vn" without exactly 3, "vt"
// with 4 or more, a malformed face word, a face vertex index of 0, texture or
// normal indices before any "vt" / "vn" line; -199 storage. Reading stops at
// the first negative code, keeping what was read.
// Beyond the format's rules: a "vt" line without numbers only marks that
// texture coordinates were seen, and a negative index that reaches before
// the first vertex is malformed (-2).
int WavefrontOBJ_input(char const* name, dense2D<double>& coords, dense2D<double>& uv,
                       dense2D<double>& normals, dense2D<unsigned>& connectM_tria,
                       dense2D<unsigned>& connectM_quad);
// Writes every node (2-row coords: z = 0.0), then uv and normals when they
// have entries (one per node), then the faces, each vertex as k/k/k, k//k,
// k/k/ or k// (k = index + 1). Numbers in scientific notation with 8 digits
// after the point. Codes: -1 open failure or stream in error; -2 coords rows
// not 2 or 3; -3 normals not 3 x nodes; -4 uv not 2 x nodes; -5 triangles
// fail the ET_TRIA3 check, -6 quadrangles the ET_QUAD4 check (no node
// bound). A check failure leaves the opened file empty.
int WavefrontOBJ_output(char const* name, dense2D<double> const& coords, dense2D<double> const& uv,
                        dense2D<double> const& normals, dense2D<unsigned> const& connectM_tria,
                        dense2D<unsigned> const& connectM_quad);
// The same with settings (exact_coordinates is the one taken: every number
// in its shortest exact text).
int WavefrontOBJ_output(char const* name, dense2D<double> const& coords, dense2D<double> const& uv,
                        dense2D<double> const& normals, dense2D<unsigned> const& connectM_tria,
                        dense2D<unsigned> const& connectM_quad, writer_settings const& settings);
// ET_TRIA3 -> triangles, ET_QUAD4 -> quadrangles; any other type writes no
// face.
int WavefrontOBJ_output(char const* name, dense2D<double> const& coords,
                        dense2D<unsigned> const& connectM, element_type type);
// Equal types: both matrices joined (connectM1 first); different types: each
// by its own type. -199 when the joined copy cannot be allocated.
int WavefrontOBJ_output(char const* name, dense2D<double> const& coords,
                        dense2D<unsigned> const& connectM1, dense2D<unsigned> const& connectM2,
                        element_type type1, element_type type2);

// ---------------------------------------------------------------------------
// NASTRAN bulk data and FEMAP neutral: run containers
// ---------------------------------------------------------------------------
//
// Both families describe all elements in one connectivity matrix (as many
// rows as the largest element; unused slots 4294967295) with three vectors:
//   bounds: run boundaries: 0, the column of every element whose type differs
//           from its predecessor's, then the number of elements (a run k is
//           columns bounds[k] .. bounds[k + 1] - 1);
//   types:  the element_type of each run (bounds.size() - 1 entries);
//   pids:   the property identifier of each element, in column order.
// A reader that stores no element returns bounds = {0, 0} and no type.
// Writers take these as read; they additionally return -5 when `bounds` is
// not non-decreasing or its entries exceed the number of columns (checked
// after the size of `pids`, so a wrong `pids` size gives -6 first).
// ET_FACE_MIX and ET_SOLID_MIX runs are written element by element with
// each column's own shape.
//
// ET_WEDGE15 node order: the library's order puts the 9 mid-nodes on the
// wedge edges (0,3) (1,4) (2,5) (1,2) (2,0) (0,1) (4,5) (5,3) (3,4). The
// NASTRAN writer writes column positions 0..5, 11, 9, 10, 6, 7, 8, 14, 12, 13
// as file nodes 1..15 (ET_WEDGE18: the same, its last 3 nodes dropped), and
// the reader applies the inverse: column positions 0..14 from file positions
// 0..5, 9, 10, 11, 7, 8, 6, 13, 14, 12.

// NASTRAN reader, core form. Accepts small-field, large-field ("GRID*") and
// free-field (comma-separated) records with continuation lines; card names
// are matched case-sensitively and as they stand (a free-field name or
// continuation marker with a blank or tab around it is something else). GRID
// g goes to column g - 1 of coords (3 rows; missing identifiers give columns
// of 0.0). Lines are cut into fields with their line end: a small-field line
// is padded to 80 characters; a GRID* line must reach its sixth field (a line
// of 72 characters and its line end do, as gmsh and meshio write them; a
// line that ends before column 72 does not) and its continuation its second.
// A card field that does not read as an integer ends the reading of its
// line, so blank node or property fields shorten a card (which is then
// usually left out for its node count); reals in integer fields read as
// their integer part. Codes: -1 null stream, stream in error, open failure,
// malformed GRID, GRID identifier not positive; -199 storage. Reading stops
// at the first negative code, keeping what was read (bounds then still ends
// with the number of elements read).
// Beyond the format's rules, this reader refuses a negative GRID identifier
// like identifier 0.
int NASTRAN_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
                  dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& pids);
int NASTRAN_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                  dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& pids);
// Settings of the NASTRAN reader beyond the format's rules; the defaults
// are the behaviour described above.
struct nastran_read_settings {
  // true: a blank property field of an element card reads as property 0
  // (decks written without properties); false: the card is left out.
  bool blank_property_is_zero = false;
  // true: also the card variants other writers use: line cards (CBAR,
  // CBEAM, CBUSH, CBUSH1D, CGAP) whose end nodes are followed by an
  // orientation node or vector read as 2-node lines, CTRIAR, CQUADR, CSHEAR
  // and CQUAD9, and solid card names with a trailing '_'; element cards of
  // other names (beginning with 'C', not "CORD", "CLOAD", "CONM" or
  // "CONV") are counted as left out.
  bool card_variants = false;
  // Threads that read the deck (the file-name form; 1: this thread only).
  // With more the file is held whole and cut into chunks read apart; every
  // output, code and line is the same as with 1.
  unsigned threads = 1;
};
// The core form with settings; `skipped` receives the element cards of a
// known name that were left out, counted by name and reason (emptied first),
// `failed_line` the line (from 1) of the record that stopped the reading
// with a negative code (0 otherwise).
int NASTRAN_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                  dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& pids,
                  const nastran_read_settings& settings, std::vector<left_out_records>& skipped,
                  std::size_t& failed_line);
// All elements in one matrix with one type: the first run's type, widened to
// ET_FACE_MIX (triangles and quadrangles) or ET_SOLID_MIX (linear solids),
// ET_UNKNOWN for any other mix. With no element the stream form leaves
// `type` unchanged; the file-name form sets it to ET_UNKNOWN before reading.
int NASTRAN_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
                  element_type& type);
int NASTRAN_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                  element_type& type);
// The first two runs as two matrices (rows 0 .. nbr_nodes(type) - 1 of each
// run's columns); further runs are not returned. A type whose run is absent
// is left unchanged by the stream form; the file-name form sets both types
// to ET_UNKNOWN before reading.
int NASTRAN_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM1,
                  dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);
int NASTRAN_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM1,
                  dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);

// NASTRAN writer, core form: large-field GRID* records and free-field
// element cards (at most 9 fields a line, "+C" continuations). Codes: -1
// null stream, stream in error or open failure; -2 coords rows not 2 or 3;
// -5 bounds.size() != types.size() + 1; -6 pids.size() != columns; -5
// boundary values that are not a valid list; -3 a run restricted to its type's node count (4
// for ET_FACE_MIX, 20 for ET_SOLID_MIX, capped at the matrix rows) fails
// check_IDs without a node bound. Elements of ET_UNKNOWN, ET_NODE and
// ET_EDGE_MIX are not written. Writes are not tested.
int NASTRAN_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                   dense1D<unsigned> const& bounds, dense1D<int> const& types,
                   dense1D<unsigned> const& pids);
int NASTRAN_output(char const* name, dense2D<double> const& coords,
                   dense2D<unsigned> const& connectM, dense1D<unsigned> const& bounds,
                   dense1D<int> const& types, dense1D<unsigned> const& pids);
// The same with settings (exact_coordinates is the one taken).
int NASTRAN_output(char const* name, dense2D<double> const& coords,
                   dense2D<unsigned> const& connectM, dense1D<unsigned> const& bounds,
                   dense1D<int> const& types, dense1D<unsigned> const& pids,
                   writer_settings const& settings);
// One run of `type`, every property identifier 1. -199 when the run
// containers cannot be allocated.
int NASTRAN_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                   element_type type);
int NASTRAN_output(char const* name, dense2D<double> const& coords,
                   dense2D<unsigned> const& connectM, element_type type);
// Two runs: both matrices copied into one of max(nbr_nodes(type1),
// nbr_nodes(type2)) rows (unused slots 4294967295), connectM1 first;
// property identifiers 1 and 2. -199 when the copy cannot be allocated.
int NASTRAN_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM1,
                   dense2D<unsigned> const& connectM2, element_type type1, element_type type2);
int NASTRAN_output(char const* name, dense2D<double> const& coords,
                   dense2D<unsigned> const& connectM1, dense2D<unsigned> const& connectM2,
                   element_type type1, element_type type2);

// FEMAP reader, core form: block 403 (nodes) and 404 (elements); every
// other block is passed over. Trailing white space (line end included) is
// removed from every line. A block opens on a line that reads "403" or
// "404" once white space is removed and closes on a line "   -1". Beyond the
// format's rules, reals accept a Fortran "D" exponent marker as "E" (neutral
// files written by some programs use it) and a negative node identifier is
// refused like identifier 0. Element topology codes read:
// 0 ET_EDGE2, 1 ET_EDGE3, 2 ET_TRIA3, 3 ET_TRIA6, 4 ET_QUAD4, 5 ET_QUAD8,
// 6 ET_TETRA4, 7 ET_WEDGE6, 8 ET_HEXA8, 9 ET_NODE, 10 ET_TETRA10, 12
// ET_HEXA20; other codes are passed over. Codes: -1 null stream or open
// failure; -102 node record of fewer than 14 fields or identifier not
// positive, element line of fewer than 5 fields, node-slot line of fewer
// than 10 fields (or missing); -199 storage. Reading stops at the first negative code, keeping
// what was read (bounds then ends with the number of elements read).
int FEMAP_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
                dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& pids);
int FEMAP_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& pids);
// The core's matrix, and the type of its only run when there is exactly one
// run, else ET_UNKNOWN (no element included). A null stream leaves `type`
// unchanged.
int FEMAP_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
                element_type& type);
int FEMAP_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                element_type& type);
// The first two runs as two matrices, as for NASTRAN.
int FEMAP_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM1,
                dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);
int FEMAP_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM1,
                dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);

// FEMAP writer, core form. A connectivity without entries returns 0 and
// writes nothing (before any check). Codes as the NASTRAN writer. Elements
// whose type has no FEMAP topology (ET_UNKNOWN, ET_EDGE_MIX, ET_QUAD9,
// pyramids, ET_WEDGE15, ET_WEDGE18, ET_HEXA27) are left out. Reals are
// written with six decimals.
int FEMAP_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                 dense1D<unsigned> const& bounds, dense1D<int> const& types,
                 dense1D<unsigned> const& pids);
int FEMAP_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                 dense1D<unsigned> const& bounds, dense1D<int> const& types,
                 dense1D<unsigned> const& pids);
// The same with settings (exact_coordinates is the one taken: each
// coordinate in its shortest exact text instead of "%lf").
int FEMAP_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                 dense1D<unsigned> const& bounds, dense1D<int> const& types,
                 dense1D<unsigned> const& pids, writer_settings const& settings);
int FEMAP_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                 element_type type);
int FEMAP_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                 element_type type);
int FEMAP_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM1,
                 dense2D<unsigned> const& connectM2, element_type type1, element_type type2);
int FEMAP_output(char const* name, dense2D<double> const& coords,
                 dense2D<unsigned> const& connectM1, dense2D<unsigned> const& connectM2,
                 element_type type1, element_type type2);

// ---------------------------------------------------------------------------
// MEDIT, VTK legacy and gmsh MSH: the standard node order, the readers
// ---------------------------------------------------------------------------
//
// Node orders. The library's tetrahedron (0, 1, 2, 3) is positive when node
// 3 lies on the side to which the right-hand normal of (0, 1, 2) points; its
// pyramids, wedges and hexahedra are positive when their apex or top lies on
// that side of their base (0, 1, 2[, 3]). The nodes past the vertices of a
// quadratic kind come in the library's order:
//   ET_EDGE3      2: mid-edge (0,1)
//   ET_TRIA6      3..5: mid-edges (1,2) (2,0) (0,1)
//   ET_QUAD8/9    4..7: mid-edges (0,1) (1,2) (2,3) (3,0); 8: centre
//   ET_TETRA10    4..9: mid-edges (1,2) (2,0) (0,1) (3,0) (3,1) (3,2)
//   ET_PYRAMID13  5..12: mid-edges (0,1) (1,2) (2,3) (3,0) (0,4) (1,4) (2,4)
//                 (3,4); ET_PYRAMID14 13: centre of the base
//   ET_WEDGE15    6..14: mid-edges (0,3) (1,4) (2,5) (1,2) (2,0) (0,1) (4,5)
//                 (5,3) (3,4); ET_WEDGE18 15..17: centres of the faces
//                 (2,1,4,5) (0,2,5,3) (1,0,3,4)
//   ET_HEXA20     8..19: mid-edges (0,1) (1,2) (2,3) (3,0) (4,5) (5,6) (6,7)
//                 (7,4) (0,4) (1,5) (2,6) (3,7); ET_HEXA27 20..25: centres
//                 of the faces (0,3,7,4) (1,5,6,2) (0,4,5,1) (3,2,6,7)
//                 (0,1,2,3) (4,7,6,5), 26: centre
// "Standard" is the node order of VTK, which meshio shares: its tetrahedra
// and wedges are the mirror images of the library's, its pyramids and
// hexahedra are the library's, and its quadratic nodes are ordered
// differently for ET_TRIA6, ET_TETRA10, ET_WEDGE15 and ET_WEDGE18. Between
// the two orders (column position k = standard position s):
//   ET_TRIA6     k 0..5   <- s 0 1 2 4 5 3
//   ET_TETRA4    k 0..3   <- s 0 1 3 2
//   ET_TETRA10   k 0..9   <- s 0 1 3 2 8 7 4 6 5 9
//   ET_WEDGE6    k 0..5   <- s 0 2 1 3 5 4
//   ET_WEDGE15   k 0..14  <- s 0 2 1 3 5 4 12 14 13 7 6 8 10 9 11
//   ET_WEDGE18   k 0..17  <- as ET_WEDGE15, then 16 15 17
// and every other kind (ET_QUAD9, ET_PYRAMID14 and ET_HEXA27 included) has
// the same order in both.

// Rewrites every column of connectM from the library's node order into the
// standard one, in place. A mixed matrix is read by the row count and each
// column by its own shape (unused slots stay where they are). Codes: 0;
// -1 connectM fails check_IDs for `type` without a node bound (row count,
// misplaced no_index); -2 `type` outside 0..22. On failure nothing is
// changed.
int to_standard_node_order(dense2D<unsigned>& connectM, element_type type);
// The inverse: from the standard node order into the library's. Codes as
// to_standard_node_order.
int from_standard_node_order(dense2D<unsigned>& connectM, element_type type);

// The three readers share one output shape, that of the NASTRAN reader:
//   coords   3 x nodes for VTK and MSH; MEDIT: the file's Dimension (1 to
//            3) x nodes;
//   connectM every element in file order, one per column, as many rows as
//            the tallest element; slots past an element's own node count
//            hold no_index;
//   bounds   run boundaries: 0, the column of every element whose type
//            differs from its predecessor's, then the number of elements
//            ({0, 0} when there is none);
//   types    the element_type of each run (bounds.size() - 1 entries);
//   refs     one reference per element: the MEDIT reference; the MSH
//            physical tag (version 2.2: the first tag when it is not 0,
//            else the elementary tag; version 4.1: the first physical tag of
//            the element's entity, else the entity tag); 0 for VTK.
// The one-matrix forms (type&) give the core's matrix and one type for all
// runs: runs of triangles and quadrangles widen to ET_FACE_MIX, runs of
// linear solids to ET_SOLID_MIX, any other mix gives ET_UNKNOWN; with no
// element the stream form leaves `type` unchanged and the file-name form
// sets it to ET_UNKNOWN. The two-matrix forms give the first two runs
// (rows 0 .. nbr_nodes(type) - 1 of their columns; both matrices are emptied
// first) and the whole coords; types of absent runs are left as they are by
// the stream form and set to ET_UNKNOWN by the file-name form.
//
// Node orders read. A MEDIT file that carries the comment line "# Mesh
// format for MEDIT, generated by OVK Quernfold(R)." and a VTK file whose
// title line is "Generated by OVK Quernfold(R)." come from medit_output and
// vtk_output and are read back to the columns that were written: MEDIT
// elements in the order of the file; VTK tetrahedra from VTK's orientation
// and other kinds in the order of the file, a linear cell followed by a
// poly-vertex cell being the quadratic kind of their joint node count
// (ET_EDGE3, ET_TRIA6, ET_QUAD8, ET_QUAD9, ET_TETRA10, ET_PYRAMID14,
// ET_WEDGE18, ET_HEXA20, ET_HEXA27). The pyramids and wedges that
// medit_output writes as degenerate hexahedra read as ET_HEXA8. Every other
// VTK file is read in the standard order (from_standard_node_order applied);
// every other MEDIT file too, except its prisms, which MEDIT writers (meshio
// among them) list with the base's normal pointing to the top, as the
// library does, and which are read as they are; MSH files are read in
// gmsh's order (tetrahedra mirrored as in the standard order, pyramids,
// prisms and hexahedra as they are, quadratic nodes rearranged). So elements
// that are valid for their writer have positive jacobians and
// shape_qualities here. (meshio keeps linear wedges in memory in gmsh's
// orientation and mirrors them only when it writes VTK.)
//
// Codes of the three readers:
//   0     success
//   -1    null stream, stream in error, file cannot be opened, a read error
//   -2    not this format (MEDIT: neither the binary code 1 nor the keyword
//         MeshVersionFormatted first; VTK: no "# vtk DataFile Version" first
//         line, or a dataset other than UNSTRUCTURED_GRID; MSH: no
//         $MeshFormat first, or a version other than 2.x and 4.1)
//   -3    malformed or truncated record, records that do not match their
//         count, a node number that names no node, an unknown data type
//   -199  storage cannot be allocated
// On every failure all outputs of the core form are empty (bounds too).
// Storage grows with what is read, never with a count that a file states.
// The file-name forms open the file with "rb" and hand it to the stream
// forms, which read from the stream's current position and never close it.

// ---------------------------------------------------------------------------
// MEDIT
// ---------------------------------------------------------------------------

// MEDIT mesh files: the text form (.mesh; MeshVersionFormatted 1 or 2,
// keywords in any case, free white space, "#" comments between sections)
// and the binary form (.meshb; versions 1 to 4 in either byte order, told
// from the text form by its first four bytes). Sections read: Dimension,
// Vertices, Edges, Triangles, Quadrilaterals, Tetrahedra, Pyramids, Prisms,
// Hexahedra, EdgesP2 (ET_EDGE3), TrianglesP2 (ET_TRIA6), QuadrilateralsQ2
// (ET_QUAD9), TetrahedraP2 (ET_TETRA10), HexahedraQ2 (ET_HEXA27), their nodes
// in the standard order. Other keywords (Corners, Ridges,
// Required*, Normals, ...) are skipped: in text up to the next word that
// begins with a letter, in binary to the position the keyword gives.
// Element nodes are numbered from 1; the reading ends at End or at the end
// of the input.
int medit_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
                dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs);
int medit_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs);
int medit_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
                element_type& type);
int medit_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                element_type& type);
int medit_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM1,
                dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);
int medit_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM1,
                dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);

// Range form over the matrices [first, last), types[i] being the
// element_type of *(first + i). coords has 1, 2 or 3 rows. Checks, before
// the file is opened: -2 coords rows not in 1..3; -4 first after last; -5
// last - first != types.size(); -3 a matrix fails check_IDs against its
// type and the number of nodes. -1 when the file cannot be opened.
// Mixed matrices (ET_FACE_MIX, ET_SOLID_MIX) are split into linear shapes
// by node count; empty matrices are dropped. Every element carries the
// 0-based position of its matrix in the range as reference number. Only
// vertex nodes are written; pyramids and wedges become degenerate hexahedra;
// ET_PYRAMID13, ET_WEDGE15, ET_NODE and ET_EDGE_MIX elements are left out.
// -199 when the copy of a mixed matrix cannot be allocated; the split is
// done before the file is opened, so nothing is created then.
int medit_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const* first,
                 dense2D<unsigned> const* last, dense1D<int> const& types);
// The same with settings (exact_coordinates, standard_order) and, when
// `references` is not null, references[i] as the reference of every element
// of matrix i instead of its position.
int medit_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const* first,
                 dense2D<unsigned> const* last, dense1D<int> const& types,
                 writer_settings const& settings, unsigned const* references = nullptr);
// The range form over one matrix (reference 0).
int medit_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                 element_type type);
// The range form over two matrices (references 0 and 1).
int medit_output(char const* name, dense2D<double> const& coords,
                 dense2D<unsigned> const& connectM1, dense2D<unsigned> const& connectM2,
                 element_type type1, element_type type2);
// Reference form: element j gets reference refs[j]; elements whose
// reference is 4294967295 are not written. Returns 0 without opening the
// file when connectM has no entries; -5 when refs.size() != columns; -6 when
// the per-reference matrices cannot be allocated; otherwise the code of the
// range form over one matrix per reference number.
int medit_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                 element_type type, dense1D<unsigned> const& refs);

// Solution files: header "dim 1 size 2" then the values, 8 per line.
// -1 when the file cannot be opened.
int medit_scalar(char const* name, unsigned dim, dense1D<double> const& values);
// The same with settings: standard_order writes the keyword layout of
// current solution readers ("MeshVersionFormatted 2", "Dimension d",
// "SolAtVertices", the count, "1 1", one value a line, "End");
// exact_coordinates the values in their shortest exact text.
int medit_scalar(char const* name, unsigned dim, dense1D<double> const& values,
                 writer_settings const& settings);
// Header "dim rows cols 2", then one line per column (rows x columns =
// components x nodes). -1 when the file cannot be opened.
int medit_vector(char const* name, unsigned dim, dense2D<double> const& vectors);
// tensors: 3 rows (2-D, packed upper triangle) or 6 rows (3-D) x nodes.
// Header "2|3 rows cols 2", one line per column. -1 open failure; -2 other
// row counts (the file is then left empty).
int medit_tensor(char const* name, dense2D<double> const& tensors);

// ---------------------------------------------------------------------------
// VTK legacy unstructured grid
// ---------------------------------------------------------------------------

// VTK legacy unstructured grids (DATASET UNSTRUCTURED_GRID), ASCII or
// BINARY (big-endian): POINTS of float or double; versions before 5 give
// CELLS as one list (int), version 5 and later as OFFSETS and CONNECTIVITY
// (int, vtktypeint32 or vtktypeint64); CELL_TYPES. FIELD and METADATA
// blocks are skipped; the reading ends at POINT_DATA or CELL_DATA. Cell
// types read: 3, 5, 9, 10, 12, 13, 14 (linear), 21, 22, 23, 24, 25, 26, 27,
// 28, 29, 32 (quadratic: ET_EDGE3, ET_TRIA6, ET_QUAD8, ET_TETRA10,
// ET_HEXA20, ET_WEDGE15, ET_PYRAMID13, ET_QUAD9, ET_HEXA27, ET_WEDGE18);
// cells of other types (vertices, poly-vertices, poly-lines, polygons, ...)
// are left out.
int vtk_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
              dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs);
int vtk_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
              dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs);
int vtk_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
              element_type& type);
int vtk_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
              element_type& type);
int vtk_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM1,
              dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);
int vtk_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM1,
              dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);
// Appends the cells of connectM to `cells` (per cell: its node count, then
// its node indices) and their VTK cell type numbers to `cell_types`, and
// adds their number to `ncells`; nothing is cleared first, so several
// matrices can be converted one after the other. Each element gives its
// linear cell (tetrahedra written 0, 1, 3, 2) and, when the matrix has more
// rows than base nodes, a poly-vertex cell (type 2) of the remaining nodes.
// Codes: -1 connectivity fails check_IDs (no bound on node numbers) or has
// fewer rows than the base nodes; -2 type without VTK cell (ET_UNKNOWN,
// ET_NODE, mixed kinds, ET_PYRAMID13, ET_WEDGE15); -199 the lists cannot
// be reserved for the new cells (room for all of them is taken before the
// first is appended, so nothing is appended and ncells is unchanged).
int vtk_convert(dense2D<unsigned> const& connectM, element_type type, unsigned& ncells,
                dense1D<unsigned>& cells, dense1D<unsigned>& cell_types);
// Writes a whole VTK file to `stream` (not closed). coords has 2 or 3 rows
// (2 rows: z written as 0.0). `ncells` cells are read from the start of
// `cells`; writing stops early if `cells` runs out. Codes: -1 null stream;
// -2 coords rows. Writes are not tested.
int vtk_output(FILE* stream, dense2D<double> const& coords, unsigned ncells,
               dense1D<unsigned> const& cells, dense1D<unsigned> const& cell_types);
// Range form: opens the file ("w", -1 on failure), then checks: -2 coords
// rows not 2 or 3; -4 first after last; -5 last - first != types.size(); -3 a
// matrix fails check_IDs against its type and the number of nodes. Mixed
// matrices are split into linear shapes; every part is converted before
// anything is written, so a failing conversion (-1, -2, -199) leaves the
// file empty. The file is closed on every path after a successful open.
int vtk_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const* first,
               dense2D<unsigned> const* last, dense1D<int> const& types);
// The same with settings (every one is taken). With standard_order, kinds
// without a VTK cell (ET_NODE; ET_PYRAMID13, ET_WEDGE15 without
// quadratic_cells) are left out.
int vtk_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const* first,
               dense2D<unsigned> const* last, dense1D<int> const& types,
               writer_settings const& settings);
int vtk_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
               element_type type);
int vtk_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM1,
               dense2D<unsigned> const& connectM2, element_type type1, element_type type2);

// ---------------------------------------------------------------------------
// gmsh MSH
// ---------------------------------------------------------------------------

// gmsh MSH files, versions 2.2 and 4.1, ASCII or binary (either byte order;
// 4.1 with a size_t of 4 or 8 bytes). Coordinate column k holds the node of
// the k-th smallest tag (tags 1..N give column tag - 1), whatever the order
// of the file; a repeated tag is malformed. Element types read: gmsh's
// first- and second-order lines, triangles, quadrangles, tetrahedra,
// pyramids, prisms and hexahedra (types 1 to 14 and 16 to 19); point
// elements (15) are left out, and so are elements of other types in ASCII
// files (binary files with them are malformed). $Entities gives the
// references of version 4.1; $PhysicalNames, $Periodic and every other
// section are skipped.
int msh_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
              dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs);
int msh_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
              dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs);
int msh_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
              element_type& type);
int msh_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
              element_type& type);
int msh_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM1,
              dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);
int msh_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM1,
              dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);

// Writes gmsh MSH version 4.1 ASCII ("4.1 0 8"): $MeshFormat, $Entities,
// $Nodes, $Elements. coords has 1, 2 or 3 rows (dimension x nodes; missing
// coordinates written as 0, so 2-D meshes get z = 0); every node is written,
// column j with tag j + 1, in one node block. Each matrix of the range is
// one geometric entity of its kind's dimension, with tag = its position in
// the range + 1 (no physical tags, no points; the bounding box of every
// entity is that of all nodes); the node block belongs to the first entity
// of the highest dimension (curve 1 when no element is written). One element
// block per matrix, elements tagged 1..m in range order, nodes in gmsh's
// order (the inverse of the one msh_input reads, tetrahedra mirrored).
// ET_FACE_MIX and ET_SOLID_MIX matrices are split into linear shapes by node
// count, one block per shape, all on the matrix's entity; ET_NODE and
// ET_EDGE_MIX matrices and empty ones are left out. Coordinates are written
// as the shortest decimal text that reads back as the same double.
// Codes, in the order checked: -1 null stream or stream in error; -2 coords
// rows not in 1..3; -4 first after last; -5 last - first != types.size();
// -3 a matrix fails check_IDs against its type and the number of nodes;
// -199 the copy of a mixed matrix cannot be allocated (nothing is written
// before these checks pass); -1 the stream reports an error after writing.
int msh_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const* first,
               dense2D<unsigned> const* last, dense1D<int> const& types);
// File-name forms: open the file ("w", -1 on failure), then the stream form
// (a failed check leaves the file empty); -1 also when the file cannot be
// flushed. The one- and two-matrix forms are the range form over one or two
// matrices (entities 1 and 2).
int msh_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const* first,
               dense2D<unsigned> const* last, dense1D<int> const& types);
int msh_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
               element_type type);
int msh_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM1,
               dense2D<unsigned> const& connectM2, element_type type1, element_type type2);
// Physical groups of a range: physical[i] is the physical tag of matrix i
// (0: none; `physical` null: no matrix has one), written on its entity;
// entity[i] (>= 1) is the tag of the entity of matrix i (`entity` null:
// its position + 1); the matrices of one dimension and entity tag share one
// entity, whose physical tags are theirs (distinct, in order of first
// appearance); `names` (may be null) go to a $PhysicalNames section
// (dimension, tag, quoted name).
struct msh_groups {
  const unsigned* physical = nullptr;
  const std::vector<physical_name>* names = nullptr;
  const unsigned* entity = nullptr;
};
// The range form with physical groups; the same codes.
int msh_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const* first,
               dense2D<unsigned> const* last, dense1D<int> const& types, msh_groups const& groups);

// ---------------------------------------------------------------------------
// EnSight
// ---------------------------------------------------------------------------

// Range form: one coordinates block ("node id given", node j numbered j + 1;
// 1 to 3 rows, missing coordinates written as 0.0) and one part per matrix,
// part number = position in the range + 1 (empty matrices and kinds without
// an EnSight name, such as the mixed kinds and pyramids, are skipped but use
// up their number). Opens the file first ("w", -1); then -2 coords rows not
// in 1..3; -4 first after last; -5 last - first != types.size(); -3 a matrix
// fails check_IDs (no node bound). A failed check leaves the file empty.
int ensight_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const* first,
                   dense2D<unsigned> const* last, dense1D<int> const& types);
int ensight_output(char const* name, dense2D<double> const& coords,
                   dense2D<unsigned> const& connectM, element_type type);
int ensight_output(char const* name, dense2D<double> const& coords,
                   dense2D<unsigned> const& connectM1, dense2D<unsigned> const& connectM2,
                   element_type type1, element_type type2);

// ---------------------------------------------------------------------------
// Whole meshes by file name: the format table
// ---------------------------------------------------------------------------
//
// One table names every format, its extensions, its reader and its writer,
// so that programs (the command-line tool, the Python package) choose a
// format from a file name and read or write a whole mesh with one call.

// mesh_block and mesh_data: quernfold/mesh.h.

struct write_options {
  bool binary = false;  // STL: the binary form instead of text
  // VTK XML with `binary`: the appended data compressed (zlib) instead of raw.
  bool compressed = false;
};

// What a writer does with the elements of one kind.
struct element_fate {
  bool written = true;         // false: the elements are left out of the file
  const char* loss = nullptr;  // what the file loses, in words (nullptr: nothing)
};

struct mesh_format {
  const char* name;        // e.g. "NASTRAN bulk data"
  const char* extensions;  // lower case, space-separated, e.g. ".nas .bdf .dat"
  // Reads the whole file; the format's own codes (see above), or 0. null: the
  // format is not read. `threads` (>= 1) parse the records of the text forms
  // that split into lines; the outputs and codes are those of 1 thread.
  int (*read)(const char* path, mesh_data& mesh, unsigned threads);
  // Writes the whole mesh to exactly `path` (and its companion); elements
  // whose fate is "left out" are skipped. null: the format is not written.
  int (*write)(const char* path, const mesh_data& mesh, const write_options& opts);
  // Words for a code of `read` (never null for a readable format).
  const char* (*read_message)(int code);
  // What `write` does with elements of a kind.
  element_fate (*fate)(element_type type);
  // A second file written beside the target with this extension in place of
  // the target's (EnSight: ".case", which names the geometry file), or
  // nullptr.
  const char* companion;
  // True when the writer stores each element's reference (mesh_block::refs)
  // and the reader gives it back (NASTRAN, FEMAP); MEDIT stores the block
  // position instead.
  bool keeps_refs;
  // The value a coordinate x reads back as, for a format whose writer
  // cannot hold every double (STL: float32; EnSight: 6 significant digits);
  // nullptr when the written text reads back exact.
  double (*written_value)(double x);
  // With written_value: the fraction of the mesh's size (bounding-box
  // diagonal) within which the written coordinates are meant to stay
  // (write_plan counts the nodes moved further); 0: none is meant.
  double size_fraction = 0.0;
};

// Codes of read_mesh and write_mesh beyond those of the format functions.
inline constexpr int mesh_not_a_file = -301;      // path is not a regular file
inline constexpr int mesh_unknown_format = -302;  // no format has the extension
inline constexpr int mesh_not_supported = -303;   // the format has no reader / writer
inline constexpr int mesh_missing_node = -304;    // an element names a node that does not exist
inline constexpr int mesh_invalid_block = -305;   // writer: a block that is not well formed

// The table: `count` receives the number of formats.
const mesh_format* mesh_formats(std::size_t& count);
// The format of the file name's extension (case-insensitive), or nullptr.
const mesh_format* find_mesh_format(const char* path);

// Reads a whole mesh; `mesh` is emptied first (its coordinates get storage of
// their own, so a matrix sharing the old storage is left alone). Codes, in
// the order checked:
//   mesh_unknown_format, mesh_not_supported (mesh empty);
//   -1 the path cannot be examined (missing); mesh_not_a_file (a directory,
//   a device) -- the file is not opened then;
//   the reader's code (mesh as the reader left it);
//   mesh_missing_node: an element names a node index not below the number
//   of nodes (mesh kept as read; find_missing_node names it).
// *format (when not null) receives the format found, or nullptr. `threads`
// parse the file (0: the machine's cores); every output and code is the same
// for every count.
int read_mesh(const char* path, mesh_data& mesh, const mesh_format** format = nullptr,
              unsigned threads = 1);

// The first element, block by block and column by column, naming a node that
// does not exist: block, element (column of the block), slot (row) and the
// node index. False when every node exists.
struct node_reference {
  std::size_t block = 0;
  std::size_t element = 0;
  unsigned slot = 0;
  unsigned node = 0;
};
bool find_missing_node(const mesh_data& mesh, node_reference& where);

// Writes a whole mesh so that the target is either replaced whole or left as
// it was: the file (and its companion) is written in a new directory beside
// the target and renamed into place on success; on failure nothing new is
// left. Codes: mesh_unknown_format, mesh_not_supported; mesh_invalid_block
// when a block is ET_UNKNOWN or a mixed kind, has elements but not
// nbr_nodes(type) rows, names a node that does not exist or has refs of
// another size than its columns; -1 the
// temporary directory cannot be made or a rename fails; otherwise the
// writer's code.
int write_mesh(const char* path, const mesh_data& mesh, const write_options& opts);

// The same replacement for any writer: `write` receives the name to write
// (same file name, in a new directory beside `path`) and returns 0 on
// success; every file it leaves there is renamed beside `path`, the one of
// that name last. Returns the writer's code, or -1 (nothing written) when the
// directory cannot be made or a rename fails.
int replace_file(const char* path, const std::function<int(const char* temporary)>& write);

// Words for a code of read_mesh (reading true) or write_mesh / replace_file
// (reading false), with the format's own words for its reader's codes
// (`format` may be nullptr). Never null.
const char* mesh_file_message(const mesh_format* format, int code, bool reading);

// ---------------------------------------------------------------------------
// VTK XML unstructured grids (.vtu)
// ---------------------------------------------------------------------------
//
// Files of type UnstructuredGrid, version 1.0, little-endian, UInt64 headers.
// Points are Float64 (3 components; 2-row coordinates get z = 0), cells are
// Int64 connectivity and offsets and UInt8 types, in VTK's node order (the
// standard order above: tetrahedra and wedges mirrored, so elements positive
// here are positive in VTK). Cells of a mesh_data are written block after
// block. VTK cell types: ET_NODE 1, ET_EDGE2 3, ET_TRIA3 5, ET_QUAD4 9,
// ET_TETRA4 10, ET_HEXA8 12, ET_WEDGE6 13, ET_PYRAMID5 14, ET_EDGE3 21,
// ET_TRIA6 22, ET_QUAD8 23, ET_TETRA10 24, ET_HEXA20 25, ET_WEDGE15 26,
// ET_PYRAMID13 27, ET_QUAD9 28, ET_HEXA27 29, ET_WEDGE18 32 (ET_PYRAMID14
// has no VTK cell).

// A named data array: `components` values per tuple, tuples one after the
// other (one tuple per node for point data, per element for cell data).
struct vtu_array {
  enum value_type { float64, int64, uint8 };
  std::string name;
  value_type type = float64;  // the type written (values are converted)
  unsigned components = 1;
  std::vector<double> values;
};

struct vtu_fields {
  std::vector<vtu_array> point_data;
  std::vector<vtu_array> cell_data;
};

// How the data arrays are stored: ascii (inline text), raw (appended raw
// binary), zlib (appended raw binary, compressed by zlib in blocks of 32768
// bytes, compressor="vtkZLibDataCompressor").
enum class vtu_encoding { ascii, raw, zlib };

// Codes of the VTK XML functions beyond 0, -1 (cannot open, read or write),
// -3 (malformed file) and no_memory.
inline constexpr int vtu_bad_mesh = -2;     // writer: a block VTK has no cell for, mixed,
                                            // malformed, or coords rows not 2 or 3
inline constexpr int vtu_bad_fields = -4;   // writer: an array of the wrong size or empty name
inline constexpr int vtu_not_vtu = -5;      // reader: not an UnstructuredGrid VTK XML file
inline constexpr int vtu_unsupported = -6;  // reader: big-endian, another compressor,
                                            // several pieces

// Writes `mesh` and `fields` to `name` (the whole file is assembled in
// memory, then written). Codes: vtu_bad_mesh, vtu_bad_fields (checked before
// the file is opened, so nothing is created then); -1; no_memory.
int vtu_output(const char* name, const mesh_data& mesh, const vtu_fields& fields,
               vtu_encoding encoding);

// Reads an UnstructuredGrid file of one piece: ascii, binary (base64) or
// appended (raw or base64) data, uncompressed or zlib-compressed, UInt32 or
// UInt64 headers, any integer or float type. Coordinates 3 x points; one
// block per kind in order of first appearance, cells of each kind in file
// order, nodes brought into the library's order; cells of other types are
// left out. Point data are read per point, cell data per element of the
// blocks (block after block), the values converted to double and typed as
// written (float64 for floats, uint8 for UInt8, int64 otherwise).
// Codes: -1; vtu_not_vtu; vtu_unsupported; -3; no_memory. Outputs emptied
// first and on failure.
int vtu_input(const char* name, mesh_data& mesh, vtu_fields& fields);

// The element kinds vtu_output writes.
bool vtu_writes(element_type type);

// ---------------------------------------------------------------------------
// Partitioned gmsh MSH files (written by partition.h)
// ---------------------------------------------------------------------------
//
// msh_input reads the $PartitionedEntities of a version 4.1 file: an element
// on a partitioned entity gets as reference the entity's (first) partition,
// 1-based, instead of a physical or entity tag. This holds for gmsh's own
// partitioned and split files (gmsh -part N, -part_split) and for those of
// msh_partitioned_output. $GhostElements is skipped: every element is read
// once, on the partition that owns it.

}  // namespace quernfold
}  // namespace ovk
