// Distinct indices, their count, and the hash table behind them.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include <quernfold/quernfold.h>

#include "common/hash_set.h"
#include "model/model_test_util.h"

using namespace ovk::quernfold;
using quernfold_model_test::kNo;
using quernfold_model_test::list;
using quernfold_model_test::padded_window;

namespace {

// Distinct entries other than ~0U and the excluded ones, by first appearance.
std::vector<unsigned> first_appearances(const std::vector<unsigned>& entries,
                                        const std::vector<unsigned>& exclude) {
  std::set<unsigned> seen(exclude.begin(), exclude.end());
  seen.insert(kNo);
  std::vector<unsigned> out;
  for (unsigned v : entries)
    if (seen.insert(v).second) out.push_back(v);
  return out;
}

std::vector<unsigned> entries_of(const dense2D<unsigned>& M) {
  std::vector<unsigned> e;
  for (std::size_t j = 0; j < M.cols(); ++j)
    for (std::size_t i = 0; i < M.rows(); ++i) e.push_back(M(i, j));
  return e;
}

dense2D<unsigned> random_matrix(std::mt19937& rng, unsigned rows, unsigned cols, unsigned range) {
  dense2D<unsigned> M(rows, cols);
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < rows; ++i) M(i, j) = rng() % 9 == 0 ? kNo : rng() % range;
  return M;
}

}  // namespace

TEST(UniqueIndices, ListAppendsFirstAppearancesWithoutExcluded) {
  dense1D<unsigned> out;
  EXPECT_EQ(unique_indices(out, list({4, 2, 4, kNo, 1}), list({1})), 0);
  EXPECT_EQ(out, list({4, 2}));

  // out is appended to; what it already holds plays no part.
  EXPECT_EQ(unique_indices(out, list({2, 5, 2}), dense1D<unsigned>()), 0);
  EXPECT_EQ(out, list({4, 2, 2, 5}));
  EXPECT_GE(out.capacity(), 4u);

  EXPECT_EQ(unique_indices(out, dense1D<unsigned>(), dense1D<unsigned>()), 0);
  EXPECT_EQ(out.size(), 4u);

  // The exclusion list is a shared view: it is read, never changed, even
  // when it is a view of out itself.
  dense1D<unsigned> exclude = out.sub_vector(0, 2);
  EXPECT_EQ(unique_indices(out, list({4, 9, 2, 2, 9}), exclude), 0);
  EXPECT_EQ(out, list({4, 2, 2, 5, 9}));
  EXPECT_EQ(exclude, list({4, 2}));
}

TEST(UniqueIndices, MatricesAndRanges) {
  dense1D<unsigned> out{42};
  const dense2D<unsigned> M{{3, 1, kNo}, {1, 7, 3}};
  EXPECT_EQ(unique_indices(out, M, list({7})), 0);
  EXPECT_EQ(out, list({42, 3, 1}));

  // A window with ld > rows contributes only its own entries.
  dense2D<unsigned> parent;
  const dense2D<unsigned> W = padded_window({{8, 6}, {6, 5}}, 1000, parent);
  dense2D<unsigned> range[3] = {M, dense2D<unsigned>(2, 0), W};
  out.clear();
  EXPECT_EQ(unique_indices(out, range, range + 3, dense1D<unsigned>()), 0);
  EXPECT_EQ(out, list({3, 1, 7, 8, 6, 5}));

  // Range codes: empty range, and end before begin (out unchanged).
  EXPECT_EQ(unique_indices(out, range + 1, range + 1, dense1D<unsigned>()), 0);
  EXPECT_EQ(unique_indices(out, range + 2, range, dense1D<unsigned>()), -3);
  EXPECT_EQ(out.size(), 6u);

  // Only ~0U gives nothing.
  out.clear();
  EXPECT_EQ(unique_indices(out, dense2D<unsigned>{{kNo, kNo}}, dense1D<unsigned>()), 0);
  EXPECT_TRUE(out.empty());
}

TEST(CountUniqueIndices, CountsDistinctEntriesOtherThanNoIndex) {
  EXPECT_EQ(count_unique_indices(dense2D<unsigned>{{kNo, kNo}, {kNo, kNo}}), 0);
  EXPECT_EQ(count_unique_indices(dense2D<unsigned>()), 0);
  EXPECT_EQ(count_unique_indices(dense2D<unsigned>{{3, 1, kNo}, {1, 7, 3}}), 3);

  dense2D<unsigned> parent;
  dense2D<unsigned> range[2] = {dense2D<unsigned>{{0, 1}},
                                padded_window({{1, 2}, {2, 3}}, 50, parent)};
  EXPECT_EQ(count_unique_indices(range, range + 2), 4);
  EXPECT_EQ(count_unique_indices(range, range), 0);
  EXPECT_EQ(count_unique_indices(range + 1, range), -2);
}

TEST(UniqueIndices, MatchesSetOracleOnRandomInputs) {
  std::mt19937 rng(99);
  for (int trial = 0; trial < 40; ++trial) {
    const unsigned range = 1 + rng() % 200;
    std::vector<dense2D<unsigned>> mats;
    std::vector<unsigned> all;
    for (unsigned m = 0, n = 1 + rng() % 4; m < n; ++m) {
      mats.push_back(random_matrix(rng, 1 + rng() % 5, rng() % 30, range));
      const auto e = entries_of(mats.back());
      all.insert(all.end(), e.begin(), e.end());
    }
    std::vector<unsigned> excluded;
    for (unsigned k = 0, n = rng() % 10; k < n; ++k) excluded.push_back(rng() % range);
    dense1D<unsigned> exclude(excluded.size());
    std::copy(excluded.begin(), excluded.end(), exclude.begin());

    const auto want = first_appearances(all, excluded);
    dense1D<unsigned> out;
    ASSERT_EQ(unique_indices(out, mats.data(), mats.data() + mats.size(), exclude), 0);
    ASSERT_EQ(std::vector<unsigned>(out.begin(), out.end()), want);
    ASSERT_EQ(count_unique_indices(mats.data(), mats.data() + mats.size()),
              static_cast<int>(first_appearances(all, {}).size()));

    dense1D<unsigned> flat(all.size()), from_list;
    std::copy(all.begin(), all.end(), flat.begin());
    ASSERT_EQ(unique_indices(from_list, flat, exclude), 0);
    ASSERT_TRUE(from_list == out);
  }
}

TEST(UniqueIndices, ManyDistinctValuesAndALargeExclusionList) {
  // More distinct values than the up-front sizing expects forces growth: a
  // short input against 5000 excluded values.
  dense1D<unsigned> exclude(5000);
  for (unsigned i = 0; i < 5000; ++i) exclude[i] = 3 * i;
  dense1D<unsigned> out;
  ASSERT_EQ(unique_indices(out, list({0, 1, 3, 4, 15000, 1}), exclude), 0);
  EXPECT_EQ(out, list({1, 4, 15000}));

  // 100000 distinct values in a scrambled order.
  dense2D<unsigned> M(4, 50000);
  for (unsigned k = 0; k < 200000; ++k) M(k % 4, k / 4) = (k * 7919u) % 100000u;
  EXPECT_EQ(count_unique_indices(M), 100000);
  out.clear();
  ASSERT_EQ(unique_indices(out, M, dense1D<unsigned>()), 0);
  ASSERT_EQ(out.size(), 100000u);
  EXPECT_EQ(out[0], 0u);
  EXPECT_EQ(out[1], 7919u);
}

TEST(HashTable, BucketCountsFollowThePrimeTable) {
  using table = detail::hash_table<unsigned>;
  table small;
  EXPECT_EQ(small.bucket_count(), 23u);
  EXPECT_EQ(table(23).bucket_count(), 23u);
  EXPECT_EQ(table(24).bucket_count(), 53u);
  EXPECT_EQ(table(100).bucket_count(), 193u);
  EXPECT_EQ(detail::prime_at_least(5000000000ull), 4294967291u);  // the last prime beyond it

  // Growth only when the 47th entry would exceed twice 23.
  for (unsigned v = 0; v < 46; ++v) ASSERT_TRUE(small.insert_unique(v).added);
  EXPECT_EQ(small.bucket_count(), 23u);
  EXPECT_FALSE(small.insert_unique(45).added);  // a repeat adds nothing
  EXPECT_EQ(small.bucket_count(), 23u);
  EXPECT_TRUE(small.insert_unique(46).added);
  EXPECT_EQ(small.bucket_count(), 53u);
  for (unsigned v = 0; v < 47; ++v) ASSERT_EQ(small.find(v), v);  // entries keep their numbers
  EXPECT_EQ(small.find(47), table::kNoEntry);
  EXPECT_EQ(small.size(), 47u);
}

TEST(HashTable, MultimapVisitsEveryEqualKey) {
  detail::hash_table<std::uint64_t> multi;
  const std::uint64_t keys[] = {5, 28, 5, 51, 5, 28};  // 5, 28, 51 share a bucket of 23
  for (std::uint64_t k : keys) multi.insert(k);
  std::vector<unsigned> seen;
  multi.for_each_equal(5, [&](unsigned e) { seen.push_back(e); });
  EXPECT_EQ(seen, (std::vector<unsigned>{4, 2, 0}));
  seen.clear();
  multi.for_each_equal(28, [&](unsigned e) { seen.push_back(e); });
  EXPECT_EQ(seen, (std::vector<unsigned>{5, 1}));
  seen.clear();
  multi.for_each_equal(74, [&](unsigned e) { seen.push_back(e); });
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(multi.find(5), 4u);
}
