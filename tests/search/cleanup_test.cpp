#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "search/reference_tree.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using quernfold_test::to_vector;

using list_t = std::vector<unsigned>;

TEST(RemoveDegenerated, WorkedExamples) {
  // Repeats anywhere in the column, including far apart rows.
  dense2D<unsigned> Q{{4, 1, 2, 4}, {1, 2, 3, 4}, {9, 8, 9, 7}, {5, 5, 5, 5}};
  EXPECT_EQ(remove_degenerated(Q, false), 3);
  EXPECT_EQ(to_vector(Q.as_vector()), (list_t{1, 2, 3, 4}));
  // Empty slots count only when asked and only when repeated.
  const dense2D<unsigned> face{
      {0, 1, 2, no_index}, {3, 4, 5, 6}, {1, 2, no_index, no_index}, {0, 0, 3, 4}};
  dense2D<unsigned> work;
  dense1D<unsigned> ids{7, 7};
  for (bool flag : {true, false}) {
    ASSERT_TRUE(work.copy(face));
    EXPECT_EQ(remove_degenerated(work, ids, flag), flag ? 2 : 1);
    EXPECT_EQ(to_vector(ids),
              flag ? (list_t{0, 1, no_index, no_index}) : (list_t{0, 1, 2, no_index}));
  }
}

TEST(RemoveDegenerated, RandomColumnsAgainstASetCount) {
  std::mt19937 gen(4);
  std::uniform_int_distribution<unsigned> pick(0, 30);
  dense2D<unsigned> M(6, 300);
  for (std::size_t j = 0; j < M.cols(); ++j)
    for (std::size_t r = 0; r < 6; ++r) M(r, j) = pick(gen) == 30 ? no_index : pick(gen);
  for (bool flag : {true, false}) {
    std::vector<list_t> kept;
    for (std::size_t j = 0; j < M.cols(); ++j) {
      const list_t col(M.column(j), M.column(j) + 6);
      std::multiset<unsigned> all(col.begin(), col.end());
      bool bad = flag && all.count(no_index) > 1;
      for (unsigned v : col) bad = bad || (v != no_index && all.count(v) > 1);
      if (!bad) kept.push_back(col);
    }
    dense2D<unsigned> work;
    ASSERT_TRUE(work.copy(M));
    dense1D<unsigned> ids;
    EXPECT_EQ(remove_degenerated(work, ids, flag), static_cast<int>(M.cols() - kept.size()));
    ASSERT_EQ(work.cols(), kept.size());
    // The map sends each kept column to its new place, in order.
    unsigned next = 0;
    for (std::size_t j = 0; j < M.cols(); ++j)
      if (ids[j] != no_index) {
        ASSERT_EQ(ids[j], next);
        ASSERT_EQ(list_t(work.column(next), work.column(next) + 6), kept[next]);
        ASSERT_TRUE(std::equal(M.column(j), M.column(j) + 6, work.column(next++)));
      }
    EXPECT_EQ(next, kept.size());
  }
}

TEST(Simplify, DropsUnusedNodesFromStartOn) {
  const dense2D<double> five{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}};
  dense2D<double> c;
  ASSERT_TRUE(c.copy(five));
  dense2D<unsigned> T{{0, 2, 4}};
  dense1D<unsigned> ids;
  EXPECT_EQ(simplify(c, T, ids, 0), 2);
  EXPECT_EQ(to_vector(ids), (list_t{0, no_index, 1, no_index, 2}));
  EXPECT_EQ(to_vector(T.as_vector()), (list_t{0, 1, 2}));
  ASSERT_EQ(c.cols(), 3u);
  EXPECT_EQ(c(0, 2), 4.0);

  ASSERT_TRUE(c.copy(five));
  dense2D<unsigned> U{{0, 2, 4}};
  EXPECT_EQ(simplify(c, U, ids, 2), 1);
  EXPECT_EQ(to_vector(ids), (list_t{0, 1, 2, no_index, 3}));
  EXPECT_EQ(to_vector(U.as_vector()), (list_t{0, 2, 3}));
  EXPECT_EQ(c(0, 3), 4.0);
  // Starting past the end removes nothing and leaves the map empty.
  EXPECT_EQ(simplify(c, U, ids, 5), 0);
  EXPECT_TRUE(ids.empty());
  // Nothing removed: the map is the identity and the matrix is unchanged.
  dense2D<unsigned> W{{0, 1, 2}, {3, no_index, 1}};
  EXPECT_EQ(simplify(c, W, ids, 0), 0);
  EXPECT_EQ(to_vector(ids), (list_t{0, 1, 2, 3}));
}

TEST(Simplify, SeveralMatricesKeepWhatAnyUses) {
  const dense2D<double> six = quernfold_test::random_points(3, 6, 2);
  dense2D<double> c;
  ASSERT_TRUE(c.copy(six));
  dense2D<unsigned> A{{5, 1}}, B{{3, no_index}};
  EXPECT_EQ(simplify(c, A, B, 0), 3);
  EXPECT_EQ(to_vector(A.as_vector()), (list_t{2, 0}));
  EXPECT_EQ(to_vector(B.as_vector()), (list_t{1, no_index}));
  EXPECT_EQ(c(2, 1), six(2, 3));

  ASSERT_TRUE(c.copy(six));
  dense2D<unsigned> range[3] = {dense2D<unsigned>{{4}}, dense2D<unsigned>(),
                                dense2D<unsigned>{{0}}};
  dense1D<unsigned> ids;
  EXPECT_EQ(simplify(c, range, range + 3, ids, 1), 4);
  EXPECT_EQ(to_vector(ids), (list_t{0, no_index, no_index, no_index, 1, no_index}));
}

TEST(Simplify, ErrorsChangeNothing) {
  dense2D<double> c = quernfold_test::random_points(2, 4, 3);
  dense2D<unsigned> good{{0, 1}}, bad{{0, 4}};
  dense1D<unsigned> ids{1, 2, 3};
  EXPECT_EQ(simplify(c, &good + 1, &good, ids, 0), -3);
  EXPECT_TRUE(ids.empty());
  dense2D<unsigned> pair[2] = {good, bad};
  EXPECT_EQ(simplify(c, pair, pair + 2, ids, 0), -2);
  EXPECT_EQ(simplify(c, good, bad, 0), -2);
  EXPECT_EQ(c.cols(), 4u);
  EXPECT_EQ(to_vector(good.as_vector()), (list_t{0, 1}));
  EXPECT_EQ(simplify(c, pair, pair, ids, 0), 0);
}

}  // namespace
