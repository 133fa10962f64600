// Shape qualities, the worst element and Jacobians: simplices against the
// inradius formula, every kind against the affine images of its reference
// element, and the worked values that pin each kind's constants.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "support/compare.h"
#include "support/mesh_gen.h"
#include "support/quality_shapes.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using points = std::vector<point>;

// Quality or Jacobian of one element given as its node list, with `rows`
// coordinate rows.
using measure = int (*)(const dense2D<double>&, const dense2D<unsigned>&, element_type,
                        dense1D<double, 8>&);
double one(measure f, const points& P, element_type type, unsigned rows) {
  dense1D<double, 8> Q;
  EXPECT_EQ(f(coords_of(P, rows), identity_connect(P.size()), type, Q), 0);
  return Q.size() == 1 ? Q[0] : std::nan("");
}
double quality(const points& P, element_type type, unsigned rows = 3) {
  return one(shape_qualities, P, type, rows);
}
double jacobian(const points& P, element_type type, unsigned rows = 3) {
  return one(jacobians, P, type, rows);
}

points with(points P, std::size_t k, point p) {
  P[k] = p;
  return P;
}

TEST(ShapeQualities, IdealMirroredFlatClosedFormsAndSimplices) {
  struct row {
    points P;
    element_type type;
    unsigned rows;
    double mirrored;  // planar faces listed clockwise are inverted; in space they are not
  };
  const row rows[] = {{ideal_triangle(), ET_TRIA3, 2, -1}, {ideal_triangle(), ET_TRIA3, 3, 1},
                      {ideal_quad(), ET_QUAD4, 2, -1},     {ideal_quad(), ET_QUAD4, 3, 1},
                      {ideal_tetra(), ET_TETRA4, 3, -1},   {ideal_pyramid(), ET_PYRAMID5, 3, -1},
                      {ideal_wedge(), ET_WEDGE6, 3, -1},   {ideal_hexa(), ET_HEXA8, 3, -1}};
  for (const row& r : rows) {
    EXPECT_NEAR(quality(r.P, r.type, r.rows), 1, 1e-14) << r.type;
    EXPECT_NEAR(quality(mirrored(r.P), r.type, r.rows), r.mirrored, 1e-14) << r.type;
  }
  // Flat: coincident quadrangle nodes, apex in the base plane.
  EXPECT_EQ(quality(points(4, {2, 2, 2}), ET_QUAD4, 3), 0.0);
  EXPECT_EQ(quality(with(ideal_pyramid(), 4, {0.5, 0.5, 0}), ET_PYRAMID5), 0.0);
  // Closed forms that pin each kind's constant, and the signs that only the
  // face tests, the warp factor and the corner tetrahedra see.
  // Pyramid over the unit square, apex at height h: 24 sqrt 6 h / (8 (1 + h^2))^(3/2).
  EXPECT_NEAR(quality(with(ideal_pyramid(), 4, {0.5, 0.5, 0.2}), ET_PYRAMID5),
              24 * std::sqrt(6.0) * 0.2 / std::pow(8 * 1.04, 1.5), 1e-14);
  // Box 1 x 2 x 0.5: 24 sqrt 3 abc / (4 (a^2 + b^2 + c^2))^(3/2).
  points box = ideal_hexa();
  for (point& p : box) p = {p[0], p[1] * 2, p[2] * 0.5};
  EXPECT_NEAR(quality(box, ET_HEXA8), 24 * kSqrt3 / std::pow(4 * 5.25, 1.5), 1e-14);
  // A unit square with node 3 lifted by 0.5: 4 sqrt 2 / (1.5 (2 + 2 sqrt 1.25)),
  // warped by acos(-1 / 1.25) / pi.
  EXPECT_NEAR(
      quality({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5}}, ET_QUAD4),
      4 * std::sqrt(2.0) / (1.5 * (2 + 2 * std::sqrt(1.25))) * std::acos(-0.8) / std::acos(-1.0),
      1e-14);
  // A non-convex pyramid base (one corner tetrahedron inverted); a
  // saddle-folded hexahedron bottom and a wedge side folded past the
  // centroid, with every corner volume positive.
  EXPECT_LT(quality(with(ideal_pyramid(), 2, {0.3, 0.3, 0}), ET_PYRAMID5), 0.0);
  points H = ideal_hexa(), W = ideal_wedge();
  H[0][2] = H[2][2] = 0.9;
  W[0][1] = W[4][1] = 0.6;
  EXPECT_LT(quality(H, ET_HEXA8), 0.0);
  EXPECT_LT(quality(W, ET_WEDGE6), 0.0);
  // Node 2 at z = -inf: corner volumes +inf, +inf, NaN, finite, taken left
  // to right so that a NaN never replaces the minimum; measure 0, not -1.
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(quality(with(ideal_pyramid(), 2, {1, 1, -inf}), ET_PYRAMID5), 0.0);
  // Borderline tetrahedra go through the re-evaluation, keeping sign and size.
  for (double h : {1e-8, 3e-11}) {
    const points P{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3, 0.3, -h}};
    EXPECT_NEAR(quality(P, ET_TETRA4), tetra_oracle(P), 1e-3 * std::fabs(tetra_oracle(P))) << h;
    EXPECT_LT(quality(mirrored(P), ET_TETRA4), 0.0) << h;
  }
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int t = 0; t < 100; ++t) {
    points P(4);
    for (point& p : P) p = {u(gen), u(gen), u(gen)};
    const double expect = tetra_oracle(P);
    if (std::fabs(expect) < 1e-6) continue;  // too flat for a fair comparison
    EXPECT_NEAR(quality(P, ET_TETRA4), expect, 1e-12);
    EXPECT_NEAR(quality({P[0], P[1], P[2]}, ET_TRIA3), triangle_oracle(P[0], P[1], P[2]), 1e-12);
  }
}

// Each kind's reference element in its own reference coordinates, mapped by
// random affine maps: det J = det A for solids, |A e0 x A e1| for faces,
// |A e0| for edges (reference edge [-1, 1]).
TEST(Jacobians, AffineImagesOfTheReferenceElementsAndKnownValues) {
  const std::pair<points, element_type> refs[] = {
      {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}}, ET_TETRA4},
      {{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {0, 0, 1}}, ET_PYRAMID5},
      {{{1, 0, -1}, {0, 1, -1}, {0, 0, -1}, {1, 0, 1}, {0, 1, 1}, {0, 0, 1}}, ET_WEDGE6},
      {affine(ideal_hexa(), {{2, 0, 0}, {0, 2, 0}, {0, 0, 2}}, {-1, -1, -1}), ET_HEXA8},
      {{{1, 0, 0}, {0, 1, 0}, {0, 0, 0}}, ET_TRIA3},
      {{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, ET_QUAD4},
      {{{-1, 0, 0}, {1, 0, 0}}, ET_EDGE2}};
  std::mt19937 gen(17);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int t = 0; t < 10; ++t) {
    double A[3][3];
    for (auto& row : A)
      for (double& x : row) x = u(gen);
    const point a0{A[0][0], A[1][0], A[2][0]}, a1{A[0][1], A[1][1], A[2][1]};
    const double area = std::sqrt(std::pow(a0[1] * a1[2] - a0[2] * a1[1], 2) +
                                  std::pow(a0[2] * a1[0] - a0[0] * a1[2], 2) +
                                  std::pow(a0[0] * a1[1] - a0[1] * a1[0], 2));
    const double want[] = {det3(A), det3(A), det3(A), det3(A), area, area, distance(a0, {0, 0, 0})};
    for (std::size_t k = 0; k < std::size(refs); ++k)
      EXPECT_NEAR(jacobian(affine(refs[k].first, A, {u(gen), u(gen), u(gen)}), refs[k].second),
                  want[k], 1e-11 * (1 + std::fabs(want[k])))
          << refs[k].second;
  }
  EXPECT_EQ(jacobian({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, ET_TRIA3, 2), 1.0);  // unsigned in 2D
  EXPECT_EQ(jacobian(ideal_hexa(), ET_HEXA8, 2), 0.0);  // solids in the plane have no volume
  // Evaluated at the centre only: a hexahedron inverted near one corner is positive there.
  EXPECT_GT(jacobian(with(ideal_hexa(), 6, {0.45, 0.45, 0.45}), ET_HEXA8), 0.0);
}

// Mixed matrices give each column the value of its own shape; short mixed
// matrices are pure.
TEST(ShapeMeasures, MixedColumnsShortMixedMatricesAndCodes) {
  points nodes = ideal_hexa();
  nodes.push_back({0.5, 0.5, std::sqrt(0.5)});  // 8: apex over the bottom face
  const dense2D<double> xyz = coords_of(nodes, 3);
  const unsigned N = no_index;
  const dense2D<unsigned> solids{{0, 1, 3, 4, N, N, N, N},
                                 {0, 1, 2, 3, 8, N, N, N},
                                 {0, 1, 2, 4, 5, 6, N, N},
                                 {0, 1, 2, 3, 4, 5, 6, 7}};
  const element_type kinds[] = {ET_TETRA4, ET_PYRAMID5, ET_WEDGE6, ET_HEXA8};
  dense1D<double, 8> Q, J, q, j, s;
  ASSERT_EQ(shape_qualities(xyz, solids, ET_SOLID_MIX, Q) + jacobians(xyz, solids, ET_SOLID_MIX, J),
            0);
  for (int k = 0; k < 4; ++k) {
    const dense2D<unsigned> pure = solids.sub_matrix(0, k, nbr_nodes(kinds[k]), 1);
    ASSERT_EQ(shape_qualities(xyz, pure, kinds[k], q) + jacobians(xyz, pure, kinds[k], j) +
                  shape_qualities(xyz, pure, ET_SOLID_MIX, s),
              0);
    EXPECT_EQ(Q[k], q[0]) << k;
    EXPECT_EQ(J[k], j[0]) << k;
    EXPECT_EQ(s[0], q[0]) << k;  // a short mixed matrix is pure
  }
  ASSERT_EQ(shape_qualities(xyz, dense2D<unsigned>{{0, 1, 4}}, ET_FACE_MIX, Q), 0);
  EXPECT_EQ(Q[0], quality({nodes[0], nodes[1], nodes[4]}, ET_TRIA3));
  const mesh squares = quad_grid(3, 2);
  const dense2D<double>& xy = squares.coords;
  double worst = 0;
  unsigned jmin = 0;
  dense1D<double, 8> Qc{5, 5}, Jc{1, 2, 3}, E{7};
  // row 0: no columns
  EXPECT_CODES({shape_qualities(xy, dense2D<unsigned>(8, 0), ET_HEXA20, Qc), 0},
               {shape_qualities(xy, dense2D<unsigned>{{0, 1, 99}}, ET_TRIA3, Qc), -2},
               {shape_qualities(xy, dense2D<unsigned>{{0, 1, 2, 3, 4, 5}}, ET_TRIA6, Qc), -3},
               {jacobians(xy, dense2D<unsigned>(4, 0), ET_TETRA4, Jc), 0},
               {jacobians(xy, dense2D<unsigned>{{0, 1}}, ET_EDGE_MIX, Jc), -3},
               {min_quality(xy, dense2D<unsigned>{{0, 1, 99}}, ET_TRIA3, worst, jmin), -2},
               {shape_qualities(xy, dense2D<unsigned>(0, 3), ET_EDGE2, E), 0});
  EXPECT_TRUE(Qc.empty());
  EXPECT_TRUE(Jc.empty());
  EXPECT_EQ(worst, 1.0);
  EXPECT_EQ(jmin, no_index);
  EXPECT_SAME(E, (dense1D<double, 8>{1, 1, 1}));  // edges score 1, even with no rows to read
  // The first strictly smallest quality wins: two ideal halves of the unit
  // square around a flat triangle given twice, jittered grids, and unit
  // squares (all exactly 1, so nothing is set).
  std::vector<std::pair<mesh, element_type>> meshes{
      {{dense2D<double>{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {4, 0}, {4, 0.2}},
        dense2D<unsigned>{{0, 1, 2}, {1, 4, 5}, {1, 4, 5}, {0, 2, 3}}},
       ET_TRIA3},
      {quad_grid(3, 2), ET_QUAD4}};
  std::mt19937 gen(4);
  std::uniform_real_distribution<double> u(-0.45, 0.45);
  for (int t = 0; t < 4; ++t) {
    meshes.push_back({tria_grid(4, 3), ET_TRIA3});
    for (std::size_t j = 0; j < meshes.back().first.coords.cols(); ++j)
      for (int d = 0; d < 2; ++d) meshes.back().first.coords(d, j) += u(gen);
  }
  for (const auto& [m, type] : meshes) {
    dense1D<double, 8> Q;
    ASSERT_EQ(shape_qualities(m.coords, m.connect, type, Q), 0);
    unsigned want_j = no_index, j = 7;
    double want_q = 1.0, q = -7;
    for (std::size_t c = 0; c < Q.size(); ++c)
      if (Q[c] < want_q) want_q = Q[c], want_j = unsigned(c);
    ASSERT_EQ(min_quality(m.coords, m.connect, type, q, j), 0);
    EXPECT_EQ(j, want_j);
    EXPECT_EQ(q, want_q);
  }
}

}  // namespace
}  // namespace quernfold_test
