// Parts of a mesh: the sets of elements joined through shared nodes, and a
// mesh of its own for each.
#include <algorithm>
#include <new>
#include <numeric>
#include <vector>

#include "common/parallel.h"
#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace {

// Pieces of the elements joined apart at most: each holds a set per node,
// and joining the pieces' sets visits every node once per piece.
constexpr std::size_t kMostPieces = 8;

// Union-find over the nodes with path halving; the root of a set is its
// lowest node.
struct node_sets {
  std::vector<unsigned> up;
  explicit node_sets(std::size_t n) : up(n) { std::iota(up.begin(), up.end(), 0U); }
  unsigned root(unsigned v) {
    while (up[v] != v) v = up[v] = up[up[v]];
    return v;
  }
  void join(unsigned a, unsigned b) {
    a = root(a), b = root(b);
    if (a != b) up[std::max(a, b)] = std::min(a, b);
  }
};

// The nodes the elements of piece `part` of `parts` use (1), joined
// element by element: the piece is a range of every block's columns.
void join_elements(const mesh_data& mesh, std::size_t part, std::size_t parts, node_sets& sets,
                   std::vector<char>& used) {
  for (const mesh_block& b : mesh.blocks) {
    std::size_t first, last;
    detail::split_range(b.connectM.cols(), part, parts, first, last);
    for (std::size_t j = first; j < last; ++j) {
      const unsigned* v = b.connectM.column(j);
      for (std::size_t k = 0; k < b.connectM.rows(); ++k) {
        used[v[k]] = 1;
        sets.join(v[0], v[k]);
      }
    }
  }
}

// The sets and used nodes of every piece, joined into the first: the sets
// of nodes are the same whatever the pieces, and so are their lowest nodes.
void join_pieces(std::vector<node_sets>& sets, std::vector<std::vector<char>>& used) {
  for (std::size_t t = 1; t < sets.size(); ++t)
    for (std::size_t v = 0; v < used[0].size(); ++v) {
      used[0][v] = used[0][v] || used[t][v];
      const unsigned r = sets[t].root(static_cast<unsigned>(v));
      if (r != v) sets[0].join(r, static_cast<unsigned>(v));
    }
}

// Block b split by part into the parts that hold some of its elements
// (their own node numbers from `local`).
bool split_block(const mesh_block& b, const dense1D<unsigned>& part,
                 const std::vector<unsigned>& local, std::vector<mesh_data>& parts) {
  const std::size_t rows = b.connectM.rows(), cols = rows ? b.connectM.cols() : 0;
  std::vector<std::size_t> size(parts.size(), 0), next(parts.size(), 0);
  for (std::size_t j = 0; j < cols; ++j) ++size[part[b.connectM(0, j)]];
  std::vector<mesh_block*> into(parts.size(), nullptr);
  for (std::size_t p = 0; p < parts.size(); ++p) {
    if (!size[p]) continue;
    parts[p].blocks.emplace_back();
    into[p] = &parts[p].blocks.back();
    into[p]->type = b.type;
    if (!into[p]->connectM.resize(rows, size[p])) return false;
    if (!b.refs.empty() && !into[p]->refs.resize(size[p])) return false;
  }
  for (std::size_t j = 0; j < cols; ++j) {
    const unsigned p = part[b.connectM(0, j)];
    const std::size_t k = next[p]++;
    for (std::size_t i = 0; i < rows; ++i) into[p]->connectM(i, k) = local[b.connectM(i, j)];
    if (!b.refs.empty()) into[p]->refs[k] = b.refs[j];
  }
  return true;
}

// The coordinates of every part; local[v] = the number of node v in its
// part.
bool split_nodes(const mesh_data& mesh, const dense1D<unsigned>& part, std::vector<unsigned>& local,
                 std::vector<mesh_data>& parts) {
  std::vector<unsigned> size(parts.size(), 0);
  for (std::size_t v = 0; v < part.size(); ++v)
    if (part[v] != no_index) local[v] = size[part[v]]++;
  const std::size_t rows = mesh.coords.rows();
  for (std::size_t p = 0; p < parts.size(); ++p)
    if (!parts[p].coords.resize(rows, size[p])) return false;
  for (std::size_t v = 0; v < part.size(); ++v)
    if (part[v] != no_index)
      std::copy(mesh.coords.column(v), mesh.coords.column(v) + rows,
                parts[part[v]].coords.column(local[v]));
  return true;
}

}  // namespace

int node_parts(const mesh_data& mesh, dense1D<unsigned>& part, std::size_t& count) {
  return node_parts(mesh, part, count, 1);
}

int node_parts(const mesh_data& mesh, dense1D<unsigned>& part, std::size_t& count,
               unsigned threads) try {
  count = 0;
  const std::size_t n = mesh.coords.cols();
  if (!part.resize(0) || !part.resize(n, no_index)) return part.clear(), no_memory;
  threads = detail::thread_count(threads);
  const std::size_t pieces = std::min<std::size_t>(threads, kMostPieces);
  std::vector<node_sets> sets(pieces, node_sets(n));
  std::vector<std::vector<char>> used(pieces, std::vector<char>(n, 0));
  detail::run_parallel(threads, pieces,
                       [&](std::size_t t) { join_elements(mesh, t, pieces, sets[t], used[t]); });
  join_pieces(sets, used);
  // Roots are the lowest node of their set: numbered as met in node order.
  for (std::size_t v = 0; v < n; ++v) {
    if (!used[0][v]) continue;
    const unsigned r = sets[0].root(static_cast<unsigned>(v));
    part[v] = r == v ? static_cast<unsigned>(count++) : part[r];
  }
  return 0;
} catch (const std::bad_alloc&) {
  part.clear();
  return no_memory;
}

int split_parts(const mesh_data& mesh, std::vector<mesh_data>& parts) {
  return split_parts(mesh, parts, 1);
}

int split_parts(const mesh_data& mesh, std::vector<mesh_data>& parts, unsigned threads) {
  parts.clear();
  dense1D<unsigned> part;
  std::size_t count = 0;
  if (int code = node_parts(mesh, part, count, threads)) return code;
  std::vector<unsigned> local(part.size(), no_index);
  parts.resize(count);
  bool ok = split_nodes(mesh, part, local, parts);
  for (const mesh_block& b : mesh.blocks) ok = ok && split_block(b, part, local, parts);
  if (!ok) parts.clear();
  return ok ? 0 : no_memory;
}

}  // namespace quernfold
}  // namespace ovk
