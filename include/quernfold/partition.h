// Partitioning for distributed solvers: element graphs in compressed sparse
// row form, k-way partitions of the face-dual graph (METIS), and the split of
// a mesh into one mesh per part (owned elements, an optional ghost layer,
// global numbers, node owners, shared-node lists) with its exact inverse.
//
// Element numbering. The elements of a mesh_data are numbered block after
// block, column by column: element e of block b is e = (elements of blocks
// 0 .. b-1) + column. Every graph, part list and global element id below uses
// this numbering; node numbers are coordinates columns.
//
// Codes: 0 on success, or one of the named codes below, or no_memory (-199).
// On failure every output is empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "quernfold/io.h"

namespace ovk {
namespace quernfold {

// ---------------------------------------------------------------------------
// Graphs
// ---------------------------------------------------------------------------

// A graph in compressed sparse row form, METIS's layout: the neighbours of
// vertex v are adjncy[xadj[v]] .. adjncy[xadj[v + 1] - 1], ascending, never v
// itself, each once. xadj has vertices + 1 entries (xadj[0] = 0); the graph
// is symmetric (u lists v exactly when v lists u). Offsets are 64-bit, vertex
// numbers 32-bit signed as METIS's idx_t, so a graph holds at most
// 2^31 - 1 vertices.
struct csr_graph {
  std::vector<std::int64_t> xadj;
  std::vector<std::int32_t> adjncy;
  std::size_t vertices() const { return xadj.empty() ? 0 : xadj.size() - 1; }
  std::size_t edges() const { return adjncy.size() / 2; }  // undirected edges
};

// Codes of this header beyond no_memory.
inline constexpr int partition_bad_type = -401;        // a kind without faces or a malformed block
inline constexpr int partition_too_large = -402;       // more than METIS's 32-bit idx_t can hold
inline constexpr int partition_bad_parts = -403;       // parts 0, or a part number not below parts
inline constexpr int partition_bad_weights = -404;     // weights not one positive value per element
inline constexpr int partition_metis_failed = -405;    // METIS returned an error
inline constexpr int partition_bad_split = -406;       // split: part list size, ghost layers > 1
inline constexpr int partition_bad_parts_list = -407;  // assemble: parts that do not fit together

// Face-dual graph: vertices are elements, joined when they share a face (its
// vertex nodes, in any order): an end node for edges, an edge for triangles
// and quadrangles, a triangle or quadrangle for solids. Quadratic kinds use
// their vertex nodes (ET_TETRA10 joins like ET_TETRA4); the columns of mixed
// matrices use their own shapes; a triangle never joins a quadrangle face.
// Elements of different dimensions join only through equal faces (so a
// boundary triangle is an isolated vertex beside tetrahedra). A face held by
// k >= 3 elements joins every pair of them. ET_NODE and ET_UNKNOWN are
// refused (partition_bad_type), as is a node index ~0U outside the unused
// slots of mixed columns.
// One matrix:
int get_dual_graph(const dense2D<unsigned>& connectM, element_type type, csr_graph& graph);
// The range [first, last), types[i] the kind of *(first + i), elements
// numbered matrix after matrix (partition_bad_type also for a size mismatch).
int get_dual_graph(const dense2D<unsigned>* first, const dense2D<unsigned>* last,
                   const dense1D<int>& types, csr_graph& graph);
// A whole mesh, block after block.
int get_dual_graph(const mesh_data& mesh, csr_graph& graph);

// The node graph of get_node_graph (topology.h) in this form: vertices are
// nodes 0 .. max node, same neighbour sets, each list sorted ascending.
// Codes: those of get_node_graph, partition_too_large, no_memory.
int get_node_graph(const dense2D<unsigned>& connectM, element_type type, csr_graph& graph);

// ---------------------------------------------------------------------------
// Partition
// ---------------------------------------------------------------------------

// Default allowed imbalance: the largest part weighs at most this times the
// mean part weight.
inline constexpr double kDefaultImbalance = 1.03;
// Default seed of METIS's random choices.
inline constexpr int kDefaultSeed = 1;

struct partition_options {
  double imbalance = kDefaultImbalance;  // >= 1.001 (lower values are taken as 1.001)
  int seed = kDefaultSeed;               // the same seed and graph give the same parts
  // One positive weight per vertex, or empty (every weight 1).
  std::vector<std::int32_t> weights;
};

struct partition_result {
  std::vector<unsigned> part;  // one part number 0 .. parts - 1 per vertex
  std::int64_t edge_cut = 0;   // edges joining vertices of different parts
  double imbalance = 0.0;      // heaviest part weight x parts / total weight
};

// METIS k-way partition (minimum edge cut) of a graph into `parts` parts.
// One part (or no vertex) needs no METIS: every vertex gets part 0. Codes:
// partition_bad_parts (parts 0); partition_bad_weights; partition_too_large
// when the vertices, the adjacency entries or the total weight exceed
// 2^31 - 1; partition_metis_failed; no_memory. On failure `result` is
// emptied.
int partition_graph(const csr_graph& graph, unsigned parts, const partition_options& options,
                    partition_result& result);
// A mesh: its elements of the highest dimension (the solids of a volume
// mesh, beside which its boundary faces may lie) are partitioned on their
// face-dual graph by partition_graph; every element of a lower dimension
// then takes the part of the first (lowest-numbered) element of the highest
// dimension that holds all its vertex nodes, failing that of the first one
// that holds one of them, failing that part 0. options.weights, when given,
// has one entry per element of the mesh (those of the lower dimensions are
// not used); part, edge_cut and imbalance: part has one entry per element
// of the mesh, the cut and imbalance are those of the highest dimension's
// graph. Codes: those of get_dual_graph and partition_graph.
int partition_mesh(const mesh_data& mesh, unsigned parts, const partition_options& options,
                   partition_result& result);

// ---------------------------------------------------------------------------
// Split and assemble
// ---------------------------------------------------------------------------

// One part of a split mesh.
//  - mesh: the same blocks as the whole mesh (same kinds, same order, some
//    possibly empty); block b holds the owned elements of block b by
//    ascending global id, then its ghost elements by ascending global id;
//    refs follow their elements (empty where the whole block's are);
//    coords has the whole mesh's rows and one column per local node, local
//    nodes by ascending global id.
//  - global_nodes: local node -> global node (coords column of the whole
//    mesh), ascending.
//  - global_elements: local element (block after block) -> global element.
//  - ghost_elements: 1 for a ghost element, 0 for an owned one, per local
//    element.
//  - node_owner: per local node, the lowest part that owns an element using
//    it (nodes used by no element belong to part 0); a node is a ghost of
//    this part when its owner is another part.
//  - neighbours: the other parts whose owned elements share a node with
//    this part's owned elements, ascending; shared_nodes[k]: those nodes
//    (global ids, ascending) for neighbours[k]. The lists of two parts
//    agree: p lists for q exactly what q lists for p.
struct part_mesh {
  unsigned part = 0;
  unsigned parts = 0;
  mesh_data mesh;
  std::vector<std::uint64_t> global_nodes;
  std::vector<std::uint64_t> global_elements;
  std::vector<unsigned char> ghost_elements;
  std::vector<unsigned> node_owner;
  std::vector<unsigned> neighbours;
  std::vector<std::vector<std::uint64_t>> shared_nodes;
  std::size_t owned_elements() const;
  // Nodes shared with other parts: the size of the union of shared_nodes.
  std::size_t interface_nodes() const;
};

// Splits `mesh` by `element_part` (one part number per element, global
// numbering) into `parts` meshes; ghost_layers 0 or 1 (one layer: every
// element of another part that shares a node with an owned element). Nodes
// used by no element go to part 0. Codes: partition_bad_split (element_part
// size, ghost_layers); partition_bad_parts (parts 0 or a part number not
// below parts); partition_bad_type (a block that is mixed or ET_UNKNOWN, of
// the wrong height, with refs of another size than its columns, or naming a
// node that does not exist); no_memory. Output emptied on failure.
int split_mesh(const mesh_data& mesh, const std::vector<unsigned>& element_part, unsigned parts,
               unsigned ghost_layers, std::vector<part_mesh>& out);

// The inverse of split_mesh: the whole mesh with the same coordinates, blocks
// and element order, from the owned elements and every local node of the
// parts (ghosts carry nothing more). Codes: partition_bad_parts_list when the
// parts do not share block kinds and coordinate rows, their lists have
// other sizes than their meshes, or global ids leave holes or repeat;
// no_memory. `mesh` is emptied first.
int assemble_mesh(const std::vector<part_mesh>& parts, mesh_data& mesh);

// The part of each global element, read from the owned elements of split
// parts. Codes as assemble_mesh.
int element_parts(const std::vector<part_mesh>& parts, std::vector<unsigned>& element_part);

// ---------------------------------------------------------------------------
// Partitioned files
// ---------------------------------------------------------------------------

// Names of the arrays that the partitioned VTK files carry.
inline constexpr char kGhostArray[] = "vtkGhostType";        // UInt8: 1 on ghost cells and nodes
inline constexpr char kGlobalNodeArray[] = "GlobalNodeIds";  // Int64 per point
inline constexpr char kGlobalCellArray[] = "GlobalCellIds";  // Int64 per cell

// Writes `name` (.pvtu) and beside it one piece per part, NAME_1.vtu ..
// NAME_N.vtu (NAME: the file name without its extension; piece k + 1 holds
// part k), each with its owned and ghost cells, vtkGhostType on ghost cells
// (1) and on the nodes owned by another part (1), GlobalNodeIds and
// GlobalCellIds. The .pvtu names the pieces relative to its own folder and
// gives GhostLevel 1 when a part holds ghosts. Codes: those of vtu_output
// for the pieces; -1 when the .pvtu cannot be written.
int pvtu_output(const char* name, const std::vector<part_mesh>& parts, vtu_encoding encoding);
// The two halves of pvtu_output, for writers that hold some of the parts
// each: the pieces of `parts` alone (named by their part numbers), and the
// .pvtu alone, naming the pieces of parts 0 .. parts - 1 (GhostLevel 1 when
// `ghosts`). Codes: those of vtu_output; -1.
int pvtu_pieces_output(const char* name, const std::vector<part_mesh>& parts,
                       vtu_encoding encoding);
int pvtu_index_output(const char* name, unsigned parts, bool ghosts);

// gmsh MSH 4.1 partitioned files (ASCII), as gmsh writes them: with ghosts
// $Entities with one model entity per block (tag = block position + 1; left
// out without ghosts, so that meshio reads the file too), then
// $PartitionedEntities with one entity per block and part (parent: the
// block's entity; partition: part + 1), nodes tagged global + 1 and elements
// tagged global + 1 in gmsh's node order, each node on an entity of its
// owner part. One file (split false): every part in `name`, and with ghosts
// one ghost entity per part and $GhostElements listing each ghost element of
// the mesh's highest dimension with its owner and the parts it is a ghost
// in. Split files (split true): NAME_1.msh .. NAME_N.msh beside `name`
// (NAME: its file name without extension), file k + 1 with the owned
// elements of part k and their nodes, global tags kept, no ghosts. msh_input
// reads such files (and gmsh's own) with the partition as each element's
// reference. Codes: those of assemble_mesh; partition_bad_type for a kind
// gmsh has no element for (ET_NODE); -1 when a file cannot be written;
// no_memory.
int msh_partitioned_output(const char* name, const std::vector<part_mesh>& parts, bool split);

}  // namespace quernfold
}  // namespace ovk
