// The per-node mappings of translate, rotate and zoom. Each mapping holds the
// constants of one call (computed once) and rewrites one coordinates column
// in place; identity() says whether the call would leave every node as it is.
#pragma once

#include <cmath>
#include <cstddef>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Up to this rotation angle the coefficients of the 3-D rotation matrix come
// from their Taylor series, which keep full precision near zero.
constexpr double kRotationSeriesLimit = 0.1;

// A value counts as `identity` when it is neither smaller nor greater than
// it; NaN thus counts as the identity value.
inline bool is_identity_value(double value, double identity) noexcept {
  return !(value < identity) && !(value > identity);
}

template <int N>
bool is_zero_vector(const vector_fixed<double, N>& V) noexcept {
  for (int i = 0; i < N; ++i)
    if (!is_identity_value(V[i], 0.0)) return false;
  return true;
}

// P' = P + V.
template <int N>
struct translation {
  static constexpr int kDim = N;
  vector_fixed<double, N> V;

  bool identity() const noexcept { return is_zero_vector(V); }
  translation prepared() const noexcept { return *this; }
  void operator()(double* P) const noexcept {
    for (int i = 0; i < N; ++i) P[i] = P[i] + V[i];
  }
};

// Scaling about Q. The form P + (P - Q)*(factor - 1), rather than
// Q + factor*(P - Q), leaves the nodes at Q exactly where they are.
template <int N>
struct scaling {
  static constexpr int kDim = N;
  vector_fixed<double, N> Q;
  double factor;

  struct stretch {
    vector_fixed<double, N> Q;
    double excess;  // factor - 1
    void operator()(double* P) const noexcept {
      for (int i = 0; i < N; ++i) P[i] = P[i] + (P[i] - Q[i]) * excess;
    }
  };

  bool identity() const noexcept { return is_identity_value(factor, 1.0); }
  stretch prepared() const noexcept { return stretch{Q, factor - 1.0}; }
};

// Counter-clockwise turn by `angle` about Q.
struct rotation_2d {
  static constexpr int kDim = 2;
  vector_fixed<double, 2> Q;
  double angle;

  struct turn {
    vector_fixed<double, 2> Q;
    double c, s;
    void operator()(double* P) const noexcept {
      const double dx = P[0] - Q[0], dy = P[1] - Q[1];
      P[0] = Q[0] + (c * dx - s * dy);
      P[1] = Q[1] + (s * dx + c * dy);
    }
  };

  bool identity() const noexcept { return is_identity_value(angle, 0.0); }
  turn prepared() const noexcept { return turn{Q, std::cos(angle), std::sin(angle)}; }
};

// Taylor coefficients, in powers of t = theta^2, of sin(theta)/theta and of
// (1 - cos(theta))/theta^2; each is the double nearest to its fraction.
constexpr double kSincSeries[] = {1.0,           -1.0 / 6.0,     1.0 / 120.0,
                                  -1.0 / 5040.0, 1.0 / 362880.0, -1.0 / 39916800.0};
constexpr double kVersineSeries[] = {1.0 / 2.0, -1.0 / 24.0, 1.0 / 720.0, -1.0 / 40320.0,
                                     1.0 / 3628800.0};

// c[0] + c[1]*t + ... evaluated from the highest power down.
template <std::size_t K>
double horner(const double (&c)[K], double t) noexcept {
  double sum = c[K - 1];
  for (std::size_t k = K - 1; k-- > 0;) sum = sum * t + c[k];
  return sum;
}

// Coefficients a = sin(theta)/theta and b = (1 - cos(theta))/theta^2 of the
// rotation matrix I + a*S + b*S^2. Up to the series limit the series avoid
// the cancellation of 1 - cos(theta) and the division by a tiny theta.
struct rodrigues_coefficients {
  double a, b;
};

inline rodrigues_coefficients rotation_coefficients(double theta) noexcept {
  if (theta > kRotationSeriesLimit) {
    const double inv = 1.0 / theta;
    return {std::sin(theta) * inv, (1.0 - std::cos(theta)) * (inv * inv)};
  }
  const double t = theta * theta;
  return {horner(kSincSeries, t), horner(kVersineSeries, t)};
}

// Rotation matrix (3 x 3, row-major M[i][j]) of the rotation vector R: turns
// by |R| about R, right-hand rule.
struct rotation_matrix {
  double M[3][3];
};

inline rotation_matrix make_rotation_matrix(const vector_fixed<double, 3>& R) noexcept {
  const double theta = std::sqrt(R[0] * R[0] + R[1] * R[1] + R[2] * R[2]);
  const rodrigues_coefficients k = rotation_coefficients(theta);
  // Cross-product matrix: S*d = R x d.
  const double S[3][3] = {{0.0, -R[2], R[1]}, {R[2], 0.0, -R[0]}, {-R[1], R[0], 0.0}};
  rotation_matrix out;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const double S2 = S[i][0] * S[0][j] + S[i][1] * S[1][j] + S[i][2] * S[2][j];
      const double unit = i == j ? 1.0 : 0.0;
      out.M[i][j] = unit + k.a * S[i][j] + k.b * S2;
    }
  return out;
}

// P' = Q + M*(P - Q) for the rotation vector R.
struct rotation_3d {
  static constexpr int kDim = 3;
  vector_fixed<double, 3> Q;
  vector_fixed<double, 3> R;

  bool identity() const noexcept { return is_zero_vector(R); }
  struct turn {
    vector_fixed<double, 3> Q;
    rotation_matrix rot;
    void operator()(double* P) const noexcept {
      const double d[3] = {P[0] - Q[0], P[1] - Q[1], P[2] - Q[2]};
      for (int i = 0; i < 3; ++i) {
        const double* m = rot.M[i];
        P[i] = Q[i] + (m[0] * d[0] + m[1] * d[1] + m[2] * d[2]);
      }
    }
  };
  turn prepared() const noexcept { return turn{Q, make_rotation_matrix(R)}; }
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
