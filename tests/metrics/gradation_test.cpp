// Gradation and variation control. On random fields over grids: afterwards
// every pair of nodes sharing an element meets the bound, fixed nodes are
// untouched, sizes moved only the allowed way, and the result counts exactly
// the nodes that changed. On single edges: the worked corrections.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>

#include "support/compare.h"
#include "support/mesh_gen.h"
#include "support/size_fields.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using sizes = dense1D<double, 8>;
using nodes = dense1D<unsigned, 8>;

constexpr double kBound = 0.3;
// Corrections of less than a thousandth of the way are not made, and the
// search next to fixed nodes stops at the same relative precision.
constexpr double kExcessTolerance = 1e-3;
constexpr double kSmallest = 0.02, kLargest = 0.5;

template <class Field>
int run(bool variation, const mesh& m, element_type type, const nodes& list, int direction,
        double bound, Field& F, bool fixed = true) {
  return variation
             ? bound_metric_variations(m.coords, m.connect, type, list, fixed, direction, bound, F)
             : bound_metric_gradations(m.coords, m.connect, type, list, fixed, direction, bound, F);
}

// Size of node a along e: |e| / sqrt(e^T M e), or the size itself.
double size_along(const sizes& H, unsigned a, const double*) { return H[a]; }
double size_along(const dense2D<double>& M, unsigned a, const double* e) {
  const double* c = M.column(a);
  double q = c[0] * e[0] * e[0] + 2 * c[1] * e[0] * e[1] + c[2] * e[1] * e[1];
  if (M.rows() == 6) q += 2 * c[3] * e[0] * e[2] + 2 * c[4] * e[1] * e[2] + c[5] * e[2] * e[2];
  return std::sqrt((e[0] * e[0] + e[1] * e[1] + e[2] * e[2]) / q);
}

// Largest excess over the bound among all node pairs of all elements, from
// the closed forms for sizes varying linearly along an edge: the gradation
// measure is exp(|ha - hb| / |e|) - 1, the variation |ha - hb| / |e|.
template <class Field>
double worst_excess(const mesh& m, bool variation, const Field& F) {
  double worst = -kBound;
  for (std::size_t j = 0; j < m.connect.cols(); ++j)
    for (std::size_t i = 0; i < m.connect.rows(); ++i)
      for (std::size_t k = i + 1; k < m.connect.rows(); ++k) {
        const unsigned a = m.connect(i, j), b = m.connect(k, j);
        double e[3] = {0, 0, 0}, len = 0;
        for (std::size_t d = 0; d < m.coords.rows(); ++d)
          e[d] = m.coords(d, b) - m.coords(d, a), len += e[d] * e[d];
        const double gap = std::fabs(size_along(F, a, e) - size_along(F, b, e)) / std::sqrt(len);
        worst = std::max(worst, (variation ? gap : std::expm1(gap)) - kBound);
      }
  return worst;
}

// Sizes moved only `direction`'s way (or, for 0, kept within their range).
void check_moves(const sizes& before, const sizes& H, int direction, std::size_t v) {
  EXPECT_LE(H[v], direction < 0 ? before[v] : kLargest) << v;
  EXPECT_GE(H[v], direction > 0 ? before[v] : kSmallest) << v;
}

std::vector<double> at(const sizes& H, std::size_t v) { return {H[v]}; }
std::vector<double> at(const dense2D<double>& M, std::size_t v) {
  return {M.column(v), M.column(v) + M.rows()};
}

// One run: sizes moved only the allowed way, fixed nodes kept, the result counts the changed
// nodes, the bound met (for a one-way run), and a second run finds nothing.
template <class Field>
void check_run(bool variation, const mesh& m, element_type type, const nodes& fixed, int direction,
               Field F) {
  Field before;
  ASSERT_TRUE(before.copy(F));
  const int changed = run(variation, m, type, fixed, direction, kBound, F);
  int differ = 0;
  for (std::size_t v = 0; v < m.coords.cols(); ++v) {
    differ += at(F, v) != at(before, v);
    if constexpr (!std::is_same_v<Field, dense2D<double>>) check_moves(before, F, direction, v);
  }
  EXPECT_EQ(changed, differ);
  EXPECT_GT(changed, 0);
  for (unsigned v : fixed) EXPECT_EQ(at(F, v), at(before, v));
  if (direction == 0) return;
  EXPECT_LE(worst_excess(m, variation, F), kExcessTolerance);
  EXPECT_EQ(run(variation, m, type, fixed, direction, kBound, F), 0);
}

TEST(GradationProperty, RandomFieldsOnGridsMeetTheBoundAndFixedNodesStay) {
  // The node graph joins all nodes of an element, so hexahedron
  // diagonals meet the bound too. Direction 0 interpolates
  // between neighbours and so never leaves the initial range.
  const mesh tris = tria_grid(15, 15, 1.0 / 15), tets = tetra_grid(5, 5, 5, 0.2);
  const mesh hexas = hexa_grid(5, 4, 4, 0.2);
  unsigned seed = 100;
  for (bool variation : {false, true})
    for (int direction : {-1, 0, 1})
      for (const mesh* m : {&tris, &tets}) {
        SCOPED_TRACE(testing::Message() << "variation " << variation << " direction " << direction
                                        << " dim " << m->coords.rows());
        const element_type type = m == &tris ? ET_TRIA3 : ET_TETRA4;
        const std::size_t n = m->coords.cols(), dim = m->coords.rows();
        check_run(variation, *m, type, nodes(), direction,
                  random_sizes(n, kSmallest, kLargest, ++seed));
        if (direction != 0)
          check_run(variation, *m, type, nodes(), direction,
                    random_metrics(n, dim, kSmallest, kLargest, ++seed));
      }
  check_run(true, hexas, ET_HEXA8, nodes(), 1,
            random_sizes(hexas.coords.cols(), kSmallest, kLargest, 8));
  // Every 11th node fixed at the extreme size the others move towards, on the
  // edges of a cube grid (all of one length).
  const mesh cubes = hexa_grid(6, 6, 6, 1.0 / 6);
  mesh segments{cubes.coords, dense2D<unsigned>()};
  ASSERT_EQ(copy_edges(cubes.connect, ET_HEXA8, segments.connect), 0);
  seed = 200;
  for (bool variation : {false, true})
    for (int direction : {-1, 1}) {
      sizes H = random_sizes(segments.coords.cols(), kSmallest, kLargest, ++seed);
      nodes fixed;
      for (unsigned v = 0; v < H.size(); v += 11) {
        ASSERT_TRUE(fixed.push_back(v));
        H[v] = direction < 0 ? kSmallest : kLargest;
      }
      check_run(variation, segments, ET_EDGE2, fixed, direction, H);
    }
}

// Two nodes one unit apart, or a chain 0 - 1 - 2 of unit edges.
const mesh kEdge{dense2D<double>{{0, 0}, {1, 0}}, dense2D<unsigned>{{0, 1}}};
const mesh kChain{dense2D<double>{{0, 0}, {1, 0}, {2, 0}}, dense2D<unsigned>{{0, 1}, {1, 2}}};
const double kLn2 = std::log(2.0);

struct worked {
  const mesh* m;
  bool variation;
  sizes H;
  nodes list;
  bool fixed;
  int direction;
  double bound;
  int changed;
  std::vector<double> want;
};

TEST(Gradation, WorkedCorrectionsAnisotropicAndCodes) {
  const double k = std::log(1.3);
  const worked cases[] = {
      // Sizes 1 and 10: shrinking brings 10 to 1 + ln 2, growing 1 to 10 - ln 2.
      {&kEdge, false, {1, 10}, {}, true, -1, 1.0, 1, {1, 1 + kLn2}},
      {&kEdge, false, {1, 10}, {}, true, 257, 1.0, 1, {10 - kLn2, 10}},  // low byte
      {&kEdge, false, {1, 10}, {}, true, 2, 1.0, 0, {1, 10}},            // no direction byte fits
      // Variations: within the bound of each other; a zero bound equalises.
      {&kEdge, true, {2, 3}, {}, true, -1, 0.0, 1, {2, 2}},
      // Node 1 fixed and only shrinking: node 0 could only grow. Only node 0
      // free: it moves up to the bound.
      {&kEdge, false, {1, 10}, {1}, true, -1, 1.0, 0, {1, 10}},
      {&kEdge, false, {1, 10}, {0}, false, 0, 1.0, 1, {10 - kLn2, 10}},
      {&kEdge, false, {1, 10}, {no_index}, true, 1, 1.0, 1, {10 - kLn2, 10}},  // no node
      // Chain, node 2 fixed: node 1 already meets the bound towards it.
      {&kChain, false, {1, 10, 10}, {2}, true, -1, 1.0, 0, {1, 10, 10}},
      // Node 2 comes down twice, counted once.
      {&kChain, false, {1, 10, 20}, {}, true, -1, 0.3, 2, {1, 1 + k, 1 + 2 * k}},
      {&kEdge, false, {1, 10}, {}, true, 0, DBL_MAX, 0, {1, 10}},  // nothing to do first
  };
  for (std::size_t c = 0; c < std::size(cases); ++c) {
    sizes H;
    ASSERT_TRUE(H.copy(cases[c].H));
    const worked& w = cases[c];
    EXPECT_EQ(run(w.variation, *w.m, ET_EDGE2, w.list, w.direction, w.bound, H, w.fixed), w.changed)
        << c;
    for (std::size_t v = 0; v < w.want.size(); ++v)
      EXPECT_NEAR(H[v], w.want[v], w.fixed ? 1e-12 : 1e-2) << c << " node " << v;
  }
  // Node 0: size 10 across the edge (along y) only, node 1: size 1: the
  // edge is already graded.
  dense2D<double> across{{1, 0, 0.01}, {1, 0, 1}};
  EXPECT_EQ(run(false, kEdge, ET_EDGE2, nodes(), 0, 1.0, across), 0);
  sizes H{1, 10}, short_H{1};
  dense2D<double> M3 = iso_metrics(dense1D<double>{1, 10}, 3);
  const mesh flat{dense2D<double>(1, 2), kEdge.connect};
  EXPECT_CODES({run(false, flat, ET_EDGE2, nodes(), 0, 1.0, H), -1},
               {run(false, kEdge, ET_TRIA3, nodes(), 0, 1.0, H), -2},
               {run(false, kEdge, ET_EDGE2, nodes{0, 2}, 0, 1.0, H), -4},
               {run(true, kEdge, ET_EDGE2, nodes(), 0, -1.0, H), -7},
               {run(false, kEdge, ET_EDGE2, nodes(), 0, 1.0, short_H), -8},
               {run(true, kEdge, ET_EDGE2, nodes(), 0, 1.0, M3), -8});
  EXPECT_EQ(H[1], 10.0);
  EXPECT_EQ(M3(0, 1), 0.01);
}

}  // namespace
}  // namespace quernfold_test
