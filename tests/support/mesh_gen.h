// Structured test meshes and random point clouds, shared by tests and
// benchmarks. Every element comes out in the reference orientation (quality
// positive): quadrangles and triangles counter-clockwise in the xy plane,
// hexahedra with face 0-1-2-3 counter-clockwise seen from face 4-5-6-7,
// tetrahedra with det(P0 - P3, P1 - P3, P2 - P3) > 0.
#pragma once

#include <quernfold/quernfold.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>

namespace quernfold_test {

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;

struct mesh {
  dense2D<double> coords;
  dense2D<unsigned> connect;
};

// (nx + 1) x (ny + 1) nodes on [0, nx h] x [0, ny h], node (i, j) =
// i + j (nx + 1); the square (i, j) is column i + j nx.
inline mesh quad_grid(unsigned nx, unsigned ny, double h = 1.0) {
  mesh m{dense2D<double>(2, std::size_t(nx + 1) * (ny + 1)),
         dense2D<unsigned>(4, std::size_t(nx) * ny)};
  const unsigned w = nx + 1;
  for (unsigned n = 0; n < m.coords.cols(); ++n)
    m.coords(0, n) = n % w * h, m.coords(1, n) = n / w * h;
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      unsigned* q = m.connect.column(i + j * nx);
      q[0] = i + j * w;
      q[1] = q[0] + 1;
      q[2] = q[1] + w;
      q[3] = q[0] + w;
    }
  return m;
}

// Each grid square split along its diagonal 0-2 into two triangles.
inline mesh tria_grid(unsigned nx, unsigned ny, double h = 1.0) {
  mesh q = quad_grid(nx, ny, h);
  mesh m{q.coords, dense2D<unsigned>(3, 2 * q.connect.cols())};
  for (std::size_t e = 0; e < q.connect.cols(); ++e) {
    const unsigned* s = q.connect.column(e);
    unsigned* a = m.connect.column(2 * e);
    unsigned* b = m.connect.column(2 * e + 1);
    a[0] = s[0], a[1] = s[1], a[2] = s[2];
    b[0] = s[0], b[1] = s[2], b[2] = s[3];
  }
  return m;
}

// Node (i, j, k) = i + j (nx + 1) + k (nx + 1)(ny + 1), at (i h, j h, k h).
inline mesh hexa_grid(unsigned nx, unsigned ny, unsigned nz, double h = 1.0) {
  const unsigned w = nx + 1, s = (nx + 1) * (ny + 1);
  mesh m{dense2D<double>(3, std::size_t(s) * (nz + 1)),
         dense2D<unsigned>(8, std::size_t(nx) * ny * nz)};
  for (unsigned n = 0; n < m.coords.cols(); ++n)
    m.coords(0, n) = n % w * h, m.coords(1, n) = n % s / w * h, m.coords(2, n) = n / s * h;
  std::size_t e = 0;
  for (unsigned k = 0; k < nz; ++k)
    for (unsigned j = 0; j < ny; ++j)
      for (unsigned i = 0; i < nx; ++i, ++e) {
        unsigned* c = m.connect.column(e);
        c[0] = i + j * w + k * s;
        c[1] = c[0] + 1;
        c[2] = c[1] + w;
        c[3] = c[0] + w;
        for (int q = 0; q < 4; ++q) c[q + 4] = c[q] + s;
      }
  return m;
}

// Six tetrahedra per grid cube (the split along the main diagonal 0-6), each
// reordered to positive orientation.
inline mesh tetra_grid(unsigned nx, unsigned ny, unsigned nz, double h = 1.0) {
  mesh hx = hexa_grid(nx, ny, nz, h);
  mesh m{hx.coords, dense2D<unsigned>(4, 6 * hx.connect.cols())};
  static const unsigned char kSplit[6][4] = {{0, 1, 2, 6}, {0, 2, 3, 6}, {0, 3, 7, 6},
                                             {0, 7, 4, 6}, {0, 4, 5, 6}, {0, 5, 1, 6}};
  for (std::size_t e = 0; e < hx.connect.cols(); ++e)
    for (int t = 0; t < 6; ++t) {
      unsigned* c = m.connect.column(6 * e + t);
      for (int q = 0; q < 4; ++q) c[q] = hx.connect(kSplit[t][q], e);
      double d[3][3];
      for (int q = 0; q < 3; ++q)
        for (int r = 0; r < 3; ++r) d[q][r] = m.coords(r, c[q]) - m.coords(r, c[3]);
      const double det = d[0][0] * (d[1][1] * d[2][2] - d[1][2] * d[2][1]) -
                         d[0][1] * (d[1][0] * d[2][2] - d[1][2] * d[2][0]) +
                         d[0][2] * (d[1][0] * d[2][1] - d[1][1] * d[2][0]);
      if (det < 0) std::swap(c[0], c[1]);
    }
  return m;
}

// n points uniform in [0, 1)^dim, reproducible from the seed; with a side,
// points of the integer lattice [0, side)^dim instead, so that equal
// coordinates, coincident points and equal distances abound.
inline dense2D<double> random_points(unsigned dim, std::size_t n, unsigned seed = 12345,
                                     unsigned side = 0) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  dense2D<double> c(dim, n);
  for (std::size_t j = 0; j < n; ++j)
    for (unsigned i = 0; i < dim; ++i) c(i, j) = side ? std::floor(u(gen) * side) : u(gen);
  return c;
}

}  // namespace quernfold_test
