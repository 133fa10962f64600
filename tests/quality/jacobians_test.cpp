#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "quernfold/quality.h"
#include "support/mesh_gen.h"
#include "support/quality_shapes.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;

constexpr double kRound = 1e-14;

double jacobian(const std::vector<point>& P, element_type type, unsigned rows = 3) {
  dense1D<double, 8> J;
  EXPECT_EQ(jacobians(coords_of(P, rows), identity_connect(P.size()), type, J), 0);
  EXPECT_EQ(J.size(), 1u);
  return J.size() == 1 ? J[0] : std::nan("");
}

// Each kind's reference element in its own reference coordinates: there the
// map is the identity and J = 1.
std::vector<point> reference_pyramid() {
  return {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {0, 0, 1}};
}
std::vector<point> reference_wedge() {
  return {{1, 0, -1}, {0, 1, -1}, {0, 0, -1}, {1, 0, 1}, {0, 1, 1}, {0, 0, 1}};
}
std::vector<point> reference_hexa() {
  return {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
          {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
}
std::vector<point> reference_tetra() { return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}}; }
std::vector<point> reference_triangle() { return {{1, 0, 0}, {0, 1, 0}, {0, 0, 0}}; }
std::vector<point> reference_quad() { return {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}; }

TEST(Jacobians, KnownValues) {
  // The triangle (0, 0), (1, 0), (0, 1) in either orientation.
  EXPECT_EQ(jacobian({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, ET_TRIA3, 2), 1.0);
  EXPECT_EQ(jacobian({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, ET_TRIA3, 2), 1.0);
  EXPECT_EQ(jacobian(ideal_quad(), ET_QUAD4, 2), 0.25);
  EXPECT_EQ(jacobian(mirrored(ideal_quad()), ET_QUAD4, 3), 0.25);
  EXPECT_EQ(jacobian(ideal_hexa(), ET_HEXA8), 0.125);
  EXPECT_EQ(jacobian(mirrored(ideal_hexa()), ET_HEXA8), -0.125);
  EXPECT_EQ(jacobian({{0, 0, 0}, {1, 0, 0}}, ET_EDGE2, 2), 0.5);
  EXPECT_EQ(jacobian({{1, 2, 2}, {1, 5, 6}}, ET_EDGE2), 2.5);
  EXPECT_EQ(jacobian({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}}, ET_TETRA4), 1.0);
  EXPECT_EQ(jacobian({{1, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, -1}}, ET_TETRA4), -1.0);
  EXPECT_EQ(jacobian(reference_pyramid(), ET_PYRAMID5), 1.0);
  EXPECT_NEAR(jacobian(reference_wedge(), ET_WEDGE6), 1.0, kRound);
  EXPECT_EQ(jacobian(reference_hexa(), ET_HEXA8), 1.0);
  // Solids in the plane have no volume.
  EXPECT_EQ(jacobian(ideal_hexa(), ET_HEXA8, 2), 0.0);
  // The ideal elements of the quality measures are positively oriented.
  EXPECT_GT(jacobian(ideal_tetra(), ET_TETRA4), 0.0);
  EXPECT_GT(jacobian(ideal_pyramid(), ET_PYRAMID5), 0.0);
  EXPECT_GT(jacobian(ideal_wedge(), ET_WEDGE6), 0.0);
}

TEST(Jacobians, AffineImagesOfTheReferenceElements) {
  std::mt19937 gen(17);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int t = 0; t < 50; ++t) {
    double A[3][3];
    for (auto& row : A)
      for (double& x : row) x = u(gen);
    const point shift{u(gen), u(gen), u(gen)};
    const double det = det3(A);
    const double tol = 1e-12 * (1 + std::fabs(det));
    // Solids: det J = det A, sign included.
    EXPECT_NEAR(jacobian(affine(reference_tetra(), A, shift), ET_TETRA4), det, tol);
    EXPECT_NEAR(jacobian(affine(reference_pyramid(), A, shift), ET_PYRAMID5), det, tol);
    EXPECT_NEAR(jacobian(affine(reference_wedge(), A, shift), ET_WEDGE6), det, tol);
    EXPECT_NEAR(jacobian(affine(reference_hexa(), A, shift), ET_HEXA8), det, tol);
    // Faces: |A e0 x A e1|; edges: |A e0| (reference edge [-1, 1]).
    const point a0{A[0][0], A[1][0], A[2][0]}, a1{A[0][1], A[1][1], A[2][1]};
    const point n{a0[1] * a1[2] - a0[2] * a1[1], a0[2] * a1[0] - a0[0] * a1[2],
                  a0[0] * a1[1] - a0[1] * a1[0]};
    const double area = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    EXPECT_NEAR(jacobian(affine(reference_triangle(), A, shift), ET_TRIA3), area, tol * 10);
    EXPECT_NEAR(jacobian(affine(reference_quad(), A, shift), ET_QUAD4), area, tol * 10);
    const std::vector<point> edge = affine(std::vector<point>{{-1, 0, 0}, {1, 0, 0}}, A, shift);
    EXPECT_NEAR(jacobian(edge, ET_EDGE2), distance(edge[0], edge[1]) / 2, tol);
  }
}

TEST(Jacobians, CentreOnlyAndMixedColumns) {
  // A hexahedron inverted near one corner only still has a positive value at
  // the centre; the shape quality sees the inversion.
  std::vector<point> H = ideal_hexa();
  H[6] = {0.45, 0.45, 0.45};
  EXPECT_GT(jacobian(H, ET_HEXA8), 0.0);

  // Mixed matrices give the value of each column's own shape.
  std::vector<point> nodes = ideal_hexa();
  nodes.push_back({0.5, 0.5, 1});
  const dense2D<double> xyz = coords_of(nodes, 3);
  const unsigned N = ~0U;
  const dense2D<unsigned> solid{{0, 1, 3, 4, N, N, N, N},
                                {0, 1, 2, 3, 8, N, N, N},
                                {0, 1, 2, 4, 5, 6, N, N},
                                {0, 1, 2, 3, 4, 5, 6, 7}};
  dense1D<double, 8> J;
  ASSERT_EQ(jacobians(xyz, solid, ET_SOLID_MIX, J), 0);
  ASSERT_EQ(J.size(), 4u);
  const element_type kinds[4] = {ET_TETRA4, ET_PYRAMID5, ET_WEDGE6, ET_HEXA8};
  const int heights[4] = {4, 5, 6, 8};
  for (int e = 0; e < 4; ++e) {
    std::vector<point> P;
    for (int k = 0; k < heights[e]; ++k) P.push_back(nodes[solid(k, e)]);
    EXPECT_EQ(J[e], jacobian(P, kinds[e])) << e;
  }
  EXPECT_EQ(J[3], 0.125);
  // Unit pyramid over [0,1]^2 of height 1: d/dzeta of the map is the apex
  // minus the base centre, the base tangents are half the sides.
  EXPECT_EQ(J[1], 0.25);

  const dense2D<unsigned> faces{{0, 1, 2, N}, {0, 1, 2, 3}};
  ASSERT_EQ(jacobians(xyz, faces, ET_FACE_MIX, J), 0);
  EXPECT_EQ(J[0], 1.0);
  EXPECT_EQ(J[1], 0.25);
  ASSERT_EQ(jacobians(xyz, dense2D<unsigned>{{0, 1, 2}}, ET_FACE_MIX, J), 0);
  EXPECT_EQ(J[0], 1.0);
  ASSERT_EQ(jacobians(xyz, dense2D<unsigned>{{0, 1, 2, 3, 8}}, ET_SOLID_MIX, J), 0);
  EXPECT_EQ(J[0], 0.25);

  // A structured grid: every cell of size h has h^3 / 8.
  const mesh grid = hexa_grid(3, 2, 2, 0.5);
  ASSERT_EQ(jacobians(grid.coords, grid.connect, ET_HEXA8, J), 0);
  ASSERT_EQ(J.size(), grid.connect.cols());
  for (double j : J) EXPECT_EQ(j, 0.125 * 0.125);
}

TEST(Jacobians, Codes) {
  const dense2D<double> xyz = coords_of(ideal_hexa(), 3);
  dense1D<double, 8> J{1, 2, 3};
  EXPECT_EQ(jacobians(xyz, dense2D<unsigned>(4, 0), ET_TETRA4, J), 0);
  EXPECT_TRUE(J.empty());
  J = dense1D<double, 8>{1};
  EXPECT_EQ(jacobians(xyz, dense2D<unsigned>{{0, 1, 2, 9}}, ET_TETRA4, J), -2);
  EXPECT_TRUE(J.empty());
  dense2D<unsigned> q8(8, 1);
  for (unsigned i = 0; i < 8; ++i) q8(i, 0) = i;
  J = dense1D<double, 8>{1};
  EXPECT_EQ(jacobians(xyz, q8, ET_QUAD8, J), -3);
  EXPECT_TRUE(J.empty());
  EXPECT_EQ(jacobians(xyz, dense2D<unsigned>{{0, 1, 2, 3}}, ET_TETRA10, J), -2);
  EXPECT_EQ(jacobians(xyz, dense2D<unsigned>{{0, 1}}, ET_EDGE_MIX, J), -3);
  EXPECT_TRUE(J.empty());
}

}  // namespace
