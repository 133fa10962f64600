// Gradation and variation control on random fields over structured meshes:
// afterwards every pair of nodes sharing an element meets the bound, fixed
// nodes are untouched, sizes moved only the allowed way, and the result
// counts exactly the nodes that changed.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quernfold/metrics.h"
#include "quernfold/quality.h"  // copy_edges
#include "support/mesh_gen.h"
#include "support/size_fields.h"

namespace {

using namespace ovk::quernfold;
using quernfold_test::mesh;

enum class rule { gradation, variation };

constexpr double kBound = 0.3;
// Corrections of less than a thousandth of the way are not made, and the
// search next to fixed nodes stops at the same relative precision.
constexpr double kExcessTolerance = 1e-3;
constexpr double kSmallest = 0.02, kLargest = 0.5;

// Largest excess over the bound among all node pairs of all elements, from
// the closed forms for sizes varying linearly along an edge: the gradation
// measure is exp(|ha - hb| / |e|) - 1, the variation |ha - hb| / |e|.
// size_of(a, e) is node a's size along the edge vector e.
template <class SizeOf>
double worst_excess(const mesh& m, rule r, SizeOf size_of) {
  double worst = -kBound;
  for (std::size_t j = 0; j < m.connect.cols(); ++j)
    for (std::size_t i = 0; i < m.connect.rows(); ++i)
      for (std::size_t k = i + 1; k < m.connect.rows(); ++k) {
        const unsigned a = m.connect(i, j), b = m.connect(k, j);
        double e[3] = {0, 0, 0}, len = 0;
        for (std::size_t d = 0; d < m.coords.rows(); ++d) {
          e[d] = m.coords(d, b) - m.coords(d, a);
          len += e[d] * e[d];
        }
        len = std::sqrt(len);
        const double gap = std::fabs(size_of(a, e) - size_of(b, e)) / len;
        worst = std::max(worst, (r == rule::gradation ? std::expm1(gap) : gap) - kBound);
      }
  return worst;
}

template <class Field>
int run(rule r, const mesh& m, element_type type, const dense1D<unsigned>& fixed, int direction,
        Field& F, bool fixed_list = true) {
  return r == rule::gradation ? bound_metric_gradations(m.coords, m.connect, type, fixed,
                                                        fixed_list, direction, kBound, F)
                              : bound_metric_variations(m.coords, m.connect, type, fixed,
                                                        fixed_list, direction, kBound, F);
}

// One isotropic run: bound met, fixed nodes kept, sizes moved only
// `direction`'s way (or, for 0, kept within their range), the result counts
// the changed nodes, and a second run finds nothing left to do.
void check_iso_run(rule r, const mesh& m, element_type type, const dense1D<unsigned>& fixed,
                   int direction, dense1D<double> H) {
  dense1D<double> before;
  ASSERT_TRUE(before.copy(H));
  const int changed = run(r, m, type, fixed, direction, H);
  int differ = 0;
  for (std::size_t v = 0; v < H.size(); ++v) {
    differ += H[v] != before[v];
    EXPECT_LE(H[v], direction < 0 ? before[v] : kLargest) << v;
    EXPECT_GE(H[v], direction > 0 ? before[v] : kSmallest) << v;
  }
  EXPECT_EQ(changed, differ);
  EXPECT_GT(changed, 0);
  for (std::size_t i = 0; i < fixed.size(); ++i) EXPECT_EQ(H[fixed[i]], before[fixed[i]]);
  if (direction == 0) return;
  EXPECT_LE(worst_excess(m, r, [&](unsigned a, const double*) { return H[a]; }), kExcessTolerance);
  EXPECT_EQ(run(r, m, type, fixed, direction, H), 0);
}

dense1D<double> random_sizes(std::size_t n, unsigned seed) {
  return quernfold_test::random_sizes(n, kSmallest, kLargest, seed);
}

TEST(GradationProperty, RandomSizesOnGridsMeetTheBound) {
  // The node graph joins all nodes of an element, so quadrangle and
  // hexahedron diagonals meet the bound too. Direction 0 interpolates
  // between neighbours and so never leaves the initial range.
  const mesh tris = quernfold_test::tria_grid(20, 20, 0.05);
  const mesh tets = quernfold_test::tetra_grid(6, 6, 6, 1.0 / 6);
  const mesh quads = quernfold_test::quad_grid(12, 10, 0.1);
  const mesh hexas = quernfold_test::hexa_grid(5, 4, 4, 0.2);
  const dense1D<unsigned> none;
  unsigned seed = 100;
  for (rule r : {rule::gradation, rule::variation})
    for (int direction : {-1, 0, 1}) {
      SCOPED_TRACE(testing::Message()
                   << "variation " << (r == rule::variation) << " direction " << direction);
      check_iso_run(r, tris, ET_TRIA3, none, direction, random_sizes(tris.coords.cols(), ++seed));
      check_iso_run(r, tets, ET_TETRA4, none, direction, random_sizes(tets.coords.cols(), ++seed));
    }
  check_iso_run(rule::gradation, quads, ET_QUAD4, none, -1, random_sizes(quads.coords.cols(), 7));
  check_iso_run(rule::variation, hexas, ET_HEXA8, none, 1, random_sizes(hexas.coords.cols(), 8));
}

TEST(GradationProperty, FixedNodesStayAndTheirNeighboursMeetTheBound) {
  // Every 11th node fixed at the extreme size the others move towards, on
  // the edges of a cube grid (all of one length).
  const mesh cubes = quernfold_test::hexa_grid(6, 6, 6, 1.0 / 6);
  mesh segments{cubes.coords, dense2D<unsigned>()};
  ASSERT_EQ(copy_edges(cubes.connect, ET_HEXA8, segments.connect), 0);
  unsigned seed = 200;
  for (rule r : {rule::gradation, rule::variation})
    for (int direction : {-1, 1}) {
      dense1D<double> H = random_sizes(segments.coords.cols(), ++seed), A, B;
      dense1D<unsigned> fixed, free_nodes;
      for (unsigned v = 0; v < H.size(); ++v) {
        if (v % 11 == 0) {
          ASSERT_TRUE(fixed.push_back(v));
          H[v] = direction < 0 ? kSmallest : kLargest;
        } else {
          ASSERT_TRUE(free_nodes.push_back(v));
        }
      }
      check_iso_run(r, segments, ET_EDGE2, fixed, direction, H);
      // The same fixed set given as the list of free nodes.
      ASSERT_TRUE(A.copy(H));
      ASSERT_TRUE(B.copy(H));
      EXPECT_EQ(run(r, segments, ET_EDGE2, fixed, direction, A),
                run(r, segments, ET_EDGE2, free_nodes, direction, B, false));
      for (std::size_t v = 0; v < A.size(); ++v) EXPECT_EQ(A[v], B[v]) << v;
    }
}

// Smallest eigenvalue of packed matrix m.
template <int N>
double smallest(const double* m) {
  symmetric_fixed<double, N> S;
  for (int k = 0; k < S.size(); ++k) S[k] = m[k];
  vector_fixed<double, N> l;
  eigen_values(S, l);
  return l[0];
}

TEST(GradationProperty, RandomAnisotropicMetricsMeetTheBoundAlongEveryEdge) {
  const mesh tris = quernfold_test::tria_grid(15, 15, 1.0 / 15);
  const mesh tets = quernfold_test::tetra_grid(5, 5, 5, 0.2);
  const dense1D<unsigned> none;
  unsigned seed = 400;
  for (rule r : {rule::gradation, rule::variation})
    for (int direction : {-1, 1})
      for (const mesh* m : {&tris, &tets}) {
        const std::size_t dim = m->coords.rows();
        SCOPED_TRACE(testing::Message() << "dim " << dim << " direction " << direction);
        dense2D<double> M =
            quernfold_test::random_metrics(m->coords.cols(), dim, kSmallest, kLargest, ++seed);
        dense2D<double> before;
        ASSERT_TRUE(before.copy(M));
        const int changed = run(r, *m, dim == 2 ? ET_TRIA3 : ET_TETRA4, none, direction, M);
        int differ = 0;
        for (std::size_t v = 0; v < M.cols(); ++v) {
          // Still a metric, moved only the allowed way in every direction:
          // shrinking means M - M_before positive semi-definite.
          double now[6] = {0}, change[6] = {0};
          bool any = false;
          for (std::size_t k = 0; k < M.rows(); ++k) {
            now[k] = M(k, v);
            change[k] = direction * (before(k, v) - M(k, v));
            any |= M(k, v) != before(k, v);
          }
          differ += any;
          EXPECT_GT(dim == 2 ? smallest<2>(now) : smallest<3>(now), 0) << v;
          EXPECT_GE(dim == 2 ? smallest<2>(change) : smallest<3>(change),
                    -1e-9 * (std::fabs(now[0]) + std::fabs(now[2])))
              << v;
        }
        EXPECT_EQ(changed, differ);
        EXPECT_GT(changed, 0);
        // Size of node a along e: |e| / sqrt(e^T M e).
        const double excess = worst_excess(*m, r, [&](unsigned a, const double* e) {
          const double* c = M.column(a);
          double q = c[0] * e[0] * e[0] + 2 * c[1] * e[0] * e[1] + c[2] * e[1] * e[1];
          if (dim == 3) q += 2 * c[3] * e[0] * e[2] + 2 * c[4] * e[1] * e[2] + c[5] * e[2] * e[2];
          return std::sqrt((e[0] * e[0] + e[1] * e[1] + e[2] * e[2]) / q);
        });
        EXPECT_LE(excess, kExcessTolerance);
      }
}

}  // namespace
