#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "quernfold/quality.h"
#include "support/mesh_gen.h"
#include "support/quality_shapes.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;

constexpr double kRound = 1e-14;

// Quality of one element given as its node list, with `rows` coordinate rows.
double quality(const std::vector<point>& P, element_type type, unsigned rows = 3) {
  dense1D<double, 8> Q;
  EXPECT_EQ(shape_qualities(coords_of(P, rows), identity_connect(P.size()), type, Q), 0);
  EXPECT_EQ(Q.size(), 1u);
  return Q.size() == 1 ? Q[0] : std::numeric_limits<double>::quiet_NaN();
}

TEST(ShapeQualities, IdealMirroredAndFlatElements) {
  struct row {
    std::vector<point> P;
    element_type type;
    unsigned rows;
    double mirrored;  // planar faces listed clockwise are inverted; in space they are not
  };
  const row rows[] = {{ideal_triangle(), ET_TRIA3, 2, -1}, {ideal_triangle(), ET_TRIA3, 3, 1},
                      {ideal_quad(), ET_QUAD4, 2, -1},     {ideal_quad(), ET_QUAD4, 3, 1},
                      {ideal_tetra(), ET_TETRA4, 3, -1},   {ideal_pyramid(), ET_PYRAMID5, 3, -1},
                      {ideal_wedge(), ET_WEDGE6, 3, -1},   {ideal_hexa(), ET_HEXA8, 3, -1}};
  for (const row& r : rows) {
    EXPECT_NEAR(quality(r.P, r.type, r.rows), 1, kRound) << r.type;
    EXPECT_NEAR(quality(mirrored(r.P), r.type, r.rows), r.mirrored, kRound) << r.type;
  }
  EXPECT_EQ(quality(ideal_quad(), ET_QUAD4, 2), 1.0);
  // Flat: collinear triangle, coincident quad nodes, coplanar tetrahedron,
  // apex in the base plane, solids of a mesh with 2 coordinate rows.
  EXPECT_EQ(quality({{0, 0, 0}, {1, 0, 0}, {3, 0, 0}}, ET_TRIA3, 2), 0.0);
  EXPECT_EQ(quality({{2, 2, 2}, {2, 2, 2}, {2, 2, 2}, {2, 2, 2}}, ET_QUAD4, 3), 0.0);
  EXPECT_EQ(quality({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.2, 0.3, 0}}, ET_TETRA4), 0.0);
  std::vector<point> pyr = ideal_pyramid();
  pyr[4][2] = 0;
  EXPECT_EQ(quality(pyr, ET_PYRAMID5), 0.0);
  EXPECT_EQ(quality(ideal_hexa(), ET_HEXA8, 2), 0.0);
}

TEST(ShapeQualities, SimplicesMatchTheInradiusFormula) {
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int t = 0; t < 100; ++t) {
    std::vector<point> P(4);
    for (point& p : P) p = {u(gen), u(gen), u(gen)};
    const double expect = tetra_oracle(P);
    if (std::fabs(expect) < 1e-6) continue;  // too flat for a fair comparison
    EXPECT_NEAR(quality(P, ET_TETRA4), expect, 1e-12);
    // Triangles in the plane (signed) and in space (unsigned).
    const std::vector<point> T{P[0], P[1], P[2]};
    const double z =
        (P[0][0] - P[2][0]) * (P[1][1] - P[2][1]) - (P[0][1] - P[2][1]) * (P[1][0] - P[2][0]);
    std::vector<point> flat = T;
    for (point& p : flat) p[2] = 0;
    const double planar = triangle_oracle(flat[0], flat[1], flat[2]);
    EXPECT_NEAR(quality(T, ET_TRIA3, 3), triangle_oracle(P[0], P[1], P[2]), 1e-12);
    EXPECT_NEAR(quality(T, ET_TRIA3, 2), z < 0 ? -planar : planar, 1e-12);
  }
}

TEST(ShapeQualities, InvariantUnderRigidMotionScalingAndRenumbering) {
  std::mt19937 gen(99);
  std::uniform_real_distribution<double> u(-1, 1);
  // A rotation mixing all three axes (a 3-4-5 turn then a cyclic one), scaled by 7.5.
  const double R[3][3] = {{0, 0, 7.5}, {4.5, -6, 0}, {6, 4.5, 0}};
  std::vector<point> T, H;
  for (auto [P, type] :
       {std::pair{ideal_tetra(), ET_TETRA4}, std::pair{ideal_pyramid(), ET_PYRAMID5},
        std::pair{ideal_wedge(), ET_WEDGE6}, std::pair{ideal_hexa(), ET_HEXA8},
        std::pair{ideal_quad(), ET_QUAD4}, std::pair{ideal_triangle(), ET_TRIA3}}) {
    for (point& p : P)
      for (double& x : p) x += 0.1 * u(gen);  // distorted, still positive
    const double q = quality(P, type);
    EXPECT_GT(q, 0.0);
    EXPECT_LT(q, 1.0);
    EXPECT_NEAR(quality(affine(P, R, {u(gen), 10 * u(gen), -3}), type), q, 1e-12) << type;
    if (type == ET_TETRA4) T = P;
    if (type == ET_HEXA8) H = P;
  }
  // An even renumbering of a tetrahedron keeps its quality.
  EXPECT_NEAR(quality({T[1], T[0], T[3], T[2]}, ET_TETRA4), quality(T, ET_TETRA4), 1e-13);
  // A hexahedron read from its top face keeps its quality.
  EXPECT_NEAR(quality({H[4], H[7], H[6], H[5], H[0], H[3], H[2], H[1]}, ET_HEXA8),
              quality(H, ET_HEXA8), 1e-13);
}

TEST(ShapeQualities, ClosedFormValuesAndWarp) {
  // A 2 x 1 rectangle: 4 sqrt 2 * 2 / (sqrt 5 * 6).
  const double rect = 8 * std::sqrt(2.0) / (6 * std::sqrt(5.0));
  EXPECT_NEAR(quality({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}}, ET_QUAD4, 2), rect, kRound);
  // Pyramid over the unit square, apex at height h: 24 sqrt 6 h / (8 (1 + h^2))^(3/2).
  std::vector<point> P = ideal_pyramid();
  P[4][2] = 0.2;
  EXPECT_NEAR(quality(P, ET_PYRAMID5), 24 * std::sqrt(6.0) * 0.2 / std::pow(8 * 1.04, 1.5), 1e-14);
  // Box a x b x c: 24 sqrt 3 abc / (4 (a^2 + b^2 + c^2))^(3/2).
  std::vector<point> box = ideal_hexa();
  for (point& p : box) p = {p[0], p[1] * 2, p[2] * 0.5};
  EXPECT_NEAR(quality(box, ET_HEXA8), 24 * kSqrt3 / std::pow(4 * 5.25, 1.5), 1e-14);

  // A planar quadrangle folded onto itself: 0 in space, negative in the plane.
  const std::vector<point> folded{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0.9, 0.1, 0}};
  EXPECT_EQ(quality(folded, ET_QUAD4, 3), 0.0);
  EXPECT_LT(quality(folded, ET_QUAD4, 2), 0.0);
}

TEST(ShapeQualities, NearlyFlatAndInvertedElements) {
  // Borderline tetrahedra go through the re-evaluation, keeping sign and size.
  for (double h : {1e-8, 3e-11}) {
    const std::vector<point> P{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3, 0.3, -h}};
    EXPECT_NEAR(quality(P, ET_TETRA4), tetra_oracle(P), 1e-3 * std::fabs(tetra_oracle(P))) << h;
    EXPECT_LT(quality(mirrored(P), ET_TETRA4), 0.0) << h;
  }
  // A non-convex pyramid base makes one corner tetrahedron inverted.
  std::vector<point> pyr = ideal_pyramid();
  pyr[2] = {0.3, 0.3, 0};
  EXPECT_LT(quality(pyr, ET_PYRAMID5), 0.0);

  // Face tests catch what corner volumes miss: a saddle-folded bottom face
  // (every corner volume positive) and a wedge side face folded past the centroid.
  std::vector<point> H = ideal_hexa();
  H[0][2] = H[2][2] = 0.9;
  EXPECT_LT(quality(H, ET_HEXA8), 0.0);
  std::vector<point> W = ideal_wedge();
  W[0][1] = W[4][1] = 0.6;
  EXPECT_LT(quality(W, ET_WEDGE6), 0.0);
  // Apex barely lifted: the measure is above the flat limit, the corner tetrahedra decide.
  pyr = ideal_pyramid();
  pyr[4][2] = 5e-13;
  const double q = quality(pyr, ET_PYRAMID5);
  EXPECT_LT(q, 1e-12);
  EXPECT_GE(q, 0.0);
  // Node 2 at z = -infinity: corner volumes +inf, +inf, NaN, finite, taken
  // left to right so a NaN never replaces the minimum; measure 0, not -1.
  pyr = ideal_pyramid();
  pyr[2][2] = -std::numeric_limits<double>::infinity();
  EXPECT_EQ(quality(pyr, ET_PYRAMID5), 0.0);
}

TEST(ShapeQualities, MixedColumnsAndShortMixedMatrices) {
  std::vector<point> nodes = ideal_hexa();
  nodes.push_back({0.5, 0.5, std::sqrt(0.5)});  // 8: apex over the bottom face
  const dense2D<double> xyz = coords_of(nodes, 3);
  dense1D<double, 8> Q;
  const unsigned N = no_index;
  const dense2D<unsigned> solid_mix{{0, 1, 3, 4, N, N, N, N},
                                    {0, 1, 2, 3, 8, N, N, N},
                                    {0, 1, 2, 4, 5, 6, N, N},
                                    {0, 1, 2, 3, 4, 5, 6, 7}};
  ASSERT_EQ(shape_qualities(xyz, solid_mix, ET_SOLID_MIX, Q), 0);
  ASSERT_EQ(Q.size(), 4u);
  const double wedge =
      quality({nodes[0], nodes[1], nodes[2], nodes[4], nodes[5], nodes[6]}, ET_WEDGE6);
  EXPECT_EQ(Q[0], quality({nodes[0], nodes[1], nodes[3], nodes[4]}, ET_TETRA4));
  EXPECT_NEAR(Q[1], 1, kRound);  // the ideal pyramid
  EXPECT_EQ(Q[2], wedge);
  EXPECT_NEAR(Q[3], 1, kRound);
  // Short ET_SOLID_MIX matrices are pure.
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2, 4, 5, 6}}, ET_SOLID_MIX, Q), 0);
  EXPECT_EQ(Q[0], wedge);
}

TEST(ShapeQualities, CodesAndOutputStates) {
  const dense2D<double> xyz = coords_of(ideal_hexa(), 3);
  dense1D<double, 8> Q{5, 5};
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>(8, 0), ET_HEXA20, Q), 0);  // no columns
  EXPECT_TRUE(Q.empty());
  Q = dense1D<double, 8>{5};
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2, 8}}, ET_TETRA4, Q), -2);
  EXPECT_TRUE(Q.empty());
  Q = dense1D<double, 8>{5};
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2, 3, 4, 5}}, ET_TRIA6, Q), -3);
  EXPECT_TRUE(Q.empty());
  // Edges all score 1, even with no rows to read.
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>(0, 3), ET_EDGE2, Q), 0);
  ASSERT_EQ(Q.size(), 3u);
  EXPECT_EQ(Q[2], 1.0);
}

TEST(MinQuality, WorstElementFirstOnTiesAgainstBruteForce) {
  // Ideal unit square halves (same quality), a flatter triangle twice.
  const dense2D<double> xy{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {4, 0}, {4, 0.2}};
  const dense2D<unsigned> tria{{0, 1, 2}, {1, 4, 5}, {1, 4, 5}, {0, 2, 3}};
  double qmin = -7;
  unsigned jmin = 7;
  dense1D<double, 8> Q;
  ASSERT_EQ(min_quality(xy, tria, ET_TRIA3, qmin, jmin), 0);
  ASSERT_EQ(shape_qualities(xy, tria, ET_TRIA3, Q), 0);
  EXPECT_EQ(jmin, 1u);
  EXPECT_EQ(qmin, Q[1]);
  std::mt19937 gen(4);
  std::uniform_real_distribution<double> u(-0.45, 0.45);
  for (int t = 0; t < 5; ++t) {
    mesh m = tria_grid(4, 3);
    for (std::size_t j = 0; j < m.coords.cols(); ++j)
      m.coords(0, j) += u(gen), m.coords(1, j) += u(gen);
    ASSERT_EQ(shape_qualities(m.coords, m.connect, ET_TRIA3, Q), 0);
    unsigned expect_j = no_index;
    double expect_q = 1.0;
    for (std::size_t j = 0; j < Q.size(); ++j)
      if (Q[j] < expect_q) expect_q = Q[j], expect_j = static_cast<unsigned>(j);
    ASSERT_EQ(min_quality(m.coords, m.connect, ET_TRIA3, qmin, jmin), 0);
    EXPECT_EQ(jmin, expect_j);
    EXPECT_EQ(qmin, expect_q);
  }
  // All perfect (unit squares score exactly 1): nothing is taken.
  const mesh squares = quad_grid(3, 2);
  ASSERT_EQ(min_quality(squares.coords, squares.connect, ET_QUAD4, qmin, jmin), 0);
  EXPECT_EQ(qmin, 1.0);
  EXPECT_EQ(jmin, no_index);
  // Codes leave (1.0, ~0U).
  qmin = 0, jmin = 0;
  EXPECT_EQ(min_quality(squares.coords, dense2D<unsigned>{{0, 1, 99}}, ET_TRIA3, qmin, jmin), -2);
  EXPECT_EQ(qmin, 1.0);
  EXPECT_EQ(jmin, no_index);
  jmin = 0;
  EXPECT_EQ(
      min_quality(squares.coords, dense2D<unsigned>{{0, 1, 2, 3, 4, 5}}, ET_TRIA6, qmin, jmin), -3);
  EXPECT_EQ(jmin, no_index);
}

}  // namespace
