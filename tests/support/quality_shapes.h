// Single elements for the shape-quality and Jacobian tests: the ideal element
// of every linear kind, affine images and mirror images of elements, and
// independent formulas for the quality of simplices.
#pragma once

#include <quernfold/quernfold.h>

#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace quernfold_test {

using ovk::quernfold::dense2D;

using point = std::array<double, 3>;

// One element is its own little mesh: node k of the element is column k.
inline dense2D<double> coords_of(const std::vector<point>& P, unsigned rows) {
  dense2D<double> c(rows, P.size());
  for (std::size_t j = 0; j < P.size(); ++j)
    for (unsigned i = 0; i < rows; ++i) c(i, j) = P[j][i];
  return c;
}

// Connectivity of one element whose node k is node k of the mesh.
inline dense2D<unsigned> identity_connect(std::size_t n) {
  dense2D<unsigned> m(n, 1);
  for (std::size_t i = 0; i < n; ++i) m(i, 0) = static_cast<unsigned>(i);
  return m;
}

inline const double kSqrt3 = std::sqrt(3.0);

// Ideal elements, in the reference orientation.
inline std::vector<point> ideal_triangle() { return {{0, 0, 0}, {1, 0, 0}, {0.5, kSqrt3 / 2, 0}}; }
inline std::vector<point> ideal_quad() { return {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}; }
inline std::vector<point> ideal_tetra() {
  // Regular tetrahedron with det(P0 - P3, P1 - P3, P2 - P3) > 0.
  return {{-1, 1, -1}, {1, 1, 1}, {1, -1, -1}, {-1, -1, 1}};
}
inline std::vector<point> ideal_pyramid() {
  return {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5, 0.5, std::sqrt(0.5)}};
}
inline std::vector<point> ideal_wedge() {
  return {{0, 0, 0}, {1, 0, 0}, {0.5, kSqrt3 / 2, 0}, {0, 0, 1}, {1, 0, 1}, {0.5, kSqrt3 / 2, 1}};
}
inline std::vector<point> ideal_hexa() {
  return {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
}

// x -> -x: turns every element inside out.
inline std::vector<point> mirrored(std::vector<point> P) {
  for (point& p : P) p[0] = -p[0];
  return P;
}

// x -> A x + t, A row-major.
inline std::vector<point> affine(std::vector<point> P, const double (&A)[3][3], const point& t) {
  for (point& p : P) {
    const point q = p;
    for (int i = 0; i < 3; ++i) p[i] = A[i][0] * q[0] + A[i][1] * q[1] + A[i][2] * q[2] + t[i];
  }
  return P;
}

inline double det3(const double (&A)[3][3]) {
  return A[0][0] * (A[1][1] * A[2][2] - A[1][2] * A[2][1]) -
         A[0][1] * (A[1][0] * A[2][2] - A[1][2] * A[2][0]) +
         A[0][2] * (A[1][0] * A[2][1] - A[1][1] * A[2][0]);
}

inline double distance(const point& a, const point& b) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]));
}

// Heron's formula.
inline double triangle_area(const point& a, const point& b, const point& c) {
  const double x = distance(a, b), y = distance(b, c), z = distance(c, a);
  const double s = (x + y + z) / 2;
  return std::sqrt(std::fmax(0.0, s * (s - x) * (s - y) * (s - z)));
}

// 2 sqrt 3 * inradius / longest edge, unsigned.
inline double triangle_oracle(const point& a, const point& b, const point& c) {
  const double x = distance(a, b), y = distance(b, c), z = distance(c, a);
  const double r = triangle_area(a, b, c) / ((x + y + z) / 2);
  return 2 * kSqrt3 * r / std::fmax(x, std::fmax(y, z));
}

// 2 sqrt 6 * inradius / longest edge, signed by det(P0 - P3, P1 - P3, P2 - P3).
inline double tetra_oracle(const std::vector<point>& P) {
  double A[3][3];
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) A[i][k] = P[i][k] - P[3][k];
  const double volume = det3(A) / 6;
  const double surface = triangle_area(P[0], P[1], P[2]) + triangle_area(P[0], P[1], P[3]) +
                         triangle_area(P[0], P[2], P[3]) + triangle_area(P[1], P[2], P[3]);
  double longest = 0;
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) longest = std::fmax(longest, distance(P[i], P[j]));
  return 2 * std::sqrt(6.0) * (3 * volume / surface) / longest;
}

}  // namespace quernfold_test
