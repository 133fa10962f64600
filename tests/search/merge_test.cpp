// Merging of coincident nodes. Random lattices (equal distances everywhere)
// and clusters (exact copies, -0.0, offsets whose squares underflow, nodes at
// infinity) are checked against the defining properties of each merge by
// brute force over all pairs; the tie orders of the tree are pinned on small
// worked cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "support/compare.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using L = dense1D<unsigned>;
using M = dense2D<unsigned>;
using list_t = std::vector<unsigned>;

constexpr double kInf = std::numeric_limits<double>::infinity();
// An offset whose square underflows to 0: nodes this close are at squared
// distance 0 without being coincident.
constexpr double kUnderflowStep = 1.5e-162;

// Nodes on three sites per axis `spacing` apart, copied many times, some
// with -0.0 for 0.0, some moved by one or two underflow steps (so "distance
// 0" is not transitive), a few at infinity.
dense2D<double> clustered_points(unsigned dim, std::size_t n, unsigned seed, double spacing) {
  std::mt19937 gen(seed);
  dense2D<double> c(dim, n);
  for (std::size_t j = 0; j < n; ++j) {
    for (unsigned k = 0; k < dim; ++k) c(k, j) = spacing * (gen() % 3);
    const unsigned what = gen() % 10, a = gen() % dim;
    if (what < 2) c(a, j) += (what + 1) * kUnderflowStep;
    if (what == 2 && c(a, j) == 0) c(a, j) = -0.0;
    if (what == 3 && j % 4 == 0) c(a, j) = kInf;
  }
  return c;
}

// Within tol: inside the closed box [a - tol, a + tol] on every axis, and at
// a squared distance (y, then x, then z added) of at most tol^2.
bool within(const dense2D<double>& c, unsigned a, unsigned b, double tol, double& d2) {
  for (std::size_t k = 0; k < c.rows(); ++k)
    if (!(c(k, a) - tol <= c(k, b) && c(k, b) <= c(k, a) + tol)) return false;
  const double dx = c(0, a) - c(0, b), dy = c(1, a) - c(1, b);
  d2 = dy * dy + dx * dx;
  if (c.rows() == 3) d2 += (c(2, a) - c(2, b)) * (c(2, a) - c(2, b));
  return d2 <= tol * tol;
}

// A node of nodes1 merges exactly when a node of nodes2 of lower rank (first
// appearance in nodes2; any node of nodes2 for a node outside it) lies within
// tol, and then maps where one of the closest such nodes maps; every other
// node maps to itself; the map is resolved; the count is the number merged.
template <class Nodes>
::testing::AssertionResult merged_as_stated(const dense2D<double>& c, const Nodes& nodes1,
                                            const Nodes& nodes2, double tol, const L& map,
                                            int count) {
  const unsigned n = static_cast<unsigned>(c.cols());
  if (map.size() != n) return ::testing::AssertionFailure() << "map of " << map.size();
  list_t rank(n, no_index), candidate(n, 0);
  unsigned next = 0;
  for (unsigned v : nodes2)
    if (v != no_index && rank[v] == no_index) rank[v] = next++;
  for (unsigned v : nodes1)
    if (v != no_index) candidate[v] = 1;
  int merged = 0;
  for (unsigned a = 0; a < n; ++a) {
    if (map[map[a]] != map[a])
      return ::testing::AssertionFailure() << a << " -> " << map[a] << " -> " << map[map[a]];
    // ok: some partner among the closest so far maps where a maps.
    double best = kInf, d2 = 0;
    bool any = false, ok = false;
    for (unsigned b = 0; candidate[a] && b < n; ++b)
      if (b != a && rank[b] < rank[a] && within(c, a, b, tol, d2) && d2 <= best) {
        ok = (any && d2 == best && ok) || map[b] == map[a];
        any = true, best = d2;
      }
    merged += any;
    if (any ? !ok : map[a] != a) return ::testing::AssertionFailure() << a << " maps to " << map[a];
  }
  if (merged != count) return ::testing::AssertionFailure() << count << " for " << merged;
  return ::testing::AssertionSuccess();
}

list_t entries(const std::vector<M>& Ms) {
  list_t all;
  for (const M& m : Ms) all.insert(all.end(), m.data(), m.data() + m.rows() * m.cols());
  return all;
}

std::vector<M> deep_copies(const std::vector<M>& Ms) {
  return {quernfold_test::copy_of(Ms[0]), quernfold_test::copy_of(Ms[1])};
}

// Nodes and the tolerances to merge them with.
using points = std::pair<dense2D<double>, std::vector<double>>;

std::vector<points> inputs(unsigned seed) {
  std::vector<points> out;
  for (unsigned dim : {2u, 3u}) {
    out.push_back({quernfold_test::random_points(dim, 100, seed, 5), {0.0, 0.5, 1.0, 1.5}});
    for (double s : {0.5, kUnderflowStep})
      out.push_back({clustered_points(dim, 100, seed, s),
                     {0.0, kUnderflowStep, 3 * kUnderflowStep, s, 1.5 * s, kInf}});
  }
  return out;
}

TEST(Merge, EveryOverloadHasTheStatedProperties) {
  for (unsigned seed = 1; seed <= 3; ++seed)
    for (const auto& [nodes, tols] : inputs(seed)) {
      const dense2D<double>& c = nodes;  // a plain name, for the lambdas
      std::mt19937 gen(100 + seed);
      auto picks = [&](std::size_t k) {
        L v(k);
        for (std::size_t i = 0; i < k; ++i) v[i] = i % 11 == 5 ? no_index : gen() % c.cols();
        return v;
      };
      const L list1 = picks(90), list2 = picks(60);
      L all(c.cols());
      std::iota(all.begin(), all.end(), 0u);
      std::vector<M> Ms = {M(3, 30), M(4, 12)};
      for (M& m : Ms)
        std::copy_n(picks(m.rows() * m.cols()).begin(), m.rows() * m.cols(), m.data());
      for (double tol : tols) {
        SCOPED_TRACE(::testing::Message()
                     << "dim " << c.rows() << " seed " << seed << " tol " << tol);
        L ids;
        int n = merge(c, list1, ids, tol);
        ASSERT_TRUE(merged_as_stated(c, list1, list1, tol, ids, n));
        n = merge(c, list1, list2, ids, tol);
        ASSERT_TRUE(merged_as_stated(c, list1, list2, tol, ids, n));
        // Merging the coordinates: each node takes its representative's.
        dense2D<double> moved = quernfold_test::copy_of(c), want(c.rows(), c.cols());
        n = merge(moved, ids, tol);
        ASSERT_TRUE(merged_as_stated(c, all, all, tol, ids, n));
        for (unsigned j = 0; j < c.cols(); ++j)
          for (unsigned i = 0; i < c.rows(); ++i) want(i, j) = c(i, ids[j]);
        ASSERT_SAME(moved, want);

        // Mode 0 is the one-list merge of the nodes the matrices use, applied.
        std::vector<M> mine = deep_copies(Ms), want_Ms = deep_copies(Ms);
        n = merge(c, mine.data(), mine.data() + 2, ids, tol, 0);
        ASSERT_TRUE(merged_as_stated(c, entries(Ms), entries(Ms), tol, ids, n));
        for (M& m : want_Ms) change_indices(m, ids);
        ASSERT_EQ(entries(mine), entries(want_Ms));
        // Mode 1 merges a node into one it shares an original column with,
        // whose box holds it; of two nodes in each other's box, the lower
        // one survives.
        mine = deep_copies(Ms);
        const int once = merge(c, mine.data(), mine.data() + 2, ids, tol, 1);
        int merged = 0;
        for (unsigned b = 0; b < c.cols(); ++b) {
          bool ok = ids[b] == b;
          double d2 = 0;
          merged += !ok;
          for (const M& m : Ms)
            for (std::size_t j = 0; j < m.cols(); ++j)
              for (std::size_t r = 0; r < m.rows(); ++r)
                for (std::size_t s = 0; s < m.rows(); ++s)
                  ok = ok || (m(r, j) == b && m(s, j) != b && m(s, j) != no_index &&
                              ids[m(s, j)] == ids[b] && within(c, m(s, j), b, tol, d2) &&
                              (m(s, j) < b || !within(c, b, m(s, j), tol, d2)));
          ASSERT_TRUE(ok) << b << " merged into " << ids[b];
          ASSERT_EQ(ids[ids[b]], ids[b]) << b;
        }
        ASSERT_EQ(once, merged);
      }
    }
}

// The two-list engine followed step by step over the box search of the
// detector, which is the merge's own tree (its shape depends on the nodes,
// not on their order): the last closest lower-ranked candidate wins, then
// the chains are resolved.
int literal_merge(const dense2D<double>& c, const L& U1, const L& U2, double tol, L& map) {
  const node_detector tree(c, U2);
  list_t rank(c.cols(), no_index);
  for (unsigned i = 0; i < U2.size(); ++i) rank[U2[i]] = i;
  map = L(c.cols());
  std::iota(map.begin(), map.end(), 0u);
  for (unsigned a : U1) {
    L box;
    const double *P = c.column(a), lo[3] = {P[0] - tol, P[1] - tol, P[2 % c.rows()] - tol},
                 hi[3] = {P[0] + tol, P[1] + tol, P[2 % c.rows()] + tol};
    if (c.rows() == 2)
      tree.find_in_box(vector_fixed<double, 2>{lo[0], lo[1]}, {hi[0], hi[1]}, box);
    else
      tree.find_in_box(vector_fixed<double, 3>{lo[0], lo[1], lo[2]}, {hi[0], hi[1], hi[2]}, box);
    double best = tol * tol, d2 = 0;
    for (unsigned b : box)
      if (b != a && rank[b] < rank[a] && within(c, a, b, tol, d2) && d2 <= best)
        map[a] = b, best = d2;
  }
  for (unsigned a : U1)
    while (map[map[a]] != map[a]) map[a] = map[map[a]];
  return int(std::count_if(U1.begin(), U1.end(), [&](unsigned a) { return map[a] != a; }));
}

// Lattices (ties at equal non-zero distances everywhere, repeated points)
// at plain, huge and tiny scales, and the clusters above: the merge gives
// exactly the literal engine's map and count.
TEST(Merge, EngineMatchesTheLiteralTreeSearch) {
  for (unsigned dim : {2u, 3u})
    for (double s : {1.0, 1e150, 1e-300, 0.5, kUnderflowStep}) {
      const bool lattice = s != 0.5 && s != kUnderflowStep;
      dense2D<double> c = lattice ? quernfold_test::random_points(dim, 400, dim, 4)
                                  : clustered_points(dim, 400, dim, s);
      for (std::size_t i = 0; lattice && i < dim * 400; ++i) c.data()[i] *= s;
      if (s == 0.5) c(1, 9) = 1.7e308, c(1, 10) = -1.7e308;  // the extent overflows
      L all(c.cols()), some(150);
      std::iota(all.begin(), all.end(), 0u);
      std::shuffle(all.begin(), all.end(), std::mt19937(dim));
      std::copy_n(all.begin(), 150, some.begin());
      for (double tol : {0.0, s, 1.5 * s, 1e3 * s}) {
        SCOPED_TRACE(::testing::Message() << "dim " << dim << " scale " << s << " tol " << tol);
        L ids, want;
        EXPECT_EQ(merge(c, all, ids, tol), literal_merge(c, all, all, tol, want));
        EXPECT_SAME(ids, want);
        EXPECT_EQ(merge(c, all, some, ids, tol), literal_merge(c, all, some, tol, want));
        EXPECT_SAME(ids, want);
      }
    }
}

TEST(Merge, WorkedTiesAndElementModes) {
  L ids;
  // Node 2 is as close to 0, 1, 3 and 4: the last one the box search meets
  // wins. Over {0, 1} the tree is 1 with 0 on its left, met in that order;
  // over {0, 1, 3, 4} it is 4, right 1, left 0 with 3 below: met 4, 1, 0, 3.
  const dense2D<double> e{{0, 0}, {2, 0}, {1, 0}, {1, -1}, {1, 1}};
  EXPECT_CODES({merge(e, L{2}, L{0, 1}, ids, 1.0), 1}, {ids[2], 0},
               {merge(e, L{2}, L{1, 0}, ids, 1.0), 1}, {ids[2], 0},
               {merge(e, L{2}, L{3, 4, 0, 1}, ids, 1.0), 1}, {ids[2], 3},
               {merge(e, L{2}, L{0, 3, 1, 4}, ids, 1.0), 1}, {ids[2], 3});
  // The shortest pair goes first: 1 into 0 ends the pass for 1, so 2 (in
  // the second element only with 1) waits for the repeated mode.
  const dense2D<double> f{{0, 0}, {0.1, 0}, {0.25, 0}, {10, 0}, {20, 0}};
  M once{{0, 1, 3}, {1, 2, 4}}, again{{0, 1, 3}, {1, 2, 4}};
  EXPECT_EQ(merge(f, once, ids, 0.3, 1), 1);
  EXPECT_SAME(ids, (L{0, 0, 2, 3, 4}));
  EXPECT_EQ(merge(f, again, 0.3, 2), 2);
  EXPECT_SAME(again, (M{{0, 0, 3}, {0, 0, 4}}));
}

TEST(Merge, CodesOfEveryOverload) {
  const dense2D<double> c{{0, 0}, {1, 0}, {0, 1}};
  dense2D<double> bad_rows(4, 3), no_nodes(2, 0), one_row(1, 3), own = quernfold_test::copy_of(c);
  const L ok{0, 1}, far{0, 3};
  M Ms[2] = {M{{0, 1, 2}}, M{{0, 1, 5}}};
  L ids{9, 9};
  const double nan = std::nan("");
  // Rows by overload: two lists, one list, range, two matrices, one matrix,
  // coordinates. Each map comes back empty; the two overloads without one
  // come last.
  auto emptied = [&](int code) {
    EXPECT_SAME(ids, L());
    ids = L{9, 9};
    return code;
  };
  EXPECT_CODES(
      {emptied(merge(no_nodes, far, ok, ids, -1.0)), 0},
      {emptied(merge(bad_rows, ok, ok, ids, 0.1)), -1}, {emptied(merge(c, far, ok, ids, 0.1)), -2},
      {emptied(merge(c, ok, far, ids, 0.1)), -3}, {emptied(merge(c, ok, ok, ids, nan)), -4},
      {emptied(merge(c, far, ids, 0.1)), -2}, {emptied(merge(c, ok, ids, -0.1)), -3},
      {emptied(merge(c, Ms + 1, Ms, ids, 0.1, 0)), -3},
      {emptied(merge(c, Ms, Ms + 1, ids, -1.0, 0)), -5},
      {emptied(merge(c, Ms, Ms + 1, ids, 0.1, 3)), -6},
      {emptied(merge(c, Ms[0], Ms[1], ids, 0.1, 0)), -2},
      {emptied(merge(c, Ms[0], ids, -0.1, 0)), -4}, {emptied(merge(one_row, ids, 0.1)), -1},
      {merge(c, Ms[0], 0.1, 3), -5}, {merge(own, nan), -3}, {ids.size(), 2});
  EXPECT_SAME(Ms[0], (M{{0, 1, 2}}));
  EXPECT_SAME(Ms[1], (M{{0, 1, 5}}));
  EXPECT_SAME(own, c);
}

}  // namespace
