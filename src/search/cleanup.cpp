// Removal of degenerate elements and of unused nodes, compacting in place.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/mixed.h"
#include "quernfold/search.h"

namespace ovk {
namespace quernfold {
namespace {

constexpr int kBadIndex = -2;
constexpr int kReversedRange = -3;

// Columns of at most this many rows are sorted on the stack by insertion.
constexpr std::size_t kShortColumn = 32;

// Column j of M copied over column k (k < j), rows entries: a plain loop,
// since columns are a few entries long.
template <class T>
void move_column(dense2D<T>& M, std::size_t j, std::size_t k) {
  const T* from = M.column(j);
  T* to = M.column(k);
  for (std::size_t r = 0; r < M.rows(); ++r) to[r] = from[r];
}

// Sorted ascending, ~0U sorts last: the first repeated value tells whether a
// node index repeats (degenerate) or only the empty slot does.
bool first_repeat_removes(const unsigned* sorted, std::size_t rows, bool flag) {
  const unsigned* repeat = std::adjacent_find(sorted, sorted + rows);
  if (repeat == sorted + rows) return false;
  return *repeat != no_index || flag;
}

bool is_removed(const unsigned* col, std::size_t rows, bool flag, std::vector<unsigned>& sorted) {
  if (rows > kShortColumn) {
    sorted.assign(col, col + rows);
    std::sort(sorted.begin(), sorted.end());
    return first_repeat_removes(sorted.data(), rows, flag);
  }
  unsigned local[kShortColumn];
  for (std::size_t i = 0; i < rows; ++i) {
    std::size_t j = i;
    for (; j > 0 && local[j - 1] > col[i]; --j) local[j] = local[j - 1];
    local[j] = col[i];
  }
  return first_repeat_removes(local, rows, flag);
}

void set_bit(dense1D<std::uint32_t>& bits, unsigned i) {
  bits[i / 32] |= std::uint32_t(1) << (i % 32);
}

bool test_bit(const dense1D<std::uint32_t>& bits, std::size_t i) {
  return (bits[i / 32] >> (i % 32)) & 1u;
}

// Marks every node used by the matrices.
void mark_used(const dense2D<unsigned>* begin, const dense2D<unsigned>* end,
               dense1D<std::uint32_t>& used) {
  for (const dense2D<unsigned>* M = begin; M != end; ++M)
    for (std::size_t j = 0; j < M->cols(); ++j) {
      const unsigned* col = M->column(j);
      for (std::size_t r = 0; r < M->rows(); ++r)
        if (col[r] != no_index) set_bit(used, col[r]);
    }
}

// Moves the used nodes from `start` on to the front and fills new_IDs (the
// identity below start). Returns the number of nodes kept.
std::size_t compact_nodes(dense2D<double>& coords, const dense1D<std::uint32_t>& used,
                          unsigned start, dense1D<unsigned>& new_IDs) {
  const std::size_t n = coords.cols();
  for (std::size_t i = 0; i < start; ++i) new_IDs[i] = static_cast<unsigned>(i);
  std::size_t k = start;
  for (std::size_t i = start; i < n; ++i) {
    if (!test_bit(used, i)) continue;
    if (k < i) move_column(coords, i, k);
    new_IDs[i] = static_cast<unsigned>(k++);
  }
  return k;
}

}  // namespace

int remove_degenerated(dense2D<unsigned>& connectM, dense1D<unsigned>& new_IDs, bool flag) {
  new_IDs.clear();
  const std::size_t cols = connectM.cols();
  if (!new_IDs.resize(cols, no_index)) {
    new_IDs.clear();
    return no_memory;
  }
  const std::size_t rows = connectM.rows();
  std::vector<unsigned> sorted;
  std::size_t kept = 0;
  for (std::size_t j = 0; j < cols; ++j) {
    if (is_removed(connectM.column(j), rows, flag, sorted)) continue;
    if (kept < j) move_column(connectM, j, kept);
    new_IDs[j] = static_cast<unsigned>(kept++);
  }
  connectM.resize(rows, kept);
  return static_cast<int>(cols - kept);
}

int remove_degenerated(dense2D<unsigned>& connectM, bool flag) {
  dense1D<unsigned> new_IDs;
  return remove_degenerated(connectM, new_IDs, flag);
}

int simplify(dense2D<double>& coords, dense2D<unsigned>* begin, dense2D<unsigned>* end,
             dense1D<unsigned>& new_IDs, unsigned start) {
  new_IDs.clear();
  if (begin == end) return 0;
  if (end < begin) return kReversedRange;
  const std::size_t n = coords.cols();
  for (const dense2D<unsigned>* M = begin; M != end; ++M)
    if (!check_IDs(*M, static_cast<unsigned>(n))) return kBadIndex;
  if (coords.empty() || start >= n) return 0;

  dense1D<std::uint32_t> used;
  if (!new_IDs.resize(n, no_index) || !used.resize((n + 31) / 32, 0u)) {
    new_IDs.clear();
    return no_memory;
  }
  mark_used(begin, end, used);
  const std::size_t kept = compact_nodes(coords, used, start, new_IDs);
  coords.resize(coords.rows(), kept);
  if (kept < n)
    for (dense2D<unsigned>* M = begin; M != end; ++M) change_indices(*M, new_IDs);
  return static_cast<int>(n - kept);
}

int simplify(dense2D<double>& coords, dense2D<unsigned>& connectM, dense1D<unsigned>& new_IDs,
             unsigned start) {
  return simplify(coords, &connectM, &connectM + 1, new_IDs, start);
}

int simplify(dense2D<double>& coords, dense2D<unsigned>& connectM, unsigned start) {
  dense1D<unsigned> new_IDs;
  return simplify(coords, &connectM, &connectM + 1, new_IDs, start);
}

int simplify(dense2D<double>& coords, dense2D<unsigned>& connectM1, dense2D<unsigned>& connectM2,
             unsigned start) {
  // Views sharing the callers' storage, so renumbering writes through.
  dense2D<unsigned> both[2] = {connectM1, connectM2};
  dense1D<unsigned> new_IDs;
  return simplify(coords, both, both + 2, new_IDs, start);
}

}  // namespace quernfold
}  // namespace ovk
