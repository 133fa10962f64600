// Node graph, connected elements, ancestors, sub-domains and the grouping of
// mixed columns, each against its definition run step by step.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/compare.h"
#include "support/topology_oracles.h"

namespace quernfold_test {
namespace {

// Node graph straight from its definition: the groups of the whole mesh in
// order (whole columns, or the edges of each column's shape); each node lists
// the other nodes of its groups, at first sight.
Vs graph_oracle(const dense2D<unsigned>& M, element_type FE) {
  Vs lists(max_ID(M) + 1u);
  auto group = [&](const V& g) {
    for (unsigned v : g)
      for (unsigned w : g)
        if (v != no_index && w != no_index && w != v &&
            std::count(lists[v].begin(), lists[v].end(), w) == 0)
          lists[v].push_back(w);
  };
  for (std::size_t j = 0; j < M.cols(); ++j) {
    const unsigned* c = M.column(j);
    if (FE == ET_UNKNOWN || FE == ET_EDGE2 || FE == ET_TRIA3 || FE == ET_TETRA4)
      group(V(c, c + M.rows()));
    else
      for (const V& e : edges_of(shape_of(FE, c))) group({c[e[0]], c[e[1]]});
  }
  return lists;
}

TEST(NodeGraph, MatchesDefinitionOnRandomMeshesAndCodes) {
  std::mt19937 gen(7);
  for (element_type FE : {ET_EDGE2, ET_TRIA3, ET_QUAD4, ET_TETRA4, ET_PYRAMID5, ET_WEDGE6, ET_HEXA8,
                          ET_UNKNOWN, ET_FACE_MIX, ET_SOLID_MIX}) {
    const std::size_t rows = FE == ET_UNKNOWN ? 5 : nbr_nodes(FE);
    auto draw = [&](std::size_t cols, unsigned pool) {  // whole columns skip ~0U too
      dense2D<unsigned> M = random_degenerate(FE, rows, cols, pool, gen);
      for (std::size_t j = 0; FE == ET_UNKNOWN && j < cols; j += 3) M(gen() % rows, j) = no_index;
      return M;
    };
    for (const dense2D<unsigned>& M : {draw(40, 30), padded_view(draw(60, 25))}) {
      dense1D<unsigned> offsets, nodes;
      ASSERT_EQ(get_node_graph(M, offsets, nodes, FE), 0);
      EXPECT_EQ(lists_of(offsets, nodes), graph_oracle(M, FE)) << FE;
    }
  }
  // Packed simplices with a single ~0U among them leave the walk that skips
  // the test for ~0U.
  for (element_type FE : {ET_TRIA3, ET_TETRA4}) {
    dense2D<unsigned> M = random_degenerate(FE, nbr_nodes(FE), 50, 30, gen);
    M(1, 17) = no_index;
    dense1D<unsigned> offsets, nodes;
    ASSERT_EQ(get_node_graph(M, offsets, nodes, FE), 0);
    EXPECT_EQ(lists_of(offsets, nodes), graph_oracle(M, FE)) << FE;
  }
  dense1D<unsigned> offsets{9, 9}, nodes{9};
  const dense2D<unsigned> tet{{10, 11, 12, 13, no_index, no_index, no_index, no_index}};
  // The graph does not narrow: a short mixed matrix is refused, row count
  // before kind, both outputs emptied.
  EXPECT_CODES({get_node_graph(tet.sub_matrix(0, 0, 4, 1), offsets, nodes, ET_SOLID_MIX), -2},
               {offsets.size(), 0}, {nodes.size(), 0},
               {get_node_graph(dense2D<unsigned>(6, 1, 0u), offsets, nodes, ET_TRIA6), -5},
               {get_node_graph(dense2D<unsigned>(5, 0), offsets, nodes, ET_TRIA3), 0},
               // only ~0U: no node, one offset
               {get_node_graph(dense2D<unsigned>(3, 2, no_index), offsets, nodes, ET_UNKNOWN), 0});
  EXPECT_EQ(entries(offsets), V{0});
}

TEST(ConnectedElementsAndAncestors, AgainstAColumnScan) {
  std::mt19937 gen(3);
  dense2D<unsigned> M(5, 70);  // with ~0U and repeats
  for (unsigned& v : M.as_vector()) v = gen() % 8 == 0 ? no_index : gen() % 40;
  dense1D<unsigned> offsets, elements, ancestors;
  ASSERT_EQ(get_connected_elements(padded_view(M), offsets, elements), 0);
  ASSERT_EQ(get_ancestors(padded_view(M), ancestors), 0);
  // The last element holding a node is its ancestor; unused nodes keep ~0U.
  Vs want(max_ID(M) + 1u);
  V last(want.size(), no_index);
  for (unsigned j = 0; j < M.cols(); ++j)
    for (unsigned r = 0; r < 5; ++r)
      if (M(r, j) != no_index) want[M(r, j)].push_back(j), last[M(r, j)] = j;
  EXPECT_EQ(lists_of(offsets, elements), want);
  EXPECT_EQ(entries(ancestors), last);
  // A caller-sized output: only its entries are written; an empty
  // connectivity leaves it untouched.
  dense1D<unsigned> small{42, 43, 44};
  ASSERT_EQ(get_ancestors(dense2D<unsigned>{{0, 7, 1}}, small), 0);
  ASSERT_EQ(get_ancestors(dense2D<unsigned>(4, 0), small), 0);
  EXPECT_EQ(entries(small), (V{0, 0, 44}));
}

// Columns of N taken in `order`, entries that name an element renumbered by
// new_of (old to new) and others kept.
Vs reordered(const dense2D<unsigned>& N, const V& order, const V& new_of) {
  Vs out;
  for (unsigned j : order) {
    out.emplace_back();
    for (std::size_t r = 0; r < N.rows(); ++r)
      out.back().push_back(N(r, j) < new_of.size() ? new_of[N(r, j)] : N(r, j));
  }
  return out;
}

// Breadth-first growth from the lowest element not yet placed, entries
// followed in row order as they are.
void subdomains_oracle(const dense2D<unsigned>& N, V& elements, V& offsets) {
  std::vector<bool> placed(N.cols(), false);
  elements.clear();
  offsets = {0};
  for (unsigned s = 0; s < N.cols(); ++s) {
    if (placed[s]) continue;
    placed[s] = true;
    elements.push_back(s);
    for (std::size_t k = offsets.back(); k < elements.size(); ++k)
      for (unsigned r = 0; r < N.rows(); ++r) {
        const unsigned n = N(r, elements[k]);
        if (n < N.cols() && !placed[n]) placed[n] = true, elements.push_back(n);
      }
    offsets.push_back(unsigned(elements.size()));
  }
}

// Random entries, not symmetric, so growth follows entries as they are:
// elements, ~0U, or values past the last element.
TEST(Subdomains, ListAndReorderLikeTheBreadthFirstRule) {
  std::mt19937 gen(11);
  for (int round = 0; round < 12; ++round) {
    const unsigned E = round == 0 ? 0 : 1 + gen() % 60, rows = 1 + gen() % 4;
    dense2D<unsigned> N(rows, E, no_index), moved, connect(1, E);
    for (unsigned j = 0; j < E; ++j) {
      connect(0, j) = j;
      for (unsigned r = 0; r < rows; ++r)
        if (gen() % 3 == 0) N(r, j) = gen() % (E + 3);
    }
    dense1D<unsigned> elements{4, 4}, offsets{4};
    V want_elements, want_offsets;
    subdomains_oracle(N, want_elements, want_offsets);
    ASSERT_EQ(get_subdomains(N, elements, offsets), 0);
    ASSERT_EQ(entries(elements), want_elements);
    ASSERT_EQ(entries(offsets), want_offsets);
    // The reordering overload moves columns and renumbers entries.
    moved.copy(N);
    ASSERT_EQ(get_subdomains(connect, moved, offsets), 0);
    EXPECT_EQ(entries(offsets), want_offsets);
    EXPECT_EQ(entries(connect), want_elements);
    V new_of(E);
    for (unsigned k = 0; k < E; ++k) new_of[want_elements[k]] = k;
    EXPECT_EQ(columns_of(moved), reordered(N, want_elements, new_of));
    // Column counts differ: -2, no offset.
    ASSERT_TRUE(moved.resize(rows, E + 1));
    EXPECT_CODES({get_subdomains(connect, moved, offsets), -2}, {offsets.size(), 0});
  }
}

// Random mixed solids with their neighbours against a stable sort by used
// node count, descending, that drops the columns without used node.
TEST(SortElfes, MatchesAStableSortOnRandomMixedSolids) {
  std::mt19937 gen(1);
  for (unsigned seed = 1; seed <= 4; ++seed) {
    dense2D<unsigned> M = random_degenerate(ET_SOLID_MIX, 8, 50, 12, gen);
    for (unsigned j = seed; j < 50; j += 9) M(0, j) = no_index;  // some unused columns
    dense2D<unsigned> N(6, 50, no_index);
    for (unsigned j = 0; j < 50; ++j)
      for (unsigned r = 0; r < 6; ++r)
        if (gen() % 2) N(r, j) = gen() % 50;
    V order, counts, group_ends, new_of(50, no_index);
    for (unsigned c = 8; c >= 1; --c) {
      const std::size_t before = order.size();
      for (unsigned j = 0; j < 50; ++j)
        if (std::find(M.column(j), M.column(j) + 8, no_index) - M.column(j) == c)
          new_of[j] = unsigned(order.size()), order.push_back(j);
      if (order.size() > before) counts.push_back(c), group_ends.push_back(unsigned(order.size()));
    }
    const Vs cols = reordered(M, order, {}), links = reordered(N, order, new_of);
    dense1D<unsigned> nodes, ends, new_indices;
    ASSERT_EQ(sort_elfes(M, N, nodes, ends, new_indices), 0);
    EXPECT_EQ(columns_of(M), cols);
    EXPECT_EQ(entries(nodes), counts);
    EXPECT_EQ(entries(ends), group_ends);
    EXPECT_EQ(entries(new_indices), new_of);
    EXPECT_EQ(columns_of(N), links);
  }
  // Nothing used at all: (0), (0); column counts differ: -1 and nothing changes.
  dense2D<unsigned> unused(3, 2, no_index), keep = matrix_of(8, {{0, 1, 2, 3}, {0, 1, 2, 3, 4}});
  dense2D<unsigned> wrong(2, 5, no_index);
  dense1D<unsigned> nodes, ends, new_indices;
  ASSERT_EQ(sort_elfes(unused, nodes, ends, new_indices), 0);
  EXPECT_CODES({unused.cols(), 0}, {ends.size(), 1}, {ends[0], 0},
               {sort_elfes(keep, wrong, nodes, ends, new_indices), -1}, {keep(4, 0), no_index});
  EXPECT_EQ(entries(nodes), V{0});
}

}  // namespace
}  // namespace quernfold_test
