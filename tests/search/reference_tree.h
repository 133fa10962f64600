// A deliberately plain k-d tree used as an oracle: full sorts instead of
// selection, recursion instead of explicit stacks, std::vector everywhere.
// It follows the construction, insertion and search rules of node_detector
// so that tests can compare traversal orders and tie-breaks exactly.
#pragma once

#include <quernfold/quernfold.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace quernfold_test {

using ovk::quernfold::no_index;

class reference_tree {
 public:
  reference_tree(const ovk::quernfold::dense2D<double>& coords, std::vector<unsigned> nodes)
      : c_(coords), dim_(static_cast<unsigned>(coords.rows())) {
    root_ = build(nodes, 0);
  }

  // Insertion after the seeded shuffle; returns the number added.
  unsigned insert(std::vector<unsigned> nodes) {
    std::mt19937 gen(1);
    for (std::size_t i = 1; i < nodes.size(); ++i) std::swap(nodes[i], nodes[gen() % (i + 1)]);
    unsigned added = 0;
    for (unsigned v : nodes) {
      if (v >= c_.cols()) continue;
      if (root_ == no_index) {
        root_ = add(v);
        ++added;
        continue;
      }
      unsigned e = root_, level = 0;
      for (;;) {
        if (t_[e].node == v) break;
        const unsigned a = level % dim_;
        unsigned& child = c_(a, v) >= c_(a, t_[e].node) ? t_[e].right : t_[e].left;
        if (child == no_index) {
          const unsigned fresh = add(v);
          // add() may reallocate t_: store through the index, not `child`.
          if (c_(a, v) >= c_(a, t_[e].node))
            t_[e].right = fresh;
          else
            t_[e].left = fresh;
          ++added;
          break;
        }
        e = child;
        ++level;
      }
    }
    return added;
  }

  unsigned nearest(const double* P, unsigned skip = no_index) const {
    best_ = no_index;
    d2_ = DBL_MAX;
    done_ = false;
    if (root_ == no_index) return no_index;
    unsigned e = root_, level = 0;
    while (e != no_index) {
      const unsigned a = level % dim_;
      const double g = P[a] - x(e, a);
      if (g * g < d2_ && t_[e].node != skip) {
        const double d2 = dist2(P, t_[e].node);
        if (d2 < d2_) {
          best_ = t_[e].node;
          d2_ = d2;
          if (d2 == 0) return best_;
        }
      }
      e = g >= 0 ? t_[e].right : t_[e].left;
      ++level;
    }
    r_ = best_ == no_index ? DBL_MAX : std::sqrt(d2_);
    search(root_, 0, P, skip);
    return best_;
  }

  void box(const double* lo, const double* hi, std::vector<unsigned>& out) const {
    if (root_ != no_index) box(root_, 0, lo, hi, out);
  }

 private:
  struct entry {
    unsigned node, left, right;
  };

  double x(unsigned e, unsigned a) const { return c_(a, t_[e].node); }

  double dist2(const double* P, unsigned n) const {
    const double dx = P[0] - c_(0, n), dy = P[1] - c_(1, n);
    if (dim_ == 2) return dy * dy + dx * dx;
    const double dz = P[2] - c_(2, n);
    return dy * dy + dx * dx + dz * dz;
  }

  unsigned add(unsigned v) {
    t_.push_back({v, no_index, no_index});
    return static_cast<unsigned>(t_.size() - 1);
  }

  unsigned build(std::vector<unsigned> nodes, unsigned level) {
    if (nodes.empty()) return no_index;
    const unsigned a = level % dim_;
    std::sort(nodes.begin(), nodes.end(), [&](unsigned p, unsigned q) {
      return c_(a, p) < c_(a, q) || (c_(a, p) == c_(a, q) && p < q);
    });
    const std::size_t m = nodes.size() / 2;
    const unsigned e = add(nodes[m]);
    const unsigned left = build({nodes.begin(), nodes.begin() + m}, level + 1);
    const unsigned right = build({nodes.begin() + m + 1, nodes.end()}, level + 1);
    t_[e].left = left;
    t_[e].right = right;
    return e;
  }

  void search(unsigned e, unsigned level, const double* P, unsigned skip) const {
    const unsigned a = level % dim_;
    const double s = x(e, a);
    if (s > P[a] - r_ && P[a] + r_ > s && t_[e].node != skip) {
      const double d2 = dist2(P, t_[e].node);
      if (d2 < d2_) {
        best_ = t_[e].node;
        d2_ = d2;
        r_ = std::sqrt(d2);
        if (r_ == 0) {
          done_ = true;
          return;
        }
      }
    }
    if (t_[e].right != no_index && P[a] + r_ > s) search(t_[e].right, level + 1, P, skip);
    if (done_) return;
    if (t_[e].left != no_index && s > P[a] - r_) search(t_[e].left, level + 1, P, skip);
  }

  void box(unsigned e, unsigned level, const double* lo, const double* hi,
           std::vector<unsigned>& out) const {
    const unsigned a = level % dim_;
    const double s = x(e, a);
    if (lo[a] <= s && s <= hi[a]) {
      bool in = true;
      for (unsigned k = 0; k < dim_; ++k) in = in && lo[k] <= x(e, k) && x(e, k) <= hi[k];
      if (in) out.push_back(t_[e].node);
    }
    if (t_[e].right != no_index && s <= hi[a]) box(t_[e].right, level + 1, lo, hi, out);
    if (t_[e].left != no_index && s >= lo[a]) box(t_[e].left, level + 1, lo, hi, out);
  }

  const ovk::quernfold::dense2D<double>& c_;
  unsigned dim_;
  std::vector<entry> t_;
  unsigned root_ = no_index;
  mutable unsigned best_ = no_index;
  mutable double d2_ = DBL_MAX, r_ = DBL_MAX;
  mutable bool done_ = false;
};

// Random points on a small integer lattice (coordinates 0 .. side - 1), so
// that equal coordinates, coincident nodes and equal distances abound.
inline ovk::quernfold::dense2D<double> lattice_points(unsigned dim, std::size_t n, unsigned side,
                                                      unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<unsigned> u(0, side - 1);
  ovk::quernfold::dense2D<double> c(dim, n);
  for (std::size_t j = 0; j < n; ++j)
    for (unsigned i = 0; i < dim; ++i) c(i, j) = u(gen);
  return c;
}

// An offset whose square underflows to 0: nodes this close are at squared
// distance 0 without being coincident.
constexpr double kUnderflowStep = 1.5e-162;

// Points drawn from a few lattice sites `spacing` apart, each site used many
// times: exact copies, copies with -0.0 for 0.0, copies moved by one or two
// underflow steps (so "distance 0" is not transitive), and a few nodes at
// infinity. With spacing = kUnderflowStep every distance is near underflow.
inline ovk::quernfold::dense2D<double> clustered_points(unsigned dim, std::size_t n, unsigned seed,
                                                        double spacing = 0.5) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> site(0, 2), kind(0, 9), axis(0, static_cast<int>(dim) - 1);
  ovk::quernfold::dense2D<double> c(dim, n);
  for (std::size_t j = 0; j < n; ++j) {
    for (unsigned k = 0; k < dim; ++k) c(k, j) = spacing * site(gen);
    const int what = kind(gen);
    const unsigned a = static_cast<unsigned>(axis(gen));
    if (what == 0) c(a, j) += kUnderflowStep;
    if (what == 1) c(a, j) += 2 * kUnderflowStep;
    if (what == 2 && c(a, j) == 0) c(a, j) = -0.0;
    if (what == 3 && j % 4 == 0) c(a, j) = std::numeric_limits<double>::infinity();
  }
  return c;
}

inline std::vector<unsigned> to_vector(const ovk::quernfold::dense1D<unsigned>& v) {
  return std::vector<unsigned>(v.begin(), v.end());
}

inline ovk::quernfold::dense1D<unsigned> to_dense(const std::vector<unsigned>& v) {
  ovk::quernfold::dense1D<unsigned> d(v.size());
  std::copy(v.begin(), v.end(), d.begin());
  return d;
}

}  // namespace quernfold_test
