// Element kinds: property tables, version and the typed connectivity check.
#include <gtest/gtest.h>

#include <quernfold/quernfold.h>

#include "model/model_test_util.h"

using namespace ovk::quernfold;
using quernfold_model_test::kNo;
using quernfold_model_test::padded_window;

TEST(ElementTypes, VersionIsStable) {
  EXPECT_STREQ(version(), "5.1.0.0");
  EXPECT_EQ(version(), version());
}

TEST(ElementTypes, PropertyTables) {
  struct row {
    element_type FE;
    unsigned nodes, base, dim, boundaries;
  };
  const row table[] = {
      {ET_UNKNOWN, 0, 0, 0, 0},    {ET_NODE, 1, 1, 0, 0},       {ET_EDGE_MIX, 2, 2, 1, 2},
      {ET_EDGE2, 2, 2, 1, 2},      {ET_EDGE3, 3, 2, 1, 2},      {ET_FACE_MIX, 4, 4, 2, 4},
      {ET_TRIA3, 3, 3, 2, 3},      {ET_QUAD4, 4, 4, 2, 4},      {ET_TRIA6, 6, 3, 2, 3},
      {ET_QUAD8, 8, 4, 2, 4},      {ET_QUAD9, 9, 4, 2, 4},      {ET_SOLID_MIX, 8, 8, 3, 6},
      {ET_TETRA4, 4, 4, 3, 4},     {ET_TETRA10, 10, 4, 3, 4},   {ET_PYRAMID5, 5, 5, 3, 5},
      {ET_PYRAMID13, 13, 5, 3, 5}, {ET_PYRAMID14, 14, 5, 3, 5}, {ET_WEDGE6, 6, 6, 3, 5},
      {ET_WEDGE15, 15, 6, 3, 5},   {ET_WEDGE18, 18, 6, 3, 5},   {ET_HEXA8, 8, 8, 3, 6},
      {ET_HEXA20, 20, 8, 3, 6},    {ET_HEXA27, 27, 8, 3, 6}};
  int value = 0;
  for (const row& r : table) {
    EXPECT_EQ(static_cast<int>(r.FE), value++);
    EXPECT_EQ(nbr_nodes(r.FE), r.nodes) << r.FE;
    EXPECT_EQ(nbr_base_nodes(r.FE), r.base) << r.FE;
    EXPECT_EQ(element_dim(r.FE), r.dim) << r.FE;
    EXPECT_EQ(nbr_boundaries(r.FE), r.boundaries) << r.FE;
  }
  EXPECT_EQ(value, 23);
  // Out of range: documented as 0.
  EXPECT_EQ(nbr_nodes(static_cast<element_type>(23)), 0u);
  EXPECT_EQ(element_dim(static_cast<element_type>(31)), 0u);
}

TEST(TypedCheckIDs, EmptyMatricesAndPureKinds) {
  for (int k = 0; k < 23; ++k) {
    const auto FE = static_cast<element_type>(k);
    EXPECT_TRUE(check_IDs(dense2D<unsigned>(), FE, 0));
    EXPECT_TRUE(check_IDs(dense2D<unsigned>(nbr_nodes(FE) + 1, 0), FE, 5));
  }
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0}}, ET_UNKNOWN, 10));

  const dense2D<unsigned> tri{{0, 1, 2}, {2, 3, 0}};
  EXPECT_TRUE(check_IDs(tri, ET_TRIA3, 4));
  EXPECT_FALSE(check_IDs(tri, ET_TRIA3, 3));  // node 3 does not exist
  EXPECT_FALSE(check_IDs(tri, ET_TRIA3, 0));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1, 2, 3}}, ET_TRIA3, 9));  // rows must match
  EXPECT_FALSE(check_IDs(tri, ET_QUAD4, 9));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, kNo}}, ET_EDGE2, kNo));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, kNo - 1}}, ET_EDGE2, kNo));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, 1}}, ET_EDGE_MIX, 2));  // read as ET_EDGE2
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, kNo}}, ET_EDGE_MIX, 2));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1, 2}}, ET_EDGE_MIX, 3));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{4}}, ET_NODE, 5));

  // A failing column anywhere fails the whole matrix.
  dense2D<unsigned> hexes(8, 50);
  for (unsigned e = 0; e < 50; ++e)
    for (unsigned r = 0; r < 8; ++r) hexes(r, e) = e + r;
  EXPECT_TRUE(check_IDs(hexes, ET_HEXA8, 57));
  EXPECT_FALSE(check_IDs(hexes, ET_HEXA8, 56));

  // Only the window's entries are read, not the gap rows of its parent.
  dense2D<unsigned> parent;
  const dense2D<unsigned> w = padded_window({{0, 1}, {1, 2}}, kNo, parent);
  EXPECT_TRUE(check_IDs(w, ET_EDGE2, 3));
}

TEST(TypedCheckIDs, FaceMix) {
  // Three rows: plain triangles.
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, 1, 2}}, ET_FACE_MIX, 3));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1, kNo}}, ET_FACE_MIX, 3));
  // Four rows: row 3 may be ~0U.
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, 1, 2, kNo}, {0, 1, 2, 3}}, ET_FACE_MIX, 4));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, kNo, 2, 3}}, ET_FACE_MIX, 4));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1, 2, 4}}, ET_FACE_MIX, 4));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1, 5, kNo}}, ET_FACE_MIX, 4));
  // Any other height is refused.
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1, 2, 3, 4}}, ET_FACE_MIX, 9));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1}}, ET_FACE_MIX, 9));
}

TEST(TypedCheckIDs, SolidMix) {
  auto ok = [](std::initializer_list<unsigned> c, unsigned nods = 8) {
    return check_IDs(dense2D<unsigned>{c}, ET_SOLID_MIX, nods);
  };
  EXPECT_TRUE(ok({0, 1, 2, 3, kNo, kNo, kNo, kNo}));  // tetrahedron
  EXPECT_TRUE(ok({0, 1, 2, 3, 4, kNo, kNo, kNo}));    // pyramid
  EXPECT_TRUE(ok({0, 1, 2, 3, 4, 5, kNo, kNo}));      // wedge
  EXPECT_TRUE(ok({0, 1, 2, 3, 4, 5, 6, 7}));          // hexahedron
  EXPECT_FALSE(ok({0, 1, 2, 3, 4, kNo, 6, kNo}));     // a node after the end
  EXPECT_FALSE(ok({0, 1, 2, 3, 4, 5, 6, kNo}));       // first ~0U in row 7
  EXPECT_FALSE(ok({0, 1, 2, kNo, kNo, kNo, kNo, kNo}));
  EXPECT_FALSE(ok({kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo}));
  EXPECT_FALSE(ok({0, 1, 2, 3, 8, kNo, kNo, kNo}));  // node 8 of 8
  EXPECT_FALSE(ok({0, 1, 2, 3, 4, 5, 6, 7}, 7));
  EXPECT_TRUE(ok({0, 1, 2, 3, 4, 5, 6, 7}, kNo));

  // Heights of one pure shape are read as that shape; ~0U is then refused.
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, 1, 2, 3}}, ET_SOLID_MIX, 4));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, 1, 2, 3, 4}}, ET_SOLID_MIX, 5));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>{{0, 1, 2, 3, 4, 5}}, ET_SOLID_MIX, 6));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1, 2, 3, kNo}}, ET_SOLID_MIX, 5));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1, 2, 3, 4, 5, 6}}, ET_SOLID_MIX, 9));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>{{0, 1, 2}}, ET_SOLID_MIX, 9));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>(9, 1), ET_SOLID_MIX, 9));
}
