// The node detector: its balanced construction, its insertions, and its
// nearest-node and box queries against brute force, with the tie orders of
// the tree pinned on small worked cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "support/compare.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using L = dense1D<unsigned>;
using v2 = vector_fixed<double, 2>;
using v3 = vector_fixed<double, 3>;
using list_t = std::vector<unsigned>;

constexpr double kInf = std::numeric_limits<double>::infinity();

list_t in_box(const node_detector& d, unsigned dim, const double* lo, const double* hi) {
  L out;
  if (dim == 2)
    d.find_in_box(v2{lo[0], lo[1]}, v2{hi[0], hi[1]}, out);
  else
    d.find_in_box(v3{lo[0], lo[1], lo[2]}, v3{hi[0], hi[1], hi[2]}, out);
  return list_t(out.begin(), out.end());
}

// A box holding everything reports the whole tree, depth first, each entry
// before its right subtree and that before its left one.
list_t everything(const node_detector& d) {
  const double lo[3] = {-kInf, -kInf, -kInf}, hi[3] = {kInf, kInf, kInf};
  return in_box(d, 3, lo, hi);
}

// That same order for the balanced tree over `nodes`, by full sorts: the
// median of each range in the splitting order (coordinate on the level's
// axis, then index) heads its range.
void balanced_order(const dense2D<double>& c, list_t nodes, unsigned level, list_t& out) {
  if (nodes.empty()) return;
  const std::size_t a = level % c.rows(), m = nodes.size() / 2;
  std::sort(nodes.begin(), nodes.end(), [&](unsigned p, unsigned q) {
    return c(a, p) < c(a, q) || (c(a, p) == c(a, q) && p < q);
  });
  out.push_back(nodes[m]);
  balanced_order(c, list_t(nodes.begin() + m + 1, nodes.end()), level + 1, out);
  balanced_order(c, list_t(nodes.begin(), nodes.begin() + m), level + 1, out);
}

double dist2(const dense2D<double>& c, const double* P, unsigned n) {
  const double dx = P[0] - c(0, n), dy = P[1] - c(1, n);
  const double d2 = dy * dy + dx * dx;
  return c.rows() == 2 ? d2 : d2 + (P[2] - c(2, n)) * (P[2] - c(2, n));
}

TEST(NodeDetector, CodesEntryCountsAndInsertions) {
  const dense2D<double> all{{2, 0}, {1, 0}, {5, 0}, {0, 0}, {2, 1}, {1, 1}, {2, 0}, {0, 1}};
  const dense2D<double> c = all.sub_matrix(0, 0, 2, 5);
  const dense2D<unsigned> M{{0, 1, 9}, {1, 2, no_index}};
  const dense2D<unsigned> range[2] = {{{0, 1}}, {{1, 3}, {4, 4}}};
  node_detector d;
  // Row 6: a failed reinit keeps the tree. Rows 7 to 10: entries that are ~0U
  // or past the columns are left out; repeats stay.
  EXPECT_CODES({d.reinit(dense2D<double>(1, 4)), -1}, {d.size(), 0},
               {d.find_closest(v2{0, 0}), no_index}, {d.reinit(c), 5},
               {d.reinit(dense2D<double>(4, 4), L{0, 1}), -1}, {d.reinit(c, &M + 1, &M), -3},
               {d.size(), 5}, {d.reinit(c, L{4, no_index, 4, 7, 1}), 3}, {d.reinit(c, M), 3},
               {d.reinit(c, range, range + 2), 4}, {d.reinit(c, range, range), 0},
               {d.find_closest(0u), no_index}, {node_detector().insert(L{1}), 0});

  // Insertions go in the order of the seeded shuffle, 3 6 0 2 4 9 5 1 2 7
  // here, equal coordinates to the right; 9 is past the columns and the
  // second 2 is found, its entry given back and taken again by 7.
  ASSERT_EQ(d.reinit(all, L()), 0);
  EXPECT_EQ(d.insert(L{4, 2, 0, 3, 1, 6, 5, 2, 9, 7}), 8u);
  EXPECT_EQ(everything(d), (list_t{3, 6, 0, 2, 4, 5, 7, 1}));
  // Row 3: the entry of the lone repeat waits for reuse.
  EXPECT_CODES({d.size(), 8}, {d.insert(L{2}), 0},
               {d.insert(dense2D<unsigned>{{0, 2, 0}, {2, 3, 3}}), 0}, {d.size(), 9});
}

// Lattices (equal coordinates, coincident nodes and equal distances
// everywhere) and uniform clouds: built over every node, and grown by
// insertions after construction.
TEST(NodeDetector, ConstructionAndQueriesMatchBruteForce) {
  for (unsigned dim : {2u, 3u})
    for (unsigned side : {4u, 0u}) {
      SCOPED_TRACE(::testing::Message() << "dim " << dim << " side " << side);
      const dense2D<double> c = quernfold_test::random_points(dim, 300, 7 + dim, side);
      const dense2D<double> q = quernfold_test::random_points(dim, 200, 9, side ? 2 * side : 0);
      list_t all(c.cols()), expected;
      std::iota(all.begin(), all.end(), 0u);
      balanced_order(c, all, 0, expected);
      EXPECT_EQ(everything(node_detector(c)), expected);
      node_detector d(c, L{0, 1, 2, 3});
      L later(c.cols() - 4);
      for (unsigned i = 0; i < later.size(); ++i) later[i] = c.cols() - 1 - i;
      ASSERT_EQ(d.insert(later), later.size());
      const double h = side ? 1.0 : 0.1;
      for (unsigned k = 0; k < q.cols(); ++k) {
        double P[3] = {0, 0, 0};
        for (unsigned i = 0; i < dim; ++i) P[i] = side ? q(i, k) / 2 : q(i, k);
        const double lo[3] = {P[0] - h, P[1] - 0.5 * h, P[2] - 2 * h};
        const double hi[3] = {P[0] + 0.5 * h, P[1] + h, P[2]};
        double best = DBL_MAX, best_other = DBL_MAX;
        list_t brute;
        for (unsigned n = 0; n < c.cols(); ++n) {
          best = std::min(best, dist2(c, P, n));
          if (n != k) best_other = std::min(best_other, dist2(c, c.column(k), n));
          bool in = true;
          for (unsigned i = 0; i < dim; ++i) in = in && lo[i] <= c(i, n) && c(i, n) <= hi[i];
          if (in) brute.push_back(n);
        }
        const unsigned at =
            dim == 2 ? d.find_closest(v2{P[0], P[1]}) : d.find_closest(v3{P[0], P[1], P[2]});
        ASSERT_EQ(dist2(c, P, at), best) << "query " << k;
        ASSERT_NE(d.find_closest(k), k);
        ASSERT_EQ(dist2(c, c.column(k), d.find_closest(k)), best_other) << "node " << k;
        list_t found = in_box(d, dim, lo, hi);
        std::sort(found.begin(), found.end());
        ASSERT_EQ(found, brute) << "query " << k;
      }
    }
}

// Ranges long enough for the sampled selection: clouds, lattices with ties
// on every axis, and one node listed thousands of times among the others.
TEST(NodeDetector, LargeBuildsFollowTheSplittingOrder) {
  for (unsigned dim : {2u, 3u})
    for (unsigned side : {0u, 5u, 40u}) {
      SCOPED_TRACE(::testing::Message() << "dim " << dim << " side " << side);
      const dense2D<double> c = quernfold_test::random_points(dim, 5000, 3 + side, side);
      list_t list(c.cols(), 17u), expected;
      std::iota(list.begin(), list.begin() + 2500, 0u);
      std::shuffle(list.begin(), list.end(), std::mt19937(side));
      L nodes(list.size());
      std::copy(list.begin(), list.end(), nodes.begin());
      balanced_order(c, list, 0, expected);
      EXPECT_EQ(everything(node_detector(c, nodes)), expected);
    }
}

TEST(NodeDetector, WorkedTiesBoxesAndTheCallersMatrix) {
  // The centre of each cell of a 4 x 4 lattice (node i + 4 j at (i, j)) is
  // as close to each of the cell's corners; the corner met first answers.
  const dense2D<double> g = quernfold_test::quad_grid(3, 3).coords;
  const node_detector d(g);
  list_t answers;
  for (unsigned j = 0; j < 3; ++j)
    for (unsigned i = 0; i < 3; ++i) answers.push_back(d.find_closest(v2{i + 0.5, j + 0.5}));
  EXPECT_EQ(answers, (list_t{1, 2, 2, 8, 5, 10, 8, 9, 10}));
  // Coincident nodes: the one on the descent path wins, and a node's
  // nearest other node may sit on it.
  const dense2D<double> c{{1, 1}, {1, 1}, {4, 2}, {1, 1}};
  const node_detector e(c);
  EXPECT_CODES({e.find_closest(v2{1, 1}), everything(e)[0]}, {e.find_closest(3u), 1},
               {e.find_closest(4u), no_index}, {node_detector(c, L{2}).find_closest(2u), no_index});
  // Boxes are closed and append; a 2-D query on a 3-D tree has z = 0, a 3-D
  // one on a 2-D tree ignores z.
  dense2D<double> p{{0, 0, 0}, {1, 2, 0}, {1, 2, 3}, {4, 1, 0}};
  const node_detector f(p);
  L out{7};
  f.find_in_box(v2{1, 2}, v2{5, 5}, out);
  EXPECT_SAME(out, (L{7, 1}));
  const double lo[3] = {3, 1, 50}, hi[3] = {5, 3, 60};
  EXPECT_EQ(in_box(e, 3, lo, hi), list_t{2});
  // The tree reads the caller's matrix, even once its storage moves.
  ASSERT_TRUE(p.resize(3, 5));
  for (int k = 0; k < 3; ++k) p(k, 4) = 5;
  EXPECT_CODES({f.find_closest(v2{1, 2}), 1}, {e.find_closest(v3{3.9, 2.1, -100}), 2},
               {f.find_closest(4u), 2});
}

}  // namespace
