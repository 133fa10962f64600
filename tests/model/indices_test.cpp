// Index lists: largest index, shifting, renumbering, permuting, sorting,
// matching and distinct indices with the hash table behind them.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include <quernfold/quernfold.h>

#include "common/hash_set.h"
#include "model/model_test_util.h"

using namespace ovk::quernfold;
using quernfold_model_test::list;
using quernfold_model_test::padded_window;

TEST(MaxIDAndUntypedCheck, SkipNoIndexAndReadOnlyWindowEntries) {
  EXPECT_EQ(max_ID(dense1D<unsigned>()), no_index);
  EXPECT_EQ(max_ID(dense1D<unsigned>{no_index, no_index}), 0u);
  EXPECT_EQ(max_ID(dense2D<unsigned>(3, 0)), no_index);  // 3 x 0 has no entries
  EXPECT_EQ(max_ID(dense2D<unsigned>{{1, no_index}, {no_index, 4}}), 4u);
  // A window whose ld exceeds its rows: the gap holds 100, which must not count.
  dense2D<unsigned> parent;
  EXPECT_EQ(max_ID(padded_window({{1, 5}, {2, no_index}}, 100, parent)), 5u);

  const dense1D<unsigned> ids{0, no_index, 4};
  EXPECT_TRUE(check_IDs(ids, 5) && check_IDs(dense1D<unsigned>{no_index}, 0));
  EXPECT_FALSE(check_IDs(ids, 4));
  // Any height; ~0U in any row.
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{no_index, 1, 2, 3, 4}}, 5));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1}, {2, 5}}, 5));
  EXPECT_TRUE(check_IDs(padded_window({{0, 1}, {2, 3}}, 99, parent), 4));  // 99s are gaps
}

TEST(ShiftIndices, WrapsAndKeepsNoIndexOnlyForListsAndMixedKinds) {
  dense1D<unsigned> ids{0, no_index, 3};
  EXPECT_TRUE(shift_indices(ids, -1) == 0 &&
              ids == list({no_index, no_index, 2}));  // 0 - 1 wraps to ~0U

  dense2D<unsigned> tria{{0, 1, no_index}};
  shift_indices(tria, 2, ET_TRIA3);
  EXPECT_EQ(tria(2, 0), 1u);  // a pure kind is shifted blindly: ~0U + 2 wraps to 1
  dense2D<unsigned> face{{0, 1, 2, no_index}, {3, 4, 5, 6}};
  shift_indices(face, 2, ET_FACE_MIX);
  EXPECT_TRUE(face(3, 0) == no_index && face(3, 1) == 8u);
  dense2D<unsigned> solid{{0, 1, 2, 3, no_index, no_index, no_index, no_index}};
  shift_indices(solid, 10, ET_SOLID_MIX);
  EXPECT_TRUE(solid(3, 0) == 13u && solid(7, 0) == no_index);
  // The rule follows the kind passed, not the height.
  dense2D<unsigned> edge{{no_index, 4}}, face3{{no_index, 1, 2}};
  shift_indices(edge, 1, ET_EDGE_MIX);
  shift_indices(face3, 1, ET_FACE_MIX);
  EXPECT_TRUE(edge(0, 0) == 0u && face3(0, 0) == no_index);

  // Entries between the columns of a window stay untouched.
  dense2D<unsigned> parent;
  dense2D<unsigned> w = padded_window({{0, 1}, {2, 3}}, 77, parent);
  shift_indices(w, 5, ET_EDGE2);
  EXPECT_TRUE(parent(2, 0) == 77u && parent(0, 1) == 7u);  // write-through to the parent
}

TEST(ChangeIndices, MapsEntriesBelowMapSizeOnce) {
  dense1D<unsigned> ids{0, 1, 5, no_index};
  change_indices(ids, dense1D<unsigned>{7, no_index});
  EXPECT_EQ(ids, list({7, no_index, 5, no_index}));
  dense2D<unsigned> M{{0, 1, 2}, {2, 3, no_index}};
  change_indices(M, dense1D<unsigned>{10, 11, 12});
  EXPECT_TRUE(M(0, 1) == 12u && M(1, 1) == 3u &&
              M(2, 1) == no_index);  // 3 is not below the map size
  dense1D<unsigned> chain{0, 1};
  change_indices(chain, dense1D<unsigned>{1, 0});
  EXPECT_EQ(chain, list({1, 0}));  // applied once, not chained
}

TEST(Permutation, EdgeCasesAndRandomRoundTrips) {
  const unsigned a = 10, b = 20, c = 30;
  dense1D<unsigned> V{a, b, c};
  EXPECT_EQ(permutation(V, dense1D<unsigned>{1, 1}), 0);
  EXPECT_EQ(V, list({a, a, c}));  // perm[1] = 1 does not overwrite what perm[0] wrote
  // Later entries win; ~0U and out-of-range targets are skipped; a longer
  // perm is read only up to V's size.
  V = dense1D<unsigned>{a, b, c};
  EXPECT_EQ(permutation(V, dense1D<unsigned>{2, 2, 0, 1}), 0);
  EXPECT_EQ(V, list({c, b, b}));
  V = dense1D<unsigned>{a, b, c};
  EXPECT_EQ(permutation(V, dense1D<unsigned>{no_index, 7, 0}), 0);
  EXPECT_EQ(V, list({c, b, c}));
  // V may be a window of a larger list: the result lands in the parent.
  dense1D<unsigned> parent{9, 1, 2, 3, 9};
  dense1D<unsigned> window = parent.sub_vector(1, 3);
  ASSERT_EQ(permutation(window, dense1D<unsigned>{1, 2, 0}), 0);
  EXPECT_EQ(parent, list({9, 3, 1, 2, 9}));

  std::mt19937 rng(42);
  for (int trial = 0; trial < 20; ++trial) {
    const unsigned n = 1 + rng() % 50;
    std::vector<unsigned> p(n);
    std::iota(p.begin(), p.end(), 0u);
    std::shuffle(p.begin(), p.end(), rng);
    dense1D<unsigned> perm(n);
    dense1D<double> D(n);
    for (unsigned i = 0; i < n; ++i) perm[i] = p[i], D[i] = 0.5 * i + trial;
    ASSERT_EQ(permutation(D, perm), 0);
    for (unsigned i = 0; i < n; ++i) ASSERT_EQ(D[p[i]], 0.5 * i + trial);
  }
}

TEST(GetSortedOrder, EdgeCasesAndStableSortOracle) {
  dense1D<unsigned> order{99}, offsets{99};
  EXPECT_EQ(get_sorted_order(dense1D<unsigned>{2, 0, no_index, 2}, order, offsets), 0);
  EXPECT_TRUE(order == list({1, 0, 3}) && offsets == list({0, 1, 1, 3}));
  // Only ~0U: max_ID is 0, so offsets = (0, 0) and order is empty.
  EXPECT_EQ(get_sorted_order(dense1D<unsigned>{no_index, no_index}, order, offsets), 0);
  EXPECT_TRUE(order.empty() && offsets == list({0, 0}));
  EXPECT_EQ(get_sorted_order(dense1D<unsigned>(), order, offsets), 0);
  EXPECT_TRUE(order.empty() && offsets == list({0}));

  std::mt19937 rng(7);
  for (int trial = 0; trial < 50; ++trial) {
    const unsigned n = rng() % 60, range = 1 + rng() % 20;
    dense1D<unsigned> values(n);
    for (unsigned i = 0; i < n; ++i) values[i] = rng() % 5 == 0 ? no_index : rng() % range;
    ASSERT_EQ(get_sorted_order(values, order, offsets), 0);
    std::vector<unsigned> expected;
    for (unsigned i = 0; i < n; ++i)
      if (values[i] != no_index) expected.push_back(i);
    std::stable_sort(expected.begin(), expected.end(),
                     [&](unsigned x, unsigned y) { return values[x] < values[y]; });
    ASSERT_EQ(std::vector<unsigned>(order.begin(), order.end()), expected);
    const unsigned M = n ? max_ID(values) : 0;
    ASSERT_EQ(offsets.size(), n ? M + 2 : 1u);
    ASSERT_EQ(offsets[0], 0u);
    for (unsigned v = 0; n && v <= M; ++v)
      ASSERT_EQ(offsets[v + 1] - offsets[v], std::count(values.begin(), values.end(), v));
  }
}

namespace {

// Brute force: first position of each value, scanning in order.
void list_oracle(const dense1D<unsigned>& A, const dense1D<unsigned>& B,
                 std::vector<unsigned>& B_in_A, std::vector<unsigned>& A_in_B) {
  B_in_A.assign(B.size(), no_index);
  A_in_B.assign(A.size(), no_index);
  for (std::size_t j = 0; j < B.size(); ++j) {
    const auto* hit = std::find(A.begin(), A.end(), B[j]);
    if (B[j] != no_index && hit != A.end()) B_in_A[j] = static_cast<unsigned>(hit - A.begin());
  }
  for (std::size_t i = 0; i < A.size(); ++i) {
    if (A[i] == no_index || std::find(A.begin(), A.begin() + i, A[i]) != A.begin() + i) continue;
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

std::vector<unsigned> vec(const dense1D<unsigned>& v) { return {v.begin(), v.end()}; }

}  // namespace

TEST(GetIDsLists, FirstPositionsBothWaysAndBruteForce) {
  // ~0U never matches; repeated values in B give A_in_B the first of them.
  dense1D<unsigned> B_in_A{1, 2, 3}, A_in_B;
  EXPECT_EQ(get_IDs(list({no_index, 3, 4}), list({4, no_index, 4, 3}), B_in_A, A_in_B), 0);
  EXPECT_TRUE(B_in_A == list({2, no_index, 2, 1}) && A_in_B == list({no_index, 3, 0}));
  // An empty side: outputs sized with ~0U.
  EXPECT_EQ(get_IDs(dense1D<unsigned>(), list({1, 2}), B_in_A, A_in_B), 0);
  EXPECT_TRUE(B_in_A == list({no_index, no_index}) && A_in_B.empty());

  std::mt19937 rng(11);
  for (int trial = 0; trial < 60; ++trial) {
    const unsigned na = rng() % 40, nb = rng() % 40, range = 1 + rng() % 30;
    dense1D<unsigned> A(na), B(nb);
    for (auto& v : A) v = rng() % 7 == 0 ? no_index : rng() % range;
    for (auto& v : B) v = rng() % 7 == 0 ? no_index : rng() % range;
    ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B), 0);
    std::vector<unsigned> want_b, want_a;
    list_oracle(A, B, want_b, want_a);
    EXPECT_EQ(vec(B_in_A), want_b);
    EXPECT_EQ(vec(A_in_B), want_a);
  }
}

TEST(GetIDsMatrices, CodesShiftsAndReversals) {
  dense1D<unsigned> B_in_A{7}, A_in_B{7};
  const dense2D<unsigned> A3{{1, 2, 3}};
  EXPECT_EQ(get_IDs(A3, dense2D<unsigned>{{1, 2}, {3, 4}}, B_in_A, A_in_B, false), -2);
  // Sized and filled before the height check.
  EXPECT_TRUE(B_in_A == list({no_index, no_index}) && A_in_B == list({no_index}));
  // Empty by rows: 0 x 2 has no entries, so no height check.
  EXPECT_EQ(get_IDs(dense2D<unsigned>(0, 2), A3, B_in_A, A_in_B, true), 0);
  EXPECT_TRUE(A_in_B == list({no_index, no_index}) && B_in_A == list({no_index}));

  const dense2D<unsigned> B{{3, 4, 1, 2}, {4, 3, 2, 1}, {1, 3, 2, 4}, {2, 1, 4, 3}};
  ASSERT_EQ(get_IDs(dense2D<unsigned>{{1, 2, 3, 4}}, B, B_in_A, A_in_B, false), 0);
  // (1,3,2,4) has the same hash, no match.
  EXPECT_TRUE(B_in_A == list({0, 0, no_index, 0}) && A_in_B == list({0}));
  // One row compares plainly.
  ASSERT_EQ(get_IDs(dense2D<unsigned>{{4}, {5}}, dense2D<unsigned>{{5}}, B_in_A, A_in_B, false), 0);
  EXPECT_TRUE(B_in_A == list({1}) && A_in_B == list({no_index, 0}));
}

TEST(GetIDsMatrices, TiesOnTheLargestEntryArePinnedToItsFirstOccurrence) {
  using M = dense2D<unsigned>;
  dense1D<unsigned> B_in_A, A_in_B;
  auto loose = [&](const M& A, const M& B) {
    EXPECT_EQ(get_IDs(A, B, B_in_A, A_in_B, false), 0);
    return B_in_A;
  };
  // Both columns are rotated to start at their first 5, which leaves them
  // different although one is a cyclic shift of the other.
  EXPECT_EQ(loose(M{{5, 1, 2, 5, 3, 4}}, M{{5, 3, 4, 5, 1, 2}}), list({no_index}));
  // Both are cyclic shifts of (3, 7, 7, 7); only the first one matches.
  EXPECT_EQ(loose(M{{3, 7, 7, 7}}, M{{7, 3, 7, 7}, {7, 7, 3, 7}}), list({0, no_index}));
  // ~0U is the largest entry, so a mixed triangle is only matched from the
  // same start or reversed: (0,1,2,~0U) against (1,2,0,~0U) does not match.
  EXPECT_EQ(loose(M{{0, 1, 2, no_index}},
                  M{{1, 2, 0, no_index}, {2, 1, 0, no_index}, {0, 1, 2, no_index}}),
            list({no_index, 0, 0}));
  EXPECT_EQ(A_in_B, list({1}));
}

TEST(GetIDsMatrices, MatchesBruteForceOnRandomPolygons) {
  // Columns with distinct entries, so the rotation rule equals "same polygon";
  // a small pool makes repeated and matching columns frequent.
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 40; ++trial) {
    const unsigned rows = 2 + trial % 4, na = 1 + rng() % 25, nb = 1 + rng() % 25;
    std::vector<unsigned> pool(rows + 2);
    std::iota(pool.begin(), pool.end(), 0u);
    dense2D<unsigned> A(rows, na), B(rows, nb);
    for (dense2D<unsigned>* M : {&A, &B})
      for (std::size_t j = 0; j < M->cols(); ++j) {
        std::shuffle(pool.begin(), pool.end(), rng);
        std::copy(pool.begin(), pool.begin() + rows, M->column(j));
      }
    for (const bool strict : {false, true}) {
      dense1D<unsigned> B_in_A, A_in_B;
      ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B, strict), 0);
      std::vector<unsigned> want_b(nb, no_index), want_a(na, no_index);
      for (unsigned j = 0; j < nb; ++j)
        for (unsigned i = 0; i < na; ++i) {
          if (strict ? column(A, i) != column(B, j) : !same_polygon(column(A, i), column(B, j)))
            continue;
          want_b[j] = std::min(want_b[j], i);
          want_a[i] = std::min(want_a[i], j);
        }
      EXPECT_EQ(vec(B_in_A), want_b);
      EXPECT_EQ(vec(A_in_B), want_a);
    }
  }
}

namespace {

// Distinct entries other than ~0U and the excluded ones, by first appearance.
std::vector<unsigned> first_appearances(const std::vector<unsigned>& entries,
                                        const std::vector<unsigned>& exclude) {
  std::set<unsigned> seen(exclude.begin(), exclude.end());
  seen.insert(no_index);
  std::vector<unsigned> out;
  for (unsigned v : entries)
    if (seen.insert(v).second) out.push_back(v);
  return out;
}

}  // namespace

TEST(UniqueIndices, ListsMatricesAndRanges) {
  dense1D<unsigned> out;
  EXPECT_EQ(unique_indices(out, list({4, 2, 4, no_index, 1}), list({1})), 0);
  EXPECT_EQ(out, list({4, 2}));

  // out is appended to; what it already holds plays no part.
  EXPECT_EQ(unique_indices(out, list({2, 5, 2}), dense1D<unsigned>()), 0);
  EXPECT_EQ(out, list({4, 2, 2, 5}));

  // The exclusion list is a shared view: it is read, never changed, even
  // when it is a view of out itself.
  dense1D<unsigned> exclude = out.sub_vector(0, 2);
  EXPECT_EQ(unique_indices(out, list({4, 9, 2, 2, 9}), exclude), 0);
  EXPECT_TRUE(out == list({4, 2, 2, 5, 9}) && exclude == list({4, 2}));

  // A short input against 5000 excluded values: more than the sizing expects.
  dense1D<unsigned> many(5000), out2;
  for (unsigned i = 0; i < 5000; ++i) many[i] = 3 * i;
  ASSERT_EQ(unique_indices(out2, list({0, 1, 3, 4, 15000, 1}), many), 0);
  EXPECT_EQ(out2, list({1, 4, 15000}));

  out = list({42});
  const dense2D<unsigned> M{{3, 1, no_index}, {1, 7, 3}};
  EXPECT_EQ(unique_indices(out, M, list({7})), 0);
  EXPECT_EQ(out, list({42, 3, 1}));

  // A window with ld > rows contributes only its own entries.
  dense2D<unsigned> parent;
  const dense2D<unsigned> W = padded_window({{8, 6}, {6, 5}}, 1000, parent);
  dense2D<unsigned> range[3] = {M, dense2D<unsigned>(2, 0), W};
  out.clear();
  EXPECT_EQ(unique_indices(out, range, range + 3, dense1D<unsigned>()), 0);
  EXPECT_EQ(out, list({3, 1, 7, 8, 6, 5}));

  // End before begin: -3, out unchanged.
  EXPECT_EQ(unique_indices(out, range + 2, range, dense1D<unsigned>()), -3);
  EXPECT_EQ(out.size(), 6u);

  // Counting: only ~0U counts nothing; a reversed range is -2.
  EXPECT_EQ(count_unique_indices(dense2D<unsigned>{{no_index, no_index}, {no_index, no_index}}), 0);
  EXPECT_EQ(count_unique_indices(range, range + 3), 6);
  EXPECT_EQ(count_unique_indices(range + 1, range), -2);
}

TEST(UniqueIndices, MatchesSetOracleOnRandomInputs) {
  std::mt19937 rng(99);
  for (int trial = 0; trial < 40; ++trial) {
    const unsigned range = 1 + rng() % 200;
    std::vector<dense2D<unsigned>> mats;
    std::vector<unsigned> all;
    for (unsigned m = 0, n = 1 + rng() % 4; m < n; ++m) {
      dense2D<unsigned> M(1 + rng() % 5, rng() % 30);
      for (std::size_t j = 0; j < M.cols(); ++j)
        for (std::size_t i = 0; i < M.rows(); ++i)
          all.push_back(M(i, j) = rng() % 9 == 0 ? no_index : rng() % range);
      mats.push_back(M);
    }
    dense1D<unsigned> exclude(rng() % 10), out;
    for (auto& v : exclude) v = rng() % range;
    ASSERT_EQ(unique_indices(out, mats.data(), mats.data() + mats.size(), exclude), 0);
    ASSERT_EQ(vec(out), first_appearances(all, vec(exclude)));
    ASSERT_EQ(count_unique_indices(mats.data(), mats.data() + mats.size()),
              static_cast<int>(first_appearances(all, {}).size()));

    dense1D<unsigned> flat(all.size()), from_list;
    std::copy(all.begin(), all.end(), flat.begin());
    ASSERT_EQ(unique_indices(from_list, flat, exclude), 0);
    ASSERT_TRUE(from_list == out);
  }
}

TEST(HashTable, BucketCountsGrowthAndMultimap) {
  using table = detail::hash_table<unsigned>;
  table small;
  EXPECT_EQ(small.bucket_count(), 23u);
  EXPECT_EQ(table(24).bucket_count(), 53u);
  EXPECT_EQ(detail::prime_at_least(5000000000ull), 4294967291u);  // the last prime beyond it

  // Growth only when the 47th entry would exceed twice 23.
  for (unsigned v = 0; v < 46; ++v) ASSERT_TRUE(small.insert_unique(v).added);
  EXPECT_EQ(small.bucket_count(), 23u);
  EXPECT_FALSE(small.insert_unique(45).added);  // a repeat adds nothing
  EXPECT_TRUE(small.insert_unique(46).added);
  EXPECT_EQ(small.bucket_count(), 53u);
  for (unsigned v = 0; v < 47; ++v) ASSERT_EQ(small.find(v), v);  // entries keep their numbers
  EXPECT_TRUE(small.find(47) == table::kNoEntry && small.size() == 47u);

  // The multimap visits every equal key, newest first.
  detail::hash_table<std::uint64_t> multi;
  for (std::uint64_t k : {5, 28, 5, 51, 5, 28}) multi.insert(k);  // 5, 28, 51 share a bucket of 23
  auto visit = [&](std::uint64_t k) {
    std::vector<unsigned> seen;
    multi.for_each_equal(k, [&](unsigned e) { seen.push_back(e); });
    return seen;
  };
  EXPECT_EQ(visit(5), (std::vector<unsigned>{4, 2, 0}));
  EXPECT_EQ(visit(28), (std::vector<unsigned>{5, 1}));
  EXPECT_TRUE(visit(74).empty());
  EXPECT_EQ(multi.find(5), 4u);
}
