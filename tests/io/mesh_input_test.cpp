// Tests of the MEDIT, VTK and MSH readers and of the standard node order: our
// MEDIT solids read back as degenerate hexahedra, malformed inputs of each
// reader, MSH node tags and references. (Files of other writers: see
// files_test.cpp.)
#include <gtest/gtest.h>
#include <quernfold/quernfold.h>

#include <random>
#include <string>

#include "support/compare.h"
#include "support/element_tables.h"
#include "support/io_files.h"
#include "support/mesh_gen.h"
#include "support/reader_checks.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

using mesh_input = io_test;

constexpr unsigned u = no_index;

// The outputs of a core reader that reads `bytes` from a stream.
struct mesh_read : run_outputs {
  int read_bytes(reader_checks::core_reader reader, const std::string& bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return reader(reader_checks::memory_stream(data, bytes.size()).f, coords, connect, bounds,
                  types, pids);
  }
};

// Each input read gives its code, and the reader's promises hold on it (a
// failure leaves every output empty).
void expect_codes(reader_checks::core_reader reader, reader_checks::bytes_check promises,
                  std::initializer_list<std::pair<std::string, int>> cases) {
  for (const auto& [bytes, code] : cases) {
    EXPECT_EQ(mesh_read().read_bytes(reader, bytes), code) << bytes;
    EXPECT_EQ(promises(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "")
        << bytes;
  }
}

// Our own files read back to the columns written; pyramids and wedges were
// written as degenerate hexahedra and read as such.
TEST_F(mesh_input, OwnMeditFilesReadBackToTheColumnsWritten) {
  const mesh hx = hexa_grid(1, 1, 1);
  const dense2D<unsigned> solids =
      columns<unsigned>(8, {0, 1, 2, 4, u, u, u, u, 0, 1, 3, 2, 4, u, u, u,
                            0, 1, 2, 4, 5, 6, u, u, 0, 1, 3, 2, 4, 5, 7, 6});
  ASSERT_EQ(medit_output(path("m.mesh").c_str(), hx.coords, solids, columns<unsigned>(3, {7, 6, 5}),
                         ET_SOLID_MIX, ET_TRIA3),
            0);
  mesh_read m;
  ASSERT_EQ(m.read_bytes(medit_input, read_file(path("m.mesh"))), 0);
  EXPECT_SAME(m.connect,
              columns<unsigned>(8, {7, 6, 5, u, u, u, u, u, 0, 1, 2, 4, u, u, u, u, 0, 1, 3, 2,
                                    4, 4, 4, 4, 0, 1, 2, 2, 4, 5, 6, 6, 0, 1, 3, 2, 4, 5, 7, 6}));
  EXPECT_SAME(m.bounds, (dense1D<unsigned>{0, 1, 2, 5}));
  EXPECT_SAME(m.types, (dense1D<int>{ET_TRIA3, ET_TETRA4, ET_HEXA8}));
  EXPECT_SAME(m.pids, (dense1D<unsigned>{1, 0, 0, 0, 0}));
}

TEST(mesh_readers, MalformedFilesGiveTheirCodesAndEmptyOutputs) {
  const std::string mh = "MeshVersionFormatted 2\nDimension 3\nVertices 2\n0 0 0 1\n1 0 0 1\n";
  // clang-format off
  expect_codes(medit_input, reader_checks::medit_bytes, {
      {"", -2}, {"MeshVersionFormatted 2\nDimension 4\n", -3},
      {"MeshVersionFormatted 2\nVertices 1\n0 0 0 1\n", -3},  // no Dimension before
      {mh.substr(0, mh.size() - 4), -3},                      // truncated vertex
      {mh + "Edges 1\n1 3 0\n", -3}, {mh + "Edges 1\n1 2 7 0\n", -3},  // node 3 of 2; records too long
      // binary: version 5; truncated vertices
      {std::string("\1\0\0\0\5\0\0\0", 8), -3},
      {std::string("\1\0\0\0\2\0\0\0\3\0\0\0\0\0\0\0\3\0\0\0\4\0\0\0\0\0\0\0\2\0\0\0", 32), -3},
      {"# a comment\n" + mh + "Corners 1 2\nRidges\n1\n1\nEdges 1\n1 2 9\nEnd\n", 0}});
  // clang-format on
  mesh_read m;
  EXPECT_EQ(
      medit_input(static_cast<FILE*>(nullptr), m.coords, m.connect, m.bounds, m.types, m.pids), -1);
  const std::string vh = "# vtk DataFile Version 4.2\ntitle\nASCII\nDATASET UNSTRUCTURED_GRID\n";
  const std::string points = vh + "POINTS 3 double\n0 0 0 1 0 0 0 1 0\n";
  // clang-format off
  expect_codes(vtk_input, reader_checks::vtk_bytes, {
      {"", -2}, {"# vtk DataFile Version 4.2\nt\nASCII\nDATASET POLYDATA\n", -2},
      {"# vtk DataFile Version 4.2\nt\nUTF8\nDATASET UNSTRUCTURED_GRID\n", -3},
      {vh + "POINTS 3 double\n0 0 0 1 0 0 0 1\n", -3},           // truncated points
      {points + "CELLS 1 4\n3 0 1 5\nCELL_TYPES 1\n5\n", -3},    // node 5 of 3
      {points + "CELLS 1 5\n3 0 1 2\nCELL_TYPES 1\n5\n", -3},    // list size
      {points + "CELLS 1 4\n3 0 1 2\nCELL_TYPES 1\n10\n", -3},   // 3 nodes for a tetrahedron
      {points + "CELLS 1 4\n3 0 1 2\nCELL_TYPES 2\n5 5\n", -3},  // more types than cells
      {points + "CELLS 1 4\n3 0 1 2\nLINES 1\n", -3},            // unknown keyword
      // field data, a vertex and point data passed over
      {vh + "FIELD FieldData 1\nT 1 1 double\n3.5\n" + points.substr(vh.size()) +
       "CELLS 2 6\n1 0\n3 0 1 2\nCELL_TYPES 2\n1\n5\nPOINT_DATA 3\nSCALARS s float\n", 0}});
  // clang-format on
  const std::string gh = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n2\n1 0 0 0\n";
  const std::string nodes = gh + "5 1 0 0\n$EndNodes\n";
  // clang-format off
  expect_codes(msh_input, reader_checks::msh_bytes, {
      {"", -2}, {"$NOD\n1\n1 0 0 0\n$ENDNOD\n", -2},                     // version 1
      {"$MeshFormat\n2.2 3 8\n$EndMeshFormat\n", -3},                    // file type
      {"$MeshFormat\n2.2 1 8\n\x02\x02\x02\x02\n$EndMeshFormat\n", -3},  // not 1 in binary
      {gh + "5 1 0\n", -3}, {gh + "1 1 0 0\n$EndNodes\n", -3},           // truncated node; tag 1 twice
      {nodes + "$Elements\n1\n1 1 2 0 0 1 2\n$EndElements\n", -3},       // no node 2
      {nodes + "$Elements\n2\n1 1 0 1 5\n$EndElements\n", -3},           // fewer than said
      {nodes + "$Elements\n0\n$EndNodes\n", -3}, {nodes + "$Comments\nno end", -3}});  // wrong end; none
  // clang-format on
}

// from(to(x)) = x for every kind; mixed columns keep their unused slots.
TEST(standard_node_order, ConversionsAreInverse) {
  std::mt19937 rng(7);
  for (int t = ET_NODE; t <= ET_HEXA27; ++t) {
    const auto kind = static_cast<element_type>(t);
    const dense2D<unsigned> M = random_degenerate(kind, nbr_nodes(kind), 3, 1000, rng);
    dense2D<unsigned> back = copy_of(M);
    ASSERT_EQ(to_standard_node_order(back, kind), 0);
    ASSERT_EQ(from_standard_node_order(back, kind), 0);
    EXPECT_SAME(back, M) << kind;
  }
  dense2D<unsigned> mixed = columns<unsigned>(8, {0, 1, 2, 3, u, u, u, u, 0, 1, 2, 3, 4, 5, u, u});
  ASSERT_EQ(to_standard_node_order(mixed, ET_SOLID_MIX), 0);
  EXPECT_SAME(mixed, columns<unsigned>(8, {0, 1, 3, 2, u, u, u, u, 0, 2, 1, 3, 5, 4, u, u}));
  EXPECT_EQ(to_standard_node_order(mixed, ET_TRIA3), -1);
  EXPECT_EQ(from_standard_node_order(mixed, static_cast<element_type>(23)), -2);
}

TEST(msh_input, SparseUnorderedTagsGiveColumnsInTagOrder) {
  mesh_read m;
  ASSERT_EQ(m.read_bytes(msh_input,
                         "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n"
                         "$PhysicalNames\n1\n2 4 \"$Nodes\"\n$EndPhysicalNames\n"
                         "$Nodes\n2 3 7 900\n2 1 0 2\n900\n7\n9 9 9\n7 7 7\n"
                         "0 3 0 1\n40\n4 4 4\n$EndNodes\n"
                         "$Elements\n2 2 1 2\n0 3 15 1\n1 40\n2 1 2 1\n2 900 40 7\n"
                         "$EndElements\n$Periodic\n0\n$EndPeriodic\n"),
            0);
  EXPECT_SAME(m.coords, columns<double>(3, {7, 7, 7, 4, 4, 4, 9, 9, 9}));
  EXPECT_SAME(m.connect, columns<unsigned>(3, {2, 1, 0}));
  EXPECT_SAME(m.pids, (dense1D<unsigned>{1}));  // no $Entities: the entity tag
  // Version 2: the elementary tag when the physical one is 0; types outside
  // the model are skipped.
  ASSERT_EQ(
      m.read_bytes(msh_input,
                   "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n2\n1 0 0 0\n5 1 0 0\n$EndNodes\n"
                   "$Elements\n2\n1 1 2 0 8 1 5\n2 26 2 0 8 1 5 1 5\n$EndElements\n"),
      0);
  EXPECT_SAME(m.pids, (dense1D<unsigned>{8}));
}

}  // namespace
