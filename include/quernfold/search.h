// Node search and merging: node_detector (k-d tree), merge, removal of
// degenerate elements and unused nodes.
//
// Coordinates matrices are d x nodes (d = 2 or 3 rows, one column per node);
// connectivity matrices are rows x elements (one column per element). A
// renumbering map runs from old to new: map[old] = new, ~0U for a node or
// element that is dropped. Tolerances are plain distances in coordinates
// units (a pair of nodes is within tol when its squared distance is <= tol^2).
#pragma once

#include <cstddef>
#include <memory>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {

namespace detail {
class node_index;
class point_tree;
}  // namespace detail

// ---------------------------------------------------------------------------
// node_detector: a k-d tree over nodes of a caller's coordinates matrix
// ---------------------------------------------------------------------------
//
// The detector keeps a pointer to the coordinates matrix it was initialized
// with (it does not own it). The caller keeps that matrix object alive for
// the life of the tree and never moves the indexed nodes; it may append
// columns and insert() them later. Each entry of the tree keeps a copy of its
// node's coordinates, taken when the entry is created, so that queries walk
// one compact table; the number of columns is always read from the caller's
// matrix. One entry per indexed node (a node listed twice gets two entries).
//
// Structure: a 2-D tree when initialized on a 2-row matrix, a 3-D tree for a
// 3-row one, none otherwise. The entry at level L splits on axis L mod d.
// Balanced construction (reinit): the median of a range of n nodes is the
// node at position floor(n/2) in the order "smaller coordinate on the axis,
// equal coordinates by smaller node index"; the nodes before it form the left
// subtree and those after it the right subtree. Entries are created in
// pre-order, the root first.
//
// Queries that mix dimensions: a 2-D query on a 3-D tree uses z = 0 (box z
// range [0, 0]); a 3-D query on a 2-D tree uses x and y only.
//
// Value semantics: copies duplicate the tree (the copy refers to the same
// coordinates matrix). Copy construction and copy assignment throw
// std::bad_alloc when the copy cannot be allocated (assignment then leaves
// the target unchanged). Const members may run from several threads at once
// while nobody modifies the detector or the coordinates.
class node_detector {
 public:
  node_detector() noexcept;
  // Empty detector followed by the reinit of the same arguments (its result
  // code is dropped; a failed reinit leaves the detector empty).
  explicit node_detector(const dense2D<double>& coords);
  node_detector(const dense2D<double>& coords, const dense1D<unsigned>& nodes);
  node_detector(const dense2D<double>& coords, const dense2D<unsigned>& connectM);
  node_detector(const dense2D<double>& coords, const dense2D<unsigned>* begin,
                const dense2D<unsigned>* end);

  node_detector(const node_detector& other);
  node_detector(node_detector&& other) noexcept;
  node_detector& operator=(const node_detector& other);
  node_detector& operator=(node_detector&& other) noexcept;
  ~node_detector();

  // Destroys the tree; the detector becomes empty.
  void clear() noexcept;

  // Clear, then build a balanced tree over the nodes 0 .. cols - 1.
  // Returns the number of entries, -1 (detector unchanged) when coords has
  // neither 2 nor 3 rows, -199 when the node list cannot be allocated
  // (detector unchanged) or when the tree table cannot be sized (detector
  // left empty).
  int reinit(const dense2D<double>& coords);
  // The same over the listed nodes, in list order; entries that are ~0U or
  // not below coords.cols() are left out, a node listed twice gets two
  // entries.
  int reinit(const dense2D<double>& coords, const dense1D<unsigned>& nodes);
  // The same over the distinct nodes of connectM (order of first appearance,
  // column by column); indices not below coords.cols() are left out.
  int reinit(const dense2D<double>& coords, const dense2D<unsigned>& connectM);
  // The same over the distinct nodes of the matrices [begin, end); -3
  // (detector unchanged) when end lies before begin.
  int reinit(const dense2D<double>& coords, const dense2D<unsigned>* begin,
             const dense2D<unsigned>* end);

  // Adds nodes one by one to the existing tree and returns how many were
  // added. The list is first shuffled (MT19937 seeded with 1 at every call:
  // for i = 1 .. n - 1, j = next() mod (i + 1), swap i and j). A node not
  // below coords.cols() is skipped; a node met on its own insertion path is
  // already present and is not counted (its entry is given back and reused by
  // the next insertion, so size() may exceed the number of nodes held by
  // one). The walk goes right when the new node's coordinate on the entry's
  // axis is >= the entry's, left otherwise. Returns 0 without a tree. If
  // memory runs out, insertion stops and the count so far is returned.
  unsigned insert(const dense1D<unsigned>& nodes);
  // insert() of the distinct nodes of connectM.
  unsigned insert(const dense2D<unsigned>& connectM);

  // Index of an indexed node nearest to P (Euclidean distance); ~0U when the
  // tree is missing or empty. Ties: the first node met wins, in the order of
  // the search (first the descent from the root towards P, then a
  // depth-first search from the root, right subtree before left); a node at
  // distance exactly 0 met during the descent ends the search at once.
  unsigned find_closest(const vector_fixed<double, 2>& P) const;
  unsigned find_closest(const vector_fixed<double, 3>& P) const;
  // Nearest indexed node to node k other than k itself (another node at
  // distance 0 qualifies); ~0U when the tree is missing or empty, when k is
  // not below coords.cols(), or when the coordinates matrix no longer has the
  // tree's number of rows.
  unsigned find_closest(unsigned k) const;

  // Appends to `nodes` (never cleared) the indexed nodes inside the closed
  // box [min, max], in depth-first order from the root, right subtree before
  // left. Output unchanged without a tree. If `nodes` cannot grow, appending
  // stops.
  void find_in_box(const vector_fixed<double, 2>& min, const vector_fixed<double, 2>& max,
                   dense1D<unsigned>& nodes) const;
  void find_in_box(const vector_fixed<double, 3>& min, const vector_fixed<double, 3>& max,
                   dense1D<unsigned>& nodes) const;

  // Number of entries of the tree (given-back entries included); 0 without
  // a tree.
  unsigned size() const noexcept;

 private:
  int build(const dense2D<double>& coords, const dense1D<unsigned>& nodes);

  // The 2-D or 3-D tree; none while the detector is empty.
  std::unique_ptr<detail::node_index> index_;
};

// ---------------------------------------------------------------------------
// point_index: k nearest points and points within a radius, for batches
// ---------------------------------------------------------------------------
//
// A bucketed k-d tree over a copy of the columns of a d x n coordinates
// matrix (d = 2 or 3; 2-D points have z = 0), so the caller's matrix may
// change or go once reinit returns. Queries are d' x m matrices (d' = 2 or
// 3, one column per query point); a 2-D query has z = 0, a 3-D query on a
// 2-D index uses x and y only. Distances are Euclidean in coordinate units,
// compared through squared distances summed (dx^2 + dy^2) + dz^2. A query
// with a NaN coordinate finds nothing. Const members may run from several
// threads at once. Movable, not copyable.
class point_index {
 public:
  point_index() noexcept;
  point_index(point_index&& other) noexcept;
  point_index& operator=(point_index&& other) noexcept;
  point_index(const point_index&) = delete;
  point_index& operator=(const point_index&) = delete;
  ~point_index();

  // Builds over the columns 0 .. cols - 1. Returns the number of points; -1
  // when coords has neither 2 nor 3 rows, -2 when a coordinate is NaN,
  // -199 memory. On a negative code the index is empty.
  int reinit(const dense2D<double>& coords);

  // The k nearest points of each query: indices and distances become k x m
  // (column j for query j), nearest first; equally near points (the same
  // squared distance) by lower index. Past the number of points, and for a
  // query with a NaN coordinate, the slots hold no_index and +inf. Returns
  // 0; -1 when queries has neither 2 nor 3 rows, -2 when k is 0 (outputs
  // unchanged on both), -199 memory (outputs then empty).
  int nearest(const dense2D<double>& queries, unsigned k, dense2D<unsigned>& indices,
              dense2D<double>& distances) const;

  // The points within distance r of each query (squared distance <= r * r),
  // by increasing index: those of query j are indices[offsets[j] ..
  // offsets[j + 1]); offsets has m + 1 entries. Returns 0; -1 bad rows, -2
  // when r is negative or NaN (outputs unchanged on both), -199 memory
  // (outputs then empty).
  int within(const dense2D<double>& queries, double r, dense1D<std::size_t>& offsets,
             dense1D<unsigned>& indices) const;

  // Number of points indexed.
  std::size_t size() const noexcept;

 private:
  std::unique_ptr<detail::point_tree> tree_;
};

// ---------------------------------------------------------------------------
// merge: maps nodes within a tolerance of each other onto one representative
// ---------------------------------------------------------------------------
//
// Results: the number of nodes merged (>= 0), or a negative code. new_IDs
// (old -> new, one entry per column of coords) is resolved: new_IDs[i] = i
// for a node that is not merged, otherwise the representative, which maps to
// itself. No column of coords is ever removed (see simplify).
//
// The forms that take one list or one matrix name one argument fewer than
// the engine they call, so their codes past -2 are one higher: memory that
// cannot be had is merge_no_memory (-198) there.
inline constexpr int merge_no_memory = no_memory + 1;
//
// Rank of a node: its position among the distinct entries of the target
// list (order of first appearance, ~0U dropped). A node merges only into a
// node of lower rank, the closest one within tol; among equally close ones,
// the one met last by the box search of the tree (entry, right subtree,
// left subtree). Chains are then resolved so that every node maps to the end
// of its chain. Squared distances are summed (dy^2 + dx^2) + dz^2; a pair
// whose squared distance is NaN (two nodes at the same infinity) is never
// within tol. So a node with an infinite or NaN coordinate never merges into
// another one; nothing merges into a NaN node, and into a node at infinity
// only when tol is infinite (a finite node is then at squared distance +inf
// from it, which is within tol).
//
// Modes (connectivity overloads): 0 merges any two used nodes; 1 merges only
// nodes standing in a common element, in one pass: every pair (a, b) of
// nodes of one column within tol is listed from both ends (once per column
// and per row holding a), the pairs are taken by (squared distance, a, b)
// ascending, and b merges into a when neither a nor b has been merged away
// in this pass (so of two nodes the higher merges into the lower, and a node
// that took others in may still merge into another node later in the pass;
// chains are resolved at the end of the pass); 2 repeats mode-1 passes until
// one records no pair or merges nothing.
//
// On an argument error new_IDs is left empty and the matrices and coords are
// unchanged. On -199 / -198 (memory) new_IDs is left empty; the matrices are
// unchanged except, in mode 2, by the passes completed before.

// nodes1 (candidates) merged into nodes2 (targets); map only. Codes: -1 coords
// has neither 2 nor 3 rows; -2 / -3 nodes1 / nodes2 holds an entry other
// than ~0U not below coords.cols(); -4 tol negative or NaN; -199 memory.
// Returns 0 with new_IDs empty when coords has no columns (checked first) or
// when a list is empty.
int merge(const dense2D<double>& coords, const dense1D<unsigned>& nodes1,
          const dense1D<unsigned>& nodes2, dense1D<unsigned>& new_IDs, double tol);
// The nodes of one list among themselves. Codes: -1, -2 bad index, -3 bad
// tol, -198 memory.
int merge(const dense2D<double>& coords, const dense1D<unsigned>& nodes, dense1D<unsigned>& new_IDs,
          double tol);

// The nodes used by the matrices [begin, end); every matrix is renumbered in
// place through new_IDs. Checks, in order: coords without columns or begin =
// end -> 0 (new_IDs empty); -1 rows; -3 end before begin; -5 tol negative or
// NaN; -6 mode above 2; -2 an entry other than ~0U not below coords.cols();
// -199 memory. When the matrices hold only ~0U, returns 0 with new_IDs the
// identity.
int merge(const dense2D<double>& coords, dense2D<unsigned>* begin, dense2D<unsigned>* end,
          dense1D<unsigned>& new_IDs, double tol, unsigned mode);
// The same without the map; same codes (-5 bad tol, -6 bad mode, -199).
int merge(const dense2D<double>& coords, dense2D<unsigned>* begin, dense2D<unsigned>* end,
          double tol, unsigned mode);
// One matrix. Codes: -1, -2 bad index, -4 bad tol, -5 bad mode, -198 memory.
int merge(const dense2D<double>& coords, dense2D<unsigned>& connectM, dense1D<unsigned>& new_IDs,
          double tol, unsigned mode);
// The same without the map; same codes (-4, -5, -198).
int merge(const dense2D<double>& coords, dense2D<unsigned>& connectM, double tol, unsigned mode);
// Two matrices taken together (a node shared or coincident across both is
// merged once for both). Codes as the range: -1, -2, -5, -6, -199.
int merge(const dense2D<double>& coords, dense2D<unsigned>& connectM1, dense2D<unsigned>& connectM2,
          dense1D<unsigned>& new_IDs, double tol, unsigned mode);
// The same without the map; same codes (-5, -6, -199).
int merge(const dense2D<double>& coords, dense2D<unsigned>& connectM1, dense2D<unsigned>& connectM2,
          double tol, unsigned mode);

// The two-list form and the range form on `threads` threads (0: the
// machine's cores; 1 starts none): the same map, count, codes and
// renumbered matrices, bit for bit, for every count. Mode 0 is shared out
// (the groups of coincident nodes by hash, the searches by ranges of nodes,
// the chains and the renumbering by ranges); modes 1 and 2 run on the
// calling thread. The forms above start no thread.
int merge(const dense2D<double>& coords, const dense1D<unsigned>& nodes1,
          const dense1D<unsigned>& nodes2, dense1D<unsigned>& new_IDs, double tol,
          unsigned threads);
int merge(const dense2D<double>& coords, dense2D<unsigned>* begin, dense2D<unsigned>* end,
          dense1D<unsigned>& new_IDs, double tol, unsigned mode, unsigned threads);

// All nodes of coords among themselves (node i merges into the closest
// lower-numbered node within tol, chains resolved); every merged node then
// takes its representative's coordinates (all rows). The number of columns
// does not change. Codes: coords without columns -> 0; -1 rows; -3 bad tol;
// -198 memory.
int merge(dense2D<double>& coords, dense1D<unsigned>& new_IDs, double tol);
// The same without the map.
int merge(dense2D<double>& coords, double tol);

// ---------------------------------------------------------------------------
// Removal of degenerate elements and unused nodes (in place, order kept)
// ---------------------------------------------------------------------------

// Removes the columns of connectM that name one node index twice or more.
// A column whose only repeated value is ~0U (two or more empty slots, as in
// the tetrahedra, pyramids and wedges of an ET_SOLID_MIX matrix) is removed
// when flag is true and kept when it is false; a single ~0U never matters.
// Kept columns move to the front in their order and the matrix becomes
// rows x kept. new_IDs (old element -> new element, ~0U when removed) has
// one entry per column before the call. Returns the number removed, or
// -199 (matrix unchanged, new_IDs empty) when new_IDs cannot be sized.
int remove_degenerated(dense2D<unsigned>& connectM, dense1D<unsigned>& new_IDs, bool flag);
int remove_degenerated(dense2D<unsigned>& connectM, bool flag);

// Removes the columns of coords (nodes) from `start` on that no matrix of
// [begin, end) uses (nodes below start are always kept), moves the kept
// nodes to the front in their order and renumbers the matrices. new_IDs (old
// node -> new node, ~0U when removed) has one entry per column before the
// call. Returns the number removed; 0 with new_IDs empty when begin = end,
// coords has no entries or start >= coords.cols(); -3 end before begin; -2
// an entry other than ~0U not below coords.cols(); -199 memory. On a
// negative code nothing changes and new_IDs is empty.
int simplify(dense2D<double>& coords, dense2D<unsigned>* begin, dense2D<unsigned>* end,
             dense1D<unsigned>& new_IDs, unsigned start);
int simplify(dense2D<double>& coords, dense2D<unsigned>& connectM, dense1D<unsigned>& new_IDs,
             unsigned start);
int simplify(dense2D<double>& coords, dense2D<unsigned>& connectM, unsigned start);
// A node used by either matrix is kept; both are renumbered.
int simplify(dense2D<double>& coords, dense2D<unsigned>& connectM1, dense2D<unsigned>& connectM2,
             unsigned start);

}  // namespace quernfold
}  // namespace ovk
