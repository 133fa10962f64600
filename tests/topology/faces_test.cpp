// Element faces, neighbours across them, mesh boundaries and the outputs
// that face operations append to. get_neighbors is compared with a
// word-for-word chained face hash table (prime bucket count,
// order-independent face key, chains in insertion order, the matching pass
// in bucket order) on random meshes from tiny node pools: degenerate faces,
// faces that meet themselves within one element, groups of many faces,
// non-cyclic quadrangles, colliding buckets and mixed matrices, in both
// non-manifold modes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "support/compare.h"
#include "support/mesh_gen.h"
#include "support/topology_oracles.h"

namespace quernfold_test {
namespace {

constexpr std::uint64_t kPrimes[30] = {
    13,        23,        53,        97,         193,        389,       769,      1543,
    3079,      6151,      12289,     24593,      49157,      98317,     196613,   393241,
    786433,    1572869,   3145739,   6291469,    12582917,   25165843,  50331653, 100663319,
    201326611, 402653189, 805306457, 1610612741, 3221225473, 4294967291};

std::uint64_t literal_face_key(const V& nodes) {
  std::uint64_t key = 0;
  for (unsigned v : nodes) key += (std::uint64_t(v) ^ 0x811C9DC5u) * 16777619u;
  return key;
}

// The face hash table as it behaves: the smallest listed prime not below
// max(F x elements / 2, 23) buckets, faces chained by key in insertion
// order; then the matching pass over the buckets in index order.
dense2D<unsigned> literal_neighbors(const dense2D<unsigned>& M, element_type type, bool link) {
  const unsigned F = faces_per(narrowed(type, M.rows()));
  dense2D<unsigned> N(F, M.cols(), no_index);
  const std::uint64_t least = std::max<std::uint64_t>(F * M.cols() / 2, 23);
  const std::uint64_t B = *std::find_if(kPrimes, kPrimes + 29, [&](auto p) { return p >= least; });
  std::vector<std::vector<element_face>> chains(B);
  for (const element_face& f : all_faces(M, type))
    chains[literal_face_key(f.nodes) % B].push_back(f);
  auto link_faces = [&](const element_face& e, const element_face& f) {
    N(e.local, e.element) = f.element;
    N(f.local, f.element) = e.element;
  };
  for (const auto& chain : chains) {
    std::vector<bool> consumed(chain.size(), false);
    for (std::size_t c = 0; c < chain.size(); ++c) {
      std::vector<std::size_t> matches;
      for (std::size_t d = c + 1; d < chain.size() && !consumed[c]; ++d)
        if (!consumed[d] && literal_face_equality(chain[c].nodes, chain[d].nodes) != 0) {
          consumed[d] = true;
          matches.push_back(d);
          if (link) link_faces(chain[c], chain[d]);
        }
      if (!link && matches.size() == 1) link_faces(chain[c], chain[matches[0]]);
    }
  }
  return N;
}

// On random meshes from tiny node pools get_element_boundaries appends the
// face table of every column, and get_neighbors
// follows the chained table. Steps of 23 put nodes of different faces into
// one bucket; the last step reaches node IDs near 2^32. Short mixed
// matrices narrow to their pure kind.
TEST(Faces, BoundariesAndNeighborsOnAdversarialMeshes) {
  std::mt19937 gen(20240611);
  bool link = false;
  auto check = [&](const dense2D<unsigned>& M, element_type FE) {
    dense2D<unsigned> N, out;
    link = !link;
    ASSERT_EQ(get_neighbors(padded_view(M), FE, link, N), 0);
    ASSERT_EQ(columns_of(N), columns_of(literal_neighbors(M, FE, link)))
        << "kind " << FE << " rows " << M.rows() << " link " << link;
    Vs want;
    ASSERT_EQ(get_element_boundaries(M, FE, out), 0);
    for (const element_face& f : all_faces(M, FE)) want.push_back(face_column(f, FE, M.rows()));
    ASSERT_EQ(columns_of(out), want) << "kind " << FE << " rows " << M.rows();
  };
  for (element_type FE : {ET_EDGE2, ET_TRIA3, ET_QUAD4, ET_FACE_MIX, ET_TETRA4, ET_PYRAMID5,
                          ET_WEDGE6, ET_HEXA8, ET_SOLID_MIX})
    for (unsigned pool : {2u, 3u, 5u, 7u})
      for (unsigned step : {1u, 23u, 613566757u}) {
        // Mixed kinds come short too: 3 rows, or 4, 5 and 6.
        const std::size_t rows = FE == ET_FACE_MIX && pool < 5 ? 3
                                 : FE == ET_SOLID_MIX          ? pool + 2 - pool / 5
                                                               : nbr_nodes(FE);
        check(random_degenerate(FE, rows, 25, pool, gen, step), FE);
      }
}

// Grids of every kind, plus a conforming mixed solid mesh on the nodes
// x + 3y + 6z of a 3x2x2 grid (a hexahedron, a cube cut into two wedges, a
// pyramid on top, a tetrahedron on a pyramid side), its wedges alone, mixed
// faces and edges.
std::vector<std::pair<dense2D<unsigned>, element_type>> sample_meshes() {
  const Vs wedges{{1, 2, 4, 7, 8, 10}, {2, 5, 4, 8, 11, 10}};
  Vs solids{{0, 1, 4, 3, 6, 7, 10, 9}, {6, 7, 10, 9, 12}, {6, 7, 12, 13}};
  solids.insert(solids.end(), wedges.begin(), wedges.end());
  return {{tria_grid(4, 3).connect, ET_TRIA3},
          {quad_grid(3, 4).connect, ET_QUAD4},
          {tetra_grid(3, 2, 2).connect, ET_TETRA4},
          {hexa_grid(2, 3, 2).connect, ET_HEXA8},
          {matrix_of(8, solids), ET_SOLID_MIX},
          {matrix_of(6, wedges), ET_WEDGE6},
          {matrix_of(4, {{0, 1, 5}, {0, 5, 4}, {1, 2, 6, 5}, {2, 3, 7}, {2, 7, 6}}), ET_FACE_MIX},
          {dense2D<unsigned>{{0, 1}, {1, 2}, {2, 3}, {7, 3}}, ET_EDGE2}};
}

// The skin is every face that no other face equals, in face order, as it
// stands in the face table; get_elements_on_boundaries finds each of them
// again from its column. Under random colours a face is
// written unless its neighbour has the same colour or, one side only, a
// lower index.
TEST(MeshBoundaries, SkinsAndColourInterfacesOfEveryKind) {
  std::mt19937 gen(3);
  for (const auto& [M, FE] : sample_meshes()) {
    SCOPED_TRACE(FE);
    const std::vector<element_face> faces = all_faces(M, FE);
    const unsigned F = faces_per(FE);
    dense2D<unsigned> N, skin, colored[2];
    dense1D<unsigned> numbers, ancestors, found, colors(M.cols());
    for (unsigned& c : colors) c = gen() % 3;
    ASSERT_EQ(get_neighbors(M, FE, true, N), 0);
    Vs skin_want, colored_want[2];
    V numbers_want;
    for (const element_face& f : faces) {
      const unsigned n = N(f.local, f.element);
      for (int both : {0, 1})
        if (n == no_index || (colors[n] != colors[f.element] && (both || n > f.element)))
          colored_want[both].push_back(face_column(f, FE, M.rows()));
      if (std::count_if(faces.begin(), faces.end(), [&](const element_face& g) {
            return literal_face_equality(f.nodes, g.nodes) != 0;
          }) == 1)
        skin_want.push_back(face_column(f, FE, M.rows())),
            numbers_want.push_back(f.element * F + f.local);
    }
    unsigned nbr = 0, nbr_found = 0;
    EXPECT_CODES(
        {get_mesh_boundaries(M, N, FE, skin), 0},
        {get_mesh_bounding_elements(M, N, FE, numbers, nbr), 0}, {nbr, F},
        {get_colors_boundaries(M, N, colors, FE, false, colored[0]), 0},
        {get_colors_boundaries(M, N, colors, FE, true, colored[1]), 0},
        {get_ancestors(M, ancestors), 0},
        {get_elements_on_boundaries(padded_view(skin), M, N, ancestors, FE, found, nbr_found), 0},
        {nbr_found, F});
    EXPECT_EQ(columns_of(skin), skin_want);
    EXPECT_EQ(entries(numbers), numbers_want);
    EXPECT_EQ(entries(found), numbers_want);
    EXPECT_EQ(columns_of(colored[0]), colored_want[0]);
    EXPECT_EQ(columns_of(colored[1]), colored_want[1]);
  }
}

TEST(ElementsOnBoundaries, WalkOrderAndMatchPriority) {
  // Around node 0: A = (6,0,1), B = (5,0,1), S = (0,5,6); S is the ancestor
  // and meets A across its face 1 and B across its face 2. A and B both hold
  // the edge (0,1) in the same sense. The walk pushes A then B, so B is
  // popped, and matched, first.
  const dense2D<unsigned> M{{6, 0, 1}, {5, 0, 1}, {0, 5, 6}};
  dense2D<unsigned> N;
  dense1D<unsigned> ancestors, faces;
  unsigned F = 0;
  ASSERT_EQ(get_neighbors(M, ET_TRIA3, true, N), 0);
  ASSERT_EQ(get_ancestors(M, ancestors), 0);
  ASSERT_EQ(get_elements_on_boundaries(dense2D<unsigned>{{0, 1}, {1, 0}, {6, 0}, {0, 9}}, M, N,
                                       ancestors, ET_TRIA3, faces, F),
            0);
  // (0,1): B's face 0; (1,0): the last opposite match in walk order, A's
  // face 0; (6,0): S's face 1, met before A's face 2; (0,9): nothing.
  EXPECT_EQ(entries(faces), (V{3, 0, 7, no_index}));
}

TEST(MeshBoundaries, ReturnCodesAndOutputStates) {
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}}, edges{{2, 0}, {3, 2}, {0, 1}};
  const dense2D<unsigned> tria6(6, 2, 0u), none6(3, 2, no_index);
  const dense1D<unsigned> ancestors{0, 0, 1, 1}, colors{0, 1};
  dense2D<unsigned> N, bad, out, tall(3, 1, 0u), N0(3, 3, 1u), N2(3, 3, 1u);
  ASSERT_EQ(get_neighbors(two, ET_TRIA3, true, N), 0);
  bad.copy(N);
  bad(1, 1) = 2;  // not below the number of elements
  dense1D<unsigned> faces{5, 5};
  unsigned F = 9, G = 9, H = 9;
  auto on = [&](const dense2D<unsigned>& q, const dense2D<unsigned>& M,
                const dense2D<unsigned>& links, const dense1D<unsigned>& anc, element_type FE) {
    return get_elements_on_boundaries(q, M, links, anc, FE, faces, F);
  };
  // rows 0 and 5: empty first; row 4: 3-row output; row 12: quadratic kinds
  // refused last
  EXPECT_CODES(
      {get_element_boundaries(dense2D<unsigned>(3, 0), ET_TRIA6, tall), 0},
      {get_element_boundaries(dense2D<unsigned>{{0, 1, no_index}}, ET_TRIA3, tall), -1},
      {get_element_boundaries(dense2D<unsigned>{{0, no_index, 2, 3}}, ET_FACE_MIX, tall), -1},
      {get_element_boundaries(tria6, ET_TRIA6, tall), -2},
      {get_element_boundaries(two, ET_TRIA3, tall), -2},
      {get_neighbors(dense2D<unsigned>(3, 0), ET_TRIA3, true, N0), 0},
      {get_neighbors(dense2D<unsigned>{{0, 1, 2, 3}}, ET_TRIA3, true, N2), -1},
      {get_neighbors(tria6, ET_TRIA6, true, N2), -2},
      {get_mesh_boundaries(dense2D<unsigned>(3, 0), N, ET_TRIA3, out), 0},
      {get_mesh_boundaries(two, N, ET_QUAD4, out), -1},
      {get_mesh_boundaries(two, bad, ET_TRIA3, out), -2},
      {get_mesh_boundaries(two, N, ET_TRIA3, tall), -4},
      {get_mesh_boundaries(tria6, none6, ET_TRIA6, out), -3},
      {get_mesh_bounding_elements(dense2D<unsigned>{{0, no_index, 2}}, N, ET_TRIA3, faces, G), -1},
      {get_mesh_bounding_elements(tria6, none6, ET_TRIA6, faces, H), -2},
      {on(dense2D<unsigned>(2, 0), two, N, ancestors, ET_TRIA3), 0},
      {on(dense2D<unsigned>(3, 1, 0u), two, N, ancestors, ET_TRIA3), -1},
      {on(edges, two, N, ancestors, ET_QUAD4), -2},
      {on(edges, two, N.sub_matrix(0, 0, 3, 1), ancestors, ET_TRIA3), -3},
      {on(edges, two, N, dense1D<unsigned>{0, 2}, ET_TRIA3), -4},
      {on(dense2D<unsigned>(3, 1, 0u), tria6, none6, ancestors, ET_TRIA6), -5},
      {get_colors_boundaries(dense2D<unsigned>(3, 0), N, colors, ET_TRIA6, false, out), 0},
      {get_colors_boundaries(two, N, colors, ET_TETRA4, false, out), -1},
      {get_colors_boundaries(two, bad, colors, ET_TRIA3, false, out), -2},
      {get_colors_boundaries(two, N, dense1D<unsigned>{0}, ET_TRIA3, false, out), -3},
      {get_colors_boundaries(two, N, colors, ET_TRIA3, false, tall), -5},
      {get_colors_boundaries(tria6, none6, colors, ET_TRIA6, false, out), -4});
  EXPECT_EQ(columns_of(tall), Vs{V(3, 0u)});
  EXPECT_CODES({out.cols(), 0}, {G, 0}, {H, 3}, {F, 3}, {N0.cols(), 0}, {N2.cols(), 0});

  // No ancestor, or a first node beyond the ancestors: ~0U, and the search
  // goes on. An ancestor that does not hold the node: -4, earlier entries
  // kept; a neighbour reached that does not hold it: -3.
  const V kept{1, no_index, no_index};
  for (const auto& [anc, code] :
       {std::pair{dense1D<unsigned>{no_index, 0, 0}, 0}, std::pair{dense1D<unsigned>(4, 0u), -4}}) {
    EXPECT_EQ(on(edges, two, N, anc, ET_TRIA3), code);
    EXPECT_EQ(entries(faces), kept);
  }
  const dense2D<unsigned> corrupt = matrix_of(3, {{no_index, 1}, {}});  // (2,0) "meets" 1
  EXPECT_EQ(on(dense2D<unsigned>{{1, 2}, {0, 1}}, dense2D<unsigned>{{0, 1, 2}, {3, 4, 5}}, corrupt,
               dense1D<unsigned>{0, 0, 0, 1, 1, 1}, ET_TRIA3),
            -3);
  EXPECT_EQ(entries(faces), (V{0, no_index}));
}

TEST(AppendedOutputs, RowlessColumnsStayInFrontAndCapacityDoubles) {
  // Two triangles: six faces. A fresh output takes a capacity of
  // max(2 x 0, 4), doubled once the four are used; a full one of 5 columns
  // grows to 10, then 20. Row-less columns stay in front and take the face
  // height, holding 0.
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  dense2D<unsigned> fresh, rowless(0, 3), full = copy_of(dense2D<unsigned>(2, 5, 8u));
  for (dense2D<unsigned>* out : {&fresh, &rowless, &full})
    ASSERT_EQ(get_element_boundaries(two, ET_TRIA3, *out), 0);
  Vs expected(3, V{0, 0});
  for (const V& c : columns_of(fresh)) expected.push_back(c);
  EXPECT_EQ(columns_of(rowless), expected);
  EXPECT_CODES({fresh.cols(), 6}, {fresh.col_capacity(), 8}, {full.col_capacity(), 20});
}

}  // namespace
}  // namespace quernfold_test
