#include <gtest/gtest.h>

#include <complex>
#include <set>
#include <utility>
#include <vector>

#include "support/mesh_gen.h"
#include "transform/transform_support.h"

using namespace ovk::quernfold;
using namespace transform_test;

namespace {

// Twice the signed area of triangle column e (counter-clockwise > 0).
double signed_area2(const dense2D<double>& c, const dense2D<unsigned>& tri, std::size_t e) {
  const unsigned a = tri(0, e), b = tri(1, e), d = tri(2, e);
  return (c(0, b) - c(0, a)) * (c(1, d) - c(1, a)) - (c(1, b) - c(1, a)) * (c(0, d) - c(0, a));
}

// (source node, copied node) for every slot of the copy of `source` that
// starts at column `first` of `copies`.
std::vector<std::pair<unsigned, unsigned>> copy_pairs(const dense2D<unsigned>& source,
                                                      const dense2D<unsigned>& copies,
                                                      std::size_t first) {
  std::vector<std::pair<unsigned, unsigned>> pairs;
  for (std::size_t e = 0; e < source.cols(); ++e)
    for (std::size_t r = 0; r < source.rows(); ++r)
      if (source(r, e) != no_index) pairs.emplace_back(source(r, e), copies(r, first + e));
  return pairs;
}

}  // namespace

TEST(CopyMesh, PlainCopyAppendsUsedNodesAndRenumbers) {
  dense2D<double> c = quernfold_test::random_points(3, 10, 21);
  const dense2D<double> start = snapshot(c);
  dense2D<unsigned> out{{1, 2, 3, 4}, {5, 6, 7, 8}};  // overwritten

  // Shared nodes are copied once, in order of first appearance.
  EXPECT_EQ(copy_mesh(c, out, dense2D<unsigned>{{7, 4, 9}, {9, 4, 0}}), 0);
  ASSERT_EQ(c.cols(), 14u);
  EXPECT_EQ(max_gap(c, 0, start, 0, 10, 3) + max_gap(c, 10, start, 7, 1, 3) +
                max_gap(c, 11, start, 4, 1, 3) + max_gap(c, 13, start, 0, 1, 3),
            0.0);
  ASSERT_EQ(out.cols(), 2u);
  EXPECT_TRUE(column_near(out, 0, {10, 11, 12}) && column_near(out, 1, {12, 11, 13}));

  // Unused slots of mixed columns stay ~0U; the output may be the source.
  dense2D<unsigned> self{{1, 2, 3, no_index}, {no_index, 2, 0, 1}};
  EXPECT_EQ(copy_mesh(c, self, self), 0);
  EXPECT_TRUE(column_near(self, 0, {14, 15, 16, no_index}) &&
              column_near(self, 1, {no_index, 15, 17, 14}));
  // An empty source adds no node and leaves an empty copy of its shape.
  EXPECT_EQ(copy_mesh(c, out, dense2D<unsigned>(3, 0)), 0);
  EXPECT_TRUE(c.cols() == 18u && out.rows() == 3u && out.cols() == 0u);

  // Nodes that do not exist: -3, coords untouched, output emptied.
  const dense2D<double> grown = snapshot(c);
  out = dense2D<unsigned>{{0, 1}};
  EXPECT_EQ(copy_mesh(c, out, dense2D<unsigned>{{0, 1}, {2, 18}}), -3);
  EXPECT_TRUE(same_matrix(c, grown));
  EXPECT_TRUE(out.empty());
}

TEST(CopyMesh, Repeated2DCopiesStartFromTheSource) {
  // Copy i is the source turned by i * angle, then moved by i * T: not the
  // previous copy turned and moved again.
  const quernfold_test::mesh sq = quernfold_test::quad_grid(1, 1);
  dense2D<double> c = snapshot(sq.coords);
  dense2D<unsigned> out{{0, 1, 2, 3}};  // appended to
  const V2 T{{1, 0.5}}, Q{{0.5, -1}};
  const double angle = kPi / 2;
  ASSERT_EQ(copy_mesh(c, out, T, Q, angle, 3, sq.connect), 0);
  ASSERT_EQ(out.cols(), 4u);
  const std::complex<double> q(Q[0], Q[1]);
  for (unsigned i = 1; i <= 3; ++i) {
    for (unsigned r = 0; r < 4; ++r) EXPECT_EQ(out(r, i), 4 * i + r);
    for (const auto& sc : copy_pairs(sq.connect, out, i)) {
      const std::complex<double> p(sq.coords(0, sc.first), sq.coords(1, sc.first));
      const std::complex<double> want =
          q + (p - q) * std::polar(1.0, i * angle) + std::complex<double>(i * T[0], i * T[1]);
      EXPECT_TRUE(column_near(c, sc.second, {want.real(), want.imag()}, 1e-14)) << i;
    }
  }
}

TEST(CopyMesh, Repeated3DCopiesTurnThenMove) {
  const quernfold_test::mesh cube = quernfold_test::hexa_grid(1, 1, 1);
  const V3 O{{0, 0, 0}}, T{{0, 0, 2}}, Q{{1, 0, -1}}, R{{0.3, -0.2, 0.05}};
  dense2D<double> helix = snapshot(cube.coords);
  dense2D<unsigned> sweep;
  ASSERT_EQ(copy_mesh(helix, sweep, T, Q, R, 3, cube.connect), 0);
  for (unsigned i = 1; i <= 3; ++i) {
    const V3 iR{{i * R[0], i * R[1], i * R[2]}};
    for (const auto& sc : copy_pairs(cube.connect, sweep, i - 1)) {
      const V3 want = reference_rotation(cube.coords.column(sc.first), Q, iR);
      EXPECT_TRUE(column_near(helix, sc.second, {want[0], want[1], want[2] + i * T[2]}, 1e-14));
    }
  }

  // A 2-row mesh swept in 3-D gains a z row; its own nodes sit at z = 0.
  const quernfold_test::mesh flat = quernfold_test::tria_grid(1, 1);
  dense2D<double> fc = snapshot(flat.coords);
  dense2D<unsigned> layers;
  ASSERT_EQ(copy_mesh(fc, layers, T, O, O, 2, flat.connect), 0);
  ASSERT_EQ(fc.rows(), 3u);
  EXPECT_EQ(fc(2, 3), 0.0);
  for (const auto& sc : copy_pairs(flat.connect, layers, 2))
    EXPECT_TRUE(
        column_near(fc, sc.second, {flat.coords(0, sc.first), flat.coords(1, sc.first), 4}));
}

TEST(CopyMesh, RepeatedCopyCodesAndEdgeCases) {
  const V2 T{{1, 0}}, Q{{0, 0}};
  const V3 T3{{1, 0, 0}}, Q3{{0, 0, 0}}, R3{{0, 0, 1}};
  dense2D<double> c{{0, 0}, {1, 0}, {1, 1}};
  const dense2D<double> start = snapshot(c);
  const dense2D<unsigned> tri{{0, 1, 2}};

  // n = 0 and an empty coords matrix do nothing.
  dense2D<unsigned> out{{0, 1, 2}}, quads{{0, 1, 2, 2}};
  dense2D<double> empty(2, 0);
  EXPECT_EQ(copy_mesh(c, out, T, Q, 0.5, 0, tri) +
                copy_mesh(empty, out, T3, Q3, R3, 2, dense2D<unsigned>{{7, 8, 9}}),
            0);
  // connectM of another height: -2; a source naming missing nodes: -7.
  EXPECT_EQ(copy_mesh(c, quads, T, Q, 0.5, 2, tri), -2);
  EXPECT_EQ(copy_mesh(c, out, T3, Q3, R3, 2, dense2D<unsigned>{{0, 9, 1}}), -7);
  EXPECT_TRUE(same_matrix(c, start) && same_matrix(out, tri) && quads.cols() == 1);

  // ... unless connectM has no entries: then it takes the source's height.
  dense2D<unsigned> fresh(4, 0);
  EXPECT_EQ(copy_mesh(c, fresh, T, Q, 0.0, 2, tri), 0);
  EXPECT_TRUE(column_near(fresh, 1, {6, 7, 8}) && column_near(c, 8, {3, 1}));
  // connectM may be the source: the copies are of the source as it was.
  dense2D<unsigned> self{{0, 1}};
  EXPECT_EQ(copy_mesh(c, self, T, Q, 0.0, 2, self), 0);
  EXPECT_TRUE(self.cols() == 3u && column_near(self, 2, {11, 12}));
  // A connectM without rows keeps its columns ahead of the copies.
  dense2D<unsigned> flat(0, 2);
  EXPECT_EQ(copy_mesh(c, flat, T, Q, 0.0, 1, tri), 0);
  EXPECT_TRUE(flat.cols() == 3u && column_near(flat, 0, {0, 0, 0}) &&
              column_near(flat, 2, {13, 14, 15}));
  // A source without rows adds its columns once per copy.
  dense2D<unsigned> slots;
  EXPECT_EQ(copy_mesh(c, slots, T3, Q3, R3, 3, dense2D<unsigned>(0, 2)), 0);
  EXPECT_EQ(slots.cols(), 6u);
}

TEST(CopyMesh, AppendedMatricesGrowGeometrically) {
  dense2D<double> c{{0, 0}, {1, 0}};
  dense2D<unsigned> out;
  const dense2D<unsigned> seg{{0, 1}};
  std::set<const unsigned*> blocks;
  std::set<const double*> node_blocks;
  for (int k = 0; k < 201; ++k) {
    ASSERT_EQ(copy_mesh(c, out, V2{{1, 0}}, V2{{0, 0}}, 0.0, 1, seg), 0);
    ASSERT_TRUE(k != 0 || out.col_capacity() == 4u);
    blocks.insert(out.data());
    node_blocks.insert(c.data());
  }
  EXPECT_EQ(c.cols(), 404u);
  EXPECT_LE(blocks.size(), 8u);
  EXPECT_LE(node_blocks.size(), 9u);
  EXPECT_TRUE(column_near(out, 200, {402, 403}));
}

TEST(CopySymMesh, LineMirrorsRowsAndCodesIn2D) {
  dense2D<double> c{{2, 3}, {1, 1}};
  dense2D<unsigned> out{{5, 5}};
  const dense2D<unsigned> seg{{0, 1}};
  // The normal's length does not matter.
  EXPECT_EQ(copy_sym_mesh(c, out, V2{{0, 0}}, V2{{2, 0}}, seg), 0);
  EXPECT_TRUE(column_near(out, 0, {2, 3}) && column_near(c, 3, {-1, 1}));
  // A slanted line through (1, 0): (2, 3) -> (-2, -1).
  EXPECT_EQ(copy_sym_mesh(c, out, V2{{1, 0}}, V2{{1, 1}}, seg), 0);
  EXPECT_TRUE(column_near(c, 4, {-2, -1}));

  // Mirrored triangles turn the other way.
  const quernfold_test::mesh m = quernfold_test::tria_grid(3, 2);
  dense2D<double> mc = snapshot(m.coords);
  dense2D<unsigned> mirrored;
  ASSERT_EQ(copy_sym_mesh(mc, mirrored, V2{{0.5, 0.2}}, V2{{0.3, -1.1}}, m.connect), 0);
  for (std::size_t e = 0; e < m.connect.cols(); ++e)
    EXPECT_NEAR(signed_area2(mc, mirrored, e), -signed_area2(mc, m.connect, e), 1e-12);

  const V2 P{{1, 0}}, N{{1, 0}};
  // Row 2 of a 3-row matrix is copied and left as it is.
  dense2D<double> tall{{3, 1, 7}};
  ASSERT_EQ(copy_sym_mesh(tall, out, P, N, dense2D<unsigned>{{0}}), 0);
  EXPECT_TRUE(column_near(tall, 1, {-1, 1, 7}));
  // A 1-row matrix grows to 2 rows after the copy.
  dense2D<double> line{{3}};
  ASSERT_EQ(copy_sym_mesh(line, out, P, N, dense2D<unsigned>{{0}}), 0);
  EXPECT_TRUE(column_near(line, 1, {-1, 0}));

  // Empty coords: 0 and connectM untouched; zero normal: -4; invalid source: -5.
  dense2D<double> empty(2, 0);
  dense2D<unsigned> keep{{1, 2}};
  EXPECT_EQ(copy_sym_mesh(empty, keep, P, N, dense2D<unsigned>{{0, 1}}), 0);
  const dense2D<double> before = snapshot(line);
  EXPECT_EQ(copy_sym_mesh(line, keep, P, V2{{0, 0}}, dense2D<unsigned>{{0}}), -4);
  EXPECT_TRUE(column_near(keep, 0, {1, 2}));
  EXPECT_EQ(copy_sym_mesh(line, keep, P, N, dense2D<unsigned>{{0, 2}}), -5);
  EXPECT_TRUE(same_matrix(line, before) && keep.empty());
}

TEST(CopySymMesh, PlaneMirrorsIn3D) {
  const quernfold_test::mesh m = quernfold_test::tetra_grid(2, 2, 1);
  const std::size_t n = m.coords.cols();
  const V3 P{{0.4, 1.1, -0.3}}, N{{0.7, -0.2, 1.9}};
  dense2D<double> c = snapshot(m.coords);
  dense2D<unsigned> once, twice;
  ASSERT_EQ(copy_sym_mesh(c, once, P, N, m.connect), 0);
  for (const auto& sc : copy_pairs(m.connect, once, 0)) {  // X - 2 ((X - P).N / N.N) N
    double d = 0;
    for (int i = 0; i < 3; ++i)
      d += (c(i, sc.first) - P[i]) * N[i] / (N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(c(i, sc.second), c(i, sc.first) - 2 * d * N[i], 1e-12);
  }
  // Mirroring the mirror gives the source back.
  ASSERT_EQ(copy_sym_mesh(c, twice, P, N, once), 0);
  ASSERT_EQ(c.cols(), 3 * n);
  for (const auto& sc : copy_pairs(m.connect, twice, 0))
    EXPECT_LE(max_gap(c, sc.second, c, sc.first, 1, 3), kRoundTrip);

  // A 2-row mesh mirrored across z = 1 gains a z row: copies at z = 2.
  dense2D<double> flat{{1, 2}, {3, 4}};
  dense2D<unsigned> up;
  ASSERT_EQ(copy_sym_mesh(flat, up, V3{{0, 0, 1}}, V3{{0, 0, 1}}, dense2D<unsigned>{{1, 0}}), 0);
  ASSERT_EQ(flat.rows(), 3u);
  EXPECT_TRUE(column_near(flat, 2, {3, 4, 2}) && column_near(flat, 3, {1, 2, 2}));
  const dense2D<double> before = snapshot(flat);
  EXPECT_EQ(copy_sym_mesh(flat, up, P, V3{{0, 0, 0}}, m.connect), -4);
  EXPECT_EQ(copy_sym_mesh(flat, up, P, N, dense2D<unsigned>{{0, 1, 2, 4}}), -5);
  EXPECT_TRUE(same_matrix(flat, before));
}
