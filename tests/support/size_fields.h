// Random size maps for tests and benchmarks of the edge measures and of
// gradation control: sizes (distances) log-uniform in [lo, hi], and packed
// anisotropic metrics whose sizes are log-uniform in [lo, hi] along axes
// turned about z. Reproducible from the seed.
#pragma once

#include <quernfold/quernfold.h>

#include <cmath>
#include <random>

namespace quernfold_test {

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;

inline dense1D<double> random_sizes(std::size_t n, double lo, double hi, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> log_size(std::log(lo), std::log(hi));
  dense1D<double> H(n);
  for (std::size_t v = 0; v < n; ++v) H[v] = std::exp(log_size(gen));
  return H;
}

// dim x dim metrics packed as 3 rows (2-D) or 6 rows (3-D), one column per node.
inline dense2D<double> random_metrics(std::size_t n, std::size_t dim, double lo, double hi,
                                      unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> log_size(std::log(lo), std::log(hi));
  std::uniform_real_distribution<double> angle(0.0, 3.14159);
  dense2D<double> M(dim == 2 ? 3 : 6, n);
  for (std::size_t v = 0; v < n; ++v) {
    const double l1 = std::exp(-2 * log_size(gen)), l2 = std::exp(-2 * log_size(gen));
    const double turn = angle(gen), c = std::cos(turn), s = std::sin(turn);
    M(0, v) = c * c * l1 + s * s * l2;
    M(1, v) = c * s * (l1 - l2);
    M(2, v) = s * s * l1 + c * c * l2;
    if (dim == 3) M(3, v) = 0, M(4, v) = 0, M(5, v) = std::exp(-2 * log_size(gen));
  }
  return M;
}

// The isotropic metrics (1/h^2) I of a size field, 3 rows for dim 2, 6 for 3.
inline dense2D<double> iso_metrics(const dense1D<double>& H, std::size_t dim) {
  dense2D<double> M(dim == 2 ? 3 : 6, H.size(), 0.0);
  for (std::size_t v = 0; v < H.size(); ++v)
    M(0, v) = M(2, v) = M(M.rows() - 1, v) = 1 / (H[v] * H[v]);
  return M;
}

}  // namespace quernfold_test
