// Removal of degenerate elements and of unused nodes, against brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "support/compare.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using L = dense1D<unsigned>;
using M = dense2D<unsigned>;

M random_connect(std::mt19937& gen, std::size_t rows, std::size_t cols, unsigned nodes) {
  M m(rows, cols);
  for (unsigned& v : m.as_vector()) v = gen() % 9 == 0 ? no_index : gen() % nodes;
  return m;
}

TEST(RemoveDegenerated, WorkedExamples) {
  M T{{0, 1, 2}, {3, 3, 4}, {5, 6, 7}};
  L ids;
  EXPECT_EQ(remove_degenerated(T, ids, false), 1);
  EXPECT_SAME(ids, (L{0, no_index, 1}));
  EXPECT_SAME(T, (M{{0, 1, 2}, {5, 6, 7}}));
  // Empty slots count only when asked and only when repeated.
  const M face{{0, 1, 2, no_index}, {1, 2, no_index, no_index}, {0, 0, 3, 4}};
  for (bool flag : {true, false}) {
    M work;
    ASSERT_TRUE(work.copy(face));
    EXPECT_EQ(remove_degenerated(work, flag), flag ? 2 : 1);
    EXPECT_EQ(work.cols(), flag ? 1u : 2u);
  }
}

TEST(RemoveDegenerated, RandomColumnsAgainstASetCount) {
  std::mt19937 gen(4);
  const M source = random_connect(gen, 6, 300, 30);
  for (bool flag : {true, false}) {
    L want_ids(source.cols(), no_index);
    std::vector<unsigned> kept;
    for (std::size_t j = 0; j < source.cols(); ++j) {
      const std::multiset<unsigned> all(source.column(j), source.column(j) + 6);
      bool bad = flag && all.count(no_index) > 1;
      for (unsigned v : all) bad = bad || (v != no_index && all.count(v) > 1);
      if (!bad) want_ids[j] = unsigned(kept.size() / 6);
      if (!bad) kept.insert(kept.end(), source.column(j), source.column(j) + 6);
    }
    M work, want(6, kept.size() / 6);
    std::copy(kept.begin(), kept.end(), want.data());
    ASSERT_TRUE(work.copy(source));
    L ids;
    EXPECT_EQ(remove_degenerated(work, ids, flag), int(source.cols() - want.cols()));
    EXPECT_SAME(ids, want_ids);
    EXPECT_SAME(work, want);
  }
}

TEST(Simplify, WorkedExamplesAndCodes) {
  const dense2D<double> five{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}};
  dense2D<double> c;
  ASSERT_TRUE(c.copy(five));
  M T{{0, 2, 4}};
  L ids;
  EXPECT_EQ(simplify(c, T, ids, 2), 1);  // node 1 sits below the start
  EXPECT_SAME(ids, (L{0, 1, 2, no_index, 3}));
  EXPECT_SAME(T, (M{{0, 2, 3}}));
  EXPECT_SAME(c, (dense2D<double>{{0, 0}, {1, 0}, {2, 0}, {4, 0}}));
  EXPECT_EQ(simplify(c, T, ids, 4), 0);  // the start at the end
  EXPECT_SAME(ids, L());
  // Errors leave everything unchanged and the map empty.
  M good{{0, 1}}, bad{{0, 4}}, pair[2] = {good, bad};
  ids = L{1, 2};
  EXPECT_EQ(simplify(c, &good + 1, &good, ids, 0), -3);
  EXPECT_SAME(ids, L());
  EXPECT_EQ(simplify(c, pair, pair + 2, ids, 0), -2);
  EXPECT_EQ(simplify(c, good, bad, 0), -2);
  EXPECT_EQ(simplify(c, pair, pair, ids, 0), 0);
  EXPECT_EQ(c.cols(), 4u);
  EXPECT_SAME(good, (M{{0, 1}}));
}

TEST(Simplify, EveryOverloadAgainstBruteForce) {
  std::mt19937 gen(8);
  for (int trial = 0; trial < 30; ++trial) {
    const unsigned n = 1 + gen() % 40, start = gen() % (n + 2);
    const dense2D<double> source = quernfold_test::random_points(3, n, trial);
    const M A = random_connect(gen, 3, gen() % 8, n), B = random_connect(gen, 4, gen() % 5, n);
    L want_ids(n);
    std::set<unsigned> used(A.data(), A.data() + A.rows() * A.cols());
    used.insert(B.data(), B.data() + B.rows() * B.cols());
    unsigned k = 0;
    for (unsigned i = 0; i < n; ++i) want_ids[i] = i < start || used.count(i) ? k++ : no_index;
    dense2D<double> want(3, k);
    for (unsigned i = 0; i < n; ++i)
      if (want_ids[i] != no_index) std::copy_n(source.column(i), 3, want.column(want_ids[i]));
    M want_A, want_B;
    ASSERT_TRUE(want_A.copy(A) && want_B.copy(B));
    change_indices(want_A, want_ids);
    change_indices(want_B, want_ids);
    if (start >= n) want_ids.clear();

    dense2D<double> c, c2;
    M range[2], a2, b2;
    ASSERT_TRUE(c.copy(source) && c2.copy(source) && range[0].copy(A) && range[1].copy(B));
    ASSERT_TRUE(a2.copy(A) && b2.copy(B));
    L ids;
    EXPECT_EQ(simplify(c, range, range + 2, ids, start), int(start < n ? n - k : 0));
    EXPECT_EQ(simplify(c2, a2, b2, start), int(start < n ? n - k : 0));
    EXPECT_SAME(ids, want_ids);
    for (const M* got : {&range[0], &a2}) EXPECT_SAME(*got, start < n ? want_A : A);
    for (const M* got : {&range[1], &b2}) EXPECT_SAME(*got, start < n ? want_B : B);
    EXPECT_SAME(c, start < n ? want : source);
    EXPECT_SAME(c2, c);
  }
}

}  // namespace
