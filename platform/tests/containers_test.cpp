// What the library relies on in the math library's containers: shared
// storage and deep copies, windows whose leading dimension exceeds their
// height, resizing that keeps entries, and allocation failures reported as
// false.
#include <gtest/gtest.h>

#include <cstddef>
#include <limits>

#include "ovk/math1/math1.h"
#include "support/compare.h"

using ovk::math1::dense1D;
using ovk::math1::dense2D;
using L = dense1D<unsigned>;
using M = dense2D<unsigned>;

namespace {

// Entry (i, j) = 10 * i + j, easy to recognise after a relayout.
M numbered(std::size_t rows, std::size_t cols) {
  M m(rows, cols);
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < rows; ++i) m(i, j) = static_cast<unsigned>(10 * i + j);
  return m;
}

// Sizes no allocator can serve, read through a volatile so that the compiler
// does not fold them into the loops behind the failing allocation.
volatile std::size_t absurd_size_source = std::numeric_limits<std::size_t>::max() / 4;
const std::size_t kAbsurd = absurd_size_source;

}  // namespace

TEST(Containers, CopiesShareStorageAndCopyIsDeep) {
  M A = numbered(2, 3), B(A), D;
  B(1, 2) = 99;
  ASSERT_TRUE(D.copy(A));
  D(0, 0) = 7;
  EXPECT_EQ(A(1, 2), 99u);
  EXPECT_EQ(A(0, 0), 0u);
}

TEST(Containers, WindowsWriteThroughWithTheParentsLeadingDimension) {
  M P = numbered(4, 5), w = P.sub_matrix(1, 2, 2, 3), packed;
  EXPECT_EQ(w.ld(), 4u);
  w(1, 1) = 1000;
  EXPECT_EQ(P(2, 3), 1000u);
  ASSERT_TRUE(packed.copy(w));  // a deep copy of a window is packed
  EXPECT_EQ(packed.ld(), 2u);
  EXPECT_SAME(packed, (M{{12, 22}, {13, 1000}, {14, 24}}));
}

TEST(Containers, ResizeKeepsEntriesAndFillsAddedOnes) {
  M m = numbered(3, 2);
  ASSERT_TRUE(m.reserve(3, 10));
  const unsigned* storage = m.data();
  ASSERT_TRUE(m.resize(3, 4, 9u));
  EXPECT_EQ(m.data(), storage);  // room reserved: no move
  ASSERT_TRUE(m.resize(4, 3, 8u));
  EXPECT_SAME(m, (M{{0, 10, 20, 8}, {1, 11, 21, 8}, {9, 9, 9, 8}}));
  ASSERT_TRUE(m.resize(2, 4, 1u));
  EXPECT_SAME(m, (M{{0, 10}, {1, 11}, {9, 9}, {1, 1}}));
  ASSERT_TRUE(m.resize(5, 0));
  EXPECT_EQ(m.rows(), 5u);  // r x 0 keeps its rows
  L v{1, 2, 3};
  ASSERT_TRUE(v.resize(5, 9) && v.resize(4) && v.push_back(6));
  EXPECT_SAME(v, (L{1, 2, 3, 9, 6}));
}

TEST(Containers, AllocationFailureIsReportedAsFalse) {
  L v{1, 2};
  M m = numbered(2, 2);
  EXPECT_FALSE(v.resize(kAbsurd));
  EXPECT_FALSE(v.reserve(kAbsurd));
  EXPECT_FALSE(m.resize(kAbsurd, kAbsurd));  // rows x cols overflows
  EXPECT_FALSE(m.reserve(2, kAbsurd));
  EXPECT_SAME(v, (L{1, 2}));
  EXPECT_SAME(m, numbered(2, 2));
}

// Past a megabyte the storage grows where it is when no other view holds
// it; either way the entries stay and the added ones are zero, also where
// the block held stale entries from before a shrink.
TEST(Containers, LargeStorageGrowsKeepingEntriesAndZeroFilling) {
  const std::size_t cols = (std::size_t(1) << 20) / (3 * sizeof(unsigned)) + 7;
  M m = numbered(3, cols);
  ASSERT_TRUE(m.resize(3, 5));
  M other = numbered(3, cols), shared(other);
  ASSERT_TRUE(m.resize(3, 4 * cols) && other.resize(3, 4 * cols) && other.reserve(3, 8 * cols));
  for (std::size_t j = 0; j < 4 * cols; ++j)
    for (std::size_t i = 0; i < 3; ++i) {
      ASSERT_EQ(m(i, j), j < 5 ? 10 * i + j : 0u) << i << "," << j;
      ASSERT_EQ(other(i, j), j < cols ? 10 * i + j : 0u) << i << "," << j;
    }
  EXPECT_SAME(shared, numbered(3, cols));
  L v, kept;
  ASSERT_TRUE(v.resize(cols, 5) && v.resize(2) && kept.resize(cols, 4));
  L view(kept);
  ASSERT_TRUE(v.resize(3 * cols) && kept.resize(2 * cols, 1));
  for (std::size_t i = 0; i < 3 * cols; ++i) ASSERT_EQ(v[i], i < 2 ? 5u : 0u) << i;
  for (std::size_t i = 0; i < 2 * cols; ++i) ASSERT_EQ(kept[i], i < cols ? 4u : 1u) << i;
  EXPECT_EQ(view.size(), cols);
  EXPECT_EQ(view[cols - 1], 4u);
}
