#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "search/reference_tree.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using quernfold_test::reference_tree;
using quernfold_test::to_dense;
using quernfold_test::to_vector;
using v2 = vector_fixed<double, 2>;
using v3 = vector_fixed<double, 3>;

constexpr double kInf = std::numeric_limits<double>::infinity();

unsigned closest(const node_detector& d, unsigned dim, const double* P) {
  return dim == 2 ? d.find_closest(v2{P[0], P[1]}) : d.find_closest(v3{P[0], P[1], P[2]});
}

std::vector<unsigned> in_box(const node_detector& d, unsigned dim, const double* lo,
                             const double* hi) {
  dense1D<unsigned> out;
  if (dim == 2)
    d.find_in_box(v2{lo[0], lo[1]}, v2{hi[0], hi[1]}, out);
  else
    d.find_in_box(v3{lo[0], lo[1], lo[2]}, v3{hi[0], hi[1], hi[2]}, out);
  return to_vector(out);
}

std::vector<unsigned> everything(const node_detector& d) {
  const double lo[3] = {-kInf, -kInf, -kInf}, hi[3] = {kInf, kInf, kInf};
  return in_box(d, 3, lo, hi);
}

std::vector<unsigned> everything(const reference_tree& r) {
  const double lo[3] = {-kInf, -kInf, -kInf}, hi[3] = {kInf, kInf, kInf};
  std::vector<unsigned> out;
  r.box(lo, hi, out);
  return out;
}

TEST(NodeDetector, ErrorCodesAndEntryCounts) {
  const dense2D<double> four(4, 4);
  node_detector d;
  EXPECT_EQ(d.reinit(dense2D<double>(1, 4)), -1);
  EXPECT_EQ(d.reinit(four, dense1D<unsigned>{0, 1}), -1);
  // x order: 3 (x=0), 1 (x=1), 0 and 4 tie at x=2 -> index breaks it, 2 (x=5).
  const dense2D<double> c{{2, 0}, {1, 0}, {5, 0}, {0, 0}, {2, 1}};
  ASSERT_EQ(d.reinit(c), 5);
  EXPECT_EQ(everything(d)[0], 0u);  // the root: position 2 of (3, 1, 0, 4, 2)
  const dense2D<unsigned> M{{0, 1, 9}, {1, 2, no_index}};
  EXPECT_EQ(d.reinit(four), -1);
  EXPECT_EQ(d.reinit(c, &M + 1, &M), -3);
  EXPECT_EQ(d.size(), 5u);  // previous tree kept
  // Entries that are ~0U or past the columns are left out; repeats stay.
  EXPECT_EQ(d.reinit(c, dense1D<unsigned>{4, no_index, 4, 7, 1}), 3);
  EXPECT_EQ(d.reinit(c, M), 3);
  const dense2D<unsigned> range[2] = {{{0, 1}}, {{1, 3}, {4, 4}}};
  EXPECT_EQ(d.reinit(c, range, range + 2), 4);
  EXPECT_EQ(d.reinit(c, range, range), 0);
  EXPECT_EQ(d.find_closest(v2{0, 0}), no_index);
}

// Lattices (equal coordinates and distances everywhere) and clusters
// (coincident nodes, -0.0, offsets whose squares underflow, nodes at
// infinity), listed in odd orders with repeats and empty entries, then grown
// by insertions of new and already indexed nodes: the whole box traversal
// order pins the tree's shape, the nearest-node answers its search order.
TEST(NodeDetector, MatchesTheReferenceTree) {
  for (unsigned kind = 0; kind < 3; ++kind)
    for (unsigned dim : {2u, 3u})
      for (unsigned seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(::testing::Message() << "kind " << kind << " dim " << dim << " seed " << seed);
        const double spacing = kind == 0 ? 1.0 : kind == 1 ? 0.5 : quernfold_test::kUnderflowStep;
        const dense2D<double> c = kind == 0
                                      ? quernfold_test::lattice_points(dim, 200, 6, seed)
                                      : quernfold_test::clustered_points(dim, 160, seed, spacing);
        std::mt19937 gen(seed);
        std::uniform_int_distribution<unsigned> pick(0, static_cast<unsigned>(c.cols() - 1));
        std::vector<unsigned> list, later, kept;
        for (int i = 0; i < 100; ++i) list.push_back(i % 13 == 0 ? no_index : pick(gen));
        for (int i = 0; i < 60; ++i) later.push_back(i % 17 == 0 ? 999 : pick(gen));
        for (unsigned v : list)
          if (v != no_index) kept.push_back(v);
        reference_tree ref(c, kept);
        node_detector d(c, to_dense(list));
        ASSERT_EQ(d.size(), kept.size());
        ASSERT_EQ(everything(d), everything(ref));
        ASSERT_EQ(d.insert(to_dense(later)), ref.insert(later));

        std::uniform_int_distribution<int> half(-2, kind == 0 ? 12 : 6);
        for (unsigned q = 0; q < c.cols(); ++q) {
          // Queries at the nodes, an underflow step beside them, at infinity
          // and on the half lattice.
          double P[3] = {c(0, q), c(1, q), dim == 3 ? c(2, q) : 0.0};
          P[q % dim] += (q % 3) * quernfold_test::kUnderflowStep;
          if (q % 2)
            for (double& p : P) p = half(gen) * spacing / 2;
          ASSERT_EQ(closest(d, dim, P), ref.nearest(P)) << "query " << q;
          ASSERT_EQ(d.find_closest(q), ref.nearest(c.column(q), q)) << "node " << q;
          const double lo[3] = {P[0] - spacing, P[1] - 1.5 * spacing, P[2] - 2 * spacing};
          const double hi[3] = {P[0] + spacing, P[1], P[2]};
          std::vector<unsigned> expected;
          ref.box(lo, hi, expected);
          ASSERT_EQ(in_box(d, dim, lo, hi), expected);
        }
      }
}

TEST(NodeDetector, AgreesWithBruteForceOnRandomPoints) {
  const dense2D<double> c = quernfold_test::random_points(3, 1000, 17);
  const dense2D<double> q = quernfold_test::random_points(3, 200, 18);
  const node_detector d(c);
  auto dist2 = [&](const double* P, unsigned n) {
    double s = 0;
    for (int k = 0; k < 3; ++k) s += (P[k] - c(k, n)) * (P[k] - c(k, n));
    return s;
  };
  for (std::size_t i = 0; i < q.cols(); ++i) {
    const double* P = q.column(i);
    const double lo[3] = {P[0] - 0.1, P[1] - 0.05, P[2] - 0.2};
    const double hi[3] = {P[0] + 0.05, P[1] + 0.1, P[2]};
    double best = DBL_MAX;
    std::vector<unsigned> brute, found = in_box(d, 3, lo, hi);
    for (unsigned n = 0; n < c.cols(); ++n) {
      best = std::min(best, dist2(P, n));
      bool in = true;
      for (int k = 0; k < 3; ++k) in = in && lo[k] <= c(k, n) && c(k, n) <= hi[k];
      if (in) brute.push_back(n);
    }
    ASSERT_EQ(dist2(P, closest(d, 3, P)), best);
    std::sort(found.begin(), found.end());
    ASSERT_EQ(found, brute);
  }
}

TEST(NodeDetector, QueriesByNodeAndInsertionEntries) {
  // A node is never its own answer; past the columns, or alone, there is none.
  const dense2D<double> c{{1, 1}, {1, 1}, {4, 2}, {1, 1}};
  const node_detector d(c);
  EXPECT_EQ(d.find_closest(4u), no_index);
  const node_detector lone(c, dense1D<unsigned>{2});
  EXPECT_EQ(lone.find_closest(2u), no_index);

  // Distinct coordinates: an indexed node, one past the columns and a new one.
  const dense2D<double> spread = quernfold_test::random_points(3, 20, 21);
  node_detector s(spread, dense1D<unsigned>{0, 1, 2, 3, 4});
  EXPECT_EQ(s.insert(dense1D<unsigned>{2, 500, 7}), 1u);
  // A duplicate alone takes an entry and gives it back, which the next
  // insertion reuses.
  EXPECT_EQ(s.insert(dense1D<unsigned>{7}), 0u);
  EXPECT_EQ(s.insert(dense1D<unsigned>{8}), 1u);
  EXPECT_EQ(s.size(), 7u);

  node_detector fresh(c, dense1D<unsigned>());
  EXPECT_EQ(fresh.insert(dense2D<unsigned>{{0, 2, 0}, {2, 3, 3}}), 3u);  // distinct nodes
  EXPECT_EQ(node_detector().insert(dense1D<unsigned>{1}), 0u);
}

TEST(NodeDetector, ReadsNodesAppendedToTheCallersMatrixLater) {
  dense2D<double> c{{0, 0, 0}, {1, 0, 0}};
  node_detector d(c);
  ASSERT_TRUE(c.resize(3, 3));  // may move the storage
  for (int k = 0; k < 3; ++k) c(k, 2) = 5;
  EXPECT_EQ(d.find_closest(v3{6, 6, 6}), 1u);
  EXPECT_EQ(d.find_closest(2u), 1u);  // a query by a node that is not indexed
  EXPECT_EQ(d.insert(dense1D<unsigned>{2}), 1u);
  EXPECT_EQ(d.find_closest(v3{6, 6, 6}), 2u);
}

TEST(NodeDetector, ClosedBoxesAppendAndMixedDimensions) {
  const dense2D<double> c{{0, 0, 0}, {1, 2, 0}, {1, 2, 3}, {4, 1, 0}};
  const node_detector d(c);
  dense1D<unsigned> out;
  d.find_in_box(v3{1, 2, 3}, v3{1, 2, 3}, out);
  d.find_in_box(v3{1, 2, 3}, v3{1, 2, 3}, out);
  EXPECT_EQ(to_vector(out), (std::vector<unsigned>{2, 2}));
  // A 2-D box or point on a 3-D tree has z = 0.
  const double lo[3] = {0, 0, 0}, hi[3] = {5, 5, 5};
  std::vector<unsigned> got = in_box(d, 2, lo, hi);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<unsigned>{0, 1, 3}));
  EXPECT_EQ(d.find_closest(v2{1, 2}), 1u);
  // A 3-D query on a 2-D tree ignores z.
  const dense2D<double> flat{{0, 0}, {3, 3}};
  const node_detector f(flat);
  EXPECT_EQ(f.find_closest(v3{2.9, 2.9, -100}), 1u);
  const double flo[3] = {2, 2, 50}, fhi[3] = {4, 4, 60};
  EXPECT_EQ(in_box(f, 3, flo, fhi), (std::vector<unsigned>{1}));
  // No tree: the output is left as it was.
  node_detector().find_in_box(v2{-9, -9}, v2{9, 9}, out);
  EXPECT_EQ(out.size(), 2u);
}

TEST(NodeDetector, CopiesAreIndependentTrees) {
  const dense2D<double> c = quernfold_test::lattice_points(3, 60, 4, 5);
  node_detector a(c, dense1D<unsigned>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  node_detector b(a);
  EXPECT_EQ(everything(b), everything(a));
  EXPECT_EQ(b.insert(dense1D<unsigned>{20, 21, 22}), 3u);
  EXPECT_EQ(a.size(), 10u);
  node_detector e;
  e = b;
  node_detector& alias = e;
  e = alias;
  EXPECT_EQ(everything(e), everything(b));
  const std::vector<unsigned> order = everything(b);
  node_detector moved(std::move(b));
  EXPECT_EQ(everything(moved), order);
  EXPECT_EQ(b.size(), 0u);
  e.clear();
  EXPECT_EQ(e.size(), 0u);
}

}  // namespace
