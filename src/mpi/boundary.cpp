// The boundary of a distributed mesh: the faces of the top-dimension
// elements held by no other element. A face that some rank does not share is
// decided where it lies (by the local neighbours); a face whose nodes all lie
// on other ranks too goes, once a rank with the number of its elements
// there, to the rank its node set hashes to, which counts the elements
// holding it over every rank. The faces found are gathered on rank 0 in the
// one-process order.
#include <algorithm>
#include <array>

#include "common/faces.h"
#include "mpi/exchange.h"
#include "quernfold/mpi.h"
#include "quernfold/topology.h"
#include "topology/face_tools.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using quernfold::detail::column_faces;
using quernfold::detail::read_face;

// Faces of three elements or more are interior, as in the one-process
// boundary.
constexpr bool kLinkNonManifold = true;
constexpr std::size_t kFaceNodes = 4;
constexpr std::uint64_t kNoNode = ~std::uint64_t(0);
constexpr unsigned kSolid = 3;
// Blocks of faces per block of elements: triangles and quadrangles for
// solids, one kind below.
constexpr std::size_t kSolidFaceKinds = 2;

// A face of a local element: element (column of the combined elements) and
// face number of its table.
struct face_ref {
  std::uint64_t element;
  std::uint64_t face;
  bool operator<(const face_ref& o) const {
    return element != o.element ? element < o.element : face < o.face;
  }
};

struct face_record {
  std::array<std::uint64_t, kFaceNodes> key;  // global nodes, increasing, padded with kNoNode
  face_ref where;
  std::uint32_t rank;
  std::uint32_t holders;  // elements of the rank holding the face: 1, or 2 for linked ones
};

// The local elements of the mesh's dimension and their local neighbours.
struct top_slice {
  combined_elements elements;
  element_type kind = ET_UNKNOWN;  // narrowed
  dense2D<unsigned> neighbors;
  std::vector<std::size_t> block_of;  // combined column -> local block
};

int slice_elements(const dist_mesh& mesh, unsigned dim, top_slice& top) {
  if (int code = combine_blocks(mesh.local, dim, top.elements)) return code;
  const dense2D<unsigned>& c = top.elements.connect;
  top.kind = quernfold::detail::narrow_mixed(top.elements.type, c.rows());
  for (std::size_t b = 0; b < mesh.local.blocks.size(); ++b)
    if (element_dim(mesh.local.blocks[b].type) == dim)
      top.block_of.insert(top.block_of.end(), mesh.local.blocks[b].connectM.cols(), b);
  if (c.cols() == 0) return 0;
  return get_neighbors(c, top.elements.type, kLinkNonManifold, top.neighbors);
}

// Sorts out the local faces: those decided here (boundary when no local
// element shares them) and those sent to the rank of their key.
std::vector<face_ref> local_boundary(const dist_mesh& mesh, const top_slice& top,
                                     std::vector<std::vector<face_record>>& out) {
  const std::vector<char> shared = detail::shared_nodes(mesh);
  std::vector<face_ref> found;
  const dense2D<unsigned>& c = top.elements.connect;
  for (std::size_t j = 0; j < c.cols(); ++j) {
    const quernfold::detail::face_table& table = column_faces(top.kind, c.column(j));
    for (unsigned i = 0; i < table.count; ++i) {
      unsigned nodes[kFaceNodes];
      const unsigned n = read_face(table, i, c.column(j), nodes);
      const unsigned across = top.neighbors(i, j);
      face_record r{{kNoNode, kNoNode, kNoNode, kNoNode},
                    {j, i},
                    static_cast<std::uint32_t>(mesh.rank),
                    across == no_index ? 1U : 2U};
      bool everywhere = true;
      for (unsigned k = 0; k < n; ++k) {
        r.key[k] = mesh.node_ids[nodes[k]];
        everywhere = everywhere && shared[nodes[k]];
      }
      // A linked face goes once, from the lower element of its link (the
      // lowest element of a group always links upwards).
      if (everywhere && (across == no_index || across > j)) {
        std::sort(r.key.begin(), r.key.end());
        std::uint64_t h = 0;
        for (std::uint64_t id : r.key) h = detail::mix(h ^ id);
        out[detail::owner_of(h, mesh.ranks)].push_back(r);
      } else if (!everywhere && across == no_index) {
        found.push_back(r.where);
      }
    }
  }
  return found;
}

// On the rank of their keys: the faces of one element over every rank go
// back to their ranks as boundary faces.
std::vector<std::vector<face_ref>> lone_faces(std::vector<face_record>& faces, int ranks) {
  std::sort(faces.begin(), faces.end(),
            [](const face_record& a, const face_record& b) { return a.key < b.key; });
  std::vector<std::vector<face_ref>> back(ranks);
  for (std::size_t i = 0; i < faces.size();) {
    std::size_t j = i + 1;
    while (j < faces.size() && faces[j].key == faces[i].key) ++j;
    if (j - i == 1 && faces[i].holders == 1) back[faces[i].rank].push_back(faces[i].where);
    i = j;
  }
  return back;
}

// The boundary faces as blocks, per local block in block order: triangles
// and quadrangles (turned outward) for solids, end points or edges below.
bool face_blocks(const dist_mesh& mesh, const top_slice& top, unsigned dim,
                 const std::vector<face_ref>& found, std::vector<mesh_block>& blocks) {
  const std::size_t kinds = mesh.local.blocks.size(), per = dim == kSolid ? kSolidFaceKinds : 1;
  blocks.assign(kinds * per, mesh_block());
  std::vector<std::vector<unsigned>> nodes(blocks.size());
  for (std::size_t b = 0; b < kinds; ++b)
    for (std::size_t k = 0; k < per; ++k)
      blocks[b * per + k].type = dim == kSolid ? (k == 0 ? ET_TRIA3 : ET_QUAD4)
                                 : dim == 2    ? ET_EDGE2
                                               : ET_NODE;
  const dense2D<unsigned>& c = top.elements.connect;
  for (const face_ref& f : found) {
    const unsigned* column = c.column(f.element);
    unsigned face[kFaceNodes];
    const unsigned n =
        read_face(column_faces(top.kind, column), static_cast<unsigned>(f.face), column, face);
    if (dim == kSolid) std::reverse(face + 1, face + n);
    const std::size_t to = top.block_of[f.element] * per + (n == kFaceNodes ? 1 : 0);
    nodes[to].insert(nodes[to].end(), face, face + n);
  }
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    const unsigned rows = nbr_nodes(blocks[b].type);
    if (!blocks[b].connectM.resize(rows, nodes[b].size() / rows)) return false;
    std::copy(nodes[b].begin(), nodes[b].end(), blocks[b].connectM.data());
  }
  return true;
}

// Rank 0: the blocks of one face kind concatenated, the kinds in the order
// of the one-process boundary; no empty block.
bool join_face_kinds(mesh_data& skin, std::size_t per) {
  std::vector<mesh_block> joined;
  for (std::size_t k = 0; k < per; ++k) {
    mesh_block all;
    std::size_t cols = 0;
    for (std::size_t b = k; b < skin.blocks.size(); b += per)
      cols += skin.blocks[b].connectM.cols();
    if (cols == 0) continue;
    all.type = skin.blocks[k].type;
    if (!all.connectM.resize(nbr_nodes(all.type), cols)) return false;
    unsigned* to = all.connectM.data();
    for (std::size_t b = k; b < skin.blocks.size(); b += per)
      to = std::copy(skin.blocks[b].connectM.data(),
                     skin.blocks[b].connectM.data() +
                         skin.blocks[b].connectM.rows() * skin.blocks[b].connectM.cols(),
                     to);
    joined.push_back(all);
  }
  skin.blocks.swap(joined);
  return true;
}

}  // namespace

int boundary_distributed(const dist_mesh& mesh, mesh_data& skin) {
  skin = mesh_data();
  const unsigned dim = mesh_dimension(mesh);
  if (dim == 0) return mesh_no_faces;
  top_slice top;
  if (int code = detail::agree(mesh.comm, slice_elements(mesh, dim, top))) return code;
  std::vector<std::vector<face_record>> out(mesh.ranks);
  std::vector<face_ref> found = local_boundary(mesh, top, out);
  std::vector<face_record> faces = detail::exchange(mesh.comm, out);
  std::vector<std::vector<face_ref>> back = lone_faces(faces, mesh.ranks);
  const std::vector<face_ref> remote = detail::exchange(mesh.comm, back);
  found.insert(found.end(), remote.begin(), remote.end());
  std::sort(found.begin(), found.end());
  std::vector<mesh_block> blocks;
  int code = face_blocks(mesh, top, dim, found, blocks) ? 0 : no_memory;
  if ((code = detail::agree(mesh.comm, code))) return code;
  if ((code = gather_blocks(mesh, blocks, skin))) return code;
  code =
      mesh.rank == 0 && !join_face_kinds(skin, dim == kSolid ? kSolidFaceKinds : 1) ? no_memory : 0;
  return detail::agree(mesh.comm, code);
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
