// Comparisons of the library's containers that name the first differing
// entry (row and column) and print both sides. Doubles compare bit for bit
// (NaN equals NaN, -0.0 differs from 0.0) unless a tolerance is given.
//
//   EXPECT_SAME(got, want);          // dense1D / dense2D, exact
//   EXPECT_NEAR_ALL(got, want, tol); // |got - want| <= tol entry by entry
#pragma once

#include <gtest/gtest.h>

#include <quernfold/quernfold.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <sstream>
#include <type_traits>

namespace quernfold_test {

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;

template <class T>
bool same_value(const T& a, const T& b) {
  if constexpr (std::is_floating_point_v<T>)
    return std::memcmp(&a, &b, sizeof(T)) == 0 || (std::isnan(a) && std::isnan(b));
  else
    return a == b;
}

template <class T>
std::string show(const T& v) {
  std::ostringstream s;
  if constexpr (std::is_floating_point_v<T>) s.precision(17);
  s << +v;
  return s.str();
}

// Rows and columns of either container (a dense1D is one column).
template <class T>
std::size_t rows_of(const dense2D<T>& m) {
  return m.rows();
}
template <class T>
std::size_t cols_of(const dense2D<T>& m) {
  return m.cols();
}
template <class T>
T at(const dense2D<T>& m, std::size_t i, std::size_t j) {
  return m(i, j);
}
template <class T>
std::size_t rows_of(const dense1D<T>& v) {
  return v.size();
}
template <class T>
std::size_t cols_of(const dense1D<T>&) {
  return 1;
}
template <class T>
T at(const dense1D<T>& v, std::size_t i, std::size_t) {
  return v[i];
}

// Entry-by-entry comparison; `close(a, b)` decides equality.
template <class C, class Close>
::testing::AssertionResult compare(const char* got_expr, const char* want_expr, const C& got,
                                   const C& want, Close close) {
  if (rows_of(got) != rows_of(want) || cols_of(got) != cols_of(want))
    return ::testing::AssertionFailure()
           << got_expr << " is " << rows_of(got) << " x " << cols_of(got) << ", " << want_expr
           << " is " << rows_of(want) << " x " << cols_of(want);
  for (std::size_t j = 0; j < cols_of(got); ++j)
    for (std::size_t i = 0; i < rows_of(got); ++i)
      if (!close(at(got, i, j), at(want, i, j)))
        return ::testing::AssertionFailure()
               << "at row " << i << ", column " << j << ": " << got_expr << " = "
               << show(at(got, i, j)) << ", " << want_expr << " = " << show(at(want, i, j));
  return ::testing::AssertionSuccess();
}

template <class C>
::testing::AssertionResult same_entries(const char* got_expr, const char* want_expr, const C& got,
                                        const C& want) {
  return compare(got_expr, want_expr, got, want,
                 [](const auto& a, const auto& b) { return same_value(a, b); });
}

template <class C>
::testing::AssertionResult near_entries(const char* got_expr, const char* want_expr, const char*,
                                        const C& got, const C& want, double tol) {
  return compare(got_expr, want_expr, got, want,
                 [tol](double a, double b) { return std::fabs(a - b) <= tol; });
}

}  // namespace quernfold_test

#define EXPECT_SAME(got, want) EXPECT_PRED_FORMAT2(::quernfold_test::same_entries, got, want)
#define ASSERT_SAME(got, want) ASSERT_PRED_FORMAT2(::quernfold_test::same_entries, got, want)
#define EXPECT_NEAR_ALL(got, want, tol) \
  EXPECT_PRED_FORMAT3(::quernfold_test::near_entries, got, want, tol)
