// Comparisons of the math library's containers that name the first differing
// entry (row and column) and print both sides. Doubles compare bit for bit
// (NaN equals NaN, -0.0 differs from 0.0) unless a tolerance is given.
//
//   EXPECT_SAME(got, want);          // dense1D / dense2D, exact
//   EXPECT_NEAR_ALL(got, want, tol); // |got - want| <= tol entry by entry
//   EXPECT_CODES({call(), -2}, ...); // a table of (returned, expected) codes
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <sstream>
#include <type_traits>
#include <utility>
#include <vector>

#include "ovk/math1/math1.h"

namespace quernfold_test {

// The entries of either container, column after column.
template <class T>
std::vector<T> entries(const ovk::math1::dense2D<T>& M) {
  std::vector<T> v;
  for (std::size_t j = 0; j < M.cols(); ++j) v.insert(v.end(), M.column(j), M.column(j) + M.rows());
  return v;
}

template <class T, int A>
std::vector<T> entries(const ovk::math1::dense1D<T, A>& V) {
  return std::vector<T>(V.begin(), V.end());
}

// Rows and columns of either container (a dense1D is one column).
template <class T>
std::pair<std::size_t, std::size_t> shape(const ovk::math1::dense2D<T>& M) {
  return {M.rows(), M.cols()};
}

template <class T, int A>
std::pair<std::size_t, std::size_t> shape(const ovk::math1::dense1D<T, A>& V) {
  return {V.size(), 1};
}

// A deep copy (copy construction shares the storage).
template <class T>
ovk::math1::dense2D<T> copy_of(const ovk::math1::dense2D<T>& m) {
  ovk::math1::dense2D<T> c;
  EXPECT_TRUE(c.copy(m));
  return c;
}

// Entry-by-entry comparison; `close(a, b)` decides equality.
template <class C, class Close>
::testing::AssertionResult compare(const char* got_expr, const char* want_expr, const C& got_c,
                                   const C& want_c, Close close) {
  const auto [rows, cols] = shape(got_c);
  if (shape(want_c) != std::make_pair(rows, cols))
    return ::testing::AssertionFailure()
           << got_expr << " is " << rows << " x " << cols << ", " << want_expr << " is "
           << shape(want_c).first << " x " << shape(want_c).second;
  const auto got = entries(got_c), want = entries(want_c);
  for (std::size_t k = 0; k < got.size(); ++k)
    if (!close(got[k], want[k])) {
      std::ostringstream s;
      s.precision(17);
      s << "at row " << k % rows << ", column " << k / rows << ": " << got_expr << " = " << +got[k]
        << ", " << want_expr << " = " << +want[k];
      return ::testing::AssertionFailure() << s.str();
    }
  return ::testing::AssertionSuccess();
}

template <class C>
::testing::AssertionResult same_entries(const char* got_expr, const char* want_expr, const C& got,
                                        const C& want) {
  return compare(got_expr, want_expr, got, want, [](const auto& a, const auto& b) {
    if constexpr (std::is_floating_point_v<std::decay_t<decltype(a)>>)
      return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
    else
      return a == b;
  });
}

template <class C>
::testing::AssertionResult near_entries(const char* got_expr, const char* want_expr, const char*,
                                        const C& got, const C& want, double tol) {
  return compare(got_expr, want_expr, got, want,
                 [tol](double a, double b) { return std::fabs(a - b) <= tol; });
}

// Rows of (returned, expected) codes, evaluated in order; a failure names the
// row (from 0) and both values.
inline void expect_codes(const char* file, int line,
                         std::initializer_list<std::pair<long long, long long>> rows) {
  for (auto row = rows.begin(); row != rows.end(); ++row)
    if (row->first != row->second)
      ADD_FAILURE_AT(file, line) << "row " << row - rows.begin() << ": " << row->first << ", want "
                                 << row->second;
}

}  // namespace quernfold_test

#define EXPECT_SAME(got, want) EXPECT_PRED_FORMAT2(::quernfold_test::same_entries, got, want)
#define ASSERT_SAME(got, want) ASSERT_PRED_FORMAT2(::quernfold_test::same_entries, got, want)
#define EXPECT_NEAR_ALL(got, want, tol) \
  EXPECT_PRED_FORMAT3(::quernfold_test::near_entries, got, want, tol)
#define ASSERT_NEAR_ALL(got, want, tol) \
  ASSERT_PRED_FORMAT3(::quernfold_test::near_entries, got, want, tol)
#define EXPECT_CODES(...) ::quernfold_test::expect_codes(__FILE__, __LINE__, {__VA_ARGS__})
