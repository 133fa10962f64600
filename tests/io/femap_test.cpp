#include <gtest/gtest.h>
#include <quernfold/io.h>

#include "support/io_files.h"
#include "support/mesh_gen.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

class femap : public io_test, protected run_outputs {
 protected:
  // Reads `text` with the core reader.
  int read(const std::string& text) {
    write_file(path("in.neu"), text);
    return read_with(FEMAP_input, path("in.neu"));
  }
};

std::string node_line(int id, const char* x, const char* y, const char* z) {
  return fmt("%d,0,0,1,46,0,0,0,0,0,0,%s,%s,%s,0,\n", id, x, y, z);
}

// A seven-line element record with the given topology and 20 node slots.
std::string element_record(int id, int pid, int topology, std::vector<int> slots) {
  slots.resize(20, 0);
  std::string s = fmt("%d,%d,1,17,%d,1,0,0,0,0,0,0,0,\n", id, pid, topology);
  for (int half = 0; half < 2; ++half) {
    for (int k = 0; k < 10; ++k) s += fmt("%d,", slots[half * 10 + k]);
    s += "\n";
  }
  return s + "0.,0.,0.,0,0,0,0,0,0,\n0.,0.,0.,\n0.,0.,0.,\n0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,\n";
}

TEST_F(femap, WriterOutputIsExact) {
  const dense2D<double> xy = columns<double>(2, {0.0, 0.0, 1.0, 0.0, 0.0, 2.5, 1e-7, -3.0});
  const dense2D<unsigned> tetra = columns<unsigned>(4, {0, 1, 2, 3});
  ASSERT_EQ(FEMAP_output(path("out.neu").c_str(), xy, tetra, ET_TETRA4), 0);
  const std::string expected =
      "*********************************\n"
      "*********** NODES ***************\n"
      "*********************************\n"
      "   -1\n403\n"
      "1,0,0,1,0,0,0,0,0,0,0,0.000000,0.000000,0.0,0,\n"
      "2,0,0,1,0,0,0,0,0,0,0,1.000000,0.000000,0.0,0,\n"
      "3,0,0,1,0,0,0,0,0,0,0,0.000000,2.500000,0.0,0,\n"
      "4,0,0,1,0,0,0,0,0,0,0,0.000000,-3.000000,0.0,0,\n"
      "   -1\n"
      "*********************************\n"
      "********* ELEMENTS **************\n"
      "*********************************\n"
      "   -1\n404\n"
      "1,1,1,25,6,1,0,0,0,0,0,0,0,\n"
      "2,1,3,0,4,0,0,0,0,0,\n"
      "0,0,0,0,0,0,0,0,0,0,\n"
      "0.,0.,0.,0,0,0,0,0,0,\n"
      "0.,0.,0.,\n"
      "0.,0.,0.,\n"
      "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,\n"
      "   -1\n";
  EXPECT_EQ(read_file(path("out.neu")), expected);

  ASSERT_EQ(read(expected), 0);
  EXPECT_EQ(entries(connect), (std::vector<unsigned>{0, 1, 2, 3}));
  EXPECT_EQ(entries(types), std::vector<int>{ET_TETRA4});
  EXPECT_DOUBLE_EQ(coords(0, 3), 0.0);  // 1e-7 is written with six decimals
  EXPECT_DOUBLE_EQ(coords(1, 3), -3.0);
}

TEST_F(femap, EmptyConnectivityWritesNothing) {
  const dense2D<double> xyz = random_points(3, 3);
  EXPECT_EQ(FEMAP_output(path("e.neu").c_str(), xyz, dense2D<unsigned>(), ET_TRIA3), 0);
  EXPECT_TRUE(std::filesystem::exists(path("e.neu")));
  EXPECT_EQ(read_file(path("e.neu")), "");
  // Nothing is checked either: a null stream with no elements is fine.
  EXPECT_EQ(FEMAP_output(static_cast<FILE*>(nullptr), xyz, dense2D<unsigned>(3, 0), ET_TRIA3), 0);
}

struct block_case {
  const char* what;
  std::string text;
  int code;
  std::size_t nodes, elements;
};

TEST_F(femap, BlockRules) {
  const std::string nodes = "   -1\n   403\n" + node_line(1, "0.", "0.", "0.") +
                            node_line(2, "1.", "0.", "0.") + node_line(3, "0.", "1.", "0.") +
                            "   -1\n";
  const std::string tria = element_record(1, 7, 2, {1, 2, 3});
  const block_case cases[] = {
      {"other blocks passed over",
       "   -1\n   100\n<NULL>\n7.,\n   -1\n   -1\n 402\n1,2,3,\n   -1\n" + nodes +
           "   -1\n   404\n" + tria + "   -1\n",
       0, 3, 1},
      {"two node and two element blocks",
       nodes + "   -1\n   403\n" + node_line(5, "5.", "5.", "5.") + "   -1\n   -1\n   404\n" +
           tria + "   -1\n   -1\n404\n" + element_record(2, 7, 2, {5, 2, 3}) + "   -1\n",
       0, 5, 2},
      {"unread topology passes over six lines",
       nodes + "   -1\n   404\n" + element_record(1, 1, 11, {1, 2, 3}) + tria + "   -1\n", 0, 3, 1},
      {"-1 without blanks does not close", nodes + "   -1\n404\n" + tria + "-1\n", -102, 3, 1},
      {"short node line", "   -1\n403\n1,0,0,1,0,0,0,0,0,0,0,1.,2.\n", -102, 0, 0},
      {"node identifier 0", "   -1\n403\n" + node_line(0, "1.", "2.", "3."), -102, 0, 0},
      {"short element line", nodes + "   -1\n404\n1,1,1,17\n", -102, 3, 0},
      {"short slot line", nodes + "   -1\n404\n1,1,1,17,2,1,\n1,2,3,0,0,\n", -102, 3, 0},
      {"record cut by the end of file", nodes + "   -1\n404\n1,1,1,17,2,1,\n", -102, 3, 0},
      {"trailing blanks", nodes + "   -1  \n   404   \n" + tria + "   -1  \n", 0, 3, 1},
  };
  for (const block_case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read(c.text), c.code);
    EXPECT_EQ(coords.cols(), c.nodes);
    EXPECT_EQ(connect.cols(), c.elements);
    EXPECT_EQ(bounds.size(), 2u);
    EXPECT_EQ(bounds[bounds.size() - 1], c.elements);
  }
  // The two element blocks above: element 2 uses node 5 (column 4).
  ASSERT_EQ(read(cases[1].text), 0);
  EXPECT_EQ(entries(connect), (std::vector<unsigned>{0, 1, 2, 4, 1, 2}));
  EXPECT_EQ(entries(pids), (std::vector<unsigned>{7, 7}));
  EXPECT_EQ(coords(2, 4), 5.0);
  EXPECT_EQ(coords(0, 3), 0.0);
}

TEST_F(femap, FortranExponentsAndPaddedFields) {
  const std::string text =
      "   -1\n   403\n"
      "         4,         0,         0,         1,        46,    0,    0,    0,    0,    0,"
      "    0,   8.0000000000000000D+00,   1.5D-01,  -5.0000000000000000D+00,         0,\n"
      "   -1\n";
  ASSERT_EQ(read(text), 0);
  ASSERT_EQ(coords.cols(), 4u);
  EXPECT_DOUBLE_EQ(coords(0, 3), 8.0);
  EXPECT_DOUBLE_EQ(coords(1, 3), 0.15);
  EXPECT_DOUBLE_EQ(coords(2, 3), -5.0);
  EXPECT_EQ(coords(0, 0), 0.0);
}

// Every kind with a topology code reads back as written; the slot layout of
// the tetrahedra follows the table.
TEST_F(femap, RoundTripOfEveryWrittenKind) {
  const element_type kinds[] = {ET_EDGE2,  ET_EDGE3,  ET_TRIA3, ET_TRIA6, ET_QUAD4,   ET_QUAD8,
                                ET_TETRA4, ET_WEDGE6, ET_HEXA8, ET_NODE,  ET_TETRA10, ET_HEXA20};
  const dense2D<double> pts = random_points(3, 30, 3);
  for (element_type kind : kinds) {
    SCOPED_TRACE(kind);
    const unsigned n = nbr_nodes(kind);
    dense2D<unsigned> M(n, 3);
    for (unsigned j = 0; j < 3; ++j)
      for (unsigned k = 0; k < n; ++k) M(k, j) = (11 * k + 5 * j + 1) % 30;
    dense1D<unsigned> b{0, 3}, p{2, 3, 4};
    dense1D<int> t{kind};
    ASSERT_EQ(FEMAP_output(path("rt.neu").c_str(), pts, M, b, t, p), 0);
    ASSERT_EQ(FEMAP_input(path("rt.neu").c_str(), coords, connect, bounds, types, pids), 0);
    EXPECT_TRUE(same_matrix(connect, M));
    EXPECT_EQ(entries(types), std::vector<int>{kind});
    EXPECT_EQ(entries(pids), (std::vector<unsigned>{2, 3, 4}));
    EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 3}));
    for (std::size_t j = 0; j < pts.cols(); ++j)
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(coords(i, j), pts(i, j), 5e-7);
  }
  // Slot lines of a ten-node tetrahedron (0..9): s0 = c0, s1 = c2, s2 = c1,
  // s4 = c3, s8 = c5, s9 = c4, s10 = c6, s12 = c7, s13 = c9, s14 = c8.
  const dense2D<unsigned> t10 = columns<unsigned>(10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  ASSERT_EQ(FEMAP_output(path("t10.neu").c_str(), pts, t10, ET_TETRA10), 0);
  EXPECT_NE(
      read_file(path("t10.neu"))
          .find("1,1,1,25,10,1,0,0,0,0,0,0,0,\n1,3,2,0,4,0,0,0,6,5,\n7,0,8,10,9,0,0,0,0,0,\n"),
      std::string::npos);
}

TEST_F(femap, MixedRunsAndReaderForms) {
  const dense2D<double> xyz = random_points(3, 8);
  // Tetrahedron, pyramid (no FEMAP topology: left out) and hexahedron.
  const dense2D<unsigned> solids =
      columns<unsigned>(8, {0, 1,     2,     3,     kNone, kNone, kNone, kNone, 0, 1, 2, 3,
                            4, kNone, kNone, kNone, 0,     1,     2,     3,     4, 5, 6, 7});
  ASSERT_EQ(FEMAP_output(path("s.neu").c_str(), xyz, solids, ET_SOLID_MIX), 0);
  ASSERT_EQ(FEMAP_input(path("s.neu").c_str(), coords, connect, bounds, types, pids), 0);
  EXPECT_EQ(entries(types), (std::vector<int>{ET_TETRA4, ET_HEXA8}));
  EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 1, 2}));
  EXPECT_EQ(entries(connect), (std::vector<unsigned>{0, 1, 2, 3, kNone, kNone, kNone, kNone, 0, 1,
                                                     2, 3, 4, 5, 6, 7}));
  const std::string text = read_file(path("s.neu"));
  EXPECT_NE(text.find("\n3,1,1,25,8,"), std::string::npos);  // element ids are column + 1
  EXPECT_EQ(text.find("\n2,1,1,"), std::string::npos);

  // Triangles and quadrangles: the type& form gives ET_UNKNOWN (two runs)
  // with the 4-row matrix; the two-matrix form splits them.
  const dense2D<unsigned> tria = columns<unsigned>(3, {0, 1, 2});
  const dense2D<unsigned> quad = columns<unsigned>(4, {0, 1, 2, 3});
  ASSERT_EQ(FEMAP_output(path("tq.neu").c_str(), xyz, tria, quad, ET_TRIA3, ET_QUAD4), 0);
  element_type type = ET_TRIA3;
  ASSERT_EQ(FEMAP_input(path("tq.neu").c_str(), coords, connect, type), 0);
  EXPECT_EQ(type, ET_UNKNOWN);
  EXPECT_EQ(entries(connect), (std::vector<unsigned>{0, 1, 2, kNone, 0, 1, 2, 3}));
  dense2D<unsigned> m1, m2;
  element_type t1 = ET_UNKNOWN, t2 = ET_UNKNOWN;
  ASSERT_EQ(FEMAP_input(path("tq.neu").c_str(), coords, m1, m2, t1, t2), 0);
  EXPECT_EQ(t1, ET_TRIA3);
  EXPECT_EQ(t2, ET_QUAD4);
  EXPECT_TRUE(same_matrix(m1, tria));
  EXPECT_TRUE(same_matrix(m2, quad));
  ASSERT_EQ(FEMAP_output(path("t.neu").c_str(), xyz, tria, ET_TRIA3), 0);
  ASSERT_EQ(FEMAP_input(path("t.neu").c_str(), coords, connect, type), 0);
  EXPECT_EQ(type, ET_TRIA3);
  write_file(path("none.neu"), "   -1\n   100\n   -1\n");
  type = ET_TRIA3;
  ASSERT_EQ(FEMAP_input(path("none.neu").c_str(), coords, connect, type), 0);
  EXPECT_EQ(type, ET_UNKNOWN);
  EXPECT_EQ(FEMAP_input(path("missing.neu").c_str(), coords, connect, type), -1);
}

TEST_F(femap, WriterChecks) {
  const dense2D<double> xyz = random_points(3, 4);
  const dense2D<unsigned> tria = columns<unsigned>(3, {0, 1, 2});
  dense1D<unsigned> b{0, 1}, p{1};
  dense1D<int> t{ET_TRIA3};
  EXPECT_EQ(FEMAP_output(static_cast<FILE*>(nullptr), xyz, tria, b, t, p), -1);
  EXPECT_EQ(FEMAP_output(path("x/y.neu").c_str(), xyz, tria, b, t, p), -1);
  EXPECT_EQ(FEMAP_output(path("a.neu").c_str(), random_points(1, 4), tria, b, t, p), -2);
  EXPECT_EQ(FEMAP_output(path("a.neu").c_str(), xyz, tria, dense1D<unsigned>{0}, t, p), -5);
  EXPECT_EQ(FEMAP_output(path("a.neu").c_str(), xyz, tria, b, t, dense1D<unsigned>{1, 1}), -6);
  // The size of pids is checked before the values of bounds.
  EXPECT_EQ(FEMAP_output(path("a.neu").c_str(), xyz, tria, dense1D<unsigned>{0, 2}, t, p), -5);
  EXPECT_EQ(FEMAP_output(path("a.neu").c_str(), xyz, tria, dense1D<unsigned>{0, 2}, t,
                         dense1D<unsigned>{1, 1}),
            -6);
  EXPECT_EQ(FEMAP_output(path("a.neu").c_str(), xyz, tria, b, dense1D<int>{ET_QUAD4}, p), -3);
  EXPECT_EQ(read_file(path("a.neu")), "");
  EXPECT_EQ(FEMAP_input(static_cast<FILE*>(nullptr), coords, connect, bounds, types, pids), -1);
}

}  // namespace
