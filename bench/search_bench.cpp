// Node search and merging at production sizes: k-d tree construction over
// 1M random points, 1M nearest-node queries, 10k box queries, and the
// tolerance merge of the 3M corners of a 1M-triangle surface (every point
// three times, as an STL file holds them).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <random>

#include "quernfold/search.h"
#include "support/mesh_gen.h"

namespace {

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;
using ovk::quernfold::node_detector;
using ovk::quernfold::vector_fixed;

constexpr std::size_t kTreePoints = 1000000;
constexpr std::size_t kNearestQueries = 1000000;
constexpr std::size_t kBoxQueries = 10000;
// Box side for ~8 points per box among 1M uniform points in the unit cube.
constexpr double kBoxSide = 0.02;
// The surface grid: kGridSide^2 distinct points, one triangle per point.
constexpr unsigned kGridSide = 1000;
constexpr double kGridStep = 1e-3;
constexpr double kMergeTolerance = 1e-6;

const dense2D<double>& tree_points() {
  static const dense2D<double> points = quernfold_test::random_points(3, kTreePoints, 7);
  return points;
}

const dense2D<double>& query_points() {
  static const dense2D<double> points = quernfold_test::random_points(3, kNearestQueries, 8);
  return points;
}

// A jittered, gently curved surface grid, triangle t = (t, t + 1, t + side)
// (indices mod the number of points), so each point is a corner of exactly
// three triangles and consecutive triangles are neighbours, as in a
// tessellated CAD surface. Column 3t + c holds corner c of triangle t.
dense2D<double> stl_corners() {
  const std::size_t n = std::size_t(kGridSide) * kGridSide;
  std::mt19937 gen(9);
  std::uniform_real_distribution<double> jitter(-0.25 * kGridStep, 0.25 * kGridStep);
  dense2D<double> points(3, n);
  for (std::size_t v = 0; v < n; ++v) {
    const double x = (v % kGridSide) * kGridStep + jitter(gen);
    const double y = (v / kGridSide) * kGridStep + jitter(gen);
    points(0, v) = x;
    points(1, v) = y;
    points(2, v) = 0.1 * std::sin(6 * x) * std::cos(4 * y);
  }
  dense2D<double> corners(3, 3 * n);
  const std::size_t offsets[3] = {0, 1, kGridSide};
  for (std::size_t t = 0; t < n; ++t)
    for (int c = 0; c < 3; ++c) {
      const std::size_t v = (t + offsets[c]) % n;
      for (int k = 0; k < 3; ++k) corners(k, 3 * t + c) = points(k, v);
    }
  return corners;
}

void BM_build_1M(benchmark::State& state) {
  const dense2D<double>& points = tree_points();
  node_detector detector;
  for (auto _ : state) benchmark::DoNotOptimize(detector.reinit(points));
  state.SetItemsProcessed(state.iterations() * kTreePoints);
}
BENCHMARK(BM_build_1M)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The nodes of a 100 x 100 x 100 lattice numbered x fastest, as a
// structured mesh lists them: sorted input, and every coordinate shared by
// 10,000 nodes, whose order the node index settles.
void BM_build_lattice_1M(benchmark::State& state) {
  dense2D<double> points(3, kTreePoints);
  for (std::size_t v = 0; v < kTreePoints; ++v)
    for (int k = 0; k < 3; ++k) points(k, v) = double(v / std::size_t(std::pow(100, k)) % 100);
  node_detector detector;
  for (auto _ : state) benchmark::DoNotOptimize(detector.reinit(points));
  state.SetItemsProcessed(state.iterations() * kTreePoints);
}
BENCHMARK(BM_build_lattice_1M)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The batch index: build over 1M points, then the nearest point of 1M
// queries uniform in the cube, with distances.
void BM_point_index_nearest_1M(benchmark::State& state) {
  dense2D<unsigned> found;
  dense2D<double> distances;
  for (auto _ : state) {
    ovk::quernfold::point_index index;
    index.reinit(tree_points());
    benchmark::DoNotOptimize(index.nearest(query_points(), 1, found, distances));
  }
  state.SetItemsProcessed(state.iterations() * kNearestQueries);
}
BENCHMARK(BM_point_index_nearest_1M)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_find_closest_1M(benchmark::State& state) {
  const dense2D<double>& points = tree_points();
  const dense2D<double>& queries = query_points();
  const node_detector detector(points);
  for (auto _ : state) {
    unsigned sum = 0;
    for (std::size_t q = 0; q < kNearestQueries; ++q) {
      const double* c = queries.column(q);
      sum += detector.find_closest(vector_fixed<double, 3>{c[0], c[1], c[2]});
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kNearestQueries);
}
BENCHMARK(BM_find_closest_1M)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The peer harness's workload: every indexed point asks for its nearest
// indexed node, itself included (an exact hit ends the search).
void BM_find_closest_self_1M(benchmark::State& state) {
  const dense2D<double>& points = tree_points();
  const node_detector detector(points);
  for (auto _ : state) {
    unsigned sum = 0;
    for (std::size_t q = 0; q < kTreePoints; ++q) {
      const double* c = points.column(q);
      sum += detector.find_closest(vector_fixed<double, 3>{c[0], c[1], c[2]});
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kTreePoints);
}
BENCHMARK(BM_find_closest_self_1M)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Every indexed node asks for its nearest other node.
void BM_find_closest_other_1M(benchmark::State& state) {
  const dense2D<double>& points = tree_points();
  const node_detector detector(points);
  for (auto _ : state) {
    unsigned sum = 0;
    for (unsigned q = 0; q < kTreePoints; ++q) sum += detector.find_closest(q);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kTreePoints);
}
BENCHMARK(BM_find_closest_other_1M)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_find_in_box_10k(benchmark::State& state) {
  const dense2D<double>& points = tree_points();
  const dense2D<double>& queries = query_points();
  const node_detector detector(points);
  dense1D<unsigned> found;
  found.reserve(1024);
  std::size_t total = 0;
  for (auto _ : state) {
    for (std::size_t q = 0; q < kBoxQueries; ++q) {
      const double* c = queries.column(q);
      found.clear();
      detector.find_in_box(
          vector_fixed<double, 3>{c[0], c[1], c[2]},
          vector_fixed<double, 3>{c[0] + kBoxSide, c[1] + kBoxSide, c[2] + kBoxSide}, found);
      total += found.size();
    }
  }
  benchmark::DoNotOptimize(total);
  state.SetItemsProcessed(state.iterations() * kBoxQueries);
}
BENCHMARK(BM_find_in_box_10k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_merge_stl_3M(benchmark::State& state) {
  // The duplicates are exact, so merging leaves the coordinates as they
  // were and every iteration does the same work.
  dense2D<double> corners = stl_corners();
  int merged = 0;
  for (auto _ : state) {
    merged = ovk::quernfold::merge(corners, kMergeTolerance);
    benchmark::DoNotOptimize(merged);
  }
  state.counters["merged"] = merged;
  state.SetItemsProcessed(state.iterations() * corners.cols());
}
BENCHMARK(BM_merge_stl_3M)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
