// The merge engine takes shortcuts (coincident nodes grouped before the tree
// search, pairs written without sorting, element pairs read from the
// columns, coordinates cached in the tree). These tests feed it inputs built
// to break such shortcuts and compare every result with the plain merges of
// reference_merge.h.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "search/reference_merge.h"

namespace {

using namespace ovk::quernfold;
using quernfold_test::clustered_points;
using quernfold_test::kUnderflowStep;
using quernfold_test::map_t;
using quernfold_test::reference_element_merge;
using quernfold_test::reference_merge;
using quernfold_test::to_dense;
using quernfold_test::to_vector;

constexpr unsigned kNone = ~0U;
constexpr double kInf = std::numeric_limits<double>::infinity();

// A list of n picks among the nodes, with repeats and empty entries.
std::vector<unsigned> picks(std::size_t nodes, std::size_t n, std::mt19937& gen) {
  std::uniform_int_distribution<std::size_t> pick(0, nodes - 1);
  std::vector<unsigned> v;
  for (std::size_t i = 0; i < n; ++i) v.push_back(i % 11 == 5 ? kNone : unsigned(pick(gen)));
  return v;
}

// Exact merges, tolerances whose square underflows or nearly does, the
// lattice spacing (equal distances everywhere) and no bound at all.
std::vector<double> tolerances(double spacing) {
  return {0.0, kUnderflowStep, 3 * kUnderflowStep, spacing, 1.5 * spacing, kInf};
}
const double kSpacings[] = {0.5, kUnderflowStep};

TEST(MergeExactness, ListsMatchThePlainRulesOnClusters) {
  for (unsigned dim : {2u, 3u}) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
      const double spacing = kSpacings[seed % 2];
      const dense2D<double> c = clustered_points(dim, 120, seed, spacing);
      std::mt19937 gen(100 + seed);
      const std::vector<unsigned> list1 = picks(c.cols(), 100, gen);
      const std::vector<unsigned> list2 = picks(c.cols(), 60, gen);
      std::vector<unsigned> all(c.cols());
      std::iota(all.begin(), all.end(), 0u);
      for (double tol : tolerances(spacing)) {
        SCOPED_TRACE(::testing::Message() << "dim " << dim << " seed " << seed << " tol " << tol);
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
        for (unsigned i = 0; i < c.cols(); ++i)
          for (unsigned k = 0; k < dim; ++k)
            ASSERT_EQ(std::signbit(moved(k, i)), std::signbit(c(k, expected[i])));
      }
    }
  }
}

TEST(MergeExactness, MatricesMatchThePlainRulesOnClusters) {
  for (unsigned dim : {2u, 3u}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      const double spacing = kSpacings[seed % 2];
      const dense2D<double> c = clustered_points(dim, 80, 50 + seed, spacing);
      std::mt19937 gen(200 + seed);
      std::vector<dense2D<unsigned>> Ms = {dense2D<unsigned>(3, 30), dense2D<unsigned>(4, 12)};
      for (auto& M : Ms) {
        const std::vector<unsigned> v = picks(c.cols(), M.rows() * M.cols(), gen);
        std::copy(v.begin(), v.end(), M.data());
      }
      for (double tol : tolerances(spacing)) {
        for (unsigned mode : {0u, 1u, 2u}) {
          SCOPED_TRACE(::testing::Message()
                       << "dim " << dim << " seed " << seed << " tol " << tol << " mode " << mode);
          std::vector<dense2D<unsigned>> ref(2), mine(2);
          for (int m = 0; m < 2; ++m) ASSERT_TRUE(ref[m].copy(Ms[m]) && mine[m].copy(Ms[m]));
          map_t expected;
          int n;
          if (mode == 0) {
            std::vector<unsigned> U;
            for (const auto& M : ref) {
              const std::vector<unsigned> v(M.data(), M.data() + M.rows() * M.cols());
              U.insert(U.end(), v.begin(), v.end());
            }
            n = reference_merge(c, U, U, tol, expected);
            if (n > 0)
              for (auto& M : ref) change_indices(M, to_dense(expected));
          } else {
            n = reference_element_merge(c, ref, tol, mode == 2, expected);
          }
          dense1D<unsigned> ids;
          ASSERT_EQ(merge(c, mine.data(), mine.data() + 2, ids, tol, mode), n);
          ASSERT_EQ(to_vector(ids), expected);
          for (int m = 0; m < 2; ++m)
            ASSERT_EQ(to_vector(mine[m].as_vector()), to_vector(ref[m].as_vector()));
        }
      }
    }
  }
}

// A squared distance that is not a number (a node at infinity against its
// own copy) is never "not greater than tol squared": such nodes never merge,
// whichever path of the engine handles them.
TEST(MergeExactness, NodesAtInfinityNeverMerge) {
  const dense2D<double> c{{kInf, 0}, {kInf, 0}, {0, 0}, {0, 0}};
  dense1D<unsigned> ids;
  EXPECT_EQ(merge(c, dense1D<unsigned>{0, 1, 2, 3}, ids, 1.0), 1);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 2, 2}));
  EXPECT_EQ(merge(c, dense1D<unsigned>{1}, dense1D<unsigned>{0}, ids, 1.0), 0);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 2, 3}));
  EXPECT_EQ(merge(c, dense1D<unsigned>{1, 3}, dense1D<unsigned>{0, 2}, ids, kInf), 1);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 2, 2}));
  dense2D<double> moved;
  ASSERT_TRUE(moved.copy(c));
  EXPECT_EQ(merge(moved, ids, 0.0), 1);
  EXPECT_EQ(to_vector(ids), (map_t{0, 1, 2, 2}));
  dense2D<unsigned> T{{0, 1, 2}, {3, 2, 1}};
  EXPECT_EQ(merge(c, T, ids, 0.0, 0), 1);
  EXPECT_EQ(to_vector(T.as_vector()), (map_t{0, 1, 2, 2, 2, 1}));
  dense2D<unsigned> inside{{0, 1, 2}};
  EXPECT_EQ(merge(c, inside, ids, 1.0, 2), 0);
}

}  // namespace
