// Edges in a size map: the normalized-length kernel against the logarithmic
// mean (symmetric; scale-free follows from the comparison), edge extraction and edge qualities
// against the hand-written edge table, and size shocks against their closed form.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <set>

#include "support/compare.h"
#include "support/element_tables.h"
#include "support/mesh_gen.h"
#include "support/size_fields.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using edge_set = std::set<std::pair<unsigned, unsigned>>;

double quality(double L, double h0, double h1) {
  double q = -1;
  EXPECT_EQ(edge_quality(L, h0, h1, q), 0);
  return q;
}

TEST(EdgeQuality, LogarithmicMeanWithItsSeriesSymmetricAndScaleFree) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> size(0.01, 100.0), length(0.0, 10.0);
  for (int i = 0; i < 500; ++i) {
    const double h0 = size(gen), h1 = size(gen), L = length(gen), q = quality(L, h0, h1);
    const double mean = h0 == h1 ? h0 : (h1 - h0) / std::log(h1 / h0);
    const double tol = std::fabs(h1 - h0) / std::min(h0, h1) < 0.1 ? 1e-6 : 1e-13;
    EXPECT_NEAR(q, L / mean, tol * (1 + q));
    EXPECT_EQ(q, quality(L, h1, h0));
  }
  // Below r = 0.1 the fourth-order series: 1.0247967100694, not the exact 1.0247967157144.
  EXPECT_NEAR(1 / quality(1, 1, 1.05), 1.0247967100694, 1e-13);
  EXPECT_EQ(quality(3, 0.5, 0.5), 6.0);  // equal sizes: no 0/0
  double q = 42;
  EXPECT_EQ(edge_quality(1, -1, -1, q), -2);  // h0 is checked first
  EXPECT_EQ(edge_quality(1, 1, NAN, q), -3);
  EXPECT_EQ(q, 42);
}

// Distinct edges (smaller, larger) of matrices of a kind, vertex nodes only.
void add_edges(const dense2D<unsigned>& M, element_type FE, edge_set& out) {
  FE = narrowed(FE == ET_TRIA6 ? ET_TRIA3 : FE, M.rows());
  if (FE == ET_HEXA20 || FE == ET_EDGE_MIX) return;
  for (std::size_t j = 0; j < M.cols(); ++j)
    for (const auto& e : edges_of(shape_of(FE, M.column(j))))
      out.insert(std::minmax(M(e[0], j), M(e[1], j)));
}

// The columns of an edge matrix, in order.
std::vector<std::pair<unsigned, unsigned>> edges_in(const dense2D<unsigned>& E) {
  std::vector<std::pair<unsigned, unsigned>> out;
  for (std::size_t j = 0; j < E.cols(); ++j) out.emplace_back(E(0, j), E(1, j));
  return out;
}

// Random matrices of every kind, alone and as ranges; the output is
// appended to, sorted and without repeats within one call.
TEST(CopyEdges, DistinctSortedEdgesOfEveryKind) {
  std::mt19937 gen(3);
  std::vector<std::pair<element_type, std::size_t>> kinds{{ET_FACE_MIX, 3}, {ET_SOLID_MIX, 5}};
  for (element_type FE : {ET_EDGE2, ET_TRIA3, ET_QUAD4, ET_FACE_MIX, ET_TETRA4, ET_PYRAMID5,
                          ET_WEDGE6, ET_HEXA8, ET_SOLID_MIX, ET_TRIA6, ET_HEXA20, ET_EDGE_MIX})
    kinds.emplace_back(FE, nbr_nodes(FE));
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    const auto [FE, rows] = kinds[k];
    const auto [FE2, rows2] = kinds[(k + 3) % kinds.size()];
    const dense2D<unsigned> mats[2] = {random_degenerate(FE, rows, 20, 30, gen),
                                       random_degenerate(FE2, rows2, 20, 30, gen)};
    edge_set want, both;
    add_edges(mats[0], FE, want);
    add_edges(mats[0], FE, both);
    add_edges(mats[1], FE2, both);
    dense2D<unsigned> one(2, 1, 99u), range;
    ASSERT_EQ(copy_edges(mats[0], FE, one), 0);
    ASSERT_EQ(copy_edges(mats, mats + 2, dense1D<int>{FE, FE2}, range), 0);
    std::vector<std::pair<unsigned, unsigned>> in_order{{99, 99}};  // appended behind, ascending
    in_order.insert(in_order.end(), want.begin(), want.end());
    EXPECT_EQ(edges_in(one), in_order) << FE;
    const auto got = edges_in(range);
    EXPECT_EQ(std::multiset(got.begin(), got.end()), std::multiset(both.begin(), both.end()));
  }
}

double distance(const dense2D<double>& c, unsigned a, unsigned b) {
  double s = 0;
  for (std::size_t k = 0; k < c.rows(); ++k) s += (c(k, b) - c(k, a)) * (c(k, b) - c(k, a));
  return std::sqrt(s);
}

// Every distinct edge not excluded is measured once, with sizes and with the
// matching isotropic metrics; the histogram is fed, never reset.
TEST(EdgeQualities, EveryEdgeOnceAgainstBruteForceAndSkippedEdges) {
  const auto tets = tetra_grid(4, 3, 3, 0.5);
  const dense1D<double> sizes = random_sizes(tets.coords.cols(), 0.2, 2.0, 11);
  const dense2D<double> metrics = iso_metrics(sizes, 3);
  const dense2D<unsigned> excluded = tets.connect.sub_matrix(1, 0, 2, 5);
  edge_set edges;
  add_edges(tets.connect, ET_TETRA4, edges);
  for (std::size_t j = 0; j < excluded.cols(); ++j)
    edges.erase(std::minmax(excluded(0, j), excluded(1, j)));
  double sum = 0, hi = 0;
  for (const auto& [a, b] : edges) {
    const double L = distance(tets.coords, a, b), ha = sizes[a], hb = sizes[b];
    const double q = ha == hb ? L / ha : L * std::log(hb / ha) / (hb - ha);
    sum += q, hi = std::max(hi, q);
  }
  const dense2D<unsigned> halves[2] = {tets.connect.sub_matrix(0, 0, 4, 40),
                                       tets.connect.sub_matrix(0, 40, 4, tets.connect.cols() - 40)};
  const dense1D<int> kinds{ET_TETRA4, ET_TETRA4};
  histogram hs, hm;
  const int n = int(edges.size());
  ASSERT_EQ(edge_qualities(tets.coords, tets.connect, ET_TETRA4, sizes, hs, excluded), n);
  ASSERT_EQ(edge_qualities(tets.coords, tets.connect, ET_TETRA4, metrics, hm, excluded), n);
  ASSERT_EQ(edge_qualities(tets.coords, halves, halves + 2, kinds, metrics, hm, excluded), n);
  EXPECT_EQ(hm.count(), 2 * edges.size());
  EXPECT_NEAR(hs.mean(), sum / n, 1e-6);
  EXPECT_NEAR(hs.max(), hi, 1e-6);
  EXPECT_NEAR(hm.mean(), hs.mean(), 1e-12);
  // Unit square split into (0,1,2) and (2,1,3), as one matrix or two. A zero
  // size at node 3 drops (1,3) and (2,3); a metric column missing for node 3
  // and a zero eigenvalue at node 0 leave only (1,2).
  const dense2D<double> xy{{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}}, none;
  const dense2D<unsigned> mats[2] = {two.sub_matrix(0, 0, 3, 1), two.sub_matrix(0, 1, 3, 1)};
  const dense1D<double> holed{1, 1, 1, 0};
  dense2D<double> short_metrics = iso_metrics(dense1D<double>(3, 1.0), 2);
  short_metrics(2, 0) = 0;
  histogram h1, h2;
  EXPECT_CODES(
      {edge_qualities(xy, mats, mats + 2, dense1D<int>{ET_TRIA3, ET_TRIA3}, holed, h1, none), -5},
      {edge_qualities(xy, two, ET_TRIA3, short_metrics, h2, none), -4}, {h1.count(), 3},
      {h2.count(), 1});
  EXPECT_NEAR(h2.mean(), std::sqrt(2.0), 1e-15);
}

// For sizes varying linearly the shock is exp(|ha - hb| / L) - 1; every node
// keeps the largest over its edges, starting from what it held.
TEST(HShock, ClosedFormWorkedValuesAndLimits) {
  const auto tris = tria_grid(5, 4, 0.3);
  const std::size_t n = tris.coords.cols();
  const dense1D<double> sizes = random_sizes(n, 0.1, 1.0, 3);
  dense2D<unsigned> edges;
  ASSERT_EQ(copy_edges(tris.connect, ET_TRIA3, edges), 0);
  dense1D<double> want(n, 0.0), by_sizes{50}, by_metrics(n + 3, 0.0);
  want[0] = by_metrics[0] = 50;  // a starting maximum
  for (std::size_t j = 0; j < edges.cols(); ++j) {
    const unsigned a = edges(0, j), b = edges(1, j);
    const double s = std::expm1(std::fabs(sizes[a] - sizes[b]) / distance(tris.coords, a, b));
    want[a] = std::max(want[a], s), want[b] = std::max(want[b], s);
  }
  ASSERT_EQ(H_shock(tris.coords, edges, sizes, by_sizes), 0);
  ASSERT_EQ(H_shock(tris.coords, edges, iso_metrics(sizes, 2), by_metrics), 0);
  EXPECT_NEAR_ALL(by_sizes, want, 1e-4);
  EXPECT_NEAR_ALL(by_metrics, by_sizes, 1e-9);  // cut to the nodes
  const dense2D<unsigned> edge{{0, 1}};
  auto shock = [&](const dense2D<double>& coords, const dense1D<double>& sizes) {
    dense1D<double> out;
    EXPECT_EQ(H_shock(coords, edge, sizes, out), 0);
    return out[1];
  };
  // Zero length: 0 for equal sizes, DBL_MAX otherwise; an overflowing
  // exponent.
  const dense2D<double> same{{1, 1}, {1, 1}};
  EXPECT_EQ(shock(same, {3, 3}), 0.0);
  EXPECT_EQ(shock(same, {3, 4}), DBL_MAX);
  // Sizes 1 and 2 over 0.001: x = ln 2 / Ln = 1000.
  EXPECT_EQ(shock(dense2D<double>{{0, 0}, {0.001, 0}}, {1, 2}), DBL_MAX);
}

TEST(EdgeOperations, ReturnCodesInOrder) {
  const dense2D<double> xy{{0, 0}, {1, 0}, {0, 1}, {1, 1}}, flat(1, 4);
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}}, none, bad_edge{{0, 4}}, bad{{0, 1, 4}};
  const dense2D<unsigned> mats[2] = {two, bad},
                          tri_and_hole[2] = {two, dense2D<unsigned>{{0, no_index}}};
  const dense1D<int> one{ET_TRIA3}, kinds{ET_TRIA3, ET_TRIA3}, tri_edge{ET_TRIA3, ET_EDGE2};
  const dense1D<double> sizes(4, 1.0);
  dense1D<double> shocks{5};
  dense2D<unsigned> three(3, 1, 7u), out;
  histogram h;
  // row 0: first == last; row 8: empty input first; row 11: last before first
  EXPECT_CODES({edge_qualities(flat, mats, mats, dense1D<int>{1, 2}, sizes, h, bad_edge), 0},
               {edge_qualities(flat, mats, mats + 2, one, sizes, h, none), -1},
               {edge_qualities(xy, mats, mats + 2, one, sizes, h, none), -4},
               {edge_qualities(xy, mats, mats + 2, kinds, sizes, h, bad_edge), -2},
               {edge_qualities(xy, mats, mats + 1, one, sizes, h, bad_edge), -7},
               {edge_qualities(xy, two, ET_TRIA3, sizes, h, dense2D<unsigned>{{0, no_index}}), -6},
               {copy_edges(dense2D<unsigned>(), ET_TRIA3, three), 0},
               {copy_edges(two, ET_TRIA3, three), -3},
               {copy_edges(dense2D<unsigned>{{0, no_index, 2}}, ET_TRIA3, out), -1},
               {copy_edges(tri_and_hole + 1, tri_and_hole, tri_edge, three), -2},
               {copy_edges(tri_and_hole, tri_and_hole + 2, tri_edge, three), -4},
               {copy_edges(tri_and_hole, tri_and_hole + 2, tri_edge, out), -1},
               {H_shock(xy, dense2D<unsigned>(), sizes, shocks), 0},
               {H_shock(dense2D<double>(4, 2), dense2D<unsigned>{{0, 1}}, sizes, shocks), -1},
               {H_shock(xy, dense2D<unsigned>{{0, 1, 1}}, sizes, shocks), -2});
  EXPECT_CODES({h.count(), 0}, {three.cols(), 1}, {out.cols(), 0}, {shocks.size(), 1});
  EXPECT_EQ(shocks[0], 5.0);
}

}  // namespace
}  // namespace quernfold_test
