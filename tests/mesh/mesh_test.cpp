// The whole-mesh layer against brute force: clean on a mesh with copied
// nodes, the boundary as the faces held once, statistics, meshio's order as
// a round trip, the format from the content of every written format, and
// the write plan.
#include <gtest/gtest.h>
#include <quernfold/quernfold.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "support/io_files.h"
#include "support/mesh_gen.h"
#include "support/topology_oracles.h"

namespace {

using namespace ovk::quernfold;
using quernfold_test::io_test;
using Point = std::vector<double>;

Point point(const mesh_data& m, unsigned v) {
  return Point(m.coords.column(v), m.coords.column(v) + m.coords.rows());
}

// Element j of block b as the set of its nodes' coordinates.
std::set<Point> element_at(const mesh_data& m, std::size_t b, std::size_t j) {
  std::set<Point> e;
  const dense2D<unsigned>& c = m.blocks[b].connectM;
  for (std::size_t i = 0; i < c.rows(); ++i) e.insert(point(m, c(i, j)));
  return e;
}

// The elements of block b that hold distinct points, as point sets; with
// every point they use.
std::multiset<std::set<Point>> proper_elements(const mesh_data& m, std::size_t b,
                                               std::set<Point>* used = nullptr) {
  std::multiset<std::set<Point>> all;
  for (std::size_t j = 0; j < m.blocks[b].connectM.cols(); ++j) {
    const std::set<Point> e = element_at(m, b, j);
    if (e.size() < m.blocks[b].connectM.rows()) continue;
    all.insert(e);
    if (used) used->insert(e.begin(), e.end());
  }
  return all;
}

// 2 x 2 x 2 unit hexahedra, those of odd column on copies of the nodes, and
// 4 x 4 half-unit triangles beside them (one collapsed onto an edge); a
// cell field numbering the elements and a point field of x.
mesh_data doubled_mesh() {
  const quernfold_test::mesh hexa = quernfold_test::hexa_grid(2, 2, 2);
  const quernfold_test::mesh tria = quernfold_test::tria_grid(4, 4, 0.5);
  const std::size_t n = hexa.coords.cols(), t = tria.coords.cols();
  mesh_data m;
  m.coords.resize(3, 2 * n + t);
  for (std::size_t v = 0; v < 2 * n; ++v)
    for (int i = 0; i < 3; ++i) m.coords(i, v) = hexa.coords(i, v % n);
  for (std::size_t v = 0; v < t; ++v)
    for (int i = 0; i < 2; ++i) m.coords(i, 2 * n + v) = tria.coords(i, v) + 9 * (i == 0);
  m.blocks.resize(2);
  m.blocks[0].type = ET_HEXA8;
  m.blocks[1].type = ET_TRIA3;
  m.blocks[0].connectM.copy(hexa.connect);
  m.blocks[1].connectM.copy(tria.connect);
  for (std::size_t j = 1; j < hexa.connect.cols(); j += 2)
    for (int i = 0; i < 8; ++i) m.blocks[0].connectM(i, j) += static_cast<unsigned>(n);
  for (std::size_t j = 0; j < tria.connect.cols(); ++j)
    for (int i = 0; i < 3; ++i) m.blocks[1].connectM(i, j) += static_cast<unsigned>(2 * n);
  m.blocks[1].connectM(2, 5) = m.blocks[1].connectM(1, 5);
  m.cell_fields.push_back({"index", {}});
  for (const mesh_block& b : m.blocks) {
    m.cell_fields[0].values.emplace_back(1, b.connectM.cols());
    for (std::size_t j = 0; j < b.connectM.cols(); ++j) m.cell_fields[0].values.back()(0, j) = j;
  }
  m.point_fields.push_back({"x", dense2D<double>(1, m.coords.cols())});
  for (std::size_t v = 0; v < m.coords.cols(); ++v) m.point_fields[0].values(0, v) = m.coords(0, v);
  return m;
}

TEST(WholeMesh, CleanMergesCopiesAndDropsWhatDegenerates) {
  const mesh_data in = doubled_mesh();
  mesh_data out;
  clean_report r;
  ASSERT_EQ(clean_mesh(in, 0.0, out, r), 0);
  std::set<Point> used, used_out;
  for (std::size_t b = 0; b < 2; ++b) {
    EXPECT_EQ(proper_elements(out, b, &used_out), proper_elements(in, b, &used)) << b;
    EXPECT_EQ(out.blocks[b].connectM.cols(), proper_elements(in, b).size());
    for (std::size_t j = 0; j < r.element_maps[b].size(); ++j) {
      if (r.element_maps[b][j] == no_index) continue;
      EXPECT_EQ(out.cell_fields[0].values[b](0, r.element_maps[b][j]), double(j));
    }
  }
  EXPECT_EQ(out.coords.cols(), used.size());
  EXPECT_EQ(used_out, used);
  EXPECT_EQ(r.elements_removed, 1u);
  EXPECT_EQ(r.nodes_removed, in.coords.cols() - out.coords.cols());
  for (std::size_t v = 0; v < in.coords.cols(); ++v) {
    if (r.node_map[v] == no_index) continue;
    EXPECT_EQ(point(out, r.node_map[v]), point(in, v));
    EXPECT_EQ(out.point_fields[0].values(0, r.node_map[v]), in.coords(0, v));
  }
  EXPECT_EQ(clean_mesh(in, -1.0, out, r), mesh_bad_tolerance);
  EXPECT_TRUE(out.blocks.empty());
}

TEST(WholeMesh, BoundaryAndStatisticsMatchFacesHeldOnce) {
  mesh_data in = doubled_mesh(), cleaned, skin;
  clean_report r;
  ASSERT_EQ(clean_mesh(in, 0.0, cleaned, r), 0);
  // Oracle: the faces of the solids held by one solid only, as node sets.
  std::map<std::set<unsigned>, int> held;
  for (const auto& f : quernfold_test::all_faces(cleaned.blocks[0].connectM, ET_HEXA8))
    ++held[std::set<unsigned>(f.nodes.begin(), f.nodes.end())];
  std::multiset<std::set<unsigned>> once, found;
  for (const auto& [face, count] : held)
    if (count == 1) once.insert(face);
  ASSERT_EQ(mesh_boundary(cleaned, skin), 0);
  ASSERT_EQ(skin.blocks.size(), 1u);
  EXPECT_EQ(skin.blocks[0].type, ET_QUAD4);
  for (std::size_t j = 0; j < skin.blocks[0].connectM.cols(); ++j)
    found.insert(std::set<unsigned>(skin.blocks[0].connectM.column(j),
                                    skin.blocks[0].connectM.column(j) + 4));
  EXPECT_EQ(found, once);

  mesh_statistics s;
  ASSERT_EQ(measure_mesh(in, s), 0);
  EXPECT_EQ(s.coincident_nodes, 9u);  // the plane x = 1, used as nodes and as copies
  EXPECT_EQ(s.dimension, 3u);
  ASSERT_EQ(measure_mesh(cleaned, s), 0);
  EXPECT_EQ(s.boundary_faces, once.size());
  EXPECT_EQ(s.parts, 1u);
  EXPECT_EQ(s.quality.max, 1.0);
  EXPECT_EQ(s.blocks[1].quality.count, 31u);
  // Qualities of the solids alone (the degenerate triangle is not counted).
  EXPECT_EQ(s.worst_block, 0u);
  EXPECT_EQ(s.quality.count, s.blocks[0].quality.count);
  EXPECT_EQ(s.edge_length.min, 0.5);
  mesh_data points_only;
  points_only.coords = in.coords;
  EXPECT_EQ(mesh_boundary(points_only, skin), mesh_no_faces);
}

TEST(WholeMesh, SizeMapFillsLowerDimensions) {
  mesh_data m = doubled_mesh(), cleaned;
  clean_report r;
  ASSERT_EQ(clean_mesh(m, 0.0, cleaned, r), 0);
  dense1D<double> sizes;
  int changed = -1;
  ASSERT_EQ(mesh_size_map(cleaned, 1.0, HUGE_VAL, sizes, changed), 0);
  EXPECT_EQ(changed, 0);
  for (std::size_t v = 0; v < sizes.size(); ++v) {
    const bool hexahedra = cleaned.coords(0, v) < 3;  // unit edges; the triangles' half units
    EXPECT_TRUE(hexahedra ? sizes[v] == 1.0 : sizes[v] >= 0.5 && sizes[v] <= 0.5 * std::sqrt(2.0))
        << v;
  }
  EXPECT_EQ(mesh_size_map(cleaned, 1.0, 0.5, sizes, changed), mesh_bad_parameter);
}

TEST(WholeMesh, MeshioOrderIsAPermutationAndItsReorderingRoundTrips) {
  for (std::size_t k = 0; k < named_kind_count(); ++k) {
    const element_type type = named_kind(k);
    EXPECT_EQ(cell_kind(cell_name(type)), type);
    const unsigned n = nbr_nodes(type);
    dense2D<unsigned> column(n, 1);
    for (unsigned i = 0; i < n; ++i) column(i, 0) = i;
    ASSERT_EQ(reorder_meshio(column, type, false), 0);
    unsigned from[kMaxCellNodes];
    const bool moved = meshio_order(type, from);
    for (unsigned i = 0; i < n; ++i) EXPECT_EQ(column(i, 0), moved ? from[i] : i) << type;
    ASSERT_EQ(reorder_meshio(column, type, true), 0);
    for (unsigned i = 0; i < n; ++i) EXPECT_EQ(column(i, 0), i) << type;
  }
  EXPECT_EQ(cell_kind("tri"), ET_UNKNOWN);
  EXPECT_EQ(cell_name(ET_SOLID_MIX), nullptr);
}

TEST(WholeMesh, SolidsValidForMeshioArePositiveHere) {
  // A unit tetrahedron and a prism, each in meshio's node order with a
  // positive volume for meshio (its wedges: the top triangle above the
  // bottom one, the same turn).
  const dense2D<double> coords =
      quernfold_test::columns<double>(3, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1});
  for (const element_type type : {ET_TETRA4, ET_WEDGE6}) {
    dense2D<unsigned> cell = quernfold_test::columns<unsigned>(
        nbr_nodes(type), type == ET_TETRA4 ? std::vector<unsigned>{0, 1, 2, 3}
                                           : std::vector<unsigned>{0, 1, 2, 3, 4, 5});
    ASSERT_EQ(reorder_meshio(cell, type, false), 0);
    dense1D<double> jac;
    ASSERT_EQ(jacobians(coords, cell, type, jac), 0);
    EXPECT_GT(jac[0], 0) << cell_name(type);
  }
}

using MeshFormats = io_test;

TEST_F(MeshFormats, ContentNamesTheFormatWhateverTheExtension) {
  mesh_data m = doubled_mesh(), back, liar;
  m.blocks.resize(1);
  m.cell_fields.clear();
  std::size_t count = 0;
  const mesh_format* table = mesh_formats(count);
  for (std::size_t k = 0; k < count; ++k) {
    const mesh_format& f = table[k];
    if (!f.read || !f.write) continue;
    const std::string ext =
        std::string(f.extensions).substr(0, std::string(f.extensions).find(' '));
    write_plan plan;
    const int planned = plan_mesh_write(path("m" + ext).c_str(), m, plan);
    if (planned == mesh_nothing_written) {
      mesh_data tria = doubled_mesh();
      tria.blocks.erase(tria.blocks.begin());
      ASSERT_EQ(write_mesh(path("m" + ext).c_str(), tria, write_options()), 0) << f.name;
    } else {
      ASSERT_EQ(planned, 0) << f.name;
      ASSERT_EQ(write_mesh(path("m" + ext).c_str(), m, write_options()), 0) << f.name;
    }
    EXPECT_EQ(detect_mesh_format(path("m" + ext).c_str()), &f) << f.name;
    std::filesystem::copy_file(path("m" + ext), path("m" + ext + ".txt"));
    read_report report;
    ASSERT_EQ(read_mesh(path("m" + ext).c_str(), back), 0);
    ASSERT_EQ(load_mesh(path("m" + ext + ".txt").c_str(), liar, report), 0) << f.name;
    EXPECT_TRUE(report.from_content);
    EXPECT_EQ(report.format, &f);
    EXPECT_EQ(quernfold_test::entries(liar.coords), quernfold_test::entries(back.coords));
    ASSERT_EQ(liar.blocks.size(), back.blocks.size());
    for (std::size_t b = 0; b < back.blocks.size(); ++b)
      EXPECT_EQ(quernfold_test::entries(liar.blocks[b].connectM),
                quernfold_test::entries(back.blocks[b].connectM));
  }
  write_options binary;
  binary.binary = true;
  m.blocks = {doubled_mesh().blocks[1]};
  ASSERT_EQ(write_mesh(path("binary.stl").c_str(), m, binary), 0);
  EXPECT_EQ(detect_mesh_format(path("binary.stl").c_str()), find_mesh_format("m.stl"));
  quernfold_test::write_file(path("list.obj"), "eggs\nmilk\n");
  EXPECT_EQ(detect_mesh_format(path("list.obj").c_str()), nullptr);
  EXPECT_EQ(detect_mesh_format(path("missing").c_str()), nullptr);
}

TEST(WholeMesh, WritePlanNamesLossesAndRefusesAnEmptyFile) {
  const mesh_data m = doubled_mesh();
  write_plan plan;
  EXPECT_EQ(plan_mesh_write("m.stl", m, plan), 0);
  ASSERT_EQ(plan.losses.size(), 1u);
  EXPECT_FALSE(plan.losses[0].written);
  EXPECT_EQ(plan.kept, m.blocks[1].connectM.cols());
  mesh_data solids = m;
  solids.blocks.resize(1);
  EXPECT_EQ(plan_mesh_write("m.stl", solids, plan), mesh_nothing_written);
  EXPECT_EQ(plan_mesh_write("m.xyz", solids, plan), mesh_unknown_format);
}

}  // namespace
