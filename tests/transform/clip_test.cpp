#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "support/mesh_gen.h"
#include "transform/transform_support.h"

using namespace ovk::quernfold;
using namespace transform_test;

namespace {

// Nodes closer to a test plane than this make its brute-force answer depend
// on rounding; such planes are drawn again.
constexpr double kPlaneMargin = 1e-9;

// Signed distance-like value of node j, summed in long double.
long double side_value(const dense2D<double>& c, std::size_t j, const vector_fixed<double, 3>& P,
                       const vector_fixed<double, 3>& N) {
  long double s = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const long double x = i < c.rows() ? c(i, j) : 0.0;
    s += (x - (i < c.rows() ? P[i] : 0.0)) * static_cast<long double>(N[i]);
  }
  return s;
}

// Brute force: columns whose nodes all have side_value >= 0.
std::vector<unsigned> expected_kept(const dense2D<double>& c, const dense2D<unsigned>& M,
                                    const vector_fixed<double, 3>& P,
                                    const vector_fixed<double, 3>& N) {
  std::vector<unsigned> kept;
  for (std::size_t e = 0; e < M.cols(); ++e) {
    bool all = true;
    for (std::size_t r = 0; r < M.rows() && M(r, e) != kNone; ++r)
      all = all && side_value(c, M(r, e), P, N) >= 0;
    if (all) kept.push_back(static_cast<unsigned>(e));
  }
  return kept;
}

// kept's columns from `first` on are exactly the listed columns of M.
::testing::AssertionResult holds_columns(const dense2D<unsigned>& kept, std::size_t first,
                                         const dense2D<unsigned>& M,
                                         const std::vector<unsigned>& cols) {
  if (kept.cols() != first + cols.size())
    return ::testing::AssertionFailure() << kept.cols() << " columns, want " << first + cols.size();
  if (kept.rows() != M.rows()) return ::testing::AssertionFailure() << "rows " << kept.rows();
  for (std::size_t k = 0; k < cols.size(); ++k)
    for (std::size_t r = 0; r < M.rows(); ++r)
      if (kept(r, first + k) != M(r, cols[k]))
        return ::testing::AssertionFailure() << "column " << first + k << " row " << r;
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Clip, NodesOnThePlaneAreKeptAndTinyOffsetsAreNot) {
  // Triangle 0 touches the plane z = 0 with an edge, triangle 1 dips 1e-12
  // below it, triangle 2 lies wholly below.
  dense2D<double> c{{0, 0, 0}, {1, 0, 0}, {0, 1, 1}, {1, 1, -1e-12}, {0, 0, -1}, {1, 0, -2}};
  const dense2D<unsigned> tris{{0, 1, 2}, {1, 2, 3}, {3, 4, 5}};
  const vector_fixed<double, 3> P{{5, -3, 0}};
  dense2D<unsigned> kept;
  EXPECT_EQ(clip(c, tris, P, vector_fixed<double, 3>{{0, 0, 1}}, kept), 0);
  EXPECT_TRUE(holds_columns(kept, 0, tris, {0}));

  // The other side: only the wholly-below triangle (the plane's own nodes
  // count as kept on both sides).
  dense2D<unsigned> below;
  EXPECT_EQ(clip(c, tris, P, vector_fixed<double, 3>{{0, 0, -2}}, below), 0);
  EXPECT_TRUE(holds_columns(below, 0, tris, {2}));
}

TEST(Clip, AgreesWithBruteForceOnRandomPlanes) {
  const quernfold_test::mesh m = quernfold_test::tetra_grid(3, 3, 2, 0.5);
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int planes = 0;
  std::size_t kept_total = 0, cut_total = 0;
  while (planes < 20) {
    const vector_fixed<double, 3> P{{0.75 + u(gen), 0.75 + u(gen), 0.5 + u(gen)}};
    const vector_fixed<double, 3> N{{u(gen), u(gen), u(gen)}};
    bool clear = true;
    for (std::size_t j = 0; j < m.coords.cols(); ++j)
      clear = clear && std::fabs(static_cast<double>(side_value(m.coords, j, P, N))) > kPlaneMargin;
    if (!clear) continue;
    ++planes;

    dense2D<unsigned> front, back;
    ASSERT_EQ(clip(m.coords, m.connect, P, N, front), 0);
    ASSERT_EQ(clip(m.coords, m.connect, P, vector_fixed<double, 3>{{-N[0], -N[1], -N[2]}}, back),
              0);
    const std::vector<unsigned> want = expected_kept(m.coords, m.connect, P, N);
    EXPECT_TRUE(holds_columns(front, 0, m.connect, want));
    // With no node on the plane the two sides never share an element.
    EXPECT_LE(front.cols() + back.cols(), m.connect.cols());
    EXPECT_TRUE(holds_columns(
        back, 0, m.connect,
        expected_kept(m.coords, m.connect, P, vector_fixed<double, 3>{{-N[0], -N[1], -N[2]}})));
    kept_total += front.cols();
    cut_total += m.connect.cols() - front.cols() - back.cols();
  }
  // The planes did cut the mesh, and kept parts of it.
  EXPECT_GT(kept_total, 0u);
  EXPECT_GT(cut_total, 0u);
}

TEST(Clip, TwoDimensionalMeshesUseTheTraceOfThePlane) {
  const quernfold_test::mesh m = quernfold_test::tria_grid(4, 4);
  // Pz plays no part for 2-row coordinates: the plane x = 2 whatever Pz.
  const vector_fixed<double, 3> P{{2, 0, 7}}, N{{1, 0, 3}};
  dense2D<unsigned> right, all;
  EXPECT_EQ(clip(m.coords, m.connect, P, N, right), 0);
  const std::vector<unsigned> want = expected_kept(m.coords, m.connect, P, {{1, 0, 0}});
  EXPECT_EQ(want.size(), 16u);
  EXPECT_TRUE(holds_columns(right, 0, m.connect, want));
  // A normal along z alone: every node lies on the plane, all kept.
  EXPECT_EQ(clip(m.coords, m.connect, P, vector_fixed<double, 3>{{0, 0, -1}}, all), 0);
  EXPECT_EQ(all.cols(), m.connect.cols());
}

TEST(Clip, MixedColumnsStopAtTheirFirstNoIndex) {
  // Nodes 0-2 at x >= 0, node 3 at x < 0.
  dense2D<double> c{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {-1, 0, 0}};
  const dense2D<unsigned> mixed{{0, 1, 2, kNone}, {0, 1, kNone, 3}, {kNone, 3, 3, 3}, {0, 1, 2, 3}};
  dense2D<unsigned> kept;
  EXPECT_EQ(
      clip(c, mixed, vector_fixed<double, 3>{{0, 0, 0}}, vector_fixed<double, 3>{{1, 0, 0}}, kept),
      0);
  // Column 1's node 3 comes after its ~0U; column 2 has no node before it.
  EXPECT_TRUE(holds_columns(kept, 0, mixed, {0, 1, 2}));
}

TEST(Clip, CodesAppendingAndAliasing) {
  const quernfold_test::mesh m = quernfold_test::tetra_grid(2, 2, 1);
  const vector_fixed<double, 3> P{{0, 1, 0}}, N{{0, 1, 0}}, zero{{0, 0, 0}};
  const dense2D<unsigned> previous{{7, 7, 7, 7}};
  dense2D<unsigned> kept = snapshot(previous);

  // No element: 0 at once, even with a zero normal.
  EXPECT_EQ(clip(m.coords, dense2D<unsigned>(4, 0), P, zero, kept), 0);
  // Checks in order: nodes, normal, shape of kept; kept untouched by each.
  EXPECT_EQ(clip(m.coords, dense2D<unsigned>{{0, 1, 2, 99}}, P, zero, kept), -2);
  EXPECT_EQ(clip(m.coords, dense2D<unsigned>{{0, 1, 2, kNone}}, P, zero, kept), -4);
  dense2D<unsigned> wrong{{0, 1, 2}};
  EXPECT_EQ(clip(m.coords, m.connect, P, N, wrong), -5);
  EXPECT_TRUE(same_matrix(wrong, dense2D<unsigned>{{0, 1, 2}}));
  EXPECT_TRUE(same_matrix(kept, previous));

  // Appended after what kept held.
  ASSERT_EQ(clip(m.coords, m.connect, P, N, kept), 0);
  const std::vector<unsigned> want = expected_kept(m.coords, m.connect, P, N);
  EXPECT_LT(want.size(), m.connect.cols());
  EXPECT_TRUE(holds_columns(kept, 1, m.connect, want));
  EXPECT_EQ(kept(0, 0), 7u);
  // An empty kept of another height takes connectM's.
  dense2D<unsigned> fresh(3, 0);
  ASSERT_EQ(clip(m.coords, m.connect, P, N, fresh), 0);
  EXPECT_TRUE(holds_columns(fresh, 0, m.connect, want));
  // A kept without rows keeps its columns (now zeros of connectM's height) first.
  dense2D<unsigned> flat(0, 2);
  ASSERT_EQ(clip(m.coords, m.connect, P, N, flat), 0);
  ASSERT_TRUE(holds_columns(flat, 2, m.connect, want));
  for (std::size_t r = 0; r < flat.rows(); ++r) EXPECT_EQ(flat(r, 1), 0u);
  // kept may be connectM itself: the selection is of its elements as they were.
  dense2D<unsigned> self = snapshot(m.connect);
  ASSERT_EQ(clip(m.coords, self, P, N, self), 0);
  EXPECT_TRUE(holds_columns(self, m.connect.cols(), m.connect, want));
}
