// Plain merges written straight from their rules over the plain reference
// tree: the oracles of the merge tests.
#pragma once

#include <algorithm>
#include <numeric>
#include <tuple>
#include <vector>

#include "search/reference_tree.h"

namespace quernfold_test {

using ovk::quernfold::no_index;

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;

using map_t = std::vector<unsigned>;

inline std::vector<unsigned> distinct(const std::vector<unsigned>& v) {
  std::vector<unsigned> out;
  for (unsigned x : v)
    if (x != no_index && std::find(out.begin(), out.end(), x) == out.end()) out.push_back(x);
  return out;
}

inline double dist2(const dense2D<double>& c, unsigned a, unsigned b) {
  const double dx = c(0, a) - c(0, b), dy = c(1, a) - c(1, b);
  if (c.rows() == 2) return dy * dy + dx * dx;
  const double dz = c(2, a) - c(2, b);
  return dy * dy + dx * dx + dz * dz;
}

inline void resolve(map_t& m, const std::vector<unsigned>& order) {
  for (unsigned a : order) {
    unsigned r = a;
    while (m[r] != r) r = m[r];
    for (unsigned v = a; m[v] != r;) {
      const unsigned next = m[v];
      m[v] = r;
      v = next;
    }
  }
}

inline std::vector<unsigned> tolerance_box(const reference_tree& tree, const dense2D<double>& c,
                                           unsigned a, double tol) {
  double lo[3], hi[3];
  for (std::size_t k = 0; k < c.rows(); ++k) {
    lo[k] = c(k, a) - tol;
    hi[k] = c(k, a) + tol;
  }
  std::vector<unsigned> found;
  tree.box(lo, hi, found);
  return found;
}

// The two-list merge written straight from its rules, over the plain tree.
inline int reference_merge(const dense2D<double>& c, const std::vector<unsigned>& nodes1,
                           const std::vector<unsigned>& nodes2, double tol, map_t& map) {
  const std::vector<unsigned> U1 = distinct(nodes1), U2 = distinct(nodes2);
  const reference_tree tree(c, U2);
  std::vector<unsigned> rank(c.cols(), no_index);
  for (std::size_t i = 0; i < U2.size(); ++i) rank[U2[i]] = static_cast<unsigned>(i);
  std::vector<std::tuple<double, unsigned, unsigned>> pairs;
  for (unsigned a : U1) {
    unsigned best = a;
    double D = tol * tol;
    for (unsigned b : tolerance_box(tree, c, a, tol)) {
      if (b == a) continue;
      const double d2 = dist2(c, a, b);
      if (d2 <= D && rank[b] < rank[a]) best = b, D = d2;
    }
    if (best != a) pairs.emplace_back(D, a, best);
  }
  std::sort(pairs.begin(), pairs.end());
  map.resize(c.cols());
  std::iota(map.begin(), map.end(), 0u);
  for (const auto& p : pairs) map[std::get<1>(p)] = std::get<2>(p);
  if (pairs.size() >= 2) resolve(map, U1);
  return static_cast<int>(pairs.size());
}

// Modes 1 and 2 written from their rules over the plain tree.
inline int reference_element_merge(const dense2D<double>& c, std::vector<dense2D<unsigned>>& Ms,
                                   double tol, bool repeat, map_t& map) {
  std::vector<unsigned> U;
  for (const auto& M : Ms) {
    const std::vector<unsigned> entries(M.data(), M.data() + M.rows() * M.cols());
    for (unsigned v : distinct(entries))
      if (std::find(U.begin(), U.end(), v) == U.end()) U.push_back(v);
  }
  const reference_tree tree(c, U);
  map.resize(c.cols());
  std::iota(map.begin(), map.end(), 0u);
  int total = 0;
  do {
    std::vector<std::tuple<double, unsigned, unsigned>> pairs;
    for (const auto& M : Ms)
      for (std::size_t j = 0; j < M.cols(); ++j)
        for (std::size_t r = 0; r < M.rows(); ++r) {
          const unsigned a = M(r, j);
          if (a == no_index) continue;
          for (unsigned b : tolerance_box(tree, c, a, tol)) {
            bool in_column = false;
            for (std::size_t s = 0; s < M.rows(); ++s) in_column = in_column || M(s, j) == b;
            if (b != a && in_column && dist2(c, a, b) <= tol * tol)
              pairs.emplace_back(dist2(c, a, b), a, b);
          }
        }
    if (pairs.empty()) break;
    std::stable_sort(pairs.begin(), pairs.end());
    map_t mark(c.cols());
    std::iota(mark.begin(), mark.end(), 0u);
    int merged = 0;
    for (const auto& [d2, a, b] : pairs)
      if (mark[a] == a && mark[b] == b) map[b] = a, mark[b] = a, ++merged;
    if (merged == 0) break;
    resolve(map, U);
    for (auto& M : Ms) ovk::quernfold::change_indices(M, to_dense(map));
    total += merged;
  } while (repeat);
  return total;
}

}  // namespace quernfold_test
