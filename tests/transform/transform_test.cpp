#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>

#include "support/mesh_gen.h"
#include "transform/node_maps.h"
#include "transform/transform_support.h"

using namespace ovk::quernfold;
using namespace transform_test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// sin(x)/x and (1 - cos(x))/x^2 summed in long double far beyond double
// precision.
void long_series(double theta, long double& a, long double& b) {
  const long double t = static_cast<long double>(theta) * theta;
  long double ta = 1.0L, tb = 0.5L;
  a = b = 0.0L;
  for (int k = 0; k < 20; ++k) {
    a += ta;
    b += tb;
    ta *= -t / ((2.0L * k + 2) * (2.0L * k + 3));
    tb *= -t / ((2.0L * k + 3) * (2.0L * k + 4));
  }
}

}  // namespace

TEST(Translate, WholeMatrixMovesEveryColumnAndSkipsIdentities) {
  dense2D<double> c = quernfold_test::random_points(2, 5, 7);
  const dense2D<double> before = snapshot(c);

  EXPECT_EQ(translate(c, vector_fixed<double, 2>{{1, 0}}), 5);
  for (std::size_t j = 0; j < 5; ++j)
    EXPECT_TRUE(column_near(c, j, {before(0, j) + 1, before(1, j)}));

  // Identities (NaN and -0 count as 0) change nothing and report 0.
  const dense2D<double> moved = snapshot(c);
  EXPECT_EQ(translate(c, vector_fixed<double, 2>{{0, 0}}), 0);
  EXPECT_EQ(translate(c, vector_fixed<double, 2>{{kNaN, -0.0}}), 0);
  EXPECT_EQ(translate(c, vector_fixed<double, 3>{{0, kNaN, 0}}), 0);
  EXPECT_TRUE(same_matrix(c, moved));
  EXPECT_EQ(c.rows(), 2u);  // no growth for an identity

  // One non-identity component is enough: the NaN is then added as it is.
  EXPECT_EQ(translate(c, vector_fixed<double, 2>{{kNaN, 2}}), 5);
  EXPECT_TRUE(std::isnan(c(0, 3)));
  EXPECT_EQ(c(1, 3), moved(1, 3) + 2);

  dense2D<double> empty(2, 0);
  EXPECT_EQ(translate(empty, vector_fixed<double, 3>{{1, 1, 1}}), 0);
  EXPECT_EQ(empty.rows(), 2u);
}

TEST(Translate, RowsWrittenAndGrowthToTheOverloadsDimension) {
  // 3-D on a 2-row matrix: a third row of zeros, then moved.
  dense2D<double> c{{1, 2}, {3, 4}};
  EXPECT_EQ(translate(c, vector_fixed<double, 3>{{1, 0, 5}}), 2);
  ASSERT_EQ(c.rows(), 3u);
  EXPECT_TRUE(column_near(c, 0, {2, 2, 5}));
  EXPECT_TRUE(column_near(c, 1, {4, 4, 5}));

  // 2-D on a 1-row matrix grows it to 2 rows.
  dense2D<double> line{{1}, {2}};
  EXPECT_EQ(translate(line, vector_fixed<double, 2>{{1, -1}}), 2);
  ASSERT_EQ(line.rows(), 2u);
  EXPECT_TRUE(column_near(line, 1, {3, -1}));

  // 2-D on a 3-row matrix leaves row 2; 3-D on a 4-row one leaves row 3.
  dense2D<double> tall{{1, 2, 3, 4}};
  EXPECT_EQ(translate(tall, vector_fixed<double, 2>{{1, 1}}), 1);
  EXPECT_TRUE(column_near(tall, 0, {2, 3, 3, 4}));
  EXPECT_EQ(translate(tall, vector_fixed<double, 3>{{1, 1, 1}}), 1);
  EXPECT_TRUE(column_near(tall, 0, {3, 4, 4, 4}));

  // A window into a larger matrix: only its own rows and columns move.
  dense2D<double> base(3, 4, 0.0);
  dense2D<double> window = base.sub_matrix(0, 1, 2, 2);
  EXPECT_EQ(translate(window, vector_fixed<double, 2>{{1, 2}}), 2);
  for (std::size_t j = 0; j < 4; ++j) {
    const bool inside = j == 1 || j == 2;
    EXPECT_TRUE(column_near(base, j, {inside ? 1.0 : 0.0, inside ? 2.0 : 0.0, 0.0})) << j;
  }
}

TEST(Translate, NodeListAndConnectivity) {
  dense2D<double> c{{0, 0}, {1, 0}, {2, 0}, {3, 0}};

  // Repeated entries move twice; ~0U and out-of-range entries are skipped.
  EXPECT_EQ(translate(c, vector_fixed<double, 2>{{1, 0}}, dense1D<unsigned>{0, 0, kNone, 7}), 2);
  EXPECT_TRUE(column_near(c, 0, {2, 0}));
  EXPECT_TRUE(column_near(c, 1, {1, 0}));

  // An empty list returns before the growth to 3 rows.
  EXPECT_EQ(translate(c, vector_fixed<double, 3>{{1, 1, 1}}, dense1D<unsigned>()), 0);
  EXPECT_EQ(c.rows(), 2u);
  EXPECT_EQ(translate(c, vector_fixed<double, 2>{{0, 0}}, dense1D<unsigned>{1}), 0);

  // Each node used by the elements moves once.
  dense2D<unsigned> edges{{0, 1}, {1, 2}};
  EXPECT_EQ(translate(c, vector_fixed<double, 2>{{0, 1}}, edges), 3);
  EXPECT_TRUE(column_near(c, 0, {2, 1}));
  EXPECT_TRUE(column_near(c, 1, {1, 1}));
  EXPECT_TRUE(column_near(c, 2, {2, 1}));
  EXPECT_TRUE(column_near(c, 3, {3, 0}));

  // Mixed columns: the ~0U slot drops out; a matrix of only ~0U moves
  // nothing and does not grow coords.
  dense2D<unsigned> mixed{{3, 2, 1, kNone}};
  EXPECT_EQ(translate(c, vector_fixed<double, 3>{{0, 0, 2}}, mixed), 3);
  ASSERT_EQ(c.rows(), 3u);
  EXPECT_TRUE(column_near(c, 0, {2, 1, 0}));
  EXPECT_TRUE(column_near(c, 3, {3, 0, 2}));
  dense2D<double> flat{{0, 0}};
  EXPECT_EQ(translate(flat, vector_fixed<double, 3>{{1, 1, 1}}, dense2D<unsigned>{{kNone}}), 0);
  EXPECT_EQ(flat.rows(), 2u);
}

TEST(Rotate2D, QuarterTurnClosedFormAndRoundTrip) {
  // x' = cos(pi/2), y' = sin(pi/2) exactly.
  dense2D<double> c{{1, 0}};
  EXPECT_EQ(rotate(c, vector_fixed<double, 2>{{0, 0}}, kPi / 2), 1);
  EXPECT_EQ(c(0, 0), std::cos(kPi / 2));
  EXPECT_EQ(c(1, 0), 1.0);

  // Against complex multiplication about an off-origin centre.
  const vector_fixed<double, 2> Q{{1, 2}};
  dense2D<double> cloud = quernfold_test::random_points(2, 60, 3);
  const dense2D<double> start = snapshot(cloud);
  const double angle = 0.7;
  EXPECT_EQ(rotate(cloud, Q, angle), 60);
  const std::complex<double> q(Q[0], Q[1]), turn = std::polar(1.0, angle);
  for (std::size_t j = 0; j < 60; ++j) {
    const std::complex<double> want =
        q + (std::complex<double>(start(0, j), start(1, j)) - q) * turn;
    EXPECT_TRUE(column_near(cloud, j, {want.real(), want.imag()}, 1e-14)) << j;
  }
  // Turning back restores the cloud.
  EXPECT_EQ(rotate(cloud, Q, -angle), 60);
  EXPECT_LE(max_gap(cloud, 0, start, 0, 60, 2), kRoundTrip);

  // Identities: 0, -0 and NaN.
  EXPECT_EQ(rotate(cloud, Q, 0.0), 0);
  EXPECT_EQ(rotate(cloud, Q, -0.0), 0);
  EXPECT_EQ(rotate(cloud, Q, kNaN), 0);
  EXPECT_FALSE(std::isnan(cloud(0, 0)));
}

TEST(Rotate2D, NodeListAndConnectivityCounts) {
  const vector_fixed<double, 2> O{{0, 0}};
  dense2D<double> c{{1, 0}, {0, 1}, {2, 0}};
  // Node 2 listed twice turns by twice the angle; entry 5 is skipped.
  EXPECT_EQ(rotate(c, O, kPi / 2, dense1D<unsigned>{2, 5, 2}), 2);
  EXPECT_TRUE(column_near(c, 2, {-2, 0}, 1e-15));
  EXPECT_TRUE(column_near(c, 0, {1, 0}));

  dense2D<unsigned> tri{{0, 1, 0}};
  EXPECT_EQ(rotate(c, O, kPi, tri), 2);
  EXPECT_TRUE(column_near(c, 0, {-1, 0}, 1e-15));
  EXPECT_TRUE(column_near(c, 1, {0, -1}, 1e-15));
  EXPECT_TRUE(column_near(c, 2, {-2, 0}, 1e-15));
}

TEST(Rotate3D, AxisTurnsSmallAnglesAndRoundTrip) {
  const vector_fixed<double, 3> O{{0, 0, 0}};
  dense2D<double> c{{1, 0, 0}};
  EXPECT_EQ(rotate(c, O, vector_fixed<double, 3>{{0, 0, kPi / 2}}), 1);
  EXPECT_TRUE(column_near(c, 0, {0, 1, 0}, 1e-15));

  // Below the series limit: still a plain turn to rounding.
  dense2D<double> s{{1, 0, 0}};
  EXPECT_EQ(rotate(s, O, vector_fixed<double, 3>{{0, 0, 0.05}}), 1);
  EXPECT_TRUE(column_near(s, 0, {std::cos(0.05), std::sin(0.05), 0}, 4e-16));

  // Arbitrary axes and angles on both sides of the limit against the
  // textbook formula; lengths and axial components are kept.
  const vector_fixed<double, 3> Q{{0.5, -1, 2}};
  const double axis[3] = {0.36, -0.48, 0.8};  // unit
  for (double theta : {1e-7, 0.03, 0.1, 0.1000001, 0.5, 2.5, kPi - 0.01}) {
    const vector_fixed<double, 3> R{{axis[0] * theta, axis[1] * theta, axis[2] * theta}};
    dense2D<double> cloud = quernfold_test::random_points(3, 40, 11);
    const dense2D<double> start = snapshot(cloud);
    ASSERT_EQ(rotate(cloud, Q, R), 40);
    for (std::size_t j = 0; j < 40; ++j) {
      const vector_fixed<double, 3> want = reference_rotation(start.column(j), Q, R);
      EXPECT_TRUE(column_near(cloud, j, {want[0], want[1], want[2]}, 1e-14)) << theta;
      double len0 = 0, len1 = 0, ax0 = 0, ax1 = 0;
      for (int i = 0; i < 3; ++i) {
        const double d0 = start(i, j) - Q[i], d1 = cloud(i, j) - Q[i];
        len0 += d0 * d0, len1 += d1 * d1, ax0 += d0 * axis[i], ax1 += d1 * axis[i];
      }
      EXPECT_NEAR(len0, len1, 1e-14);
      EXPECT_NEAR(ax0, ax1, 1e-14);
    }
    const vector_fixed<double, 3> back{{-R[0], -R[1], -R[2]}};
    ASSERT_EQ(rotate(cloud, Q, back), 40);
    EXPECT_LE(max_gap(cloud, 0, start, 0, 40, 3), kRoundTrip) << theta;
  }
}

TEST(Rotate3D, IdentitiesGrowthListsAndConnectivity) {
  const vector_fixed<double, 3> O{{0, 0, 0}};
  dense2D<double> flat{{0, 1}, {2, 3}};
  const dense2D<double> start = snapshot(flat);
  EXPECT_EQ(rotate(flat, O, vector_fixed<double, 3>{{0, -0.0, 0}}), 0);
  EXPECT_EQ(rotate(flat, O, vector_fixed<double, 3>{{kNaN, 0, kNaN}}), 0);
  EXPECT_TRUE(same_matrix(flat, start));

  // A quarter turn about x lifts (0, 1) out of the plane after the growth.
  EXPECT_EQ(rotate(flat, O, vector_fixed<double, 3>{{kPi / 2, 0, 0}}, dense1D<unsigned>{0, 9}), 1);
  ASSERT_EQ(flat.rows(), 3u);
  EXPECT_TRUE(column_near(flat, 0, {0, 0, 1}, 1e-15));
  EXPECT_TRUE(column_near(flat, 1, {2, 3, 0}));

  dense2D<unsigned> quad{{1, 0, 1, kNone}};
  EXPECT_EQ(rotate(flat, O, vector_fixed<double, 3>{{0, 0, kPi}}, quad), 2);
  EXPECT_TRUE(column_near(flat, 1, {-2, -3, 0}, 1e-14));
}

TEST(Rotate3D, SeriesCoefficientsNearZero) {
  using detail::rotation_coefficients;
  // The closed form would give b = 0 here (1 - cos(1e-9) rounds to 0).
  EXPECT_EQ(rotation_coefficients(1e-9).b, 0.5);
  EXPECT_EQ(rotation_coefficients(1e-9).a, 1.0);
  EXPECT_EQ(rotation_coefficients(0.0).a, 1.0);
  EXPECT_EQ(rotation_coefficients(0.0).b, 0.5);

  // Up to and at the limit (where 1 - cos(theta) has lost two digits) the
  // series is accurate to a couple of units in the last place; beyond it the
  // closed form joins continuously.
  for (double theta : {1e-4, 0.01, 0.05, 0.0999, 0.1}) {
    long double a, b;
    long_series(theta, a, b);
    const auto k = rotation_coefficients(theta);
    EXPECT_NEAR(k.a, static_cast<double>(a), 3e-16) << theta;
    EXPECT_NEAR(k.b, static_cast<double>(b), 2e-16) << theta;
  }
  const auto below = rotation_coefficients(0.1);
  const auto above = rotation_coefficients(std::nextafter(0.1, 1.0));
  EXPECT_NEAR(below.a, above.a, 1e-15);
  EXPECT_NEAR(below.b, above.b, 1e-13);
}

TEST(Zoom, WorkedExampleRoundTripAndCentre) {
  dense2D<double> c{{2, 3}, {1, 1}};
  const vector_fixed<double, 2> Q{{1, 1}};
  EXPECT_EQ(zoom(c, Q, 2.0), 2);
  EXPECT_TRUE(column_near(c, 0, {3, 5}));
  EXPECT_TRUE(column_near(c, 1, {1, 1}));  // the centre stays put exactly
  EXPECT_EQ(zoom(c, Q, 1.0), 0);
  EXPECT_EQ(zoom(c, Q, kNaN), 0);
  EXPECT_TRUE(column_near(c, 0, {3, 5}));

  // Equals Q + f (P - Q) to rounding; 1/f brings the cloud back.
  const vector_fixed<double, 3> Q3{{0.3, -0.2, 1.5}};
  dense2D<double> cloud = quernfold_test::random_points(3, 50, 5);
  const dense2D<double> start = snapshot(cloud);
  const double f = 3.7;
  EXPECT_EQ(zoom(cloud, Q3, f), 50);
  for (std::size_t j = 0; j < 50; ++j)
    EXPECT_TRUE(column_near(cloud, j,
                            {Q3[0] + f * (start(0, j) - Q3[0]), Q3[1] + f * (start(1, j) - Q3[1]),
                             Q3[2] + f * (start(2, j) - Q3[2])},
                            1e-14));
  EXPECT_EQ(zoom(cloud, Q3, 1.0 / f), 50);
  EXPECT_LE(max_gap(cloud, 0, start, 0, 50, 3), kRoundTrip);
}

TEST(Zoom, ListsReturnZeroAndGrowthUsesTheNewRow) {
  const vector_fixed<double, 2> Q{{1, 1}};
  dense2D<double> c{{2, 3}, {4, 4}};
  // Moved twice, reported 0.
  EXPECT_EQ(zoom(c, Q, 2.0, dense1D<unsigned>{0, 0, kNone}), 0);
  EXPECT_TRUE(column_near(c, 0, {5, 9}));
  EXPECT_TRUE(column_near(c, 1, {4, 4}));

  EXPECT_EQ(zoom(c, Q, 0.5, dense2D<unsigned>{{0, 1}, {1, 0}}), 0);
  EXPECT_TRUE(column_near(c, 0, {3, 5}));
  EXPECT_TRUE(column_near(c, 1, {2.5, 2.5}));

  // The added row is 0, then scaled about Qz: 0 + (0 - 1) * (3 - 1) = -2.
  EXPECT_EQ(zoom(c, vector_fixed<double, 3>{{1, 1, 1}}, 3.0), 2);
  ASSERT_EQ(c.rows(), 3u);
  EXPECT_TRUE(column_near(c, 0, {7, 13, -2}));
  EXPECT_TRUE(column_near(c, 1, {5.5, 5.5, -2}));
  EXPECT_EQ(zoom(c, vector_fixed<double, 3>{{1, 1, 1}}, 3.0, dense1D<unsigned>{1}), 0);
  EXPECT_TRUE(column_near(c, 1, {14.5, 14.5, -8}));
  EXPECT_TRUE(column_near(c, 0, {7, 13, -2}));
}
