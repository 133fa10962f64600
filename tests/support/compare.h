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

// Shape and entries of either container (a dense1D is one column).
template <class T>
struct flat {
  std::size_t rows, cols;
  std::vector<T> v;
};

template <class T>
flat<T> flatten(const ovk::math1::dense2D<T>& m) {
  return {m.rows(), m.cols(), entries(m)};
}

template <class T, int A>
flat<T> flatten(const ovk::math1::dense1D<T, A>& v) {
  return {v.size(), 1, entries(v)};
}

template <class T>
std::string show(const T& v) {
  std::ostringstream s;
  s.precision(17);
  s << +v;
  return s.str();
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
  const auto got = flatten(got_c), want = flatten(want_c);
  if (got.rows != want.rows || got.cols != want.cols)
    return ::testing::AssertionFailure()
           << got_expr << " is " << got.rows << " x " << got.cols << ", " << want_expr << " is "
           << want.rows << " x " << want.cols;
  for (std::size_t k = 0; k < got.v.size(); ++k)
    if (!close(got.v[k], want.v[k]))
      return ::testing::AssertionFailure()
             << "at row " << k % got.rows << ", column " << k / got.rows << ": " << got_expr
             << " = " << show(got.v[k]) << ", " << want_expr << " = " << show(want.v[k]);
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
  std::size_t k = 0;
  for (const auto& [got, want] : rows)
    if (got != want)
      ADD_FAILURE_AT(file, line) << "row " << k++ << ": " << got << ", want " << want;
    else
      ++k;
}

}  // namespace quernfold_test

#define EXPECT_SAME(got, want) EXPECT_PRED_FORMAT2(::quernfold_test::same_entries, got, want)
#define ASSERT_SAME(got, want) ASSERT_PRED_FORMAT2(::quernfold_test::same_entries, got, want)
#define EXPECT_NEAR_ALL(got, want, tol) \
  EXPECT_PRED_FORMAT3(::quernfold_test::near_entries, got, want, tol)
#define ASSERT_NEAR_ALL(got, want, tol) \
  ASSERT_PRED_FORMAT3(::quernfold_test::near_entries, got, want, tol)
#define EXPECT_CODES(...) ::quernfold_test::expect_codes(__FILE__, __LINE__, {__VA_ARGS__})
