// Element kinds, index utilities, bounding boxes and centroids.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include <quernfold/quernfold.h>

#include "support/compare.h"

using namespace ovk::quernfold;
using L = dense1D<unsigned>;
using M = dense2D<unsigned>;

namespace {

// A window onto `parent` holding the given columns, whose leading dimension
// is one more than its height: the row between two columns holds `gap`, so
// a walk that strays off the window's entries is caught.
M padded_window(std::initializer_list<std::initializer_list<unsigned>> cols, unsigned gap,
                M& parent) {
  const M packed(cols);
  parent = M(packed.rows() + 1, packed.cols(), gap);
  for (std::size_t j = 0; j < packed.cols(); ++j)
    for (std::size_t i = 0; i < packed.rows(); ++i) parent(i, j) = packed(i, j);
  return parent.sub_matrix(0, 0, packed.rows(), packed.cols());
}

L random_list(std::mt19937& rng, unsigned n, unsigned range, unsigned spread = 1) {
  L v(n);
  for (auto& x : v) x = rng() % 7 == 0 ? no_index : spread * (rng() % range);
  return v;
}

TEST(ElementTypes, VersionAndPropertyTables) {
  EXPECT_STREQ(version(), "5.1.0.0");
  // nodes, base nodes, dimension, boundaries for each kind in enum order.
  const unsigned table[][4] = {
      {0, 0, 0, 0},  {1, 1, 0, 0},  {2, 2, 1, 2}, {2, 2, 1, 2},  {3, 2, 1, 2},  {4, 4, 2, 4},
      {3, 3, 2, 3},  {4, 4, 2, 4},  {6, 3, 2, 3}, {8, 4, 2, 4},  {9, 4, 2, 4},  {8, 8, 3, 6},
      {4, 4, 3, 4},  {10, 4, 3, 4}, {5, 5, 3, 5}, {13, 5, 3, 5}, {14, 5, 3, 5}, {6, 6, 3, 5},
      {15, 6, 3, 5}, {18, 6, 3, 5}, {8, 8, 3, 6}, {20, 8, 3, 6}, {27, 8, 3, 6}};
  static_assert(ET_FACE_MIX == 5 && ET_SOLID_MIX == 11 && ET_HEXA27 == 22, "enum order");
  for (int k = 0; k < 23; ++k) {
    const auto FE = static_cast<element_type>(k);
    const unsigned got[4] = {nbr_nodes(FE), nbr_base_nodes(FE), element_dim(FE),
                             nbr_boundaries(FE)};
    EXPECT_EQ(std::vector<unsigned>(got, got + 4), std::vector<unsigned>(table[k], table[k] + 4))
        << "kind " << k;
  }
  EXPECT_EQ(nbr_nodes(static_cast<element_type>(23)), 0u);
}

// Each column checked on its own as a one-column matrix of the kind.
void expect_columns(element_type FE, unsigned nods, bool valid,
                    std::initializer_list<std::initializer_list<unsigned>> columns) {
  for (const auto& c : columns)
    EXPECT_EQ(check_IDs(M{c}, FE, nods), valid) << "kind " << FE << ", column of " << c.size();
}

TEST(TypedCheckIDs, PureAndMixedKinds) {
  const unsigned N = no_index;
  M parent;
  EXPECT_TRUE(check_IDs(padded_window({{0, 1}, {1, 2}}, N, parent), ET_EDGE2, 3));  // gaps unread
  EXPECT_FALSE(check_IDs(M{{0, 1}, {1, 2}, {2, 9}, {3, 4}}, ET_EDGE2, 9));          // any column
  expect_columns(ET_UNKNOWN, 10, false, {{0}});
  expect_columns(ET_TRIA3, 3, false, {{0, 1, 3}, {0, 1, 2, 0}, {0, 1}});  // rows match exactly
  expect_columns(ET_EDGE2, N, true, {{0, N - 1}});
  expect_columns(ET_FACE_MIX, 4, true, {{0, 1, 2}, {0, 1, 2, N}, {0, 1, 2, 3}});
  // Row 3 holds the node count in the last column.
  expect_columns(ET_FACE_MIX, 4, false, {{0, 1, N}, {0, N, 2, 3}, {0, 1, 2, 3, 0}, {0, 1, 2, 4}});
  expect_columns(ET_SOLID_MIX, 8, true, {{0, 1, 2, 3, N, N, N, N}, {0, 1, 2, 3, 4, 5, N, N}});
  expect_columns(ET_SOLID_MIX, 8, false,
                 {{0, 1, 2, N, N, N, N, N}, {0, 1, 2, 3, 4, N, 6, N}, {0, 1, 2, 3, 4, 5, 6, N}});
}

TEST(IndexUtilities, MaxCheckShiftChangeAndPermute) {
  M parent, other, w = padded_window({{0, 1}, {2, 3}}, 77, parent);
  // Row 6: any height, ~0U anywhere.
  EXPECT_CODES({max_ID(L()), no_index}, {max_ID(L{no_index, no_index}), 0},
               {max_ID(padded_window({{1, 5}, {2, no_index}}, 100, other)), 5},
               {check_IDs(L{0, no_index, 4}, 5), true}, {check_IDs(L{0, no_index, 4}, 4), false},
               {check_IDs(M{{0, 1}, {2, 5}}, 5), false},
               {check_IDs(M{{no_index, 1, 2, 3, 4}}, 5), true}, {check_IDs(w, 4), true});
  // The kind passed, not the height, decides whether ~0U is kept; the gaps
  // of a window stay as they are.
  const unsigned N = no_index;
  auto shifted = [](M m, element_type FE, int shift) {
    EXPECT_EQ(shift_indices(m, shift, FE), 0);
    return m;
  };
  EXPECT_SAME(shifted(M{{0, 1, N}}, ET_TRIA3, 2), (M{{2, 3, 1}}));
  EXPECT_SAME(shifted(M{{0, 1, 2, N}, {3, 4, 5, 6}}, ET_FACE_MIX, 2),
              (M{{2, 3, 4, N}, {5, 6, 7, 8}}));
  EXPECT_SAME(shifted(M{{N, 1, 2}}, ET_FACE_MIX, 1), (M{{N, 2, 3}}));
  EXPECT_SAME(shifted(w, ET_EDGE2, 5), (M{{5, 6}, {7, 8}}));
  EXPECT_SAME(parent, (M{{5, 6, 77}, {7, 8, 77}}));
  L ids{0, N, 3}, map_ids{0, 1, 5, N};
  EXPECT_EQ(shift_indices(ids, -1), 0);
  EXPECT_SAME(ids, (L{N, N, 2}));  // 0 - 1 wraps to ~0U
  M m{{0, 1, 2}, {2, 3, N}};
  change_indices(map_ids, L{7, N});
  change_indices(m, L{10, 11, 12});
  EXPECT_SAME(map_ids, (L{7, N, 5, N}));
  EXPECT_SAME(m, (M{{10, 11, 12}, {12, 3, N}}));
  auto permuted = [](const L& perm) {
    L V{10, 20, 30};
    EXPECT_EQ(permutation(V, perm), 0);
    return V;
  };
  EXPECT_SAME(permuted(L{2, 0, 1}), (L{20, 30, 10}));
  EXPECT_SAME(permuted(L{1, 1}), (L{10, 10, 30}));  // perm[1] = 1 does not overwrite
  EXPECT_SAME(permuted(L{no_index, 7, 0}), (L{30, 20, 30}));
  EXPECT_SAME(permuted(L()), (L{10, 20, 30}));
  L order{99}, offsets{99};
  EXPECT_EQ(get_sorted_order(L(), order, offsets), 0);
  EXPECT_SAME(offsets, L{0});

  std::mt19937 rng(7);
  for (int trial = 0; trial < 50; ++trial) {
    const L values = random_list(rng, 1 + rng() % 60, 1 + rng() % 20);
    ASSERT_EQ(get_sorted_order(values, order, offsets), 0);
    std::vector<unsigned> want;
    for (unsigned i = 0; i < values.size(); ++i)
      if (values[i] != no_index) want.push_back(i);
    std::stable_sort(want.begin(), want.end(),
                     [&](unsigned x, unsigned y) { return values[x] < values[y]; });
    ASSERT_EQ(std::vector<unsigned>(order.begin(), order.end()), want);
    const unsigned top = max_ID(values);
    ASSERT_EQ(offsets.size(), top + 2u);
    for (unsigned v = 0; v <= top; ++v)
      ASSERT_EQ(offsets[v + 1] - offsets[v], std::count(values.begin(), values.end(), v)) << v;
  }
}

TEST(GetIDsLists, FirstPositionsBothWaysAgainstBruteForce) {
  L B_in_A, A_in_B;
  std::mt19937 rng(11);
  for (int trial = 0; trial < 60; ++trial) {
    const unsigned range = 1 + rng() % 30;
    const L A = random_list(rng, rng() % 40, range), B = random_list(rng, rng() % 40, range);
    ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B), 0);
    L want_b(B.size(), no_index), want_a(A.size(), no_index);
    auto first = [](const L& v, unsigned x) {
      return x == no_index ? no_index : unsigned(std::find(v.begin(), v.end(), x) - v.begin());
    };
    for (unsigned j = 0; j < B.size(); ++j)
      if (first(A, B[j]) < A.size()) want_b[j] = first(A, B[j]);
    for (unsigned i = 0; i < A.size(); ++i)
      if (first(A, A[i]) == i && first(B, A[i]) < B.size()) want_a[i] = first(B, A[i]);
    ASSERT_SAME(B_in_A, want_b);
    ASSERT_SAME(A_in_B, want_a);
  }
}

TEST(GetIDsMatrices, CodesTiesAndBruteForceOnRandomPolygons) {
  const unsigned N = no_index;
  L B_in_A{7}, A_in_B{7};
  EXPECT_EQ(get_IDs(M{{1, 2, 3}}, M{{1, 2}, {3, 4}}, B_in_A, A_in_B, false), -2);
  EXPECT_SAME(B_in_A, (L{N, N}));  // sized and filled before the check
  EXPECT_EQ(get_IDs(M(0, 2), M{{1, 2, 3}}, B_in_A, A_in_B, true), 0);  // no entries
  EXPECT_SAME(A_in_B, (L{N, N}));
  // Rotated to start at their first 5, the columns differ although one is a
  // cyclic shift of the other; ~0U is the largest entry: a mixed triangle
  // matches only from the same start, either way round.
  EXPECT_EQ(get_IDs(M{{5, 1, 2, 5, 3, 4}}, M{{5, 3, 4, 5, 1, 2}}, B_in_A, A_in_B, false), 0);
  EXPECT_SAME(B_in_A, L{N});
  EXPECT_EQ(
      get_IDs(M{{0, 1, 2, N}}, M{{1, 2, 0, N}, {2, 1, 0, N}, {0, 1, 2, N}}, B_in_A, A_in_B, false),
      0);
  EXPECT_SAME(B_in_A, (L{N, 0, 0}));
  // Distinct entries per column, so the loose rule is "same polygon": a
  // cyclic shift of the column or of its reverse.
  auto same_polygon = [](std::vector<unsigned> a, const std::vector<unsigned>& b) {
    for (int pass = 0; pass < 2; ++pass, std::reverse(a.begin(), a.end()))
      for (std::size_t s = 0; s < a.size(); ++s, std::rotate(a.begin(), a.begin() + 1, a.end()))
        if (a == b) return true;
    return false;
  };
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 40; ++trial) {
    const unsigned rows = 2 + trial % 4;
    std::vector<unsigned> pool(rows + 2);
    std::iota(pool.begin(), pool.end(), 0u);
    M A(rows, 1 + rng() % 25), B(rows, 1 + rng() % 25);
    std::vector<std::vector<unsigned>> a, b;
    for (auto [X, cols] : {std::pair(&A, &a), std::pair(&B, &b)})
      for (std::size_t j = 0; j < X->cols(); ++j) {
        std::shuffle(pool.begin(), pool.end(), rng);
        std::copy(pool.begin(), pool.begin() + rows, X->column(j));
        cols->emplace_back(pool.begin(), pool.begin() + rows);
      }
    for (const bool strict : {false, true}) {
      L B_in_A, A_in_B, want_b(B.cols(), no_index), want_a(A.cols(), no_index);
      ASSERT_EQ(get_IDs(A, B, B_in_A, A_in_B, strict), 0);
      for (unsigned j = 0; j < B.cols(); ++j)
        for (unsigned i = 0; i < A.cols(); ++i)
          if (strict ? a[i] == b[j] : same_polygon(a[i], b[j])) {
            want_b[j] = std::min(want_b[j], i);
            want_a[i] = std::min(want_a[i], j);
          }
      ASSERT_SAME(B_in_A, want_b) << "strict " << strict;
      ASSERT_SAME(A_in_B, want_a) << "strict " << strict;
    }
  }
}

TEST(UniqueIndices, ExclusionsCodesAndEveryOverloadAgainstASetOracle) {
  L out{42, 4, 2, 9};
  M parent, range[2] = {M{{3, 1, no_index}}, padded_window({{8, 6}, {6, 3}}, 1000, parent)};
  EXPECT_EQ(unique_indices(out, range + 2, range, L()), -3);
  EXPECT_EQ(out.size(), 4u);
  EXPECT_EQ(count_unique_indices(range + 1, range), -2);
  EXPECT_EQ(count_unique_indices(range, range + 2), 4);  // the gaps do not count
  std::mt19937 rng(99);
  for (int trial = 0; trial < 40; ++trial) {
    // Odd trials spread the values too far apart for a bitset: the hash set
    // is used.
    const unsigned range = 1 + rng() % 200, spread = trial % 2 ? 40000003u : 1u;
    std::vector<M> mats;
    std::vector<unsigned> all;
    for (unsigned m = 0, n = 1 + rng() % 4; m < n; ++m) {
      mats.emplace_back(1 + rng() % 5, rng() % 30);
      const L flat = random_list(rng, mats.back().rows() * mats.back().cols(), range, spread);
      std::copy(flat.begin(), flat.end(), mats.back().data());
      all.insert(all.end(), flat.begin(), flat.end());
    }
    const L exclude = random_list(rng, rng() % 10, range, spread);
    std::set<unsigned> seen(exclude.begin(), exclude.end());
    seen.insert(no_index);
    L want{1000}, got{1000}, from_list{1000}, from_row{1000}, flat(all.size());  // appended to
    for (unsigned v : all)
      if (seen.insert(v).second) want.push_back(v);
    M row(1, all.size());
    std::copy(all.begin(), all.end(), flat.begin());
    std::copy(all.begin(), all.end(), row.data());
    ASSERT_EQ(unique_indices(got, mats.data(), mats.data() + mats.size(), exclude), 0);
    ASSERT_EQ(unique_indices(from_list, flat, exclude), 0);
    ASSERT_EQ(unique_indices(from_row, row, exclude), 0);
    for (const L* g : {&got, &from_list, &from_row}) ASSERT_SAME(*g, want);
    std::set<unsigned> distinct(all.begin(), all.end());
    distinct.erase(no_index);
    ASSERT_EQ(count_unique_indices(mats.data(), mats.data() + mats.size()), int(distinct.size()));
  }
}

template <int N>
std::vector<double> corners(const vector_fixed<double, N>& lo, const vector_fixed<double, N>& hi) {
  std::vector<double> v;
  for (int k = 0; k < N; ++k) v.push_back(lo[k]), v.push_back(hi[k]);
  return v;
}

// Every overload on random nodes, from an empty start (lower corner above
// the upper one) or from a box of its own: the result is the smallest box
// holding the start and the nodes named.
template <int N>
void check_boxes(std::mt19937& rng) {
  std::uniform_real_distribution<double> coord(-100.0, 100.0);
  const unsigned n = 1 + rng() % 60;
  dense2D<double> c(N, n);
  for (double& x : c.as_vector()) x = coord(rng);
  const L list = random_list(rng, 1 + rng() % 20, n);
  M conn(2, 1 + rng() % 20);
  for (unsigned& v : conn.as_vector()) v = rng() % 5 ? rng() % n : no_index;
  for (int overload = 0; overload < 3; ++overload) {
    vector_fixed<double, N> lo, hi;
    for (int k = 0; k < N; ++k) {
      const bool empty = rng() % 2;
      lo[k] = empty ? DBL_MAX : coord(rng), hi[k] = empty ? -DBL_MAX : lo[k] + 60;
    }
    std::vector<double> want = corners(lo, hi);
    const L named = overload == 0 ? L() : overload == 1 ? list : conn.as_vector();
    for (unsigned j = 0; j < n; ++j)
      if (overload == 0 || std::count(named.begin(), named.end(), j))
        for (int k = 0; k < N; ++k)
          want[2 * k] = std::min(want[2 * k], c(k, j)),
                   want[2 * k + 1] = std::max(want[2 * k + 1], c(k, j));
    const int code = overload == 0   ? inc_bounding_box(c, lo, hi)
                     : overload == 1 ? inc_bounding_box(c, list, lo, hi)
                                     : inc_bounding_box(c, conn, lo, hi);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(corners(lo, hi), want) << N << "-D, overload " << overload;
  }
}

TEST(BoundingBox, EveryOverloadAgainstBruteForceAndCodes) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 20; ++trial) check_boxes<2>(rng), check_boxes<3>(rng);
  // !(NaN >= lo) makes NaN the lower corner; any number then replaces it.
  vector_fixed<double, 2> a{{0, 0}}, b{{1, 1}};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(inc_bounding_box(dense2D<double>{{nan, 0.5}}, a, b), 0);
  EXPECT_TRUE(std::isnan(a[0]));
  EXPECT_EQ(inc_bounding_box(dense2D<double>{{0.25, 0.5}}, a, b), 0);
  EXPECT_EQ(corners(a, b), (std::vector<double>{0.25, 1, 0, 1}));
  // Codes of every overload leave the box.
  const dense2D<double> c2{{0, 0}, {4, 1}}, c3{{0, 0, 0}, {1, 1, 1}};
  vector_fixed<double, 2> lo2{{1, 1}}, hi2{{2, 2}};
  vector_fixed<double, 3> lo3{{1, 2, 3}}, hi3{{4, 5, 6}};
  EXPECT_CODES(
      {inc_bounding_box(c3, lo2, hi2), -1}, {inc_bounding_box(c2, lo3, hi3), -1},
      {inc_bounding_box(c3, L{0}, lo2, hi2), -1}, {inc_bounding_box(c2, L{1, 2}, lo2, hi2), -2},
      {inc_bounding_box(c2, M{{0}}, lo3, hi3), -1}, {inc_bounding_box(c3, M{{1, 2}}, lo3, hi3), -2},
      {inc_bounding_box(c2, M{{no_index}}, lo3, hi3), 0});
  EXPECT_EQ(corners(lo2, hi2), (std::vector<double>{1, 2, 1, 2}));
  EXPECT_EQ(corners(lo3, hi3), (std::vector<double>{1, 4, 2, 5, 3, 6}));
}

TEST(Centroids, PlainAveragesOfTheVertexNodesCodesAndOutputs) {
  // Node j at (j, 2j, 0.5): the sums are exact, so the factor 1/n shows.
  dense2D<double> coords(3, 8);
  for (unsigned j = 0; j < 8; ++j) coords(0, j) = j, coords(1, j) = 2.0 * j, coords(2, j) = 0.5;
  const unsigned N = no_index;
  const std::pair<element_type, M> cases[] = {
      {ET_FACE_MIX, M{{0, 1, 2, N}, {0, 1, 2, 3}}},
      {ET_FACE_MIX, M{{1, 2, 3}}},  // the height of one shape: triangles
      {ET_SOLID_MIX, M{{0, 1, 2, 3, N, N, N, N},
                       {0, 1, 2, 3, 4, N, N, N},
                       {0, 1, 2, 3, 4, 5, N, N},
                       {0, 1, 2, 3, 4, 5, 6, 7}}}};
  for (const auto& [FE, connect] : cases) {
    dense2D<double> G, want(3, connect.cols(), 0.0);
    for (unsigned e = 0; e < connect.cols(); ++e) {
      const auto* c = connect.column(e);
      const double n = double(std::find(c, c + connect.rows(), N) - c);
      for (unsigned i = 0; i < 3; ++i) {
        for (unsigned r = 0; r < n; ++r) want(i, e) += coords(i, c[r]);
        want(i, e) *= 1 / n;
      }
    }
    ASSERT_EQ(centroids(coords, connect, G, FE), 0) << FE;
    EXPECT_SAME(G, want) << FE;
  }
  const dense2D<double> c2{{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  std::vector<dense2D<double>> outs;
  for (int k = 0; k < 6; ++k) outs.emplace_back(2, 9, 7.0);
  // Row 2: 4 rows are checked before the nodes; row 5: no entry passes every
  // check, the elements name no node.
  EXPECT_CODES({centroids(c2, M{{0, 1, 2, 3}}, outs[0], ET_TETRA4), -1},
               {centroids(dense2D<double>(), M{{0, 1, 2}}, outs[1], ET_TRIA3), -1},
               {centroids(dense2D<double>(4, 3), M{{0, 9, 2}}, outs[2], ET_TRIA3), -1},
               {centroids(c2, M{{0, 1, 4}}, outs[3], ET_TRIA3), -2},
               {centroids(c2, M{{0, 1, 2, 3, 0, 1}, {3, 2, 1, 0, 3, 2}}, outs[4], ET_TRIA6), -4},
               {centroids(dense2D<double>(3, 4, 1.0), M(0, 3), outs[5], ET_TRIA3), 0});
  for (int k = 0; k < 4; ++k) EXPECT_SAME(outs[k], dense2D<double>()) << k;
  EXPECT_SAME(outs[4], dense2D<double>(2, 2, 0.0));
  EXPECT_SAME(outs[5], dense2D<double>(3, 3, 0.0));
}

}  // namespace
