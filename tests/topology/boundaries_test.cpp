#include <gtest/gtest.h>

#include <array>

#include "support/mesh_gen.h"
#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

// A conforming mixed solid mesh on the nodes x + 3y + 6z of a 3x2x2 grid
// (plus nodes 12 and 13 above it): a hexahedron, the neighbouring cube cut
// into two wedges, a pyramid on the hexahedron's top and a tetrahedron on
// one pyramid side.
dense2D<unsigned> mixed_solids() {
  return matrix_of(8, {{0, 1, 4, 3, 6, 7, 10, 9},
                       {1, 2, 4, 7, 8, 10},
                       {2, 5, 4, 8, 11, 10},
                       {6, 7, 10, 9, 12},
                       {6, 7, 12, 13}});
}

// Quadrangle grid in a 4-row mixed matrix, every other square cut into two
// triangles of the same orientation.
dense2D<unsigned> mixed_faces(unsigned nx, unsigned ny) {
  const mesh q = quad_grid(nx, ny);
  std::vector<V> cols;
  for (std::size_t e = 0; e < q.connect.cols(); ++e) {
    const unsigned* s = q.connect.column(e);
    if (e % 2) {
      cols.push_back({s[0], s[1], s[2], s[3]});
    } else {
      cols.push_back({s[0], s[1], s[2]});
      cols.push_back({s[0], s[2], s[3]});
    }
  }
  return matrix_of(4, cols);
}

struct kind_mesh {
  dense2D<unsigned> connect;
  element_type FE;
};

std::vector<kind_mesh> sample_meshes() {
  return {{tria_grid(4, 3).connect, ET_TRIA3},
          {quad_grid(3, 4).connect, ET_QUAD4},
          {tetra_grid(3, 2, 2).connect, ET_TETRA4},
          {hexa_grid(2, 3, 2).connect, ET_HEXA8},
          {mixed_solids(), ET_SOLID_MIX},
          {mixed_faces(4, 3), ET_FACE_MIX},
          {dense2D<unsigned>{{0, 1}, {1, 2}, {2, 3}, {7, 3}}, ET_EDGE2}};
}

// Neighbours, boundary columns and boundary face numbers of one mesh.
struct boundary_set {
  dense2D<unsigned> neighbors, skin;
  dense1D<unsigned> faces;
  unsigned F = 0;
};

boundary_set boundaries_of(const kind_mesh& km) {
  boundary_set b;
  EXPECT_EQ(get_neighbors(km.connect, km.FE, true, b.neighbors), 0);
  EXPECT_EQ(get_mesh_boundaries(km.connect, b.neighbors, km.FE, b.skin), 0);
  EXPECT_EQ(get_mesh_bounding_elements(km.connect, b.neighbors, km.FE, b.faces, b.F), 0);
  return b;
}

TEST(MeshBoundaries, WorkedExamples) {
  const dense2D<unsigned> tria{{0, 1, 2}};
  const dense2D<unsigned> none(3, 1, kNo);
  dense2D<unsigned> out;
  ASSERT_EQ(get_mesh_boundaries(tria, none, ET_TRIA3, out), 0);
  EXPECT_EQ(columns_of(out), (std::vector<V>{{1, 2}, {2, 0}, {0, 1}}));
  dense1D<unsigned> faces{99};
  unsigned F = 0;
  ASSERT_EQ(get_mesh_bounding_elements(tria, none, ET_TRIA3, faces, F), 0);
  EXPECT_EQ(to_vector(faces), (V{99, 0, 1, 2}));
  EXPECT_EQ(F, 3u);

  // Two triangles: four edges, each in the sense of its own triangle;
  // appended behind the earlier columns.
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(two, ET_TRIA3, true, N), 0);
  ASSERT_EQ(get_mesh_boundaries(two, N, ET_TRIA3, out), 0);
  EXPECT_EQ(columns_of(out),
            (std::vector<V>{{1, 2}, {2, 0}, {0, 1}, {2, 0}, {0, 1}, {1, 3}, {3, 2}}));

  // Mixed faces: a triangle column has at most 3 boundary faces (F = 4).
  const dense2D<unsigned> mixed{{0, 1, 2, kNo}, {2, 1, 3, 4}};
  ASSERT_EQ(get_neighbors(mixed, ET_FACE_MIX, true, N), 0);
  faces.clear();
  ASSERT_EQ(get_mesh_bounding_elements(mixed, N, ET_FACE_MIX, faces, F), 0);
  EXPECT_EQ(F, 4u);
  EXPECT_EQ(to_vector(faces), (V{1, 2, 5, 6, 7}));

  // Mixed solids: a tetrahedron's faces as 4-row columns, F = 6.
  const dense2D<unsigned> tet{{0, 1, 2, 3, kNo, kNo, kNo, kNo}};
  ASSERT_EQ(get_neighbors(tet, ET_SOLID_MIX, true, N), 0);
  dense2D<unsigned> skin;
  ASSERT_EQ(get_mesh_boundaries(tet, N, ET_SOLID_MIX, skin), 0);
  EXPECT_EQ(columns_of(skin),
            (std::vector<V>{{1, 2, 3, kNo}, {2, 0, 3, kNo}, {0, 1, 3, kNo}, {2, 1, 0, kNo}}));
  faces.clear();
  ASSERT_EQ(get_mesh_bounding_elements(tet, N, ET_SOLID_MIX, faces, F), 0);
  EXPECT_EQ(F, 6u);
  EXPECT_EQ(to_vector(faces), (V{0, 1, 2, 3}));
}

TEST(MeshBoundaries, ReturnCodesInOrder) {
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(two, ET_TRIA3, true, N), 0);
  dense2D<unsigned> out;
  EXPECT_EQ(get_mesh_boundaries(dense2D<unsigned>(3, 0), N, ET_TRIA3, out), 0);
  EXPECT_EQ(get_mesh_boundaries(two, N, ET_QUAD4, out), -1);
  dense2D<unsigned> bad;
  bad.copy(N);
  bad(1, 1) = 2;  // not below the number of elements
  EXPECT_EQ(get_mesh_boundaries(two, bad, ET_TRIA3, out), -2);
  EXPECT_EQ(get_mesh_boundaries(two, N.sub_matrix(0, 0, 3, 1), ET_TRIA3, out), -2);
  EXPECT_EQ(get_mesh_boundaries(two, N.sub_matrix(0, 0, 2, 2), ET_TRIA3, out), -2);
  dense2D<unsigned> tall(3, 1, 0u);
  EXPECT_EQ(get_mesh_boundaries(two, N, ET_TRIA3, tall), -4);
  EXPECT_EQ(tall.cols(), 1u);
  // Quadratic kinds pass the shape checks and are refused last.
  const dense2D<unsigned> tria6(6, 2, 0u);
  EXPECT_EQ(get_mesh_boundaries(tria6, dense2D<unsigned>(3, 2, kNo), ET_TRIA6, out), -3);
  // ET_TRIA6 face columns would have 3 rows.
  dense2D<unsigned> low(2, 1, 0u);
  EXPECT_EQ(get_mesh_boundaries(tria6, dense2D<unsigned>(3, 2, kNo), ET_TRIA6, low), -4);
  // Node IDs are not checked.
  EXPECT_EQ(get_mesh_boundaries(dense2D<unsigned>{{0, kNo, 2}}, dense2D<unsigned>(3, 1, kNo),
                                ET_TRIA3, out),
            0);
  EXPECT_EQ(column_of(out, 0), (V{kNo, 2}));

  unsigned F = 77;
  dense1D<unsigned> faces;
  EXPECT_EQ(get_mesh_bounding_elements(dense2D<unsigned>(3, 0), N, ET_TRIA3, faces, F), 0);
  EXPECT_EQ(F, 0u);
  F = 77;
  EXPECT_EQ(get_mesh_bounding_elements(dense2D<unsigned>{{0, kNo, 2}}, N, ET_TRIA3, faces, F), -1);
  EXPECT_EQ(F, 0u);
  EXPECT_EQ(get_mesh_bounding_elements(tria6, dense2D<unsigned>(3, 2, kNo), ET_TRIA6, faces, F),
            -2);
  EXPECT_EQ(F, 3u);
  EXPECT_EQ(get_mesh_bounding_elements(two, N.sub_matrix(0, 0, 3, 1), ET_TRIA3, faces, F), -2);
  // Entries are not checked here: an entry of 2 is an element, not ~0U.
  ASSERT_EQ(get_mesh_bounding_elements(two, bad, ET_TRIA3, faces, F), 0);
  EXPECT_EQ(to_vector(faces), (V{1, 2, 3}));
}

// Each boundary face number carries its boundary column; the skin of a
// volume grid has the closed-form face count and is a closed surface whose
// every edge its two faces traverse in opposite directions.
TEST(MeshBoundaries, GridsGiveConsistentSkins) {
  for (const kind_mesh& km : sample_meshes()) {
    SCOPED_TRACE(km.FE);
    const boundary_set b = boundaries_of(km);
    const dense2D<unsigned>& N = b.neighbors;
    const dense2D<unsigned>& skin = b.skin;
    const dense1D<unsigned>& faces = b.faces;
    const unsigned F = b.F;
    ASSERT_EQ(faces.size(), skin.cols());
    std::vector<element_face> all = all_faces(km.connect, km.FE);
    for (std::size_t k = 0; k < faces.size(); ++k) {
      const unsigned e = faces[k] / F, i = faces[k] % F;
      EXPECT_EQ(N(i, e), kNo);
      const auto it = std::find_if(all.begin(), all.end(), [&](const element_face& f) {
        return f.element == e && f.local == i;
      });
      ASSERT_NE(it, all.end());
      V col = column_of(skin, k);
      col.resize(it->nodes.size());
      EXPECT_EQ(col, it->nodes);
    }
  }

  const unsigned nx = 3, ny = 2, nz = 4;
  const mesh grids[] = {tetra_grid(nx, ny, nz), hexa_grid(nx, ny, nz)};
  for (const mesh& m : grids) {
    const element_type FE = m.connect.rows() == 4 ? ET_TETRA4 : ET_HEXA8;
    dense2D<unsigned> N, skin;
    ASSERT_EQ(get_neighbors(m.connect, FE, true, N), 0);
    ASSERT_EQ(get_mesh_boundaries(m.connect, N, FE, skin), 0);
    const std::size_t squares = 2 * (nx * ny + ny * nz + nx * nz);
    EXPECT_EQ(skin.cols(), FE == ET_TETRA4 ? 2 * squares : squares);
    // Every skin edge is met by exactly one other skin face, in the
    // opposite direction.
    const element_type skin_kind = FE == ET_TETRA4 ? ET_TRIA3 : ET_QUAD4;
    dense2D<unsigned> skin_neighbors;
    ASSERT_EQ(get_neighbors(skin, skin_kind, false, skin_neighbors), 0);
    const auto edges = all_faces(skin, skin_kind);
    for (const element_face& e : edges) {
      const unsigned other = skin_neighbors(e.local, e.element);
      ASSERT_NE(other, kNo);
      const unsigned* c = skin.column(other);
      bool reversed = false;
      for (unsigned k = 0; k < skin.rows(); ++k)
        reversed |= c[k] == e.nodes[1] && c[(k + 1) % skin.rows()] == e.nodes[0];
      EXPECT_TRUE(reversed);
    }
  }
}

TEST(ElementsOnBoundaries, FindsTheFacesOfEveryBoundaryInEitherSense) {
  for (const kind_mesh& km : sample_meshes()) {
    SCOPED_TRACE(km.FE);
    const boundary_set b = boundaries_of(km);
    dense1D<unsigned> ancestors, found;
    unsigned G = 0;
    ASSERT_EQ(get_ancestors(km.connect, ancestors), 0);
    ASSERT_EQ(
        get_elements_on_boundaries(b.skin, km.connect, b.neighbors, ancestors, km.FE, found, G), 0);
    EXPECT_EQ(G, b.F);
    EXPECT_EQ(to_vector(found), to_vector(b.faces));

    // Reversed columns: found by the opposite-sense rule.
    dense2D<unsigned> reversed;
    reversed.copy(b.skin);
    for (std::size_t k = 0; k < reversed.cols(); ++k) {
      unsigned* c = reversed.column(k);
      const std::size_t n = reversed.rows() == 4 && c[3] == kNo ? 3 : reversed.rows();
      std::reverse(c, c + n);
    }
    ASSERT_EQ(get_elements_on_boundaries(padded_view(reversed), km.connect, b.neighbors, ancestors,
                                         km.FE, found, G),
              0);
    EXPECT_EQ(to_vector(found), to_vector(b.faces));
  }
}

TEST(ElementsOnBoundaries, WalkOrderAndMatchPriority) {
  // Around node 0: A = (6,0,1), B = (5,0,1), S = (0,5,6); S is the ancestor
  // and meets A across its face 1 and B across its face 2. A and B both hold
  // the edge (0,1) in the same sense. The walk pushes A then B, so B is
  // popped, and matched, first.
  const dense2D<unsigned> M{{6, 0, 1}, {5, 0, 1}, {0, 5, 6}};
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(M, ET_TRIA3, true, N), 0);
  dense1D<unsigned> ancestors, faces;
  ASSERT_EQ(get_ancestors(M, ancestors), 0);
  ASSERT_EQ(ancestors[0], 2u);
  unsigned F = 0;
  ASSERT_EQ(get_elements_on_boundaries(dense2D<unsigned>{{0, 1}, {1, 0}, {6, 0}, {0, 9}}, M, N,
                                       ancestors, ET_TRIA3, faces, F),
            0);
  // (0,1): B's face 0; (1,0): the last opposite match in walk order, A's
  // face 0; (6,0): S's face 1, met before A's face 2 (same sense too);
  // (0,9): nothing.
  EXPECT_EQ(to_vector(faces), (V{3, 0, 7, kNo}));
}

TEST(ElementsOnBoundaries, ReturnCodesAndMissingAncestors) {
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(two, ET_TRIA3, true, N), 0);
  dense1D<unsigned> ancestors{0, 0, 1, 1}, faces{5, 5};
  unsigned F = 9;
  const dense2D<unsigned> edges{{2, 0}, {3, 2}};

  EXPECT_EQ(
      get_elements_on_boundaries(dense2D<unsigned>(2, 0), two, N, ancestors, ET_TRIA3, faces, F),
      0);
  EXPECT_TRUE(faces.empty());
  EXPECT_EQ(F, 0u);
  EXPECT_EQ(get_elements_on_boundaries(dense2D<unsigned>(3, 1, 0u), two, N, ancestors, ET_TRIA3,
                                       faces, F),
            -1);
  EXPECT_EQ(get_elements_on_boundaries(edges, two, N, ancestors, ET_QUAD4, faces, F), -2);
  EXPECT_EQ(get_elements_on_boundaries(edges, two, N.sub_matrix(0, 0, 3, 1), ancestors, ET_TRIA3,
                                       faces, F),
            -3);
  EXPECT_EQ(get_elements_on_boundaries(edges, two, N, dense1D<unsigned>{0, 2}, ET_TRIA3, faces, F),
            -4);
  EXPECT_EQ(F, 0u);
  EXPECT_EQ(get_elements_on_boundaries(dense2D<unsigned>(3, 1, 0u), dense2D<unsigned>(6, 2, 0u),
                                       dense2D<unsigned>(3, 2, kNo), ancestors, ET_TRIA6, faces, F),
            -5);
  EXPECT_EQ(F, 3u);

  // No ancestor, or a first node beyond the ancestors: ~0U, and the search
  // goes on.
  dense1D<unsigned> partial{kNo, 0};
  const dense2D<unsigned> queries{{0, 1}, {3, 2}, {1, 2}};
  ASSERT_EQ(get_elements_on_boundaries(queries, two, N, partial, ET_TRIA3, faces, F), 0);
  EXPECT_EQ(to_vector(faces), (V{kNo, kNo, 0}));

  // An ancestor that does not hold the node: -4, earlier entries kept.
  dense1D<unsigned> wrong{0, 0, 0, 0};
  ASSERT_EQ(get_elements_on_boundaries(dense2D<unsigned>{{2, 0}, {3, 2}, {0, 1}}, two, N, wrong,
                                       ET_TRIA3, faces, F),
            -4);
  EXPECT_EQ(to_vector(faces), (V{1, kNo, kNo}));

  // A neighbour reached that does not hold the node: -3.
  const dense2D<unsigned> apart{{0, 1, 2}, {3, 4, 5}};
  dense2D<unsigned> corrupt(3, 2, kNo);
  corrupt(1, 0) = 1;  // face (2,0) of element 0 "meets" element 1
  ASSERT_EQ(get_elements_on_boundaries(dense2D<unsigned>{{1, 2}, {0, 1}}, apart, corrupt,
                                       dense1D<unsigned>{0, 0, 0, 1, 1, 1}, ET_TRIA3, faces, F),
            -3);
  EXPECT_EQ(to_vector(faces), (V{0, kNo}));

  // The same with a hexahedron reaching a tetrahedron in a mixed matrix.
  const dense2D<unsigned> solids{{0, 1, 2, 3, 4, 5, 6, 7}, {8, 9, 10, 11, kNo, kNo, kNo, kNo}};
  dense2D<unsigned> links(6, 2, kNo);
  links(0, 0) = 1;  // face (0,3,7,4) holds node 0
  dense1D<unsigned> anc(12, 0u);
  ASSERT_EQ(get_elements_on_boundaries(dense2D<unsigned>{{0, 1, 2, 3}}, solids, links, anc,
                                       ET_SOLID_MIX, faces, F),
            -3);
}

}  // namespace
}  // namespace quernfold_test
