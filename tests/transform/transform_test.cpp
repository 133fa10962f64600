#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "support/mesh_gen.h"
#include "transform/node_maps.h"
#include "transform/transform_support.h"

using namespace ovk::quernfold;
using namespace transform_test;

TEST(Translate, WholeMatrixIdentitiesGrowthAndWindows) {
  dense2D<double> c = quernfold_test::random_points(2, 5, 7);
  const dense2D<double> before = snapshot(c);
  EXPECT_EQ(translate(c, V2{{1, 0}}), 5);
  EXPECT_TRUE(column_near(c, 4, {before(0, 4) + 1, before(1, 4)}));
  // Identities (NaN and -0 count as 0) change nothing, report 0, never grow.
  const dense2D<double> moved = snapshot(c);
  EXPECT_EQ(translate(c, V2{{kNaN, -0.0}}), 0);
  EXPECT_EQ(translate(c, V3{{0, kNaN, 0}}), 0);
  EXPECT_TRUE(same_matrix(c, moved));
  // One non-identity component is enough: the NaN is then added as it is.
  EXPECT_EQ(translate(c, V2{{kNaN, 2}}), 5);
  EXPECT_TRUE(std::isnan(c(0, 3)) && c(1, 3) == moved(1, 3) + 2);

  // 3-D on 2 rows adds a zero row then moves; 1 row grows to 2; extra rows stay.
  dense2D<double> g{{1, 2}, {3, 4}}, line{{1}, {2}}, tall{{1, 2, 3, 4}};
  EXPECT_EQ(translate(g, V3{{1, 0, 5}}) + translate(line, V2{{1, -1}}), 4);
  EXPECT_TRUE(column_near(g, 1, {4, 4, 5}) && column_near(line, 1, {3, -1}));
  EXPECT_EQ(translate(tall, V2{{1, 1}}) + translate(tall, V3{{1, 1, 1}}), 2);
  EXPECT_TRUE(column_near(tall, 0, {3, 4, 4, 4}));
  // A window into a larger matrix: only its own rows and columns move.
  dense2D<double> base(3, 4, 0.0);
  dense2D<double> window = base.sub_matrix(0, 1, 2, 2);
  EXPECT_EQ(translate(window, V2{{1, 2}}), 2);
  EXPECT_TRUE(column_near(base, 0, {0, 0, 0}) && column_near(base, 3, {0, 0, 0}));
  EXPECT_TRUE(column_near(base, 2, {1, 2, 0}));
}

TEST(Translate, NodeListAndConnectivity) {
  dense2D<double> c{{0, 0}, {1, 0}, {2, 0}, {3, 0}};
  // Repeated entries move twice; ~0U and out-of-range entries are skipped.
  EXPECT_EQ(translate(c, V2{{1, 0}}, dense1D<unsigned>{0, 0, no_index, 7}), 2);
  EXPECT_TRUE(column_near(c, 0, {2, 0}));
  // An empty list returns before the growth to 3 rows.
  EXPECT_EQ(translate(c, V3{{1, 1, 1}}, dense1D<unsigned>()), 0);
  EXPECT_EQ(c.rows(), 2u);
  // Each node used by the elements moves once; ~0U slots drop out.
  EXPECT_EQ(translate(c, V2{{0, 1}}, dense2D<unsigned>{{0, 1}, {1, 2}}), 3);
  EXPECT_EQ(translate(c, V3{{0, 0, 2}}, dense2D<unsigned>{{3, 2, 1, no_index}}), 3);
  EXPECT_TRUE(column_near(c, 0, {2, 1, 0}) && column_near(c, 1, {1, 1, 2}));
  EXPECT_TRUE(column_near(c, 3, {3, 0, 2}));
  dense2D<double> flat{{0, 0}};  // only ~0U: nothing moves, no growth
  EXPECT_EQ(translate(flat, V3{{1, 1, 1}}, dense2D<unsigned>{{no_index}}), 0);
  EXPECT_EQ(flat.rows(), 2u);
}

TEST(Rotate2D, AgainstComplexProductListsAndIdentities) {
  dense2D<double> q{{1, 0}};
  EXPECT_EQ(rotate(q, V2{{0, 0}}, kPi / 2), 1);
  EXPECT_TRUE(q(0, 0) == std::cos(kPi / 2) && q(1, 0) == 1.0);

  const V2 Q{{1, 2}};
  dense2D<double> cloud = quernfold_test::random_points(2, 60, 3);
  const dense2D<double> start = snapshot(cloud);
  EXPECT_EQ(rotate(cloud, Q, 0.7), 60);
  const std::complex<double> qc(Q[0], Q[1]), turn = std::polar(1.0, 0.7);
  for (std::size_t j = 0; j < 60; ++j) {
    const auto want = qc + (std::complex<double>(start(0, j), start(1, j)) - qc) * turn;
    EXPECT_TRUE(column_near(cloud, j, {want.real(), want.imag()}, 1e-14)) << j;
  }
  EXPECT_EQ(rotate(cloud, Q, -0.0) + rotate(cloud, Q, kNaN), 0);
  EXPECT_FALSE(std::isnan(cloud(0, 0)));

  // Node 2 listed twice turns twice; entry 5 skipped. Elements: each node once.
  dense2D<double> c{{1, 0}, {0, 1}, {2, 0}};
  EXPECT_EQ(rotate(c, V2{{0, 0}}, kPi / 2, dense1D<unsigned>{2, 5, 2}), 2);
  EXPECT_EQ(rotate(c, V2{{0, 0}}, kPi, dense2D<unsigned>{{0, 1, 0}}), 2);
  EXPECT_TRUE(column_near(c, 0, {-1, 0}, 1e-15) && column_near(c, 2, {-2, 0}, 1e-15));
}

TEST(Rotate3D, AgainstTextbookFormulaAndRoundTrip) {
  // Arbitrary axis, angles on both sides of the series limit.
  const V3 Q{{0.5, -1, 2}};
  const double axis[3] = {0.36, -0.48, 0.8};
  for (double theta : {1e-7, 0.05, 0.1, 0.1000001, 2.5, kPi - 0.01}) {
    const V3 R{{axis[0] * theta, axis[1] * theta, axis[2] * theta}};
    dense2D<double> cloud = quernfold_test::random_points(3, 40, 11);
    const dense2D<double> start = snapshot(cloud);
    ASSERT_EQ(rotate(cloud, Q, R), 40);
    for (std::size_t j = 0; j < 40; ++j) {
      const V3 want = reference_rotation(start.column(j), Q, R);
      EXPECT_TRUE(column_near(cloud, j, {want[0], want[1], want[2]}, 1e-14)) << theta;
    }
    ASSERT_EQ(rotate(cloud, Q, V3{{-R[0], -R[1], -R[2]}}), 40);
    EXPECT_LE(max_gap(cloud, 0, start, 0, 40, 3), kRoundTrip) << theta;
  }
  // Identities; growth then a quarter turn about x lifts (0, 1) out of the plane.
  const V3 O{{0, 0, 0}};
  dense2D<double> flat{{0, 1}, {2, 3}};
  EXPECT_EQ(rotate(flat, O, V3{{0, -0.0, 0}}) + rotate(flat, O, V3{{kNaN, 0, kNaN}}), 0);
  EXPECT_EQ(flat.rows(), 2u);
  EXPECT_EQ(rotate(flat, O, V3{{kPi / 2, 0, 0}}, dense1D<unsigned>{0, 9}), 1);
  EXPECT_TRUE(column_near(flat, 0, {0, 0, 1}, 1e-15) && column_near(flat, 1, {2, 3, 0}));
  EXPECT_EQ(rotate(flat, O, V3{{0, 0, kPi}}, dense2D<unsigned>{{1, 0, 1, no_index}}), 2);
  EXPECT_TRUE(column_near(flat, 1, {-2, -3, 0}, 1e-14));
}

TEST(Rotate3D, SeriesCoefficientsNearZero) {
  using detail::rotation_coefficients;
  // The closed form would give b = 0 here (1 - cos(1e-9) rounds to 0).
  EXPECT_EQ(rotation_coefficients(1e-9).b, 0.5);
  EXPECT_TRUE(rotation_coefficients(0.0).a == 1.0 && rotation_coefficients(0.0).b == 0.5);
  for (double theta : {1e-4, 0.05, 0.0999, 0.1}) {
    // sin(x)/x and (1 - cos(x))/x^2 summed in long double.
    const long double t = static_cast<long double>(theta) * theta;
    long double ta = 1.0L, tb = 0.5L, a = 0, b = 0;
    for (int k = 0; k < 20; ++k) {
      a += ta, b += tb;
      ta *= -t / ((2.0L * k + 2) * (2.0L * k + 3));
      tb *= -t / ((2.0L * k + 3) * (2.0L * k + 4));
    }
    EXPECT_NEAR(rotation_coefficients(theta).a, static_cast<double>(a), 3e-16) << theta;
    EXPECT_NEAR(rotation_coefficients(theta).b, static_cast<double>(b), 2e-16) << theta;
  }
  const auto below = rotation_coefficients(0.1);
  const auto above = rotation_coefficients(std::nextafter(0.1, 1.0));
  EXPECT_NEAR(below.a, above.a, 1e-15);
  EXPECT_NEAR(below.b, above.b, 1e-13);
}

TEST(Zoom, ClosedFormListsAndGrowth) {
  const V3 Q3{{0.3, -0.2, 1.5}};
  dense2D<double> cloud = quernfold_test::random_points(3, 50, 5);
  const dense2D<double> start = snapshot(cloud);
  const double f = 3.7;
  EXPECT_EQ(zoom(cloud, Q3, f), 50);
  for (std::size_t j = 0; j < 50; ++j)
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_NEAR(cloud(i, j), Q3[i] + f * (start(i, j) - Q3[i]), 1e-14);

  const V2 Q{{1, 1}};
  dense2D<double> c{{2, 3}, {1, 1}};
  EXPECT_EQ(zoom(c, Q, 1.0) + zoom(c, Q, kNaN), 0);
  EXPECT_EQ(zoom(c, Q, 2.0), 2);
  EXPECT_TRUE(column_near(c, 0, {3, 5}) && column_near(c, 1, {1, 1}));  // centre exact
  // Lists and elements report 0; a repeated node moves twice.
  EXPECT_EQ(zoom(c, Q, 2.0, dense1D<unsigned>{0, 0, no_index}), 0);
  EXPECT_TRUE(column_near(c, 0, {9, 17}));
  EXPECT_EQ(zoom(c, Q, 0.5, dense2D<unsigned>{{0, 1}, {1, 0}}), 0);
  EXPECT_TRUE(column_near(c, 0, {5, 9}));
  // The added row is 0, then scaled about Qz: 0 + (0 - 1) * (3 - 1) = -2.
  EXPECT_EQ(zoom(c, V3{{1, 1, 1}}, 3.0), 2);
  EXPECT_TRUE(column_near(c, 0, {13, 25, -2}));
  EXPECT_EQ(zoom(c, V3{{1, 1, 1}}, 3.0, dense1D<unsigned>{1}), 0);
  EXPECT_TRUE(column_near(c, 1, {1, 1, -8}) && column_near(c, 0, {13, 25, -2}));
}
