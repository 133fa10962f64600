// Structured test meshes and random point clouds, shared by tests and
// benchmarks. Every element comes out in the reference orientation (quality
// positive): quadrangles and triangles counter-clockwise in the xy plane,
// hexahedra with face 0-1-2-3 counter-clockwise seen from face 4-5-6-7,
// tetrahedra with det(P0 - P3, P1 - P3, P2 - P3) > 0.
#pragma once

#include <quernfold/quernfold.h>

#include <cmath>
#include <random>

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
  unsigned* q = m.connect.data();
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0, c = j * w; i < nx; ++i, ++c)
      for (unsigned d : {0u, 1u, w + 1, w}) *q++ = c + d;
  return m;
}

// Each grid square split along its diagonal 0-2 into two triangles.
inline mesh tria_grid(unsigned nx, unsigned ny, double h = 1.0) {
  mesh q = quad_grid(nx, ny, h);
  mesh m{q.coords, dense2D<unsigned>(3, 2 * q.connect.cols())};
  unsigned* t = m.connect.data();
  for (std::size_t e = 0; e < q.connect.cols(); ++e)
    for (int k : {0, 1, 2, 0, 2, 3}) *t++ = q.connect(k, e);
  return m;
}

// Node (i, j, k) = i + j (nx + 1) + k (nx + 1)(ny + 1), at (i h, j h, k h).
inline mesh hexa_grid(unsigned nx, unsigned ny, unsigned nz, double h = 1.0) {
  const unsigned w = nx + 1, s = (nx + 1) * (ny + 1);
  mesh m{dense2D<double>(3, std::size_t(s) * (nz + 1)),
         dense2D<unsigned>(8, std::size_t(nx) * ny * nz)};
  for (unsigned n = 0; n < m.coords.cols(); ++n)
    m.coords(0, n) = n % w * h, m.coords(1, n) = n % s / w * h, m.coords(2, n) = n / s * h;
  unsigned* c = m.connect.data();
  for (unsigned k = 0; k < nz; ++k)
    for (unsigned j = 0; j < ny; ++j)
      for (unsigned i = 0, n = j * w + k * s; i < nx; ++i, ++n)
        for (unsigned d : {0u, 1u, w + 1, w, s, s + 1, s + w + 1, s + w}) *c++ = n + d;
  return m;
}

// Six tetrahedra per grid cube (the split along the main diagonal 0-6), each
// listed in positive orientation (for h > 0).
inline mesh tetra_grid(unsigned nx, unsigned ny, unsigned nz, double h = 1.0) {
  mesh hx = hexa_grid(nx, ny, nz, h);
  mesh m{hx.coords, dense2D<unsigned>(4, 6 * hx.connect.cols())};
  static const unsigned char kSplit[6][4] = {{1, 0, 2, 6}, {2, 0, 3, 6}, {3, 0, 7, 6},
                                             {7, 0, 4, 6}, {4, 0, 5, 6}, {5, 0, 1, 6}};
  for (std::size_t e = 0; e < hx.connect.cols(); ++e)
    for (int t = 0; t < 6; ++t)
      for (int q = 0; q < 4; ++q) m.connect(q, 6 * e + t) = hx.connect(kSplit[t][q], e);
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
  for (std::size_t k = 0; k < dim * n; ++k) c.data()[k] = side ? std::floor(u(gen) * side) : u(gen);
  return c;
}

}  // namespace quernfold_test
