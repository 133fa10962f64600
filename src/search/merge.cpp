// Merging of nodes within a tolerance: the two-list engine over the k-d
// tree, the element-restricted passes of modes 1 and 2, and the ten
// overloads built on them.
#include <algorithm>
#include <cstddef>
#include <new>
#include <vector>

#include "common/mixed.h"
#include "common/parallel.h"
#include "quernfold/search.h"
#include "search/cell_grid.h"
#include "search/coincident.h"
#include "search/kd_tree.h"

namespace ovk {
namespace quernfold {
namespace {

using detail::cell_grid;
using detail::grid_answer;
using detail::inside_box;
using detail::kd_entry;
using detail::kd_tree;
using detail::pending_box;
using detail::squared_distance;
using detail::tolerance_box;
using detail::traversal_stack;

constexpr int kBadRows = -1;
constexpr int kBadIndex = -2;
// Codes of the two-list engine.
constexpr int kBadTargets = -3;
constexpr int kBadListTolerance = -4;
// Codes of the range engine.
constexpr int kReversedRange = -3;
constexpr int kBadRangeTolerance = -5;
constexpr int kBadMode = -6;
constexpr unsigned kLastMode = 2;

bool is_2d_or_3d(const dense2D<double>& coords) { return coords.rows() == 2 || coords.rows() == 3; }

// Overloads that take one argument fewer than the engine they call keep
// naming their own arguments: every engine code past -2 moves up by one
// (and -199 becomes -198).
int raise_past_second(int code) { return code < kBadIndex ? code + 1 : code; }

bool set_identity(dense1D<unsigned>& map, std::size_t n) {
  map.clear();
  if (!map.resize(n)) return false;
  unsigned* entry = map.data();
  for (std::size_t i = 0; i < n; ++i) entry[i] = static_cast<unsigned>(i);
  return true;
}

// Points every node of `nodes` at the end of its chain in new_IDs. Chains
// always end: a node only ever maps to a node of lower rank.
void resolve_chains_serial(dense1D<unsigned>& new_IDs, const dense1D<unsigned>& nodes) {
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    unsigned root = nodes[i];
    while (new_IDs[root] != root) root = new_IDs[root];
    for (unsigned v = nodes[i]; new_IDs[v] != root;) {
      const unsigned next = new_IDs[v];
      new_IDs[v] = root;
      v = next;
    }
  }
}

// The same on `threads` threads: every chain's end found first (new_IDs
// only read), then written. Chains run through nodes of `nodes` only, so
// every node ends as the serial walk leaves it. Without memory for the ends
// the walk stays serial.
void resolve_chains(dense1D<unsigned>& new_IDs, const dense1D<unsigned>& nodes, unsigned threads) {
  dense1D<unsigned> ends;
  if (threads <= 1 || !ends.resize(nodes.size())) return resolve_chains_serial(new_IDs, nodes);
  detail::parallel_ranges(threads, nodes.size(), [&](std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
      unsigned root = nodes[i];
      while (new_IDs[root] != root) root = new_IDs[root];
      ends[i] = root;
    }
  });
  detail::parallel_ranges(threads, nodes.size(), [&](std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) new_IDs[nodes[i]] = ends[i];
  });
}

// change_indices on every matrix, each cut into column ranges on `threads`
// threads.
void renumber(dense2D<unsigned>* begin, dense2D<unsigned>* end, const dense1D<unsigned>& new_IDs,
              unsigned threads) {
  for (dense2D<unsigned>* M = begin; M != end; ++M) {
    if (threads <= 1) {
      change_indices(*M, new_IDs);
      continue;
    }
    const std::size_t rows = M->rows(), known = new_IDs.size();
    detail::parallel_ranges(threads, M->cols(), [&](std::size_t first, std::size_t last) {
      for (std::size_t j = first; j < last; ++j) {
        unsigned* column = M->column(j);
        for (std::size_t r = 0; r < rows; ++r)
          if (column[r] < known) column[r] = new_IDs[column[r]];
      }
    });
  }
}

// ---------------------------------------------------------------------------
// Two-list engine
// ---------------------------------------------------------------------------

// For each query i < count, the node a = node_of(i) of rank rank_of(i): the
// closest tree node of lower rank within tol (the tree's ranks are
// positions in the list it was built from); among equally close ones the
// last met by the box search. Writes new_IDs[a] for each a that merges and
// returns how many did. Each node is a candidate once, so writing its pair
// at once is the same as collecting and sorting the pairs first.
template <unsigned D, class NodeOf, class RankOf>
int merge_candidates_in(const dense2D<double>& coords, const kd_tree<D>& tree, std::size_t first,
                        std::size_t last, NodeOf node_of, RankOf rank_of, double tol,
                        dense1D<unsigned>& new_IDs) {
  const double tol2 = tol * tol;
  traversal_stack<pending_box> stack;
  int merged = 0;
  for (std::size_t i = first; i < last; ++i) {
    const unsigned a = node_of(i);
    const unsigned rank_a = rank_of(i);
    const double* P = coords.column(a);
    double lo[D], hi[D];
    tolerance_box<D>(P, tol, lo, hi);
    unsigned best = a;
    double best_d2 = tol2;
    const kd_entry<D>* e = tree.entries();
    tree.visit_box(lo, hi, stack, [&](unsigned pos) {
      const unsigned b = tree.node(pos);
      if (b == a || tree.rank(pos) >= rank_a) return;
      const double d2 = squared_distance<D>(P, e[pos].x);
      // Written as "not <=" so that a NaN distance (a node at infinity
      // against another one) never wins.
      if (!(d2 <= best_d2)) return;
      best = b;
      best_d2 = d2;
    });
    if (best != a) {
      new_IDs[a] = best;
      ++merged;
    }
  }
  return merged;
}

// The queries i < count, in ranges on `threads` threads: each query's
// answer stands alone and writes its own node's entry.
template <unsigned D, class NodeOf, class RankOf>
int merge_candidates(const dense2D<double>& coords, const kd_tree<D>& tree, std::size_t count,
                     NodeOf node_of, RankOf rank_of, double tol, dense1D<unsigned>& new_IDs,
                     unsigned threads) {
  std::vector<int> merged(detail::range_parts(threads, count), 0);
  detail::parallel_parts(
      threads, count, [&](std::size_t part, std::size_t first, std::size_t last) {
        try {
          merged[part] =
              merge_candidates_in<D>(coords, tree, first, last, node_of, rank_of, tol, new_IDs);
        } catch (const std::bad_alloc&) {  // a deep tree's stack, on a thread of its own
          merged[part] = no_memory;
        }
      });
  int total = 0;
  for (int m : merged) {
    if (m < 0) return no_memory;
    total += m;
  }
  return total;
}

// The same over a grid of the targets (targets[r] is the target of rank
// r): the queries whose answer does not hang on the tree's order are settled
// here, the positions i of the others go to `tied`, and `zero_tie` tells
// whether some of them tie at distance 0.
// When the queries are the grid's own targets in rank order (query i is
// target i), they are asked cell after cell; each answer stands alone, so
// the order changes nothing but where the data is. One share of the queries:
// the table slots [first, last) of the grid's cells, or the queries [first,
// last).
struct grid_share {
  int merged = 0;
  bool fits = true, zero_tie = false;
  dense1D<unsigned> tied;
};

template <unsigned D, class NodeOf, class RankOf>
void merge_grid_share(const dense2D<double>& coords, const cell_grid<D>& grid,
                      const unsigned* targets, std::size_t first, std::size_t last, NodeOf node_of,
                      RankOf rank_of, bool queries_are_targets, dense1D<unsigned>& new_IDs,
                      grid_share& share) {
  auto take = [&](std::size_t i, grid_answer answer, unsigned best) {
    if (answer == grid_answer::merges) {
      new_IDs[node_of(i)] = targets[best];
      ++share.merged;
    } else if (answer != grid_answer::stays) {
      share.zero_tie = share.zero_tie || answer == grid_answer::tied_at_zero;
      share.fits = share.tied.push_back(static_cast<unsigned>(i)) && share.fits;
    }
  };
  if (queries_are_targets) return grid.for_each_target(first, last, take);
  for (std::size_t i = first; i < last; ++i) {
    unsigned best = 0;
    const grid_answer answer = grid.closest_lower(coords.column(node_of(i)), rank_of(i), best);
    take(i, answer, best);
  }
}

// Every query, in shares on `threads` threads, the shares' tied positions
// joined in ascending order. Returns the number merged, or no_memory.
template <unsigned D, class NodeOf, class RankOf>
int merge_by_grid(const dense2D<double>& coords, const cell_grid<D>& grid, const unsigned* targets,
                  std::size_t count, NodeOf node_of, RankOf rank_of, bool queries_are_targets,
                  dense1D<unsigned>& new_IDs, dense1D<unsigned>& tied, bool& zero_tie,
                  unsigned threads) {
  const std::size_t n = queries_are_targets ? grid.cell_slots() : count;
  std::vector<grid_share> shares(detail::range_parts(threads, n));
  detail::parallel_parts(threads, n, [&](std::size_t part, std::size_t first, std::size_t last) {
    merge_grid_share<D>(coords, grid, targets, first, last, node_of, rank_of, queries_are_targets,
                        new_IDs, shares[part]);
  });
  int merged = 0;
  bool fits = true;
  tied.clear();
  zero_tie = false;
  for (grid_share& share : shares) {
    merged += share.merged;
    zero_tie = zero_tie || share.zero_tie;
    fits = fits && share.fits;
    if (shares.size() == 1) tied.swap(share.tied);
    for (std::size_t k = 0; fits && k < share.tied.size(); ++k)
      fits = tied.push_back(share.tied[k]);
  }
  if (queries_are_targets) std::sort(tied.begin(), tied.end());
  return fits ? merged : no_memory;
}

// Returned by merge_queries when a tie at distance 0 asks for the search
// over every node.
constexpr int kZeroTie = -1;

// The queries i < count (node node_of(i)) merged as the box search of the
// tree over `tree_nodes` decides, a query's rank there being
// tree_rank(i). The grid may stand in for that tree: it is built over
// `grid_nodes`, where the query's rank is grid_rank(i), and it must give the
// same answer as the tree whenever its own closest candidate is unique
// (the caller sees to it, and asks with `stop_at_zero_tie` for kZeroTie
// when it can only for ties at a positive distance). The tree is built only
// for the queries the grid cannot settle, or for all of them when the grid
// cannot serve. `queries_are_targets` says that query i is grid_nodes[i]
// (of grid rank i). Writes new_IDs[a] of each node a that merges; returns
// how many did, kZeroTie or no_memory.
template <unsigned D, class NodeOf, class GridRank, class TreeRank>
int merge_queries(const dense2D<double>& coords, const dense1D<unsigned>& grid_nodes,
                  const dense1D<unsigned>& tree_nodes, std::size_t count, NodeOf node_of,
                  GridRank grid_rank, TreeRank tree_rank, bool queries_are_targets, double tol,
                  bool stop_at_zero_tie, dense1D<unsigned>& new_IDs, unsigned threads) {
  cell_grid<D> grid;
  dense1D<unsigned> tied;
  bool zero_tie = false;
  const bool gridded = grid.build(coords, grid_nodes.data(), grid_nodes.size(), tol, threads);
  const int merged =
      gridded ? merge_by_grid<D>(coords, grid, grid_nodes.data(), count, node_of, grid_rank,
                                 queries_are_targets, new_IDs, tied, zero_tie, threads)
              : 0;
  if (merged < 0 || (gridded && tied.empty())) return merged;
  if (zero_tie && stop_at_zero_tie) return kZeroTie;
  kd_tree<D> tree(coords);
  if (!tree.build(tree_nodes.data(), tree_nodes.size())) return no_memory;
  if (!gridded)
    return merge_candidates<D>(coords, tree, count, node_of, tree_rank, tol, new_IDs, threads);
  const int settled = merge_candidates<D>(
      coords, tree, tied.size(), [&](std::size_t j) { return node_of(tied[j]); },
      [&](std::size_t j) { return tree_rank(tied[j]); }, tol, new_IDs, threads);
  return settled < 0 ? settled : merged + settled;
}

// Merges each node of U1 into the closest node of U2 of lower rank (its
// position in U2) within tol. Both lists hold distinct valid nodes; `same`
// says that U2 is U1, so that a's rank is its own position. new_IDs becomes
// the resolved map. Returns the number merged or no_memory (new_IDs empty).
template <unsigned D>
int merge_into_lower_rank(const dense2D<double>& coords, const dense1D<unsigned>& U1,
                          const dense1D<unsigned>& U2, bool same, dense1D<unsigned>& new_IDs,
                          double tol, unsigned threads) {
  dense1D<unsigned> rank;
  if (!set_identity(new_IDs, coords.cols()) || (!same && !rank.resize(coords.cols(), no_index))) {
    new_IDs.clear();
    return no_memory;
  }
  if (!same)
    for (std::size_t i = 0; i < U2.size(); ++i) rank[U2[i]] = static_cast<unsigned>(i);
  auto rank_of = [&](std::size_t i) { return same ? static_cast<unsigned>(i) : rank[U1[i]]; };
  const int merged = merge_queries<D>(
      coords, U2, U2, U1.size(), [&](std::size_t i) { return U1[i]; }, rank_of, rank_of, same, tol,
      false, new_IDs, threads);
  if (merged < 0) {
    new_IDs.clear();
    return merged;
  }
  if (merged >= 2) resolve_chains(new_IDs, U1, threads);
  return merged;
}

// The nodes of U among themselves, ranked by position in U. Nodes with the
// same coordinates as an earlier node of U (its group's leader) merge into
// some lower-ranked node at distance 0, so only leaders are searched and the
// others follow their leader through the chains. A leader's candidates of U
// at the smallest distance belong to the groups of the leaders at that
// distance, which are candidates too (of lower rank than their followers);
// so when the grid over the leaders finds one closest leader, the search
// over all of U lands in its group, and when it finds several at a positive
// distance, the tree over all of U decides that leader alone. Distance 0
// is not transitive (squares underflow), and a follower's other candidates
// at distance 0 reach the same root as its leader only while no leader ties
// at distance 0: a tie there sends every node through the search.
template <unsigned D>
int merge_same_list(const dense2D<double>& coords, const dense1D<unsigned>& U,
                    dense1D<unsigned>& new_IDs, double tol, unsigned threads) {
  dense1D<unsigned> leader, leaders, position;
  const long followers = detail::find_coincident(coords, D, U, leader, threads);
  if (followers < 0) return no_memory;
  // With tol 0 the box of a leader holds only nodes of its very coordinates:
  // its own followers, which come after it, and, for a point with an
  // infinite coordinate, nodes at a NaN distance. So no leader merges,
  // every follower goes to its leader, and the chains are resolved already
  // (without followers, nothing merges: no search is needed).
  if (tol == 0) {
    if (!set_identity(new_IDs, coords.cols())) return no_memory;
    for (std::size_t i = 0; i < U.size(); ++i) new_IDs[U[i]] = U[leader[i]];
    return static_cast<int>(followers);
  }
  if (followers == 0) return merge_into_lower_rank<D>(coords, U, U, true, new_IDs, tol, threads);

  if (!leaders.resize(U.size() - followers) || !position.resize(U.size() - followers) ||
      !set_identity(new_IDs, coords.cols())) {
    new_IDs.clear();
    return no_memory;
  }
  for (std::size_t i = 0, k = 0; i < U.size(); ++i)
    if (leader[i] == i) {
      leaders[k] = U[i];
      position[k++] = static_cast<unsigned>(i);
    }
  int merged = merge_queries<D>(
      coords, leaders, U, leaders.size(), [&](std::size_t i) { return leaders[i]; },
      [](std::size_t i) { return static_cast<unsigned>(i); },
      [&](std::size_t i) { return position[i]; }, true, tol, true, new_IDs, threads);
  if (merged == kZeroTie)
    return merge_into_lower_rank<D>(coords, U, U, true, new_IDs, tol, threads);
  if (merged < 0) {
    new_IDs.clear();
    return merged;
  }
  for (std::size_t i = 0; i < U.size(); ++i)
    if (leader[i] != i) new_IDs[U[i]] = U[leader[i]];
  merged += static_cast<int>(followers);
  if (merged >= 2) resolve_chains(new_IDs, U, threads);
  return merged;
}

// Dispatch on the dimension; U2 == nullptr means U2 is U1. On no_memory
// new_IDs is left empty, whatever it held before.
int merge_lists(const dense2D<double>& coords, const dense1D<unsigned>& U1,
                const dense1D<unsigned>* U2, dense1D<unsigned>& new_IDs, double tol,
                unsigned threads = 1) {
  int merged;
  if (coords.rows() == 2)
    merged = U2 ? merge_into_lower_rank<2>(coords, U1, *U2, false, new_IDs, tol, threads)
                : merge_same_list<2>(coords, U1, new_IDs, tol, threads);
  else
    merged = U2 ? merge_into_lower_rank<3>(coords, U1, *U2, false, new_IDs, tol, threads)
                : merge_same_list<3>(coords, U1, new_IDs, tol, threads);
  if (merged < 0) new_IDs.clear();
  return merged;
}

int merge_two_lists(const dense2D<double>& coords, const dense1D<unsigned>& nodes1,
                    const dense1D<unsigned>& nodes2, dense1D<unsigned>& new_IDs, double tol,
                    unsigned threads = 1) {
  new_IDs.clear();
  if (coords.cols() == 0) return 0;
  if (!is_2d_or_3d(coords)) return kBadRows;
  const unsigned n = static_cast<unsigned>(coords.cols());
  if (!check_IDs(nodes1, n)) return kBadIndex;
  if (!check_IDs(nodes2, n)) return kBadTargets;
  if (!(tol >= 0)) return kBadListTolerance;
  if (nodes1.empty() || nodes2.empty()) return 0;

  const dense1D<unsigned> none;
  dense1D<unsigned> U1, U2;
  const bool same = nodes2 == nodes1;
  if (unique_indices(U1, nodes1, none) < 0 || (!same && unique_indices(U2, nodes2, none) < 0))
    return no_memory;
  return merge_lists(coords, U1, same ? nullptr : &U2, new_IDs, tol, threads);
}

// ---------------------------------------------------------------------------
// Modes 1 and 2: merging inside elements only
// ---------------------------------------------------------------------------

struct close_pair {
  double d2;
  unsigned a, b;
};

bool operator<(const close_pair& p, const close_pair& q) {
  if (p.d2 != q.d2) return p.d2 < q.d2;
  if (p.a != q.a) return p.a < q.a;
  return p.b < q.b;
}

// True when v stands in col[0 .. s).
bool appears_before(const unsigned* col, std::size_t s, unsigned v) {
  return std::find(col, col + s, v) != col + s;
}

// Records (d2, a, b) for every entry a of every column and every other node
// b of the same column inside the tolerance box of a and within tol. A box
// search of the tree over the used nodes would meet exactly these b (every
// node of a column is in the tree, once), so the column is scanned directly.
template <unsigned D>
bool collect_element_pairs(const dense2D<double>& coords, const dense2D<unsigned>* begin,
                           const dense2D<unsigned>* end, double tol, dense1D<close_pair>& pairs) {
  const double tol2 = tol * tol;
  pairs.clear();
  for (const dense2D<unsigned>* M = begin; M != end; ++M) {
    const std::size_t rows = M->rows();
    for (std::size_t j = 0; j < M->cols(); ++j) {
      const unsigned* col = M->column(j);
      for (std::size_t r = 0; r < rows; ++r) {
        const unsigned a = col[r];
        if (a == no_index) continue;
        const double* P = coords.column(a);
        double lo[D], hi[D];
        tolerance_box<D>(P, tol, lo, hi);
        for (std::size_t s = 0; s < rows; ++s) {
          const unsigned b = col[s];
          if (b == no_index || b == a || appears_before(col, s, b)) continue;
          const double* q = coords.column(b);
          if (!inside_box<D>(q, lo, hi)) continue;
          const double d2 = squared_distance<D>(P, q);
          if (d2 <= tol2 && !pairs.push_back({d2, a, b})) return false;
        }
      }
    }
  }
  return true;
}

// One pass: the closest pairs first, each node merged or merged into at most
// once. Returns the number merged, or no_memory.
int merge_pairs_once(std::size_t nodes, dense1D<close_pair>& pairs, dense1D<unsigned>& mark,
                     dense1D<unsigned>& new_IDs) {
  std::sort(pairs.begin(), pairs.end());
  if (!set_identity(mark, nodes)) return no_memory;
  int merged = 0;
  for (const close_pair& p : pairs) {
    if (mark[p.a] != p.a || mark[p.b] != p.b) continue;
    new_IDs[p.b] = p.a;
    mark[p.b] = p.a;
    ++merged;
  }
  return merged;
}

// new_IDs is the identity on entry. Renumbers the matrices after every pass
// that merged something; `repeat` runs passes until one merges nothing.
template <unsigned D>
int merge_within_elements(const dense2D<double>& coords, dense2D<unsigned>* begin,
                          dense2D<unsigned>* end, const dense1D<unsigned>& U,
                          dense1D<unsigned>& new_IDs, double tol, bool repeat) {
  dense1D<close_pair> pairs;
  dense1D<unsigned> mark;
  int total = 0;
  do {
    if (!collect_element_pairs<D>(coords, begin, end, tol, pairs)) {
      new_IDs.clear();
      return no_memory;
    }
    if (pairs.empty()) break;
    const int merged = merge_pairs_once(coords.cols(), pairs, mark, new_IDs);
    if (merged < 0) {
      new_IDs.clear();
      return merged;
    }
    if (merged == 0) break;
    resolve_chains_serial(new_IDs, U);
    renumber(begin, end, new_IDs, 1);
    total += merged;
  } while (repeat);
  return total;
}

int merge_range(const dense2D<double>& coords, dense2D<unsigned>* begin, dense2D<unsigned>* end,
                dense1D<unsigned>& new_IDs, double tol, unsigned mode, unsigned threads = 1) {
  new_IDs.clear();
  if (coords.cols() == 0 || begin == end) return 0;
  if (!is_2d_or_3d(coords)) return kBadRows;
  if (end < begin) return kReversedRange;
  if (!(tol >= 0)) return kBadRangeTolerance;
  if (mode > kLastMode) return kBadMode;
  // The map's storage is taken here; it becomes the identity where it is
  // returned as such, and the merge of mode 0 rebuilds it in place.
  if (!new_IDs.reserve(coords.cols())) return no_memory;

  dense1D<unsigned> U;
  if (unique_indices(U, begin, end, dense1D<unsigned>()) < 0) {
    new_IDs.clear();
    return no_memory;
  }
  if (U.empty()) return set_identity(new_IDs, coords.cols()) ? 0 : no_memory;
  if (!check_IDs(U, static_cast<unsigned>(coords.cols()))) {
    new_IDs.clear();
    return kBadIndex;
  }

  if (mode != 0) {
    set_identity(new_IDs, coords.cols());
    const bool repeat = mode == kLastMode;
    return coords.rows() == 2
               ? merge_within_elements<2>(coords, begin, end, U, new_IDs, tol, repeat)
               : merge_within_elements<3>(coords, begin, end, U, new_IDs, tol, repeat);
  }
  const int merged = merge_lists(coords, U, nullptr, new_IDs, tol, threads);
  if (merged > 0) renumber(begin, end, new_IDs, threads);
  return merged;
}

}  // namespace

int merge(const dense2D<double>& coords, const dense1D<unsigned>& nodes1,
          const dense1D<unsigned>& nodes2, dense1D<unsigned>& new_IDs, double tol) {
  return merge_two_lists(coords, nodes1, nodes2, new_IDs, tol);
}

// The threaded forms: working lists of the threads that cannot be had give
// the engine's memory code, new_IDs then empty (mode 0 renumbers the
// matrices only once the map is whole, so they are unchanged).
int merge(const dense2D<double>& coords, const dense1D<unsigned>& nodes1,
          const dense1D<unsigned>& nodes2, dense1D<unsigned>& new_IDs, double tol,
          unsigned threads) try {
  return merge_two_lists(coords, nodes1, nodes2, new_IDs, tol, detail::thread_count(threads));
} catch (const std::bad_alloc&) {
  new_IDs.clear();
  return no_memory;
}

int merge(const dense2D<double>& coords, dense2D<unsigned>* begin, dense2D<unsigned>* end,
          dense1D<unsigned>& new_IDs, double tol, unsigned mode, unsigned threads) try {
  return merge_range(coords, begin, end, new_IDs, tol, mode, detail::thread_count(threads));
} catch (const std::bad_alloc&) {
  new_IDs.clear();
  return no_memory;
}

int merge(const dense2D<double>& coords, const dense1D<unsigned>& nodes, dense1D<unsigned>& new_IDs,
          double tol) {
  return raise_past_second(merge_two_lists(coords, nodes, nodes, new_IDs, tol));
}

int merge(const dense2D<double>& coords, dense2D<unsigned>* begin, dense2D<unsigned>* end,
          dense1D<unsigned>& new_IDs, double tol, unsigned mode) {
  return merge_range(coords, begin, end, new_IDs, tol, mode);
}

int merge(const dense2D<double>& coords, dense2D<unsigned>* begin, dense2D<unsigned>* end,
          double tol, unsigned mode) {
  dense1D<unsigned> new_IDs;
  return merge_range(coords, begin, end, new_IDs, tol, mode);
}

int merge(const dense2D<double>& coords, dense2D<unsigned>& connectM, dense1D<unsigned>& new_IDs,
          double tol, unsigned mode) {
  return raise_past_second(merge_range(coords, &connectM, &connectM + 1, new_IDs, tol, mode));
}

int merge(const dense2D<double>& coords, dense2D<unsigned>& connectM, double tol, unsigned mode) {
  dense1D<unsigned> new_IDs;
  return merge(coords, connectM, new_IDs, tol, mode);
}

int merge(const dense2D<double>& coords, dense2D<unsigned>& connectM1, dense2D<unsigned>& connectM2,
          dense1D<unsigned>& new_IDs, double tol, unsigned mode) {
  // Views sharing the callers' storage, so renumbering writes through.
  dense2D<unsigned> both[2] = {connectM1, connectM2};
  return merge_range(coords, both, both + 2, new_IDs, tol, mode);
}

int merge(const dense2D<double>& coords, dense2D<unsigned>& connectM1, dense2D<unsigned>& connectM2,
          double tol, unsigned mode) {
  dense1D<unsigned> new_IDs;
  return merge(coords, connectM1, connectM2, new_IDs, tol, mode);
}

int merge(dense2D<double>& coords, dense1D<unsigned>& new_IDs, double tol) {
  new_IDs.clear();
  if (coords.cols() == 0) return 0;
  if (!is_2d_or_3d(coords)) return kBadRows;
  if (!(tol >= 0)) return raise_past_second(kBadListTolerance);

  // The nodes 0 .. n - 1 are their own distinct list, ranked by index.
  dense1D<unsigned> all;
  if (!set_identity(all, coords.cols())) return raise_past_second(no_memory);
  const int merged = merge_lists(coords, all, nullptr, new_IDs, tol);
  if (merged <= 0) return raise_past_second(merged);

  // The map is resolved, so a representative keeps its own coordinates and
  // every copy below reads an unchanged column.
  const std::size_t rows = coords.rows();
  for (std::size_t i = 0; i < coords.cols(); ++i)
    if (new_IDs[i] != i) std::copy_n(coords.column(new_IDs[i]), rows, coords.column(i));
  return merged;
}

int merge(dense2D<double>& coords, double tol) {
  dense1D<unsigned> new_IDs;
  return merge(coords, new_IDs, tol);
}

}  // namespace quernfold
}  // namespace ovk
