// metrics_gen_iso: sizes as power means of incident edge lengths.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "quernfold/metrics.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using sizes = dense1D<double, 8>;

// Right triangle: node 2 at the right angle, edges 2-0 = 3, 2-1 = 4, 0-1 = 5.
const dense2D<double> kTriangle345{{3, 0}, {0, 4}, {0, 0}};
const dense2D<unsigned> kTri{{0, 1, 2}};

TEST(SizeMap, TriangleThreeFourFive) {
  sizes H;
  ASSERT_EQ(metrics_gen_iso(kTriangle345, kTri, ET_TRIA3, H, 0.0), 0);
  ASSERT_EQ(H.size(), 3u);
  EXPECT_EQ(H[0], 3.0);  // edges 3 and 5
  EXPECT_EQ(H[1], 4.0);  // edges 4 and 5
  ASSERT_EQ(metrics_gen_iso(kTriangle345, kTri, ET_TRIA3, H, INFINITY), 0);
  EXPECT_EQ(H[0], 5.0);
  EXPECT_EQ(H[2], 4.0);
}

TEST(SizeMap, SharedEdgesCountOncePerElementAndHIsResized) {
  // Unit square (0,1,2), (2,1,3) plus a node 4 in no element.
  const dense2D<double> coords{{0, 0}, {1, 0}, {0, 1}, {1, 1}, {9, 9}};
  const dense2D<unsigned> tris{{0, 1, 2}, {2, 1, 3}};
  sizes H{7, 7, 7, 7, 7};
  ASSERT_EQ(metrics_gen_iso(coords, tris, ET_TRIA3, H, 1.0), 0);
  EXPECT_DOUBLE_EQ(H[1], (1 + 1 + 2 * std::sqrt(2.0)) / 4);  // the diagonal weighs twice
  EXPECT_EQ(H[4], 7.0);
  // A longer H keeps its extra entries; a shorter one grows with zeros.
  sizes longer{1, 1, 1, 1, 1, 1, 6}, shorter{5};
  ASSERT_EQ(metrics_gen_iso(coords, tris, ET_TRIA3, longer, 0.0), 0);
  ASSERT_EQ(longer.size(), 7u);
  EXPECT_EQ(longer[6], 6.0);
  ASSERT_EQ(metrics_gen_iso(coords, tris, ET_TRIA3, shorter, 0.0), 0);
  ASSERT_EQ(shorter.size(), 5u);
  EXPECT_EQ(shorter[4], 0.0);

  // Degenerate edges count for neither end; all-degenerate keeps the sizes.
  sizes D, kept{4, 5};
  ASSERT_EQ(metrics_gen_iso(dense2D<double>{{0, 0}, {0, 0}, {0, 2}}, kTri, ET_TRIA3, D, 1.0), 0);
  EXPECT_DOUBLE_EQ(D[0], 2.0);
  ASSERT_EQ(metrics_gen_iso(dense2D<double>{{1, 1}, {1, 1}}, dense2D<unsigned>{{0, 1}}, ET_EDGE2,
                            kept, 0.0),
            0);
  EXPECT_EQ(kept[0], 4.0);
}

TEST(SizeMap, CodesAndTheStateOfH) {
  sizes H{1};
  EXPECT_EQ(metrics_gen_iso(kTriangle345, dense2D<unsigned>(3, 0), ET_TRIA3, H, -1), 0);
  EXPECT_EQ(metrics_gen_iso(dense2D<double>(1, 3), kTri, ET_TRIA3, H, 1), -1);
  EXPECT_EQ(metrics_gen_iso(kTriangle345, dense2D<unsigned>{{0, 1, 3}}, ET_TRIA3, H, 1), -2);
  EXPECT_EQ(metrics_gen_iso(kTriangle345, kTri, ET_TRIA3, H, NAN), -5);
  ASSERT_EQ(H.size(), 1u);
  EXPECT_EQ(H[0], 1.0);
  // Unsupported kinds: -3 with H already sized to the nodes, values kept.
  EXPECT_EQ(metrics_gen_iso(kTriangle345, dense2D<unsigned>{{0, 1, 2, 0, 1, 2}}, ET_TRIA6, H, 1),
            -3);
  ASSERT_EQ(H.size(), 3u);
  EXPECT_EQ(H[0], 1.0);
  EXPECT_EQ(H[1], 0.0);
}

TEST(SizeMap, MixedAndSolidMeshesAgainstBruteForce) {
  // Brute force: every element edge (by a hand-written list) contributes its
  // length to both ends; the size is the p-mean.
  auto oracle = [](const dense2D<double>& c, const std::vector<std::pair<unsigned, unsigned>>& e,
                   double p, std::size_t n) {
    std::vector<double> sum(n, 0.0), cnt(n, 0.0);
    for (const auto& ab : e) {
      double s = 0;
      for (std::size_t k = 0; k < c.rows(); ++k)
        s += (c(k, ab.first) - c(k, ab.second)) * (c(k, ab.first) - c(k, ab.second));
      const double L = std::sqrt(s);
      for (unsigned v : {ab.first, ab.second}) sum[v] += std::pow(L, p), cnt[v] += 1;
    }
    for (std::size_t v = 0; v < n; ++v) sum[v] = cnt[v] ? std::pow(sum[v] / cnt[v], 1 / p) : 0;
    return sum;
  };

  // Hexahedra with jittered nodes: 12 edges per cell, no face diagonals.
  auto hexas = quernfold_test::hexa_grid(3, 2, 2);
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> jitter(-0.2, 0.2);
  for (std::size_t j = 0; j < hexas.coords.cols(); ++j)
    for (int k = 0; k < 3; ++k) hexas.coords(k, j) += jitter(gen);
  std::vector<std::pair<unsigned, unsigned>> edges;
  for (std::size_t j = 0; j < hexas.connect.cols(); ++j) {
    const unsigned* h = hexas.connect.column(j);
    for (int a = 0; a < 4; ++a) {
      edges.emplace_back(h[a], h[(a + 1) % 4]);
      edges.emplace_back(h[a + 4], h[(a + 1) % 4 + 4]);
      edges.emplace_back(h[a], h[a + 4]);
    }
  }
  sizes H;
  ASSERT_EQ(metrics_gen_iso(hexas.coords, hexas.connect, ET_HEXA8, H, 3.0), 0);
  const auto want = oracle(hexas.coords, edges, 3.0, hexas.coords.cols());
  for (std::size_t v = 0; v < want.size(); ++v) EXPECT_NEAR(H[v], want[v], 1e-12) << v;

  // A mixed face matrix: a quadrangle (no diagonal) and a triangle; and a
  // 1-row coordinates matrix with edges.
  const dense2D<double> coords{{0, 0}, {2, 0}, {2, 1}, {0, 1}, {3, 0.5}};
  const dense2D<unsigned> faces{{0, 1, 2, 3}, {1, 4, 2, no_index}};
  ASSERT_EQ(metrics_gen_iso(coords, faces, ET_FACE_MIX, H, 1.0), 0);
  const auto mixed =
      oracle(coords, {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 2}, {2, 1}, {1, 4}}, 1.0, 5);
  for (std::size_t v = 0; v < 5; ++v) EXPECT_NEAR(H[v], mixed[v], 1e-14) << v;
  const dense2D<double> line{{0}, {2}, {5}};
  ASSERT_EQ(metrics_gen_iso(line, dense2D<unsigned>{{0, 1}, {1, 2}}, ET_EDGE2, H, 1), 0);
  EXPECT_DOUBLE_EQ(H[1], 2.5);
}

}  // namespace
