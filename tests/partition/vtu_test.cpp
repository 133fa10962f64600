// VTK XML files: our writer read back by our reader in every encoding, by
// VTK itself (vtk_check.py: counts, orientation, ghosts and global ids of the
// pieces), and VTK's own files in each of its encodings read here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "partition/mixed_cube.h"
#include "support/compare.h"

using namespace quernfold_test;

namespace {

std::string temp(const std::string& name) { return testing::TempDir() + name; }

// The mesh with 3-row coordinates and no refs, as a .vtu file gives it back.
mesh_data as_read(const mesh_data& m) {
  mesh_data out = m;
  for (mesh_block& b : out.blocks) b.refs = dense1D<unsigned>();
  return out;
}

void expect_same(const mesh_data& got, const mesh_data& want) {
  EXPECT_EQ(entries(got.coords), entries(want.coords));
  ASSERT_EQ(got.blocks.size(), want.blocks.size());
  for (std::size_t b = 0; b < want.blocks.size(); ++b) {
    EXPECT_EQ(got.blocks[b].type, want.blocks[b].type);
    EXPECT_EQ(entries(got.blocks[b].connectM), entries(want.blocks[b].connectM));
  }
}

vtu_fields some_fields(const mesh_data& m) {
  vtu_fields f;
  f.point_data.push_back({"size", vtu_array::float64, 2, {}});
  for (std::size_t k = 0; k < 2 * m.coords.cols(); ++k)
    f.point_data[0].values.push_back(0.1 * double(k) + 1e-17);
  f.cell_data.push_back({"quality <&>", vtu_array::int64, 1, {}});
  for (std::size_t k = 0; k < m.elements(); ++k) f.cell_data[0].values.push_back(-double(k) * 1e6);
  return f;
}

TEST(Vtu, OurFilesReadBackExactlyInEveryEncoding) {
  for (element_type tetra : {ET_TETRA4, ET_TETRA10}) {
    const mesh_data m = mixed_cube(3, tetra);
    const vtu_fields fields = some_fields(m);
    for (vtu_encoding e : {vtu_encoding::ascii, vtu_encoding::raw, vtu_encoding::zlib}) {
      SCOPED_TRACE(int(e));
      ASSERT_EQ(vtu_output(temp("m.vtu").c_str(), m, fields, e), 0);
      mesh_data back;
      vtu_fields got;
      ASSERT_EQ(vtu_input(temp("m.vtu").c_str(), back, got), 0);
      expect_same(back, as_read(m));
      ASSERT_EQ(got.point_data.size(), 1u);
      ASSERT_EQ(got.cell_data.size(), 1u);
      EXPECT_EQ(got.point_data[0].values, fields.point_data[0].values);
      EXPECT_EQ(got.point_data[0].components, 2u);
      EXPECT_EQ(got.cell_data[0].name, fields.cell_data[0].name);
      EXPECT_EQ(got.cell_data[0].values, fields.cell_data[0].values);
    }
  }
  mesh_data m = mixed_cube(1), back;
  vtu_fields fields = some_fields(m), got;
  fields.cell_data[0].values.pop_back();
  EXPECT_EQ(vtu_output(temp("bad.vtu").c_str(), m, fields, vtu_encoding::raw), vtu_bad_fields);
  m.blocks[0].type = ET_PYRAMID14;
  EXPECT_EQ(vtu_output(temp("bad.vtu").c_str(), m, vtu_fields(), vtu_encoding::raw), vtu_bad_mesh);
  std::ofstream(temp("not.vtu")) << "<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\">";
  EXPECT_EQ(vtu_input(temp("not.vtu").c_str(), back, got), vtu_not_vtu);
  // Every byte cut short is refused, never read past.
  ASSERT_EQ(vtu_output(temp("m.vtu").c_str(), m = mixed_cube(1), fields = some_fields(m),
                       vtu_encoding::zlib),
            0);
  std::stringstream whole;
  whole << std::ifstream(temp("m.vtu"), std::ios::binary).rdbuf();
  for (std::size_t cut = whole.str().size() / 2; cut < whole.str().size() - 30; cut += 7) {
    std::ofstream(temp("cut.vtu"), std::ios::binary) << whole.str().substr(0, cut);
    EXPECT_LT(vtu_input(temp("cut.vtu").c_str(), back, got), 0) << cut;
  }
}

TEST(Vtu, VtkReadsOursAndWeReadVtks) {
  const mesh_data m = mixed_cube(3);
  const vtu_fields fields = some_fields(m);
  const std::string dir = temp("");
  for (auto [e, name] : {std::pair{vtu_encoding::ascii, "mesh_ascii.vtu"},
                         {vtu_encoding::raw, "mesh_raw.vtu"},
                         {vtu_encoding::zlib, "mesh_zlib.vtu"}})
    ASSERT_EQ(vtu_output((dir + name).c_str(), m, fields, e), 0);
  partition_result r;
  std::vector<part_mesh> parts;
  ASSERT_EQ(partition_mesh(m, 3, partition_options(), r), 0);
  ASSERT_EQ(split_mesh(m, r.part, 3, 1, parts), 0);
  ASSERT_EQ(pvtu_output((dir + "parts.pvtu").c_str(), parts, vtu_encoding::zlib), 0);
  std::size_t ghosts = 0;
  for (const part_mesh& p : parts) ghosts += p.global_elements.size() - p.owned_elements();
  const std::string command = "/usr/bin/python3 " + std::string(QUERNFOLD_FIXTURE_DIR) +
                              "/../partition/vtk_check.py " + dir + " " +
                              std::to_string(m.elements()) + " " + std::to_string(m.coords.cols()) +
                              " " + std::to_string(ghosts) + " > " + dir + "vtk_report 2>&1";
  const int status = WEXITSTATUS(std::system(command.c_str()));
  std::stringstream report;
  report << std::ifstream(dir + "vtk_report").rdbuf();
  if (status == 77) GTEST_SKIP() << "VTK's Python module is absent";
  EXPECT_EQ(status, 0) << report.str();
  for (const char* mode : {"ascii", "binary", "base64", "appended", "plain", "binary_plain",
                           "meshio_ascii", "meshio_zlib"}) {
    const std::string path = dir + "theirs_" + mode + ".vtu";
    if (std::string(mode).find("meshio") == 0 && !std::ifstream(path)) continue;  // no meshio
    mesh_data back;
    vtu_fields got;
    ASSERT_EQ(vtu_input(path.c_str(), back, got), 0) << mode;
    expect_same(back, as_read(m));
    ASSERT_EQ(got.point_data.size(), 1u) << mode;
    // meshio writes text with 11 decimals; the others give every bit back.
    const double tol = std::string(mode) == "meshio_ascii" ? 1e-10 : 0.0;
    const std::vector<double>&got_values = got.point_data[0].values,
          &want = fields.point_data[0].values;
    ASSERT_EQ(got_values.size(), want.size()) << mode;
    for (std::size_t k = 0; k < want.size(); ++k)
      EXPECT_NEAR(got_values[k], want[k], tol * (1 + std::abs(want[k]))) << mode;
  }
}

}  // namespace
