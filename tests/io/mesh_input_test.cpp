// Tests of the MEDIT, VTK and MSH readers and of the standard node order:
// files of other writers (gmsh, meshio) read with their writer's counts and
// valid elements, our own files read back to the columns written, and one
// table of malformed inputs per reader.
#include <gtest/gtest.h>
#include <quernfold/quernfold.h>

#include <map>
#include <random>
#include <string>

#include "common/edges.h"
#include "common/faces.h"
#include "reader_checks.h"
#include "support/compare.h"
#include "support/io_files.h"
#include "support/mesh_gen.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

using mesh_input = io_test;

// The outputs of a core reader that reads `bytes` from a stream.
struct mesh_read : run_outputs {
  using core = int (*)(FILE*, dense2D<double>&, dense2D<unsigned>&, dense1D<unsigned>&,
                       dense1D<int>&, dense1D<unsigned>&);
  int read_bytes(core reader, const std::string& bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return reader(reader_checks::memory_stream(data, bytes.size()).f, coords, connect, bounds,
                  types, pids);
  }
};

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
void expect_valid(const mesh_read& m, double tol) {
  for (std::size_t k = 0; k + 1 < m.bounds.size(); ++k) {
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

// Each input read gives its code; a failure leaves every output empty.
struct bad_input {
  std::string bytes;
  int code;
};
void expect_codes(mesh_read::core reader, std::initializer_list<bad_input> cases) {
  for (const bad_input& c : cases) {
    mesh_read m;
    EXPECT_EQ(m.read_bytes(reader, c.bytes), c.code) << c.bytes;
    const std::size_t left =
        m.coords.cols() + m.connect.cols() + m.bounds.size() + m.types.size() + m.pids.size();
    EXPECT_EQ(c.code < 0 ? left : 0, 0u) << "outputs left after " << c.bytes;
  }
}

// Fixtures read with their writer's counts: nodes (rows x columns) and
// elements per type; then expect_valid, and with `refs` (by the linear kind
// of the element) the references.
struct fixture_case {
  std::string file;
  unsigned rows, nodes;
  std::map<int, unsigned> elements;
};

std::string reader_fixture(const std::string& name) {
  return std::string(QUERNFOLD_FIXTURE_DIR) + "/readers/" + name;
}

void expect_fixtures(mesh_read::core reader, std::initializer_list<fixture_case> cases, double tol,
                     const std::map<int, unsigned>& refs = {}) {
  for (const fixture_case& c : cases) {
    SCOPED_TRACE(c.file);
    mesh_read m;
    EXPECT_EQ(m.read_bytes(reader, read_file(reader_fixture(c.file))), 0);
    EXPECT_EQ(m.coords.rows(), c.rows);
    EXPECT_EQ(m.coords.cols(), c.nodes);
    std::map<int, unsigned> counts;
    for (std::size_t k = 0; k + 1 < m.bounds.size(); ++k) {
      counts[m.types[k]] += m.bounds[k + 1] - m.bounds[k];
      for (unsigned j = m.bounds[k]; j < m.bounds[k + 1] && !refs.empty(); ++j)
        ASSERT_EQ(m.pids[j], refs.at(base_of(element_type(m.types[k])))) << "element " << j;
    }
    EXPECT_EQ(counts, c.elements);
    expect_valid(m, tol);
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

// Files of other writers: MEDIT from gmsh, meshio and written here; VTK from
// meshio; gmsh's own MSH files of the fixture geometry, with its physical
// groups as references: bottom faces 3, hexahedra 5, prisms 6, tetrahedra and
// pyramids 7.
TEST(mesh_readers, OtherWritersFilesReadWithTheirCountsAndValidElements) {
  expect_fixtures(
      medit_input,
      {{"tetra_o2.mesh", 3, 63, {{ET_EDGE3, 12}, {ET_TRIA6, 24}, {ET_TETRA10, 24}}},  // gmsh
       {"solids.mesh", 3, 109, solids()},                                             // meshio
       {"solids.meshb", 3, 109, solids(0, false)},              // meshio, version 4
       {"solids_v3.meshb", 3, 109, solids(0, false)},           // a skipped keyword
       {"flat.mesh", 2, 109, {{ET_TRIA3, 14}, {ET_QUAD4, 4}}},  // Dimension 2
       {"solids_v1_be.meshb", 3, 109, solids(0, false)}},       // 32-bit reals, big-endian
      1e-6);
  std::map<int, unsigned> o2 = solids(1);
  o2.erase(ET_PYRAMID14);  // VTK has no 14-node pyramid
  expect_fixtures(vtk_input,
                  {{"solids.vtk", 3, 109, solids()},        // 5.1 ASCII
                   {"solids_b.vtk", 3, 109, solids()},      // 4.2 BINARY
                   {"solids_o2.vtk", 3, 554, o2},           // 5.1 BINARY
                   {"solids_o2i.vtk", 3, 456, solids(2)}},  // 4.2 ASCII, float points
                  1e-6);
  expect_fixtures(msh_input,
                  {{"solids22.msh", 3, 109, solids()},
                   {"solids22b.msh", 3, 109, solids()},
                   {"solids41.msh", 3, 109, solids()},
                   {"solids41b.msh", 3, 109, solids()},
                   {"solids_o2.msh", 3, 554, solids(1)},
                   {"solids_o2i.msh", 3, 456, solids(2)}},
                  1e-9,
                  {{ET_TRIA3, 3},
                   {ET_QUAD4, 3},
                   {ET_HEXA8, 5},
                   {ET_WEDGE6, 6},
                   {ET_TETRA4, 7},
                   {ET_PYRAMID5, 7}});
}

// Our own files read back to the columns written; pyramids and wedges were
// written as degenerate hexahedra and read as such.
TEST_F(mesh_input, OwnMeditFilesReadBackToTheColumnsWritten) {
  const mesh hx = hexa_grid(1, 1, 1);
  const unsigned u = no_index;
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
  expect_codes(
      medit_input,
      {
          {"", -2},
          {"MeshVersionFormatted 2\nDimension 4\n", -3},
          {"MeshVersionFormatted 2\nVertices 1\n0 0 0 1\n", -3},  // no Dimension before
          {mh.substr(0, mh.size() - 4), -3},                      // truncated vertex
          {mh + "Edges 1\n1 3 0\n", -3},                          // node 3 of 2
          {mh + "Edges 1\n1 2 7 0\n", -3},                        // longer records than said
          {std::string("\1\0\0\0\5\0\0\0", 8), -3},               // version 5
          {std::string("\1\0\0\0\2\0\0\0\3\0\0\0\0\0\0\0\3\0\0\0\4\0\0\0\0\0\0\0\2\0\0\0", 32),
           -3},  // truncated vertices
          {"# a comment\n" + mh + "Corners 1 2\nRidges\n1\n1\nEdges 1\n1 2 9\nEnd\n", 0},
      });
  mesh_read m;
  EXPECT_EQ(
      medit_input(static_cast<FILE*>(nullptr), m.coords, m.connect, m.bounds, m.types, m.pids), -1);
  const std::string vh = "# vtk DataFile Version 4.2\ntitle\nASCII\nDATASET UNSTRUCTURED_GRID\n";
  const std::string points = vh + "POINTS 3 double\n0 0 0 1 0 0 0 1 0\n";
  expect_codes(
      vtk_input,
      {
          {"", -2},
          {"# vtk DataFile Version 4.2\nt\nASCII\nDATASET POLYDATA\n", -2},
          {"# vtk DataFile Version 4.2\nt\nUTF8\nDATASET UNSTRUCTURED_GRID\n", -3},
          {vh + "POINTS 3 double\n0 0 0 1 0 0 0 1\n", -3},           // truncated points
          {points + "CELLS 1 4\n3 0 1 5\nCELL_TYPES 1\n5\n", -3},    // node 5 of 3
          {points + "CELLS 1 5\n3 0 1 2\nCELL_TYPES 1\n5\n", -3},    // list size
          {points + "CELLS 1 4\n3 0 1 2\nCELL_TYPES 1\n10\n", -3},   // 3 nodes for a tetrahedron
          {points + "CELLS 1 4\n3 0 1 2\nCELL_TYPES 2\n5 5\n", -3},  // more types than cells
          {points + "CELLS 1 4\n3 0 1 2\nLINES 1\n", -3},            // unknown keyword
          {vh + "FIELD FieldData 1\nT 1 1 double\n3.5\n" + points.substr(vh.size()) +
               "CELLS 2 6\n1 0\n3 0 1 2\nCELL_TYPES 2\n1\n5\nPOINT_DATA 3\nSCALARS s float\n",
           0},  // field data, a vertex and point data passed over
      });
  const std::string gh = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n2\n1 0 0 0\n";
  const std::string nodes = gh + "5 1 0 0\n$EndNodes\n";
  expect_codes(
      msh_input,
      {
          {"", -2},
          {"$NOD\n1\n1 0 0 0\n$ENDNOD\n", -2},                               // version 1
          {"$MeshFormat\n2.2 3 8\n$EndMeshFormat\n", -3},                    // file type
          {"$MeshFormat\n2.2 1 8\n\x02\x02\x02\x02\n$EndMeshFormat\n", -3},  // not 1 in binary
          {gh + "5 1 0\n", -3},                                              // truncated node
          {gh + "1 1 0 0\n$EndNodes\n", -3},                                 // tag 1 twice
          {nodes + "$Elements\n1\n1 1 2 0 0 1 2\n$EndElements\n", -3},       // no node 2
          {nodes + "$Elements\n2\n1 1 0 1 5\n$EndElements\n", -3},           // fewer than said
          {nodes + "$Elements\n0\n$EndNodes\n", -3},                         // wrong end
          {nodes + "$Comments\nno end", -3},
      });
}

// from(to(x)) = x for every kind; mixed columns keep their unused slots.
TEST(standard_node_order, ConversionsAreInverse) {
  std::mt19937 rng(7);
  for (int t = ET_NODE; t <= ET_HEXA27; ++t) {
    const auto kind = static_cast<element_type>(t);
    dense2D<unsigned> M(nbr_nodes(kind), 3), back;
    for (std::size_t i = 0; i < 3 * M.rows(); ++i) M.data()[i] = rng() % 1000;
    back.copy(M);
    ASSERT_EQ(to_standard_node_order(back, kind), 0);
    ASSERT_EQ(from_standard_node_order(back, kind), 0);
    EXPECT_SAME(back, M) << kind;
  }
  const unsigned u = no_index;
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
  mesh_read v2;
  ASSERT_EQ(
      v2.read_bytes(msh_input,
                    "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n2\n1 0 0 0\n5 1 0 0\n$EndNodes\n"
                    "$Elements\n2\n1 1 2 0 8 1 5\n2 26 2 0 8 1 5 1 5\n$EndElements\n"),
      0);
  EXPECT_SAME(v2.pids, (dense1D<unsigned>{8}));
}

}  // namespace
