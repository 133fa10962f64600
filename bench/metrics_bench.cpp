// Metric fields of a million nodes: bounding and validity, and the cost of
// one 3x3 eigen-decomposition through dspev against a specialised cyclic
// Jacobi solver (checked against dspev before it is timed).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "quernfold/metrics.h"
#include "support/random_metrics.h"

namespace {

using namespace ovk::quernfold;
using sym3 = symmetric_fixed<double, 3>;

constexpr std::size_t kNodes = 1000000;
constexpr double kSmallest = 1e-3, kLargest = 10;  // sizes of the random field
constexpr double kHmin = 0.01, kHmax = 1;          // bounds: about half the sizes move

// Packed metric with sizes log-uniform in [kSmallest, kLargest].
template <int N>
void random_metric(std::mt19937& gen, double* packed) {
  const auto M =
      quernfold_test::random_metric<N>(gen, 1 / (kLargest * kLargest), 1 / (kSmallest * kSmallest));
  for (int k = 0; k < M.size(); ++k) packed[k] = M[k];
}

template <int N>
const dense2D<double>& random_field() {
  static const dense2D<double> field = [] {
    dense2D<double> M(N * (N + 1) / 2, kNodes);
    std::mt19937 gen(2024);
    for (std::size_t j = 0; j < kNodes; ++j) random_metric<N>(gen, M.column(j));
    return M;
  }();
  return field;
}

template <int N>
void BM_BoundMetrics(benchmark::State& state) {
  const dense2D<double>& original = random_field<N>();
  dense2D<double> M;
  int changed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    M.copy(original);
    state.ResumeTiming();
    changed = bound_metrics(M, kHmin, kHmax);
    benchmark::DoNotOptimize(M.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kNodes));
  state.counters["changed"] = changed;
}

template <int N>
void BM_AreValidMetrics(benchmark::State& state) {
  const dense2D<double>& field = random_field<N>();
  for (auto _ : state) benchmark::DoNotOptimize(are_valid_metrics(field));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kNodes));
}

void BM_BoundSizes(benchmark::State& state) {
  dense1D<double, 8> original(kNodes);
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> e(std::log(kSmallest), std::log(kLargest));
  for (double& h : original) h = std::exp(e(gen));
  dense1D<double, 8> H;
  for (auto _ : state) {
    state.PauseTiming();
    H.copy(original);
    state.ResumeTiming();
    benchmark::DoNotOptimize(bound_metrics(H, kHmin, kHmax));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kNodes));
}

// ---------------------------------------------------------------------------
// One 3x3 decomposition: dspev against cyclic Jacobi.
// ---------------------------------------------------------------------------

// Cyclic Jacobi rotations until the off-diagonal part is negligible, then
// ascending order and a right-handed frame.
bool jacobi_3x3(const sym3& M, vector_fixed<double, 3>& l, matrix_fixed<double, 3, 3>& V) {
  constexpr int kMaxSweeps = 10;
  constexpr double kOffDiagonal = 1e-32;  // squared, relative to the diagonal
  double a[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a[i][j] = M(i, j);
  double v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
    const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
    const double diag = a[0][0] * a[0][0] + a[1][1] * a[1][1] + a[2][2] * a[2][2];
    if (!(off > kOffDiagonal * diag)) break;
    static constexpr int kPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (const auto& pq : kPairs) {
      const int p = pq[0], q = pq[1];
      if (a[p][q] == 0) continue;
      const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
      const double t = (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
      const double c = 1 / std::sqrt(t * t + 1), s = t * c;
      for (int k = 0; k < 3; ++k) {
        const double akp = a[k][p], akq = a[k][q];
        a[k][p] = c * akp - s * akq;
        a[k][q] = s * akp + c * akq;
      }
      for (int k = 0; k < 3; ++k) {
        const double apk = a[p][k], aqk = a[q][k];
        a[p][k] = c * apk - s * aqk;
        a[q][k] = s * apk + c * aqk;
        const double vkp = v[k][p], vkq = v[k][q];
        v[k][p] = c * vkp - s * vkq;
        v[k][q] = s * vkp + c * vkq;
      }
    }
  }
  int order[3] = {0, 1, 2};
  std::sort(order, order + 3, [&](int x, int y) { return a[x][x] < a[y][y]; });
  for (int k = 0; k < 3; ++k) {
    l[k] = a[order[k]][order[k]];
    for (int i = 0; i < 3; ++i) V(i, k) = v[i][order[k]];
  }
  V(0, 2) = V(1, 0) * V(2, 1) - V(2, 0) * V(1, 1);
  V(1, 2) = V(2, 0) * V(0, 1) - V(0, 0) * V(2, 1);
  V(2, 2) = V(0, 0) * V(1, 1) - V(1, 0) * V(0, 1);
  return std::isfinite(l[0]) && std::isfinite(l[2]);
}

// Eigenvalues only, by the trigonometric closed form (ascending). Accurate
// relative to the largest eigenvalue, not to the smallest.
void closed_form_values_3x3(const sym3& M, vector_fixed<double, 3>& l) {
  const double a00 = M(0, 0), a11 = M(1, 1), a22 = M(2, 2);
  const double a01 = M(0, 1), a02 = M(0, 2), a12 = M(1, 2);
  const double p1 = a01 * a01 + a02 * a02 + a12 * a12;
  const double q = (a00 + a11 + a22) / 3;
  const double b00 = a00 - q, b11 = a11 - q, b22 = a22 - q;
  const double p = std::sqrt((b00 * b00 + b11 * b11 + b22 * b22 + 2 * p1) / 6);
  if (!(p > 0)) {
    l[0] = l[1] = l[2] = q;
    return;
  }
  const double det =
      b00 * (b11 * b22 - a12 * a12) - a01 * (a01 * b22 - a12 * a02) + a02 * (a01 * a12 - b11 * a02);
  const double r = std::max(-1.0, std::min(1.0, det / (2 * p * p * p)));
  const double phi = std::acos(r) / 3;
  constexpr double kThirdTurn = 2.0943951023931957;  // 2 pi / 3
  l[2] = q + 2 * p * std::cos(phi);
  l[0] = q + 2 * p * std::cos(phi + kThirdTurn);
  l[1] = 3 * q - l[0] - l[2];
}

std::vector<sym3> sample_metrics(std::size_t n) {
  std::vector<sym3> out(n);
  std::mt19937 gen(77);
  for (sym3& M : out) random_metric<3>(gen, M.data());
  return out;
}

// Largest relative disagreement of the eigenvalues and of the rebuilt
// matrices between the two solvers.
std::pair<double, double> disagreement(const std::vector<sym3>& metrics) {
  double values = 0, rebuilt = 0;
  for (const sym3& M : metrics) {
    vector_fixed<double, 3> l1, l2;
    matrix_fixed<double, 3, 3> V1, V2;
    eigen_pairs(M, l1, V1);
    jacobi_3x3(M, l2, V2);
    double scale = 0;
    for (double x : M.v) scale = std::max(scale, std::fabs(x));
    for (int k = 0; k < 3; ++k) values = std::max(values, std::fabs(l1[k] - l2[k]) / scale);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        double r = 0;
        for (int k = 0; k < 3; ++k) r += V2(i, k) * l2[k] * V2(j, k);
        rebuilt = std::max(rebuilt, std::fabs(r - M(i, j)) / scale);
      }
  }
  return {values, rebuilt};
}

// Decomposes the sample metrics in turn with solver(M, l, V).
template <class Solver>
void decompose_in_turn(benchmark::State& state, const std::vector<sym3>& metrics, Solver solver) {
  vector_fixed<double, 3> l;
  matrix_fixed<double, 3, 3> V;
  std::size_t i = 0;
  for (auto _ : state) {
    solver(metrics[i++ % metrics.size()], l, V);
    benchmark::DoNotOptimize(V.v);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_EigenPairsDspev(benchmark::State& state) {
  decompose_in_turn(state, sample_metrics(4096),
                    [](const sym3& M, auto& l, auto& V) { return eigen_pairs(M, l, V); });
}

void BM_EigenPairsJacobi(benchmark::State& state) {
  const std::vector<sym3> metrics = sample_metrics(4096);
  const auto [values, rebuilt] = disagreement(metrics);
  if (values > 1e-12 || rebuilt > 1e-12) state.SkipWithError("Jacobi disagrees with dspev");
  decompose_in_turn(state, metrics, jacobi_3x3);
  state.counters["max_value_diff"] = values;
  state.counters["max_rebuild_diff"] = rebuilt;
}

// Eigenvalues of the sample metrics in turn with values(M, l).
template <class Values>
void values_in_turn(benchmark::State& state, const std::vector<sym3>& metrics, Values values) {
  vector_fixed<double, 3> l;
  std::size_t i = 0;
  for (auto _ : state) {
    values(metrics[i++ % metrics.size()], l);
    benchmark::DoNotOptimize(l.v);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_EigenValuesDspev(benchmark::State& state) {
  values_in_turn(state, sample_metrics(4096),
                 [](const sym3& M, vector_fixed<double, 3>& l) { eigen_values(M, l); });
}

// Values only in closed form; reports the largest disagreement with dspev
// relative to the smallest eigenvalue (what a validity test depends on).
void BM_EigenValuesClosedForm(benchmark::State& state) {
  const std::vector<sym3> metrics = sample_metrics(4096);
  double worst = 0;
  for (const sym3& M : metrics) {
    vector_fixed<double, 3> a, b;
    eigen_values(M, a);
    closed_form_values_3x3(M, b);
    worst = std::max(worst, std::fabs(a[0] - b[0]) / a[0]);
  }
  values_in_turn(state, metrics, closed_form_values_3x3);
  state.counters["max_smallest_rel_diff"] = worst;
}

BENCHMARK_TEMPLATE(BM_BoundMetrics, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_BoundMetrics, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_AreValidMetrics, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoundSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EigenPairsDspev);
BENCHMARK(BM_EigenPairsJacobi);
BENCHMARK(BM_EigenValuesDspev);
BENCHMARK(BM_EigenValuesClosedForm);

}  // namespace
