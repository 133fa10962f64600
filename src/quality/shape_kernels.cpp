// Shape-quality kernels: normalized inradius-type measures for simplices and
// corner-volume measures for pyramids, wedges and hexahedra, with the fall
// backs that keep borderline elements from scoring wrongly.
#include "quality/shape_kernels.h"

#include <algorithm>
#include <cmath>

#include "common/faces.h"

namespace ovk {
namespace quernfold {
namespace detail {
namespace shape {

namespace {

// Normalization constants: each makes the ideal element score exactly 1.
constexpr double kTriangleScale = 3.4641016151377544;  // 2 sqrt 3
constexpr double kQuadScale = 5.656854249492381;       // 4 sqrt 2
constexpr double kTetraScale = 4.898979485566356;      // 2 sqrt 6
constexpr double kPyramidScale = 58.78775382679627;    // 24 sqrt 6
constexpr double kHexaScale = 41.569219381653056;      // 24 sqrt 3
constexpr double kWedgeScale = 31.17691453623979;      // 18 sqrt 3
constexpr double kInversePi = 0.3183098861837907;

// Relative size below which a squared face area has lost its accuracy to
// cancellation in |u|^2 |v|^2 - (u.v)^2.
constexpr double kAccuracyRatio = 1e-12;
// Tetrahedron qualities below this magnitude are re-evaluated.
constexpr double kBorderlineQuality = 1e-10;
// Qualities not above this are flat: searches stop, tests fail.
constexpr double kFlatQuality = 1e-12;
// Below this pyramid measure (24 sqrt 3 * 1e-12) its corner tetrahedra decide.
constexpr double kPyramidFallback = 4.1569219381653057e-11;

// Limits a raw quality to [-1, 1]; NaN counts as the worst.
double finish(double q) noexcept {
  if (!(q >= -1)) return -1;
  return q > 1 ? 1 : q;
}

double cube_of_root(double s) noexcept { return s * std::sqrt(s); }

// ---------------------------------------------------------------------------
// Quadrangles and warp
// ---------------------------------------------------------------------------

struct quad_frame {
  point3 N[4];       // corner normals e_(k-1) x e_k
  double perimeter;  // sum of the edge lengths
  double longest;    // longest edge or diagonal
};

quad_frame quad_corners(const point3 (&P)[4]) noexcept {
  const point3 e[4] = {P[1] - P[0], P[2] - P[1], P[3] - P[2], P[0] - P[3]};
  quad_frame f;
  double longest2 = std::max(norm2(P[2] - P[0]), norm2(P[3] - P[1]));
  f.perimeter = 0;
  for (int k = 0; k < 4; ++k) {
    const double l2 = norm2(e[k]);
    longest2 = std::max(longest2, l2);
    f.perimeter += std::sqrt(l2);
    f.N[k] = cross(e[(k + 3) % 4], e[k]);
  }
  f.longest = std::sqrt(longest2);
  return f;
}

// kQuadScale * corner / (longest * perimeter), 0 for a zero denominator.
double quad_measure(const quad_frame& f, double corner) noexcept {
  const double den = f.longest * f.perimeter;
  return den > 0 ? kQuadScale * corner / den : 0.0;
}

// Stands for "warp factor 0" among cosines (below every real cosine).
constexpr double kNoCosine = -2.0;

// Cosine c of the larger angle between the normals of opposite corners, from
// which the warp factor is w = acos(-c) / pi. The two cosines are ordered
// through their sign-keeping squares, which needs no square root. kNoCosine
// when a corner normal vanishes.
double warp_cosine(const point3 (&N)[4]) noexcept {
  const double n13 = norm2(N[1]) * norm2(N[3]);
  const double n02 = norm2(N[0]) * norm2(N[2]);
  if (!(n13 > 0) || !(n02 > 0)) return kNoCosine;
  const double d13 = dot(N[1], N[3]), d02 = dot(N[0], N[2]);
  const bool first = d13 * std::fabs(d13) / n13 <= d02 * std::fabs(d02) / n02;
  return first ? d13 / std::sqrt(n13) : d02 / std::sqrt(n02);
}

// w = acos(-c) / pi in [0, 1]; 0 below -1 or for NaN. Non-decreasing in c,
// so the smallest of several factors is the factor of the smallest cosine.
double warp_of_cosine(double c) noexcept {
  if (c > 1) c = 1;
  if (!(c >= -1)) return 0.0;
  const double w = std::acos(-c) * kInversePi;
  return std::min(1.0, std::max(0.0, w));
}

double warp_from_normals(const point3 (&N)[4]) noexcept { return warp_of_cosine(warp_cosine(N)); }

// Corner normals of a quadrangle: N_k = e_(k-1) x e_k.
void corner_normals(const point3& Q0, const point3& Q1, const point3& Q2, const point3& Q3,
                    point3 (&N)[4]) noexcept {
  const point3 e0 = Q1 - Q0, e1 = Q2 - Q1, e2 = Q3 - Q2, e3 = Q0 - Q3;
  N[0] = cross(e3, e0);
  N[1] = cross(e0, e1);
  N[2] = cross(e1, e2);
  N[3] = cross(e2, e3);
}

// ---------------------------------------------------------------------------
// Tetrahedra
// ---------------------------------------------------------------------------

struct tetra_measure {
  double q;
  bool inaccurate;
};

// 2 sqrt 6 * det(a, b, c) / (longest edge * twice the surface), with a, b, c
// the edges from P3. The flag reports a squared face area that has lost its
// digits, or a zero edge.
tetra_measure tetra_core(const point3& P0, const point3& P1, const point3& P2,
                         const point3& P3) noexcept {
  const point3 a = P0 - P3, b = P1 - P3, c = P2 - P3;
  const point3 amb = a - b, amc = a - c, bmc = b - c;
  const double aa = norm2(a), bb = norm2(b), cc = norm2(c);
  const double ab2 = norm2(amb), ac2 = norm2(amc), bc2 = norm2(bmc);
  const double L2max = std::max(std::max(std::max(aa, bb), std::max(cc, ab2)), std::max(ac2, bc2));

  const double ab = dot(a, b), ac = dot(a, c), bc = dot(b, c), abac = dot(amb, amc);
  double F1 = bb * cc - bc * bc;
  double F2 = aa * bb - ab * ab;
  double F3 = aa * cc - ac * ac;
  double F4 = ab2 * ac2 - abac * abac;
  const bool inaccurate = aa * bb * kAccuracyRatio > F2 || bb * cc * kAccuracyRatio > F1 ||
                          aa * cc * kAccuracyRatio > F3 || ac2 * ab2 * kAccuracyRatio > F4 ||
                          !(ab2 > 0) || !(ac2 > 0) || !(bc2 > 0);
  if (inaccurate) {
    if (F1 < 0) F1 = 0;
    if (F2 < 0) F2 = 0;
    if (F3 < 0) F3 = 0;
    if (F4 < 0) F4 = 0;
  }
  const double D =
      std::sqrt(L2max * F1) + std::sqrt(L2max * F2) + std::sqrt(L2max * F3) + std::sqrt(L2max * F4);
  const double det = dot(a, cross(b, c));
  return {D > 0 ? finish(kTetraScale * det / D) : 0.0, inaccurate};
}

// The twelve orientation-preserving orders of four nodes: order i rotates all
// four left by i / 3, then the first three left by i % 3, then swaps the
// first two when i / 3 is odd. Order 0 is the identity.
struct node_orders {
  unsigned char at[12][4];
  constexpr node_orders() : at() {
    for (int i = 0; i < 12; ++i) {
      const int d = i / 3, r = i % 3;
      unsigned char rot[4] = {};
      for (int k = 0; k < 4; ++k) rot[k] = static_cast<unsigned char>((k + d) % 4);
      for (int k = 0; k < 3; ++k) at[i][k] = rot[(k + r) % 3];
      at[i][3] = rot[3];
      if (d % 2 == 1) {
        const unsigned char t = at[i][0];
        at[i][0] = at[i][1];
        at[i][1] = t;
      }
    }
  }
};
constexpr node_orders kTetraOrders;

// Re-evaluation of a borderline tetrahedron: a change of sign between node
// orders means it is flat (0); otherwise the value of smallest magnitude.
double tetra_robust(const point3 (&P)[4], double q) noexcept {
  double best = q;
  for (int i = 1; i < 12; ++i) {
    const unsigned char* o = kTetraOrders.at[i];
    const double qi = tetra_core(P[o[0]], P[o[1]], P[o[2]], P[o[3]]).q;
    if (!(qi * best > 0)) return 0.0;
    if (std::fabs(qi) < std::fabs(best)) best = qi;
    if (!(std::fabs(best) > kFlatQuality)) break;
  }
  return best;
}

// ---------------------------------------------------------------------------
// Solids with a face test
// ---------------------------------------------------------------------------

// Pyramid measure before its warp factor: the corner-volume measure qv, or
// the final quality when qv is flat or a corner tetrahedron is.
struct pyramid_measure {
  double q;
  bool final;
};

pyramid_measure pyramid_core(const point3 (&P)[5]) noexcept {
  const point3& apex = P[4];
  const point3 p0 = P[0] - apex, p1 = P[1] - apex, p2 = P[2] - apex, p3 = P[3] - apex;
  const point3 A = cross(p0, p2), B = cross(p1, p3);
  // Left to right, so that a NaN term (infinite coordinates) never replaces
  // the running minimum.
  const double T = std::min({dot(p1, A), -dot(p3, A), dot(p2, B), -dot(p0, B)});
  const double lateral = norm2(p0) + norm2(p1) + norm2(p2) + norm2(p3);
  const double base =
      norm2(P[1] - P[0]) + norm2(P[2] - P[1]) + norm2(P[3] - P[2]) + norm2(P[0] - P[3]);
  const double S32 = cube_of_root(2 * lateral + base);
  const double qv = S32 > 0 ? finish(kPyramidScale * T / S32) : 0.0;
  if (!(qv > kFlatQuality)) return {qv, true};

  if (qv < kPyramidFallback) {
    // The four tetrahedra of three base corners and the apex.
    static constexpr unsigned char kCorners[4][3] = {{0, 2, 1}, {1, 3, 2}, {2, 0, 3}, {3, 1, 0}};
    double tmin = 0;
    for (int t = 0; t < 4; ++t) {
      const unsigned char* c = kCorners[t];
      const double q = tetra_quality(P[c[0]], P[c[1]], P[c[2]], apex);
      tmin = t == 0 ? q : std::min(tmin, q);
      if (!(tmin > kFlatQuality)) break;
    }
    if (tmin < kFlatQuality) return {tmin, true};
  }
  return {qv, false};
}

// Smallest quality m and smallest warp factor W over the tetrahedra and
// pyramids that join the faces of a solid to its centroid, stopping at the
// first flat one. A pyramid whose measure is clearly above flat and whose
// warp cosine is >= 0 (so w >= 1/2) cannot be the flat one: its acos is
// skipped, and W is taken once from the smallest cosine, which gives the
// same value as the smallest factor.
class face_test {
 public:
  // Records one measure; false when the test must stop.
  bool add(double q) noexcept {
    m_ = std::min(m_, q);
    return m_ > kFlatQuality;
  }

  bool add_pyramid(const point3& a, const point3& b, const point3& c, const point3& d,
                   const point3& apex) noexcept {
    const pyramid_measure p = pyramid_core({a, b, c, d, apex});
    if (p.final) return add(p.q);
    point3 N[4];
    corner_normals(a, b, c, d, N);
    const double cosine = warp_cosine(N);
    cmin_ = std::min(cmin_, cosine);
    if (cosine >= 0 && p.q > kClearlyNotFlat) return true;
    return add(p.q * warp_of_cosine(cosine));
  }

  // The tetrahedron of the triangle face f of P and the centroid C. The face
  // table lists a face counter-clockwise seen from inside, and tetra_quality
  // is positive for a base running clockwise seen from its apex: the face is
  // passed reversed.
  template <int N>
  bool add_triangle_face(const point3 (&P)[N], const unsigned char* f, const point3& C) noexcept {
    return add(tetra_quality(P[f[2]], P[f[1]], P[f[0]], C));
  }

  // The pyramid of the quadrangle face f of P and the centroid C.
  template <int N>
  bool add_quad_face(const point3 (&P)[N], const unsigned char* f, const point3& C) noexcept {
    return add_pyramid(P[f[0]], P[f[1]], P[f[2]], P[f[3]], C);
  }

  // The solid's quality: the flat face measure, or qv times the worst warp.
  double result(double qv) const noexcept {
    if (m_ < kFlatQuality) return m_;
    return cmin_ > 1 ? qv : qv * warp_of_cosine(cmin_);
  }

 private:
  // Twice the flat limit plus margin: times a warp factor >= 1/2 (up to
  // rounding) it stays above the flat limit.
  static constexpr double kClearlyNotFlat = 4 * kFlatQuality;
  double m_ = 1.0;     // every face measure is <= 1, so the first replaces it
  double cmin_ = 2.0;  // above every cosine: no warp factor met yet (W = 1)
};

// scale * (smallest corner volume) / (sum of squared edge lengths)^(3/2),
// finished; 0 for a zero denominator.
template <int N, int E>
double corner_measure(const point3 (&P)[N], const unsigned char (&corners)[N][3],
                      const unsigned char (&edges)[E][2], double scale) noexcept {
  double Vmin = 0;
  for (int k = 0; k < N; ++k) {
    const unsigned char* n = corners[k];
    const double v = corner_volume(P[k], P[n[0]], P[n[1]], P[n[2]]);
    Vmin = k == 0 ? v : std::min(Vmin, v);
  }
  double S = 0;
  for (const auto& e : edges) S += norm2(P[e[1]] - P[e[0]]);
  const double S32 = cube_of_root(S);
  return S32 > 0 ? finish(scale * Vmin / S32) : 0.0;
}

// Mean of the N nodes.
template <int N>
point3 centroid(const point3 (&P)[N]) noexcept {
  point3 C = P[0];
  for (int k = 1; k < N; ++k) C = C + P[k];
  return {C.x / N, C.y / N, C.z / N};
}

}  // namespace

double warp_factor(const point3 (&Q)[4]) noexcept {
  point3 N[4];
  corner_normals(Q[0], Q[1], Q[2], Q[3], N);
  return warp_from_normals(N);
}

double triangle_quality(const point3 (&P)[3], bool planar) noexcept {
  const point3 u = P[0] - P[2], v = P[1] - P[2], w = P[1] - P[0];
  const double a = norm(u), b = norm(v), c = norm(w);
  const double longest = std::max(std::max(a, b), c);
  const double sum = a + b + c;
  // Twice the area, from the two shorter edges when 0-1 is the shortest.
  const point3 n = (c < a && c < b) ? cross(u, w) : cross(u, v);
  const double area2 = planar ? n.z : norm(n);
  const double den = sum * longest;
  return den > 0 ? finish(kTriangleScale * area2 / den) : 0.0;
}

double quad_quality_planar(const point3 (&P)[4]) noexcept {
  const quad_frame f = quad_corners(P);
  double cmin = f.N[0].z;
  for (int k = 1; k < 4; ++k) cmin = std::min(cmin, f.N[k].z);
  return finish(quad_measure(f, cmin));
}

double quad_quality_space(const point3 (&P)[4]) noexcept {
  const quad_frame f = quad_corners(P);
  double nmin = norm(f.N[0]);
  for (int k = 1; k < 4; ++k) nmin = std::min(nmin, norm(f.N[k]));
  const double w = nmin == 0 ? 0.0 : warp_from_normals(f.N);
  const double q = quad_measure(f, nmin) * w;
  if (!(q >= 0)) return 0.0;
  return q > 1 ? 1 : q;
}

double tetra_quality(const point3& P0, const point3& P1, const point3& P2,
                     const point3& P3) noexcept {
  const tetra_measure m = tetra_core(P0, P1, P2, P3);
  const double aq = std::fabs(m.q);
  if (!((m.inaccurate || aq < kBorderlineQuality) && aq > kFlatQuality)) return m.q;
  const point3 P[4] = {P0, P1, P2, P3};
  return tetra_robust(P, m.q);
}

double pyramid_quality(const point3 (&P)[5], bool planar) noexcept {
  const pyramid_measure m = pyramid_core(P);
  if (m.final || planar) return m.q;
  return m.q * warp_factor({P[0], P[1], P[2], P[3]});
}

double hexa_quality(const point3 (&P)[8]) noexcept {
  // Corner k with its three neighbors (a, b, c), ordered so that a right
  // handed corner gives a positive volume.
  static constexpr unsigned char kCorners[8][3] = {{1, 3, 4}, {2, 0, 5}, {3, 1, 6}, {0, 2, 7},
                                                   {7, 5, 0}, {4, 6, 1}, {5, 7, 2}, {6, 4, 3}};
  static constexpr unsigned char kEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 4}, {1, 5},
                                                  {2, 6}, {3, 7}, {4, 5}, {5, 6}, {6, 7}, {7, 4}};
  const double qv = corner_measure(P, kCorners, kEdges, kHexaScale);
  if (!(qv > kFlatQuality)) return qv;

  // The faces of the shared table run counter-clockwise seen from inside.
  const point3 C = centroid(P);
  face_test test;
  for (unsigned i = 0; i < kHexaFaces.count; ++i)
    if (!test.add_quad_face(P, kHexaFaces.nodes[i], C)) break;
  return test.result(qv);
}

double wedge_quality(const point3 (&P)[6]) noexcept {
  // Bottom corner k: (k + 2, k + 3, k + 1), triangle indices mod 3; top
  // corner 3 + j: (3 + (j + 1) % 3, j, 3 + (j + 2) % 3).
  static constexpr unsigned char kCorners[6][3] = {{2, 3, 1}, {0, 4, 2}, {1, 5, 0},
                                                   {4, 0, 5}, {5, 1, 3}, {3, 2, 4}};
  static constexpr unsigned char kEdges[9][2] = {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5},
                                                 {5, 3}, {0, 3}, {1, 4}, {2, 5}};
  const double qv = corner_measure(P, kCorners, kEdges, kWedgeScale);
  if (!(qv > kFlatQuality)) return qv;

  // Faces 0 and 1 of the shared table are the triangles, 2 to 4 the sides.
  const point3 C = centroid(P);
  face_test test;
  if (test.add_triangle_face(P, kWedgeFaces.nodes[0], C) &&
      test.add_triangle_face(P, kWedgeFaces.nodes[1], C)) {
    for (unsigned i = 2; i < kWedgeFaces.count; ++i)
      if (!test.add_quad_face(P, kWedgeFaces.nodes[i], C)) break;
  }
  return test.result(qv);
}

}  // namespace shape
}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
