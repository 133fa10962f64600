// Matching lists and matrix columns with get_IDs.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include <quernfold/quernfold.h>

#include "model/model_test_util.h"

using namespace ovk::quernfold;
using quernfold_model_test::kNo;
using quernfold_model_test::list;

namespace {

// Brute force: first position of each value, scanning in order.
void list_oracle(const dense1D<unsigned>& A, const dense1D<unsigned>& B,
                 std::vector<unsigned>& B_in_A, std::vector<unsigned>& A_in_B) {
  B_in_A.assign(B.size(), kNo);
  A_in_B.assign(A.size(), kNo);
  for (std::size_t j = 0; j < B.size(); ++j)
    for (std::size_t i = 0; i < A.size() && B[j] != kNo; ++i)
      if (A[i] == B[j]) {
        B_in_A[j] = static_cast<unsigned>(i);
        break;
      }
  for (std::size_t i = 0; i < A.size(); ++i) {
    if (A[i] == kNo || std::find(A.begin(), A.begin() + i, A[i]) != A.begin() + i) continue;
    const auto* hit = std::find(B.begin(), B.end(), A[i]);
    if (hit != B.end()) A_in_B[i] = static_cast<unsigned>(hit - B.begin());
  }
}

std::vector<unsigned> column(const dense2D<unsigned>& M, std::size_t j) {
  return std::vector<unsigned>(M.column(j), M.column(j) + M.rows());
}

// Every cyclic shift of c and of c reversed (the dihedral orbit of a polygon).
bool same_polygon(std::vector<unsigned> a, const std::vector<unsigned>& b) {
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t s = 0; s < a.size(); ++s) {
      if (a == b) return true;
      std::rotate(a.begin(), a.begin() + 1, a.end());
    }
    std::reverse(a.begin(), a.end());
  }
  return false;
}

void expect_ids(const dense1D<unsigned>& got, const std::vector<unsigned>& want) {
  EXPECT_EQ(std::vector<unsigned>(got.begin(), got.end()), want);
}

}  // namespace

TEST(GetIDsLists, FirstPositionsBothWays) {
  dense1D<unsigned> B_in_A{1, 2, 3}, A_in_B;
  EXPECT_EQ(get_IDs(list({5, 6, 5}), list({5, 9}), B_in_A, A_in_B), 0);
  EXPECT_EQ(B_in_A, list({0, kNo}));
  EXPECT_EQ(A_in_B, list({0, kNo, kNo}));

  // ~0U never matches; repeated values in B give A_in_B the first of them.
  EXPECT_EQ(get_IDs(list({kNo, 3, 4}), list({4, kNo, 4, 3}), B_in_A, A_in_B), 0);
  EXPECT_EQ(B_in_A, list({2, kNo, 2, 1}));
  EXPECT_EQ(A_in_B, list({kNo, 3, 0}));

  // An empty side: outputs sized with ~0U.
  EXPECT_EQ(get_IDs(dense1D<unsigned>(), list({1, 2}), B_in_A, A_in_B), 0);
  EXPECT_EQ(B_in_A, list({kNo, kNo}));
  EXPECT_TRUE(A_in_B.empty());
  EXPECT_EQ(get_IDs(list({1}), dense1D<unsigned>(), B_in_A, A_in_B), 0);
  EXPECT_TRUE(B_in_A.empty());
  EXPECT_EQ(A_in_B, list({kNo}));
}

TEST(GetIDsLists, MatchesBruteForceOnRandomLists) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 60; ++trial) {
    const unsigned na = rng() % 40, nb = rng() % 40, range = 1 + rng() % 30;
    dense1D<unsigned> A(na), B(nb);
    for (auto& v : A) v = rng() % 7 == 0 ? kNo : rng() % range;
    for (auto& v : B) v = rng() % 7 == 0 ? kNo : rng() % range;
    dense1D<unsigned> B_in_A, A_in_B;
    ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B), 0);
    std::vector<unsigned> want_b, want_a;
    list_oracle(A, B, want_b, want_a);
    expect_ids(B_in_A, want_b);
    expect_ids(A_in_B, want_a);
  }
}

TEST(GetIDsMatrices, ShapesAndCodes) {
  dense1D<unsigned> B_in_A{7}, A_in_B{7};
  const dense2D<unsigned> A3{{1, 2, 3}}, A2{{1, 2}, {3, 4}};
  EXPECT_EQ(get_IDs(A3, A2, B_in_A, A_in_B, false), -2);
  EXPECT_EQ(B_in_A, list({kNo, kNo}));  // sized and filled before the height check
  EXPECT_EQ(A_in_B, list({kNo}));

  EXPECT_EQ(get_IDs(dense2D<unsigned>(3, 0), A2, B_in_A, A_in_B, true), 0);
  EXPECT_EQ(B_in_A, list({kNo, kNo}));
  EXPECT_TRUE(A_in_B.empty());
  // Empty by rows: 0 x 2 has no entries, so no height check.
  EXPECT_EQ(get_IDs(dense2D<unsigned>(0, 2), A3, B_in_A, A_in_B, true), 0);
  EXPECT_EQ(A_in_B, list({kNo, kNo}));
  EXPECT_EQ(B_in_A, list({kNo}));
}

TEST(GetIDsMatrices, CyclicShiftsAndReversals) {
  // Every ordering of a triangle is a shift or a reversal.
  std::vector<unsigned> p{1, 2, 3};
  const dense2D<unsigned> A{{1, 2, 3}};
  do {
    const dense2D<unsigned> B{{p[0], p[1], p[2]}};
    dense1D<unsigned> B_in_A, A_in_B;
    ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B, false), 0);
    EXPECT_EQ(B_in_A, list({0}));
    ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B, true), 0);
    const bool identity = p == std::vector<unsigned>({1, 2, 3});
    EXPECT_EQ(B_in_A[0], identity ? 0u : kNo);
    EXPECT_EQ(A_in_B[0], B_in_A[0]);
  } while (std::next_permutation(p.begin(), p.end()));

  const dense2D<unsigned> Q{{1, 2, 3, 4}};
  const dense2D<unsigned> B{{3, 4, 1, 2}, {4, 3, 2, 1}, {1, 3, 2, 4}, {2, 1, 4, 3}};
  dense1D<unsigned> B_in_A, A_in_B;
  ASSERT_EQ(get_IDs(Q, B, B_in_A, A_in_B, false), 0);
  EXPECT_EQ(B_in_A, list({0, 0, kNo, 0}));  // (1,3,2,4) has the same hash, no match
  EXPECT_EQ(A_in_B, list({0}));

  // Edges match their reverse; one row compares plainly.
  ASSERT_EQ(get_IDs(dense2D<unsigned>{{5, 9}}, dense2D<unsigned>{{9, 5}}, B_in_A, A_in_B, false),
            0);
  EXPECT_EQ(B_in_A, list({0}));
  ASSERT_EQ(get_IDs(dense2D<unsigned>{{5, 9}}, dense2D<unsigned>{{9, 5}}, B_in_A, A_in_B, true), 0);
  EXPECT_EQ(B_in_A, list({kNo}));
  ASSERT_EQ(get_IDs(dense2D<unsigned>{{4}, {5}}, dense2D<unsigned>{{5}}, B_in_A, A_in_B, false), 0);
  EXPECT_EQ(B_in_A, list({1}));
  EXPECT_EQ(A_in_B, list({kNo, 0}));
}

TEST(GetIDsMatrices, TiesOnTheLargestEntryArePinnedToItsFirstOccurrence) {
  // Both columns are rotated to start at their first 5, which leaves them
  // different although one is a cyclic shift of the other.
  const dense2D<unsigned> A{{5, 1, 2, 5, 3, 4}};
  const dense2D<unsigned> B{{5, 3, 4, 5, 1, 2}};
  dense1D<unsigned> B_in_A, A_in_B;
  ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B, false), 0);
  EXPECT_EQ(B_in_A, list({kNo}));
  // A repeated largest entry that still lines up.
  ASSERT_EQ(get_IDs(dense2D<unsigned>{{3, 1, 3, 2}}, dense2D<unsigned>{{3, 2, 3, 1}}, B_in_A,
                    A_in_B, false),
            0);
  EXPECT_EQ(B_in_A, list({0}));

  // With the largest entry repeated, the first occurrence decides: both of
  // these are cyclic shifts of (3, 7, 7, 7), only the first one matches.
  ASSERT_EQ(get_IDs(dense2D<unsigned>{{3, 7, 7, 7}}, dense2D<unsigned>{{7, 3, 7, 7}, {7, 7, 3, 7}},
                    B_in_A, A_in_B, false),
            0);
  EXPECT_EQ(B_in_A, list({0, kNo}));

  // ~0U is the largest entry, so a mixed triangle is only matched from the
  // same start or reversed: (0,1,2,~0U) against (1,2,0,~0U) does not match.
  ASSERT_EQ(get_IDs(dense2D<unsigned>{{0, 1, 2, kNo}},
                    dense2D<unsigned>{{1, 2, 0, kNo}, {2, 1, 0, kNo}, {0, 1, 2, kNo}}, B_in_A,
                    A_in_B, false),
            0);
  EXPECT_EQ(B_in_A, list({kNo, 0, 0}));
  EXPECT_EQ(A_in_B, list({1}));
}

TEST(GetIDsMatrices, RepeatedColumnsAllReceiveTheSmallestMatch) {
  const dense2D<unsigned> A{{1, 2, 3}, {7, 8, 9}, {3, 1, 2}, {1, 2, 3}};
  const dense2D<unsigned> B{{9, 8, 7}, {2, 3, 1}, {1, 2, 3}};
  dense1D<unsigned> B_in_A, A_in_B;
  ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B, false), 0);
  EXPECT_EQ(B_in_A, list({1, 0, 0}));
  EXPECT_EQ(A_in_B, list({1, 0, 1, 1}));
  ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B, true), 0);
  EXPECT_EQ(B_in_A, list({kNo, kNo, 0}));
  EXPECT_EQ(A_in_B, list({2, kNo, kNo, 2}));
}

TEST(GetIDsMatrices, MatchesBruteForceOnRandomPolygons) {
  // Columns with distinct entries, so the rotation rule equals "same polygon".
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 40; ++trial) {
    const unsigned rows = 2 + trial % 4, pool = rows + 2;
    const unsigned na = 1 + rng() % 25, nb = 1 + rng() % 25;
    auto random_column = [&](dense2D<unsigned>& M, std::size_t j) {
      std::vector<unsigned> values(pool);
      std::iota(values.begin(), values.end(), 0u);
      std::shuffle(values.begin(), values.end(), rng);
      std::copy(values.begin(), values.begin() + rows, M.column(j));
    };
    dense2D<unsigned> A(rows, na), B(rows, nb);
    for (unsigned j = 0; j < na; ++j) random_column(A, j);
    for (unsigned j = 0; j < nb; ++j) random_column(B, j);
    for (const bool strict : {false, true}) {
      dense1D<unsigned> B_in_A, A_in_B;
      ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B, strict), 0);
      std::vector<unsigned> want_b(nb, kNo), want_a(na, kNo);
      for (unsigned j = 0; j < nb; ++j)
        for (unsigned i = 0; i < na; ++i) {
          const bool match =
              strict ? column(A, i) == column(B, j) : same_polygon(column(A, i), column(B, j));
          if (!match) continue;
          want_b[j] = std::min(want_b[j], i);
          want_a[i] = std::min(want_a[i], j);
        }
      expect_ids(B_in_A, want_b);
      expect_ids(A_in_B, want_a);
    }
  }
}
