// Helpers shared by the transformation tests.
#pragma once

#include <gtest/gtest.h>

#include <quernfold/quernfold.h>

#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>

namespace transform_test {

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;
using ovk::quernfold::vector_fixed;
using V2 = vector_fixed<double, 2>;
using V3 = vector_fixed<double, 3>;

const double kPi = std::acos(-1.0);
const double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kRoundTrip = 1e-12;  // round trips agree to this distance

// Column j of M (ints or doubles), entry by entry, within tol.
template <class T>
::testing::AssertionResult column_near(const dense2D<T>& M, std::size_t j,
                                       std::initializer_list<double> want, double tol = 0.0) {
  std::size_t i = 0;
  for (double w : want) {
    if (i >= M.rows() || !(std::fabs(double(M(i, j)) - w) <= tol))
      return ::testing::AssertionFailure() << "entry " << i << " of column " << j;
    ++i;
  }
  return ::testing::AssertionSuccess();
}

// Largest gap between `rows` rows of `count` columns of A (from fa) and B (from fb).
inline double max_gap(const dense2D<double>& A, std::size_t fa, const dense2D<double>& B,
                      std::size_t fb, std::size_t count, std::size_t rows) {
  double gap = 0.0;
  for (std::size_t k = 0; k < count; ++k)
    for (std::size_t i = 0; i < rows; ++i)
      gap = std::fmax(gap, std::fabs(A(i, fa + k) - B(i, fb + k)));
  return gap;
}

template <class T>
bool same_matrix(const dense2D<T>& A, const dense2D<T>& B) {
  if (A.rows() != B.rows() || A.cols() != B.cols()) return false;
  for (std::size_t j = 0; j < A.cols(); ++j)
    for (std::size_t i = 0; i < A.rows(); ++i)
      if (!(A(i, j) == B(i, j))) return false;
  return true;
}

// Independent deep copy (the containers share storage on plain copy).
template <class T>
dense2D<T> snapshot(const dense2D<T>& M) {
  dense2D<T> c;
  EXPECT_TRUE(c.copy(M));
  return c;
}

// Textbook rotation of P about the axis R through Q by |R|:
// v cos + (k x v) sin + k (k . v)(1 - cos), v = P - Q, k = R / |R|.
inline V3 reference_rotation(const double* P, const V3& Q, const V3& R) {
  const double theta = std::sqrt(R[0] * R[0] + R[1] * R[1] + R[2] * R[2]);
  const double k[3] = {R[0] / theta, R[1] / theta, R[2] / theta};
  const double v[3] = {P[0] - Q[0], P[1] - Q[1], P[2] - Q[2]};
  const double kxv[3] = {k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2],
                         k[0] * v[1] - k[1] * v[0]};
  const double kv = k[0] * v[0] + k[1] * v[1] + k[2] * v[2], c = std::cos(theta),
               s = std::sin(theta);
  V3 out;
  for (int i = 0; i < 3; ++i) out[i] = Q[i] + v[i] * c + kxv[i] * s + k[i] * kv * (1 - c);
  return out;
}

}  // namespace transform_test
