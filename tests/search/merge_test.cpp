#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

#include "search/reference_merge.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using quernfold_test::dist2;
using quernfold_test::lattice_points;
using quernfold_test::map_t;
using quernfold_test::reference_element_merge;
using quernfold_test::reference_merge;
using quernfold_test::reference_tree;
using quernfold_test::resolve;
using quernfold_test::to_dense;
using quernfold_test::to_vector;
using quernfold_test::tolerance_box;

constexpr unsigned kNone = ~0U;

TEST(Merge, NodesOnALine) {
  const dense2D<double> c{{0, 0}, {0, 0}, {1e-9, 0}, {5, 0}};
  const dense1D<unsigned> all{0, 1, 2, 3};
  dense1D<unsigned> ids;
  EXPECT_EQ(merge(c, all, ids, 1e-6), 2);
  EXPECT_EQ(to_vector(ids), (map_t{0, 0, 0, 3}));
  EXPECT_EQ(merge(c, all, ids, 0.0), 1);
  EXPECT_EQ(to_vector(ids), (map_t{0, 0, 2, 3}));
  // Ranks follow the list, not the indices: listed first, node 3 survives.
  const dense2D<double> d{{0, 0}, {7, 0}, {9, 0}, {0, 0}};
  EXPECT_EQ(merge(d, dense1D<unsigned>{3, 1, 0}, ids, 0.5), 1);
  EXPECT_EQ(to_vector(ids), (map_t{3, 1, 2, 3}));
}

TEST(Merge, EquidistantTargetsGoToTheLastMetInTheBoxSearch) {
  // Node 2 sits halfway between nodes 0 and 1 (and between 3 and 4).
  const dense2D<double> c{{0, 0}, {2, 0}, {1, 0}, {1, -1}, {1, 1}};
  for (const map_t& targets : {map_t{0, 1}, map_t{1, 0}, map_t{3, 4, 0, 1}, map_t{0, 3, 1, 4}}) {
    dense1D<unsigned> ids;
    ASSERT_EQ(merge(c, dense1D<unsigned>{2}, to_dense(targets), ids, 1.0), 1);
    // The last node of the box search among the equally close ones wins.
    const reference_tree tree(c, targets);
    const std::vector<unsigned> met = tolerance_box(tree, c, 2, 1.0);
    ASSERT_FALSE(met.empty());
    EXPECT_EQ(ids[2], met.back());
    map_t expected;
    reference_merge(c, {2}, targets, 1.0, expected);
    EXPECT_EQ(to_vector(ids), expected);
  }
}

// Lattices hold exact duplicates and many equal distances between distinct
// positions, so both the shortcut for coincident nodes and the full search
// it falls back on are exercised, against the plain rules.
TEST(Merge, MatchesTheRulesOnLattices) {
  for (unsigned dim : {2u, 3u}) {
    for (double tol : {0.0, 0.5, 1.0, 1.5}) {
      for (unsigned seed = 1; seed <= 3; ++seed) {
        const dense2D<double> c = lattice_points(dim, 150, 5, seed);
        std::mt19937 gen(seed);
        std::uniform_int_distribution<unsigned> pick(0, 149);
        std::vector<unsigned> list1, list2;
        for (int i = 0; i < 90; ++i) list1.push_back(pick(gen));
        for (int i = 0; i < 70; ++i) list2.push_back(pick(gen));
        list1.push_back(kNone);

        map_t expected;
        dense1D<unsigned> ids;
        int n = reference_merge(c, list1, list1, tol, expected);
        ASSERT_EQ(merge(c, to_dense(list1), ids, tol), n);
        ASSERT_EQ(to_vector(ids), expected) << dim << " " << tol << " " << seed;

        n = reference_merge(c, list1, list2, tol, expected);
        ASSERT_EQ(merge(c, to_dense(list1), to_dense(list2), ids, tol), n);
        ASSERT_EQ(to_vector(ids), expected);

        std::vector<unsigned> all(c.cols());
        std::iota(all.begin(), all.end(), 0u);
        n = reference_merge(c, all, all, tol, expected);
        dense2D<double> moved;
        ASSERT_TRUE(moved.copy(c));
        ASSERT_EQ(merge(moved, ids, tol), n);
        ASSERT_EQ(to_vector(ids), expected);
        for (unsigned i = 0; i < c.cols(); ++i)
          for (unsigned k = 0; k < dim; ++k) ASSERT_EQ(moved(k, i), c(k, expected[i]));
      }
    }
  }
}

// Every point three times, as the corners of separate triangles: merging
// with a small tolerance finds exactly the copies (checked by brute force),
// and the clean-up gives back one node per point.
TEST(Merge, SeparatedTrianglesOfAGridComeBackTogether) {
  const quernfold_test::mesh grid = quernfold_test::tria_grid(12, 9, 0.5);
  const std::size_t elements = grid.connect.cols();
  dense2D<double> coords(2, 3 * elements);
  dense2D<unsigned> tri(3, elements);
  for (std::size_t e = 0; e < elements; ++e)
    for (unsigned r = 0; r < 3; ++r) {
      tri(r, e) = static_cast<unsigned>(3 * e + r);
      for (unsigned k = 0; k < 2; ++k) coords(k, 3 * e + r) = grid.coords(k, grid.connect(r, e));
    }
  dense1D<unsigned> ids;
  const int merged = merge(coords, tri, ids, 1e-3, 0);
  EXPECT_EQ(merged, static_cast<int>(3 * elements - grid.coords.cols()));
  for (unsigned i = 0; i < coords.cols(); ++i) {
    unsigned first = i;
    for (unsigned j = 0; j < i && first == i; ++j)
      if (dist2(coords, i, j) == 0) first = j;
    ASSERT_EQ(ids[i], first) << "node " << i;
  }
  for (std::size_t e = 0; e < elements; ++e)
    for (unsigned r = 0; r < 3; ++r) ASSERT_EQ(tri(r, e), ids[3 * e + r]);
  EXPECT_EQ(remove_degenerated(tri, true), 0);
  EXPECT_EQ(simplify(coords, tri, 0), merged);
  EXPECT_EQ(coords.cols(), grid.coords.cols());
  EXPECT_EQ(count_unique_indices(tri), static_cast<int>(grid.coords.cols()));
}

TEST(Merge, RandomCopiesAgainstBruteForce) {
  // Distinct random points have no equal distances, so the final map is
  // the brute-force one: each node goes where its closest lower copy goes.
  const dense2D<double> base = quernfold_test::random_points(3, 400, 31);
  std::vector<unsigned> origin;
  std::mt19937 gen(32);
  for (int copy = 0; copy < 3; ++copy)
    for (unsigned i = 0; i < 400; ++i) origin.push_back(i);
  std::shuffle(origin.begin(), origin.end(), gen);
  dense2D<double> c(3, origin.size());
  for (std::size_t j = 0; j < origin.size(); ++j)
    for (unsigned k = 0; k < 3; ++k) c(k, j) = base(k, origin[j]);
  const double tol = 0.03;
  map_t brute(c.cols());
  int pairs = 0;
  for (unsigned a = 0; a < c.cols(); ++a) {
    unsigned best = a;
    double D = tol * tol;
    for (unsigned b = 0; b < a; ++b)
      if (dist2(c, a, b) <= D && (best == a || dist2(c, a, b) < D)) best = b, D = dist2(c, a, b);
    brute[a] = best;
    pairs += best != a;
  }
  std::vector<unsigned> all(c.cols());
  std::iota(all.begin(), all.end(), 0u);
  resolve(brute, all);
  dense1D<unsigned> ids;
  EXPECT_EQ(merge(c, ids, tol), pairs);
  EXPECT_EQ(to_vector(ids), brute);
  EXPECT_GT(pairs, 800);
}

TEST(Merge, ElementModesMatchTheRules) {
  for (unsigned mode : {1u, 2u}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      const dense2D<double> c = lattice_points(2, 60, 4, seed);
      std::mt19937 gen(seed);
      std::uniform_int_distribution<unsigned> pick(0, 59);
      std::vector<dense2D<unsigned>> Ms = {dense2D<unsigned>(3, 25), dense2D<unsigned>(4, 10)};
      for (auto& M : Ms)
        for (std::size_t j = 0; j < M.cols(); ++j)
          for (std::size_t r = 0; r < M.rows(); ++r) M(r, j) = pick(gen);
      Ms[1](3, 4) = kNone;
      std::vector<dense2D<unsigned>> mine(2);
      ASSERT_TRUE(mine[0].copy(Ms[0]) && mine[1].copy(Ms[1]));

      map_t expected;
      const int n = reference_element_merge(c, Ms, 1.0, mode == 2, expected);
      dense1D<unsigned> ids;
      ASSERT_EQ(merge(c, mine.data(), mine.data() + 2, ids, 1.0, mode), n);
      EXPECT_EQ(to_vector(ids), expected) << "mode " << mode << " seed " << seed;
      for (int m = 0; m < 2; ++m)
        EXPECT_TRUE(
            std::equal(Ms[m].data(), Ms[m].data() + Ms[m].rows() * Ms[m].cols(), mine[m].data()));
      EXPECT_GT(n, 0);
    }
  }
}

TEST(Merge, ElementModesOnlyMergeInsideElements) {
  // Two triangles touching at coincident but distinct nodes 2 and 3.
  const dense2D<double> c{{0, 0}, {1, 0}, {1, 1}, {1, 1}, {2, 1}, {2, 0}};
  dense2D<unsigned> T{{0, 1, 2}, {3, 4, 5}};
  dense2D<unsigned> keep;
  ASSERT_TRUE(keep.copy(T));
  dense1D<unsigned> ids;
  EXPECT_EQ(merge(c, T, ids, 1e-6, 1), 0);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(merge(c, T, ids, 1e-6, 2), 0);
  EXPECT_EQ(merge(c, T, ids, 1e-6, 0), 1);
  EXPECT_EQ(T(0, 1), 2u);

  // Two nodes of one triangle 1e-9 apart: the higher merges into the lower.
  const dense2D<double> d{{0, 0}, {1, 0}, {1e-9, 0}};
  dense2D<unsigned> t{{2, 1, 0}};
  EXPECT_EQ(merge(d, t, ids, 1e-6, 1), 1);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 0}));
  EXPECT_EQ(to_vector(t.as_vector()), (map_t{0, 1, 0}));

  // A target may take several nodes in one pass; a node merged away takes
  // no further part in it.
  const dense2D<double> e{{0, 0}, {0.3, 0}, {0.1, 0}};
  dense2D<unsigned> tri{{0, 1, 2}};
  EXPECT_EQ(merge(e, tri, ids, 0.5, 1), 2);
  EXPECT_EQ(to_vector(ids), (map_t{0, 0, 0}));

  // A node that took another in may still merge into a lower node later in
  // the pass: 2 goes into 1 first, then 1 into 0, and the chain is resolved.
  const dense2D<double> g{{0.2, 0}, {0, 0}, {0.05, 0}};
  dense2D<unsigned> line{{0, 1, 2}};
  EXPECT_EQ(merge(g, line, ids, 0.3, 1), 2);
  EXPECT_EQ(to_vector(ids), (map_t{0, 0, 0}));
  EXPECT_EQ(to_vector(line.as_vector()), (map_t{0, 0, 0}));

  // Nodes 0 and 2 share no element until 1 merges into 0; only the repeated
  // mode then merges 2 as well.
  const dense2D<double> f{{0, 0}, {0.1, 0}, {0.25, 0}, {10, 0}, {20, 0}};
  dense2D<unsigned> once{{0, 1, 3}, {1, 2, 4}}, again{{0, 1, 3}, {1, 2, 4}};
  EXPECT_EQ(merge(f, once, ids, 0.3, 1), 1);
  EXPECT_EQ(to_vector(ids), (map_t{0, 0, 2, 3, 4}));
  EXPECT_EQ(merge(f, again, ids, 0.3, 2), 2);
  EXPECT_EQ(to_vector(ids), (map_t{0, 0, 0, 3, 4}));
  EXPECT_EQ(to_vector(again.as_vector()), (map_t{0, 0, 3, 0, 0, 4}));
}

TEST(Merge, TwoMatricesShareOneNumbering) {
  const dense2D<double> c{{0, 0}, {1, 0}, {0, 1}, {1, 0}, {2, 0}, {0, 1}};
  dense2D<unsigned> A{{0, 1, 2}}, B{{3, 4, 5}};
  dense1D<unsigned> ids;
  EXPECT_EQ(merge(c, A, B, ids, 1e-9, 0), 2);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 2, 1, 4, 2}));
  EXPECT_EQ(to_vector(B.as_vector()), (map_t{1, 4, 2}));
  dense2D<unsigned> A2{{0, 1, 2}}, B2{{3, 4, 5}};
  EXPECT_EQ(merge(c, A2, B2, 1e-9, 0), 2);
  EXPECT_EQ(to_vector(B2.as_vector()), (map_t{1, 4, 2}));
  dense2D<unsigned> pair[2] = {dense2D<unsigned>{{0, 1, 2}}, dense2D<unsigned>{{3, 4, 5}}};
  EXPECT_EQ(merge(c, pair, pair + 2, 1e-9, 0), 2);
  EXPECT_EQ(to_vector(pair[1].as_vector()), (map_t{1, 4, 2}));
  // Ranks follow first appearance: node 3 comes first and survives.
  dense2D<unsigned> one{{3, 0, 1}};
  EXPECT_EQ(merge(c, one, 1e-9, 0), 1);
  EXPECT_EQ(to_vector(one.as_vector()), (map_t{3, 0, 3}));
  dense2D<double> moved{{0, 0}, {0, 1e-12}};
  EXPECT_EQ(merge(moved, 1e-9), 1);
  EXPECT_EQ(moved(1, 1), 0.0);
  EXPECT_EQ(moved.cols(), 2u);
}

TEST(Merge, ErrorCodesOfEveryOverload) {
  const dense2D<double> c{{0, 0}, {1, 0}, {0, 1}};
  const dense2D<double> bad_rows(4, 3), no_nodes(2, 0);
  const dense1D<unsigned> ok{0, 1}, out_of_range{0, 3};
  const double nan = std::nan("");
  dense1D<unsigned> ids{9, 9};
  auto fresh = [] { return dense2D<unsigned>{{0, 1, 2}}; };
  auto wrong = [] { return dense2D<unsigned>{{0, 1, 5}}; };

  // Two lists.
  EXPECT_EQ(merge(no_nodes, out_of_range, ok, ids, -1.0), 0);
  EXPECT_EQ(merge(bad_rows, ok, ok, ids, 0.1), -1);
  EXPECT_EQ(merge(c, out_of_range, ok, ids, 0.1), -2);
  EXPECT_EQ(merge(c, ok, out_of_range, ids, 0.1), -3);
  EXPECT_EQ(merge(c, ok, ok, ids, -0.1), -4);
  EXPECT_EQ(merge(c, ok, ok, ids, nan), -4);
  EXPECT_TRUE(ids.empty());
  EXPECT_EQ(merge(c, dense1D<unsigned>(), ok, ids, 0.1), 0);
  EXPECT_TRUE(ids.empty());
  // One list: codes past the list move up by one.
  EXPECT_EQ(merge(bad_rows, ok, ids, 0.1), -1);
  EXPECT_EQ(merge(c, out_of_range, ids, 0.1), -2);
  EXPECT_EQ(merge(c, ok, ids, -0.1), -3);

  // Range, with and without the map.
  dense2D<unsigned> M[2] = {fresh(), wrong()};
  EXPECT_EQ(merge(no_nodes, M, M + 2, ids, 0.1, 0), 0);
  EXPECT_EQ(merge(c, M, M, ids, 0.1, 0), 0);
  EXPECT_EQ(merge(bad_rows, M, M + 1, ids, 0.1, 0), -1);
  EXPECT_EQ(merge(c, M + 1, M, ids, 0.1, 0), -3);
  EXPECT_EQ(merge(c, M, M + 1, ids, -1.0, 0), -5);
  EXPECT_EQ(merge(c, M, M + 1, ids, 0.1, 3), -6);
  EXPECT_EQ(merge(c, M, M + 2, ids, 0.1, 0), -2);
  EXPECT_TRUE(ids.empty());
  EXPECT_EQ(merge(c, M + 1, M, 0.1, 0), -3);
  EXPECT_EQ(merge(c, M, M + 1, nan, 0), -5);
  EXPECT_EQ(merge(c, M, M + 1, 0.1, 7), -6);
  EXPECT_EQ(merge(c, M, M + 2, 0.1, 1), -2);
  EXPECT_EQ(to_vector(M[1].as_vector()), (map_t{0, 1, 5}));

  // One matrix: codes past the matrix move up by one.
  dense2D<unsigned> one = fresh(), bad = wrong();
  EXPECT_EQ(merge(bad_rows, one, ids, 0.1, 0), -1);
  EXPECT_EQ(merge(c, bad, ids, 0.1, 0), -2);
  EXPECT_EQ(merge(c, one, ids, -0.1, 0), -4);
  EXPECT_EQ(merge(c, one, ids, 0.1, 3), -5);
  EXPECT_EQ(merge(c, one, -0.1, 0), -4);
  EXPECT_EQ(merge(c, one, 0.1, 3), -5);
  EXPECT_EQ(merge(c, bad, 0.1, 2), -2);

  // Two matrices: the range's codes.
  dense2D<unsigned> other = fresh();
  EXPECT_EQ(merge(bad_rows, one, other, ids, 0.1, 0), -1);
  EXPECT_EQ(merge(c, one, bad, ids, 0.1, 0), -2);
  EXPECT_EQ(merge(c, one, other, ids, -0.1, 0), -5);
  EXPECT_EQ(merge(c, one, other, ids, 0.1, 3), -6);
  EXPECT_EQ(merge(c, one, other, -0.1, 0), -5);
  EXPECT_EQ(merge(c, one, other, 0.1, 3), -6);
  EXPECT_EQ(to_vector(one.as_vector()), (map_t{0, 1, 2}));

  // Coordinates.
  dense2D<double> empty(2, 0), wide(1, 3), own;
  ASSERT_TRUE(own.copy(c));
  EXPECT_EQ(merge(empty, ids, -1.0), 0);
  EXPECT_EQ(merge(wide, ids, 0.1), -1);
  EXPECT_EQ(merge(own, ids, -0.1), -3);
  EXPECT_EQ(merge(own, nan), -3);
  EXPECT_EQ(merge(wide, 0.1), -1);
  EXPECT_TRUE(ids.empty());

  // Matrices holding only empty slots merge nothing; the map is the identity.
  dense2D<unsigned> blank{{kNone, kNone}};
  EXPECT_EQ(merge(c, blank, ids, 0.1, 0), 0);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 2}));
}

}  // namespace
