// The parts of the elements below the mesh's dimension: the elements of the
// mesh's dimension around the nodes those elements use meet on the rank the
// node hashes to, which answers each lower element's question about its
// vertex nodes with the elements around them.
#include <algorithm>
#include <new>

#include "mpi/exchange.h"
#include "quernfold/mpi.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;
using detail::owner_of;

constexpr std::uint64_t kNone = ~std::uint64_t(0);

// A local node on the way to its node's rank: who holds it and whether a
// lower element of that rank uses it.
struct holder {
  std::uint64_t node, rank, wanted;
  bool operator<(const holder& o) const { return node < o.node; }
};

// To the node's rank: an element of the mesh's dimension around the node
// (a: element, b: part), or a question (a: asking rank, b: asking element,
// c: its vertex).
struct node_record {
  std::uint64_t node, a, b, c, question;
  bool operator<(const node_record& o) const {
    return node != o.node ? node < o.node : question < o.question;
  }
};

// Back to the asking rank.
struct answer {
  std::uint64_t element, vertex, around, part;
};

// Per local node: 1 when a lower element of some rank uses it.
std::vector<char> asked_nodes(const dist_mesh& mesh, const std::vector<char>& lower) {
  std::vector<char> wanted(mesh.node_ids.size(), 0);
  for (std::size_t b = 0; b < mesh.local.blocks.size(); ++b) {
    const mesh_block& block = mesh.local.blocks[b];
    for (std::size_t j = 0; lower[b] && j < block.connectM.cols(); ++j)
      for (std::size_t k = 0; k < nbr_base_nodes(block.type); ++k) wanted[block.connectM(k, j)] = 1;
  }
  std::vector<std::vector<holder>> out(mesh.ranks);
  for (std::size_t v = 0; v < wanted.size(); ++v)
    out[owner_of(mesh.node_ids[v], mesh.ranks)].push_back(
        {mesh.node_ids[v], static_cast<std::uint64_t>(mesh.rank), std::uint64_t(wanted[v])});
  std::vector<holder> got = exchange(mesh.comm, out);
  std::sort(got.begin(), got.end());
  for (std::size_t i = 0; i < got.size();) {
    std::size_t j = i;
    bool any = false;
    for (; j < got.size() && got[j].node == got[i].node; ++j) any = any || got[j].wanted;
    for (std::size_t k = i; any && k < j; ++k) out[got[k].rank].push_back(got[k]);
    i = j;
  }
  for (const holder& h : exchange(mesh.comm, out))
    wanted[std::lower_bound(mesh.node_ids.begin(), mesh.node_ids.end(), h.node) -
           mesh.node_ids.begin()] = 1;
  return wanted;
}

// The incidences of the asked nodes and the lower elements' questions, met
// on the nodes' ranks and answered.
std::vector<answer> ask(const dist_mesh& mesh, const std::vector<char>& lower,
                        const std::vector<char>& wanted, const std::vector<unsigned>& part) {
  const std::vector<std::uint64_t> starts = detail::block_starts(mesh);
  std::vector<std::vector<node_record>> out(mesh.ranks);
  std::size_t e = 0;
  for (std::size_t b = 0; b < mesh.local.blocks.size(); ++b) {
    const mesh_block& block = mesh.local.blocks[b];
    const std::size_t rows = nbr_base_nodes(block.type);
    for (std::size_t j = 0; j < block.connectM.cols(); ++j, ++e)
      for (std::size_t k = 0; k < rows; ++k) {
        const unsigned v = block.connectM(k, j);
        const std::uint64_t id = mesh.node_ids[v];
        std::vector<node_record>& to = out[owner_of(id, mesh.ranks)];
        if (lower[b])
          to.push_back({id, static_cast<std::uint64_t>(mesh.rank), e, k, 1});
        else if (wanted[v])
          to.push_back({id, starts[b] + mesh.position_in_kind(b, j), part[e], 0, 0});
      }
  }
  std::vector<node_record> met = exchange(mesh.comm, out);
  std::sort(met.begin(), met.end());
  std::vector<std::vector<answer>> back(mesh.ranks);
  for (std::size_t i = 0; i < met.size();) {
    std::size_t q = i;
    while (q < met.size() && met[q].node == met[i].node && !met[q].question) ++q;
    std::size_t j = q;
    for (; j < met.size() && met[j].node == met[i].node; ++j)
      for (std::size_t k = i; k < q; ++k)
        back[met[j].a].push_back({met[j].b, met[j].c, met[k].a, met[k].b});
    i = j;
  }
  return exchange(mesh.comm, back);
}

// The part of one lower element from the elements around its vertices.
unsigned choose(const answer* first, const answer* last, std::size_t vertices) {
  std::uint64_t best = kNone, best_part = 0, earliest = kNone, earliest_part = 0;
  for (const answer* a = first; a < last;) {
    const answer* b = a;
    std::vector<char> seen(vertices, 0);
    std::size_t count = 0;
    for (; b < last && b->around == a->around; ++b) count += !seen[b->vertex]++;
    if (count == vertices && a->around < best) best = a->around, best_part = a->part;
    a = b;
  }
  if (best != kNone) return static_cast<unsigned>(best_part);
  std::uint64_t vertex = kNone;
  for (const answer* a = first; a < last; ++a)
    if (a->vertex < vertex || (a->vertex == vertex && a->around < earliest))
      vertex = a->vertex, earliest = a->around, earliest_part = a->part;
  return static_cast<unsigned>(earliest_part);
}

}  // namespace

int spread_parts(const dist_mesh& mesh, const std::vector<int>& top_part,
                 std::vector<unsigned>& element_part) {
  element_part.clear();
  int code = 0;
  try {
    const unsigned dim = mesh_dimension(mesh);
    std::vector<char> lower;
    std::uint64_t lowers = 0;
    std::size_t v = 0;
    for (const mesh_block& b : mesh.local.blocks) {
      lower.push_back(element_dim(b.type) != dim);
      for (std::size_t j = 0; j < b.connectM.cols(); ++j) {
        element_part.push_back(lower.back() ? 0 : static_cast<unsigned>(top_part[v++]));
        lowers += lower.back() ? 1 : 0;
      }
    }
    if (detail::sum_all(mesh.comm, lowers) > 0) {
      std::vector<answer> got = ask(mesh, lower, asked_nodes(mesh, lower), element_part);
      std::sort(got.begin(), got.end(), [](const answer& a, const answer& b) {
        return a.element != b.element ? a.element < b.element : a.around < b.around;
      });
      std::size_t e = 0;
      for (std::size_t b = 0; b < mesh.local.blocks.size(); ++b) {
        const std::size_t cols = mesh.local.blocks[b].connectM.cols();
        const std::size_t vertices = nbr_base_nodes(mesh.local.blocks[b].type);
        for (std::size_t j = 0; lower[b] && j < cols; ++j) {
          const auto at = [&got](std::uint64_t x) {
            return std::lower_bound(got.begin(), got.end(), x,
                                    [](const answer& a, std::uint64_t y) { return a.element < y; });
          };
          const auto from = at(e + j), to = at(e + j + 1);
          element_part[e + j] =
              choose(got.data() + (from - got.begin()), got.data() + (to - got.begin()), vertices);
        }
        e += cols;
      }
    }
  } catch (const std::bad_alloc&) {
    code = no_memory;
  }
  return detail::agree(mesh.comm, code);
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
