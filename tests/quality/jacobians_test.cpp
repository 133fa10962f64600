#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "quernfold/quality.h"
#include "support/mesh_gen.h"
#include "support/quality_shapes.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;

double jacobian(const std::vector<point>& P, element_type type, unsigned rows = 3) {
  dense1D<double, 8> J;
  EXPECT_EQ(jacobians(coords_of(P, rows), identity_connect(P.size()), type, J), 0);
  EXPECT_EQ(J.size(), 1u);
  return J.size() == 1 ? J[0] : std::nan("");
}

// Each kind's reference element in its own reference coordinates.
const std::vector<point> kRefPyramid{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {0, 0, 1}};
const std::vector<point> kRefWedge{{1, 0, -1}, {0, 1, -1}, {0, 0, -1},
                                   {1, 0, 1},  {0, 1, 1},  {0, 0, 1}};
const std::vector<point> kRefHexa{{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                  {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const std::vector<point> kRefTetra{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
const std::vector<point> kRefQuad{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};

TEST(Jacobians, KnownValues) {
  EXPECT_EQ(jacobian({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, ET_TRIA3, 2), 1.0);  // unsigned in 2D
  EXPECT_EQ(jacobian(mirrored(ideal_quad()), ET_QUAD4, 3), 0.25);
  EXPECT_EQ(jacobian(mirrored(ideal_hexa()), ET_HEXA8), -0.125);
  EXPECT_EQ(jacobian(ideal_hexa(), ET_HEXA8, 2), 0.0);  // solids in the plane have no volume
  // The ideal elements of the quality measures are positively oriented.
  for (auto [P, type] :
       {std::pair{ideal_tetra(), ET_TETRA4}, std::pair{ideal_pyramid(), ET_PYRAMID5},
        std::pair{ideal_wedge(), ET_WEDGE6}})
    EXPECT_GT(jacobian(P, type), 0.0) << type;
  // Evaluated at the centre only: a hexahedron inverted near one corner is positive there.
  std::vector<point> H = ideal_hexa();
  H[6] = {0.45, 0.45, 0.45};
  EXPECT_GT(jacobian(H, ET_HEXA8), 0.0);
}

TEST(Jacobians, AffineImagesOfTheReferenceElements) {
  std::mt19937 gen(17);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int t = 0; t < 10; ++t) {
    double A[3][3];
    for (auto& row : A)
      for (double& x : row) x = u(gen);
    const point shift{u(gen), u(gen), u(gen)};
    const double det = det3(A);
    const double tol = 1e-12 * (1 + std::fabs(det));
    // Solids: det J = det A, sign included.
    EXPECT_NEAR(jacobian(affine(kRefTetra, A, shift), ET_TETRA4), det, tol);
    EXPECT_NEAR(jacobian(affine(kRefPyramid, A, shift), ET_PYRAMID5), det, tol);
    EXPECT_NEAR(jacobian(affine(kRefWedge, A, shift), ET_WEDGE6), det, tol);
    EXPECT_NEAR(jacobian(affine(kRefHexa, A, shift), ET_HEXA8), det, tol);
    // Faces: |A e0 x A e1|; edges: |A e0| (reference edge [-1, 1]).
    const point a0{A[0][0], A[1][0], A[2][0]}, a1{A[0][1], A[1][1], A[2][1]};
    const point n{a0[1] * a1[2] - a0[2] * a1[1], a0[2] * a1[0] - a0[0] * a1[2],
                  a0[0] * a1[1] - a0[1] * a1[0]};
    const double area = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    const std::vector<point> tri{{1, 0, 0}, {0, 1, 0}, {0, 0, 0}};
    EXPECT_NEAR(jacobian(affine(tri, A, shift), ET_TRIA3), area, tol * 10);
    EXPECT_NEAR(jacobian(affine(kRefQuad, A, shift), ET_QUAD4), area, tol * 10);
    const std::vector<point> edge = affine(std::vector<point>{{-1, 0, 0}, {1, 0, 0}}, A, shift);
    EXPECT_NEAR(jacobian(edge, ET_EDGE2), distance(edge[0], edge[1]) / 2, tol);
  }
}

TEST(Jacobians, MixedColumnsAndCodes) {
  // Mixed matrices give the value of each column's own shape.
  std::vector<point> nodes = ideal_hexa();
  nodes.push_back({0.5, 0.5, 1});
  const dense2D<double> xyz = coords_of(nodes, 3);
  const unsigned N = no_index;
  const dense2D<unsigned> solid{{0, 1, 3, 4, N, N, N, N},
                                {0, 1, 2, 3, 8, N, N, N},
                                {0, 1, 2, 4, 5, 6, N, N},
                                {0, 1, 2, 3, 4, 5, 6, 7}};
  dense1D<double, 8> J;
  ASSERT_EQ(jacobians(xyz, solid, ET_SOLID_MIX, J), 0);
  ASSERT_EQ(J.size(), 4u);
  EXPECT_EQ(J[0], -1.0);
  // Unit pyramid over [0,1]^2 of height 1: apex minus base centre, half sides.
  EXPECT_EQ(J[1], 0.25);
  EXPECT_EQ(J[3], 0.125);
  ASSERT_EQ(jacobians(xyz, dense2D<unsigned>{{0, 1, 2, N}, {0, 1, 2, 3}}, ET_FACE_MIX, J), 0);
  EXPECT_EQ(J[0] + J[1], 1.25);

  // Codes: no columns 0, bad node -2, unmeasured kind -3; J empty each time.
  J = dense1D<double, 8>{1, 2, 3};
  EXPECT_EQ(jacobians(xyz, dense2D<unsigned>(4, 0), ET_TETRA4, J), 0);
  EXPECT_TRUE(J.empty());
  J = dense1D<double, 8>{1};
  EXPECT_EQ(jacobians(xyz, dense2D<unsigned>{{0, 1, 2, 9}}, ET_TETRA4, J), -2);
  EXPECT_TRUE(J.empty());
  EXPECT_EQ(jacobians(xyz, dense2D<unsigned>{{0, 1}}, ET_EDGE_MIX, J), -3);
}

}  // namespace
