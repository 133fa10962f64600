#include <gtest/gtest.h>

#include <set>

#include "support/mesh_gen.h"
#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

// Every list of the compressed graph equals the oracle's, and the graph is
// symmetric, free of self-loops and of repeated neighbours.
void expect_graph_matches_oracle(const dense2D<unsigned>& M, element_type FE) {
  dense1D<unsigned> offsets, nodes;
  ASSERT_EQ(get_node_graph(M, offsets, nodes, FE), 0);
  const auto expected = graph_oracle(M, FE);
  ASSERT_EQ(offsets.size(), expected.size() + 1);
  ASSERT_EQ(offsets[0], 0u);
  ASSERT_EQ(offsets[expected.size()], nodes.size());
  std::set<std::pair<unsigned, unsigned>> arcs;
  for (unsigned v = 0; v < expected.size(); ++v) {
    const V got = list_of(offsets, nodes, v);
    EXPECT_EQ(got, expected[v]) << "node " << v;
    for (unsigned w : got) {
      EXPECT_NE(w, v);
      EXPECT_TRUE(arcs.insert({v, w}).second) << v << " lists " << w << " twice";
    }
  }
  for (const auto& a : arcs)
    EXPECT_TRUE(arcs.count({a.second, a.first})) << a.first << "-" << a.second;
}

TEST(NodeGraph, WorkedExamples) {
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  dense1D<unsigned> offsets, nodes;
  ASSERT_EQ(get_node_graph(two, offsets, nodes, ET_TRIA3), 0);
  EXPECT_EQ(to_vector(offsets), (V{0, 2, 5, 8, 10}));
  EXPECT_EQ(list_of(offsets, nodes, 0), (V{1, 2}));
  EXPECT_EQ(list_of(offsets, nodes, 1), (V{0, 2, 3}));
  EXPECT_EQ(list_of(offsets, nodes, 2), (V{0, 1, 3}));
  EXPECT_EQ(list_of(offsets, nodes, 3), (V{2, 1}));

  // The same triangles as a 4-row mixed matrix follow the triangle edge list.
  const dense2D<unsigned> mixed{{0, 1, 2, kNo}, {2, 1, 3, kNo}};
  ASSERT_EQ(get_node_graph(mixed, offsets, nodes, ET_FACE_MIX), 0);
  EXPECT_EQ(list_of(offsets, nodes, 0), (V{2, 1}));
  EXPECT_EQ(list_of(offsets, nodes, 1), (V{2, 0, 3}));

  // A quadrangle joins its sides only.
  const dense2D<unsigned> quad{{0, 1, 2, 3}};
  ASSERT_EQ(get_node_graph(quad, offsets, nodes, ET_QUAD4), 0);
  EXPECT_EQ(list_of(offsets, nodes, 0), (V{1, 3}));
  EXPECT_EQ(list_of(offsets, nodes, 2), (V{1, 3}));

  // Nodes 1..4 unused: 7 offsets, empty lists in between.
  const dense2D<unsigned> gap{{0, 5}};
  ASSERT_EQ(get_node_graph(gap, offsets, nodes, ET_EDGE2), 0);
  EXPECT_EQ(to_vector(offsets), (V{0, 1, 1, 1, 1, 1, 2}));
  EXPECT_EQ(to_vector(nodes), (V{5, 0}));
}

TEST(NodeGraph, ReturnCodesAndEmptyOutputs) {
  dense1D<unsigned> offsets{9, 9}, nodes{9};
  const dense2D<unsigned> tria6(6, 1, 0u);
  EXPECT_EQ(get_node_graph(tria6, offsets, nodes, ET_TRIA6), -5);
  EXPECT_TRUE(offsets.empty() && nodes.empty());
  // Row count is checked before the kind.
  EXPECT_EQ(get_node_graph(dense2D<unsigned>(3, 1, 0u), offsets, nodes, ET_TRIA6), -2);
  EXPECT_EQ(get_node_graph(dense2D<unsigned>(4, 2, 0u), offsets, nodes, ET_TRIA3), -2);
  EXPECT_EQ(get_node_graph(dense2D<unsigned>(2, 1, 0u), offsets, nodes, ET_EDGE_MIX), -5);
  EXPECT_EQ(get_node_graph(dense2D<unsigned>(1, 1, 0u), offsets, nodes, ET_NODE), -5);
  EXPECT_EQ(get_node_graph(dense2D<unsigned>(7, 1, 0u), offsets, nodes, ET_SOLID_MIX), -2);

  offsets = dense1D<unsigned>{4, 4};
  EXPECT_EQ(get_node_graph(dense2D<unsigned>(3, 0), offsets, nodes, ET_TRIA3), 0);
  EXPECT_TRUE(offsets.empty() && nodes.empty());
  // An empty matrix returns before the row check.
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
    expect_graph_matches_oracle(M, k.first);
    expect_graph_matches_oracle(padded_view(M), k.first);
  }
  for (unsigned seed = 1; seed <= 5; ++seed) {
    expect_graph_matches_oracle(random_solid_mix(60, 25, seed), ET_SOLID_MIX);
    expect_graph_matches_oracle(random_face_mix(60, 25, seed), ET_FACE_MIX);
  }
}

TEST(NodeGraph, MixedTetrahedraUseTheirEdgeListAndShortMixedMatricesAreRefused) {
  const dense2D<unsigned> tet{{10, 11, 12, 13, kNo, kNo, kNo, kNo}};
  dense1D<unsigned> offsets, nodes;
  ASSERT_EQ(get_node_graph(tet, offsets, nodes, ET_SOLID_MIX), 0);
  // Edges holding local node 0: (2,0), (0,1), (3,0).
  EXPECT_EQ(list_of(offsets, nodes, 10), (V{12, 11, 13}));

  // The graph does not narrow: a mixed matrix needs its full mixed height,
  // and a short one is refused with both outputs left empty.
  const dense2D<unsigned> narrow = tet.sub_matrix(0, 0, 4, 1);
  EXPECT_EQ(get_node_graph(narrow, offsets, nodes, ET_SOLID_MIX), -2);
  EXPECT_TRUE(offsets.empty());
  EXPECT_TRUE(nodes.empty());
  EXPECT_EQ(get_node_graph(dense2D<unsigned>{{0, 1, 2}}, offsets, nodes, ET_FACE_MIX), -2);
  ASSERT_EQ(get_node_graph(narrow, offsets, nodes, ET_TETRA4), 0);
  EXPECT_EQ(list_of(offsets, nodes, 10), (V{11, 12, 13}));
}

TEST(NodeGraph, UnknownKindSkipsNoIndexAndJoinsWholeColumns) {
  const dense2D<unsigned> M{{4, kNo, 2, 4, 7}, {kNo, kNo, kNo, kNo, kNo}, {2, 9, kNo, kNo, kNo}};
  dense1D<unsigned> offsets, nodes;
  ASSERT_EQ(get_node_graph(M, offsets, nodes, ET_UNKNOWN), 0);
  ASSERT_EQ(offsets.size(), 11u);
  EXPECT_EQ(list_of(offsets, nodes, 2), (V{4, 7, 9}));
  EXPECT_EQ(list_of(offsets, nodes, 4), (V{2, 7}));
  EXPECT_EQ(list_of(offsets, nodes, 9), (V{2}));
  EXPECT_EQ(list_of(offsets, nodes, 0), V{});

  // No node at all: one offset, no list.
  ASSERT_EQ(get_node_graph(dense2D<unsigned>(3, 2, kNo), offsets, nodes, ET_UNKNOWN), 0);
  EXPECT_EQ(to_vector(offsets), (V{0}));
  EXPECT_TRUE(nodes.empty());
}

// Degrees known in closed form on structured grids.
TEST(NodeGraph, DegreesOnStructuredGrids) {
  dense1D<unsigned> offsets, nodes;
  auto degree = [&](unsigned v) { return offsets[v + 1] - offsets[v]; };

  const mesh hexa = hexa_grid(4, 3, 5);
  ASSERT_EQ(get_node_graph(hexa.connect, offsets, nodes, ET_HEXA8), 0);
  ASSERT_EQ(offsets.size(), hexa.coords.cols() + 1);
  // Hexahedra join each node to its axis neighbours only: 6 inside, 3 at a corner.
  EXPECT_EQ(degree(1 + 5 * 1 + 20 * 1), 6u);
  EXPECT_EQ(degree(0), 3u);
  // Edge count of a 4x3x5 grid: sum of degrees / 2.
  EXPECT_EQ(nodes.size() / 2, 4u * 4 * 6 + 5u * 3 * 6 + 5u * 4 * 5);

  const mesh tria = tria_grid(5, 4);
  ASSERT_EQ(get_node_graph(tria.connect, offsets, nodes, ET_TRIA3), 0);
  // Squares cut along one diagonal: interior nodes have 6 neighbours.
  EXPECT_EQ(degree(2 + 6 * 2), 6u);
  // Edges: horizontal + vertical + one diagonal per square.
  EXPECT_EQ(nodes.size() / 2, 5u * 5 + 6u * 4 + 5u * 4);

  const mesh quad = quad_grid(5, 4);
  ASSERT_EQ(get_node_graph(quad.connect, offsets, nodes, ET_QUAD4), 0);
  EXPECT_EQ(degree(2 + 6 * 2), 4u);
  EXPECT_EQ(nodes.size() / 2, 5u * 5 + 6u * 4);

  // The tetrahedral split adds a face diagonal on each square and the main
  // diagonal of each cube.
  const mesh tet = tetra_grid(3, 3, 3);
  ASSERT_EQ(get_node_graph(tet.connect, offsets, nodes, ET_TETRA4), 0);
  const unsigned axis = 3u * 4 * 4 * 3, faces = 3u * 3 * 4 * 3, cubes = 27;
  EXPECT_EQ(nodes.size() / 2, axis + faces + cubes);
  EXPECT_EQ(degree(1 + 4 + 16), 14u);
}

TEST(ConnectedElements, ListsEveryElementOfEveryNode) {
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  dense1D<unsigned> offsets, elements;
  ASSERT_EQ(get_connected_elements(two, offsets, elements), 0);
  EXPECT_EQ(to_vector(offsets), (V{0, 1, 3, 5, 6}));
  EXPECT_EQ(to_vector(elements), (V{0, 0, 1, 0, 1, 1}));

  // Against a scan of every column, on a random matrix with ~0U and repeats.
  std::mt19937 gen(3);
  dense2D<unsigned> M(5, 70);
  for (std::size_t j = 0; j < M.cols(); ++j)
    for (unsigned r = 0; r < 5; ++r) M(r, j) = gen() % 8 == 0 ? kNo : gen() % 40;
  for (const dense2D<unsigned>& view : {M, padded_view(M)}) {
    ASSERT_EQ(get_connected_elements(view, offsets, elements), 0);
    const unsigned largest = max_ID(M);
    ASSERT_EQ(offsets.size(), largest + 2u);
    for (unsigned v = 0; v <= largest; ++v) {
      V expected;
      for (unsigned j = 0; j < M.cols(); ++j)
        for (unsigned r = 0; r < 5; ++r)
          if (M(r, j) == v) expected.push_back(j);
      EXPECT_EQ(list_of(offsets, elements, v), expected) << "node " << v;
    }
  }

  offsets = dense1D<unsigned>{5, 5};
  ASSERT_EQ(get_connected_elements(dense2D<unsigned>(), offsets, elements), 0);
  EXPECT_EQ(to_vector(offsets), (V{0}));
  EXPECT_TRUE(elements.empty());
}

TEST(Ancestors, LastElementWinsAndPresizedOutputsAreKept) {
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  dense1D<unsigned> ancestors;
  ASSERT_EQ(get_ancestors(two, ancestors), 0);
  EXPECT_EQ(to_vector(ancestors), (V{0, 1, 1, 1}));

  // A caller-sized output: only its entries are written, the rest of its
  // content stays.
  dense1D<unsigned> small{42, 43, 44};
  const dense2D<unsigned> far{{0, 7, 1}};
  ASSERT_EQ(get_ancestors(far, small), 0);
  EXPECT_EQ(to_vector(small), (V{0, 0, 44}));

  dense1D<unsigned> presized(2, 9u);
  ASSERT_EQ(get_ancestors(dense2D<unsigned>{{0, 1, 2}, {3, 2, 1}}, presized), 0);
  EXPECT_EQ(to_vector(presized), (V{0, 1}));

  // Unused nodes keep ~0U; mixed slots are not IDs.
  dense1D<unsigned> fresh;
  ASSERT_EQ(get_ancestors(dense2D<unsigned>{{0, 4, 2, kNo}}, fresh), 0);
  EXPECT_EQ(to_vector(fresh), (V{0, kNo, 0, kNo, 0}));

  // Empty connectivity: output untouched.
  ASSERT_EQ(get_ancestors(dense2D<unsigned>(4, 0), fresh), 0);
  EXPECT_EQ(fresh.size(), 5u);

  // Every node's ancestor holds it, on a grid.
  const mesh tet = tetra_grid(2, 2, 2);
  dense1D<unsigned> anc;
  ASSERT_EQ(get_ancestors(tet.connect, anc), 0);
  ASSERT_EQ(anc.size(), tet.coords.cols());
  for (unsigned v = 0; v < anc.size(); ++v) {
    const unsigned* c = tet.connect.column(anc[v]);
    EXPECT_TRUE(std::count(c, c + 4, v) == 1);
    for (std::size_t j = anc[v] + 1; j < tet.connect.cols(); ++j)
      EXPECT_EQ(std::count(tet.connect.column(j), tet.connect.column(j) + 4, v), 0);
  }
}

}  // namespace
}  // namespace quernfold_test
