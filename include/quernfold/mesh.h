// Whole meshes: the mesh value and the operations that programs apply to a
// whole file's mesh (the command-line tool and the Python package call these
// and nothing of their own): element kinds by meshio's names and node order,
// combining blocks, cleaning, the boundary, statistics, the size map, and
// reading and writing with the format found from the file's content.
//
// Shapes: coordinates are dim x nodes (rows x columns), connectivities
// nbr_nodes(type) x elements, 0-based node indices in the library's node
// order. Maps run from old to new (~0U: removed). Functions return 0 or a
// negative code (the codes below, a library function's own code, or
// no_memory); outputs on failure are stated per function. Nothing is printed
// and no state is kept.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

struct mesh_format;    // io.h
struct write_options;  // io.h

// ---------------------------------------------------------------------------
// The mesh value
// ---------------------------------------------------------------------------

// Elements of one kind (never a mixed kind).
struct mesh_block {
  element_type type = ET_UNKNOWN;
  // nbr_nodes(type) x elements, 0-based node indices in the library's node
  // order.
  dense2D<unsigned> connectM;
  // One reference per element (NASTRAN and FEMAP property identifier, MSH
  // physical tag), or empty when the file has none. The NASTRAN and FEMAP
  // writers write them as property identifiers (for a block without: its
  // entity tags, else block position + 1), MEDIT as element references (its
  // entity tags, else the block position) and MSH as physical tags (one
  // entity per block and reference); the other formats keep none.
  dense1D<unsigned> refs;
  // One geometric entity tag per element (gmsh's elementary tag), or empty
  // when the file has none. MSH files hold them: the MSH writer puts the
  // elements of one dimension and tag on one entity, whose physical tags
  // are the refs of its elements; an entity tag that elements of different
  // refs share is kept for the first ref met and the others get a tag of
  // their own (one per tag and ref), so that every ref reads back.
  dense1D<unsigned> entities{};  // {}: a block may be given as {type, connectM, refs}
};

// The name of a reference (a physical group): its dimension and tag.
struct physical_name {
  unsigned dimension = 0;
  unsigned tag = 0;
  std::string name;
};

// Values per node: components x nodes.
struct point_field {
  std::string name;
  dense2D<double> values;
};

// Values per element: one components x elements matrix per block, in block
// order.
struct cell_field {
  std::string name;
  std::vector<dense2D<double>> values;
};

// Records of a file that a reader passed over: how many of one name
// ("CTETRA") for one reason ("blank property field").
struct left_out_records {
  std::string record;
  const char* why = nullptr;
  std::size_t count = 0;
};

struct mesh_data {
  // dim x nodes (2 or 3 rows), in the units of the file.
  dense2D<double> coords;
  // One block per kind, in order of first appearance in the file (OBJ:
  // triangles, then quadrangles).
  std::vector<mesh_block> blocks;
  // Optional: names of references, fields per node and per element. The
  // operations below carry fields along (clean maps them); files keep them
  // only where a format holds them.
  std::vector<physical_name> physical_names;
  std::vector<point_field> point_fields;
  std::vector<cell_field> cell_fields;
  // Filled by reading: the records of the file left out (empty when every
  // record was read or the reader does not count them).
  std::vector<left_out_records> left_out;
  // Filled by a failed read: the line (from 1) of the malformed record, or
  // 0 when the reader does not say.
  std::size_t malformed_line = 0;
  // Number of elements over every block.
  std::size_t elements() const;
};

// Codes of the operations below beyond those of the functions they call.
inline constexpr int mesh_no_faces = -311;       // no element of dimension 1 to 3
inline constexpr int mesh_bad_tolerance = -312;  // tolerance negative, infinite or NaN
inline constexpr int mesh_bad_parameter = -313;  // exponent < 0 or infinite, gradation < 1 (or NaN)
inline constexpr int mesh_nothing_written = -314;  // the format holds none of the elements
inline constexpr int mesh_bad_field = -315;        // a field of another size than its nodes / cells
inline constexpr int mesh_nothing_read = -316;     // the file gave no node and no element

// ---------------------------------------------------------------------------
// Element kinds by meshio's names and node order
// ---------------------------------------------------------------------------

// meshio's cell-type name of a kind ("triangle", "tetra10", ...); nullptr
// for ET_UNKNOWN and the mixed kinds.
const char* cell_name(element_type type);
// The kind of a meshio cell-type name; ET_UNKNOWN for any other name.
element_type cell_kind(const char* name);
// The kinds that have a name: their number, and kind k of them (ET_UNKNOWN
// past the last).
std::size_t named_kind_count();
element_type named_kind(std::size_t k);

// The largest number of nodes of a named kind (HEXA27).
inline constexpr unsigned kMaxCellNodes = 27;
// meshio's node order: library position k of a `type` column takes meshio
// position from[k] (from has nbr_nodes(type) entries). meshio keeps the
// standard (VTK) order of to_standard_node_order, except the linear wedge,
// which it keeps with the base's normal towards the top, as the library
// does. Returns false (from untouched) when the two orders are the same.
bool meshio_order(element_type type, unsigned from[kMaxCellNodes]);
// Every column of `cells` from meshio's order into the library's, or back
// (to_meshio true). Codes of to_standard_node_order; nothing changes on
// failure.
int reorder_meshio(dense2D<unsigned>& cells, element_type type, bool to_meshio);

// ---------------------------------------------------------------------------
// Views and combinations of blocks
// ---------------------------------------------------------------------------

// Largest element dimension over the non-empty blocks; 0 without elements.
unsigned mesh_dimension(const mesh_data& mesh);
// The linear kind whose nodes lead the columns of `type` (ET_NODE for
// ET_NODE, ET_UNKNOWN for kinds without one).
element_type linear_kind(element_type type);
// The block's vertex nodes as a matrix of its linear kind (nbr_base_nodes x
// elements; shares storage when the block is linear). False when memory
// runs out.
bool vertex_matrix(const mesh_block& block, dense2D<unsigned>& out);

// Every element of one dimension in one matrix, vertex nodes only, block
// after block: ET_SOLID_MIX (8 rows) for solids, ET_FACE_MIX (4 rows) for
// faces, ET_EDGE2 for edges, ET_NODE for points; unused slots ~0U.
struct combined_elements {
  dense2D<unsigned> connect;
  element_type type = ET_UNKNOWN;
};
// no_memory (out empty) when the matrix cannot be had.
int combine_blocks(const mesh_data& mesh, unsigned dimension, combined_elements& out);

// ---------------------------------------------------------------------------
// Clean-up
// ---------------------------------------------------------------------------

struct clean_report {
  int merged = 0;                    // nodes merged into another
  std::size_t elements_removed = 0;  // elements naming a node twice after the merge
  std::size_t nodes_removed = 0;     // nodes no element uses any more (merged ones included)
  dense1D<unsigned> node_map;        // old node -> new node (~0U: removed)
  // Per block: old element -> new element (~0U: removed).
  std::vector<dense1D<unsigned>> element_maps;
};
// Merges the nodes within `tol` of each other (a distance in the units of
// the coordinates, >= 0; 0 merges coincident nodes only), removes the
// elements that name a node twice and then the nodes no element uses, and
// writes the result to `out` (storage of its own; refs, entities and fields follow
// their nodes and elements; `in` is not changed). Codes: mesh_bad_tolerance,
// mesh_bad_field, no_memory, the merge's codes; `out` is then empty.
int clean_mesh(const mesh_data& in, double tol, mesh_data& out, clean_report& report);
// The same clean-up with the merge on `threads` threads (0: the machine's
// cores; 1 starts none): the same mesh and report, bit for bit, for every
// count.
int clean_mesh(const mesh_data& in, double tol, mesh_data& out, clean_report& report,
               unsigned threads);
// True when every point field has one column per node and every cell field
// one matrix per block, of one column per element and the same rows in
// every block.
bool mesh_fields_fit(const mesh_data& mesh);
// Removes the nodes no element uses and renumbers the blocks (point fields
// follow). Returns the number removed, or a code of simplify; `node_map`
// receives old node -> new node (empty when nothing was examined).
int drop_unused_nodes(mesh_data& mesh, dense1D<unsigned>& node_map);

// ---------------------------------------------------------------------------
// Boundary
// ---------------------------------------------------------------------------

// The boundary faces of the elements of the mesh's dimension, taken
// together (a face between two kinds is interior; a face shared by three
// elements or more is interior too), as blocks on the same coordinates: end
// points (ET_NODE) of curves, edges (ET_EDGE2) of surfaces, triangles then
// quadrangles of solids. Quadratic kinds by their vertex nodes. Faces point
// outward: the right-hand normal of a face of a valid solid points out of
// its element, so a closed skin encloses a positive volume (the opposite of
// the library's face functions, get_mesh_boundaries); the edges of a valid
// surface run with its turn (interior on their left).
// `skin` keeps the coordinates of `mesh` (shared; no columns when the mesh
// is closed); drop_unused_nodes trims them. Codes: mesh_no_faces,
// no_memory, the codes of get_neighbors and get_mesh_boundaries; `skin` is
// then empty.
int mesh_boundary(const mesh_data& mesh, mesh_data& skin);

// ---------------------------------------------------------------------------
// Statistics
// ---------------------------------------------------------------------------

// Count, smallest, largest and sum of a set of values.
struct value_range {
  std::size_t count = 0;
  double min = 0, max = 0, sum = 0;
  void add(double v);
  double mean() const;
};

// One block's elements measured on their vertex nodes.
struct kind_statistics {
  element_type type = ET_UNKNOWN;
  std::size_t elements = 0;
  value_range quality;    // shape qualities (no count for ET_NODE)
  std::size_t worst = 0;  // element of the lowest quality (when quality.count)
  std::size_t nonpositive_jacobians = 0;
};

struct mesh_statistics {
  std::size_t nodes = 0, dimension = 0, space_dimension = 0;
  bool has_box = false;           // false without nodes
  double box[2][3] = {{0}, {0}};  // lowest and highest corner (z 0 for 2-D)
  // Of the elements of the mesh's dimension taken together, as
  // mesh_boundary takes them (false without elements of dimension >= 1).
  bool has_topology = false;
  std::size_t boundary_faces = 0, parts = 0;
  std::size_t non_manifold_faces = 0;  // distinct faces shared by three elements or more
  std::size_t coincident_nodes = 0;    // used nodes exactly at another used node of lower rank
  // Of the elements of the mesh's dimension (solids of a volume mesh, not
  // its skin or lines); per kind in `blocks`.
  std::size_t nonpositive_jacobians = 0;
  value_range edge_length;                         // distinct edges of the vertex nodes
  value_range quality;                             // shape qualities, mesh's dimension
  std::size_t worst_block = 0, worst_element = 0;  // of the lowest quality among those
  std::vector<kind_statistics> blocks;             // one per block
};
// Measures the whole mesh. Codes: no_memory and the measuring functions'
// codes; `stats` then holds what was measured before.
int measure_mesh(const mesh_data& mesh, mesh_statistics& stats);
// The same measures on `threads` threads (0: the machine's cores; 1 starts
// none): the same statistics, bit for bit, for every count. Codes as above,
// of the first failing step in the order topology, coincident nodes,
// qualities and Jacobians, edges; `stats` then holds an unstated part.
int measure_mesh(const mesh_data& mesh, mesh_statistics& stats, unsigned threads);
// Adds the kind statistics of block b (stats.blocks[b], measured) to the
// totals when its kind is of stats.dimension: counts, sum, range, Jacobians,
// and the worst element when its minimum is below the totals' (ties keep the
// earlier block). Called block after block, in block order.
void add_kind_totals(mesh_statistics& stats, std::size_t b);

// ---------------------------------------------------------------------------
// Size map
// ---------------------------------------------------------------------------

// An isotropic size per node (one column per node): the power mean with
// exponent p (>= 0; 0 the shortest) of the lengths of the edges at the node
// of the elements of the mesh's dimension, then of lower dimensions for the
// nodes only they hold (quadratic kinds by their vertex nodes; nodes on no
// edge get 0). With a finite `gradation` B (>= 1) the sizes then shrink
// until they grow by at most a factor B per unit of length along every edge
// of the top-dimension elements; `changed` receives the nodes it changed (0
// without gradation). Last, the other nodes of quadratic elements: a
// mid-edge node takes the mean of its edge's end sizes, a face or body node
// the mean of its element's vertex sizes. Codes: mesh_bad_parameter, mesh_no_faces, no_memory,
// the codes of metrics_gen_iso and bound_metric_gradations.
int mesh_size_map(const mesh_data& mesh, double p, double gradation, dense1D<double>& sizes,
                  int& changed);
// The same size map with the sizes from the edges found on `threads`
// threads (0: the machine's cores; 1 starts none), each folding the edges
// at its own range of nodes in element order: the same sizes, bit for bit,
// for every count. The gradation bound stays on one thread (a queue of
// nodes whose every step depends on the one before).
int mesh_size_map(const mesh_data& mesh, double p, double gradation, dense1D<double>& sizes,
                  int& changed, unsigned threads);

// ---------------------------------------------------------------------------
// Measures: sizes of cells, normals, closure and winding, parts, edges,
// triangulation
// ---------------------------------------------------------------------------
//
// Every measure reads a block's vertex (corner) nodes: quadratic kinds are
// measured as their linear kind. Point blocks (ET_NODE) have no size.

// Code of the measures beyond the library's: the mesh has no element of the
// dimension the operation needs (a surface for outline).
inline constexpr int mesh_wrong_dimension = -317;

// Signed size of every element of one block, in column order (sizes emptied
// first): lines their length; triangles and quadrangles their area (with 2
// coordinate rows signed, positive counter-clockwise; with 3 never
// negative; a quadrangle's area is half the cross product of its diagonals);
// solids their volume, positive in the library's orientation (that of
// shape_qualities), computed from the faces with every quadrangle face cut
// into four triangles at its centre, so exact for planar faces. Units: the
// coordinates' to the power of the dimension. ET_NODE gives zeros. Codes:
// no_memory (sizes empty).
int cell_sizes(const dense2D<double>& coords, const mesh_block& block, dense1D<double>& sizes);
// The same on `threads` threads (0: the machine's cores; 1 starts none),
// each sizing its own range of columns: the same sizes for every count.
int cell_sizes(const dense2D<double>& coords, const mesh_block& block, dense1D<double>& sizes,
               unsigned threads);

// Unit normal of every triangle (3 x triangles, right-hand rule over nodes
// 0-1-2; coordinates with 2 rows read z = 0; a triangle without area gets
// the zero vector). Codes: -2 triangles not 3 x n or naming a node past
// coords.cols() (normals empty); no_memory.
int face_normals(const dense2D<double>& coords, const dense2D<unsigned>& triangles,
                 dense2D<double>& normals);
// Area-weighted unit normal of every node (3 x nodes): the sum of the
// cross products of the triangles at the node, normalised; nodes on no
// triangle (or whose sum vanishes) get the zero vector. Codes as
// face_normals.
int vertex_normals(const dense2D<double>& coords, const dense2D<unsigned>& triangles,
                   dense2D<double>& normals);

// Closure and winding of the elements of the mesh's dimension, taken
// together (a facet is an end point of a curve, an edge of a surface, a
// face of a solid, with the sense its element gives it).
struct facet_report {
  unsigned dimension = 0;     // of the elements examined (0: none)
  std::size_t facets = 0;     // distinct facets
  std::size_t open = 0;       // facets of one element (boundary)
  std::size_t shared = 0;     // facets of exactly two elements
  std::size_t crowded = 0;    // facets of three elements or more
  std::size_t misturned = 0;  // facets of two elements that give it the same sense
  // Every facet of exactly two elements (curves and surfaces: the mesh is
  // closed), or, for solids, every face of at most two elements and the
  // boundary faces themselves closed (every edge of them on two faces).
  bool watertight = false;
  // No facet of two elements met in the same sense (each pair of neighbours
  // turns alike).
  bool winding_consistent = false;
};
// Codes: mesh_no_faces (no element of dimension 1 to 3), no_memory.
int check_facets(const mesh_data& mesh, facet_report& report);

// The parts of a mesh: elements of every block joined when they share a
// node. part[k] is the part of node k (~0U for nodes no element uses);
// parts are numbered by their lowest node. Codes: no_memory (part empty).
int node_parts(const mesh_data& mesh, dense1D<unsigned>& part, std::size_t& count);
// The same on `threads` threads (0: the machine's cores; 1 starts none),
// each joining the nodes of its own range of every block's columns, the
// sets then joined: the same parts for every count.
int node_parts(const mesh_data& mesh, dense1D<unsigned>& part, std::size_t& count,
               unsigned threads);
// One mesh per part, in part order: the part's nodes (in their order) and
// its elements (in their block and column order; blocks without one of its
// elements left out), refs following. Fields are not carried. Codes:
// no_memory (parts empty).
int split_parts(const mesh_data& mesh, std::vector<mesh_data>& parts);
// The same with the parts found on `threads` threads (node_parts): the same
// meshes for every count.
int split_parts(const mesh_data& mesh, std::vector<mesh_data>& parts, unsigned threads);

// The distinct edges (2 x edges, (smaller, larger), ascending) of the vertex
// nodes of every block of dimension 1 to 3 (no diagonals). Codes: no_memory.
int mesh_edges(const mesh_data& mesh, dense2D<unsigned>& edges);
// The same on `threads` threads (0: the machine's cores; 1 starts none),
// each taking the edges of its own range of every block's columns, then
// merged in order: the same edges for every count.
int mesh_edges(const mesh_data& mesh, dense2D<unsigned>& edges, unsigned threads);
// The boundary edges of a surface (a mesh of dimension 2) as one ET_EDGE2
// block on the same coordinates (as mesh_boundary). Codes:
// mesh_wrong_dimension, the codes of mesh_boundary; outline then empty.
int mesh_outline(const mesh_data& mesh, mesh_data& outline);

// Named quality measures of every element of one block (values emptied
// first, one per column), by its corner nodes:
//  - shape: shape_qualities (for simplices 2 sqrt(3) r / hmax and
//    2 sqrt(6) r / hmax, r the inradius, hmax the longest edge);
//  - aspect_ratio: longest edge / shortest edge (>= 1; 1 for every ideal
//    kind; infinity with an edge of length 0);
//  - radius_ratio: d r / R for triangles (d = 2) and tetrahedra (d = 3), R
//    the circumradius (1 equilateral, 0 flat); NaN for other kinds;
//  - min_angle: the smallest corner angle of a face, or the smallest
//    dihedral angle between two faces of a solid sharing an edge, in
//    degrees (faces of solids by their Newell normal); NaN for lines;
//  - scaled_jacobian: the smallest determinant of the unit edge vectors at
//    a corner, scaled to 1 for the ideal element (positive for valid
//    elements in the library's orientation, negative when inverted; faces
//    in 3-D signed by their normal); triangles, quadrangles, tetrahedra,
//    wedges and hexahedra, NaN for other kinds.
// Codes: no_memory (values empty).
enum class quality_measure { shape, aspect_ratio, radius_ratio, min_angle, scaled_jacobian };
// A measure of one value per element (shape_qualities and jacobians are of
// this form).
using element_measure = int (*)(const dense2D<double>&, const dense2D<unsigned>&, element_type,
                                dense1D<double>&);
// `measure` of the elements of connectM on `threads` threads (0: the
// machine's cores; 1 calls it once), each measuring a copy of its own range
// of columns: the same values (one per column), bit for bit, and the code
// of the first range that fails (the whole call's code; values then
// empty).
int measure_elements(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                     element_type type, element_measure measure, dense1D<double>& values,
                     unsigned threads);
int cell_qualities(const dense2D<double>& coords, const mesh_block& block, quality_measure measure,
                   dense1D<double>& values);
// The same on `threads` threads (0: the machine's cores; 1 starts none),
// each measuring its own range of columns: the same values, bit for bit,
// for every count.
int cell_qualities(const dense2D<double>& coords, const mesh_block& block, quality_measure measure,
                   dense1D<double>& values, unsigned threads);

// Triangles and tetrahedra in place of every other face and solid kind:
// each quadrangle (corners) is cut along the diagonal through its lowest
// node number; a pyramid into two tetrahedra on its base cut so; a wedge or
// hexahedron into tetrahedra joining the triangles of its faces (quadrangle
// faces cut so) to one new node at its centroid, appended to the
// coordinates. Faces shared by two elements are cut alike on both sides, so
// the result conforms. Tetrahedra are positive when their element is.
// Quadratic kinds by their corners; lines and points stay as they are (by
// their corners). One block per block, in order, refs following (one per
// piece); fields are not carried. Codes: no_memory (out empty).
int triangulate_mesh(const mesh_data& mesh, mesh_data& out);

// ---------------------------------------------------------------------------
// Files: reading with the format found from the content, writing checked
// ---------------------------------------------------------------------------

// The readable format the first bytes of the file show (gmsh MSH, VTK,
// MEDIT text or binary, STL text or binary, NASTRAN, FEMAP, OBJ), or
// nullptr when they show none (or the file cannot be read).
const mesh_format* detect_mesh_format(const char* path);

// True when the file is in the binary form of its format (binary STL,
// MEDIT .meshb, binary MSH, BINARY VTK legacy, VTK XML with binary or
// appended data); false for text and for what cannot be read.
bool is_binary_mesh_file(const char* path);
// True when the file's data are compressed (VTK XML with a compressor).
bool is_compressed_mesh_file(const char* path);

struct read_report {
  const mesh_format* format = nullptr;  // the format read (or tried), or nullptr
  bool from_content = false;            // true: chosen from the content, not the extension
  bool binary = false;                  // the file was in a binary form (is_binary_mesh_file)
};
// True when writing `format` can choose between a text and a binary form
// (write_options::binary): STL and VTK XML.
bool has_binary_form(const mesh_format* format);
// Reads a whole mesh as read_mesh does (same codes, same state on failure),
// but with the format the content shows when the extension names no
// readable format or another format than the content shows; with `as` (a
// readable format of the table), in that format whatever the name and
// content. A file that gives neither a node nor an element is
// mesh_nothing_read (mesh empty), so that nothing unreadable passes as a
// mesh.
// `threads` parse the file (0: the machine's cores; 1, the default, starts
// no thread); the mesh and the codes are the same for every count.
int load_mesh(const char* path, mesh_data& mesh, read_report& report,
              const mesh_format* as = nullptr, unsigned threads = 1);

// What a writer does with one block that it cannot hold whole.
struct block_loss {
  std::size_t block = 0;
  bool written = true;         // false: left out of the file
  const char* loss = nullptr;  // in words (the format's)
};
struct write_plan {
  const mesh_format* format = nullptr;  // the format of the extension, or nullptr
  std::vector<block_loss> losses;       // blocks with elements that lose something
  std::size_t kept = 0;                 // elements the file will hold
  // For a format that cannot hold every double (mesh_format::written_value):
  // used nodes that the written coordinates make coincide with another used
  // node, and elements whose Jacobian they make non-positive, beyond those
  // the mesh already has (0 for the other formats).
  std::size_t coincident_nodes = 0, inverted_elements = 0;
  // For a format with mesh_format::size_fraction: the nodes that the
  // written coordinates move by more than that fraction of the diagonal of
  // the mesh's bounding box, and the largest move as a fraction of that
  // diagonal (0 for the other formats).
  std::size_t imprecise_nodes = 0;
  double largest_move = 0.0;
};
// The size_fraction of the formats that write coordinates in fields of
// fixed width with as many digits as fit (NASTRAN's GRID*).
inline constexpr double kWrittenTolerance = 1e-9;
// What writing `mesh` to `path` would keep and lose, before anything is
// written (the coordinates are rounded as the format writes them and the
// result measured). Codes: mesh_unknown_format, mesh_not_supported (no
// writer), mesh_nothing_written (the mesh has elements and the format holds
// none), no_memory and measure_mesh's codes; the plan is filled as far as
// known. Then write_mesh writes it.
int plan_mesh_write(const char* path, const mesh_data& mesh, write_plan& plan);
// The same plan with the rounded mesh measured on `threads` threads (0: the
// machine's cores; 1 starts none): the same plan for every count.
int plan_mesh_write(const char* path, const mesh_data& mesh, write_plan& plan, unsigned threads);

}  // namespace quernfold
}  // namespace ovk
