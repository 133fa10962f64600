// edge_qualities (sizes and metrics, one matrix and ranges) and H_shock.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <map>
#include <set>
#include <utility>

#include "quernfold/quality.h"
#include "support/mesh_gen.h"
#include "support/size_fields.h"

namespace {

using namespace ovk::quernfold;
using quernfold_test::mesh;
using quernfold_test::put_iso_metric;

// Unit square split into (0,1,2) and (2,1,3).
mesh two_triangles() {
  return mesh{dense2D<double>{{0, 0}, {1, 0}, {0, 1}, {1, 1}},
              dense2D<unsigned>{{0, 1, 2}, {2, 1, 3}}};
}

dense2D<double> unit_metrics(std::size_t n) {
  dense2D<double> metrics(3, n);
  for (std::size_t j = 0; j < n; ++j) put_iso_metric(metrics, j, 1.0);
  return metrics;
}

double distance(const dense2D<double>& c, unsigned a, unsigned b) {
  double s = 0;
  for (std::size_t k = 0; k < c.rows(); ++k) s += (c(k, b) - c(k, a)) * (c(k, b) - c(k, a));
  return std::sqrt(s);
}

TEST(EdgeQualities, ExcludedEdgesRangesAndSkippedEdges) {
  const mesh m = two_triangles();
  const dense2D<unsigned> none, excluded{{2, 1}};  // the diagonal, reversed
  const dense2D<double> metrics = unit_metrics(4);
  histogram all, without;
  EXPECT_EQ(edge_qualities(m.coords, m.connect, ET_TRIA3, dense1D<double>(4, 1.0), all, none), 5);
  EXPECT_NEAR(all.max(), std::sqrt(2.0), 1e-15);
  // The histogram is fed, never reset.
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(edge_qualities(m.coords, m.connect, ET_TRIA3, metrics, without, excluded), 4);
  EXPECT_EQ(without.count(), 8u);
  EXPECT_EQ(without.max(), 1.0);
  // Range form over the triangles as two matrices (the shared edge once): a
  // zero size at node 3 drops (1,3) and (2,3), the others still count.
  const dense2D<unsigned> mats[2] = {m.connect.sub_matrix(0, 0, 3, 1),
                                     m.connect.sub_matrix(0, 1, 3, 1)};
  dense1D<double> sizes(4, 1.0);
  sizes[3] = 0;
  histogram h1, h3;
  EXPECT_EQ(
      edge_qualities(m.coords, mats, mats + 2, dense1D<int>{ET_TRIA3, ET_TRIA3}, sizes, h1, none),
      -5);
  EXPECT_EQ(h1.count(), 3u);
  // Metric column missing for node 3 and a zero eigenvalue at node 0: only (1,2).
  dense2D<double> short_metrics = metrics.sub_matrix(0, 0, 3, 3);
  short_metrics(2, 0) = 0;
  EXPECT_EQ(edge_qualities(m.coords, m.connect, ET_TRIA3, short_metrics, h3, none), -4);
  EXPECT_EQ(h3.count(), 1u);
}

TEST(EdgeQualities, ArgumentCodesInOrder) {
  const mesh m = two_triangles();
  const dense1D<double> sizes(4, 1.0);
  const dense2D<unsigned> none, bad_excluded{{0, 4}}, bad_connect{{0, 1, 4}};
  const dense2D<double> flat(1, 4);
  const dense2D<unsigned> mats[2] = {m.connect, bad_connect};
  const dense1D<int> one{ET_TRIA3}, two{ET_TRIA3, ET_TRIA3};
  histogram h;
  // first == last returns before any check.
  EXPECT_EQ(edge_qualities(flat, mats, mats, dense1D<int>{1, 2}, sizes, h, bad_excluded), 0);
  EXPECT_EQ(edge_qualities(flat, mats, mats + 2, one, sizes, h, none), -1);
  EXPECT_EQ(edge_qualities(m.coords, mats, mats + 2, one, sizes, h, none), -4);
  EXPECT_EQ(edge_qualities(m.coords, mats, mats + 2, two, sizes, h, bad_excluded), -2);
  EXPECT_EQ(edge_qualities(m.coords, mats, mats + 1, one, sizes, h, bad_excluded), -7);
  // One matrix: -1, -2, -6.
  EXPECT_EQ(edge_qualities(flat, m.connect, ET_TRIA3, sizes, h, none), -1);
  EXPECT_EQ(edge_qualities(m.coords, bad_connect, ET_TRIA3, sizes, h, none), -2);
  EXPECT_EQ(
      edge_qualities(m.coords, m.connect, ET_TRIA3, sizes, h, dense2D<unsigned>{{0, no_index}}),
      -6);
  EXPECT_EQ(h.count(), 0u);
}

TEST(EdgeQualities, RandomTetrahedraAgainstBruteForceAndIsotropicMetrics) {
  const auto tets = quernfold_test::tetra_grid(4, 3, 3, 0.5);
  const dense1D<double> sizes = quernfold_test::random_sizes(tets.coords.cols(), 0.2, 2.0, 11);
  const dense2D<double> metrics = quernfold_test::iso_metrics(sizes, 3);
  std::set<std::pair<unsigned, unsigned>> edges;
  for (std::size_t j = 0; j < tets.connect.cols(); ++j)
    for (int a = 0; a < 4; ++a)
      for (int b = a + 1; b < 4; ++b)
        edges.insert(std::minmax(tets.connect(a, j), tets.connect(b, j)));
  double sum = 0, hi = 0;
  for (const auto& e : edges) {
    const double L = distance(tets.coords, e.first, e.second);
    const double ha = sizes[e.first], hb = sizes[e.second];
    const double q = ha == hb ? L / ha : L * std::log(hb / ha) / (hb - ha);
    sum += q, hi = std::max(hi, q);
  }
  histogram hs, hm;
  const dense2D<unsigned> none;
  ASSERT_EQ(edge_qualities(tets.coords, tets.connect, ET_TETRA4, sizes, hs, none),
            int(edges.size()));
  ASSERT_EQ(edge_qualities(tets.coords, tets.connect, ET_TETRA4, metrics, hm, none),
            int(edges.size()));
  EXPECT_NEAR(hs.mean(), sum / edges.size(), 1e-6);
  EXPECT_NEAR(hs.max(), hi, 1e-6);
  EXPECT_NEAR(hm.mean(), hs.mean(), 1e-12);
}

TEST(EdgeQualities, AnisotropicMetricsMeasureAlongTheEdge) {
  // Size 2 along (1, 1)/sqrt2 and 1 across: the diagonal edge of length
  // 2 sqrt2 measures sqrt2.
  const double c = 0.5 * (0.25 + 1), s = 0.5 * (0.25 - 1);
  dense2D<double> rotated(3, 2);
  for (std::size_t j = 0; j < 2; ++j) rotated(0, j) = c, rotated(1, j) = s, rotated(2, j) = c;
  histogram diag;
  ASSERT_EQ(edge_qualities(dense2D<double>{{0, 0}, {2, 2}}, dense2D<unsigned>{{0, 1}}, ET_EDGE2,
                           rotated, diag, dense2D<unsigned>()),
            1);
  EXPECT_NEAR(diag.mean(), std::sqrt(2.0), 1e-15);
}

TEST(HShock, WorkedExampleStartingMaximaAndZeroLength) {
  // Sizes 1 and 2 over an edge of length 1/ln 2: normalized length 1, the
  // size doubles, shock 1 at both ends.
  const dense2D<double> coords{{0, 0}, {1 / std::log(2.0), 0}, {0, 3}};
  const dense2D<unsigned> edge{{0, 1}};
  const dense1D<double> sizes{1, 2, 1};
  // Previous values are starting maxima; a longer vector is cut to the nodes.
  dense1D<double> kept{5, 0.5, 0.25, 9};
  ASSERT_EQ(H_shock(coords, edge, sizes, kept), 0);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[0], 5.0);
  EXPECT_NEAR(kept[1], 1.0, 1e-14);

  // Zero-length edge: 0 for equal sizes, DBL_MAX otherwise.
  const dense2D<double> same_place{{1, 1}, {1, 1}};
  dense1D<double> z;
  ASSERT_EQ(H_shock(same_place, edge, dense1D<double>{3, 3}, z), 0);
  EXPECT_EQ(z[0], 0.0);
  ASSERT_EQ(H_shock(same_place, edge, dense1D<double>{3, 4}, z), 0);
  EXPECT_EQ(z[1], DBL_MAX);

  // Signed sizes reach the kernel: both negative give a negative mean, an
  // edge too short to measure, DBL_MAX.
  const dense2D<double> unit{{0, 0}, {1, 0}};
  dense1D<double> shocks;
  ASSERT_EQ(H_shock(unit, edge, dense1D<double>{-1, -2}, shocks), 0);
  EXPECT_EQ(shocks[0], DBL_MAX);

  // Codes leave the shocks alone.
  EXPECT_EQ(H_shock(unit, dense2D<unsigned>(), sizes, shocks), 0);
  EXPECT_EQ(H_shock(dense2D<double>(4, 2), edge, sizes, shocks), -1);
  EXPECT_EQ(H_shock(unit, dense2D<unsigned>{{0, 1, 1}}, sizes, shocks), -2);
  EXPECT_EQ(H_shock(unit, dense2D<unsigned>{{0, 2}}, dense2D<double>(3, 2), shocks), -2);
  EXPECT_EQ(shocks[0], DBL_MAX);
}

TEST(HShock, MetricsAgreeWithSizesAndTheClosedForm) {
  // For sizes varying linearly the shock is exp(|ha - hb| / L) - 1.
  const auto tris = quernfold_test::tria_grid(5, 4, 0.3);
  const std::size_t n = tris.coords.cols();
  const dense1D<double> sizes = quernfold_test::random_sizes(n, 0.1, 1.0, 3);
  const dense2D<double> metrics = quernfold_test::iso_metrics(sizes, 2);
  dense2D<unsigned> edges;
  ASSERT_EQ(copy_edges(tris.connect, ET_TRIA3, edges), 0);
  std::map<unsigned, double> expect;
  for (std::size_t j = 0; j < edges.cols(); ++j) {
    const unsigned a = edges(0, j), b = edges(1, j);
    const double s = std::expm1(std::fabs(sizes[a] - sizes[b]) / distance(tris.coords, a, b));
    expect[a] = std::max(expect[a], s);
    expect[b] = std::max(expect[b], s);
  }
  dense1D<double> by_sizes, by_metrics;
  ASSERT_EQ(H_shock(tris.coords, edges, sizes, by_sizes), 0);
  ASSERT_EQ(H_shock(tris.coords, edges, metrics, by_metrics), 0);
  for (std::size_t v = 0; v < n; ++v) {
    EXPECT_NEAR(by_sizes[v], expect[unsigned(v)], 1e-6 * (1 + expect[unsigned(v)])) << v;
    EXPECT_NEAR(by_metrics[v], by_sizes[v], 1e-11 * (1 + by_sizes[v])) << v;
  }
}

}  // namespace
