// Random metrics with known eigenvalues, for the metric tests and benchmarks:
// a random rotation Q times diag(l) times Q^T, packed by columns of its upper
// triangle.
#pragma once

#include <quernfold/quernfold.h>

#include <cmath>
#include <random>

namespace quernfold_test {

// Eigenvalues log-uniform in [lmin, lmax], eigenvectors a uniformly random
// orthonormal frame (Gram-Schmidt on Gaussian columns).
template <int N>
ovk::quernfold::symmetric_fixed<double, N> random_metric(std::mt19937& gen, double lmin,
                                                         double lmax) {
  std::normal_distribution<double> g;
  std::uniform_real_distribution<double> e(std::log(lmin), std::log(lmax));
  double Q[N][N], l[N];
  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < N; ++i) Q[i][j] = g(gen);
    // Column j less its parts along the earlier columns (k < j), then scaled
    // to unit length (k == j, where d is its squared length).
    for (int k = 0; k <= j; ++k) {
      double d = 0;
      for (int i = 0; i < N; ++i) d += Q[i][j] * Q[i][k];
      for (int i = 0; i < N; ++i) Q[i][j] = k < j ? Q[i][j] - d * Q[i][k] : Q[i][j] / std::sqrt(d);
    }
  }
  for (double& x : l) x = std::exp(e(gen));
  ovk::quernfold::symmetric_fixed<double, N> M;
  for (int j = 0; j < N; ++j)
    for (int i = 0; i <= j; ++i) {
      double s = 0;
      for (int k = 0; k < N; ++k) s += Q[i][k] * l[k] * Q[j][k];
      M(i, j) = s;
    }
  return M;
}

}  // namespace quernfold_test
