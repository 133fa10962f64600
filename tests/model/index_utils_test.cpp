// Largest index, untyped check, shifting, renumbering, permuting and sorting.
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
using quernfold_model_test::padded_window;

TEST(MaxID, SkipsNoIndexAndReportsEmpty) {
  EXPECT_EQ(max_ID(dense1D<unsigned>()), kNo);
  EXPECT_EQ(max_ID(dense1D<unsigned>{kNo, kNo}), 0u);
  EXPECT_EQ(max_ID(dense1D<unsigned>{3, kNo, 7}), 7u);
  EXPECT_EQ(max_ID(dense1D<unsigned>{9, 2}), 9u);

  EXPECT_EQ(max_ID(dense2D<unsigned>()), kNo);
  EXPECT_EQ(max_ID(dense2D<unsigned>(3, 0)), kNo);  // 3 x 0 has no entries
  EXPECT_EQ(max_ID(dense2D<unsigned>{{1, kNo}, {kNo, 4}}), 4u);
  EXPECT_EQ(max_ID(dense2D<unsigned>{{kNo}, {kNo}}), 0u);

  // A window whose ld exceeds its rows: the gap holds 100, which must not count.
  dense2D<unsigned> parent;
  const dense2D<unsigned> w = padded_window({{1, 5}, {2, kNo}}, 100, parent);
  EXPECT_EQ(w.ld(), 3u);
  EXPECT_EQ(max_ID(w), 5u);
}

TEST(CheckIDsUntyped, AcceptsNoIndexAnywhereAndIgnoresHeight) {
  const dense1D<unsigned> ids{0, kNo, 4};
  EXPECT_TRUE(check_IDs(ids, 5));
  EXPECT_FALSE(check_IDs(ids, 4));
  EXPECT_TRUE(check_IDs(ids, kNo));
  EXPECT_TRUE(check_IDs(dense1D<unsigned>{kNo - 1}, kNo));
  EXPECT_TRUE(check_IDs(dense1D<unsigned>(), 0));
  EXPECT_FALSE(check_IDs(dense1D<unsigned>{0}, 0));
  EXPECT_TRUE(check_IDs(dense1D<unsigned>{kNo}, 0));

  // Any height; ~0U in any row.
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{kNo, 1, 2, 3, 4}}, 5));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1}, {2, 5}}, 5));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, 1}, {2, 5}}, kNo));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>(0, 4), 0));

  dense2D<unsigned> parent;
  const dense2D<unsigned> w = padded_window({{0, 1}, {2, 3}}, 99, parent);
  EXPECT_TRUE(check_IDs(w, 4));  // the 99s between columns are not entries
  EXPECT_FALSE(check_IDs(w, 3));
}

TEST(ShiftIndices, ListWrapsAndKeepsNoIndex) {
  dense1D<unsigned> ids{0, kNo, 3};
  EXPECT_EQ(shift_indices(ids, 2), 0);
  EXPECT_EQ(ids, list({2, kNo, 5}));
  EXPECT_EQ(shift_indices(ids, -2), 0);
  EXPECT_EQ(ids, list({0, kNo, 3}));

  dense1D<unsigned> wrap{5, 0};
  shift_indices(wrap, -1);
  EXPECT_EQ(wrap, list({4, kNo}));  // 0 - 1 wraps to 4294967295

  dense1D<unsigned> same{1, 2};
  EXPECT_EQ(shift_indices(same, 0), 0);
  EXPECT_EQ(same, list({1, 2}));
}

TEST(ShiftIndices, MatrixKeepsNoIndexOnlyForMixedKinds) {
  dense2D<unsigned> tria{{0, 1, kNo}};
  shift_indices(tria, 2, ET_TRIA3);
  EXPECT_EQ(tria(2, 0), 1u);  // a pure kind is shifted blindly: ~0U + 2 wraps to 1
  EXPECT_EQ(tria(0, 0), 2u);

  dense2D<unsigned> face{{0, 1, 2, kNo}, {3, 4, 5, 6}};
  shift_indices(face, 2, ET_FACE_MIX);
  EXPECT_EQ(face(3, 0), kNo);
  EXPECT_EQ(face(2, 0), 4u);
  EXPECT_EQ(face(3, 1), 8u);

  dense2D<unsigned> solid{{0, 1, 2, 3, kNo, kNo, kNo, kNo}};
  shift_indices(solid, 10, ET_SOLID_MIX);
  EXPECT_EQ(solid(3, 0), 13u);
  EXPECT_EQ(solid(4, 0), kNo);
  EXPECT_EQ(solid(7, 0), kNo);

  // The rule follows the kind passed, not the height: ET_EDGE_MIX is not one
  // of the two kinds that keep ~0U, and a 3-row ET_FACE_MIX keeps it.
  dense2D<unsigned> edge{{kNo, 4}};
  shift_indices(edge, 1, ET_EDGE_MIX);
  EXPECT_EQ(edge(0, 0), 0u);
  dense2D<unsigned> face3{{kNo, 1, 2}};
  shift_indices(face3, 1, ET_FACE_MIX);
  EXPECT_EQ(face3(0, 0), kNo);

  // Entries between the columns of a window stay untouched.
  dense2D<unsigned> parent;
  dense2D<unsigned> w = padded_window({{0, 1}, {2, 3}}, 77, parent);
  shift_indices(w, 5, ET_EDGE2);
  EXPECT_EQ(parent(2, 0), 77u);
  EXPECT_EQ(parent(2, 1), 77u);
  EXPECT_EQ(parent(0, 1), 7u);  // write-through to the parent
}

TEST(ChangeIndices, MapsEntriesBelowMapSize) {
  dense1D<unsigned> ids{0, 1, 5, kNo};
  change_indices(ids, dense1D<unsigned>{7, kNo});
  EXPECT_EQ(ids, list({7, kNo, 5, kNo}));

  dense2D<unsigned> M{{0, 1, 2}, {2, 3, kNo}};
  change_indices(M, dense1D<unsigned>{10, 11, 12});
  EXPECT_EQ(M(0, 0), 10u);
  EXPECT_EQ(M(2, 0), 12u);
  EXPECT_EQ(M(0, 1), 12u);
  EXPECT_EQ(M(1, 1), 3u);  // not below the map size
  EXPECT_EQ(M(2, 1), kNo);

  // An empty map changes nothing; a map entry is applied once, not chained.
  dense1D<unsigned> chain{0, 1};
  change_indices(chain, dense1D<unsigned>());
  EXPECT_EQ(chain, list({0, 1}));
  change_indices(chain, dense1D<unsigned>{1, 0});
  EXPECT_EQ(chain, list({1, 0}));
}

TEST(Permutation, MovesEntriesToTheirTargets) {
  const unsigned a = 10, b = 20, c = 30;
  dense1D<unsigned> V{a, b, c};
  EXPECT_EQ(permutation(V, dense1D<unsigned>{2, 0, 1}), 0);
  EXPECT_EQ(V, list({b, c, a}));

  V = dense1D<unsigned>{a, b, c};
  EXPECT_EQ(permutation(V, dense1D<unsigned>{1, 1}), 0);
  EXPECT_EQ(V, list({a, a, c}));  // perm[1] = 1 does not overwrite what perm[0] wrote

  V = dense1D<unsigned>{a, b, c};
  EXPECT_EQ(permutation(V, dense1D<unsigned>()), 0);
  EXPECT_EQ(V, list({a, b, c}));

  // Later entries win; ~0U and out-of-range targets are skipped; a longer
  // perm is read only up to V's size.
  V = dense1D<unsigned>{a, b, c};
  EXPECT_EQ(permutation(V, dense1D<unsigned>{2, 2, 0, 1}), 0);
  EXPECT_EQ(V, list({c, b, b}));
  V = dense1D<unsigned>{a, b, c};
  EXPECT_EQ(permutation(V, dense1D<unsigned>{kNo, 7, 0}), 0);
  EXPECT_EQ(V, list({c, b, c}));

  dense1D<unsigned> empty;
  EXPECT_EQ(permutation(empty, dense1D<unsigned>{0}), 0);
  EXPECT_TRUE(empty.empty());

  dense1D<double> D{1.5, 2.5, 3.5};
  EXPECT_EQ(permutation(D, dense1D<unsigned>{2, 0, 1}), 0);
  EXPECT_EQ(D[0], 2.5);
  EXPECT_EQ(D[1], 3.5);
  EXPECT_EQ(D[2], 1.5);
}

TEST(Permutation, RandomShufflesRoundTripAndWriteThroughViews) {
  std::mt19937 rng(42);
  for (int trial = 0; trial < 20; ++trial) {
    const unsigned n = 1 + rng() % 50;
    std::vector<unsigned> p(n);
    std::iota(p.begin(), p.end(), 0u);
    std::shuffle(p.begin(), p.end(), rng);
    dense1D<unsigned> perm(n), inverse(n);
    dense1D<double> V(n), original;
    for (unsigned i = 0; i < n; ++i) {
      perm[i] = p[i];
      inverse[p[i]] = i;
      V[i] = 0.5 * i + trial;
    }
    ASSERT_TRUE(original.copy(V));
    ASSERT_EQ(permutation(V, perm), 0);
    for (unsigned i = 0; i < n; ++i) ASSERT_EQ(V[p[i]], original[i]);
    ASSERT_EQ(permutation(V, inverse), 0);
    ASSERT_TRUE(V == original);
  }

  // V may be a window of a larger list: the result lands in the parent.
  dense1D<unsigned> parent{9, 1, 2, 3, 9};
  dense1D<unsigned> window = parent.sub_vector(1, 3);
  ASSERT_EQ(permutation(window, dense1D<unsigned>{1, 2, 0}), 0);
  EXPECT_EQ(parent, list({9, 3, 1, 2, 9}));
}

TEST(GetSortedOrder, StableCountingSort) {
  dense1D<unsigned> order{99}, offsets{99};
  EXPECT_EQ(get_sorted_order(dense1D<unsigned>{2, 0, kNo, 2}, order, offsets), 0);
  EXPECT_EQ(order, list({1, 0, 3}));
  EXPECT_EQ(offsets, list({0, 1, 1, 3}));

  EXPECT_EQ(get_sorted_order(dense1D<unsigned>(), order, offsets), 0);
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(offsets, list({0}));

  // Only ~0U: max_ID is 0, so offsets = (0, 0) and order is empty.
  EXPECT_EQ(get_sorted_order(dense1D<unsigned>{kNo, kNo}, order, offsets), 0);
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(offsets, list({0, 0}));

  EXPECT_EQ(get_sorted_order(dense1D<unsigned>{0}, order, offsets), 0);
  EXPECT_EQ(order, list({0}));
  EXPECT_EQ(offsets, list({0, 1}));

  EXPECT_EQ(get_sorted_order(dense1D<unsigned>{3, 3, 1}, order, offsets), 0);
  EXPECT_EQ(order, list({2, 0, 1}));
  EXPECT_EQ(offsets, list({0, 0, 1, 1, 3}));
}

TEST(GetSortedOrder, MatchesStableSortOnRandomLists) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 50; ++trial) {
    const unsigned n = rng() % 60, range = 1 + rng() % 20;
    dense1D<unsigned> values(n);
    for (unsigned i = 0; i < n; ++i) values[i] = rng() % 5 == 0 ? kNo : rng() % range;
    dense1D<unsigned> order, offsets;
    ASSERT_EQ(get_sorted_order(values, order, offsets), 0);

    std::vector<unsigned> expected;
    for (unsigned i = 0; i < n; ++i)
      if (values[i] != kNo) expected.push_back(i);
    std::stable_sort(expected.begin(), expected.end(),
                     [&](unsigned x, unsigned y) { return values[x] < values[y]; });
    ASSERT_EQ(std::vector<unsigned>(order.begin(), order.end()), expected);

    const unsigned M = n ? max_ID(values) : 0;
    ASSERT_EQ(offsets.size(), n ? M + 2 : 1u);
    ASSERT_EQ(offsets[0], 0u);
    for (unsigned v = 0; n && v <= M; ++v) {
      const auto count = std::count(values.begin(), values.end(), v);
      ASSERT_EQ(offsets[v + 1] - offsets[v], static_cast<unsigned>(count));
      for (unsigned k = offsets[v]; k < offsets[v + 1]; ++k) ASSERT_EQ(values[order[k]], v);
    }
  }
}
