// Jacobian of every element's map from its reference element, at the
// reference center: the signed determinant for solids, the length of the
// tangent (edges) or of the cross product of the two tangents (faces).
#include "quality/shape_geometry.h"
#include "quality/shape_walk.h"
#include "quernfold/quality.h"

namespace ovk {
namespace quernfold {

namespace {

using detail::cross;
using detail::dot;
using detail::norm;
using detail::point3;
using detail::shape::node_reader;

// Gradients of the shape functions at the evaluation point: d[r][k] is
// dN_k / d(xi, eta, zeta)[r].
struct gradients {
  int nodes;
  int dims;
  double d[3][8];
};

constexpr double kThird = 1.0 / 3.0;
constexpr double kLastThird = 1.0 - kThird - kThird;  // 1 - xi - eta at (1/3, 1/3)

// Edge at xi = 0.
constexpr gradients kEdge = {2, 1, {{-0.5, 0.5}}};
// Triangle N = (xi, eta, 1 - xi - eta), constant gradients.
constexpr gradients kTriangle = {3, 2, {{1, 0, -1}, {0, 1, -1}}};
// Quadrangle at (0, 0).
constexpr gradients kQuad = {4, 2, {{-0.25, 0.25, 0.25, -0.25}, {-0.25, -0.25, 0.25, 0.25}}};
// Tetrahedron N = (xi, eta, zeta, 1 - xi - eta - zeta).
constexpr gradients kTetra = {4, 3, {{1, 0, 0, -1}, {0, 1, 0, -1}, {0, 0, 1, -1}}};
// Pyramid at (0, 0, 1/4): the base functions' zeta-derivative is -1/4 on the
// axis, whatever zeta.
constexpr gradients kPyramid = {5,
                                3,
                                {{-0.25, 0.25, 0.25, -0.25, 0},
                                 {-0.25, -0.25, 0.25, 0.25, 0},
                                 {-0.25, -0.25, -0.25, -0.25, 1}}};
// Wedge at (1/3, 1/3, 0).
constexpr gradients kWedge = {
    6,
    3,
    {{0.5, 0, -0.5, 0.5, 0, -0.5},
     {0, 0.5, -0.5, 0, 0.5, -0.5},
     {-kThird / 2, -kThird / 2, -kLastThird / 2, kThird / 2, kThird / 2, kLastThird / 2}}};
// Hexahedron at (0, 0, 0).
constexpr gradients kHexa = {8,
                             3,
                             {{-0.125, 0.125, 0.125, -0.125, -0.125, 0.125, 0.125, -0.125},
                              {-0.125, -0.125, 0.125, 0.125, -0.125, -0.125, 0.125, 0.125},
                              {-0.125, -0.125, -0.125, -0.125, 0.125, 0.125, 0.125, 0.125}}};

const gradients& gradients_of(element_type shape) noexcept {
  switch (shape) {
    case ET_EDGE2:
      return kEdge;
    case ET_TRIA3:
      return kTriangle;
    case ET_QUAD4:
      return kQuad;
    case ET_TETRA4:
      return kTetra;
    case ET_PYRAMID5:
      return kPyramid;
    case ET_WEDGE6:
      return kWedge;
    default:  // ET_HEXA8
      return kHexa;
  }
}

class element_jacobian {
 public:
  explicit element_jacobian(const dense2D<double>& coords) noexcept : read_(coords) {}

  double operator()(element_type shape, const unsigned* column) const noexcept {
    const gradients& g = gradients_of(shape);
    point3 P[8];
    for (int k = 0; k < g.nodes; ++k) P[k] = read_(column[k]);
    point3 J[3];
    for (int r = 0; r < g.dims; ++r) J[r] = column_of_jacobian(P, g.nodes, g.d[r]);
    switch (g.dims) {
      case 1:
        return norm(J[0]);
      case 2:
        return norm(cross(J[0], J[1]));
      default:
        return dot(J[0], cross(J[1], J[2]));
    }
  }

 private:
  // sum_k P_k dN_k, skipping the nodes whose gradient is 0.
  static point3 column_of_jacobian(const point3* P, int nodes, const double* d) noexcept {
    point3 s{0, 0, 0};
    for (int k = 0; k < nodes; ++k)
      if (d[k] != 0) s = s + d[k] * P[k];
    return s;
  }

  node_reader read_;
};

}  // namespace

int jacobians(const dense2D<double>& coords, const dense2D<unsigned>& connectM, element_type type,
              dense1D<double, 8>& J) {
  return detail::shape::measure_elements(coords, connectM, type, J, element_jacobian(coords));
}

}  // namespace quernfold
}  // namespace ovk
