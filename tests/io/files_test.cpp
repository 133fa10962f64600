// Files exchanged with other software. Files written by others (the small
// fixtures of tests/fixtures/io from gmsh and meshio, see make_fixtures.py,
// and the shared corpus of real files) are read with the counts their writer
// put in, or the code the reading rules give them. Our golden files are read
// by other programs (read_back.py: meshio, gmsh and VTK; none reads FEMAP).
#include <gtest/gtest.h>
#include <quernfold/io.h>
#include <quernfold/quality.h>
#include <quernfold/quernfold.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>

#include "common/edges.h"
#include "common/faces.h"
#include "support/io_files.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

// The linear kind of a kind's vertex nodes (ET_PYRAMID13, ET_WEDGE15 and
// ET_HEXA20 have that of the next kind).
element_type base_of(element_type t) {
  const element_type b = ovk::quernfold::detail::linear_base_shape(t);
  return b != ET_UNKNOWN ? b : ovk::quernfold::detail::linear_base_shape(element_type(t + 1));
}

// Corner lists whose mean is each node past the vertices, in the library's
// order: mid-edges along the edge lists (pyramids: base edges first), then
// centres of the quadrangular faces along the face lists, then the volume
// centre.
std::vector<std::vector<unsigned>> quadratic_nodes(element_type t) {
  std::vector<std::vector<unsigned>> out;
  const element_type base = base_of(t);
  const auto& e = *ovk::quernfold::detail::edges_of_shape(base);
  for (unsigned k = 0; k < e.count; ++k) {
    const unsigned i = base == ET_PYRAMID5 ? (k + 4) % 8 : k;
    out.push_back({e.pairs[i][0], e.pairs[i][1]});
  }
  const auto& f = *ovk::quernfold::detail::faces_of_shape(element_dim(t) == 3 ? base : ET_TRIA3);
  for (unsigned k = 0; k < f.count; ++k)
    if (f.size[k] == 4) out.push_back({f.nodes[k][0], f.nodes[k][1], f.nodes[k][2], f.nodes[k][3]});
  out.push_back({0, 1, 2, 3, 4, 5, 6, 7});
  if (base == ET_QUAD4) out.back().resize(4);
  out.resize(nbr_nodes(t) - nbr_base_nodes(t));
  return out;
}

// Every solid of m has a positive Jacobian and shape quality on its linear
// base, and every quadratic node lies at the mean of its corners (tol).
void expect_valid(const run_outputs& m, double tol) {
  for (std::size_t k = 0; k < m.types.size(); ++k) {
    const auto t = static_cast<element_type>(m.types[k]);
    const std::size_t first = m.bounds[k], cols = m.bounds[k + 1] - first;
    SCOPED_TRACE(testing::Message() << "run " << k << " of type " << t);
    if (element_dim(t) == 3) {
      const dense2D<unsigned> base = m.connect.sub_matrix(0, first, nbr_base_nodes(t), cols);
      dense1D<double> J, Q;
      ASSERT_EQ(jacobians(m.coords, base, base_of(t), J), 0);
      ASSERT_EQ(shape_qualities(m.coords, base, base_of(t), Q), 0);
      EXPECT_GT(*std::min_element(J.begin(), J.end()), 0.0);
      EXPECT_GT(*std::min_element(Q.begin(), Q.end()), 0.0);
    }
    const auto extra = quadratic_nodes(t);
    for (std::size_t j = first; j < first + cols; ++j)
      for (std::size_t q = 0; q < extra.size(); ++q)
        for (std::size_t r = 0; r < m.coords.rows(); ++r) {
          double mean = 0;
          for (unsigned c : extra[q]) mean += m.coords(r, m.connect(c, j)) / extra[q].size();
          ASSERT_NEAR(m.coords(r, m.connect(nbr_base_nodes(t) + q, j)), mean, tol)
              << "node " << nbr_base_nodes(t) + q << " of element " << j;
        }
  }
}

// Counts of the gmsh geometry of the fixtures: first order (0), second order
// complete (1) or incomplete (2); surfaces are the first two kinds.
std::map<int, unsigned> solids(int order = 0, bool surfaces = true) {
  const element_type kinds[3][6] = {
      {ET_TRIA3, ET_QUAD4, ET_TETRA4, ET_PYRAMID5, ET_WEDGE6, ET_HEXA8},
      {ET_TRIA6, ET_QUAD9, ET_TETRA10, ET_PYRAMID14, ET_WEDGE18, ET_HEXA27},
      {ET_TRIA6, ET_QUAD8, ET_TETRA10, ET_PYRAMID13, ET_WEDGE15, ET_HEXA20}};
  const unsigned counts[6] = {14, 4, 106, 4, 28, 8};
  std::map<int, unsigned> c;
  for (int k = surfaces ? 0 : 2; k < 6; ++k) c[kinds[order][k]] = counts[k];
  return c;
}

// What a reader made of a file: its code, the coordinate columns, the
// distinct nodes that elements use and the elements by kind; `worst` is the
// smallest shape quality of its elements (negative for an inverted one). The
// run readers' outputs are left in `out`.
using kinds = std::map<int, unsigned>;
using result = std::tuple<int, std::size_t, int, kinds>;

result read_any(const std::string& file, double& worst, run_outputs& out) {
  using reader = run_outputs::core_reader;
  const std::map<std::string, reader> run_readers = {
      {"bdf", reader(NASTRAN_input)}, {"neu", reader(FEMAP_input)}, {"mesh", reader(medit_input)},
      {"meshb", reader(medit_input)}, {"vtk", reader(vtk_input)},   {"msh", reader(msh_input)}};
  const std::string ext = file.substr(file.rfind('.') + 1);
  std::vector<dense2D<unsigned>> runs(2);
  std::vector<int> types{ET_TRIA3, ET_QUAD4};
  int code;
  if (ext == "stl" || ext == "obj") {
    dense2D<double> uv, vn;
    code = ext == "stl" ? STL_input(file.c_str(), out.coords, runs[0])
                        : WavefrontOBJ_input(file.c_str(), out.coords, uv, vn, runs[0], runs[1]);
  } else {
    code = out.read_with(run_readers.at(ext), file);
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

// The fixtures of other writers (tests/fixtures/io and readers): gmsh and
// meshio NASTRAN, OBJ and STL; MEDIT from gmsh, meshio and written by the
// fixture script; VTK from meshio; gmsh's own MSH files, with its physical
// groups as references. Solids are positive and quadratic nodes where they
// belong (expect_valid).
TEST(files, WrittenByGmshAndMeshio) {
  // One element of each linear solid on 12 nodes.
  const kinds mixed{{ET_TETRA4, 1}, {ET_PYRAMID5, 1}, {ET_WEDGE6, 1}, {ET_HEXA8, 1}};
  kinds o2 = solids(1);
  o2.erase(ET_PYRAMID14);  // VTK has no 14-node pyramid
  const struct {
    const char* name;
    result want;
    std::size_t rows = 3;
  } files[] = {
      // clang-format off
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
      {"mixed_forms.bdf", {0, 8, 8, {{ET_TRIA3, 1}, {ET_QUAD4, 1}, {ET_HEXA8, 1}, {ET_TETRA4, 1}, {ET_WEDGE6, 1}}}},
      {"../readers/tetra_o2.mesh", {0, 63, 63, {{ET_EDGE3, 12}, {ET_TRIA6, 24}, {ET_TETRA10, 24}}}},
      {"../readers/solids.mesh", {0, 109, 109, solids()}},
      {"../readers/solids.meshb", {0, 109, 109, solids(0, false)}},      // version 4
      {"../readers/solids_v3.meshb", {0, 109, 109, solids(0, false)}},   // a skipped keyword
      // Dimension 2; the bottom faces only: 3 x 3 nodes under the quadrangles,
      // 12 under the triangles.
      {"../readers/flat.mesh", {0, 109, 21, {{ET_TRIA3, 14}, {ET_QUAD4, 4}}}, 2},
      {"../readers/solids_v1_be.meshb", {0, 109, 109, solids(0, false)}},  // 32-bit, big-endian
      {"../readers/solids.vtk", {0, 109, 109, solids()}},        // 5.1 ASCII
      {"../readers/solids_b.vtk", {0, 109, 109, solids()}},      // 4.2 BINARY
      // 5.1 BINARY; the base centres of the 4 pyramids are left unused.
      {"../readers/solids_o2.vtk", {0, 554, 550, o2}},
      {"../readers/solids_o2i.vtk", {0, 456, 456, solids(2)}},   // 4.2 ASCII, float points
      {"../readers/solids22.msh", {0, 109, 109, solids()}},
      {"../readers/solids22b.msh", {0, 109, 109, solids()}},
      {"../readers/solids41.msh", {0, 109, 109, solids()}},
      {"../readers/solids41b.msh", {0, 109, 109, solids()}},
      {"../readers/solids_o2.msh", {0, 554, 554, solids(1)}},
      {"../readers/solids_o2i.msh", {0, 456, 456, solids(2)}},
      // clang-format on
  };
  // The physical groups of the MSH files: bottom faces 3, hexahedra 5,
  // prisms 6, tetrahedra and pyramids 7.
  const kinds groups{{ET_TRIA3, 3},  {ET_QUAD4, 3},  {ET_HEXA8, 5},
                     {ET_WEDGE6, 6}, {ET_TETRA4, 7}, {ET_PYRAMID5, 7}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    double worst;
    run_outputs out;
    EXPECT_EQ(read_any(fixture(f.name), worst, out), f.want);
    EXPECT_EQ(out.coords.rows(), f.rows);
    EXPECT_GT(worst, 0.0);  // the writers' solids are positive here once read
    expect_valid(out, 1e-6);
    for (std::size_t k = 0; k < out.types.size() && std::strstr(f.name, ".msh"); ++k)
      for (unsigned j = out.bounds[k]; j < out.bounds[k + 1]; ++j)
        ASSERT_EQ(out.pids[j], groups.at(base_of(element_type(out.types[k])))) << "element " << j;
  }
}

// The shared corpus of real files (SOURCES.md there describes each; of the
// plain large files and of a binary and text pair, one stands for all). Nodes
// are stored by identifier, so NASTRAN and FEMAP columns run to the largest
// identifier; STL nodes are merged.
TEST(files, SharedCorpus) {
  if (!real_meshes_present()) GTEST_SKIP() << "no mesh corpus at " << QUERNFOLD_MESH_DIR;
  const expected_file files[] = {
      // clang-format off
      {"stl/numpystl_rear_case_bin.stl", {0, 9404, 9404, {{ET_TRIA3, 18808}}}},
      {"stl/trimesh_20mm_xyz_cube_bin_color.stl", {0, 132, 132, {{ET_TRIA3, 260}}}},
      {"stl/numpystl_halfdonut_bin_trailing_byte.stl", {0, 144, 144, {{ET_TRIA3, 288}}}},
      {"stl/numpystl_halfdonut_ascii.stl", {0, 144, 144, {{ET_TRIA3, 288}}}},
      // 56 triangles repeat a vertex and are removed.
      {"stl/assimp_spider_ascii.stl", {0, 722, 722, {{ET_TRIA3, 1312}}}},
      {"stl/trimesh_multibody_2solids_crlf.stl", {0, 20, 20, {{ET_TRIA3, 32}}}},
      {"stl/assimp_triangle_with_empty_solid.stl", {0, 3, 3, {{ET_TRIA3, 1}}}},
      {"stl/assimp_sphere_with_hole_tab.stl", {0, 146, 146, {{ET_TRIA3, 285}}}},
      {"stl/numpystl_cube_pro2stl_crlf.stl", {0, 8, 8, {{ET_TRIA3, 12}}}},
      {"stl/numpystl_bwb_ascii.stl", {0, 2234, 2234, {{ET_TRIA3, 4464}}}},
      {"stl/trimesh_soup_bin.stl", {0, 300, 300, {{ET_TRIA3, 100}}}},
      {"obj/trimesh_negative_indices.obj", {0, 8, 8, {{ET_QUAD4, 6}}}},
      {"obj/trimesh_rabbit_tri_quad_16gon.obj", {0, 644, 644, {{ET_TRIA3, 176}, {ET_QUAD4, 496}}}},
      {"obj/trimesh_quadknot_meshlab.obj", {0, 1440, 1440, {{ET_QUAD4, 1440}}}},
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
  for (const auto& [name, want] : files) {
    run_outputs out;
    EXPECT_EQ(read_any(real_mesh(name), worst, out), want) << name;
  }
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
