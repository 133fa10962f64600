#include <gtest/gtest.h>

#include "support/mesh_gen.h"
#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

struct kind_mesh {
  dense2D<unsigned> connect;
  element_type FE;
};

// Grids of every kind, plus a conforming mixed solid mesh on the nodes
// x + 3y + 6z of a 3x2x2 grid (a hexahedron, a cube cut into two wedges, a
// pyramid on top, a tetrahedron on a pyramid side) and mixed faces.
std::vector<kind_mesh> sample_meshes() {
  return {{tria_grid(4, 3).connect, ET_TRIA3},
          {quad_grid(3, 4).connect, ET_QUAD4},
          {tetra_grid(3, 2, 2).connect, ET_TETRA4},
          {hexa_grid(2, 3, 2).connect, ET_HEXA8},
          {matrix_of(8, {{0, 1, 4, 3, 6, 7, 10, 9},
                         {1, 2, 4, 7, 8, 10},
                         {2, 5, 4, 8, 11, 10},
                         {6, 7, 10, 9, 12},
                         {6, 7, 12, 13}}),
           ET_SOLID_MIX},
          {matrix_of(4, {{0, 1, 5}, {0, 5, 4}, {1, 2, 6, 5}, {2, 3, 7}, {2, 7, 6}}), ET_FACE_MIX},
          {dense2D<unsigned>{{0, 1}, {1, 2}, {2, 3}, {7, 3}}, ET_EDGE2}};
}

TEST(MeshBoundaries, WorkedExamplesAndReturnCodes) {
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}}, tria6(6, 2, 0u), none6(3, 2, no_index);
  dense2D<unsigned> N, out, bad, tall(3, 1, 0u), low(2, 1, 0u);
  ASSERT_EQ(get_neighbors(two, ET_TRIA3, true, N), 0);
  ASSERT_EQ(get_mesh_boundaries(two, N, ET_TRIA3, out), 0);
  EXPECT_EQ(columns_of(out), (std::vector<V>{{2, 0}, {0, 1}, {1, 3}, {3, 2}}));
  dense1D<unsigned> faces;
  unsigned F = 0;
  EXPECT_EQ(get_mesh_bounding_elements(dense2D<unsigned>{{0, no_index, 2}}, N, ET_TRIA3, faces, F),
            -1);
  EXPECT_EQ(F, 0u);

  bad.copy(N);
  bad(1, 1) = 2;  // not below the number of elements
  EXPECT_EQ(get_mesh_boundaries(dense2D<unsigned>(3, 0), N, ET_TRIA3, out), 0);
  EXPECT_EQ(get_mesh_boundaries(two, N, ET_QUAD4, out), -1);
  EXPECT_EQ(get_mesh_boundaries(two, bad, ET_TRIA3, out), -2);
  EXPECT_EQ(get_mesh_boundaries(two, N, ET_TRIA3, tall), -4);
  EXPECT_EQ(tall.cols(), 1u);
  // Quadratic kinds pass the shape checks and are refused last.
  dense2D<unsigned> fresh;
  EXPECT_EQ(get_mesh_boundaries(tria6, none6, ET_TRIA6, fresh), -3);
  EXPECT_EQ(get_mesh_boundaries(tria6, none6, ET_TRIA6, low), -4);
  EXPECT_EQ(get_mesh_bounding_elements(tria6, none6, ET_TRIA6, faces, F), -2);
  EXPECT_EQ(F, 3u);
  // Entries are not checked here: an entry of 2 is an element, not ~0U.
  faces.clear();
  ASSERT_EQ(get_mesh_bounding_elements(two, bad, ET_TRIA3, faces, F), 0);
  EXPECT_EQ(to_vector(faces), (V{1, 2, 3}));
}

// Each boundary face number carries its boundary column, and
// get_elements_on_boundaries finds those faces again from the columns, in
// either sense.
TEST(MeshBoundaries, SkinsAgreeWithFacesAndAreFoundAgain) {
  for (const kind_mesh& km : sample_meshes()) {
    SCOPED_TRACE(km.FE);
    dense2D<unsigned> N, skin;
    dense1D<unsigned> faces, ancestors, found;
    unsigned F = 0, G = 0;
    ASSERT_EQ(get_neighbors(km.connect, km.FE, true, N), 0);
    ASSERT_EQ(get_mesh_boundaries(km.connect, N, km.FE, skin), 0);
    ASSERT_EQ(get_mesh_bounding_elements(km.connect, N, km.FE, faces, F), 0);
    ASSERT_EQ(faces.size(), skin.cols());
    ASSERT_GT(faces.size(), 0u);
    const std::vector<element_face> all = all_faces(km.connect, km.FE);
    for (std::size_t k = 0; k < faces.size(); ++k) {
      const unsigned e = faces[k] / F, i = faces[k] % F;
      EXPECT_EQ(N(i, e), no_index);
      const auto it = std::find_if(all.begin(), all.end(), [&](const element_face& f) {
        return f.element == e && f.local == i;
      });
      ASSERT_NE(it, all.end());
      V col = column_of(skin, k);
      col.resize(it->nodes.size());
      EXPECT_EQ(col, it->nodes);
    }
    ASSERT_EQ(get_ancestors(km.connect, ancestors), 0);
    ASSERT_EQ(get_elements_on_boundaries(skin, km.connect, N, ancestors, km.FE, found, G), 0);
    EXPECT_EQ(G, F);
    EXPECT_EQ(to_vector(found), to_vector(faces));
    for (std::size_t k = 0; k < skin.cols(); ++k) {
      unsigned* c = skin.column(k);
      std::reverse(c, c + (skin.rows() == 4 && c[3] == no_index ? 3 : skin.rows()));
    }
    ASSERT_EQ(
        get_elements_on_boundaries(padded_view(skin), km.connect, N, ancestors, km.FE, found, G),
        0);
    EXPECT_EQ(to_vector(found), to_vector(faces));
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
  // face 0; (6,0): S's face 1, met before A's face 2; (0,9): nothing.
  EXPECT_EQ(to_vector(faces), (V{3, 0, 7, no_index}));
}

TEST(ElementsOnBoundaries, ReturnCodesAndMissingAncestors) {
  const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}}, edges{{2, 0}, {3, 2}, {0, 1}};
  dense2D<unsigned> N;
  ASSERT_EQ(get_neighbors(two, ET_TRIA3, true, N), 0);
  const dense1D<unsigned> ancestors{0, 0, 1, 1};
  dense1D<unsigned> faces{5, 5};
  unsigned F = 9;
  auto run = [&](const dense2D<unsigned>& q, const dense2D<unsigned>& M,
                 const dense2D<unsigned>& links, const dense1D<unsigned>& anc, element_type FE) {
    return get_elements_on_boundaries(q, M, links, anc, FE, faces, F);
  };
  EXPECT_EQ(run(dense2D<unsigned>(2, 0), two, N, ancestors, ET_TRIA3), 0);
  EXPECT_TRUE(faces.empty());
  EXPECT_EQ(F, 0u);
  EXPECT_EQ(run(dense2D<unsigned>(3, 1, 0u), two, N, ancestors, ET_TRIA3), -1);
  EXPECT_EQ(run(edges, two, N, ancestors, ET_QUAD4), -2);
  EXPECT_EQ(run(edges, two, N.sub_matrix(0, 0, 3, 1), ancestors, ET_TRIA3), -3);
  EXPECT_EQ(run(dense2D<unsigned>(3, 1, 0u), dense2D<unsigned>(6, 2, 0u),
                dense2D<unsigned>(3, 2, no_index), ancestors, ET_TRIA6),
            -5);
  EXPECT_EQ(F, 3u);
  // No ancestor, or a first node beyond the ancestors: ~0U, and the search
  // goes on.
  ASSERT_EQ(run(edges, two, N, dense1D<unsigned>{no_index, 0, 0}, ET_TRIA3), 0);
  EXPECT_EQ(to_vector(faces), (V{1, no_index, no_index}));
  // An ancestor that does not hold the node: -4, earlier entries kept.
  ASSERT_EQ(run(edges, two, N, dense1D<unsigned>(4, 0u), ET_TRIA3), -4);
  EXPECT_EQ(to_vector(faces), (V{1, no_index, no_index}));
  // A neighbour reached that does not hold the node: -3.
  dense2D<unsigned> corrupt(3, 2, no_index);
  corrupt(1, 0) = 1;  // face (2,0) of element 0 "meets" element 1
  ASSERT_EQ(run(dense2D<unsigned>{{1, 2}, {0, 1}}, dense2D<unsigned>{{0, 1, 2}, {3, 4, 5}}, corrupt,
                dense1D<unsigned>{0, 0, 0, 1, 1, 1}, ET_TRIA3),
            -3);
  EXPECT_EQ(to_vector(faces), (V{0, no_index}));
}

}  // namespace
}  // namespace quernfold_test
