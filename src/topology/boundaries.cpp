// Mesh boundaries: boundary faces as node columns or face numbers, and the
// reverse search of the element face that carries a given boundary face.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/parallel.h"
#include "topology/face_tools.h"
#include "topology/threaded.h"

namespace ovk {
namespace quernfold {
namespace {

enum class walk_result { complete, start_lacks_node, reached_lacks_node };

// The elements around node a reachable from a start element through faces
// that hold a: a depth-first walk over the neighbors matrix. One instance
// serves every walk of a call; `visited_` stamps elements with the number of
// the walk instead of being cleared between walks.
class node_ball {
 public:
  node_ball(const dense2D<unsigned>& connectM, const dense2D<unsigned>& neighbors, element_type FE)
      : connectM_(connectM), neighbors_(neighbors), FE_(FE) {}

  // Fills elements() with the ball of a in walk order (empty for a start of
  // ~0U). Fails when an element popped does not hold a.
  walk_result walk(unsigned a, unsigned start) {
    ball_.clear();
    if (start == no_index) return walk_result::complete;
    if (visited_.empty()) visited_.assign(connectM_.cols(), 0);
    ++stamp_;
    stack_.assign(1, start);
    visited_[start] = stamp_;
    while (!stack_.empty()) {
      const unsigned e = stack_.back();
      stack_.pop_back();
      const unsigned* column = connectM_.column(e);
      const element_type shape = detail::column_shape(FE_, column);
      const unsigned position = local_position(a, column, nbr_nodes(shape));
      if (position == no_index)
        return ball_.empty() ? walk_result::start_lacks_node : walk_result::reached_lacks_node;
      ball_.push_back(e);
      push_neighbors_around(e, *detail::faces_of_shape(shape), position);
    }
    return walk_result::complete;
  }

  const std::vector<unsigned>& elements() const { return ball_; }

 private:
  static unsigned local_position(unsigned a, const unsigned* column, unsigned n) {
    for (unsigned r = 0; r < n; ++r)
      if (column[r] == a) return r;
    return no_index;
  }

  // Faces holding the local position, in ascending local order; a ~0U
  // neighbor only means the node lies on the mesh boundary.
  void push_neighbors_around(unsigned e, const detail::face_table& table, unsigned position) {
    for (unsigned i = 0; i < table.count; ++i) {
      const unsigned char* face = table.nodes[i];
      if (std::find(face, face + table.size[i], position) == face + table.size[i]) continue;
      const unsigned n = neighbors_(i, e);
      if (n == no_index || visited_[n] == stamp_) continue;
      visited_[n] = stamp_;
      stack_.push_back(n);
    }
  }

  const dense2D<unsigned>& connectM_;
  const dense2D<unsigned>& neighbors_;
  element_type FE_;
  std::vector<std::uint64_t> visited_;
  std::uint64_t stamp_ = 0;
  std::vector<unsigned> stack_;
  std::vector<unsigned> ball_;
};

// Nodes of a boundary column: a 4-row column with ~0U in row 3 is a triangle.
unsigned boundary_face_size(const unsigned* column, std::size_t rows) {
  return rows == 4 && column[3] == no_index ? 3u : static_cast<unsigned>(rows);
}

// The face number of the face of the ball that carries the boundary face b:
// the first same-sense match, else the last opposite-sense match, else ~0U.
unsigned carrying_face(const std::vector<unsigned>& ball, const dense2D<unsigned>& connectM,
                       element_type FE, unsigned F, const unsigned* b, unsigned nb) {
  std::uint64_t opposite = no_index;
  for (unsigned e : ball) {
    const unsigned* column = connectM.column(e);
    const detail::face_table& table = detail::column_faces(FE, column);
    for (unsigned i = 0; i < table.count; ++i) {
      unsigned nodes[4];
      const unsigned n = detail::read_face(table, i, column, nodes);
      const int sense = detail::compare_faces(nodes, n, b, nb);
      const std::uint64_t face = std::uint64_t(e) * F + i;
      if (sense == 1) return static_cast<unsigned>(face);
      if (sense == -1) opposite = face;
    }
  }
  return static_cast<unsigned>(opposite);
}

}  // namespace

int get_mesh_boundaries(const dense2D<unsigned>& connectM, const dense2D<unsigned>& neighbors,
                        element_type type, dense2D<unsigned>& boundaries) {
  if (connectM.cols() == 0) return 0;
  const element_type FE = detail::narrow_mixed(type, connectM.rows());
  if (connectM.rows() != nbr_nodes(FE)) return -1;
  if (!detail::valid_neighbors(neighbors, nbr_boundaries(FE), connectM.cols())) return -2;
  if (!detail::output_height_fits(boundaries, detail::face_column_height(FE))) return -4;
  if (!detail::has_faces(FE)) return -3;
  return detail::append_faces(connectM, FE, boundaries, [&](std::size_t j, unsigned i) {
    return neighbors(i, j) == no_index;
  });
}

namespace {

// Elements per range of the threaded boundary at least (few enough that
// small meshes take the ranges too).
constexpr std::size_t kBoundaryColumnsPerRange = 1 << 7;

// The views of each range's columns, made and dropped on the calling
// thread (a view's shared count is not synchronised).
std::vector<dense2D<unsigned>> column_ranges(const dense2D<unsigned>& M, std::size_t parts) {
  std::vector<dense2D<unsigned>> views(parts);
  for (std::size_t p = 0; p < parts; ++p) {
    std::size_t first, last;
    detail::split_range(M.cols(), p, parts, first, last);
    views[p] = M.sub_matrix(0, first, M.rows(), last - first);
  }
  return views;
}

}  // namespace

int detail::boundary_faces(const dense2D<unsigned>& connectM, const dense2D<unsigned>& neighbors,
                           element_type type, dense2D<unsigned>& boundaries, unsigned threads) {
  const std::size_t E = connectM.cols();
  const std::size_t parts = range_parts(thread_count(threads), E / kBoundaryColumnsPerRange);
  const element_type FE = narrow_mixed(type, connectM.rows());
  // Whatever get_mesh_boundaries refuses before it looks at the values, and
  // small meshes, are left to it.
  if (parts <= 1 || !boundaries.empty() || connectM.rows() != nbr_nodes(FE) ||
      neighbors.rows() != nbr_boundaries(FE) || neighbors.cols() != E || !has_faces(FE))
    return get_mesh_boundaries(connectM, neighbors, type, boundaries);
  const std::vector<dense2D<unsigned>> elements = column_ranges(connectM, parts),
                                       around = column_ranges(neighbors, parts);
  std::vector<dense2D<unsigned>> found(parts);
  std::vector<int> codes(parts, 0);
  run_parallel(threads, parts, [&](std::size_t p) {
    if (!check_IDs(around[p], static_cast<unsigned>(E))) {
      codes[p] = -2;  // a neighbour past the elements, as get_mesh_boundaries says
      return;
    }
    codes[p] = append_faces(elements[p], FE, found[p],
                            [&](std::size_t j, unsigned i) { return around[p](i, j) == no_index; });
  });
  for (int code : codes)
    if (code == -2) return code;
  for (int code : codes)
    if (code) return code;
  std::size_t total = 0;
  for (const dense2D<unsigned>& f : found) total += f.cols();
  if (total == 0) return 0;
  if (!boundaries.resize(face_column_height(FE), total)) return no_memory;
  std::size_t at = 0;
  for (const dense2D<unsigned>& f : found)
    for (std::size_t j = 0; j < f.cols(); ++j, ++at)
      std::copy(f.column(j), f.column(j) + f.rows(), boundaries.column(at));
  return 0;
}

int get_mesh_bounding_elements(const dense2D<unsigned>& connectM,
                               const dense2D<unsigned>& neighbors, element_type type,
                               dense1D<unsigned>& faces, unsigned& nbr_faces) {
  nbr_faces = 0;
  if (connectM.empty()) return 0;
  const element_type FE = detail::narrow_mixed(type, connectM.rows());
  if (!check_IDs(connectM, FE, no_index)) return -1;
  const unsigned F = nbr_boundaries(FE);
  nbr_faces = F;
  if (!detail::has_faces(FE)) return -2;
  if (neighbors.rows() != F || neighbors.cols() != connectM.cols()) return -2;
  for (std::size_t j = 0; j < connectM.cols(); ++j) {
    const detail::face_table& table = detail::column_faces(FE, connectM.column(j));
    for (unsigned i = 0; i < table.count; ++i)
      if (neighbors(i, j) == no_index && !faces.push_back(static_cast<unsigned>(j * F + i)))
        return no_memory;
  }
  return 0;
}

int get_elements_on_boundaries(const dense2D<unsigned>& boundaries,
                               const dense2D<unsigned>& connectM,
                               const dense2D<unsigned>& neighbors,
                               const dense1D<unsigned>& ancestors, element_type type,
                               dense1D<unsigned>& faces, unsigned& nbr_faces) {
  faces.clear();
  nbr_faces = 0;
  if (boundaries.empty()) return 0;
  const element_type FE = detail::narrow_mixed(type, connectM.rows());
  const std::size_t E = connectM.cols();
  if (boundaries.rows() != detail::face_column_height(FE)) return -1;
  if (connectM.rows() != nbr_nodes(FE)) return -2;
  const unsigned F = nbr_boundaries(FE);
  if (!detail::valid_neighbors(neighbors, F, E)) return -3;
  if (!check_IDs(ancestors, static_cast<unsigned>(E))) return -4;
  nbr_faces = F;
  if (!detail::has_faces(FE)) return -5;
  if (!faces.resize(boundaries.cols(), no_index)) {
    faces.clear();
    return no_memory;
  }

  node_ball ball(connectM, neighbors, FE);
  for (std::size_t k = 0; k < boundaries.cols(); ++k) {
    const unsigned* b = boundaries.column(k);
    if (b[0] >= ancestors.size()) continue;
    switch (ball.walk(b[0], ancestors[b[0]])) {
      case walk_result::start_lacks_node:
        return -4;
      case walk_result::reached_lacks_node:
        return -3;
      case walk_result::complete:
        break;
    }
    faces[k] = carrying_face(ball.elements(), connectM, FE, F, b,
                             boundary_face_size(b, boundaries.rows()));
  }
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
