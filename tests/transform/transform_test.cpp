// Translation, rotation and scaling of nodes, copies, mirror copies and
// clipping of meshes, against textbook formulas and brute force.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "support/compare.h"
#include "support/mesh_gen.h"
// The small-angle series of the 3-D rotation differs from the closed form
// only below the rounding of any rotated coordinate, so its coefficients are
// checked where they are computed.
#include "transform/node_maps.h"

using namespace ovk::quernfold;

namespace {

using L = dense1D<unsigned>;
using M = dense2D<unsigned>;
using V2 = vector_fixed<double, 2>;
using V3 = vector_fixed<double, 3>;

const double kPi = std::acos(-1.0);
const double kNaN = std::numeric_limits<double>::quiet_NaN();

template <class T>
dense2D<T> snapshot(const dense2D<T>& m) {
  dense2D<T> c;
  EXPECT_TRUE(c.copy(m));
  return c;
}

// P turned about the axis R through Q by |R|, in place:
// v cos + (k x v) sin + k (k . v)(1 - cos), v = P - Q, k = R / |R|.
void textbook_rotation(double* P, const V3& Q, const V3& R) {
  const double theta = std::sqrt(R[0] * R[0] + R[1] * R[1] + R[2] * R[2]);
  const double k[3] = {R[0] / theta, R[1] / theta, R[2] / theta};
  const double v[3] = {P[0] - Q[0], P[1] - Q[1], P[2] - Q[2]};
  const double kxv[3] = {k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2],
                         k[0] * v[1] - k[1] * v[0]};
  const double kv = k[0] * v[0] + k[1] * v[1] + k[2] * v[2], c = std::cos(theta);
  for (int i = 0; i < 3; ++i)
    P[i] = Q[i] + v[i] * c + kxv[i] * std::sin(theta) + k[i] * kv * (1 - c);
}

// One family of six overloads: `call(c, overload, identity)` runs the whole
// matrix (0), node list (1) or connectivity (2) overload, with the
// family's identity value when asked; `map` is the oracle of one point.
struct family {
  const char* name;
  unsigned dim;
  bool counts;  // list and connectivity overloads report the nodes mapped
  std::function<int(dense2D<double>&, int, bool)> call;
  std::function<void(double*)> map;
  double tol;
};

template <class Op>
std::function<int(dense2D<double>&, int, bool)> overloads(Op op) {
  return [op](dense2D<double>& c, int overload, bool identity) {
    if (overload == 0) return op(c, identity);
    if (overload == 1) return op(c, identity, L{0, 0, no_index, 9, 3});  // 0 twice
    return op(c, identity, M{{0, 1}, {1, 2}, {4, no_index}});            // 0, 1, 2, 4 once
  };
}

const V2 kQ2{{1, 2}};
const V3 kQ3{{0.5, -1, 2}}, kR{{0.36, -0.48, 0.8}};

std::vector<family> families() {
  return {
      {"translate 2-D", 2, true, overloads([](auto& c, bool id, auto&&... s) {
         return translate(c, id ? V2{{kNaN, -0.0}} : V2{{1.5, -2}}, s...);
       }),
       [](double* P) { P[0] += 1.5, P[1] += -2; }, 0.0},
      {"translate 3-D", 3, true, overloads([](auto& c, bool id, auto&&... s) {
         return translate(c, id ? V3{{0, kNaN, -0.0}} : V3{{0.25, 0, -3}}, s...);
       }),
       [](double* P) { P[0] += 0.25, P[2] += -3; }, 0.0},
      {"rotate 2-D", 2, true, overloads([](auto& c, bool id, auto&&... s) {
         return rotate(c, kQ2, id ? kNaN : 0.7, s...);
       }),
       [](double* P) {
         const std::complex<double> q(kQ2[0], kQ2[1]),
             p = q + (std::complex<double>(P[0], P[1]) - q) * std::polar(1.0, 0.7);
         P[0] = p.real(), P[1] = p.imag();
       },
       1e-14},
      {"rotate 3-D", 3, true, overloads([](auto& c, bool id, auto&&... s) {
         return rotate(c, kQ3, id ? V3{{-0.0, kNaN, 0}} : kR, s...);
       }),
       [](double* P) { textbook_rotation(P, kQ3, kR); }, 1e-14},
      {"zoom 2-D", 2, false,
       overloads([](auto& c, bool id, auto&&... s) { return zoom(c, kQ2, id ? 1.0 : 3.7, s...); }),
       [](double* P) {
         for (int i = 0; i < 2; ++i) P[i] = kQ2[i] + 3.7 * (P[i] - kQ2[i]);
       },
       1e-14},
      {"zoom 3-D", 3, false,
       overloads([](auto& c, bool id, auto&&... s) { return zoom(c, kQ3, id ? kNaN : 0.4, s...); }),
       [](double* P) {
         for (int i = 0; i < 3; ++i) P[i] = kQ3[i] + 0.4 * (P[i] - kQ3[i]);
       },
       1e-14},
  };
}

}  // namespace

// Every overload on coordinates of 1, 2 and 3 rows: fewer rows than the
// family's dimension grow with zeros first, more rows keep the extra ones.
TEST(Transform, EveryOverloadMapsTheNodesItNames) {
  const unsigned times[3][5] = {{1, 1, 1, 1, 1}, {2, 0, 0, 1, 0}, {1, 1, 1, 0, 1}};
  const int moved[3] = {5, 3, 4};
  for (const family& f : families())
    for (unsigned rows = 1; rows <= 3; ++rows)
      for (int o = 0; o < 3; ++o) {
        SCOPED_TRACE(::testing::Message() << f.name << ", " << rows << " rows, overload " << o);
        dense2D<double> c = quernfold_test::random_points(rows, 5, 10 * rows + o);
        const dense2D<double> start = snapshot(c);
        ASSERT_EQ(f.call(c, o, true), 0);
        ASSERT_SAME(c, start);
        ASSERT_EQ(f.call(c, o, false), f.counts || o == 0 ? moved[o] : 0);
        dense2D<double> want(std::max(rows, f.dim), 5, 0.0);
        for (unsigned j = 0; j < 5; ++j) {
          for (unsigned i = 0; i < rows; ++i) want(i, j) = start(i, j);
          for (unsigned k = 0; k < times[o][j]; ++k) f.map(want.column(j));
        }
        ASSERT_NEAR_ALL(c, want, f.tol);
      }
}

TEST(Transform, EmptyInputsAndWindows) {
  for (const family& f : families()) {
    dense2D<double> none(2, 0);
    EXPECT_EQ(f.call(none, 0, false), 0) << f.name;
  }
  // An empty list or only empty slots: 0 before any growth.
  dense2D<double> c{{0, 0}};
  EXPECT_EQ(translate(c, V3{{1, 1, 1}}, L()) + rotate(c, kQ3, kR, M{{no_index}}), 0);
  EXPECT_EQ(zoom(c, kQ3, 2.0, L()), 0);
  EXPECT_SAME(c, (dense2D<double>{{0, 0}}));
  // A window into a larger matrix: only its own rows and columns move.
  dense2D<double> base(3, 4, 0.0), window = base.sub_matrix(0, 1, 2, 2);
  EXPECT_EQ(translate(window, V2{{1, 2}}), 2);
  EXPECT_SAME(base, (dense2D<double>{{0, 0, 0}, {1, 2, 0}, {1, 2, 0}, {0, 0, 0}}));
  // Worked cases: a quarter turn, a half turn in 3-D, and a scaling that
  // leaves its centre exact.
  dense2D<double> q{{1, 0}}, z{{2, 3}, {1, 1}}, r{{1, 0, 0}};
  EXPECT_EQ(rotate(q, V2{{0, 0}}, kPi / 2), 1);
  EXPECT_SAME(q, (dense2D<double>{{std::cos(kPi / 2), 1}}));
  EXPECT_EQ(rotate(r, V3{{0, 0, 0}}, V3{{0, 0, kPi / 2}}), 1);
  EXPECT_NEAR_ALL(r, (dense2D<double>{{0, 1, 0}}), 1e-16);
  EXPECT_EQ(zoom(z, V2{{1, 1}}, 2.0), 2);
  EXPECT_SAME(z, (dense2D<double>{{3, 5}, {1, 1}}));
}

TEST(Rotate3D, MatchesTheTextbookOnBothSidesOfTheSeries) {
  for (double theta : {1e-7, 0.05, 0.1, 0.1000001, 2.5, kPi - 0.01}) {
    const V3 R{{kR[0] * theta, kR[1] * theta, kR[2] * theta}};
    dense2D<double> cloud = quernfold_test::random_points(3, 40, 11);
    dense2D<double> want = snapshot(cloud);
    ASSERT_EQ(rotate(cloud, kQ3, R), 40);
    for (unsigned j = 0; j < 40; ++j) textbook_rotation(want.column(j), kQ3, R);
    EXPECT_NEAR_ALL(cloud, want, 1e-14) << theta;
  }
}

TEST(Rotate3D, SeriesCoefficientsNearZero) {
  using detail::rotation_coefficients;
  // The closed form would give b = 0 here (1 - cos(1e-9) rounds to 0).
  EXPECT_EQ(rotation_coefficients(1e-9).b, 0.5);
  EXPECT_EQ(rotation_coefficients(0.0).a, 1.0);
  for (double theta : {1e-4, 0.05, 0.0999, 0.1}) {
    // sin(x)/x and (1 - cos(x))/x^2 summed in long double.
    const long double t = static_cast<long double>(theta) * theta;
    long double ta = 1.0L, tb = 0.5L, a = 0, b = 0;
    for (int k = 0; k < 20; ++k) {
      a += ta, b += tb;
      ta *= -t / ((2.0L * k + 2) * (2.0L * k + 3));
      tb *= -t / ((2.0L * k + 3) * (2.0L * k + 4));
    }
    EXPECT_NEAR(rotation_coefficients(theta).a, static_cast<double>(a), 3e-16) << theta;
    EXPECT_NEAR(rotation_coefficients(theta).b, static_cast<double>(b), 2e-16) << theta;
  }
}

namespace {

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

// Twice the signed area of triangle column e (counter-clockwise > 0).
double signed_area2(const dense2D<double>& c, const M& tri, std::size_t e) {
  const unsigned a = tri(0, e), b = tri(1, e), d = tri(2, e);
  return (c(0, b) - c(0, a)) * (c(1, d) - c(1, a)) - (c(1, b) - c(1, a)) * (c(0, d) - c(0, a));
}

}  // namespace

TEST(CopyMesh, PlainCopyAppendsUsedNodesAndRenumbers) {
  dense2D<double> c = quernfold_test::random_points(3, 10, 21);
  dense2D<double> want(3, 14);
  M out{{1, 2, 3, 4}, {5, 6, 7, 8}};  // overwritten
  const unsigned from[14] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 7, 4, 9, 0};
  for (unsigned j = 0; j < 14; ++j) std::copy_n(c.column(from[j]), 3, want.column(j));
  // Shared nodes are copied once, in order of first appearance.
  EXPECT_EQ(copy_mesh(c, out, M{{7, 4, 9}, {9, 4, 0}}), 0);
  EXPECT_SAME(c, want);
  EXPECT_SAME(out, (M{{10, 11, 12}, {12, 11, 13}}));
  // Unused slots of mixed columns stay ~0U; the output may be the source.
  M self{{1, 2, 3, no_index}, {no_index, 2, 0, 1}};
  EXPECT_EQ(copy_mesh(c, self, self), 0);
  EXPECT_SAME(self, (M{{14, 15, 16, no_index}, {no_index, 15, 17, 14}}));
  EXPECT_EQ(copy_mesh(c, out, M(3, 0)), 0);
  EXPECT_SAME(out, M(3, 0));
  EXPECT_EQ(c.cols(), 18u);
}

TEST(CopyMesh, RepeatedCopiesTurnThenMoveTheSource) {
  // Copy i is the source turned by i * angle about Q, then moved by i * T:
  // not the previous copy turned and moved again.
  const quernfold_test::mesh sq = quernfold_test::quad_grid(1, 1);
  dense2D<double> c = snapshot(sq.coords), want = snapshot(sq.coords);
  ASSERT_TRUE(want.resize(2, 16));
  M out{{0, 1, 2, 3}};  // appended to
  const V2 T{{1, 0.5}}, Q{{0.5, -1}};
  ASSERT_EQ(copy_mesh(c, out, T, Q, kPi / 2, 3, sq.connect), 0);
  EXPECT_SAME(out, (M{{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}, {12, 13, 14, 15}}));
  const std::complex<double> q(Q[0], Q[1]);
  for (unsigned i = 1; i <= 3; ++i)
    for (auto [s, k] : copy_pairs(sq.connect, out, i)) {
      const std::complex<double> p =
          q + (std::complex<double>(sq.coords(0, s), sq.coords(1, s)) - q) *
                  std::polar(1.0, i * kPi / 2);
      want(0, k) = p.real() + i * T[0], want(1, k) = p.imag() + i * T[1];
    }
  EXPECT_NEAR_ALL(c, want, 1e-14);

  const quernfold_test::mesh cube = quernfold_test::hexa_grid(1, 1, 1);
  const V3 O{{0, 0, 0}}, T3{{0, 0, 2}}, Q3{{1, 0, -1}}, R{{0.3, -0.2, 0.05}};
  dense2D<double> helix = snapshot(cube.coords), helix_want = snapshot(cube.coords);
  ASSERT_TRUE(helix_want.resize(3, 32));
  M sweep;
  ASSERT_EQ(copy_mesh(helix, sweep, T3, Q3, R, 3, cube.connect), 0);
  for (unsigned i = 1; i <= 3; ++i)
    for (auto [s, k] : copy_pairs(cube.connect, sweep, i - 1)) {
      double* P = std::copy_n(cube.coords.column(s), 3, helix_want.column(k)) - 3;
      textbook_rotation(P, Q3, V3{{i * R[0], i * R[1], i * R[2]}});
      P[2] += i * T3[2];
    }
  EXPECT_NEAR_ALL(helix, helix_want, 1e-14);

  // A 2-row mesh swept in 3-D gains a z row; its own nodes sit at z = 0.
  dense2D<double> flat{{0, 0}, {1, 0}, {1, 1}};
  M layers;
  ASSERT_EQ(copy_mesh(flat, layers, T3, O, O, 2, M{{0, 1, 2}}), 0);
  EXPECT_SAME(flat, (dense2D<double>{{0, 0, 0},
                                     {1, 0, 0},
                                     {1, 1, 0},
                                     {0, 0, 2},
                                     {1, 0, 2},
                                     {1, 1, 2},
                                     {0, 0, 4},
                                     {1, 0, 4},
                                     {1, 1, 4}}));
  EXPECT_SAME(layers, (M{{3, 4, 5}, {6, 7, 8}}));
}

TEST(CopyMesh, CodesOfCopiesAndMirrorCopies) {
  dense2D<double> c{{0, 0}, {1, 0}, {1, 1}}, empty(2, 0);
  const dense2D<double> start = snapshot(c);
  const V2 T{{1, 0}}, O{{0, 0}}, N{{1, 0}};
  const V3 T3{{1, 0, 0}}, O3{{0, 0, 0}}, R3{{0, 0, 1}};
  const M tri{{0, 1, 2}};
  const struct {
    const char* call;
    M before;
    std::function<int(M&)> run;
    int code;
    bool emptied = false;
  } cases[] = {
      {"plain, missing node", tri,
       [&](M& o) {
         return copy_mesh(c, o, M{{0, 1}, {2, 3}});
       },
       -3, true},
      {"2-D, n = 0", tri, [&](M& o) { return copy_mesh(c, o, T, O, 0.5, 0, tri); }, 0, false},
      {"3-D, no node", tri, [&](M& o) { return copy_mesh(empty, o, T3, O3, R3, 2, M{{7}}); }, 0},
      {"2-D, other height", M{{0, 1, 2, 2}},
       [&](M& o) { return copy_mesh(c, o, T, O, 0.5, 2, tri); }, -2, false},
      {"3-D, missing node", tri,
       [&](M& o) {
         return copy_mesh(c, o, T3, O3, R3, 2, M{{0, 9, 1}});
       },
       -7, false},
      {"mirror, no node", tri, [&](M& o) { return copy_sym_mesh(empty, o, O, N, tri); }, 0, false},
      {"mirror, zero normal", tri, [&](M& o) { return copy_sym_mesh(c, o, O, O, tri); }, -4},
      {"mirror, missing node", tri,
       [&](M& o) {
         return copy_sym_mesh(c, o, O, N, M{{0, 3}});
       },
       -5, true},
      {"mirror 3-D, zero normal", tri, [&](M& o) { return copy_sym_mesh(c, o, O3, O3, tri); }, -4},
      {"mirror 3-D, missing node", tri,
       [&](M& o) {
         return copy_sym_mesh(c, o, O3, R3, M{{0, 1, 2, 4}});
       },
       -5, true},
  };
  for (const auto& k : cases) {
    M out = snapshot(k.before);
    EXPECT_EQ(k.run(out), k.code) << k.call;
    EXPECT_SAME(out, k.emptied ? M() : k.before) << k.call;
    EXPECT_SAME(c, start) << k.call;
  }
}

TEST(CopyMesh, OutputsOfOddShapes) {
  dense2D<double> c{{0, 0}, {1, 0}, {1, 1}};
  const V2 T{{1, 0}}, O{{0, 0}};
  const M tri{{0, 1, 2}};
  // An output without entries takes the source's height; rows without
  // columns stay ahead of the copies as columns of zeros.
  M fresh(4, 0), flat(0, 2), self{{0, 1}}, slots;
  EXPECT_EQ(copy_mesh(c, fresh, T, O, 0.0, 2, tri), 0);
  EXPECT_SAME(fresh, (M{{3, 4, 5}, {6, 7, 8}}));
  EXPECT_EQ(copy_mesh(c, flat, T, O, 0.0, 1, tri), 0);
  EXPECT_SAME(flat, (M{{0, 0, 0}, {0, 0, 0}, {9, 10, 11}}));
  // The source may be the output: the copies are of the source as it was.
  EXPECT_EQ(copy_mesh(c, self, T, O, 0.0, 2, self), 0);
  EXPECT_SAME(self, (M{{0, 1}, {12, 13}, {14, 15}}));
  // A source without rows adds its columns once per copy.
  EXPECT_EQ(copy_mesh(c, slots, V3{{1, 0, 0}}, V3{{0, 0, 0}}, V3{{0, 0, 1}}, 3, M(0, 2)), 0);
  EXPECT_EQ(slots.cols(), 6u);

  // Appended outputs start at 4 columns and double.
  dense2D<double> d{{0, 0}, {1, 0}};
  M out;
  std::set<const unsigned*> blocks;
  for (int k = 0; k < 201; ++k) {
    ASSERT_EQ(copy_mesh(d, out, T, O, 0.0, 1, M{{0, 1}}), 0);
    ASSERT_TRUE(k != 0 || out.col_capacity() == 4u);
    blocks.insert(out.data());
  }
  EXPECT_LE(blocks.size(), 8u);
  EXPECT_SAME(out.sub_matrix(0, 200, 2, 1), (M{{402, 403}}));
}

TEST(CopySymMesh, MirrorsAcrossLinesAndPlanes) {
  dense2D<double> c{{2, 3}, {1, 1}};
  M out{{5, 5}};
  // The normal's length does not matter; then a slanted line through (1, 0).
  EXPECT_EQ(copy_sym_mesh(c, out, V2{{0, 0}}, V2{{2, 0}}, M{{0, 1}}), 0);
  EXPECT_EQ(copy_sym_mesh(c, out, V2{{1, 0}}, V2{{1, 1}}, M{{0}}), 0);
  EXPECT_SAME(c, (dense2D<double>{{2, 3}, {1, 1}, {-2, 3}, {-1, 1}, {-2, -1}}));
  EXPECT_SAME(out, M{{4}});
  // Row 2 of a 3-row matrix is copied as it is; a 1-row matrix grows to 2.
  dense2D<double> tall{{3, 1, 7}}, line{{3}};
  ASSERT_EQ(copy_sym_mesh(tall, out, V2{{1, 0}}, V2{{1, 0}}, M{{0}}), 0);
  ASSERT_EQ(copy_sym_mesh(line, out, V2{{1, 0}}, V2{{1, 0}}, M{{0}}), 0);
  EXPECT_SAME(tall, (dense2D<double>{{3, 1, 7}, {-1, 1, 7}}));
  EXPECT_SAME(line, (dense2D<double>{{3, 0}, {-1, 0}}));
  // Mirrored triangles turn the other way.
  const quernfold_test::mesh m = quernfold_test::tria_grid(3, 2);
  dense2D<double> mc = snapshot(m.coords);
  M mirrored;
  ASSERT_EQ(copy_sym_mesh(mc, mirrored, V2{{0.5, 0.2}}, V2{{0.3, -1.1}}, m.connect), 0);
  for (std::size_t e = 0; e < m.connect.cols(); ++e)
    EXPECT_NEAR(signed_area2(mc, mirrored, e), -signed_area2(mc, m.connect, e), 1e-12);

  // 3-D: X - 2 ((X - P).N / N.N) N, and the mirror of the mirror is the source.
  const quernfold_test::mesh t = quernfold_test::tetra_grid(2, 2, 1);
  const V3 P{{0.4, 1.1, -0.3}}, N{{0.7, -0.2, 1.9}};
  const double NN = N[0] * N[0] + N[1] * N[1] + N[2] * N[2];
  dense2D<double> tc = snapshot(t.coords), want = snapshot(t.coords);
  M once, twice;
  ASSERT_EQ(copy_sym_mesh(tc, once, P, N, t.connect), 0);
  ASSERT_EQ(copy_sym_mesh(tc, twice, P, N, once), 0);
  ASSERT_TRUE(want.resize(3, tc.cols()));
  for (auto [s, k] : copy_pairs(t.connect, once, 0)) {
    const double* X = t.coords.column(s);
    const double d = ((X[0] - P[0]) * N[0] + (X[1] - P[1]) * N[1] + (X[2] - P[2]) * N[2]) / NN;
    for (int i = 0; i < 3; ++i) want(i, k) = X[i] - 2 * d * N[i];
  }
  for (auto [s, k] : copy_pairs(t.connect, twice, 0))
    std::copy_n(t.coords.column(s), 3, want.column(k));
  EXPECT_NEAR_ALL(tc, want, 1e-12);
  // A 2-row mesh mirrored across z = 1 gains a z row: copies at z = 2.
  dense2D<double> flat{{1, 2}, {3, 4}};
  ASSERT_EQ(copy_sym_mesh(flat, out, V3{{0, 0, 1}}, V3{{0, 0, 1}}, M{{1, 0}}), 0);
  EXPECT_SAME(flat, (dense2D<double>{{1, 2, 0}, {3, 4, 0}, {3, 4, 2}, {1, 2, 2}}));
}

namespace {

// Brute force: columns whose nodes (up to the first ~0U) all lie on the
// side N points to, the side value summed in long double.
M expected_kept(const dense2D<double>& c, const M& m, const V3& P, const V3& N) {
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

}  // namespace

TEST(Clip, KeepsTheSideTheNormalPointsTo) {
  // Triangle 0 touches z = 0 with an edge, triangle 1 dips 1e-12 below, 2 is below.
  const dense2D<double> c{{0, 0, 0}, {1, 0, 0}, {0, 1, 1}, {1, 1, -1e-12}, {0, 0, -1}, {1, 0, -2}};
  const M tris{{0, 1, 2}, {1, 2, 3}, {3, 4, 5}};
  M kept, below, part;
  EXPECT_EQ(clip(c, tris, V3{{5, -3, 0}}, V3{{0, 0, 1}}, kept), 0);
  EXPECT_EQ(clip(c, tris, V3{{5, -3, 0}}, V3{{0, 0, -2}}, below), 0);
  EXPECT_SAME(kept, (M{{0, 1, 2}}));
  EXPECT_SAME(below, (M{{3, 4, 5}}));
  // Mixed columns stop at their first ~0U: node 3 (x < 0) after it is ignored.
  const M mixed{{0, 1, 2, no_index}, {0, 1, no_index, 3}, {no_index, 3, 3, 3}, {0, 1, 2, 3}};
  EXPECT_EQ(clip(dense2D<double>{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {-1, 0, 0}}, mixed, V3{{0, 0, 0}},
                 V3{{1, 0, 0}}, part),
            0);
  EXPECT_SAME(part, mixed.sub_matrix(0, 0, 4, 3));
  // 2-D meshes are cut by the trace of the plane: Pz and Nz play no part.
  const quernfold_test::mesh m = quernfold_test::tria_grid(4, 4);
  M right, all;
  EXPECT_EQ(clip(m.coords, m.connect, V3{{2, 0, 7}}, V3{{1, 0, 3}}, right), 0);
  EXPECT_SAME(right, expected_kept(m.coords, m.connect, V3{{2, 0, 0}}, V3{{1, 0, 0}}));
  EXPECT_EQ(right.cols(), 16u);
  EXPECT_EQ(clip(m.coords, m.connect, V3{{2, 0, 7}}, V3{{0, 0, -1}}, all), 0);
  EXPECT_SAME(all, m.connect);
}

TEST(Clip, AgreesWithBruteForceOnRandomPlanes) {
  const quernfold_test::mesh m = quernfold_test::tetra_grid(3, 3, 2, 0.5);
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int planes = 0; planes < 20;) {
    const V3 P{{0.75 + u(gen), 0.75 + u(gen), 0.5 + u(gen)}}, N{{u(gen), u(gen), u(gen)}};
    bool clear = true;  // nodes near the plane make the side rounding-dependent
    for (std::size_t j = 0; j < m.coords.cols(); ++j) {
      const double* X = m.coords.column(j);
      clear = clear &&
              std::fabs((X[0] - P[0]) * N[0] + (X[1] - P[1]) * N[1] + (X[2] - P[2]) * N[2]) > 1e-9;
    }
    if (!clear) continue;
    ++planes;
    M front;
    ASSERT_EQ(clip(m.coords, m.connect, P, N, front), 0);
    EXPECT_SAME(front, expected_kept(m.coords, m.connect, P, N)) << "plane " << planes;
  }
}

TEST(Clip, CodesAppendingAndAliasing) {
  const quernfold_test::mesh m = quernfold_test::tetra_grid(2, 2, 1);
  const V3 P{{0, 1, 0}}, N{{0, 1, 0}}, zero{{0, 0, 0}};
  const M previous{{7, 7, 7, 7}}, want = expected_kept(m.coords, m.connect, P, N);
  const struct {
    const char* call;
    M connect, kept;
    V3 normal;
    int code;
  } cases[] = {
      {"no element, zero normal", M(4, 0), previous, zero, 0},
      {"missing node", M{{0, 1, 2, 99}}, previous, zero, -2},
      {"zero normal", M{{0, 1, 2, no_index}}, previous, zero, -4},
      {"kept of another height", m.connect, M{{0, 1, 2}}, N, -5},
  };
  for (const auto& k : cases) {
    M kept = snapshot(k.kept);
    EXPECT_EQ(clip(m.coords, k.connect, P, k.normal, kept), k.code) << k.call;
    EXPECT_SAME(kept, k.kept) << k.call;
  }
  // Appended after what kept held; an empty kept of another height takes
  // connectM's; rows without columns stay ahead as columns of zeros.
  ASSERT_LT(want.cols(), m.connect.cols());
  M kept = snapshot(previous), fresh(3, 0), flat(0, 2), self = snapshot(m.connect);
  ASSERT_EQ(clip(m.coords, m.connect, P, N, kept), 0);
  ASSERT_EQ(clip(m.coords, m.connect, P, N, fresh), 0);
  ASSERT_EQ(clip(m.coords, m.connect, P, N, flat), 0);
  EXPECT_SAME(kept.sub_matrix(0, 1, 4, want.cols()), want);
  EXPECT_SAME(kept.sub_matrix(0, 0, 4, 1), previous);
  EXPECT_SAME(fresh, want);
  EXPECT_SAME(flat.sub_matrix(0, 0, 4, 2), M(4, 2, 0u));
  EXPECT_SAME(flat.sub_matrix(0, 2, 4, want.cols()), want);
  // kept may be connectM itself: the selection is of its elements as they were.
  ASSERT_EQ(clip(m.coords, self, P, N, self), 0);
  EXPECT_SAME(self.sub_matrix(0, m.connect.cols(), 4, want.cols()), want);
}
