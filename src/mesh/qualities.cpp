// Named quality measures of elements: shape quality, aspect ratio, radius
// ratio, smallest angle and scaled Jacobian.
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "common/edges.h"
#include "common/faces.h"
#include "common/parallel.h"
#include "common/point3.h"
#include "quernfold/mesh.h"
#include "quernfold/quality.h"

namespace ovk {
namespace quernfold {
namespace {

using detail::point3;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kDegrees = 180.0 / 3.14159265358979323846;
constexpr unsigned kMaxCorners = 8;
// Scaled-Jacobian factors: 1 / (the corner determinant of the ideal
// element).
const double kScaleTriangle = 2.0 / std::sqrt(3.0);
const double kScaleTetra = std::sqrt(2.0);
const double kScaleWedge = 2.0 / std::sqrt(3.0);

// A corner and its three neighbours, in an order whose determinant is
// positive for a valid element.
struct corner {
  unsigned char at, a, b, c;
};
constexpr corner kTetraCorners[] = {{0, 2, 1, 3}, {1, 0, 2, 3}, {2, 1, 0, 3}, {3, 0, 1, 2}};
constexpr corner kWedgeCorners[] = {{0, 1, 2, 3}, {1, 2, 0, 4}, {2, 0, 1, 5},
                                    {3, 5, 4, 0}, {4, 3, 5, 1}, {5, 4, 3, 2}};
constexpr corner kHexaCorners[] = {{0, 1, 3, 4}, {1, 2, 0, 5}, {2, 3, 1, 6}, {3, 0, 2, 7},
                                   {4, 7, 5, 0}, {5, 4, 6, 1}, {6, 5, 7, 2}, {7, 6, 4, 3}};

struct element {
  element_type kind;
  unsigned n;
  point3 p[kMaxCorners];
  bool planar;  // 2 coordinate rows
};

point3 unit(const point3& v) {
  const double l = detail::norm(v);
  return l > 0 ? (1.0 / l) * v : point3{0, 0, 0};
}

double angle(const point3& u, const point3& v) {
  return kDegrees * std::acos(std::max(-1.0, std::min(1.0, dot(unit(u), unit(v)))));
}

// Newell normal of a polygon of local nodes `f`.
point3 polygon_normal(const element& e, const unsigned char* f, unsigned n) {
  point3 s{0, 0, 0};
  for (unsigned k = 0; k < n; ++k) s = s + cross(e.p[f[k]], e.p[f[(k + 1) % n]]);
  return s;
}

double aspect_ratio(const element& e) {
  const detail::edge_table& t = *detail::edges_of_shape(e.kind);
  double lo = kInfinity, hi = 0;
  for (unsigned k = 0; k < t.count; ++k) {
    const double l = detail::norm(e.p[t.pairs[k][1]] - e.p[t.pairs[k][0]]);
    lo = std::min(lo, l), hi = std::max(hi, l);
  }
  return lo > 0 ? hi / lo : kInfinity;
}

double radius_ratio(const element& e) {
  const point3* p = e.p;
  if (e.kind == ET_TRIA3) {
    const double a = norm(p[1] - p[2]), b = norm(p[2] - p[0]), c = norm(p[0] - p[1]);
    const double area = 0.5 * norm(cross(p[1] - p[0], p[2] - p[0]));
    return a * b * c > 0 ? 16 * area * area / ((a + b + c) * a * b * c) : 0.0;
  }
  if (e.kind != ET_TETRA4) return kNaN;
  const double six_v = std::fabs(dot(p[1] - p[0], cross(p[2] - p[0], p[3] - p[0])));
  double surface = 0;
  for (unsigned f = 0; f < 4; ++f) {
    const unsigned char* v = detail::kTetraFaces.nodes[f];
    surface += 0.5 * norm(cross(p[v[1]] - p[v[0]], p[v[2]] - p[v[0]]));
  }
  // Products of opposite edges give the circumradius: 24 V R = sqrt(...).
  const double x = norm(p[1] - p[0]) * norm(p[3] - p[2]), y = norm(p[2] - p[0]) * norm(p[3] - p[1]),
               z = norm(p[3] - p[0]) * norm(p[2] - p[1]);
  const double root =
      std::sqrt(std::max(0.0, (x + y + z) * (x + y - z) * (x - y + z) * (-x + y + z)));
  if (!(six_v > 0) || !(root > 0)) return 0.0;
  const double r = six_v / (2 * surface), R = root / (4 * six_v);
  return 3 * r / R;
}

double face_corner_value(const element& e, bool jacobian) {
  const unsigned char cycle[4] = {0, 1, 2, 3};
  const point3 normal = e.planar ? point3{0, 0, 1} : unit(polygon_normal(e, cycle, e.n));
  double best = kInfinity;
  for (unsigned k = 0; k < e.n; ++k) {
    const point3 u = e.p[(k + 1) % e.n] - e.p[k], v = e.p[(k + e.n - 1) % e.n] - e.p[k];
    best = std::min(best, jacobian ? dot(cross(unit(u), unit(v)), normal) : angle(u, v));
  }
  return jacobian && e.n == 3 ? kScaleTriangle * best : best;
}

double min_dihedral(const element& e) {
  const detail::face_table& faces = *detail::faces_of_shape(e.kind);
  const detail::edge_table& edges = *detail::edges_of_shape(e.kind);
  double best = kInfinity;
  for (unsigned k = 0; k < edges.count; ++k) {
    point3 n[2];
    unsigned found = 0;
    for (unsigned f = 0; f < faces.count && found < 2; ++f) {
      const unsigned char* v = faces.nodes[f];
      const unsigned char* end = v + faces.size[f];
      if (std::find(v, end, edges.pairs[k][0]) != end &&
          std::find(v, end, edges.pairs[k][1]) != end)
        n[found++] = polygon_normal(e, v, faces.size[f]);
    }
    if (found == 2) best = std::min(best, 180.0 - angle(n[0], n[1]));
  }
  return best;
}

double solid_jacobian(const element& e) {
  const corner* first = e.kind == ET_TETRA4   ? kTetraCorners
                        : e.kind == ET_WEDGE6 ? kWedgeCorners
                        : e.kind == ET_HEXA8  ? kHexaCorners
                                              : nullptr;
  if (!first) return kNaN;
  double best = kInfinity;
  for (const corner* c = first; c != first + e.n; ++c) {
    const point3 o = e.p[c->at];
    best =
        std::min(best, dot(unit(e.p[c->a] - o), cross(unit(e.p[c->b] - o), unit(e.p[c->c] - o))));
  }
  return e.kind == ET_TETRA4 ? kScaleTetra * best : e.kind == ET_WEDGE6 ? kScaleWedge * best : best;
}

double measure_one(const element& e, quality_measure m) {
  const unsigned dim = element_dim(e.kind);
  switch (m) {
    case quality_measure::aspect_ratio:
      return dim ? aspect_ratio(e) : kNaN;
    case quality_measure::radius_ratio:
      return radius_ratio(e);
    case quality_measure::min_angle:
      return dim == 2 ? face_corner_value(e, false) : dim == 3 ? min_dihedral(e) : kNaN;
    default:
      return dim == 2 ? face_corner_value(e, true) : dim == 3 ? solid_jacobian(e) : kNaN;
  }
}

// `measure` of the columns [first, last) of `v`, taken into a matrix of
// the thread's own (a view would share the count of `v` between threads),
// into values[first, last).
int measure_columns(const dense2D<double>& coords, const dense2D<unsigned>& v, element_type kind,
                    element_measure measure, std::size_t first, std::size_t last,
                    dense1D<double>& values) {
  dense2D<unsigned> columns;
  dense1D<double> q;
  if (!columns.resize(v.rows(), last - first)) return no_memory;
  for (std::size_t j = first; j < last; ++j)
    std::copy(v.column(j), v.column(j) + v.rows(), columns.column(j - first));
  if (int code = measure(coords, columns, kind, q)) return code;
  std::copy_n(q.begin(), std::min(q.size(), last - first), values.begin() + first);
  return 0;
}

// The other measures of the columns [first, last) of `v` into
// values[first, last).
void measure_range(const dense2D<double>& coords, const dense2D<unsigned>& v, element e,
                   quality_measure measure, std::size_t first, std::size_t last,
                   dense1D<double>& values) {
  for (std::size_t j = first; j < last; ++j) {
    for (unsigned k = 0; k < e.n; ++k) {
      const double* c = coords.column(v(k, j));
      e.p[k] = {c[0], c[1], e.planar ? 0.0 : c[2]};
    }
    values[j] = measure_one(e, measure);
  }
}

}  // namespace

int measure_elements(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                     element_type type, element_measure measure, dense1D<double>& values,
                     unsigned threads) try {
  threads = detail::thread_count(threads);
  const std::size_t n = connectM.cols();
  if (threads == 1 || n < 2) return measure(coords, connectM, type, values);
  if (!values.resize(0) || !values.resize(n, kNaN)) return values.clear(), no_memory;
  std::vector<int> codes(detail::range_parts(threads, n), 0);
  detail::parallel_parts(threads, n, [&](std::size_t part, std::size_t first, std::size_t last) {
    try {
      codes[part] = measure_columns(coords, connectM, type, measure, first, last, values);
    } catch (const std::bad_alloc&) {
      codes[part] = no_memory;
    }
  });
  for (int code : codes)
    if (code) return values.clear(), code;
  return 0;
} catch (const std::bad_alloc&) {
  values.clear();
  return no_memory;
}

int cell_qualities(const dense2D<double>& coords, const mesh_block& block, quality_measure measure,
                   dense1D<double>& values) {
  return cell_qualities(coords, block, measure, values, 1);
}

int cell_qualities(const dense2D<double>& coords, const mesh_block& block, quality_measure measure,
                   dense1D<double>& values, unsigned threads) try {
  dense2D<unsigned> v;
  if (!vertex_matrix(block, v)) return values.clear(), no_memory;
  element e;
  e.kind = linear_kind(block.type);
  e.n = nbr_base_nodes(block.type);
  e.planar = coords.rows() < 3;
  if (measure == quality_measure::shape) {
    if (e.kind == ET_NODE) return values.resize(0) && values.resize(v.cols(), kNaN) ? 0 : no_memory;
    return measure_elements(coords, v, e.kind, &shape_qualities, values, threads);
  }
  if (!values.resize(0) || !values.resize(v.cols(), kNaN)) return values.clear(), no_memory;
  detail::parallel_ranges(detail::thread_count(threads), v.cols(),
                          [&](std::size_t first, std::size_t last) {
                            measure_range(coords, v, e, measure, first, last, values);
                          });
  return 0;
} catch (const std::bad_alloc&) {
  values.clear();
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
