// point_index: a bucketed k-d tree over a copy of the points, searched for
// the k nearest points of a query and for the points within a radius.
//
// The tree is implicit: a cell of the point range [lo, hi) longer than
// kLeafSize splits at mid = lo + (hi - lo) / 2 on the widest axis of its
// box, the points before mid in the splitting order (coordinate, then
// index) going to the left cell and the others to the right one; the cell
// numbered c has the children 2c + 1 (left) and 2c + 2 (right), so only the
// split value and axis of each inner cell are stored. Leaves are scanned in
// their points' order, which is the array's.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>

#include "quernfold/search.h"
#include "search/kd_build.h"
#include "search/kd_tree.h"

namespace ovk {
namespace quernfold {
namespace detail {

namespace {

// Cells of at most this many points are leaves.
constexpr std::size_t kLeafSize = 8;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A cell still to be searched: its number, its point range and the
// per-axis gaps from the query point to its box.
struct pending_cell {
  double gap[3];
  unsigned cell;
  unsigned lo;
  unsigned hi;
};

// The k best points so far, nearest first (squared distance, then index).
struct best_list {
  unsigned* index;
  double* d2;
  unsigned k;

  double bound() const noexcept { return d2[k - 1]; }
  // Takes the point when it comes before the last one kept.
  void offer(double d, unsigned i) noexcept {
    if (!(d < d2[k - 1] || (d == d2[k - 1] && i < index[k - 1]))) return;
    unsigned j = k - 1;
    for (; j > 0 && (d < d2[j - 1] || (d == d2[j - 1] && i < index[j - 1])); --j) {
      d2[j] = d2[j - 1];
      index[j] = index[j - 1];
    }
    d2[j] = d;
    index[j] = i;
  }
};

// The number of inner cells of the tree over n points: the levels whose
// cells are longer than a leaf, all of them full.
std::size_t inner_cells(std::size_t n) noexcept {
  std::size_t cells = 0, level = 1, longest = n;
  while (longest > kLeafSize) {
    cells += level;
    level *= 2;
    longest = longest - longest / 2;
  }
  return cells;
}

// A cell to split during construction: its number, its box and its point
// range [first, last).
struct cell_box {
  double lo[3], hi[3];
  std::size_t cell, first, last;
};

unsigned widest_axis(const double* lo, const double* hi) noexcept {
  unsigned a = 0;
  for (unsigned k = 1; k < 3; ++k)
    if (hi[k] - lo[k] > hi[a] - lo[a]) a = k;
  return a;
}

// The root cell: every point, in their bounding box.
cell_box root_cell(const build_item<3>* v, std::size_t n) noexcept {
  cell_box b{{kInfinity, kInfinity, kInfinity}, {-kInfinity, -kInfinity, -kInfinity}, 0, 0, n};
  for (std::size_t i = 0; i < n; ++i)
    for (unsigned a = 0; a < 3; ++a) {
      b.lo[a] = std::min(b.lo[a], v[i].x[a]);
      b.hi[a] = std::max(b.hi[a], v[i].x[a]);
    }
  return b;
}

}  // namespace

class point_tree {
 public:
  // -2 for a NaN coordinate, no_memory, else the number of points.
  int build(const dense2D<double>& coords) {
    dense1D<build_item<3>> items;
    if (coords.cols() >= no_index || !items.resize(coords.cols())) return no_memory;
    if (!load(coords, items)) return kNaN;
    dims_ = coords.rows();
    if (!split_.resize(inner_cells(items.size())) || !axis_.resize(split_.size()) ||
        !xyz_.resize(3 * items.size()) || !ids_.resize(items.size()))
      return no_memory;
    split_cells(items.data(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
      for (unsigned a = 0; a < 3; ++a) xyz_[3 * i + a] = items[i].x[a];
      ids_[i] = items[i].node;
    }
    return static_cast<int>(items.size());
  }

  std::size_t size() const noexcept { return ids_.size(); }

  // Query j in the index's three coordinates: z = 0 for a 2-D query or a
  // 2-D index.
  void query_point(const dense2D<double>& queries, std::size_t j, double (&P)[3]) const noexcept {
    const double* q = queries.column(j);
    P[0] = q[0];
    P[1] = q[1];
    P[2] = queries.rows() == 3 && dims_ == 3 ? q[2] : 0.0;
  }

  // The k nearest points of P into best.
  void nearest(const double* P, best_list& best, traversal_stack<pending_cell>& stack) const {
    search(
        P, stack, [&] { return best.bound(); },
        [&](double d2, unsigned pos) {
          if (d2 <= best.bound()) best.offer(d2, ids_[pos]);
        });
  }

  // Appends the points within squared distance r2 of P, by index.
  bool within(const double* P, double r2, dense1D<unsigned>& found,
              traversal_stack<pending_cell>& stack) const {
    const std::size_t first = found.size();
    bool room = true;
    search(
        P, stack, [r2] { return r2; },
        [&](double d2, unsigned pos) {
          if (d2 <= r2 && room) room = found.push_back(ids_[pos]);
        });
    std::sort(found.begin() + first, found.end());
    return room;
  }

  static constexpr int kNaN = -2;

 private:
  // The points with their coordinates (z = 0 for 2 rows); false on a NaN.
  static bool load(const dense2D<double>& coords, dense1D<build_item<3>>& items) noexcept {
    bool nan = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const double* c = coords.column(i);
      build_item<3>& item = items[i];
      for (unsigned a = 0; a < 3; ++a) item.x[a] = a < coords.rows() ? c[a] : 0.0;
      for (unsigned a = 0; a < 3; ++a) nan |= item.x[a] != item.x[a];
      item.node = item.rank = static_cast<unsigned>(i);
    }
    return !nan;
  }

  // Splits every cell longer than a leaf, from the box of all the points.
  void split_cells(build_item<3>* v, std::size_t n) noexcept {
    cell_box todo[2 * 8 * sizeof(std::size_t)];
    std::size_t top = 0;
    todo[top++] = root_cell(v, n);
    while (top) {
      cell_box c = todo[--top];
      if (c.last - c.first <= kLeafSize) continue;
      const unsigned a = widest_axis(c.lo, c.hi);
      const std::size_t mid = c.first + (c.last - c.first) / 2;
      select_ordered(v, c.first, c.last, mid, a);
      split_[c.cell] = v[mid].x[a];
      axis_[c.cell] = static_cast<unsigned char>(a);
      cell_box left = c, right = c;
      left.hi[a] = right.lo[a] = v[mid].x[a];
      left.cell = 2 * c.cell + 1;
      right.cell = 2 * c.cell + 2;
      left.last = right.first = mid;
      todo[top++] = right;
      todo[top++] = left;
    }
  }

  // Depth-first search from the root, the child on P's side first; a cell
  // is entered while the distance bound of its box is at most bound(), and
  // take(squared distance, position) sees every point of the leaves entered.
  template <class Bound, class Take>
  void search(const double* P, traversal_stack<pending_cell>& stack, Bound bound, Take take) const {
    stack.clear();
    if (ids_.size() == 0) return;
    pending_cell cur{{0, 0, 0}, 0, 0, static_cast<unsigned>(ids_.size())};
    for (;;) {
      if (cur.hi - cur.lo > kLeafSize) {
        const unsigned a = axis_[cur.cell];
        const unsigned mid = cur.lo + (cur.hi - cur.lo) / 2;
        const double diff = P[a] - split_[cur.cell];
        pending_cell far = cur;
        far.gap[a] = std::fabs(diff);
        const bool left_first = diff < 0;
        far.cell = 2 * cur.cell + (left_first ? 2 : 1);
        cur.cell = 2 * cur.cell + (left_first ? 1 : 2);
        (left_first ? cur.hi : cur.lo) = mid;
        (left_first ? far.lo : far.hi) = mid;
        if (cell_bound<3>(far.gap) <= bound()) stack.push(far);
        continue;
      }
      const double* x = xyz_.data() + 3 * std::size_t(cur.lo);
      for (unsigned pos = cur.lo; pos < cur.hi; ++pos, x += 3) take(squared_distance<3>(P, x), pos);
      do {
        if (stack.empty()) return;
        cur = stack.pop();
      } while (!(cell_bound<3>(cur.gap) <= bound()));
    }
  }

  dense1D<double> split_;        // split value of each inner cell
  dense1D<unsigned char> axis_;  // split axis of each inner cell
  dense1D<double> xyz_;          // 3 coordinates a point, in leaf order
  dense1D<unsigned> ids_;        // index of each point, in leaf order
  std::size_t dims_ = 3;         // rows of the coordinates indexed
};

}  // namespace detail

namespace {

constexpr int kBadRows = -1;
constexpr int kBadArgument = -2;

bool is_2d_or_3d(const dense2D<double>& m) { return m.rows() == 2 || m.rows() == 3; }

}  // namespace

point_index::point_index() noexcept = default;
point_index::point_index(point_index&& other) noexcept = default;
point_index& point_index::operator=(point_index&& other) noexcept = default;
point_index::~point_index() = default;

int point_index::reinit(const dense2D<double>& coords) {
  tree_.reset();
  if (!is_2d_or_3d(coords)) return kBadRows;
  std::unique_ptr<detail::point_tree> tree(new (std::nothrow) detail::point_tree);
  if (!tree) return no_memory;
  const int code = tree->build(coords);
  if (code >= 0) tree_ = std::move(tree);
  return code;
}

std::size_t point_index::size() const noexcept { return tree_ ? tree_->size() : 0; }

int point_index::nearest(const dense2D<double>& queries, unsigned k, dense2D<unsigned>& indices,
                         dense2D<double>& distances) const {
  if (!is_2d_or_3d(queries)) return kBadRows;
  if (k == 0) return kBadArgument;
  if (!indices.resize(k, queries.cols()) || !distances.resize(k, queries.cols())) {
    indices.clear();
    distances.clear();
    return no_memory;
  }
  detail::traversal_stack<detail::pending_cell> stack;
  for (std::size_t j = 0; j < queries.cols(); ++j) {
    detail::best_list best{indices.column(j), distances.column(j), k};
    std::fill_n(best.index, k, no_index);
    std::fill_n(best.d2, k, detail::kInfinity);
    double P[3];
    if (tree_) {
      tree_->query_point(queries, j, P);
      tree_->nearest(P, best, stack);
    }
    for (unsigned i = 0; i < k; ++i) best.d2[i] = std::sqrt(best.d2[i]);
  }
  return 0;
}

int point_index::within(const dense2D<double>& queries, double r, dense1D<std::size_t>& offsets,
                        dense1D<unsigned>& indices) const {
  if (!is_2d_or_3d(queries)) return kBadRows;
  if (!(r >= 0)) return kBadArgument;
  indices.clear();
  bool ok = offsets.resize(queries.cols() + 1);
  detail::traversal_stack<detail::pending_cell> stack;
  for (std::size_t j = 0; ok && j < queries.cols(); ++j) {
    offsets[j] = indices.size();
    double P[3];
    if (!tree_) continue;
    tree_->query_point(queries, j, P);
    ok = tree_->within(P, r * r, indices, stack);
  }
  if (!ok) {
    offsets.clear();
    indices.clear();
    return no_memory;
  }
  offsets[queries.cols()] = indices.size();
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
