// Translation, rotation and scaling of nodes, copies, mirror copies and
// clipping of meshes, against textbook formulas and brute force.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "support/compare.h"
#include "support/mesh_gen.h"

using namespace ovk::quernfold;

namespace {

using L = dense1D<unsigned>;
using M = dense2D<unsigned>;
using C = dense2D<double>;
using V2 = vector_fixed<double, 2>;
using V3 = vector_fixed<double, 3>;

const double kPi = std::acos(-1.0), kNaN = std::numeric_limits<double>::quiet_NaN();
const V2 kO2{{0, 0}}, kQ2{{1, 2}};
const V3 kO3{{0, 0, 0}}, kQ3{{0.5, -1, 2}}, kAxis{{0.36, -0.48, 0.8}};

using quernfold_test::copy_of;

V3 times(double t, const V3& R) { return V3{{t * R[0], t * R[1], t * R[2]}}; }

// P turned about the axis R through Q by |R|, in place:
// v cos + (k x v) sin + k (k . v)(1 - cos), v = P - Q, k = R / |R|.
void textbook_rotation(double* P, const V3& Q, const V3& R) {
  const double t = std::sqrt(R[0] * R[0] + R[1] * R[1] + R[2] * R[2]), c = std::cos(t);
  const double k[3] = {R[0] / t, R[1] / t, R[2] / t},
               v[3] = {P[0] - Q[0], P[1] - Q[1], P[2] - Q[2]};
  const double kxv[3] = {k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2],
                         k[0] * v[1] - k[1] * v[0]};
  const double kv = k[0] * v[0] + k[1] * v[1] + k[2] * v[2];
  for (int i = 0; i < 3; ++i) P[i] = Q[i] + v[i] * c + kxv[i] * std::sin(t) + k[i] * kv * (1 - c);
}

void turn_2d(double* P, const V2& Q, double angle) {
  const std::complex<double> q(Q[0], Q[1]),
      p = q + (std::complex<double>(P[0], P[1]) - q) * std::polar(1.0, angle);
  P[0] = p.real(), P[1] = p.imag();
}

// One family of six overloads: `call(c, overload, identity)` runs the whole
// matrix (0), node list (1) or connectivity (2) overload with the family's
// value or with an identity value; `map` is the oracle of one point.
struct family {
  const char* name;
  unsigned dim;
  bool counts;  // list and connectivity overloads report the nodes mapped
  std::function<int(C&, int, bool)> call;
  std::function<void(double*)> map;
};

template <class Op>
std::function<int(C&, int, bool)> overloads(Op op) {
  return [op](C& c, int overload, bool identity) {
    if (overload == 0) return op(c, identity);
    if (overload == 1) return op(c, identity, L{0, 0, no_index, 5, 3});  // 0 twice, 5 past the end
    return op(c, identity, M{{0, 1}, {1, 2}, {4, no_index}});            // 0, 1, 2, 4 once
  };
}

std::vector<family> families() {
  const V3 big = times(2.5, kAxis), small = times(0.05, kAxis);  // both sides of the series
  return {
      {"translate 2-D", 2, true, overloads([](C& c, bool id, auto&&... s) {
         return translate(c, id ? V2{{kNaN, -0.0}} : V2{{1.5, -2}}, s...);
       }),
       [](double* P) { P[0] += 1.5, P[1] += -2; }},
      {"translate 3-D", 3, true, overloads([](C& c, bool id, auto&&... s) {
         return translate(c, id ? V3{{0, kNaN, -0.0}} : V3{{0.25, 0, -3}}, s...);
       }),
       [](double* P) { P[0] += 0.25, P[2] += -3; }},
      {"rotate 2-D", 2, true,
       overloads([](C& c, bool id, auto&&... s) { return rotate(c, kQ2, id ? kNaN : 0.7, s...); }),
       [](double* P) { turn_2d(P, kQ2, 0.7); }},
      {"rotate 3-D", 3, true, overloads([big](C& c, bool id, auto&&... s) {
         return rotate(c, kQ3, id ? V3{{-0.0, kNaN, 0}} : big, s...);
       }),
       [big](double* P) { textbook_rotation(P, kQ3, big); }},
      {"rotate 3-D, small angle", 3, true, overloads([small](C& c, bool id, auto&&... s) {
         return rotate(c, kQ3, id ? kO3 : small, s...);
       }),
       [small](double* P) { textbook_rotation(P, kQ3, small); }},
      {"zoom 2-D", 2, false,
       overloads([](C& c, bool id, auto&&... s) { return zoom(c, kQ2, id ? 1.0 : 3.7, s...); }),
       [](double* P) { P[0] = 1 + 3.7 * (P[0] - 1), P[1] = 2 + 3.7 * (P[1] - 2); }},
      {"zoom 3-D", 3, false,
       overloads([](C& c, bool id, auto&&... s) { return zoom(c, kQ3, id ? kNaN : 0.4, s...); }),
       [](double* P) {
         for (int i = 0; i < 3; ++i) P[i] = kQ3[i] + 0.4 * (P[i] - kQ3[i]);
       }},
  };
}

// Every overload on coordinates of 1, 2 and 3 rows: fewer rows than the
// family's dimension grow with zeros first, more rows keep the extra ones.
TEST(Transform, EveryOverloadMapsTheNodesItNames) {
  const unsigned times_mapped[3][5] = {{1, 1, 1, 1, 1}, {2, 0, 0, 1, 0}, {1, 1, 1, 0, 1}};
  const int moved[3] = {5, 3, 4};
  for (const family& f : families())
    for (unsigned rows = 1; rows <= 3; ++rows)
      for (int o = 0; o < 3; ++o) {
        SCOPED_TRACE(::testing::Message() << f.name << ", " << rows << " rows, overload " << o);
        C c = quernfold_test::random_points(rows, 5, 10 * rows + o), none(2, 0);
        const C start = copy_of(c);
        ASSERT_EQ(f.call(c, o, true) + f.call(none, 0, false), 0);
        ASSERT_SAME(c, start);
        ASSERT_EQ(f.call(c, o, false), f.counts || o == 0 ? moved[o] : 0);
        C want(std::max(rows, f.dim), 5, 0.0);
        for (unsigned j = 0; j < 5; ++j) {
          std::copy_n(start.column(j), rows, want.column(j));
          for (unsigned k = 0; k < times_mapped[o][j]; ++k) f.map(want.column(j));
        }
        ASSERT_NEAR_ALL(c, want, 1e-14);
      }
}

// (source node, copied node) for every slot of the copy of `source` that
// starts at column `first` of `copies`.
std::vector<std::pair<unsigned, unsigned>> copy_pairs(const M& source, const M& copies,
                                                      std::size_t first) {
  std::vector<std::pair<unsigned, unsigned>> pairs;
  for (std::size_t e = 0; e < source.cols(); ++e)
    for (std::size_t r = 0; r < source.rows(); ++r)
      if (source(r, e) != no_index) pairs.emplace_back(source(r, e), copies(r, first + e));
  return pairs;
}

// `source` with room for `cols` columns, where copies will be put.
C grown(const C& source, std::size_t cols) {
  C c = copy_of(source);
  EXPECT_TRUE(c.resize(source.rows(), cols));
  return c;
}

TEST(CopyMesh, PlainCopyAppendsUsedNodesAndRenumbers) {
  C c = quernfold_test::random_points(3, 10, 21), want = grown(c, 14);
  M out{{1, 2, 3, 4}, {5, 6, 7, 8}}, self{{1, 2, 3, no_index}, {no_index, 2, 0, 1}};
  const unsigned from[4] = {7, 4, 9, 0};  // in order of first appearance, once each
  for (unsigned k = 0; k < 4; ++k) std::copy_n(c.column(from[k]), 3, want.column(10 + k));
  EXPECT_EQ(copy_mesh(c, out, M{{7, 4, 9}, {9, 4, 0}}), 0);
  EXPECT_SAME(c, want);
  EXPECT_SAME(out, (M{{10, 11, 12}, {12, 11, 13}}));
  // Unused slots of mixed columns stay ~0U; the output may be the source.
  EXPECT_EQ(copy_mesh(c, self, self) + copy_mesh(c, out, M(3, 0)), 0);
  EXPECT_SAME(self, (M{{14, 15, 16, no_index}, {no_index, 15, 17, 14}}));
  EXPECT_SAME(out, M(3, 0));
  EXPECT_EQ(c.cols(), 18u);
}

// Copy i is the source turned by i times the angle or rotation vector, then
// moved by i times T: not the previous copy turned and moved again.
TEST(CopyMesh, RepeatedCopiesTurnThenMoveTheSource) {
  const quernfold_test::mesh sq = quernfold_test::quad_grid(1, 1);
  const quernfold_test::mesh cube = quernfold_test::hexa_grid(1, 1, 1);
  const V2 T{{1, 0.5}};
  const V3 T3{{0, 0, 2}}, R{{0.3, -0.2, 0.05}};
  C c = copy_of(sq.coords), want = grown(c, 16), helix = copy_of(cube.coords),
    helix_want = grown(helix, 32);
  M out{{0, 1, 2, 3}}, sweep;  // appended to
  ASSERT_EQ(copy_mesh(c, out, T, kQ2, kPi / 2, 3, sq.connect), 0);
  ASSERT_EQ(copy_mesh(helix, sweep, T3, kQ3, R, 3, cube.connect), 0);
  EXPECT_SAME(out.sub_matrix(0, 0, 4, 1), (M{{0, 1, 2, 3}}));
  for (unsigned i = 1; i <= 3; ++i) {
    for (auto [s, k] : copy_pairs(sq.connect, out, i)) {
      double* P = std::copy_n(sq.coords.column(s), 2, want.column(k)) - 2;
      turn_2d(P, kQ2, i * kPi / 2);
      P[0] += i * T[0], P[1] += i * T[1];
    }
    for (auto [s, k] : copy_pairs(cube.connect, sweep, i - 1)) {
      double* P = std::copy_n(cube.coords.column(s), 3, helix_want.column(k)) - 3;
      textbook_rotation(P, kQ3, times(i, R));
      P[2] += i * T3[2];
    }
  }
  EXPECT_NEAR_ALL(c, want, 1e-14);
  EXPECT_NEAR_ALL(helix, helix_want, 1e-14);
}

TEST(CopyMesh, CodesOfCopiesAndMirrorCopies) {
  C c{{0, 0}, {1, 0}, {1, 1}}, empty(2, 0);
  const C start = copy_of(c);
  const V2 T{{1, 0}}, N{{1, 0}};
  const V3 R{{0, 0, 1}};
  const M tri{{0, 1, 2}};
  M out[6] = {M{{0, 1, 2}}, M{{0, 1, 2}}, M{{0, 1, 2, 2}},
              M{{0, 1, 2}}, M{{0, 1, 2}}, M{{0, 1, 2}}};
  // Rows 0 and 5 (a missing node of a plain or mirror copy) empty the
  // output; the others leave it and the coordinates as they were.
  EXPECT_CODES({copy_mesh(c, out[0], M{{0, 1}, {2, 3}}), -3},
               {copy_mesh(empty, out[1], R, kO3, R, 2, M{{7}}), 0},
               {copy_mesh(c, out[2], T, kO2, 0.5, 2, tri), -2},
               {copy_mesh(c, out[3], R, kO3, R, 2, M{{0, 9, 1}}), -7},
               {copy_sym_mesh(c, out[4], kO2, kO2, tri), -4},
               {copy_sym_mesh(c, out[5], kO2, N, M{{3}}), -5});
  for (int k = 0; k < 6; ++k)
    EXPECT_SAME(out[k], (k % 5 == 0 ? M() : k == 2 ? M{{0, 1, 2, 2}} : tri)) << k;
  EXPECT_SAME(c, start);
}

TEST(CopyMesh, OutputsOfOddShapesAndTheirGrowth) {
  C c{{0, 0}, {1, 0}, {1, 1}}, d{{0, 0}, {1, 0}};
  const V2 T{{1, 0}};
  const M tri{{0, 1, 2}};
  // An output without entries takes the source's height.
  M fresh(4, 0);
  EXPECT_EQ(copy_mesh(c, fresh, T, kO2, 0.0, 2, tri), 0);
  EXPECT_SAME(fresh, (M{{3, 4, 5}, {6, 7, 8}}));
  // Appended outputs start at 4 columns and double: 4, 8, 16, 32.
  M out;
  std::vector<std::size_t> capacities;
  for (int k = 0; k < 17; ++k) {
    ASSERT_EQ(copy_mesh(d, out, T, kO2, 0.0, 1, M{{0, 1}}), 0);
    if (capacities.empty() || capacities.back() != out.col_capacity())
      capacities.push_back(out.col_capacity());
  }
  EXPECT_EQ(capacities, (std::vector<std::size_t>{4, 8, 16, 32}));
  EXPECT_SAME(out.sub_matrix(0, 16, 2, 1), (M{{34, 35}}));
}

TEST(CopySymMesh, MirrorsAcrossLinesAndPlanes) {
  C tall{{3, 1, 7}};
  M out;
  // Row 2 of a 3-row matrix is copied as it is.
  EXPECT_EQ(copy_sym_mesh(tall, out, V2{{1, 0}}, V2{{2, 0}}, M{{0}}), 0);
  EXPECT_SAME(tall, (C{{3, 1, 7}, {-1, 1, 7}}));
  EXPECT_SAME(out, (M{{1}}));

  // X - 2 ((X - P).N / N.N) N, slot by slot (so elements turn the other
  // way); the mirror of the mirror is the source.
  const quernfold_test::mesh m = quernfold_test::tetra_grid(2, 2, 1);
  const V3 P{{0.4, 1.1, -0.3}}, N{{0.7, -0.2, 1.9}};
  const double NN = N[0] * N[0] + N[1] * N[1] + N[2] * N[2];
  C mc = copy_of(m.coords), want = grown(mc, 3 * mc.cols());
  M once, twice;
  ASSERT_EQ(copy_sym_mesh(mc, once, P, N, m.connect) + copy_sym_mesh(mc, twice, P, N, once), 0);
  for (auto [s, k] : copy_pairs(m.connect, once, 0)) {
    const double* X = m.coords.column(s);
    const double d = ((X[0] - P[0]) * N[0] + (X[1] - P[1]) * N[1] + (X[2] - P[2]) * N[2]) / NN;
    for (int i = 0; i < 3; ++i) want(i, k) = X[i] - 2 * d * N[i];
  }
  for (auto [s, k] : copy_pairs(m.connect, twice, 0))
    std::copy_n(m.coords.column(s), 3, want.column(k));
  EXPECT_NEAR_ALL(mc, want, 1e-12);
}

// Brute force: columns whose nodes (up to the first ~0U) all lie on the side
// N points to, the side value summed in long double over the first
// min(rows, 3) coordinates.
M expected_kept(const C& c, const M& m, const V3& P, const V3& N) {
  std::vector<unsigned> kept;
  for (std::size_t e = 0; e < m.cols(); ++e) {
    bool all = true;
    for (std::size_t r = 0; r < m.rows() && m(r, e) != no_index; ++r) {
      long double s = 0;
      for (std::size_t i = 0; i < c.rows() && i < 3; ++i)
        s += (static_cast<long double>(c(i, m(r, e))) - P[i]) * N[i];
      all = all && s >= 0;
    }
    if (all) kept.insert(kept.end(), m.column(e), m.column(e) + m.rows());
  }
  M out(m.rows(), kept.size() / m.rows());
  std::copy(kept.begin(), kept.end(), out.data());
  return out;
}

TEST(Clip, AgreesWithBruteForceCodesAppendingAndAliasing) {
  // Tetrahedra, every third one a triangle of a mixed matrix, and 2-D
  // triangles, which the trace of the plane on z = 0 cuts.
  quernfold_test::mesh solid = quernfold_test::tetra_grid(3, 3, 2, 0.5);
  const quernfold_test::mesh flat = quernfold_test::tria_grid(4, 4, 0.4);
  for (std::size_t e = 0; e < solid.connect.cols(); e += 3) solid.connect(3, e) = no_index;
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int planes = 0; planes < 40;) {
    const quernfold_test::mesh& m = planes % 2 ? flat : solid;
    const V3 P{{0.75 + u(gen), 0.75 + u(gen), 0.5 + u(gen)}}, N{{u(gen), u(gen), u(gen)}};
    bool clear = true;  // nodes near the plane make the side rounding-dependent
    for (std::size_t j = 0; j < m.coords.cols(); ++j) {
      const double* X = m.coords.column(j);
      const double z = m.coords.rows() == 3 ? (X[2] - P[2]) * N[2] : 0.0;
      clear = clear && std::fabs((X[0] - P[0]) * N[0] + (X[1] - P[1]) * N[1] + z) > 1e-9;
    }
    if (!clear) continue;
    M front;
    ASSERT_EQ(clip(m.coords, m.connect, P, N, front), 0);
    EXPECT_SAME(front, expected_kept(m.coords, m.connect, P, N)) << "plane " << planes;
    ++planes;
  }
  // Nodes on the plane are kept, 1e-12 beyond it not; a normal along z
  // alone puts every node of a 2-D mesh on the plane.
  const C c{{0, 0, 0}, {1, 0, 0}, {0, 1, 1}, {1, 1, -1e-12}};
  M on_plane, all;
  EXPECT_EQ(clip(c, M{{0, 1, 2}, {1, 2, 3}}, kO3, V3{{0, 0, 1}}, on_plane), 0);
  EXPECT_SAME(on_plane, (M{{0, 1, 2}}));
  EXPECT_EQ(clip(flat.coords, flat.connect, V3{{2, 0, 7}}, V3{{0, 0, -1}}, all), 0);
  EXPECT_SAME(all, flat.connect);
  const quernfold_test::mesh m = quernfold_test::tetra_grid(2, 2, 1);
  const V3 P{{0, 1, 0}}, N{{0, 1, 0}};
  const M previous{{7, 7, 7, 7}}, want = expected_kept(m.coords, m.connect, P, N);
  M kept[4] = {copy_of(previous), copy_of(previous), copy_of(previous), M{{0, 1, 2}}};
  // Row 0: no element with a zero normal; row 3: kept of another height.
  EXPECT_CODES({clip(m.coords, M(4, 0), P, kO3, kept[0]), 0},
               {clip(m.coords, M{{0, 1, 2, 99}}, P, kO3, kept[1]), -2},
               {clip(m.coords, M{{0, 1, 2, no_index}}, P, kO3, kept[2]), -4},
               {clip(m.coords, m.connect, P, N, kept[3]), -5});
  for (int k = 0; k < 4; ++k) EXPECT_SAME(kept[k], (k < 3 ? previous : M{{0, 1, 2}})) << k;
  // Appended after what kept held; an empty kept of another height takes
  // connectM's; kept may be connectM itself, whose elements are taken as
  // they were.
  M appended = copy_of(previous), fresh(3, 0), self = copy_of(m.connect);
  for (M* k : {&appended, &fresh, &self}) ASSERT_EQ(clip(m.coords, self, P, N, *k), 0);
  EXPECT_SAME(appended.sub_matrix(0, 0, 4, 1), previous);
  EXPECT_SAME(appended.sub_matrix(0, 1, 4, want.cols()), want);
  EXPECT_SAME(fresh, want);
  EXPECT_SAME(self.sub_matrix(0, m.connect.cols(), 4, want.cols()), want);
}

}  // namespace
