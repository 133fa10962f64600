// The k-d tree behind node_detector and merge: one entry per indexed node,
// balanced pre-order construction by median selection, insertion by walking
// from the root, nearest-node search and box search with explicit stacks.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/prefetch.h"
#include "quernfold/model.h"
#include "search/kd_build.h"

namespace ovk {
namespace quernfold {
namespace detail {

constexpr unsigned kNoEntry = no_index;
// Bound on the squared distance before any node was tested.
constexpr double kLargestDouble = DBL_MAX;
// Traversal stacks live on the call's own frame up to this depth.
constexpr std::size_t kInlineStackDepth = 64;

// What a search reads at every entry it visits. The coordinates are a copy
// of the node's column, taken when the entry is created, so that a query
// reads one compact record per visited entry instead of chasing the caller's
// matrix; the node index and rank, needed only for the few entries that are
// tested or reported, live in side tables (32 bytes a record in 3-D, so that
// no record straddles two cache lines).
template <unsigned D>
struct kd_entry {
  double x[D];
  unsigned left;   // entry position of the left child, kNoEntry for none
  unsigned right;  // entry position of the right child, kNoEntry for none
};

// Squared distance, summed y, x, z in that order.
template <unsigned D>
inline double squared_distance(const double* P, const double* q) noexcept {
  const double dx = P[0] - q[0];
  const double dy = P[1] - q[1];
  if constexpr (D == 2) {
    return dy * dy + dx * dx;
  } else {
    const double dz = P[2] - q[2];
    return dy * dy + dx * dx + dz * dz;
  }
}

template <unsigned D>
inline unsigned next_axis(unsigned a) noexcept {
  return a + 1 == D ? 0 : a + 1;
}

// A LIFO that keeps its first kInlineStackDepth items on the owner's frame
// and spills to the heap only for deeper trees (grown by insertions).
template <class T>
class traversal_stack {
 public:
  traversal_stack() noexcept = default;
  traversal_stack(const traversal_stack&) = delete;
  traversal_stack& operator=(const traversal_stack&) = delete;

  bool empty() const noexcept { return size_ == 0; }
  void clear() noexcept { size_ = 0; }
  void push(const T& item) {
    if (size_ == capacity_) grow();
    data_[size_++] = item;
  }
  T pop() noexcept { return data_[--size_]; }

 private:
  void grow() {
    std::vector<T> bigger(2 * capacity_);
    std::copy(data_, data_ + size_, bigger.begin());
    spill_.swap(bigger);
    data_ = spill_.data();
    capacity_ = spill_.size();
  }

  T local_[kInlineStackDepth];
  std::vector<T> spill_;
  T* data_ = local_;
  std::size_t size_ = 0;
  std::size_t capacity_ = kInlineStackDepth;
};

// A subtree still to be searched: its root entry, the split value and axis
// of its parent (a left child is entered only if the parent's split still
// lies inside the search radius when it is popped) and the per-axis gaps
// from the query point to the subtree's cell.
template <unsigned D>
struct pending_child {
  double gap[D];
  double split;
  unsigned entry;
  unsigned parent_axis;
};

// A lower bound of the squared distance from P to every node of a cell, given
// per-axis gaps that are each at most |P[a] - x[a]| (as rounded) for every
// node x of the cell. Summed in the order of squared_distance, so rounding,
// being monotonic, can only keep the bound at or below each node's computed
// squared distance: a cell whose bound is not below the best squared
// distance holds no node that could be strictly closer.
template <unsigned D>
inline double cell_bound(const double* gap) noexcept {
  if constexpr (D == 2) {
    return gap[1] * gap[1] + gap[0] * gap[0];
  } else {
    return gap[1] * gap[1] + gap[0] * gap[0] + gap[2] * gap[2];
  }
}

// A subtree of the box search: its root entry and axis.
struct pending_box {
  unsigned entry;
  unsigned axis;
};

template <unsigned D>
class kd_tree {
 public:
  using entry_type = kd_entry<D>;

  explicit kd_tree(const dense2D<double>& coords) noexcept : coords_(&coords) {}

  const dense2D<double>& coords() const noexcept { return *coords_; }
  std::size_t size() const noexcept { return entries_.size(); }
  const entry_type* entries() const noexcept { return entries_.data(); }
  // The node of the entry at `pos`, and its position in the list of the
  // balanced build (kNoEntry for an inserted one).
  unsigned node(std::size_t pos) const noexcept { return nodes_[pos]; }
  unsigned rank(std::size_t pos) const noexcept { return ranks_[pos]; }

  // Balanced construction over nodes[0 .. n) (every node below cols). False
  // when the table cannot be allocated; the tree is then empty.
  bool build(const unsigned* nodes, std::size_t n) noexcept {
    clear();
    dense1D<build_item<D>> items;
    bool ordered = true;
    if (n >= kNoEntry || !load_items(nodes, n, items, ordered) || !entries_.resize(n) ||
        !nodes_.resize(n) || !ranks_.resize(n) || !free_bits_.resize((n + 31) / 32, 0u)) {
      clear();
      return false;
    }
    entry_type* e = entries_.data();
    const build_item<D>* v = items.data();
    build_preorder(items.data(), n, ordered, kNoEntry,
                   [e](std::size_t pos, unsigned left, unsigned right) {
                     e[pos].left = left;
                     e[pos].right = right;
                   });
    for (std::size_t i = 0; i < n; ++i) {
      for (unsigned k = 0; k < D; ++k) e[i].x[k] = v[i].x[k];
      nodes_[i] = v[i].node;
      ranks_[i] = v[i].rank;
    }
    return true;
  }

  // Inserts the nodes of a list in its order; returns the number added.
  unsigned insert(const unsigned* nodes, std::size_t n) noexcept {
    const dense2D<double>& c = *coords_;
    if (c.rows() < D) return 0;
    unsigned added = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned v = nodes[i];
      if (v >= c.cols()) continue;
      const bool was_empty = entries_.size() == 0;
      const unsigned pos = take_entry();
      if (pos == kNoEntry) break;
      entry_type& fresh = entries_[pos];
      const double* col = c.column(v);
      for (unsigned k = 0; k < D; ++k) fresh.x[k] = col[k];
      fresh.left = fresh.right = kNoEntry;
      nodes_[pos] = v;
      ranks_[pos] = kNoEntry;
      if (was_empty || attach(pos))
        ++added;
      else
        give_back(pos);
    }
    return added;
  }

  // Nearest indexed node to P, entries holding `skip` never tested.
  unsigned closest(const double* P, unsigned skip) const {
    if (entries_.size() == 0) return no_index;
    unsigned best = no_index;
    double best_d2 = kLargestDouble;
    if (descend(P, skip, best, best_d2)) return best;
    search_ball(P, skip, best, best_d2);
    return best;
  }

  // Calls visit(entry position) for every entry inside the closed box [lo, hi], in
  // depth-first order from the root, right subtree before left.
  template <class Visit>
  void visit_box(const double* lo, const double* hi, traversal_stack<pending_box>& stack,
                 Visit&& visit) const {
    if (entries_.size() == 0) return;
    const entry_type* e = entries_.data();
    stack.clear();
    unsigned cur = 0, axis = 0;
    for (;;) {
      const entry_type& E = e[cur];
      const double s = E.x[axis];
      if (lo[axis] <= s && s <= hi[axis] && inside(E, lo, hi)) visit(cur);
      const unsigned next = next_axis<D>(axis);
      const bool go_right = E.right != kNoEntry && s <= hi[axis];
      const bool go_left = E.left != kNoEntry && s >= lo[axis];
      if (go_right) {
        if (go_left) stack.push({E.left, next});
        cur = E.right;
        axis = next;
      } else if (go_left) {
        cur = E.left;
        axis = next;
      } else {
        if (stack.empty()) return;
        const pending_box p = stack.pop();
        cur = p.entry;
        axis = p.axis;
      }
    }
  }

  // Deep copy of another tree (same coordinates matrix). False on memory
  // failure, this tree unchanged.
  bool assign(const kd_tree& other) noexcept {
    dense1D<entry_type> entries;
    dense1D<unsigned> nodes, ranks, free_list;
    dense1D<std::uint32_t> free_bits;
    if (!entries.copy(other.entries_) || !nodes.copy(other.nodes_) || !ranks.copy(other.ranks_) ||
        !free_list.copy(other.free_list_) || !free_bits.copy(other.free_bits_))
      return false;
    coords_ = other.coords_;
    entries_ = entries;
    nodes_ = nodes;
    ranks_ = ranks;
    free_list_ = free_list;
    free_bits_ = free_bits;
    return true;
  }

 private:
  void clear() noexcept {
    entries_.clear();
    nodes_.clear();
    ranks_.clear();
    free_list_.clear();
    free_bits_.clear();
  }

  static bool inside(const entry_type& E, const double* lo, const double* hi) noexcept {
    for (unsigned k = 0; k < D; ++k)
      if (!(lo[k] <= E.x[k] && E.x[k] <= hi[k])) return false;
    return true;
  }

  // The nodes with their coordinates, in list order, ready for selection;
  // `ordered` becomes false when a coordinate is NaN.
  bool load_items(const unsigned* nodes, std::size_t n, dense1D<build_item<D>>& items,
                  bool& ordered) noexcept {
    if (!items.resize(n)) return false;
    bool nan = false;
    const dense2D<double>& c = *coords_;
    build_item<D>* v = items.data();
    for (std::size_t i = 0; i < n; ++i) {
      const double* col = c.column(nodes[i]);
      for (unsigned k = 0; k < D; ++k) {
        v[i].x[k] = col[k];
        nan |= col[k] != col[k];
      }
      v[i].node = nodes[i];
      v[i].rank = static_cast<unsigned>(i);
    }
    ordered = !nan;
    return true;
  }

  // A free entry position: the last one given back, else a new one at the
  // end of the table. kNoEntry when the table cannot grow.
  unsigned take_entry() noexcept {
    if (free_list_.size()) {
      const unsigned pos = free_list_[free_list_.size() - 1];
      free_list_.resize(free_list_.size() - 1);
      free_bits_[pos / 32] &= ~(std::uint32_t(1) << (pos % 32));
      return pos;
    }
    const std::size_t pos = entries_.size();
    if (pos + 1 >= kNoEntry || !entries_.push_back(entry_type()) || !nodes_.push_back(kNoEntry) ||
        !ranks_.push_back(kNoEntry)) {
      entries_.resize(pos);
      nodes_.resize(pos);
      ranks_.resize(pos);
      return kNoEntry;
    }
    return static_cast<unsigned>(pos);
  }

  void give_back(unsigned pos) noexcept {
    const std::size_t word = pos / 32;
    if (free_bits_.size() <= word && !free_bits_.resize(word + 1, 0u)) return;
    if (!free_list_.push_back(pos)) return;
    free_bits_[word] |= std::uint32_t(1) << (pos % 32);
  }

  // Walks from the root to where the entry at `pos` belongs and links it
  // there. False when the walk meets an entry of the same node.
  bool attach(unsigned pos) noexcept {
    entry_type* e = entries_.data();
    const entry_type& fresh = e[pos];
    unsigned cur = 0, axis = 0;
    for (;;) {
      entry_type& E = e[cur];
      if (nodes_[cur] == nodes_[pos]) return false;
      unsigned& child = fresh.x[axis] >= E.x[axis] ? E.right : E.left;
      if (child == kNoEntry) {
        child = pos;
        return true;
      }
      cur = child;
      axis = next_axis<D>(axis);
    }
  }

  // Root-to-leaf descent towards P, testing the entries whose split lies
  // closer than the best distance so far. True when a node at distance 0
  // was found (the search is over).
  bool descend(const double* P, unsigned skip, unsigned& best, double& best_d2) const noexcept {
    const entry_type* e = entries_.data();
    unsigned cur = 0, axis = 0;
    while (cur != kNoEntry) {
      const entry_type& E = e[cur];
      // The child not taken is where the search that follows looks first.
      if (E.left != kNoEntry) prefetch(&e[E.left]);
      if (E.right != kNoEntry) prefetch(&e[E.right]);
      const double g = P[axis] - E.x[axis];
      if (g * g < best_d2 && not_skipped(cur, skip)) {
        const double d2 = squared_distance<D>(P, E.x);
        if (d2 < best_d2) {
          best = nodes_[cur];
          best_d2 = d2;
          if (d2 == 0) return true;
        }
      }
      cur = g >= 0 ? E.right : E.left;
      axis = next_axis<D>(axis);
    }
    return false;
  }

  // Depth-first search from the root within the radius of the best distance,
  // right subtree first; the radius shrinks as closer nodes are found. Besides
  // the per-axis tests on the radius, a subtree is skipped when the distance
  // bound of its cell shows that none of its nodes can be strictly closer
  // than the best so far: such nodes would never be taken, so the nodes met
  // and taken, in their order, stay those of the plain search.
  void search_ball(const double* P, unsigned skip, unsigned& best, double& best_d2) const {
    double r = best == no_index ? kLargestDouble : std::sqrt(best_d2);
    double lo[D], hi[D];
    set_bounds(P, r, lo, hi);
    const entry_type* e = entries_.data();
    traversal_stack<pending_child<D>> stack;
    double gap[D] = {};
    unsigned cur = 0, axis = 0;
    for (;;) {
      const entry_type& E = e[cur];
      const double s = E.x[axis];
      if (s > lo[axis] && hi[axis] > s && not_skipped(cur, skip)) {
        const double d2 = squared_distance<D>(P, E.x);
        if (d2 < best_d2) {
          best = nodes_[cur];
          best_d2 = d2;
          r = std::sqrt(d2);
          if (r == 0) return;
          set_bounds(P, r, lo, hi);
        }
      }
      const unsigned next = next_axis<D>(axis);
      if (E.left != kNoEntry && s > lo[axis]) {
        pending_child<D> p;
        for (unsigned k = 0; k < D; ++k) p.gap[k] = gap[k];
        if (P[axis] > s) p.gap[axis] = std::max(gap[axis], P[axis] - s);
        if (cell_bound<D>(p.gap) < best_d2) {
          p.split = s;
          p.entry = E.left;
          p.parent_axis = axis;
          stack.push(p);
        }
      }
      if (E.right != kNoEntry && hi[axis] > s) {
        const double kept = gap[axis];
        if (s > P[axis]) gap[axis] = std::max(kept, s - P[axis]);
        if (cell_bound<D>(gap) < best_d2) {
          cur = E.right;
          axis = next;
          continue;
        }
        gap[axis] = kept;
      }
      if (!pop_inside(stack, lo, best_d2, gap, cur, axis)) return;
    }
  }

  // Pops pending left subtrees until one whose parent split still lies above
  // the lower bound and whose cell may still hold a closer node; false when
  // none is left.
  static bool pop_inside(traversal_stack<pending_child<D>>& stack, const double* lo, double best_d2,
                         double* gap, unsigned& cur, unsigned& axis) noexcept {
    while (!stack.empty()) {
      const pending_child<D> p = stack.pop();
      if (p.split > lo[p.parent_axis] && cell_bound<D>(p.gap) < best_d2) {
        for (unsigned k = 0; k < D; ++k) gap[k] = p.gap[k];
        cur = p.entry;
        axis = next_axis<D>(p.parent_axis);
        return true;
      }
    }
    return false;
  }

  // Point queries skip nothing, so they never read the node table here.
  bool not_skipped(unsigned pos, unsigned skip) const noexcept {
    return skip == no_index || nodes_[pos] != skip;
  }

  static void set_bounds(const double* P, double r, double* lo, double* hi) noexcept {
    for (unsigned k = 0; k < D; ++k) {
      lo[k] = P[k] - r;
      hi[k] = P[k] + r;
    }
  }

  const dense2D<double>* coords_;
  dense1D<entry_type> entries_;
  dense1D<unsigned> nodes_;  // node of each entry
  dense1D<unsigned> ranks_;  // position in the list of the balanced build
  dense1D<unsigned> free_list_;
  dense1D<std::uint32_t> free_bits_;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
