// The merge engine takes shortcuts (coincident nodes grouped before the tree
// search, pairs written without sorting, element pairs read from the
// columns, coordinates cached in the tree). Lattices (equal distances
// everywhere) and clusters (copies, -0.0, underflowing offsets, nodes at
// infinity) are built to break them; every result is compared with the plain
// merges of reference_merge.h.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "search/reference_merge.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using quernfold_test::dist2;
using quernfold_test::kUnderflowStep;
using quernfold_test::map_t;
using quernfold_test::reference_element_merge;
using quernfold_test::reference_merge;
using quernfold_test::to_dense;
using quernfold_test::to_vector;

constexpr double kInf = std::numeric_limits<double>::infinity();

// A list of n picks among the nodes, with repeats and empty entries.
std::vector<unsigned> picks(std::size_t nodes, std::size_t n, std::mt19937& gen) {
  std::uniform_int_distribution<std::size_t> pick(0, nodes - 1);
  std::vector<unsigned> v;
  for (std::size_t i = 0; i < n; ++i) v.push_back(i % 11 == 5 ? no_index : unsigned(pick(gen)));
  return v;
}

struct points {
  dense2D<double> c;
  std::vector<double> tols;
};

// Lattices with tolerances at and between their distances; clusters with
// exact merges, tolerances whose square underflows or nearly does, the
// spacing and no bound at all.
std::vector<points> inputs(std::size_t n, unsigned seed) {
  std::vector<points> out;
  for (unsigned dim : {2u, 3u}) {
    out.push_back({quernfold_test::lattice_points(dim, n, 5, seed), {0.0, 0.5, 1.0, 1.5}});
    for (double s : {0.5, kUnderflowStep})
      out.push_back({quernfold_test::clustered_points(dim, n, seed, s),
                     {0.0, kUnderflowStep, 3 * kUnderflowStep, s, 1.5 * s, kInf}});
  }
  return out;
}

TEST(Merge, MatchesThePlainRules) {
  for (unsigned seed = 1; seed <= 3; ++seed)
    for (const points& p : inputs(100, seed)) {
      const dense2D<double>& c = p.c;
      std::mt19937 gen(100 + seed);
      const std::vector<unsigned> list1 = picks(c.cols(), 90, gen),
                                  list2 = picks(c.cols(), 60, gen);
      std::vector<unsigned> all(c.cols());
      std::iota(all.begin(), all.end(), 0u);
      std::vector<dense2D<unsigned>> Ms = {dense2D<unsigned>(3, 30), dense2D<unsigned>(4, 12)};
      for (auto& M : Ms) {
        const std::vector<unsigned> v = picks(c.cols(), M.rows() * M.cols(), gen);
        std::copy(v.begin(), v.end(), M.data());
      }
      for (double tol : p.tols) {
        SCOPED_TRACE(::testing::Message()
                     << "dim " << c.rows() << " seed " << seed << " tol " << tol);
        map_t expected;
        dense1D<unsigned> ids;
        int n = reference_merge(c, list1, list1, tol, expected);
        ASSERT_EQ(merge(c, to_dense(list1), ids, tol), n);
        ASSERT_EQ(to_vector(ids), expected);
        n = reference_merge(c, list1, list2, tol, expected);
        ASSERT_EQ(merge(c, to_dense(list1), to_dense(list2), ids, tol), n);
        ASSERT_EQ(to_vector(ids), expected);
        n = reference_merge(c, all, all, tol, expected);
        dense2D<double> moved;
        ASSERT_TRUE(moved.copy(c));
        ASSERT_EQ(merge(moved, ids, tol), n);
        ASSERT_EQ(to_vector(ids), expected);
        for (unsigned i = 0; i < c.cols() * c.rows(); ++i) {
          const double want = c(i % c.rows(), expected[i / c.rows()]);
          ASSERT_TRUE(moved.data()[i] == want &&
                      std::signbit(moved.data()[i]) == std::signbit(want));
        }

        for (unsigned mode : {0u, 1u, 2u}) {
          std::vector<dense2D<unsigned>> ref(2), mine(2);
          for (int m = 0; m < 2; ++m) ASSERT_TRUE(ref[m].copy(Ms[m]) && mine[m].copy(Ms[m]));
          if (mode == 0) {
            std::vector<unsigned> U;
            for (const auto& M : ref) U.insert(U.end(), M.data(), M.data() + M.rows() * M.cols());
            n = reference_merge(c, U, U, tol, expected);
            if (n > 0)
              for (auto& M : ref) change_indices(M, to_dense(expected));
          } else {
            n = reference_element_merge(c, ref, tol, mode == 2, expected);
          }
          ASSERT_EQ(merge(c, mine.data(), mine.data() + 2, ids, tol, mode), n) << "mode " << mode;
          ASSERT_EQ(to_vector(ids), expected) << "mode " << mode;
          for (int m = 0; m < 2; ++m)
            ASSERT_EQ(to_vector(mine[m].as_vector()), to_vector(ref[m].as_vector()));
        }
      }
    }
}

TEST(Merge, WorkedExamplesOfRanksAndTies) {
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

  // Node 2 sits halfway between 0 and 1 and between 3 and 4: the last node
  // met by the box search among the equally close ones wins.
  const dense2D<double> e{{0, 0}, {2, 0}, {1, 0}, {1, -1}, {1, 1}};
  for (const map_t& targets : {map_t{0, 1}, map_t{1, 0}, map_t{3, 4, 0, 1}, map_t{0, 3, 1, 4}}) {
    ASSERT_EQ(merge(e, dense1D<unsigned>{2}, to_dense(targets), ids, 1.0), 1);
    const std::vector<unsigned> met =
        quernfold_test::tolerance_box(quernfold_test::reference_tree(e, targets), e, 2, 1.0);
    EXPECT_EQ(ids[2], met.back());
  }

  // A squared distance that is not a number (a node at infinity against its
  // own copy) never counts: such nodes never merge, on any path.
  const dense2D<double> f{{kInf, 0}, {kInf, 0}, {0, 0}, {0, 0}};
  EXPECT_EQ(merge(f, dense1D<unsigned>{0, 1, 2, 3}, ids, 1.0), 1);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 2, 2}));
  dense2D<unsigned> inside{{0, 1, 2}};
  EXPECT_EQ(merge(f, inside, ids, 1.0, 2), 0);
}

TEST(Merge, RandomCopiesAgainstBruteForce) {
  // Distinct random points have no equal distances, so the final map is
  // the brute-force one: each node goes where its closest lower copy goes.
  const dense2D<double> base = quernfold_test::random_points(3, 400, 31);
  std::vector<unsigned> origin(1200);
  for (unsigned i = 0; i < 1200; ++i) origin[i] = i % 400;
  std::shuffle(origin.begin(), origin.end(), std::mt19937(32));
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
  quernfold_test::resolve(brute, all);
  dense1D<unsigned> ids;
  EXPECT_EQ(merge(c, ids, tol), pairs);
  EXPECT_EQ(to_vector(ids), brute);
  EXPECT_GT(pairs, 800);
}

TEST(Merge, ElementModesOnlyMergeInsideElements) {
  // Two triangles touching at coincident but distinct nodes 2 and 3.
  const dense2D<double> c{{0, 0}, {1, 0}, {1, 1}, {1, 1}, {2, 1}, {2, 0}};
  dense2D<unsigned> T{{0, 1, 2}, {3, 4, 5}};
  dense1D<unsigned> ids;
  EXPECT_EQ(merge(c, T, ids, 1e-6, 1), 0);
  EXPECT_EQ(merge(c, T, ids, 1e-6, 2), 0);
  EXPECT_EQ(merge(c, T, ids, 1e-6, 0), 1);
  EXPECT_EQ(T(0, 1), 2u);

  // A node that took another in may still merge into a lower node later in
  // the pass: 2 goes into 1 first, then 1 into 0, and the chain is resolved.
  dense2D<unsigned> line{{0, 1, 2}};
  EXPECT_EQ(merge(dense2D<double>{{0.2, 0}, {0, 0}, {0.05, 0}}, line, ids, 0.3, 1), 2);
  EXPECT_EQ(to_vector(line.as_vector()), (map_t{0, 0, 0}));
  // Nodes 0 and 2 share no element until 1 merges into 0; only the repeated
  // mode then merges 2 as well.
  const dense2D<double> f{{0, 0}, {0.1, 0}, {0.25, 0}, {10, 0}, {20, 0}};
  dense2D<unsigned> once{{0, 1, 3}, {1, 2, 4}}, again{{0, 1, 3}, {1, 2, 4}};
  EXPECT_EQ(merge(f, once, ids, 0.3, 1), 1);
  EXPECT_EQ(to_vector(ids), (map_t{0, 0, 2, 3, 4}));
  EXPECT_EQ(merge(f, again, ids, 0.3, 2), 2);
  EXPECT_EQ(to_vector(again.as_vector()), (map_t{0, 0, 3, 0, 0, 4}));
}

TEST(Merge, OverloadsShareOneNumbering) {
  const dense2D<double> c{{0, 0}, {1, 0}, {0, 1}, {1, 0}, {2, 0}, {0, 1}};
  dense2D<unsigned> A{{0, 1, 2}}, B{{3, 4, 5}};
  dense1D<unsigned> ids;
  EXPECT_EQ(merge(c, A, B, ids, 1e-9, 0), 2);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 2, 1, 4, 2}));
  EXPECT_EQ(to_vector(B.as_vector()), (map_t{1, 4, 2}));
  // Ranks follow first appearance: node 3 comes first and survives.
  dense2D<unsigned> one{{3, 0, 1}};
  EXPECT_EQ(merge(c, one, 1e-9, 0), 1);
  EXPECT_EQ(to_vector(one.as_vector()), (map_t{3, 0, 3}));
  dense2D<double> moved{{0, 0}, {0, 1e-12}};
  EXPECT_EQ(merge(moved, 1e-9), 1);
  EXPECT_EQ(moved(1, 1), 0.0);
  EXPECT_EQ(moved.cols(), 2u);
  // Matrices holding only empty slots merge nothing; the map is the identity.
  dense2D<unsigned> blank{{no_index, no_index}};
  EXPECT_EQ(merge(c, blank, ids, 0.1, 0), 0);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 2, 3, 4, 5}));
}

TEST(Merge, ErrorCodesOfEveryOverload) {
  const dense2D<double> c{{0, 0}, {1, 0}, {0, 1}};
  const dense2D<double> bad_rows(4, 3), no_nodes(2, 0);
  const dense1D<unsigned> ok{0, 1}, out_of_range{0, 3};
  dense1D<unsigned> ids{9, 9};
  // Two lists; one list: codes past the list move up by one.
  EXPECT_EQ(merge(no_nodes, out_of_range, ok, ids, -1.0), 0);
  EXPECT_EQ(merge(bad_rows, ok, ok, ids, 0.1), -1);
  EXPECT_EQ(merge(c, out_of_range, ok, ids, 0.1), -2);
  EXPECT_EQ(merge(c, ok, out_of_range, ids, 0.1), -3);
  EXPECT_EQ(merge(c, ok, ok, ids, std::nan("")), -4);
  EXPECT_TRUE(ids.empty());
  EXPECT_EQ(merge(c, out_of_range, ids, 0.1), -2);
  EXPECT_EQ(merge(c, ok, ids, -0.1), -3);

  // Range and two matrices, with and without the map.
  dense2D<unsigned> M[2] = {dense2D<unsigned>{{0, 1, 2}}, dense2D<unsigned>{{0, 1, 5}}};
  EXPECT_EQ(merge(no_nodes, M, M + 2, ids, 0.1, 0), 0);
  EXPECT_EQ(merge(bad_rows, M, M + 1, ids, 0.1, 0), -1);
  EXPECT_EQ(merge(c, M, M + 2, ids, 0.1, 0), -2);
  EXPECT_EQ(merge(c, M + 1, M, ids, 0.1, 0), -3);
  EXPECT_EQ(merge(c, M, M + 1, ids, -1.0, 0), -5);
  EXPECT_EQ(merge(c, M, M + 1, ids, 0.1, 3), -6);
  EXPECT_EQ(merge(c, M[0], M[1], ids, 0.1, 0), -2);
  dense2D<unsigned> other{{0, 1, 2}};
  EXPECT_EQ(merge(c, M[0], other, 0.1, 3), -6);
  EXPECT_EQ(to_vector(M[1].as_vector()), (map_t{0, 1, 5}));

  // One matrix: codes past the matrix move up by one.
  EXPECT_EQ(merge(bad_rows, M[0], ids, 0.1, 0), -1);
  EXPECT_EQ(merge(c, M[1], ids, 0.1, 0), -2);
  EXPECT_EQ(merge(c, M[0], ids, -0.1, 0), -4);
  EXPECT_EQ(merge(c, M[0], 0.1, 3), -5);
  EXPECT_EQ(to_vector(M[0].as_vector()), (map_t{0, 1, 2}));

  // Coordinates.
  dense2D<double> empty(2, 0), wide(1, 3), own;
  ASSERT_TRUE(own.copy(c));
  EXPECT_EQ(merge(empty, ids, -1.0), 0);
  EXPECT_EQ(merge(wide, ids, 0.1), -1);
  EXPECT_EQ(merge(own, ids, -0.1), -3);
  EXPECT_TRUE(ids.empty());
}

}  // namespace
