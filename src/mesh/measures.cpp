// Sizes of cells (lengths, areas, volumes) and the normals of a triangulated
// surface.
#include <algorithm>
#include <cmath>

#include "common/faces.h"
#include "common/parallel.h"
#include "common/point3.h"
#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace {

using detail::point3;

constexpr double kHalf = 0.5;
constexpr double kSixth = 1.0 / 6.0;
constexpr unsigned kQuadCorners = 4;

// Node k of coords as a point (z = 0 with 2 rows).
point3 node(const dense2D<double>& coords, unsigned k) {
  const double* c = coords.column(k);
  return {c[0], coords.rows() > 1 ? c[1] : 0.0, coords.rows() > 2 ? c[2] : 0.0};
}

point3 centre(const dense2D<double>& coords, const unsigned* nodes, unsigned n) {
  point3 g{0, 0, 0};
  for (unsigned k = 0; k < n; ++k) g = g + node(coords, nodes[k]);
  return (1.0 / n) * g;
}

// Area of a triangle or quadrangle: signed with 2 coordinate rows.
double face_area(const dense2D<double>& coords, const unsigned* v, unsigned corners) {
  const point3 a = node(coords, v[0]), b = node(coords, v[1]), c = node(coords, v[2]);
  const point3 n =
      corners == kQuadCorners ? cross(c - a, node(coords, v[3]) - b) : cross(b - a, c - a);
  return coords.rows() < 3 ? kHalf * n.z : kHalf * detail::norm(n);
}

// Six times the volume of the tetrahedra joining the triangles of the face
// (quadrangles cut into four at their centre) to g, positive when the
// face's right-hand normal points towards g.
double face_cone(const dense2D<double>& coords, const unsigned* v, const unsigned char* local,
                 unsigned size, const point3& g) {
  point3 p[kQuadCorners];
  for (unsigned k = 0; k < size; ++k) p[k] = node(coords, v[local[k]]);
  if (size == 3) return dot(cross(p[1] - p[0], p[2] - p[0]), g - p[0]);
  const point3 m = 0.25 * (p[0] + p[1] + p[2] + p[3]);
  double sum = 0;
  for (unsigned k = 0; k < kQuadCorners; ++k)
    sum += dot(cross(p[(k + 1) % kQuadCorners] - p[k], m - p[k]), g - p[k]);
  return sum;
}

double solid_volume(const dense2D<double>& coords, const unsigned* v, element_type kind) {
  const detail::face_table& faces = *detail::faces_of_shape(kind);
  const point3 g = centre(coords, v, nbr_base_nodes(kind));
  double sum = 0;
  for (unsigned f = 0; f < faces.count; ++f)
    sum += face_cone(coords, v, faces.nodes[f], faces.size[f], g);
  return kSixth * sum;
}

double cell_size(const dense2D<double>& coords, const unsigned* v, element_type kind) {
  switch (element_dim(kind)) {
    case 1:
      return detail::norm(node(coords, v[1]) - node(coords, v[0]));
    case 2:
      return face_area(coords, v, nbr_base_nodes(kind));
    case 3:
      return solid_volume(coords, v, kind);
    default:
      return 0;
  }
}

// Checks the triangles and sizes the normals (3 x columns, zeros).
int start_normals(const dense2D<double>& coords, const dense2D<unsigned>& triangles,
                  std::size_t columns, dense2D<double>& normals) {
  normals.clear();
  if (triangles.cols() > 0 && triangles.rows() != 3) return -2;
  if (!check_IDs(triangles, static_cast<unsigned>(coords.cols()))) return -2;
  if (!normals.resize(3, columns, 0.0)) return no_memory;
  return 0;
}

point3 triangle_cross(const dense2D<double>& coords, const unsigned* v) {
  const point3 a = node(coords, v[0]);
  return cross(node(coords, v[1]) - a, node(coords, v[2]) - a);
}

void store_unit(const point3& n, double* out) {
  const double length = detail::norm(n);
  if (!(length > 0)) return;
  out[0] = n.x / length;
  out[1] = n.y / length;
  out[2] = n.z / length;
}

}  // namespace

int cell_sizes(const dense2D<double>& coords, const mesh_block& block, dense1D<double>& sizes) {
  return cell_sizes(coords, block, sizes, 1);
}

int cell_sizes(const dense2D<double>& coords, const mesh_block& block, dense1D<double>& sizes,
               unsigned threads) {
  dense2D<unsigned> v;
  if (!sizes.resize(0) || !sizes.resize(block.connectM.cols(), 0.0) || !vertex_matrix(block, v)) {
    sizes.clear();
    return no_memory;
  }
  const element_type kind = linear_kind(block.type);
  detail::parallel_ranges(detail::thread_count(threads), v.cols(),
                          [&](std::size_t first, std::size_t last) {
                            for (std::size_t j = first; j < last; ++j)
                              sizes[j] = cell_size(coords, v.column(j), kind);
                          });
  return 0;
}

int face_normals(const dense2D<double>& coords, const dense2D<unsigned>& triangles,
                 dense2D<double>& normals) {
  if (int code = start_normals(coords, triangles, triangles.cols(), normals)) return code;
  for (std::size_t j = 0; j < triangles.cols(); ++j)
    store_unit(triangle_cross(coords, triangles.column(j)), normals.column(j));
  return 0;
}

int vertex_normals(const dense2D<double>& coords, const dense2D<unsigned>& triangles,
                   dense2D<double>& normals) {
  if (int code = start_normals(coords, triangles, coords.cols(), normals)) return code;
  for (std::size_t j = 0; j < triangles.cols(); ++j) {
    const point3 n = triangle_cross(coords, triangles.column(j));
    for (unsigned k = 0; k < 3; ++k) {
      double* sum = normals.column(triangles(k, j));
      sum[0] += n.x;
      sum[1] += n.y;
      sum[2] += n.z;
    }
  }
  for (std::size_t i = 0; i < normals.cols(); ++i) {
    double* s = normals.column(i);
    const point3 sum{s[0], s[1], s[2]};
    std::fill(s, s + 3, 0.0);
    store_unit(sum, s);
  }
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
