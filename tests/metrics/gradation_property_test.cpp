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

// Closed forms for sizes varying linearly along an edge: the gradation
// measure is exp(|ha - hb| / |e|) - 1, the variation |ha - hb| / |e|.
double oracle_measure(rule r, double gap, double length) {
  return r == rule::gradation ? std::expm1(gap / length) : gap / length;
}

double distance(const dense2D<double>& c, unsigned a, unsigned b) {
  double s = 0;
  for (std::size_t k = 0; k < c.rows(); ++k) s += (c(k, b) - c(k, a)) * (c(k, b) - c(k, a));
  return std::sqrt(s);
}

// Size along the unit direction e / |e| in packed metric column m.
double size_along(const double* m, const double* e, std::size_t dim) {
  double q = m[0] * e[0] * e[0] + 2 * m[1] * e[0] * e[1] + m[2] * e[1] * e[1];
  if (dim == 3) q += 2 * m[3] * e[0] * e[2] + 2 * m[4] * e[1] * e[2] + m[5] * e[2] * e[2];
  double n2 = 0;
  for (std::size_t k = 0; k < dim; ++k) n2 += e[k] * e[k];
  return std::sqrt(n2 / q);
}

// Largest excess over the bound among all node pairs of all elements.
template <class SizeOf>
double worst_excess(const mesh& m, rule r, SizeOf size_of) {
  double worst = -kBound;
  for (std::size_t j = 0; j < m.connect.cols(); ++j)
    for (std::size_t i = 0; i < m.connect.rows(); ++i)
      for (std::size_t k = i + 1; k < m.connect.rows(); ++k) {
        const unsigned a = m.connect(i, j), b = m.connect(k, j);
        const double gap = std::fabs(size_of(a, b) - size_of(b, a));
        worst = std::max(worst, oracle_measure(r, gap, distance(m.coords, a, b)) - kBound);
      }
  return worst;
}

double iso_excess(const mesh& m, rule r, const dense1D<double>& H) {
  return worst_excess(m, r, [&](unsigned a, unsigned) { return H[a]; });
}

double aniso_excess(const mesh& m, rule r, const dense2D<double>& M) {
  return worst_excess(m, r, [&](unsigned a, unsigned b) {
    double e[3] = {0, 0, 0};
    for (std::size_t k = 0; k < m.coords.rows(); ++k) e[k] = m.coords(k, b) - m.coords(k, a);
    return size_along(M.column(a), e, m.coords.rows());
  });
}

dense1D<double> random_sizes(std::size_t n, unsigned seed) {
  return quernfold_test::random_sizes(n, kSmallest, kLargest, seed);
}

dense2D<double> random_metrics(std::size_t n, std::size_t dim, unsigned seed) {
  return quernfold_test::random_metrics(n, dim, kSmallest, kLargest, seed);
}

bool valid(const double* m, std::size_t dim) {
  if (dim == 2) return is_valid_metric(symmetric_fixed<double, 2>{{m[0], m[1], m[2]}});
  return is_valid_metric(symmetric_fixed<double, 3>{{m[0], m[1], m[2], m[3], m[4], m[5]}});
}

double smallest_eigenvalue(const double* m, std::size_t dim) {
  if (dim == 2) {
    vector_fixed<double, 2> l;
    eigen_values(symmetric_fixed<double, 2>{{m[0], m[1], m[2]}}, l);
    return l[0];
  }
  vector_fixed<double, 3> l;
  eigen_values(symmetric_fixed<double, 3>{{m[0], m[1], m[2], m[3], m[4], m[5]}}, l);
  return l[0];
}

int run(rule r, const mesh& m, element_type type, const dense1D<unsigned>& fixed, int direction,
        dense1D<double>& H) {
  return r == rule::gradation
             ? bound_metric_gradations(m.coords, m.connect, type, fixed, true, direction, kBound, H)
             : bound_metric_variations(m.coords, m.connect, type, fixed, true, direction, kBound,
                                       H);
}

int run(rule r, const mesh& m, element_type type, int direction, dense2D<double>& M) {
  const dense1D<unsigned> none;
  return r == rule::gradation
             ? bound_metric_gradations(m.coords, m.connect, type, none, true, direction, kBound, M)
             : bound_metric_variations(m.coords, m.connect, type, none, true, direction, kBound, M);
}

// Checks one isotropic run: bound met, fixed nodes kept, sizes moved only
// `direction`'s way, the result counts the changed nodes, and a second run
// finds nothing left to do.
void check_iso_run(rule r, const mesh& m, element_type type, const dense1D<unsigned>& fixed,
                   int direction, dense1D<double> H) {
  dense1D<double> before;
  ASSERT_TRUE(before.copy(H));
  const int changed = run(r, m, type, fixed, direction, H);
  int differ = 0;
  for (std::size_t v = 0; v < H.size(); ++v) {
    differ += H[v] != before[v];
    if (direction < 0) {
      EXPECT_LE(H[v], before[v]) << v;
    } else {
      EXPECT_GE(H[v], before[v]) << v;
    }
  }
  EXPECT_EQ(changed, differ);
  EXPECT_GT(changed, 0);
  for (std::size_t i = 0; i < fixed.size(); ++i) EXPECT_EQ(H[fixed[i]], before[fixed[i]]);
  EXPECT_LE(iso_excess(m, r, H), kExcessTolerance);
  EXPECT_EQ(run(r, m, type, fixed, direction, H), 0);
}

// Every k-th node fixed at `size`.
dense1D<unsigned> fix_every(std::size_t k, double size, dense1D<double>& H) {
  dense1D<unsigned> fixed;
  for (std::size_t v = 0; v < H.size(); v += k) {
    EXPECT_TRUE(fixed.push_back(unsigned(v)));
    H[v] = size;
  }
  return fixed;
}

TEST(GradationProperty, RandomSizesOnSimplexGridsMeetTheBound) {
  const mesh tris = quernfold_test::tria_grid(20, 20, 0.05);
  const mesh tets = quernfold_test::tetra_grid(6, 6, 6, 1.0 / 6);
  const dense1D<unsigned> none;
  unsigned seed = 100;
  for (rule r : {rule::gradation, rule::variation})
    for (int direction : {-1, 1}) {
      SCOPED_TRACE(testing::Message()
                   << "variation " << (r == rule::variation) << " direction " << direction);
      check_iso_run(r, tris, ET_TRIA3, none, direction, random_sizes(tris.coords.cols(), ++seed));
      check_iso_run(r, tets, ET_TETRA4, none, direction, random_sizes(tets.coords.cols(), ++seed));
    }
}

TEST(GradationProperty, QuadrangleAndHexahedronDiagonalsAreGradedToo) {
  // The node graph joins all nodes of an element, so diagonals meet the bound.
  const mesh quads = quernfold_test::quad_grid(12, 10, 0.1);
  const mesh hexas = quernfold_test::hexa_grid(5, 4, 4, 0.2);
  const dense1D<unsigned> none;
  check_iso_run(rule::gradation, quads, ET_QUAD4, none, -1, random_sizes(quads.coords.cols(), 7));
  check_iso_run(rule::variation, hexas, ET_HEXA8, none, 1, random_sizes(hexas.coords.cols(), 8));
}

TEST(GradationProperty, FixedNodesStayAndTheirNeighboursMeetTheBound) {
  // Fixed nodes hold the extreme size towards which the others move, on
  // meshes whose edges all have one length: an equilateral triangle lattice
  // in 2-D and the edges of a cube grid in 3-D.
  mesh lattice = quernfold_test::tria_grid(20, 20, 0.05);
  for (std::size_t v = 0; v < lattice.coords.cols(); ++v) {
    const double y = lattice.coords(1, v);
    lattice.coords(0, v) -= 0.5 * y;
    lattice.coords(1, v) = y * std::sqrt(3.0) / 2;
  }
  const mesh cubes = quernfold_test::hexa_grid(6, 6, 6, 1.0 / 6);
  mesh segments{cubes.coords, dense2D<unsigned>()};
  ASSERT_EQ(copy_edges(cubes.connect, ET_HEXA8, segments.connect), 0);

  unsigned seed = 200;
  for (rule r : {rule::gradation, rule::variation})
    for (int direction : {-1, 1}) {
      const double extreme = direction < 0 ? kSmallest : kLargest;
      dense1D<double> H2 = random_sizes(lattice.coords.cols(), ++seed);
      const dense1D<unsigned> fixed2 = fix_every(7, extreme, H2);
      check_iso_run(r, lattice, ET_TRIA3, fixed2, direction, H2);
      dense1D<double> H3 = random_sizes(segments.coords.cols(), ++seed);
      const dense1D<unsigned> fixed3 = fix_every(11, extreme, H3);
      check_iso_run(r, segments, ET_EDGE2, fixed3, direction, H3);

      // The same fixed set given as the list of free nodes.
      dense1D<unsigned> free_nodes;
      for (std::size_t v = 0; v < H3.size(); ++v)
        if (v % 11 != 0) {
          ASSERT_TRUE(free_nodes.push_back(unsigned(v)));
        }
      dense1D<double> A, B;
      ASSERT_TRUE(A.copy(H3));
      ASSERT_TRUE(B.copy(H3));
      const int na = run(r, segments, ET_EDGE2, fixed3, direction, A);
      const int nb = r == rule::gradation
                         ? bound_metric_gradations(segments.coords, segments.connect, ET_EDGE2,
                                                   free_nodes, false, direction, kBound, B)
                         : bound_metric_variations(segments.coords, segments.connect, ET_EDGE2,
                                                   free_nodes, false, direction, kBound, B);
      EXPECT_EQ(na, nb);
      for (std::size_t v = 0; v < A.size(); ++v) EXPECT_EQ(A[v], B[v]) << v;
    }
}

TEST(GradationProperty, EitherWayKeepsSizesWithinTheirRange) {
  // With direction 0 each node takes the way of its first move; sizes are
  // interpolated between neighbours, so they never leave the initial range.
  const mesh tris = quernfold_test::tria_grid(15, 15, 1.0 / 15);
  for (rule r : {rule::gradation, rule::variation}) {
    dense1D<double> H = random_sizes(tris.coords.cols(), 300), before;
    ASSERT_TRUE(before.copy(H));
    const int changed = run(r, tris, ET_TRIA3, dense1D<unsigned>(), 0, H);
    int differ = 0;
    double lo = 1e300, hi = 0;
    for (std::size_t v = 0; v < H.size(); ++v) {
      differ += H[v] != before[v];
      lo = std::min(lo, H[v]), hi = std::max(hi, H[v]);
    }
    EXPECT_EQ(changed, differ);
    EXPECT_GT(changed, 0);
    EXPECT_GE(lo, kSmallest);
    EXPECT_LE(hi, kLargest);
  }
}

TEST(GradationProperty, RandomAnisotropicMetricsMeetTheBoundAlongEveryEdge) {
  const mesh tris = quernfold_test::tria_grid(15, 15, 1.0 / 15);
  const mesh tets = quernfold_test::tetra_grid(5, 5, 5, 0.2);
  unsigned seed = 400;
  for (rule r : {rule::gradation, rule::variation})
    for (int direction : {-1, 1})
      for (const mesh* m : {&tris, &tets}) {
        const std::size_t dim = m->coords.rows();
        SCOPED_TRACE(testing::Message() << "dim " << dim << " direction " << direction);
        dense2D<double> M = random_metrics(m->coords.cols(), dim, ++seed), before;
        ASSERT_TRUE(before.copy(M));
        const int changed = run(r, *m, dim == 2 ? ET_TRIA3 : ET_TETRA4, direction, M);
        int differ = 0;
        for (std::size_t v = 0; v < M.cols(); ++v) {
          bool any = false;
          for (std::size_t k = 0; k < M.rows(); ++k) any |= M(k, v) != before(k, v);
          differ += any;
        }
        EXPECT_EQ(changed, differ);
        EXPECT_GT(changed, 0);
        EXPECT_LE(aniso_excess(*m, r, M), kExcessTolerance);
        // Every corrected metric is still a metric, and moved only the
        // allowed way in every direction: shrinking sizes means M - M_before
        // positive semi-definite, growing the opposite.
        for (std::size_t v = 0; v < M.cols(); ++v) {
          double now[6] = {0}, change[6] = {0};
          for (std::size_t k = 0; k < M.rows(); ++k) {
            now[k] = M(k, v);
            change[k] = direction * (before(k, v) - M(k, v));
          }
          const double slack = -1e-9 * (std::fabs(now[0]) + std::fabs(now[2]));
          EXPECT_TRUE(valid(now, dim)) << v;
          EXPECT_GE(smallest_eigenvalue(change, dim), slack) << v;
        }
      }
}

}  // namespace
