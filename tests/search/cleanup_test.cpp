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

using quernfold_test::copy_of;

TEST(RemoveDegenerated, RandomColumnsAgainstASetCount) {
  L ids;
  // A repeated node always removes its element; repeated empty slots only
  // when asked.
  std::mt19937 gen(4);
  const M source = random_connect(gen, 6, 300, 30);
  for (bool flag : {true, false}) {
    L want_ids(source.cols(), no_index);
    std::vector<unsigned> kept;
    for (std::size_t j = 0; j < source.cols(); ++j) {
      const std::multiset<unsigned> all(source.column(j), source.column(j) + 6);
      bool bad = flag && all.count(no_index) > 1;
      for (unsigned v : all) bad = bad || (v != no_index && all.count(v) > 1);
      if (bad) continue;
      want_ids[j] = unsigned(kept.size() / 6);
      kept.insert(kept.end(), source.column(j), source.column(j) + 6);
    }
    M work = copy_of(source), plain = copy_of(source), want(6, kept.size() / 6);
    std::copy(kept.begin(), kept.end(), want.data());
    EXPECT_CODES({remove_degenerated(work, ids, flag), source.cols() - want.cols()},
                 {remove_degenerated(plain, flag), source.cols() - want.cols()});
    EXPECT_SAME(ids, want_ids);
    EXPECT_SAME(work, want);
    EXPECT_SAME(plain, want);
  }
}

// Nodes below the start are kept; from it on, the nodes no matrix uses go,
// the others move up in order, and the matrices are renumbered. Every
// overload gets the same answer: the range of two matrices, the pair, and
// one matrix holding the columns of both.
TEST(Simplify, EveryOverloadAgainstBruteForceAndCodes) {
  std::mt19937 gen(8);
  for (int trial = 0; trial < 30; ++trial) {
    const unsigned n = 1 + gen() % 40, start = trial % 5 ? gen() % n : n + trial % 2;
    const dense2D<double> source = quernfold_test::random_points(3, n, trial);
    const M A = random_connect(gen, 4, gen() % 8, n), B = random_connect(gen, 4, gen() % 5, n);
    M AB(4, A.cols() + B.cols());
    std::copy_n(B.data(), 4 * B.cols(), std::copy_n(A.data(), 4 * A.cols(), AB.data()));
    const std::set<unsigned> used(AB.data(), AB.data() + 4 * AB.cols());
    L want_ids(n);
    unsigned k = 0;
    for (unsigned i = 0; i < n; ++i) want_ids[i] = i < start || used.count(i) ? k++ : no_index;
    dense2D<double> want(3, k);
    for (unsigned i = 0; i < n; ++i)
      if (want_ids[i] != no_index) std::copy_n(source.column(i), 3, want.column(want_ids[i]));
    M want_AB = copy_of(AB);
    change_indices(want_AB, want_ids);
    if (start >= n) want = copy_of(source), want_AB = copy_of(AB), want_ids.clear();

    dense2D<double> c[4] = {copy_of(source), copy_of(source), copy_of(source), copy_of(source)};
    M range[2] = {copy_of(A), copy_of(B)}, a = copy_of(A), b = copy_of(B), ab = copy_of(AB),
      ab2 = copy_of(AB);
    L ids[2];
    const int removed = int(n - want.cols());
    EXPECT_CODES({simplify(c[0], range, range + 2, ids[0], start), removed},
                 {simplify(c[1], a, b, start), removed},
                 {simplify(c[2], ab, ids[1], start), removed},
                 {simplify(c[3], ab2, start), removed});
    for (const L& got : ids) EXPECT_SAME(got, want_ids);
    for (const dense2D<double>& got : c) EXPECT_SAME(got, want);
    for (const M* got : {&ab, &ab2}) EXPECT_SAME(*got, want_AB);
    for (const M* got : {&range[0], &a}) EXPECT_SAME(*got, want_AB.sub_matrix(0, 0, 4, A.cols()));
    for (const M* got : {&range[1], &b})
      EXPECT_SAME(*got, want_AB.sub_matrix(0, A.cols(), 4, B.cols()));
  }
  // Codes leave everything unchanged.
  dense2D<double> c = quernfold_test::random_points(2, 4, 1);
  const dense2D<double> before = copy_of(c);
  M good{{0, 1}}, bad{{0, 4}}, pair[2] = {good, bad};
  L ids{1, 2};
  EXPECT_CODES({simplify(c, &good + 1, &good, ids, 0), -3}, {ids.size(), 0},
               {simplify(c, pair, pair + 2, ids, 0), -2}, {simplify(c, good, bad, 0), -2},
               {simplify(c, pair, pair, ids, 0), 0});
  EXPECT_SAME(c, before);
  EXPECT_SAME(good, (M{{0, 1}}));
}

}  // namespace
