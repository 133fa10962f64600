// Triangulation of a whole mesh: quadrangles into triangles, pyramids,
// wedges and hexahedra into tetrahedra, conforming across shared faces.
#include <algorithm>
#include <vector>

#include "common/faces.h"
#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace {

constexpr unsigned kApexOfPyramid = 4;
constexpr unsigned kQuadCorners = 4;

// Receives the pieces of one block, column after column.
struct pieces {
  std::vector<unsigned> nodes;  // rows entries per piece
  std::vector<unsigned> refs;   // one per piece when the block has refs
};

// The triangles of a face (a, b, c[, d]) in its sense: a quadrangle is cut
// along the diagonal through its lowest node.
unsigned face_triangles(const unsigned* f, unsigned n, unsigned out[2][3]) {
  if (n == 3) return std::copy(f, f + 3, out[0]), 1;
  const unsigned lowest = static_cast<unsigned>(std::min_element(f, f + n) - f);
  const unsigned s = lowest % 2;  // 0: diagonal a-c, 1: diagonal b-d
  const unsigned a = f[s], b = f[s + 1], c = f[s + 2], d = f[(s + 3) % kQuadCorners];
  out[0][0] = a, out[0][1] = b, out[0][2] = c;
  out[1][0] = a, out[1][1] = c, out[1][2] = d;
  return 2;
}

// Tetrahedra joining the faces of a solid that do not hold `apex` to it.
// Face normals point into the element, so (a, c, b, apex) is positive.
void cone_faces(const unsigned* v, element_type kind, unsigned apex, pieces& out) {
  const detail::face_table& faces = *detail::faces_of_shape(kind);
  for (unsigned i = 0; i < faces.count; ++i) {
    unsigned f[kQuadCorners], tri[2][3];
    for (unsigned k = 0; k < faces.size[i]; ++k) f[k] = v[faces.nodes[i][k]];
    if (std::find(f, f + faces.size[i], apex) != f + faces.size[i]) continue;
    const unsigned count = face_triangles(f, faces.size[i], tri);
    for (unsigned t = 0; t < count; ++t)
      out.nodes.insert(out.nodes.end(), {tri[t][0], tri[t][2], tri[t][1], apex});
  }
}

// The pieces of one element; `centroid` is the node that wedges and
// hexahedra take (the next free column).
void split_element(const unsigned* v, element_type kind, unsigned& centroid, pieces& out) {
  unsigned tri[2][3];
  switch (kind) {
    case ET_QUAD4:
      for (unsigned t = 0, n = face_triangles(v, kQuadCorners, tri); t < n; ++t)
        out.nodes.insert(out.nodes.end(), tri[t], tri[t] + 3);
      return;
    case ET_PYRAMID5:
      return cone_faces(v, kind, v[kApexOfPyramid], out);
    case ET_WEDGE6:
    case ET_HEXA8:
      return cone_faces(v, kind, centroid++, out);
    default:
      out.nodes.insert(out.nodes.end(), v, v + nbr_nodes(kind));
  }
}

element_type piece_kind(element_type kind) {
  const unsigned dim = element_dim(kind);
  return dim == 2 ? ET_TRIA3 : dim == 3 ? ET_TETRA4 : kind;
}

bool needs_centroid(element_type kind) { return kind == ET_WEDGE6 || kind == ET_HEXA8; }

// The coordinates with one appended column per wedge and hexahedron: the
// average of its corners, block after block.
bool with_centroids(const mesh_data& mesh, dense2D<double>& coords) {
  std::size_t extra = 0;
  for (const mesh_block& b : mesh.blocks)
    if (needs_centroid(linear_kind(b.type))) extra += b.connectM.cols();
  const std::size_t rows = mesh.coords.rows(), n = mesh.coords.cols();
  if (!coords.resize(rows, n + extra, 0.0)) return false;
  for (std::size_t v = 0; v < n; ++v)
    std::copy(mesh.coords.column(v), mesh.coords.column(v) + rows, coords.column(v));
  std::size_t next = n;
  for (const mesh_block& b : mesh.blocks) {
    const element_type kind = linear_kind(b.type);
    if (!needs_centroid(kind)) continue;
    const unsigned corners = nbr_base_nodes(kind);
    for (std::size_t j = 0; j < b.connectM.cols(); ++j, ++next) {
      double* g = coords.column(next);
      for (unsigned k = 0; k < corners; ++k)
        for (std::size_t r = 0; r < rows; ++r) g[r] += mesh.coords(r, b.connectM(k, j));
      for (std::size_t r = 0; r < rows; ++r) g[r] /= corners;
    }
  }
  return true;
}

bool split_block(const mesh_block& b, unsigned& centroid, mesh_block& nb) {
  const element_type kind = linear_kind(b.type);
  dense2D<unsigned> corners;
  if (!vertex_matrix(b, corners)) return false;
  nb.type = piece_kind(kind);
  const unsigned rows = nbr_nodes(nb.type);
  pieces p;
  for (std::size_t j = 0; j < corners.cols(); ++j) {
    const std::size_t before = p.nodes.size();
    split_element(corners.column(j), kind, centroid, p);
    if (!b.refs.empty()) p.refs.insert(p.refs.end(), (p.nodes.size() - before) / rows, b.refs[j]);
  }
  const std::size_t count = p.nodes.size() / rows;
  if (!nb.connectM.resize(rows, count) || (!b.refs.empty() && !nb.refs.resize(count))) return false;
  std::copy(p.nodes.begin(), p.nodes.end(), nb.connectM.data());
  std::copy(p.refs.begin(), p.refs.end(), nb.refs.begin());
  return true;
}

}  // namespace

int triangulate_mesh(const mesh_data& mesh, mesh_data& out) {
  out = mesh_data();
  bool ok = with_centroids(mesh, out.coords);
  unsigned centroid = static_cast<unsigned>(mesh.coords.cols());
  for (const mesh_block& b : mesh.blocks) {
    out.blocks.emplace_back();
    ok = ok && split_block(b, centroid, out.blocks.back());
  }
  if (!ok) out = mesh_data();
  return ok ? 0 : no_memory;
}

}  // namespace quernfold
}  // namespace ovk
