// Files written by other software, read with the matching reader and
// compared with the independent counts of the corpus census, where the
// reader's own rules (merging, dropped element kinds, nodes stored by
// identifier) make them comparable.
#include <gtest/gtest.h>
#include <quernfold/io.h>

#include <cmath>
#include <map>

#include "support/io_files.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

class real_meshes : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!real_meshes_present()) GTEST_SKIP() << "no mesh corpus at " << QUERNFOLD_MESH_DIR;
  }
};

struct stl_census {
  const char* file;
  std::size_t nodes, triangles;
};

TEST_F(real_meshes, StlFiles) {
  const stl_census files[] = {
      {"trimesh_counter_unitsmm_bin.stl", 41837, 83750},
      {"numpystl_rear_case_bin.stl", 9404, 18808},
      {"trimesh_20mm_xyz_cube_bin_color.stl", 132, 260},
      {"numpystl_halfdonut_bin_trailing_byte.stl", 144, 288},
      {"numpystl_halfdonut_ascii.stl", 144, 288},
      // 56 triangles repeat a vertex and are removed.
      {"assimp_spider_ascii.stl", 722, 1312},
      {"assimp_spider_bin.stl", 722, 1312},
      {"trimesh_multibody_2solids_crlf.stl", 20, 32},
      {"assimp_triangle_with_empty_solid.stl", 3, 1},
      {"assimp_sphere_with_hole_tab.stl", 146, 285},
      {"numpystl_cube_pro2stl_crlf.stl", 8, 12},
      {"numpystl_bwb_ascii.stl", 2234, 4464},
      {"trimesh_soup_bin.stl", 300, 100},
  };
  for (const stl_census& f : files) {
    SCOPED_TRACE(f.file);
    dense2D<double> coords;
    dense2D<unsigned> connect;
    ASSERT_EQ(STL_input(real_mesh(std::string("stl/") + f.file).c_str(), coords, connect), 0);
    EXPECT_EQ(coords.cols(), f.nodes);
    EXPECT_EQ(connect.cols(), f.triangles);
    EXPECT_TRUE(check_IDs(connect, ET_TRIA3, static_cast<unsigned>(coords.cols())));
  }
}

// The text and binary files of one model give the same mesh (binary
// coordinates are 32-bit floats).
TEST_F(real_meshes, StlPairsAgree) {
  const char* const pairs[][2] = {
      {"assimp_spider_ascii.stl", "assimp_spider_bin.stl"},
      {"numpystl_halfdonut_ascii.stl", "numpystl_halfdonut_bin_trailing_byte.stl"}};
  for (const auto& p : pairs) {
    SCOPED_TRACE(p[0]);
    dense2D<double> ca, cb;
    dense2D<unsigned> ta, tb;
    ASSERT_EQ(STL_input(real_mesh(std::string("stl/") + p[0]).c_str(), ca, ta), 0);
    ASSERT_EQ(STL_input(real_mesh(std::string("stl/") + p[1]).c_str(), cb, tb), 0);
    ASSERT_TRUE(same_matrix(ta, tb));
    ASSERT_EQ(ca.cols(), cb.cols());
    for (std::size_t j = 0; j < ca.cols(); ++j)
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(ca(i, j), cb(i, j), 1e-4 * (1 + std::abs(ca(i, j))));
  }
}

struct obj_census {
  const char* file;
  int code;
  std::size_t v, vt, vn, tria, quad;
};

TEST_F(real_meshes, ObjFiles) {
  const obj_census files[] = {
      {"trimesh_negative_indices.obj", 0, 8, 14, 6, 0, 6},
      {"trimesh_rabbit_tri_quad_16gon.obj", 0, 644, 0, 732, 176, 496},
      {"trimesh_quadknot_meshlab.obj", 0, 1440, 3, 1440, 0, 1440},
      {"trimesh_capsule.obj", 0, 5252, 5252, 5252, 10200, 0},
      // The backslash continuation is a malformed face word; no triangle or
      // quadrangle comes before it.
      {"trimesh_wallhole_continuation.obj", -2, 92, 92, 92, 0, 0},
      {"assimp_spider.obj", 0, 762, 302, 747, 1368, 0},
      {"assimp_regr01_mixed_face_forms.obj", 0, 2108, 688, 0, 2710, 0},
      {"assimp_testmixed_lines_points.obj", 0, 8, 0, 0, 0, 6},
      {"assimp_concave_polygon_66.obj", 0, 64, 0, 1, 0, 0},
  };
  for (const obj_census& f : files) {
    SCOPED_TRACE(f.file);
    dense2D<double> coords, uv, normals;
    dense2D<unsigned> tria, quad;
    EXPECT_EQ(WavefrontOBJ_input(real_mesh(std::string("obj/") + f.file).c_str(), coords, uv,
                                 normals, tria, quad),
              f.code);
    EXPECT_EQ(coords.cols(), f.v);
    EXPECT_EQ(uv.cols(), f.vt);
    EXPECT_EQ(normals.cols(), f.vn);
    EXPECT_EQ(tria.cols(), f.tria);
    EXPECT_EQ(quad.cols(), f.quad);
    const unsigned nodes = static_cast<unsigned>(coords.cols());
    EXPECT_TRUE(check_IDs(tria, ET_TRIA3, nodes));
    EXPECT_TRUE(check_IDs(quad, ET_QUAD4, nodes));
  }
}

// Elements by kind, for the run containers of a reader.
std::map<int, unsigned> count_kinds(const dense1D<unsigned>& bounds, const dense1D<int>& types) {
  std::map<int, unsigned> n;
  for (std::size_t k = 0; k < types.size(); ++k) n[types[k]] += bounds[k + 1] - bounds[k];
  return n;
}

struct bulk_census {
  const char* file;
  int code;
  std::size_t columns;  // largest node identifier
  std::map<int, unsigned> kinds;
};

// Reads one file with a core reader and compares it with its census; every
// run must be a valid connectivity of its kind.
void check_census(run_outputs::core_reader reader, const std::string& folder,
                  const bulk_census& f) {
  SCOPED_TRACE(f.file);
  run_outputs out;
  EXPECT_EQ(out.read_with(reader, real_mesh(folder + f.file)), f.code);
  EXPECT_EQ(out.coords.cols(), f.columns);
  EXPECT_EQ(count_kinds(out.bounds, out.types), f.kinds);
  EXPECT_EQ(out.pids.size(), out.connect.cols());
  for (std::size_t k = 0; k < out.types.size(); ++k) {
    const element_type t = element_type(out.types[k]);
    const dense2D<unsigned> run =
        out.connect.sub_matrix(0, out.bounds[k], nbr_nodes(t), out.bounds[k + 1] - out.bounds[k]);
    EXPECT_TRUE(check_IDs(run, t, static_cast<unsigned>(out.coords.cols())));
  }
}

TEST_F(real_meshes, NastranFiles) {
  const bulk_census files[] = {
      {"pynastran_solid_bending.bdf", 0, 72, {{ET_TETRA4, 186}}},
      // The 9-node tetrahedra fit no kind and are left out; the continuation
      // of the 9-node pyramids starts with blank fields, where reading of
      // the line stops, so they keep their 5 corners.
      {"pynastran_model1_sim1_gridstar_pyram.bdf",
       0,
       2788,
       {{ET_HEXA20, 64},
        {ET_HEXA8, 64},
        {ET_PYRAMID13, 16},
        {ET_PYRAMID5, 16 + 16},
        {ET_TETRA10, 854},
        {ET_TETRA4, 436}}},
      // The ten-node tetrahedron continues on a line without a marker.
      {"pynastran_ctetra10_free.bdf", 0, 30, {}},
      {"pynastran_chexa_free_plus_cont.bdf", 0, 99, {{ET_HEXA8, 1}}},
      // Quadrangles and triangles with THETA/ZOFFS fields list more nodes
      // than their kind and are left out; the solids match the census.
      {"pynastran_isat_gridstar_cbarstar.bdf", 0, 5621, {{ET_HEXA8, 25}}},
      {"pynastran_sample_model_mixed_solids.bdf",
       0,
       1053,
       {{ET_HEXA8, 3}, {ET_WEDGE6, 1}, {ET_PYRAMID5, 16}, {ET_TETRA4, 50}, {ET_QUAD4, 4}}},
      {"pynastran_ehbus69_quadratic.bdf",
       0,
       50026,
       {{ET_HEXA20, 3},
        {ET_HEXA8, 3},
        {ET_WEDGE15, 4},
        {ET_WEDGE6, 4},
        {ET_TETRA10, 10},
        {ET_TETRA4, 10},
        {ET_QUAD8, 3},
        {ET_TRIA6, 4},
        {ET_TRIA3, 4},
        {ET_QUAD4, 5}}},
  };
  for (const bulk_census& f : files) check_census(NASTRAN_input, "nastran/", f);
}

TEST_F(real_meshes, NastranFilesOutsideTheReaderRules) {
  run_outputs out;
  // Lower-case card names are not cards of the reader.
  ASSERT_EQ(out.read_with(NASTRAN_input, real_mesh("nastran/pynastran_rot063_lowercase.bdf")), 0);
  EXPECT_EQ(out.connect.cols(), 0u);
  // GRID* lines that end before their sixth field are malformed: reading
  // stops there, keeping the cards read before.
  EXPECT_EQ(
      out.read_with(NASTRAN_input, real_mesh("nastran/pynastran_bend_grid_mixed_exponent.bdf")),
      -1);
  EXPECT_EQ(out.coords.cols(), 0u);
  EXPECT_GT(out.connect.cols(), 0u);
  EXPECT_EQ(out.bounds[out.bounds.size() - 1], out.connect.cols());
}

TEST_F(real_meshes, FemapFiles) {
  const bulk_census files[] = {
      {"pynastran_mode_anti1.neu", 0, 4064, {{ET_QUAD4, 1016}}},
      {"pynastran_f16_aero_two_blocks.neu", 0, 10502, {{ET_QUAD4, 1512}}},
      {"pynastran_all_elem_output_only.neu", 0, 0, {}},
  };
  for (const bulk_census& f : files) check_census(FEMAP_input, "femap/", f);
  // Node 1 of the first file: (8, 0, -5) written with D exponents.
  dense2D<double> coords;
  dense2D<unsigned> connect;
  element_type type = ET_UNKNOWN;
  ASSERT_EQ(FEMAP_input(real_mesh("femap/pynastran_mode_anti1.neu").c_str(), coords, connect, type),
            0);
  EXPECT_EQ(type, ET_QUAD4);
  EXPECT_DOUBLE_EQ(coords(0, 0), 8.0);
  EXPECT_DOUBLE_EQ(coords(2, 0), -5.0);
  EXPECT_EQ(entries(connect).size(), 4u * 1016u);
  EXPECT_EQ(connect(0, 0), 0u);
  EXPECT_EQ(connect(3, 0), 3u);
}

}  // namespace
