#include <gtest/gtest.h>

#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

// Every list of the compressed graph equals the oracle's.
void expect_graph_matches_oracle(const dense2D<unsigned>& M, element_type FE) {
  dense1D<unsigned> offsets, nodes;
  ASSERT_EQ(get_node_graph(M, offsets, nodes, FE), 0);
  const auto expected = graph_oracle(M, FE);
  ASSERT_EQ(offsets.size(), expected.size() + 1);
  ASSERT_EQ(offsets[expected.size()], nodes.size());
  for (unsigned v = 0; v < expected.size(); ++v)
    EXPECT_EQ(list_of(offsets, nodes, v), expected[v]) << "node " << v;
}

TEST(NodeGraph, WorkedExamplesAndReturnCodes) {
  dense1D<unsigned> offsets, nodes;
  // Mixed tetrahedra follow their edge list: (2,0), (0,1), (3,0).
  const dense2D<unsigned> tet{{10, 11, 12, 13, no_index, no_index, no_index, no_index}};
  ASSERT_EQ(get_node_graph(tet, offsets, nodes, ET_SOLID_MIX), 0);
  EXPECT_EQ(list_of(offsets, nodes, 10), (V{12, 11, 13}));
  // Unknown kinds join whole columns and skip ~0U; no node, one offset.
  ASSERT_EQ(get_node_graph(dense2D<unsigned>{{4, no_index, 2}, {2, 9, no_index}}, offsets, nodes,
                           ET_UNKNOWN),
            0);
  EXPECT_EQ(list_of(offsets, nodes, 2), (V{4, 9}));
  ASSERT_EQ(get_node_graph(dense2D<unsigned>(3, 2, no_index), offsets, nodes, ET_UNKNOWN), 0);
  EXPECT_EQ(to_vector(offsets), (V{0}));

  // The graph does not narrow: a short mixed matrix is refused, row count
  // before kind, both outputs emptied.
  offsets = dense1D<unsigned>{9, 9};
  EXPECT_EQ(get_node_graph(tet.sub_matrix(0, 0, 4, 1), offsets, nodes, ET_SOLID_MIX), -2);
  EXPECT_TRUE(offsets.empty() && nodes.empty());
  EXPECT_EQ(get_node_graph(dense2D<unsigned>(3, 1, 0u), offsets, nodes, ET_TRIA6), -2);
  EXPECT_EQ(get_node_graph(dense2D<unsigned>(6, 1, 0u), offsets, nodes, ET_TRIA6), -5);
  EXPECT_EQ(get_node_graph(dense2D<unsigned>(5, 0), offsets, nodes, ET_TRIA3), 0);
}

TEST(NodeGraph, MatchesDefinitionOnRandomMeshesOfEveryKind) {
  std::mt19937 gen(7);
  const std::pair<element_type, unsigned> kinds[] = {
      {ET_EDGE2, 2},    {ET_TRIA3, 3},  {ET_QUAD4, 4}, {ET_TETRA4, 4},
      {ET_PYRAMID5, 5}, {ET_WEDGE6, 6}, {ET_HEXA8, 8}, {ET_UNKNOWN, 5}};
  for (const auto& k : kinds) {
    dense2D<unsigned> M(k.second, 40);
    for (std::size_t j = 0; j < M.cols(); ++j)
      for (unsigned r = 0; r < k.second; ++r) M(r, j) = gen() % 30;
    SCOPED_TRACE(k.first);
    expect_graph_matches_oracle(padded_view(M), k.first);
  }
  for (int k = 0; k < 3; ++k) {
    expect_graph_matches_oracle(random_degenerate(ET_SOLID_MIX, 8, 60, 25, gen), ET_SOLID_MIX);
    expect_graph_matches_oracle(random_degenerate(ET_FACE_MIX, 4, 60, 25, gen), ET_FACE_MIX);
  }
}

TEST(ConnectedElementsAndAncestors, AgainstAColumnScan) {
  // Random matrix with ~0U and repeats.
  std::mt19937 gen(3);
  dense2D<unsigned> M(5, 70);
  for (std::size_t j = 0; j < M.cols(); ++j)
    for (unsigned r = 0; r < 5; ++r) M(r, j) = gen() % 8 == 0 ? no_index : gen() % 40;
  dense1D<unsigned> offsets, elements, ancestors;
  ASSERT_EQ(get_connected_elements(padded_view(M), offsets, elements), 0);
  ASSERT_EQ(get_ancestors(padded_view(M), ancestors), 0);
  ASSERT_EQ(offsets.size(), max_ID(M) + 2u);
  ASSERT_EQ(ancestors.size(), max_ID(M) + 1u);
  for (unsigned v = 0; v <= max_ID(M); ++v) {
    V expected;
    for (unsigned j = 0; j < M.cols(); ++j)
      for (unsigned r = 0; r < 5; ++r)
        if (M(r, j) == v) expected.push_back(j);
    EXPECT_EQ(list_of(offsets, elements, v), expected) << "node " << v;
    // The last element holding the node wins; unused nodes keep ~0U.
    EXPECT_EQ(ancestors[v], expected.empty() ? no_index : expected.back());
  }

  // A caller-sized output: only its entries are written; empty
  // connectivity leaves it untouched.
  dense1D<unsigned> small{42, 43, 44};
  ASSERT_EQ(get_ancestors(dense2D<unsigned>{{0, 7, 1}}, small), 0);
  EXPECT_EQ(to_vector(small), (V{0, 0, 44}));
  ASSERT_EQ(get_ancestors(dense2D<unsigned>(4, 0), small), 0);
  EXPECT_EQ(to_vector(small), (V{0, 0, 44}));
}

}  // namespace
}  // namespace quernfold_test
