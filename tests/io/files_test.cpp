// Files exchanged with other software. Files written by others (the small
// fixtures of tests/fixtures/io from gmsh and meshio, see make_fixtures.py,
// and the shared corpus of real files) are read with the counts their writer
// put in, or the code the reading rules give them. Our golden files are read
// by other programs (read_back.py: meshio, gmsh and VTK; none reads FEMAP).
#include <gtest/gtest.h>
#include <quernfold/io.h>
#include <quernfold/quality.h>

#include <cstdlib>
#include <map>
#include <tuple>

#include "support/io_files.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

// What a reader made of a file: its code, the coordinate columns, the
// distinct nodes that elements use and the elements by kind; `worst` is the
// smallest shape quality of its elements (negative for an inverted one).
using kinds = std::map<int, unsigned>;
using result = std::tuple<int, std::size_t, int, kinds>;

result read_any(const std::string& file, double& worst) {
  const std::string ext = file.substr(file.rfind('.') + 1);
  run_outputs out;
  std::vector<dense2D<unsigned>> runs(2);
  std::vector<int> types{ET_TRIA3, ET_QUAD4};
  int code;
  if (ext == "stl" || ext == "obj") {
    dense2D<double> uv, vn;
    code = ext == "stl" ? STL_input(file.c_str(), out.coords, runs[0])
                        : WavefrontOBJ_input(file.c_str(), out.coords, uv, vn, runs[0], runs[1]);
  } else {
    using reader = run_outputs::core_reader;
    code = out.read_with(ext == "neu" ? reader(FEMAP_input) : reader(NASTRAN_input), file);
    types.assign(out.types.begin(), out.types.end());
    runs.clear();
    for (std::size_t k = 0; k < types.size(); ++k)
      runs.push_back(out.connect.sub_matrix(0, out.bounds[k], nbr_nodes(element_type(types[k])),
                                            out.bounds[k + 1] - out.bounds[k]));
  }
  result r{
      code, out.coords.cols(), count_unique_indices(runs.data(), runs.data() + runs.size()), {}};
  worst = 1.0;
  for (std::size_t k = 0; k < runs.size(); ++k) {
    const element_type t = element_type(types[k]);
    double q = 1.0;
    unsigned j;
    if (runs[k].cols() == 0) continue;
    std::get<3>(r)[t] += static_cast<unsigned>(runs[k].cols());
    if (min_quality(out.coords, runs[k], t, q, j) == 0) worst = std::min(worst, q);
    // A reading that stopped early may hold elements whose nodes never came.
    EXPECT_TRUE(code < 0 || check_IDs(runs[k], t, unsigned(out.coords.cols()))) << file;
  }
  return r;
}

using expected_file = std::pair<const char*, result>;

TEST(files, WrittenByGmshAndMeshio) {
  // One element of each linear solid on 12 nodes.
  const kinds mixed{{ET_TETRA4, 1}, {ET_PYRAMID5, 1}, {ET_WEDGE6, 1}, {ET_HEXA8, 1}};
  const expected_file files[] = {
      {"gmsh_cube_free.bdf", {0, 14, 14, {{ET_TETRA4, 24}}}},
      {"gmsh_cube_small.bdf", {0, 14, 14, {{ET_TETRA4, 24}}}},
      {"gmsh_cube_large.bdf", {0, 14, 14, {{ET_TETRA4, 24}}}},
      {"gmsh_mixed_large.bdf", {0, 12, 12, mixed}},
      {"meshio_mixed_free_grid.bdf", {0, 12, 12, mixed}},
      {"meshio_mixed_small.bdf", {0, 12, 12, mixed}},
      {"meshio_mixed_large.bdf", {0, 12, 12, mixed}},
      {"meshio_mixed_large_cards.bdf", {0, 12, 12, mixed}},
      // Without property data meshio leaves the property field blank, where
      // the reading of a small-field card line stops: no card has 3 items.
      {"meshio_mixed_no_pid.bdf", {0, 12, 0, {}}},
      {"meshio_surface.obj", {0, 7, 7, {{ET_TRIA3, 2}, {ET_QUAD4, 1}}}},
      {"meshio_surface_ascii.stl", {0, 7, 7, {{ET_TRIA3, 4}}}},
      {"meshio_surface_binary.stl", {0, 7, 7, {{ET_TRIA3, 4}}}},
      {"mixed_forms.bdf",
       {0, 8, 8, {{ET_TRIA3, 1}, {ET_QUAD4, 1}, {ET_HEXA8, 1}, {ET_TETRA4, 1}, {ET_WEDGE6, 1}}}},
  };
  for (const auto& [name, want] : files) {
    double worst;
    EXPECT_EQ(read_any(fixture(name), worst), want) << name;
    EXPECT_GT(worst, 0.0) << name;  // the writers' solids are positive here once read
  }
}

// The shared corpus of real files (SOURCES.md there describes each). Nodes
// are stored by identifier, so NASTRAN and FEMAP columns run to the largest
// identifier; STL nodes are merged.
TEST(files, SharedCorpus) {
  if (!real_meshes_present()) GTEST_SKIP() << "no mesh corpus at " << QUERNFOLD_MESH_DIR;
  const expected_file files[] = {
      // clang-format off
      {"stl/trimesh_counter_unitsmm_bin.stl", {0, 41837, 41837, {{ET_TRIA3, 83750}}}},
      {"stl/numpystl_rear_case_bin.stl", {0, 9404, 9404, {{ET_TRIA3, 18808}}}},
      {"stl/trimesh_20mm_xyz_cube_bin_color.stl", {0, 132, 132, {{ET_TRIA3, 260}}}},
      {"stl/numpystl_halfdonut_bin_trailing_byte.stl", {0, 144, 144, {{ET_TRIA3, 288}}}},
      {"stl/numpystl_halfdonut_ascii.stl", {0, 144, 144, {{ET_TRIA3, 288}}}},
      // 56 triangles repeat a vertex and are removed.
      {"stl/assimp_spider_ascii.stl", {0, 722, 722, {{ET_TRIA3, 1312}}}},
      {"stl/assimp_spider_bin.stl", {0, 722, 722, {{ET_TRIA3, 1312}}}},
      {"stl/trimesh_multibody_2solids_crlf.stl", {0, 20, 20, {{ET_TRIA3, 32}}}},
      {"stl/assimp_triangle_with_empty_solid.stl", {0, 3, 3, {{ET_TRIA3, 1}}}},
      {"stl/assimp_sphere_with_hole_tab.stl", {0, 146, 146, {{ET_TRIA3, 285}}}},
      {"stl/numpystl_cube_pro2stl_crlf.stl", {0, 8, 8, {{ET_TRIA3, 12}}}},
      {"stl/numpystl_bwb_ascii.stl", {0, 2234, 2234, {{ET_TRIA3, 4464}}}},
      {"stl/trimesh_soup_bin.stl", {0, 300, 300, {{ET_TRIA3, 100}}}},
      {"obj/trimesh_negative_indices.obj", {0, 8, 8, {{ET_QUAD4, 6}}}},
      {"obj/trimesh_rabbit_tri_quad_16gon.obj", {0, 644, 644, {{ET_TRIA3, 176}, {ET_QUAD4, 496}}}},
      {"obj/trimesh_quadknot_meshlab.obj", {0, 1440, 1440, {{ET_QUAD4, 1440}}}},
      {"obj/trimesh_capsule.obj", {0, 5252, 5252, {{ET_TRIA3, 10200}}}},
      // The backslash continuation is a malformed face word; no triangle or
      // quadrangle comes before it.
      {"obj/trimesh_wallhole_continuation.obj", {-2, 92, 0, {}}},
      {"obj/assimp_spider.obj", {0, 762, 762, {{ET_TRIA3, 1368}}}},
      {"obj/assimp_regr01_mixed_face_forms.obj", {0, 2108, 2108, {{ET_TRIA3, 2710}}}},
      {"obj/assimp_testmixed_lines_points.obj", {0, 8, 8, {{ET_QUAD4, 6}}}},
      {"obj/assimp_concave_polygon_66.obj", {0, 64, 0, {}}},
      {"nastran/pynastran_solid_bending.bdf", {0, 72, 72, {{ET_TETRA4, 186}}}},
      // The 9-node tetrahedra fit no kind and are left out; the continuation
      // of the 9-node pyramids starts with blank fields, where the reading of
      // the line stops, so they keep their 5 corners.
      {"nastran/pynastran_model1_sim1_gridstar_pyram.bdf", {0, 2788, 2333, {{ET_TETRA4, 436},
       {ET_TETRA10, 854}, {ET_PYRAMID5, 32}, {ET_PYRAMID13, 16}, {ET_HEXA8, 64}, {ET_HEXA20, 64}}}},
      // The ten-node tetrahedron continues on a line without a marker.
      {"nastran/pynastran_ctetra10_free.bdf", {0, 30, 0, {}}},
      {"nastran/pynastran_chexa_free_plus_cont.bdf", {0, 99, 8, {{ET_HEXA8, 1}}}},
      // Lower-case cards and GRIDs are not in the card table; 221 is the
      // largest identifier of the upper-case GRID lines.
      {"nastran/pynastran_rot063_lowercase.bdf", {0, 221, 0, {}}},
      // Quadrangles and triangles with THETA/ZOFFS fields list more nodes
      // than their kind, bars a real orientation vector: left out.
      {"nastran/pynastran_isat_gridstar_cbarstar.bdf", {0, 5621, 192, {{ET_HEXA8, 25}}}},
      {"nastran/pynastran_sample_model_mixed_solids.bdf", {0, 1053, 38, {{ET_QUAD4, 4},
       {ET_TETRA4, 50}, {ET_PYRAMID5, 16}, {ET_WEDGE6, 1}, {ET_HEXA8, 3}}}},
      {"nastran/pynastran_ehbus69_quadratic.bdf", {0, 50026, 238, {{ET_TRIA3, 4}, {ET_QUAD4, 5},
       {ET_TRIA6, 4}, {ET_QUAD8, 3}, {ET_TETRA4, 10}, {ET_TETRA10, 10}, {ET_WEDGE6, 4},
       {ET_WEDGE15, 4}, {ET_HEXA8, 3}, {ET_HEXA20, 3}}}},
      // The first line of its GRID* records ends before column 72 (at 59 to
      // 67 characters): five fields, a malformed record. Reading stops there,
      // keeping the cards read before.
      {"nastran/pynastran_bend_grid_mixed_exponent.bdf", {-1, 0, 2983, {{ET_TRIA3, 6}, {ET_QUAD4, 2874}}}},
      {"femap/pynastran_mode_anti1.neu", {0, 4064, 4064, {{ET_QUAD4, 1016}}}},
      {"femap/pynastran_f16_aero_two_blocks.neu", {0, 10502, 3378, {{ET_QUAD4, 1512}}}},
      // Blocks 100, 450 and 451 only: passed over.
      {"femap/pynastran_all_elem_output_only.neu", {0, 0, 0, {}}},
      // clang-format on
  };
  double worst;
  for (const auto& [name, want] : files) EXPECT_EQ(read_any(real_mesh(name), worst), want) << name;
}

// Our writers' golden files (which the writer tests hold them to) read by
// other programs; skipped when meshio is absent.
TEST(files, OtherReadersTakeOurGoldenFiles) {
  const std::string script = std::string(QUERNFOLD_FIXTURE_DIR) + "/../io/read_back.py ";
  const std::string report = std::string(testing::TempDir()) + "read_back_report";
  const int status = std::system(
      ("/usr/bin/python3 " + script + fixture("golden") + " > " + report + " 2>&1").c_str());
  if (WEXITSTATUS(status) == 77 || WEXITSTATUS(status) == 127)
    GTEST_SKIP() << "other readers absent: " << read_file(report);
  EXPECT_EQ(WEXITSTATUS(status), 0) << read_file(report);
}

}  // namespace
