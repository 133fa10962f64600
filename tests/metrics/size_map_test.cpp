// metrics_gen_iso: sizes as power means of the incident element edges.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "common/edges.h"
#include "support/compare.h"
#include "support/element_tables.h"
#include "support/mesh_gen.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using sizes = dense1D<double, 8>;

// Every element edge (from the hand-written table) of non-zero length counts
// at both ends; the size is the minimum, the p-mean or the maximum; a node
// that no edge touches keeps what it held.
std::vector<double> size_oracle(const dense2D<double>& c, const dense2D<unsigned>& M,
                                element_type FE, double p, std::vector<double> H) {
  std::vector<int> count(H.size(), 0);
  FE = narrowed(FE, M.rows());
  for (std::size_t j = 0; j < M.cols(); ++j)
    for (const auto& e : edges_of(shape_of(FE, M.column(j)))) {
      const unsigned ab[2] = {M(e[0], j), M(e[1], j)};
      double L = 0;
      for (std::size_t k = 0; k < c.rows(); ++k) L += std::pow(c(k, ab[0]) - c(k, ab[1]), 2);
      if ((L = std::sqrt(L)) == 0) continue;
      for (unsigned v : ab) {
        const double h = count[v]++ ? H[v] : p == 0 ? DBL_MAX : 0;
        H[v] = p == 0 ? std::min(h, L) : p == DBL_MAX ? std::max(h, L) : h + std::pow(L, p);
      }
    }
  for (std::size_t v = 0; v < H.size(); ++v)
    if (count[v] && p > 0 && p < DBL_MAX) H[v] = std::pow(H[v] / count[v], 1 / p);
  return H;
}

// The size maps take x^1 as x: pow's own value, bit for bit, on every power
// of two (the ends of the binades, subnormals included) and on random
// doubles of every exponent.
TEST(SizeMap, FirstPowersTakenAsTheLengthsArePowsOwn) {
  std::mt19937_64 gen(11);
  std::vector<double> xs;
  for (int e = -1074; e <= 1023; ++e) xs.push_back(std::ldexp(1.0, e));
  for (int k = 0; k < 1000000; ++k) {
    const std::uint64_t bits = gen() >> 1;  // positive, every exponent
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (std::isfinite(x)) xs.push_back(x);
  }
  for (double x : xs) {
    volatile double one = 1.0;  // pow's own path, not folded away
    ASSERT_EQ(detail::size_power(x, 1.0), std::pow(x, one)) << x;
  }
}

TEST(SizeMap, PowerMeansOfIncidentEdgesOnEveryKindAndCodes) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> jitter(-0.2, 0.2);
  mesh hexas = hexa_grid(3, 2, 2);
  for (std::size_t j = 0; j < hexas.coords.cols(); ++j)
    for (int k = 0; k < 3; ++k) hexas.coords(k, j) += jitter(gen);
  // Square (0,1,2), (2,1,3), a node 4 in no element and two coincident ones.
  const dense2D<double> square{{0, 0}, {1, 0}, {0, 1}, {1, 1}, {9, 9}, {2, 2}, {2, 2}};
  const std::pair<dense2D<double>, dense2D<unsigned>> meshes[] = {
      {hexas.coords, hexas.connect},
      {hexas.coords, random_degenerate(ET_SOLID_MIX, 8, 20, 36, gen)},
      {hexas.coords, random_degenerate(ET_WEDGE6, 6, 20, 36, gen)},
      {square, dense2D<unsigned>{{0, 1, 2}, {2, 1, 3}, {5, 6, 0}}},
      {square, dense2D<unsigned>{{0, 1, 2, 3}, {1, 4, 2, no_index}}},
      {dense2D<double>{{0}, {2}, {5}}, dense2D<unsigned>{{0, 1}, {1, 2}}}};
  const element_type kinds[] = {ET_HEXA8, ET_SOLID_MIX, ET_WEDGE6, ET_TRIA3, ET_FACE_MIX, ET_EDGE2};
  for (std::size_t m = 0; m < std::size(meshes); ++m)
    for (double p : {0.0, 1.0, 3.0, DBL_MAX}) {
      const auto& [coords, connect] = meshes[m];
      sizes H(coords.cols() + 1, 7.0);  // entries beyond the nodes stay
      const auto want =
          size_oracle(coords, connect, kinds[m], p, std::vector<double>(H.begin(), H.end()));
      ASSERT_EQ(metrics_gen_iso(coords, connect, kinds[m], H, p), 0);
      for (std::size_t v = 0; v < want.size(); ++v)
        EXPECT_NEAR(H[v], want[v], 1e-13 * want[v]) << kinds[m] << " p " << p << " node " << v;
    }
  const dense2D<double> tri345{{3, 0}, {0, 4}, {0, 0}};
  const dense2D<unsigned> tri{{0, 1, 2}};
  sizes H{1}, resized{1};
  EXPECT_CODES(
      {metrics_gen_iso(tri345, dense2D<unsigned>(3, 0), ET_TRIA3, H, -1), 0},
      {metrics_gen_iso(dense2D<double>(1, 3), tri, ET_TRIA3, H, 1), -1},
      {metrics_gen_iso(tri345, dense2D<unsigned>{{0, 1, 3}}, ET_TRIA3, H, 1), -2},
      {metrics_gen_iso(tri345, tri, ET_TRIA3, H, -1), -5},
      {metrics_gen_iso(tri345, tri, ET_TRIA3, H, NAN), -5},
      {metrics_gen_iso(tri345, dense2D<unsigned>{{0, 1, 2, 0, 1, 2}}, ET_TRIA6, resized, 1), -3});
  EXPECT_SAME(H, sizes{1});
  EXPECT_SAME(resized, (sizes{1, 0, 0}));  // unsupported kinds: H already sized to the nodes
}

}  // namespace
}  // namespace quernfold_test
