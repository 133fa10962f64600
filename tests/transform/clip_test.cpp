#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "support/mesh_gen.h"
#include "transform/transform_support.h"

using namespace ovk::quernfold;
using namespace transform_test;

namespace {

// Signed distance-like value of node j, summed in long double.
long double side_value(const dense2D<double>& c, std::size_t j, const V3& P, const V3& N) {
  long double s = 0;
  for (std::size_t i = 0; i < c.rows() && i < 3; ++i)
    s += (static_cast<long double>(c(i, j)) - P[i]) * N[i];
  return s;
}

// Brute force: columns whose nodes (up to the first ~0U) all have side_value >= 0.
std::vector<unsigned> expected_kept(const dense2D<double>& c, const dense2D<unsigned>& M,
                                    const V3& P, const V3& N) {
  std::vector<unsigned> kept;
  for (std::size_t e = 0; e < M.cols(); ++e) {
    bool all = true;
    for (std::size_t r = 0; r < M.rows() && M(r, e) != no_index; ++r)
      all = all && side_value(c, M(r, e), P, N) >= 0;
    if (all) kept.push_back(static_cast<unsigned>(e));
  }
  return kept;
}

// kept's columns from `first` on are exactly the listed columns of M.
::testing::AssertionResult holds_columns(const dense2D<unsigned>& kept, std::size_t first,
                                         const dense2D<unsigned>& M,
                                         const std::vector<unsigned>& cols) {
  if (kept.cols() != first + cols.size() || kept.rows() != M.rows())
    return ::testing::AssertionFailure() << kept.rows() << " x " << kept.cols();
  for (std::size_t k = 0; k < cols.size(); ++k)
    for (std::size_t r = 0; r < M.rows(); ++r)
      if (kept(r, first + k) != M(r, cols[k]))
        return ::testing::AssertionFailure() << "column " << first + k << " row " << r;
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Clip, NodesOnThePlaneAreKeptAndTinyOffsetsAreNot) {
  // Triangle 0 touches z = 0 with an edge, triangle 1 dips 1e-12 below, 2 is below.
  dense2D<double> c{{0, 0, 0}, {1, 0, 0}, {0, 1, 1}, {1, 1, -1e-12}, {0, 0, -1}, {1, 0, -2}};
  const dense2D<unsigned> tris{{0, 1, 2}, {1, 2, 3}, {3, 4, 5}};
  dense2D<unsigned> kept, below;
  EXPECT_EQ(clip(c, tris, V3{{5, -3, 0}}, V3{{0, 0, 1}}, kept), 0);
  EXPECT_TRUE(holds_columns(kept, 0, tris, {0}));
  EXPECT_EQ(clip(c, tris, V3{{5, -3, 0}}, V3{{0, 0, -2}}, below), 0);
  EXPECT_TRUE(holds_columns(below, 0, tris, {2}));
  // Mixed columns stop at their first ~0U: node 3 (x < 0) after it is ignored.
  const dense2D<unsigned> mixed{
      {0, 1, 2, no_index}, {0, 1, no_index, 3}, {no_index, 3, 3, 3}, {0, 1, 2, 3}};
  dense2D<double> m{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {-1, 0, 0}};
  dense2D<unsigned> part;
  EXPECT_EQ(clip(m, mixed, V3{{0, 0, 0}}, V3{{1, 0, 0}}, part), 0);
  EXPECT_TRUE(holds_columns(part, 0, mixed, {0, 1, 2}));
}

TEST(Clip, AgreesWithBruteForceOnRandomPlanes) {
  const quernfold_test::mesh m = quernfold_test::tetra_grid(3, 3, 2, 0.5);
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::size_t kept_total = 0, cut_total = 0;
  for (int planes = 0; planes < 20;) {
    const V3 P{{0.75 + u(gen), 0.75 + u(gen), 0.5 + u(gen)}}, N{{u(gen), u(gen), u(gen)}};
    bool clear = true;  // nodes too near the plane make the answer rounding-dependent
    for (std::size_t j = 0; j < m.coords.cols(); ++j)
      clear = clear && std::fabs(static_cast<double>(side_value(m.coords, j, P, N))) > 1e-9;
    if (!clear) continue;
    ++planes;
    dense2D<unsigned> front;
    ASSERT_EQ(clip(m.coords, m.connect, P, N, front), 0);
    EXPECT_TRUE(holds_columns(front, 0, m.connect, expected_kept(m.coords, m.connect, P, N)));
    kept_total += front.cols();
    cut_total += m.connect.cols() - front.cols();
  }
  EXPECT_GT(kept_total, 0u);  // the planes did cut the mesh and keep parts of it
  EXPECT_GT(cut_total, 0u);
}

TEST(Clip, TwoDimensionalMeshesUseTheTraceOfThePlane) {
  const quernfold_test::mesh m = quernfold_test::tria_grid(4, 4);
  // Pz plays no part for 2-row coordinates: the plane x = 2 whatever Pz.
  const V3 P{{2, 0, 7}};
  dense2D<unsigned> right, all;
  EXPECT_EQ(clip(m.coords, m.connect, P, V3{{1, 0, 3}}, right), 0);
  const std::vector<unsigned> want = expected_kept(m.coords, m.connect, P, {{1, 0, 0}});
  EXPECT_EQ(want.size(), 16u);
  EXPECT_TRUE(holds_columns(right, 0, m.connect, want));
  // A normal along z alone: every node lies on the plane, all kept.
  EXPECT_EQ(clip(m.coords, m.connect, P, V3{{0, 0, -1}}, all), 0);
  EXPECT_EQ(all.cols(), m.connect.cols());
}

TEST(Clip, CodesAppendingAndAliasing) {
  const quernfold_test::mesh m = quernfold_test::tetra_grid(2, 2, 1);
  const V3 P{{0, 1, 0}}, N{{0, 1, 0}}, zero{{0, 0, 0}};
  const dense2D<unsigned> previous{{7, 7, 7, 7}};
  dense2D<unsigned> kept = snapshot(previous), wrong{{0, 1, 2}};
  // No element: 0 at once, even with a zero normal. Then nodes, normal, shape of kept.
  EXPECT_EQ(clip(m.coords, dense2D<unsigned>(4, 0), P, zero, kept), 0);
  EXPECT_EQ(clip(m.coords, dense2D<unsigned>{{0, 1, 2, 99}}, P, zero, kept), -2);
  EXPECT_EQ(clip(m.coords, dense2D<unsigned>{{0, 1, 2, no_index}}, P, zero, kept), -4);
  EXPECT_EQ(clip(m.coords, m.connect, P, N, wrong), -5);
  EXPECT_TRUE(same_matrix(wrong, dense2D<unsigned>{{0, 1, 2}}) && same_matrix(kept, previous));

  // Appended after what kept held; an empty kept of another height takes connectM's.
  ASSERT_EQ(clip(m.coords, m.connect, P, N, kept), 0);
  const std::vector<unsigned> want = expected_kept(m.coords, m.connect, P, N);
  EXPECT_LT(want.size(), m.connect.cols());
  EXPECT_TRUE(holds_columns(kept, 1, m.connect, want) && kept(0, 0) == 7u);
  dense2D<unsigned> fresh(3, 0), flat(0, 2), self = snapshot(m.connect);
  ASSERT_EQ(clip(m.coords, m.connect, P, N, fresh), 0);
  EXPECT_TRUE(holds_columns(fresh, 0, m.connect, want));
  // A kept without rows keeps its columns (now zeros of connectM's height) first.
  ASSERT_EQ(clip(m.coords, m.connect, P, N, flat), 0);
  ASSERT_TRUE(holds_columns(flat, 2, m.connect, want));
  EXPECT_TRUE(column_near(flat, 1, {0, 0, 0, 0}));
  // kept may be connectM itself: the selection is of its elements as they were.
  ASSERT_EQ(clip(m.coords, self, P, N, self), 0);
  EXPECT_TRUE(holds_columns(self, m.connect.cols(), m.connect, want));
}
