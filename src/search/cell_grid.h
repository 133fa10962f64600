// A uniform grid of cubic cells over a list of target nodes, answering for a
// query node the closest target of lower rank inside its tolerance box, as
// the merge engine's box search over the k-d tree would, but only when that
// answer does not depend on the order in which the tree meets candidates:
// no candidate, or a single closest one. When several candidates tie at the
// smallest distance the query is reported tied and the caller asks the tree.
//
// Why the grid meets every candidate the tree can meet: the cell of a value
// x on axis k is floor((x - min[k]) * (1 / h)), computed in floating point
// and clamped to the grid's cells. Each step is monotonic (correctly
// rounded subtraction of a fixed value and multiplication by a fixed
// positive value, clamping, floor), so a target b with lo[k] <= b[k] <=
// hi[k] has cell(lo[k]) <= cell(b[k]) <= cell(hi[k]). The
// grid visits exactly those cell ranges, with lo and hi computed as the tree
// computes its box, and then applies the tree's own tests: the closed box,
// the rank and the squared distance against the running bound.
//
// Nodes with a NaN or infinite coordinate are left out of the grid and never
// move as queries: any coordinate difference involving them is infinite or
// NaN, so is its square and the sum of squares (squares are never -inf), and
// neither passes "d^2 <= tol^2" for a finite tol^2. The grid is refused
// (the caller keeps the tree) for tol 0, a tol whose square is not finite,
// a target with a NaN coordinate (see has_nan), targets whose extent
// overflows, a cell edge too small to invert, and
// clustered targets whose cells would hold too many pairs.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/parallel.h"
#include "quernfold/model.h"
#include "search/kd_tree.h"

namespace ovk {
namespace quernfold {
namespace detail {

template <unsigned D>
void tolerance_box(const double* P, double tol, double* lo, double* hi) {
  for (unsigned k = 0; k < D; ++k) {
    lo[k] = P[k] - tol;
    hi[k] = P[k] + tol;
  }
}

template <unsigned D>
bool inside_box(const double* q, const double* lo, const double* hi) {
  for (unsigned k = 0; k < D; ++k)
    if (!(lo[k] <= q[k] && q[k] <= hi[k])) return false;
  return true;
}

template <unsigned D>
bool is_finite_point(const double* p) {
  for (unsigned k = 0; k < D; ++k)
    if (!std::isfinite(p[k])) return false;
  return true;
}

// Whether a node of the list has a NaN coordinate. The splitting order of
// the k-d tree is then no order, so which nodes the tree's box search
// meets depends on how the tree came out, and only that very tree gives
// its answer: the grid steps aside.
template <unsigned D>
bool has_nan(const dense2D<double>& coords, const unsigned* nodes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const double* p = coords.column(nodes[i]);
    for (unsigned k = 0; k < D; ++k)
      if (std::isnan(p[k])) return true;
  }
  return false;
}

// What the grid says about one query: no candidate, one closest candidate,
// several closest candidates at a positive distance, or at distance 0.
enum class grid_answer { stays, merges, tied, tied_at_zero };

template <unsigned D>
class cell_grid {
 public:
  // The cell edge is at least this many tolerances, so a tolerance box
  // spans at most two cells per axis...
  static constexpr double kCellTolerances = 2.0;
  // ...and at most this many cells per axis, so that a cell's linear number
  // fits 64 bits in 3-D.
  static constexpr double kMaxCellsPerAxis = double(1 << 20);
  // Refused when the targets sharing a cell form more pairs than this many
  // per target (a cluster far denser than the rest).
  static constexpr double kMaxPairsPerTarget = 64.0;

  // Builds over targets[0 .. n) (distinct nodes; the rank of a target is its
  // position), the cells of the targets found and the targets laid out on
  // `threads` threads (the same answers for every count). False when the grid
  // cannot serve or memory cannot be had.
  bool build(const dense2D<double>& coords, const unsigned* targets, std::size_t n, double tol,
             unsigned threads = 1) {
    tol2_ = tol * tol;
    tol_ = tol;
    if (!(tol > 0) || !std::isfinite(tol2_) || !bound(coords, targets, n, threads)) return false;
    return fill(coords, targets, n, threads);
  }

  // The closest target of rank below rank_a inside the tolerance box of the
  // node a at P (a itself, of rank rank_a, is never a candidate); `best` is
  // its rank when the answer is `merges`.
  grid_answer closest_lower(const double* P, unsigned rank_a, unsigned& best) const {
    return search(P, rank_a, best, nullptr);
  }

  // closest_lower for every finite target, cell after cell, calling
  // f(rank, answer, best) for each: the targets of a cell and their
  // coordinates lie together, and so does the cell that most of their boxes
  // stay in.
  template <class F>
  void for_each_target(F f) const {
    for_each_target(0, slots_.size(), f);
  }
  // The same for the targets of table slots [first, last) of cell_slots():
  // disjoint slot ranges ask disjoint targets, and may run at once.
  template <class F>
  void for_each_target(std::size_t first, std::size_t last, F f) const {
    for (std::size_t i = first; i < last; ++i) {
      const slot& s = slots_[i];
      for (std::uint32_t m = s.start; m < s.start + s.count; ++m) {
        unsigned best = 0;
        const grid_answer answer = search(&points_[D * m], members_[m], best, &s);
        f(members_[m], answer, best);
      }
    }
  }
  std::size_t cell_slots() const { return slots_.size(); }

 private:
  // A cell of the open-addressing table: its linear number + 1 (0: empty
  // slot) and its members' range in members_.
  struct slot {
    std::uint64_t key;
    std::uint32_t start, count;
  };
  static constexpr std::uint64_t kMix = 0x9E3779B97F4A7C15ull;

  // closest_lower, with the slot of the node's own cell when it is known.
  grid_answer search(const double* P, unsigned rank_a, unsigned& best, const slot* own) const {
    if (!is_finite_point<D>(P)) return grid_answer::stays;
    double lo[D], hi[D];
    tolerance_box<D>(P, tol_, lo, hi);
    std::uint64_t first[3] = {0, 0, 0}, last[3] = {0, 0, 0};
    if (!cell_range(lo, hi, first, last)) return grid_answer::stays;
    double best_d2 = tol2_;
    bool found = false, tie = false;
    for (std::uint64_t z = first[2]; z <= last[2]; ++z)
      for (std::uint64_t y = first[1]; y <= last[1]; ++y)
        for (std::uint64_t x = first[0]; x <= last[0]; ++x) {
          const std::uint64_t cell = x + cells_[0] * (y + cells_[1] * z);
          const slot* s = own && own->key == cell + 1 ? own : find(cell);
          if (!s) continue;
          for (std::uint32_t m = s->start; m < s->start + s->count; ++m) {
            const unsigned rank = members_[m];
            if (rank >= rank_a) break;  // members of a cell are in rank order
            const double* q = &points_[D * m];
            if (!inside_box<D>(q, lo, hi)) continue;
            const double d2 = squared_distance<D>(P, q);
            if (!(d2 <= best_d2)) continue;
            tie = found && d2 == best_d2;
            found = true;
            best = rank;
            best_d2 = d2;
          }
        }
    if (tie) return best_d2 == 0 ? grid_answer::tied_at_zero : grid_answer::tied;
    return found ? grid_answer::merges : grid_answer::stays;
  }

  // The cell of x on axis k, clamped to [-1, cells_[k]]: below 0 and at or
  // above the cell count the value is clamped before it is truncated, and
  // truncation is floor for the values left, which are not negative.
  std::int64_t cell_of(double x, unsigned k) const {
    const double t = (x - min_[k]) * inv_h_;
    if (!(t >= 0)) return -1;
    if (t >= cell_count_[k]) return std::int64_t(cells_[k]);
    return std::int64_t(t);
  }

  // The bounds and count of the finite targets of [first, last); false
  // when one of them has a NaN coordinate.
  struct target_bounds {
    double min[D], max[D];
    std::size_t finite = 0;
    bool nan = false;
  };
  static target_bounds bound_range(const dense2D<double>& coords, const unsigned* targets,
                                   std::size_t first, std::size_t last) {
    target_bounds b;
    for (unsigned k = 0; k < D; ++k) b.min[k] = b.max[k] = 0;
    for (std::size_t i = first; i < last; ++i) {
      const double* p = coords.column(targets[i]);
      if (!is_finite_point<D>(p)) {
        b.nan = b.nan || has_nan<D>(coords, targets + i, 1);
        continue;
      }
      for (unsigned k = 0; k < D; ++k) {
        b.min[k] = b.finite ? std::min(b.min[k], p[k]) : p[k];
        b.max[k] = b.finite ? std::max(b.max[k], p[k]) : p[k];
      }
      ++b.finite;
    }
    return b;
  }

  // Bounds of the finite targets (ranges of them on `threads` threads; a
  // minimum and a maximum are the same in any order) and the cell edge.
  bool bound(const dense2D<double>& coords, const unsigned* targets, std::size_t n,
             unsigned threads) {
    std::vector<target_bounds> parts(range_parts(threads, n));
    parallel_parts(threads, n, [&](std::size_t part, std::size_t first, std::size_t last) {
      parts[part] = bound_range(coords, targets, first, last);
    });
    finite_ = 0;
    for (unsigned k = 0; k < D; ++k) min_[k] = max_[k] = 0;
    for (const target_bounds& b : parts) {
      if (b.nan) return false;
      if (b.finite == 0) continue;
      for (unsigned k = 0; k < D; ++k) {
        min_[k] = finite_ ? std::min(min_[k], b.min[k]) : b.min[k];
        max_[k] = finite_ ? std::max(max_[k], b.max[k]) : b.max[k];
      }
      finite_ += b.finite;
    }
    double extent = 0;
    for (unsigned k = 0; k < D; ++k) extent = std::max(extent, max_[k] - min_[k]);
    if (!std::isfinite(extent)) return false;
    // About one target per occupied cell on a surface, when the tolerance
    // is small against the spacing.
    const double spread = finite_ ? extent / std::sqrt(double(finite_)) : 0;
    inv_h_ = 1 / std::max({kCellTolerances * tol_, spread, extent / kMaxCellsPerAxis});
    if (!std::isfinite(inv_h_)) return false;  // a subnormal edge
    // Every target lies in cells 0 .. cells_[k] - 1, the last one holding
    // the largest coordinate.
    for (unsigned k = 0; k < D; ++k) {
      cells_[k] = std::uint64_t(kMaxCellsPerAxis) + 2;
      cell_count_[k] = double(cells_[k]);
      cells_[k] = std::uint64_t(cell_of(max_[k], k)) + 1;
      cell_count_[k] = double(cells_[k]);
    }
    return true;
  }

  // The cells of [lo, hi] clipped to the grid; false when none is left.
  bool cell_range(const double* lo, const double* hi, std::uint64_t* first,
                  std::uint64_t* last) const {
    for (unsigned k = 0; k < D; ++k) {
      const std::int64_t a = std::max<std::int64_t>(cell_of(lo[k], k), 0);
      const std::int64_t b = std::min<std::int64_t>(cell_of(hi[k], k), cells_[k] - 1);
      if (a > b) return false;
      first[k] = std::uint64_t(a);
      last[k] = std::uint64_t(b);
    }
    return true;
  }

  std::uint64_t cell_number(const double* p) const {
    std::uint64_t c[3] = {0, 0, 0};
    for (unsigned k = 0; k < D; ++k) c[k] = std::uint64_t(cell_of(p[k], k));
    return c[0] + cells_[0] * (c[1] + cells_[1] * c[2]);
  }

  std::size_t home(std::uint64_t key) const {
    return static_cast<std::size_t>((key * kMix) >> 32) & mask_;
  }

  const slot* find(std::uint64_t cell) const {
    for (std::size_t i = home(cell + 1);; i = (i + 1) & mask_) {
      const slot& s = slots_[i];
      if (s.key == cell + 1) return &s;
      if (s.key == 0) return nullptr;
    }
  }

  slot& find_or_add(std::uint64_t cell) {
    std::size_t i = home(cell + 1);
    while (slots_[i].key != 0 && slots_[i].key != cell + 1) i = (i + 1) & mask_;
    slots_[i].key = cell + 1;
    return slots_[i];
  }

  // find_or_add and a count for threads that add at once: a free slot is
  // claimed by compare-and-swap, so a cell lands in one slot whoever adds
  // it first. Which slot that is may differ from run to run; no answer
  // depends on it (searches visit cells by number and a cell's members in
  // rank order, and the merge sorts what is tied).
  std::uint32_t count_shared(std::uint64_t cell) {
    const std::uint64_t key = cell + 1;
    for (std::size_t i = home(key);; i = (i + 1) & mask_) {
      std::uint64_t seen = __atomic_load_n(&slots_[i].key, __ATOMIC_RELAXED);
      if (seen == 0 && __atomic_compare_exchange_n(&slots_[i].key, &seen, key, false,
                                                   __ATOMIC_RELAXED, __ATOMIC_RELAXED))
        seen = key;
      if (seen == key) {
        __atomic_fetch_add(&slots_[i].count, 1U, __ATOMIC_RELAXED);
        return static_cast<std::uint32_t>(i);
      }
    }
  }

  // The cell of every target (kNoCell: not finite), on `threads` threads.
  static constexpr std::uint64_t kNoCell = ~std::uint64_t(0);
  bool target_cells(const dense2D<double>& coords, const unsigned* targets, std::size_t n,
                    unsigned threads, dense1D<std::uint64_t>& cells) const {
    if (!cells.resize(n)) return false;
    parallel_ranges(threads, n, [&](std::size_t first, std::size_t last) {
      for (std::size_t i = first; i < last; ++i) {
        const double* p = coords.column(targets[i]);
        cells[i] = is_finite_point<D>(p) ? cell_number(p) : kNoCell;
      }
    });
    return true;
  }

  // Copies target i's rank and coordinates to the next place of its cell's
  // range.
  void place(const dense2D<double>& coords, const unsigned* targets, std::size_t i,
             std::uint32_t slot_index) {
    slot& s = slots_[slot_index];
    const std::uint32_t m = s.start + s.count++;
    members_[m] = static_cast<unsigned>(i);
    std::copy_n(coords.column(targets[i]), D, &points_[D * m]);
  }

  // Counts the targets per cell, lays the cells out one after the other and
  // copies each finite target's rank and coordinates to its cell's range, in
  // rank order. With threads, the cells are found first, counted into the
  // table by all threads at once (count_shared: a cell's slot may differ,
  // its members do not) and the targets placed by ranges of slots, each
  // range in rank order.
  bool fill(const dense2D<double>& coords, const unsigned* targets, std::size_t n,
            unsigned threads) {
    std::size_t size = 2;
    while (size < 2 * finite_) size *= 2;
    dense1D<std::uint32_t> slot_of;
    dense1D<std::uint64_t> cells;
    if (!slots_.resize(size, slot{0, 0, 0}) || !slot_of.resize(n, 0) || !members_.resize(finite_) ||
        !points_.resize(D * finite_) ||
        (threads > 1 && !target_cells(coords, targets, n, threads, cells)))
      return false;
    mask_ = size - 1;
    if (threads > 1) {
      // The table written first, so that no page of it is first mapped for
      // a read (see point_table::reset).
      parallel_ranges(threads, size, [&](std::size_t first, std::size_t last) {
        std::fill(slots_.data() + first, slots_.data() + last, slot{0, 0, 0});
      });
      parallel_ranges(threads, n, [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i)
          if (cells[i] != kNoCell) slot_of[i] = count_shared(cells[i]);
      });
    } else {
      for (std::size_t i = 0; i < n; ++i) {
        if (!is_finite_point<D>(coords.column(targets[i]))) continue;
        slot& s = find_or_add(cell_number(coords.column(targets[i])));
        ++s.count;
        slot_of[i] = static_cast<std::uint32_t>(&s - slots_.data());
      }
    }
    double pairs = 0;
    std::uint32_t next = 0;
    for (slot& s : slots_) {
      pairs += double(s.count) * s.count;
      s.start = next;
      next += s.count;
      s.count = 0;
    }
    if (pairs > kMaxPairsPerTarget * double(finite_)) return false;
    if (threads <= 1) {
      for (std::size_t i = 0; i < n; ++i)
        if (is_finite_point<D>(coords.column(targets[i]))) place(coords, targets, i, slot_of[i]);
      return true;
    }
    parallel_ranges(threads, size, [&](std::size_t first, std::size_t last) {
      for (std::size_t i = 0; i < n; ++i)
        if (cells[i] != kNoCell && slot_of[i] >= first && slot_of[i] < last)
          place(coords, targets, i, slot_of[i]);
    });
    return true;
  }

  double tol_ = 0, tol2_ = 0, inv_h_ = 0;
  double min_[D], max_[D];
  std::uint64_t cells_[3] = {1, 1, 1};
  double cell_count_[3] = {1, 1, 1};  // cells_ as doubles
  std::size_t finite_ = 0, mask_ = 0;
  dense1D<slot> slots_;
  dense1D<unsigned> members_;
  dense1D<double> points_;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
