// The correction loop of gradation and variation control, shared by the
// isotropic and anisotropic fields in 2-D and 3-D.
//
// Every edge whose measure exceeds the bound goes into a max-heap as two
// entries "correct a towards b" and "correct b towards a". The worst entry is
// popped; if neither end changed since the entry was made (node stamps), the
// metric at a is moved towards b until the edge meets the bound, and the
// edges of a are measured again and pushed when they violate it.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "common/edge_kernels.h"
#include "metrics/gradation_fields.h"
#include "metrics/gradation_queue.h"
#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace detail {

enum class size_rule { gradation, variation };

// Node stamps: fixed nodes are never corrected; free nodes hold the step of
// their last change (0: never changed).
constexpr unsigned kFixedStamp = 0xFFFFFFFFu;
// Direction bytes: which way a node's sizes may still move.
constexpr unsigned char kEitherWay = 0;
constexpr unsigned char kGrowOnly = 1;
constexpr unsigned char kShrinkOnly = 255;

// Steps not above this do not move a node at all.
constexpr double kNegligibleStep = 1e-12;
// Steps not above this are not worth a correction.
constexpr double kSmallestStep = 0.001;
// For variations, size differences not above this times the edge length
// count as equal sizes.
constexpr double kFlatVariation = 1e-12;
// Excesses from this on (the square root of DBL_MAX) make the objective
// DBL_MAX instead of overflowing.
constexpr double kLargestExcess = 1.3407807929942596e154;
// The step towards fixed neighbors is first sampled at 0, t/6, ..., 5t/6.
constexpr int kStepSamples = 6;
// Interval halving stops at this relative flatness or bracket half-width.
constexpr double kSearchTolerance = 0.001;

template <class Field>
class gradation_engine {
 public:
  using metric = typename Field::metric;
  using path = typename Field::path;

  gradation_engine(const dense2D<double>& coords, Field field, size_rule rule, double bound)
      : coords_(coords),
        field_(field),
        rule_(rule),
        bound_(bound),
        reach_(rule == size_rule::gradation ? std::log(1 + bound) : bound) {}

  // Returns the number of distinct nodes changed, or -199.
  int run(const dense2D<unsigned>& connectM, const dense1D<unsigned>& nodes, bool nodes_are_fixed,
          int direction) {
    if (get_node_graph(connectM, offsets_, neighbors_, ET_UNKNOWN) != 0) return no_memory;
    if (!mark_nodes(nodes, nodes_are_fixed, direction)) return no_memory;
    if (node_count() == 0) return 0;
    if (!seed_queue()) return no_memory;
    return drain_queue();
  }

 private:
  std::size_t node_count() const { return offsets_.empty() ? 0 : offsets_.size() - 1; }
  bool is_fixed(unsigned v) const { return stamps_[v] == kFixedStamp; }

  bool mark_nodes(const dense1D<unsigned>& nodes, bool nodes_are_fixed, int direction) {
    const std::size_t n = node_count();
    const unsigned others = nodes_are_fixed ? 0 : kFixedStamp;
    const unsigned listed = nodes_are_fixed ? kFixedStamp : 0;
    if (!stamps_.resize(n, others)) return false;
    if (!ways_.resize(n, static_cast<unsigned char>(direction & 0xFF))) return false;
    for (std::size_t i = 0; i < nodes.size(); ++i)
      if (nodes[i] < n) stamps_[nodes[i]] = listed;
    has_fixed_ = false;
    for (std::size_t v = 0; v < n && !has_fixed_; ++v) has_fixed_ = is_fixed(unsigned(v));
    return true;
  }

  // Measure of the edge a -> c with a's metric ma and c's metric mc.
  double measure(const metric& ma, unsigned a, const metric& mc, unsigned c) const {
    double e[3], la, lc;
    edge_vector(coords_.column(a), coords_.column(c), field_.dim(), e);
    field_.lengths(ma, mc, e, la, lc);
    const bool measurable = la > 0 && lc > 0;
    const double L = measurable ? normalized_length_of_lengths(la, lc) : 0.0;
    if (rule_ == size_rule::gradation) return size_shock(la, lc, L, Field::equal(ma, mc));
    if (measurable && L >= kShortestNormalizedLength) return std::fabs(la - lc) / (la * lc);
    return Field::equal(ma, mc) ? 0.0 : DBL_MAX;
  }

  bool push(double g, unsigned step, unsigned a, unsigned b) {
    return queue_.push(violation{violation_key(g), step, a, b});
  }

  // Both ways of every violating edge; each edge between free nodes is
  // measured once, from its smaller end.
  bool seed_queue() {
    for (unsigned i = 0; i < node_count(); ++i) {
      if (is_fixed(i)) continue;
      const metric mi = field_.get(i);
      for (unsigned k = offsets_[i]; k < offsets_[i + 1]; ++k) {
        const unsigned j = neighbors_[k];
        if (j < i && !is_fixed(j)) continue;
        const double g = measure(mi, i, field_.get(j), j);
        if (g > bound_ && !push_violation(g, 0, i, j)) return false;
      }
    }
    return true;
  }

  bool push_violation(double g, unsigned step, unsigned a, unsigned b) {
    if (!push(g, step, a, b)) return false;
    return is_fixed(b) || push(g, step, b, a);
  }

  int drain_queue() {
    unsigned step = 0;
    int changed = 0;
    while (!queue_.empty()) {
      const violation v = queue_.pop();
      if (stamps_[v.a] > v.stamp) continue;
      if (stamps_[v.b] > v.stamp && !is_fixed(v.b)) continue;
      if (!correct(v.a, v.b)) continue;
      ++step;
      if (stamps_[v.a] == 0) ++changed;
      stamps_[v.a] = step;
      if (!push_edges_of(v.a, step)) return no_memory;
    }
    return changed;
  }

  bool push_edges_of(unsigned a, unsigned step) {
    const metric ma = field_.get(a);
    for (unsigned k = offsets_[a]; k < offsets_[a + 1]; ++k) {
      const unsigned c = neighbors_[k];
      const double g = measure(ma, a, field_.get(c), c);
      if (g > bound_ && !push_violation(g, step, a, c)) return false;
    }
    return true;
  }

  // Moves the metric of a towards that of b; true when a changed.
  bool correct(unsigned a, unsigned b) {
    const metric ma = field_.get(a), mb = field_.get(b);
    double u[3], len;
    unit_edge(a, b, u, len);
    const double ha = field_.size_along(ma, u), hb = field_.size_along(mb, u);
    double t = first_step(ha, hb, len);
    if (!(t > kNegligibleStep)) return false;
    if (!agrees_with_way(a, hb > ha ? kGrowOnly : kShrinkOnly)) return false;
    if (!(t > kSmallestStep)) return false;
    path p(ma, mb);
    if (has_fixed_ && has_fixed_neighbor(a) && !settle_towards_fixed(a, ma, p, t)) return false;
    metric m;
    if (!candidate(p, t, ways_[a], ma, m)) return false;
    if (!Field::changed(ma, m)) return false;
    field_.set(a, m);
    return true;
  }

  // u = (P_b - P_a) / |P_b - P_a| (left undivided at squared length 0 or 1).
  void unit_edge(unsigned a, unsigned b, double* u, double& len) const {
    const int dim = field_.dim();
    edge_vector(coords_.column(a), coords_.column(b), dim, u);
    const double sq = squared_norm(u, dim);
    len = std::sqrt(sq);
    if (sq != 0 && sq != 1)
      for (int k = 0; k < dim; ++k) u[k] /= len;
  }

  // Fraction of the way from ha to hb at which |h - hb| = reach * |e|: the
  // bound for sizes varying linearly along the edge.
  double first_step(double ha, double hb, double len) const {
    const double gap = std::fabs(hb - ha);
    const bool flat = rule_ == size_rule::gradation ? gap == 0 : !(gap > kFlatVariation * len);
    if (flat) return 0.0;
    return std::max(0.0, 1 - reach_ * len / gap);
  }

  // A node free to move either way takes the way of its first move.
  bool agrees_with_way(unsigned a, unsigned char way) {
    if (ways_[a] == kEitherWay) {
      ways_[a] = way;
      return true;
    }
    return ways_[a] == way;
  }

  // Metric of a at step t along p, clamped to a's allowed way.
  bool candidate(path& p, double t, unsigned char way, const metric& ma, metric& m) const {
    if (!p.at(t, m)) return false;
    if (way == kGrowOnly)
      Field::keep_larger(ma, m);
    else if (way == kShrinkOnly)
      Field::keep_smaller(ma, m);
    return true;
  }

  bool has_fixed_neighbor(unsigned a) const {
    for (unsigned k = offsets_[a]; k < offsets_[a + 1]; ++k)
      if (is_fixed(neighbors_[k])) return true;
    return false;
  }

  // Sum of squared excesses over the bound of a's edges to fixed nodes, with
  // a's metric taken at step t.
  double fixed_excess(unsigned a, const metric& ma, path& p, double t) const {
    metric m;
    if (!candidate(p, t, ways_[a], ma, m)) return 0.0;
    double f = 0;
    for (unsigned k = offsets_[a]; k < offsets_[a + 1]; ++k) {
      const unsigned c = neighbors_[k];
      if (!is_fixed(c)) continue;
      const double g = measure(m, a, field_.get(c), c);
      if (!(g > bound_)) continue;
      const double excess = g - bound_;
      if (excess >= kLargestExcess) return DBL_MAX;
      f += excess * excess;
    }
    return f;
  }

  // Re-chooses t in [0, t] to bring a's edges to fixed nodes closest to the
  // bound: coarse sampling, then interval halving around the best sample.
  // False when that step is too small or no better than not moving.
  bool settle_towards_fixed(unsigned a, const metric& ma, path& p, double& t) const {
    auto f = [&](double s) { return fixed_excess(a, ma, p, s); };
    const double f0 = f(0.0);
    double best_t = 0.0, best_f = f0;
    for (int i = 1; i < kStepSamples; ++i) {
      const double s = i * t / kStepSamples;
      const double fs = f(s);
      if (fs < best_f) best_f = fs, best_t = s;
    }
    const double width = t / kStepSamples;
    double lo = std::max(0.0, best_t - width), hi = std::min(best_t + width, t);
    double mid = (lo + hi) / 2;
    double f_lo = f(lo), f_mid = f(mid), f_hi = f(hi);
    while (!(std::fabs(f_lo - f_mid) <= kSearchTolerance * std::fabs(f_mid) &&
             std::fabs(f_hi - f_mid) <= kSearchTolerance * std::fabs(f_mid)) &&
           !(mid - lo <= kSearchTolerance && hi - mid <= kSearchTolerance)) {
      const double q1 = (lo + mid) / 2, q3 = (mid + hi) / 2;
      const double f1 = f(q1), f3 = f(q3);
      if (f1 < f_mid) {
        hi = mid, f_hi = f_mid, mid = q1, f_mid = f1;
      } else if (f3 < f_mid) {
        lo = mid, f_lo = f_mid, mid = q3, f_mid = f3;
      } else {
        lo = q1, f_lo = f1, hi = q3, f_hi = f3;
      }
    }
    if (!(mid > kSmallestStep && f_mid < f0)) return false;
    t = mid;
    return true;
  }

  const dense2D<double>& coords_;
  Field field_;
  size_rule rule_;
  double bound_;
  double reach_;  // k: how far sizes may differ per unit length along an edge
  dense1D<unsigned> offsets_, neighbors_;
  dense1D<unsigned> stamps_;
  dense1D<unsigned char> ways_;
  bool has_fixed_ = false;
  violation_queue queue_;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
