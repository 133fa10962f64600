// The whole-mesh operations on a mesh spread over the ranks of an MPI
// communicator (the optional component quernfold::mpi; the core library
// never links MPI). Every function is collective: each rank of `comm` calls
// it with its own slice, and every rank receives the same global answers.
//
// A distributed mesh holds, on each rank, a contiguous slice of the file's
// elements (in file order) and the nodes they use; read by parts, or after
// compact_mesh, each rank holds another share (see kind_positions). Global node numbers are
// the columns the one-process reader gives the nodes: a gmsh file's tag less
// its lowest tag when the tags are dense, else the 0-based position in the
// file's node order; global element numbers 0-based positions among
// the file's elements that the one-process reader keeps; both are 64-bit.
//
// Functions return 0 or a negative code (the codes below, or no_memory);
// every rank returns the same code. Outputs on failure are unspecified.
#pragma once

#include <mpi.h>

#include <cstdint>
#include <vector>

#include "quernfold/mesh.h"
#include "quernfold/partition.h"

namespace ovk {
namespace quernfold {
namespace mpi {

inline constexpr int mpi_unreadable = -401;   // the file cannot be opened or read
inline constexpr int mpi_unsupported = -402;  // not an MSH 4.1 file (text or binary)
inline constexpr int mpi_malformed = -403;    // an MSH 4.1 file that breaks its own layout
inline constexpr int mpi_too_large = -404;    // counts past the partitioner's 32-bit index
inline constexpr int mpi_partitioner = -405;  // PT-Scotch refused the graph or the strategy
inline constexpr int mpi_bad_parameter = -406;

// One rank's slice of a mesh.
struct dist_mesh {
  MPI_Comm comm = MPI_COMM_NULL;
  int rank = 0, ranks = 1;
  std::uint64_t global_nodes = 0;     // nodes of the file
  std::uint64_t global_elements = 0;  // elements kept
  // Elements held by each rank: first_element[r + 1] - first_element[r]
  // on rank r (ranks + 1 entries); for slices in file order, elements
  // first_element[r] to first_element[r + 1] - 1 of the file.
  std::vector<std::uint64_t> first_element;
  // The local elements as a mesh of their own: one block per kind of the
  // file, in the order of the kind's first element (the blocks of the
  // one-process reader; empty blocks kept), local node numbers, and the
  // coordinates of the nodes they use (3 x nodes).
  mesh_data local;
  // Local node -> global node number (increasing).
  std::vector<std::uint64_t> node_ids;
  // Per block: position of its first local element among the file's
  // elements of that kind.
  std::vector<std::uint64_t> first_in_kind;
  // Per block: the position of each local element among the file's
  // elements of that kind, when the local elements of a kind are not one
  // run (the parts of a partitioned file); empty blocks of this list mean
  // first_in_kind[b] + column.
  std::vector<std::vector<std::uint64_t>> kind_positions;
  // The file's nodes in this rank's node slice (for the bounding box):
  // lowest and highest corner, has_nodes false when the slice is empty.
  bool has_nodes = false;
  double slice_box[2][3] = {{0, 0, 0}, {0, 0, 0}};

  std::size_t elements() const { return local.elements(); }
  // Empties the mesh and binds it to communicator `c` (its rank and size).
  void reset(MPI_Comm c) {
    *this = dist_mesh();
    comm = c;
    MPI_Comm_rank(c, &rank);
    MPI_Comm_size(c, &ranks);
  }
  // Position of column j of block b among the file's elements of its kind.
  std::uint64_t position_in_kind(std::size_t b, std::size_t j) const {
    return b < kind_positions.size() && !kind_positions[b].empty() ? kind_positions[b][j]
                                                                   : first_in_kind[b] + j;
  }
};

// Reads a gmsh MSH 4.1 file (text or binary) in slices: rank 0 scans the
// section and block headers once, each rank then seeks to its share of the
// elements and of the node records and reads only those; node coordinates
// reach the ranks that use them through a directory by node tag. No rank
// holds the whole mesh. A partitioned text file ($PartitionedEntities, as
// msh_partitioned_output and gmsh write them) is read by parts: the
// elements of partition p + 1 go to rank_of_part(p, partitions, ranks)
// (a run of whole parts per rank), the nodes in even slices. Codes: mpi_unreadable,
// mpi_unsupported, mpi_malformed, no_memory.
int read_msh_slices(const char* path, MPI_Comm comm, dist_mesh& mesh);

// Reads a .pvtu (as pvtu_output writes it) by parts: rank r reads the
// pieces of parts first_part(r, pieces, ranks) onwards and keeps their
// owned cells (vtkGhostType 0 or absent). Global numbers are the pieces'
// GlobalNodeIds and GlobalCellIds; one block per kind, ordered by the kind's
// first global cell (kind_positions: global cell less that first one); the
// node count and box are those of the points no other piece owns. Codes:
// mpi_unreadable (the .pvtu or a piece), mpi_unsupported (a piece without
// the global id arrays), no_memory.
int read_pvtu_parts(const char* path, MPI_Comm comm, dist_mesh& mesh);

// Moves the local elements so that each rank holds one compact region: the
// elements go, with the nodes they use, to the rank of their centroid's
// place along a Morton curve over the mesh's box, cut into runs of about
// equal size by sampled splitters (in rounds of bounded size). Global
// numbers, node count and box (slice_box, has_nodes) stay; each block's
// elements keep their position in the kind (kind_positions), by ascending
// position. Statistics on the result equal those on the input (means to
// rounding). `carried`, when given: one number per local element (block
// after block) that travels with it, replaced by those of the new local
// elements. Codes: no_memory.
int compact_mesh(dist_mesh& mesh, std::vector<std::uint64_t>* carried = nullptr);

// Dimension of the mesh: the largest element dimension over all ranks.
unsigned mesh_dimension(const dist_mesh& mesh);

// The faces of the top-dimension elements matched across ranks: each rank
// links its own elements first; only the faces whose nodes all lie on
// other ranks too go to the rank their node set hashes to.
struct face_census {
  std::uint64_t boundary_faces = 0;      // faces of one element
  std::uint64_t non_manifold_faces = 0;  // faces of three elements or more
  // The vertices of the face-dual graph on this rank are its elements of
  // the mesh's dimension, block after block: vertex v has global number
  // first_vertex[rank] + v (first_vertex: ranks + 1 entries).
  std::vector<std::uint64_t> first_vertex;
  int rank = 0;
  std::size_t vertices = 0;
  // Faces x vertices: the local vertex across each face shared by exactly
  // two local elements, ~0U elsewhere (get_neighbors' rows).
  dense2D<unsigned> neighbors;
  // Pairs (local vertex, global vertex) across a face shared by exactly two
  // elements on two ranks, then pairs joined through a face of three
  // elements or more (flattened, 2 entries a pair).
  std::vector<std::uint64_t> remote_edges, non_manifold_links;
};
int census_faces(const dist_mesh& mesh, face_census& census);

// The face-dual graph of the local vertices in the partitioners' form:
// xadj (vertices + 1 entries) and adjncy (global vertex numbers, each list
// increasing).
void dual_graph(const face_census& census, std::vector<std::uint64_t>& xadj,
                std::vector<std::uint64_t>& adjncy);

// Connected parts of the top-dimension elements through their shared faces
// (non-manifold faces join their elements too).
int count_parts(const dist_mesh& mesh, const face_census& census, std::uint64_t& parts);

// The statistics of measure_mesh, gathered: counts, box, topology,
// coincident nodes, Jacobians, distinct edge lengths and shape qualities
// (sums added rank by rank: means agree with the one-process ones to
// rounding). `stats` is the same on every rank.
int measure_distributed(const dist_mesh& mesh, mesh_statistics& stats);

// A partition of the top-dimension elements with PT-Scotch on the
// face-dual graph: deterministic for a given rank count and seed.
struct partition_report {
  std::uint64_t edge_cut = 0;  // dual edges between two parts
  double imbalance = 0;        // largest part over the mean part
  std::vector<std::uint64_t> part_elements;
};
// `part` receives one part (0 to parts - 1) per local vertex of `census`.
// Codes: mpi_bad_parameter (parts < 1), mpi_too_large, mpi_partitioner.
int partition_elements(const face_census& census, const dist_mesh& mesh, int parts,
                       double imbalance, int seed, std::vector<int>& part,
                       partition_report& report);

// The part of every local element (block after block) from `top_part`,
// the parts of the face census's vertices (the local elements of the
// mesh's dimension, block after block), by partition_mesh's rule: an element of a lower dimension
// takes the part of the lowest-numbered element of the mesh's dimension holding all its vertex
// nodes, failing that of the lowest one around its first vertex node that has any, failing that
// part 0. Element numbers: block after block over the whole file, as the one-process reader. Codes:
// no_memory.
int spread_parts(const dist_mesh& mesh, const std::vector<int>& top_part,
                 std::vector<unsigned>& element_part);

// The ranks holding parts: parts first_part(r) .. first_part(r + 1) - 1 go
// to rank r of the first `holders` ranks (holders <= ranks), in runs.
inline unsigned first_part(int rank, unsigned parts, int holders) {
  if (rank >= holders) return parts;
  return static_cast<unsigned>(std::uint64_t(parts) * static_cast<std::uint64_t>(rank) /
                               static_cast<std::uint64_t>(holders));
}

// The rank holding part p (p < parts).
inline int rank_of_part(unsigned p, unsigned parts, int holders) {
  int r = static_cast<int>(std::uint64_t(p) * static_cast<std::uint64_t>(holders) / parts);
  while (r > 0 && first_part(r, parts, holders) > p) --r;
  while (r + 1 < holders && first_part(r + 1, parts, holders) <= p) ++r;
  return r;
}

// Moves the elements to their parts (element_part: one part per local
// element, block after block, each below `parts`) and builds on each rank
// the parts it holds (first_part(rank, parts, holders) onwards, ascending)
// exactly as split_mesh builds them from the whole mesh read by the
// one-process reader: the same blocks, owned then ghost elements
// (ghost_layers 0 or 1) by ascending global id, 64-bit global node and
// element numbers, node owners (lowest part around) and shared-node lists.
// Nodes used by no element are not carried (they are not in a dist_mesh).
// Codes: mpi_bad_parameter (sizes, part numbers, ghost_layers > 1,
// holders outside 1 .. ranks), no_memory; `out` empty on failure.
int migrate_parts(const dist_mesh& mesh, const std::vector<unsigned>& element_part, unsigned parts,
                  unsigned ghost_layers, int holders, std::vector<part_mesh>& out);

// The numbers census_faces would give the local elements as vertices
// (elements of the mesh's dimension; ~0 for the others), one per local
// element block after block, and their distribution `first` (ranks + 1
// entries): numbers to carry through compact_mesh.
void vertex_numbers(const dist_mesh& mesh, std::vector<std::uint64_t>& numbers,
                    std::vector<std::uint64_t>& first);

// Per-vertex values of a census taken after compact_mesh, brought back to
// the order of the census before the move: `numbers` are the carried
// vertex_numbers (one per local element), `first_before` their
// distribution. Each rank receives the values of its old vertices, in
// order; `values` (one per census vertex) is replaced.
void back_to_file_order(MPI_Comm comm, const std::vector<std::uint64_t>& numbers,
                        const std::vector<std::uint64_t>& first_before, std::vector<int>& values);

// The face-dual graph of a census taken after compact_mesh, in the old
// vertex numbering: the rows of this rank's old vertices (xadj, adjncy as
// dual_graph gives them). Arguments as back_to_file_order.
void dual_graph_in_file_order(const face_census& census, MPI_Comm comm,
                              const std::vector<std::uint64_t>& numbers,
                              const std::vector<std::uint64_t>& first_before,
                              std::vector<std::uint64_t>& xadj, std::vector<std::uint64_t>& adjncy);
// Gathers blocks of every rank on rank 0 as one mesh: block b of `whole` is
// block b of rank 0, then of rank 1, ... (columns in rank order; every rank
// passes the same number of blocks, of the same kinds, with local node
// numbers of `mesh`); the coordinates (3 x nodes) are those of the nodes the
// blocks use, in increasing global number, which the blocks are renumbered
// to. Other ranks receive an empty mesh. Codes: no_memory.
int gather_blocks(const dist_mesh& mesh, const std::vector<mesh_block>& blocks, mesh_data& whole);
// The same with nodes of the caller's own: local node v has global number
// node_ids[v] and coordinates coords column v (3 x nodes).
int gather_blocks(MPI_Comm comm, const std::vector<mesh_block>& blocks,
                  const std::vector<std::uint64_t>& node_ids, const dense2D<double>& coords,
                  mesh_data& whole);

// The boundary of mesh_boundary, then without the nodes no face uses (what
// drop_unused_nodes leaves), on rank 0: the faces of the top-dimension
// elements held by one element over all ranks, turned outward, in the
// one-process order (elements block after block in file order, faces in
// the order of their element's face table; triangles, then quadrangles).
// Other ranks receive an empty mesh. Codes: mesh_no_faces, no_memory and
// get_neighbors' codes.
int boundary_distributed(const dist_mesh& mesh, mesh_data& skin);

// mesh_size_map's sizes of the file's nodes, on rank 0 (global_nodes
// entries in file order; 0 for the nodes no element uses); other ranks
// receive none. Without gradation (infinite) they are the one-process
// sizes bit for bit: the lengths at a node that several ranks use are
// folded by the ranks in turn, in the one-process order. With a finite
// gradation the bound runs on each rank's elements, then every shared node
// takes its smallest size over the ranks and the bound runs again on the
// elements around the sizes that moved, in rounds until no size changes:
// every edge meets the bound, no size grows, and the sizes are close to
// (not equal to) the one-process ones, whose single queue orders the
// corrections differently; with one rank they are the one-process sizes. Codes: mesh_bad_parameter,
// mesh_no_faces, no_memory and bound_metric_gradations' codes.
struct size_report {
  std::uint64_t changed = 0;  // nodes the gradation lowered
  int rounds = 0;             // exchanges of the shared sizes
};
int size_map_distributed(const dist_mesh& mesh, double p, double gradation, dense1D<double>& sizes,
                         size_report& report);

// clean_mesh on a distributed mesh: nodes within `tol` of each other merged
// across ranks with the one-process merge and its representatives, the
// elements that degenerate removed, the nodes no element uses dropped; the
// result on rank 0 (the blocks of the file with their elements in file
// order, the nodes kept in increasing global number), an empty mesh on the
// other ranks. `report` (every rank): merged, elements_removed and
// nodes_removed of clean_mesh (the maps stay empty). Codes:
// mesh_bad_tolerance, no_memory and the merge's codes.
int clean_distributed(const dist_mesh& mesh, double tol, mesh_data& out, clean_report& report);

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
