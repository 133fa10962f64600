// dense2D: layout, sharing, windows, resizing and failure reporting.
#include <gtest/gtest.h>

#include <cstddef>
#include <limits>

#include "ovk/math1/math1.h"

using ovk::math1::dense1D;
using ovk::math1::dense2D;

namespace {

// Entry (i, j) = 10 * i + j, easy to recognise after a relayout.
dense2D<unsigned> numbered(std::size_t rows, std::size_t cols) {
  dense2D<unsigned> M(rows, cols);
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < rows; ++i) M(i, j) = static_cast<unsigned>(10 * i + j);
  return M;
}

::testing::AssertionResult keeps_numbering(const dense2D<unsigned>& M, std::size_t rows,
                                           std::size_t cols) {
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < rows; ++i)
      if (M(i, j) != 10 * i + j)
        return ::testing::AssertionFailure() << "entry (" << i << ", " << j << ") = " << M(i, j);
  return ::testing::AssertionSuccess();
}

// Sizes no allocator can serve. Read through a volatile so that the compiler
// does not fold them into the fill loops behind the failing allocation.
volatile std::size_t absurd_size_source = std::numeric_limits<std::size_t>::max() / 4;
const std::size_t kAbsurd = absurd_size_source;

}  // namespace

TEST(Dense2D, ColumnMajorLayoutAndInitializerColumns) {
  const dense2D<unsigned> M{{1, 2, 3}, {4, 5, 6}};  // two columns of three rows
  EXPECT_EQ(M.rows(), 3u);
  EXPECT_EQ(M.cols(), 2u);
  EXPECT_EQ(M.ld(), 3u);
  EXPECT_EQ(M(2, 0), 3u);
  EXPECT_EQ(M(0, 1), 4u);
  EXPECT_EQ(M.column(1)[2], 6u);
  EXPECT_EQ(M.data()[4], 5u);  // entry (1, 1) at offset + 1 * ld + 1
  EXPECT_THROW((dense2D<unsigned>{{1, 2}, {3}}), std::invalid_argument);

  const dense2D<unsigned> hollow{{}, {}};  // two columns of no rows
  EXPECT_EQ(hollow.rows(), 0u);
  EXPECT_EQ(hollow.cols(), 2u);
  EXPECT_TRUE(dense2D<double>().empty());
  const dense2D<double> filled(2, 3, 1.5);
  EXPECT_EQ(filled(1, 2), 1.5);
  EXPECT_EQ(dense2D<double>(2, 2)(1, 1), 0.0);

  // r x 0 keeps its rows, whether made or resized so.
  const dense2D<unsigned> tall(3, 0);
  EXPECT_EQ(tall.rows(), 3u);
  EXPECT_TRUE(tall.empty());
  dense2D<unsigned> shrunk = numbered(4, 2);
  ASSERT_TRUE(shrunk.resize(4, 0));
  EXPECT_EQ(shrunk.rows(), 4u);
  EXPECT_EQ(shrunk.cols(), 0u);
  dense2D<unsigned> none;
  ASSERT_TRUE(none.resize(5, 0));
  EXPECT_EQ(none.rows(), 5u);
  dense2D<unsigned> copied;
  ASSERT_TRUE(copied.copy(tall));
  EXPECT_EQ(copied.rows(), 3u);
}

TEST(Dense2D, ShallowCopiesShareAndCopyIsDeep) {
  dense2D<unsigned> A = numbered(2, 3);
  dense2D<unsigned> B(A), C, S;
  C = A;
  S.shallow_copy(A);
  B(1, 2) = 99;
  EXPECT_EQ(A(1, 2), 99u);
  EXPECT_EQ(C(1, 2), 99u);
  EXPECT_EQ(S(1, 2), 99u);

  dense2D<unsigned> D;
  ASSERT_TRUE(D.copy(A));
  D(0, 0) = 7;
  EXPECT_EQ(A(0, 0), 0u);

  // A deep copy of a window is packed.
  const dense2D<unsigned> P = numbered(4, 3);
  ASSERT_TRUE(D.copy(P.sub_matrix(1, 1, 2, 2)));
  EXPECT_EQ(D.ld(), 2u);
  EXPECT_EQ(D(0, 0), 11u);
  EXPECT_EQ(D(1, 1), 22u);

  // Fill assignment touches the view's entries only.
  dense2D<unsigned> parent = numbered(3, 3);
  dense2D<unsigned> w = parent.sub_matrix(0, 1, 2, 2);
  w = 5u;
  EXPECT_EQ(parent(0, 1), 5u);
  EXPECT_EQ(parent(1, 2), 5u);
  EXPECT_EQ(parent(2, 1), 21u);
  EXPECT_EQ(parent(0, 0), 0u);
}

TEST(Dense2D, SubMatrixWindowsWriteThroughWithTheParentsLd) {
  dense2D<unsigned> P = numbered(4, 5);
  dense2D<unsigned> w = P.sub_matrix(1, 2, 2, 3);
  EXPECT_EQ(w.rows(), 2u);
  EXPECT_EQ(w.cols(), 3u);
  EXPECT_EQ(w.ld(), 4u);
  EXPECT_EQ(w(0, 0), 12u);
  EXPECT_EQ(w(1, 2), 24u);
  EXPECT_EQ(w.column(1), &P(1, 3));
  w(1, 1) = 1000;
  EXPECT_EQ(P(2, 3), 1000u);
  EXPECT_THROW(P.sub_matrix(3, 0, 2, 1), std::out_of_range);
  EXPECT_THROW(P.sub_matrix(0, 4, 1, 2), std::out_of_range);

  // A window of a window.
  dense2D<unsigned> ww = w.sub_matrix(1, 1, 1, 2);
  ww(0, 1) = 2000;
  EXPECT_EQ(P(2, 4), 2000u);

  // Growing a window while its parent lives must not write into the parent.
  dense2D<unsigned> grow = P.sub_matrix(0, 0, 2, 2);
  ASSERT_TRUE(grow.resize(2, 3, 77u));
  EXPECT_EQ(P(0, 2), 2u);
  EXPECT_EQ(grow(0, 2), 77u);
  EXPECT_EQ(grow(1, 1), 11u);
  EXPECT_EQ(grow.ld(), 2u);
}

TEST(Dense2D, AsVectorSeesColumnAfterColumn) {
  dense2D<unsigned> M = numbered(2, 3);
  dense1D<unsigned> v = M.as_vector();
  ASSERT_EQ(v.size(), 6u);
  EXPECT_EQ(v[3], 11u);
  v[0] = 55;
  EXPECT_EQ(M(0, 0), 55u);  // packed: shared storage

  const dense2D<unsigned> P = numbered(3, 3);
  const dense1D<unsigned> w = P.sub_matrix(1, 0, 2, 3).as_vector();  // ld 3 > rows 2
  ASSERT_EQ(w.size(), 6u);
  const unsigned want[] = {10, 20, 11, 21, 12, 22};
  for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(w[k], want[k]);
  EXPECT_TRUE(dense2D<unsigned>(3, 0).as_vector().empty());
}

TEST(Dense2D, ResizeKeepsEntriesInRangeAndFillsAddedOnes) {
  // More columns, same rows: in place when unshared.
  dense2D<unsigned> M = numbered(3, 2);
  ASSERT_TRUE(M.reserve(3, 10));
  const unsigned* storage = M.data();
  ASSERT_TRUE(M.resize(3, 4, 9u));
  EXPECT_EQ(M.data(), storage);
  EXPECT_TRUE(keeps_numbering(M, 3, 2));
  EXPECT_EQ(M(2, 3), 9u);
  EXPECT_EQ(M.col_capacity(), 10u);

  // Taller and wider: relayout keeps (i, j).
  ASSERT_TRUE(M.resize(5, 5, 8u));
  EXPECT_EQ(M.ld(), 5u);
  EXPECT_TRUE(keeps_numbering(M, 3, 2));
  EXPECT_EQ(M(4, 0), 8u);
  EXPECT_EQ(M(3, 1), 8u);
  EXPECT_EQ(M(0, 4), 8u);
  EXPECT_EQ(M(2, 3), 9u);

  // Shorter: entries of the remaining rows stay.
  dense2D<unsigned> S = numbered(4, 4);
  ASSERT_TRUE(S.resize(2, 3));
  EXPECT_TRUE(keeps_numbering(S, 2, 3));
  ASSERT_TRUE(S.resize(2, 5, 1u));
  EXPECT_TRUE(keeps_numbering(S, 2, 3));
  EXPECT_EQ(S(1, 4), 1u);
  ASSERT_TRUE(S.resize(1, 6, 4u));
  EXPECT_TRUE(keeps_numbering(S, 1, 3));
  EXPECT_EQ(S(0, 3), 1u);
  EXPECT_EQ(S(0, 5), 4u);

  // A shared block is never grown in place.
  dense2D<unsigned> A = numbered(2, 2);
  ASSERT_TRUE(A.reserve(2, 8));
  dense2D<unsigned> B = A;
  ASSERT_TRUE(B.resize(2, 3, 6u));
  EXPECT_NE(B.data(), A.data());
  EXPECT_EQ(A.cols(), 2u);
  B.clear();
  ASSERT_TRUE(B.resize(2, 2, 3u));
  EXPECT_TRUE(keeps_numbering(A, 2, 2));
}

TEST(Dense2D, ClearKeepsStorageAndReserveAllowsGrowthInPlace) {
  dense2D<double> M(3, 4, 2.0);
  const double* storage = M.data();
  M.clear();
  EXPECT_EQ(M.rows(), 0u);
  EXPECT_EQ(M.cols(), 0u);
  ASSERT_TRUE(M.resize(2, 6, 1.0));  // 12 entries fit the old 12
  EXPECT_EQ(M.data(), storage);
  for (std::size_t j = 0; j < 6; ++j) EXPECT_EQ(M(0, j) + M(1, j), 2.0);
  M.clear_hard();
  EXPECT_EQ(M.data(), nullptr);
  EXPECT_EQ(M.col_capacity(), 0u);

  // Appending columns one at a time after reserve never moves the storage.
  dense2D<unsigned> E;
  ASSERT_TRUE(E.reserve(4, 50));
  EXPECT_TRUE(E.empty());
  ASSERT_TRUE(E.resize(4, 1, 0u));
  const unsigned* reserved = E.data();
  for (std::size_t j = 1; j < 50; ++j) {
    ASSERT_TRUE(E.resize(4, j + 1, static_cast<unsigned>(j)));
    ASSERT_EQ(E.data(), reserved);
  }
  for (std::size_t j = 0; j < 50; ++j) ASSERT_EQ(E(3, j), j);

  // A taller reserve relayouts now and keeps the entries.
  dense2D<unsigned> T = numbered(2, 3);
  ASSERT_TRUE(T.reserve(4, 6));
  EXPECT_EQ(T.rows(), 2u);
  EXPECT_EQ(T.ld(), 4u);
  EXPECT_TRUE(keeps_numbering(T, 2, 3));
  const unsigned* tall = T.data();
  ASSERT_TRUE(T.resize(2, 6, 0u));
  EXPECT_EQ(T.data(), tall);
  EXPECT_TRUE(keeps_numbering(T, 2, 3));
}

TEST(Dense2D, AllocationFailureIsReportedAsFalse) {
  dense2D<unsigned> M = numbered(2, 2);
  EXPECT_FALSE(M.resize(kAbsurd, 2));
  EXPECT_FALSE(M.resize(2, kAbsurd));
  EXPECT_FALSE(M.resize(kAbsurd, kAbsurd));  // rows x cols overflows
  EXPECT_FALSE(M.reserve(2, kAbsurd));
  EXPECT_FALSE(M.reserve(kAbsurd, 3));
  EXPECT_EQ(M.rows(), 2u);
  EXPECT_EQ(M.cols(), 2u);
  EXPECT_TRUE(keeps_numbering(M, 2, 2));
  EXPECT_THROW(dense2D<double>(kAbsurd, 1), std::bad_alloc);
}
