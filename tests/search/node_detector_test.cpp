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
using quernfold_test::lattice_points;
using quernfold_test::reference_tree;
using quernfold_test::to_dense;
using quernfold_test::to_vector;

constexpr unsigned kNone = ~0U;

std::vector<unsigned> iota_list(std::size_t n) {
  std::vector<unsigned> v(n);
  std::iota(v.begin(), v.end(), 0u);
  return v;
}

std::vector<unsigned> box3(const node_detector& d, const double* lo, const double* hi) {
  dense1D<unsigned> out;
  d.find_in_box(vector_fixed<double, 3>{lo[0], lo[1], lo[2]},
                vector_fixed<double, 3>{hi[0], hi[1], hi[2]}, out);
  return to_vector(out);
}

std::vector<unsigned> everything3(const node_detector& d) {
  const double lo[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX}, hi[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
  return box3(d, lo, hi);
}

double dist2(const dense2D<double>& c, const double* P, unsigned n) {
  double s = 0;
  for (std::size_t k = 0; k < c.rows(); ++k) s += (P[k] - c(k, n)) * (P[k] - c(k, n));
  return s;
}

TEST(NodeDetector, BadCoordinatesLeaveTheDetectorAsItWas) {
  const dense2D<double> one(1, 4), four(4, 4);
  node_detector d;
  EXPECT_EQ(d.reinit(one), -1);
  EXPECT_EQ(d.reinit(four, dense1D<unsigned>{0, 1}), -1);
  EXPECT_EQ(d.size(), 0u);
  EXPECT_EQ(d.find_closest(vector_fixed<double, 2>{0, 0}), kNone);
  EXPECT_EQ(d.find_closest(0u), kNone);
  EXPECT_EQ(d.insert(dense1D<unsigned>{0}), 0u);

  const dense2D<double> c = quernfold_test::random_points(2, 10, 3);
  ASSERT_EQ(d.reinit(c), 10);
  EXPECT_EQ(d.reinit(four), -1);
  EXPECT_EQ(d.size(), 10u);  // previous tree kept
  const dense2D<unsigned> M{{0, 1}};
  EXPECT_EQ(d.reinit(c, &M + 1, &M), -3);
  EXPECT_EQ(d.size(), 10u);
  d.clear();
  EXPECT_EQ(d.size(), 0u);
  EXPECT_EQ(d.find_closest(vector_fixed<double, 2>{0, 0}), kNone);
}

TEST(NodeDetector, RootIsTheMedianOfTheXOrderAndEntriesCountListedNodes) {
  // x order: 3 (x=0), 1 (x=1), 0 and 4 tie at x=2 -> index breaks it, 2 (x=5).
  const dense2D<double> c{{2, 0}, {1, 0}, {5, 0}, {0, 0}, {2, 1}};
  node_detector d;
  EXPECT_EQ(d.reinit(c), 5);
  dense1D<unsigned> all;
  d.find_in_box(vector_fixed<double, 2>{-9, -9}, vector_fixed<double, 2>{9, 9}, all);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0], 0u);  // position 2 of (3, 1, 0, 4, 2)

  // Entries that are ~0U or past the columns are left out; repeats stay.
  EXPECT_EQ(d.reinit(c, dense1D<unsigned>{4, kNone, 4, 7, 1}), 3);
  EXPECT_EQ(d.size(), 3u);
  const dense2D<unsigned> M{{0, 1, 9}, {1, 2, kNone}};
  EXPECT_EQ(d.reinit(c, M), 3);  // distinct nodes 0, 1, 2 (9 dropped)
  const dense2D<unsigned> range[2] = {{{0, 1}}, {{1, 3}, {4, 4}}};
  EXPECT_EQ(d.reinit(c, range, range + 2), 4);
  EXPECT_EQ(d.reinit(c, range, range), 0);
  EXPECT_EQ(d.size(), 0u);
  EXPECT_EQ(d.find_closest(vector_fixed<double, 2>{0, 0}), kNone);
}

// The whole traversal order of the box search pins the tree's shape; the
// nearest-node answers pin the search order, ties included.
TEST(NodeDetector, MatchesTheReferenceTreeOnLatticesFullOfTies) {
  for (unsigned dim : {2u, 3u}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      const dense2D<double> c = lattice_points(dim, 300, 6, seed);
      std::vector<unsigned> list = iota_list(c.cols());
      std::shuffle(list.begin(), list.end(), std::mt19937(seed));
      list.resize(200);
      const reference_tree ref(c, list);
      const node_detector d(c, to_dense(list));
      ASSERT_EQ(d.size(), 200u);

      const double lo[3] = {-1, -1, -1}, hi[3] = {9, 9, 9};
      std::vector<unsigned> expected;
      ref.box(lo, hi, expected);
      dense1D<unsigned> got;
      d.find_in_box(vector_fixed<double, 3>{lo[0], lo[1], lo[2]},
                    vector_fixed<double, 3>{hi[0], hi[1], hi[2]}, got);
      ASSERT_EQ(to_vector(got), expected) << "dim " << dim << " seed " << seed;

      std::mt19937 gen(seed + 100);
      std::uniform_int_distribution<int> half(-2, 12);
      for (int q = 0; q < 200; ++q) {
        const double P[3] = {half(gen) / 2.0, half(gen) / 2.0, dim == 3 ? half(gen) / 2.0 : 0.0};
        const unsigned got_node = dim == 2
                                      ? d.find_closest(vector_fixed<double, 2>{P[0], P[1]})
                                      : d.find_closest(vector_fixed<double, 3>{P[0], P[1], P[2]});
        ASSERT_EQ(got_node, ref.nearest(P)) << "dim " << dim << " query " << q;
        const double blo[3] = {P[0] - 1, P[1] - 1.5, P[2] - 1}, bhi[3] = {P[0] + 1, P[1], P[2] + 2};
        std::vector<unsigned> in_ref;
        ref.box(blo, bhi, in_ref);
        dense1D<unsigned> in_box;
        if (dim == 2)
          d.find_in_box(vector_fixed<double, 2>{blo[0], blo[1]},
                        vector_fixed<double, 2>{bhi[0], bhi[1]}, in_box);
        else
          d.find_in_box(vector_fixed<double, 3>{blo[0], blo[1], blo[2]},
                        vector_fixed<double, 3>{bhi[0], bhi[1], bhi[2]}, in_box);
        ASSERT_EQ(to_vector(in_box), in_ref);
      }
      for (unsigned k = 0; k < c.cols(); k += 7)
        ASSERT_EQ(d.find_closest(k), ref.nearest(c.column(k), k)) << "node " << k;
    }
  }
}

// Clusters of coincident nodes, -0.0, offsets whose squares underflow and
// nodes at infinity, listed in odd orders with repeats and empty entries,
// then grown by insertions of new and already indexed nodes: the detector
// keeps the plain tree's shape, search order and ties throughout.
TEST(NodeDetector, MatchesTheReferenceTreeOnClusters) {
  const double inf = std::numeric_limits<double>::infinity();
  for (unsigned dim : {2u, 3u}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      const double spacing = seed % 2 ? 0.5 : quernfold_test::kUnderflowStep;
      const dense2D<double> c = quernfold_test::clustered_points(dim, 160, seed, spacing);
      std::mt19937 gen(seed);
      std::uniform_int_distribution<unsigned> pick(0, 159);
      std::vector<unsigned> list, later;
      for (int i = 0; i < 90; ++i) list.push_back(i % 13 == 0 ? kNone : pick(gen));
      for (int i = 0; i < 60; ++i) later.push_back(i % 17 == 0 ? 999 : pick(gen));
      std::vector<unsigned> kept;
      for (unsigned v : list)
        if (v != kNone) kept.push_back(v);
      reference_tree ref(c, kept);
      node_detector d(c, to_dense(list));
      ASSERT_EQ(d.size(), kept.size());
      ASSERT_EQ(d.insert(to_dense(later)), ref.insert(later));

      const double lo[3] = {-inf, -inf, -inf}, hi[3] = {inf, inf, inf};
      std::vector<unsigned> expected;
      ref.box(lo, hi, expected);
      ASSERT_EQ(box3(d, lo, hi), expected) << "dim " << dim << " seed " << seed;
      for (unsigned q = 0; q < c.cols(); ++q) {
        // Queries at the nodes, a step beside them and at infinity.
        double P[3] = {c(0, q), c(1, q), dim == 3 ? c(2, q) : 0.0};
        P[q % dim] += (q % 3) * quernfold_test::kUnderflowStep;
        const unsigned got = dim == 2 ? d.find_closest(vector_fixed<double, 2>{P[0], P[1]})
                                      : d.find_closest(vector_fixed<double, 3>{P[0], P[1], P[2]});
        ASSERT_EQ(got, ref.nearest(P)) << "dim " << dim << " seed " << seed << " query " << q;
        ASSERT_EQ(d.find_closest(q), ref.nearest(c.column(q), q)) << "node " << q;
        const double blo[3] = {P[0] - spacing, P[1], P[2] - 2 * spacing};
        const double bhi[3] = {P[0] + spacing, P[1] + spacing, P[2]};
        std::vector<unsigned> in_ref;
        ref.box(blo, bhi, in_ref);
        dense1D<unsigned> in_box;
        if (dim == 2)
          d.find_in_box(vector_fixed<double, 2>{blo[0], blo[1]},
                        vector_fixed<double, 2>{bhi[0], bhi[1]}, in_box);
        else
          d.find_in_box(vector_fixed<double, 3>{blo[0], blo[1], blo[2]},
                        vector_fixed<double, 3>{bhi[0], bhi[1], bhi[2]}, in_box);
        ASSERT_EQ(to_vector(in_box), in_ref);
      }
    }
  }
}

TEST(NodeDetector, AgreesWithBruteForceOnRandomPoints) {
  const dense2D<double> c = quernfold_test::random_points(3, 2000, 17);
  const node_detector d(c);
  const dense2D<double> q = quernfold_test::random_points(3, 300, 18);
  for (std::size_t i = 0; i < q.cols(); ++i) {
    const double* P = q.column(i);
    const unsigned got = d.find_closest(vector_fixed<double, 3>{P[0], P[1], P[2]});
    ASSERT_LT(got, c.cols());
    double best = DBL_MAX;
    for (unsigned n = 0; n < c.cols(); ++n) best = std::min(best, dist2(c, P, n));
    ASSERT_EQ(dist2(c, P, got), best);

    const double lo[3] = {P[0] - 0.1, P[1] - 0.05, P[2] - 0.2};
    const double hi[3] = {P[0] + 0.05, P[1] + 0.1, P[2]};
    std::vector<unsigned> found = box3(d, lo, hi), brute;
    for (unsigned n = 0; n < c.cols(); ++n) {
      bool in = true;
      for (int k = 0; k < 3; ++k) in = in && lo[k] <= c(k, n) && c(k, n) <= hi[k];
      if (in) brute.push_back(n);
    }
    std::sort(found.begin(), found.end());
    ASSERT_EQ(found, brute);
  }
}

TEST(NodeDetector, CoincidentNodesAndExactHits) {
  // Nodes 1 and 3 coincide with node 0; node 2 is elsewhere.
  const dense2D<double> c{{1, 1}, {1, 1}, {4, 2}, {1, 1}};
  const node_detector d(c);
  const reference_tree ref(c, iota_list(4));
  const double P[2] = {1, 1};
  const unsigned hit = d.find_closest(vector_fixed<double, 2>{1, 1});
  EXPECT_EQ(hit, ref.nearest(P));
  EXPECT_NE(hit, 2u);
  // The node itself is never the answer; a coincident one is.
  for (unsigned k : {0u, 1u, 3u}) {
    const unsigned other = d.find_closest(k);
    EXPECT_NE(other, k);
    EXPECT_NE(other, 2u);
    EXPECT_EQ(other, ref.nearest(c.column(k), k));
  }
  EXPECT_EQ(d.find_closest(4u), kNone);
  EXPECT_EQ(d.find_closest(2u), ref.nearest(c.column(2), 2));

  // A tree holding a single node has no other node to offer.
  const node_detector lone(c, dense1D<unsigned>{2});
  EXPECT_EQ(lone.find_closest(2u), kNone);
  EXPECT_EQ(lone.find_closest(0u), 2u);
}

TEST(NodeDetector, InsertionFollowsTheSeededShuffleAndReusesGivenBackEntries) {
  // Distinct coordinates: an indexed node is always met on its own path.
  const dense2D<double> spread = quernfold_test::random_points(3, 20, 21);
  node_detector s(spread, dense1D<unsigned>{0, 1, 2, 3, 4});
  // An indexed node, a node past the columns and a new node: one added.
  EXPECT_EQ(s.insert(dense1D<unsigned>{2, 500, 7}), 1u);
  EXPECT_GE(s.size(), 6u);
  const unsigned before = s.size();
  // A duplicate alone takes an entry and gives it back...
  EXPECT_EQ(s.insert(dense1D<unsigned>{7}), 0u);
  EXPECT_EQ(s.size(), std::max(before, 7u));
  // ...which the next insertion reuses.
  EXPECT_EQ(s.insert(dense1D<unsigned>{8}), 1u);
  EXPECT_EQ(s.size(), 7u);
  EXPECT_EQ(s.insert(dense1D<unsigned>{9}), 1u);
  EXPECT_EQ(s.size(), 8u);

  // On a lattice, equal coordinates send some duplicates down other paths;
  // the reference follows the same walk.
  dense2D<double> c = lattice_points(3, 120, 5, 21);
  node_detector d(c, dense1D<unsigned>{0, 1, 2, 3, 4});
  reference_tree ref(c, {0, 1, 2, 3, 4});
  EXPECT_EQ(d.insert(dense1D<unsigned>{2, 500, 7, 8}), ref.insert({2, 500, 7, 8}));
  std::vector<unsigned> more = iota_list(120);
  more.erase(more.begin(), more.begin() + 9);
  EXPECT_EQ(d.insert(to_dense(more)), ref.insert(more));
  std::vector<unsigned> expected;
  const double lo[3] = {-1, -1, -1}, hi[3] = {9, 9, 9};
  ref.box(lo, hi, expected);
  EXPECT_EQ(everything3(d), expected);
  for (unsigned k = 0; k < c.cols(); k += 5)
    EXPECT_EQ(d.find_closest(k), ref.nearest(c.column(k), k));

  // Inserting the distinct nodes of a matrix; an empty detector adds nothing.
  node_detector fresh(c, dense1D<unsigned>());
  EXPECT_EQ(fresh.size(), 0u);
  EXPECT_EQ(fresh.insert(dense2D<unsigned>{{5, 6, 5}, {6, 9, 9}}), 3u);
  EXPECT_EQ(fresh.size(), 3u);
  node_detector none;
  EXPECT_EQ(none.insert(dense1D<unsigned>{1}), 0u);
}

TEST(NodeDetector, ReadsNodesAppendedToTheCallersMatrixLater) {
  dense2D<double> c{{0, 0, 0}, {1, 0, 0}};
  node_detector d(c);
  ASSERT_TRUE(c.resize(3, 3));  // may move the storage
  c(0, 2) = 5;
  c(1, 2) = 5;
  c(2, 2) = 5;
  EXPECT_EQ(d.find_closest(vector_fixed<double, 3>{6, 6, 6}), 1u);
  EXPECT_EQ(d.find_closest(2u), 1u);  // a query by a node that is not indexed
  EXPECT_EQ(d.insert(dense1D<unsigned>{2}), 1u);
  EXPECT_EQ(d.find_closest(vector_fixed<double, 3>{6, 6, 6}), 2u);
  EXPECT_EQ(d.size(), 3u);
}

TEST(NodeDetector, ClosedBoxesAppendAndMixedDimensions) {
  const dense2D<double> c{{0, 0, 0}, {1, 2, 0}, {1, 2, 3}, {4, 1, 0}};
  const node_detector d(c);
  dense1D<unsigned> out;
  d.find_in_box(vector_fixed<double, 3>{1, 2, 3}, vector_fixed<double, 3>{1, 2, 3}, out);
  d.find_in_box(vector_fixed<double, 3>{1, 2, 3}, vector_fixed<double, 3>{1, 2, 3}, out);
  EXPECT_EQ(to_vector(out), (std::vector<unsigned>{2, 2}));

  // A 2-D box on a 3-D tree is the box with z in [0, 0].
  out.clear();
  d.find_in_box(vector_fixed<double, 2>{0, 0}, vector_fixed<double, 2>{5, 5}, out);
  std::vector<unsigned> got = to_vector(out);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<unsigned>{0, 1, 3}));
  // A 2-D point on a 3-D tree has z = 0.
  EXPECT_EQ(d.find_closest(vector_fixed<double, 2>{1, 2}), 1u);

  // A 3-D query on a 2-D tree ignores z.
  const dense2D<double> flat{{0, 0}, {3, 3}};
  const node_detector f(flat);
  EXPECT_EQ(f.find_closest(vector_fixed<double, 3>{2.9, 2.9, -100}), 1u);
  out.clear();
  f.find_in_box(vector_fixed<double, 3>{2, 2, 50}, vector_fixed<double, 3>{4, 4, 60}, out);
  EXPECT_EQ(to_vector(out), (std::vector<unsigned>{1}));

  // No tree: the output is left as it was.
  const node_detector empty;
  empty.find_in_box(vector_fixed<double, 2>{-9, -9}, vector_fixed<double, 2>{9, 9}, out);
  EXPECT_EQ(out.size(), 1u);
}

TEST(NodeDetector, CopiesAreIndependentTrees) {
  const dense2D<double> c = lattice_points(3, 60, 4, 5);
  node_detector a(c, dense1D<unsigned>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  node_detector b(a);
  EXPECT_EQ(everything3(b), everything3(a));
  EXPECT_EQ(b.insert(dense1D<unsigned>{20, 21, 22}), 3u);
  EXPECT_EQ(a.size(), 10u);
  EXPECT_EQ(b.size(), 13u);

  node_detector e;
  e = b;
  EXPECT_EQ(everything3(e), everything3(b));
  node_detector& alias = e;
  e = alias;
  EXPECT_EQ(e.size(), 13u);
  e = node_detector();
  EXPECT_EQ(e.size(), 0u);
  const std::vector<unsigned> order = everything3(b);
  node_detector moved(std::move(b));
  EXPECT_EQ(everything3(moved), order);
  EXPECT_EQ(b.size(), 0u);

  const dense2D<double> flat = quernfold_test::random_points(2, 5, 1);
  const node_detector two_d(flat);
  node_detector copy2(two_d);
  EXPECT_EQ(copy2.size(), 5u);
  for (unsigned k = 0; k < 5; ++k) EXPECT_EQ(copy2.find_closest(k), two_d.find_closest(k));
}

}  // namespace
