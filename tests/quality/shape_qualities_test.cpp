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
constexpr unsigned kNone = ~0U;

// Quality of one element given as its node list, with `rows` coordinate rows.
double quality(const std::vector<point>& P, element_type type, unsigned rows = 3) {
  dense1D<double, 8> Q;
  const int rc = shape_qualities(coords_of(P, rows), identity_connect(P.size()), type, Q);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Q.size(), 1u);
  return Q.size() == 1 ? Q[0] : std::numeric_limits<double>::quiet_NaN();
}

// Rotation by angle t about the unit axis u (Rodrigues), row-major.
void rotation(const point& u, double t, double (&R)[3][3]) {
  const double c = std::cos(t), s = std::sin(t);
  const double K[3][3] = {{0, -u[2], u[1]}, {u[2], 0, -u[0]}, {-u[1], u[0], 0}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double k2 = 0;
      for (int m = 0; m < 3; ++m) k2 += K[i][m] * K[m][j];
      R[i][j] = (i == j ? 1 : 0) + s * K[i][j] + (1 - c) * k2;
    }
}

TEST(ShapeQualities, IdealElementsScoreOneMirroredMinusOne) {
  EXPECT_NEAR(quality(ideal_triangle(), ET_TRIA3, 2), 1, kRound);
  EXPECT_NEAR(quality(ideal_triangle(), ET_TRIA3, 3), 1, kRound);
  EXPECT_EQ(quality(ideal_quad(), ET_QUAD4, 2), 1.0);
  EXPECT_NEAR(quality(ideal_quad(), ET_QUAD4, 3), 1, kRound);
  EXPECT_NEAR(quality(ideal_tetra(), ET_TETRA4), 1, kRound);
  EXPECT_NEAR(quality(ideal_pyramid(), ET_PYRAMID5), 1, kRound);
  EXPECT_NEAR(quality(ideal_wedge(), ET_WEDGE6), 1, kRound);
  EXPECT_NEAR(quality(ideal_hexa(), ET_HEXA8), 1, kRound);

  // Planar faces listed clockwise are inverted; in space they are not.
  EXPECT_NEAR(quality(mirrored(ideal_triangle()), ET_TRIA3, 2), -1, kRound);
  EXPECT_NEAR(quality(mirrored(ideal_quad()), ET_QUAD4, 2), -1, kRound);
  EXPECT_NEAR(quality(mirrored(ideal_triangle()), ET_TRIA3, 3), 1, kRound);
  EXPECT_NEAR(quality(mirrored(ideal_quad()), ET_QUAD4, 3), 1, kRound);
  EXPECT_NEAR(quality(mirrored(ideal_tetra()), ET_TETRA4), -1, kRound);
  EXPECT_NEAR(quality(mirrored(ideal_pyramid()), ET_PYRAMID5), -1, kRound);
  EXPECT_NEAR(quality(mirrored(ideal_wedge()), ET_WEDGE6), -1, kRound);
  EXPECT_NEAR(quality(mirrored(ideal_hexa()), ET_HEXA8), -1, kRound);

  // Exchanging two nodes of a tetrahedron inverts it.
  std::vector<point> T = ideal_tetra();
  std::swap(T[0], T[1]);
  EXPECT_NEAR(quality(T, ET_TETRA4), -1, kRound);
}

TEST(ShapeQualities, FlatElementsScoreZero) {
  // Collinear triangle, quadrangle of four coincident nodes, collinear quad.
  EXPECT_EQ(quality({{0, 0, 0}, {1, 0, 0}, {3, 0, 0}}, ET_TRIA3, 2), 0.0);
  EXPECT_EQ(quality({{0, 0, 0}, {1, 0, 0}, {3, 0, 0}}, ET_TRIA3, 3), 0.0);
  EXPECT_EQ(quality({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, ET_TRIA3, 3), 0.0);
  EXPECT_EQ(quality({{2, 2, 0}, {2, 2, 0}, {2, 2, 0}, {2, 2, 0}}, ET_QUAD4, 2), 0.0);
  EXPECT_EQ(quality({{2, 2, 2}, {2, 2, 2}, {2, 2, 2}, {2, 2, 2}}, ET_QUAD4, 3), 0.0);
  EXPECT_EQ(quality({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, ET_QUAD4, 3), 0.0);
  // Four coplanar tetrahedron nodes.
  EXPECT_EQ(quality({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, ET_TETRA4), 0.0);
  EXPECT_EQ(quality({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.2, 0.3, 0}}, ET_TETRA4), 0.0);
  // Apex in the base plane; wedge and hexahedron of height 0.
  std::vector<point> pyr = ideal_pyramid();
  pyr[4][2] = 0;
  EXPECT_EQ(quality(pyr, ET_PYRAMID5), 0.0);
  std::vector<point> wedge = ideal_wedge();
  for (int k = 3; k < 6; ++k) wedge[k][2] = 0;
  EXPECT_EQ(quality(wedge, ET_WEDGE6), 0.0);
  std::vector<point> hexa = ideal_hexa();
  for (int k = 4; k < 8; ++k) hexa[k][2] = 0;
  EXPECT_EQ(quality(hexa, ET_HEXA8), 0.0);
  // Solids of a mesh with 2 coordinate rows lie in a plane.
  EXPECT_EQ(quality(ideal_hexa(), ET_HEXA8, 2), 0.0);
  EXPECT_EQ(quality(ideal_pyramid(), ET_PYRAMID5, 2), 0.0);
  EXPECT_EQ(quality(ideal_tetra(), ET_TETRA4, 2), 0.0);
}

TEST(ShapeQualities, SimplicesMatchTheInradiusFormula) {
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int t = 0; t < 300; ++t) {
    std::vector<point> P(4);
    for (point& p : P) p = {u(gen), u(gen), u(gen)};
    const double expect = tetra_oracle(P);
    if (std::fabs(expect) < 1e-6) continue;  // too flat for a fair comparison
    EXPECT_NEAR(quality(P, ET_TETRA4), expect, 1e-12);

    // Triangles in the plane (signed) and in space (unsigned).
    const std::vector<point> T{P[0], P[1], P[2]};
    const double area = triangle_oracle(P[0], P[1], P[2]);
    const double z =
        (P[0][0] - P[2][0]) * (P[1][1] - P[2][1]) - (P[0][1] - P[2][1]) * (P[1][0] - P[2][0]);
    std::vector<point> flat = T;
    for (point& p : flat) p[2] = 0;
    const double planar = triangle_oracle(flat[0], flat[1], flat[2]);
    EXPECT_NEAR(quality(T, ET_TRIA3, 3), area, 1e-12);
    EXPECT_NEAR(quality(T, ET_TRIA3, 2), z < 0 ? -planar : planar, 1e-12);
  }
  // A 2 x 1 rectangle: 4 sqrt 2 * 2 / (sqrt 5 * 6).
  EXPECT_NEAR(quality({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}}, ET_QUAD4, 2),
              8 * std::sqrt(2.0) / (6 * std::sqrt(5.0)), kRound);
}

TEST(ShapeQualities, InvariantUnderRigidMotionScalingAndRenumbering) {
  std::mt19937 gen(99);
  std::uniform_real_distribution<double> u(-1, 1);
  struct shape_case {
    std::vector<point> P;
    element_type type;
  };
  // Distorted versions of the ideal elements, all still positive.
  std::vector<shape_case> cases;
  for (auto [P, type] :
       {std::pair{ideal_tetra(), ET_TETRA4}, std::pair{ideal_pyramid(), ET_PYRAMID5},
        std::pair{ideal_wedge(), ET_WEDGE6}, std::pair{ideal_hexa(), ET_HEXA8},
        std::pair{ideal_quad(), ET_QUAD4}, std::pair{ideal_triangle(), ET_TRIA3}}) {
    for (int t = 0; t < 5; ++t) {
      std::vector<point> D = P;
      for (point& p : D)
        for (double& x : p) x += 0.1 * u(gen);
      cases.push_back({D, type});
    }
  }
  for (const shape_case& c : cases) {
    const double q = quality(c.P, c.type);
    EXPECT_GT(q, 0.0);
    EXPECT_LE(q, 1.0);
    double R[3][3];
    const double n = std::sqrt(3.0);
    rotation({1 / n, 1 / n, 1 / n}, u(gen) * 3, R);
    for (auto& row : R)
      for (double& x : row) x *= 7.5;  // rotation and scaling together
    EXPECT_NEAR(quality(affine(c.P, R, {u(gen), 10 * u(gen), -3}), c.type), q, 1e-12);
  }
  // Even renumberings of a tetrahedron keep its quality.
  const std::vector<point> T = cases[1].P;
  const int even[12][4] = {{0, 1, 2, 3}, {1, 2, 0, 3}, {2, 0, 1, 3}, {1, 0, 3, 2},
                           {0, 3, 1, 2}, {3, 1, 0, 2}, {2, 3, 0, 1}, {3, 0, 2, 1},
                           {0, 2, 3, 1}, {3, 2, 1, 0}, {2, 1, 3, 0}, {1, 3, 2, 0}};
  const double q = quality(T, ET_TETRA4);
  for (const auto& o : even)
    EXPECT_NEAR(quality({T[o[0]], T[o[1]], T[o[2]], T[o[3]]}, ET_TETRA4), q, 1e-13);
  // A hexahedron read from its top face (mirror symmetric renumbering
  // composed with turning it over) keeps its quality.
  const std::vector<point> H = cases[15].P;
  const std::vector<point> turned{H[4], H[7], H[6], H[5], H[0], H[3], H[2], H[1]};
  EXPECT_NEAR(quality(turned, ET_HEXA8), quality(H, ET_HEXA8), 1e-13);
}

TEST(ShapeQualities, WarpAndTwistLowerTheQuality) {
  // A square with one node lifted out of its plane.
  double previous = quality(ideal_quad(), ET_QUAD4, 3);
  EXPECT_NEAR(previous, 1, kRound);
  for (double lift : {0.1, 0.3, 0.6, 1.0}) {
    std::vector<point> P = ideal_quad();
    P[2][2] = lift;
    const double q = quality(P, ET_QUAD4, 3);
    EXPECT_LT(q, previous);
    EXPECT_GT(q, 0.0);
    previous = q;
  }
  // A planar quadrangle folded onto itself: opposite corner normals oppose.
  const std::vector<point> folded{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0.9, 0.1, 0}};
  EXPECT_EQ(quality(folded, ET_QUAD4, 3), 0.0);
  EXPECT_LT(quality(folded, ET_QUAD4, 2), 0.0);  // the plane keeps the sign

  // Cube with its top face turned about the vertical axis.
  previous = 1.0;
  for (double degrees : {10.0, 20.0, 35.0, 50.0}) {
    double R[3][3];
    rotation({0, 0, 1}, degrees * std::acos(-1.0) / 180, R);
    std::vector<point> P = ideal_hexa();
    for (int k = 4; k < 8; ++k) {
      const point c{P[k][0] - 0.5, P[k][1] - 0.5, P[k][2]};
      P[k] = {R[0][0] * c[0] + R[0][1] * c[1] + 0.5, R[1][0] * c[0] + R[1][1] * c[1] + 0.5, c[2]};
    }
    const double q = quality(P, ET_HEXA8);
    EXPECT_LT(q, previous) << degrees;
    EXPECT_GT(q, 0.0) << degrees;
    previous = q;
  }
  // A pyramid with a warped base scores below the same pyramid with a flat one.
  std::vector<point> pyr = ideal_pyramid();
  pyr[2][2] = 0.2;
  EXPECT_LT(quality(pyr, ET_PYRAMID5), quality(ideal_pyramid(), ET_PYRAMID5));
}

TEST(ShapeQualities, NearlyFlatElementsKeepTheirSign) {
  // Tetrahedra of decreasing height over a unit triangle: the inaccurate
  // and borderline ones go through the re-evaluation, which keeps the sign
  // and the size of the value.
  for (double h : {1e-5, 1e-8, 1e-10, 3e-11}) {
    const std::vector<point> P{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3, 0.3, -h}};
    const double q = quality(P, ET_TETRA4);
    EXPECT_GT(q, 0.0) << h;
    EXPECT_NEAR(q, tetra_oracle(P), 1e-3 * std::fabs(tetra_oracle(P))) << h;
    EXPECT_LT(quality(mirrored(P), ET_TETRA4), 0.0) << h;
  }
  // A tetrahedron far below the resolution is flat or close to it.
  const std::vector<point> thin{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3, 0.3, -1e-14}};
  EXPECT_LE(std::fabs(quality(thin, ET_TETRA4)), 1e-12);
  // Needle with a zero-length edge: the flag is raised, nothing breaks.
  const std::vector<point> needle{{0, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  EXPECT_EQ(quality(needle, ET_TETRA4), 0.0);

  // A pyramid whose apex is barely above its base: tiny and not negative.
  std::vector<point> pyr = ideal_pyramid();
  pyr[4][2] = 1e-12;
  const double qp = quality(pyr, ET_PYRAMID5);
  EXPECT_GE(qp, 0.0);
  EXPECT_LT(qp, 1e-10);
  // A non-convex base makes one corner tetrahedron inverted.
  pyr = ideal_pyramid();
  pyr[2] = {0.3, 0.3, 0};
  EXPECT_LT(quality(pyr, ET_PYRAMID5), 0.0);
  // A hexahedron with one corner pushed through the opposite face.
  std::vector<point> hexa = ideal_hexa();
  hexa[6] = {0.2, 0.2, 0.2};
  EXPECT_LT(quality(hexa, ET_HEXA8), 0.0);
}

TEST(ShapeQualities, ClosedFormValuesOfStretchedElements) {
  // Pyramid over the unit square with its apex at height h above the centre:
  // 24 sqrt 6 h / (8 (1 + h^2))^(3/2) (flat base, so no warp).
  for (double h : {0.2, 0.5, 1.0, 3.0}) {
    std::vector<point> P = ideal_pyramid();
    P[4][2] = h;
    EXPECT_NEAR(quality(P, ET_PYRAMID5), 24 * std::sqrt(6.0) * h / std::pow(8 * (1 + h * h), 1.5),
                1e-14)
        << h;
  }
  // Box a x b x c: 24 sqrt 3 abc / (4 (a^2 + b^2 + c^2))^(3/2).
  const double a = 1, b = 2, c = 0.5;
  std::vector<point> box = ideal_hexa();
  for (point& p : box) p = {p[0] * a, p[1] * b, p[2] * c};
  EXPECT_NEAR(quality(box, ET_HEXA8),
              24 * kSqrt3 * a * b * c / std::pow(4 * (a * a + b * b + c * c), 1.5), 1e-14);
  // Right prism on an equilateral triangle of side 1, height t:
  // 27 t / (6 + 3 t^2)^(3/2).
  for (double t : {0.25, 1.0, 2.0}) {
    std::vector<point> W = ideal_wedge();
    for (int k = 3; k < 6; ++k) W[k][2] = t;
    EXPECT_NEAR(quality(W, ET_WEDGE6), 27 * t / std::pow(6 + 3 * t * t, 1.5), 1e-14) << t;
  }
  // Rectangles in space score as in the plane.
  EXPECT_NEAR(quality({{0, 0, 1}, {2, 0, 1}, {2, 1, 1}, {0, 1, 1}}, ET_QUAD4, 3),
              8 * std::sqrt(2.0) / (6 * std::sqrt(5.0)), kRound);
}

TEST(ShapeQualities, FaceTestsCatchWhatCornerVolumesMiss) {
  // Bottom face folded into a saddle (nodes 0 and 2 raised close to the
  // top): every corner volume is positive, but the pyramid from that face to
  // the centroid is inverted, and so is the hexahedron.
  std::vector<point> H = ideal_hexa();
  H[0][2] = 0.9;
  H[2][2] = 0.9;
  EXPECT_LT(quality(H, ET_HEXA8), 0.0);
  // The same for a wedge whose side face 0-1-4-3 is folded inwards past the
  // centroid (nodes 0 and 4 pushed into the prism).
  std::vector<point> W = ideal_wedge();
  W[0][1] = 0.6;
  W[4][1] = 0.6;
  EXPECT_LT(quality(W, ET_WEDGE6), 0.0);
  W[0][1] = W[4][1] = 0.3;  // a milder fold stays valid
  EXPECT_GT(quality(W, ET_WEDGE6), 0.0);
  // A pyramid barely lifted off its base: the measure 2.6e-12 is above the
  // flat limit but its corner tetrahedra are not, and they decide.
  std::vector<point> pyr = ideal_pyramid();
  pyr[4][2] = 5e-13;
  const double q = quality(pyr, ET_PYRAMID5);
  EXPECT_LT(q, 1e-12);
  EXPECT_GE(q, 0.0);
}

TEST(ShapeQualities, SmallestCornerVolumeIsTakenLeftToRight) {
  // Node 2 at z = -infinity: the two corner volumes through node 2 are +inf,
  // the third is inf * 0 = NaN, the fourth is finite. Taken in the order
  // (1, A), (3, A), (2, B), (0, B), a NaN never replaces the running minimum,
  // so the finite volume is the smallest; over an infinite S the measure is
  // 0, not a NaN sent to -1.
  std::vector<point> pyr = ideal_pyramid();
  pyr[2][2] = -std::numeric_limits<double>::infinity();
  EXPECT_EQ(quality(pyr, ET_PYRAMID5), 0.0);
}

TEST(ShapeQualities, MixedColumnsAndShortMixedMatrices) {
  // Nodes: a unit square 0..3 with an apex 4, a lifted square 5..8.
  std::vector<point> nodes = ideal_hexa();
  nodes.push_back({0.5, 0.5, std::sqrt(0.5)});  // 8: apex over the bottom face
  const dense2D<double> xyz = coords_of(nodes, 3);

  dense2D<unsigned> face_mix{{0, 1, 2, kNone}, {0, 1, 2, 3}, {4, 5, 6, 7}};
  dense1D<double, 8> Q;
  ASSERT_EQ(shape_qualities(xyz, face_mix, ET_FACE_MIX, Q), 0);
  ASSERT_EQ(Q.size(), 3u);
  dense1D<double, 8> T;
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2}}, ET_TRIA3, T), 0);
  EXPECT_EQ(Q[0], T[0]);
  EXPECT_NEAR(Q[1], 1, kRound);
  EXPECT_NEAR(Q[2], 1, kRound);
  // A 3-row ET_FACE_MIX is a triangle matrix.
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2}}, ET_FACE_MIX, Q), 0);
  EXPECT_EQ(Q[0], T[0]);

  const unsigned N = kNone;
  dense2D<unsigned> solid_mix{{0, 1, 3, 4, N, N, N, N},
                              {0, 1, 2, 3, 8, N, N, N},
                              {0, 1, 2, 4, 5, 6, N, N},
                              {0, 1, 2, 3, 4, 5, 6, 7}};
  ASSERT_EQ(shape_qualities(xyz, solid_mix, ET_SOLID_MIX, Q), 0);
  ASSERT_EQ(Q.size(), 4u);
  dense1D<double, 8> P;
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 3, 4}}, ET_TETRA4, P), 0);
  EXPECT_EQ(Q[0], P[0]);
  const double corner_tetra = P[0];
  EXPECT_NEAR(Q[1], 1, kRound);  // the ideal pyramid
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2, 4, 5, 6}}, ET_WEDGE6, P), 0);
  EXPECT_EQ(Q[2], P[0]);
  EXPECT_NEAR(Q[3], 1, kRound);
  // Short ET_SOLID_MIX matrices are pure.
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 3, 4}}, ET_SOLID_MIX, Q), 0);
  EXPECT_EQ(Q[0], corner_tetra);
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2, 3, 8}}, ET_SOLID_MIX, Q), 0);
  EXPECT_NEAR(Q[0], 1, kRound);
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2, 4, 5, 6}}, ET_SOLID_MIX, Q), 0);
  EXPECT_EQ(Q[0], P[0]);
}

TEST(ShapeQualities, CodesAndOutputStates) {
  const dense2D<double> xyz = coords_of(ideal_hexa(), 3);
  dense1D<double, 8> Q{5, 5};
  // No columns: 0 and Q empty, whatever the kind.
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>(8, 0), ET_HEXA20, Q), 0);
  EXPECT_TRUE(Q.empty());
  // A node beyond the coordinates, or a height that does not fit: -2.
  Q = dense1D<double, 8>{5};
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2, 8}}, ET_TETRA4, Q), -2);
  EXPECT_TRUE(Q.empty());
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2}}, ET_TETRA4, Q), -2);
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2}}, ET_UNKNOWN, Q), -2);
  // Quadratic and other unmeasured kinds: -3, Q empty.
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2, 3, 4, 5}}, ET_TRIA6, Q), -3);
  EXPECT_TRUE(Q.empty());
  dense2D<unsigned> h20(20, 1);
  for (unsigned i = 0; i < 20; ++i) h20(i, 0) = i % 8;
  EXPECT_EQ(shape_qualities(xyz, h20, ET_HEXA20, Q), -3);
  EXPECT_TRUE(Q.empty());
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0}}, ET_NODE, Q), -3);
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1}}, ET_EDGE_MIX, Q), -3);
  EXPECT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 2}}, ET_EDGE3, Q), -3);
  // Edges all score 1.
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1}, {2, 6}, {3, 3}}, ET_EDGE2, Q), 0);
  ASSERT_EQ(Q.size(), 3u);
  for (double q : Q) EXPECT_EQ(q, 1.0);
  // No rows but columns: no nodes to read. Edges score 1 without reading
  // theirs, so they still do.
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>(0, 2), ET_TETRA4, Q), 0);
  ASSERT_EQ(Q.size(), 2u);
  EXPECT_EQ(Q[1], 0.0);
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>(0, 3), ET_EDGE2, Q), 0);
  ASSERT_EQ(Q.size(), 3u);
  for (double q : Q) EXPECT_EQ(q, 1.0);
}

TEST(MinQuality, WorstElementFirstOnTies) {
  // Triangles: ideal unit square halves (same quality), a flatter one twice.
  const dense2D<double> xy{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {4, 0}, {4, 0.2}};
  const dense2D<unsigned> tria{{0, 1, 2}, {1, 4, 5}, {1, 4, 5}, {0, 2, 3}};
  double qmin = -7;
  unsigned jmin = 7;
  ASSERT_EQ(min_quality(xy, tria, ET_TRIA3, qmin, jmin), 0);
  dense1D<double, 8> Q;
  ASSERT_EQ(shape_qualities(xy, tria, ET_TRIA3, Q), 0);
  EXPECT_EQ(jmin, 1u);
  EXPECT_EQ(qmin, Q[1]);
  EXPECT_LT(Q[1], Q[0]);
  // Brute force over random meshes.
  std::mt19937 gen(4);
  for (int t = 0; t < 20; ++t) {
    mesh m = tria_grid(4, 3);
    std::uniform_real_distribution<double> u(-0.45, 0.45);
    for (std::size_t j = 0; j < m.coords.cols(); ++j) {
      m.coords(0, j) += u(gen);
      m.coords(1, j) += u(gen);
    }
    ASSERT_EQ(shape_qualities(m.coords, m.connect, ET_TRIA3, Q), 0);
    unsigned expect_j = kNone;
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
  EXPECT_EQ(jmin, kNone);
  ASSERT_EQ(min_quality(squares.coords, dense2D<unsigned>{{0, 1}}, ET_EDGE2, qmin, jmin), 0);
  EXPECT_EQ(jmin, kNone);
  // Codes leave (1.0, ~0U).
  qmin = 0;
  jmin = 0;
  EXPECT_EQ(min_quality(squares.coords, dense2D<unsigned>{{0, 1, 99}}, ET_TRIA3, qmin, jmin), -2);
  EXPECT_EQ(qmin, 1.0);
  EXPECT_EQ(jmin, kNone);
  jmin = 0;
  EXPECT_EQ(
      min_quality(squares.coords, dense2D<unsigned>{{0, 1, 2, 3, 4, 5}}, ET_TRIA6, qmin, jmin), -3);
  EXPECT_EQ(jmin, kNone);
  EXPECT_EQ(min_quality(squares.coords, dense2D<unsigned>(3, 0), ET_TRIA3, qmin, jmin), 0);
  EXPECT_EQ(jmin, kNone);
}

TEST(ShapeQualities, StructuredGridsMatchTheirSingleElements) {
  // Every tetrahedron of a cube split along its diagonal is congruent to
  // one reference tetrahedron, so the grid has one quality throughout.
  const mesh tets = tetra_grid(3, 2, 2, 0.5);
  dense1D<double, 8> Q;
  ASSERT_EQ(shape_qualities(tets.coords, tets.connect, ET_TETRA4, Q), 0);
  ASSERT_EQ(Q.size(), tets.connect.cols());
  const double kuhn = tetra_oracle({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}});
  for (double q : Q) EXPECT_NEAR(q, std::fabs(kuhn), 1e-12);
  const mesh hexa = hexa_grid(2, 2, 3, 0.25);
  ASSERT_EQ(shape_qualities(hexa.coords, hexa.connect, ET_HEXA8, Q), 0);
  for (double q : Q) EXPECT_NEAR(q, 1, kRound);
}

}  // namespace
