// The boundary of a whole mesh: the faces of its top-dimension elements that
// no other element shares, as blocks of faces.
#include <algorithm>

#include "mesh/boundary_faces.h"
#include "quernfold/topology.h"
#include "topology/threaded.h"

namespace ovk {
namespace quernfold {
namespace {

// Faces shared by three elements or more link their elements (and are
// interior).
constexpr bool kLinkNonManifold = true;
// Row of a 4-row face column that is ~0U for a triangle.
constexpr std::size_t kFourthNode = 3;

// Triangles and quadrangles of 4-row face columns (~0U in row 3 for a
// triangle), in face order, each as its own block. False when memory runs
// out.
bool split_solid_faces(const dense2D<unsigned>& faces, mesh_data& out) {
  mesh_block tria, quad;
  tria.type = ET_TRIA3;
  quad.type = ET_QUAD4;
  std::size_t triangles = 0;
  for (std::size_t j = 0; j < faces.cols(); ++j) triangles += faces(kFourthNode, j) == no_index;
  if (!tria.connectM.resize(3, triangles) || !quad.connectM.resize(4, faces.cols() - triangles))
    return false;
  std::size_t t = 0, q = 0;
  for (std::size_t j = 0; j < faces.cols(); ++j) {
    const bool is_tria = faces(kFourthNode, j) == no_index;
    std::copy(faces.column(j), faces.column(j) + (is_tria ? 3 : 4),
              is_tria ? tria.connectM.column(t++) : quad.connectM.column(q++));
  }
  for (mesh_block* b : {&tria, &quad})
    if (b->connectM.cols()) out.blocks.push_back(*b);
  return true;
}

// Boundary face columns of the elements of `dimension` as blocks: end
// points, edges, or triangles then quadrangles. No block without a face.
bool faces_as_blocks(const dense2D<unsigned>& faces, unsigned dimension, mesh_data& out) {
  if (faces.cols() == 0) return true;
  if (dimension == 3) return split_solid_faces(faces, out);
  mesh_block b;
  b.type = dimension == 2 ? ET_EDGE2 : ET_NODE;
  b.connectM = faces;
  out.blocks.push_back(b);
  return true;
}

// Reverses every face of a solid so that its right-hand normal points out
// of its element (the library's face functions give the inward sense; the
// edges of a surface already run with their element's turn, the interior on
// their left).
void turn_outward(mesh_data& skin) {
  for (mesh_block& b : skin.blocks) {
    if (b.type != ET_TRIA3 && b.type != ET_QUAD4) continue;
    const std::size_t rows = b.connectM.rows();
    for (std::size_t j = 0; j < b.connectM.cols(); ++j) {
      unsigned* c = b.connectM.column(j);
      std::reverse(c + 1, c + rows);
    }
  }
}

}  // namespace

namespace detail {

int walk_boundary(const mesh_data& mesh, boundary_walk& walk, unsigned threads,
                  dense2D<unsigned>* unlinked) {
  const unsigned dimension = mesh_dimension(mesh);
  if (dimension == 0) return mesh_no_faces;
  if (int code = combine_blocks(mesh, dimension, walk.elements)) return code;
  const combined_elements& c = walk.elements;
  const int code = unlinked
                       ? neighbors_both_ways(c.connect, c.type, walk.neighbors, *unlinked, threads)
                       : get_neighbors(c.connect, c.type, kLinkNonManifold, walk.neighbors);
  if (code) return code;
  return boundary_faces(c.connect, walk.neighbors, c.type, walk.faces, threads);
}

}  // namespace detail

int mesh_boundary(const mesh_data& mesh, mesh_data& skin) {
  skin = mesh_data();
  detail::boundary_walk walk;
  int code = detail::walk_boundary(mesh, walk);
  if (code == 0 && !faces_as_blocks(walk.faces, mesh_dimension(mesh), skin)) code = no_memory;
  if (code != 0) {
    skin = mesh_data();
    return code;
  }
  turn_outward(skin);
  // A closed mesh's boundary holds no node.
  skin.coords = walk.faces.cols() ? mesh.coords : dense2D<double>(mesh.coords.rows(), 0);
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
