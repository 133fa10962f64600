// dense1D: sharing, deep copies, growth, views and failure reporting.
#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <vector>

#include "ovk/math1/math1.h"

using ovk::math1::dense1D;

namespace {

std::vector<unsigned> entries(const dense1D<unsigned>& v) {
  return std::vector<unsigned>(v.begin(), v.end());
}

// Sizes no allocator can serve. Read through a volatile so that the compiler
// does not fold them into the fill loops behind the failing allocation.
volatile std::size_t absurd_size_source = std::numeric_limits<std::size_t>::max() / 2;
const std::size_t kAbsurd = absurd_size_source;

}  // namespace

TEST(Dense1D, ConstructionAndFill) {
  dense1D<unsigned> none;
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.data(), nullptr);
  EXPECT_EQ(entries(dense1D<unsigned>(3)), (std::vector<unsigned>{0, 0, 0}));
  EXPECT_EQ(entries(dense1D<unsigned>(2, 7u)), (std::vector<unsigned>{7, 7}));
  EXPECT_EQ(entries(dense1D<unsigned>{3, 5}), (std::vector<unsigned>{3, 5}));  // a list, not a size

  dense1D<double> d{1.0, 2.0, 3.0};
  d = 0.5;
  for (double x : d) EXPECT_EQ(x, 0.5);
}

TEST(Dense1D, CopiesShareAndCopyIsDeep) {
  dense1D<unsigned> a{1, 2, 3};
  dense1D<unsigned> b(a);
  dense1D<unsigned> c;
  c = a;
  dense1D<unsigned> s;
  s.shallow_copy(a);
  b[0] = 10;
  EXPECT_EQ(a[0], 10u);
  EXPECT_EQ(c[0], 10u);
  EXPECT_EQ(s[0], 10u);
  EXPECT_EQ(a.block()->use_count(), 4);

  dense1D<unsigned> deep;
  ASSERT_TRUE(deep.copy(a));
  deep[1] = 20;
  EXPECT_EQ(a[1], 2u);
  EXPECT_NE(deep.block(), a.block());

  // Assigning a view of one's own block, and self-assignment, keep the block alive.
  dense1D<unsigned> self{4, 5, 6};
  self = self.sub_vector(1, 2);
  EXPECT_EQ(entries(self), (std::vector<unsigned>{5, 6}));
  dense1D<unsigned>& alias = self;
  self = alias;
  EXPECT_EQ(entries(self), (std::vector<unsigned>{5, 6}));
  EXPECT_EQ(self.block()->use_count(), 1);

  // Moving hands the block over.
  dense1D<unsigned> moved(static_cast<dense1D<unsigned>&&>(deep));
  EXPECT_TRUE(deep.empty());
  EXPECT_EQ(moved[1], 20u);
  EXPECT_EQ(moved.block()->use_count(), 1);
}

TEST(Dense1D, SubVectorWritesThroughAndGrowsApart) {
  dense1D<unsigned> parent{0, 1, 2, 3, 4};
  dense1D<unsigned> mid = parent.sub_vector(1, 3);
  EXPECT_EQ(mid.size(), 3u);
  mid[0] = 11;
  EXPECT_EQ(parent[1], 11u);
  EXPECT_THROW(parent.sub_vector(4, 2), std::out_of_range);

  // Growing a view whose block is shared must not overwrite the parent's
  // entry 4, which sits right after the view.
  ASSERT_TRUE(mid.push_back(99));
  EXPECT_EQ(parent[4], 4u);
  EXPECT_EQ(entries(mid), (std::vector<unsigned>{11, 2, 3, 99}));
  mid[0] = 7;
  EXPECT_EQ(parent[1], 11u);  // detached after reallocation

  // Same for resize with a value.
  dense1D<unsigned> head = parent.sub_vector(0, 2);
  ASSERT_TRUE(head.resize(4, 8));
  EXPECT_EQ(entries(head), (std::vector<unsigned>{0, 11, 8, 8}));
  EXPECT_EQ(parent[2], 2u);
}

TEST(Dense1D, ResizeReserveClearAndPushBack) {
  dense1D<unsigned> v{1, 2, 3};
  ASSERT_TRUE(v.resize(5, 9));
  EXPECT_EQ(entries(v), (std::vector<unsigned>{1, 2, 3, 9, 9}));
  ASSERT_TRUE(v.resize(2));
  EXPECT_EQ(entries(v), (std::vector<unsigned>{1, 2}));
  ASSERT_TRUE(v.resize(3));
  EXPECT_EQ(v[2], 0u);  // added entries take T(), not the old value

  // clear keeps the storage, clear_hard releases it.
  const unsigned* storage = v.data();
  const std::size_t cap = v.capacity();
  v.clear();
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(v.capacity(), cap);
  ASSERT_TRUE(v.resize(2, 4));
  EXPECT_EQ(v.data(), storage);
  EXPECT_EQ(entries(v), (std::vector<unsigned>{4, 4}));
  v.clear_hard();
  EXPECT_EQ(v.capacity(), 0u);
  EXPECT_EQ(v.data(), nullptr);

  // reserve, then growth happens in place.
  dense1D<unsigned> r;
  ASSERT_TRUE(r.reserve(100));
  EXPECT_TRUE(r.empty());
  EXPECT_GE(r.capacity(), 100u);
  const unsigned* reserved = r.data();
  for (unsigned i = 0; i < 100; ++i) ASSERT_TRUE(r.push_back(i));
  EXPECT_EQ(r.data(), reserved);
  EXPECT_EQ(r[99], 99u);

  ASSERT_TRUE(r.push_back_n(7, 3));
  EXPECT_EQ(r.size(), 103u);
  EXPECT_EQ(r[100], 7u);
  EXPECT_EQ(r[102], 7u);
  ASSERT_TRUE(r.push_back_n(5, 0));
  EXPECT_EQ(r.size(), 103u);

  // Many pushes grow geometrically and keep every entry.
  dense1D<unsigned> g;
  for (unsigned i = 0; i < 10000; ++i) ASSERT_TRUE(g.push_back(i * 3));
  for (unsigned i = 0; i < 10000; ++i) ASSERT_EQ(g[i], i * 3);

  // A shared block is not reused by a cleared view that grows again.
  dense1D<unsigned> keep{1, 2, 3};
  dense1D<unsigned> other = keep;
  other.clear();
  ASSERT_TRUE(other.push_back(50));
  EXPECT_EQ(keep[0], 1u);
}

TEST(Dense1D, EqualityComparesEntries) {
  const dense1D<unsigned> a{1, 2, 3}, b{1, 2, 3}, c{1, 2}, d{1, 2, 4};
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a == c);
  EXPECT_FALSE(a == d);
  EXPECT_TRUE(a != d);
  const dense1D<unsigned> share = a;
  EXPECT_TRUE(share == a);
  EXPECT_TRUE(dense1D<unsigned>() == dense1D<unsigned>(0));
  EXPECT_TRUE(a.sub_vector(1, 1) == dense1D<unsigned>{2});
}

TEST(Dense1D, AllocationFailureIsReportedAsFalse) {
  dense1D<unsigned> v{1, 2};
  EXPECT_FALSE(v.resize(kAbsurd));
  EXPECT_EQ(entries(v), (std::vector<unsigned>{1, 2}));  // unchanged
  EXPECT_FALSE(v.resize(std::numeric_limits<std::size_t>::max(), 3));
  EXPECT_FALSE(v.reserve(kAbsurd));
  EXPECT_FALSE(v.push_back_n(0, kAbsurd));
  EXPECT_FALSE(v.push_back_n(0, std::numeric_limits<std::size_t>::max()));
  EXPECT_EQ(v.size(), 2u);
  EXPECT_THROW(dense1D<double> big(kAbsurd), std::bad_alloc);
}
